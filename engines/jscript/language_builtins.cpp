// What this language adds to ECMAScript's built-ins: the ScriptEngine
// functions, the text forms of dates, and Date.prototype.getVarDate with the
// var-date values it makes (dates as components keep them, VT_DATE).
#include "engines/jscript/conditional_compilation.h"
#include "engines/jscript/duk_bridge.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

namespace jscript {
namespace {

constexpr const char* kGetTimeKey = DUK_HIDDEN_SYMBOL("qgetTime");
constexpr const char* kVarDatePrototypeKey = DUK_HIDDEN_SYMBOL("qVarDatePrototype");

constexpr double kMsPerDay = 86400000.0;
// Days between 30 December 1899 (a DATE of 0) and 1 January 1970.
constexpr double kUnixEpochAsDate = 25569.0;

duk_ret_t scriptEngine(duk_context* ctx) {
    duk_push_string(ctx, "JScript");
    return 1;
}
duk_ret_t scriptEngineMajorVersion(duk_context* ctx) {
    duk_push_int(ctx, kEngineMajorVersion);
    return 1;
}
duk_ret_t scriptEngineMinorVersion(duk_context* ctx) {
    duk_push_int(ctx, kEngineMinorVersion);
    return 1;
}
duk_ret_t scriptEngineBuildVersion(duk_context* ctx) {
    duk_push_int(ctx, kEngineBuildVersion);
    return 1;
}

// --- Dates -------------------------------------------------------------------

// The time value of `this`, a Date (Duktape's own getTime checks that).
double thisTime(duk_context* ctx) {
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, kGetTimeKey);  // [stash getTime]
    duk_push_this(ctx);                         // [stash getTime this]
    duk_call_method(ctx, 0);                    // [stash ms]
    const double ms = duk_get_number(ctx, -1);
    duk_pop_2(ctx);
    return ms;
}

struct Broken {
    int year, month, day, weekday, hour, minute, second;
    long offsetSeconds;  // east of UTC
    std::string zone;    // the zone's abbreviation, when the system has one
};

Broken breakDown(double ms, bool local) {
    const auto seconds = static_cast<std::time_t>(std::floor(ms / 1000.0));
    std::tm tm{};
    if (local) localtime_r(&seconds, &tm);
    else gmtime_r(&seconds, &tm);
    return {tm.tm_year + 1900, tm.tm_mon, tm.tm_mday, tm.tm_wday, tm.tm_hour, tm.tm_min, tm.tm_sec,
            local ? tm.tm_gmtoff : 0, local && tm.tm_zone ? tm.tm_zone : ""};
}

// "UTC" with no offset, the North American zones by name, else
// "UTC+hhmm" / "UTC-hhmm".
std::string zoneText(const Broken& t) {
    static constexpr const char* named[] = {"EST", "EDT", "CST", "CDT", "MST", "MDT", "PST", "PDT"};
    for (const char* name : named) {
        if (t.zone == name) return t.zone;
    }
    if (t.offsetSeconds == 0) return "UTC";
    const long minutes = std::labs(t.offsetSeconds) / 60;
    char text[32];
    std::snprintf(text, sizeof text, "UTC%c%02ld%02ld", t.offsetSeconds < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text;
}

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

enum class DateForm { Full, Utc, DateOnly, TimeOnly };

std::string dateText(double ms, DateForm form) {
    if (!std::isfinite(ms)) return "NaN";
    const Broken t = breakDown(ms, form != DateForm::Utc);
    char text[96];
    const std::string zone = form == DateForm::Utc ? "UTC" : zoneText(t);
    switch (form) {
    case DateForm::Full:
    case DateForm::Utc:
        std::snprintf(text, sizeof text, "%s %s %d %02d:%02d:%02d %s %d", kDays[t.weekday], kMonths[t.month], t.day,
                      t.hour, t.minute, t.second, zone.c_str(), t.year);
        break;
    case DateForm::DateOnly:
        std::snprintf(text, sizeof text, "%s %s %d %d", kDays[t.weekday], kMonths[t.month], t.day, t.year);
        break;
    case DateForm::TimeOnly:
        std::snprintf(text, sizeof text, "%02d:%02d:%02d %s", t.hour, t.minute, t.second, zone.c_str());
        break;
    }
    return text;
}

template <DateForm form>
duk_ret_t dateToText(duk_context* ctx) {
    const std::string text = dateText(thisTime(ctx), form);
    duk_push_lstring(ctx, text.data(), text.size());
    return 1;
}

// --- Var-dates -----------------------------------------------------------------

double varDateOfThis(duk_context* ctx) {
    duk_push_this(ctx);
    duk_get_prop_string(ctx, -1, kVarDateKey);  // [this date|undefined]
    if (!duk_is_number(ctx, -1)) throwScriptError(ctx, DUK_ERR_TYPE_ERROR, static_cast<HRESULT>(0x800A138E), "Date object expected");
    const double date = duk_get_number(ctx, -1);
    duk_pop_2(ctx);
    return date;
}

// A var-date reads as its time value, so that new Date(v) and arithmetic work.
duk_ret_t varDateValueOf(duk_context* ctx) {
    duk_push_number(ctx, timeOfVarDate(varDateOfThis(ctx)));
    return 1;
}

duk_ret_t varDateToString(duk_context* ctx) {
    const std::string text = dateText(timeOfVarDate(varDateOfThis(ctx)), DateForm::Full);
    duk_push_lstring(ctx, text.data(), text.size());
    return 1;
}

duk_ret_t getVarDate(duk_context* ctx) {
    const double ms = thisTime(ctx);
    if (!std::isfinite(ms)) {
        duk_push_null(ctx);  // an invalid date has no DATE
        return 1;
    }
    pushVarDate(ctx, varDateOfTime(ms));
    return 1;
}

void replaceMethod(duk_context* ctx, duk_idx_t target, const char* name, duk_c_function fn, duk_idx_t nargs) {
    target = duk_normalize_index(ctx, target);
    duk_push_string(ctx, name);
    duk_push_c_function(ctx, fn, nargs);  // [.. name fn]
    duk_def_prop(ctx, target, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_CLEAR_ENUMERABLE |
                                  DUK_DEFPROP_SET_CONFIGURABLE);
}

}  // namespace

// The local wall-clock time of ms as a DATE: whole days since 30 December
// 1899, the time of day as the fraction (its size, for days before that).
double varDateOfTime(double ms) {
    const double wall = ms + static_cast<double>(breakDown(ms, true).offsetSeconds) * 1000.0;
    const double days = std::floor(wall / kMsPerDay);
    const double fraction = (wall - days * kMsPerDay) / kMsPerDay;
    const double whole = days + kUnixEpochAsDate;
    return whole < 0 ? whole - fraction : whole + fraction;
}

double timeOfVarDate(double date) {
    const double whole = std::trunc(date);
    const double wall = (whole - kUnixEpochAsDate) * kMsPerDay + std::fabs(date - whole) * kMsPerDay;
    // The instant whose local time is wall: the offset is looked up twice,
    // the second time at the first guess, to get it right near a change.
    const double guess = wall - static_cast<double>(breakDown(wall, true).offsetSeconds) * 1000.0;
    return wall - static_cast<double>(breakDown(guess, true).offsetSeconds) * 1000.0;
}

void pushVarDate(duk_context* ctx, double date) {
    duk_push_object(ctx);  // [obj]
    duk_push_number(ctx, date);
    duk_put_prop_string(ctx, -2, kVarDateKey);
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, kVarDatePrototypeKey);  // [obj stash proto]
    duk_remove(ctx, -2);
    duk_set_prototype(ctx, -2);  // [obj]
}

void installLanguageBuiltins(duk_context* ctx) {
    const duk_function_list_entry engine[] = {
        {"ScriptEngine", scriptEngine, 0},
        {"ScriptEngineMajorVersion", scriptEngineMajorVersion, 0},
        {"ScriptEngineMinorVersion", scriptEngineMinorVersion, 0},
        {"ScriptEngineBuildVersion", scriptEngineBuildVersion, 0},
        {nullptr, nullptr, 0},
    };
    duk_push_global_object(ctx);  // [global]
    duk_put_function_list(ctx, -1, engine);

    duk_get_prop_string(ctx, -1, "Date");
    duk_get_prop_string(ctx, -1, "prototype");  // [global Date proto]
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -2, "getTime");
    duk_put_prop_string(ctx, -2, kGetTimeKey);
    duk_pop(ctx);  // [global Date proto]
    replaceMethod(ctx, -1, "toString", dateToText<DateForm::Full>, 0);
    replaceMethod(ctx, -1, "toUTCString", dateToText<DateForm::Utc>, 0);
    replaceMethod(ctx, -1, "toGMTString", dateToText<DateForm::Utc>, 0);
    replaceMethod(ctx, -1, "toDateString", dateToText<DateForm::DateOnly>, 0);
    replaceMethod(ctx, -1, "toTimeString", dateToText<DateForm::TimeOnly>, 0);
    replaceMethod(ctx, -1, "getVarDate", getVarDate, 0);
    duk_pop_3(ctx);  // []

    duk_push_heap_stash(ctx);  // [stash]
    duk_push_object(ctx);      // [stash proto]
    const duk_function_list_entry varDate[] = {
        {"valueOf", varDateValueOf, 0},
        {"toString", varDateToString, 0},
        {nullptr, nullptr, 0},
    };
    duk_put_function_list(ctx, -1, varDate);
    duk_put_prop_string(ctx, -2, kVarDatePrototypeKey);
    duk_pop(ctx);
}

}  // namespace jscript
