#include "editor/edit_window.h"

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
}

EditWindow::~EditWindow() {
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

void EditWindow::keyPressEvent(QKeyEvent* event) {
    if (!m_buffer) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    const int code = characterCode(*event);
    if (code == 9) {
        // A tab character at the end of the selection; no colouring.
        const Selection s = m_buffer->selection();
        m_buffer->setSelection(s.end(), s.end());
        m_buffer->replaceSelection(QStringLiteral("\t"));
        event->accept();
        return;
    }
    const long long edits = m_buffer->editCount();
    if (code == 13 || code == 10) {
        // Every Enter starts a new line (never a line break inside one).
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QPlainTextEdit::keyPressEvent(&enter);
        event->setAccepted(enter.isAccepted());
    } else {
        QPlainTextEdit::keyPressEvent(event);
    }
    // Keys that only move, select or copy keep their selection.
    if (code >= 0 && m_buffer && m_buffer->editCount() != edits && m_typed) m_typed();
}

ControlWindow::ControlWindow(EditBuffer& buffer, std::function<void()> typed, QWidget* parent) : QWidget(parent) {
    m_edit = new EditWindow(buffer, std::move(typed), this);
    m_edit->setGeometry(rect());
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
    m_edit->setGeometry(0, 0, event->size().width(), event->size().height());
}

}  // namespace lexora
