#include "app/core/vigraf_wrapper.h"

#include "runtime/bstr.h"

#include <algorithm>
#include <vector>

namespace quillan {

HRESULT CVigraf1::invoke(DISPID id, WORD flags, std::initializer_list<VARIANT> args, VARIANT* result) const {
    if (!m_control) return E_UNEXPECTED;
    // Arguments in reverse order; they are borrowed, so nothing is cleared.
    std::vector<VARIANT> reversed(args.begin(), args.end());
    std::reverse(reversed.begin(), reversed.end());
    DISPID putId = DISPID_PROPERTYPUT;
    const bool isPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    DISPPARAMS params{reversed.data(), isPut ? &putId : nullptr, static_cast<UINT>(reversed.size()), isPut ? 1u : 0u};
    EXCEPINFO excep{};
    UINT argErr = 0;
    HRESULT hr = m_control->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &excep, &argErr);
    if (hr == DISP_E_EXCEPTION) {
        if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
        qrt::setErrorInfo(qrt::bstrView(excep.bstrSource), qrt::bstrView(excep.bstrDescription));
        hr = FAILED(excep.scode) ? excep.scode : E_FAIL;
    }
    qrt::clearExcepInfo(&excep);
    return hr;
}

HRESULT CVigraf1::getLong(DISPID id, LONG& value) const {
    qrt::Variant result;
    HRESULT hr = invoke(id, DISPATCH_PROPERTYGET, {}, &result);
    if (FAILED(hr)) return hr;
    qrt::Variant converted;
    hr = VariantChangeType(&converted, &result, 0, VT_I4);
    if (FAILED(hr)) {
        // Unsigned colours above 0x7FFFFFFF keep their bit pattern.
        hr = VariantChangeType(&converted, &result, 0, VT_UI4);
        if (FAILED(hr)) return hr;
        value = static_cast<LONG>(converted.ulVal);
        return S_OK;
    }
    value = converted.lVal;
    return S_OK;
}

HRESULT CVigraf1::putLong(DISPID id, VARTYPE type, LONG value) const {
    return invoke(id, DISPATCH_PROPERTYPUT, {type == VT_UI4 ? argUnsigned(static_cast<ULONG>(value)) : argLong(value)});
}

namespace {
VARIANT make(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}
}  // namespace

VARIANT argLong(LONG value) { VARIANT v = make(VT_I4); v.lVal = value; return v; }
VARIANT argUnsigned(ULONG value) { VARIANT v = make(VT_UI4); v.ulVal = value; return v; }
VARIANT argDouble(double value) { VARIANT v = make(VT_R8); v.dblVal = value; return v; }
VARIANT argFloat(float value) { VARIANT v = make(VT_R4); v.fltVal = value; return v; }
VARIANT argString(BSTR value) { VARIANT v = make(VT_BSTR); v.bstrVal = value; return v; }
VARIANT argVariant(const VARIANT& value) {
    // A reference to the caller's variant: passed on unchanged, not copied.
    VARIANT v = make(VT_BYREF | VT_VARIANT);
    v.pvarVal = const_cast<VARIANT*>(&value);
    return v;
}
VARIANT argDispatch(IDispatch* value) { VARIANT v = make(VT_DISPATCH); v.pdispVal = value; return v; }
VARIANT refDouble(double* target) { VARIANT v = make(VT_BYREF | VT_R8); v.pdblVal = target; return v; }
VARIANT refLong(LONG* target) { VARIANT v = make(VT_BYREF | VT_I4); v.plVal = target; return v; }
VARIANT refUnsigned(ULONG* target) { VARIANT v = make(VT_BYREF | VT_UI4); v.pulVal = target; return v; }

}  // namespace quillan
