#include "app/ui/edit_page.h"

#include "app/ui/hosted_control.h"

#include <QAction>
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
    return true;
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
    if (editor()) editor()->setTypeScript(language);
}

}  // namespace quillan::ui
