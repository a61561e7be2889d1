// The script dispatch a host gets from GetScriptDispatch(nullptr): the
// global Function and Sub procedures as methods (described by its type
// information in source order) and the global variables as properties.
#pragma once

#include "runtime/dispatch.h"

namespace vbs {

class ScriptEngine;

HRESULT createScriptDispatch(ScriptEngine* engine, IDispatch** out);

}  // namespace vbs
