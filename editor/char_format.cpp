#include "editor/char_format.h"

namespace lexora {

CharStyle applyFormat(const CharStyle& style, const CharFormat& format) {
    CharStyle result = style;
    const DWORD effectBits = format.mask & ~CFM_VALUES;
    result.effects = (result.effects & ~effectBits) | (format.effects & effectBits);
    if (format.mask & CFM_COLOR) {
        result.color = format.color;
        result.effects = (result.effects & ~CFE_AUTOCOLOR) | (format.effects & CFE_AUTOCOLOR);
    }
    if (format.mask & CFM_SIZE) result.height = format.height;
    if (format.mask & CFM_OFFSET) result.offset = format.offset;
    if (format.mask & CFM_CHARSET) result.charSet = format.charSet;
    if (format.mask & CFM_FACE) {
        result.face = format.face;
        result.pitchAndFamily = format.pitchAndFamily;
    }
    return result;
}

CharFormat defaultFormat() { return defaultFormatWithColor(0); }

CharFormat defaultFormatWithColor(COLORREF color) {
    CharFormat f;
    f.mask = 0xF800000F;
    f.effects = 0;
    f.height = 200;
    f.offset = 0;
    f.color = color;
    f.charSet = 0;
    f.pitchAndFamily = FixedPitchModern;
    f.face = "Courier New";
    return f;
}

CharFormat colorOnlyFormat(COLORREF color) {
    CharFormat f = defaultFormatWithColor(color);
    f.mask = CFM_COLOR;
    return f;
}

}  // namespace lexora
