#include "editor/completion.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <algorithm>

namespace lexora {

void CompletionList::setText(const QString& text) {
    QList<CompletionEntry> entries;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() < 2) continue;
        while (fields.size() < 4) fields << QString();
        CompletionEntry entry{fields[0].trimmed(), fields[1].trimmed(), fields[2].trimmed(), fields[3].trimmed()};
        if (entry.name.isEmpty()) continue;
        entries << entry;
    }
    m_entries = std::move(entries);
}

bool CompletionList::hasObject(const QString& object) const {
    if (object.isEmpty()) return false;
    return std::any_of(m_entries.begin(), m_entries.end(), [&](const CompletionEntry& e) {
        return e.object.compare(object, Qt::CaseInsensitive) == 0;
    });
}

namespace {

// Sorted without regard to case, the first entry of each name kept.
QList<CompletionEntry> sortedUnique(QList<CompletionEntry> entries) {
    std::stable_sort(entries.begin(), entries.end(), [](const CompletionEntry& a, const CompletionEntry& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    QList<CompletionEntry> out;
    for (const CompletionEntry& e : entries) {
        if (!out.isEmpty() && out.last().name == e.name) continue;
        out << e;
    }
    return out;
}

}  // namespace

QList<CompletionEntry> CompletionList::membersOf(const QString& object) const {
    QList<CompletionEntry> out;
    if (object.isEmpty()) return out;
    for (const CompletionEntry& e : m_entries) {
        if (e.object.compare(object, Qt::CaseInsensitive) == 0) out << e;
    }
    return sortedUnique(std::move(out));
}

QList<CompletionEntry> CompletionList::globals() const {
    QList<CompletionEntry> out;
    for (const CompletionEntry& e : m_entries) {
        if (e.object.isEmpty()) out << e;
    }
    return sortedUnique(std::move(out));
}

bool isIdentifierChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$'); }

CompletionContext completionContext(const QString& text, int position) {
    CompletionContext c;
    position = std::clamp(position, 0, static_cast<int>(text.size()));
    int start = position;
    while (start > 0 && isIdentifierChar(text[start - 1])) --start;
    c.start = start;
    c.prefix = text.mid(start, position - start);
    // Spaces may stand between the dot and the member, not before the dot
    // (VBScript reads "a .b" inside With as a member of the With object).
    int dot = start;
    while (dot > 0 && (text[dot - 1] == QLatin1Char(' ') || text[dot - 1] == QLatin1Char('\t'))) --dot;
    if (dot > 0 && text[dot - 1] == QLatin1Char('.')) {
        c.member = true;
        int end = dot - 1, begin = end;
        while (begin > 0 && isIdentifierChar(text[begin - 1])) --begin;
        c.receiver = text.mid(begin, end - begin);
    }
    return c;
}

QString completionObject(const CompletionList& list, const QString& text, int position, const QString& receiver,
                         bool vbscript) {
    if (receiver.isEmpty()) return {};
    if (list.hasObject(receiver)) return receiver;
    const QString name = QRegularExpression::escape(receiver);
    // The receiver stands on its own (not as a member of something else);
    // what it is given is a ProgID's object or a class made with New.
    const QString pattern =
        vbscript ? QStringLiteral(R"re((?<![\w.])%1\s*=\s*(?:CreateObject\s*\(\s*"([^"\r\n]*)"|New\s+([A-Za-z_]\w*)))re")
                         .arg(name)
                 : QStringLiteral(
                       R"re((?<![\w$.])%1\s*=\s*new\s+(?:ActiveXObject\s*\(\s*["']([^"'\r\n]*)["']|([A-Za-z_$][\w$]*)))re")
                       .arg(name);
    QRegularExpression::PatternOptions options = QRegularExpression::UseUnicodePropertiesOption;
    if (vbscript) options |= QRegularExpression::CaseInsensitiveOption;
    const QRegularExpression assignment(pattern, options);
    QString before, after;
    for (auto it = assignment.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString made = (m.capturedStart(1) >= 0 ? m.captured(1) : m.captured(2)).trimmed();
        if (m.capturedStart() < position) before = made;
        else if (after.isEmpty()) after = made;
    }
    const QString progId = before.isEmpty() ? after : before;
    if (progId.isEmpty() || !list.hasObject(progId)) return {};
    return progId;
}

}  // namespace lexora
