#include "app/ui/window_script_ui.h"

#include "app/ui/message_box.h"

#include <QFileInfo>

namespace quillan::ui {
namespace {

// MsgBox's button sets (the low four bits of its flags), their buttons in
// order, and VBScript's codes of those buttons.
struct ButtonSet {
    QMessageBox::StandardButton buttons[3];
};
constexpr ButtonSet kButtonSets[] = {
    {{QMessageBox::Ok, QMessageBox::NoButton, QMessageBox::NoButton}},
    {{QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::NoButton}},
    {{QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore}},
    {{QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}},
    {{QMessageBox::Yes, QMessageBox::No, QMessageBox::NoButton}},
    {{QMessageBox::Retry, QMessageBox::Cancel, QMessageBox::NoButton}},
};

long codeOf(QMessageBox::StandardButton button) {
    switch (button) {
    case QMessageBox::Ok: return 1;
    case QMessageBox::Cancel: return 2;
    case QMessageBox::Abort: return 3;
    case QMessageBox::Retry: return 4;
    case QMessageBox::Ignore: return 5;
    case QMessageBox::Yes: return 6;
    case QMessageBox::No: return 7;
    default: return 0;
    }
}

QMessageBox::Icon iconOf(long flags) {
    switch (flags & 0x70) {
    case 16: return QMessageBox::Critical;     // vbCritical
    case 32: return QMessageBox::Question;     // vbQuestion
    case 48: return QMessageBox::Warning;      // vbExclamation
    case 64: return QMessageBox::Information;  // vbInformation
    default: return QMessageBox::NoIcon;
    }
}

}  // namespace

WindowScriptUi::WindowScriptUi(QWidget* parent, std::function<void()> focusEditor,
                               std::function<void(const QString&)> warn)
    : m_parent(parent), m_focusEditor(std::move(focusEditor)), m_warn(std::move(warn)) {}

QString WindowScriptUi::errorText(const ScriptErrorReport& report) {
    QString text = QString::fromStdU16String(report.source) + QLatin1Char('\n') +
                   QString::fromStdU16String(report.description);
    if (report.line > 0) {
        text += QStringLiteral("\n\nLine %1, character %2").arg(report.line).arg(report.position + 1);
        if (!report.file.empty())
            text += QStringLiteral(" of %1").arg(QFileInfo(QString::fromStdU16String(report.file)).fileName());
    }
    return text;
}

void WindowScriptUi::showScriptError(const ScriptErrorReport& report) {
    MessageRequest request;
    request.title = programCaption();
    request.text = errorText(report);
    request.icon = QMessageBox::Critical;
    messageSeam().ask(m_parent, request);
}

void WindowScriptUi::showScriptWarning(const ScriptWarning& warning) {
    QString text = QString::fromStdU16String(warning.text);
    if (warning.line > 0) text = QStringLiteral("Line %1: %2").arg(warning.line).arg(text);
    if (m_warn) m_warn(text);
}

void WindowScriptUi::focusScriptEditor() {
    if (m_focusEditor) m_focusEditor();
}

long WindowScriptUi::messageBox(const std::u16string& text, const std::u16string& title, long buttons) {
    const long setIndex = buttons & 0xF;
    const ButtonSet& set = kButtonSets[setIndex < 6 ? setIndex : 0];
    MessageRequest request;
    request.title = title.empty() ? programCaption() : QString::fromStdU16String(title);
    request.text = QString::fromStdU16String(text);
    request.icon = iconOf(buttons);
    request.buttons = QMessageBox::NoButton;
    for (QMessageBox::StandardButton button : set.buttons) request.buttons |= button;
    // vbDefaultButton2 and 3 choose the second or third button, when there is one.
    const long defaultIndex = (buttons >> 8) & 0x3;
    request.defaultButton = set.buttons[0];
    if (defaultIndex < 3 && set.buttons[defaultIndex] != QMessageBox::NoButton)
        request.defaultButton = set.buttons[defaultIndex];
    const long code = codeOf(messageSeam().ask(m_parent, request));
    if (code != 0) return code;
    // Closed without a button: Cancel where there is one, else the first button.
    for (QMessageBox::StandardButton button : set.buttons) {
        if (button == QMessageBox::Cancel) return 2;
    }
    return codeOf(set.buttons[0]);
}

std::optional<std::u16string> WindowScriptUi::inputBox(const std::u16string& prompt, const std::u16string& title,
                                                       const std::u16string& defaultText) {
    TextRequest request;
    request.title = title.empty() ? programCaption() : QString::fromStdU16String(title);
    request.prompt = QString::fromStdU16String(prompt);
    request.defaultText = QString::fromStdU16String(defaultText);
    const std::optional<QString> answer = messageSeam().askText(m_parent, request);
    if (!answer) return std::nullopt;
    return answer->toStdU16String();
}

void WindowScriptUi::scriptRunStarted() {
    if (m_runGuard) m_runGuard->runStarted();
}

void WindowScriptUi::scriptRunEnded() {
    if (m_runGuard) m_runGuard->runEnded();
}

bool WindowScriptUi::queryContinue() { return !m_runGuard || m_runGuard->queryContinue(); }

}  // namespace quillan::ui
