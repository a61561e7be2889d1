#include "editor/indentation.h"

#include <QTextBlock>
#include <QTextDocument>

namespace lexora {

namespace {

constexpr int kSpacesPerLevel = 4;

bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

// The first and last block the selection touches; a selection that ends
// at the very start of a line leaves that line out.
void selectedBlocks(const QTextCursor& cursor, QTextBlock& first, QTextBlock& last) {
    QTextDocument* doc = cursor.document();
    first = doc->findBlock(cursor.selectionStart());
    last = doc->findBlock(cursor.selectionEnd());
    if (cursor.hasSelection() && last != first && cursor.selectionEnd() == last.position()) last = last.previous();
}

// Selects the lines from first to last whole (up to the end of last).
void selectLines(QTextCursor& cursor, const QTextBlock& first, const QTextBlock& last) {
    cursor.setPosition(first.position());
    cursor.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
}

}  // namespace

QString leadingIndent(const QString& line, int column) {
    int n = 0;
    const int limit = std::min(static_cast<int>(line.size()), std::max(column, 0));
    while (n < limit && isBlank(line[n])) ++n;
    return line.left(n);
}

bool selectsSeveralLines(const QTextCursor& cursor) {
    if (!cursor.hasSelection()) return false;
    QTextBlock first, last;
    selectedBlocks(cursor, first, last);
    return first != last;
}

void newLineWithIndent(QTextCursor& cursor) {
    cursor.beginEditBlock();
    if (cursor.hasSelection()) cursor.removeSelectedText();
    const QTextBlock block = cursor.block();
    const QString indent = leadingIndent(block.text(), cursor.position() - block.position());
    cursor.insertBlock();
    if (!indent.isEmpty()) cursor.insertText(indent);
    cursor.endEditBlock();
}

void indentLines(QTextCursor& cursor) {
    QTextBlock first, last;
    selectedBlocks(cursor, first, last);
    const int firstNumber = first.blockNumber(), lastNumber = last.blockNumber();
    QTextDocument* doc = cursor.document();
    QTextCursor edit(doc);
    edit.beginEditBlock();
    for (QTextBlock b = first; b.isValid() && b.blockNumber() <= lastNumber; b = b.next()) {
        if (b.text().isEmpty()) continue;
        edit.setPosition(b.position());
        edit.insertText(QStringLiteral("\t"));
    }
    edit.endEditBlock();
    selectLines(cursor, doc->findBlockByNumber(firstNumber), doc->findBlockByNumber(lastNumber));
}

bool outdentLines(QTextCursor& cursor) {
    QTextBlock first, last;
    selectedBlocks(cursor, first, last);
    const int firstNumber = first.blockNumber(), lastNumber = last.blockNumber();
    const bool hadSelection = cursor.hasSelection();
    QTextDocument* doc = cursor.document();
    QTextCursor edit(doc);
    bool changed = false;
    edit.beginEditBlock();
    for (QTextBlock b = first; b.isValid() && b.blockNumber() <= lastNumber; b = b.next()) {
        const QString text = b.text();
        int n = 0;
        if (!text.isEmpty() && text[0] == QLatin1Char('\t')) n = 1;
        else
            while (n < kSpacesPerLevel && n < text.size() && text[n] == QLatin1Char(' ')) ++n;
        if (!n) continue;
        edit.setPosition(b.position());
        edit.setPosition(b.position() + n, QTextCursor::KeepAnchor);
        edit.removeSelectedText();
        changed = true;
    }
    edit.endEditBlock();
    if (hadSelection) selectLines(cursor, doc->findBlockByNumber(firstNumber), doc->findBlockByNumber(lastNumber));
    return changed;
}

}  // namespace lexora
