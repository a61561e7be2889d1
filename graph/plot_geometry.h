// The geometry of a graph: where the plot area lies in the control, how the
// world box is widened for drawing, how world coordinates map to pixels and
// back, and how an axis is divided into ticks and labelled.
#pragma once

#include <cstddef>
#include <string>

namespace tarvik {

// The graph's world extent.
struct Box {
    double XMin = 0, YMin = 0, XMax = 0, YMax = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

// An integer device rectangle; right and bottom lie one past the last pixel.
struct IntRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    friend bool operator==(const IntRect&, const IntRect&) = default;
};

struct IntPoint {
    int x = 0, y = 0;
    friend bool operator==(const IntPoint&, const IntPoint&) = default;
};

// The layout and scales of the last drawing pass.
struct Geometry {
    IntRect client;    // the whole control area
    IntRect plot;      // the plot area inside it
    float scaleX = 0;  // pixels per world unit
    float scaleY = 0;
};

// Lays the plot area out in bounds; every margin follows from the width.
void plotLayout(Geometry& g, const IntRect& bounds);

// Widens the box for drawing (flag true: y bounds 5 % and x bounds 1 % away
// from zero) or undoes the widening (flag false); needsRescale := flag.
void expandBox(Box& box, bool& needsRescale, bool flag);

// Recomputes the scales from the plot area and the box when needsRescale is
// set and the box is not (nearly) empty.
void rescale(Geometry& g, const Box& box, bool& needsRescale);

// World to device pixels in single precision, truncated toward zero. Points
// far outside the plot are limited to a range that integer drawing handles;
// a point with a coordinate that is infinite or NaN gives NoDevicePoint in
// both coordinates.
IntPoint worldToDevice(const Geometry& g, const Box& box, double x, double y);

// The device coordinate of a point that is not finite: the line is broken there.
constexpr int NoDevicePoint = -2147483647 - 1;

// worldToDevice of n points at once, written as x, y integer pairs into xy
// (2 n ints).
void worldToDevice(const Geometry& g, const Box& box, const double* x, const double* y, std::size_t n, int* xy);

// Device pixels to world, after clamping the point into the plot area;
// (0, 0) while the scales are not set.
void deviceToWorld(const Geometry& g, const Box& box, int px, int py, double& x, double& y);

// floor(log10 |v|) counted by decades; 0 for 0.
int decadeExponent(double v);
// 10 to the power n by repeated multiplication.
double powerOfTen(int n);

// How one axis is divided: the tick step, its multiplier and exponent, the
// factor and printf format of the labels, and where the tick loop starts.
struct AxisLayout {
    double tickStep = 0;
    int multiplier = 1;     // 1, 2, 5 or 10
    int tickExponent = 0;
    double labelFactor = 1;
    int decimals = 0;
    std::string labelFormat;  // "%.Nf"
    double start = 0;
};

enum class Axis { X, Y };

// Lays out an axis over [min, max] of the widened box.
AxisLayout axisLayout(Axis axis, double min, double max);

// A tick label: value × labelFactor printed with labelFormat.
std::string tickLabel(const AxisLayout& layout, double value);

}  // namespace tarvik
