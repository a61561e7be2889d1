// The line of a series in vector pictures: clipped to the plot, broken at
// points that are not finite, thinned without moving the line by more than
// its tolerance, rounded to tenths of a pixel.
#include "graph/vector_line.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace tarvik {
namespace {

const QRectF kClip(100, 50, 500, 300);  // x 100..600, y 50..350

double segmentDistance(QPointF p, QPointF a, QPointF b) {
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((p.x() - a.x()) * dx + (p.y() - a.y()) * dy) / length2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x() - (a.x() + t * dx), p.y() - (a.y() + t * dy));
}

// How far p lies from the drawn line (any piece).
double distanceToLine(const VectorLine& line, QPointF p) {
    double best = INFINITY;
    const auto& pts = line.points();
    const auto& starts = line.starts();
    for (std::size_t piece = 0; piece < starts.size(); ++piece) {
        const std::size_t end = piece + 1 < starts.size() ? starts[piece + 1] : pts.size();
        for (std::size_t i = starts[piece] + 1; i < end; ++i) best = std::min(best, segmentDistance(p, pts[i - 1], pts[i]));
    }
    return best;
}

VectorLine lineThrough(const std::vector<QPointF>& points) {
    VectorLine line;
    line.reset(kClip);
    for (QPointF p : points) line.addDevice(p.x(), p.y());
    line.finish();
    return line;
}

TEST(VectorLine, ThinsPointsThatDoNotChangeTheLine) {
    // A thousand points on a slanted straight line: its two ends remain.
    std::vector<QPointF> straight;
    for (int i = 0; i < 1000; ++i) straight.emplace_back(150 + i * 0.3, 100 + i * 0.2);
    VectorLine line = lineThrough(straight);
    ASSERT_EQ(line.pieceCount(), 1);
    ASSERT_EQ(line.points().size(), 2u);
    EXPECT_EQ(line.points().front(), QPointF(150, 100));
    EXPECT_NEAR(line.points().back().x(), 150 + 999 * 0.3, 0.051);

    // A zigzag of 5-pixel teeth keeps every corner.
    std::vector<QPointF> zigzag;
    for (int i = 0; i < 40; ++i) zigzag.emplace_back(200 + i * 2, i % 2 ? 200 : 205);
    line = lineThrough(zigzag);
    EXPECT_EQ(line.points().size(), zigzag.size());

    // Going up and coming back down the same line keeps the turning point.
    line = lineThrough({{300, 300}, {300, 250}, {300, 100}, {300, 200}});
    ASSERT_EQ(line.points().size(), 3u);
    EXPECT_EQ(line.points()[1], QPointF(300, 100));
}

TEST(VectorLine, EveryPointLeftOutStaysWithinTheTolerance) {
    // Dense, noisy curves as data gives them, many points to a pixel: no
    // input point may lie farther from the drawn line than the tolerance
    // plus the rounding to tenths.
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 0.3);
    const double allowed = VectorLine::kTolerance + 0.5 * std::hypot(0.1, 0.1) + 1e-9;
    for (int curve = 0; curve < 4; ++curve) {
        SCOPED_TRACE(curve);
        std::vector<QPointF> points;
        for (int i = 0; i < 5000; ++i) {
            const double x = 110 + i * 0.02;
            const double y = curve == 0   ? 200 + 100 * std::sin(i / 50.0) * i / 5000
                             : curve == 1 ? 200 + noise(random)
                             : curve == 2 ? 200 + 40 * std::sin(i / 3.0) + noise(random)
                                          : 200 + 0.001 * i;
            points.emplace_back(x, y);
        }
        const VectorLine line = lineThrough(points);
        ASSERT_EQ(line.pieceCount(), 1);
        EXPECT_LT(line.points().size(), points.size());
        double worst = 0;
        for (QPointF p : points) worst = std::max(worst, distanceToLine(line, p));
        EXPECT_LE(worst, allowed);
        // The ends are the data's ends.
        EXPECT_LE(std::hypot(line.points().front().x() - points.front().x(),
                             line.points().front().y() - points.front().y()), 0.071);
        EXPECT_LE(std::hypot(line.points().back().x() - points.back().x(),
                             line.points().back().y() - points.back().y()), 0.071);
    }
}

TEST(VectorLine, PointsThatAreNotFiniteBreakTheLine) {
    VectorLine line = lineThrough({{200, 100}, {210, 120}, {NAN, 5}, {300, 100}, {310, 200}, {320, INFINITY}});
    ASSERT_EQ(line.pieceCount(), 2);
    EXPECT_EQ(line.starts(), (std::vector<int>{0, 2}));
    EXPECT_EQ(line.points()[2], QPointF(300, 100));
    // A lone point between two gaps draws nothing.
    line = lineThrough({{200, 100}, {NAN, NAN}, {250, 150}, {NAN, NAN}, {300, 100}});
    EXPECT_EQ(line.pieceCount(), 0);
    EXPECT_TRUE(line.points().empty());
}

TEST(VectorLine, TheLineIsCutAtThePlotArea) {
    // In, out through the right edge, back in through it: two pieces that
    // end and start on the edge.
    VectorLine line = lineThrough({{500, 100}, {700, 100}, {700, 300}, {500, 300}});
    ASSERT_EQ(line.pieceCount(), 2);
    EXPECT_EQ(line.points()[0], QPointF(500, 100));
    EXPECT_EQ(line.points()[1], QPointF(600, 100));
    EXPECT_EQ(line.points()[2], QPointF(600, 300));
    EXPECT_EQ(line.points()[3], QPointF(500, 300));

    // A segment crossing the whole area from outside to outside.
    line = lineThrough({{0, 200}, {1000, 200}});
    ASSERT_EQ(line.points().size(), 2u);
    EXPECT_EQ(line.points()[0], QPointF(100, 200));
    EXPECT_EQ(line.points()[1], QPointF(600, 200));

    // Entirely outside, and far away: nothing.
    line = lineThrough({{0, 0}, {50, 40}, {1e15, -1e15}, {-1e300, 1e300}});
    EXPECT_EQ(line.pieceCount(), 0);

    // Every point lies in the area, on the grid of tenths.
    std::vector<QPointF> wild;
    for (int i = 0; i < 500; ++i) wild.emplace_back(350 + 400 * std::sin(i * 0.7), 200 + 250 * std::cos(i * 1.3));
    line = lineThrough(wild);
    EXPECT_GT(line.pieceCount(), 10);
    for (QPointF p : line.points()) {
        EXPECT_TRUE(p.x() >= 100 && p.x() <= 600 && p.y() >= 50 && p.y() <= 350) << p.x() << "," << p.y();
        EXPECT_EQ(std::round(p.x() * 10) / 10, p.x());
        EXPECT_EQ(std::round(p.y() * 10) / 10, p.y());
    }
}

TEST(VectorLine, WorldPointsMapAsTheDrawingPassMapsThem) {
    Geometry g;
    plotLayout(g, IntRect{0, 0, 640, 400});
    Box box{0, 0, 10, 5};
    bool needsRescale = true;
    rescale(g, box, needsRescale);
    VectorLine line;
    line.reset(QRectF(g.plot.left, g.plot.top, g.plot.width(), g.plot.height()));
    const double x[] = {0, 10, 5}, y[] = {0, 5, 2.5};
    line.addWorld(g, box, x, y, 3);
    line.finish();
    ASSERT_EQ(line.points().size(), 3u);
    // The corners of the box are the corners of the plot; the middle is the
    // middle, in fractions of a pixel where the picture rounds to whole ones.
    EXPECT_EQ(line.points()[0], QPointF(g.plot.left, g.plot.bottom));
    EXPECT_EQ(line.points()[1], QPointF(g.plot.right, g.plot.top));
    EXPECT_NEAR(line.points()[2].x(), (g.plot.left + g.plot.right) / 2.0, 0.051);
    EXPECT_NEAR(line.points()[2].y(), (g.plot.top + g.plot.bottom) / 2.0, 0.051);
    const IntPoint raster = worldToDevice(g, box, 5, 2.5);
    EXPECT_NEAR(line.points()[2].x(), raster.x, 1.0);
    EXPECT_NEAR(line.points()[2].y(), raster.y, 1.0);
}

}  // namespace
}  // namespace tarvik
