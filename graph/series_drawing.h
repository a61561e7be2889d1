// One series as the drawing pass shows it: its line through the device
// points, broken where a point is not finite, and its point markers, both in
// the series' colour and alpha.
#pragma once

#include "graph/tarvik.h"

#include <QPoint>

#include <functional>

class QImage;
class QRect;

namespace tarvik {

// The side of the series' markers in pixels, 0 while IsPoint is off: the
// size DrawPoints kept in a series of this library, the default size in a
// series from elsewhere.
int markerSizeOf(ISeries* series);

// Draws the series' points[0..n), in device coordinates with NoDevicePoint
// for points that are not finite, into image, touching only pixels inside
// clip. The line needs two points and is drawn unless IsLine is off while
// markers are on; markers go over it. ends (PolylineEnds, only for pictures
// the rasterizer takes) says that the line goes on, far outside, before the
// first point or after the last.
void drawSeriesPoints(QImage& image, const QRect& clip, ISeries* series, const QPoint* points, int n, int ends = 0);

// The line of a series without markers and without a gap, its n device
// points handed over in order by next, as drawPolylineFrom takes them (first,
// beforeLast and last ahead): false, drawing nothing, when the picture or the
// series needs drawSeriesPoints instead.
bool drawSeriesLineFrom(QImage& image, const QRect& clip, ISeries* series, int n, QPoint first, QPoint beforeLast,
                        QPoint last, int ends, const std::function<int(QPoint* buffer, int room)>& next);

}  // namespace tarvik
