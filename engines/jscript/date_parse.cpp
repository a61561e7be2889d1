// Date.parse and new Date(text) for the text forms this engine's dates print
// ("Fri Jan 5 00:00:00 UTC+0100 2024", "Fri Jan 5 2024") and the forms
// scripts commonly write ("Jan 5, 2024 10:30", "1/5/2024 10:30:00 PM").
// Duktape tries its own ISO 8601 reader first and asks this one for the
// rest (see DUK_USE_DATE_PARSE_STRING in CMakeLists.txt).
#include "duktape.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
constexpr const char* kDays[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};

struct Zone {
    const char* name;
    int minutes;  // east of UTC
};
constexpr Zone kZones[] = {{"utc", 0},     {"gmt", 0},     {"z", 0},       {"est", -300}, {"edt", -240},
                           {"cst", -360},  {"cdt", -300},  {"mst", -420},  {"mdt", -360}, {"pst", -480},
                           {"pdt", -420}};

// Days from 1970-01-01 to the date (proleptic Gregorian calendar).
double daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<double>(era * 146097 + static_cast<long long>(doe) - 719468);
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Splits into words, numbers and the separators that matter (":" "/" "+" "-").
std::vector<std::string> tokens(const char* text) {
    std::vector<std::string> out;
    for (const char* p = text; *p;) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (std::isalpha(c)) {
            const char* start = p;
            while (std::isalpha(static_cast<unsigned char>(*p)) || *p == '.') ++p;
            out.push_back(lower(std::string(start, p)));
        } else if (std::isdigit(c)) {
            const char* start = p;
            while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
            out.emplace_back(start, p);
        } else if (c == ':' || c == '/' || c == '+' || c == '-') {
            out.emplace_back(1, static_cast<char>(c));
            ++p;
        } else {
            ++p;  // spaces, commas, parentheses
        }
    }
    return out;
}

bool isNumber(const std::string& s) { return !s.empty() && std::isdigit(static_cast<unsigned char>(s[0])); }

int monthOf(const std::string& word) {
    if (word.size() < 3) return -1;
    for (int i = 0; i < 12; ++i)
        if (word.compare(0, 3, kMonths[i]) == 0) return i;
    return -1;
}

bool isDayName(const std::string& word) {
    if (word.size() < 3) return false;
    for (const char* day : kDays)
        if (word.compare(0, 3, day) == 0) return true;
    return false;
}

// The time value of the text, or NaN.
double parse(const char* text) {
    const std::vector<std::string> t = tokens(text);
    int year = -1, month = -1, day = -1, hour = 0, minute = 0, second = 0;
    bool haveZone = false, pm = false, am = false;
    int zoneMinutes = 0;
    std::vector<int> loose;  // numbers not yet placed
    for (std::size_t i = 0; i < t.size(); ++i) {
        const std::string& w = t[i];
        if (isNumber(w)) {
            if (i + 2 < t.size() && t[i + 1] == ":" && isNumber(t[i + 2])) {  // a time
                hour = std::atoi(w.c_str());
                minute = std::atoi(t[i + 2].c_str());
                i += 2;
                if (i + 2 < t.size() && t[i + 1] == ":" && isNumber(t[i + 2])) {
                    second = std::atoi(t[i + 2].c_str());
                    i += 2;
                }
            } else if (i + 4 < t.size() && t[i + 1] == "/" && isNumber(t[i + 2]) && t[i + 3] == "/" &&
                       isNumber(t[i + 4])) {  // month/day/year
                month = std::atoi(w.c_str()) - 1;
                day = std::atoi(t[i + 2].c_str());
                year = std::atoi(t[i + 4].c_str());
                i += 4;
            } else {
                loose.push_back(std::atoi(w.c_str()));
            }
        } else if ((w == "+" || w == "-") && i + 1 < t.size() && isNumber(t[i + 1]) && t[i + 1].size() == 4) {
            const int hhmm = std::atoi(t[i + 1].c_str());
            zoneMinutes = (w == "+" ? 1 : -1) * ((hhmm / 100) * 60 + hhmm % 100);
            haveZone = true;
            ++i;
        } else if (w == "am" || w == "a.m.") {
            am = true;
        } else if (w == "pm" || w == "p.m.") {
            pm = true;
        } else if (monthOf(w) >= 0 && month < 0) {
            month = monthOf(w);
        } else if (isDayName(w)) {
            // the weekday adds nothing
        } else {
            bool known = false;
            for (const Zone& z : kZones) {
                if (w == z.name) {
                    zoneMinutes = z.minutes;
                    haveZone = true;
                    known = true;
                }
            }
            if (!known) return NAN;
        }
    }
    // Loose numbers: the day and the year, in either order ("Jan 5 2024", "5 Jan 2024").
    for (int n : loose) {
        if (day < 0 && n >= 1 && n <= 31) day = n;
        else if (year < 0) year = n;
        else return NAN;
    }
    if (year < 0 || month < 0 || month > 11 || day < 1 || day > 31) return NAN;
    if (year < 100 && loose.empty()) year += 1900;  // 1/5/99
    if (pm && hour < 12) hour += 12;
    if (am && hour == 12) hour = 0;
    if (hour > 24 || minute > 59 || second > 59) return NAN;

    const double days = daysFromCivil(year, static_cast<unsigned>(month + 1), static_cast<unsigned>(day));
    double ms = (days * 86400.0 + hour * 3600.0 + minute * 60.0 + second) * 1000.0;
    if (haveZone) return ms - zoneMinutes * 60000.0;
    // Local time: the offset in force at that moment.
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const std::time_t local = std::mktime(&tm);
    if (local == static_cast<std::time_t>(-1)) return NAN;
    return static_cast<double>(local) * 1000.0;
}

}  // namespace

extern "C" int quillan_duk_parse_date(duk_context* ctx, const char* text) {
    const double ms = text ? parse(text) : NAN;
    if (std::isnan(ms)) return 0;  // Duktape answers NaN itself
    duk_push_number(ctx, ms);
    return 1;
}
