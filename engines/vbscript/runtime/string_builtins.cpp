// String functions: Asc, Chr, Len, Left, Mid, Right, LCase, UCase, Trim,
// LTrim, RTrim, InStr, InStrRev, Replace, Space, String, StrComp, StrReverse,
// Hex, Oct.
#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/interpreter.h"
#include "engines/vbscript/runtime/builtins.h"
#include "engines/vbscript/runtime/text_case.h"
#include "runtime/text.h"

#include <algorithm>

namespace vbs {

namespace {

std::int32_t count(const Value& v) {
    if (v.isNull()) raise(94);
    return toLong(v);
}

std::u16string folded(std::u16string s) { return lowerText(s); }

// Text comparison mode (1) of InStr, InStrRev, Replace, StrComp.
bool textCompare(const Value* a, int argc, int i) { return textCompareArg(a, argc, i); }

Value fnLen(Interpreter&, Value* a, int) {
    if (a[0].isNull()) return Value::null();
    if (a[0].isString()) return Value::longInt(static_cast<std::int32_t>(a[0].str().size()));
    return Value::longInt(static_cast<std::int32_t>(toString(a[0]).size()));
}

Value fnLeft(Interpreter&, Value* a, int) {
    if (a[0].isNull()) return Value::null();
    std::int32_t n = count(a[1]);
    if (n < 0) raise(err::InvalidCall);
    std::u16string s = toString(a[0]);
    return Value::string(s.substr(0, static_cast<std::size_t>(n)));
}

// The numeric arguments are checked first: Right(Null, Null) is error 94.
Value fnRight(Interpreter&, Value* a, int) {
    std::int32_t n = count(a[1]);
    if (n < 0) raise(err::InvalidCall);
    if (a[0].isNull()) return Value::null();
    std::u16string s = toString(a[0]);
    std::size_t len = std::min(s.size(), static_cast<std::size_t>(n));
    return Value::string(s.substr(s.size() - len));
}

Value fnMid(Interpreter&, Value* a, int argc) {
    std::int32_t start = count(a[1]);
    if (start < 1) raise(err::InvalidCall);
    std::size_t len = std::u16string::npos;
    if (given(a, argc, 2)) {
        std::int32_t n = count(a[2]);
        if (n < 0) raise(err::InvalidCall);
        len = static_cast<std::size_t>(n);
    }
    if (a[0].isNull()) return Value::null();
    std::u16string s = toString(a[0]);
    std::size_t from = static_cast<std::size_t>(start - 1);
    if (from >= s.size()) return Value::string(std::u16string());
    return Value::string(s.substr(from, len));
}

Value fnLCase(Interpreter&, Value* a, int) {
    if (a[0].isNull()) return Value::null();
    return Value::string(folded(toString(a[0])));
}

Value fnUCase(Interpreter&, Value* a, int) {
    if (a[0].isNull()) return Value::null();
    return Value::string(upperText(toString(a[0])));
}

Value trim(const Value& v, bool left, bool right) {
    if (v.isNull()) return Value::null();
    std::u16string s = toString(v);
    std::size_t b = 0, e = s.size();
    if (left) while (b < e && s[b] == u' ') ++b;
    if (right) while (e > b && s[e - 1] == u' ') --e;
    return Value::string(s.substr(b, e - b));
}
Value fnTrim(Interpreter&, Value* a, int) { return trim(a[0], true, true); }
Value fnLTrim(Interpreter&, Value* a, int) { return trim(a[0], true, false); }
Value fnRTrim(Interpreter&, Value* a, int) { return trim(a[0], false, true); }

Value fnAsc(Interpreter&, Value* a, int) {
    std::u16string s = toString(a[0]);
    if (s.empty()) raise(err::InvalidCall);
    const char16_t c = s[0];
    if (c < 0x80) return Value::integer(static_cast<std::int16_t>(c));
    // Characters of the Windows-1252 upper half give their byte value.
    for (int b = 0x80; b < 0x100; ++b) {
        if (qrt::windows1252ToUnicode(static_cast<unsigned char>(b)) == c) return Value::integer(static_cast<std::int16_t>(b));
    }
    return Value::integer(static_cast<std::int16_t>(c));
}

Value fnAscW(Interpreter&, Value* a, int) {
    std::u16string s = toString(a[0]);
    if (s.empty()) raise(err::InvalidCall);
    return Value::integer(static_cast<std::int16_t>(s[0]));
}

Value fnChr(Interpreter&, Value* a, int) {
    std::int32_t n = count(a[0]);
    if (n < 0 || n > 255) raise(err::InvalidCall);
    char16_t c = n < 0x80 ? static_cast<char16_t>(n) : qrt::windows1252ToUnicode(static_cast<unsigned char>(n));
    return Value::string(std::u16string(1, c));
}

Value fnChrW(Interpreter&, Value* a, int) {
    std::int32_t n = count(a[0]);
    if (n < -32768 || n > 65535) raise(err::InvalidCall);
    return Value::string(std::u16string(1, static_cast<char16_t>(n & 0xFFFF)));
}

Value fnSpace(Interpreter&, Value* a, int) {
    std::int32_t n = count(a[0]);
    if (n < 0) raise(err::InvalidCall);
    return Value::string(std::u16string(static_cast<std::size_t>(n), u' '));
}

Value fnString(Interpreter&, Value* a, int) {
    std::int32_t n = count(a[0]);
    if (n < 0) raise(err::InvalidCall);
    if (a[1].isNull()) return Value::null();
    char16_t c;
    if (a[1].isString()) {
        if (a[1].str().empty()) raise(err::InvalidCall);
        c = a[1].str()[0];
    } else {
        std::int32_t code = toLong(a[1]) & 0xFF;
        c = code < 0x80 ? static_cast<char16_t>(code) : qrt::windows1252ToUnicode(static_cast<unsigned char>(code));
    }
    return Value::string(std::u16string(static_cast<std::size_t>(n), c));
}

std::size_t findText(const std::u16string& hay, const std::u16string& needle, std::size_t from, bool text) {
    if (!text) return hay.find(needle, from);
    return folded(hay).find(folded(needle), from);
}

Value fnInStr(Interpreter&, Value* a, int argc) {
    // InStr([start,] string1, string2[, compare])
    int i = 0;
    std::int32_t start = 1;
    if (argc >= 3) {
        start = count(a[0]);
        if (start < 1) raise(err::InvalidCall);
        i = 1;
    }
    if (a[i].isNull() || a[i + 1].isNull()) return Value::null();
    std::u16string hay = toString(a[i]), needle = toString(a[i + 1]);
    const bool text = argc == 4 && textCompare(a, argc, 3);
    if (static_cast<std::size_t>(start) > hay.size()) return Value::longInt(0);
    if (needle.empty()) return Value::longInt(start);
    std::size_t at = findText(hay, needle, static_cast<std::size_t>(start - 1), text);
    return Value::longInt(at == std::u16string::npos ? 0 : static_cast<std::int32_t>(at + 1));
}

Value fnInStrRev(Interpreter&, Value* a, int argc) {
    // InStrRev(string1, string2[, start[, compare]])
    std::int32_t start = given(a, argc, 2) ? count(a[2]) : -1;
    if (start == 0 || start < -1) raise(err::InvalidCall);
    const bool text = textCompare(a, argc, 3);
    if (a[0].isNull() || a[1].isNull()) return Value::null();
    std::u16string hay = toString(a[0]), needle = toString(a[1]);
    if (start == -1) start = static_cast<std::int32_t>(hay.size());
    // A start past the end finds nothing, not even an empty string.
    if (static_cast<std::size_t>(start) > hay.size()) return Value::longInt(0);
    if (needle.empty()) return Value::longInt(start);
    std::u16string h = text ? folded(hay) : hay, n = text ? folded(needle) : needle;
    if (n.size() > static_cast<std::size_t>(start)) return Value::longInt(0);
    std::size_t at = h.rfind(n, static_cast<std::size_t>(start) - n.size());
    return Value::longInt(at == std::u16string::npos ? 0 : static_cast<std::int32_t>(at + 1));
}

Value fnReplace(Interpreter& vm, Value* a, int argc) {
    // Replace(expression, find, replacewith[, start[, count[, compare]]])
    if (a[0].isNull() || a[1].isNull() || a[2].isNull()) raise(94, u"Replace");
    std::u16string s = toString(a[0]), find = toString(a[1]), with = toString(a[2]);
    std::int32_t start = given(a, argc, 3) ? count(a[3]) : 1;
    std::int32_t limit = given(a, argc, 4) ? count(a[4]) : -1;
    if (start < 1 || limit < -1) raise(err::InvalidCall);
    const bool text = textCompare(a, argc, 5);
    // The result starts at `start`, as the language defines it.
    if (static_cast<std::size_t>(start) > s.size()) return Value::string(std::u16string());
    s = s.substr(static_cast<std::size_t>(start - 1));
    if (find.empty() || limit == 0) return Value::string(std::move(s));
    const std::u16string hay = text ? folded(s) : s;
    const std::u16string needle = text ? folded(find) : find;
    // The matches are counted first, so that a result too long fails
    // before it is built; both passes heed a request to stop the script.
    auto eachMatch = [&](auto&& onMatch) {
        std::size_t done = 0;
        for (std::size_t pos = 0; limit < 0 || done < static_cast<std::size_t>(limit); ++done) {
            if ((done & 0xFFFF) == 0xFFFF) vm.checkInterrupt();
            const std::size_t at = hay.find(needle, pos);
            if (at == std::u16string::npos) break;
            onMatch(at);
            pos = at + find.size();
        }
        return done;
    };
    const std::uint64_t matches = eachMatch([](std::size_t) {});
    const std::uint64_t length = std::uint64_t{s.size()} + matches * (std::uint64_t{with.size()} - find.size());
    checkStringLength(length);
    std::u16string out;
    out.reserve(static_cast<std::size_t>(length));
    std::size_t pos = 0;
    eachMatch([&](std::size_t at) {
        out.append(s, pos, at - pos);
        out += with;
        pos = at + find.size();
    });
    out.append(s, pos, std::u16string::npos);
    return Value::string(std::move(out));
}

Value fnStrComp(Interpreter&, Value* a, int argc) {
    if (a[0].isNull() || a[1].isNull()) return Value::null();
    const std::u16string x = toString(a[0]), y = toString(a[1]);
    const int c = textCompare(a, argc, 2) ? compareText(x, y) : x.compare(y);
    return Value::integer(static_cast<std::int16_t>(c < 0 ? -1 : c > 0 ? 1 : 0));
}

Value fnStrReverse(Interpreter&, Value* a, int) {
    if (a[0].isNull()) raise(94);
    std::u16string s = toString(a[0]);
    std::reverse(s.begin(), s.end());
    return Value::string(std::move(s));
}

// Hex and Oct show the bits of an Integer in 16 bits and of anything else in 32.
Value radix(const Value& v, int bitsPerDigit) {
    if (v.isNull()) return Value::null();
    std::uint32_t bits;
    if (v.tag() == Tag::Integer || v.tag() == Tag::Byte || v.tag() == Tag::Empty || v.tag() == Tag::Boolean) {
        bits = static_cast<std::uint16_t>(toLong(v));
        if (v.tag() == Tag::Byte) bits = v.asByte();
    } else {
        bits = static_cast<std::uint32_t>(toLong(v));
    }
    static const char digits[] = "0123456789ABCDEF";
    std::u16string out;
    const std::uint32_t mask = (1u << bitsPerDigit) - 1;
    do {
        out.insert(out.begin(), static_cast<char16_t>(digits[bits & mask]));
        bits >>= bitsPerDigit;
    } while (bits);
    return Value::string(std::move(out));
}
Value fnHex(Interpreter&, Value* a, int) { return radix(a[0], 4); }
Value fnOct(Interpreter&, Value* a, int) { return radix(a[0], 3); }

const Builtin kStrings[] = {
    {u"Asc", fnAsc, 1, 1},         {u"AscW", fnAscW, 1, 1},     {u"Chr", fnChr, 1, 1},
    {u"ChrW", fnChrW, 1, 1},       {u"Len", fnLen, 1, 1},       {u"Left", fnLeft, 2, 2},
    {u"Mid", fnMid, 2, 3},         {u"Right", fnRight, 2, 2},   {u"LCase", fnLCase, 1, 1},
    {u"UCase", fnUCase, 1, 1},     {u"Trim", fnTrim, 1, 1},     {u"LTrim", fnLTrim, 1, 1},
    {u"RTrim", fnRTrim, 1, 1},     {u"InStr", fnInStr, 2, 4},   {u"InStrRev", fnInStrRev, 2, 4},
    {u"Replace", fnReplace, 3, 6}, {u"Space", fnSpace, 1, 1},   {u"String", fnString, 2, 2},
    {u"StrComp", fnStrComp, 2, 3}, {u"StrReverse", fnStrReverse, 1, 1},
    {u"Hex", fnHex, 1, 1},         {u"Oct", fnOct, 1, 1},
};

}  // namespace

std::span<const Builtin> stringBuiltins() { return kStrings; }

}  // namespace vbs
