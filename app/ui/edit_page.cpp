#include "app/ui/edit_page.h"

#include "app/ui/assistant_text.h"
#include "app/ui/hosted_control.h"
#include "app/ui/message_box.h"
#include "app/ui/toolbar_layout.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

namespace quillan::ui {

CEditPage::CEditPage(QWidget* parent)
    : QWidget(parent), m_toolBar(new QToolBar(this)), m_host(new qhost::ControlHost(this)) {
    m_toolBar->setObjectName(QStringLiteral("scriptToolBar"));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toolBar->setIconSize(QSize(25, 25));
    m_toolBar->setMovable(false);
    struct Button {
        int id;
        QStyle::StandardPixmap icon;
        const char* text;
    };
    static const Button buttons[] = {
        {SaveScript, QStyle::SP_DialogSaveButton, "SAVE CURRENT SCRIPT"},
        {CheckScript, QStyle::SP_DialogApplyButton, "CHECK SYNTAXIS SCRIPT"},
        {ImportFunctions, QStyle::SP_FileDialogContentsView, "IMPORT FUNCTIONS"},
    };
    for (int i = 0; i < 3; ++i) {
        const Button& button = buttons[i];
        QAction* action = m_toolBar->addAction(style()->standardIcon(button.icon), QString::fromLatin1(button.text));
        action->setToolTip(action->text());
        action->setStatusTip(action->text());
        action->setData(button.id);
        m_commands[i] = action;
    }
    command(ImportFunctions)->setEnabled(false);
    // The arrangement the user made last time.
    m_layout = ToolBarLayout::fromText(readToolBarLayout(kToolBarValue), {SaveScript, CheckScript, ImportFunctions});
    applyLayout(m_toolBar, commands(), m_layout);
    m_lineNumbers = setting(QStringLiteral("Line &Numbers"), "lineNumbers",
                            QStringLiteral("Show or hide the line numbers beside the script"), kLineNumbersValue,
                            &CXparse1::setLineNumbers);
    m_completion = setting(QStringLiteral("Code &Completion"), "completion",
                           QStringLiteral("Offer the members of an object after its name and a dot, and words "
                                          "with Ctrl+Space"),
                           kCompletionValue, &CXparse1::setCompletion);
    m_smartIndent = setting(QStringLiteral("Smart &Indent"), "smartIndent",
                            QStringLiteral("Keep the indentation on Enter; indent and outdent selected lines with "
                                           "Tab and Shift+Tab"),
                            kSmartIndentValue, &CXparse1::setSmartIndent);
    m_toolBar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_toolBar, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        menu.addAction(QStringLiteral("&Customize..."), this, &CEditPage::customizeToolBar);
        menu.addAction(m_lineNumbers);
        menu.addAction(m_completion);
        menu.addAction(m_smartIndent);
        menu.exec(m_toolBar->mapToGlobal(at));
    });
    m_toolBar->installEventFilter(this);
    m_host->setObjectName(QStringLiteral("editor"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_host, 1);
}

CEditPage::~CEditPage() {
    m_wrapper.setControl(nullptr);
    m_host->release();
}

bool CEditPage::createControl(QString& error) {
    if (!createHostedControl(*m_host, u"Lexora.xParse", m_wrapper, error)) return false;
    if (QWidget* window = m_host->controlWindow()) setFocusProxy(focusTarget(window));
    m_wrapper.setLineNumbers(m_lineNumbers->isChecked());
    m_wrapper.setCompletion(m_completion->isChecked());
    m_wrapper.setSmartIndent(m_smartIndent->isChecked());
    return true;
}

QAction* CEditPage::setting(const QString& text, const char* name, const QString& tip, const char* key,
                            HRESULT (CXparse1::*apply)(bool) const) {
    auto* action = new QAction(text, this);
    action->setObjectName(QLatin1String(name));
    action->setStatusTip(tip);
    action->setCheckable(true);
    action->setChecked(readToolBarLayout(key) != QLatin1String("0"));
    connect(action, &QAction::toggled, this, [this, key, apply](bool on) {
        if (editor()) (editor()->*apply)(on);
        writeToolBarLayout(key, on ? QStringLiteral("1") : QStringLiteral("0"));
    });
    return action;
}

void CEditPage::setLineNumbersShown(bool shown) { m_lineNumbers->setChecked(shown); }

QList<QAction*> CEditPage::commands() const { return {m_commands[0], m_commands[1], m_commands[2]}; }

void CEditPage::customizeToolBar() {
    const QList<int> known{SaveScript, CheckScript, ImportFunctions};
    CCustomizeToolBar dialog(commands(), m_layout, ToolBarLayout::fromText({}, known), this);
    if (messageSeam().runDialog(dialog) != QDialog::Accepted) return;
    m_layout = dialog.layout();
    applyLayout(m_toolBar, commands(), m_layout);
    writeToolBarLayout(kToolBarValue, m_layout.toText());
}

bool CEditPage::eventFilter(QObject* watched, QEvent* event) {
    // A double click on the toolbar's free space customizes it.
    if (watched == m_toolBar && event->type() == QEvent::MouseButtonDblClick) {
        customizeToolBar();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QWidget* CEditPage::editorWidget() const { return focusTarget(m_host->controlWindow()); }

QAction* CEditPage::command(int id) const {
    for (QAction* action : m_commands) {
        if (action->data().toInt() == id) return action;
    }
    return nullptr;
}

void CEditPage::setLanguage(LONG language) {
    m_language = language;
    // Snippets exist per language: none to offer before there is one.
    command(ImportFunctions)->setEnabled(language == xparse::JScript || language == xparse::VBScript);
    if (!editor()) return;
    editor()->setTypeScript(language);
    // What completion offers follows the language: the Assistant's members.
    const AssistantText text = AssistantText::load(
        m_assistantFile.isEmpty() ? AssistantText::defaultResourceFile() : m_assistantFile, language);
    editor()->setCompletionList(text.completionList().toStdU16String());
}

}  // namespace quillan::ui
