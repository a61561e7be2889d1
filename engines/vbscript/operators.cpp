#include "engines/vbscript/operators.h"

#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"

#include <cmath>

namespace vbs {

namespace {

// Rank of a numeric subtype for promotion.
enum Rank { RByte = 1, RInteger = 2, RLong = 3, RSingle = 4, RDouble = 5, RCurrency = 6, RDate = 7 };

int rankOf(Tag t) {
    switch (t) {
    case Tag::Byte: return RByte;
    case Tag::Empty:
    case Tag::Boolean:
    case Tag::Integer: return RInteger;
    case Tag::Long: return RLong;
    case Tag::Single: return RSingle;
    case Tag::Double: return RDouble;
    case Tag::Currency: return RCurrency;
    case Tag::Date: return RDate;
    default: return RDouble;
    }
}

std::int64_t integralOf(const Value& v) {
    switch (v.tag()) {
    case Tag::Byte: return v.asByte();
    case Tag::Boolean: return v.asBool() ? -1 : 0;
    case Tag::Integer: return v.asInteger();
    case Tag::Long: return v.asLong();
    default: return 0;
    }
}

// An integer result in the smallest type from `rank` up that holds it.
Value integral(std::int64_t n, int rank) {
    if (rank <= RByte && n >= 0 && n <= 255) return Value::byte(static_cast<std::uint8_t>(n));
    if (rank <= RInteger && n >= -32768 && n <= 32767) return Value::integer(static_cast<std::int16_t>(n));
    if (n >= INT32_MIN && n <= INT32_MAX) return Value::longInt(static_cast<std::int32_t>(n));
    return Value::number(static_cast<double>(n));
}

Value real(double d, int rank) {
    if (!std::isfinite(d)) {
        if (std::isnan(d)) raise(err::InvalidCall);
        raise(err::Overflow);
    }
    switch (rank) {
    case RSingle:
        if (std::fabs(d) <= 3.402823466e38) return Value::single(static_cast<float>(d));
        return Value::number(d);
    case RCurrency: return convert(Value::number(d), Tag::Currency);
    case RDate: return Value::date(d);
    default: return Value::number(d);
    }
}

// +, -, * on numeric operands (already through toNumeric).
Value arith(BinOp op, const Value& a, const Value& b) {
    const int ra = rankOf(a.tag()), rb = rankOf(b.tag());
    int rank = ra > rb ? ra : rb;
    if (rank <= RLong) {
        std::int64_t x = integralOf(a), y = integralOf(b);
        std::int64_t r = op == BinOp::Add ? x + y : op == BinOp::Sub ? x - y : x * y;
        return integral(r, rank);
    }
    double x = toDouble(a), y = toDouble(b);
    if (rank == RSingle && (ra == RLong || rb == RLong)) rank = RDouble;
    if (rank == RDate) {
        // Date + number is a date; Date - Date is a number of days; products are numbers.
        if (op == BinOp::Mul || (op == BinOp::Sub && ra == RDate && rb == RDate)) rank = RDouble;
    }
    double r = op == BinOp::Add ? x + y : op == BinOp::Sub ? x - y : x * y;
    return real(r, rank);
}

Value divide(const Value& a, const Value& b) {
    double x = toDouble(a), y = toDouble(b);
    if (y == 0) raise(x == 0 ? err::Overflow : err::DivisionByZero);
    const int ra = rankOf(a.tag()), rb = rankOf(b.tag());
    const bool single = (ra == RSingle || rb == RSingle) && ra <= RSingle && rb <= RSingle && ra != RLong && rb != RLong;
    return real(x / y, single ? RSingle : RDouble);
}

Value intDivMod(BinOp op, const Value& a, const Value& b) {
    std::int64_t x = toLong(a), y = toLong(b);
    if (y == 0) raise(err::DivisionByZero);
    std::int64_t r = op == BinOp::IntDiv ? x / y : x % y;
    int rank = std::max(rankOf(a.tag()), rankOf(b.tag()));
    return integral(r, rank <= RInteger ? rank : RLong);
}

Value power(const Value& a, const Value& b) {
    double x = toDouble(a), y = toDouble(b);
    if (x == 0 && y < 0) raise(err::InvalidCall);
    return real(std::pow(x, y), RDouble);
}

// Bitwise or Boolean logic: Boolean only when both sides are Boolean.
Value logic(BinOp op, const Value& a, const Value& b) {
    auto apply = [op](std::int64_t x, std::int64_t y) -> std::int64_t {
        switch (op) {
        case BinOp::And: return x & y;
        case BinOp::Or: return x | y;
        case BinOp::Xor: return x ^ y;
        case BinOp::Eqv: return ~(x ^ y);
        default: return ~x | y;  // Imp
        }
    };
    if (a.isNull() || b.isNull()) {
        // Null wherever the result depends on the unknown side.
        if (op == BinOp::Xor || op == BinOp::Eqv || (a.isNull() && b.isNull())) return Value::null();
        const bool nullLeft = a.isNull();
        Value other = toNumeric(nullLeft ? b : a);
        const bool isBool = other.tag() == Tag::Boolean;
        const std::int64_t k = toLong(other);
        auto same = [&](std::int64_t n) { return isBool ? Value::boolean(n != 0) : integral(n, rankOf(other.tag())); };
        switch (op) {
        case BinOp::And: return k == 0 ? same(0) : Value::null();
        case BinOp::Or: return k == -1 ? same(-1) : Value::null();
        default:  // Imp: x Imp y is (Not x) Or y
            if (nullLeft) return k == -1 ? same(-1) : Value::null();
            return k == 0 ? same(-1) : Value::null();
        }
    }
    Value x = toNumeric(a), y = toNumeric(b);
    if (x.tag() == Tag::Boolean && y.tag() == Tag::Boolean) {
        return Value::boolean(apply(x.asBool() ? -1 : 0, y.asBool() ? -1 : 0) != 0);
    }
    std::int64_t r = apply(toLong(x), toLong(y));
    int rank = std::max(rankOf(x.tag()), rankOf(y.tag()));
    if (rank <= RInteger) return Value::integer(static_cast<std::int16_t>(r));
    return Value::longInt(static_cast<std::int32_t>(r));
}

int compareStrings(const std::u16string& x, const std::u16string& y) {
    int c = x.compare(y);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int compareNumbers(double x, double y) { return x < y ? -1 : x > y ? 1 : 0; }

}  // namespace

bool sameObject(IDispatch* a, IDispatch* b) {
    if (a == b) return true;
    if (!a || !b) return false;
    IUnknown *ua = nullptr, *ub = nullptr;
    a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ua));
    b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ub));
    bool same = ua && ua == ub;
    if (ua) ua->Release();
    if (ub) ub->Release();
    return same;
}

bool compareValues(const Value& left, const Value& right, std::uint8_t flags, int& result) {
    const Value* a = &left.deref();
    const Value* b = &right.deref();
    Value da, db;
    if (a->isObject()) { da = defaultValue(a->obj()); a = &da; }
    if (b->isObject()) { db = defaultValue(b->obj()); b = &db; }
    if (a->isNull() || b->isNull()) return false;
    if (a->isArray() || b->isArray()) raise(err::TypeMismatch);
    const bool sa = a->isString(), sb = b->isString();
    if (sa && sb) {
        result = compareStrings(a->str(), b->str());
        return true;
    }
    if (!sa && !sb) {
        // A Single against a Double: the Double is taken to single precision.
        if ((a->tag() == Tag::Single && b->tag() == Tag::Double) ||
            (a->tag() == Tag::Double && b->tag() == Tag::Single)) {
            result = compareNumbers(static_cast<float>(toDouble(*a)), static_cast<float>(toDouble(*b)));
            return true;
        }
        result = compareNumbers(toDouble(*a), toDouble(*b));
        return true;
    }
    // One string, one number (or Empty).
    const Value& s = sa ? *a : *b;
    const Value& n = sa ? *b : *a;
    const bool stringLiteral = (flags & (sa ? kLeftLiteral : kRightLiteral)) != 0;
    const bool numberLiteral = (flags & (sa ? kRightLiteral : kLeftLiteral)) != 0;
    int r;
    if (n.isEmpty()) {
        r = compareStrings(s.str(), std::u16string());
    } else if (stringLiteral) {
        // The literal takes the variable's type when it can; text that is no
        // number compares as text.
        double d;
        if (parseNumber(s.str(), d)) r = compareNumbers(d, toDouble(n));
        else r = compareStrings(s.str(), toString(n));
    } else if (numberLiteral) {
        r = compareStrings(s.str(), toString(n));
    } else {
        r = 1;  // a string is greater than any number
    }
    result = sa ? r : -r;
    return true;
}

Value negate(const Value& value) {
    const Value& v = value.deref();
    switch (v.tag()) {
    case Tag::Null: return Value::null();
    case Tag::Empty: return Value::integer(0);
    case Tag::Integer: return integral(-static_cast<std::int64_t>(v.asInteger()), RInteger);
    case Tag::Long: return integral(-static_cast<std::int64_t>(v.asLong()), RLong);
    case Tag::Byte: return integral(-static_cast<std::int64_t>(v.asByte()), RInteger);
    case Tag::Boolean: return Value::integer(v.asBool() ? 1 : 0);
    case Tag::Single: return Value::single(-v.asSingle());
    case Tag::Double: return Value::number(-v.asDouble());
    case Tag::Date: return Value::date(-v.asDouble());
    case Tag::Currency: return Value::currency(-v.asCurrency());
    default: {
        Value n = toNumeric(v);
        if (n.isString()) raise(err::TypeMismatch);
        return negate(n);
    }
    }
}

Value logicalNot(const Value& value) {
    const Value& v = value.deref();
    if (v.isNull()) return Value::null();
    Value n = toNumeric(v);
    switch (n.tag()) {
    case Tag::Boolean: return Value::boolean(!n.asBool());
    case Tag::Byte: return Value::byte(static_cast<std::uint8_t>(~n.asByte()));
    case Tag::Integer: return Value::integer(static_cast<std::int16_t>(~n.asInteger()));
    default: return Value::longInt(~toLong(n));
    }
}

Value addValues(const Value& a, const Value& b) { return binary(BinOp::Add, a, b); }

Value binary(BinOp op, const Value& left, const Value& right, std::uint8_t flags) {
    const Value& a = left.deref();
    const Value& b = right.deref();
    switch (op) {
    case BinOp::Concat: {
        if (a.isNull() && b.isNull()) return Value::null();
        std::u16string text = a.isNull() ? std::u16string() : toString(a);
        if (!b.isNull()) {
            const std::u16string tail = toString(b);
            checkStringLength(std::uint64_t{text.size()} + tail.size());
            text += tail;
        }
        return Value::string(std::move(text));
    }
    case BinOp::Is: {
        if (!a.isObject() || !b.isObject()) raise(err::ObjectRequired);
        return Value::boolean(sameObject(a.obj(), b.obj()));
    }
    case BinOp::Eq: case BinOp::Ne: case BinOp::Lt: case BinOp::Gt: case BinOp::Le: case BinOp::Ge: {
        int c = 0;
        if (!compareValues(a, b, flags, c)) return Value::null();
        bool r = op == BinOp::Eq ? c == 0 : op == BinOp::Ne ? c != 0 : op == BinOp::Lt ? c < 0
                 : op == BinOp::Gt ? c > 0 : op == BinOp::Le ? c <= 0 : c >= 0;
        return Value::boolean(r);
    }
    case BinOp::And: case BinOp::Or: case BinOp::Xor: case BinOp::Eqv: case BinOp::Imp: {
        Value x = a.isObject() ? defaultValue(a.obj()) : a;
        Value y = b.isObject() ? defaultValue(b.obj()) : b;
        return logic(op, x, y);
    }
    default: break;
    }
    // Arithmetic.
    Value x = a.isObject() ? defaultValue(a.obj()) : a;
    Value y = b.isObject() ? defaultValue(b.obj()) : b;
    if (x.isNull() || y.isNull()) return Value::null();
    if (op == BinOp::Add) {
        // Two strings, or a string and Empty, concatenate.
        if (x.isString() && (y.isString() || y.isEmpty())) return Value::string(x.str() + (y.isEmpty() ? u"" : y.str()));
        if (y.isString() && x.isEmpty()) return y;
    }
    x = toNumeric(x);
    y = toNumeric(y);
    switch (op) {
    case BinOp::Add: case BinOp::Sub: case BinOp::Mul: return arith(op, x, y);
    case BinOp::Div: return divide(x, y);
    case BinOp::IntDiv: case BinOp::Mod: return intDivMod(op, x, y);
    case BinOp::Pow: return power(x, y);
    default: raise(err::TypeMismatch);
    }
}

}  // namespace vbs
