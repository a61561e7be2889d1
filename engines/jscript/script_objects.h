// The script dispatch of an engine: the global object as an IDispatch.
#pragma once

#include "engines/jscript/duk_runtime.h"

namespace jscript {

qrt::ComPtr<IDispatch> createScriptDispatch(const std::shared_ptr<RuntimeLink>& link);

}  // namespace jscript
