// The test curves of the rendering benchmarks: series k is y = sin(x/50 + k) * x
// for x = 0, 1, ..., count - 1, mapped into a plot rectangle of a picture.
#pragma once

#include <QPoint>
#include <QRect>

#include <cmath>
#include <vector>

namespace bench {

// The plot rectangle of a 1280 x 800 picture, inside its axes and titles.
inline QRect benchPlotRect() { return QRect(QPoint(128, 25), QPoint(1254, 747)); }

inline double curveValue(int series, int x) { return std::sin(x / 50.0 + series) * x; }

// The curve in data coordinates: x, then y, count values each.
inline void curveValues(int series, int count, std::vector<double>& xs, std::vector<double>& ys) {
    xs.resize(count);
    ys.resize(count);
    for (int i = 0; i < count; ++i) {
        xs[i] = i;
        ys[i] = curveValue(series, i);
    }
}

// The curve in device pixels: x from 0 to count spans the plot's width, y from
// -count to count its height, upwards.
inline std::vector<QPoint> curvePoints(int series, int count, const QRect& plot = benchPlotRect()) {
    std::vector<QPoint> points(count);
    const double sx = (plot.width() - 1) / double(count);
    const double sy = (plot.height() - 1) / (2.0 * count);
    const double mid = plot.top() + (plot.height() - 1) / 2.0;
    for (int i = 0; i < count; ++i)
        points[i] = QPoint(int(std::lround(plot.left() + i * sx)), int(std::lround(mid - curveValue(series, i) * sy)));
    return points;
}

}  // namespace bench
