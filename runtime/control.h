// Controls: components with a window of their own inside a host's window.
//
// A host gives the control a site, asks it to create its window as a child
// QWidget of the host's widget, and tells it its rectangle whenever the
// host's size changes; the control follows that rectangle. A control that
// must be redrawn while it has no window tells the site that its view
// changed. A control can also draw itself without its window (the inactive
// rendering, used in design views and when printing).
#pragma once

#include "runtime/unknown.h"

class QWidget;
class QPainter;

// Implemented by the host's site object.
struct IViewChangeSink : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{89FDC08B-2F6D-420F-9F8E-2B596ABA84D7}");
    using Base = IUnknown;
    virtual HRESULT OnViewChange() = 0;

protected:
    ~IViewChangeSink() = default;
};

struct IWidgetControl : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{E78F5AA3-97F7-4D53-A1F1-69C739DD7C59}");
    using Base = IUnknown;
    // The site is held until replaced; null detaches the control.
    virtual HRESULT SetSite(IUnknown* site) = 0;
    // Creates (or returns) the control's window as a child of parent and
    // shows it. The window belongs to the control.
    virtual HRESULT CreateControlWindow(QWidget* parent, QWidget** window) = 0;
    virtual HRESULT DestroyControlWindow() = 0;
    // The control's area in the parent's coordinates.
    virtual HRESULT SetObjectRect(LONG x, LONG y, LONG width, LONG height) = 0;
    // Draws the control into painter over the given bounds, without its window.
    virtual HRESULT Draw(QPainter* painter, LONG x, LONG y, LONG width, LONG height) = 0;

protected:
    ~IWidgetControl() = default;
};

// Colours.
using COLORREF = DWORD;  // 0x00BBGGRR

// Translates a colour value to plain red-green-blue: a value whose high byte
// is 0x80 names a system colour (index in the low byte); 0x02 marks an RGB
// value meant for a palette; 0x00 is plain. Other forms, and system-colour
// indices beyond the table, give E_INVALIDARG. The palette is not used.
HRESULT OleTranslateColor(OLE_COLOR color, void* palette, COLORREF* result);
