// Text conversion. The "ANSI code page" of this system is UTF-8; bytes that
// are not valid UTF-8 are read as Windows-1252, so text written on the
// original platform keeps its accented letters.
#pragma once

#include <string>
#include <string_view>

namespace qrt {

// Decodes bytes as UTF-8, taking each byte of an invalid sequence as a
// Windows-1252 character. Never fails.
std::u16string decodeAnsi(std::string_view bytes);
// Decodes a text file: UTF-16 little- or big-endian when it starts with that
// byte-order mark, otherwise as decodeAnsi with a UTF-8 byte-order mark
// dropped. Embedded zero bytes are kept (as U+0000). Never fails; an odd last
// byte of UTF-16 text and unpaired surrogates become U+FFFD.
std::u16string decodeText(std::string_view bytes);
// Encodes UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string encodeUtf8(std::u16string_view text);
// True when the bytes are entirely valid UTF-8.
bool isValidUtf8(std::string_view bytes);
// Re-encodes bytes as valid UTF-8 (the Windows-1252 fallback applied).
std::string normalizeToUtf8(std::string_view bytes);
// The Unicode character of a Windows-1252 byte (undefined bytes map to the
// C1 control of the same value, as the platform does).
char16_t windows1252ToUnicode(unsigned char byte);
// Encodes text as Windows-1252 bytes; false (out unspecified) when a
// character has no byte there.
bool encodeWindows1252(std::u16string_view text, std::string& out);

}  // namespace qrt
