// BSTR allocation. A BSTR points at its first UTF-16 unit; the byte length
// sits in the 32 bits just before it, and a NUL unit always follows the text
// so the string can be read as a C string.
#include "runtime/bstr.h"

#include "runtime/text.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<long> g_liveBstrs{0};

constexpr std::size_t kPrefix = sizeof(std::uint32_t);
constexpr std::size_t kTerminator = sizeof(OLECHAR);
// Largest byte length whose block size still fits in the 32-bit prefix
// arithmetic without wrapping.
constexpr std::uint64_t kMaxBytes = 0xFFFFFFFFull - kPrefix - kTerminator - 1;

std::uint32_t* header(BSTR text) {
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(text) - kPrefix);
}

// Allocates room for byteLength bytes of text plus the terminator; the text
// bytes are zeroed. Returns null when out of memory.
BSTR allocateBytes(std::uint64_t byteLength) {
    if (byteLength > kMaxBytes) return nullptr;
    // One spare byte past the terminator keeps an odd-length string's final
    // NUL unit whole.
    const std::size_t block = kPrefix + static_cast<std::size_t>(byteLength) + kTerminator + 1;
    char* raw = static_cast<char*>(std::calloc(1, block));
    if (!raw) return nullptr;
    const auto length = static_cast<std::uint32_t>(byteLength);
    std::memcpy(raw, &length, sizeof length);
    ++g_liveBstrs;
    return reinterpret_cast<BSTR>(raw + kPrefix);
}

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (!text || !length) return allocateBytes(static_cast<std::uint64_t>(length) * sizeof(OLECHAR));
    // With the text at hand only the terminator needs zeroing, which spares
    // the cleared allocation (the common case: every string a call returns).
    const std::uint64_t byteLength = static_cast<std::uint64_t>(length) * sizeof(OLECHAR);
    if (byteLength > kMaxBytes) return nullptr;
    const std::size_t bytes = static_cast<std::size_t>(byteLength);
    char* raw = static_cast<char*>(std::malloc(kPrefix + bytes + kTerminator + 1));
    if (!raw) return nullptr;
    const auto prefix = static_cast<std::uint32_t>(byteLength);
    std::memcpy(raw, &prefix, sizeof prefix);
    std::memcpy(raw + kPrefix, text, bytes);
    std::memset(raw + kPrefix + bytes, 0, kTerminator + 1);
    ++g_liveBstrs;
    return reinterpret_cast<BSTR>(raw + kPrefix);
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    UINT length = 0;
    while (text[length]) ++length;
    return SysAllocStringLen(text, length);
}

BSTR SysAllocStringByteLen(const char* bytes, UINT byteLength) {
    BSTR s = allocateBytes(byteLength);
    if (s && bytes && byteLength) std::memcpy(s, bytes, byteLength);
    return s;
}

INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length) {
    if (!target) return 0;
    BSTR old = *target;
    BSTR fresh = SysAllocStringLen(nullptr, length);
    if (!fresh) return 0;
    // Without new text the old contents are kept, as far as they reach. The
    // new string is built before the old one is freed, so text may point
    // into *target.
    const OLECHAR* from = text ? text : old;
    const UINT available = text ? length : std::min(length, SysStringLen(old));
    if (from && available) std::memcpy(fresh, from, static_cast<std::size_t>(available) * sizeof(OLECHAR));
    SysFreeString(old);
    *target = fresh;
    return 1;
}

INT SysReAllocString(BSTR* target, const OLECHAR* text) {
    if (!target) return 0;
    if (!text) {
        SysFreeString(*target);
        *target = nullptr;
        return 1;
    }
    UINT length = 0;
    while (text[length]) ++length;
    return SysReAllocStringLen(target, text, length);
}

void SysFreeString(BSTR text) {
    if (!text) return;
    std::free(header(text));
    --g_liveBstrs;
}

UINT SysStringByteLen(BSTR text) {
    if (!text) return 0;
    std::uint32_t length;
    std::memcpy(&length, header(text), sizeof length);
    return length;
}

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }

namespace qrt {

BSTR allocBstr(std::string_view utf8) { return allocBstr(decodeAnsi(utf8)); }

BSTR allocBstr(std::u16string_view text) {
    if (text.size() > kMaxBytes / sizeof(OLECHAR)) return nullptr;
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

std::string bstrToUtf8(BSTR text) { return encodeUtf8(bstrView(text)); }

long liveBstrCount() { return g_liveBstrs.load(); }

}  // namespace qrt
