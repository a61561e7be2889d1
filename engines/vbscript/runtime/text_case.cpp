#include "engines/vbscript/runtime/text_case.h"

#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/runtime/builtins.h"

namespace vbs {

namespace {

// A block where upper and lower case letters alternate: the upper case
// letter at even (or odd) code points, its lower case right after it.
struct AlternatingBlock {
    char16_t first;
    char16_t last;
    bool upperEven;
};

constexpr AlternatingBlock kAlternating[] = {
    {0x0100, 0x012F, true},  {0x0132, 0x0137, true},  {0x0139, 0x0148, false}, {0x014A, 0x0177, true},
    {0x0179, 0x017E, false}, {0x01CD, 0x01DC, false}, {0x01DE, 0x01EF, true},  {0x01F8, 0x021F, true},
    {0x0222, 0x0233, true},  {0x0246, 0x024F, true},  {0x03D8, 0x03EF, true},  {0x0460, 0x0481, true},
    {0x048A, 0x04BF, true},  {0x04C1, 0x04CE, false}, {0x04D0, 0x052F, true},  {0x1E00, 0x1E95, true},
    {0x1EA0, 0x1EFF, true},  {0x2C80, 0x2CE3, true},  {0xA640, 0xA66D, true},  {0xA680, 0xA69B, true},
};

// A block of upper case letters whose lower case letters form a block at a
// fixed distance.
struct ShiftedBlock {
    char16_t first;
    char16_t last;
    int delta;  // lower minus upper
};

constexpr ShiftedBlock kShifted[] = {
    {u'A', u'Z', 32},     {0x00C0, 0x00D6, 32}, {0x00D8, 0x00DE, 32}, {0x0388, 0x038A, 37},
    {0x038E, 0x038F, 63}, {0x0391, 0x03A1, 32}, {0x03A3, 0x03AB, 32}, {0x0400, 0x040F, 80},
    {0x0410, 0x042F, 32}, {0x0531, 0x0556, 48}, {0x10A0, 0x10C5, 7264}, {0x2160, 0x216F, 16},
    {0x24B6, 0x24CF, 26}, {0xFF21, 0xFF3A, 32},
};

// Pairs that fit no block.
struct Pair {
    char16_t upper;
    char16_t lower;
};

constexpr Pair kPairs[] = {
    {0x0178, 0x00FF}, {0x0386, 0x03AC}, {0x038C, 0x03CC}, {0x0181, 0x0253}, {0x0186, 0x0254},
    {0x0189, 0x0256}, {0x018A, 0x0257}, {0x018E, 0x01DD}, {0x018F, 0x0259}, {0x0190, 0x025B},
    {0x0193, 0x0260}, {0x0194, 0x0263}, {0x0196, 0x0269}, {0x0197, 0x0268}, {0x019C, 0x026F},
    {0x019D, 0x0272}, {0x019F, 0x0275}, {0x01A9, 0x0283}, {0x01AE, 0x0288}, {0x01B1, 0x028A},
    {0x01B2, 0x028B}, {0x01B7, 0x0292}, {0x0182, 0x0183}, {0x0184, 0x0185}, {0x0187, 0x0188},
    {0x018B, 0x018C}, {0x0191, 0x0192}, {0x0198, 0x0199}, {0x01A0, 0x01A1}, {0x01A2, 0x01A3},
    {0x01A4, 0x01A5}, {0x01A7, 0x01A8}, {0x01AC, 0x01AD}, {0x01AF, 0x01B0}, {0x01B3, 0x01B4},
    {0x01B5, 0x01B6}, {0x01B8, 0x01B9}, {0x01BC, 0x01BD}, {0x01C4, 0x01C6}, {0x01C7, 0x01C9},
    {0x01CA, 0x01CC}, {0x01F1, 0x01F3}, {0x01F4, 0x01F5}, {0x0220, 0x019E}, {0x023B, 0x023C},
    {0x0241, 0x0242}, {0x1E9E, 0x00DF},
};

// Letters whose upper case is a letter that lower-cases to something else.
constexpr Pair kUpperOnly[] = {
    {0x0049, 0x0131},  // dotless i
    {0x03A3, 0x03C2},  // final sigma
    {0x0053, 0x017F},  // long s
    {0x039C, 0x00B5},  // micro sign
    {0x01C4, 0x01C5}, {0x01C7, 0x01C8}, {0x01CA, 0x01CB}, {0x01F1, 0x01F2},  // title-case digraphs
};

}  // namespace

char16_t lowerChar(char16_t c) {
    if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    for (const ShiftedBlock& b : kShifted)
        if (c >= b.first && c <= b.last) return static_cast<char16_t>(c + b.delta);
    for (const AlternatingBlock& b : kAlternating) {
        if (c >= b.first && c <= b.last) {
            const bool isUpper = ((c & 1) == 0) == b.upperEven;
            return isUpper ? static_cast<char16_t>(c + 1) : c;
        }
    }
    for (const Pair& p : kPairs)
        if (c == p.upper) return p.lower;
    if (c == 0x0130) return u'i';  // capital I with dot
    for (const Pair& p : kUpperOnly)
        if (c == p.lower && (c == 0x01C5 || c == 0x01C8 || c == 0x01CB || c == 0x01F2)) return static_cast<char16_t>(c + 1);
    return c;
}

char16_t upperChar(char16_t c) {
    if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
    if (c == 0x00F7 || c == 0x00D7) return c;
    for (const ShiftedBlock& b : kShifted)
        if (c >= b.first + b.delta && c <= b.last + b.delta) return static_cast<char16_t>(c - b.delta);
    for (const AlternatingBlock& b : kAlternating) {
        if (c >= b.first && c <= b.last) {
            const bool isUpper = ((c & 1) == 0) == b.upperEven;
            return isUpper ? c : static_cast<char16_t>(c - 1);
        }
    }
    for (const Pair& p : kPairs)
        if (c == p.lower && p.lower != 0x00DF) return p.upper;
    for (const Pair& p : kUpperOnly)
        if (c == p.lower) return p.upper;
    return c;
}

std::u16string lowerText(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) c = lowerChar(c);
    return out;
}

std::u16string upperText(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) c = upperChar(c);
    return out;
}

int compareText(std::u16string_view a, std::u16string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = lowerChar(a[i]), y = lowerChar(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

bool textCompareArg(const Value* args, int argc, int i) {
    if (!given(args, argc, i)) return false;
    if (args[i].isNull()) raise(94);
    const std::int32_t mode = toLong(args[i]);
    if (mode != 0 && mode != 1) raise(err::InvalidCall);
    return mode == 1;
}

}  // namespace vbs
