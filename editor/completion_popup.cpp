#include "editor/completion_popup.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTextBlock>

namespace lexora {

namespace {

constexpr int NameRole = Qt::UserRole + 1;

// "Name arguments": the call form from the name on ("AddPointToSeries
// series, x, y", "ColorRGB(red, green, blue)"), or the name alone.
QString shownText(const CompletionEntry& e) {
    const qsizetype at = e.callForm.indexOf(e.name, 0, Qt::CaseInsensitive);
    if (at < 0) return e.name;
    const QString rest = e.callForm.mid(at + e.name.size());
    return rest.isEmpty() || isIdentifierChar(rest[0]) ? e.name : e.name + rest;
}

}  // namespace

CompletionPopup::CompletionPopup(QPlainTextEdit* edit, std::function<void()> inserted)
    : QObject(edit), m_edit(edit), m_inserted(std::move(inserted)), m_completer(new QCompleter(this)),
      m_model(new QStandardItemModel(this)) {
    m_completer->setModel(m_model);
    m_completer->setWidget(edit);
    m_completer->setCompletionMode(QCompleter::PopupCompletion);
    m_completer->setCaseSensitivity(Qt::CaseInsensitive);
    m_completer->setModelSorting(QCompleter::CaseInsensitivelySortedModel);
    m_completer->setCompletionRole(NameRole);
    m_completer->setMaxVisibleItems(12);
    m_completer->popup()->setObjectName(QStringLiteral("completionPopup"));
    QObject::connect(m_completer, qOverload<const QModelIndex&>(&QCompleter::activated), this,
                     [this](const QModelIndex& index) { insert(index.data(NameRole).toString()); });
    // Typing, erasing and moving the caret while it is shown narrow it.
    QObject::connect(edit, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        if (isShown()) narrow();
    });
}

void CompletionPopup::setEnabled(bool on) {
    m_enabled = on;
    if (!on) close();
}

bool CompletionPopup::isShown() const { return m_completer->popup()->isVisible(); }
QAbstractItemView* CompletionPopup::view() const { return m_completer->popup(); }

void CompletionPopup::close() {
    m_completer->popup()->hide();
    m_start = -1;
}

QStringList CompletionPopup::shownNames() const {
    QStringList names;
    if (!isShown()) return names;
    QAbstractItemModel* shown = m_completer->completionModel();
    for (int row = 0; row < shown->rowCount(); ++row) names << shown->index(row, 0).data(NameRole).toString();
    return names;
}

bool CompletionPopup::takesKey(QKeyEvent& event) {
    const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
    if (event.key() == Qt::Key_Space && mods == Qt::ControlModifier) {
        if (!m_enabled) return false;
        open(true);
        event.accept();
        return true;
    }
    if (!isShown()) return false;
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
        // The popup's own: the completer chooses or closes.
        event.ignore();
        return true;
    default:
        return false;
    }
}

void CompletionPopup::afterTyping(const QString& typed) {
    if (!m_enabled || !m_list || isShown()) return;
    if (typed == QLatin1String(".")) open(false);
}

void CompletionPopup::open(bool asked) {
    if (!m_enabled || !m_list || m_list->empty()) return;
    const QString text = m_edit->toPlainText();
    const int caret = m_edit->textCursor().position();
    const CompletionContext context = completionContext(text, caret);
    QList<CompletionEntry> entries;
    if (context.member) {
        const QString object = completionObject(*m_list, text, caret, context.receiver, m_vbscript);
        entries = m_list->membersOf(object);
    } else if (asked) {
        entries = m_list->globals();
    }
    if (entries.isEmpty()) {
        close();
        return;
    }
    fill(entries);
    m_start = context.start;
    m_completer->setCompletionPrefix(context.prefix);
    if (asked && m_completer->completionCount() == 1) {
        m_completer->setCurrentRow(0);
        insert(m_completer->currentIndex().data(NameRole).toString());
        return;
    }
    narrow();
}

void CompletionPopup::fill(const QList<CompletionEntry>& entries) {
    m_model->clear();
    for (const CompletionEntry& e : entries) {
        auto* item = new QStandardItem(shownText(e));
        item->setData(e.name, NameRole);
        QString tip = e.callForm.isEmpty() ? e.name : e.callForm;
        if (!e.description.isEmpty()) tip += QLatin1Char('\n') + e.description;
        item->setToolTip(tip);
        item->setEditable(false);
        m_model->appendRow(item);
    }
}

// Follows the caret: the word typed since the popup opened narrows the
// list; leaving the word, or a word nothing matches, closes it.
void CompletionPopup::narrow() {
    if (m_start < 0) return close();
    const QTextCursor cursor = m_edit->textCursor();
    const int caret = cursor.position();
    const QString text = m_edit->toPlainText();
    const CompletionContext context = completionContext(text, caret);
    if (caret < m_start || context.start != m_start || cursor.hasSelection()) return close();
    m_completer->setCompletionPrefix(context.prefix);
    if (m_completer->completionCount() == 0) return close();
    QAbstractItemView* popup = m_completer->popup();
    popup->setCurrentIndex(m_completer->completionModel()->index(0, 0));
    QRect at = m_edit->cursorRect();
    at.setWidth(popup->sizeHintForColumn(0) + popup->verticalScrollBar()->sizeHint().width() + 8);
    m_completer->complete(at);
}

void CompletionPopup::insert(const QString& name) {
    const int start = m_start;
    close();
    if (start < 0 || name.isEmpty()) return;
    QTextCursor cursor = m_edit->textCursor();
    const int caret = cursor.position();
    if (caret < start) return;
    cursor.setPosition(start);
    cursor.setPosition(caret, QTextCursor::KeepAnchor);
    cursor.insertText(name);
    m_edit->setTextCursor(cursor);
    if (m_inserted) m_inserted();
}

}  // namespace lexora
