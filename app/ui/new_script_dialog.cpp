#include "app/ui/new_script_dialog.h"

#include "app/ui/message_box.h"
#include "app/ui/xparse_wrapper.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillan::ui {

CNewScript::CNewScript(QWidget* parent)
    : QDialog(parent), m_languages(new QListWidget(this)),
      m_create(new QPushButton(QStringLiteral("Create new script"), this)) {
    setWindowTitle(QStringLiteral("Create new script"));
    m_languages->setObjectName(QStringLiteral("languages"));
    m_languages->addItems({QStringLiteral("Java Script"), QStringLiteral("Visual Basic Script")});
    m_languages->setCurrentRow(1);
    m_languages->setMaximumHeight(m_languages->sizeHintForRow(0) * 3 + 2 * m_languages->frameWidth());
    auto* label = new QLabel(QStringLiteral("Programming language"), this);
    label->setBuddy(m_languages);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_create->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_create);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_languages);
    layout->addLayout(buttons);

    connect(m_create, &QPushButton::clicked, this, &CNewScript::create);
    connect(m_languages, &QListWidget::itemDoubleClicked, this, &CNewScript::create);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CNewScript::create() {
    const bool js = m_languages->currentRow() == 0;
    m_language = js ? xparse::JScript : xparse::VBScript;
    FileRequest request;
    request.title = js ? QStringLiteral("Create JScript file") : QStringLiteral("Create VBScript file");
    request.filter = js ? QStringLiteral("Java Script Files (*.js)") : QStringLiteral("Visual Basic Script Files (*.vbs)");
    request.defaultSuffix = js ? QStringLiteral("js") : QStringLiteral("vbs");
    request.save = true;
    m_path = messageSeam().askFileName(this, request);
    m_title = m_path.isEmpty() ? QString() : QFileInfo(m_path).completeBaseName();
    accept();
}

}  // namespace quillan::ui
