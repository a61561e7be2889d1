// Compiled regular expressions for RegExp: the script's pattern (the
// JavaScript syntax of VBScript's generation) rewritten where PCRE2 reads it
// differently, compiled by PCRE2's 16-bit library so that every offset is a
// UTF-16 position, and searched the way a global JavaScript search walks a
// string.
#pragma once

#include "runtime/types.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vbs::regexp {

// VBScript's numbers for the errors of regular expressions.
namespace rxerr {
constexpr int OutOfMemory = 7;
constexpr int OutOfStack = 28;  // a search that would run too deep or too long
constexpr int InvalidCall = 5;  // an index outside a collection
constexpr int TypeMismatch = 13;
constexpr int SyntaxError = 5017;
constexpr int UnexpectedQuantifier = 5018;
constexpr int ExpectedBracket = 5019;
constexpr int ExpectedParen = 5020;
constexpr int InvalidRange = 5021;
}  // namespace rxerr

// The standard text of one of those numbers.
std::u16string_view errorText(int number);
// Records the error for the caller (qrt::setErrorInfo) and returns its status
// in VBScript's error facility, 0x800A0000 | number.
HRESULT raiseError(int number);

// A script's pattern rewritten for PCRE2, or the VBScript error it has.
struct Translation {
    std::u16string pcre;
    // The pattern names single surrogates (\uD800): it is matched by UTF-16
    // code units instead of by characters.
    bool codeUnits = false;
    int error = 0;  // 0, or an rxerr number
};
Translation translatePattern(std::u16string_view pattern);

// A pattern compiled once for a given case and line mode; immutable.
class Pattern {
public:
    // Compiles; on failure *out stays empty and the status carries the
    // VBScript error (recorded with raiseError).
    static HRESULT compile(std::u16string_view source, bool ignoreCase, bool multiline,
                           std::shared_ptr<const Pattern>& out);
    Pattern(const Pattern&) = delete;
    Pattern& operator=(const Pattern&) = delete;
    ~Pattern();

    std::uint32_t captureCount() const { return m_captures; }
    bool codeUnits() const { return m_codeUnits; }

private:
    friend class Search;
    Pattern() = default;

    pcre2_code* m_code = nullptr;
    pcre2_match_context* m_context = nullptr;
    pcre2_jit_stack* m_jitStack = nullptr;
    std::uint32_t m_captures = 0;
    bool m_codeUnits = false;
};

// One walk over a subject: successive matches as a global search finds them,
// each starting where the previous one ended, and one character further
// after an empty match so that the walk always ends. The subject must
// outlive the search.
class Search {
public:
    Search(const Pattern& pattern, std::u16string_view subject);
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;
    ~Search();

    // Finds the next match: S_OK with found true or false, or a failure
    // status (recorded with raiseError) when the search ran out of memory or
    // over its limits.
    HRESULT next(bool& found);

    // The span of group g of the last match (0: the whole match); unset when
    // the group took no part in it.
    bool isSet(std::uint32_t g) const { return start(g) != PCRE2_UNSET; }
    std::size_t start(std::uint32_t g) const { return m_ovector[2 * g]; }
    std::size_t end(std::uint32_t g) const { return m_ovector[2 * g + 1]; }

private:
    const Pattern& m_pattern;
    std::u16string_view m_subject;
    pcre2_match_data* m_data = nullptr;
    PCRE2_SIZE* m_ovector = nullptr;
    std::size_t m_position = 0;
    bool m_done = false;
};

}  // namespace vbs::regexp
