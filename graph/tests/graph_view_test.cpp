// The user's view of the graph (IGraphView): zooming about the pointer and
// panning move what is drawn as a person expects, through the control's
// box; going back restores the script's box; and the nearest-point search
// agrees with a plain search over every drawn point.
#include "graph/graph_view.h"
#include "graph/point_index.h"
#include "graph/tests/tarvik_fixture.h"
#include "hosting/control_host.h"

#include <QImage>

#include <cmath>
#include <limits>
#include <random>

namespace tarvik_test {
namespace {

using tarvik::Box;
using tarvik::IndexedPoint;
using tarvik::PointIndex;

// The search tree against a look at every point, for scales that weigh x
// and y differently and for limits that leave out most of the points.
TEST(PointIndexTest, FindsWhatALookAtEveryPointFinds) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> coord(-100, 100);
    std::vector<double> x(20000), y(20000);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = coord(random);
        y[i] = coord(random) * 0.01;  // y spans a hundredth of x
    }
    x[5] = std::numeric_limits<double>::quiet_NaN();
    y[6] = std::numeric_limits<double>::infinity();
    PointIndex index;
    ASSERT_TRUE(index.add(3, 0, x.data(), y.data(), 10000));
    ASSERT_TRUE(index.add(4, 10000, x.data() + 10000, y.data() + 10000, 10000));
    index.build();
    EXPECT_EQ(index.size(), 19998u);  // the NaN and the infinity are never drawn

    const Box limits[] = {{-100, -1, 100, 1}, {10, 0.2, 30, 0.5}, {-1, -1, -0.5, 1}};
    for (const Box& limit : limits) {
        for (int q = 0; q < 300; ++q) {
            const double qx = coord(random), qy = coord(random) * 0.01, sx = 3, sy = 300;
            double best = std::numeric_limits<double>::infinity();
            for (std::size_t i = 0; i < x.size(); ++i) {
                if (!std::isfinite(x[i]) || !std::isfinite(y[i])) continue;
                if (x[i] < limit.XMin || x[i] > limit.XMax || y[i] < limit.YMin || y[i] > limit.YMax) continue;
                best = std::min(best, std::hypot((x[i] - qx) * sx, (y[i] - qy) * sy));
            }
            const IndexedPoint* found = index.nearest(qx, qy, sx, sy, limit);
            ASSERT_NE(found, nullptr);
            EXPECT_DOUBLE_EQ(std::hypot((found->x - qx) * sx, (found->y - qy) * sy), best);
            // The point is reported where it lies in its series.
            const std::size_t at = static_cast<std::size_t>(found->index);
            EXPECT_EQ(found->series, at < 10000 ? 3 : 4);
            EXPECT_EQ(x[at], found->x);
            EXPECT_EQ(y[at], found->y);
        }
    }
    // A limit that holds no point finds none; so does an empty index.
    EXPECT_EQ(index.nearest(0, 0, 1, 1, Box{200, 200, 300, 300}), nullptr);
    PointIndex empty;
    empty.build();
    EXPECT_EQ(empty.nearest(0, 0, 1, 1, Box{-1, -1, 1, 1}), nullptr);
}

TEST(PointIndexTest, ManyEqualPointsAndOneApart) {
    std::vector<double> x(5000, 1.0), y(5000, 1.0);
    x[4321] = 2;
    PointIndex index;
    ASSERT_TRUE(index.add(0, 0, x.data(), y.data(), x.size()));
    index.build();
    const IndexedPoint* found = index.nearest(2.1, 1, 1, 1, Box{-10, -10, 10, 10});
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->index, 4321);
}

// A graph control in a 640 x 400 window showing a cross: a red vertical
// line at x = 3 and a blue horizontal line at y = 2, in a box from -10 to 10.
class GraphViewTest : public TarvikTest {
protected:
    static constexpr int W = 640, H = 400;
    // The plot area of that window: its margins follow from the width.
    static constexpr int PlotLeft = W / 10, PlotRight = W - W / 50, PlotTop = W / 50, PlotBottom = H - W / 15;

    void SetUp() override {
        TarvikTest::SetUp();
        ensureApplication();
        host = std::make_unique<qhost::ControlHost>();
        host->resize(W, H);
        host->show();
        ASSERT_EQ(host->create(CLSID_ViGraf), S_OK) << qrt::lastActivationError();
        graf = ComPtr<IUnknown>(host->control()).as<IViGraf>();
        view = ComPtr<IUnknown>(host->control()).as<IGraphView>();
        ASSERT_TRUE(graf && view);
        addSeries({3, 3}, {-10, 10}, 0x0000FF);
        addSeries({-10, 10}, {2, 2}, 0xFF0000);
        graf->ReDrawGraph();
        picture();
    }
    void TearDown() override {
        view.reset();
        graf.reset();
        host->release();
        host.reset();
    }
    void addSeries(std::vector<double> x, std::vector<double> y, OLE_COLOR colour) {
        LONG n = 0;
        graf->CreateSeries();
        graf->get_CountSeries(&n);
        graf->SetPoints(n - 1, static_cast<LONG>(x.size()), x.data(), y.data());
        graf->SetPropertySeries(n - 1, 255, colour);
    }
    QImage picture() { return host->controlWindow()->grab().toImage(); }
    // The column of the picture most often red, the row most often blue.
    static int redColumn(const QImage& image) { return busiest(image, true); }
    static int blueRow(const QImage& image) { return busiest(image, false); }
    static int busiest(const QImage& image, bool columns) {
        int best = -1, bestCount = 0;
        const int lines = columns ? image.width() : image.height(), along = columns ? image.height() : image.width();
        for (int i = 0; i < lines; ++i) {
            int count = 0;
            for (int j = 0; j < along; ++j) {
                const QColor c = columns ? image.pixelColor(i, j) : image.pixelColor(j, i);
                // A line of one pixel is drawn lighter than its colour.
                if (columns ? (c.red() > 120 && c.green() < 60 && c.blue() < 60)
                            : (c.blue() > 120 && c.red() < 60 && c.green() < 60))
                    ++count;
            }
            if (count > bestCount) {
                bestCount = count;
                best = i;
            }
        }
        return best;
    }
    Box box() {
        double x, y, w, h;
        graf->GetBox(&x, &y, &w, &h);
        return Box{x, y, x + w, y + h};
    }
    // The window position where world (wx, wy) is shown, from the view's
    // own mapping (linear, so two positions tell it).
    QPointF positionOf(double wx, double wy) {
        double x0, y0, x1, y1;
        view->PointAt(100, 100, &x0, &y0);
        view->PointAt(300, 300, &x1, &y1);
        return QPointF(100 + (wx - x0) / (x1 - x0) * 200, 100 + (wy - y0) / (y1 - y0) * 200);
    }

    std::unique_ptr<qhost::ControlHost> host;
    ComPtr<IViGraf> graf;
    ComPtr<IGraphView> view;
};

TEST_F(GraphViewTest, WheelZoomKeepsThePointUnderThePointerWithinAPixel) {
    // The cross's centre under the pointer, through zooming in and out.
    const QPointF at = positionOf(3, 2);
    const double factors[] = {2, 2, 1.25, 3, 0.5, 0.8, 4, 0.25, 0.1, 10};
    for (double f : factors) {
        ASSERT_EQ(view->ZoomAt(at.x(), at.y(), f), S_OK) << f;
        const QImage image = picture();
        EXPECT_NEAR(redColumn(image), std::floor(at.x()), 1) << "factor " << f;
        EXPECT_NEAR(blueRow(image), std::floor(at.y()), 1) << "factor " << f;
    }
    // At a whole pixel, as the wheel gives it: the world point under it stays.
    double x0, y0, x1, y1, px, py;
    view->PointAt(200, 150, &x0, &y0);
    view->PointAt(201, 151, &px, &py);
    ASSERT_EQ(view->ZoomAt(200, 150, 1.25), S_OK);
    view->PointAt(200, 150, &x1, &y1);
    EXPECT_NEAR(x1, x0, std::fabs(px - x0) / 1.25);
    EXPECT_NEAR(y1, y0, std::fabs(py - y0) / 1.25);
}

TEST_F(GraphViewTest, GetBoxReadsTheViewTheUserSees) {
    const Box script = box();
    EXPECT_EQ(script, (Box{-10, -10, 10, 10}));
    ASSERT_EQ(view->ZoomAt(320, 200, 2), S_OK);
    picture();
    const Box zoomed = box();
    // The plot area's corners are the box's corners, to within a pixel.
    double left, bottom, right, top;
    view->PointAt(PlotLeft, PlotBottom, &left, &bottom);
    view->PointAt(PlotRight, PlotTop, &right, &top);
    const double pixelX = (zoomed.XMax - zoomed.XMin) / (PlotRight - PlotLeft);
    const double pixelY = (zoomed.YMax - zoomed.YMin) / (PlotBottom - PlotTop);
    EXPECT_NEAR(left, zoomed.XMin, pixelX);
    EXPECT_NEAR(right, zoomed.XMax, pixelX);
    EXPECT_NEAR(bottom, zoomed.YMin, pixelY);
    EXPECT_NEAR(top, zoomed.YMax, pixelY);
    // Half of what was shown (the script's box widened for drawing).
    EXPECT_NEAR(zoomed.XMax - zoomed.XMin, 10.1, 1e-9);
    EXPECT_NEAR(zoomed.YMax - zoomed.YMin, 10.5, 1e-9);
    // The magnifier works from that box and leaves the view as it is.
    ASSERT_EQ(graf->Magnifier(0, 0, 1, 1), S_OK);
    EXPECT_EQ(box(), zoomed);

    // Back to the script's box, once.
    EXPECT_EQ(view->ResetView(), S_OK);
    EXPECT_EQ(box(), script);
    EXPECT_EQ(view->ResetView(), S_FALSE);
}

TEST_F(GraphViewTest, PanningMovesTheGraphWithThePointer) {
    const QImage before = picture();
    const int column = redColumn(before), row = blueRow(before);
    ASSERT_EQ(view->PanBy(50, -30), S_OK);
    const QImage after = picture();
    EXPECT_NEAR(redColumn(after), column + 50, 1);
    EXPECT_NEAR(blueRow(after), row - 30, 1);
    // The box moved by as many world units.
    const Box b = box();
    const double perPixel = (b.XMax - b.XMin) / (PlotRight - PlotLeft);
    EXPECT_NEAR(b.XMin, -10.1 - 50 * perPixel, 1e-6);
    EXPECT_EQ(view->ResetView(), S_OK);
    EXPECT_EQ(redColumn(picture()), column);
}

TEST_F(GraphViewTest, OnlyWithoutTheAutomaticMagnifier) {
    graf->put_AutoZoom(1);
    const Box before = box();
    EXPECT_EQ(view->ZoomAt(320, 200, 2), S_FALSE);
    EXPECT_EQ(view->PanBy(10, 10), S_FALSE);
    EXPECT_EQ(box(), before);
    graf->put_AutoZoom(0);
    ASSERT_EQ(view->ZoomAt(320, 200, 2), S_OK);
    graf->put_AutoZoom(1);
    EXPECT_EQ(view->ResetView(), S_FALSE);  // the zoomed box stays while the magnifier is on
    EXPECT_NE(box(), before);
}

TEST_F(GraphViewTest, TheScriptSettingTheBoxEndsTheUserView) {
    ASSERT_EQ(view->ZoomAt(320, 200, 3), S_OK);
    ASSERT_EQ(graf->SetBox_1(0, 0, 5, 5), S_OK);
    EXPECT_EQ(view->ResetView(), S_FALSE);
    EXPECT_EQ(box(), (Box{0, 0, 5, 5}));
    // The script's box is drawn widened again: x = 5 is inside the plot.
    double x, y;
    view->PointAt(PlotRight - 1, PlotTop, &x, &y);
    EXPECT_GT(x, 5);

    ASSERT_EQ(view->PanBy(20, 0), S_OK);
    graf->ReDrawGraph();  // refits the box to the data
    EXPECT_EQ(box(), (Box{-10, -10, 10, 10}));
    EXPECT_EQ(view->ResetView(), S_FALSE);
    // A failed SetBox_1 keeps the box and so the view.
    ASSERT_EQ(view->ZoomAt(320, 200, 2), S_OK);
    EXPECT_EQ(graf->SetBox_1(0, 0, 0, 5), S_FALSE);
    EXPECT_EQ(view->ResetView(), S_OK);
}

TEST_F(GraphViewTest, ZoomStopsWhereTheDrawingCannotFollow) {
    // Far in: the box stays wide enough for single-precision drawing to
    // place the cross within a pixel; far out: the box stays finite.
    const QPointF at = positionOf(3, 2);
    int steps = 0;
    while (view->ZoomAt(at.x(), at.y(), 8) == S_OK && steps < 200) ++steps;
    EXPECT_LT(steps, 200);
    const Box in = box();
    EXPECT_GT(in.XMax - in.XMin, 0);
    const QImage image = picture();
    EXPECT_NEAR(redColumn(image), std::floor(at.x()), 1);
    EXPECT_NEAR(blueRow(image), std::floor(at.y()), 1);
    steps = 0;
    while (view->ZoomAt(at.x(), at.y(), 1.0 / 8) == S_OK && steps < 400) ++steps;
    EXPECT_LT(steps, 400);
    const Box out = box();
    EXPECT_TRUE(std::isfinite(out.XMin) && std::isfinite(out.XMax));
    EXPECT_LE(out.XMax - out.XMin, 20.2e6 * 1.0001);
    // Nonsense factors and positions change nothing.
    EXPECT_EQ(view->ZoomAt(at.x(), at.y(), 0), S_FALSE);
    EXPECT_EQ(view->ZoomAt(at.x(), at.y(), std::nan("")), S_FALSE);
    EXPECT_EQ(view->PanBy(std::numeric_limits<double>::infinity(), 0), S_FALSE);
}

TEST_F(GraphViewTest, NothingToZoomWithoutAGraph) {
    graf->RemoveAll();
    double x = 1, y = 1;
    EXPECT_EQ(view->PointAt(100, 100, &x, &y), S_FALSE);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(view->ZoomAt(100, 100, 2), S_FALSE);
    LONG series = -1, index = -1;
    EXPECT_EQ(view->NearestPoint(100, 100, &series, &index, &x, &y), S_FALSE);
    EXPECT_EQ(series, -1);
    EXPECT_EQ(view->PointAt(100, 100, nullptr, &y), E_POINTER);
}

// Ten series of 60,000 points: the nearest point on screen, against a look
// at every drawn point with the view's own scales.
TEST_F(GraphViewTest, NearestOfSixHundredThousandPoints) {
    graf->RemoveAll();
    std::mt19937 random(11);
    std::uniform_real_distribution<double> noise(-1, 1);
    std::vector<std::vector<double>> xs(10), ys(10);
    for (int s = 0; s < 10; ++s) {
        for (int i = 0; i < 60000; ++i) {
            xs[s].push_back(i * 0.001);
            ys[s].push_back(std::sin(i * 0.0005 + s) * 100 + s * 10 + noise(random));
        }
        addSeries(xs[s], ys[s], 0x000000);
    }
    // A series' points past MaxDrawPoints are not drawn and not found.
    std::vector<double> farX(MaxDrawPoints + 1, 0.0), farY(MaxDrawPoints + 1, 0.0);
    farX.back() = 30;
    farY.back() = 50;
    addSeries(farX, farY, 0x000000);
    picture();
    ASSERT_EQ(view->ZoomAt(400, 200, 1.5), S_OK);  // a view without the widening
    picture();

    double x0, y0, x1, y1;
    view->PointAt(0, 0, &x0, &y0);
    view->PointAt(1, 1, &x1, &y1);
    const double sx = 1 / (x1 - x0), sy = 1 / (y0 - y1);  // pixels per world unit
    const Box b = box();
    std::uniform_real_distribution<double> px(PlotLeft, PlotRight), py(PlotTop, PlotBottom);
    for (int q = 0; q < 200; ++q) {
        const double qx = px(random), qy = py(random);
        double wx, wy;
        ASSERT_EQ(view->PointAt(qx, qy, &wx, &wy), S_OK);
        double best = std::numeric_limits<double>::infinity();
        for (int s = 0; s < 11; ++s) {
            const auto& X = s < 10 ? xs[s] : farX;
            const auto& Y = s < 10 ? ys[s] : farY;
            for (std::size_t i = 0; i < std::min<std::size_t>(X.size(), MaxDrawPoints); ++i) {
                if (X[i] < b.XMin || X[i] > b.XMax || Y[i] < b.YMin || Y[i] > b.YMax) continue;
                best = std::min(best, std::hypot((X[i] - wx) * sx, (Y[i] - wy) * sy));
            }
        }
        LONG series = -1, index = -1;
        double fx, fy;
        ASSERT_EQ(view->NearestPoint(qx, qy, &series, &index, &fx, &fy), S_OK);
        EXPECT_NEAR(std::hypot((fx - wx) * sx, (fy - wy) * sy), best, 1e-6 * (1 + best));
        ASSERT_TRUE(series >= 0 && series <= 10);
        const auto& X = series < 10 ? xs[series] : farX;
        EXPECT_EQ(X[static_cast<std::size_t>(index)], fx);
    }
}

TEST_F(GraphViewTest, TheIndexFollowsTheData) {
    // Near the top-left corner of the plot: the nearest point changes as
    // points are added, series replaced and removed.
    LONG series = -1, index = -1;
    double x, y;
    ASSERT_EQ(view->NearestPoint(PlotLeft + 1, PlotTop + 1, &series, &index, &x, &y), S_OK);
    // The blue line's left end (-10, 2) lies nearer on screen than the red
    // line's top end (3, 10).
    EXPECT_EQ(series, 1);
    EXPECT_EQ(index, 0);
    ASSERT_EQ(graf->AddPointToSeries(1, -9.5, 9.5), S_OK);
    ASSERT_EQ(view->NearestPoint(PlotLeft + 1, PlotTop + 1, &series, &index, &x, &y), S_OK);
    EXPECT_EQ(series, 1);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(x, -9.5);
    std::vector<double> nx{-9.9}, ny{9.9};
    graf->SetPoints(0, 1, nx.data(), ny.data());
    picture();
    ASSERT_EQ(view->NearestPoint(PlotLeft + 1, PlotTop + 1, &series, &index, &x, &y), S_OK);
    EXPECT_EQ(series, 0);
    EXPECT_EQ(index, 0);
    graf->RemoveSeries(0);
    ASSERT_EQ(view->NearestPoint(PlotLeft + 1, PlotTop + 1, &series, &index, &x, &y), S_OK);
    EXPECT_EQ(series, 0);  // what was series 1 is series 0 now
    EXPECT_EQ(x, -9.5);
}

}  // namespace
}  // namespace tarvik_test
