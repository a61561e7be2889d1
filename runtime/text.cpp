// UTF-8 <-> UTF-16 with a Windows-1252 reading of bytes that are not UTF-8.
#include "runtime/text.h"

#include <cstddef>
#include <cstdint>

namespace qrt {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80-0x9F. The five bytes the code
// page leaves undefined keep the C1 control of the same value.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

constexpr char16_t kReplacement = 0xFFFD;

bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Decodes one well-formed UTF-8 sequence at bytes[pos]. Returns its length
// and stores the code point, or returns 0 when the bytes there are not a
// well-formed sequence (truncated, overlong, a surrogate, beyond U+10FFFF).
std::size_t decodeSequence(std::string_view bytes, std::size_t pos, char32_t& cp) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[pos + i]); };
    const std::size_t left = bytes.size() - pos;
    const unsigned char b0 = at(0);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t length = 0;
    // The second byte's allowed range excludes overlong forms, surrogates and
    // values above U+10FFFF.
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (left < length) return 0;
    if (at(1) < lo || at(1) > hi) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (!isContinuation(at(i))) return 0;

    char32_t value = b0 & (0xFF >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) value = (value << 6) | (at(i) & 0x3F);
    cp = value;
    return length;
}

void appendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

char16_t windows1252ToUnicode(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
    return byte;
}

bool encodeWindows1252(std::u16string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (const char16_t c : text) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        int byte = -1;
        for (int i = 0; i < 32 && byte < 0; ++i) {
            if (kHighControls[i] == c) byte = 0x80 + i;
        }
        if (byte < 0) return false;
        out.push_back(static_cast<char>(byte));
    }
    return true;
}

std::u16string decodeAnsi(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        char32_t cp = 0;
        if (std::size_t n = decodeSequence(bytes, pos, cp)) {
            appendUtf16(out, cp);
            pos += n;
        } else {
            // Only the offending byte is taken as Windows-1252; decoding
            // resumes at the next one, which may start a valid sequence.
            out.push_back(windows1252ToUnicode(static_cast<unsigned char>(bytes[pos])));
            ++pos;
        }
    }
    return out;
}

std::u16string decodeText(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) return decodeAnsi(bytes.substr(3));
    const bool little = bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE;
    const bool big = bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF;
    if (!little && !big) return decodeAnsi(bytes);

    std::u16string out;
    out.reserve(bytes.size() / 2);
    std::size_t pos = 2;
    for (; pos + 1 < bytes.size(); pos += 2) {
        const char16_t unit = little ? static_cast<char16_t>(byte(pos) | (byte(pos + 1) << 8))
                                     : static_cast<char16_t>((byte(pos) << 8) | byte(pos + 1));
        out.push_back(unit);
    }
    if (pos < bytes.size()) out.push_back(kReplacement);
    // Surrogates must come in high-low pairs; a lone one is replaced.
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char16_t unit = out[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF) {
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            out[i] = kReplacement;
        }
    }
    return out;
}

std::string encodeUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                char32_t low = text[++i];
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            } else {
                appendUtf8(out, kReplacement);
            }
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

bool isValidUtf8(std::string_view bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        char32_t cp = 0;
        std::size_t n = decodeSequence(bytes, pos, cp);
        if (n == 0) return false;
        pos += n;
    }
    return true;
}

std::string normalizeToUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    return encodeUtf8(decodeAnsi(bytes));
}

}  // namespace qrt
