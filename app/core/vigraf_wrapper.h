// CVigraf1: the program's wrapper of the graph control. The program calls
// the control only through its dispatch interface, by dispatch identifier.
#pragma once

#include "app/core/dispatch_wrapper.h"

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

// The graph control's wrapper.
class CVigraf1 : public DispatchWrapper {
public:
    using DispatchWrapper::DispatchWrapper;
};

}  // namespace quillan
