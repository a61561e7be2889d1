#include "editor/line_formats.h"

#include <algorithm>
#include <iterator>

namespace lexora {

StyleTable::StyleTable() { m_styles.push_back(applyFormat(CharStyle{}, defaultFormat())); }

int StyleTable::intern(const CharStyle& style) {
    for (std::size_t i = 0; i < m_styles.size(); ++i)
        if (m_styles[i] == style) return static_cast<int>(i);
    m_styles.push_back(style);
    return static_cast<int>(m_styles.size() - 1);
}

namespace {

// Appends a run, merging it with the previous one when they touch and share
// the style; style 0 and empty runs are not stored.
void append(std::vector<StyleRun>& runs, int start, int end, int style) {
    if (start >= end || style == 0) return;
    if (!runs.empty() && runs.back().end == start && runs.back().style == style) {
        runs.back().end = end;
        return;
    }
    runs.push_back({start, end, style});
}

// The runs of source within [from, to), moved by shift.
void appendClipped(std::vector<StyleRun>& runs, const std::vector<StyleRun>& source, int from, int to, int shift) {
    for (const StyleRun& r : source) {
        const int s = std::max(r.start, from), e = std::min(r.end, to);
        if (s < e) append(runs, s + shift, e + shift, r.style);
    }
}

}  // namespace

void LineFormats::reset(const std::vector<int>& lengths) {
    m_lines.assign(lengths.size(), Line{});
    m_total = 0;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        m_lines[i].length = lengths[i];
        m_total += lengths[i] + 1;
    }
    if (m_lines.empty()) {
        m_lines.push_back(Line{});
        m_total = 1;
    }
}

int LineFormats::styleAt(int line, int offset) const {
    for (const StyleRun& r : m_lines[static_cast<std::size_t>(line)].runs)
        if (offset >= r.start && offset < r.end) return r.style;
    return 0;
}

void LineFormats::applyFormat(int line, int from, int to, const CharFormat& format, StyleTable& styles) {
    if (line < 0 || line >= lineCount()) return;
    Line& l = m_lines[static_cast<std::size_t>(line)];
    from = std::max(from, 0);
    to = std::min(to, l.length + 1);
    if (from >= to) return;
    std::vector<StyleRun> runs;
    runs.reserve(l.runs.size() + 2);
    // Before the range, unchanged.
    appendClipped(runs, l.runs, 0, from, 0);
    // Inside: every stretch of one style gets that style with the format applied.
    int pos = from;
    auto styled = [&](int start, int end, int style) {
        if (start < end) append(runs, start, end, styles.intern(lexora::applyFormat(styles.style(style), format)));
    };
    for (const StyleRun& r : l.runs) {
        if (r.end <= from || r.start >= to) continue;
        const int s = std::max(r.start, from), e = std::min(r.end, to);
        styled(pos, s, 0);
        styled(s, e, r.style);
        pos = e;
    }
    styled(pos, to, 0);
    // After the range, unchanged.
    appendClipped(runs, l.runs, to, l.length + 1, 0);
    l.runs = std::move(runs);
}

bool LineFormats::edit(int line, int offset, int removed, const std::vector<int>& newLengths, int endOffset) {
    const int count = lineCount();
    if (line < 0 || line >= count || offset < 0 || removed < 0 || newLengths.empty()) return false;
    const Line& first = m_lines[static_cast<std::size_t>(line)];
    if (offset > first.length) return false;

    // Where the removed text ended in the old lines.
    int endLine = line;
    long long remaining = static_cast<long long>(offset) + removed;
    while (remaining > m_lines[static_cast<std::size_t>(endLine)].length) {
        remaining -= m_lines[static_cast<std::size_t>(endLine)].length + 1;
        if (++endLine == count) {
            // The final line break went too (the whole text was replaced).
            if (remaining != 0) return false;
            --endLine;
            remaining = m_lines[static_cast<std::size_t>(endLine)].length;
            break;
        }
    }
    const Line& last = m_lines[static_cast<std::size_t>(endLine)];
    const int endInOld = static_cast<int>(remaining);
    // What follows the edit on its last line is the same text, moved.
    if (newLengths.back() - endOffset != last.length - endInOld || endOffset < 0) return false;
    if (newLengths.size() == 1 && endOffset < offset) return false;

    int inserted = 0;
    if (offset > 0) inserted = styleAt(line, offset - 1);
    else if (offset < first.length) inserted = styleAt(line, offset);

    std::vector<Line> lines(newLengths.size());
    const std::size_t n = lines.size();
    for (std::size_t i = 0; i < n; ++i) lines[i].length = newLengths[i];
    appendClipped(lines[0].runs, first.runs, 0, offset, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const int from = i == 0 ? offset : 0;
        const int to = i + 1 == n ? endOffset : lines[i].length + 1;  // a new line's break is inserted text too
        append(lines[i].runs, from, to, inserted);
    }
    appendClipped(lines[n - 1].runs, last.runs, endInOld, last.length + 1, endOffset - endInOld);

    long long oldSpan = 0;
    for (int i = line; i <= endLine; ++i) oldSpan += m_lines[static_cast<std::size_t>(i)].length + 1;
    long long newSpan = 0;
    for (int len : newLengths) newSpan += len + 1;
    m_total += newSpan - oldSpan;

    auto at = m_lines.begin() + line;
    at = m_lines.erase(at, at + (endLine - line + 1));
    m_lines.insert(at, std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
    return true;
}

}  // namespace lexora
