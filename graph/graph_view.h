// The user's own view of the graph, for the program that hosts the graph
// control (scripts do not see this interface: it is reached by
// QueryInterface on the control).
//
// A view the user zooms or pans to is the control's box: GetBox reads what
// the window shows. While such a view is shown the box is drawn exactly as
// it is, without the margin that the ordinary drawing pass adds around the
// box, so that the extent in the plot area is the box itself. Anything that
// sets the box (SetBox, RecalcSeries and the members that call it,
// RemoveAll) ends the user's view; ResetView ends it too, putting back the
// box the user started from.
//
// Positions are in pixels of the control's window as its host counts them
// (on a high-density screen, before the screen's scale).
#pragma once

#include "runtime/dispatch.h"

struct IGraphView : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{9E4C3B61-2F7D-4A18-B5C2-7D0E6A1F3C84}");
    using Base = IUnknown;

    // The world point under a window position, in double precision and not
    // clamped to the plot area. S_OK inside the plot area; S_FALSE outside
    // it (the values are still written), or when the graph has no box that
    // can be drawn (both values 0).
    virtual HRESULT PointAt(double px, double py, double* x, double* y) = 0;

    // Zooms by factor (above 1 in, below 1 out) about a window position:
    // the world point under it stays under it. The step is cut short where
    // the drawing's precision ends (zooming in) or the data would shrink to
    // nothing (zooming out). S_FALSE when nothing changed: the automatic
    // magnifier is on, the box cannot be drawn, or the view is at its limit.
    virtual HRESULT ZoomAt(double px, double py, double factor) = 0;

    // Moves what the window shows by dx, dy window pixels (right and down
    // positive), as dragging it with the pointer does. S_FALSE when nothing
    // changed, for the reasons ZoomAt gives.
    virtual HRESULT PanBy(double dx, double dy) = 0;

    // Puts back the box the user's view started from. S_FALSE when no user
    // view is shown or the automatic magnifier is on.
    virtual HRESULT ResetView() = 0;

    // The drawn point of any series nearest on screen to a window position,
    // among the points that lie in the plot area: its series, its index in
    // the series and its coordinates. S_FALSE with nothing written when no
    // point lies in the plot area. The points are indexed once per change
    // of the data; only the points a series draws (the first MaxDrawPoints)
    // are looked at.
    virtual HRESULT NearestPoint(double px, double py, LONG* series, LONG* index, double* x, double* y) = 0;

protected:
    ~IGraphView() = default;
};
