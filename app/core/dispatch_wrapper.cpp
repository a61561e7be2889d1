#include "app/core/dispatch_wrapper.h"

#include "runtime/bstr.h"

#include <iterator>

namespace quillan {

HRESULT DispatchWrapper::invoke(DISPID id, WORD flags, std::initializer_list<VARIANT> args, VARIANT* result) const {
    if (!m_control) return E_UNEXPECTED;
    // Arguments in reverse order; they are borrowed, so nothing is cleared.
    VARIANT reversed[8];
    const std::size_t count = args.size();
    if (count > std::size(reversed)) return E_INVALIDARG;
    std::size_t i = count;
    for (const VARIANT& arg : args) reversed[--i] = arg;
    DISPID putId = DISPID_PROPERTYPUT;
    const bool isPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    DISPPARAMS params{reversed, isPut ? &putId : nullptr, static_cast<UINT>(count), isPut ? 1u : 0u};
    EXCEPINFO excep{};
    UINT argErr = 0;
    HRESULT hr = m_control->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &excep, &argErr);
    if (hr == DISP_E_EXCEPTION) {
        if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
        qrt::setErrorInfo(qrt::bstrView(excep.bstrSource), qrt::bstrView(excep.bstrDescription));
        hr = FAILED(excep.scode) ? excep.scode : E_FAIL;
    }
    if (excep.bstrSource || excep.bstrDescription || excep.bstrHelpFile) qrt::clearExcepInfo(&excep);
    return hr;
}

HRESULT DispatchWrapper::getLong(DISPID id, LONG& value) const {
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

HRESULT DispatchWrapper::putLong(DISPID id, VARTYPE type, LONG value) const {
    return invoke(id, DISPATCH_PROPERTYPUT, {type == VT_UI4 ? argUnsigned(static_cast<ULONG>(value)) : argLong(value)});
}

}  // namespace quillan
