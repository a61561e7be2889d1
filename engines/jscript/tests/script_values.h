// Small helpers the JScript tests share: a value as text, and a time zone
// set for the length of a scope.
#pragma once

#include "runtime/bstr.h"
#include "runtime/variant.h"

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace qtest {

// The value converted to text, or "<vt>" when it has no text form.
inline std::string text(const VARIANT& v) {
    qrt::Variant s;
    if (FAILED(VariantChangeType(&s, &v, 0, VT_BSTR))) return "<" + std::to_string(v.vt) + ">";
    return qrt::bstrToUtf8(s.bstrVal);
}

// Runs with TZ set to a POSIX zone rule (no zone files needed), then
// restores the previous one.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        if (const char* old = std::getenv("TZ")) m_old = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneScope() {
        if (m_old) ::setenv("TZ", m_old->c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }
    ZoneScope(const ZoneScope&) = delete;
    ZoneScope& operator=(const ZoneScope&) = delete;

private:
    std::optional<std::string> m_old;
};

}  // namespace qtest
