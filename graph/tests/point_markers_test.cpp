// Point markers on the graph control's series, as scripts turn them on.
#include "graph/tests/tarvik_fixture.h"
#include "hosting/control_host.h"

#include <QImage>

#include <cstdlib>
#include <vector>

namespace tarvik_test {
namespace {

// The plot area of a 640 x 400 picture without axes: (64, 12) to (628, 358).
constexpr int kLeft = 64, kTop = 12, kRight = 628, kBottom = 358;

class PointMarkersTest : public TarvikTest {
protected:
    void SetUp() override {
        TarvikTest::SetUp();
        ensureApplication();
        graf = make<IViGraf>(u"Tarvik.ViGraf");
        ASSERT_TRUE(graf);
        put(graf.get(), u"ViewAxis", 0);
    }
    QImage render() {
        QImage image = qhost::renderControl(graf.get(), 640, 400);
        if (const char* dir = std::getenv("QUILLAN_SAVE_PICTURES"))
            image.save(QString(dir) + "/markers-" + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                       "-" + QString::number(++pictures) + ".png");
        return image;
    }
    // One series in the box (0, 0) to (10, 10).
    void series(std::vector<double> x, std::vector<double> y, LONG alpha) {
        graf->CreateSeries();
        graf->SetPoints(0, static_cast<LONG>(x.size()), x.data(), y.data());
        graf->SetPropertySeries(0, alpha, 0xFF0000);  // blue
        double box[4] = {0, 0, 10, 10};
        graf->SetBox(box);
    }
    HRESULT invoke30(LONG lSer, LONG size) {
        VARIANT args[2];  // last argument first
        args[0].vt = args[1].vt = VT_I4;
        args[0].lVal = size;
        args[1].lVal = lSer;
        DISPPARAMS params{args, nullptr, 2, 0};
        return graf->Invoke(30, GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }

    ComPtr<IViGraf> graf;
    int pictures = 0;
};

// The bounds of the pixels that differ between two pictures within x0 <= x < x1, and their number.
std::pair<QRect, int> changed(const QImage& a, const QImage& b, int x0, int x1) {
    QRect r;
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = x0; x < x1; ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) {
                r |= QRect(x, y, 1, 1);
                ++n;
            }
    return {r, n};
}

TEST_F(PointMarkersTest, DrawPointsByNameOrIdentifierPutsTranslucentSquaresOnThePoints) {
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(u"drawpoints");
    ASSERT_EQ(graf->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 30);

    series({2, 8}, {5, 5}, 128);
    const QImage line = render();
    ASSERT_EQ(call(graf.get(), u"DrawPoints", {0, 7}).hr, S_OK);
    const QImage marked = render();
    // A 7 x 7 square centred on each end of the line, every pixel blended
    // once more; off the line that is blue at alpha 128 over white.
    int row = kTop, first = kLeft, last = kRight - 1;
    while (row < kBottom && line.pixel(320, row) == 0xffffffff) ++row;
    while (first < kRight && line.pixel(first, row) == 0xffffffff) ++first;
    while (last > kLeft && line.pixel(last, row) == 0xffffffff) --last;
    EXPECT_EQ(changed(line, marked, 0, 320), std::make_pair(QRect(first - 3, row - 3, 7, 7), 49));
    EXPECT_EQ(changed(line, marked, 320, 640), std::make_pair(QRect(last - 3, row - 3, 7, 7), 49));
    EXPECT_EQ(marked.pixel(first - 3, row + 3), qRgb(127, 127, 255));
    EXPECT_LT(qRed(marked.pixel(first + 1, row)), qRed(line.pixel(first + 1, row)));

    // Size 0 or less turns them off; dispatch identifier 30 on again.
    ASSERT_EQ(call(graf.get(), u"DrawPoints", {0, 0}).hr, S_OK);
    EXPECT_EQ(render(), line);
    ASSERT_EQ(invoke30(0, 7), S_OK);
    EXPECT_EQ(render(), marked);
    ASSERT_EQ(graf->DrawPoints(0, -5), S_OK);
    EXPECT_EQ(render(), line);
}

TEST_F(PointMarkersTest, AnUnknownSeriesIsRefusedAndNothingChanges) {
    EXPECT_EQ(graf->DrawPoints(0, 5), S_FALSE);
    series({2, 8}, {5, 5}, 255);
    const QImage before = render();
    EXPECT_EQ(graf->DrawPoints(1, 5), S_FALSE);
    EXPECT_EQ(graf->DrawPoints(-1, 5), S_FALSE);
    // Through IDispatch, as for every member, S_FALSE arrives as success.
    EXPECT_EQ(call(graf.get(), u"DrawPoints", {7, 5}).hr, S_OK);
    EXPECT_EQ(render(), before);
}

TEST_F(PointMarkersTest, OpaqueMarkersStayInsideThePlotArea) {
    // Points on the box's corners and edges, and far outside it.
    series({0, 10, 10, 0, 5, 5, -1e6, 5}, {0, 0, 10, 10, 10.4, -0.4, 5, 1e9}, 255);
    ASSERT_EQ(graf->DrawPoints(0, 21), S_OK);
    const QImage image = render();
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 640; ++x) {
            const bool outside = x < kLeft || x >= kRight || y < kTop || y >= kBottom;
            ASSERT_TRUE(!outside || image.pixel(x, y) == 0xffffffff) << x << "," << y;
        }
    // The square on the lower left corner shows its upper right quarter.
    EXPECT_EQ(image.pixel(kLeft, kBottom - 1), 0xff0000ff);
    EXPECT_EQ(image.pixel(kLeft + 9, kBottom - 10), 0xff0000ff);
    EXPECT_EQ(image.pixel(kLeft + 11, kBottom - 10), 0xffffffff);
}

}  // namespace
}  // namespace tarvik_test
