#include "app/ui/toolbar_layout.h"

#include "app/ui/message_box.h"
#include "app/ui/recent_files.h"
#include "runtime/registry.h"

#include <QAction>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QToolBar>
#include <QVBoxLayout>

namespace quillan::ui {

QString ToolBarLayout::toText() const {
    QStringList parts;
    for (const Entry& entry : entries) parts << (entry.shown ? QString() : QStringLiteral("-")) + QString::number(entry.id);
    return parts.join(QLatin1Char(','));
}

ToolBarLayout ToolBarLayout::fromText(const QString& text, const QList<int>& known) {
    ToolBarLayout layout;
    QList<int> seen;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        QString item = part.trimmed();
        const bool hidden = item.startsWith(QLatin1Char('-'));
        if (hidden) item.remove(0, 1);
        bool number = false;
        const int id = item.toInt(&number);
        if (!number || !known.contains(id) || seen.contains(id)) continue;
        seen << id;
        layout.entries.push_back({id, !hidden});
    }
    for (const int id : known) {
        if (!seen.contains(id)) layout.entries.push_back({id, true});
    }
    return layout;
}

void applyLayout(QToolBar* toolBar, const QList<QAction*>& commands, const ToolBarLayout& layout) {
    toolBar->clear();
    for (const ToolBarLayout::Entry& entry : layout.entries) {
        if (!entry.shown) continue;
        for (QAction* action : commands) {
            if (action->data().toInt() == entry.id) toolBar->addAction(action);
        }
    }
}

QString readToolBarLayout(const char* valueName) {
    const qrt::registry::Key root = qrt::registry::load(qrt::registry::Hive::CurrentUser);
    const qrt::registry::Key* key = root.find(kSettingsKey);
    if (!key) return {};
    const std::optional<std::string> value = key->value(valueName);
    return value ? QString::fromStdString(*value) : QString();
}

bool writeToolBarLayout(const char* valueName, const QString& text) {
    const HRESULT hr = qrt::registry::transact(qrt::registry::Hive::CurrentUser, [&](qrt::registry::Key& root) {
        root.create(kSettingsKey).setValue(valueName, text.toStdString());
        return S_OK;
    });
    return SUCCEEDED(hr);
}

CCustomizeToolBar::CCustomizeToolBar(const QList<QAction*>& commands, const ToolBarLayout& layout,
                                     const ToolBarLayout& original, QWidget* parent)
    : QDialog(parent), m_commands(commands), m_original(original), m_list(new QListWidget(this)) {
    setWindowTitle(QStringLiteral("Customize Toolbar"));
    m_list->setObjectName(QStringLiteral("buttons"));
    fill(layout);
    auto* up = new QPushButton(QStringLiteral("Move &Up"), this);
    auto* down = new QPushButton(QStringLiteral("Move &Down"), this);
    auto* reset = new QPushButton(QStringLiteral("&Reset"), this);
    auto* help = new QPushButton(QStringLiteral("&Help"), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setDefault(true);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {close, reset, help, up, down}) buttons->addWidget(button);
    buttons->addStretch(1);
    auto* layoutBox = new QHBoxLayout(this);
    layoutBox->addWidget(m_list, 1);
    layoutBox->addLayout(buttons);
    connect(up, &QPushButton::clicked, this, [this] { move(-1); });
    connect(down, &QPushButton::clicked, this, [this] { move(1); });
    connect(reset, &QPushButton::clicked, this, [this] { fill(m_original); });
    connect(help, &QPushButton::clicked, this,
            [this] { tell(this, QStringLiteral("Help not implemented!"), QMessageBox::Information); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void CCustomizeToolBar::fill(const ToolBarLayout& layout) {
    m_list->clear();
    for (const ToolBarLayout::Entry& entry : layout.entries) {
        for (QAction* action : m_commands) {
            if (action->data().toInt() != entry.id) continue;
            auto* item = new QListWidgetItem(action->icon(), action->text(), m_list);
            item->setData(Qt::UserRole, entry.id);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(entry.shown ? Qt::Checked : Qt::Unchecked);
        }
    }
    m_list->setCurrentRow(0);
}

void CCustomizeToolBar::move(int step) {
    const int row = m_list->currentRow();
    const int target = row + step;
    if (row < 0 || target < 0 || target >= m_list->count()) return;
    QListWidgetItem* item = m_list->takeItem(row);
    m_list->insertItem(target, item);
    m_list->setCurrentRow(target);
}

ToolBarLayout CCustomizeToolBar::layout() const {
    ToolBarLayout result;
    for (int i = 0; i < m_list->count(); ++i) {
        const QListWidgetItem* item = m_list->item(i);
        result.entries.push_back({item->data(Qt::UserRole).toInt(), item->checkState() == Qt::Checked});
    }
    return result;
}

}  // namespace quillan::ui
