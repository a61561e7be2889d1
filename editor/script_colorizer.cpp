#include "editor/script_colorizer.h"

#include "editor/keyword_lists.h"
#include "editor/lexora.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace lexora {

namespace {

constexpr unsigned char kDelimiters[] = {0x00, '\t', '\n', '\r', ' ', '(', ')', '*', ';', '[', ']', '{', '}'};

// Unsigned byte-by-byte order, a prefix before the longer text.
bool lessBytes(std::string_view a, std::string_view b) {
    const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    return c != 0 ? c < 0 : a.size() < b.size();
}

bool isRem(std::string_view word) { return equalsNoCase(word, "rem"); }

// Upper-cases ASCII letters only: the keywords are ASCII, and the bytes of
// multi-byte characters must keep their offsets.
void upperAscii(std::string& text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

}  // namespace

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

ScriptColorizer::ScriptColorizer() {
    m_defaultFormat = defaultFormat();
    m_commentFormat = colorOnlyFormat(CommentColor);
    m_stringFormat = colorOnlyFormat(StringColor);
    buildTables();
    indexKeywords();
    m_fetchBuffer.reserve(4000);
}

void ScriptColorizer::buildTables() {
    for (auto& table : m_classTables) table.fill(NoClass);
    m_delimiterTable.fill(0);
    m_classTables[Normal]['"'] = OpenDouble;
    m_classTables[Normal]['\''] = OpenSingle;
    m_classTables[Normal]['/'] = Slash;
    m_classTables[DoubleQuoted]['"'] = CloseDouble;
    m_classTables[SingleQuoted]['\''] = CloseSingle;
    m_classTables[LineComment]['\n'] = LineEnd;
    m_classTables[BlockComment]['*'] = Star;
    for (unsigned char d : kDelimiters) m_delimiterTable[d] = 1;
    for (const KeywordEntry& entry : m_keywords) {
        m_classTables[Normal][static_cast<unsigned char>(entry.text[0])] = KeywordStart;
        if (isRem(entry.text)) m_classTables[SingleQuoted]['\n'] = LineEnd;
    }
}

bool ScriptColorizer::SetLanguage(LONG language) {
    if (language == m_language) return true;
    m_language = language;
    ClearKeywords();
    buildTables();
    try {
        if (language == ScriptLanguageJScript) {
            AddKeywordList(JScriptReservedWords, KeywordColor);
            AddKeywordList(JScriptMethods, FunctionColor);
            AddKeywordList(JScriptObjects, ObjectColor);
        } else if (language == ScriptLanguageVBScript) {
            AddKeywordList(VBScriptKeywords, KeywordColor);
            AddKeywordList(VBScriptFunctions, FunctionColor);
        }
    } catch (const std::bad_alloc&) {
        // Half a list would colour some words and not others: none at all,
        // and the next SetLanguage tries again.
        ClearKeywords();
        m_language = 0;
        return false;
    }
    return true;
}

void ScriptColorizer::AddKeywordList(std::string_view list, COLORREF color) {
    const CharFormat format = defaultFormatWithColor(color);
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t comma = list.find(',', pos);
        if (comma == std::string_view::npos) comma = list.size();
        const std::string_view word = list.substr(pos, comma - pos);
        if (!word.empty()) {
            if (isRem(word)) m_classTables[SingleQuoted]['\n'] = LineEnd;
            AddKeyword(word, format);
        }
        pos = comma + 1;
    }
}

void ScriptColorizer::AddKeyword(std::string_view word, const CharFormat& format) {
    if (word.empty()) return;
    auto at = std::lower_bound(m_keywords.begin(), m_keywords.end(), word,
                               [](const KeywordEntry& e, std::string_view w) { return lessBytes(e.text, w); });
    if (at != m_keywords.end() && at->text == word) {
        at->format = format;  // the word added last wins, with its format
    } else {
        m_keywords.insert(at, KeywordEntry{std::string(word), format});
    }
    m_classTables[Normal][static_cast<unsigned char>(word[0])] = KeywordStart;
    indexKeywords();
}

void ScriptColorizer::ClearKeywords() {
    for (const KeywordEntry& entry : m_keywords) {
        m_classTables[Normal][static_cast<unsigned char>(entry.text[0])] = NoClass;
        if (isRem(entry.text)) m_classTables[SingleQuoted]['\n'] = NoClass;
    }
    m_keywords.clear();
    indexKeywords();
}

void ScriptColorizer::indexKeywords() {
    m_firstEntry.fill(-1);
    for (int i = static_cast<int>(m_keywords.size()) - 1; i >= 0; --i)
        m_firstEntry[static_cast<unsigned char>(m_keywords[i].text[0])] = i;
}

const ScriptColorizer::KeywordEntry* ScriptColorizer::matchKeyword(const std::string& text, std::size_t i,
                                                                  std::size_t length) const {
    const unsigned char first = static_cast<unsigned char>(text[i]);
    const int from = m_firstEntry[first];
    if (from < 0) return nullptr;
    // The start of the text counts as a delimiter.
    if (i > 0 && !isDelimiter(static_cast<unsigned char>(text[i - 1]))) return nullptr;
    for (std::size_t k = static_cast<std::size_t>(from); k < m_keywords.size(); ++k) {
        const KeywordEntry& entry = m_keywords[k];
        if (static_cast<unsigned char>(entry.text[0]) != first) break;
        const std::size_t n = entry.text.size();
        if (n > length - i) continue;
        // The byte after the word (the terminating NUL included) must be a delimiter.
        if (std::memcmp(text.data() + i, entry.text.data(), n) == 0 &&
            isDelimiter(static_cast<unsigned char>(text[i + n])))
            return &entry;
    }
    return nullptr;
}

void ScriptColorizer::ColorRange(int start, int end, ColorTarget& target) {
    target.textRange(start, end, m_fetchBuffer);
    target.formatRange(start, end, m_defaultFormat);
    ScanText(m_fetchBuffer, start, target);
}

void ScriptColorizer::ScanText(std::string& text, int base, ColorTarget& target) {
    if (m_language == ScriptLanguageVBScript) upperAscii(text);
    // The text ends at its first NUL byte.
    const std::size_t length = std::strlen(text.c_str());

    // Spans are found in bytes; the target counts characters. Map only when
    // the text holds multi-byte characters.
    const bool ascii = std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii) {
        m_positions.resize(length + 1);
        int units = 0;
        for (std::size_t b = 0; b < length; ++b) {
            m_positions[b] = units;
            const unsigned char c = static_cast<unsigned char>(text[b]);
            if (c < 0x80 || (c >= 0xC0 && c < 0xF0)) units += 1;  // one UTF-16 unit
            else if (c >= 0xF0) units += 2;                        // a surrogate pair
            // continuation bytes add nothing
        }
        m_positions[length] = units;
    }
    auto position = [&](std::size_t byte) { return base + (ascii ? static_cast<int>(byte) : m_positions[byte]); };
    auto colour = [&](std::size_t from, std::size_t to, const CharFormat& format) {
        target.formatRange(position(from), position(to), format);
    };

    State state = Normal;
    if (length == 0) return;
    std::size_t start = 0;  // byte where the current string or comment began
    std::size_t i = 0;
    for (;;) {
        switch (m_classTables[state][static_cast<unsigned char>(text[i])]) {
        case OpenDouble:
            start = i;
            state = DoubleQuoted;
            break;
        case OpenSingle:
            start = i;
            state = SingleQuoted;
            break;
        case Slash:
            if (text[i + 1] == '/' || text[i + 1] == '*') {
                start = i;
                state = text[i + 1] == '/' ? LineComment : BlockComment;
                ++i;
            }
            break;  // otherwise a division sign
        case CloseDouble:
            colour(start, i + 1, m_stringFormat);
            state = Normal;
            break;
        case CloseSingle:
            if (!(i > 0 && text[i - 1] == '\\' && text[i + 1] == '\'')) {
                colour(start, i + 1, m_stringFormat);
                state = Normal;
            }
            break;
        case LineEnd:
            // A backslash two bytes before the line feed (before its carriage
            // return) continues the comment.
            if (!(i >= 2 && text[i - 2] == '\\')) {
                colour(start, i + 1, m_commentFormat);
                state = Normal;
            }
            break;
        case Star:
            if (text[i + 1] == '/') {
                ++i;
                colour(start, i + 1, m_commentFormat);
                state = Normal;
            }
            break;
        case KeywordStart:
            if (const KeywordEntry* entry = matchKeyword(text, i, length)) {
                if (isRem(entry->text)) {
                    start = i;
                    state = LineComment;
                } else {
                    colour(i, i + entry->text.size(), entry->format);
                    i += entry->text.size();  // onto the delimiter after the word
                }
            }
            break;
        default:
            break;
        }
        if (i >= length || text[i + 1] == '\0') break;
        ++i;
    }

    if (state == DoubleQuoted || state == SingleQuoted) colour(start, length, m_stringFormat);
    else if (state == LineComment || state == BlockComment) colour(start, length, m_commentFormat);
}

}  // namespace lexora
