// Letter case for LCase, UCase and the text comparison mode (vbTextCompare)
// of StrComp, InStr, InStrRev, Replace, Split and Filter. Covers the
// alphabets with a simple one-to-one case pairing in the Basic Multilingual
// Plane: Latin with its extensions, Greek, Cyrillic, Armenian, and the
// full-width, circled and Roman-numeral letters.
#pragma once

#include <string>
#include <string_view>

namespace vbs {

char16_t lowerChar(char16_t c);
char16_t upperChar(char16_t c);

std::u16string lowerText(std::u16string_view s);
std::u16string upperText(std::u16string_view s);

// Compares as vbTextCompare does: case folded, then by code unit.
// Negative, zero or positive.
int compareText(std::u16string_view a, std::u16string_view b);

// Reads a compare argument (vbBinaryCompare 0, vbTextCompare 1) at index i;
// absent means binary. Other values are error 5, Null error 94.
class Value;
bool textCompareArg(const Value* args, int argc, int i);

}  // namespace vbs
