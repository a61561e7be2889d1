// One series drawn from its device points as its flags ask: the line, the
// markers, or both.
#include "graph/series_drawing.h"

#include "graph/plot_geometry.h"
#include "graph/series.h"
#include "runtime/testing/dispatch_calls.h"

#include <QImage>

#include <gtest/gtest.h>

#include <vector>

namespace tarvik {
namespace {

constexpr QRgb kWhite = 0xffffffff, kRed = 0xffff0000;

class SeriesDrawingTest : public ::testing::Test {
protected:
    void SetUp() override { series->put_color(0x0000FF); }  // red: a colour value's bytes run r, g, b
    QImage draw(const std::vector<QPoint>& points) {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(kWhite);
        drawSeriesPoints(image, image.rect(), series.get(), points.data(), int(points.size()));
        return image;
    }
    static int marked(const QImage& image) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) != kWhite;
        return n;
    }
    void set(const char16_t* flag, int value) { ASSERT_EQ(qtest::put(series.get(), flag, value).hr, S_OK); }

    qrt::ComPtr<CSeries> series = qrt::create<CSeries>();
    const std::vector<QPoint> segment = {{10, 10}, {40, 10}};
};

TEST_F(SeriesDrawingTest, IsPointSetByNameDrawsDefaultSquaresAndIsLineDecidesTheLine) {
    const QImage line = draw(segment);
    set(u"IsPoint", 1);
    const QImage both = draw(segment);
    for (QPoint end : segment) {  // 5 x 5 squares centred on the ends
        EXPECT_EQ(both.pixel(end + QPoint(2, 2)), kRed);
        EXPECT_EQ(both.pixel(end - QPoint(2, 2)), kRed);
        EXPECT_EQ(both.pixel(end + QPoint(0, 3)), kWhite);
    }
    EXPECT_EQ(both.pixel(25, 10), kRed);
    EXPECT_EQ(marked(both), marked(line) + 2 * (25 - 3));  // the line has 3 pixels in each square

    set(u"IsLine", 0);  // markers alone
    EXPECT_EQ(marked(draw(segment)), 50);
    EXPECT_EQ(marked(draw({{30, 20}})), 25);  // one point is enough
    set(u"IsPoint", 0);  // without markers the line shows whatever IsLine says
    EXPECT_EQ(draw(segment), line);
    EXPECT_EQ(marked(draw({{30, 20}})), 0);
}

TEST_F(SeriesDrawingTest, TheGivenSizeStaysIsCappedAndNumberlessPointsGetNone) {
    series->setMarkerSize(9);
    EXPECT_EQ(markerSizeOf(series.get()), 0);
    set(u"IsPoint", 1);
    set(u"IsPoint", 0);
    set(u"IsPoint", 1);
    series->setMarkerSize(0);
    EXPECT_EQ(markerSizeOf(series.get()), 9);
    set(u"IsLine", 0);
    EXPECT_EQ(marked(draw({{10, 10}, {NoDevicePoint, NoDevicePoint}, {40, 10}})), 2 * 81);
    series->setMarkerSize(100000);
    EXPECT_EQ(markerSizeOf(series.get()), CSeries::MaxMarkerSize);
}

}  // namespace
}  // namespace tarvik
