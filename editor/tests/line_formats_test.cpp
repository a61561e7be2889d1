// LineFormats: formats stay with their characters while the text is edited.
#include "editor/line_formats.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace lexora;

// Lines written as text with one letter per character: '.' unstyled, a
// letter for a style; '|' separates lines.
struct Doc {
    StyleTable styles;
    LineFormats lines;
    std::map<char, int> ids;

    explicit Doc(const std::string& layout) {
        std::vector<std::string> rows;
        std::string row;
        for (char c : layout + "|") {
            if (c == '|') {
                rows.push_back(row);
                row.clear();
            } else {
                row += c;
            }
        }
        std::vector<int> lengths;
        for (const auto& r : rows) lengths.push_back(static_cast<int>(r.size()));
        lines.reset(lengths);
        for (std::size_t l = 0; l < rows.size(); ++l)
            for (std::size_t i = 0; i < rows[l].size(); ++i)
                if (rows[l][i] != '.') lines.applyFormat(int(l), int(i), int(i) + 1, format(rows[l][i]), styles);
    }
    CharFormat format(char letter) { return colorOnlyFormat(static_cast<COLORREF>(letter)); }
    std::string show() const {
        std::string out;
        for (int l = 0; l < lines.lineCount(); ++l) {
            if (l) out += '|';
            for (int i = 0; i < lines.line(l).length; ++i) {
                const int id = lines.styleAt(l, i);
                out += id == 0 ? '.' : static_cast<char>(styles.style(id).color);
            }
        }
        return out;
    }
};

struct EditCase {
    const char* name;
    const char* before;
    int line, offset, removed;
    std::vector<int> newLengths;
    int endOffset;
    const char* after;
};

class LineFormatEdits : public ::testing::TestWithParam<EditCase> {};

TEST_P(LineFormatEdits, RunsMoveWithTheirCharacters) {
    const EditCase& c = GetParam();
    Doc doc(c.before);
    ASSERT_TRUE(doc.lines.edit(c.line, c.offset, c.removed, c.newLengths, c.endOffset)) << c.name;
    EXPECT_EQ(doc.show(), c.after) << c.name;
    long long expected = 0;
    for (int l = 0; l < doc.lines.lineCount(); ++l) expected += doc.lines.line(l).length + 1;
    EXPECT_EQ(doc.lines.totalLength(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, LineFormatEdits,
    ::testing::Values(
        // Typing takes the style of the character before; at a line start, the one after.
        EditCase{"type inside a run", "KKK..", 0, 2, 0, {6}, 3, "KKKK.."},
        EditCase{"type after a run", "KKK..", 0, 3, 0, {6}, 4, "KKKK.."},
        EditCase{"type at a line start", "SS.", 0, 0, 0, {4}, 1, "SSS."},
        EditCase{"delete a character", "KKK.SS", 0, 1, 1, {5}, 1, "KK.SS"},
        EditCase{"Enter splits the runs", "KK.SS|CC", 0, 3, 0, {3, 2}, 0, "KK.|SS|CC"},
        EditCase{"Backspace joins two lines", "KK|SS|C", 0, 2, 1, {4}, 2, "KKSS|C"},
        EditCase{"replace across lines", "KKKK|.SS.|CC", 0, 2, 5, {6}, 4, "KKKKS.|CC"},
        EditCase{"paste two lines", "K.S", 0, 1, 0, {3, 4}, 2, "KKK|KK.S"},
        EditCase{"replace everything", "KK|SS", 0, 0, 6, {3}, 3, "KKK"}));

TEST(LineFormats, RefusesEditsThatDoNotFit) {
    Doc doc("KK.|SS");
    EXPECT_FALSE(doc.lines.edit(2, 0, 0, {1}, 1));     // no such line
    EXPECT_FALSE(doc.lines.edit(0, 4, 0, {5}, 5));     // past the line's end
    EXPECT_FALSE(doc.lines.edit(0, 0, 20, {3}, 3));    // removes more than there is
    EXPECT_FALSE(doc.lines.edit(0, 1, 0, {5}, 1));     // the rest of the line would not be the same text
    EXPECT_EQ(doc.show(), "KK.|SS");
}

TEST(LineFormats, FormatsApplyOnlyTheirMask) {
    StyleTable styles;
    LineFormats lines;
    lines.reset({6});
    lines.applyFormat(0, 0, 6, defaultFormatWithColor(0xFF), styles);
    CharFormat italic;
    italic.mask = CFM_ITALIC | CFM_UNDERLINE;
    italic.effects = CFE_ITALIC;
    lines.applyFormat(0, 2, 4, italic, styles);
    const CharStyle& mid = styles.style(lines.styleAt(0, 3));
    EXPECT_EQ(mid.color, 0xFFu);
    EXPECT_EQ(mid.effects, CFE_ITALIC);
    EXPECT_EQ(styles.style(lines.styleAt(0, 5)).effects, 0u);
    // Back to the editor's format: no runs remain.
    lines.applyFormat(0, -5, 50, defaultFormat(), styles);
    EXPECT_TRUE(lines.line(0).runs.empty());
}

}  // namespace
