// CVigraf1: the program's wrapper of the graph control. The program calls
// the control only through its dispatch interface, by dispatch identifier.
#pragma once

#include "runtime/dispatch.h"
#include "runtime/object.h"

#include <initializer_list>

namespace quillan {

// Dispatch identifiers of the graph control's members.
namespace vigraf {
constexpr DISPID CreateSeries = 1, AddPointToSeries = 2, SetBox = 3, RecalcSeries = 4, CountSeries = 5,
                 SetPoints = 6, SetPointVar = 7, SetPropertySeries = 8, GetPropertySeries = 9, X_axis = 10,
                 Y_axis = 11, ReDrawGraph = 12, RemoveData = 13, RemoveSeries = 14, SavePicture = 15,
                 ZoomGraf = 16, SetImage = 17, Magnifier = 18, GetZoomImage = 19, SetZoomRect = 20, AutoZoom = 21,
                 RemoveAll = 24, AddFrame = 25, LoadStreamFromDocToFile = 26, LoadStreamFromDoc = 27, GetBox = 28,
                 SetBox_1 = 29, DrawPoints = 30, ViewAxis = 32, BkgrColor = 33, FrameInFrameEx = 34,
                 FrameInFrame = 35;
}  // namespace vigraf

class CVigraf1 {
public:
    CVigraf1() = default;
    explicit CVigraf1(IDispatch* control) : m_control(control) {}

    IDispatch* control() const { return m_control.get(); }
    void setControl(IDispatch* control) { m_control = control; }

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
    qrt::ComPtr<IDispatch> m_control;
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
