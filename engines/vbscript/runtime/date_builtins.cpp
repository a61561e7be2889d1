// Date and time functions: Date, Time, Now, Year, Month, Day, Hour, Minute,
// Second, Weekday, WeekdayName, MonthName, DateSerial, TimeSerial,
// DateValue, TimeValue, DateAdd, DateDiff, DatePart, IsDate, FormatDateTime.
#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/runtime/builtins.h"
#include "engines/vbscript/runtime/date_core.h"

#include <cmath>

namespace vbs {

namespace {

using namespace dates;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// A whole-number argument that must not be Null.
std::int32_t wholeArg(const Value& v, std::u16string_view function) {
    if (v.isNull()) raise(94, function);
    return toLong(v);
}

// firstdayofweek: vbUseSystemDayOfWeek (0) is Sunday here; 1-7 otherwise.
int firstDayArg(const Value* a, int argc, int i, std::u16string_view function) {
    if (!given(a, argc, i)) return 1;
    const std::int32_t d = wholeArg(a[i], function);
    if (d < 0 || d > 7) raise(err::InvalidCall, function);
    return d == 0 ? 1 : d;
}

// firstweekofyear: vbUseSystem (0) is vbFirstJan1 here; 1-3 otherwise.
int firstWeekArg(const Value* a, int argc, int i, std::u16string_view function) {
    if (!given(a, argc, i)) return 1;
    const std::int32_t w = wholeArg(a[i], function);
    if (w < 0 || w > 3) raise(err::InvalidCall, function);
    return w == 0 ? 1 : w;
}

Value dateResult(double serial, std::u16string_view function) {
    if (!inRange(serial)) raise(err::InvalidCall, function);
    return Value::date(serial);
}

// ---- now --------------------------------------------------------------------

Value fnNow(Interpreter&, Value*, int) { return Value::date(now()); }
Value fnDate(Interpreter&, Value*, int) { return Value::date(join(split(now()).day, 0)); }
Value fnTime(Interpreter&, Value*, int) { return Value::date(join(0, static_cast<double>(split(now()).secondsOfDay()))); }

// ---- parts --------------------------------------------------------------------

template <int Fields::*Member>
Value part(Interpreter&, Value* a, int) {
    if (a[0].isNull()) return Value::null();
    const Fields f = split(serialOf(a[0]));
    return Value::integer(static_cast<std::int16_t>(f.*Member));
}

Value fnYear(Interpreter&, Value* a, int) {
    if (a[0].isNull()) return Value::null();
    return Value::integer(static_cast<std::int16_t>(split(serialOf(a[0])).year));
}

int weekdayFrom(const Fields& f, int firstDay) { return (f.weekday - firstDay + 7) % 7 + 1; }

Value fnWeekday(Interpreter&, Value* a, int argc) {
    const int firstDay = firstDayArg(a, argc, 1, u"Weekday");
    if (a[0].isNull()) return Value::null();
    return Value::integer(static_cast<std::int16_t>(weekdayFrom(split(serialOf(a[0])), firstDay)));
}

bool flagArg(const Value* a, int argc, int i, std::u16string_view function) {
    if (!given(a, argc, i)) return false;
    if (a[i].isNull()) raise(94, function);
    return toBool(a[i]);
}

Value fnWeekdayName(Interpreter&, Value* a, int argc) {
    const std::int32_t n = wholeArg(a[0], u"WeekdayName");
    const bool abbreviated = flagArg(a, argc, 1, u"WeekdayName");
    const int firstDay = firstDayArg(a, argc, 2, u"WeekdayName");
    if (n < 1 || n > 7) raise(err::InvalidCall, u"WeekdayName");
    return Value::string(weekdayName((n - 1 + firstDay - 1) % 7 + 1, abbreviated));
}

Value fnMonthName(Interpreter&, Value* a, int argc) {
    const std::int32_t m = wholeArg(a[0], u"MonthName");
    const bool abbreviated = flagArg(a, argc, 1, u"MonthName");
    if (m < 1 || m > 12) raise(err::InvalidCall, u"MonthName");
    return Value::string(monthName(m, abbreviated));
}

// ---- building dates -----------------------------------------------------------

std::int16_t integerArg(const Value& v, std::u16string_view function) {
    if (v.isNull()) raise(94, function);
    return convert(v, Tag::Integer).asInteger();
}

// Months and days past their ends roll over into the next month and year,
// and zero or negative ones go back: DateSerial(2024, 14, 0) is 1/31/2025.
Value fnDateSerial(Interpreter&, Value* a, int) {
    const std::int64_t y = windowYear(integerArg(a[0], u"DateSerial"));
    const std::int64_t m = integerArg(a[1], u"DateSerial");
    const std::int64_t d = integerArg(a[2], u"DateSerial");
    const std::int64_t months = y * 12 + (m - 1);
    const std::int64_t year = floorDiv(months, 12);
    const int month = static_cast<int>(months - year * 12) + 1;
    return dateResult(static_cast<double>(dayNumber(year, month, 1) + d - 1), u"DateSerial");
}

Value fromSeconds(std::int64_t seconds, std::u16string_view function) {
    const std::int64_t day = floorDiv(seconds, kSecondsPerDay);
    return dateResult(join(day, static_cast<double>(seconds - day * kSecondsPerDay)), function);
}

Value fnTimeSerial(Interpreter&, Value* a, int) {
    const std::int64_t h = integerArg(a[0], u"TimeSerial");
    const std::int64_t m = integerArg(a[1], u"TimeSerial");
    const std::int64_t s = integerArg(a[2], u"TimeSerial");
    return fromSeconds(h * 3600 + m * 60 + s, u"TimeSerial");
}

Value fnDateValue(Interpreter&, Value* a, int) {
    if (a[0].isNull()) raise(94, u"DateValue");
    return Value::date(static_cast<double>(split(serialOf(a[0])).day));
}

Value fnTimeValue(Interpreter&, Value* a, int) {
    if (a[0].isNull()) raise(94, u"TimeValue");
    return Value::date(join(0, static_cast<double>(split(serialOf(a[0])).secondsOfDay())));
}

Value fnIsDate(Interpreter&, Value* a, int) {
    const Value& v = a[0];
    if (v.tag() == Tag::Date) return Value::boolean(true);
    if (!v.isString()) return Value::boolean(false);
    double serial = 0;
    return Value::boolean(parse(v.str(), serial) && inRange(serial));
}

// ---- intervals -------------------------------------------------------------------

enum class Interval { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second };

Interval intervalArg(const Value& v, std::u16string_view function) {
    if (v.isNull()) raise(94, function);
    std::u16string s = toString(v);
    for (char16_t& c : s)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    if (s == u"yyyy") return Interval::Year;
    if (s == u"q") return Interval::Quarter;
    if (s == u"m") return Interval::Month;
    if (s == u"y") return Interval::DayOfYear;
    if (s == u"d") return Interval::Day;
    if (s == u"w") return Interval::Weekday;
    if (s == u"ww") return Interval::Week;
    if (s == u"h") return Interval::Hour;
    if (s == u"n") return Interval::Minute;
    if (s == u"s") return Interval::Second;
    raise(err::InvalidCall, function);
}

Value addMonths(const Fields& f, double months) {
    const double total = static_cast<double>(f.year) * 12 + (f.month - 1) + months;
    if (std::fabs(total) > 2e5) raise(err::InvalidCall, u"DateAdd");
    const auto whole = static_cast<std::int64_t>(total);
    const std::int64_t year = floorDiv(whole, 12);
    const int month = static_cast<int>(whole - year * 12) + 1;
    if (year < 100 || year > 9999) raise(err::InvalidCall, u"DateAdd");
    const int day = std::min(f.dayOfMonth, daysInMonth(year, month));
    return dateResult(join(dayNumber(year, month, day), static_cast<double>(f.secondsOfDay())), u"DateAdd");
}

// DateAdd(interval, number, date): a month added to the 31st lands on the
// month's last day; the number is truncated to a whole count.
Value fnDateAdd(Interpreter&, Value* a, int) {
    const Interval interval = intervalArg(a[0], u"DateAdd");
    if (a[1].isNull()) raise(94, u"DateAdd");
    const double n = std::trunc(toDouble(a[1]));
    if (a[2].isNull()) return Value::null();
    const Fields f = split(serialOf(a[2]));
    if (!std::isfinite(n) || std::fabs(n) > 1e13) raise(err::InvalidCall, u"DateAdd");
    switch (interval) {
    case Interval::Year: return addMonths(f, n * 12);
    case Interval::Quarter: return addMonths(f, n * 3);
    case Interval::Month: return addMonths(f, n);
    default: break;
    }
    double seconds = 0;
    switch (interval) {
    case Interval::DayOfYear:
    case Interval::Day:
    case Interval::Weekday: seconds = n * 86400; break;
    case Interval::Week: seconds = n * 7 * 86400; break;
    case Interval::Hour: seconds = n * 3600; break;
    case Interval::Minute: seconds = n * 60; break;
    default: seconds = n; break;
    }
    const double total = static_cast<double>(f.day) * 86400 + static_cast<double>(f.secondsOfDay()) + seconds;
    if (std::fabs(total) > 1e12) raise(err::InvalidCall, u"DateAdd");
    return fromSeconds(static_cast<std::int64_t>(total), u"DateAdd");
}

// The first day (day number) of week 1 of a year.
std::int64_t firstWeekStart(std::int64_t year, int firstDay, int firstWeek) {
    const std::int64_t jan1 = dayNumber(year, 1, 1);
    const int offset = (split(static_cast<double>(jan1)).weekday - firstDay + 7) % 7;  // days since the week began
    const std::int64_t weekOfJan1 = jan1 - offset;
    switch (firstWeek) {
    case 2: return offset <= 3 ? weekOfJan1 : weekOfJan1 + 7;  // at least four days in the new year
    case 3: return offset == 0 ? jan1 : weekOfJan1 + 7;         // the first full week
    default: return weekOfJan1;                                  // the week of 1 January
    }
}

// The week of the year a day falls in. A day before week 1 belongs to the
// previous year's last week. With four-day weeks the last days of December
// may fall in the next year's week 1; with weeks counted from 1 January the
// week of 31 December is the year's last, however few of its days the year has.
int weekOfYear(const Fields& f, int firstDay, int firstWeek) {
    std::int64_t start = firstWeekStart(f.year, firstDay, firstWeek);
    if (f.day < start) start = firstWeekStart(f.year - 1, firstDay, firstWeek);
    else if (firstWeek == 2 && f.day >= firstWeekStart(f.year + 1, firstDay, firstWeek)) return 1;
    return static_cast<int>((f.day - start) / 7) + 1;
}

Value fnDatePart(Interpreter&, Value* a, int argc) {
    const Interval interval = intervalArg(a[0], u"DatePart");
    const int firstDay = firstDayArg(a, argc, 2, u"DatePart");
    const int firstWeek = firstWeekArg(a, argc, 3, u"DatePart");
    if (a[1].isNull()) return Value::null();
    const Fields f = split(serialOf(a[1]));
    int r = 0;
    switch (interval) {
    case Interval::Year: r = static_cast<int>(f.year); break;
    case Interval::Quarter: r = (f.month - 1) / 3 + 1; break;
    case Interval::Month: r = f.month; break;
    case Interval::DayOfYear: r = f.dayOfYear; break;
    case Interval::Day: r = f.dayOfMonth; break;
    case Interval::Weekday: r = weekdayFrom(f, firstDay); break;
    case Interval::Week: r = weekOfYear(f, firstDay, firstWeek); break;
    case Interval::Hour: r = f.hour; break;
    case Interval::Minute: r = f.minute; break;
    case Interval::Second: r = f.second; break;
    }
    return Value::integer(static_cast<std::int16_t>(r));
}

// DateDiff counts the interval's boundaries crossed from date1 to date2:
// DateDiff("yyyy", #12/31/2023#, #1/1/2024#) is 1. "w" counts whole weeks,
// "ww" the first days of weeks passed.
Value fnDateDiff(Interpreter&, Value* a, int argc) {
    const Interval interval = intervalArg(a[0], u"DateDiff");
    const int firstDay = firstDayArg(a, argc, 3, u"DateDiff");
    firstWeekArg(a, argc, 4, u"DateDiff");
    if (a[1].isNull() || a[2].isNull()) return Value::null();
    const Fields x = split(serialOf(a[1])), y = split(serialOf(a[2]));
    std::int64_t r = 0;
    switch (interval) {
    case Interval::Year: r = y.year - x.year; break;
    case Interval::Quarter: r = (y.year * 4 + (y.month - 1) / 3) - (x.year * 4 + (x.month - 1) / 3); break;
    case Interval::Month: r = (y.year * 12 + y.month) - (x.year * 12 + x.month); break;
    case Interval::DayOfYear:
    case Interval::Day: r = y.day - x.day; break;
    case Interval::Weekday: r = (y.day - x.day) / 7; break;
    case Interval::Week: r = floorDiv(y.day - firstDay, 7) - floorDiv(x.day - firstDay, 7); break;
    case Interval::Hour: r = (y.day * 24 + y.hour) - (x.day * 24 + x.hour); break;
    case Interval::Minute: r = (y.day * 1440 + y.hour * 60 + y.minute) - (x.day * 1440 + x.hour * 60 + x.minute); break;
    case Interval::Second: r = (y.day * kSecondsPerDay + y.secondsOfDay()) - (x.day * kSecondsPerDay + x.secondsOfDay()); break;
    }
    if (r < INT32_MIN || r > INT32_MAX) raise(err::Overflow, u"DateDiff");
    return Value::longInt(static_cast<std::int32_t>(r));
}

// ---- text -------------------------------------------------------------------------

Value fnFormatDateTime(Interpreter&, Value* a, int argc) {
    if (a[0].isNull()) raise(94, u"FormatDateTime");
    const double serial = serialOf(a[0]);
    const std::int32_t format = given(a, argc, 1) ? wholeArg(a[1], u"FormatDateTime") : 0;
    const Fields f = split(serial);
    switch (format) {
    case 0: return Value::string(general(serial));
    case 1: return Value::string(longDate(f));
    case 2: return Value::string(shortDate(f));
    case 3: return Value::string(longTime(f));
    case 4: return Value::string(shortTime(f));
    default: raise(err::InvalidCall, u"FormatDateTime");
    }
}

const Builtin kDates[] = {
    {u"Now", fnNow, 0, 0},
    {u"Date", fnDate, 0, 0},
    {u"Time", fnTime, 0, 0},
    {u"Year", fnYear, 1, 1},
    {u"Month", part<&Fields::month>, 1, 1},
    {u"Day", part<&Fields::dayOfMonth>, 1, 1},
    {u"Hour", part<&Fields::hour>, 1, 1},
    {u"Minute", part<&Fields::minute>, 1, 1},
    {u"Second", part<&Fields::second>, 1, 1},
    {u"Weekday", fnWeekday, 1, 2},
    {u"WeekdayName", fnWeekdayName, 1, 3},
    {u"MonthName", fnMonthName, 1, 2},
    {u"DateSerial", fnDateSerial, 3, 3},
    {u"TimeSerial", fnTimeSerial, 3, 3},
    {u"DateValue", fnDateValue, 1, 1},
    {u"TimeValue", fnTimeValue, 1, 1},
    {u"IsDate", fnIsDate, 1, 1},
    {u"DateAdd", fnDateAdd, 3, 3},
    {u"DateDiff", fnDateDiff, 3, 5},
    {u"DatePart", fnDatePart, 2, 4},
    {u"FormatDateTime", fnFormatDateTime, 1, 2},
};

}  // namespace

std::span<const Builtin> dateBuiltins() { return kDates; }

}  // namespace vbs
