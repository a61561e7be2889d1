#include "engines/vbscript/regexp/pattern.h"

#include "runtime/dispatch.h"

#include <new>

namespace vbs::regexp {

namespace {

// Limits that end a runaway search (nested repeats over a long text) with an
// error instead of letting it run for hours or exhaust memory.
constexpr std::uint32_t kMatchLimit = 5'000'000;
constexpr std::uint32_t kDepthLimit = 100'000;
constexpr std::uint32_t kHeapLimitKiB = 64 * 1024;
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMax = 1024 * 1024;

// White space beyond ASCII that \s matches in JavaScript: no-break space, the
// Unicode space separators, line and paragraph separators, byte-order mark.
// PCRE2 without Unicode properties matches only ASCII white space with \s.
constexpr std::u16string_view kExtraSpace =
    u"\\u00a0\\u1680\\u2000-\\u200a\\u2028\\u2029\\u202f\\u205f\\u3000\\ufeff";

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool isAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
int hexValue(char16_t c) {
    if (isDigit(c)) return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Length of a {n}, {n,} or {n,m} quantifier at p[i] == '{', or 0 when the
// brace is a literal character.
std::size_t braceQuantifierLength(std::u16string_view p, std::size_t i) {
    std::size_t j = i + 1;
    const std::size_t firstDigit = j;
    while (j < p.size() && isDigit(p[j])) ++j;
    if (j == firstDigit) return 0;
    if (j < p.size() && p[j] == u',') {
        ++j;
        while (j < p.size() && isDigit(p[j])) ++j;
    }
    if (j < p.size() && p[j] == u'}') return j + 1 - i;
    return 0;
}

// Rewrites the escape at p[i] == '\\' into out; returns the characters
// consumed, or 0 for a pattern that ends in a lone backslash.
std::size_t translateEscape(std::u16string_view p, std::size_t i, bool inClass, Translation& t) {
    if (i + 1 >= p.size()) return 0;
    const char16_t c = p[i + 1];
    std::u16string& out = t.pcre;
    switch (c) {
    // Escapes both syntaxes read alike.
    case u'd': case u'D': case u'w': case u'W': case u'f': case u'n': case u'r': case u't': case u'b':
    case u'x':
        out += u'\\';
        out += c;
        return 2;
    case u'B':
        if (inClass) out += u'B';  // no assertion inside a class
        else out += u"\\B";
        return 2;
    case u'v':  // a vertical tab, not PCRE2's class of vertical space
        out += u"\\u000b";
        return 2;
    case u's':
        if (inClass) (out += u"\\s") += kExtraSpace;
        else ((out += u"[\\s") += kExtraSpace) += u']';
        return 2;
    case u'S':
        // Inside a class a negated set cannot be spelled: ASCII white space only.
        if (inClass) out += u"\\S";
        else ((out += u"[^\\s") += kExtraSpace) += u']';
        return 2;
    case u'c':
        if (i + 2 < p.size() && isAsciiLetter(p[i + 2])) {
            out += u"\\c";
            out += p[i + 2];
            return 3;
        }
        out += u"\\\\c";  // not a control escape: a backslash and a "c"
        return 2;
    case u'u': {
        // \uXXXX (PCRE2_ALT_BSUX reads it); a single surrogate makes the
        // pattern work on code units.
        int value = 0;
        bool four = i + 6 <= p.size();
        for (std::size_t k = 2; four && k < 6; ++k) {
            const int digit = hexValue(p[i + k]);
            if (digit < 0) four = false;
            else value = value * 16 + digit;
        }
        if (four && value >= 0xD800 && value <= 0xDFFF) t.codeUnits = true;
        out += u"\\u";
        return 2;
    }
    default:
        break;
    }
    if (isDigit(c)) {  // back references and octal escapes read alike
        out += u'\\';
        out += c;
        return 2;
    }
    if (isAsciiLetter(c)) {  // PCRE2-only escapes (\A, \z, \Q, \p, \k...) are plain letters here
        out += c;
        return 2;
    }
    out += u'\\';
    out += c;
    return 2;
}

}  // namespace

std::u16string_view errorText(int number) {
    switch (number) {
    case rxerr::InvalidCall: return u"Invalid procedure call or argument";
    case rxerr::OutOfMemory: return u"Out of memory";
    case rxerr::OutOfStack: return u"Out of stack space";
    case rxerr::TypeMismatch: return u"Type mismatch";
    case rxerr::SyntaxError: return u"Syntax error in regular expression";
    case rxerr::UnexpectedQuantifier: return u"Unexpected quantifier";
    case rxerr::ExpectedBracket: return u"Expected ']' in regular expression";
    case rxerr::ExpectedParen: return u"Expected ')' in regular expression";
    case rxerr::InvalidRange: return u"Invalid range in character set";
    default: return u"Unknown runtime error";
    }
}

HRESULT raiseError(int number) {
    qrt::setErrorInfo(u"VBScript runtime error", errorText(number));
    return static_cast<HRESULT>(0x800A0000u | static_cast<std::uint32_t>(number));
}

Translation translatePattern(std::u16string_view p) {
    Translation t;
    t.pcre.reserve(p.size() + 8);
    bool inClass = false;
    bool canRepeat = false;  // the last item may take a quantifier
    int depth = 0;
    std::size_t i = 0;
    auto fail = [&](int number) {
        t.error = number;
        t.pcre.clear();
        return t;
    };
    while (i < p.size()) {
        const char16_t c = p[i];
        if (isHighSurrogate(c) && i + 1 < p.size() && isLowSurrogate(p[i + 1])) {
            t.pcre += c;
            t.pcre += p[i + 1];
            i += 2;
            canRepeat = true;
            continue;
        }
        if (isHighSurrogate(c) || isLowSurrogate(c)) t.codeUnits = true;
        if (c == u'\\') {
            const char16_t next = i + 1 < p.size() ? p[i + 1] : 0;
            const std::size_t used = translateEscape(p, i, inClass, t);
            if (used == 0) return fail(rxerr::SyntaxError);
            i += used;
            if (!inClass) canRepeat = next != u'b' && next != u'B';
            continue;
        }
        if (inClass) {
            if (c == u']') inClass = false;
            if (c == u'[') t.pcre += u'\\';  // never the start of a POSIX class
            t.pcre += c;
            ++i;
            canRepeat = true;
            continue;
        }
        switch (c) {
        case u'[':
            inClass = true;
            t.pcre += c;
            ++i;
            if (i < p.size() && p[i] == u'^') t.pcre += p[i++];
            // "[]" matches nothing and "[^]" anything (PCRE2_ALLOW_EMPTY_CLASS).
            if (i < p.size() && p[i] == u']') {
                t.pcre += p[i++];
                inClass = false;
            }
            canRepeat = true;
            continue;
        case u'(':
            if (i + 1 < p.size() && p[i + 1] == u'?') {
                const char16_t kind = i + 2 < p.size() ? p[i + 2] : 0;
                if (kind != u':' && kind != u'=' && kind != u'!') return fail(rxerr::SyntaxError);
                t.pcre.append(p.substr(i, 3));
                i += 3;
            } else {
                t.pcre += c;
                ++i;
            }
            ++depth;
            canRepeat = false;
            continue;
        case u')':
            if (depth == 0) return fail(rxerr::SyntaxError);
            --depth;
            canRepeat = true;
            break;
        case u'|':
        case u'^':
        case u'$':
            canRepeat = false;
            break;
        case u'*':
        case u'+':
        case u'?':
        case u'{': {
            const std::size_t length = c == u'{' ? braceQuantifierLength(p, i) : 1;
            if (length == 0) {  // a brace that starts no quantifier is itself
                t.pcre += u"\\{";
                ++i;
                canRepeat = true;
                continue;
            }
            if (!canRepeat) return fail(rxerr::UnexpectedQuantifier);
            t.pcre.append(p.substr(i, length));
            i += length;
            if (i < p.size() && p[i] == u'?') t.pcre += p[i++];  // lazy
            canRepeat = false;  // "a**" and PCRE2's possessive "a*+" are errors
            continue;
        }
        default:
            canRepeat = true;
            break;
        }
        t.pcre += c;
        ++i;
    }
    if (inClass) return fail(rxerr::ExpectedBracket);
    if (depth > 0) return fail(rxerr::ExpectedParen);
    return t;
}

HRESULT Pattern::compile(std::u16string_view source, bool ignoreCase, bool multiline,
                         std::shared_ptr<const Pattern>& out) {
    out.reset();
    Translation t = translatePattern(source);
    if (t.error) return raiseError(t.error);

    std::shared_ptr<Pattern> pattern(new (std::nothrow) Pattern);
    if (!pattern) return raiseError(rxerr::OutOfMemory);
    pattern->m_codeUnits = t.codeUnits;

    std::uint32_t options = PCRE2_ALT_BSUX | PCRE2_MATCH_UNSET_BACKREF | PCRE2_ALLOW_EMPTY_CLASS |
                            PCRE2_DOLLAR_ENDONLY;
    if (!t.codeUnits) options |= PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
    if (ignoreCase) options |= PCRE2_CASELESS;
    if (multiline) options |= PCRE2_MULTILINE;

    pcre2_compile_context* cc = pcre2_compile_context_create(nullptr);
    if (!cc) return raiseError(rxerr::OutOfMemory);
    // "." stops at, and "^"/"$" in multiline mode meet, both \n and \r.
    pcre2_set_newline(cc, PCRE2_NEWLINE_ANYCRLF);
    int code = 0;
    PCRE2_SIZE offset = 0;
    pattern->m_code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(t.pcre.data()), t.pcre.size(), options, &code,
                                    &offset, cc);
    pcre2_compile_context_free(cc);
    if (!pattern->m_code) {
        switch (code) {
        case PCRE2_ERROR_MISSING_SQUARE_BRACKET: return raiseError(rxerr::ExpectedBracket);
        case PCRE2_ERROR_MISSING_CLOSING_PARENTHESIS: return raiseError(rxerr::ExpectedParen);
        case PCRE2_ERROR_QUANTIFIER_INVALID: return raiseError(rxerr::UnexpectedQuantifier);
        case PCRE2_ERROR_CLASS_RANGE_ORDER: return raiseError(rxerr::InvalidRange);
        case PCRE2_ERROR_HEAP_FAILED: return raiseError(rxerr::OutOfMemory);
        default: return raiseError(rxerr::SyntaxError);
        }
    }
    pcre2_pattern_info(pattern->m_code, PCRE2_INFO_CAPTURECOUNT, &pattern->m_captures);

    pattern->m_context = pcre2_match_context_create(nullptr);
    if (!pattern->m_context) return raiseError(rxerr::OutOfMemory);
    pcre2_set_match_limit(pattern->m_context, kMatchLimit);
    pcre2_set_depth_limit(pattern->m_context, kDepthLimit);
    pcre2_set_heap_limit(pattern->m_context, kHeapLimitKiB);
    // Machine code when the platform has it; the interpreter otherwise.
    if (pcre2_jit_compile(pattern->m_code, PCRE2_JIT_COMPLETE) == 0) {
        pattern->m_jitStack = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
        if (pattern->m_jitStack) pcre2_jit_stack_assign(pattern->m_context, nullptr, pattern->m_jitStack);
    }
    out = std::move(pattern);
    return S_OK;
}

Pattern::~Pattern() {
    if (m_jitStack) pcre2_jit_stack_free(m_jitStack);
    if (m_context) pcre2_match_context_free(m_context);
    if (m_code) pcre2_code_free(m_code);
}

Search::Search(const Pattern& pattern, std::u16string_view subject) : m_pattern(pattern), m_subject(subject) {
    m_data = pcre2_match_data_create_from_pattern(pattern.m_code, nullptr);
    if (m_data) m_ovector = pcre2_get_ovector_pointer(m_data);
}

Search::~Search() {
    if (m_data) pcre2_match_data_free(m_data);
}

HRESULT Search::next(bool& found) {
    found = false;
    if (!m_data) return raiseError(rxerr::OutOfMemory);
    if (m_done || m_position > m_subject.size()) return S_OK;
    // An empty subject still needs a valid pointer.
    static const char16_t kEmpty = 0;
    const PCRE2_SPTR text = reinterpret_cast<PCRE2_SPTR>(m_subject.empty() ? &kEmpty : m_subject.data());
    const int rc = pcre2_match(m_pattern.m_code, text, m_subject.size(), m_position, 0, m_data,
                               m_pattern.m_context);
    if (rc == PCRE2_ERROR_NOMATCH) {
        m_done = true;
        return S_OK;
    }
    if (rc < 0) {
        m_done = true;
        switch (rc) {
        case PCRE2_ERROR_NOMEMORY:
        case PCRE2_ERROR_HEAPLIMIT: return raiseError(rxerr::OutOfMemory);
        default: return raiseError(rxerr::OutOfStack);  // the match, depth or JIT stack limit
        }
    }
    found = true;
    const std::size_t matchEnd = end(0);
    m_position = matchEnd;
    if (start(0) == matchEnd) {
        // After an empty match the next search starts one character on
        // (a whole surrogate pair when matching by characters).
        m_position = matchEnd + 1;
        if (!m_pattern.m_codeUnits && matchEnd + 1 < m_subject.size() && isHighSurrogate(m_subject[matchEnd]) &&
            isLowSurrogate(m_subject[matchEnd + 1]))
            m_position = matchEnd + 2;
    }
    return S_OK;
}

}  // namespace vbs::regexp
