// Conversions between the interpreter's values, and between values and
// VARIANTs at host boundaries. Every failing conversion throws the VBScript
// error: 13 Type mismatch, 6 Overflow, 94 Invalid use of Null.
#pragma once

#include "engines/vbscript/value.h"

#include <string>

namespace vbs {

// The one conversion function behind CBool, CByte, CInt, CLng, CSng, CDbl,
// CStr and the implicit conversions: value (Ref followed, an object through
// its default property) to the subtype target.
Value convert(const Value& value, Tag target);

double toDouble(const Value& value);
std::int32_t toLong(const Value& value);   // rounded half to even
bool toBool(const Value& value);
std::u16string toString(const Value& value);
// Text of a number or Boolean as CStr gives it.
std::u16string formatNumber(double d);

// A numeric value for arithmetic: Empty becomes Integer 0, strings become
// Double, objects their default value; numbers and Booleans stay as they are.
// Null stays Null.
Value toNumeric(const Value& value);
// True when the value is a number or Boolean or Empty (not a string).
bool isNumericTag(Tag t);

// Reads a number from text as VBScript does ("12", " -1.5e3 ", "&H1F");
// false when the text is no number.
bool parseNumber(std::u16string_view text, double& out);

// The default property of an object (error 438 when it has none, 424 for Nothing).
Value defaultValue(IDispatch* object);

// VARIANT <-> Value. toVariant writes into an uninitialised VARIANT.
void toVariant(const Value& value, VARIANT& out);
Value fromVariant(const VARIANT& v);

// Rounds half to even.
double roundEven(double d);

}  // namespace vbs
