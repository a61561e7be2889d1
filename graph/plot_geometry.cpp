#include "graph/plot_geometry.h"

#include <charconv>
#include <cmath>
#include <algorithm>
#include <cstdio>
#include <limits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
// (keep false), gives NoDevicePoint.
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

#ifdef __SSE2__
namespace {
// Four coordinates at once, exactly as toDevice does them one by one: the
// same float operations in the same order, the clamp, and NoDevicePoint
// (the bit pattern a failed conversion gives) where keep is clear or the
// value is NaN.
inline __m128i toDevice4(__m128 v, __m128 keep) {
    const __m128 number = _mm_and_ps(keep, _mm_cmpord_ps(v, v));
    v = _mm_min_ps(_mm_max_ps(v, _mm_set1_ps(-kDeviceLimit)), _mm_set1_ps(kDeviceLimit));
    const __m128i converted = _mm_cvttps_epi32(v);
    const __m128i mask = _mm_castps_si128(number);
    return _mm_or_si128(_mm_and_si128(mask, converted), _mm_andnot_si128(mask, _mm_set1_epi32(NoDevicePoint)));
}
// Four doubles as four floats, and a mask of those whose magnitude is at
// most the largest double (neither infinite nor NaN).
inline __m128 narrow4(const double* p, __m128& finite) {
    const __m128d a = _mm_loadu_pd(p), b = _mm_loadu_pd(p + 2);
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
    const __m128d largest = _mm_set1_pd(std::numeric_limits<double>::max());
    const __m128d fa = _mm_cmple_pd(_mm_and_pd(a, magnitude), largest);
    const __m128d fb = _mm_cmple_pd(_mm_and_pd(b, magnitude), largest);
    finite = _mm_shuffle_ps(_mm_castpd_ps(fa), _mm_castpd_ps(fb), _MM_SHUFFLE(2, 0, 2, 0));
    return _mm_movelh_ps(_mm_cvtpd_ps(a), _mm_cvtpd_ps(b));
}
}  // namespace
#endif

void worldToDevice(const Geometry& g, const Box& box, const double* x, const double* y, std::size_t n, int* xy) {
    const float right = static_cast<float>(g.plot.right), top = static_cast<float>(g.plot.top);
    const float xMax = static_cast<float>(box.XMax), yMax = static_cast<float>(box.YMax);
    const float sx = g.scaleX, sy = g.scaleY;
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128 vRight = _mm_set1_ps(right), vTop = _mm_set1_ps(top), vXMax = _mm_set1_ps(xMax),
                 vYMax = _mm_set1_ps(yMax), vSx = _mm_set1_ps(sx), vSy = _mm_set1_ps(sy);
    for (; i + 4 <= n; i += 4) {
        __m128 finiteX, finiteY;
        const __m128 fx = narrow4(x + i, finiteX), fy = narrow4(y + i, finiteY);
        const __m128 keep = _mm_and_ps(finiteX, finiteY);
        const __m128i dx = toDevice4(_mm_sub_ps(vRight, _mm_mul_ps(_mm_sub_ps(vXMax, fx), vSx)), keep);
        const __m128i dy = toDevice4(_mm_add_ps(vTop, _mm_mul_ps(_mm_sub_ps(vYMax, fy), vSy)), keep);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(xy + 2 * i), _mm_unpacklo_epi32(dx, dy));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(xy + 2 * i + 4), _mm_unpackhi_epi32(dx, dy));
    }
#endif
    for (; i < n; ++i) {
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
