// ScriptColorizer: decides the colour of script text by classifying bytes.
// It never parses the language: a table per scan state maps each byte to a
// character class, a sorted keyword list with one format per word colours
// whole words, and strings and comments are found by a small state machine.
// It works on the UTF-8 bytes of one character range at a time.
#pragma once

#include "editor/char_format.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lexora {

// What the colorizer colours: the text of a range and formats for spans.
// Positions are character positions (UTF-16 units) of the edited text; end
// is exclusive.
class ColorTarget {
public:
    // Replaces out with the UTF-8 text of [start, end).
    virtual void textRange(int start, int end, std::string& out) = 0;
    virtual void formatRange(int start, int end, const CharFormat& format) = 0;

protected:
    ~ColorTarget() = default;
};

class ScriptColorizer {
public:
    enum State : std::uint8_t { Normal, DoubleQuoted, SingleQuoted, LineComment, BlockComment, StateCount };
    enum CharClass : std::uint8_t {
        NoClass = 0,
        OpenDouble = 1,
        CloseDouble = 2,
        OpenSingle = 3,
        CloseSingle = 4,
        Slash = 5,
        LineEnd = 6,
        Star = 7,
        KeywordStart = 8,
    };

    struct KeywordEntry {
        std::string text;
        CharFormat format;
    };

    ScriptColorizer();

    LONG language() const { return m_language; }
    // 1 JScript, 2 VBScript; other values select no keyword lists. Rebuilds
    // the tables and lists only when the value changes. Returns false when
    // memory ran out; the colorizer then holds no keywords and language 0.
    bool SetLanguage(LONG language);
    // Adds every non-empty comma-separated word of list with DefaultFormat
    // in the given colour.
    void AddKeywordList(std::string_view list, COLORREF color);
    // Inserts word in byte order; an equal word already listed is replaced.
    void AddKeyword(std::string_view word, const CharFormat& format);
    void ClearKeywords();

    // Resets [start, end) to DefaultFormat and colours the strings, comments
    // and keywords found in its text.
    void ColorRange(int start, int end, ColorTarget& target);
    // Colours text whose first character is at position base. VBScript text
    // is upper-cased in place first.
    void ScanText(std::string& text, int base, ColorTarget& target);

    const std::vector<KeywordEntry>& keywords() const { return m_keywords; }
    std::uint8_t classOf(State state, unsigned char byte) const { return m_classTables[state][byte]; }
    bool isDelimiter(unsigned char byte) const { return m_delimiterTable[byte] != 0; }

private:
    void buildTables();
    void indexKeywords();
    // The first entry, in list order, that matches at byte i; nullptr if none.
    const KeywordEntry* matchKeyword(const std::string& text, std::size_t i, std::size_t length) const;

    LONG m_language = 0;
    std::array<std::array<std::uint8_t, 256>, StateCount> m_classTables{};
    std::array<std::uint8_t, 256> m_delimiterTable{};
    // Ascending unsigned byte order, no two equal texts.
    std::vector<KeywordEntry> m_keywords;
    // Index of the first entry starting with each byte, or -1: entries with
    // another first byte can never match there.
    std::array<int, 256> m_firstEntry{};
    CharFormat m_defaultFormat, m_commentFormat, m_stringFormat;
    std::string m_fetchBuffer;
    std::vector<int> m_positions;  // byte index -> character position, for non-ASCII text
};

// True when a equals b ignoring ASCII letter case.
bool equalsNoCase(std::string_view a, std::string_view b);

}  // namespace lexora
