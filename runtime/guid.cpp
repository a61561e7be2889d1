#include "runtime/guid.h"

#include "runtime/text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qrt {

std::string guidToString(const GUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

std::u16string guidToWString(const GUID& g) {
    std::string s = guidToString(g);
    return std::u16string(s.begin(), s.end());
}

}  // namespace qrt

void* CoTaskMemAlloc(std::size_t size) { return std::malloc(size ? size : 1); }
void CoTaskMemFree(void* p) { std::free(p); }

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = GUID_NULL;
    if (!text) return S_OK;
    std::string narrow;
    for (const OLECHAR* p = text; *p; ++p) {
        if (*p > 0x7F) return CO_E_CLASSSTRING;
        narrow.push_back(static_cast<char>(*p));
    }
    if (narrow.empty()) return S_OK;
    if (narrow.front() != '{') return CO_E_CLASSSTRING;
    auto g = qrt::parseGuid(narrow);
    if (!g) return CO_E_CLASSSTRING;
    *clsid = *g;
    return S_OK;
}

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text) {
    if (!text) return E_POINTER;
    std::u16string s = qrt::guidToWString(clsid);
    auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(OLECHAR)));
    if (!out) return E_OUTOFMEMORY;
    std::memcpy(out, s.c_str(), (s.size() + 1) * sizeof(OLECHAR));
    *text = out;
    return S_OK;
}

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size) {
    std::u16string s = qrt::guidToWString(guid);
    if (!buffer || size < static_cast<int>(s.size() + 1)) return 0;
    std::memcpy(buffer, s.c_str(), (s.size() + 1) * sizeof(OLECHAR));
    return static_cast<int>(s.size() + 1);
}
