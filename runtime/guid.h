// GUIDs: 128-bit identifiers of classes, interfaces and libraries, with the
// brace text form "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}".
#pragma once

#include "runtime/types.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::array<std::uint8_t, 8> Data4{};

    // Two 64-bit comparisons: GUIDs are compared on every dispatch call.
    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        if (std::is_constant_evaluated()) {
            return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 && a.Data4 == b.Data4;
        }
        return a.head() == b.head() && a.tail() == b.tail();
    }

private:
    std::uint64_t head() const {
        return static_cast<std::uint64_t>(Data1) | static_cast<std::uint64_t>(Data2) << 32 |
               static_cast<std::uint64_t>(Data3) << 48;
    }
    std::uint64_t tail() const {
        std::uint64_t t;
        std::memcpy(&t, Data4.data(), sizeof t);
        return t;
    }
};

using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using REFGUID = const GUID&;

constexpr GUID GUID_NULL{};

namespace qrt {

namespace detail {
constexpr int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
constexpr std::uint64_t hexField(std::string_view s, std::size_t pos, std::size_t len, bool& ok) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < len; ++i) {
        int d = pos + i < s.size() ? hexDigit(s[pos + i]) : -1;
        if (d < 0) { ok = false; return 0; }
        v = v * 16 + static_cast<std::uint64_t>(d);
    }
    return v;
}
}  // namespace detail

// Parses "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (braces optional).
constexpr std::optional<GUID> parseGuid(std::string_view s) {
    if (s.size() == 38) {
        if (s.front() != '{' || s.back() != '}') return std::nullopt;
        s = s.substr(1, 36);
    }
    if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') return std::nullopt;
    bool ok = true;
    GUID g;
    g.Data1 = static_cast<std::uint32_t>(detail::hexField(s, 0, 8, ok));
    g.Data2 = static_cast<std::uint16_t>(detail::hexField(s, 9, 4, ok));
    g.Data3 = static_cast<std::uint16_t>(detail::hexField(s, 14, 4, ok));
    g.Data4[0] = static_cast<std::uint8_t>(detail::hexField(s, 19, 2, ok));
    g.Data4[1] = static_cast<std::uint8_t>(detail::hexField(s, 21, 2, ok));
    for (std::size_t i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<std::uint8_t>(detail::hexField(s, 24 + 2 * i, 2, ok));
    if (!ok) return std::nullopt;
    return g;
}

// A GUID from a literal, checked at compile time.
consteval GUID makeGuid(std::string_view s) {
    auto g = parseGuid(s);
    if (!g) throw "malformed GUID literal";
    return *g;
}

// Upper-case brace form, as the registry stores it.
std::string guidToString(const GUID& g);
std::u16string guidToWString(const GUID& g);

}  // namespace qrt

template <>
struct std::hash<GUID> {
    std::size_t operator()(const GUID& g) const noexcept {
        std::uint64_t a = (std::uint64_t(g.Data1) << 32) | (std::uint64_t(g.Data2) << 16) | g.Data3;
        std::uint64_t b = 0;
        for (auto x : g.Data4) b = (b << 8) | x;
        return std::hash<std::uint64_t>{}(a ^ (b * 0x9E3779B97F4A7C15ull));
    }
};

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text);  // text freed with CoTaskMemFree
int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size);
void* CoTaskMemAlloc(std::size_t size);
void CoTaskMemFree(void* p);
