#include "editor/text_search.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

namespace lexora {

std::optional<QRegularExpression> searchPattern(const QString& text, const SearchOptions& options, QString& error) {
    error.clear();
    if (text.isEmpty()) {
        error = QStringLiteral("Nothing to find.");
        return std::nullopt;
    }
    QString source = options.regularExpression ? text : QRegularExpression::escape(text);
    // Look-arounds rather than \b, so a word that starts or ends with a
    // non-word character still needs a non-word neighbour there.
    if (options.wholeWord) source = QStringLiteral("(?<!\\w)(?:%1)(?!\\w)").arg(source);
    QRegularExpression pattern(source, options.matchCase ? QRegularExpression::NoPatternOption
                                                         : QRegularExpression::CaseInsensitiveOption);
    if (!pattern.isValid()) {
        error = QStringLiteral("Invalid regular expression: %1 (at character %2).")
                    .arg(pattern.errorString())
                    .arg(pattern.patternErrorOffset());
        return std::nullopt;
    }
    return pattern;
}

namespace {

// The first non-empty match starting the search at cursor (a selection is
// stepped over); null when there is none up to the end (or start).
QTextCursor findFrom(QTextDocument* document, const QRegularExpression& pattern, QTextCursor cursor, bool backward) {
    // The document goes by its own case flag, not by the pattern's option.
    QTextDocument::FindFlags flags = backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (!(pattern.patternOptions() & QRegularExpression::CaseInsensitiveOption))
        flags |= QTextDocument::FindCaseSensitively;
    for (;;) {
        QTextCursor found = document->find(pattern, cursor, flags);
        if (found.isNull() || found.hasSelection()) return found;
        // An empty match: go on one character further.
        const int next = found.position() + (backward ? -1 : 1);
        if (next < 0 || next >= document->characterCount()) return {};
        cursor = QTextCursor(document);
        cursor.setPosition(next);
    }
}

}  // namespace

FindResult findMatch(QTextDocument* document, const QRegularExpression& pattern, const QTextCursor& from,
                     bool backward) {
    FindResult result;
    result.match = findFrom(document, pattern, from, backward);
    if (!result.match.isNull()) return result;
    QTextCursor edge(document);
    if (backward) edge.movePosition(QTextCursor::End);
    result.match = findFrom(document, pattern, edge, backward);
    result.wrapped = !result.match.isNull();
    return result;
}

QString replacementFor(const QString& matched, const QRegularExpression& pattern, const QString& replacement,
                       bool regularExpression) {
    if (!regularExpression) return replacement;
    // The match again, as a whole, for its groups.
    const QRegularExpression whole(QStringLiteral("\\A(?:%1)\\z").arg(pattern.pattern()), pattern.patternOptions());
    const QRegularExpressionMatch m = whole.match(matched);
    if (!m.hasMatch()) return replacement;
    QString out;
    for (qsizetype i = 0; i < replacement.size(); ++i) {
        const QChar c = replacement[i];
        if (c == QLatin1Char('\\') && i + 1 < replacement.size()) {
            const QChar n = replacement[i + 1];
            if (n.isDigit()) {
                out += m.captured(n.digitValue());
                ++i;
                continue;
            }
            if (n == QLatin1Char('\\')) {
                out += n;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

int replaceAll(QTextDocument* document, const QRegularExpression& pattern, const QString& replacement,
               bool regularExpression) {
    int count = 0;
    QTextCursor edit(document);
    QTextCursor at(document);
    for (;;) {
        QTextCursor found = findFrom(document, pattern, at, false);
        if (found.isNull()) break;
        if (count == 0) edit.beginEditBlock();
        const QString text = replacementFor(found.selectedText(), pattern, replacement, regularExpression);
        edit.setPosition(found.selectionStart());
        edit.setPosition(found.selectionEnd(), QTextCursor::KeepAnchor);
        edit.insertText(text);
        ++count;
        at = edit;  // searching goes on after the replacement
    }
    if (count > 0) edit.endEditBlock();
    return count;
}

bool goToLine(QPlainTextEdit* edit, const QString& input, QString& message) {
    const int count = edit->document()->blockCount();
    bool ok = false;
    const int line = input.trimmed().toInt(&ok);
    if (!ok || line < 1 || line > count) {
        const QString typed = input.trimmed();
        message = typed.isEmpty() ? QStringLiteral("No line number given")
                                  : QStringLiteral("\"%1\" is not a line of the text").arg(typed);
        message += QStringLiteral(": enter one from 1 to %1.").arg(count);
        return false;
    }
    QTextCursor cursor(edit->document()->findBlockByNumber(line - 1));
    edit->setTextCursor(cursor);
    edit->centerCursor();
    message.clear();
    return true;
}

}  // namespace lexora
