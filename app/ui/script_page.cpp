#include "app/ui/script_page.h"

#include "app/core/document.h"
#include "runtime/safearray.h"
#include "runtime/bstr.h"
#include "runtime/variant.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

namespace quillan::ui {

CScriptPage::CScriptPage(CQuillanDoc& document, QWidget* parent)
    : QWidget(parent),
      m_document(document),
      m_scripts(new QListWidget(this)),
      m_shortNames(new QCheckBox(QStringLiteral("Short name"), this)),
      m_functions(new QListWidget(this)),
      m_edit(new QPushButton(QStringLiteral("Edit Script"), this)) {
    m_scripts->setObjectName(QStringLiteral("scripts"));
    m_functions->setObjectName(QStringLiteral("functions"));
    m_shortNames->setObjectName(QStringLiteral("shortName"));
    m_edit->setObjectName(QStringLiteral("editScript"));
    auto* scriptsLabel = new QLabel(QStringLiteral("Loading Scripts"), this);
    auto* functionsLabel = new QLabel(QStringLiteral("Functions"), this);
    scriptsLabel->setBuddy(m_scripts);
    functionsLabel->setBuddy(m_functions);

    auto* layout = new QGridLayout(this);
    layout->addWidget(scriptsLabel, 0, 0);
    layout->addWidget(m_shortNames, 0, 1, Qt::AlignRight);
    layout->addWidget(m_scripts, 1, 0, 1, 2);
    layout->addWidget(functionsLabel, 2, 0, 1, 2);
    layout->addWidget(m_functions, 3, 0, 1, 2);
    layout->addWidget(m_edit, 4, 0, 1, 2, Qt::AlignLeft);
    layout->setRowStretch(1, 1);
    layout->setRowStretch(3, 2);

    connect(m_shortNames, &QCheckBox::toggled, this, [this] { fillScripts(); });
    connect(m_scripts, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && m_scriptChosen) m_scriptChosen(row);
    });
    connect(m_functions, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && m_functionChosen) m_functionChosen(m_functions->item(row)->text());
    });
}

void CScriptPage::refresh() {
    fillScripts();
    if (m_scripts->currentRow() >= 0) fillFunctions();
}

void CScriptPage::setCurrentScript(int row) {
    const QSignalBlocker block(m_scripts);
    m_scripts->setCurrentRow(row);
}

void CScriptPage::clearFunctionSelection() {
    const QSignalBlocker block(m_functions);
    m_functions->setCurrentRow(-1);
    m_functions->clearSelection();
}

void CScriptPage::fillScripts() {
    const QSignalBlocker block(m_scripts);
    const int selected = m_scripts->currentRow();
    const auto& texts = m_shortNames->isChecked() ? m_document.scriptNames() : m_document.scriptPaths();
    m_scripts->clear();
    for (const std::u16string& text : texts) m_scripts->addItem(QString::fromStdU16String(text));
    if (selected >= 0 && selected < m_scripts->count()) m_scripts->setCurrentRow(selected);
}

void CScriptPage::fillFunctions() {
    const QSignalBlocker block(m_functions);
    const int selected = m_functions->currentRow();
    m_functions->clear();
    CScriptDriver* host = m_document.graf().host();
    if (!host) return;
    qrt::Variant names;
    if (FAILED(host->GetFunctionNames(&names)) || names.vt != (VT_ARRAY | VT_BSTR) || !names.parray) return;
    const auto* entries = static_cast<const BSTR*>(names.parray->pvData);
    const ULONG count = names.parray->rgsabound[0].cElements;
    for (ULONG i = 0; i < count; ++i) m_functions->addItem(QString::fromStdU16String(std::u16string(qrt::bstrView(entries[i]))));
    if (selected >= 0 && selected < m_functions->count()) m_functions->setCurrentRow(selected);
}

}  // namespace quillan::ui
