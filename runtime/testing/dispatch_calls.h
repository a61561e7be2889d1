// Calls through IDispatch as a script engine makes them, for tests.
#pragma once

#include "runtime/dispatch.h"

#include <string>
#include <vector>

namespace qtest {

struct CallResult {
    HRESULT hr = S_OK;
    qrt::Variant value;
    UINT argErr = ~0u;
    SCODE scode = 0;            // EXCEPINFO's code after DISP_E_EXCEPTION
    std::string description;    // EXCEPINFO's description
};

// Calls name(args...) (args first to last) with the given flags.
CallResult call(IDispatch* object, const char16_t* name, std::vector<qrt::Variant> args = {},
                WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET);
// Reads a property.
CallResult get(IDispatch* object, const char16_t* name, std::vector<qrt::Variant> args = {});
// Assigns a property (DISPID_PROPERTYPUT), as "object.name = value".
CallResult put(IDispatch* object, const char16_t* name, qrt::Variant value);

// A variable passed by reference, as a script engine passes one.
qrt::Variant refTo(VARIANT* target);

// Registers lib<name>.so from the folder of the test binaries in the test's
// registry; fails the current test when that does not work.
void registerLibrary(const std::string& name);

}  // namespace qtest
