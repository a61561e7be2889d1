// The series rasterizers against QPainter: polylines drawn with a one-pixel
// pen and antialiasing off, markers as filled rectangles.
#include "graph/polyline_raster.h"

#include <QPainter>
#include <QPen>

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace tarvik {
namespace {

constexpr QRgb kBackground = 0xff203040;

QImage canvas(QSize size = {64, 48}, QImage::Format format = QImage::Format_RGB32) {
    QImage image(size, format);
    image.fill(kBackground);
    return image;
}

QImage painted(QImage image, const QRect& clip, const std::vector<QPoint>& points, QRgb rgb, int alpha) {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setClipRect(clip);
    QColor colour(rgb);
    colour.setAlpha(alpha);
    painter.setPen(QPen(colour, 1));
    painter.drawPolyline(points.data(), int(points.size()));
    return image;
}

QImage rasterized(QImage image, const QRect& clip, const std::vector<QPoint>& points, QRgb rgb, int alpha) {
    EXPECT_TRUE(drawPolyline(image, clip, points.data(), int(points.size()), rgb, alpha));
    return image;
}

struct Diff {
    int pixels = 0;       // pixels that differ by more than one in a channel
    int offByOne = 0;     // pixels that differ by exactly one somewhere
    std::string where;    // the first few of the former
};

Diff compare(const QImage& actual, const QImage& expected) {
    Diff diff;
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            const QRgb a = actual.pixel(x, y), e = expected.pixel(x, y);
            if (a == e) continue;
            const int worst = std::max({std::abs(qRed(a) - qRed(e)), std::abs(qGreen(a) - qGreen(e)),
                                        std::abs(qBlue(a) - qBlue(e)), std::abs(qAlpha(a) - qAlpha(e))});
            if (worst <= 1) {
                ++diff.offByOne;
                continue;
            }
            if (++diff.pixels <= 8) {
                char text[96];
                std::snprintf(text, sizeof text, " (%d,%d) got %08x want %08x", x, y, a, e);
                diff.where += text;
            }
        }
    }
    return diff;
}

std::string describe(const std::vector<QPoint>& points) {
    std::string text;
    for (const QPoint& p : points) text += "(" + std::to_string(p.x()) + "," + std::to_string(p.y()) + ")";
    return text;
}

// Draws the polyline both ways and expects the same pixels.
void expectSameAsPainter(const std::vector<QPoint>& points, QRgb rgb = 0xffe0c020, int alpha = 255,
                         QRect clip = {}, QImage base = canvas()) {
    if (clip.isNull()) clip = base.rect();
    const Diff diff = compare(rasterized(base, clip, points, rgb, alpha), painted(base, clip, points, rgb, alpha));
    EXPECT_EQ(diff.pixels, 0) << describe(points) << " alpha " << alpha << diff.where;
}

TEST(PolylineRaster, SingleSegmentsMatchPainterInEveryDirection) {
    const QPoint centre(32, 24);
    // Every octant, steep and shallow, diagonals, the axes, one-pixel and
    // zero-length segments, both ways round.
    for (int length : {0, 1, 2, 3, 7, 20}) {
        for (int step = 0; step < 32; ++step) {
            const double angle = step * M_PI / 16 + 0.13 * (length % 3);
            const QPoint end = centre + QPoint(int(std::lround(length * std::cos(angle))),
                                               int(std::lround(length * std::sin(angle))));
            expectSameAsPainter({centre, end});
            expectSameAsPainter({end, centre}, 0xff40a0ff, 128);
        }
    }
    expectSameAsPainter({{3, 5}, {60, 5}});
    expectSameAsPainter({{60, 40}, {3, 40}});
    expectSameAsPainter({{10, 2}, {10, 45}});
    expectSameAsPainter({{11, 45}, {11, 2}});
    expectSameAsPainter({{5, 5}, {6, 40}});
    expectSameAsPainter({{5, 5}, {60, 6}});
}

TEST(PolylineRaster, TranslucentJointsAreBlendedOnce) {
    struct Case {
        std::vector<QPoint> points;
        bool retraces;  // goes back over its own pixels, which then are blended twice
    } cases[] = {
        // Zigzags, right angles, and runs of short steps as a dense series
        // makes them.
        {{{2, 40}, {10, 5}, {18, 40}, {26, 5}, {34, 40}, {42, 5}}, false},
        {{{5, 5}, {30, 5}, {30, 30}, {5, 30}, {5, 8}}, false},
        {{{20, 20}, {21, 20}, {21, 21}, {22, 23}, {22, 23}, {22, 30}, {27, 31}, {30, 10}, {30, 9}}, false},
        {{{10, 40}, {11, 35}, {12, 41}, {13, 20}, {15, 21}, {16, 44}, {16, 46}}, false},
        // QPainter blends (14,20) twice here, where a one-pixel step turns
        // between two long segments going opposite ways; so does the rasterizer.
        {{{12, 41}, {13, 20}, {14, 20}, {15, 44}}, true},
        // Closed: ends where it starts.
        {{{10, 10}, {40, 12}, {25, 40}, {10, 10}}, false},
        {{{10, 10}, {10, 10}}, false},
        // Turning back on the same axis.
        {{{5, 10}, {50, 10}, {10, 10}, {55, 12}}, true},
        {{{40, 40}, {40, 39}, {41, 35}, {41, 42}, {41, 20}, {42, 41}}, true},
    };
    for (const Case& c : cases) {
        for (int alpha : {128, 60}) {
            expectSameAsPainter(c.points, 0xff00ff00, alpha);
            if (c.retraces) continue;
            // Independently of QPainter: every touched pixel holds exactly
            // one blend of the colour over the background.
            QImage image = canvas();
            ASSERT_TRUE(drawPolyline(image, image.rect(), c.points.data(), int(c.points.size()), 0xff00ff00, alpha));
            QImage once = canvas({1, 1});
            const QPoint dot[] = {{0, 0}, {1, 0}};
            drawPolyline(once, once.rect(), dot, 2, 0xff00ff00, alpha);
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    ASSERT_TRUE(image.pixel(x, y) == kBackground || image.pixel(x, y) == once.pixel(0, 0))
                        << describe(c.points) << " at " << x << "," << y;
        }
    }
}

TEST(PolylineRaster, AlphaZeroDrawsNothingAndOpaqueWritesTheColour) {
    const std::vector<QPoint> points = {{3, 3}, {60, 44}, {3, 44}, {50, 1}};
    const QImage base = canvas();
    EXPECT_EQ(rasterized(base, base.rect(), points, 0xffff0000, 0), base);

    const QImage opaque = rasterized(base, base.rect(), points, 0xff123456, 255);
    int drawn = 0;
    for (int y = 0; y < opaque.height(); ++y)
        for (int x = 0; x < opaque.width(); ++x)
            if (opaque.pixel(x, y) != kBackground) {
                EXPECT_EQ(opaque.pixel(x, y), 0xff123456u);
                ++drawn;
            }
    EXPECT_GT(drawn, 100);

    for (int alpha : {0, 1, 128, 254, 255}) {
        expectSameAsPainter(points, 0xff123456, alpha);
        expectSameAsPainter(points, 0xfff0e0d0, alpha, {}, canvas({64, 48}, QImage::Format_ARGB32_Premultiplied));
    }
    // A translucent background in a premultiplied image.
    QImage glass({64, 48}, QImage::Format_ARGB32_Premultiplied);
    glass.fill(qRgba(20, 40, 60, 100));
    expectSameAsPainter(points, 0xffff8000, 128, {}, glass);
}

TEST(PolylineRaster, ClipsToTheRectangleAndFarAwayPoints) {
    const QRect clip(10, 8, 40, 30);
    const std::vector<std::vector<QPoint>> polylines = {
        {{0, 0}, {63, 47}},
        {{30, 20}, {70, 25}, {30, 60}, {-10, 22}, {30, 20}},
        {{5, 8}, {55, 8}, {55, 37}, {5, 37}},
        {{10, -5}, {10, 60}},
        {{49, 60}, {49, -5}},
        {{-1, -1}, {64, 48}},
        {{30, 20}, {1000000000, 20}},
        {{30, 20}, {-1000000000, -1000000000}, {40, 30}},
        {{1000000000, 1000000000}, {-1000000000, -999999999}},
        {{-1000000000, 24}, {1000000000, 25}},
        {{25, -1000000000}, {26, 1000000000}, {40, 30}},
        {{-1000000000, -1000000000}, {-999999999, 1000000000}},
    };
    const QImage base = canvas();
    for (const auto& points : polylines) {
        for (int alpha : {255, 128}) {
            expectSameAsPainter(points, 0xffffffff, alpha);
            expectSameAsPainter(points, 0xffffffff, alpha, clip);
            const QImage image = rasterized(base, clip, points, 0xffffffff, alpha);
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    ASSERT_TRUE(clip.contains(x, y) || image.pixel(x, y) == kBackground) << x << "," << y;
        }
    }
    // A clip reaching past the image, and one missing it.
    expectSameAsPainter({{-5, 3}, {70, 40}}, 0xffffffff, 200, QRect(-20, -20, 200, 200));
    expectSameAsPainter({{-5, 3}, {70, 40}}, 0xffffffff, 200, QRect(100, 100, 5, 5));

    // A huge segment is cut analytically, not walked.
    QImage image = canvas({1280, 800});
    const QPoint far[] = {{-1000000000, -1000000000}, {1000000000, 999999999}, {-1000000000, 1000000000}};
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) drawPolyline(image, image.rect(), far, 3, 0xffff0000, 128);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST(PolylineRaster, RandomPolylinesMatchPainter) {
    std::mt19937 random(20240611);
    const QSize size(200, 150);
    const QRect clip(20, 12, 160, 120);
    int mismatched = 0, offByOne = 0, drawn = 0;
    std::string first;
    for (int round = 0; round < 300; ++round) {
        // Mostly short steps inside the image like a dense series, sometimes
        // long jumps, sometimes points well outside.
        std::vector<QPoint> points;
        const int n = 2 + int(random() % 60);
        QPoint p(int(random() % 200), int(random() % 150));
        // Every third polyline is a dense series: mostly straight up and
        // down one column, now and then a column further.
        const bool dense = round % 3 == 1;
        for (int i = 0; i < n; ++i) {
            points.push_back(p);
            if (dense) {
                p += QPoint(random() % 5 == 0 ? 1 : 0, int(random() % 15) - 7);
                continue;
            }
            switch (random() % 8) {
            case 0: p = {int(random() % 400) - 100, int(random() % 300) - 75}; break;
            case 1: p = {int(random() % 200), int(random() % 150)}; break;
            default: p += QPoint(int(random() % 7) - 3, int(random() % 31) - 15); break;
            }
        }
        const int alpha = round % 3 == 0 ? 255 : int(random() % 255);
        const QRect area = round % 2 ? clip : QRect(QPoint(0, 0), size);
        const QImage base = canvas(size);
        const QImage expected = painted(base, area, points, 0xff30c0ff, alpha);
        const Diff diff = compare(rasterized(base, area, points, 0xff30c0ff, alpha), expected);
        mismatched += diff.pixels;
        offByOne += diff.offByOne;
        if (diff.pixels && first.empty()) first = describe(points) + diff.where;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) drawn += expected.pixel(x, y) != kBackground;
    }
    std::printf("random polylines: %d pixels drawn by QPainter, %d differ, %d off by one\n", drawn, mismatched,
                offByOne);
    EXPECT_EQ(mismatched, 0) << first;
}

// A polyline sorted by x, drawn whole and drawn without its points far to
// the left and right of the picture (each end then marked as going on):
// the same pixels, whatever the joints, caps and alpha.
TEST(PolylineRaster, LeavingOutFarPointsKeepsEveryPixel) {
    std::mt19937 random(20261209);
    const QSize size(200, 150);
    const QRect clip(20, 12, 160, 120);
    for (int round = 0; round < 300; ++round) {
        std::vector<QPoint> points;
        int x = -FarOutside - 40 + int(random() % 60);
        int y = int(random() % 150);
        const int n = 2 + int(random() % 400);
        for (int i = 0; i < n; ++i) {
            points.push_back({x, y});
            x += int(random() % 4);
            y += random() % 10 == 0 ? int(random() % 301) - 150 : int(random() % 9) - 4;
        }
        std::size_t first = 0, end = points.size();
        while (first + 1 < end && points[first + 1].x() < -FarOutside) ++first;
        while (end > first + 1 && points[end - 2].x() > size.width() + FarOutside) --end;
        const int ends = (first > 0 ? ContinuesBefore : 0) | (end < points.size() ? ContinuesAfter : 0);
        const int alpha = round % 3 == 0 ? 255 : 1 + int(random() % 254);
        QImage whole = canvas(size), part = canvas(size);
        ASSERT_TRUE(drawPolyline(whole, clip, points.data(), int(points.size()), 0xff30c0ff, alpha));
        ASSERT_TRUE(drawPolyline(part, clip, points.data() + first, int(end - first), 0xff30c0ff, alpha, ends));
        ASSERT_EQ(part, whole) << "round " << round << ": " << describe(points);
    }
}

TEST(PolylineRaster, LeavesOtherFormatsToQPainter) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(0);
    const QPoint points[] = {{0, 0}, {15, 15}};
    EXPECT_FALSE(drawPolyline(image, image.rect(), points, 2, 0xffffffff, 255));
    EXPECT_EQ(image.pixel(5, 5), 0u);
}

// QPainter filling each square on its own, skipping a point equal to the one before.
QImage paintedSquares(QImage image, const QRect& clip, const std::vector<QPoint>& points, int size, int alpha) {
    QPainter painter(&image);
    painter.setClipRect(clip);
    QColor colour(0xff30c0ff);
    colour.setAlpha(alpha);
    for (std::size_t i = 0; i < points.size(); ++i)
        if (i == 0 || points[i] != points[i - 1])
            painter.fillRect(QRect(points[i] - QPoint(size / 2, size / 2), QSize(size, size)), colour);
    return image;
}

QImage squares(QImage image, const QRect& clip, const std::vector<QPoint>& points, int size, int alpha = 255) {
    EXPECT_TRUE(drawMarkers(image, clip, points.data(), int(points.size()), size, 0xff30c0ff, alpha));
    return image;
}

TEST(MarkerRaster, SquaresMatchPainterInsideTheClip) {
    std::mt19937 random(4711);
    const QSize size(120, 90);
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
        for (int round = 0; round < 60; ++round) {
            // Points inside, across the clip's edges and outside the picture,
            // with repeats and overlaps; odd and even sizes.
            std::vector<QPoint> points;
            for (int i = 0, n = 1 + int(random() % 40); i < n; ++i)
                points.push_back(i > 0 && random() % 6 == 0 ? points.back()
                                                             : QPoint(int(random() % 160) - 20, int(random() % 130) - 20));
            const int side = 1 + int(random() % 12);
            const int alpha = round % 4 == 0 ? 255 : 1 + int(random() % 254);
            const QRect area = round % 2 ? QRect(15, 10, 90, 70) : QRect(QPoint(0, 0), size);
            const QImage base = canvas(size, format);
            const QImage drawn = squares(base, area, points, side, alpha);
            const Diff diff = compare(drawn, paintedSquares(base, area, points, side, alpha));
            EXPECT_EQ(diff.pixels, 0) << describe(points) << " size " << side << " alpha " << alpha << diff.where;
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    ASSERT_TRUE(area.contains(x, y) || drawn.pixel(x, y) == kBackground) << x << "," << y;
        }
    }
}

TEST(MarkerRaster, FarPointsHugeSizesAndOtherFormats) {
    const QImage base = canvas();
    const std::vector<QPoint> far = {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, 20},
                                     {30, INT_MAX},      {-100000000, 5},    {5, 100000000}};
    EXPECT_EQ(squares(base, base.rect(), far, 64), base);
    EXPECT_EQ(squares(base, base.rect(), {{30, 20}}, 0), base);
    EXPECT_EQ(squares(base, base.rect(), {{30, 20}}, 5, 0), base);
    // A square as large as an int reaches no further than its half side.
    EXPECT_EQ(squares(base, base.rect(), {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}}, INT_MAX), base);
    QImage full = base;
    full.fill(0xff30c0ff);
    EXPECT_EQ(squares(base, base.rect(), {{30, 20}}, INT_MAX), full);

    QImage other(16, 16, QImage::Format_ARGB32);
    other.fill(0);
    const QPoint point(5, 5);
    EXPECT_FALSE(drawMarkers(other, other.rect(), &point, 1, 3, 0xffffffff, 255));
    EXPECT_EQ(other.pixel(5, 5), 0u);
}

}  // namespace
}  // namespace tarvik
