// A series' line for vector pictures (SVG, PDF): the points in device
// coordinates computed in floating point, clipped to the plot area, with the
// points left out that move the line by less than a tenth of a pixel, and
// rounded to tenths of a pixel. What remains is one line of one or more
// pieces: a point that is not finite, or a stretch outside the plot, breaks
// it.
#pragma once

#include "graph/plot_geometry.h"

#include <QPointF>
#include <QRectF>

#include <cstddef>
#include <vector>

namespace tarvik {

class VectorLine {
public:
    // How far a left-out point may lie from the line that is drawn, in
    // device pixels, and the grid the points are rounded to: tenths.
    static constexpr double kTolerance = 0.1;
    static constexpr double kGridSteps = 10;  // per pixel

    // Starts an empty line clipped to clip.
    void reset(const QRectF& clip);
    // Appends world points, mapped with the geometry's scales and the box
    // as the drawing pass maps them but without rounding to whole pixels.
    void addWorld(const Geometry& g, const Box& box, const double* x, const double* y, std::size_t n);
    // Appends a device point; a coordinate that is not finite breaks the line.
    void addDevice(double x, double y);
    // Ends the line: the last piece gets its last point.
    void finish();

    // The points of all pieces; piece i runs from starts()[i] to
    // starts()[i + 1] (or the end). Pieces have two points or more.
    const std::vector<QPointF>& points() const { return m_points; }
    const std::vector<int>& starts() const { return m_starts; }
    int pieceCount() const { return static_cast<int>(m_starts.size()); }

private:
    // The clipped line arrives here: a piece begins at p (moveTo) or goes on
    // to p (lineTo).
    void moveTo(QPointF p);
    void lineTo(QPointF p);
    // Leaves a point out when the line stays within the tolerance without it.
    void simplify(QPointF p);
    void keep(QPointF p);
    void endPiece();

    QRectF m_clip;
    std::vector<QPointF> m_points;
    std::vector<int> m_starts;

    // The input: the previous device point, when there is one.
    bool m_havePrevious = false;
    QPointF m_previous;
    // The clipped line: whether a piece is open, and its last point.
    bool m_open = false;
    QPointF m_penAt;

    // The simplifier: the last point kept (the anchor), the last point seen
    // (kept when the next one cannot be reached in a straight line), the
    // edges of the cone of directions a straight line from the anchor may
    // take to pass within the tolerance of every point left out, and how
    // far the farthest of those points lies from the anchor.
    QPointF m_anchor;
    bool m_haveLast = false;
    QPointF m_last;
    bool m_haveCone = false;
    QPointF m_low, m_high;
    double m_reach = 0;
};

}  // namespace tarvik
