// Rasterizers for what the graph draws in bulk: a series polyline, one pixel
// wide, without anti-aliasing, in one colour, and the square markers on a
// series' points.
//
// The polyline rasterizer produces the pixels QPainter produces for
// QPen(colour, 1) with antialiasing off and drawPolyline(const QPoint*, int)
// — the same end points (square caps on the two ends of an open polyline),
// the same dropout control where segments meet, each joint blended once, the
// same clipping — but without QPainter's per-call conversion of the points
// to floating point and its per-pixel function calls. The markers are plain
// rectangle fills with the same blend, done in place for the same reason.
#pragma once

#include <functional>

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRgb>

namespace tarvik {

// Draws a connected polyline through points[0..n) into image, blending rgb
// with the given alpha (0..255) source-over; n < 2 draws nothing, alpha 0
// draws nothing, alpha 255 writes the colour. Only pixels inside clip (and
// the image) are touched. Points may lie anywhere in the int range; segments
// are clipped analytically.
//
// Returns false, drawing nothing, when the image is not Format_RGB32 or
// Format_ARGB32_Premultiplied or is larger than 16384 pixels either way; the
// caller then draws with QPainter.
//
// ends tells whether the polyline really goes on before points[0] or after
// points[n - 1], through points at least FarOutside pixels left or right of
// the image (which draw nothing there): that end is then a joint rather than
// a cap, and the polyline is not closed. So a caller may leave out such
// points and draw exactly the pixels of the whole polyline.
enum PolylineEnds : int { OwnEnds = 0, ContinuesBefore = 1, ContinuesAfter = 2 };
bool drawPolyline(QImage& image, const QRect& clip, const QPoint* points, int n, QRgb rgb, int alpha,
                  int ends = OwnEnds);

// The polyline drawPolyline draws, its n points handed over in order by
// next(buffer, room), which puts up to room (at least one) points in buffer
// and returns how many it put there; it is called until n points came or it
// returns 0. first, beforeLast and last are points 0, n - 2 (any point when
// n < 3) and n - 1, known ahead because a closed polyline starts with the
// joint to its closing segment. Returns false for the pictures drawPolyline
// refuses, before calling next.
bool drawPolylineFrom(QImage& image, const QRect& clip, int n, QPoint first, QPoint beforeLast, QPoint last,
                      QRgb rgb, int alpha, int ends, const std::function<int(QPoint* buffer, int room)>& next);

// How far outside the image, left or right, a point must lie for neither a
// line segment between two such points nor a marker on it to touch the image.
constexpr int FarOutside = 128;

// Whether drawPolyline and drawMarkers draw into image (else they refuse it).
bool rasterizable(const QImage& image);

// Fills a size x size square on each of points[0..n), blending rgb with
// alpha the way drawPolyline does. A square covers the pixels from
// p - size / 2 to p - size / 2 + size - 1 on both axes, so an odd size is
// centred on the point. Each square is blended on its own, so where two
// overlap a translucent colour is blended twice; a point equal to the one
// before it is skipped, as it would only darken the same square again.
// Only pixels inside clip (and the image) are touched; points may lie
// anywhere in the int range. size < 1 or alpha 0 draw nothing.
//
// Returns false, drawing nothing, for the picture formats drawPolyline
// refuses.
bool drawMarkers(QImage& image, const QRect& clip, const QPoint* points, int n, int size, QRgb rgb, int alpha);

// The pixel value drawPolyline blends: rgb with alpha, premultiplied the way
// QPainter premultiplies a pen colour.
QRgb premultipliedPenColour(QRgb rgb, int alpha);

}  // namespace tarvik
