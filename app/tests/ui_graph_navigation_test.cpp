// The graph page under the pointer: the wheel zooms about the pointer, the
// middle button and Space with the left button pan, a double click and Home
// go back to the script's box, all through the control's box and only with
// the automatic magnifier off and the setting on; the status bar tells the
// graph coordinates under the pointer, snapped to the nearest point with
// Shift; the right button's menu copies, saves and resets.
#include "app/tests/ui_support.h"
#include "app/ui/form_tab_view.h"
#include "app/ui/graph_page.h"
#include "app/ui/graph_tools_page.h"
#include "app/ui/left_pane.h"
#include "app/ui/toolbar_layout.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStatusBar>
#include <QToolButton>
#include <QWheelEvent>

#include <cmath>

namespace {

using quillan::ui::CGraphPage;

struct Box {
    double x = 0, y = 0, w = 0, h = 0;
};

class NavigationTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        if (HasFatalFailure()) return;
        // Every test starts with the setting as it comes.
        quillan::ui::writeToolBarLayout(CGraphPage::kMouseZoomValue, QStringLiteral("1"));
        page()->command(CGraphPage::MouseZoom)->setChecked(true);
        ASSERT_TRUE(frame->openScript(write("drawn.vbs", kDrawingScript)));
        clickTab(frame->formView(), quillan::ui::CFormTabView::Graphic);
        QApplication::processEvents();
        window = page()->host()->controlWindow();
        ASSERT_NE(window, nullptr);
        view = qrt::ComPtr<IUnknown>(page()->host()->control()).as<IGraphView>();
        ASSERT_TRUE(view);
        script = box();
    }
    void TearDown() override {
        view.reset();
        WindowFixture::TearDown();
    }
    CGraphPage* page() const { return frame->formView()->graphPage(); }
    Box box() {
        Box b;
        frame->document().graf().GetBox(&b.x, &b.y, &b.w, &b.h);
        return b;
    }
    static bool same(const Box& a, const Box& b) { return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h; }
    void wheel(QPoint at, int notches, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWheelEvent event(at, window->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(window, &event);
    }
    void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent event(type, at, window->mapToGlobal(at), button, held, modifiers);
        QCoreApplication::sendEvent(window, &event);
    }
    void key(QEvent::Type type, int code, bool repeat = false) {
        QKeyEvent event(type, code, Qt::NoModifier, QString(), repeat);
        QCoreApplication::sendEvent(window, &event);
    }
    QPointF worldAt(QPoint at) {
        double x = 0, y = 0;
        view->PointAt(at.x(), at.y(), &x, &y);
        return QPointF(x, y);
    }
    QString status() const { return frame->statusBar()->currentMessage(); }

    QWidget* window = nullptr;
    qrt::ComPtr<IGraphView> view;
    Box script;
};

TEST_F(NavigationTest, WheelZoomsAboutThePointerAndHomeGoesBack) {
    const QPoint at(window->width() / 3, window->height() / 2);
    const QPointF before = worldAt(at);
    const QPointF pixel = worldAt(at + QPoint(1, 1)) - before;
    wheel(at, 1);
    const Box zoomed = box();
    // One notch: a quarter closer, about the point under the pointer.
    EXPECT_NEAR(zoomed.w, script.w * 1.01 / 1.25, 1e-9);  // x from 0 is widened only at its top
    const QPointF after = worldAt(at);
    EXPECT_NEAR(after.x(), before.x(), std::fabs(pixel.x()));
    EXPECT_NEAR(after.y(), before.y(), std::fabs(pixel.y()));
    wheel(at, 3);
    EXPECT_LT(box().w, zoomed.w);
    wheel(at, -2);  // out again: one notch in from the first
    EXPECT_NEAR(box().w, zoomed.w / 1.25, 1e-9);

    key(QEvent::KeyPress, Qt::Key_Home);
    EXPECT_TRUE(same(box(), script));
    wheel(at, 2);
    mouse(QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(same(box(), script));
}

TEST_F(NavigationTest, MiddleButtonAndSpaceWithTheLeftButtonPan) {
    const QPoint from(window->width() / 2, window->height() / 2);
    const double perPixel = worldAt(from + QPoint(1, 0)).x() - worldAt(from).x();
    mouse(QEvent::MouseButtonPress, from, Qt::MiddleButton, Qt::MiddleButton);
    EXPECT_EQ(window->cursor().shape(), Qt::ClosedHandCursor);
    for (int step = 1; step <= 4; ++step)
        mouse(QEvent::MouseMove, from + QPoint(10 * step, 0), Qt::NoButton, Qt::MiddleButton);
    mouse(QEvent::MouseButtonRelease, from + QPoint(40, 0), Qt::MiddleButton, Qt::NoButton);
    EXPECT_NE(window->cursor().shape(), Qt::ClosedHandCursor);
    const Box panned = box();
    // The graph followed the pointer 40 pixels to the right.
    EXPECT_NEAR(panned.x, script.x - 40 * perPixel, 1e-6 * script.w);
    EXPECT_NEAR(panned.w, script.w * 1.01, 1e-9);

    // Space with the left button: the graph goes up with the pointer, and
    // lower values come into view.
    key(QEvent::KeyPress, Qt::Key_Space);
    EXPECT_EQ(window->cursor().shape(), Qt::OpenHandCursor);
    key(QEvent::KeyPress, Qt::Key_Space, true);  // the key repeating changes nothing
    mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, from + QPoint(0, -25), Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, from + QPoint(0, -25), Qt::LeftButton, Qt::NoButton);
    key(QEvent::KeyRelease, Qt::Key_Space);
    EXPECT_NE(window->cursor().shape(), Qt::OpenHandCursor);
    EXPECT_LT(box().y, panned.y);
    EXPECT_DOUBLE_EQ(box().x, panned.x);
    // A left drag without Space pans nothing.
    const Box still = box();
    mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, from + QPoint(30, 30), Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, from + QPoint(30, 30), Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(same(box(), still));
}

TEST_F(NavigationTest, NothingMovesWithTheMagnifierOnOrTheSettingOff) {
    const QPoint at(window->width() / 2, window->height() / 2);
    frame->leftPane()->selectPage(quillan::ui::CLeftPane::GraphicsTools);
    quillan::ui::CGraphToolsPage* tools = frame->leftPane()->graphToolsPage();
    tools->flatZooming()->click();  // the automatic magnifier on
    wheel(at, 2);
    EXPECT_TRUE(same(box(), script));
    tools->flatZooming()->click();
    wheel(at, 2);
    EXPECT_FALSE(same(box(), script));
    key(QEvent::KeyPress, Qt::Key_Home);

    // The setting, in the View menu, kept in the registry.
    QAction* setting = page()->command(CGraphPage::MouseZoom);
    bool inViewMenu = false;
    for (QAction* menu : frame->menuBar()->actions())
        if (menu->menu() && menu->menu()->actions().contains(setting)) inViewMenu = true;
    EXPECT_TRUE(inViewMenu);
    setting->setChecked(false);
    EXPECT_EQ(quillan::ui::readToolBarLayout(CGraphPage::kMouseZoomValue), QStringLiteral("0"));
    wheel(at, 2);
    mouse(QEvent::MouseButtonPress, at, Qt::MiddleButton, Qt::MiddleButton);
    mouse(QEvent::MouseMove, at + QPoint(30, 0), Qt::NoButton, Qt::MiddleButton);
    mouse(QEvent::MouseButtonRelease, at + QPoint(30, 0), Qt::MiddleButton, Qt::NoButton);
    EXPECT_TRUE(same(box(), script));
    EXPECT_FALSE(page()->command(CGraphPage::ResetZoom)->isEnabled());
    // The data cursor still tells where the pointer is.
    mouse(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(status().startsWith(QStringLiteral("X = "))) << status().toStdString();
}

TEST_F(NavigationTest, TheStatusBarTellsThePointAndSnapsWithShift) {
    const QPoint at(window->width() / 2, window->height() / 2);
    mouse(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
    const QPointF world = worldAt(at);
    const QString plain = status();
    ASSERT_TRUE(plain.startsWith(QStringLiteral("X = "))) << plain.toStdString();
    // As many digits as tell one pixel from the next.
    const QStringList parts = plain.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    ASSERT_EQ(parts.size(), 6);
    EXPECT_NEAR(parts[2].toDouble(), world.x(), std::fabs(worldAt(at + QPoint(1, 0)).x() - world.x()));
    EXPECT_NEAR(parts[5].toDouble(), world.y(), std::fabs(worldAt(at + QPoint(0, 1)).y() - world.y()));

    // With Shift: a point of the script's data (x a whole number from 0 to
    // 50, y its sine or cosine of x / 5), with its series and index.
    mouse(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, Qt::ShiftModifier);
    const QString snapped = status();
    const QRegularExpression form(QStringLiteral("^Series (\\d), point (\\d+):  X = (\\S+)  Y = (\\S+)$"));
    const QRegularExpressionMatch match = form.match(snapped);
    ASSERT_TRUE(match.hasMatch()) << snapped.toStdString();
    const int series = match.captured(1).toInt(), index = match.captured(2).toInt();
    EXPECT_EQ(match.captured(3).toDouble(), index);
    const double expected = series == 0 ? std::sin(index / 5.0) : std::cos(index / 5.0);
    EXPECT_NEAR(match.captured(4).toDouble(), expected, 1e-12);
    // No point of the script lies nearer on screen.
    const double sx = 1 / (worldAt(at + QPoint(1, 0)).x() - world.x());
    const double sy = 1 / (worldAt(at + QPoint(0, 1)).y() - world.y());
    const double found = std::hypot((index - world.x()) * sx, (expected - world.y()) * sy);
    for (int i = 0; i <= 50; ++i)
        for (double y : {std::sin(i / 5.0), std::cos(i / 5.0)})
            EXPECT_GE(std::hypot((i - world.x()) * sx, (y - world.y()) * sy), found - 1e-9) << i;

    // Letting go of Shift goes back to the plain position; outside the plot
    // and after leaving the window the pane is empty.
    key(QEvent::KeyRelease, Qt::Key_Shift);
    EXPECT_EQ(status(), plain);
    mouse(QEvent::MouseMove, QPoint(2, 2), Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(status().isEmpty()) << status().toStdString();
    mouse(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(window, &leave);
    EXPECT_TRUE(status().isEmpty());
}

TEST_F(NavigationTest, TheRightButtonsMenuCopiesSavesAndResets) {
    const QPoint at(window->width() / 2, window->height() / 2);
    wheel(at, 2);
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, window->mapToGlobal(at));
    QCoreApplication::sendEvent(window, &request);
    QMenu* menu = page()->findChild<QMenu*>(QStringLiteral("graphMenu"));
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    QStringList texts;
    for (QAction* action : menu->actions())
        if (!action->isSeparator()) texts << action->text();
    EXPECT_EQ(texts, (QStringList{"&Copy Picture", "&Save Picture...", "&Reset Zoom", "&Zoom and Pan with the Mouse"}));
    if (const QByteArray shots = qgetenv("QUILLAN_UI_SHOTS"); !shots.isEmpty())
        menu->grab().save(QString::fromLocal8Bit(shots) + "/graph-menu.png");
    menu->hide();

    page()->command(CGraphPage::ResetZoom)->trigger();
    EXPECT_TRUE(same(box(), script));

    QGuiApplication::clipboard()->clear();
    page()->command(CGraphPage::CopyPicture)->trigger();
    const QImage copied = QGuiApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), window->size() * window->devicePixelRatioF());

    const QString path = QString::fromStdString(m_folder) + "/menu.png";
    seam.files = {path};
    seam.filters = {QStringLiteral("PNG, lossless (*.png)")};
    page()->command(CGraphPage::SavePicture)->trigger();
    EXPECT_EQ(QImage(path).size(), window->size()) << seam.allTexts().join('|').toStdString();
}

}  // namespace
