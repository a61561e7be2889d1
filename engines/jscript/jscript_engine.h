// The JScript engine component: Active Scripting over Duktape.
#pragma once

#include "runtime/activscp.h"

namespace jscript {

inline constexpr CLSID CLSID_JScript = qrt::makeGuid("{3AF3E7D2-5501-4755-BDF7-28B15A5FB94D}");
inline constexpr GUID LIBID_JScript = qrt::makeGuid("{D32C0C2C-E2BC-463C-A22C-7772D098C3C6}");

HRESULT createJScriptEngine(REFIID iid, void** out);

}  // namespace jscript
