// The calendar behind the date functions. A date is a double counting days
// from 30 December 1899; its fraction is the time of day. For days before
// that one the fraction still counts forward from the day's start, so the
// value is "day minus fraction": -1.25 is 29 December 1899, 6:00 AM. Valid
// dates run from 1 January 100 to 31 December 9999. Text is in the en-US
// form: m/d/yyyy, h:mm:ss AM.
#pragma once

#include "engines/vbscript/value.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vbs::dates {

constexpr double kFirstSerial = -657434.0;  // 1 January 100
constexpr double kLastDay = 2958465.0;     // 31 December 9999
constexpr std::int64_t kSecondsPerDay = 86400;

// Day number (days from 30 December 1899) of a proleptic Gregorian date
// whose month and day are in range; and back.
std::int64_t dayNumber(std::int64_t year, int month, int day);
void civil(std::int64_t dayNumber, std::int64_t& year, int& month, int& day);
int daysInMonth(std::int64_t year, int month);

// A date's calendar fields, its time rounded to the second.
struct Fields {
    std::int64_t day = 0;  // day number
    std::int64_t year = 1899;
    int month = 12;
    int dayOfMonth = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 7;  // 1 Sunday ... 7 Saturday
    int dayOfYear = 364;
    std::int64_t secondsOfDay() const { return hour * 3600 + minute * 60 + second; }
};
Fields split(double serial);

// The serial of a day number and a time of day in seconds.
double join(std::int64_t day, double seconds);
// Serials as a plain count of days that grows with time (the fraction of a
// negative date counted forward), and back.
double linear(double serial);
double fromLinear(double days);

bool inRange(double serial);
// The serial rounded to whole seconds.
double roundToSecond(double serial);

// Reads the date and time forms users write: "1/5/2024", "2024-01-05",
// "January 5, 2024", "5 Jan 2024", "Friday, January 5, 2024", "1/5" (this
// year), each optionally with a time ("3:04:05 PM", "15:04", "3 PM"), or a
// time alone. Two-digit years mean 1930 to 2029. False when the text is no
// date.
bool parse(std::u16string_view text, double& serial);

// Names in English.
std::u16string monthName(int month, bool abbreviated);
std::u16string weekdayName(int weekday, bool abbreviated);  // 1 Sunday

// "1/5/2024", "Friday, January 5, 2024", "3:04:05 PM", "15:04".
std::u16string shortDate(const Fields& f);
std::u16string longDate(const Fields& f);
std::u16string longTime(const Fields& f);
std::u16string shortTime(const Fields& f);
// As CStr shows a date: the date, the time, or both; midnight shows only
// the date and day zero only the time.
std::u16string general(double serial);

// The local date and time now, to the second.
double now();
// The two-digit year window: 0-29 are 2000-2029, 30-99 are 1930-1999.
std::int64_t windowYear(std::int64_t year);

// A value as a date for the date functions: dates as they are, numbers as
// day counts, text read as a date or else as a number. Null is error 94,
// other values error 13; dates out of range error 5.
double serialOf(const Value& v);
// The value as CDate gives it: a Date, error 13 for text that is no date,
// error 6 for numbers out of range.
Value toDate(const Value& v);

}  // namespace vbs::dates
