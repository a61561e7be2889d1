// Layout numbers: plot area, widened box, mapping, tick steps and labels.
#include "graph/offscreen_image.h"
#include "graph/plot_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace tarvik {
namespace {

Box widened(Box b) {
    bool rescale = false;
    expandBox(b, rescale, true);
    EXPECT_TRUE(rescale);
    return b;
}

std::vector<std::string> labels(Axis axis, double min, double max) {
    const AxisLayout a = axisLayout(axis, min, max);
    std::vector<std::string> out;
    // The tick loop of the Y axis starts one step after its start value.
    for (double r = axis == Axis::Y ? a.start + a.tickStep : a.start; r <= max; r += a.tickStep)
        out.push_back(tickLabel(a, r));
    return out;
}

TEST(PlotGeometry, LayoutFollowsTheWidth) {
    Geometry g;
    plotLayout(g, IntRect{0, 0, 640, 400});
    EXPECT_EQ(g.plot, (IntRect{64, 12, 628, 358}));
    plotLayout(g, IntRect{10, 20, 1290, 820});
    EXPECT_EQ(g.plot, (IntRect{138, 45, 1265, 735}));
    EXPECT_EQ(g.client, (IntRect{10, 20, 1290, 820}));
}

TEST(PlotGeometry, TheBoxWidensAwayFromZeroAndBack) {
    Box b = widened({5, 5, 10, 10});
    EXPECT_DOUBLE_EQ(b.YMin, 5 / 1.05);
    EXPECT_DOUBLE_EQ(b.YMax, 10.5);
    EXPECT_DOUBLE_EQ(b.XMin, 5 / 1.01);
    EXPECT_DOUBLE_EQ(b.XMax, 10.1);
    Box n = widened({-4, -2, 0, 0});
    EXPECT_DOUBLE_EQ(n.XMin, -4.04);
    EXPECT_DOUBLE_EQ(n.YMin, -2.1);
    EXPECT_EQ(n.XMax, 0);
    bool rescale = true;
    expandBox(b, rescale, false);
    EXPECT_FALSE(rescale);
    EXPECT_NEAR(b.YMax, 10, 1e-12);
}

TEST(PlotGeometry, MappingBetweenWorldAndDevice) {
    Geometry g;
    plotLayout(g, IntRect{0, 0, 640, 400});
    Box box{0, 0, 10, 10};
    bool needs = false;
    rescale(g, box, needs);
    EXPECT_EQ(g.scaleX, 0);  // nothing asked: the scales stay
    needs = true;
    rescale(g, box, needs);
    EXPECT_FLOAT_EQ(g.scaleX, 56.4f);
    EXPECT_FLOAT_EQ(g.scaleY, 34.6f);
    EXPECT_EQ(worldToDevice(g, box, 10, 10), (IntPoint{628, 12}));
    EXPECT_EQ(worldToDevice(g, box, 0, 0), (IntPoint{64, 358}));
    EXPECT_EQ(worldToDevice(g, box, 5, 5), (IntPoint{346, 185}));
    // Far-away points stay representable.
    IntPoint far = worldToDevice(g, box, 1e300, -1e300);
    EXPECT_GT(far.x, 10'000'000);
    EXPECT_GT(far.y, 10'000'000);

    // The batch conversion gives what the one-point conversion gives, for
    // ordinary, far, infinite and NaN coordinates, in every lane and in the
    // tail after the last whole group.
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    const std::vector<double> values = {0, 5, -3.25, 10, 1e300, -1e300, 3.4e38, 4e38, inf, -inf, nan, 1e-320, -0.0, 9.99};
    std::vector<double> xs, ys;
    for (double a : values)
        for (double b : values) {
            xs.push_back(a);
            ys.push_back(b);
        }
    xs.push_back(7);  // the count is not a multiple of four
    ys.push_back(nan);
    std::vector<int> xy(2 * xs.size());
    worldToDevice(g, box, xs.data(), ys.data(), xs.size(), xy.data());
    for (std::size_t i = 0; i < xs.size(); ++i)
        EXPECT_EQ((IntPoint{xy[2 * i], xy[2 * i + 1]}), worldToDevice(g, box, xs[i], ys[i])) << xs[i] << ", " << ys[i];

    double x, y;
    deviceToWorld(g, box, 346, 185, x, y);
    EXPECT_NEAR(x, 5, 0.02);
    EXPECT_NEAR(y, 5, 0.02);
    deviceToWorld(g, box, -50, 1000, x, y);  // outside: the nearest plot edge
    EXPECT_NEAR(x, 0, 1e-9);
    EXPECT_NEAR(y, 0, 1e-9);
    deviceToWorld(g, box, 5000, -5, x, y);
    EXPECT_NEAR(x, 10, 1e-9);
    EXPECT_NEAR(y, 10, 1e-6);

    // An empty or tiny box keeps the previous scales.
    needs = true;
    rescale(g, Box{1, 1, 1, 1}, needs);
    EXPECT_FLOAT_EQ(g.scaleX, 56.4f);
    Geometry fresh;
    deviceToWorld(fresh, box, 10, 10, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
}

TEST(PlotGeometry, DecadesAndPowers) {
    EXPECT_EQ(decadeExponent(50), 1);
    EXPECT_EQ(decadeExponent(10), 1);
    EXPECT_EQ(decadeExponent(9.99), 0);
    EXPECT_EQ(decadeExponent(1), 0);
    EXPECT_EQ(decadeExponent(0.05), -2);
    EXPECT_EQ(decadeExponent(0.1), -1);
    EXPECT_EQ(decadeExponent(-2520), 3);
    EXPECT_EQ(decadeExponent(0.0002), -4);
    EXPECT_EQ(decadeExponent(0), 0);
    EXPECT_DOUBLE_EQ(powerOfTen(3), 1000);
    EXPECT_DOUBLE_EQ(powerOfTen(-2), 0.01);
}

TEST(PlotGeometry, AxisLayoutsOfTypicalData) {
    // Y data 0..10: widened to 10.5, step 2, labels without decimals.
    const Box y10 = widened({0, 0, 10, 10});
    AxisLayout ya = axisLayout(Axis::Y, y10.YMin, y10.YMax);
    EXPECT_DOUBLE_EQ(ya.tickStep, 2);
    EXPECT_EQ(ya.labelFormat, "%.0f");
    EXPECT_EQ(ya.start, 0);
    EXPECT_EQ(labels(Axis::Y, y10.YMin, y10.YMax), (std::vector<std::string>{"2", "4", "6", "8", "10"}));

    // X data 0..10: step 1, labels 0..10.
    AxisLayout xa = axisLayout(Axis::X, y10.XMin, y10.XMax);
    EXPECT_DOUBLE_EQ(xa.tickStep, 1);
    EXPECT_EQ(labels(Axis::X, y10.XMin, y10.XMax).size(), 11u);
    EXPECT_EQ(labels(Axis::X, y10.XMin, y10.XMax).front(), "0");

    // Y data 0..0.001: step 0.0002 shown as 2..10 times ten to the -4.
    const Box small = widened({0, 0, 1, 0.001});
    AxisLayout sa = axisLayout(Axis::Y, small.YMin, small.YMax);
    EXPECT_NEAR(sa.tickStep, 0.0002, 1e-18);
    EXPECT_EQ(sa.tickExponent, -4);
    EXPECT_DOUBLE_EQ(sa.labelFactor, 10000);
    EXPECT_EQ(labels(Axis::Y, small.YMin, small.YMax), (std::vector<std::string>{"2", "4", "6", "8", "10"}));

    // Narrow data far from zero keeps one decimal; big ranges scale down.
    EXPECT_EQ(axisLayout(Axis::Y, 0, 1.05).labelFormat, "%.1f");
    AxisLayout big = axisLayout(Axis::Y, 0, 10500);
    EXPECT_EQ(big.tickExponent, 3);
    EXPECT_EQ(tickLabel(big, 4000), "4");
    // A tick a rounding error below zero is labelled zero, without a sign.
    const AxisLayout unit = axisLayout(Axis::Y, -1, 1);
    EXPECT_EQ(tickLabel(unit, -1e-17), std::string(tickLabel(unit, 0)));
    EXPECT_EQ(tickLabel(unit, -1e-17).front(), '0');
    EXPECT_EQ(tickLabel(unit, -0.5).front(), '-');
    // Negative data starts one step lower when the minimum is far from a tick.
    AxisLayout neg = axisLayout(Axis::Y, -10.5, -0.5);
    EXPECT_DOUBLE_EQ(neg.start, -12);
}

TEST(PlotGeometry, MultiplierNearestTheMantissa) {
    // X ranges whose rough step (0.12 x range) has the mantissa wanted and
    // that the range rule leaves alone.
    struct Case {
        double mantissa;
        int multiplier;
    } cases[] = {{7.6, 10}, {7.4, 5}, {1.5, 1}, {1.6, 2}, {3.5, 2}, {3.6, 5}};
    for (const Case& c : cases) {
        AxisLayout a = axisLayout(Axis::X, 0, c.mantissa / 0.12);
        EXPECT_EQ(a.multiplier, c.multiplier) << c.mantissa;
    }
    // The range rule: Y data 0..1.6 first picks 5 (K = 3.84), which gives
    // only 3.2 ticks, so the step moves down to 0.2.
    AxisLayout few = axisLayout(Axis::Y, 0, 1.6);
    EXPECT_EQ(few.multiplier, 2);
    EXPECT_DOUBLE_EQ(few.tickStep, 0.2);
}

TEST(OffscreenPicture, MadeAgainOnlyWhenTheSizeChanges) {
    OffscreenImage image;
    EXPECT_FALSE(image.exists());
    ASSERT_TRUE(image.ensure(100, 50));
    ASSERT_TRUE(image.ensure(100, 50));
    EXPECT_EQ(image.creations(), 1);
    ASSERT_TRUE(image.ensure(101, 50));
    EXPECT_EQ(image.creations(), 2);
    EXPECT_EQ(image.image().size(), QSize(101, 50));
    EXPECT_EQ(image.image().format(), QImage::Format_RGB32);
}

}  // namespace
}  // namespace tarvik
