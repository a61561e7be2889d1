// The operators of the language over values, with Variant semantics: Null
// propagation, Empty as 0 or "", promotion on overflow (Byte to Integer to
// Long to Double), strings read as numbers in arithmetic, and the rules for
// comparing strings with numbers. The interpreter inlines the common
// Integer/Long/Double cases and calls these for everything else.
#pragma once

#include "engines/vbscript/value.h"

namespace vbs {

enum class BinOp : std::uint8_t {
    Add, Sub, Mul, Div, IntDiv, Mod, Pow, Concat,
    Eq, Ne, Lt, Gt, Le, Ge, Is,
    And, Or, Xor, Eqv, Imp,
};

// Operand flags of a comparison: which side was written as a literal. A
// literal string compared with a number is read as a number; a literal
// number compared with a string is read as a string; two variables compare
// a number as less than any string.
constexpr std::uint8_t kLeftLiteral = 1;
constexpr std::uint8_t kRightLiteral = 2;

Value binary(BinOp op, const Value& a, const Value& b, std::uint8_t literalFlags = 0);
Value negate(const Value& a);
Value logicalNot(const Value& a);

// -1, 0, 1 for a comparison; Null operands give the Null value instead.
// Returns false when either side is Null.
bool compareValues(const Value& a, const Value& b, std::uint8_t literalFlags, int& result);

// Adds a value of integral type with overflow promotion; exposed for For loops.
Value addValues(const Value& a, const Value& b);

// Object identity (the Is operator).
bool sameObject(IDispatch* a, IDispatch* b);

}  // namespace vbs
