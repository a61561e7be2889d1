// The character styles of the edited text, kept per line as runs of styled
// characters. They are shown as formats of the text layout, never stored in
// the document, so colouring is no edit: it adds nothing to the undo
// history and leaves the text unmodified. Edits of the text move the runs
// with their characters, as a rich text control keeps formats with text.
#pragma once

#include "editor/char_format.h"

#include <vector>

namespace lexora {

// Distinct styles, each with a small number; 0 is the editor's own format
// (defaultFormat()), which characters without a run show.
class StyleTable {
public:
    StyleTable();
    int intern(const CharStyle& style);
    const CharStyle& style(int id) const { return m_styles[static_cast<std::size_t>(id)]; }
    int size() const { return static_cast<int>(m_styles.size()); }

private:
    std::vector<CharStyle> m_styles;
};

struct StyleRun {
    int start = 0;
    int end = 0;   // exclusive
    int style = 0;

    friend bool operator==(const StyleRun&, const StyleRun&) = default;
};

class LineFormats {
public:
    struct Line {
        int length = 0;               // characters, without the line break
        std::vector<StyleRun> runs;   // ascending, disjoint, none of style 0
    };

    LineFormats() { reset({0}); }

    // Lines of the given lengths, every character in style 0.
    void reset(const std::vector<int>& lengths);
    int lineCount() const { return static_cast<int>(m_lines.size()); }
    const Line& line(int index) const { return m_lines[static_cast<std::size_t>(index)]; }
    // Characters of the text, each line break counted, the last line's too.
    long long totalLength() const { return m_total; }

    int styleAt(int line, int offset) const;
    // Applies format to [from, to) of one line (clipped to the line and its
    // break).
    void applyFormat(int line, int from, int to, const CharFormat& format, StyleTable& styles);

    // Follows an edit: the old text from (line, offset) over removed
    // characters was replaced; the new text covers the lines line ..
    // line + newLengths.size() - 1 (their new lengths) and ends at endOffset
    // in the last of them. Inserted characters take the style of the
    // character before them (at a line start, the one after). Returns false
    // when the edit does not fit the lines as they were; then nothing changed.
    bool edit(int line, int offset, int removed, const std::vector<int>& newLengths, int endOffset);

private:
    std::vector<Line> m_lines;
    long long m_total = 0;
};

}  // namespace lexora
