#include "graph/plot_geometry.h"

#include <charconv>
#include <cmath>
#include <algorithm>
#include <cstdio>
#include <limits>

namespace tarvik {

void plotLayout(Geometry& g, const IntRect& bounds) {
    const int w = bounds.right - bounds.left;
    g.client = bounds;
    g.plot = IntRect{bounds.left + w / 10, bounds.top + w / 50, bounds.right - w / 50, bounds.bottom - w / 15};
}

void expandBox(Box& box, bool& needsRescale, bool flag) {
    needsRescale = flag;
    const double b = flag ? 1.05 : 0.9523809523809523;
    const double c = flag ? 1.01 : 0.9900990099009901;
    // A lower bound moves down and an upper bound up (or back again).
    auto lower = [](double v, double f) { return v < 0 ? v * f : v > 0 ? v / f : v; };
    auto upper = [](double v, double f) { return v < 0 ? v / f : v > 0 ? v * f : v; };
    box.YMin = lower(box.YMin, b);
    box.YMax = upper(box.YMax, b);
    box.XMin = lower(box.XMin, c);
    box.XMax = upper(box.XMax, c);
}

void rescale(Geometry& g, const Box& box, bool& needsRescale) {
    if (!needsRescale) return;
    needsRescale = false;
    const float xMin = static_cast<float>(box.XMin), xMax = static_cast<float>(box.XMax);
    const float yMin = static_cast<float>(box.YMin), yMax = static_cast<float>(box.YMax);
    if (xMax == xMin && yMax == yMin) return;
    const float dx = xMax - xMin, dy = yMax - yMin;
    // Any extent that single precision can tell from zero gets its scale,
    // so that data of very small values is drawn too.
    if (!(dx > 0) || !(dy > 0) || !std::isfinite(dx) || !std::isfinite(dy)) return;
    g.scaleX = static_cast<float>(g.plot.right - g.plot.left) / dx;
    g.scaleY = static_cast<float>(g.plot.bottom - g.plot.top) / dy;
}

namespace {
// Far-away points stay integers that line drawing can clip.
constexpr float kDeviceLimit = 1.0e8f;
// Truncation toward zero, limited; NaN, or a point that is not finite
// (keep false), gives NoDevicePoint. Branch-free, so that the batch loop
// below vectorizes.
inline int toDevice(float v, bool keep) {
    const bool number = keep && v == v;
    v = number ? v : 0.0f;
    v = std::max(v, -kDeviceLimit);
    v = std::min(v, kDeviceLimit);
    return number ? static_cast<int>(v) : NoDevicePoint;
}
// Whether both coordinates are finite: an infinite coordinate is as much a
// gap in the line as a NaN, not a point at the edge of the world.
inline bool finitePoint(double x, double y) {
    constexpr double kMax = std::numeric_limits<double>::max();
    return std::fabs(x) <= kMax && std::fabs(y) <= kMax;
}
}  // namespace

__attribute__((optimize("O3"))) void worldToDevice(const Geometry& g, const Box& box, const double* x,
                                                   const double* y, std::size_t n, int* xy) {
    const float right = static_cast<float>(g.plot.right), top = static_cast<float>(g.plot.top);
    const float xMax = static_cast<float>(box.XMax), yMax = static_cast<float>(box.YMax);
    const float sx = g.scaleX, sy = g.scaleY;
    for (std::size_t i = 0; i < n; ++i) {
        const bool keep = finitePoint(x[i], y[i]);
        xy[2 * i] = toDevice(right - (xMax - static_cast<float>(x[i])) * sx, keep);
        xy[2 * i + 1] = toDevice(top + (yMax - static_cast<float>(y[i])) * sy, keep);
    }
}

IntPoint worldToDevice(const Geometry& g, const Box& box, double x, double y) {
    const bool keep = finitePoint(x, y);
    const float fx = static_cast<float>(x), fy = static_cast<float>(y);
    const float px = static_cast<float>(g.plot.right) - (static_cast<float>(box.XMax) - fx) * g.scaleX;
    const float py = static_cast<float>(g.plot.top) + (static_cast<float>(box.YMax) - fy) * g.scaleY;
    return {toDevice(px, keep), toDevice(py, keep)};
}

void deviceToWorld(const Geometry& g, const Box& box, int px, int py, double& x, double& y) {
    if (py < g.plot.top) py = g.plot.top;
    if (py > g.plot.bottom) py = g.plot.bottom;
    if (px < g.plot.left) px = g.plot.left;
    if (px > g.plot.right) px = g.plot.right;
    if (g.scaleX > 0 && g.scaleY > 0) {
        x = box.XMax - (g.plot.right - px) / g.scaleX;
        y = (g.plot.bottom - py) / g.scaleY + box.YMin;
    } else {
        x = 0;
        y = 0;
    }
}

int decadeExponent(double v) {
    double a = std::fabs(v);
    if (a == 0 || !std::isfinite(a)) return 0;
    if (a > 1) {
        if (a * 0.1 < 1) return 0;
        int n = 0;
        double p = 10;
        while (!(a / p < 1)) {
            p *= 10;
            ++n;
        }
        return n;
    }
    if (a < 1) {
        int n = 0;
        double p = 1;
        while (!(a * p >= 1)) {
            p *= 10;
            ++n;
        }
        return -n;
    }
    return 0;
}

double powerOfTen(int n) {
    double p = 1.0;
    for (int i = 0; i < (n < 0 ? -n : n); ++i) p *= 10.0;
    return n < 0 ? 1.0 / p : p;
}

namespace {
int multiplierUp(int m) { return m == 1 ? 2 : m == 2 ? 5 : 10; }
int multiplierDown(int m) { return m == 10 ? 5 : m == 5 ? 2 : 1; }
}  // namespace

AxisLayout axisLayout(Axis axis, double min, double max) {
    AxisLayout a;
    const double s0 = (axis == Axis::Y ? 0.2 : 0.1) * 1.2 * (max - min);
    const double j = powerOfTen(decadeExponent(s0));
    const double k = s0 / j;
    int m = 1;
    double d = std::fabs(k - 1);
    for (int c : {2, 5, 10}) {
        if (std::fabs(k - c) < d) {
            m = c;
            d = std::fabs(k - c);
        }
    }
    const double range = max - min;
    if (range / (m * j) > 18) m = multiplierUp(m);
    if (range / (m * j) < (axis == Axis::Y ? 4 : 5)) m = multiplierDown(m);
    a.multiplier = m;
    a.tickStep = m * j;
    a.tickExponent = decadeExponent(a.tickStep);
    a.labelFactor = std::abs(a.tickExponent) <= 2 ? 1.0 : 1.0 / powerOfTen(a.tickExponent);
    const double spread = (a.labelFactor * max - a.labelFactor * min) * 0.01;
    const double digits = std::fabs(std::log10(spread));
    a.decimals = std::isfinite(digits) && digits < 20 ? static_cast<int>(digits) : 0;
    char format[16];
    std::snprintf(format, sizeof format, "%%.%df", a.decimals);
    a.labelFormat = format;
    if (axis == Axis::Y) {
        const double q = (1 / a.tickStep) * min;
        a.start = std::trunc(q) * a.tickStep;
        if (std::fabs((min - a.start) * (1 / a.tickStep)) > 0.2) a.start += min >= 0 ? a.tickStep : -a.tickStep;
    } else {
        a.start = std::trunc(min / a.tickStep) * a.tickStep;
    }
    return a;
}

std::string tickLabel(const AxisLayout& layout, double value) {
    // The label format is "%.Nf"; printed here with "." whatever the locale.
    char text[400];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value * layout.labelFactor, std::chars_format::fixed,
                                   layout.decimals);
    if (ec != std::errc()) return "?";
    std::string label(text, end);
    // A tick that lands a rounding error below zero reads "0.0", not "-0.0".
    if (label.size() > 1 && label[0] == '-' && label.find_first_not_of("0.", 1) == std::string::npos) label.erase(0, 1);
    return label;
}

}  // namespace tarvik
