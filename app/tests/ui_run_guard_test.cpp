// Long script runs in the window: after half a second the window repaints
// while the script runs, Stop and Escape end the script, and every other
// input waits for the end of the run.
#include "app/core/script_driver.h"
#include "app/tests/ui_support.h"
#include "app/ui/run_guard.h"
#include "app/ui/window_script_ui.h"
#include "runtime/activation.h"

#include <QAction>
#include <QDialog>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <thread>

namespace {

using quillan::ui::RunGuard;

// Counts its paint events.
class PaintCounter final : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

class RunGuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtest::ensureApplication();
        m_previousSeam = quillan::ui::setMessageSeam(&seam);
        window = std::make_unique<QMainWindow>();
        stop = new QAction(QStringLiteral("Stop"), window.get());
        toolBar = window->addToolBar(QStringLiteral("Run"));
        toolBar->addAction(stop);
        auto* central = new QWidget;
        other = new QPushButton(QStringLiteral("Other"), central);
        canvas = new PaintCounter;
        canvas->setParent(central);
        canvas->setGeometry(0, 40, 200, 100);
        window->setCentralWidget(central);
        window->resize(400, 300);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        guard = std::make_unique<RunGuard>(window.get(), stop);
        QObject::connect(stop, &QAction::triggered, [this] { guard->requestStop(); });
        QObject::connect(other, &QPushButton::clicked, [this] { ++otherClicks; });
    }
    void TearDown() override {
        guard.reset();
        window.reset();
        quillan::ui::setMessageSeam(m_previousSeam);
    }

    void clickOther() {
        const QPoint centre = other->rect().center();
        QCoreApplication::postEvent(other, new QMouseEvent(QEvent::MouseButtonPress, centre, other->mapToGlobal(centre),
                                                           Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(other, new QMouseEvent(QEvent::MouseButtonRelease, centre, other->mapToGlobal(centre),
                                                           Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    }

    RecordingSeam seam;
    std::unique_ptr<QMainWindow> window;
    QToolBar* toolBar = nullptr;
    QAction* stop = nullptr;
    QPushButton* other = nullptr;
    PaintCounter* canvas = nullptr;
    std::unique_ptr<RunGuard> guard;
    int otherClicks = 0;

private:
    quillan::ui::MessageSeam* m_previousSeam = nullptr;
};

TEST_F(RunGuardTest, AfterHalfASecondOnlyPaintingAndStopGetThrough) {
    EXPECT_FALSE(stop->isEnabled());
    guard->runStarted();
    EXPECT_TRUE(guard->queryContinue());
    EXPECT_FALSE(guard->busy()) << "a short run leaves the window alone";
    std::this_thread::sleep_for(std::chrono::milliseconds(550));

    clickOther();
    canvas->update();
    const int paintsBefore = canvas->paints;
    EXPECT_TRUE(guard->queryContinue());
    EXPECT_TRUE(guard->busy());
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_FALSE(window->statusBar()->currentMessage().isEmpty());
    EXPECT_GT(canvas->paints, paintsBefore) << "the window repaints during the run";
    EXPECT_EQ(otherClicks, 0) << "other commands wait";

    // The window cannot be closed under the running script.
    QCoreApplication::postEvent(window.get(), new QCloseEvent);
    EXPECT_TRUE(guard->queryContinue());
    EXPECT_TRUE(window->isVisible());

    QCoreApplication::postEvent(window.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    EXPECT_FALSE(guard->queryContinue()) << "Escape stops the script";

    guard->runEnded();
    EXPECT_FALSE(guard->busy());
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_TRUE(window->statusBar()->currentMessage().isEmpty());
    clickOther();
    QCoreApplication::processEvents();
    EXPECT_EQ(otherClicks, 1) << "after the run the window takes input again";

    // The next run starts afresh, and the Stop button stops it too.
    guard->runStarted();
    EXPECT_TRUE(guard->queryContinue());
    std::this_thread::sleep_for(std::chrono::milliseconds(550));
    EXPECT_TRUE(guard->queryContinue());
    QWidget* stopButton = toolBar->widgetForAction(stop);
    ASSERT_NE(stopButton, nullptr);
    QTest::mouseClick(stopButton, Qt::LeftButton);
    EXPECT_FALSE(guard->queryContinue());
    guard->runEnded();
}

// A message the script shows late in a long run must still be answerable:
// only the guarded window's input waits.
TEST_F(RunGuardTest, ADialogOpenedDuringALongRunTakesItsInput) {
    guard->runStarted();
    std::this_thread::sleep_for(std::chrono::milliseconds(550));
    EXPECT_TRUE(guard->queryContinue());
    ASSERT_TRUE(guard->busy());

    QDialog dialog(window.get());
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    int okClicks = 0;
    QObject::connect(ok, &QPushButton::clicked, [&] { ++okClicks; });
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(okClicks, 1);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible()) << "Escape closes the dialog";
    EXPECT_TRUE(guard->queryContinue()) << "and does not stop the script";
    clickOther();
    EXPECT_TRUE(guard->queryContinue());
    EXPECT_EQ(otherClicks, 0) << "the window itself still waits";
    guard->runEnded();
}

// The real engines through the script driver: Escape ends an endless loop
// in either language, the error says so, and the window repainted meanwhile.
TEST_F(RunGuardTest, EscapeEndsAnEndlessScriptInBothLanguages) {
    for (const char* name : {"JScript", "VBScript"}) qtest::registerLibrary(name);
    struct Case {
        const char16_t* language;
        const char16_t* text;
    };
    for (const Case& c : {Case{u"JScript", u"var n = 0; for (;;) { n++; }"}, Case{u"VBScript", u"Dim n\nDo\n n = n + 1\nLoop"}}) {
        SCOPED_TRACE(QString::fromStdU16String(c.language).toStdString());
        quillan::ui::WindowScriptUi ui(window.get(), [] {}, [](const QString&) {});
        ui.setRunGuard(guard.get());
        auto driver = qrt::create<quillan::CScriptDriver>();
        driver->SetReporter(&ui);
        CLSID engine{};
        ASSERT_EQ(CLSIDFromProgID(c.language, &engine), S_OK);
        ASSERT_EQ(driver->CreateEngine(engine), S_OK);

        QTimer repaint;
        QObject::connect(&repaint, &QTimer::timeout, canvas, [this] { canvas->update(); });
        repaint.start(50);
        QTimer::singleShot(900, window.get(), [this] {
            QTest::keyClick(window.get(), Qt::Key_Escape);
        });
        seam.messages.clear();
        const int paintsBefore = canvas->paints;
        ASSERT_EQ(driver->ParseText(c.text), S_OK);
        driver->Run();
        repaint.stop();

        EXPECT_FALSE(guard->running());
        EXPECT_FALSE(stop->isEnabled());
        ASSERT_EQ(seam.messages.size(), 1u);
        EXPECT_TRUE(seam.messages[0].text.contains(QStringLiteral("Script stopped by the user")))
            << seam.messages[0].text.toStdString();
        EXPECT_GT(canvas->paints, paintsBefore);
        driver->Close();
    }
}

}  // namespace

namespace {

// The whole window: an endless script opened like a user would open it
// ends with Escape, the error is shown, and the window takes commands again.
using WindowRunTest = WindowFixture;

TEST_F(WindowRunTest, EscapeStopsAnEndlessScriptOpenedInTheWindow) {
    QAction* stopCommand = frame->command(quillan::ui::CMainFrame::StopScript);
    ASSERT_NE(stopCommand, nullptr);
    EXPECT_FALSE(stopCommand->isEnabled());
    EXPECT_NE(frame->mainToolBar()->widgetForAction(stopCommand), nullptr) << "Stop is on the toolbar";
    bool enabledDuringRun = false;
    QTimer::singleShot(800, frame.get(), [&] {
        enabledDuringRun = stopCommand->isEnabled();
        QTest::keyClick(frame.get(), Qt::Key_Escape);
    });
    frame->openScript(write("forever.vbs", "Dim n\nDo\n n = n + 1\nLoop\n"));
    EXPECT_TRUE(enabledDuringRun);
    EXPECT_FALSE(stopCommand->isEnabled());
    EXPECT_FALSE(frame->runGuard()->running());
    ASSERT_FALSE(seam.messages.empty());
    EXPECT_TRUE(seam.allTexts().join('\n').contains(QStringLiteral("Script stopped by the user")))
        << seam.allTexts().join('\n').toStdString();
}

}  // namespace
