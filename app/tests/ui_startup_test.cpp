// Start-up as the program runs it: the files of the command line opened once
// the window is shown, the register and unregister switches (registry
// entries written and removed, no window), the runtime's failure message,
// the server switches refused for now, and files dropped on the window.
#include "app/core/canvas.h"
#include "app/tests/ui_support.h"
#include "app/ui/form_tab_view.h"
#include "app/ui/graph_page.h"
#include "app/ui/startup.h"
#include "runtime/activation.h"
#include "runtime/guid.h"
#include "runtime/remote.h"
#include "runtime/testing/dispatch_calls.h"

#include "hosting/registration.h"

#include <QDropEvent>
#include <QProcess>
#include <QMimeData>

#include <filesystem>
#include <unistd.h>

namespace {

namespace reg = qrt::registry;
using quillan::ui::Startup;
using quillan::ui::StartupOptions;

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtest::ensureApplication();
        for (const char* name : {"Tarvik", "Sumtrel", "JScript", "VBScript", "Lexora"}) qtest::registerLibrary(name);
        m_folder = qtest::makeTempDir("startup");
        m_previousSeam = quillan::ui::setMessageSeam(&seam);
    }
    void TearDown() override {
        quillan::ui::setMessageSeam(m_previousSeam);
        qtest::removeTree(m_folder);
    }
    QString write(const std::string& name, const std::string& text) {
        const std::string path = m_folder + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return QString::fromStdString(path);
    }

    RecordingSeam seam;
    std::string m_folder;

private:
    quillan::ui::MessageSeam* m_previousSeam = nullptr;
};

std::string libId() { return qrt::guidToString(quillan::ui::programModule().libId); }

TEST_F(StartupTest, AFileOnTheCommandLineIsOpenedOnceTheWindowIsShown) {
    const QString script = write("given.vbs", kDrawingScript);
    Startup startup;
    StartupOptions options;
    options.files = {script};
    ASSERT_FALSE(startup.start(options).has_value()) << seam.allTexts().join('|').toStdString();
    quillan::ui::CMainFrame* frame = startup.frame();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(frame->windowState() & Qt::WindowMaximized);
    // Not yet: the window comes first.
    EXPECT_TRUE(frame->document().scriptPaths().empty());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Quillan"));
    QTRY_COMPARE(frame->document().scriptPaths().size(), std::size_t{1});
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Quillan - file script - ") + script);
    EXPECT_TRUE(seam.messages.empty()) << seam.allTexts().join('|').toStdString();
    // The settings key exists from start-up on.
    EXPECT_TRUE(reg::keyExists(reg::Hive::CurrentUser, quillan::ui::kSettingsKey));
}

TEST_F(StartupTest, RegisterAndUnregisterWriteAndRemoveTheProgramsEntriesWithoutAWindow) {
    const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
    StartupOptions options;
    options.action = StartupOptions::Action::Register;
    {
        Startup startup;
        EXPECT_EQ(startup.start(options), 0);
        EXPECT_EQ(startup.frame(), nullptr);
    }
    EXPECT_EQ(reg::getValue(reg::Hive::ClassesRoot, "AppID\\" + libId()), "Quillan");
    EXPECT_EQ(reg::getValue(reg::Hive::ClassesRoot, "AppID\\Quillan.EXE", "AppID"), libId());
    EXPECT_EQ(reg::getValue(reg::Hive::ClassesRoot, "TypeLib\\" + libId() + "\\1.0"), "Quillan 1.0 Type Library");
    EXPECT_EQ(reg::getValue(reg::Hive::ClassesRoot, "TypeLib\\" + libId() + "\\1.0\\0\\linux"), program);
    // Again: the same entries, once.
    EXPECT_EQ(Startup().start(options), 0);
    EXPECT_EQ(reg::subkeys(reg::Hive::ClassesRoot, "TypeLib\\" + libId()), std::vector<std::string>{"1.0"});

    options.action = StartupOptions::Action::Unregister;
    Startup startup;
    EXPECT_EQ(startup.start(options), 0);
    EXPECT_EQ(startup.frame(), nullptr);
    EXPECT_FALSE(reg::keyExists(reg::Hive::ClassesRoot, "AppID\\" + libId()));
    EXPECT_FALSE(reg::keyExists(reg::Hive::ClassesRoot, "AppID\\Quillan.EXE"));
    EXPECT_FALSE(reg::keyExists(reg::Hive::ClassesRoot, "TypeLib\\" + libId()));
    // The libraries' own entries stay.
    EXPECT_TRUE(reg::keyExists(reg::Hive::ClassesRoot, "AppID\\Tarvik.DLL"));
    EXPECT_TRUE(seam.messages.empty());
}

TEST_F(StartupTest, ARegistryThatCannotBeWrittenStopsStartUpWithTheRuntimesMessage) {
    const std::string blocker = m_folder + "/not-a-folder";
    std::ofstream(blocker) << "a file";
    const std::string saved = qtest::registryDir();
    setenv("QUILLAN_REGISTRY_DIR", (blocker + "/registry").c_str(), 1);
    std::optional<int> status;
    Startup startup;
    for (auto action : {StartupOptions::Action::Window, StartupOptions::Action::Register}) {
        StartupOptions options;
        options.action = action;
        options.files = {write("never.vbs", "Graf.CreateSeries\n")};
        status = startup.start(options);
        EXPECT_EQ(status, 2);
        EXPECT_EQ(startup.frame(), nullptr);
    }
    setenv("QUILLAN_REGISTRY_DIR", saved.c_str(), 1);
    ASSERT_EQ(seam.messages.size(), 2u);
    EXPECT_EQ(seam.messages[0].text,
              QStringLiteral("OLE initialization failed.  Make sure that the OLE libraries are the correct version."));
    EXPECT_EQ(seam.messages[0].icon, QMessageBox::Critical);
}

TEST_F(StartupTest, LibrariesThatCannotBeRegisteredStopStartUpTheSameWay) {
    StartupOptions options;
    options.components = {"Broken"};
    // A library file that is no library.
    const std::string fake = qtest::binaryDir() + "/libBroken.so";
    std::ofstream(fake) << "not an ELF file";
    Startup startup;
    const std::optional<int> status = startup.start(options);
    std::filesystem::remove(fake);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(startup.frame(), nullptr);
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_TRUE(seam.messages[0].text.startsWith(QStringLiteral("OLE initialization failed.")));
}

// With the window open, another program draws into its graph: its script
// is served from the window's event loop.
TEST_F(StartupTest, AnotherProgramDrawsIntoTheOpenWindowThroughCanvas) {
    Startup startup;
    ASSERT_FALSE(startup.start(StartupOptions{}).has_value());
    quillan::ui::CMainFrame* frame = startup.frame();
    ASSERT_NE(frame, nullptr);
    const std::string program = qtest::binaryDir() + "/quillan";
    ASSERT_EQ(qhost::registerModule(quillan::ui::programModule(), program), S_OK);
    const QString script = write("client.vbs",
                                 "Set c = CreateObject(\"Quillan.Canvas\")\n"
                                 "c.Graf.CreateSeries\n"
                                 "c.Graf.AddPointToSeries 0, 1, 2\n"
                                 "If c.Graf.CountSeries <> 1 Then Err.Raise 5\n");
    QProcess client;
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.start(QString::fromStdString(program), {QStringLiteral("--run"), script});
    QTRY_VERIFY_WITH_TIMEOUT(client.state() == QProcess::NotRunning, 20000);
    EXPECT_EQ(client.exitCode(), 0) << client.readAll().toStdString();
    LONG count = 0;
    frame->document().graf().CountSeries(&count);
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(seam.messages.empty()) << seam.allTexts().join('|').toStdString();
}

// Started as a server, the program shows no window and serves Canvas on
// its socket until start-up is undone.
TEST_F(StartupTest, TheServerSwitchesServeCanvasWithoutAWindow) {
    const std::string socket = qrt::remote::socketPath(quillan::CLSID_Canvas);
    for (auto action : {StartupOptions::Action::Embedding, StartupOptions::Action::Automation}) {
        {
            StartupOptions options;
            options.action = action;
            Startup startup;
            EXPECT_EQ(startup.start(options), std::nullopt);
            EXPECT_EQ(startup.frame(), nullptr);
            EXPECT_EQ(::access(socket.c_str(), F_OK), 0);
            qrt::ComPtr<IDispatch> canvas;
            ASSERT_EQ(CoCreateInstance(quillan::CLSID_Canvas, nullptr, CLSCTX_ALL, IID_IDispatch, canvas.outVoid()), S_OK);
            qtest::CallResult graf = qtest::get(canvas.get(), u"Graf");
            ASSERT_EQ(graf.hr, S_OK);
            EXPECT_EQ(qtest::call(graf.value.pdispVal, u"CountSeries").value.lVal, 0);
        }
        EXPECT_NE(::access(socket.c_str(), F_OK), 0);
    }
    EXPECT_TRUE(seam.messages.empty());
}

using DropTest = WindowFixture;

QDropEvent dropOf(const QMimeData& data) {
    return QDropEvent(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
}

TEST_F(DropTest, AScriptDroppedOnTheWindowIsOpenedLikeOpen) {
    const QString script = write("dropped.vbs", kDrawingScript);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(script)});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop = dropOf(data);
    QApplication::sendEvent(frame.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Quillan - file script - ") + script);
    EXPECT_EQ(frame->formView()->graphPage()->seriesCount(), 2);
    EXPECT_EQ(frame->recentFiles().front(), script);

    // Text, or a file that is no script, opens nothing.
    QMimeData text;
    text.setText(QStringLiteral("Graf.CreateSeries"));
    QDragEnterEvent refused(QPoint(50, 50), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QApplication::sendEvent(frame.get(), &refused);
    EXPECT_FALSE(refused.isAccepted());
    QMimeData notes;
    notes.setUrls({QUrl::fromLocalFile(write("notes.txt", "x"))});
    QDropEvent other = dropOf(notes);
    QApplication::sendEvent(frame.get(), &other);
    EXPECT_EQ(frame->document().scriptPaths().size(), 1u);
    EXPECT_TRUE(seam.messages.empty()) << seam.allTexts().join('|').toStdString();
}

}  // namespace
