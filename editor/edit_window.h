// The windows of the editor control: EditWindow, the plain-text editor that
// shows the buffer's text beside a margin of line numbers, and
// ControlWindow, the control's own window that holds it above the find and
// go-to-line bars and repaints both every four seconds.
#pragma once

#include "editor/edit_buffer.h"

#include <QPlainTextEdit>
#include <QTimer>

#include <functional>

namespace lexora {

class CompletionPopup;
class FindBar;
class GoToLineBar;
class LineMargin;

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

    // Keys the window leaves to its owner (find, replace, go to line); the
    // handler answers whether it took the key.
    void setCommandKeys(std::function<bool(const QKeyEvent&)> handler) { m_commandKeys = std::move(handler); }
    // Whether a key is one of those the owner takes.
    static bool isCommandKey(const QKeyEvent& event);

    // The margin: line numbers (shown unless turned off) and a red dot on
    // the line of the last error.
    LineMargin* margin() const { return m_margin; }
    bool lineNumbersShown() const { return m_lineNumbers; }
    void setLineNumbersShown(bool shown);
    int marginWidth() const;
    // The error's message when y (in the margin) is on the error's line.
    QString marginToolTip(int y) const;
    void paintMargin(QPaintEvent* event);
    void updateMargin();

    // Completion of members and words (on unless turned off).
    CompletionPopup* completion() const { return m_completion; }
    // Enter keeps the line's indentation, Tab and Shift+Tab indent and
    // outdent the selected lines (on unless turned off; off, Enter starts
    // an empty line and both keys type a tab at the end of the selection).
    bool smartIndent() const { return m_smartIndent; }
    void setSmartIndent(bool on) { m_smartIndent = on; }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void highlightCurrentLine();
    // The error's line as drawn, in viewport coordinates; empty when not shown.
    QRectF errorLineRect() const;

    EditBuffer* m_buffer;
    std::function<void()> m_typed;
    std::function<bool(const QKeyEvent&)> m_commandKeys;
    // Tab and Shift+Tab with smart indenting; false when the key is left
    // to the plain behaviour.
    bool indentKey(const QKeyEvent& event);

    LineMargin* m_margin;
    CompletionPopup* m_completion;
    bool m_lineNumbers = true;
    bool m_smartIndent = true;
};

class ControlWindow final : public QWidget {
public:
    // recolour runs after the text was changed in many places at once.
    ControlWindow(EditBuffer& buffer, std::function<void()> typed, std::function<void()> recolour,
                  QWidget* parent);

    EditWindow* editWindow() const { return m_edit; }
    FindBar* findBar() const { return m_find; }
    GoToLineBar* goToLineBar() const { return m_goTo; }
    static constexpr int RedrawInterval = 4000;  // ms
    const QTimer& redrawTimer() const { return *m_redraw; }

    // Opens the find bar (with replacing or without), the go-to-line bar.
    void showFind(bool replace);
    void showGoToLine();
    void closeBars();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    bool commandKey(const QKeyEvent& event);
    void layoutChildren();

    EditWindow* m_edit;
    FindBar* m_find;
    GoToLineBar* m_goTo;
    QTimer* m_redraw;
};

}  // namespace lexora
