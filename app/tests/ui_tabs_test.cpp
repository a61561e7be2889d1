// The tab views: pages made once and shown or hidden, focus remembered per
// page, the program's own selection, and the rules between the two panes of
// the main window with their messages.
#include "app/tests/ui_support.h"
#include "app/ui/form_tab_view.h"
#include "app/ui/graph_page.h"
#include "app/ui/left_pane.h"
#include "app/ui/script_page.h"
#include "app/ui/tab_view.h"

#include <QLineEdit>
#include <QListWidget>

#include <memory>

namespace {

using quillan::ui::CFormTabView;
using quillan::ui::CLeftPane;
using quillan::ui::CTabView;

// A tab view that refuses the user's clicks on its last page.
class GuardedView final : public CTabView {
public:
    int userSelections = 0;
    int changes = 0;

protected:
    bool acceptUserSelection(int index) override { return index != count() - 1; }
    void userSelected(int) override { ++userSelections; }
    void pageChanged(int, int) override { ++changes; }
};

class TabViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtest::ensureApplication();
        holder = std::make_unique<GuardedView>();  // widgets only once the application exists
        view().resize(400, 300);
        first = new QWidget;
        a = new QLineEdit(first);
        b = new QLineEdit(first);
        b->move(0, 40);
        second = new QLineEdit;
        third = new QWidget;
        ASSERT_EQ(view().addPage(QStringLiteral("One"), first), 0);
        ASSERT_EQ(view().addPage(QStringLiteral("Two"), second), 1);
        ASSERT_EQ(view().addPage(QStringLiteral("Three"), third), 2);
        view().show();
        view().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&view()));
    }
    std::unique_ptr<GuardedView> holder;
    GuardedView& view() { return *holder; }
    QWidget* first = nullptr;
    QLineEdit* a = nullptr;
    QLineEdit* b = nullptr;
    QLineEdit* second = nullptr;
    QWidget* third = nullptr;
};

TEST_F(TabViewTest, PagesAreMadeOnceAndOnlyTheCurrentOneIsShown) {
    EXPECT_EQ(view().addPage(QStringLiteral("Broken"), nullptr), -1);
    EXPECT_EQ(view().count(), 3);
    EXPECT_EQ(view().tabBar()->count(), 3);
    EXPECT_EQ(view().currentIndex(), 0);
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(second->isVisible());
    EXPECT_FALSE(third->isVisible());

    ASSERT_TRUE(view().selectPage(1));
    EXPECT_FALSE(first->isVisible());
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(view().previousIndex(), 0);
    EXPECT_EQ(view().tabBar()->currentIndex(), 1);
    // The page fills the area below the tabs.
    EXPECT_EQ(second->width(), view().width());
    EXPECT_GT(second->height(), view().height() / 2);
    view().selectPage(0);
    EXPECT_EQ(view().page(0), first);
    EXPECT_EQ(view().page(1), second);
}

TEST_F(TabViewTest, TheProgramsSelectionRefusesIndexesBeyondThePagesAndKeepsTheCurrentOne) {
    ASSERT_TRUE(view().selectPage(1));
    EXPECT_FALSE(view().selectPage(3));
    EXPECT_FALSE(view().selectPage(-1));
    EXPECT_EQ(view().currentIndex(), 1);
    const int changes = view().changes;
    EXPECT_TRUE(view().selectPage(1));  // accepted without a change
    EXPECT_EQ(view().changes, changes);
    EXPECT_EQ(view().previousIndex(), 0);
    // The program may select a page the user could not click on.
    EXPECT_TRUE(view().selectPage(2));
    EXPECT_TRUE(third->isVisible());
    EXPECT_EQ(view().userSelections, 0);
}

TEST_F(TabViewTest, TheFocusComesBackToTheWidgetThatHadItOnThePage) {
    b->setFocus();
    ASSERT_TRUE(b->hasFocus());
    view().selectPage(1);
    second->setFocus();
    view().selectPage(0);
    EXPECT_TRUE(b->hasFocus());
    EXPECT_EQ(view().rememberedFocus(1), second);
    view().selectPage(1);
    EXPECT_TRUE(second->hasFocus());
}

TEST_F(TabViewTest, ARefusedClickLeavesPageAndTabAsTheyWere) {
    QTabBar* bar = view().tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    EXPECT_EQ(view().currentIndex(), 1);
    EXPECT_EQ(view().userSelections, 1);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
    EXPECT_EQ(view().currentIndex(), 1);
    EXPECT_EQ(bar->currentIndex(), 1);
    EXPECT_FALSE(third->isVisible());
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(view().userSelections, 1);
}

// --- The rules between the panes of the main window ----------------------

using PaneRulesTest = WindowFixture;

TEST_F(PaneRulesTest, StartsWithTheEditorAndTheScriptLists) {
    EXPECT_EQ(frame->formView()->currentIndex(), CFormTabView::EditScript);
    EXPECT_EQ(frame->leftPane()->currentIndex(), CLeftPane::ScriptFunctions);
    EXPECT_TRUE(seam.messages.empty());
}

TEST_F(PaneRulesTest, AGraphWithoutSeriesKeepsTheEditorAndSaysSo) {
    clickTab(frame->formView(), CFormTabView::Graphic);
    EXPECT_EQ(frame->formView()->currentIndex(), CFormTabView::EditScript);
    EXPECT_EQ(frame->formView()->tabBar()->currentIndex(), CFormTabView::EditScript);
    EXPECT_FALSE(frame->formView()->graphPage()->isVisible());
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_EQ(seam.messages[0].text, QStringLiteral("Graphical data don't exist!"));
    EXPECT_EQ(seam.messages[0].icon, QMessageBox::Warning);
}

TEST_F(PaneRulesTest, GraphToolsNeedTheGraphOnTheRight) {
    clickTab(frame->leftPane(), CLeftPane::Assistant);
    ASSERT_EQ(frame->leftPane()->currentIndex(), CLeftPane::Assistant);
    clickTab(frame->leftPane(), CLeftPane::GraphicsTools);
    // Back on the page before, with the message.
    EXPECT_EQ(frame->leftPane()->currentIndex(), CLeftPane::Assistant);
    EXPECT_EQ(frame->leftPane()->tabBar()->currentIndex(), CLeftPane::Assistant);
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_EQ(seam.messages[0].text, QStringLiteral("Graphic don't exist!"));
    EXPECT_EQ(seam.messages[0].icon, QMessageBox::Warning);
}

TEST_F(PaneRulesTest, WithSeriesTheGraphAndItsToolsOpenAndLeavingTheGraphTakesTheToolsAway) {
    ASSERT_TRUE(frame->openScript(write("draw.vbs", kDrawingScript)));
    ASSERT_EQ(frame->formView()->graphPage()->seriesCount(), 2);
    clickTab(frame->formView(), CFormTabView::Graphic);
    EXPECT_EQ(frame->formView()->currentIndex(), CFormTabView::Graphic);
    EXPECT_TRUE(frame->formView()->graphPage()->isVisible());
    clickTab(frame->leftPane(), CLeftPane::GraphicsTools);
    EXPECT_EQ(frame->leftPane()->currentIndex(), CLeftPane::GraphicsTools);
    EXPECT_TRUE(seam.messages.empty()) << seam.allTexts().join('|').toStdString();
    shot("tools");

    clickTab(frame->formView(), CFormTabView::EditScript);
    EXPECT_EQ(frame->formView()->currentIndex(), CFormTabView::EditScript);
    EXPECT_EQ(frame->leftPane()->currentIndex(), CLeftPane::ScriptFunctions);
    // Leaving the editor for the assistant does not touch the right pane.
    clickTab(frame->leftPane(), CLeftPane::Assistant);
    EXPECT_EQ(frame->formView()->currentIndex(), CFormTabView::EditScript);
}

TEST_F(PaneRulesTest, ChangingTheLeftPageRefreshesTheScriptLists) {
    const QString path = write("later.vbs", "Sub Go\nEnd Sub\n");
    clickTab(frame->leftPane(), CLeftPane::Assistant);
    frame->document().addScript(path.toStdU16String());  // nobody refreshed yet
    QListWidget* scripts = frame->leftPane()->scriptPage()->scripts();
    EXPECT_EQ(scripts->count(), 0);
    clickTab(frame->leftPane(), CLeftPane::ScriptFunctions);
    ASSERT_EQ(scripts->count(), 1);
    EXPECT_EQ(scripts->item(0)->text(), path);
}

TEST_F(PaneRulesTest, TheProgramSelectsPagesWithoutTheRules) {
    EXPECT_TRUE(frame->formView()->selectPage(CFormTabView::Graphic));
    EXPECT_EQ(frame->formView()->currentIndex(), CFormTabView::Graphic);
    EXPECT_TRUE(frame->leftPane()->selectPage(CLeftPane::GraphicsTools));
    EXPECT_FALSE(frame->leftPane()->selectPage(3));
    EXPECT_FALSE(frame->formView()->selectPage(2));
    EXPECT_EQ(frame->leftPane()->currentIndex(), CLeftPane::GraphicsTools);
    EXPECT_TRUE(seam.messages.empty());
}

}  // namespace
