#include "editor/edit_window.h"

#include "editor/completion_popup.h"
#include "editor/find_bar.h"
#include "editor/indentation.h"
#include "editor/line_margin.h"

#include <QKeyEvent>
#include <QResizeEvent>

namespace lexora {

EditWindow::EditWindow(EditBuffer& buffer, std::function<void()> typed, QWidget* parent)
    : QPlainTextEdit(parent), m_buffer(&buffer), m_typed(std::move(typed)) {
    setDocument(buffer.document());
    setFont(editorFont());
    buffer.document()->setDefaultFont(editorFont());
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTabChangesFocus(false);
    // Tab stops every half inch.
    setTabStopDistance(logicalDpiX() / 2.0);
    QPalette p = palette();
    p.setColor(QPalette::Text, Qt::black);
    p.setColor(QPalette::Base, Qt::white);
    setPalette(p);
    buffer.attachView(this);

    m_margin = new LineMargin(this);
    m_completion = new CompletionPopup(this, [this] {
        if (m_typed) m_typed();
    });
    connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { updateMargin(); });
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
        if (dy) m_margin->scroll(0, dy);
        else m_margin->update(0, rect.y(), m_margin->width(), rect.height());
    });
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        highlightCurrentLine();
        m_margin->update();
    });
    highlightCurrentLine();
    updateMargin();
}

EditWindow::~EditWindow() {
    // What the text edit signals while it goes is no news for the margin.
    disconnect(this, nullptr, this, nullptr);
    if (m_buffer) m_buffer->attachView(nullptr);
}

void EditWindow::detachBuffer() {
    m_typed = nullptr;
    if (!m_buffer) return;
    m_buffer->attachView(nullptr);
    m_buffer = nullptr;
    setDocument(nullptr);  // an empty document of the window's own
}

int EditWindow::characterCode(const QKeyEvent& event) {
    const Qt::KeyboardModifiers mods = event.modifiers();
    const bool ctrl = mods & Qt::ControlModifier;
    const bool alt = mods & Qt::AltModifier;
    switch (event.key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return ctrl ? -1 : 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return ctrl ? 10 : 13;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Escape:
        return 27;
    default:
        break;
    }
    if (ctrl && !alt && event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z) return event.key() - Qt::Key_A + 1;
    const QString text = event.text();
    if (!text.isEmpty() && text[0].unicode() >= 0x20 && text[0].unicode() != 0x7F) return text[0].unicode();
    return -1;
}

bool EditWindow::isCommandKey(const QKeyEvent& event) {
    const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
    switch (event.key()) {
    case Qt::Key_F:
    case Qt::Key_H:
    case Qt::Key_G:
        return mods == Qt::ControlModifier;
    case Qt::Key_F3:
        return mods == Qt::NoModifier || mods == Qt::ShiftModifier;
    default:
        return false;
    }
}

bool EditWindow::event(QEvent* event) {
    // The window's own keys come before any shortcut of the program.
    if (event->type() == QEvent::ShortcutOverride && m_commandKeys &&
        isCommandKey(*static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QPlainTextEdit::event(event);
}

void EditWindow::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    updateMargin();
}

void EditWindow::keyPressEvent(QKeyEvent* event) {
    if (m_commandKeys && isCommandKey(*event) && m_commandKeys(*event)) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape && m_commandKeys && m_commandKeys(*event)) {
        event->accept();
        return;
    }
    if (!m_buffer) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    if (m_completion->takesKey(*event)) return;
    const int code = characterCode(*event);
    if (code == 9 && m_smartIndent && indentKey(*event)) {
        event->accept();
        return;
    }
    if (code == 9) {
        // A tab character at the end of the selection; no colouring.
        const Selection s = m_buffer->selection();
        m_buffer->setSelection(s.end(), s.end());
        m_buffer->replaceSelection(QStringLiteral("\t"));
        event->accept();
        return;
    }
    const long long edits = m_buffer->editCount();
    if ((code == 13 || code == 10) && m_smartIndent) {
        QTextCursor cursor = textCursor();
        newLineWithIndent(cursor);
        setTextCursor(cursor);
        ensureCursorVisible();
        event->accept();
    } else if (code == 13 || code == 10) {
        // Every Enter starts a new line (never a line break inside one).
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QPlainTextEdit::keyPressEvent(&enter);
        event->setAccepted(enter.isAccepted());
    } else {
        QPlainTextEdit::keyPressEvent(event);
    }
    // Keys that only move, select or copy keep their selection.
    if (code >= 0 && m_buffer && m_buffer->editCount() != edits && m_typed) m_typed();
    if (code >= 0x20) m_completion->afterTyping(event->text());
}

bool EditWindow::indentKey(const QKeyEvent& event) {
    QTextCursor cursor = textCursor();
    if (event.key() == Qt::Key_Backtab || (event.modifiers() & Qt::ShiftModifier)) {
        outdentLines(cursor);
        setTextCursor(cursor);
        return true;
    }
    if (!selectsSeveralLines(cursor)) return false;
    indentLines(cursor);
    setTextCursor(cursor);
    return true;
}

ControlWindow::ControlWindow(EditBuffer& buffer, std::function<void()> typed, std::function<void()> recolour,
                             QWidget* parent)
    : QWidget(parent) {
    m_edit = new EditWindow(buffer, std::move(typed), this);
    m_find = new FindBar(m_edit, std::move(recolour), this);
    m_goTo = new GoToLineBar(m_edit, this);
    m_find->hide();
    m_goTo->hide();
    m_find->onClose([this] { closeBars(); });
    m_goTo->onClose([this] { closeBars(); });
    m_edit->setCommandKeys([this](const QKeyEvent& event) { return commandKey(event); });
    layoutChildren();
    m_redraw = new QTimer(this);
    m_redraw->setObjectName(QStringLiteral("redraw"));
    m_redraw->setInterval(RedrawInterval);
    QObject::connect(m_redraw, &QTimer::timeout, this, [this] {
        update();
        m_edit->viewport()->update();
    });
    m_redraw->start();
}

void ControlWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutChildren();
}

void ControlWindow::layoutChildren() {
    // The editor fills the window; an open bar takes the bottom rows.
    QWidget* bar = m_find->isVisibleTo(this) ? static_cast<QWidget*>(m_find)
                   : m_goTo->isVisibleTo(this) ? static_cast<QWidget*>(m_goTo)
                                               : nullptr;
    const int barHeight = bar ? std::min(bar->sizeHint().height(), height()) : 0;
    m_edit->setGeometry(0, 0, width(), height() - barHeight);
    if (bar) bar->setGeometry(0, height() - barHeight, width(), barHeight);
}

void ControlWindow::showFind(bool replace) {
    m_goTo->hide();
    m_find->open(replace);
    layoutChildren();
    m_edit->ensureCursorVisible();
}

void ControlWindow::showGoToLine() {
    m_find->hide();
    m_goTo->open();
    layoutChildren();
    m_edit->ensureCursorVisible();
}

void ControlWindow::closeBars() {
    const bool open = m_find->isVisibleTo(this) || m_goTo->isVisibleTo(this);
    m_find->hide();
    m_goTo->hide();
    layoutChildren();
    if (open) m_edit->setFocus(Qt::OtherFocusReason);
}

bool ControlWindow::commandKey(const QKeyEvent& event) {
    const bool shift = event.modifiers() & Qt::ShiftModifier;
    switch (event.key()) {
    case Qt::Key_F:
        showFind(false);
        return true;
    case Qt::Key_H:
        showFind(true);
        return true;
    case Qt::Key_G:
        showGoToLine();
        return true;
    case Qt::Key_F3:
        // Without a text to find yet, the bar opens to ask for one.
        if (m_find->findText().isEmpty()) {
            showFind(false);
            return true;
        }
        // The bar shows, so that its status can say what was found.
        if (!m_find->isVisibleTo(this)) {
            m_goTo->hide();
            m_find->show();
            layoutChildren();
        }
        m_find->findNext(shift);
        return true;
    case Qt::Key_Escape:
        if (!m_find->isVisibleTo(this) && !m_goTo->isVisibleTo(this)) return false;
        closeBars();
        return true;
    default:
        return false;
    }
}

}  // namespace lexora
