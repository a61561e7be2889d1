#include "app/ui/import_dialog.h"

#include "app/core/data_folder.h"
#include "app/ui/message_box.h"
#include "app/ui/snippet_files.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillan::ui {

CImport::CImport(const QString& folder, const QStringList& names, QWidget* parent)
    : QDialog(parent), m_folder(folder), m_names(new QListWidget(this)), m_description(new QPlainTextEdit(this)),
      m_select(new QPushButton(QStringLiteral("Select"), this)) {
    setWindowTitle(QStringLiteral("Functions"));
    m_names->setObjectName(QStringLiteral("snippets"));
    m_description->setObjectName(QStringLiteral("snippetDescription"));
    m_select->setObjectName(QStringLiteral("select"));
    m_names->addItems(names);
    m_description->setReadOnly(true);
    m_description->setMaximumHeight(m_description->fontMetrics().lineSpacing() * 4);
    m_select->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_names, 1);
    layout->addWidget(m_description);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_select);
    layout->addLayout(buttons);
    resize(360, 320);

    connect(m_names, &QListWidget::currentRowChanged, this, [this] { showDescription(); });
    connect(m_names, &QListWidget::itemDoubleClicked, this, [this] { select(); });
    connect(m_select, &QPushButton::clicked, this, [this] { select(); });
}

void CImport::showDescription() {
    m_description->clear();
    const QListWidgetItem* item = m_names->currentItem();
    if (!item) return;
    if (const auto text = readSnippet(snippetPath(m_folder, item->text())))
        m_description->setPlainText(snippetDescription(*text));
}

void CImport::select() {
    const QListWidgetItem* item = m_names->currentItem();
    if (!item || !item->isSelected()) {
        m_result.reset();
        reject();
        return;
    }
    const QString path = snippetPath(m_folder, item->text());
    auto text = readSnippet(path);
    if (!text) {
        // The file went away or cannot be read: say so and let the user
        // choose another.
        tell(this, QStringLiteral("Cannot read the snippet file \"%1\".").arg(QDir::toNativeSeparators(path)));
        return;
    }
    m_result = std::move(*text);
    accept();
}

std::optional<QString> runImportDialog(QWidget* parent, LONG language, const QString& dataFolder) {
    const QString data = dataFolder.isEmpty() ? QString::fromStdString(quillan::dataFolder()) : dataFolder;
    const QString folder = snippetFolder(data, language);
    if (folder.isEmpty()) return std::nullopt;
    CImport dialog(folder, snippetNames(folder), parent);
    messageSeam().runDialog(dialog);
    const std::optional<QString>& text = dialog.snippetText();
    if (!text || text->isEmpty()) return std::nullopt;
    return snippetInsertText(*text, language);
}

}  // namespace quillan::ui
