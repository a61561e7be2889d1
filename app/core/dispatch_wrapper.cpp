#include "app/core/dispatch_wrapper.h"

#include "runtime/bstr.h"

#include <iterator>
#include <tuple>

namespace quillan {

namespace {

// A control's exception as the calling thread's error information; the
// status it stands for.
HRESULT takeException(EXCEPINFO& excep) {
    if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
    qrt::setErrorInfo(qrt::bstrView(excep.bstrSource), qrt::bstrView(excep.bstrDescription));
    return FAILED(excep.scode) ? excep.scode : E_FAIL;
}

}  // namespace

void DispatchWrapper::findDirect() {
    m_table = nullptr;
    m_self = nullptr;
    m_methods.fill(nullptr);
    if (!m_control) return;
    qrt::ComPtr<IDispatchDirect> direct;
    if (FAILED(m_control->QueryInterface(IID_IDispatchDirect, direct.outVoid())) || !direct) return;
    const qrt::DispatchTable* table = nullptr;
    void* self = nullptr;
    if (FAILED(direct->GetDispatchTable(&table, &self)) || !table || !self) return;
    m_table = table;
    m_self = self;
    for (DISPID id = 0; id < kCachedIds; ++id)
        m_methods[static_cast<std::size_t>(id)] = table->memberFor(id, DISPATCH_METHOD);
}

bool DispatchWrapper::invokeDirect(DISPID id, WORD flags, std::initializer_list<VARIANT> args, VARIANT* result,
                                   HRESULT& hr) const {
    const qrt::DispMember* m = flags == DISPATCH_METHOD ? methodMember(id) : m_table->memberFor(id, flags);
    if (!m || !m->plain || !m->guarded || args.size() != m->plainCount) return false;
    VARIANT argv[std::tuple_size_v<decltype(m->plainTypes)> + 1];
    std::size_t i = 0;
    for (const VARIANT& arg : args) {
        const VARIANT& value = arg.vt == (VT_BYREF | VT_VARIANT) && arg.pvarVal ? *arg.pvarVal : arg;
        if (!qrt::plainArgument(value, m->plainTypes[i], argv[i])) return false;
        ++i;
    }
    VARIANT ret;
    ret.vt = VT_EMPTY;
    if (m->returnType != VT_VOID) qrt::retvalSlot(argv[i], ret, m->returnType);
    EXCEPINFO excep{};
    hr = qrt::callDirect(*m_table, *m, m_self, argv, &excep);
    const bool owning = ret.vt != VT_EMPTY && !qrt::isPlainType(ret.vt);
    if (FAILED(hr)) {
        if (owning) VariantClear(&ret);
        if (hr == DISP_E_EXCEPTION) hr = takeException(excep);
        qrt::clearExcepInfo(&excep);
        return true;
    }
    if (result) {
        VariantClear(result);
        *result = ret;
    } else if (owning) {
        VariantClear(&ret);
    }
    return true;
}

HRESULT DispatchWrapper::invoke(DISPID id, WORD flags, std::initializer_list<VARIANT> args, VARIANT* result) const {
    if (!m_control) return E_UNEXPECTED;
    if (m_table) {
        HRESULT hr = S_OK;
        if (invokeDirect(id, flags, args, result, hr)) return hr;
    }
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
    if (hr == DISP_E_EXCEPTION) hr = takeException(excep);
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
