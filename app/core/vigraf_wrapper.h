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
VARIANT argLong(LONG value);
VARIANT argUnsigned(ULONG value);
VARIANT argDouble(double value);
VARIANT argFloat(float value);
VARIANT argString(BSTR value);  // borrowed: the caller keeps the string
VARIANT argVariant(const VARIANT& value);  // borrowed, passed on unchanged
VARIANT argDispatch(IDispatch* value);     // borrowed
VARIANT refDouble(double* target);
VARIANT refLong(LONG* target);
VARIANT refUnsigned(ULONG* target);

}  // namespace quillan
