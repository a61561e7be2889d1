// The script workflow of the main window: opening, creating and selecting
// scripts, loading them into the editor, saving, checking and importing
// snippets.
#include "app/core/script_file.h"
#include "app/ui/assistant_page.h"
#include "app/ui/edit_page.h"
#include "app/ui/form_tab_view.h"
#include "app/ui/import_dialog.h"
#include "app/ui/left_pane.h"
#include "app/ui/main_frame.h"
#include "app/ui/message_box.h"
#include "app/ui/new_script_dialog.h"
#include "app/ui/script_page.h"
#include "app/ui/xparse_wrapper.h"
#include "runtime/bstr.h"

#include <QFile>
#include <QFileInfo>
#include <QStatusBar>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace quillan::ui {
namespace {

bool isScriptPath(const QString& path) {
    const QString extension = QFileInfo(path).suffix();
    return (extension.size() == 3 && extension.compare(QLatin1String("vbs"), Qt::CaseInsensitive) == 0) ||
           (extension.size() == 2 && extension.compare(QLatin1String("js"), Qt::CaseInsensitive) == 0);
}

LONG editorLanguageOf(const std::u16string& path) {
    return Graf::isVBScriptPath(path) ? xparse::VBScript : xparse::JScript;
}

}  // namespace

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
    showAssistantFor(language);
    m_left->scriptPage()->setCurrentScript(index);
    m_selecting = true;
    m_pendingErrorMark.reset();
    m_document->graf().loadScript(path);
    m_left->refreshLists();
    loadIntoEditor(path, language);
    m_selecting = false;
    if (m_pendingErrorMark) {
        if (const CXparse1* editor = m_form->editor()) {
            editor->colorizeLine(m_pendingErrorMark->first - 1, m_pendingErrorMark->second, 255);
            editor->markError(m_pendingErrorMark->first - 1, m_pendingErrorMessage);
        }
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
    ScriptText file;
    QString error;
    if (!readScriptFile(QString::fromStdU16String(path), file, error)) {
        tell(this, QStringLiteral("Cannot open %1:\n%2").arg(QString::fromStdU16String(path), error));
        return;
    }
    m_currentEncoding = file.encoding;
    if (file.text.empty()) {
        editor->setScript(u"");
        m_editorBaseline.clear();
    } else {
        editor->setTypeScript(language);
        editor->setScript(file.text);
        editor->parse();
        m_editorBaseline = editor->script();
    }
    focusScriptEditor();
}

bool CMainFrame::writeScript(const std::u16string& path, const std::u16string& text) {
    // The script shown is written back as it was read; a new file is UTF-8.
    const bool current = path == m_currentPath;
    const QString name = QString::fromStdU16String(path);
    const WriteResult written = writeScriptFile(name, text, current ? m_currentEncoding : TextEncoding::Utf8);
    if (!written.ok) {
        // The text is still in the editor: the user must know it was not kept.
        tell(this, QStringLiteral("The script could not be saved to %1:\n%2").arg(name, written.error));
        return false;
    }
    if (current) m_currentEncoding = written.encoding;
    if (written.changedEncoding) {
        statusBar()->showMessage(QStringLiteral("%1 holds characters Windows-1252 cannot store: it was saved as UTF-8")
                                     .arg(QFileInfo(name).fileName()),
                                 15000);
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
        // No script yet: the text goes into a new script made with the
        // "Create new script" dialog, which is then selected.
        if (!newScriptDialog()) return;
        const std::u16string path = m_document->scriptPaths().back();
        if (!writeScript(path, text)) return;
        m_editorBaseline = text;
        const int last = static_cast<int>(m_document->scriptPaths().size()) - 1;
        selectScript(last);
        m_left->scriptPage()->clearFunctionSelection();
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
    if (graf.lastError(line, position, description) == S_OK) {
        editor->colorizeLine(line - 1, position, 255);
        editor->markError(line - 1, description);
    }
    m_left->refreshLists();
}

void CMainFrame::showAssistantFor(LONG language) {
    CAssistantPage* assistant = m_left->assistantPage();
    if (assistant && assistant->language() != language) assistant->setLanguage(language);
}

void CMainFrame::importFunctions() {
    const CXparse1* editor = m_form->editor();
    const LONG language = m_form->editPage()->language();
    if (!editor || (language != xparse::JScript && language != xparse::VBScript)) return;
    const std::optional<QString> snippet = runImportDialog(this, language);
    if (snippet && !snippet->isEmpty()) editor->scriptAdd(snippet->toStdU16String());
}

// --- GrafWindows ---------------------------------------------------------

void CMainFrame::onScriptError(CScriptDriver& host) {
    LONG line = 0, position = 0;
    BSTR description = nullptr;
    if (host.GetLastError(&line, &position, &description) != S_OK) return;
    const std::u16string message = description ? std::u16string(qrt::bstrView(description)) : std::u16string();
    SysFreeString(description);
    if (line <= 0) return;
    // While a selected script is loading, the editor still shows the one
    // before: the line is marked once the new text is in.
    if (m_selecting) {
        m_pendingErrorMark = std::make_pair(line, position);
        m_pendingErrorMessage = message;
        return;
    }
    if (const CXparse1* editor = m_form->editor()) {
        editor->colorizeLine(line - 1, position, 255);
        editor->markError(line - 1, message);
    }
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

bool CMainFrame::newScriptDialog() {
    CNewScript dialog(this);
    messageSeam().runDialog(dialog);
    if (dialog.title().isEmpty()) return false;
    // The save dialog asked before replacing a file: the new script starts empty.
    QFile file(dialog.path());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        tell(this, QStringLiteral("Cannot create %1:\n%2").arg(dialog.path(), file.errorString()));
        return false;
    }
    file.close();
    m_document->addScript(QFileInfo(dialog.path()).absoluteFilePath().toStdU16String());
    m_lastCreatedName = QString::fromStdU16String(m_document->scriptNames().back());
    m_form->editPage()->setLanguage(dialog.language());
    showAssistantFor(dialog.language());
    m_left->refreshLists();
    return true;
}

void CMainFrame::openDialog() {
    FileRequest request;
    request.title = QStringLiteral("Open Script");
    request.filter = QStringLiteral("Scripts (*.js *.vbs);;Java Script Files (*.js);;Visual Basic Script (*.vbs)");
    const QString path = messageSeam().askFileName(this, request);
    if (!path.isEmpty()) openScript(path);
}

}  // namespace quillan::ui
