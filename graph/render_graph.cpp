// The graph control's drawing pass: the whole graph is drawn into the
// off-screen picture (background, series, axes), which then reaches the
// target in one transfer.
#include "graph/axes_painter.h"
#include "graph/polyline_raster.h"
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
        drawAxes(painter, m_geometry, m_box, m_xTitleRuns, m_yTitleRuns);
    }
    m_box = saved;
    m_needsRescale = false;
}

void CViGraf::fillBackground(QImage& image) {
    const IntRect& c = m_geometry.client;
    QPainter painter(&image);
    painter.fillRect(QRect(c.left, c.top, c.width(), c.height()), rawColor(m_backColor));
}

void CViGraf::drawSeries(QImage& image) {
    const LONG count = seriesCount();
    for (LONG i = 0; i < count; ++i)
        if (ISeries* series = seriesAt(i)) drawOneSeries(series, image);
}

void CViGraf::drawOneSeries(ISeries* series, QImage& image) {
    LONG n = 0;
    if (FAILED(series->GetXY(&n, m_drawX.data(), m_drawY.data())) || n < 2) return;
    OLE_COLOR color = 0;
    LONG alpha = 255;
    series->get_color(&color);
    series->get_alpha(&alpha);
    for (LONG i = 0; i < n; ++i) {
        const IntPoint p = worldToDevice(m_geometry, m_box, m_drawX[static_cast<std::size_t>(i)],
                                         m_drawY[static_cast<std::size_t>(i)]);
        m_drawPoints[static_cast<std::size_t>(i)] = QPoint(p.x, p.y);
    }
    const IntRect& plot = m_geometry.plot;
    const QRect clip(plot.left, plot.top, plot.width(), plot.height());
    const QColor rgb = translatedColor(color);
    const int a = static_cast<int>(alpha & 0xFF);
    // The dedicated rasterizer draws what QPainter would, faster; other
    // picture formats go through QPainter.
    if (drawPolyline(image, clip, m_drawPoints.data(), static_cast<int>(n), rgb.rgb(), a)) return;
    QColor pen = rgb;
    pen.setAlpha(a);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setClipRect(clip);
    painter.setPen(QPen(pen, 1.0));
    painter.drawPolyline(m_drawPoints.data(), static_cast<int>(n));
}

}  // namespace tarvik
