// The yardstick for the series rasterizer: the plain loop anyone would write
// for a translucent one-pixel polyline on 32-bit pixels. Bresenham per
// segment, each segment without its last pixel except the final one (so
// joints are blended once), a bounds test and a source-over blend per pixel.
// It walks every pixel of a segment, so it is only for points near the image.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRgb>

#include <cstdlib>

namespace bench {

inline void referencePolyline(QImage& image, const QRect& clip, const QPoint* points, int n, QRgb premultiplied) {
    quint32* bits = reinterpret_cast<quint32*>(image.bits());
    const qsizetype stride = image.bytesPerLine() / 4;
    const int left = clip.left(), right = clip.right(), top = clip.top(), bottom = clip.bottom();
    const quint32 inverse = 255 - qAlpha(premultiplied);
    auto blend = [&](int x, int y) {
        if (x < left || x > right || y < top || y > bottom) return;
        quint32& d = bits[y * stride + x];
        quint32 rb = (d & 0xff00ff) * inverse;
        rb = ((rb + ((rb >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
        quint32 ag = ((d >> 8) & 0xff00ff) * inverse;
        ag = (ag + ((ag >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
        d = premultiplied + (ag | rb);
    };
    for (int i = 1; i < n; ++i) {
        int x = points[i - 1].x(), y = points[i - 1].y();
        const int x1 = points[i].x(), y1 = points[i].y();
        const int dx = std::abs(x1 - x), dy = -std::abs(y1 - y);
        const int sx = x < x1 ? 1 : -1, sy = y < y1 ? 1 : -1;
        int err = dx + dy;
        while (x != x1 || y != y1) {
            blend(x, y);
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y += sy;
            }
        }
        if (i == n - 1) blend(x, y);
    }
}

}  // namespace bench
