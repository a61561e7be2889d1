// Pictures of the graph: background, series and axes as a person sees them.
#include "graph/tests/tarvik_fixture.h"
#include "hosting/control_host.h"

#include <QImage>

#include <cmath>
#include <cstdlib>

namespace tarvik_test {
namespace {

class RenderTest : public TarvikTest {
protected:
    void SetUp() override {
        TarvikTest::SetUp();
        ensureApplication();
        graf = make<IViGraf>(u"Tarvik.ViGraf");
        ASSERT_TRUE(graf);
    }
    QImage render(int w = 640, int h = 400) { return qhost::renderControl(graf.get(), w, h); }
    // Keeps a picture for a person to look at when QUILLAN_SAVE_PICTURES names a folder.
    static void keep(const QImage& image, const char* name) {
        if (const char* dir = std::getenv("QUILLAN_SAVE_PICTURES"))
            image.save(QString::fromUtf8(dir) + "/" + name + ".png");
    }
    void series(std::vector<double> x, std::vector<double> y) {
        graf->CreateSeries();
        LONG n = 0;
        graf->get_CountSeries(&n);
        graf->SetPoints(n - 1, static_cast<LONG>(x.size()), x.data(), y.data());
    }

    ComPtr<IViGraf> graf;
};

TEST_F(RenderTest, ACurveWithTitlesAndGreekLetters) {
    std::vector<double> x, y, y2;
    for (int i = 0; i <= 200; ++i) {
        x.push_back(i * 0.05);
        y.push_back(std::sin(i * 0.05) * 4 + 5);
        y2.push_back(std::cos(i * 0.05) * 3 + 4);
    }
    series(x, y);
    series(x, y2);
    graf->SetPropertySeries(0, 255, 0x0000FF);
    graf->SetPropertySeries(1, 128, 0xFF0000);
    put(graf.get(), u"X_axis", Variant(u"@LN@Time t@D@0@LN@ (s)"));
    put(graf.get(), u"Y_axis", Variant(u"@gn@a@LU@2@LN@ + @gN@b"));
    QImage image = render();
    keep(image, "curve");
    EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::white));
}

TEST_F(RenderTest, SmallValuesShowTheirMultiplier) {
    series({0, 1, 2, 3}, {0, 0.0004, 0.0007, 0.001});
    put(graf.get(), u"Y_axis", Variant(u"@LN@Current"));
    QImage image = render();
    keep(image, "multiplier");
}

// The plot area of a 640 x 400 picture: (64, 12) to (628, 358).
constexpr int kLeft = 64, kTop = 12, kRight = 628, kBottom = 358;

// A colour blended over white with the given alpha.
QColor overWhite(QColor c, int alpha) {
    auto mix = [&](int v) { return (v * alpha + 255 * (255 - alpha) + 127) / 255; };
    return QColor(mix(c.red()), mix(c.green()), mix(c.blue()));
}

bool near(QColor a, QColor b, int tolerance = 2) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

TEST_F(RenderTest, AnEmptyGraphShowsFrameAndFineGrid) {
    QImage image = render();
    keep(image, "empty");
    EXPECT_EQ(image.pixelColor(20, 380), QColor(Qt::white));
    // The frame: black at alpha 80, its left side one pixel before the plot.
    EXPECT_TRUE(near(image.pixelColor(kLeft - 1, 200), overWhite(Qt::black, 80)));
    EXPECT_TRUE(near(image.pixelColor(300, kTop), overWhite(Qt::black, 80)));
    // The fine grid every hundredth of the plot (564 / 100 = 5 pixels), alpha 10.
    const QColor grid = overWhite(Qt::black, 10);
    EXPECT_TRUE(near(image.pixelColor(kLeft + 5, 100), grid));
    EXPECT_TRUE(near(image.pixelColor(kLeft + 50, 100), grid));
    EXPECT_EQ(image.pixelColor(kLeft + 7, 100 + 1), QColor(Qt::white));
}

TEST_F(RenderTest, SeriesNeedTwoPointsAndKeepTheirAlpha) {
    put(graf.get(), u"ViewAxis", 0);
    series({0, 10}, {0, 10});
    series({5}, {5});                     // one point: nothing
    series({0, 10}, {10, 0});             // the other diagonal, translucent
    series({0, 10}, {3, 3});              // invisible
    graf->SetPropertySeries(0, 255, 0x0000FF);
    graf->SetPropertySeries(2, 300, 0xFF0000);  // alpha 300 draws with 44
    graf->SetPropertySeries(3, 0, 0x00FF00);
    QImage image = render();
    keep(image, "alpha");
    // The rising diagonal passes the plot's middle, drawn opaque red.
    int red = 0, blue = 0, green = 0;
    for (int y = kTop; y < kBottom; ++y)
        for (int x = kLeft; x < kRight; ++x) {
            QColor c = image.pixelColor(x, y);
            if (c == QColor(255, 0, 0)) ++red;
            if (near(c, overWhite(QColor(0, 0, 255), 44))) ++blue;
            if (c.green() > c.red() + 10) ++green;
        }
    EXPECT_GT(red, 500);
    EXPECT_GT(blue, 500);
    EXPECT_EQ(green, 0);
    // Nothing at the lone point away from the lines.
    EXPECT_EQ(image.pixelColor(346, 150), QColor(Qt::white));
}

TEST_F(RenderTest, LinesStopAtThePlotBorderAndAfterPoint60000) {
    put(graf.get(), u"ViewAxis", 0);
    std::vector<double> x(60001), y(60001);
    for (int i = 0; i < 60000; ++i) {
        x[i] = i / 6000.0;
        y[i] = 5;
    }
    x[60000] = 0;  // the 60001st point would go back across the plot
    y[60000] = 0;
    series(x, y);
    // A line from the middle to far outside the box.
    graf->CreateSeries();
    graf->AddPointToSeries(1, 5, 5);
    graf->AddPointToSeries(1, 1e6, 5);
    double box[4] = {0, 0, 10, 10};
    graf->SetBox(box);
    QImage image = render();
    keep(image, "clipping");
    int row = -1;
    for (int y = kTop; y < kBottom && row < 0; ++y)
        if (image.pixelColor(346, y) == QColor(Qt::black)) row = y;
    ASSERT_GT(row, kTop);
    int marked = 0;
    for (int y = kTop; y < kBottom; ++y)
        for (int x = kLeft; x < kRight; ++x)
            if (y != row && image.pixelColor(x, y) != QColor(Qt::white)) ++marked;
    EXPECT_EQ(marked, 0);  // no diagonal back to the origin
    // The horizontal line reaches the right border of the plot, not the margin.
    EXPECT_EQ(image.pixelColor(kRight - 1, row), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(kRight + 2, row), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(639, row), QColor(Qt::white));
}

TEST_F(RenderTest, PointsThatAreNoNumbersBreakTheLineAndTinyRangesShow) {
    put(graf.get(), u"ViewAxis", 0);
    const double nan = std::nan("");
    series({0, 1, 2, 3, 4}, {1, 2, nan, 3, 4});
    QImage image = render();
    keep(image, "nan");
    // Nothing rises to the top edge from the missing point.
    for (int x = kLeft; x < kRight; ++x) EXPECT_EQ(image.pixelColor(x, kTop), QColor(Qt::white)) << x;

    graf->RemoveAll();
    put(graf.get(), u"ViewAxis", 0);
    series({0, 1e-7}, {0, 1e-7});  // data far below a millionth
    QImage tiny = render();
    int drawn = 0;
    for (int y = kTop; y < kBottom; ++y)
        for (int x = kLeft; x < kRight; ++x)
            if (tiny.pixelColor(x, y) != QColor(Qt::white)) ++drawn;
    EXPECT_GT(drawn, 300);
}

// A series sorted by x is drawn from the points near the view only, and a
// series without gaps is converted a chunk at a time as it is drawn; either
// way the picture must be the one drawing every point gives. The same points
// with one more that is not a number at the end (drawing nothing, but
// neither sorted nor without gaps) are drawn the long way.
TEST_F(RenderTest, SortedAndGaplessSeriesDrawLikeEveryPoint) {
    const double nan = std::nan("");
    auto picture = [&](const std::vector<double>& x, const std::vector<double>& y, bool plain, std::vector<double> box) {
        auto g = make<IViGraf>(u"Tarvik.ViGraf");
        std::vector<double> xs(x), ys(y);
        if (!plain) {
            xs.push_back(nan);
            ys.push_back(0);
        }
        // The first series given whole (point by point for the long way,
        // so that its flags come from elsewhere), the second point by point.
        g->CreateSeries();
        if (plain)
            g->SetPoints(0, static_cast<LONG>(xs.size()), xs.data(), ys.data());
        else
            for (std::size_t i = 0; i < xs.size(); ++i) g->AddPointToSeries(0, xs[i], ys[i]);
        g->SetPropertySeries(0, 255, 0x0000FF);
        g->CreateSeries();
        for (std::size_t i = 0; i < xs.size(); ++i) g->AddPointToSeries(1, xs[i], ys[i] * 0.5 + 1);
        g->SetPropertySeries(1, 100, 0x00A000);
        if (!box.empty()) g->SetBox(box.data());
        return qhost::renderControl(g.get(), 640, 400);
    };
    std::vector<double> x, y, gaps;
    for (int i = 0; i < 20000; ++i) {
        x.push_back(i * 0.01);
        y.push_back(std::sin(i * 0.037) * (1 + i % 13));
        gaps.push_back(i % 997 == 0 || i == 7999 ? nan : y.back());  // one gap just left of the view
    }
    // The view: x from 80.3 to 90.7 (SetBox takes x, y, width, height). The
    // data end beyond its right edge, inside it, and left of it.
    const std::vector<double> view{80.3, -12, 10.4, 24};
    for (int n : {20000, 8950, 8000}) {
        const std::vector<double> xs(x.begin(), x.begin() + n);
        for (const auto* ys : {&y, &gaps}) {
            const std::vector<double> part(ys->begin(), ys->begin() + n);
            const QImage quick = picture(xs, part, true, view);
            if (n == 8950) keep(quick, "zoomed_sorted");
            EXPECT_EQ(quick, picture(xs, part, false, view)) << n << " points";
        }
    }
    // Unsorted and without gaps, whole: a spiral, and a closed figure whose
    // first joint is the one with its closing segment.
    std::vector<double> sx, sy;
    for (int i = 0; i < 5000; ++i) {
        sx.push_back(std::cos(i * 0.01) * i);
        sy.push_back(std::sin(i * 0.013) * i);
    }
    EXPECT_EQ(picture(sx, sy, true, {}), picture(sx, sy, false, {}));
    // Two teeth zoomed in: the first inside the view, the second from left
    // of it to right of it. Taken for sorted, the first would be left out.
    // The one fall lies at an even index, an odd one, and where the points
    // are measured a slice at a time.
    for (int fall : {2500, 2499, 2048}) {
        std::vector<double> tx, ty;
        for (int i = 0; i < 5000; ++i) {
            tx.push_back(i < fall ? 45 + i * 0.004 : (i - fall) * 0.04);
            ty.push_back(std::sin(i * 0.05) * 10);
        }
        const QImage teeth = picture(tx, ty, true, {40, -12, 20, 24});
        if (fall == 2500) keep(teeth, "two_teeth");
        EXPECT_EQ(teeth, picture(tx, ty, false, {40, -12, 20, 24})) << fall;
    }
    // Points added after a picture was drawn are judged too: the first
    // tooth is drawn (sorted so far), then the second added and drawn.
    {
        const int fall = 2500;
        std::vector<double> tx, ty;
        for (int i = 0; i < 5000; ++i) {
            tx.push_back(i < fall ? 45 + i * 0.004 : (i - fall) * 0.04);
            ty.push_back(std::sin(i * 0.05) * 10);
        }
        std::vector<double> view{40, -12, 20, 24};
        auto g = make<IViGraf>(u"Tarvik.ViGraf");
        g->CreateSeries();
        g->SetPropertySeries(0, 255, 0x0000FF);
        g->CreateSeries();
        g->SetPropertySeries(1, 100, 0x00A000);
        for (int i = 0; i < 5000; ++i) {
            if (i == fall) qhost::renderControl(g.get(), 640, 400);
            g->AddPointToSeries(0, tx[i], ty[i]);
            g->AddPointToSeries(1, tx[i], ty[i] * 0.5 + 1);
        }
        g->SetBox(view.data());
        EXPECT_EQ(qhost::renderControl(g.get(), 640, 400), picture(tx, ty, true, view));
    }
    const std::vector<double> cx{0, 10, 10, 3, 0}, cy{0, 1, 9, 10, 0};
    const QImage closed = picture(cx, cy, true, {});
    keep(closed, "closed");
    EXPECT_EQ(closed, picture(cx, cy, false, {}));
}

TEST_F(RenderTest, InfinitiesAreGapsAndTheBoxIsTheFinitePoints) {
    put(graf.get(), u"ViewAxis", 0);
    const double inf = HUGE_VAL, nan = std::nan("");
    // A red zigzag with an infinity, beginning with a NaN; a blue line below.
    series({nan, 0, 2, 4, 6, 8, 10}, {1, 2, 8, inf, 8, 2, 8});
    series({0, 10}, {1, 1});
    series({-inf, 3}, {100, 5});  // its one finite point goes into the box
    graf->SetPropertySeries(0, 255, 0x0000FF);
    graf->SetPropertySeries(1, 255, 0xFF0000);
    graf->SetPropertySeries(2, 255, 0x00FF00);
    double x = 0, y = 0, w = 0, h = 0;
    graf->GetBox(&x, &y, &w, &h);
    EXPECT_EQ(std::vector<double>({x, y, w, h}), std::vector<double>({0, 1, 10, 7}));
    QImage image = render();
    keep(image, "infinity");

    // The box is widened by 1 % in x and 5 % in y for drawing: world to pixels.
    const double xMax = 10 * 1.01, yMin = 1 / 1.05, yMax = 8 * 1.05;
    const double sx = (kRight - kLeft) / xMax, sy = (kBottom - kTop) / (yMax - yMin);
    auto px = [&](double wx) { return static_cast<int>(kRight - (xMax - wx) * sx); };
    auto py = [&](double wy) { return static_cast<int>(kTop + (yMax - wy) * sy); };
    auto redNear = [&](double wx, double wy) {
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx)
                if (image.pixelColor(px(wx) + dx, py(wy) + dy) == QColor(255, 0, 0)) return true;
        return false;
    };
    // The finite pieces are drawn: 0..2 rising and 6..10 falling and rising.
    EXPECT_TRUE(redNear(1, 5));
    EXPECT_TRUE(redNear(7, 5));
    EXPECT_TRUE(redNear(9, 5));
    // The gap: nothing from 2 to 6, and nothing climbs to the top edge.
    for (double wx = 2.5; wx <= 5.5; wx += 0.5)
        for (int yy = kTop; yy < kBottom; ++yy)
            ASSERT_NE(image.pixelColor(px(wx), yy), QColor(255, 0, 0)) << wx << " " << yy;
    for (int xx = kLeft; xx < kRight; ++xx) ASSERT_EQ(image.pixelColor(xx, kTop), QColor(Qt::white)) << xx;
    // The other series is drawn whole along the bottom of the box.
    int blue = 0;
    for (int xx = kLeft; xx < kRight; ++xx)
        for (int yy = py(1) - 2; yy <= py(1) + 2; ++yy)
            if (image.pixelColor(xx, yy) == QColor(0, 0, 255)) ++blue;
    EXPECT_GT(blue, (kRight - kLeft) * 9 / 10);
    // A series of one finite point draws nothing.
    for (int yy = kTop; yy < kBottom; ++yy)
        for (int xx = kLeft; xx < kRight; ++xx) ASSERT_NE(image.pixelColor(xx, yy), QColor(0, 255, 0));
    put(graf.get(), u"ViewAxis", 1);
    keep(render(), "infinity-axes");  // labels from 0 to 10 and 1 to 8
}

TEST_F(RenderTest, BackgroundColoursRawAndTranslated) {
    put(graf.get(), u"BackColor", static_cast<int>(0x80000005u));
    EXPECT_EQ(render().pixelColor(5, 5), QColor(5, 0, 0));  // the stored bytes, high byte ignored
    put(graf.get(), u"BkgrColor", static_cast<int>(0x80000005u));
    EXPECT_EQ(render().pixelColor(5, 5), QColor(Qt::white));  // the system window colour
    put(graf.get(), u"BkgrColor", 0x00C08040);
    EXPECT_EQ(render().pixelColor(5, 5), QColor(0x40, 0x80, 0xC0));
}

TEST_F(RenderTest, WithoutAxesOnlyTheSeriesShow) {
    series({0, 10}, {0, 10});
    QImage with = render();
    put(graf.get(), u"ViewAxis", 0);
    QImage without = render();
    auto inMargins = [](const QImage& image) {
        int n = 0;
        for (int y = kBottom + 1; y < 400; ++y)
            for (int x = 0; x < 640; ++x)
                if (image.pixelColor(x, y) != QColor(Qt::white)) ++n;
        return n;
    };
    EXPECT_GT(inMargins(with), 100);  // labels and title area
    EXPECT_EQ(inMargins(without), 0);
}

}  // namespace
}  // namespace tarvik_test
