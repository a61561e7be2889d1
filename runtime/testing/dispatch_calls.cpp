#include "runtime/testing/dispatch_calls.h"

#include "hosting/registration.h"
#include "runtime/testing/test_support.h"

#include <gtest/gtest.h>

namespace qtest {

namespace {

CallResult invoke(IDispatch* object, const char16_t* name, std::vector<qrt::Variant> args, WORD flags) {
    CallResult r;
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    r.hr = object->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(r.hr)) return r;
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it);
    DISPID putId = DISPID_PROPERTYPUT;
    const bool isPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    DISPPARAMS dp{reversed.data(), isPut ? &putId : nullptr, static_cast<UINT>(reversed.size()), isPut ? 1u : 0u};
    EXCEPINFO excep{};
    r.hr = object->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, flags, &dp, &r.value, &excep, &r.argErr);
    r.scode = excep.scode;
    if (excep.bstrDescription) r.description = qrt::bstrToUtf8(excep.bstrDescription);
    qrt::clearExcepInfo(&excep);
    return r;
}

}  // namespace

CallResult call(IDispatch* object, const char16_t* name, std::vector<qrt::Variant> args, WORD flags) {
    return invoke(object, name, std::move(args), flags);
}

CallResult get(IDispatch* object, const char16_t* name, std::vector<qrt::Variant> args) {
    return invoke(object, name, std::move(args), DISPATCH_PROPERTYGET);
}

CallResult put(IDispatch* object, const char16_t* name, qrt::Variant value) {
    std::vector<qrt::Variant> args;
    args.push_back(std::move(value));
    return invoke(object, name, std::move(args), DISPATCH_PROPERTYPUT);
}

qrt::Variant refTo(VARIANT* target) {
    qrt::Variant v;
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = target;
    return v;
}

void registerLibrary(const std::string& name) {
    std::string message;
    HRESULT hr = qhost::registerLibraryFile(binaryDir() + "/lib" + name + ".so", false, &message);
    ASSERT_EQ(hr, S_OK) << message;
}

}  // namespace qtest
