// The recent files outlive the window: they are kept in the registry under
// the program's settings key, read back by the next window, and survive a
// registry written by hand or out of reach.
#include "app/tests/ui_support.h"

#include <QMenu>
#include <QMenuBar>

namespace {

namespace reg = qrt::registry;
using quillan::ui::CMainFrame;
using quillan::ui::kRecentFilesKey;
using quillan::ui::RecentFileList;

using RecentFilesTest = WindowFixture;

QStringList visibleEntries(CMainFrame& frame) {
    QMenu* file = frame.menuBar()->actions()[0]->menu();
    QMenu* recent = file->actions()[3]->menu();
    emit recent->aboutToShow();
    QStringList texts;
    for (QAction* action : recent->actions()) {
        if (action->isVisible() && action->isEnabled()) texts << action->data().toString();
    }
    return texts;
}

TEST_F(RecentFilesTest, TheListIsKeptInTheRegistryAndReadByTheNextWindow) {
    const QString a = write("a.vbs", "Graf.CreateSeries\n");
    const QString b = write("b.js", "Graf.CreateSeries();\n");
    ASSERT_TRUE(frame->openScript(a));
    ASSERT_TRUE(frame->openScript(b));
    ASSERT_TRUE(frame->openScript(a));
    EXPECT_EQ(reg::getValue(reg::Hive::CurrentUser, kRecentFilesKey, "File1"), a.toStdString());
    EXPECT_EQ(reg::getValue(reg::Hive::CurrentUser, kRecentFilesKey, "File2"), b.toStdString());
    EXPECT_FALSE(reg::getValue(reg::Hive::CurrentUser, kRecentFilesKey, "File3"));

    // A restart: the new window lists them in the same order.
    frame.reset();
    frame = std::make_unique<CMainFrame>();
    QString error;
    ASSERT_TRUE(frame->createControls(error));
    EXPECT_EQ(frame->recentFiles(), (QStringList{a, b}));
    EXPECT_EQ(visibleEntries(*frame), (QStringList{a, b}));
    // And reopens one of them through the document.
    QMenu* recent = frame->menuBar()->actions()[0]->menu()->actions()[3]->menu();
    recent->actions()[2]->trigger();
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Quillan - file script - ") + b);
    EXPECT_EQ(frame->recentFiles(), (QStringList{b, a}));
}

TEST_F(RecentFilesTest, TwoWindowsLoseNoneOfEachOthersEntriesAndAGoneFileLeavesTheList) {
    const QString first = write("first.vbs", "");
    const QString second = write("second.vbs", "");
    ASSERT_TRUE(frame->openScript(first));
    {
        CMainFrame other;
        ASSERT_TRUE(other.openScript(second));
        EXPECT_EQ(other.recentFiles(), (QStringList{second, first}));
    }
    // The first window sees the other's entry when its menu opens.
    EXPECT_EQ(visibleEntries(*frame), (QStringList{second, first}));

    // Choosing a file that was deleted since says so and drops the entry.
    ASSERT_TRUE(QFile::remove(second));
    QMenu* recent = frame->menuBar()->actions()[0]->menu()->actions()[3]->menu();
    recent->actions()[1]->trigger();
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_TRUE(seam.messages[0].text.startsWith(QStringLiteral("Invalid File Handle.")));
    EXPECT_EQ(frame->recentFiles(), (QStringList{first}));
    EXPECT_EQ(reg::getValue(reg::Hive::CurrentUser, kRecentFilesKey, "File1"), first.toStdString());
    EXPECT_FALSE(reg::getValue(reg::Hive::CurrentUser, kRecentFilesKey, "File2"));
}

TEST(RecentFileListTest, AListWrittenByHandIsReadUpToItsFirstGapWithoutRepeatsOrExcess) {
    reg::deleteTree(reg::Hive::CurrentUser, kRecentFilesKey);
    for (int i = 1; i <= 25; ++i)
        reg::setValue(reg::Hive::CurrentUser, kRecentFilesKey, "File" + std::to_string(i), "/s/" + std::to_string(i % 4));
    RecentFileList list(20);
    list.load();
    EXPECT_EQ(list.files(), (QStringList{"/s/1", "/s/2", "/s/3", "/s/0"}));

    reg::setValue(reg::Hive::CurrentUser, kRecentFilesKey, "File3", "");
    list.load();
    EXPECT_EQ(list.files(), (QStringList{"/s/1", "/s/2"}));

    RecentFileList small(3);
    for (const char* path : {"/a", "/b", "/c", "/d", "/b"}) small.add(QString::fromLatin1(path));
    EXPECT_EQ(small.files(), (QStringList{"/b", "/d", "/c"}));
    reg::deleteTree(reg::Hive::CurrentUser, kRecentFilesKey);
}

TEST(RecentFileListTest, ARegistryOutOfReachStillKeepsTheListInMemory) {
    const std::string folder = qtest::makeTempDir("recent");
    const std::string blocker = folder + "/file";
    std::ofstream(blocker) << "not a folder";
    const std::string saved = qtest::registryDir();
    setenv("QUILLAN_REGISTRY_DIR", (blocker + "/registry").c_str(), 1);
    RecentFileList list(20);
    EXPECT_TRUE(FAILED(quillan::ui::openSettingsKey()));
    EXPECT_TRUE(FAILED(list.add(QStringLiteral("/x.vbs"))));
    EXPECT_TRUE(FAILED(list.add(QStringLiteral("/y.vbs"))));
    EXPECT_EQ(list.files(), (QStringList{"/y.vbs", "/x.vbs"}));
    list.remove(QStringLiteral("/x.vbs"));
    EXPECT_EQ(list.files(), (QStringList{"/y.vbs"}));
    setenv("QUILLAN_REGISTRY_DIR", saved.c_str(), 1);
    qtest::removeTree(folder);
}

}  // namespace
