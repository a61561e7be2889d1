// Number formatting (FormatNumber, FormatCurrency, FormatPercent), URL-style
// escaping (Escape, Unescape), the locale (GetLocale, SetLocale) and the
// engine's identity (ScriptEngine and its version numbers).
//
// Numbers are formatted in the en-US conventions whatever the locale: "."
// before the decimals, "," between thousands, "$" before amounts, negative
// amounts in parentheses.
#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/interpreter.h"
#include "engines/vbscript/runtime/builtins.h"
#include "engines/vbscript/runtime/text_case.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace vbs {

namespace {

// ---- numbers as decimal digits ----------------------------------------------

// digits x 10^exponent, digits without leading zeros ("" for zero).
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

Decimal fromInteger(std::int64_t n, int exponent = 0) {
    Decimal d;
    d.negative = n < 0;
    std::uint64_t m = d.negative ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    while (m) {
        d.digits.insert(d.digits.begin(), static_cast<char>('0' + m % 10));
        m /= 10;
    }
    d.exponent = exponent;
    return d;
}

// A binary number as the decimal it shows: 15 significant digits for a
// Double, 7 for a Single, as CStr shows them.
Decimal fromReal(double value, int significant) {
    Decimal d;
    if (value == 0 || !std::isfinite(value)) return d;
    d.negative = value < 0;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", significant - 1, std::fabs(value));
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') d.digits.push_back(*p);
    const int e = *p == 'e' ? std::atoi(p + 1) : 0;
    d.exponent = e - (significant - 1);
    while (!d.digits.empty() && d.digits.back() == '0') {
        d.digits.pop_back();
        ++d.exponent;
    }
    return d;
}

Decimal decimalOf(const Value& value, std::u16string_view function) {
    const Value& v = value.deref();
    switch (v.tag()) {
    case Tag::Null: raise(94, function);
    case Tag::Currency: return fromInteger(v.asCurrency(), -4);
    case Tag::Empty:
    case Tag::Boolean:
    case Tag::Byte:
    case Tag::Integer:
    case Tag::Long: return fromInteger(toLong(v));
    case Tag::Single: return fromReal(v.asSingle(), 7);
    case Tag::Object: return decimalOf(defaultValue(v.obj()), function);
    case Tag::String:
    case Tag::Double:
    case Tag::Date: return fromReal(toDouble(v), 15);
    default: raise(err::TypeMismatch, function);
    }
}

// The whole and fraction digits of d rounded to `places` decimals, halves
// away from zero.
void roundTo(const Decimal& d, int places, std::string& whole, std::string& fraction) {
    // The digits of d x 10^places, as an integer.
    std::string scaled;
    const int shift = d.exponent + places;
    bool up = false;
    if (shift >= 0) {
        scaled = d.digits + std::string(static_cast<std::size_t>(d.digits.empty() ? 0 : shift), '0');
    } else {
        const long keep = static_cast<long>(d.digits.size()) + shift;
        if (keep > 0) scaled = d.digits.substr(0, static_cast<std::size_t>(keep));
        up = keep >= 0 && static_cast<std::size_t>(keep) < d.digits.size() && d.digits[static_cast<std::size_t>(keep)] >= '5';
    }
    if (up) {
        int i = static_cast<int>(scaled.size()) - 1;
        for (; i >= 0 && scaled[static_cast<std::size_t>(i)] == '9'; --i) scaled[static_cast<std::size_t>(i)] = '0';
        if (i < 0) scaled.insert(scaled.begin(), '1');
        else ++scaled[static_cast<std::size_t>(i)];
    }
    if (scaled.size() <= static_cast<std::size_t>(places)) scaled.insert(0, static_cast<std::size_t>(places) + 1 - scaled.size(), '0');
    whole = scaled.substr(0, scaled.size() - static_cast<std::size_t>(places));
    fraction = scaled.substr(scaled.size() - static_cast<std::size_t>(places));
    const std::size_t nonZero = whole.find_first_not_of('0');
    whole = nonZero == std::string::npos ? "0" : whole.substr(nonZero);
}

// A tristate argument (vbTrue, vbFalse, vbUseDefault).
bool tristate(const Value* a, int argc, int i, bool byDefault, std::u16string_view function) {
    if (!given(a, argc, i)) return byDefault;
    if (a[i].isNull()) raise(94, function);
    const std::int32_t v = toLong(a[i]);
    return v == -2 ? byDefault : v != 0;
}

enum class Style { Number, Currency, Percent };

// FormatX(expression[, digits[, leading digit[, parentheses[, grouping]]]])
Value format(Value* a, int argc, Style style, std::u16string_view function) {
    Decimal d = decimalOf(a[0], function);
    if (style == Style::Percent && !d.digits.empty()) d.exponent += 2;
    int places = 2;
    if (given(a, argc, 1)) {
        if (a[1].isNull()) raise(94, function);
        const std::int32_t n = toLong(a[1]);
        if (n < -1 || n > 255) raise(err::InvalidCall, function);
        if (n >= 0) places = n;
    }
    const bool leading = tristate(a, argc, 2, true, function);
    const bool parens = tristate(a, argc, 3, style == Style::Currency, function);
    const bool group = tristate(a, argc, 4, true, function);

    std::string whole, fraction;
    roundTo(d, places, whole, fraction);
    const bool zero = whole == "0" && fraction.find_first_not_of('0') == std::string::npos;
    std::string body;
    if (group) {
        for (std::size_t i = 0; i < whole.size(); ++i) {
            if (i && (whole.size() - i) % 3 == 0) body.push_back(',');
            body.push_back(whole[i]);
        }
    } else {
        body = whole;
    }
    if (!leading && whole == "0" && places > 0) body.clear();
    if (places > 0) body += "." + fraction;
    if (style == Style::Currency) body.insert(0, "$");
    if (style == Style::Percent) body.push_back('%');
    if (d.negative && !zero) body = parens ? "(" + body + ")" : "-" + body;
    return Value::ascii(body);
}

Value fnFormatNumber(Interpreter&, Value* a, int argc) { return format(a, argc, Style::Number, u"FormatNumber"); }
Value fnFormatCurrency(Interpreter&, Value* a, int argc) { return format(a, argc, Style::Currency, u"FormatCurrency"); }
Value fnFormatPercent(Interpreter&, Value* a, int argc) { return format(a, argc, Style::Percent, u"FormatPercent"); }

// ---- escaping ------------------------------------------------------------------

bool keptByEscape(char16_t c) {
    if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) return true;
    switch (c) {
    case u'@': case u'*': case u'_': case u'+': case u'-': case u'.': case u'/': return true;
    default: return false;
    }
}

// Characters outside letters, digits and @*_+-./ become %XX, or %uXXXX
// above U+00FF.
Value fnEscape(Interpreter&, Value* a, int) {
    if (a[0].isNull()) return Value::null();
    static const char16_t hex[] = u"0123456789ABCDEF";
    const std::u16string s = toString(a[0]);
    std::u16string out;
    out.reserve(s.size());
    for (char16_t c : s) {
        checkStringLength(std::uint64_t{out.size()} + 6);
        if (keptByEscape(c)) {
            out.push_back(c);
        } else if (c < 0x100) {
            out += {u'%', hex[c >> 4], hex[c & 15]};
        } else {
            out += {u'%', u'u', hex[c >> 12], hex[(c >> 8) & 15], hex[(c >> 4) & 15], hex[c & 15]};
        }
    }
    return Value::string(std::move(out));
}

int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Reads count hex digits at s[at]; -1 when they are not all there.
int hexAt(const std::u16string& s, std::size_t at, int count) {
    if (at + static_cast<std::size_t>(count) > s.size()) return -1;
    int v = 0;
    for (int i = 0; i < count; ++i) {
        const int d = hexDigit(s[at + static_cast<std::size_t>(i)]);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

// The inverse of Escape; a % that starts no escape stays as it is.
Value fnUnescape(Interpreter&, Value* a, int) {
    if (a[0].isNull()) return Value::null();
    const std::u16string s = toString(a[0]);
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'%') {
            if (i + 1 < s.size() && s[i + 1] == u'u') {
                if (const int v = hexAt(s, i + 2, 4); v >= 0) {
                    out.push_back(static_cast<char16_t>(v));
                    i += 5;
                    continue;
                }
            } else if (const int v = hexAt(s, i + 1, 2); v >= 0) {
                out.push_back(static_cast<char16_t>(v));
                i += 2;
                continue;
            }
        }
        out.push_back(s[i]);
    }
    return Value::string(std::move(out));
}

// ---- locale --------------------------------------------------------------------

struct Locale {
    std::int32_t id;
    const char16_t* tag;
};

// The locales SetLocale accepts. Formatting stays in the en-US form for all.
constexpr Locale kLocales[] = {
    {1033, u"en-us"}, {2057, u"en-gb"}, {3081, u"en-au"}, {4105, u"en-ca"}, {5129, u"en-nz"}, {6153, u"en-ie"},
    {7177, u"en-za"}, {16393, u"en-in"}, {1031, u"de-de"}, {3079, u"de-at"}, {2055, u"de-ch"}, {1036, u"fr-fr"},
    {2060, u"fr-be"}, {3084, u"fr-ca"}, {4108, u"fr-ch"}, {1040, u"it-it"}, {1034, u"es-es"}, {3082, u"es-es"},
    {2058, u"es-mx"}, {1043, u"nl-nl"}, {2067, u"nl-be"}, {1046, u"pt-br"}, {2070, u"pt-pt"}, {1053, u"sv-se"},
    {1030, u"da-dk"}, {1044, u"nb-no"}, {1035, u"fi-fi"}, {1045, u"pl-pl"}, {1029, u"cs-cz"}, {1038, u"hu-hu"},
    {1049, u"ru-ru"}, {1058, u"uk-ua"}, {1032, u"el-gr"}, {1055, u"tr-tr"}, {1037, u"he-il"}, {1025, u"ar-sa"},
    {1041, u"ja-jp"}, {1042, u"ko-kr"}, {2052, u"zh-cn"}, {1028, u"zh-tw"}, {1054, u"th-th"}, {1066, u"vi-vn"},
};
constexpr std::int32_t kDefaultLocale = 1033;

Value fnGetLocale(Interpreter& vm, Value*, int) { return Value::longInt(static_cast<std::int32_t>(vm.localeId)); }

// SetLocale(lcid or tag): returns the locale before; 0 or "" restores the default.
Value fnSetLocale(Interpreter& vm, Value* a, int argc) {
    const std::int32_t previous = static_cast<std::int32_t>(vm.localeId);
    std::int32_t id = kDefaultLocale;
    if (given(a, argc, 0)) {
        const Value& v = a[0];
        if (v.isNull()) raise(94, u"SetLocale");
        if (v.isString() && !v.str().empty() && !(v.str()[0] >= u'0' && v.str()[0] <= u'9')) {
            const std::u16string tag = lowerText(v.str());
            id = 0;
            for (const Locale& l : kLocales)
                if (tag == l.tag) id = l.id;
            if (!id) raise(err::InvalidCall, u"SetLocale");
        } else if (!(v.isString() && v.str().empty())) {
            id = toLong(v);
            if (id == 0) {
                id = kDefaultLocale;
            } else {
                bool known = false;
                for (const Locale& l : kLocales) known = known || l.id == id;
                if (!known) raise(err::InvalidCall, u"SetLocale");
            }
        }
    }
    vm.localeId = static_cast<std::uint32_t>(id);
    return Value::longInt(previous);
}

// ---- the engine --------------------------------------------------------------------

Value fnScriptEngine(Interpreter&, Value*, int) { return Value::ascii("VBScript"); }
Value fnMajorVersion(Interpreter&, Value*, int) { return Value::longInt(5); }
Value fnMinorVersion(Interpreter&, Value*, int) { return Value::longInt(8); }
Value fnBuildVersion(Interpreter&, Value*, int) { return Value::longInt(20000); }

const Builtin kFormats[] = {
    {u"FormatNumber", fnFormatNumber, 1, 5},
    {u"FormatCurrency", fnFormatCurrency, 1, 5},
    {u"FormatPercent", fnFormatPercent, 1, 5},
    {u"Escape", fnEscape, 1, 1},
    {u"Unescape", fnUnescape, 1, 1},
    {u"GetLocale", fnGetLocale, 0, 0},
    {u"SetLocale", fnSetLocale, 0, 1},
    {u"ScriptEngine", fnScriptEngine, 0, 0},
    {u"ScriptEngineMajorVersion", fnMajorVersion, 0, 0},
    {u"ScriptEngineMinorVersion", fnMinorVersion, 0, 0},
    {u"ScriptEngineBuildVersion", fnBuildVersion, 0, 0},
};

}  // namespace

std::span<const Builtin> formatBuiltins() { return kFormats; }

}  // namespace vbs
