// BSTR: length-prefixed UTF-16 strings. A null BSTR is a valid empty string
// for readers, but stays distinguishable from an allocated empty one.
#pragma once

#include "runtime/types.h"

#include <string>
#include <string_view>
#include <utility>

BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);      // text may be null: uninitialised content
BSTR SysAllocStringByteLen(const char* bytes, UINT byteLength);
INT SysReAllocString(BSTR* target, const OLECHAR* text);
INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);

namespace qrt {

// BSTR from UTF-8 / to UTF-8 (invalid UTF-8 falls back to Windows-1252).
BSTR allocBstr(std::string_view utf8);
BSTR allocBstr(std::u16string_view text);
std::string bstrToUtf8(BSTR text);
inline std::u16string_view bstrView(BSTR text) { return text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view(); }

// BSTRs made minus those freed, by the calling thread and by threads that
// have ended (for leak checks; a string made on one thread and freed on
// another shows in both threads' counts).
long liveBstrCount();

// Owning wrapper around a BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::string_view utf8) : m_s(allocBstr(utf8)) {}
    explicit Bstr(std::u16string_view text) : m_s(allocBstr(text)) {}
    explicit Bstr(const char16_t* text) : m_s(text ? SysAllocString(text) : nullptr) {}
    Bstr(const Bstr& o) : m_s(o.m_s ? SysAllocStringLen(o.m_s, SysStringLen(o.m_s)) : nullptr) {}
    Bstr(Bstr&& o) noexcept : m_s(std::exchange(o.m_s, nullptr)) {}
    Bstr& operator=(Bstr o) noexcept { std::swap(m_s, o.m_s); return *this; }
    ~Bstr() { SysFreeString(m_s); }

    static Bstr attach(BSTR s) { Bstr b; b.m_s = s; return b; }
    BSTR detach() { return std::exchange(m_s, nullptr); }
    BSTR get() const { return m_s; }
    BSTR* out() { SysFreeString(m_s); m_s = nullptr; return &m_s; }   // for out-parameters
    bool isNull() const { return m_s == nullptr; }
    UINT length() const { return SysStringLen(m_s); }
    std::u16string_view view() const { return bstrView(m_s); }
    std::string utf8() const { return bstrToUtf8(m_s); }
    operator BSTR() const { return m_s; }

private:
    BSTR m_s = nullptr;
};

}  // namespace qrt
