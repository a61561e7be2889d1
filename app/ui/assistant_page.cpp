#include "app/ui/assistant_page.h"

#include <QLabel>
#include <QListWidget>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

namespace quillan::ui {
namespace {

// How every description is written: 10-point Courier New, plain, dark blue.
QTextCharFormat descriptionFormat() {
    QTextCharFormat format;
    format.setFontFamilies({QStringLiteral("Courier New")});
    format.setFontPointSize(10);
    format.setFontWeight(QFont::Normal);
    format.setFontItalic(false);
    format.setFontUnderline(false);
    format.setFontStrikeOut(false);
    format.setFontFixedPitch(true);
    format.setForeground(QColor(10, 20, 100));
    return format;
}

}  // namespace

CAssistantPage::CAssistantPage(QWidget* parent)
    : QWidget(parent), m_objects(new QListWidget(this)), m_members(new QListWidget(this)),
      m_description(new QTextEdit(this)), m_resourceFile(AssistantText::defaultResourceFile()) {
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

    connect(m_objects, &QListWidget::currentRowChanged, this, [this] { showMembers(); });
    connect(m_members, &QListWidget::currentRowChanged, this, [this] { showDescription(); });
    setLanguage(2);
}

void CAssistantPage::setLanguage(LONG language) {
    m_language = language;
    m_text = AssistantText::load(m_resourceFile, language);
    m_objects->clear();  // clears the members and the description too
    m_members->clear();
    m_description->clear();
    m_objects->addItems(m_text.objects());
}

void CAssistantPage::showMembers() {
    m_members->clear();
    m_description->clear();
    if (const QListWidgetItem* item = m_objects->currentItem()) m_members->addItems(m_text.members(item->text()));
}

void CAssistantPage::showDescription() {
    const QListWidgetItem* object = m_objects->currentItem();
    const QListWidgetItem* member = m_members->currentItem();
    const QString text = object && member ? m_text.description(object->text(), member->text()) : QString();
    m_description->setPlainText(text);
    // The whole content takes the one format, whatever the box held before.
    QTextCursor cursor(m_description->document());
    cursor.select(QTextCursor::Document);
    cursor.setCharFormat(descriptionFormat());
    m_description->setCurrentCharFormat(descriptionFormat());
}

}  // namespace quillan::ui
