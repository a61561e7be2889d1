// Math functions: Abs, Atn, Cos, Exp, Fix, Int, Log, Rnd, Randomize, Round,
// Sgn, Sin, Sqr, Tan.
#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/interpreter.h"
#include "engines/vbscript/runtime/builtins.h"

#include <chrono>
#include <cmath>
#include <cstring>

namespace vbs {

namespace {

constexpr int kInvalidUseOfNull = 94;

double number(const Value& v) {
    if (v.tag() == Tag::Double) return v.asDouble();
    if (v.isNull()) raise(kInvalidUseOfNull);
    return toDouble(v);
}

Value checked(double d) {
    if (std::isnan(d)) raise(err::InvalidCall);
    if (std::isinf(d)) raise(err::Overflow);
    return Value::number(d);
}

Value fnSin(Interpreter&, Value* a, int) { return checked(std::sin(number(a[0]))); }
Value fnCos(Interpreter&, Value* a, int) { return checked(std::cos(number(a[0]))); }
Value fnTan(Interpreter&, Value* a, int) { return checked(std::tan(number(a[0]))); }
Value fnAtn(Interpreter&, Value* a, int) { return checked(std::atan(number(a[0]))); }
Value fnExp(Interpreter&, Value* a, int) {
    double d = number(a[0]);
    double r = std::exp(d);
    if (std::isinf(r)) raise(err::Overflow);
    return Value::number(r);
}
Value fnLog(Interpreter&, Value* a, int) {
    double d = number(a[0]);
    if (!(d > 0)) raise(err::InvalidCall);
    return Value::number(std::log(d));
}
Value fnSqr(Interpreter&, Value* a, int) {
    double d = number(a[0]);
    if (d < 0) raise(err::InvalidCall);
    return Value::number(std::sqrt(d));
}

// Int and Fix keep the argument's numeric type; strings become Double.
Value truncateLike(const Value& v, double (*round)(double)) {
    switch (v.tag()) {
    case Tag::Null: return Value::null();
    case Tag::Empty: return Value::integer(0);
    case Tag::Boolean: return Value::integer(v.asBool() ? -1 : 0);
    case Tag::Byte:
    case Tag::Integer:
    case Tag::Long: return v;
    case Tag::Single: return Value::single(static_cast<float>(round(v.asSingle())));
    case Tag::Currency: return Value::currency(static_cast<std::int64_t>(round(static_cast<double>(v.asCurrency()) / 10000.0)) * 10000);
    case Tag::Date: return Value::date(round(v.asDouble()));
    default: return Value::number(round(toDouble(v)));
    }
}

Value fnInt(Interpreter&, Value* a, int) { return truncateLike(a[0], [](double d) { return std::floor(d); }); }
Value fnFix(Interpreter&, Value* a, int) { return truncateLike(a[0], [](double d) { return std::trunc(d); }); }

Value fnAbs(Interpreter&, Value* a, int) {
    const Value& v = a[0];
    switch (v.tag()) {
    case Tag::Null: return Value::null();
    case Tag::Empty: return Value::integer(0);
    case Tag::Integer:
        return v.asInteger() == -32768 ? Value::longInt(32768) : Value::integer(static_cast<std::int16_t>(std::abs(v.asInteger())));
    case Tag::Long:
        return v.asLong() == INT32_MIN ? Value::number(2147483648.0) : Value::longInt(std::abs(v.asLong()));
    case Tag::Byte: return v;
    case Tag::Boolean: return Value::integer(v.asBool() ? 1 : 0);
    case Tag::Single: return Value::single(std::fabs(v.asSingle()));
    case Tag::Currency: return Value::currency(v.asCurrency() < 0 ? -v.asCurrency() : v.asCurrency());
    case Tag::Date: return Value::date(std::fabs(v.asDouble()));
    default: return Value::number(std::fabs(toDouble(v)));
    }
}

Value fnSgn(Interpreter&, Value* a, int) {
    double d = number(a[0]);
    return Value::integer(static_cast<std::int16_t>(d > 0 ? 1 : d < 0 ? -1 : 0));
}

Value fnRound(Interpreter&, Value* a, int argc) {
    const Value& v = a[0];
    if (v.isNull()) return Value::null();
    int places = 0;
    if (given(a, argc, 1)) {
        places = toLong(a[1]);
        if (places < 0) raise(err::InvalidCall);
    }
    if (places == 0) {
        switch (v.tag()) {
        case Tag::Byte:
        case Tag::Integer:
        case Tag::Long: return v;
        case Tag::Empty: return Value::integer(0);
        case Tag::Boolean: return v;
        default: break;
        }
    }
    double d = toDouble(v);
    // Past 15 places, or for numbers too large to have decimals, nothing
    // is left to round.
    if (places > 15 || std::fabs(d) >= 4503599627370496.0) {
        if (v.tag() == Tag::Single) return Value::single(static_cast<float>(d));
        if (v.tag() == Tag::Currency) return v;
        return Value::number(d);
    }
    double scale = std::pow(10.0, places);
    double r = roundEven(d * scale) / scale;
    // A value like 2.675 is stored slightly below itself; round the decimal
    // the script wrote, not the binary approximation.
    if (places > 0 && places < 16) {
        double scaled = d * scale;
        double nearest = std::round(scaled * 1e6) / 1e6;
        if (std::fabs(nearest - scaled) < 1e-9 * std::fabs(scaled) + 1e-12) r = roundEven(nearest) / scale;
    }
    if (v.tag() == Tag::Single) return Value::single(static_cast<float>(r));
    if (v.tag() == Tag::Currency) return convert(Value::number(r), Tag::Currency);
    return Value::number(r);
}

// Rnd: the classic 24-bit linear congruential sequence, x = (x * 0x43FD43FD
// + 0xC39EC3) mod 2^24, each number x / 2^24.
float nextRnd(Interpreter& vm) {
    vm.rndSeed = (vm.rndSeed * 0x43FD43FDu + 0xC39EC3u) & 0xFFFFFFu;
    return static_cast<float>(vm.rndSeed) / 16777216.0f;
}

// Rnd([n]): n > 0 or none gives the next number; 0 repeats the last one;
// a negative n restarts from a seed made of the bits of n as a Single, so
// Rnd(-1) always gives the same number.
Value fnRnd(Interpreter& vm, Value* a, int argc) {
    if (given(a, argc, 0)) {
        const float n = static_cast<float>(number(a[0]));
        if (n == 0) return Value::single(static_cast<float>(vm.rndSeed) / 16777216.0f);
        if (n < 0) {
            std::uint32_t bits;
            std::memcpy(&bits, &n, sizeof bits);
            vm.rndSeed = (bits + (bits >> 24)) & 0xFFFFFFu;
        }
    }
    const float r = nextRnd(vm);
    vm.lastRnd = r;
    return Value::single(r);
}

// Randomize [n]: the high 32 bits of n as a Double, their two halves xored,
// become the middle 16 bits of the seed; its low byte stays. Without n the
// seconds since midnight serve.
Value fnRandomize(Interpreter& vm, Value* a, int argc) {
    double seed;
    if (given(a, argc, 0)) {
        seed = number(a[0]);
    } else {
        auto now = std::chrono::system_clock::now().time_since_epoch();
        seed = static_cast<double>(std::chrono::duration_cast<std::chrono::microseconds>(now).count() % 86400000000LL) / 1e6;
    }
    std::uint64_t bits;
    std::memcpy(&bits, &seed, sizeof bits);
    const auto high = static_cast<std::uint32_t>(bits >> 32);
    const std::uint32_t mixed = (high ^ (high >> 16)) & 0xFFFFu;
    vm.rndSeed = ((mixed << 8) | (vm.rndSeed & 0xFFu)) & 0xFFFFFFu;
    return {};
}

const Builtin kMath[] = {
    {u"Abs", fnAbs, 1, 1},     {u"Atn", fnAtn, 1, 1},   {u"Cos", fnCos, 1, 1},
    {u"Exp", fnExp, 1, 1},     {u"Fix", fnFix, 1, 1},   {u"Int", fnInt, 1, 1},
    {u"Log", fnLog, 1, 1},     {u"Rnd", fnRnd, 0, 1},   {u"Randomize", fnRandomize, 0, 1},
    {u"Round", fnRound, 1, 2}, {u"Sgn", fnSgn, 1, 1},   {u"Sin", fnSin, 1, 1},
    {u"Sqr", fnSqr, 1, 1},     {u"Tan", fnTan, 1, 1},
};

}  // namespace

std::span<const Builtin> mathBuiltins() { return kMath; }

}  // namespace vbs
