// The script workflow of the window beyond opening and running: files keep
// their encoding when saved, a failed save keeps the text and says why, text
// without a file is saved through "Create new script", snippets are
// imported, the Assistant follows the language, a chosen VBScript Sub is
// found in the editor, the error line is marked in the editor's margin and
// its line numbers are a setting kept across a restart.
#include "app/tests/ui_support.h"
#include "app/ui/assistant_page.h"
#include "app/ui/edit_page.h"
#include "app/ui/form_tab_view.h"
#include "app/ui/graph_page.h"
#include "app/ui/import_dialog.h"
#include "app/ui/left_pane.h"
#include "app/ui/new_script_dialog.h"
#include "app/ui/script_page.h"
#include "app/ui/toolbar_layout.h"
#include "app/ui/xparse_wrapper.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCompleter>
#include <QHelpEvent>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QToolBar>
#include <QToolTip>

#include <filesystem>

namespace {

using quillan::ui::CEditPage;
using quillan::ui::CMainFrame;
using WorkflowTest = WindowFixture;

QPlainTextEdit* editorOf(CMainFrame& frame) {
    return qobject_cast<QPlainTextEdit*>(frame.formView()->editPage()->editorWidget());
}

// Types at the end of the script; a line feed is the Enter key.
void typeAtEnd(CMainFrame& frame, const QString& text) {
    QPlainTextEdit* edit = editorOf(frame);
    QTest::keyClick(edit, Qt::Key_End, Qt::ControlModifier);
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i) QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClicks(edit, lines[i]);
    }
}

void save(CMainFrame& frame) { frame.formView()->editPage()->command(CEditPage::SaveScript)->trigger(); }

TEST_F(WorkflowTest, SavingKeepsTheEncodingTheFileWasReadIn) {
    // Windows-1252: "é" is the single byte E9; it stays so after an edit.
    const QString latin = write("latin.vbs", "' caf\xE9\nGraf.CreateSeries\n");
    ASSERT_TRUE(frame->openScript(latin));
    EXPECT_NE(frame->formView()->editor()->script().find(u"caf\u00E9"), std::u16string::npos);
    typeAtEnd(*frame, "' more");
    save(*frame);
    EXPECT_EQ(read(latin), "' caf\xE9\nGraf.CreateSeries\n' more");
    EXPECT_TRUE(seam.messages.empty()) << seam.allTexts().join('|').toStdString();

    // A character Windows-1252 has no byte for: the file becomes UTF-8 and
    // the status bar says so; nothing typed is lost.
    // (typed through the input method: key events carry no such letter)
    editorOf(*frame)->insertPlainText(QString::fromUtf8(" \xCE\xB1"));
    save(*frame);
    EXPECT_EQ(read(latin), "' caf\xC3\xA9\nGraf.CreateSeries\n' more \xCE\xB1");
    EXPECT_TRUE(frame->statusBar()->currentMessage().contains(QStringLiteral("UTF-8")))
        << frame->statusBar()->currentMessage().toStdString();

    // UTF-16 with its mark, and UTF-8 with its mark, are written back so.
    const std::string wide("\xFF\xFE" "G\0r\0a\0f\0.\0C\0r\0e\0a\0t\0e\0S\0e\0r\0i\0e\0s\0\n\0", 38);
    const QString utf16 = write("wide.vbs", wide);
    ASSERT_TRUE(frame->openScript(utf16));
    typeAtEnd(*frame, "'");
    save(*frame);
    EXPECT_EQ(read(utf16), wide + std::string("'\0", 2));
    const QString marked = write("marked.js", "\xEF\xBB\xBFGraf.CreateSeries();\n");
    ASSERT_TRUE(frame->openScript(marked));
    typeAtEnd(*frame, "//");
    save(*frame);
    EXPECT_EQ(read(marked), "\xEF\xBB\xBFGraf.CreateSeries();\n//");
}

TEST_F(WorkflowTest, AFailedSaveKeepsTheTextAndSaysWhy) {
    const std::string folder = m_folder + "/gone";
    std::filesystem::create_directory(folder);
    const QString path = QString::fromStdString(folder + "/lost.vbs");
    write("gone/lost.vbs", "Graf.CreateSeries\n");
    ASSERT_TRUE(frame->openScript(path));
    typeAtEnd(*frame, "' typed");
    std::filesystem::remove_all(folder);
    save(*frame);
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_TRUE(seam.messages[0].text.contains(path)) << seam.messages[0].text.toStdString();
    EXPECT_NE(frame->formView()->editor()->script().find(u"' typed"), std::u16string::npos);
    // The edit is still offered when the window closes.
    seam.answers = {QMessageBox::Cancel};
    EXPECT_FALSE(frame->close());
    EXPECT_EQ(seam.messages.back().text, QStringLiteral("Save changes to the script?"));
}

TEST_F(WorkflowTest, TextWithoutAFileIsSavedThroughCreateNewScript) {
    QTest::keyClicks(editorOf(*frame), "Graf.CreateSeries");
    const QString path = QString::fromStdString(m_folder + "/fresh.vbs");
    seam.dialogActions.push_back([](QDialog& dialog) {
        auto& create = dynamic_cast<quillan::ui::CNewScript&>(dialog);
        create.createButton()->click();  // Visual Basic Script, chosen at first
        return create.result();
    });
    seam.files = {path};
    save(*frame);
    ASSERT_EQ(seam.dialogs.size(), 1u);
    EXPECT_EQ(seam.dialogs[0].title, QStringLiteral("Create new script"));
    EXPECT_EQ(read(path), "Graf.CreateSeries");
    // The new script is the current one: it ran and its path is the title.
    EXPECT_EQ(QString::fromStdU16String(frame->currentPath()), path);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Quillan - file script - ") + path);
    EXPECT_EQ(frame->formView()->graphPage()->seriesCount(), 1);
    EXPECT_TRUE(seam.messages.empty()) << seam.allTexts().join('|').toStdString();

    // Cancelling the dialog writes nothing and keeps the text.
    frame->close();
}

TEST_F(WorkflowTest, ImportAppendsTheChosenSnippetOfTheEditorsLanguage) {
    QAction* import = frame->formView()->editPage()->command(CEditPage::ImportFunctions);
    EXPECT_FALSE(import->isEnabled()) << "no language before the first script";
    ASSERT_TRUE(frame->openScript(write("host.vbs", "Graf.CreateSeries\n")));
    EXPECT_TRUE(import->isEnabled());
    QString chosen;
    seam.dialogActions.push_back([&](QDialog& dialog) {
        auto& importer = dynamic_cast<quillan::ui::CImport&>(dialog);
        EXPECT_GE(importer.names()->count(), 8) << "the VBScript snippets";
        importer.names()->setCurrentRow(0);
        chosen = importer.names()->currentItem()->text();
        importer.selectButton()->click();
        return importer.result();
    });
    import->trigger();
    ASSERT_FALSE(chosen.isEmpty());
    const std::u16string text = frame->formView()->editor()->script();
    EXPECT_EQ(text.rfind(u"Graf.CreateSeries\n", 0), 0u) << "the script's own text stays first";
    EXPECT_GT(text.size(), std::u16string(u"Graf.CreateSeries\n").size() + 20);
    EXPECT_TRUE(frame->formView()->editor()->changed());

    // Nothing chosen: nothing added.
    const std::u16string before = frame->formView()->editor()->script();
    seam.dialogActions.push_back([](QDialog& dialog) {
        dialog.reject();
        return dialog.result();
    });
    import->trigger();
    EXPECT_EQ(frame->formView()->editor()->script(), before);
}

TEST_F(WorkflowTest, TheAssistantAndTheFunctionListFollowTheSelectedScript) {
    quillan::ui::CAssistantPage* assistant = frame->leftPane()->assistantPage();
    ASSERT_TRUE(frame->openScript(write("one.js", "Graf.CreateSeries();\nfunction Draw() { Graf.CreateSeries(); }\n")));
    EXPECT_EQ(assistant->language(), quillan::ui::xparse::JScript);
    std::string vbs = "Graf.CreateSeries\nFunction Twice(x)\n  Twice = 2 * x\nEnd Function\n";
    for (int i = 0; i < 100; ++i) vbs += "' filler that pushes Draw out of sight\n";
    vbs += "Sub Draw\n  Graf.CreateSeries\nEnd Sub\n";  // line 105 (from 1)
    for (int i = 0; i < 100; ++i) vbs += "' more below, so that Draw can be the first line shown\n";
    ASSERT_TRUE(frame->openScript(write("two.vbs", vbs)));
    EXPECT_EQ(assistant->language(), quillan::ui::xparse::VBScript);

    // Choosing Draw runs it and scrolls the editor to its Sub line.
    quillan::ui::CScriptPage* scripts = frame->leftPane()->scriptPage();
    const QList<QListWidgetItem*> draw = scripts->functions()->findItems(QStringLiteral("Draw"), Qt::MatchExactly);
    ASSERT_EQ(draw.size(), 1);
    const long series = frame->formView()->graphPage()->seriesCount();
    scripts->functions()->setCurrentItem(draw[0]);
    EXPECT_EQ(frame->formView()->graphPage()->seriesCount(), series + 1);
    EXPECT_EQ(editorOf(*frame)->verticalScrollBar()->value(), 104) << "the first line shown";
}

TEST_F(WorkflowTest, TheScriptToolbarKeepsTheUsersArrangementAcrossARestart) {
    using quillan::ui::ToolBarLayout;
    const auto shownIds = [](const CMainFrame& window) {
        QList<int> ids;
        for (QAction* action : window.formView()->editPage()->toolBar()->actions()) ids << action->data().toInt();
        return ids;
    };
    EXPECT_EQ(shownIds(*frame), (QList<int>{300, 301, 302}));
    int helpMessages = 0;
    seam.dialogActions.push_back([&](QDialog& dialog) {
        auto& customize = dynamic_cast<quillan::ui::CCustomizeToolBar&>(dialog);
        QListWidget* list = customize.list();
        list->item(2)->setCheckState(Qt::Unchecked);  // Import hidden
        list->setCurrentRow(1);
        for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
            if (button->text() == QStringLiteral("Move &Up")) button->click();  // Check first
            if (button->text() == QStringLiteral("&Help")) button->click();
        }
        helpMessages = static_cast<int>(seam.messages.size());
        dialog.accept();
        return dialog.result();
    });
    frame->formView()->editPage()->customizeToolBar();
    EXPECT_EQ(helpMessages, 1);
    ASSERT_FALSE(seam.messages.empty());
    EXPECT_EQ(seam.messages[0].text, QStringLiteral("Help not implemented!"));
    EXPECT_EQ(shownIds(*frame), (QList<int>{301, 300}));
    EXPECT_EQ(quillan::ui::readToolBarLayout(CEditPage::kToolBarValue), QStringLiteral("301,300,-302"));

    // A new window shows the toolbar as it was left.
    frame.reset();
    frame = std::make_unique<CMainFrame>();
    EXPECT_EQ(shownIds(*frame), (QList<int>{301, 300}));

    // Cancelling changes nothing; Reset brings back the first arrangement.
    seam.dialogActions.push_back([](QDialog& dialog) {
        dialog.findChild<QListWidget*>()->item(0)->setCheckState(Qt::Unchecked);
        dialog.reject();
        return dialog.result();
    });
    frame->formView()->editPage()->customizeToolBar();
    EXPECT_EQ(shownIds(*frame), (QList<int>{301, 300}));
    seam.dialogActions.push_back([](QDialog& dialog) {
        for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
            if (button->text() == QStringLiteral("&Reset")) button->click();
        }
        dialog.accept();
        return dialog.result();
    });
    frame->formView()->editPage()->customizeToolBar();
    EXPECT_EQ(shownIds(*frame), (QList<int>{300, 301, 302}));

    // Stored text from elsewhere: unknown, repeated and missing commands.
    const ToolBarLayout odd = ToolBarLayout::fromText(QStringLiteral("302, 999,-300,302,x,"), {300, 301, 302});
    EXPECT_EQ(odd.toText(), QStringLiteral("302,-300,301"));
}

}  // namespace

namespace {

// The tooltip of the editor's margin at the middle of a line (from 1);
// empty when the margin has none there.
QString marginTip(CMainFrame& frame, int line) {
    QPlainTextEdit* edit = editorOf(frame);
    QWidget* margin = edit->findChild<QWidget*>(QStringLiteral("lineMargin"));
    if (!margin) return QStringLiteral("(no margin)");
    QTextCursor at(edit->document()->findBlockByNumber(line - 1));
    const int y = edit->cursorRect(at).center().y();
    QToolTip::hideText();
    QHelpEvent help(QEvent::ToolTip, QPoint(4, y), margin->mapToGlobal(QPoint(4, y)));
    QCoreApplication::sendEvent(margin, &help);
    return help.isAccepted() ? QToolTip::text() : QString();
}

TEST_F(WorkflowTest, TheErrorLineIsMarkedInTheMarginWithTheErrorsMessage) {
    ASSERT_TRUE(frame->openScript(write("fails.vbs", "Dim a\na = 1\na = a / 0\n")));
    const QString tip = marginTip(*frame, 3);
    EXPECT_TRUE(tip.startsWith(QStringLiteral("Error on line 3: "))) << tip.toStdString();
    EXPECT_GT(tip.size(), QStringLiteral("Error on line 3: ").size());
    EXPECT_EQ(marginTip(*frame, 2), QString());

    // Checking a corrected text takes the mark away; a new error brings it back.
    QPlainTextEdit* edit = editorOf(*frame);
    edit->setPlainText(QStringLiteral("Dim a\na = 1\n"));
    frame->formView()->editPage()->command(CEditPage::CheckScript)->trigger();
    EXPECT_EQ(marginTip(*frame, 3), QString());
    typeAtEnd(*frame, QStringLiteral("a = a / 0"));
    frame->formView()->editPage()->command(CEditPage::CheckScript)->trigger();
    EXPECT_EQ(marginTip(*frame, 3), tip);
    QToolTip::hideText();
}

TEST_F(WorkflowTest, LineNumbersCanBeTurnedOffAndStayOffAcrossARestart) {
    const auto marginWidth = [](CMainFrame& window) {
        QPlainTextEdit* edit = editorOf(window);
        QWidget* margin = edit ? edit->findChild<QWidget*>(QStringLiteral("lineMargin")) : nullptr;
        if (!margin) return -1;
        return margin->isVisibleTo(edit) ? margin->width() : 0;
    };
    const QString path = write("numbered.vbs", "Dim a\na = 1\n");
    ASSERT_TRUE(frame->openScript(path));
    QAction* lineNumbers = frame->formView()->editPage()->lineNumbersCommand();
    EXPECT_TRUE(lineNumbers->isChecked());
    EXPECT_GT(marginWidth(*frame), 0);
    lineNumbers->trigger();
    EXPECT_EQ(marginWidth(*frame), 0);
    EXPECT_EQ(quillan::ui::readToolBarLayout(CEditPage::kLineNumbersValue), QStringLiteral("0"));

    frame.reset();
    frame = std::make_unique<CMainFrame>();
    QString error;
    ASSERT_TRUE(frame->createControls(error)) << error.toStdString();
    ASSERT_TRUE(frame->openScript(path));
    EXPECT_FALSE(frame->formView()->editPage()->lineNumbersCommand()->isChecked());
    EXPECT_EQ(marginWidth(*frame), 0);
    frame->formView()->editPage()->lineNumbersCommand()->trigger();
    EXPECT_GT(marginWidth(*frame), 0);
    // The command is in the View menu too.
    bool inViewMenu = false;
    for (QAction* menu : frame->menuBar()->actions())
        if (menu->menu() && menu->menu()->actions().contains(frame->formView()->editPage()->lineNumbersCommand()))
            inViewMenu = menu->text() == QStringLiteral("&View");
    EXPECT_TRUE(inViewMenu);
}

// Completion offers what the Assistant describes, in the script's
// language, and can be turned off for good; smart indenting likewise.
TEST_F(WorkflowTest, CompletionOffersTheAssistantsMembersAndBothEditingAidsCanBeTurnedOff) {
    const QString path = write("complete.vbs", "Graf.CreateSeries\n");
    ASSERT_TRUE(frame->openScript(path));
    const auto offered = [this](const QString& typed) {
        typeAtEnd(*frame, typed);
        QStringList out;
        auto* completer = editorOf(*frame)->findChild<QCompleter*>();
        if (!completer || !completer->popup()->isVisible()) return out;
        for (int row = 0; row < completer->popup()->model()->rowCount(); ++row)
            out << completer->popup()->model()->index(row, 0).data().toString();
        completer->popup()->hide();
        return out;
    };
    const QStringList graf = offered(QStringLiteral("\nGraf."));
    EXPECT_TRUE(graf.contains(QStringLiteral("AddPointToSeries series, x, y"))) << graf.join(u'|').toStdString();
    EXPECT_EQ(graf.size(), 34);
    typeAtEnd(*frame, QStringLiteral("\nSet fso = CreateObject(\"Scripting.FileSystemObject\")"));
    const QStringList fso = offered(QStringLiteral("\nfso."));
    EXPECT_TRUE(fso.contains(QStringLiteral("OpenTextFile path, mode, create, format")) ||
                std::any_of(fso.begin(), fso.end(), [](const QString& s) { return s.startsWith("OpenTextFile"); }))
        << fso.join(u'|').toStdString();

    CEditPage* page = frame->formView()->editPage();
    EXPECT_TRUE(page->completionCommand()->isChecked());
    EXPECT_TRUE(page->smartIndentCommand()->isChecked());
    page->completionCommand()->trigger();
    page->smartIndentCommand()->trigger();
    EXPECT_TRUE(offered(QStringLiteral("\nGraf.")).isEmpty());
    EXPECT_EQ(quillan::ui::readToolBarLayout(CEditPage::kCompletionValue), QStringLiteral("0"));
    EXPECT_EQ(quillan::ui::readToolBarLayout(CEditPage::kSmartIndentValue), QStringLiteral("0"));

    frame.reset();
    frame = std::make_unique<CMainFrame>();
    QString error;
    ASSERT_TRUE(frame->createControls(error)) << error.toStdString();
    ASSERT_TRUE(frame->openScript(path));
    EXPECT_FALSE(frame->formView()->editPage()->completionCommand()->isChecked());
    EXPECT_TRUE(offered(QStringLiteral("\nGraf.")).isEmpty());
    frame->formView()->editPage()->completionCommand()->trigger();
    EXPECT_FALSE(offered(QStringLiteral("\nGraf.")).isEmpty());
}

}  // namespace
