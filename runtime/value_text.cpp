// Numbers and dates as locale-independent text, and the rounding rules of
// variant conversions.
#include "runtime/value_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace qrt::detail {

namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == 0xA0; }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int digitValue(char16_t c, unsigned base) {
    int d = -1;
    if (c >= u'0' && c <= u'9') d = c - u'0';
    else if (c >= u'a' && c <= u'f') d = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F') d = c - u'A' + 10;
    return d >= 0 && static_cast<unsigned>(d) < base ? d : -1;
}

char16_t asciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

std::u16string_view trimBlanks(std::u16string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool equalsIgnoringCase(std::u16string_view text, std::string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (asciiLower(text[i]) != static_cast<char16_t>(word[i])) return false;
    return true;
}

HRESULT parseRadix(std::u16string_view text, TextNumber& number) {
    // text starts after the '&'.
    if (text.size() < 2) return DISP_E_TYPEMISMATCH;
    unsigned base = 0;
    switch (text[0]) {
    case u'H':
    case u'h': base = 16; break;
    case u'O':
    case u'o': base = 8; break;
    default: return DISP_E_TYPEMISMATCH;
    }
    std::uint64_t value = 0;
    bool overflow = false;
    for (char16_t c : text.substr(1)) {
        const int d = digitValue(c, base);
        if (d < 0) return DISP_E_TYPEMISMATCH;
        if (value > (UINT64_MAX - static_cast<unsigned>(d)) / base) overflow = true;  // keep checking the syntax
        else value = value * base + static_cast<unsigned>(d);
    }
    if (overflow) return DISP_E_OVERFLOW;
    number.radix = true;
    number.bits = value;
    return S_OK;
}

// Decimal exponents far beyond any type's range are settled without
// building the digits.
constexpr long kHugeExponent = 100000000;

std::string scientific(const TextNumber& number) {
    std::string s = number.digits;
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, number.exponent);
    s.push_back('e');
    s.append(buf, r.ptr);
    return s;
}

template <class F>
HRESULT decimalToFloating(const TextNumber& number, F& value, long maxDecimalExponent) {
    value = 0;
    if (number.digits.empty()) return S_OK;
    // Position of the leading digit relative to the decimal point.
    const long magnitude = static_cast<long>(number.digits.size()) + number.exponent;
    if (magnitude > maxDecimalExponent) return DISP_E_OVERFLOW;
    if (magnitude < -maxDecimalExponent) return S_OK;
    const std::string s = scientific(number);
    F parsed = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), parsed);
    if (r.ec == std::errc::result_out_of_range) {
        if (magnitude > 0) return DISP_E_OVERFLOW;
        parsed = 0;  // below the smallest value
    } else if (r.ec != std::errc() || std::isinf(parsed)) {
        return DISP_E_OVERFLOW;
    }
    value = number.negative ? -parsed : parsed;
    return S_OK;
}

// Days from 1 January 1970 of a proleptic Gregorian date, and back.
long daysFromCivil(long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

void civilFromDays(long z, long& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<long>(yoe) + era * 400 + (m <= 2);
}

const long kDateEpoch = daysFromCivil(1899, 12, 30);
constexpr long kSecondsPerDay = 86400;
constexpr double kFirstDate = -657435.0;  // 31 December 99: just below the range
constexpr double kPastLastDate = 2958466.0;  // 1 January 10000
constexpr long kLastDay = 2958465;

unsigned daysInMonth(long y, unsigned m) {
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

// A small reader over the text of a date.
struct Cursor {
    std::u16string_view text;
    std::size_t pos = 0;

    bool atEnd() const { return pos >= text.size(); }
    char16_t peek() const { return atEnd() ? u'\0' : text[pos]; }
    void skipBlanks() {
        while (!atEnd() && isBlank(text[pos])) ++pos;
    }
    bool consume(char16_t c) {
        if (peek() != c) return false;
        ++pos;
        return true;
    }
    // Up to 9 decimal digits; count receives how many were read.
    bool number(long& value, int& count) {
        value = 0;
        count = 0;
        while (!atEnd() && isDigit(text[pos])) {
            if (++count > 9) return false;
            value = value * 10 + (text[pos++] - u'0');
        }
        return count > 0;
    }
    // "AM" / "PM" in any case: 0 for none, 1 for AM, 2 for PM.
    int meridiem() {
        if (text.size() - pos < 2 || asciiLower(text[pos + 1]) != u'm') return 0;
        const char16_t c = asciiLower(text[pos]);
        if (c != u'a' && c != u'p') return 0;
        pos += 2;
        return c == u'a' ? 1 : 2;
    }
};

bool readDate(Cursor& c, long& y, unsigned& m, unsigned& d) {
    long a = 0, b = 0, last = 0;
    int aDigits = 0, bDigits = 0, lastDigits = 0;
    if (!c.number(a, aDigits)) return false;
    const char16_t sep = c.peek();
    if (sep != u'/' && sep != u'-') return false;
    c.consume(sep);
    if (!c.number(b, bDigits) || bDigits > 2 || !c.consume(sep) || !c.number(last, lastDigits)) return false;
    if (aDigits >= 3) {  // year first: yyyy-mm-dd
        if (aDigits > 4 || lastDigits > 2) return false;
        y = a;
        m = static_cast<unsigned>(b);
        d = static_cast<unsigned>(last);
    } else {  // m/d/yyyy, or m/d/yy with a window of 1930-2029
        if (lastDigits > 4) return false;
        m = static_cast<unsigned>(a);
        d = static_cast<unsigned>(b);
        y = lastDigits <= 2 ? (last < 30 ? 2000 + last : 1900 + last) : last;
    }
    return y >= 100 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= daysInMonth(y, m);
}

bool readTime(Cursor& c, long& seconds) {
    long h = 0, mi = 0, s = 0;
    int digits = 0;
    if (!c.number(h, digits) || digits > 2) return false;
    const bool colon = c.consume(u':');
    if (colon) {
        if (!c.number(mi, digits) || digits > 2) return false;
        if (c.consume(u':') && (!c.number(s, digits) || digits > 2)) return false;
    }
    c.skipBlanks();
    const int half = c.meridiem();
    if (!colon && !half) return false;  // a bare number is no time
    if (half) {
        if (h < 1 || h > 12) return false;
        h = (h % 12) + (half == 2 ? 12 : 0);
    }
    if (h > 23 || mi > 59 || s > 59) return false;
    seconds = h * 3600 + mi * 60 + s;
    return true;
}

double serialOf(long day, long seconds) {
    const double time = static_cast<double>(seconds) / kSecondsPerDay;
    return day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
}

void appendNumber(std::string& s, long value, int width = 0) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    for (int pad = width - static_cast<int>(r.ptr - buf); pad > 0; --pad) s.push_back('0');
    s.append(buf, r.ptr);
}

}  // namespace

double roundHalfEven(double value) {
    if (!std::isfinite(value)) return value;
    double r = std::floor(value);
    const double fraction = value - r;  // exact
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
    return r;
}

Int128 divideHalfEven(std::int64_t n, std::int64_t d) {
    Int128 q = n / d;
    const Int128 twiceRest = 2 * static_cast<Int128>(n % d < 0 ? -(n % d) : n % d);
    if (twiceRest > d || (twiceRest == d && (q & 1) != 0)) q += n < 0 ? -1 : 1;
    return q;
}

HRESULT parseNumber(std::u16string_view text, TextNumber& number) {
    number = TextNumber{};
    const std::u16string_view t = trimBlanks(text);
    if (t.empty()) return DISP_E_TYPEMISMATCH;
    if (t[0] == u'&') return parseRadix(t.substr(1), number);

    std::size_t i = 0;
    if (t[i] == u'+' || t[i] == u'-') number.negative = t[i++] == u'-';
    bool anyDigit = false;
    long exponent = 0;
    const auto takeDigit = [&](char16_t c) {
        anyDigit = true;
        if (!number.digits.empty() || c != u'0') number.digits.push_back(static_cast<char>(c));
    };
    while (i < t.size()) {
        if (isDigit(t[i])) {
            takeDigit(t[i++]);
        } else if (t[i] == u',' && i > 0 && isDigit(t[i - 1]) && i + 1 < t.size() && isDigit(t[i + 1])) {
            ++i;  // thousands separator
        } else {
            break;
        }
    }
    if (i < t.size() && t[i] == u'.') {
        for (++i; i < t.size() && isDigit(t[i]); ++i) {
            takeDigit(t[i]);
            --exponent;
        }
    }
    if (!anyDigit) return DISP_E_TYPEMISMATCH;
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        bool negative = false;
        if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) negative = t[i++] == u'-';
        if (i >= t.size() || !isDigit(t[i])) return DISP_E_TYPEMISMATCH;
        long e = 0;
        for (; i < t.size() && isDigit(t[i]); ++i)
            if (e < kHugeExponent) e = e * 10 + (t[i] - u'0');
        exponent += negative ? -e : e;
    }
    if (i != t.size()) return DISP_E_TYPEMISMATCH;

    while (!number.digits.empty() && number.digits.back() == '0') {
        number.digits.pop_back();
        ++exponent;
    }
    number.exponent = number.digits.empty() ? 0 : exponent;
    return S_OK;
}

HRESULT decimalToInteger(const TextNumber& number, int scale, Int128& value) {
    value = 0;
    if (number.digits.empty()) return S_OK;
    const std::string& digits = number.digits;
    const long length = static_cast<long>(digits.size());
    const long exponent = number.exponent + scale;
    const long wholeDigits = length + exponent;  // digits before the decimal point
    if (wholeDigits > 38) return DISP_E_OVERFLOW;
    Int128 v = 0;
    for (long k = 0; k < wholeDigits; ++k) v = v * 10 + (k < length ? digits[static_cast<std::size_t>(k)] - '0' : 0);
    if (wholeDigits >= 0 && wholeDigits < length) {
        // The first dropped digit decides; any digit after it (never a
        // trailing zero) makes a 5 more than half.
        const char first = digits[static_cast<std::size_t>(wholeDigits)];
        const bool moreAfter = wholeDigits + 1 < length;
        if (first > '5' || (first == '5' && (moreAfter || (v & 1) != 0))) v += 1;
    }
    value = number.negative ? -v : v;
    return S_OK;
}

HRESULT decimalToDouble(const TextNumber& number, double& value) { return decimalToFloating(number, value, 400); }

HRESULT decimalToFloat(const TextNumber& number, float& value) { return decimalToFloating(number, value, 60); }

Int128 radixValue(const TextNumber& number) {
    if (number.bits <= UINT32_MAX) return static_cast<std::int32_t>(static_cast<std::uint32_t>(number.bits));
    return static_cast<std::int64_t>(number.bits);
}

bool parseBoolWord(std::u16string_view text, bool& value) {
    const std::u16string_view t = trimBlanks(text);
    if (equalsIgnoringCase(t, "true")) {
        value = true;
        return true;
    }
    if (equalsIgnoringCase(t, "false")) {
        value = false;
        return true;
    }
    return false;
}

std::string formatInteger(Int128 value) {
    __extension__ typedef unsigned __int128 UInt128;
    UInt128 magnitude = value < 0 ? UInt128(0) - static_cast<UInt128>(value) : static_cast<UInt128>(value);
    char buf[48];
    char* p = buf + sizeof buf;
    do {
        *--p = static_cast<char>('0' + static_cast<int>(magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--p = '-';
    return std::string(p, buf + sizeof buf);
}

std::string formatReal(double value, int digits) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
    if (value == 0) return "0";  // never "-0"
    // The printf %G rule: plain notation unless the exponent is below -4 or
    // at least the number of digits; trailing zeros dropped.
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
    std::string s(buf, r.ptr);
    for (char& c : s)
        if (c == 'e') c = 'E';
    return s;
}

std::string formatCurrency(std::int64_t scaled) {
    const bool negative = scaled < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    std::string s = negative ? "-" : "";
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, magnitude / kCurrencyScale);
    s.append(buf, r.ptr);
    auto fraction = static_cast<unsigned>(magnitude % kCurrencyScale);
    if (fraction != 0) {
        int width = 4;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --width;
        }
        s.push_back('.');
        appendNumber(s, fraction, width);
    }
    return s;
}

bool isDateInRange(double serial) { return serial > kFirstDate && serial < kPastLastDate; }

bool formatDate(double serial, std::string& text) {
    if (!isDateInRange(serial)) return false;
    const double whole = std::trunc(serial);
    long day = static_cast<long>(whole);
    long seconds = std::lround(std::fabs(serial - whole) * kSecondsPerDay);
    if (seconds >= kSecondsPerDay) {
        // Rounded up to the next midnight; the last day keeps its last second.
        if (day == kLastDay) {
            seconds = kSecondsPerDay - 1;
        } else {
            seconds = 0;
            day += 1;
        }
    }
    text.clear();
    if (day != 0) {
        long y = 0;
        unsigned m = 0, d = 0;
        civilFromDays(kDateEpoch + day, y, m, d);
        appendNumber(text, static_cast<long>(m));
        text.push_back('/');
        appendNumber(text, static_cast<long>(d));
        text.push_back('/');
        appendNumber(text, y);
        if (seconds == 0) return true;
        text.push_back(' ');
    }
    const long h = seconds / 3600;
    appendNumber(text, h % 12 == 0 ? 12 : h % 12);
    text.push_back(':');
    appendNumber(text, (seconds / 60) % 60, 2);
    text.push_back(':');
    appendNumber(text, seconds % 60, 2);
    text += h < 12 ? " AM" : " PM";
    return true;
}

bool parseDateText(std::u16string_view text, double& serial) {
    Cursor c{trimBlanks(text)};
    long y = 0;
    unsigned m = 0, d = 0;
    long seconds = 0;
    if (readDate(c, y, m, d)) {
        // A time may follow after blanks or an ISO 'T'.
        if (!c.consume(u'T') && !c.consume(u't')) c.skipBlanks();
        if (!c.atEnd() && !readTime(c, seconds)) return false;
        serial = serialOf(daysFromCivil(y, m, d) - kDateEpoch, seconds);
    } else {
        c.pos = 0;
        if (!readTime(c, seconds)) return false;
        serial = serialOf(0, seconds);
    }
    c.skipBlanks();
    return c.atEnd();
}

}  // namespace qrt::detail
