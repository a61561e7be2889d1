#include "graph/series_drawing.h"

#include "graph/plot_geometry.h"
#include "graph/polyline_raster.h"
#include "graph/series.h"
#include "runtime/control.h"

#include <QImage>
#include <QPainter>

namespace tarvik {

namespace {

QColor translatedColor(OLE_COLOR c) {
    COLORREF rgb = 0;
    if (FAILED(OleTranslateColor(c, nullptr, &rgb))) rgb = c & 0xFFFFFF;
    return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

void drawLine(QImage& image, const QRect& clip, const QPoint* points, int n, const QColor& rgb, int a, int ends) {
    // The dedicated rasterizer draws what QPainter would, faster; other
    // picture formats go through QPainter.
    if (drawPolyline(image, clip, points, n, rgb.rgb(), a, ends)) return;
    QColor pen = rgb;
    pen.setAlpha(a);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setClipRect(clip);
    painter.setPen(QPen(pen, 1.0));
    painter.drawPolyline(points, n);
}

void drawSquares(QImage& image, const QRect& clip, const QPoint* points, int n, int size, const QColor& rgb, int a) {
    if (drawMarkers(image, clip, points, n, size, rgb.rgb(), a)) return;
    // Other picture formats: the same squares through QPainter.
    QColor fill = rgb;
    fill.setAlpha(a);
    QPainter painter(&image);
    painter.setClipRect(clip);
    const QRect area = clip & image.rect();
    const qint64 before = size / 2, after = size - 1 - before;
    for (int i = 0; i < n; ++i) {
        if (i > 0 && points[i] == points[i - 1]) continue;
        const qint64 x = points[i].x(), y = points[i].y();
        if (x + after < area.left() || x - before > area.right() || y + after < area.top() ||
            y - before > area.bottom())
            continue;
        painter.fillRect(QRect(int(x - before), int(y - before), size, size), fill);
    }
}

// A series' colour and alpha as the pass draws them.
struct Pen {
    QColor rgb;
    int alpha = 255;
    explicit Pen(ISeries* series) {
        OLE_COLOR color = 0;
        LONG a = 255;
        series->get_color(&color);
        series->get_alpha(&a);
        rgb = translatedColor(color);
        alpha = static_cast<int>(a & 0xFF);
    }
};

}  // namespace

int markerSizeOf(ISeries* series) {
    LONG isPoint = 0;
    if (FAILED(series->get_IsPoint(&isPoint)) || isPoint == 0) return 0;
    const auto* own = dynamic_cast<const CSeries*>(series);
    return static_cast<int>(own ? own->markerSize() : CSeries::DefaultMarkerSize);
}

bool drawSeriesLineFrom(QImage& image, const QRect& clip, ISeries* series, int n, QPoint first, QPoint beforeLast,
                        QPoint last, int ends, const std::function<int(QPoint*, int)>& next) {
    if (markerSizeOf(series) != 0 || !rasterizable(image)) return false;
    const Pen pen(series);
    return drawPolylineFrom(image, clip, n, first, beforeLast, last, pen.rgb.rgb(), pen.alpha, ends, next);
}

void drawSeriesPoints(QImage& image, const QRect& clip, ISeries* series, const QPoint* points, int n, int ends) {
    const int markerSize = markerSizeOf(series);
    if (n < 1 || (n < 2 && markerSize == 0)) return;
    LONG isLine = 1;
    series->get_IsLine(&isLine);
    const Pen pen(series);
    const QColor& rgb = pen.rgb;
    const int a = pen.alpha;
    // Without markers a series shows its line whatever IsLine says, as it
    // always has; IsLine off leaves out the line only next to markers.
    if (isLine != 0 || markerSize == 0) {
        // Points that are not finite break the line into pieces.
        int start = 0;
        for (int i = 0; i <= n; ++i) {
            if (i < n && points[i].x() != NoDevicePoint && points[i].y() != NoDevicePoint) continue;
            const int pieceEnds = (start == 0 ? ends & ContinuesBefore : 0) | (i == n ? ends & ContinuesAfter : 0);
            if (i - start >= 2) drawLine(image, clip, points + start, i - start, rgb, a, pieceEnds);
            start = i + 1;
        }
    }
    // A point that is not finite lies far outside the clip: no marker.
    if (markerSize > 0) drawSquares(image, clip, points, n, markerSize, rgb, a);
}

}  // namespace tarvik
