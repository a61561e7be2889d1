#include "engines/jscript/conditional_compilation.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace jscript {
namespace {

constexpr HRESULT kSyntaxError = static_cast<HRESULT>(0x800A03EA);          // 1002
constexpr HRESULT kExpectedOpenParen = static_cast<HRESULT>(0x800A03ED);    // 1005
constexpr HRESULT kExpectedCloseParen = static_cast<HRESULT>(0x800A03EE);   // 1006
constexpr HRESULT kExpectedAssign = static_cast<HRESULT>(0x800A03F3);       // 1011
constexpr HRESULT kExpectedEnd = static_cast<HRESULT>(0x800A0405);          // 1029
constexpr HRESULT kCcTurnedOff = static_cast<HRESULT>(0x800A0406);          // 1030
constexpr HRESULT kExpectedConstant = static_cast<HRESULT>(0x800A0407);     // 1031
constexpr HRESULT kExpectedAt = static_cast<HRESULT>(0x800A0408);           // 1032

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool isLineBreak(char16_t c) { return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029; }
bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == 0xA0 || c == 0xFEFF; }
bool isIdentifierStart(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u'$' || c >= 0x80;
}
bool isIdentifierPart(char16_t c) { return isIdentifierStart(c) || (c >= u'0' && c <= u'9'); }

// Words after which a slash starts a regular expression, not a division.
bool precedesExpression(std::u16string_view word) {
    static constexpr std::u16string_view words[] = {u"return", u"typeof", u"case", u"do", u"else", u"in",
                                                    u"instanceof", u"new", u"void", u"delete", u"throw"};
    for (auto w : words) {
        if (w == word) return true;
    }
    return false;
}

double toNumber(const CcValue& v) { return v.number; }

std::int32_t toInt32(double d) {
    if (!std::isfinite(d)) return 0;
    const double m = std::fmod(std::trunc(d), 4294967296.0);
    const auto u = static_cast<std::uint32_t>(static_cast<std::int64_t>(m < 0 ? m + 4294967296.0 : m));
    return static_cast<std::int32_t>(u);
}
std::uint32_t toUint32(double d) { return static_cast<std::uint32_t>(toInt32(d)); }

bool strictEquals(const CcValue& a, const CcValue& b) { return a.isBoolean == b.isBoolean && a.number == b.number; }

}  // namespace

std::u16string ccValueText(const CcValue& value) {
    if (value.isBoolean) return value.number != 0 ? u"true" : u"false";
    const double d = value.number;
    if (d != d) return u"NaN";
    if (std::isinf(d)) return d > 0 ? u"Infinity" : u"(-Infinity)";
    char buffer[64];
    std::to_chars_result r{};
    if (d == std::trunc(d) && std::fabs(d) < 1e21) r = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::fixed, 0);
    else r = std::to_chars(buffer, buffer + sizeof buffer, d);
    std::u16string text(buffer, r.ptr);
    if (d == 0) text = u"0";
    // Parenthesized, so that "x-@v" cannot become "x--1".
    if (text[0] == u'-') text = u"(" + text + u")";
    return text;
}

ConditionalCompiler::ConditionalCompiler() {
    // This engine runs on Linux. Scripts ask @_win32 to tell a desktop
    // system with the 32-bit-or-later programming interfaces from the old
    // 16-bit and Macintosh ones, which is what this runtime offers, so it
    // is true; @_win64 says whether pointers are 64 bits wide. Processor
    // variables follow the machine the engine was built for; the others are
    // false rather than undefined, so that @if (@_mac) reads plainly.
    constexpr bool wide = sizeof(void*) == 8;
#if defined(__x86_64__)
    constexpr bool x86 = false, amd64 = true;
#elif defined(__i386__)
    constexpr bool x86 = true, amd64 = false;
#else
    constexpr bool x86 = false, amd64 = false;
#endif
    m_variables = {
        {u"_jscript", CcValue::ofBoolean(true)},
        {u"_jscript_version", CcValue::ofNumber(kEngineMajorVersion + kEngineMinorVersion / 10.0)},
        {u"_jscript_build", CcValue::ofNumber(kEngineBuildVersion)},
        {u"_win32", CcValue::ofBoolean(true)},
        {u"_win64", CcValue::ofBoolean(wide)},
        {u"_win16", CcValue::ofBoolean(false)},
        {u"_x86", CcValue::ofBoolean(x86)},
        {u"_amd64", CcValue::ofBoolean(amd64)},
        {u"_ia64", CcValue::ofBoolean(false)},
        {u"_mac", CcValue::ofBoolean(false)},
        {u"_alpha", CcValue::ofBoolean(false)},
        {u"_mc680x0", CcValue::ofBoolean(false)},
        {u"_PowerPC", CcValue::ofBoolean(false)},
    };
}

CcValue ConditionalCompiler::variable(std::u16string_view name) const {
    auto it = m_variables.find(name);
    return it == m_variables.end() ? CcValue::ofNumber(kNaN) : it->second;
}

// One run of the pass over one chunk.
class CcPass {
public:
    CcPass(ConditionalCompiler& state, std::u16string_view source, std::u16string& out)
        : m_state(state), m_src(source), m_out(out) {}

    bool run(ConditionalCompiler::Error& error) {
        m_out.clear();
        m_out.reserve(m_src.size());
        if (!step()) {
            error = m_error;
            return false;
        }
        if (!m_frames.empty()) {
            fail(kExpectedEnd, u"Expected '@end'");
            error = m_error;
            return false;
        }
        return true;
    }

private:
    // An @if and what followed it so far.
    struct Frame {
        bool outerLive;
        bool taken;  // a branch was chosen
        bool live;   // the text now is compiled
    };
    enum class CcComment { None, Block, Line };

    bool live() const { return m_frames.empty() || m_frames.back().live; }
    char16_t at(std::size_t i) const { return i < m_src.size() ? m_src[i] : 0; }
    bool startsWith(std::size_t i, std::u16string_view text) const { return m_src.substr(std::min(i, m_src.size())).starts_with(text); }

    // Copies [from, to) as it is when the text is live, else as spaces.
    void emit(std::size_t from, std::size_t to, bool visible) {
        for (std::size_t i = from; i < to; ++i) {
            const char16_t c = m_src[i];
            m_out.push_back(visible || isLineBreak(c) ? c : u' ');
        }
    }
    void blank(std::size_t from, std::size_t to) { emit(from, to, false); }

    bool fail(HRESULT number, std::u16string description) {
        m_error.number = number;
        m_error.description = std::move(description);
        m_error.line = lineAt(m_pos);
        return false;
    }
    int lineAt(std::size_t pos) const {
        int line = 1;
        for (std::size_t i = 0; i < pos && i < m_src.size(); ++i) {
            const char16_t c = m_src[i];
            if (c == u'\n' || c == 0x2028 || c == 0x2029 || (c == u'\r' && at(i + 1) != u'\n')) ++line;
        }
        return line;
    }

    std::u16string_view identifierAt(std::size_t i) const {
        std::size_t end = i;
        if (!isIdentifierStart(at(end))) return {};
        while (end < m_src.size() && isIdentifierPart(m_src[end])) ++end;
        return m_src.substr(i, end - i);
    }

    bool step() {
        while (m_pos < m_src.size()) {
            const char16_t c = m_src[m_pos];
            if (m_comment == CcComment::Block && (startsWith(m_pos, u"@*/") || startsWith(m_pos, u"*/"))) {
                const std::size_t length = c == u'@' ? 3 : 2;
                blank(m_pos, m_pos + length);
                m_pos += length;
                m_comment = CcComment::None;
                continue;
            }
            if (isLineBreak(c)) {
                if (m_comment == CcComment::Line) m_comment = CcComment::None;
                m_out.push_back(c);
                ++m_pos;
                continue;
            }
            if (c == u'/' && (at(m_pos + 1) == u'*' || at(m_pos + 1) == u'/')) {
                scanComment();
                continue;
            }
            if (c == u'\'' || c == u'"') {
                scanQuoted(c);
                m_regexAllowed = false;
                continue;
            }
            if (c == u'/' && m_regexAllowed) {
                scanRegex();
                m_regexAllowed = false;
                continue;
            }
            if (c == u'@') {
                if (!directive()) return false;
                continue;
            }
            if (isIdentifierStart(c) || (c >= u'0' && c <= u'9')) {
                const std::size_t start = m_pos;
                while (m_pos < m_src.size() && (isIdentifierPart(m_src[m_pos]) || m_src[m_pos] == u'.')) ++m_pos;
                emit(start, m_pos, live());
                m_regexAllowed = isIdentifierStart(c) && precedesExpression(m_src.substr(start, m_pos - start));
                continue;
            }
            if (!isSpace(c)) m_regexAllowed = c != u')' && c != u']';
            emit(m_pos, m_pos + 1, live());
            ++m_pos;
        }
        return true;
    }

    void scanComment() {
        const bool block = at(m_pos + 1) == u'*';
        // "/*@" and "//@" hold code once conditional compilation is on, and
        // "/*@cc_on" switches it on.
        if (at(m_pos + 2) == u'@' && m_comment == CcComment::None &&
            (m_state.m_on || identifierAt(m_pos + 3) == u"cc_on")) {
            blank(m_pos, m_pos + 2);
            m_pos += 2;
            m_comment = block ? CcComment::Block : CcComment::Line;
            return;
        }
        std::size_t end = m_pos + 2;
        if (block) {
            while (end < m_src.size() && !startsWith(end, u"*/")) ++end;
            end = std::min(end + 2, m_src.size());
            // A comment inside /*@ ... ends that one too.
            if (m_comment == CcComment::Block) m_comment = CcComment::None;
        } else {
            while (end < m_src.size() && !isLineBreak(m_src[end])) ++end;
        }
        emit(m_pos, end, live());
        m_pos = end;
    }

    void scanQuoted(char16_t quote) {
        std::size_t end = m_pos + 1;
        while (end < m_src.size() && m_src[end] != quote && !isLineBreak(m_src[end])) {
            if (m_src[end] == u'\\' && end + 1 < m_src.size()) {
                ++end;
                if (m_src[end] == u'\r' && at(end + 1) == u'\n') ++end;
            }
            ++end;
        }
        if (end < m_src.size() && m_src[end] == quote) ++end;
        emit(m_pos, end, live());
        m_pos = end;
    }

    void scanRegex() {
        std::size_t end = m_pos + 1;
        bool inClass = false;
        while (end < m_src.size() && !isLineBreak(m_src[end])) {
            const char16_t c = m_src[end];
            if (c == u'\\') {
                end += 2;
                continue;
            }
            if (c == u'[') inClass = true;
            else if (c == u']') inClass = false;
            else if (c == u'/' && !inClass) break;
            ++end;
        }
        if (end < m_src.size() && m_src[end] == u'/') ++end;
        while (end < m_src.size() && isIdentifierPart(m_src[end])) ++end;  // flags
        emit(m_pos, std::min(end, m_src.size()), live());
        m_pos = std::min(end, m_src.size());
    }

    // At an '@': a directive, a variable, or the '@' of "/*@ ... @*/".
    bool directive() {
        const std::size_t start = m_pos;
        const std::u16string_view word = identifierAt(m_pos + 1);
        if (word.empty()) {
            // A lone '@' opening or closing conditional text.
            if (m_comment != CcComment::None) {
                blank(m_pos, m_pos + 1);
                ++m_pos;
            } else {
                emit(m_pos, m_pos + 1, live());  // Duktape reports it
                ++m_pos;
            }
            return true;
        }
        m_pos += 1 + word.size();
        if (word == u"cc_on") {
            m_state.m_on = true;
            blank(start, m_pos);
            return true;
        }
        if (!m_state.m_on) {
            if (word != u"if" && word != u"set") {
                m_pos = start;
                return fail(kCcTurnedOff, u"Conditional compilation is turned off");
            }
            m_state.m_on = true;
        }
        if (word == u"if") {
            CcValue condition;
            if (!parenthesized(condition)) return false;
            const bool outer = live();
            m_frames.push_back({outer, outer && condition.truthy(), outer && condition.truthy()});
        } else if (word == u"elif") {
            if (m_frames.empty()) {
                m_pos = start;
                return fail(kSyntaxError, u"Syntax error");
            }
            CcValue condition;
            if (!parenthesized(condition)) return false;
            Frame& frame = m_frames.back();
            frame.live = frame.outerLive && !frame.taken && condition.truthy();
            frame.taken = frame.taken || frame.live;
        } else if (word == u"else") {
            if (m_frames.empty()) {
                m_pos = start;
                return fail(kSyntaxError, u"Syntax error");
            }
            Frame& frame = m_frames.back();
            frame.live = frame.outerLive && !frame.taken;
            frame.taken = true;
        } else if (word == u"end") {
            if (m_frames.empty()) {
                m_pos = start;
                return fail(kSyntaxError, u"Syntax error");
            }
            m_frames.pop_back();
        } else if (word == u"set") {
            if (!assignment()) return false;
        } else {
            // A variable in code stands for its value.
            blank(start, m_pos);
            if (live()) {
                std::u16string text = ccValueText(m_state.variable(word));
                // Keep it a token of its own beside names and numbers.
                if (!m_out.empty() && start > 0 && isIdentifierPart(m_src[start - 1])) text.insert(text.begin(), u' ');
                if (isIdentifierPart(at(m_pos))) text.push_back(u' ');
                // The value replaces the blanks written for the name.
                m_out.resize(m_out.size() - (m_pos - start));
                m_out += text;
            }
            m_regexAllowed = false;
            return true;
        }
        blank(start, m_pos);
        m_regexAllowed = true;
        return true;
    }

    // --- Expressions --------------------------------------------------------

    void skipBlanks() {
        while (m_pos < m_src.size() && (isSpace(m_src[m_pos]) || isLineBreak(m_src[m_pos]))) ++m_pos;
    }

    bool parenthesized(CcValue& value) {
        skipBlanks();
        if (at(m_pos) != u'(') return fail(kExpectedOpenParen, u"Expected '('");
        ++m_pos;
        if (!expression(value)) return false;
        skipBlanks();
        if (at(m_pos) != u')') return fail(kExpectedCloseParen, u"Expected ')'");
        ++m_pos;
        return true;
    }

    bool assignment() {
        skipBlanks();
        if (at(m_pos) != u'@') return fail(kExpectedAt, u"Expected '@'");
        const std::u16string_view name = identifierAt(m_pos + 1);
        if (name.empty()) return fail(kExpectedAt, u"Expected '@'");
        m_pos += 1 + name.size();
        skipBlanks();
        if (at(m_pos) != u'=' || at(m_pos + 1) == u'=') return fail(kExpectedAssign, u"Expected '='");
        ++m_pos;
        CcValue value;
        if (!expression(value)) return false;
        if (live()) m_state.m_variables[std::u16string(name)] = value;
        return true;
    }

    bool expression(CcValue& value) { return binary(value, 0); }

    // Binary operators by precedence level, lowest first.
    enum class Op { None, Or, And, BitOr, BitXor, BitAnd, Eq, Ne, StrictEq, StrictNe, Lt, Gt, Le, Ge, Shl, Sar, Shr,
                    Add, Sub, Mul, Div, Mod };

    static int levelOf(Op op) {
        switch (op) {
        case Op::Or: return 1;
        case Op::And: return 2;
        case Op::BitOr: return 3;
        case Op::BitXor: return 4;
        case Op::BitAnd: return 5;
        case Op::Eq: case Op::Ne: case Op::StrictEq: case Op::StrictNe: return 6;
        case Op::Lt: case Op::Gt: case Op::Le: case Op::Ge: return 7;
        case Op::Shl: case Op::Sar: case Op::Shr: return 8;
        case Op::Add: case Op::Sub: return 9;
        case Op::Mul: case Op::Div: case Op::Mod: return 10;
        case Op::None: break;
        }
        return 0;
    }

    // The operator at the current position and its length, without moving.
    Op peekOperator(std::size_t& length) const {
        struct Spelling {
            std::u16string_view text;
            Op op;
        };
        static constexpr Spelling spellings[] = {
            {u">>>", Op::Shr}, {u"===", Op::StrictEq}, {u"!==", Op::StrictNe}, {u"||", Op::Or}, {u"&&", Op::And},
            {u"==", Op::Eq},   {u"!=", Op::Ne},        {u"<=", Op::Le},        {u">=", Op::Ge}, {u"<<", Op::Shl},
            {u">>", Op::Sar},  {u"|", Op::BitOr},      {u"^", Op::BitXor},     {u"&", Op::BitAnd}, {u"<", Op::Lt},
            {u">", Op::Gt},    {u"+", Op::Add},        {u"-", Op::Sub},        {u"*", Op::Mul}, {u"/", Op::Div},
            {u"%", Op::Mod},
        };
        for (const auto& s : spellings) {
            if (!startsWith(m_pos, s.text)) continue;
            // Assignments and comments are not operators of this language.
            const char16_t next = at(m_pos + s.text.size());
            if (s.op != Op::Eq && s.op != Op::StrictEq && s.op != Op::Ne && s.op != Op::StrictNe &&
                s.op != Op::Le && s.op != Op::Ge && next == u'=')
                return Op::None;
            if (s.op == Op::Div && (next == u'*' || next == u'/')) return Op::None;
            length = s.text.size();
            return s.op;
        }
        return Op::None;
    }

    bool binary(CcValue& left, int minLevel) {
        if (!unary(left)) return false;
        for (;;) {
            const std::size_t before = m_pos;
            skipBlanks();
            std::size_t length = 0;
            const Op op = peekOperator(length);
            const int level = levelOf(op);
            if (op == Op::None || level <= minLevel) {
                m_pos = before;
                return true;
            }
            m_pos += length;
            CcValue right;
            if (!binary(right, level)) return false;
            left = apply(op, left, right);
        }
    }

    static CcValue apply(Op op, const CcValue& a, const CcValue& b) {
        const double x = toNumber(a), y = toNumber(b);
        switch (op) {
        case Op::Or: return a.truthy() ? a : b;
        case Op::And: return a.truthy() ? b : a;
        case Op::BitOr: return CcValue::ofNumber(toInt32(x) | toInt32(y));
        case Op::BitXor: return CcValue::ofNumber(toInt32(x) ^ toInt32(y));
        case Op::BitAnd: return CcValue::ofNumber(toInt32(x) & toInt32(y));
        case Op::Eq: return CcValue::ofBoolean(x == y);
        case Op::Ne: return CcValue::ofBoolean(!(x == y));
        case Op::StrictEq: return CcValue::ofBoolean(strictEquals(a, b));
        case Op::StrictNe: return CcValue::ofBoolean(!strictEquals(a, b));
        case Op::Lt: return CcValue::ofBoolean(x < y);
        case Op::Gt: return CcValue::ofBoolean(x > y);
        case Op::Le: return CcValue::ofBoolean(x <= y);
        case Op::Ge: return CcValue::ofBoolean(x >= y);
        case Op::Shl: return CcValue::ofNumber(static_cast<std::int32_t>(toUint32(x) << (toUint32(y) & 31)));
        case Op::Sar: return CcValue::ofNumber(toInt32(x) >> (toUint32(y) & 31));
        case Op::Shr: return CcValue::ofNumber(toUint32(x) >> (toUint32(y) & 31));
        case Op::Add: return CcValue::ofNumber(x + y);
        case Op::Sub: return CcValue::ofNumber(x - y);
        case Op::Mul: return CcValue::ofNumber(x * y);
        case Op::Div: return CcValue::ofNumber(x / y);
        case Op::Mod: return CcValue::ofNumber(std::fmod(x, y));
        case Op::None: break;
        }
        return a;
    }

    bool unary(CcValue& value) {
        skipBlanks();
        const char16_t c = at(m_pos);
        if (c == u'!' || c == u'~' || c == u'-' || c == u'+') {
            ++m_pos;
            if (!unary(value)) return false;
            if (c == u'!') value = CcValue::ofBoolean(!value.truthy());
            else if (c == u'~') value = CcValue::ofNumber(~toInt32(value.number));
            else if (c == u'-') value = CcValue::ofNumber(-value.number);
            else value = CcValue::ofNumber(value.number);
            return true;
        }
        return primary(value);
    }

    bool primary(CcValue& value) {
        const char16_t c = at(m_pos);
        if (c == u'(') {
            ++m_pos;
            if (!expression(value)) return false;
            skipBlanks();
            if (at(m_pos) != u')') return fail(kExpectedCloseParen, u"Expected ')'");
            ++m_pos;
            return true;
        }
        if (c == u'@') {
            const std::u16string_view name = identifierAt(m_pos + 1);
            if (name.empty()) return fail(kExpectedConstant, u"Expected constant");
            m_pos += 1 + name.size();
            value = m_state.variable(name);
            return true;
        }
        const std::u16string_view word = identifierAt(m_pos);
        if (word == u"true" || word == u"false") {
            m_pos += word.size();
            value = CcValue::ofBoolean(word == u"true");
            return true;
        }
        if ((c >= u'0' && c <= u'9') || (c == u'.' && at(m_pos + 1) >= u'0' && at(m_pos + 1) <= u'9'))
            return number(value);
        return fail(kExpectedConstant, u"Expected constant");
    }

    bool number(CcValue& value) {
        std::string digits;
        if (at(m_pos) == u'0' && (at(m_pos + 1) == u'x' || at(m_pos + 1) == u'X')) {
            m_pos += 2;
            double n = 0;
            bool any = false;
            for (char16_t c = at(m_pos);; c = at(++m_pos)) {
                int d = -1;
                if (c >= u'0' && c <= u'9') d = c - u'0';
                else if (c >= u'a' && c <= u'f') d = c - u'a' + 10;
                else if (c >= u'A' && c <= u'F') d = c - u'A' + 10;
                if (d < 0) break;
                n = n * 16 + d;
                any = true;
            }
            if (!any) return fail(kExpectedConstant, u"Expected constant");
            value = CcValue::ofNumber(n);
            return true;
        }
        while (m_pos < m_src.size()) {
            const char16_t c = m_src[m_pos];
            const bool sign = (c == u'+' || c == u'-') && !digits.empty() && (digits.back() == 'e' || digits.back() == 'E');
            if (!((c >= u'0' && c <= u'9') || c == u'.' || c == u'e' || c == u'E' || sign)) break;
            digits.push_back(static_cast<char>(c));
            ++m_pos;
        }
        double n = 0;
        const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (r.ec != std::errc() || r.ptr != digits.data() + digits.size()) return fail(kExpectedConstant, u"Expected constant");
        value = CcValue::ofNumber(n);
        return true;
    }

    ConditionalCompiler& m_state;
    std::u16string_view m_src;
    std::u16string& m_out;
    std::size_t m_pos = 0;
    CcComment m_comment = CcComment::None;
    std::vector<Frame> m_frames;
    bool m_regexAllowed = true;
    ConditionalCompiler::Error m_error;
};

bool ConditionalCompiler::process(std::u16string_view source, std::u16string& out, Error& error) {
    // Text without an '@' has nothing to change.
    if (source.find(u'@') == std::u16string_view::npos) {
        out.assign(source);
        return true;
    }
    return CcPass(*this, source, out).run(error);
}

}  // namespace jscript
