// The graph control hosted in a widget: its window follows the host and
// shows the background; without a window it asks the host to redraw.
#include "graph/tests/tarvik_fixture.h"
#include "hosting/control_host.h"

#include <QImage>

namespace tarvik_test {
namespace {

TEST_F(TarvikTest, TheGraphWindowFollowsItsHostAndRepaints) {
    ensureApplication();
    qhost::ControlHost host;
    host.resize(240, 160);
    host.show();
    ASSERT_EQ(host.create(CLSID_ViGraf), S_OK) << qrt::lastActivationError();
    QWidget* window = host.controlWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->parentWidget(), &host);
    EXPECT_EQ(window->geometry(), QRect(0, 0, 240, 160));
    host.resize(300, 200);
    EXPECT_EQ(window->geometry(), QRect(0, 0, 300, 200));

    QImage before = window->grab().toImage();
    EXPECT_EQ(before.pixelColor(3, 3), QColor(Qt::white));
    auto graf = ComPtr<IUnknown>(host.control()).as<IViGraf>();
    ASSERT_EQ(put(graf.get(), u"BkgrColor", 0x0000FF).hr, S_OK);  // red: the low byte
    QImage after = window->grab().toImage();
    EXPECT_EQ(after.pixelColor(3, 3), QColor(255, 0, 0));
    EXPECT_EQ(host.viewChanges(), 0);
    // The stock BackColor, the same colour, shows at once too.
    ASSERT_EQ(put(graf.get(), u"BackColor", 0x00FF00).hr, S_OK);
    EXPECT_EQ(window->grab().toImage().pixelColor(3, 3), QColor(0, 255, 0));

    // Without its window the control tells the host instead.
    auto control = graf.as<IWidgetControl>();
    ASSERT_EQ(control->DestroyControlWindow(), S_OK);
    ASSERT_EQ(put(graf.get(), u"ViewAxis", 0).hr, S_OK);
    EXPECT_EQ(host.viewChanges(), 1);
    host.release();
}

TEST_F(TarvikTest, AHostThatGoesFirstLeavesTheControlUsable) {
    ensureApplication();
    auto graf = make<IViGraf>(u"Tarvik.ViGraf");
    {
        QWidget parent;
        auto control = graf.as<IWidgetControl>();
        QWidget* window = nullptr;
        ASSERT_EQ(control->CreateControlWindow(&parent, &window), S_OK);
        ASSERT_NE(window, nullptr);
    }  // the parent deletes the window with itself
    EXPECT_EQ(graf->ReDrawGraph(), S_OK);
    EXPECT_EQ(graf.as<IWidgetControl>()->DestroyControlWindow(), S_OK);
}

}  // namespace
}  // namespace tarvik_test
