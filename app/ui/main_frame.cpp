#include "app/ui/main_frame.h"

#include "app/core/data_folder.h"
#include "app/ui/about_dialog.h"
#include "app/ui/edit_page.h"
#include "app/ui/form_tab_view.h"
#include "app/ui/graph_page.h"
#include "app/ui/left_pane.h"
#include "app/ui/lock_keys.h"
#include "app/ui/message_box.h"
#include "app/ui/picture_saving.h"
#include "app/ui/script_page.h"
#include "app/ui/window_script_ui.h"
#include "app/ui/xparse_wrapper.h"
#include "runtime/text.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace quillan::ui {
namespace {

const QString kTitleSeparator = QStringLiteral(" - file script - ");

}  // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent), m_document(std::make_unique<CQuillanDoc>()) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(programIcon());
    setAcceptDrops(true);
    m_scriptUi = std::make_unique<WindowScriptUi>(
        this, [this] { focusScriptEditor(); },
        [this](const QString& text) { statusBar()->showMessage(text, 10000); });
    m_previousUi = setScriptUi(m_scriptUi.get());

    m_recent.load();
    createActions();
    createMenus();
    createToolBar();
    createStatusBar();
    m_runGuard = std::make_unique<RunGuard>(this, command(StopScript));
    connect(command(StopScript), &QAction::triggered, this, [this] { m_runGuard->requestStop(); });
    m_scriptUi->setRunGuard(m_runGuard.get());

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_left = new CLeftPane(*m_document, m_splitter);
    m_form = new CFormTabView(m_splitter);
    m_left->setFormView(m_form);
    m_form->setLeftPane(m_left);
    m_splitter->addWidget(m_left);
    m_splitter->addWidget(m_form);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setSizes({std::max(300, m_left->minimumSizeHint().width()), 900});
    setCentralWidget(m_splitter);

    m_form->selectPage(CFormTabView::EditScript);
    m_left->selectPage(CLeftPane::ScriptFunctions);
    // The editor's line numbers are a view setting too.
    if (CEditPage* page = m_form->editPage()) {
        m_viewMenu->addAction(page->lineNumbersCommand());
        m_viewMenu->addAction(page->completionCommand());
        m_viewMenu->addAction(page->smartIndentCommand());
    }
    // So is zooming the graph with the mouse; the graph's menu saves pictures
    // as the Graphics tools page does.
    if (CGraphPage* page = m_form->graphPage()) {
        m_viewMenu->addAction(page->command(CGraphPage::MouseZoom));
        connect(page->command(CGraphPage::SavePicture), &QAction::triggered, this,
                [this] { saveGraphPicture(this, m_document->graf()); });
    }

    CScriptPage* scripts = m_left->scriptPage();
    scripts->setScriptChosen([this](int row) { selectScript(row); });
    scripts->setFunctionChosen([this](const QString& name) {
        m_document->graf().callFunction(name.toStdU16String());
        if (const CXparse1* editor = m_form->editor(); editor && m_form->currentIndex() == CFormTabView::EditScript) {
            editor->goToFunction(u"function", name.toStdU16String());
            if (m_form->editPage()->language() == xparse::VBScript) editor->goToFunction(u"sub", name.toStdU16String());
            focusScriptEditor();
        }
    });
    // "Edit Script" brings the editor forward.
    connect(scripts->editButton(), &QPushButton::clicked, this, [this] {
        m_form->selectPage(CFormTabView::EditScript);
        focusScriptEditor();
    });
    CEditPage* edit = m_form->editPage();
    connect(edit->command(CEditPage::SaveScript), &QAction::triggered, this, [this] { saveScript(); });
    connect(edit->command(CEditPage::CheckScript), &QAction::triggered, this, [this] { checkScript(); });
    connect(edit->command(CEditPage::ImportFunctions), &QAction::triggered, this, [this] { importFunctions(); });

    m_document->graf().setWindows(this);
    m_document->addView(m_form);
    m_document->setOpenScriptHandler([this](std::u16string_view path) {
        openScript(QString::fromStdU16String(std::u16string(path)));
    });
    updateTitle();
}

CMainFrame::~CMainFrame() {
    // The script goes before the windows it draws into and reports to.
    Graf& graf = m_document->graf();
    graf.shutDown();
    graf.setWindows(nullptr);
    m_document->removeView(m_form);
    m_document->setOpenScriptHandler({});
    m_document.reset();
    setScriptUi(m_previousUi);
}

bool CMainFrame::createControls(QString& error) { return m_form->createControls(error); }

QAction* CMainFrame::command(int id) const {
    const auto it = m_commands.find(id);
    return it == m_commands.end() ? nullptr : it->second;
}

QAction* CMainFrame::addCommand(int id, const QString& text, const QKeySequence& shortcut, const QString& statusTip) {
    auto* action = new QAction(text, this);
    action->setData(id);
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    if (!statusTip.isEmpty()) action->setStatusTip(statusTip);
    m_commands[id] = action;
    addAction(action);  // its shortcut works wherever the focus is in the window
    return action;
}

void CMainFrame::createActions() {
    QStyle* s = style();
    addCommand(NewScript, QStringLiteral("&New"), QKeySequence(Qt::CTRL | Qt::Key_N),
               QStringLiteral("Create a new script"))
        ->setIcon(s->standardIcon(QStyle::SP_FileIcon));
    addCommand(OpenScript, QStringLiteral("&Open Script"), QKeySequence(Qt::CTRL | Qt::Key_O),
               QStringLiteral("Open a script, run it and show it in the editor"))
        ->setIcon(s->standardIcon(QStyle::SP_DialogOpenButton));
    addCommand(NewJScript, QStringLiteral("JScript"), {}, QStringLiteral("Create a JScript file"));
    addCommand(NewVBScript, QStringLiteral("VBScript"), {}, QStringLiteral("Create a VBScript file"));
    addCommand(SaveDocument, QStringLiteral("&Save"), QKeySequence(Qt::CTRL | Qt::Key_S),
               QStringLiteral("Save the document"));
    addCommand(Exit, QStringLiteral("E&xit"), {}, QStringLiteral("Quit the application"));
    QAction* toolBar = addCommand(ViewToolBar, QStringLiteral("&Toolbar"), {}, QStringLiteral("Show or hide the toolbar"));
    QAction* statusBarToggle =
        addCommand(ViewStatusBar, QStringLiteral("&Status Bar"), {}, QStringLiteral("Show or hide the status bar"));
    for (QAction* toggle : {toolBar, statusBarToggle}) {
        toggle->setCheckable(true);
        toggle->setChecked(true);
    }
    addCommand(HelpTopics, QStringLiteral("&Help Topics"), {}, QStringLiteral("List Help topics"));
    addCommand(Help, QStringLiteral("Help"), QKeySequence(Qt::Key_F1));
    addCommand(ContextHelp, QStringLiteral("Context Help"), QKeySequence(Qt::SHIFT | Qt::Key_F1));
    addCommand(About, QStringLiteral("&About Quillan..."), {},
               QStringLiteral("Display program information, version number and copyright"))
        ->setIcon(s->standardIcon(QStyle::SP_MessageBoxInformation));
    // Enabled while a script has run for half a second; Escape does the
    // same then (as a shortcut it would take Escape from the editor).
    addCommand(StopScript, QStringLiteral("&Stop Script"), {}, QStringLiteral("Stop the running script (Escape)"))
        ->setIcon(s->standardIcon(QStyle::SP_BrowserStop));
    addCommand(NextPane, QStringLiteral("Next Pane"), QKeySequence(Qt::Key_F6));
    addCommand(PreviousPane, QStringLiteral("Previous Pane"), QKeySequence(Qt::SHIFT | Qt::Key_F6));

    connect(command(NewScript), &QAction::triggered, this, [this] { newScriptDialog(); });
    connect(command(OpenScript), &QAction::triggered, this, [this] { openDialog(); });
    connect(command(NewJScript), &QAction::triggered, this, [this] { newScriptFile(xparse::JScript); });
    connect(command(NewVBScript), &QAction::triggered, this, [this] { newScriptFile(xparse::VBScript); });
    connect(command(SaveDocument), &QAction::triggered, this, [this] { saveDocumentDialog(); });
    connect(command(Exit), &QAction::triggered, this, [this] { close(); });
    connect(toolBar, &QAction::toggled, this, [this](bool on) { m_toolBar->setVisible(on); });
    connect(statusBarToggle, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
    for (int id : {HelpTopics, Help, ContextHelp})
        connect(command(id), &QAction::triggered, this, [this, id] { showHelp(id); });
    connect(command(About), &QAction::triggered, this, [this] { showAbout(); });
    connect(command(NextPane), &QAction::triggered, this, [this] { focusPane(true); });
    connect(command(PreviousPane), &QAction::triggered, this, [this] { focusPane(false); });
}

void CMainFrame::createMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QMenu* newScript = file->addMenu(QStringLiteral("&New Script"));
    newScript->addAction(command(NewJScript));
    newScript->addAction(command(NewVBScript));
    file->addAction(command(OpenScript));
    file->addSeparator();
    m_recentMenu = file->addMenu(QStringLiteral("Recent File"));
    rebuildRecentMenu();
    // Another window of the program may have opened files since.
    connect(m_recentMenu, &QMenu::aboutToShow, this, [this] {
        m_recent.load();
        rebuildRecentMenu();
    });
    file->addSeparator();
    file->addAction(command(Exit));

    m_viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    m_viewMenu->addAction(command(ViewToolBar));
    m_viewMenu->addAction(command(ViewStatusBar));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(command(HelpTopics));
    help->addSeparator();
    help->addAction(command(About));
}

void CMainFrame::createToolBar() {
    m_toolBar = addToolBar(QStringLiteral("Standard"));
    m_toolBar->setObjectName(QStringLiteral("mainToolBar"));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolBar->addAction(command(NewScript));
    m_toolBar->addAction(command(OpenScript));
    m_toolBar->addSeparator();
    m_toolBar->addAction(command(About));
    m_toolBar->addSeparator();
    m_toolBar->addAction(command(StopScript));
    // Hiding the bar by its own menu keeps the View command in step.
    connect(m_toolBar, &QToolBar::visibilityChanged, this, [this](bool visible) {
        if (!isHidden()) command(ViewToolBar)->setChecked(visible);
    });
}

void CMainFrame::createStatusBar() {
    QStatusBar* bar = statusBar();
    bar->showMessage(QStringLiteral("Ready"));
    const char* names[] = {"CAPS", "NUM", "SCRL"};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(QString::fromLatin1(names[i]), bar);
        label->setObjectName(QString::fromLatin1(names[i]));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
        // Until the display tells the states, the panes show their names greyed.
        label->setEnabled(false);
        bar->addPermanentWidget(label);
        m_indicators[i] = label;
    }
    if (!queryLockKeys()) return;  // a display that cannot tell them
    m_lockTimer = new QTimer(this);
    m_lockTimer->setInterval(250);
    connect(m_lockTimer, &QTimer::timeout, this, &CMainFrame::showLockKeys);
    m_lockTimer->start();
    showLockKeys();
}

void CMainFrame::showLockKeys() {
    const std::optional<LockKeys> keys = queryLockKeys();
    if (!keys) return;
    // As on the classic status bar: a pane shows its name while its lock is on.
    const bool on[3] = {keys->caps, keys->num, keys->scroll};
    const char* names[] = {"CAPS", "NUM", "SCRL"};
    for (int i = 0; i < 3; ++i) {
        m_indicators[i]->setEnabled(true);
        m_indicators[i]->setText(on[i] ? QString::fromLatin1(names[i]) : QString());
    }
}

void CMainFrame::rebuildRecentMenu() {
    // The entries are made once and only relabelled: an entry may be the
    // one whose command is running when the list changes.
    if (m_recentActions.empty()) {
        m_recentPlaceholder = m_recentMenu->addAction(QStringLiteral("Recent File"));
        m_recentPlaceholder->setEnabled(false);
        for (int i = 0; i < kMaxRecentFiles; ++i) {
            QAction* action = m_recentMenu->addAction(QString());
            connect(action, &QAction::triggered, this, [this, action] { openRecentFile(action->data().toString()); });
            m_recentActions.push_back(action);
        }
    }
    const QStringList& files = m_recent.files();
    m_recentPlaceholder->setVisible(files.isEmpty());
    for (int i = 0; i < kMaxRecentFiles; ++i) {
        QAction* action = m_recentActions[static_cast<std::size_t>(i)];
        const bool used = i < files.size();
        action->setVisible(used);
        action->setData(used ? files[i] : QString());
        action->setText(used ? QStringLiteral("&%1 %2").arg(i + 1).arg(files[i]) : QString());
    }
}

void CMainFrame::addRecentFile(const QString& path) {
    m_recent.add(path);
    rebuildRecentMenu();
}

void CMainFrame::openRecentFile(const QString& path) {
    if (path.isEmpty()) return;
    m_document->openDocument(path.toStdU16String());
    // A file that is gone (the open reported it) leaves the list.
    if (!QFileInfo::exists(path)) {
        m_recent.remove(path);
        rebuildRecentMenu();
    }
}

// --- Title ---------------------------------------------------------------

void CMainFrame::updateTitle(int index) {
    const auto& paths = m_document->scriptPaths();
    if (paths.empty()) {
        setWindowTitle(programCaption());
        return;
    }
    const std::size_t at = index >= 0 && static_cast<std::size_t>(index) < paths.size() ? static_cast<std::size_t>(index)
                                                                                           : paths.size() - 1;
    setWindowTitle(programCaption() + kTitleSeparator + QString::fromStdU16String(paths[at]));
}

void CMainFrame::saveDocumentDialog() {
    if (m_documentPath.isEmpty()) {
        FileRequest request;
        request.title = QStringLiteral("Save As");
        request.filter = QStringLiteral("Quillan Files (*.qln)");
        request.defaultSuffix = QStringLiteral("qln");
        request.save = true;
        m_documentPath = messageSeam().askFileName(this, request);
        if (m_documentPath.isEmpty()) return;
    }
    const HRESULT hr = m_document->saveDocument(m_documentPath.toStdU16String());
    if (FAILED(hr)) {
        tell(this, QStringLiteral("The document could not be saved to %1.").arg(m_documentPath));
        m_documentPath.clear();
    }
}

void CMainFrame::showHelp(int id) {
    // Context help opens the page about what the right pane shows.
    QString page = QStringLiteral("index.html");
    if (id == ContextHelp)
        page = m_form->currentIndex() == CFormTabView::Graphic ? QStringLiteral("graf.html") : QStringLiteral("editor.html");
    const QString manual = QString::fromStdString(dataFolder()) + QStringLiteral("/help/") + page;
    if (!QFileInfo::exists(manual) || !messageSeam().openUrl(QUrl::fromLocalFile(manual)))
        tell(this, QStringLiteral("Failed to launch help."));
}

void CMainFrame::showAbout() {
    CAboutDlg about(this);
    messageSeam().runDialog(about);
}

void CMainFrame::focusPane(bool) {
    // Two panes: the next one and the previous one are the same.
    QWidget* focus = QApplication::focusWidget();
    const bool inLeft = focus && m_left->isAncestorOf(focus);
    CTabView* target = inLeft ? static_cast<CTabView*>(m_form) : static_cast<CTabView*>(m_left);
    QWidget* page = target->page(target->currentIndex());
    if (!page) return;
    QWidget* widget = target->rememberedFocus(target->currentIndex());
    if (!widget || !widget->isVisible()) widget = page->focusWidget();
    if (!widget || !widget->isVisible()) {
        if (target == m_form && m_form->currentIndex() == CFormTabView::EditScript) widget = m_form->editPage()->editorWidget();
        else {
            for (QWidget* child : page->findChildren<QWidget*>()) {
                if (child->isVisible() && child->isEnabled() && (child->focusPolicy() & Qt::TabFocus)) {
                    widget = child;
                    break;
                }
            }
        }
    }
    if (!widget) widget = target->tabBar();
    widget->setFocus(Qt::ShortcutFocusReason);
}

namespace {

QStringList droppedFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) files << url.toLocalFile();
    }
    return files;
}

}  // namespace

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QStringList files = droppedFiles(event->mimeData());
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    activateWindow();
    for (const QString& file : files) m_document->openDocument(file.toStdU16String());
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Edits not yet saved are offered before they are lost.
    if (!offerToSaveEditor(true)) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

}  // namespace quillan::ui
