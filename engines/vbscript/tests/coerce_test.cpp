// The one conversion function, from a table of (value, target) to the
// expected value or error number; and values crossing to VARIANT and back.
#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/operators.h"

#include <gtest/gtest.h>

#include <functional>

namespace vbs {
namespace {

struct ConversionCase {
    const char* name;
    std::function<Value()> input;
    Tag target;
    std::function<Value()> expected;  // empty: an error
    int error;
};

bool same(const Value& a, const Value& b) {
    if (a.tag() != b.tag()) return false;
    switch (a.tag()) {
    case Tag::String: return a.str() == b.str();
    case Tag::Boolean: return a.asBool() == b.asBool();
    case Tag::Byte: return a.asByte() == b.asByte();
    case Tag::Integer: return a.asInteger() == b.asInteger();
    case Tag::Long: return a.asLong() == b.asLong();
    case Tag::Single: return a.asSingle() == b.asSingle();
    case Tag::Currency: return a.asCurrency() == b.asCurrency();
    case Tag::Double:
    case Tag::Date: return a.asDouble() == b.asDouble();
    default: return true;
    }
}

Value str(const char16_t* s) { return Value::string(std::u16string_view(s)); }

const ConversionCase kConversions[] = {
    {"DoubleToIntegerHalfEven", [] { return Value::number(2.5); }, Tag::Integer, [] { return Value::integer(2); }, 0},
    {"DoubleToIntegerHalfUp", [] { return Value::number(-3.5); }, Tag::Integer, [] { return Value::integer(-4); }, 0},
    {"IntegerOverflow", [] { return Value::number(32767.5); }, Tag::Integer, nullptr, err::Overflow},
    {"LongOverflow", [] { return Value::number(3e9); }, Tag::Long, nullptr, err::Overflow},
    {"ByteRange", [] { return Value::integer(-1); }, Tag::Byte, nullptr, err::Overflow},
    {"StringToLong", [] { return str(u" 42 "); }, Tag::Long, [] { return Value::longInt(42); }, 0},
    {"HexStringToLong", [] { return str(u"&H10"); }, Tag::Long, [] { return Value::longInt(16); }, 0},
    {"TextToDouble", [] { return str(u"abc"); }, Tag::Double, nullptr, err::TypeMismatch},
    {"EmptyToDouble", [] { return Value(); }, Tag::Double, [] { return Value::number(0); }, 0},
    {"EmptyToString", [] { return Value(); }, Tag::String, [] { return str(u""); }, 0},
    {"NullToLong", [] { return Value::null(); }, Tag::Long, nullptr, 94},
    {"NullToString", [] { return Value::null(); }, Tag::String, nullptr, 94},
    {"BoolToInteger", [] { return Value::boolean(true); }, Tag::Integer, [] { return Value::integer(-1); }, 0},
    {"BoolToString", [] { return Value::boolean(false); }, Tag::String, [] { return str(u"False"); }, 0},
    {"WordToBool", [] { return str(u"true"); }, Tag::Boolean, [] { return Value::boolean(true); }, 0},
    {"NumberStringToBool", [] { return str(u"0"); }, Tag::Boolean, [] { return Value::boolean(false); }, 0},
    {"TextToBool", [] { return str(u"yes"); }, Tag::Boolean, nullptr, err::TypeMismatch},
    {"DoubleToString", [] { return Value::number(0.1 + 0.2); }, Tag::String, [] { return str(u"0.3"); }, 0},
    {"SingleToString", [] { return Value::single(1.1f); }, Tag::String, [] { return str(u"1.1"); }, 0},
    {"LongToString", [] { return Value::longInt(-123456); }, Tag::String, [] { return str(u"-123456"); }, 0},
    {"DoubleToCurrency", [] { return Value::number(1.23456); }, Tag::Currency, [] { return Value::currency(12346); }, 0},
    {"StringToDate", [] { return str(u"1/2/2000"); }, Tag::Date, [] { return Value::date(36527); }, 0},
    {"ArrayToLong", [] { return Value::array(newArray({1})); }, Tag::Long, nullptr, err::TypeMismatch},
    {"SingleOverflow", [] { return Value::number(1e300); }, Tag::Single, nullptr, err::Overflow},
};

class Conversions : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Conversions, GiveTheValueOrTheError) {
    const ConversionCase& c = GetParam();
    if (c.expected) {
        Value r = convert(c.input(), c.target);
        Value e = c.expected();
        EXPECT_TRUE(same(r, e)) << "tag " << static_cast<int>(r.tag());
    } else {
        try {
            convert(c.input(), c.target);
            ADD_FAILURE() << "no error";
        } catch (const ScriptError& e) {
            EXPECT_EQ(e.scode, errorStatus(c.error));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Conversions, ::testing::ValuesIn(kConversions),
                         [](const ::testing::TestParamInfo<ConversionCase>& info) { return std::string(info.param.name); });

TEST(VariantBoundary, ValuesSurviveTheRoundTrip) {
    ArrayBody* grid = newArray({1, 2});
    for (std::size_t i = 0; i < grid->data.size(); ++i) grid->data[i] = Value::longInt(static_cast<std::int32_t>(i));
    const Value values[] = {Value(), Value::null(), Value::boolean(true), Value::byte(7), Value::integer(-3),
                            Value::longInt(70000), Value::single(1.5f), Value::number(2.25), Value::currency(12345),
                            Value::date(36527.5), str(u"text"), Value::array(grid)};
    for (const Value& v : values) {
        VARIANT out;
        toVariant(v, out);
        Value back = fromVariant(out);
        VariantClear(&out);
        EXPECT_EQ(back.tag(), v.tag());
        if (v.isArray()) {
            ASSERT_EQ(back.arr()->bounds.size(), 2u);
            EXPECT_EQ(back.arr()->bounds[1].count, 3);
            EXPECT_EQ(back.arr()->data[4].asLong(), 4) << "elements keep their order";
        } else {
            EXPECT_TRUE(same(back, v));
        }
    }
}

TEST(VariantBoundary, ByReferenceVariantsAreFollowed) {
    VARIANT target;
    VariantInit(&target);
    target.vt = VT_R8;
    target.dblVal = 4.5;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = &target;
    EXPECT_EQ(fromVariant(ref).asDouble(), 4.5);
    double d = 1.25;
    ref.vt = VT_BYREF | VT_R8;
    ref.pdblVal = &d;
    EXPECT_EQ(fromVariant(ref).asDouble(), 1.25);
}

TEST(Appending, InPlaceOnlyWhenUnshared) {
    Value s = str(u"ab");
    const StringBody* body = s.stringBody();
    s.appendString(u"cd");
    EXPECT_EQ(s.stringBody(), body) << "sole holder appends in place";
    Value copy = s;
    s.appendString(u"ef");
    EXPECT_NE(s.stringBody(), copy.stringBody());
    EXPECT_EQ(copy.str(), u"abcd");
    EXPECT_EQ(s.str(), u"abcdef");
}

}  // namespace
}  // namespace vbs
