#include "engines/jscript/call_assignment.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace jscript {
namespace {

bool isLineBreak(char16_t c) { return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029; }
bool isSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == 0xA0 || c == 0xFEFF || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F || c == 0x3000;
}
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool isIdentifierStart(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u'$' || c == u'\\' ||
           (c >= 0x80 && !isLineBreak(c) && !isSpace(c));
}
bool isIdentifierPart(char16_t c) { return isIdentifierStart(c) || isDigit(c); }

// Reserved words: after one, a slash starts a regular expression, and a
// parenthesis is no call.
bool isKeyword(std::u16string_view word) {
    static constexpr std::u16string_view words[] = {
        u"break",  u"case",   u"catch",  u"class",      u"const",  u"continue", u"debugger", u"default",
        u"delete", u"do",     u"else",   u"enum",       u"export", u"extends",  u"finally",  u"for",
        u"function", u"if",   u"import", u"in",         u"instanceof", u"new",  u"return",   u"super",
        u"switch", u"throw",  u"try",    u"typeof",     u"var",    u"void",     u"while",    u"with",
    };
    return std::find(std::begin(words), std::end(words), word) != std::end(words);
}

// Longest first, so that the first match is the token.
constexpr std::u16string_view kPunctuators[] = {
    u">>>=", u"...", u"===", u"!==", u"**=", u"<<=", u">>=", u">>>", u"=>", u"==", u"!=", u"<=", u">=",
    u"&&",   u"||",  u"??",  u"++",  u"--",  u"+=",  u"-=",  u"*=",  u"/=", u"%=", u"&=", u"|=", u"^=",
    u"**",   u"<<",  u">>",
};

bool isAssignment(std::u16string_view op) {
    static constexpr std::u16string_view ops[] = {u"=",   u"+=",  u"-=",  u"*=",   u"/=", u"%=", u"<<=",
                                                  u">>=", u">>>=", u"&=", u"|=", u"^=", u"**="};
    return std::find(std::begin(ops), std::end(ops), op) != std::end(ops);
}

enum class Kind { Name, Keyword, Number, String, Template, Regex, Punct };

struct Token {
    Kind kind;
    std::size_t start, end;
    bool lineBefore;  // a line break (or a comment holding one) comes before it
    int match = -1;   // the other bracket of a pair
};

class Scanner {
public:
    explicit Scanner(std::u16string_view src) : m_src(src) {}

    // Splits the whole text into tokens.
    void run() {
        bool lineBefore = false;
        std::vector<int> open;
        while (m_pos < m_src.size()) {
            const char16_t c = m_src[m_pos];
            if (isLineBreak(c)) {
                lineBefore = true;
                ++m_pos;
                continue;
            }
            if (isSpace(c)) {
                ++m_pos;
                continue;
            }
            if (c == u'/' && at(m_pos + 1) == u'/') {
                while (m_pos < m_src.size() && !isLineBreak(m_src[m_pos])) ++m_pos;
                continue;
            }
            if (c == u'/' && at(m_pos + 1) == u'*') {
                const std::size_t close = m_src.find(u"*/", m_pos + 2);
                const std::size_t end = close == std::u16string_view::npos ? m_src.size() : close + 2;
                for (std::size_t i = m_pos; i < end; ++i) lineBefore = lineBefore || isLineBreak(m_src[i]);
                m_pos = end;
                continue;
            }
            const std::size_t start = m_pos;
            const Kind kind = scanToken(c);
            m_tokens.push_back({kind, start, m_pos, lineBefore});
            lineBefore = false;
            if (kind == Kind::Punct && m_pos == start + 1) pair(open);
        }
    }

private:
    char16_t at(std::size_t i) const { return i < m_src.size() ? m_src[i] : 0; }
    std::u16string_view text(const Token& t) const { return m_src.substr(t.start, t.end - t.start); }
    bool is(int i, std::u16string_view punct) const {
        return i >= 0 && i < static_cast<int>(m_tokens.size()) && m_tokens[i].kind == Kind::Punct &&
               text(m_tokens[i]) == punct;
    }

    // Links a closing bracket with its opening one.
    void pair(std::vector<int>& open) {
        const int index = static_cast<int>(m_tokens.size()) - 1;
        const char16_t c = m_src[m_tokens[index].start];
        if (c == u'(' || c == u'[' || c == u'{') {
            open.push_back(index);
            return;
        }
        const char16_t opener = c == u')' ? u'(' : c == u']' ? u'[' : c == u'}' ? u'{' : 0;
        if (!opener) return;
        // Openers left unclosed inside the pair (text the compiler will
        // reject, or a slash taken for the wrong kind) stay unpaired, so
        // that one bad line does not mispair the rest of the text.
        auto it = std::find_if(open.rbegin(), open.rend(), [&](int i) { return m_src[m_tokens[i].start] == opener; });
        if (it == open.rend()) return;
        m_tokens[index].match = *it;
        m_tokens[*it].match = index;
        open.erase(std::prev(it.base()), open.end());
    }

    Kind scanToken(char16_t c) {
        if (isIdentifierStart(c)) {
            const std::size_t start = m_pos;
            while (m_pos < m_src.size() && isIdentifierPart(m_src[m_pos])) ++m_pos;
            // After a dot, any word is a member name.
            const int previous = static_cast<int>(m_tokens.size()) - 1;
            return !is(previous, u".") && isKeyword(m_src.substr(start, m_pos - start)) ? Kind::Keyword : Kind::Name;
        }
        if (isDigit(c) || (c == u'.' && isDigit(at(m_pos + 1)))) {
            scanNumber();
            return Kind::Number;
        }
        if (c == u'\'' || c == u'"') {
            m_pos = skipString(m_pos);
            return Kind::String;
        }
        if (c == u'`') {
            m_pos = skipTemplate(m_pos);
            return Kind::Template;
        }
        if (c == u'/' && regexAllowed()) {
            scanRegex();
            return Kind::Regex;
        }
        for (std::u16string_view p : kPunctuators) {
            if (m_src.substr(m_pos, p.size()) == p) {
                m_pos += p.size();
                return Kind::Punct;
            }
        }
        ++m_pos;  // any other character, alone
        return Kind::Punct;
    }

    void scanNumber() {
        const bool hex = m_src[m_pos] == u'0' && (at(m_pos + 1) == u'x' || at(m_pos + 1) == u'X');
        ++m_pos;
        while (m_pos < m_src.size()) {
            const char16_t c = m_src[m_pos];
            const char16_t before = m_src[m_pos - 1];
            if (isIdentifierPart(c) || c == u'.' ||
                ((c == u'+' || c == u'-') && !hex && (before == u'e' || before == u'E')))
                ++m_pos;
            else
                break;
        }
    }

    // The end of the string literal that starts at from.
    std::size_t skipString(std::size_t from) const {
        const char16_t quote = m_src[from];
        std::size_t i = from + 1;
        while (i < m_src.size() && m_src[i] != quote && !isLineBreak(m_src[i])) {
            if (m_src[i] == u'\\' && i + 1 < m_src.size()) {
                ++i;
                if (m_src[i] == u'\r' && at(i + 1) == u'\n') ++i;
            }
            ++i;
        }
        return i < m_src.size() && m_src[i] == quote ? i + 1 : i;
    }

    // The end of the template literal that starts at from: its substitutions
    // are skipped by their braces, minding the strings and templates in them.
    std::size_t skipTemplate(std::size_t from) const {
        std::size_t i = from + 1;
        while (i < m_src.size()) {
            const char16_t c = m_src[i];
            if (c == u'\\') {
                i += 2;
            } else if (c == u'`') {
                return i + 1;
            } else if (c == u'$' && at(i + 1) == u'{') {
                int depth = 1;
                i += 2;
                while (i < m_src.size() && depth > 0) {
                    const char16_t d = m_src[i];
                    if (d == u'\'' || d == u'"') i = skipString(i);
                    else if (d == u'`') i = skipTemplate(i);
                    else {
                        if (d == u'{') ++depth;
                        else if (d == u'}') --depth;
                        ++i;
                    }
                }
            } else {
                ++i;
            }
        }
        return m_src.size();
    }

    void scanRegex() {
        std::size_t i = m_pos + 1;
        bool inClass = false;
        while (i < m_src.size() && !isLineBreak(m_src[i])) {
            const char16_t c = m_src[i];
            if (c == u'\\') {
                i += 2;
                continue;
            }
            if (c == u'[') inClass = true;
            else if (c == u']') inClass = false;
            else if (c == u'/' && !inClass) break;
            ++i;
        }
        i = std::min(i, m_src.size());
        if (i < m_src.size() && m_src[i] == u'/') ++i;
        while (i < m_src.size() && isIdentifierPart(m_src[i])) ++i;  // flags
        m_pos = i;
    }

    // Whether a slash here starts a regular expression: not after a value.
    bool regexAllowed() const {
        if (m_tokens.empty()) return true;
        const Token& t = m_tokens.back();
        switch (t.kind) {
        case Kind::Keyword: return true;
        case Kind::Punct: {
            const std::u16string_view p = text(t);
            if (p == u")") return !endsValue(static_cast<int>(m_tokens.size()) - 1);
            return p != u"]" && p != u"++" && p != u"--";
        }
        default: return false;
        }
    }

public:
    // Whether token i ends a value that a call, an index or a member can
    // follow: a name, a literal, an index or call, a parenthesized value;
    // not the condition of if, while, for, with, switch or catch, nor a
    // function's parameters.
    bool endsValue(int i) const {
        if (i < 0 || i >= static_cast<int>(m_tokens.size())) return false;
        const Token& t = m_tokens[i];
        if (t.kind == Kind::Keyword) return false;
        if (t.kind != Kind::Punct) return true;
        const std::u16string_view p = text(t);
        if (p == u"]") return true;
        if (p != u")" || t.match < 0) return false;
        const int before = t.match - 1;
        if (before < 0) return true;
        const Token& b = m_tokens[before];
        if (b.kind == Kind::Keyword) return false;  // if (...), function (...), and the like
        return !(b.kind == Kind::Name && before > 0 && m_tokens[before - 1].kind == Kind::Keyword &&
                 text(m_tokens[before - 1]) == u"function");
    }

    const std::vector<Token>& tokens() const { return m_tokens; }
    bool punct(int i, std::u16string_view p) const { return is(i, p); }
    std::u16string_view textOf(int i) const { return text(m_tokens[i]); }

private:
    std::u16string_view m_src;
    std::size_t m_pos = 0;
    std::vector<Token> m_tokens;
};

struct Edit {
    std::size_t start, end;  // the source range replaced (empty: an insertion)
    std::u16string text;
};

class Rewriter {
public:
    explicit Rewriter(std::u16string_view src) : m_src(src), m_scan(src) { m_scan.run(); }

    std::u16string run() {
        const auto& t = m_scan.tokens();
        const int n = static_cast<int>(t.size());
        for (int i = 0; i < n; ++i) {
            if (m_scan.punct(i, u")") && i + 1 < n) {
                // A call before an assignment, or before ++ or -- on its line.
                const bool assigned = t[i + 1].kind == Kind::Punct && isAssignment(m_scan.textOf(i + 1));
                const bool incremented = (m_scan.punct(i + 1, u"++") || m_scan.punct(i + 1, u"--")) && !t[i + 1].lineBefore;
                if (assigned || incremented) rewriteCall(i, -1);
            }
            if ((m_scan.punct(i, u"++") || m_scan.punct(i, u"--")) && (!m_scan.endsValue(i - 1) || t[i].lineBefore)) {
                // A prefix increment of a value that ends with a call.
                const int close = operandEnd(i + 1);
                if (close >= 0 && m_scan.punct(close, u")")) rewriteCall(close, i + 1);
            }
        }
        if (m_edits.empty()) return std::u16string(m_src);
        std::sort(m_edits.begin(), m_edits.end(), [](const Edit& a, const Edit& b) {
            return a.start != b.start ? a.start < b.start : (a.end == a.start) > (b.end == b.start);
        });
        std::u16string out;
        out.reserve(m_src.size() + m_edits.size() * 8);
        std::size_t pos = 0;
        for (const Edit& e : m_edits) {
            out.append(m_src.substr(pos, e.start - pos));
            out += e.text;
            pos = e.end;
        }
        out.append(m_src.substr(pos));
        return out;
    }

private:
    // The first token of the chain of members, indexes and calls that ends
    // at token j; -1 when it does not start with a value.
    int chainStart(int j) const {
        const auto& t = m_scan.tokens();
        for (;;) {
            if (j < 0) return -1;
            if (m_scan.punct(j, u")") || m_scan.punct(j, u"]")) {
                const int open = t[j].match;
                if (open < 0) return -1;
                if (!m_scan.endsValue(open - 1)) return open;  // a parenthesized value or an array
                j = open - 1;
                continue;
            }
            if (t[j].kind == Kind::Name) {
                if (!m_scan.punct(j - 1, u".")) return j;
                j -= 2;
                if (!m_scan.endsValue(j)) return -1;
                continue;
            }
            if (t[j].kind == Kind::Number || t[j].kind == Kind::String || t[j].kind == Kind::Template ||
                t[j].kind == Kind::Regex)
                return j;
            return -1;
        }
    }

    // The last token of the operand that starts at token i (a value and its
    // members, indexes and calls); -1 when none starts there.
    int operandEnd(int i) const {
        const auto& t = m_scan.tokens();
        const int n = static_cast<int>(t.size());
        if (i >= n) return -1;
        int j;
        if (t[i].kind == Kind::Name || (t[i].kind != Kind::Punct && t[i].kind != Kind::Keyword)) j = i;
        else if ((m_scan.punct(i, u"(") || m_scan.punct(i, u"[")) && t[i].match > i) j = t[i].match;
        else return -1;
        for (;;) {
            if (m_scan.punct(j + 1, u".") && j + 2 < n && t[j + 2].kind == Kind::Name) j += 2;
            else if ((m_scan.punct(j + 1, u"(") || m_scan.punct(j + 1, u"[")) && t[j + 1].match > j) j = t[j + 1].match;
            else return j;
        }
    }

    // The line breaks in [from, to), which a replacement of that text keeps.
    std::u16string lineBreaks(std::size_t from, std::size_t to) const {
        std::u16string breaks;
        for (std::size_t i = from; i < to; ++i) {
            if (isLineBreak(m_src[i])) breaks += m_src[i];
        }
        return breaks;
    }

    // Rewrites the call whose argument list ends at token close; start,
    // when known, is where the chain must begin.
    void rewriteCall(int close, int start) {
        const auto& t = m_scan.tokens();
        const int open = t[close].match;
        if (open < 1 || !m_scan.endsValue(open - 1)) return;  // a parenthesized value, not a call
        const int callee = open - 1;
        std::vector<Edit> edits;
        int first;
        if (t[callee].kind == Kind::Name && m_scan.punct(callee - 1, u".") && m_scan.endsValue(callee - 2)) {
            // obj.Name(args)
            const int object = callee - 2;
            first = chainStart(object);
            edits.push_back({t[object].end, t[open].end,
                             u", \"" + std::u16string(m_scan.textOf(callee)) + u"\", [" +
                                 lineBreaks(t[object].end, t[open].end)});
        } else if (m_scan.punct(callee, u"]") && t[callee].match > 0 && m_scan.endsValue(t[callee].match - 1)) {
            // obj[key](args)
            const int bracket = t[callee].match;
            const int object = bracket - 1;
            first = chainStart(object);
            edits.push_back({t[object].end, t[bracket].end, u", (" + lineBreaks(t[object].end, t[bracket].end)});
            edits.push_back({t[callee].start, t[open].end, u"), [" + lineBreaks(t[callee].start, t[open].end)});
        } else {
            // callee(args): the default member
            first = chainStart(callee);
            edits.push_back({t[callee].end, t[open].end, u", null, [" + lineBreaks(t[callee].end, t[open].end)});
        }
        if (first < 0 || (start >= 0 && first != start)) return;
        // "new X(a).b(c)" is left alone: new would take the reference.
        if (first > 0 && t[first - 1].kind == Kind::Keyword && m_scan.textOf(first - 1) == u"new") return;
        edits.push_back({t[first].start, t[first].start, u"__qRef("});
        edits.push_back({t[close].start, t[close].end, u"]).v"});
        for (const Edit& e : edits) {
            for (const Edit& a : m_edits) {
                if (overlap(e, a)) return;
            }
        }
        for (Edit& e : edits) m_edits.push_back(std::move(e));
    }

    static bool overlap(const Edit& a, const Edit& b) {
        if (a.start == a.end && b.start == b.end) return a.start == b.start;
        if (a.start == a.end) return b.start < a.start && a.start < b.end;
        if (b.start == b.end) return a.start < b.start && b.start < a.end;
        return std::max(a.start, b.start) < std::min(a.end, b.end);
    }

    std::u16string_view m_src;
    Scanner m_scan;
    std::vector<Edit> m_edits;
};

}  // namespace

std::u16string rewriteCallAssignments(std::u16string_view source) {
    // Most chunks assign to no call: only a ")" followed by an assignment or
    // an increment makes the pass worth running.
    if (source.find(u')') == std::u16string_view::npos) return std::u16string(source);
    return Rewriter(source).run();
}

}  // namespace jscript
