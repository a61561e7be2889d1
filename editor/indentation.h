// Indenting with the keyboard: Enter keeps the indentation of the line it
// splits, Tab indents every line a selection over several lines touches,
// Shift+Tab outdents the caret's line or the selected lines. Each is one
// step of undo.
#pragma once

#include <QString>
#include <QTextCursor>

namespace lexora {

// The spaces and tabs that start line, no further than column.
QString leadingIndent(const QString& line, int column);

// Whether the selection of cursor reaches over more than one line.
bool selectsSeveralLines(const QTextCursor& cursor);

// Enter: a new line with the indentation of the caret's line (the part
// before the caret); a selection is replaced.
void newLineWithIndent(QTextCursor& cursor);

// A tab before every line the selection touches (empty lines aside);
// afterwards the selection covers those lines whole.
void indentLines(QTextCursor& cursor);
// Takes one level from the start of every line the selection (or the
// caret) touches: a tab, or up to four spaces. Returns whether anything
// changed.
bool outdentLines(QTextCursor& cursor);

}  // namespace lexora
