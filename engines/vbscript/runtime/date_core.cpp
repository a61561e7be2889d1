#include "engines/vbscript/runtime/date_core.h"

#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <vector>

namespace vbs::dates {

namespace {

// Days from 1 January 1970 of a proleptic Gregorian date, and back.
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<std::int64_t>(y - era * 400);
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

const std::int64_t kEpoch = daysFromCivil(1899, 12, 30);

const char16_t* const kMonths[] = {u"January", u"February", u"March",     u"April",   u"May",      u"June",
                                   u"July",    u"August",   u"September", u"October", u"November", u"December"};
const char16_t* const kWeekdays[] = {u"Sunday",   u"Monday", u"Tuesday", u"Wednesday",
                                     u"Thursday", u"Friday", u"Saturday"};

std::u16string number(std::int64_t n, int width = 0) {
    std::u16string digits;
    const bool negative = n < 0;
    std::uint64_t m = negative ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + m % 10));
        m /= 10;
    } while (m);
    while (static_cast<int>(digits.size()) < width) digits.insert(digits.begin(), u'0');
    if (negative) digits.insert(digits.begin(), u'-');
    return digits;
}

char16_t lowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

std::u16string lowerAscii(const char16_t* s) {
    std::u16string out;
    for (; *s; ++s) out.push_back(lowerAscii(*s));
    return out;
}

// ---- reading dates ----------------------------------------------------------

struct Token {
    enum Kind { Number, Word, Sep } kind = Sep;
    std::int64_t value = 0;  // Number
    int digits = 0;          // Number
    std::u16string word;     // Word, lower case
    char16_t sep = 0;        // Sep
    bool used = false;
};

bool tokenize(std::u16string_view text, std::vector<Token>& out) {
    std::size_t i = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (c == u' ' || c == u'\t') {
            ++i;
        } else if (c >= u'0' && c <= u'9') {
            Token t;
            t.kind = Token::Number;
            while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
                if (++t.digits > 9) return false;
                t.value = t.value * 10 + (text[i++] - u'0');
            }
            out.push_back(std::move(t));
        } else if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
            Token t;
            t.kind = Token::Word;
            while (i < text.size() && ((text[i] >= u'a' && text[i] <= u'z') || (text[i] >= u'A' && text[i] <= u'Z')))
                t.word.push_back(lowerAscii(text[i++]));
            out.push_back(std::move(t));
        } else if (c == u'/' || c == u'-' || c == u'.' || c == u',' || c == u':') {
            Token t;
            t.kind = Token::Sep;
            t.sep = c;
            out.push_back(std::move(t));
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

// 1-12 for a month's name or its abbreviation, else 0.
int monthOfWord(const std::u16string& w) {
    for (int m = 0; m < 12; ++m) {
        const std::u16string name = lowerAscii(kMonths[m]);
        if (w == name || (w.size() >= 3 && name.compare(0, w.size(), w) == 0)) return m + 1;
    }
    return 0;
}

bool isWeekdayWord(const std::u16string& w) {
    for (const char16_t* name : kWeekdays) {
        const std::u16string n = lowerAscii(name);
        if (w == n || (w.size() >= 3 && n.compare(0, w.size(), w) == 0)) return true;
    }
    return false;
}

int meridiem(const Token& t) {
    if (t.kind != Token::Word) return 0;
    if (t.word == u"am" || t.word == u"a") return 1;
    if (t.word == u"pm" || t.word == u"p") return 2;
    return 0;
}

// Finds and reads the time among the tokens, marking its tokens used.
// found is false when there is none; false when one is malformed.
bool readTime(std::vector<Token>& t, bool& found, double& seconds) {
    found = false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Token::Number) continue;
        const bool colon = i + 2 < t.size() && t[i + 1].kind == Token::Sep && t[i + 1].sep == u':';
        const bool bareHour = i + 1 < t.size() && meridiem(t[i + 1]);
        if (!colon && !bareHour) continue;
        if (t[i].digits > 2) return false;
        std::int64_t h = t[i].value, mi = 0, s = 0;
        double fraction = 0;
        std::size_t j = i + 1;
        if (colon) {
            if (t[i + 2].kind != Token::Number || t[i + 2].digits > 2) return false;
            mi = t[i + 2].value;
            j = i + 3;
            if (j + 1 < t.size() && t[j].kind == Token::Sep && t[j].sep == u':') {
                if (t[j + 1].kind != Token::Number || t[j + 1].digits > 2) return false;
                s = t[j + 1].value;
                j += 2;
                if (j + 1 < t.size() && t[j].kind == Token::Sep && t[j].sep == u'.' && t[j + 1].kind == Token::Number) {
                    fraction = static_cast<double>(t[j + 1].value) / std::pow(10.0, t[j + 1].digits);
                    j += 2;
                }
            }
        }
        const int half = j < t.size() ? meridiem(t[j]) : 0;
        if (half) {
            if (h < 1 || h > 12) return false;
            h = h % 12 + (half == 2 ? 12 : 0);
        }
        if (h > 23 || mi > 59 || s > 59) return false;
        const std::size_t end = half ? j + 1 : j;
        for (std::size_t k = i; k < end; ++k) t[k].used = true;
        found = true;
        seconds = static_cast<double>(h * 3600 + mi * 60 + s) + fraction;
        // Nothing of a time may follow it.
        return end >= t.size() || t[end].kind != Token::Sep || t[end].sep != u':';
    }
    return true;
}

bool readDay(std::vector<Token>& t, bool& found, std::int64_t& day) {
    std::vector<const Token*> numbers;
    int month = 0;
    bool seenDatePart = false;
    for (const Token& k : t) {
        if (k.used || k.kind == Token::Sep) continue;
        if (k.kind == Token::Number) {
            numbers.push_back(&k);
            seenDatePart = true;
            continue;
        }
        if (const int m = monthOfWord(k.word); m && !month) {
            month = m;
            seenDatePart = true;
        } else if (!seenDatePart && isWeekdayWord(k.word)) {
            // "Friday, January 5, 2024": the day's name says nothing more.
        } else if (k.word == u"t" && seenDatePart) {
            // ISO 8601's separator of date and time.
        } else {
            return false;
        }
    }
    found = month || !numbers.empty();
    if (!found) return true;
    std::int64_t y = 0, m = 0, d = 1;
    int yearDigits = 4;
    auto bigNumber = [](const Token* n) { return n->digits >= 3 || n->value > 31; };
    const std::int64_t currentYear = split(now()).year;
    if (month) {
        m = month;
        if (numbers.size() == 1) {
            if (bigNumber(numbers[0])) {
                y = numbers[0]->value;
                yearDigits = numbers[0]->digits;
            } else {
                d = numbers[0]->value;
                y = currentYear;
            }
        } else if (numbers.size() == 2) {
            // "5 January 2024", "January 5, 2024", "2024 January 5".
            const Token* yearToken = bigNumber(numbers[0]) ? numbers[0] : numbers[1];
            const Token* dayToken = yearToken == numbers[0] ? numbers[1] : numbers[0];
            y = yearToken->value;
            yearDigits = yearToken->digits;
            d = dayToken->value;
        } else {
            return false;
        }
    } else if (numbers.size() == 2) {
        const Token *a = numbers[0], *b = numbers[1];
        if (bigNumber(a)) {
            y = a->value, yearDigits = a->digits, m = b->value;
        } else if (bigNumber(b)) {
            m = a->value, y = b->value, yearDigits = b->digits;
        } else {
            m = a->value, d = b->value, y = currentYear;
            if (m > 12 && d <= 12) std::swap(m, d);
        }
    } else if (numbers.size() == 3) {
        const Token *a = numbers[0], *b = numbers[1], *c = numbers[2];
        if (bigNumber(a)) {
            y = a->value, yearDigits = a->digits, m = b->value, d = c->value;
        } else {
            m = a->value, d = b->value, y = c->value, yearDigits = c->digits;
            if (m > 12 && d <= 12) std::swap(m, d);
        }
    } else {
        return false;
    }
    if (yearDigits <= 2) y = windowYear(y);
    if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1 || d > daysInMonth(y, static_cast<int>(m))) return false;
    day = dayNumber(y, static_cast<int>(m), static_cast<int>(d));
    return true;
}

}  // namespace

std::int64_t dayNumber(std::int64_t year, int month, int day) { return daysFromCivil(year, month, day) - kEpoch; }

void civil(std::int64_t day, std::int64_t& year, int& month, int& dayOfMonth) {
    civilFromDays(day + kEpoch, year, month, dayOfMonth);
}

int daysInMonth(std::int64_t year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

Fields split(double serial) {
    Fields f;
    double whole = std::trunc(serial);
    std::int64_t seconds = std::llround(std::fabs(serial - whole) * kSecondsPerDay);
    f.day = static_cast<std::int64_t>(whole);
    if (seconds >= kSecondsPerDay) {
        seconds -= kSecondsPerDay;
        f.day += 1;
    }
    civil(f.day, f.year, f.month, f.dayOfMonth);
    f.hour = static_cast<int>(seconds / 3600);
    f.minute = static_cast<int>(seconds / 60 % 60);
    f.second = static_cast<int>(seconds % 60);
    f.weekday = static_cast<int>(((f.day + 6) % 7 + 7) % 7) + 1;
    f.dayOfYear = static_cast<int>(f.day - dayNumber(f.year, 1, 1)) + 1;
    return f;
}

double join(std::int64_t day, double seconds) {
    const double t = seconds / static_cast<double>(kSecondsPerDay);
    return day >= 0 ? static_cast<double>(day) + t : static_cast<double>(day) - t;
}

double linear(double serial) {
    const double whole = std::trunc(serial);
    return whole + std::fabs(serial - whole);
}

double fromLinear(double days) {
    const double whole = std::floor(days);
    return join(static_cast<std::int64_t>(whole), (days - whole) * kSecondsPerDay);
}

bool inRange(double serial) { return serial > kFirstSerial - 1 && serial < kLastDay + 1; }

double roundToSecond(double serial) {
    const Fields f = split(serial);
    return join(f.day, static_cast<double>(f.secondsOfDay()));
}

std::int64_t windowYear(std::int64_t year) {
    if (year >= 0 && year < 30) return 2000 + year;
    if (year >= 30 && year < 100) return 1900 + year;
    return year;
}

bool parse(std::u16string_view text, double& serial) {
    // A number is a day count, not a date's text.
    try {
        double plain = 0;
        if (parseNumber(text, plain)) return false;
    } catch (const ScriptError&) {
        return false;
    }
    std::vector<Token> tokens;
    if (!tokenize(text, tokens) || tokens.empty()) return false;
    bool hasTime = false, hasDay = false;
    double seconds = 0;
    std::int64_t day = 0;
    if (!readTime(tokens, hasTime, seconds)) return false;
    if (!readDay(tokens, hasDay, day)) return false;
    if (!hasTime && !hasDay) return false;
    serial = join(day, seconds);
    return true;
}

std::u16string monthName(int month, bool abbreviated) {
    std::u16string name = kMonths[month - 1];
    return abbreviated ? name.substr(0, 3) : name;
}

std::u16string weekdayName(int weekday, bool abbreviated) {
    std::u16string name = kWeekdays[weekday - 1];
    return abbreviated ? name.substr(0, 3) : name;
}

std::u16string shortDate(const Fields& f) {
    return number(f.month) + u"/" + number(f.dayOfMonth) + u"/" + number(f.year);
}

std::u16string longDate(const Fields& f) {
    return weekdayName(f.weekday, false) + u", " + monthName(f.month, false) + u" " + number(f.dayOfMonth) + u", " +
           number(f.year);
}

std::u16string longTime(const Fields& f) {
    const int h = f.hour % 12 == 0 ? 12 : f.hour % 12;
    return number(h) + u":" + number(f.minute, 2) + u":" + number(f.second, 2) + (f.hour < 12 ? u" AM" : u" PM");
}

std::u16string shortTime(const Fields& f) { return number(f.hour, 2) + u":" + number(f.minute, 2); }

std::u16string general(double serial) {
    const Fields f = split(serial);
    if (f.day == 0) return longTime(f);
    if (f.secondsOfDay() == 0) return shortDate(f);
    return shortDate(f) + u" " + longTime(f);
}

double now() {
    const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&t, &local);
    const std::int64_t day = dayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return join(day, local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec);
}

namespace {

// Text as a date, or as a number of days; error 13 when it is neither.
double textSerial(const std::u16string& text) {
    double serial = 0;
    if (parse(text, serial)) return serial;
    if (parseNumber(text, serial)) return serial;
    raise(err::TypeMismatch);
}

}  // namespace

double serialOf(const Value& value) {
    const Value& v = value.deref();
    double serial = 0;
    switch (v.tag()) {
    case Tag::Null: raise(94);
    case Tag::String: serial = textSerial(v.str()); break;
    case Tag::Object: return serialOf(defaultValue(v.obj()));
    default: serial = toDouble(v); break;
    }
    if (!inRange(serial)) raise(err::InvalidCall);
    return serial;
}

Value toDate(const Value& value) {
    const Value& v = value.deref();
    double serial = 0;
    switch (v.tag()) {
    case Tag::Date: return v;
    case Tag::Null: raise(94);
    case Tag::String: serial = textSerial(v.str()); break;
    case Tag::Object: return toDate(defaultValue(v.obj()));
    default: serial = toDouble(v); break;
    }
    if (!inRange(serial)) raise(err::Overflow);
    return Value::date(serial);
}

}  // namespace vbs::dates
