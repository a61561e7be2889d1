// The windows of the editor control: EditWindow, the plain-text editor that
// shows the buffer's text, and ControlWindow, the control's own window that
// holds it, fills it with it and repaints both every four seconds.
#pragma once

#include "editor/edit_buffer.h"

#include <QPlainTextEdit>
#include <QTimer>

#include <functional>

namespace lexora {

class EditWindow final : public QPlainTextEdit {
public:
    // typed runs after a key that produced a character changed the text
    // (Tab aside).
    EditWindow(EditBuffer& buffer, std::function<void()> typed, QWidget* parent);
    ~EditWindow() override;

    // The buffer is going away: the window shows nothing more of it.
    void detachBuffer();

    // The character code a key press produces (Tab 9, Enter 13, Backspace 8,
    // Escape 27, Ctrl+letter 1 to 26, otherwise its text's first unit), or
    // -1 for keys without one (arrows, Delete, function keys).
    static int characterCode(const QKeyEvent& event);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    EditBuffer* m_buffer;
    std::function<void()> m_typed;
};

class ControlWindow final : public QWidget {
public:
    ControlWindow(EditBuffer& buffer, std::function<void()> typed, QWidget* parent);

    EditWindow* editWindow() const { return m_edit; }
    static constexpr int RedrawInterval = 4000;  // ms
    const QTimer& redrawTimer() const { return *m_redraw; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    EditWindow* m_edit;
    QTimer* m_redraw;
};

}  // namespace lexora
