// CMainFrame: the main window. It holds the document, the menu, the main
// toolbar and the status bar, and splits its area into the left pane (tools,
// scripts, assistant) and the right pane (graph, editor). It routes the
// commands, opens scripts into the document, runs the selected one and
// shows it in the editor, and keeps the title in step with it.
#pragma once

#include "app/core/document.h"
#include "app/core/graf.h"
#include "app/core/script_file.h"
#include "app/ui/recent_files.h"

#include <QMainWindow>
#include <QStringList>
#include <QTimer>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QMenu;
class QSplitter;
class QDragEnterEvent;
class QDropEvent;
class QToolBar;

namespace quillan::ui {

class CFormTabView;
class CLeftPane;
class CTabView;
class RunGuard;
class WindowScriptUi;

class CMainFrame : public QMainWindow, public GrafWindows {
public:
    // Command numbers.
    enum Command {
        NewScript = 57600, OpenScript = 57601, SaveDocument = 57603, RecentFile = 57616, About = 57664,
        Exit = 57665, HelpTopics = 57667, ContextHelp = 57669, Help = 57670, NewJScript = 182,
        NewVBScript = 183, ViewToolBar = 59392, ViewStatusBar = 59393, NextPane = 59440, PreviousPane = 59441,
        StopScript = 32900,
    };
    static constexpr int kMaxRecentFiles = 20;

    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Creates the graph and editor controls; false with the reason when
    // they cannot be made (the window is then of no use).
    bool createControls(QString& error);

    CQuillanDoc& document() const { return *m_document; }
    CLeftPane* leftPane() const { return m_left; }
    CFormTabView* formView() const { return m_form; }
    QSplitter* splitter() const { return m_splitter; }
    QToolBar* mainToolBar() const { return m_toolBar; }
    QAction* command(int id) const;
    RunGuard* runGuard() const { return m_runGuard.get(); }
    // The recent files, newest first, as the registry keeps them.
    const QStringList& recentFiles() const { return m_recent.files(); }

    // The open-script operation: a ".vbs" or ".js" file is added to the
    // document, selected, run and shown in the editor. Other files are
    // ignored; a missing file is reported. True when a script was added.
    bool openScript(const QString& path);
    // Selects the document's script at index: runs it, loads it into the
    // editor and updates the title. The current script again does nothing.
    void selectScript(int index);
    // The title for the script at index (the last one when out of range).
    void updateTitle(int index = -1);
    // The path of the script shown in the editor; empty before the first.
    const std::u16string& currentPath() const { return m_currentPath; }

    // The toolbar commands of the editor page.
    void saveScript();
    void checkScript();
    // Inserts a snippet of the editor's language at the end of its text.
    void importFunctions();

    // GrafWindows
    void onScriptError(CScriptDriver& host) override;
    void focusScriptEditor() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Files dropped on the window are opened as the Open command opens them.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void showLockKeys();
    QAction* addCommand(int id, const QString& text, const QKeySequence& shortcut = {},
                        const QString& statusTip = {});
    void rebuildRecentMenu();
    void addRecentFile(const QString& path);
    void openRecentFile(const QString& path);

    // The "Create new script" dialog; true when it added a script.
    bool newScriptDialog();
    // The Assistant lists the objects and members of the language.
    void showAssistantFor(LONG language);
    void newScriptFile(LONG language);
    QString askNewScriptPath(LONG language, bool& accepted);
    void openDialog();
    void saveDocumentDialog();
    void showHelp(int id);
    void showAbout();
    void focusPane(bool forward);
    void loadIntoEditor(const std::u16string& path, LONG language);
    // Asks whether to keep the editor's changes; false when the user cancels.
    bool offerToSaveEditor(bool withCancel);
    bool writeScript(const std::u16string& path, const std::u16string& text);

    std::unique_ptr<CQuillanDoc> m_document;
    std::unique_ptr<WindowScriptUi> m_scriptUi;
    // Keeps the window painted and offers Stop while a script runs long.
    std::unique_ptr<RunGuard> m_runGuard;
    ScriptUi* m_previousUi = nullptr;
    QSplitter* m_splitter = nullptr;
    CLeftPane* m_left = nullptr;
    CFormTabView* m_form = nullptr;
    QToolBar* m_toolBar = nullptr;
    QMenu* m_recentMenu = nullptr;
    QMenu* m_viewMenu = nullptr;
    QAction* m_recentPlaceholder = nullptr;
    std::vector<QAction*> m_recentActions;  // RecentFile + index
    QLabel* m_indicators[3] = {};
    QTimer* m_lockTimer = nullptr;  // follows the keyboard's lock states
    std::map<int, QAction*> m_commands;
    RecentFileList m_recent{kMaxRecentFiles};
    QString m_documentPath;
    QString m_lastCreatedName;  // short name of the script last made with "New"

    std::u16string m_currentPath;
    TextEncoding m_currentEncoding = TextEncoding::Utf8;  // how the current script's file is written
    // The editor's text as its file holds it: a change only counts when the
    // text differs from this.
    std::u16string m_editorBaseline;
    // Set while a selected script runs and is loaded into the editor: an
    // error of that run is marked once the editor shows the script.
    bool m_selecting = false;
    std::optional<std::pair<LONG, LONG>> m_pendingErrorMark;  // line (from 1), position
    std::u16string m_pendingErrorMessage;                     // shown by the margin's error mark
};

}  // namespace quillan::ui
