// The text of the editor control and the operations the control and the
// colorizer use on it: selection, lines, scrolling, replacing the
// selection, formats of ranges and of the selection. The text lives in a
// QTextDocument owned here, so it outlives the control's window; while a
// window (EditWindow) shows it, the selection and scrolling are the
// window's. Positions are characters (UTF-16 units); line i is block i of
// the document.
#pragma once

#include "editor/line_formats.h"
#include "editor/script_colorizer.h"

#include <QPointer>
#include <QString>
#include <QTextCharFormat>
#include <QTextCursor>

#include <memory>
#include <vector>

class QFont;
class QTextDocument;
class QPlainTextEdit;

namespace lexora {

// The editor's text font: Courier New 10 pt, fixed pitch.
QFont editorFont();

struct Selection {
    int anchor = 0;
    int caret = 0;
    int start() const { return std::min(anchor, caret); }
    int end() const { return std::max(anchor, caret); }
};

class EditBuffer final : public ColorTarget {
public:
    EditBuffer();
    ~EditBuffer();
    EditBuffer(const EditBuffer&) = delete;
    EditBuffer& operator=(const EditBuffer&) = delete;

    // False without a Qt GUI application, which text layout needs; every
    // other member may be used only when this returned true.
    bool ready();
    QTextDocument* document() const { return m_document.get(); }

    // The window that shows the text (nullptr detaches it).
    void attachView(QPlainTextEdit* view);

    // The whole text, lines joined by the line break of the text last set.
    QString text() const;
    // Replaces the text: plain, undo history cleared, caret at the start.
    void setText(const QString& text);

    Selection selection() const;
    // Moves the selection without scrolling.
    void setSelection(int anchor, int caret);
    // Replaces the selection as typing does (undoable); the caret follows.
    void replaceSelection(const QString& text);
    void setSelectionCharFormat(const CharFormat& format);

    int lineCount() const;
    // First position of a line (-1: the caret's line); -1 when there is none.
    int lineIndex(int line) const;
    // Characters of a line without its break (-1: the caret's line).
    int lineLength(int line) const;
    // The line with its break ("\n"), which the last line has not.
    QString lineText(int line) const;
    int lineOfPosition(int position) const;
    int firstVisibleLine() const;
    // Scrolls by lines (as far as the window can scroll).
    void scrollLines(int count);

    // ColorTarget
    void textRange(int start, int end, std::string& out) override;
    void formatRange(int start, int end, const CharFormat& format) override;

    // Formats set in between are shown at once when the outermost batch ends.
    class Batch {
    public:
        explicit Batch(EditBuffer& buffer) : m_buffer(buffer) { ++m_buffer.m_batchDepth; }
        ~Batch() {
            if (--m_buffer.m_batchDepth == 0) m_buffer.flushFormats();
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        EditBuffer& m_buffer;
    };

    // Counts the edits of the text (formats are no edits).
    long long editCount() const { return m_editCount; }

    // The line of the last error, with its message; it moves with edits
    // above it and goes when the text is set again.
    void setErrorMark(int line, const QString& message);
    void clearErrorMark();
    int errorLine() const;  // -1 when there is none
    const QString& errorMessage() const { return m_errorMessage; }

private:
    QTextCursor cursor() const;
    void setCursor(const QTextCursor& cursor, bool scroll);
    void contentsChanged(int from, int removed, int added);
    void resetFormats();
    void markDirty(int line);
    void flushFormats();
    const QTextCharFormat& layoutFormat(int style);

    std::unique_ptr<QTextDocument> m_document;
    QPointer<QPlainTextEdit> m_view;
    QTextCursor m_cursor;      // the selection while no window shows the text
    QString m_lineBreak = QStringLiteral("\n");
    LineFormats m_lines;
    StyleTable m_styles;
    std::vector<QTextCharFormat> m_layoutFormats;  // by style number
    std::vector<int> m_dirtyLines;
    int m_batchDepth = 0;
    bool m_settingText = false;
    long long m_editCount = 0;
    QTextCursor m_errorMark;  // at the start of the error's line; null when none
    QString m_errorMessage;
};

}  // namespace lexora
