#include "engines/vbscript/lexer.h"

#include "engines/vbscript/errors.h"
#include "runtime/bstr.h"

#include <cmath>
#include <unordered_map>

namespace vbs {

namespace {

bool isLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
}
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool isNameChar(char16_t c) { return isLetter(c) || isDigit(c) || c == u'_'; }
bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == 0xA0 || c == u'\f' || c == u'\v'; }

Kw keywordOf(std::u16string_view folded) {
    static const std::unordered_map<std::u16string, Kw> table = {
        {u"and", Kw::And}, {u"byref", Kw::ByRef}, {u"byval", Kw::ByVal}, {u"call", Kw::Call}, {u"case", Kw::Case},
        {u"class", Kw::Class}, {u"const", Kw::Const}, {u"dim", Kw::Dim}, {u"do", Kw::Do}, {u"each", Kw::Each},
        {u"else", Kw::Else}, {u"elseif", Kw::ElseIf}, {u"empty", Kw::Empty}, {u"end", Kw::End}, {u"eqv", Kw::Eqv},
        {u"erase", Kw::Erase}, {u"error", Kw::Error}, {u"exit", Kw::Exit}, {u"explicit", Kw::Explicit},
        {u"false", Kw::False}, {u"for", Kw::For}, {u"function", Kw::Function}, {u"get", Kw::Get},
        {u"goto", Kw::GoTo}, {u"if", Kw::If}, {u"imp", Kw::Imp}, {u"in", Kw::In}, {u"is", Kw::Is},
        {u"let", Kw::Let}, {u"loop", Kw::Loop}, {u"me", Kw::Me}, {u"mod", Kw::Mod}, {u"new", Kw::New},
        {u"next", Kw::Next}, {u"not", Kw::Not}, {u"nothing", Kw::Nothing}, {u"null", Kw::Null}, {u"on", Kw::On},
        {u"option", Kw::Option}, {u"or", Kw::Or}, {u"preserve", Kw::Preserve}, {u"private", Kw::Private},
        {u"property", Kw::Property}, {u"public", Kw::Public}, {u"redim", Kw::ReDim}, {u"resume", Kw::Resume},
        {u"select", Kw::Select}, {u"set", Kw::Set}, {u"step", Kw::Step}, {u"stop", Kw::Stop}, {u"sub", Kw::Sub},
        {u"then", Kw::Then}, {u"to", Kw::To}, {u"true", Kw::True}, {u"until", Kw::Until}, {u"wend", Kw::Wend},
        {u"while", Kw::While}, {u"with", Kw::With}, {u"xor", Kw::Xor},
    };
    auto it = table.find(std::u16string(folded));
    return it == table.end() ? Kw::None : it->second;
}

class Lexer {
public:
    explicit Lexer(std::u16string_view text) : m_text(text) {}

    std::vector<Token> run() {
        // A byte-order mark left at the start of decoded text is no part of the script.
        if (!m_text.empty() && m_text[0] == 0xFEFF) m_pos = m_lineStart = m_tokStart = 1;
        rejectNul();
        while (m_pos < m_text.size()) {
            char16_t c = m_text[m_pos];
            if (isBlank(c)) { advance(); continue; }
            if (c == u'\r' || c == u'\n') { newline(); continue; }
            if (c == u'\'') { skipComment(); continue; }
            if (c == u'_' && continuation()) continue;
            if (isLetter(c) || c == u'[') { name(); continue; }
            if (isDigit(c) || (c == u'.' && m_pos + 1 < m_text.size() && isDigit(m_text[m_pos + 1]) &&
                                 (!afterOperand() || (m_pos > 0 && isBlank(m_text[m_pos - 1]))))) {
                number();
                continue;
            }
            if (c == u'"') { string(); continue; }
            if (c == u'#' ) { date(); continue; }
            if (c == u'&' && m_pos + 1 < m_text.size()) {
                char16_t n = m_text[m_pos + 1];
                if (n == u'h' || n == u'H' || n == u'o' || n == u'O' || isDigit(n)) {
                    if (radixNumber()) continue;
                }
            }
            symbol();
        }
        m_tokStart = m_pos;
        push(Tok::Newline);
        push(Tok::End);
        return std::move(m_tokens);
    }

private:
    [[noreturn]] void fail(int number) { fail(number, m_line, m_pos - m_lineStart); }
    [[noreturn]] void fail(int number, std::uint32_t line, std::size_t column) {
        ScriptError e;
        e.scode = errorStatus(number);
        e.description = errorText(number);
        e.compile = true;
        e.positioned = true;
        e.line = line;
        e.column = static_cast<std::uint32_t>(column);
        throw e;
    }

    // A NUL anywhere, strings and comments included, is an invalid
    // character at its own line (text cut short at it would run silently
    // as less than was written).
    void rejectNul() {
        const std::size_t at = m_text.find(u'\0', m_pos);
        if (at == std::u16string_view::npos) return;
        std::uint32_t line = 0;
        std::size_t lineStart = m_lineStart;
        for (std::size_t p = m_pos; p < at; ++p) {
            const char16_t c = m_text[p];
            if (c == u'\r' && p + 1 < at && m_text[p + 1] == u'\n') ++p;
            if (c == u'\r' || c == u'\n') {
                ++line;
                lineStart = p + 1;
            }
        }
        fail(err::InvalidCharacter, line, at - lineStart);
    }

    void advance() { ++m_pos; }
    std::uint32_t column() const { return static_cast<std::uint32_t>(m_tokStart - m_lineStart); }

    Token& push(Tok type) {
        Token t;
        t.type = type;
        t.line = m_line;
        t.column = column();
        t.spaced = m_tokStart > 0 && isBlank(m_text[m_tokStart - 1]);
        m_tokens.push_back(std::move(t));
        return m_tokens.back();
    }

    bool afterOperand() const {
        if (m_tokens.empty()) return false;
        const Token& t = m_tokens.back();
        return (t.type == Tok::Name && (t.kw == Kw::None)) || t.type == Tok::RParen || t.type == Tok::Literal;
    }

    void newline() {
        m_tokStart = m_pos;
        if (m_tokens.empty() || m_tokens.back().type != Tok::Newline) push(Tok::Newline);
        if (m_text[m_pos] == u'\r' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == u'\n') ++m_pos;
        ++m_pos;
        ++m_line;
        m_lineStart = m_pos;
    }

    void skipComment() {
        while (m_pos < m_text.size() && m_text[m_pos] != u'\r' && m_text[m_pos] != u'\n') ++m_pos;
    }

    // "_" standing alone (names swallow their own underscores) followed by
    // the end of the line joins the next line to this one, whether a blank
    // or an operator comes before it.
    bool continuation() {
        std::size_t p = m_pos + 1;
        while (p < m_text.size() && isBlank(m_text[p])) ++p;
        if (p < m_text.size() && m_text[p] != u'\r' && m_text[p] != u'\n') return false;
        m_pos = p;
        if (m_pos < m_text.size()) {
            if (m_text[m_pos] == u'\r' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == u'\n') ++m_pos;
            ++m_pos;
        }
        ++m_line;
        m_lineStart = m_pos;
        return true;
    }

    void name() {
        m_tokStart = m_pos;
        std::u16string text;
        if (m_text[m_pos] == u'[') {
            ++m_pos;
            while (m_pos < m_text.size() && m_text[m_pos] != u']' && m_text[m_pos] != u'\n') text += m_text[m_pos++];
            if (m_pos >= m_text.size() || m_text[m_pos] != u']') fail(err::ExpectedIdentifier);
            ++m_pos;
            Token& t = push(Tok::Name);
            t.text = std::move(text);
            return;
        }
        while (m_pos < m_text.size() && isNameChar(m_text[m_pos])) text += m_text[m_pos++];
        Kw kw = keywordOf(foldName(text));
        // A name right after '.' is a member name, whatever it spells.
        if (!m_tokens.empty() && m_tokens.back().type == Tok::Dot) kw = Kw::None;
        if (kw == Kw::None && foldName(text) == u"rem" &&
            (m_tokens.empty() || m_tokens.back().type != Tok::Dot)) {
            skipComment();
            return;
        }
        Token& t = push(Tok::Name);
        t.kw = kw;
        t.text = std::move(text);
    }

    void number() {
        m_tokStart = m_pos;
        std::size_t start = m_pos;
        bool real = false;
        while (m_pos < m_text.size() && isDigit(m_text[m_pos])) ++m_pos;
        if (m_pos < m_text.size() && m_text[m_pos] == u'.') {
            real = true;
            ++m_pos;
            while (m_pos < m_text.size() && isDigit(m_text[m_pos])) ++m_pos;
        }
        if (m_pos < m_text.size() && (m_text[m_pos] == u'e' || m_text[m_pos] == u'E')) {
            std::size_t p = m_pos + 1;
            if (p < m_text.size() && (m_text[p] == u'+' || m_text[p] == u'-')) ++p;
            if (p < m_text.size() && isDigit(m_text[p])) {
                real = true;
                m_pos = p;
                while (m_pos < m_text.size() && isDigit(m_text[m_pos])) ++m_pos;
            }
        }
        std::string digits(m_text.begin() + static_cast<std::ptrdiff_t>(start),
                           m_text.begin() + static_cast<std::ptrdiff_t>(m_pos));
        Token& t = push(Tok::Literal);
        if (m_pos < m_text.size() && isLetter(m_text[m_pos])) fail(err::ExpectedEndOfStatement);
        double d = std::strtod(digits.c_str(), nullptr);
        if (!std::isfinite(d)) fail(err::InvalidNumber, t.line, t.column);
        if (!real && d <= 32767) t.value = Value::integer(static_cast<std::int16_t>(d));
        else if (!real && d <= 2147483647.0) t.value = Value::longInt(static_cast<std::int32_t>(d));
        else t.value = Value::number(d);
    }

    bool radixNumber() {
        m_tokStart = m_pos;
        std::size_t p = m_pos + 1;
        int base = 8;
        if (m_text[p] == u'h' || m_text[p] == u'H') { base = 16; ++p; }
        else if (m_text[p] == u'o' || m_text[p] == u'O') { ++p; }
        std::uint64_t v = 0;
        std::size_t digitsStart = p;
        while (p < m_text.size()) {
            char16_t c = m_text[p];
            int d = isDigit(c) ? c - u'0' : (c >= u'a' && c <= u'f') ? c - u'a' + 10 : (c >= u'A' && c <= u'F') ? c - u'A' + 10 : 99;
            if (d >= base) break;
            v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
            if (v > 0xFFFFFFFFull) fail(err::InvalidNumber);
            ++p;
        }
        if (p == digitsStart) return false;
        bool longSuffix = p < m_text.size() && m_text[p] == u'&';
        if (longSuffix) ++p;
        m_pos = p;
        Token& t = push(Tok::Literal);
        // The digits are a bit pattern: up to 16 bits an Integer, else a Long.
        // With the '&' suffix they are a value, in the smallest type that holds it.
        if (longSuffix && v <= 0x7FFF) t.value = Value::integer(static_cast<std::int16_t>(v));
        else if (!longSuffix && v <= 0xFFFF) t.value = Value::integer(static_cast<std::int16_t>(static_cast<std::uint16_t>(v)));
        else t.value = Value::longInt(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
        return true;
    }

    void string() {
        m_tokStart = m_pos;
        ++m_pos;
        std::u16string text;
        for (;;) {
            if (m_pos >= m_text.size() || m_text[m_pos] == u'\n' || m_text[m_pos] == u'\r') {
                fail(err::UnterminatedString, m_line, m_tokStart - m_lineStart);
            }
            char16_t c = m_text[m_pos++];
            if (c == u'"') {
                if (m_pos < m_text.size() && m_text[m_pos] == u'"') {
                    text += u'"';
                    ++m_pos;
                    continue;
                }
                break;
            }
            text += c;
        }
        Token& t = push(Tok::Literal);
        t.value = Value::string(std::move(text));
    }

    void date() {
        m_tokStart = m_pos;
        std::size_t end = m_pos + 1;
        while (end < m_text.size() && m_text[end] != u'#' && m_text[end] != u'\n' && m_text[end] != u'\r') ++end;
        if (end >= m_text.size() || m_text[end] != u'#') fail(err::SyntaxError);
        std::u16string_view body = m_text.substr(m_pos + 1, end - m_pos - 1);
        VARIANT in, out;
        VariantInit(&in);
        VariantInit(&out);
        in.vt = VT_BSTR;
        in.bstrVal = SysAllocStringLen(body.data(), static_cast<UINT>(body.size()));
        HRESULT hr = VariantChangeType(&out, &in, 0, VT_DATE);
        VariantClear(&in);
        if (FAILED(hr)) fail(err::SyntaxError);
        m_pos = end + 1;
        Token& t = push(Tok::Literal);
        t.value = Value::date(out.date);
    }

    void symbol() {
        m_tokStart = m_pos;
        char16_t c = m_text[m_pos++];
        char16_t n = m_pos < m_text.size() ? m_text[m_pos] : 0;
        switch (c) {
        case u':': push(Tok::Colon); return;
        case u'(': push(Tok::LParen); return;
        case u')': push(Tok::RParen); return;
        case u',': push(Tok::Comma); return;
        case u'.': push(Tok::Dot); return;
        case u'+': push(Tok::Plus); return;
        case u'-': push(Tok::Minus); return;
        case u'*': push(Tok::Star); return;
        case u'/': push(Tok::Slash); return;
        case u'\\': push(Tok::Backslash); return;
        case u'^': push(Tok::Caret); return;
        case u'&': push(Tok::Amp); return;
        // =>, =< and >< are older spellings of >=, <= and <>.
        case u'=':
            if (n == u'>') { ++m_pos; push(Tok::Ge); return; }
            if (n == u'<') { ++m_pos; push(Tok::Le); return; }
            push(Tok::Eq);
            return;
        case u'<':
            if (n == u'>') { ++m_pos; push(Tok::Ne); return; }
            if (n == u'=') { ++m_pos; push(Tok::Le); return; }
            push(Tok::Lt);
            return;
        case u'>':
            if (n == u'=') { ++m_pos; push(Tok::Ge); return; }
            if (n == u'<') { ++m_pos; push(Tok::Ne); return; }
            push(Tok::Gt);
            return;
        default: fail(err::InvalidCharacter, m_line, m_tokStart - m_lineStart);
        }
    }

    std::u16string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_tokStart = 0;
    std::size_t m_lineStart = 0;
    std::uint32_t m_line = 0;
    std::vector<Token> m_tokens;
};

}  // namespace

std::u16string foldName(std::u16string_view name) {
    std::u16string out(name);
    for (char16_t& c : out) {
        if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c = static_cast<char16_t>(c + 32);
    }
    return out;
}

std::vector<Token> tokenize(std::u16string_view text) { return Lexer(text).run(); }

}  // namespace vbs
