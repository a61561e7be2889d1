#include "app/ui/assistant_page.h"

#include <QLabel>
#include <QListWidget>
#include <QTextEdit>
#include <QVBoxLayout>

namespace quillan::ui {

CAssistantPage::CAssistantPage(QWidget* parent)
    : QWidget(parent), m_objects(new QListWidget(this)), m_members(new QListWidget(this)),
      m_description(new QTextEdit(this)) {
    m_objects->setObjectName(QStringLiteral("objects"));
    m_members->setObjectName(QStringLiteral("members"));
    m_description->setObjectName(QStringLiteral("description"));
    m_description->setReadOnly(true);
    m_description->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* layout = new QVBoxLayout(this);
    auto* objectsLabel = new QLabel(QStringLiteral("Objects"), this);
    auto* membersLabel = new QLabel(QStringLiteral("Methods and properties"), this);
    objectsLabel->setBuddy(m_objects);
    membersLabel->setBuddy(m_members);
    layout->addWidget(objectsLabel);
    layout->addWidget(m_objects, 2);
    layout->addWidget(membersLabel);
    layout->addWidget(m_members, 2);
    layout->addWidget(m_description, 1);
}

}  // namespace quillan::ui
