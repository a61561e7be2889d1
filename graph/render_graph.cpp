// The graph control's drawing pass: the whole graph is drawn into the
// off-screen picture (background, series, axes), which then reaches the
// target in one transfer.
#include "graph/axes_painter.h"
#include "graph/polyline_raster.h"
#include "graph/series.h"
#include "graph/series_drawing.h"
#include "graph/series_holder.h"
#include "graph/vigraf.h"

#include <QPainter>

#include <cmath>

namespace tarvik {

namespace {

// A colour value's bytes as red, green, blue (no translation).
QColor rawColor(OLE_COLOR c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

}  // namespace

void CViGraf::onDraw(QPainter& target, const QRect& bounds) {
    const int w = bounds.width(), h = bounds.height();
    if (w <= 0 || h <= 0) return;
    // The picture is drawn in its own coordinates, with the client area at
    // its origin, and copied to the bounds' corner.
    plotLayout(m_geometry, IntRect{0, 0, w, h});
    if (!m_graphImage.ensure(w, h)) return;  // no picture: leave the target as it was
    renderGraph(m_graphImage.image());
    target.drawImage(bounds.topLeft(), m_graphImage.image());
}

void CViGraf::renderGraph(QImage& image, bool widen) {
    // The box is widened for the pass (a view the user zoomed or panned to
    // is drawn exactly) and restored exactly afterwards.
    const Box saved = m_box;
    if (widen) {
        m_box = shownBox();
        m_needsRescale = true;
    }
    rescale(m_geometry, m_box, m_needsRescale);
    fillBackground(image);
    drawSeries(image);
    if (m_viewAxis != 0) {
        QPainter painter(&image);
        drawAxes(painter, &image, m_geometry, m_box, m_xTitleRuns, m_yTitleRuns);
    }
    m_box = saved;
    m_needsRescale = false;
}

void CViGraf::fillBackground(QImage& image) {
    const IntRect& c = m_geometry.client;
    const QRect area(c.left, c.top, c.width(), c.height());
    if (area == image.rect()) {
        image.fill(rawColor(m_backColor));  // the usual case: the whole picture
        return;
    }
    QPainter painter(&image);
    painter.fillRect(area, rawColor(m_backColor));
}

void CViGraf::drawSeries(QImage& image) {
    const LONG count = seriesCount();
    for (LONG i = 0; i < count; ++i)
        if (ISeries* series = seriesAt(i)) drawOneSeries(series, image);
}

void CViGraf::drawOneSeries(ISeries* series, QImage& image) {
    static_assert(sizeof(QPoint) == 2 * sizeof(int), "QPoint is two ints, x then y");
    const IntRect& plot = m_geometry.plot;
    const QRect clip(plot.left, plot.top, plot.width(), plot.height());
    auto* own = dynamic_cast<CSeries*>(series);
    LONG n = 0;
    int ends = OwnEnds;
    if (own) {
        // A series of this library: its points are converted where they lie,
        // the first MaxDrawPoints of them, without the copy GetXY makes. Of
        // a series sorted by x, only the run that can reach the picture.
        std::size_t first = 0, end = std::min<std::size_t>(own->pointCount(), MaxDrawPoints);
        if (own->sortedX() && rasterizable(image)) ends = visibleRun(own->points(), image.width(), first, end);
        if (own->allFinite() && end - first >= 2 && drawLineOnTheWay(own, image, clip, first, end, ends)) return;
        n = static_cast<LONG>(end - first);
        if (m_drawPoints.size() < end - first) m_drawPoints.resize(end - first);
        int* devicePoints = reinterpret_cast<int*>(m_drawPoints.data());
        own->points().forEachRun(first, end - first,
                                 [&](const double* x, const double* y, std::size_t count, std::size_t at) {
                                     worldToDevice(m_geometry, m_box, x, y, count, devicePoints + 2 * (at - first));
                                 });
    } else {
        m_drawX.resize(MaxDrawPoints);
        m_drawY.resize(MaxDrawPoints);
        if (FAILED(series->GetXY(&n, m_drawX.data(), m_drawY.data()))) return;
        n = std::clamp<LONG>(n, 0, MaxDrawPoints);  // a foreign series may claim more
        if (m_drawPoints.size() < static_cast<std::size_t>(n)) m_drawPoints.resize(static_cast<std::size_t>(n));
        worldToDevice(m_geometry, m_box, m_drawX.data(), m_drawY.data(), static_cast<std::size_t>(n),
                      reinterpret_cast<int*>(m_drawPoints.data()));
    }
    drawSeriesPoints(image, clip, series, m_drawPoints.data(), static_cast<int>(n), ends);
}

bool CViGraf::drawLineOnTheWay(CSeries* series, QImage& image, const QRect& clip, std::size_t first,
                               std::size_t end, int ends) {
    // Without a gap the line is one polyline, and its points can be converted
    // a chunk at a time just before they are drawn, while still in the cache.
    const PointBlocks& points = series->points();
    auto device = [&](std::size_t i) {
        const IntPoint p = worldToDevice(m_geometry, m_box, points.x(i), points.y(i));
        return QPoint(p.x, p.y);
    };
    std::size_t next = first;
    auto convert = [&](QPoint* buffer, int room) {
        const std::size_t count = std::min(static_cast<std::size_t>(room), end - next);
        points.forEachRun(next, count, [&](const double* x, const double* y, std::size_t run, std::size_t at) {
            worldToDevice(m_geometry, m_box, x, y, run, reinterpret_cast<int*>(buffer + (at - next)));
        });
        next += count;
        return static_cast<int>(count);
    };
    const int n = static_cast<int>(end - first);
    return drawSeriesLineFrom(image, clip, series, n, device(first), device(n > 2 ? end - 2 : first),
                              device(end - 1), ends, convert);
}

int CViGraf::visibleRun(const PointBlocks& points, int width, std::size_t& first, std::size_t& end) const {
    // Device x never decreases along a sorted series: the points that draw
    // anything lie between the last one far to the left of the picture and
    // the first one far to its right, both included for the segments that
    // enter and leave it.
    auto deviceX = [&](std::size_t i) { return worldToDevice(m_geometry, m_box, points.x(i), 0.0).x; };
    auto firstBeyond = [&](std::size_t lo, std::size_t hi, auto beyond) {
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (beyond(deviceX(mid)))
                hi = mid;
            else
                lo = mid + 1;
        }
        return lo;
    };
    const std::size_t count = end;
    const std::size_t near = firstBeyond(0, count, [](int x) { return x >= -FarOutside; });
    const std::size_t far = firstBeyond(near, count, [&](int x) { return x > width + FarOutside; });
    first = near > 0 ? near - 1 : 0;
    end = far < count ? far + 1 : count;
    // The line goes on past a left-out neighbour unless that is a gap.
    int ends = OwnEnds;
    if (first > 0 && std::isfinite(points.y(first - 1))) ends |= ContinuesBefore;
    if (end < count && std::isfinite(points.y(end))) ends |= ContinuesAfter;
    return ends;
}

}  // namespace tarvik
