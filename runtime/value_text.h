// Numbers and dates as text, and the exact arithmetic behind conversions
// between variant types. Text is always in the US form ('.' decimal point,
// ',' thousands separator, m/d/yyyy dates), independent of the process locale.
// Internal to the runtime: VariantChangeType is the public face of this.
#pragma once

#include "runtime/types.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qrt::detail {

__extension__ typedef __int128 Int128;

// Currency is a 64-bit integer counting ten-thousandths.
constexpr std::int64_t kCurrencyScale = 10000;

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2,
// 3.5 -> 4, -2.5 -> -2), whatever the floating-point rounding mode.
double roundHalfEven(double value);
// n / d rounded half to even; d > 0.
Int128 divideHalfEven(std::int64_t n, std::int64_t d);

// A number read from text.
struct TextNumber {
    bool negative = false;
    bool radix = false;       // an &H (hexadecimal) or &O (octal) literal
    std::uint64_t bits = 0;   // the value of a radix literal
    std::string digits;       // decimal significand, no leading or trailing zeros; empty for zero
    long exponent = 0;        // the value is digits x 10^exponent
};

// Reads a number: blanks around it, an optional sign, digits with ','
// between thousands, an optional fraction and exponent; or &H / &O followed
// by digits of that base. DISP_E_TYPEMISMATCH when the text is no number,
// DISP_E_OVERFLOW when a radix literal needs more than 64 bits.
HRESULT parseNumber(std::u16string_view text, TextNumber& number);
// The decimal value times 10^scale, rounded half to even.
// DISP_E_OVERFLOW when it does not fit in 38 digits.
HRESULT decimalToInteger(const TextNumber& number, int scale, Int128& value);
// Correctly rounded; DISP_E_OVERFLOW beyond the type's range, zero below it.
HRESULT decimalToDouble(const TextNumber& number, double& value);
HRESULT decimalToFloat(const TextNumber& number, float& value);
// A radix literal for a target that is not an integer type: a 32-bit signed
// value when it fits in 32 bits, else a 64-bit signed one.
Int128 radixValue(const TextNumber& number);
// "True" / "False" in any case, with blanks around.
bool parseBoolWord(std::u16string_view text, bool& value);

std::string formatInteger(Int128 value);
// Up to `digits` significant digits, trailing zeros dropped, exponent form
// ("1E+20", "1.5E-07") only for very large or small magnitudes.
std::string formatReal(double value, int digits);
// "12.3456", "-0.5", "12".
std::string formatCurrency(std::int64_t scaled);

// Dates count days from 30 December 1899; the fraction is the time of day,
// measured away from zero for dates before that day (-1.25 is 29 December
// 1899, 6:00). Valid from year 100 to year 9999.
bool isDateInRange(double serial);
// "m/d/yyyy h:mm:ss AM"; the date alone at midnight, the time alone on day
// zero. False when the date is out of range.
bool formatDate(double serial, std::string& text);
// Reads "m/d/yyyy" (or a two-digit year), "yyyy-mm-dd", each optionally
// followed by a time, or a time alone: "h:mm", "h:mm:ss", "h AM", with an
// optional AM/PM.
bool parseDateText(std::u16string_view text, double& serial);

}  // namespace qrt::detail
