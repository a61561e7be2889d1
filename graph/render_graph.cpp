// The graph control's drawing pass: the whole graph is drawn into the
// off-screen picture (background, series, axes), which then reaches the
// target in one transfer.
#include "graph/axes_painter.h"
#include "graph/polyline_raster.h"
#include "graph/series.h"
#include "graph/series_holder.h"
#include "graph/vigraf.h"

#include <QPainter>

namespace tarvik {

namespace {

// A colour value's bytes as red, green, blue (no translation).
QColor rawColor(OLE_COLOR c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

QColor translatedColor(OLE_COLOR c) {
    COLORREF rgb = 0;
    if (FAILED(OleTranslateColor(c, nullptr, &rgb))) rgb = c & 0xFFFFFF;
    return rawColor(rgb);
}

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
    // The box is widened for the pass and restored exactly afterwards.
    const Box saved = m_box;
    if (widen) expandBox(m_box, m_needsRescale, true);
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
    int* devicePoints = reinterpret_cast<int*>(m_drawPoints.data());
    LONG n = 0;
    if (auto* own = dynamic_cast<CSeries*>(series)) {
        // A series of this library: its points are converted where they lie,
        // the first MaxDrawPoints of them, without the copy GetXY makes.
        n = static_cast<LONG>(std::min<std::size_t>(own->pointCount(), MaxDrawPoints));
        own->points().forEachRun(0, static_cast<std::size_t>(n),
                                 [&](const double* x, const double* y, std::size_t count, std::size_t first) {
                                     worldToDevice(m_geometry, m_box, x, y, count, devicePoints + 2 * first);
                                 });
    } else {
        if (FAILED(series->GetXY(&n, m_drawX.data(), m_drawY.data()))) return;
        n = std::clamp<LONG>(n, 0, MaxDrawPoints);  // a foreign series may claim more
        worldToDevice(m_geometry, m_box, m_drawX.data(), m_drawY.data(), static_cast<std::size_t>(n), devicePoints);
    }
    if (n < 2) return;
    OLE_COLOR color = 0;
    LONG alpha = 255;
    series->get_color(&color);
    series->get_alpha(&alpha);
    const IntRect& plot = m_geometry.plot;
    const QRect clip(plot.left, plot.top, plot.width(), plot.height());
    const QColor rgb = translatedColor(color);
    const int a = static_cast<int>(alpha & 0xFF);
    // Points that are not numbers break the line into pieces.
    const QPoint* points = m_drawPoints.data();
    int start = 0;
    for (int i = 0; i <= n; ++i) {
        if (i < n && points[i].x() != NoDevicePoint && points[i].y() != NoDevicePoint) continue;
        if (i - start >= 2) drawLine(image, clip, points + start, i - start, rgb, a);
        start = i + 1;
    }
}

void CViGraf::drawLine(QImage& image, const QRect& clip, const QPoint* points, int n, const QColor& rgb, int a) {
    // The dedicated rasterizer draws what QPainter would, faster; other
    // picture formats go through QPainter.
    if (drawPolyline(image, clip, points, n, rgb.rgb(), a)) return;
    QColor pen = rgb;
    pen.setAlpha(a);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setClipRect(clip);
    painter.setPen(QPen(pen, 1.0));
    painter.drawPolyline(points, n);
}

}  // namespace tarvik
