// Character formats as the colouring code states them: which attributes a
// format sets (the mask) and their values. A format applied to text changes
// only the attributes in its mask.
#pragma once

#include "runtime/control.h"
#include "runtime/types.h"

#include <string>

namespace lexora {

// Mask bits: the four effects, then the attributes with values.
constexpr DWORD CFM_BOLD = 0x00000001;
constexpr DWORD CFM_ITALIC = 0x00000002;
constexpr DWORD CFM_UNDERLINE = 0x00000004;
constexpr DWORD CFM_STRIKEOUT = 0x00000008;
constexpr DWORD CFM_SHADOW = 0x00000400;
constexpr DWORD CFM_CHARSET = 0x08000000;
constexpr DWORD CFM_OFFSET = 0x10000000;
constexpr DWORD CFM_FACE = 0x20000000;
constexpr DWORD CFM_COLOR = 0x40000000;
constexpr DWORD CFM_SIZE = 0x80000000;
// Effect bits share the values of their mask bits; automatic colour goes
// with CFM_COLOR.
constexpr DWORD CFE_BOLD = CFM_BOLD;
constexpr DWORD CFE_ITALIC = CFM_ITALIC;
constexpr DWORD CFE_UNDERLINE = CFM_UNDERLINE;
constexpr DWORD CFE_STRIKEOUT = CFM_STRIKEOUT;
constexpr DWORD CFE_SHADOW = CFM_SHADOW;
constexpr DWORD CFE_AUTOCOLOR = 0x40000000;
// The mask bits that carry values rather than effects.
constexpr DWORD CFM_VALUES = CFM_CHARSET | CFM_OFFSET | CFM_FACE | CFM_COLOR | CFM_SIZE;

constexpr BYTE FixedPitchModern = 0x31;

struct CharFormat {
    DWORD mask = 0;
    DWORD effects = 0;
    LONG height = 0;         // twips
    LONG offset = 0;         // baseline offset, twips
    COLORREF color = 0;      // 0x00BBGGRR
    BYTE charSet = 0;
    BYTE pitchAndFamily = 0;
    std::string face;

    friend bool operator==(const CharFormat&, const CharFormat&) = default;
};

// The attributes one character shows: a format with every bit of its mask set.
struct CharStyle {
    DWORD effects = 0;       // effect bits, CFE_AUTOCOLOR included
    LONG height = 200;
    LONG offset = 0;
    COLORREF color = 0;
    BYTE charSet = 0;
    BYTE pitchAndFamily = FixedPitchModern;
    std::string face = "Courier New";

    friend bool operator==(const CharStyle&, const CharStyle&) = default;
};

// style with the attributes in format's mask replaced by format's values.
CharStyle applyFormat(const CharStyle& style, const CharFormat& format);

// The editor's text format: Courier New 10 pt, black, no effects.
CharFormat defaultFormat();
// defaultFormat() with another text colour.
CharFormat defaultFormatWithColor(COLORREF color);
// Only the text colour.
CharFormat colorOnlyFormat(COLORREF color);

}  // namespace lexora
