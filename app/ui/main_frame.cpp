#include "app/ui/main_frame.h"

#include "app/core/data_folder.h"
#include "app/ui/about_dialog.h"
#include "app/ui/edit_page.h"
#include "app/ui/form_tab_view.h"
#include "app/ui/graph_page.h"
#include "app/ui/left_pane.h"
#include "app/ui/lock_keys.h"
#include "app/ui/message_box.h"
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

bool isScriptPath(const QString& path) {
    const QString extension = QFileInfo(path).suffix();
    return (extension.size() == 3 && extension.compare(QLatin1String("vbs"), Qt::CaseInsensitive) == 0) ||
           (extension.size() == 2 && extension.compare(QLatin1String("js"), Qt::CaseInsensitive) == 0);
}

LONG editorLanguageOf(const std::u16string& path) {
    return Graf::isVBScriptPath(path) ? xparse::VBScript : xparse::JScript;
}

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
    // Importing snippets comes with the snippet browser.
    edit->command(CEditPage::ImportFunctions)->setEnabled(false);

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

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->addAction(command(ViewToolBar));
    view->addAction(command(ViewStatusBar));

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

// --- Opening and selecting scripts --------------------------------------

bool CMainFrame::openScript(const QString& given) {
    const bool script = isScriptPath(given);
    struct stat info {};
    if (::stat(QFile::encodeName(given).constData(), &info) != 0) {
        const int error = errno;
        tell(this, QStringLiteral("Invalid File Handle. Get Last Error reports %1\n%2: %3")
                       .arg(error)
                       .arg(given, QString::fromLocal8Bit(std::strerror(error))));
        return false;
    }
    if (!script) return false;
    const QString path = QFileInfo(given).absoluteFilePath();
    m_document->addScript(path.toStdU16String());
    addRecentFile(path);
    m_left->selectPage(CLeftPane::ScriptFunctions);
    m_left->refreshLists();
    const int last = static_cast<int>(m_document->scriptPaths().size()) - 1;
    m_left->scriptPage()->setCurrentScript(last);
    selectScript(last);
    m_left->scriptPage()->clearFunctionSelection();
    return true;
}

void CMainFrame::selectScript(int index) {
    const auto& paths = m_document->scriptPaths();
    if (index < 0 || static_cast<std::size_t>(index) >= paths.size()) return;
    const std::u16string path = paths[static_cast<std::size_t>(index)];
    if (path == m_currentPath) return;
    if (!offerToSaveEditor(false)) return;

    m_currentPath = path;
    const LONG language = editorLanguageOf(path);
    m_left->scriptPage()->setCurrentScript(index);
    m_selecting = true;
    m_pendingErrorMark.reset();
    m_document->graf().loadScript(path);
    m_left->refreshLists();
    loadIntoEditor(path, language);
    m_selecting = false;
    if (m_pendingErrorMark) {
        if (const CXparse1* editor = m_form->editor())
            editor->colorizeLine(m_pendingErrorMark->first - 1, m_pendingErrorMark->second, 255);
        m_pendingErrorMark.reset();
    }
    updateTitle(index);
}

void CMainFrame::loadIntoEditor(const std::u16string& path, LONG language) {
    CEditPage* page = m_form->editPage();
    m_form->selectPage(CFormTabView::EditScript);
    page->setLanguage(language);
    const CXparse1* editor = page->editor();
    if (!editor) return;
    QFile file(QString::fromStdU16String(path));
    if (!file.open(QIODevice::ReadOnly)) {
        tell(this, QStringLiteral("Cannot open %1:\n%2").arg(file.fileName(), file.errorString()));
        return;
    }
    const QByteArray bytes = file.readAll();
    const std::u16string text = qrt::decodeText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (text.empty()) {
        editor->setScript(u"");
        m_editorBaseline.clear();
    } else {
        editor->setTypeScript(language);
        editor->setScript(text);
        editor->parse();
        m_editorBaseline = editor->script();
    }
    focusScriptEditor();
}

bool CMainFrame::writeScript(const std::u16string& path, const std::u16string& text) {
    QFile file(QString::fromStdU16String(path));
    const std::string bytes = qrt::encodeUtf8(text);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()) ||
        !file.flush()) {
        // The text is still in the editor: the user must know it was not kept.
        tell(this, QStringLiteral("The script could not be saved to %1:\n%2").arg(file.fileName(), file.errorString()));
        return false;
    }
    return true;
}

bool CMainFrame::offerToSaveEditor(bool withCancel) {
    const CXparse1* editor = m_form->editor();
    if (!editor) return true;
    const std::u16string text = editor->script();
    if (!editor->changed() || text == m_editorBaseline) return true;
    // Text typed before any script was opened has no file yet: it is
    // offered too, unless there is nothing in it.
    if (m_currentPath.empty() && QString::fromStdU16String(text).trimmed().isEmpty()) return true;
    MessageRequest request;
    request.title = programCaption();
    request.text = QStringLiteral("Save changes to the script?");
    request.icon = QMessageBox::Question;
    request.buttons = QMessageBox::Yes | QMessageBox::No;
    if (withCancel) request.buttons |= QMessageBox::Cancel;
    request.defaultButton = QMessageBox::Yes;
    const QMessageBox::StandardButton answer = messageSeam().ask(this, request);
    if (answer == QMessageBox::Yes) {
        std::u16string path = m_currentPath;
        if (path.empty()) {
            bool accepted = false;
            const LONG language = m_form->editPage()->language() == xparse::JScript ? xparse::JScript : xparse::VBScript;
            path = askNewScriptPath(language, accepted).toStdU16String();
            if (!accepted) return !withCancel;
        }
        if (writeScript(path, text)) {
            m_editorBaseline = text;
            statusBar()->showMessage(QStringLiteral("Saved %1").arg(QString::fromStdU16String(path)), 10000);
            return true;
        }
        return !withCancel;
    }
    return answer == QMessageBox::No || !withCancel;
}

// --- Script toolbar --------------------------------------------------------

void CMainFrame::saveScript() {
    const CXparse1* editor = m_form->editor();
    if (!editor) return;
    const std::u16string text = editor->script();
    if (m_currentPath.empty()) {
        // No script yet: the text becomes a new file, which is then opened.
        bool accepted = false;
        const LONG language = m_form->editPage()->language() == xparse::JScript ? xparse::JScript : xparse::VBScript;
        const QString path = askNewScriptPath(language, accepted);
        if (!accepted || path.isEmpty() || !writeScript(path.toStdU16String(), text)) return;
        openScript(path);
        return;
    }
    if (!writeScript(m_currentPath, text)) return;
    m_editorBaseline = text;
    m_document->graf().loadScript(m_currentPath);
    m_left->refreshLists();
}

void CMainFrame::checkScript() {
    const CXparse1* editor = m_form->editor();
    if (!editor || m_currentPath.empty()) return;
    Graf& graf = m_document->graf();
    graf.loadMemScript(editor->script());
    editor->parse();
    LONG line = 0, position = 0;
    std::u16string description;
    if (graf.lastError(line, position, description) == S_OK) editor->colorizeLine(line - 1, position, 255);
    m_left->refreshLists();
}

// --- GrafWindows ---------------------------------------------------------

void CMainFrame::onScriptError(CScriptDriver& host) {
    LONG line = 0, position = 0;
    BSTR description = nullptr;
    if (host.GetLastError(&line, &position, &description) != S_OK) return;
    SysFreeString(description);
    if (line <= 0) return;
    // While a selected script is loading, the editor still shows the one
    // before: the line is marked once the new text is in.
    if (m_selecting) {
        m_pendingErrorMark = std::make_pair(line, position);
        return;
    }
    if (const CXparse1* editor = m_form->editor()) editor->colorizeLine(line - 1, position, 255);
}

void CMainFrame::focusScriptEditor() {
    if (QWidget* editor = m_form->editPage()->editorWidget()) {
        editor->setFocus(Qt::OtherFocusReason);
        editor->update();
    }
}

// --- Commands ------------------------------------------------------------

QString CMainFrame::askNewScriptPath(LONG language, bool& accepted) {
    const bool js = language == xparse::JScript;
    FileRequest request;
    request.title = js ? QStringLiteral("Create JScript file") : QStringLiteral("Create VBScript file");
    request.filter = js ? QStringLiteral("Java Script Files (*.js)") : QStringLiteral("VBasic Script Files (*.vbs)");
    request.defaultSuffix = js ? QStringLiteral("js") : QStringLiteral("vbs");
    request.save = true;
    const QString path = messageSeam().askFileName(this, request);
    accepted = !path.isEmpty();
    return path;
}

void CMainFrame::newScriptFile(LONG language) {
    bool accepted = false;
    const QString path = askNewScriptPath(language, accepted);
    if (!accepted) return;
    // An existing file keeps what it holds.
    QFile file(path);
    if (!file.exists() && !file.open(QIODevice::WriteOnly)) {
        tell(this, QStringLiteral("Cannot create %1:\n%2").arg(path, file.errorString()));
        return;
    }
    file.close();
    m_document->addScript(path.toStdU16String());
    addRecentFile(path);
    m_form->selectPage(CFormTabView::EditScript);
    m_left->selectPage(CLeftPane::ScriptFunctions);
    m_left->refreshLists();
}

void CMainFrame::newScriptDialog() {
    ChoiceRequest choice;
    choice.title = QStringLiteral("Create new script");
    choice.label = QStringLiteral("Programming language");
    choice.items = QStringList{QStringLiteral("Java Script"), QStringLiteral("Visual Basic Script")};
    choice.current = 1;
    const std::optional<int> chosen = messageSeam().askChoice(this, choice);
    if (!chosen) return;
    const LONG language = *chosen == 0 ? xparse::JScript : xparse::VBScript;
    bool accepted = false;
    const QString path = askNewScriptPath(language, accepted);
    if (!accepted) return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        tell(this, QStringLiteral("Cannot create %1:\n%2").arg(path, file.errorString()));
        return;
    }
    file.close();
    m_document->addScript(path.toStdU16String());
    m_lastCreatedName = QString::fromStdU16String(m_document->scriptNames().back());
    m_form->editPage()->setLanguage(language);
    m_left->refreshLists();
}

void CMainFrame::openDialog() {
    FileRequest request;
    request.title = QStringLiteral("Open Script");
    request.filter = QStringLiteral("Scripts (*.js *.vbs);;Java Script Files (*.js);;Visual Basic Script (*.vbs)");
    const QString path = messageSeam().askFileName(this, request);
    if (!path.isEmpty()) openScript(path);
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
