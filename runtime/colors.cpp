#include "runtime/control.h"

namespace {

constexpr COLORREF rgb(unsigned r, unsigned g, unsigned b) { return r | (g << 8) | (b << 16); }

// The standard system colours, by index.
constexpr COLORREF kSystemColors[] = {
    rgb(0xC8, 0xC8, 0xC8),  //  0 scroll bar
    rgb(0x00, 0x00, 0x00),  //  1 desktop
    rgb(0x99, 0xB4, 0xD1),  //  2 active caption
    rgb(0xBF, 0xCD, 0xDB),  //  3 inactive caption
    rgb(0xF0, 0xF0, 0xF0),  //  4 menu
    rgb(0xFF, 0xFF, 0xFF),  //  5 window
    rgb(0x64, 0x64, 0x64),  //  6 window frame
    rgb(0x00, 0x00, 0x00),  //  7 menu text
    rgb(0x00, 0x00, 0x00),  //  8 window text
    rgb(0x00, 0x00, 0x00),  //  9 caption text
    rgb(0xB4, 0xB4, 0xB4),  // 10 active border
    rgb(0xF4, 0xF7, 0xFC),  // 11 inactive border
    rgb(0xAB, 0xAB, 0xAB),  // 12 application workspace
    rgb(0x33, 0x99, 0xFF),  // 13 highlight
    rgb(0xFF, 0xFF, 0xFF),  // 14 highlight text
    rgb(0xF0, 0xF0, 0xF0),  // 15 button face
    rgb(0xA0, 0xA0, 0xA0),  // 16 button shadow
    rgb(0x6D, 0x6D, 0x6D),  // 17 grey text
    rgb(0x00, 0x00, 0x00),  // 18 button text
    rgb(0x43, 0x4E, 0x54),  // 19 inactive caption text
    rgb(0xFF, 0xFF, 0xFF),  // 20 button highlight
    rgb(0x69, 0x69, 0x69),  // 21 3-D dark shadow
    rgb(0xE3, 0xE3, 0xE3),  // 22 3-D light
    rgb(0x00, 0x00, 0x00),  // 23 tooltip text
    rgb(0xFF, 0xFF, 0xE1),  // 24 tooltip background
    rgb(0x00, 0x00, 0x00),  // 25 (unused)
    rgb(0x00, 0x66, 0xCC),  // 26 hot-tracked item
    rgb(0xB9, 0xD1, 0xEA),  // 27 active caption gradient
    rgb(0xD7, 0xE4, 0xF2),  // 28 inactive caption gradient
    rgb(0x33, 0x99, 0xFF),  // 29 menu highlight
    rgb(0xF0, 0xF0, 0xF0),  // 30 menu bar
};

}  // namespace

HRESULT OleTranslateColor(OLE_COLOR color, void*, COLORREF* result) {
    const unsigned kind = color >> 24;
    COLORREF translated;
    switch (kind) {
    case 0x00:
    case 0x02:
        translated = color & 0x00FFFFFF;
        break;
    case 0x80: {
        const unsigned index = color & 0x00FFFFFF;
        if (index >= sizeof kSystemColors / sizeof kSystemColors[0]) return E_INVALIDARG;
        translated = kSystemColors[index];
        break;
    }
    default:
        return E_INVALIDARG;
    }
    if (result) *result = translated;
    return S_OK;
}
