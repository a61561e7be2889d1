// SimGra: stock properties and its two renderings.
#include "graph/tests/tarvik_fixture.h"
#include "hosting/control_host.h"

#include <QImage>
#include <QPainter>

namespace tarvik_test {
namespace {

TEST_F(TarvikTest, SimGraStoresItsStockProperties) {
    auto sim = make<ISimGra>(u"Tarvik.SimGra");
    ASSERT_TRUE(sim);
    ASSERT_EQ(put(sim.get(), u"BackColor", 0x123456).hr, S_OK);
    EXPECT_EQ(get(sim.get(), u"BackColor").value.ulVal, 0x123456u);
    for (const char16_t* name : {u"BackStyle", u"BorderStyle", u"DrawMode", u"DrawStyle", u"FillStyle",
                                 u"MousePointer"}) {
        ASSERT_EQ(put(sim.get(), name, 7).hr, S_OK);
        EXPECT_EQ(get(sim.get(), name).value.lVal, 7);
    }
    ASSERT_EQ(sim->put_BorderColor(0xFF), S_OK);
    ASSERT_EQ(sim->put_FillColor(0xFF00), S_OK);
    OLE_COLOR c = 0;
    sim->get_FillColor(&c);
    EXPECT_EQ(c, 0xFF00u);
    auto other = make<IDispatch>(u"Tarvik.Series");
    ASSERT_EQ(sim->putref_Picture(other.get()), S_OK);
    ComPtr<IDispatch> picture;
    ASSERT_EQ(sim->get_Picture(picture.out()), S_OK);
    EXPECT_EQ(picture.get(), other.get());
}

TEST_F(TarvikTest, SimGraDrawsAGreyBoxWithItsNameWhenInactive) {
    ensureApplication();
    auto sim = make<IWidgetControl>(u"Tarvik.SimGra");
    ASSERT_TRUE(sim);
    QImage image(300, 120, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        ASSERT_EQ(sim->Draw(&painter, 0, 0, 300, 120), S_OK);
    }
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::black));      // the frame
    EXPECT_EQ(image.pixelColor(5, 5), QColor(128, 128, 128));  // the grey brush
    EXPECT_EQ(image.pixelColor(299, 119), QColor(Qt::black));
    // The text sits in the middle: dark pixels around the centre row, none near the edges.
    auto darkIn = [&](QRect r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (qGray(image.pixel(x, y)) < 64) ++n;
        return n;
    };
    EXPECT_GT(darkIn(QRect(40, 50, 220, 20)), 50);
    EXPECT_EQ(darkIn(QRect(5, 5, 290, 25)), 0);
    EXPECT_EQ(darkIn(QRect(5, 95, 290, 20)), 0);
}

TEST_F(TarvikTest, SimGraShowsAnEmptyPageWhileActive) {
    ensureApplication();
    qhost::ControlHost host;
    host.resize(320, 200);
    host.show();
    ASSERT_EQ(host.create(CLSID_SimGra), S_OK);
    ASSERT_NE(host.controlWindow(), nullptr);
    EXPECT_EQ(host.controlWindow()->parentWidget(), &host);
    EXPECT_TRUE(host.controlWindow()->children().isEmpty());
    host.resize(400, 260);
    EXPECT_EQ(host.controlWindow()->geometry(), QRect(0, 0, 400, 260));
    host.release();
}

}  // namespace
}  // namespace tarvik_test
