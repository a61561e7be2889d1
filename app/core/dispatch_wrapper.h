// DispatchWrapper: a control the program calls only through its dispatch
// interface, by dispatch identifier; the wrappers of the graph and editor
// controls build on it.
#pragma once

#include "runtime/dispatch.h"
#include "runtime/dispatch_table.h"
#include "runtime/object.h"

#include <array>
#include <initializer_list>

namespace quillan {

class DispatchWrapper {
public:
    DispatchWrapper() = default;
    explicit DispatchWrapper(IDispatch* control) : m_control(control) { findDirect(); }

    IDispatch* control() const { return m_control.get(); }
    void setControl(IDispatch* control) {
        m_control = control;
        findDirect();
    }

    // Calls member id with the arguments (first to last), as a method,
    // property get or property put. A failure of the control is returned;
    // when it raised an exception, its description is kept as the calling
    // thread's error information, so that it reaches the script.
    HRESULT invoke(DISPID id, WORD flags, std::initializer_list<VARIANT> args, VARIANT* result = nullptr) const;
    HRESULT method(DISPID id, std::initializer_list<VARIANT> args = {}) const {
        return invoke(id, DISPATCH_METHOD, args);
    }
    // A property read as a 32-bit integer.
    HRESULT getLong(DISPID id, LONG& value) const;
    HRESULT putLong(DISPID id, VARTYPE type, LONG value) const;

private:
    // A control in this process built on a dispatch table (one that
    // answers IDispatchDirect) has its members of plain numbers called
    // through their functions, with what Invoke would give; any other
    // control, or call, goes through Invoke.
    void findDirect();
    bool invokeDirect(DISPID id, WORD flags, std::initializer_list<VARIANT> args, VARIANT* result, HRESULT& hr) const;
    // The table's member for a method call of id (those of small
    // identifiers looked up when the control is set).
    const qrt::DispMember* methodMember(DISPID id) const {
        if (id >= 0 && id < kCachedIds) return m_methods[static_cast<std::size_t>(id)];
        return m_table->memberFor(id, DISPATCH_METHOD);
    }

    qrt::ComPtr<IDispatch> m_control;
    const qrt::DispatchTable* m_table = nullptr;
    void* m_self = nullptr;  // the control's `this` for its table's members
    static constexpr DISPID kCachedIds = 64;
    std::array<const qrt::DispMember*, kCachedIds> m_methods{};
};

// Argument builders: plain values, and references to the caller's storage.
namespace detail {
inline VARIANT variantOf(VARTYPE vt) {
    VARIANT v{};
    v.vt = vt;
    return v;
}
}  // namespace detail
inline VARIANT argLong(LONG value) { VARIANT v = detail::variantOf(VT_I4); v.lVal = value; return v; }
inline VARIANT argUnsigned(ULONG value) { VARIANT v = detail::variantOf(VT_UI4); v.ulVal = value; return v; }
inline VARIANT argDouble(double value) { VARIANT v = detail::variantOf(VT_R8); v.dblVal = value; return v; }
inline VARIANT argFloat(float value) { VARIANT v = detail::variantOf(VT_R4); v.fltVal = value; return v; }
// Borrowed: the caller keeps the string.
inline VARIANT argString(BSTR value) { VARIANT v = detail::variantOf(VT_BSTR); v.bstrVal = value; return v; }
// A reference to the caller's variant: passed on unchanged, not copied.
inline VARIANT argVariant(const VARIANT& value) {
    VARIANT v = detail::variantOf(VT_BYREF | VT_VARIANT);
    v.pvarVal = const_cast<VARIANT*>(&value);
    return v;
}
inline VARIANT argDispatch(IDispatch* value) { VARIANT v = detail::variantOf(VT_DISPATCH); v.pdispVal = value; return v; }
inline VARIANT refDouble(double* target) { VARIANT v = detail::variantOf(VT_BYREF | VT_R8); v.pdblVal = target; return v; }
inline VARIANT refLong(LONG* target) { VARIANT v = detail::variantOf(VT_BYREF | VT_I4); v.plVal = target; return v; }
inline VARIANT refUnsigned(ULONG* target) { VARIANT v = detail::variantOf(VT_BYREF | VT_UI4); v.pulVal = target; return v; }

}  // namespace quillan
