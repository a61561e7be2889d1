// Searching the editor's text: the options of the find bar turned into one
// regular expression, finding the next or previous match with wrapping,
// replacing one match or all of them as a single undo step, and moving the
// caret to a line.
#pragma once

#include <QRegularExpression>
#include <QString>
#include <QTextCursor>

#include <optional>

class QPlainTextEdit;
class QTextDocument;

namespace lexora {

struct SearchOptions {
    bool matchCase = false;
    bool wholeWord = false;
    bool regularExpression = false;
};

// The pattern for what the user typed; nullopt with a message for an empty
// text or an invalid regular expression.
std::optional<QRegularExpression> searchPattern(const QString& text, const SearchOptions& options, QString& error);

struct FindResult {
    QTextCursor match;     // null when nothing matched
    bool wrapped = false;  // found only after going round the end (or start)
};

// The next match after the selection (or the previous one before it),
// going round the end of the text once. Empty matches are skipped.
FindResult findMatch(QTextDocument* document, const QRegularExpression& pattern, const QTextCursor& from,
                     bool backward);

// What a match is replaced with: the text as typed, or for a regular
// expression with \0..\9 standing for the captured groups.
QString replacementFor(const QString& matched, const QRegularExpression& pattern, const QString& replacement,
                       bool regularExpression);

// Replaces every match in one edit block (undone in one step); the count.
int replaceAll(QTextDocument* document, const QRegularExpression& pattern, const QString& replacement,
               bool regularExpression);

// Moves the caret of the editor to the start of a line given as typed
// (counted from 1); false with a message when it is no line of the text.
bool goToLine(QPlainTextEdit* edit, const QString& input, QString& message);

}  // namespace lexora
