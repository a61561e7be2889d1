// The main window: its menus and commands, the title, opening a script (it
// runs and shows in the editor), script errors and the script's dialogs,
// keeping the user's edits, and moving between the panes.
#include "app/tests/ui_support.h"
#include "app/ui/new_script_dialog.h"
#include "app/core/data_folder.h"
#include "app/ui/edit_page.h"
#include "app/ui/form_tab_view.h"
#include "app/ui/graph_page.h"
#include "app/ui/left_pane.h"
#include "app/ui/script_page.h"
#include "app/ui/window_script_ui.h"
#include "app/ui/xparse_wrapper.h"
#include "runtime/object.h"

#include <QAction>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextLayout>
#include <QListWidget>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

namespace {

using quillan::ui::CEditPage;
using quillan::ui::CFormTabView;
using quillan::ui::CLeftPane;
using quillan::ui::CMainFrame;
using quillan::ui::CNewScript;

using MainFrameTest = WindowFixture;

// Whether the editor shows every character of line (from 1) in the error
// colour (the editor draws its colours as layout formats of each line).
bool lineIsRed(CMainFrame& frame, int line) {
    auto* edit = qobject_cast<QPlainTextEdit*>(frame.formView()->editPage()->editorWidget());
    if (!edit) return false;
    const QTextBlock block = edit->document()->findBlockByNumber(line - 1);
    if (!block.isValid() || block.text().isEmpty() || !block.layout()) return false;
    for (int i = 0; i < block.text().size(); ++i) {
        bool red = false;
        for (const QTextLayout::FormatRange& range : block.layout()->formats()) {
            if (i >= range.start && i < range.start + range.length)
                red = range.format.foreground().color() == QColor(255, 0, 0);
        }
        if (!red) return false;
    }
    return true;
}

QStringList menuTexts(const QList<QAction*>& actions) {
    QStringList texts;
    for (QAction* action : actions) texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

TEST_F(MainFrameTest, MenusToolbarsAndStatusBarAreThoseOfTheWorkbench) {
    const QList<QAction*> top = frame->menuBar()->actions();
    ASSERT_EQ(menuTexts(top), (QStringList{"&File", "&View", "&Help"}));
    EXPECT_EQ(menuTexts(top[0]->menu()->actions()),
              (QStringList{"&New Script", "&Open Script", "-", "Recent File", "-", "E&xit"}));
    EXPECT_EQ(menuTexts(top[0]->menu()->actions()[0]->menu()->actions()), (QStringList{"JScript", "VBScript"}));
    EXPECT_EQ(menuTexts(top[1]->menu()->actions()), (QStringList{"&Toolbar", "&Status Bar", "Line &Numbers",
                                                                  "Code &Completion", "Smart &Indent", "&Zoom and Pan with the Mouse"}));
    EXPECT_EQ(menuTexts(top[2]->menu()->actions()), (QStringList{"&Help Topics", "-", "&About Quillan..."}));

    // New, Open, About, and Stop Script for long runs.
    const QList<QAction*> tools = frame->mainToolBar()->actions();
    ASSERT_EQ(tools.size(), 6);
    EXPECT_EQ(tools, (QList<QAction*>{frame->command(CMainFrame::NewScript), frame->command(CMainFrame::OpenScript),
                                      tools[2], frame->command(CMainFrame::About), tools[4],
                                      frame->command(CMainFrame::StopScript)}));
    EXPECT_TRUE(tools[2]->isSeparator());
    EXPECT_TRUE(tools[4]->isSeparator());
    const std::pair<int, QKeySequence> keys[] = {
        {CMainFrame::NewScript, QKeySequence(QStringLiteral("Ctrl+N"))},
        {CMainFrame::OpenScript, QKeySequence(QStringLiteral("Ctrl+O"))},
        {CMainFrame::SaveDocument, QKeySequence(QStringLiteral("Ctrl+S"))},
        {CMainFrame::Help, QKeySequence(QStringLiteral("F1"))},
        {CMainFrame::ContextHelp, QKeySequence(QStringLiteral("Shift+F1"))},
        {CMainFrame::NextPane, QKeySequence(QStringLiteral("F6"))},
        {CMainFrame::PreviousPane, QKeySequence(QStringLiteral("Shift+F6"))},
    };
    for (const auto& [id, key] : keys) EXPECT_EQ(frame->command(id)->shortcut(), key) << id;

    // The editor page's toolbar: three commands with their tooltips.
    CEditPage* edit = frame->formView()->editPage();
    EXPECT_EQ(edit->command(CEditPage::SaveScript)->toolTip(), QStringLiteral("SAVE CURRENT SCRIPT"));
    EXPECT_EQ(edit->command(CEditPage::CheckScript)->toolTip(), QStringLiteral("CHECK SYNTAXIS SCRIPT"));
    EXPECT_EQ(edit->command(CEditPage::ImportFunctions)->toolTip(), QStringLiteral("IMPORT FUNCTIONS"));

    // The View toggles hide and show the bars.
    frame->command(CMainFrame::ViewToolBar)->trigger();
    EXPECT_FALSE(frame->mainToolBar()->isVisible());
    frame->command(CMainFrame::ViewStatusBar)->trigger();
    EXPECT_FALSE(frame->statusBar()->isVisible());
    frame->command(CMainFrame::ViewToolBar)->trigger();
    frame->command(CMainFrame::ViewStatusBar)->trigger();
    EXPECT_TRUE(frame->mainToolBar()->isVisible());
    EXPECT_TRUE(frame->statusBar()->isVisible());
    shot("empty");
}

TEST_F(MainFrameTest, FileCommandsAskForTheirFilesAndActOnTheDocument) {
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    // Ctrl+O: the chosen script opens and runs.
    const QString drawn = write("drawn.vbs", kDrawingScript);
    seam.files = {drawn};
    QTest::keyClick(frame.get(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(seam.fileRequests.size(), 1u);
    EXPECT_FALSE(seam.fileRequests[0].save);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Quillan - file script - ") + drawn);
    EXPECT_EQ(frame->formView()->graphPage()->seriesCount(), 2);

    // File > New Script > VBScript: an existing file keeps its text.
    const QString kept = write("kept.vbs", "' keep me\n");
    seam.files = {kept};
    frame->command(CMainFrame::NewVBScript)->trigger();
    EXPECT_EQ(seam.fileRequests.back().title, QStringLiteral("Create VBScript file"));
    EXPECT_EQ(seam.fileRequests.back().defaultSuffix, QStringLiteral("vbs"));
    EXPECT_TRUE(seam.fileRequests.back().save);
    EXPECT_EQ(read(kept), "' keep me\n");
    ASSERT_EQ(frame->document().scriptPaths().size(), 2u);
    EXPECT_EQ(frame->document().scriptNames().back(), u"kept");
    EXPECT_EQ(frame->leftPane()->scriptPage()->scripts()->count(), 2);

    // Ctrl+N: the "Create new script" dialog, the language first, then the
    // file, which starts empty.
    const QString emptied = write("emptied.js", "var old = 1;\n");
    int rowShown = -1;
    seam.dialogActions.push_back([&](QDialog& dialog) {
        auto& create = dynamic_cast<CNewScript&>(dialog);
        rowShown = create.languages()->currentRow();
        create.languages()->setCurrentRow(0);
        create.createButton()->click();
        return create.result();
    });
    seam.files = {emptied};
    QTest::keyClick(frame.get(), Qt::Key_N, Qt::ControlModifier);
    ASSERT_EQ(seam.dialogs.size(), 1u);
    EXPECT_EQ(seam.dialogs[0].title, QStringLiteral("Create new script"));
    EXPECT_TRUE(seam.dialogs[0].buttons.contains(QStringLiteral("Create new script")));
    EXPECT_EQ(rowShown, 1) << "Visual Basic Script is chosen at first";
    EXPECT_EQ(seam.fileRequests.back().title, QStringLiteral("Create JScript file"));
    EXPECT_EQ(read(emptied), "");
    EXPECT_EQ(frame->document().scriptPaths().size(), 3u);
    EXPECT_EQ(frame->formView()->editPage()->language(), quillan::ui::xparse::JScript);
    // Cancelling either question adds nothing; a double click on a language
    // is the button.
    seam.dialogActions.push_back([](QDialog& dialog) {
        dialog.reject();
        return dialog.result();
    });
    QTest::keyClick(frame.get(), Qt::Key_N, Qt::ControlModifier);
    seam.dialogActions.push_back([](QDialog& dialog) {
        auto& create = dynamic_cast<CNewScript&>(dialog);
        QListWidget* list = create.languages();
        emit list->itemDoubleClicked(list->item(1));
        return create.result();
    });
    seam.files = {QString()};
    QTest::keyClick(frame.get(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(seam.fileRequests.back().title, QStringLiteral("Create VBScript file"));
    EXPECT_EQ(seam.fileRequests.back().filter, QStringLiteral("Visual Basic Script Files (*.vbs)"));
    EXPECT_EQ(frame->document().scriptPaths().size(), 3u);

    // Ctrl+S writes the empty document; the name is asked once.
    const QString document = QString::fromStdString(m_folder + "/work.qln");
    write("work.qln", "old content");
    seam.files = {document};
    const std::size_t asked = seam.fileRequests.size();
    QTest::keyClick(frame.get(), Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(frame.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(seam.fileRequests.size(), asked + 1);
    EXPECT_EQ(read(document), "");
    EXPECT_TRUE(seam.messages.empty()) << seam.allTexts().join('|').toStdString();
}

TEST_F(MainFrameTest, TheTitleFollowsTheSelectedScript) {
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Quillan"));
    const QString first = write("first.vbs", "Graf.CreateSeries\n");
    const QString second = write("second.js", "Graf.CreateSeries();\n");
    ASSERT_TRUE(frame->openScript(first));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Quillan - file script - ") + first);
    ASSERT_TRUE(frame->openScript(second));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Quillan - file script - ") + second);
    // Choosing the first one in the list again brings its path back.
    frame->leftPane()->scriptPage()->scripts()->setCurrentRow(0);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Quillan - file script - ") + first);
    EXPECT_EQ(frame->currentPath(), first.toStdU16String());
}

TEST_F(MainFrameTest, AnOpenedScriptRunsShowsInTheEditorAndListsItsFunctions) {
    const QString path = write("draw.vbs", kDrawingScript);
    ASSERT_TRUE(frame->openScript(path));
    EXPECT_TRUE(seam.messages.empty()) << seam.allTexts().join('|').toStdString();
    EXPECT_EQ(frame->formView()->graphPage()->seriesCount(), 2);

    const quillan::ui::CXparse1* editor = frame->formView()->editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_NE(editor->script().find(u"Graf.AddPointToSeries 0, i, Sin(i / 5)"), std::u16string::npos);
    EXPECT_EQ(frame->formView()->editPage()->language(), quillan::ui::xparse::VBScript);
    EXPECT_FALSE(editor->changed());
    // After the run the editor has the keyboard.
    EXPECT_EQ(frame->focusWidget(), frame->formView()->editPage()->editorWidget());

    quillan::ui::CScriptPage* scripts = frame->leftPane()->scriptPage();
    ASSERT_EQ(scripts->scripts()->count(), 1);
    EXPECT_EQ(scripts->scripts()->currentRow(), 0);
    ASSERT_EQ(scripts->functions()->count(), 1);
    EXPECT_EQ(scripts->functions()->item(0)->text(), QStringLiteral("Again"));
    EXPECT_EQ(scripts->functions()->currentRow(), -1);
    shot("script");

    clickTab(frame->formView(), CFormTabView::Graphic);
    EXPECT_EQ(frame->formView()->currentIndex(), CFormTabView::Graphic);
    EXPECT_TRUE(seam.messages.empty());
    shot("graph");
    // "Edit Script" brings the editor back with the keyboard.
    QTest::mouseClick(scripts->editButton(), Qt::LeftButton);
    EXPECT_EQ(frame->formView()->currentIndex(), CFormTabView::EditScript);
    EXPECT_EQ(frame->focusWidget(), frame->formView()->editPage()->editorWidget());

    // A function chosen in the list runs.
    scripts->functions()->setCurrentRow(0);
    EXPECT_EQ(frame->formView()->graphPage()->seriesCount(), 3);
}

TEST_F(MainFrameTest, OnlyScriptsAreOpenedAndAMissingFileIsReported) {
    ASSERT_TRUE(frame->openScript(write("Mixed.Vbs", "Graf.CreateSeries\n")));
    EXPECT_EQ(frame->formView()->editPage()->language(), quillan::ui::xparse::VBScript);
    EXPECT_EQ(frame->formView()->graphPage()->seriesCount(), 1);

    EXPECT_FALSE(frame->openScript(write("notes.txt", "Graf.CreateSeries\n")));
    EXPECT_TRUE(seam.messages.empty());
    EXPECT_FALSE(frame->openScript(QString::fromStdString(m_folder + "/missing.js")));
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_TRUE(seam.messages[0].text.startsWith(QStringLiteral("Invalid File Handle. Get Last Error reports 2\n")))
        << seam.messages[0].text.toStdString();
    EXPECT_EQ(frame->document().scriptPaths().size(), 1u);

    // The same script twice is listed twice.
    ASSERT_TRUE(frame->openScript(write("again.js", "Graf.CreateSeries();")));
    ASSERT_TRUE(frame->openScript(QString::fromStdString(m_folder + "/again.js")));
    EXPECT_EQ(frame->document().scriptPaths().size(), 3u);
    EXPECT_EQ(frame->recentFiles().size(), 2);
    EXPECT_EQ(frame->recentFiles().front(), QString::fromStdString(m_folder + "/again.js"));
}

TEST_F(MainFrameTest, RecentFilesKeepTheLatestTwentyNewestFirstAndReopenThroughTheDocument) {
    QStringList opened;
    for (int i = 0; i < 22; ++i) {
        opened << write("s" + std::to_string(i) + ".js", "");
        ASSERT_TRUE(frame->openScript(opened.back()));
    }
    ASSERT_EQ(frame->recentFiles().size(), CMainFrame::kMaxRecentFiles);
    EXPECT_EQ(frame->recentFiles().front(), opened[21]);
    EXPECT_EQ(frame->recentFiles().back(), opened[2]);
    ASSERT_TRUE(frame->openScript(opened[10]));
    EXPECT_EQ(frame->recentFiles().front(), opened[10]);
    EXPECT_EQ(frame->recentFiles().size(), CMainFrame::kMaxRecentFiles);
    EXPECT_EQ(frame->recentFiles().count(opened[10]), 1);

    // The menu lists them and reopens the one chosen.
    QMenu* file = frame->menuBar()->actions()[0]->menu();
    QList<QAction*> entries;
    for (QAction* action : file->actions()[3]->menu()->actions()) {
        if (action->isVisible()) entries << action;
    }
    ASSERT_EQ(entries.size(), CMainFrame::kMaxRecentFiles);
    EXPECT_EQ(entries[1]->text(), QStringLiteral("&2 ") + opened[21]);
    entries[1]->trigger();
    EXPECT_EQ(frame->document().scriptPaths().back(), opened[21].toStdU16String());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Quillan - file script - ") + opened[21]);
}

TEST_F(MainFrameTest, AScriptErrorIsShownWithItsSourceDescriptionAndLine) {
    ASSERT_TRUE(frame->openScript(write("broken.vbs", "Dim a\na = 1\na = a / 0\n")));
    ASSERT_EQ(seam.messages.size(), 1u);
    const QString text = seam.messages[0].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("Microsoft VBScript runtime error\n")) ||
                text.contains(QStringLiteral("runtime error")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Division by zero"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Line 3"))) << text.toStdString();
    EXPECT_EQ(seam.messages[0].icon, QMessageBox::Critical);
    // The script is open all the same, for the user to correct it, with the
    // line of the error marked once the editor shows it.
    EXPECT_NE(frame->formView()->editor()->script().find(u"a / 0"), std::u16string::npos);
    EXPECT_TRUE(lineIsRed(*frame, 3));
    EXPECT_FALSE(lineIsRed(*frame, 2));
}

TEST_F(MainFrameTest, CheckingRunsTheEditorsTextAndMarksTheErrorLineWithoutWritingTheFile) {
    // Nothing to check before a script is open.
    frame->formView()->editPage()->command(CEditPage::CheckScript)->trigger();
    EXPECT_TRUE(seam.messages.empty());

    const QString path = write("check.vbs", "Dim a\na = 1\n");
    ASSERT_TRUE(frame->openScript(path));
    QWidget* editor = frame->formView()->editPage()->editorWidget();
    QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(editor, "a = a / 0");
    frame->formView()->editPage()->command(CEditPage::CheckScript)->trigger();
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_TRUE(seam.messages[0].text.contains(QStringLiteral("Line 3"))) << seam.messages[0].text.toStdString();
    EXPECT_TRUE(lineIsRed(*frame, 3));
    EXPECT_EQ(read(path), "Dim a\na = 1\n");
}

TEST_F(MainFrameTest, MsgBoxAndInputBoxAskTheUserWithVBScriptsButtonsAndAnswers) {
    seam.answers = {QMessageBox::No, QMessageBox::Retry};
    seam.texts = {QStringLiteral("2"), QString()};
    ASSERT_TRUE(frame->openScript(write("ask.vbs",
                                        "Dim r, n, i\n"
                                        "r = MsgBox(\"Go on?\", vbYesNo + vbQuestion + vbDefaultButton2, \"Ask\")\n"
                                        "If r = vbNo Then Graf.CreateSeries\n"
                                        "r = MsgBox(\"Again?\", vbAbortRetryIgnore + vbExclamation)\n"
                                        "If r = 4 Then Graf.CreateSeries\n"
                                        "n = InputBox(\"How many?\", \"Count\", \"5\")\n"
                                        "For i = 1 To CInt(n)\n  Graf.CreateSeries\nNext\n"
                                        "n = InputBox(\"And now?\")\n"
                                        "If n = \"\" Then Graf.CreateSeries\n")));
    ASSERT_EQ(seam.messages.size(), 2u) << seam.allTexts().join('|').toStdString();
    const auto& first = seam.messages[0];
    EXPECT_EQ(first.title, QStringLiteral("Ask"));
    EXPECT_EQ(first.text, QStringLiteral("Go on?"));
    EXPECT_EQ(first.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(first.defaultButton, QMessageBox::No);
    EXPECT_EQ(first.icon, QMessageBox::Question);
    const auto& second = seam.messages[1];
    EXPECT_EQ(second.buttons, QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore);
    EXPECT_EQ(second.icon, QMessageBox::Warning);
    EXPECT_EQ(second.title, QStringLiteral("VBScript"));  // the engine's title when the script gives none
    ASSERT_EQ(seam.prompts.size(), 2u);
    EXPECT_EQ(seam.prompts[0].prompt, QStringLiteral("How many?"));
    EXPECT_EQ(seam.prompts[0].title, QStringLiteral("Count"));
    EXPECT_EQ(seam.prompts[0].defaultText, QStringLiteral("5"));
    // No (1) + Retry (1) + two from the input + one for the cancelled input.
    EXPECT_EQ(frame->formView()->graphPage()->seriesCount(), 5);
}

// The message box of a script, straight through the window's script UI: the
// answer when the box is closed without a button, the button sets beyond
// VBScript's, and default buttons that the set does not have.
TEST_F(MainFrameTest, MsgBoxClosedWithoutAButtonAnswersCancelOrItsOnlyButton) {
    quillan::ui::WindowScriptUi ui(frame.get(), {}, {});
    const std::pair<long, long> closed[] = {
        {0, 1}, {1, 2}, {2, 3}, {3, 2}, {4, 6}, {5, 2},
    };
    for (const auto& [buttons, expected] : closed) {
        seam.answers = {QMessageBox::NoButton};
        EXPECT_EQ(ui.messageBox(u"?", u"", buttons), expected) << buttons;
    }
    seam.messages.clear();
    EXPECT_EQ(ui.messageBox(u"odd", u"", 9), 1);  // no such set: OK alone
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_EQ(seam.messages[0].buttons, QMessageBox::Ok);
    seam.messages.clear();
    ui.messageBox(u"third of two", u"", 4 + 512);  // vbYesNo + vbDefaultButton3
    EXPECT_EQ(seam.messages[0].defaultButton, QMessageBox::Yes);
    seam.messages.clear();
    ui.messageBox(u"critical", u"T", 16 + 768);  // vbCritical, a default button beyond the three
    EXPECT_EQ(seam.messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(seam.messages[0].defaultButton, QMessageBox::Ok);
    EXPECT_EQ(seam.messages[0].title, QStringLiteral("T"));
}

TEST_F(MainFrameTest, EditsAreOfferedForSavingBeforeAnotherScriptReplacesThem) {
    const QString first = write("first.vbs", "Graf.CreateSeries\n");
    ASSERT_TRUE(frame->openScript(first));
    QWidget* editor = frame->formView()->editPage()->editorWidget();
    QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(editor, "Graf.CreateSeries");
    seam.answers = {QMessageBox::Yes};
    ASSERT_TRUE(frame->openScript(write("second.vbs", "Graf.CreateSeries\n")));
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_EQ(seam.messages[0].text, QStringLiteral("Save changes to the script?"));
    EXPECT_EQ(seam.messages[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_NE(read(first).find("Graf.CreateSeries\nGraf.CreateSeries"), std::string::npos) << read(first);

    // Choosing the current script again asks nothing and runs nothing.
    seam.messages.clear();
    const long series = frame->formView()->graphPage()->seriesCount();
    frame->selectScript(1);
    EXPECT_TRUE(seam.messages.empty());
    EXPECT_EQ(frame->formView()->graphPage()->seriesCount(), series);

    // Unchanged text is not offered.
    frame->leftPane()->scriptPage()->scripts()->setCurrentRow(0);
    EXPECT_TRUE(seam.messages.empty());
}

TEST_F(MainFrameTest, SavingTheScriptWritesTheEditorsTextAndRunsIt) {
    const QString path = write("grow.vbs", "Graf.CreateSeries\n");
    ASSERT_TRUE(frame->openScript(path));
    ASSERT_EQ(frame->formView()->graphPage()->seriesCount(), 1);
    QWidget* editor = frame->formView()->editPage()->editorWidget();
    QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(editor, "Graf.CreateSeries");
    frame->formView()->editPage()->command(CEditPage::SaveScript)->trigger();
    EXPECT_EQ(read(path), "Graf.CreateSeries\nGraf.CreateSeries");
    // The saved text ran: a run adds to the graph (scripts clear it
    // themselves with Graf.Clear), so the count grows by this run's two.
    EXPECT_EQ(frame->formView()->graphPage()->seriesCount(), 3);
    // Closing asks nothing: the text is saved.
    frame->close();
    EXPECT_TRUE(seam.messages.empty()) << seam.allTexts().join('|').toStdString();
}

TEST_F(MainFrameTest, ClosingWithUnsavedEditsCanBeCancelled) {
    const QString path = write("keep.vbs", "Graf.CreateSeries\n");
    ASSERT_TRUE(frame->openScript(path));
    QTest::keyClicks(frame->formView()->editPage()->editorWidget(), "' note");
    seam.answers = {QMessageBox::Cancel};
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(frame->isVisible());
    seam.answers = {QMessageBox::No};
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(read(path), "Graf.CreateSeries\n");
}

TEST_F(MainFrameTest, TextTypedBeforeAnyScriptIsOfferedForSavingToANewFile) {
    QTest::keyClicks(frame->formView()->editPage()->editorWidget(), "Graf.CreateSeries");
    const QString kept = QString::fromStdString(m_folder + "/typed.vbs");
    seam.answers = {QMessageBox::Cancel, QMessageBox::Yes};
    seam.files = {kept};
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(frame->close());
    ASSERT_EQ(seam.messages.size(), 2u);
    EXPECT_EQ(seam.messages[1].text, QStringLiteral("Save changes to the script?"));
    EXPECT_EQ(read(kept), "Graf.CreateSeries");
}

TEST_F(MainFrameTest, F6MovesTheKeyboardBetweenThePanes) {
    ASSERT_TRUE(frame->openScript(write("f6.vbs", "Sub Go\nEnd Sub\n")));
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QWidget* editor = frame->formView()->editPage()->editorWidget();
    editor->setFocus();
    ASSERT_TRUE(editor->hasFocus());
    QTest::keyClick(editor, Qt::Key_F6);
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    EXPECT_TRUE(frame->leftPane()->isAncestorOf(focus)) << focus->metaObject()->className();
    QTest::keyClick(focus, Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_TRUE(editor->hasFocus());
}

TEST_F(MainFrameTest, AClosedWindowLeavesNoObjectsBehind) {
    // Type information is made once per process: run both languages first.
    ASSERT_TRUE(frame->openScript(write("warm.vbs", kDrawingScript)));
    ASSERT_TRUE(frame->openScript(write("warm.js", "Graf.CreateSeries();")));
    const long before = qrt::liveObjectCount();
    {
        CMainFrame second;
        QString error;
        ASSERT_TRUE(second.createControls(error));
        second.show();
        ASSERT_TRUE(second.openScript(write("second.vbs", kDrawingScript)));
        second.leftPane()->scriptPage()->functions()->setCurrentRow(0);
        ASSERT_TRUE(second.openScript(write("second.js", "function f() { Graf.CreateSeries(); }")));
        EXPECT_EQ(second.formView()->graphPage()->seriesCount(), 3);
    }
    EXPECT_EQ(qrt::liveObjectCount(), before);
}

TEST_F(MainFrameTest, AboutShowsTheIconNameAndVersionWithAnOkButton) {
    const QString version = QApplication::applicationVersion();
    QApplication::setApplicationVersion(QStringLiteral("4.5.6"));
    frame->command(CMainFrame::About)->trigger();
    QApplication::setApplicationVersion(version);
    ASSERT_EQ(seam.dialogs.size(), 1u);
    const RecordingSeam::DialogSeen& about = seam.dialogs[0];
    EXPECT_EQ(about.title, QStringLiteral("About Quillan"));
    EXPECT_TRUE(about.hasPicture);
    EXPECT_EQ(about.texts.mid(0, 2), (QStringList{"Quillan", "Version 4.5.6"}));
    EXPECT_EQ(about.buttons, (QStringList{"OK"}));
    // The icon is the program's own, drawn from the data folder.
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(quillan::dataFolder()) + "/icons/quillan.svg"));
    const QImage look = about.look.toImage();
    bool blue = false;
    for (int y = 0; y < std::min(look.height(), 90) && !blue; ++y)
        for (int x = 0; x < std::min(look.width(), 90) && !blue; ++x) blue = look.pixelColor(x, y) == QColor(0x1f, 0x6f, 0xd1);
    EXPECT_TRUE(blue) << "the icon's blue curve is not drawn";
    if (const QByteArray folder = qgetenv("QUILLAN_UI_SHOTS"); !folder.isEmpty())
        about.look.save(QString::fromLocal8Bit(folder) + QStringLiteral("/about.png"));
}

TEST_F(MainFrameTest, HelpOpensTheManualOfTheDataFolderOrSaysItFailed) {
    const QString help = QString::fromStdString(quillan::dataFolder()) + QStringLiteral("/help/");
    frame->command(CMainFrame::HelpTopics)->trigger();
    QTest::keyClick(frame.get(), Qt::Key_F1);
    ASSERT_EQ(seam.urls.size(), 2u);
    EXPECT_EQ(seam.urls[0], QUrl::fromLocalFile(help + "index.html"));
    EXPECT_EQ(seam.urls[1], QUrl::fromLocalFile(help + "index.html"));
    // Context help: the page about what the right pane shows.
    QTest::keyClick(frame.get(), Qt::Key_F1, Qt::ShiftModifier);
    ASSERT_EQ(seam.urls.size(), 3u);
    EXPECT_EQ(seam.urls[2], QUrl::fromLocalFile(help + "editor.html"));
    EXPECT_TRUE(seam.messages.empty());
    // Every page the manual links to is there.
    for (const char* page : {"index.html", "getting-started.html", "graf.html", "editor.html", "command-line.html"}) {
        EXPECT_TRUE(QFileInfo::exists(help + page)) << page;
        // A look at the page as a simple browser draws it.
        if (const QByteArray folder = qgetenv("QUILLAN_UI_SHOTS"); !folder.isEmpty()) {
            QTextBrowser browser;
            browser.resize(900, 1000);
            browser.setSource(QUrl::fromLocalFile(help + page));
            browser.grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/help-") + page + ".png");
        }
    }

    seam.urlsOpen = false;
    frame->command(CMainFrame::Help)->trigger();
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_EQ(seam.messages[0].text, QStringLiteral("Failed to launch help."));
}

}  // namespace
