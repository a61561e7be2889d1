// VariantChangeType, as tables of source value, target type and the expected
// value or status.
#include "runtime/dispatch.h"
#include "runtime/safearray.h"
#include "runtime/variant.h"

#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>

namespace {

// A variant of any integer-sized type (VT_CY counts ten-thousandths).
qrt::Variant typed(VARTYPE vt, long long n) {
    qrt::Variant v;
    v.vt = vt;
    switch (vt) {
    case VT_I1: v.cVal = static_cast<signed char>(n); break;
    case VT_I2: v.iVal = static_cast<SHORT>(n); break;
    case VT_UI1: v.bVal = static_cast<BYTE>(n); break;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT: v.lVal = static_cast<LONG>(n); break;
    default: v.llVal = n; break;
    }
    return v;
}
qrt::Variant date(double serial) {
    qrt::Variant v;
    v.vt = VT_DATE;
    v.date = serial;
    return v;
}
qrt::Variant object(VARTYPE vt, IUnknown* p) {
    qrt::Variant v;
    v.vt = vt;
    v.punkVal = p;
    if (p) p->AddRef();
    return v;
}

template <class T>
std::string chars(T value, int base = 10) {
    char buf[64];
    std::to_chars_result r;
    if constexpr (std::is_integral_v<T>) r = std::to_chars(buf, buf + sizeof buf, value, base);
    else r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}
std::string hex(HRESULT hr) { return "0x" + chars(static_cast<std::uint32_t>(hr), 16); }

// Type and value in a form that compares exactly and prints readably.
std::string describe(const VARIANT& v) {
    std::string value;
    switch (v.vt) {
    case VT_I1: value = chars(v.cVal); break;
    case VT_I2: value = chars(v.iVal); break;
    case VT_BOOL: value = chars(static_cast<int>(v.boolVal)); break;
    case VT_UI1: value = chars(v.bVal); break;
    case VT_I4:
    case VT_INT: value = chars(v.lVal); break;
    case VT_UI4:
    case VT_UINT: value = chars(v.ulVal); break;
    case VT_UI8: value = chars(v.ullVal); break;
    case VT_I8:
    case VT_CY: value = chars(v.llVal); break;
    case VT_R4: value = chars(v.fltVal); break;
    case VT_R8:
    case VT_DATE: value = chars(v.dblVal); break;
    case VT_BSTR: value = '"' + qrt::bstrToUtf8(v.bstrVal) + '"'; break;
    case VT_ERROR: value = hex(v.scode); break;
    case VT_DISPATCH:
    case VT_UNKNOWN: value = chars(reinterpret_cast<std::uintptr_t>(v.punkVal)); break;
    default: break;
    }
    return "vt " + chars(v.vt) + ": " + value;
}

struct Row {
    qrt::Variant from;
    VARTYPE to;
    qrt::Variant expected;
    HRESULT status = S_OK;
    USHORT flags = 0;
};

// Rows come as an initializer list so that sources with invalid type tags
// reach the conversion as written (copying them would fail).
void run(std::initializer_list<Row> rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(describe(row.from) + " -> vt " + chars(row.to) + ", flags " + chars(row.flags));
        qrt::Variant dest;
        EXPECT_EQ(hex(VariantChangeType(&dest, &row.from, row.flags, row.to)), hex(row.status));
        EXPECT_EQ(describe(dest), describe(row.expected));
    }
}

// Conversions must give back every string and array they allocate.
class VariantCoerce : public ::testing::Test {
protected:
    void SetUp() override { m_live = {qrt::liveBstrCount(), qrt::liveSafeArrayCount()}; }
    void TearDown() override {
        EXPECT_EQ(qrt::liveBstrCount(), m_live.first);
        EXPECT_EQ(qrt::liveSafeArrayCount(), m_live.second);
    }

private:
    std::pair<long, long> m_live;
};

constexpr HRESULT TOO_BIG = DISP_E_OVERFLOW;
constexpr HRESULT MISMATCH = DISP_E_TYPEMISMATCH;
constexpr float kFloatMax = std::numeric_limits<float>::max();

TEST_F(VariantCoerce, NumbersRangeAndRounding) {
    run({
        {32767, VT_I2, typed(VT_I2, 32767)},
        {32768, VT_I2, {}, TOO_BIG},
        {255, VT_UI1, typed(VT_UI1, 255)},
        {256, VT_UI1, {}, TOO_BIG},
        {-1, VT_UI1, {}, TOO_BIG},
        {typed(VT_UI8, -1), VT_I8, {}, TOO_BIG},
        {typed(VT_I8, 9007199254740993), VT_R8, 9007199254740992.0},
        // Floating values round half to even.
        {2147483647.5, VT_I4, {}, TOO_BIG},
        {2147483646.5, VT_I4, 2147483646},
        {-2147483648.5, VT_I4, typed(VT_I4, INT32_MIN)},
        {2.5, VT_I4, 2},
        {3.5, VT_I4, 4},
        {-2.5, VT_I4, -2},
        {2.5000001, VT_I4, 3},
        {255.5, VT_UI1, {}, TOO_BIG},
        {-0.4, VT_UI1, typed(VT_UI1, 0)},
        {std::numeric_limits<double>::quiet_NaN(), VT_I4, {}, TOO_BIG},
        {1e300, VT_R4, {}, TOO_BIG},
        {double(kFloatMax), VT_R4, kFloatMax},
        // True is -1, or all ones in an unsigned type.
        {true, VT_I2, typed(VT_I2, -1)},
        {true, VT_UI1, typed(VT_UI1, 255)},
        {0.0001, VT_BOOL, true},
        {0, VT_BOOL, false},
    });
}

TEST_F(VariantCoerce, TextToNumbers) {
    run({
        {"  -1,234.5e1  ", VT_R8, -12345.0},
        {"+.5", VT_R8, 0.5},
        {"1e400", VT_R8, {}, TOO_BIG},
        {"0.1", VT_R4, 0.1f},
        {"3.5e38", VT_R4, {}, TOO_BIG},
        {"2.5", VT_I4, 2},
        {"2.5000001", VT_I4, 3},
        {"32768", VT_I2, {}, TOO_BIG},
        {"-32768.4", VT_I2, typed(VT_I2, -32768)},
        {"9223372036854775807", VT_I8, typed(VT_I8, INT64_MAX)},
        {"9223372036854775808", VT_I8, {}, TOO_BIG},
        {"18446744073709551615", VT_UI8, typed(VT_UI8, -1)},
        // Radix literals are bit patterns in the target's width.
        {"&hffff", VT_I2, typed(VT_I2, -1)},
        {"&HFFFF", VT_I4, 65535},
        {"&H10000", VT_I2, {}, TOO_BIG},
        {"&HFFFFFFFF", VT_R8, -1.0},
        {" &O17 ", VT_I4, 15},
        {"&H1FFFFFFFFFFFFFFFF", VT_I8, {}, TOO_BIG},
        // Not numbers.
        {"", VT_I4, {}, MISMATCH},
        {"12abc", VT_I4, {}, MISMATCH},
        {",5", VT_R8, {}, MISMATCH},
        {"1,,2", VT_R8, {}, MISMATCH},
        {"1.2.3", VT_R8, {}, MISMATCH},
        {"&HG", VT_I4, {}, MISMATCH},
        {"&O8", VT_I4, {}, MISMATCH},
    });
}

TEST_F(VariantCoerce, BooleansAndNumbersAsText) {
    run({
        {" fALSE ", VT_BOOL, false},
        {"0.0", VT_BOOL, false},
        {"-2.5", VT_BOOL, true},
        {"yes", VT_BOOL, {}, MISMATCH},
        {true, VT_BSTR, "-1"},
        {true, VT_BSTR, "True", S_OK, VARIANT_ALPHABOOL},
        {false, VT_BSTR, "False", S_OK, VARIANT_LOCALBOOL},
        {typed(VT_UI8, -1), VT_BSTR, "18446744073709551615"},
        {typed(VT_I8, INT64_MIN), VT_BSTR, "-9223372036854775808"},
        {0.1, VT_BSTR, "0.1"},
        {1e20, VT_BSTR, "1E+20"},
        {1.5e-7, VT_BSTR, "1.5E-07"},
        {-0.5, VT_BSTR, "-0.5"},
        {-0.0, VT_BSTR, "0"},
        {1e15, VT_BSTR, "1E+15"},
        {123456789012345.0, VT_BSTR, "123456789012345"},
        {1.0 / 3, VT_BSTR, "0.333333333333333"},
        {0.00001, VT_BSTR, "1E-05"},
        {0.1f, VT_BSTR, "0.1"},
        {16777216.0f, VT_BSTR, "1.677722E+07"},
    });
}

TEST_F(VariantCoerce, Currency) {
    run({
        {"12.3456", VT_CY, typed(VT_CY, 123456)},
        {"0.00005", VT_CY, typed(VT_CY, 0)},
        {"0.00015", VT_CY, typed(VT_CY, 2)},
        {"922337203685477.5807", VT_CY, typed(VT_CY, INT64_MAX)},
        {"922337203685477.5808", VT_CY, {}, TOO_BIG},
        {typed(VT_CY, 123456), VT_BSTR, "12.3456"},
        {typed(VT_CY, -5000), VT_BSTR, "-0.5"},
        {typed(VT_CY, INT64_MIN), VT_BSTR, "-922337203685477.5808"},
        {1.23456, VT_CY, typed(VT_CY, 12346)},
        {1e15, VT_CY, {}, TOO_BIG},
        {true, VT_CY, typed(VT_CY, -10000)},
        {typed(VT_CY, 25000), VT_I4, 2},
        {typed(VT_CY, -25000), VT_I4, -2},
        {typed(VT_CY, 12345), VT_R8, 1.2345},
    });
}

TEST_F(VariantCoerce, Dates) {
    run({
        {date(0), VT_BSTR, "12:00:00 AM"},
        {date(45000.5), VT_BSTR, "3/15/2023 12:00:00 PM"},
        {date(-1.25), VT_BSTR, "12/29/1899 6:00:00 AM"},
        {date(-0.5), VT_BSTR, "12:00:00 PM"},
        {date(45000.99999999), VT_BSTR, "3/16/2023"},
        {date(2958465.99999999), VT_BSTR, "12/31/9999 11:59:59 PM"},
        {date(3000000), VT_BSTR, {}, TOO_BIG},
        {"3/15/2023", VT_DATE, date(45000)},
        {"2023-03-15 18:00", VT_DATE, date(45000.75)},
        {"3/15/2023 6:00 PM", VT_DATE, date(45000.75)},
        {"6:00:30 am", VT_DATE, date((6 * 3600 + 30) / 86400.0)},
        {"12/29/1899 6:00", VT_DATE, date(-1.25)},
        {"1/2/30", VT_DATE, date(10960)},
        {"1/2/29", VT_DATE, date(47120)},
        {"45000.5", VT_DATE, date(45000.5)},
        {"2/29/2023", VT_DATE, {}, MISMATCH},
        {"10:61", VT_DATE, {}, MISMATCH},
        {"13:00 PM", VT_DATE, {}, MISMATCH},
        {"3/15/2023 noon", VT_DATE, {}, MISMATCH},
        {-657435.0, VT_DATE, {}, TOO_BIG},
    });
    for (double serial : {45000.5, -700.75, 0.999988425925926, -657434.5}) {
        qrt::Variant v = date(serial);
        ASSERT_EQ(v.changeType(VT_BSTR), S_OK);
        ASSERT_EQ(v.changeType(VT_DATE), S_OK) << qrt::bstrToUtf8(v.bstrVal);
        EXPECT_NEAR(v.date, serial, 0.5 / 86400);
    }
}

TEST_F(VariantCoerce, EmptyNullErrorAndBadTypes) {
    LONG number = 7;
    qrt::Variant inner(2.5);
    run({
        {{}, VT_I4, 0},
        {{}, VT_BSTR, ""},
        {{}, VT_NULL, qrt::Variant::null()},
        {{}, VT_DISPATCH, object(VT_DISPATCH, nullptr)},
        {qrt::Variant::null(), VT_I4, {}, MISMATCH},
        {qrt::Variant::null(), VT_EMPTY, {}},
        {qrt::Variant::null(), VT_VARIANT, qrt::Variant::null()},
        {5, VT_NULL, {}, MISMATCH},
        {"x", VT_EMPTY, {}},
        {qrt::Variant::error(E_FAIL), VT_I4, {}, MISMATCH},
        {qrt::Variant::error(E_FAIL), VT_EMPTY, {}, MISMATCH},
        {qrt::Variant::error(E_FAIL), VT_ERROR, qrt::Variant::error(E_FAIL)},
        {5, VT_ERROR, {}, MISMATCH},
        {5, VT_DECIMAL, {}, DISP_E_BADVARTYPE},
        {5, VT_I4 | VT_BYREF, {}, DISP_E_BADVARTYPE},
        {typed(0x7F, 0), VT_I4, {}, DISP_E_BADVARTYPE},
        // A reference is followed first.
        {typed(VT_I4 | VT_BYREF, reinterpret_cast<std::intptr_t>(&number)), VT_BSTR, "7"},
        {typed(VT_VARIANT | VT_BYREF, reinterpret_cast<std::intptr_t>(&inner)), VT_I4, 2},
    });
}

// An object whose default property holds a value.
class ValueObject final : public IDispatch {
public:
    explicit ValueObject(qrt::Variant v, HRESULT failure = S_OK) : value(std::move(v)), m_failure(failure) {}
    HRESULT QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == IID_IDispatch ? this : nullptr;
        return *out ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                   UINT*) override {
        if (id != DISPID_VALUE || flags != DISPATCH_PROPERTYGET || params->cArgs != 0) return DISP_E_MEMBERNOTFOUND;
        return FAILED(m_failure) ? m_failure : VariantCopy(result, &value);
    }

    qrt::Variant value;
    ULONG refs = 1;

private:
    HRESULT m_failure;
};

// An object without IDispatch.
class PlainObject final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown ? this : nullptr;
        return *out ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    ULONG refs = 1;
};

TEST_F(VariantCoerce, ObjectsConvertThroughTheirDefaultProperty) {
    ValueObject answer(42), decimal("12.5"), failing(0, DISP_E_EXCEPTION);
    ValueObject nested(object(VT_DISPATCH, &answer)), loop(qrt::Variant{});
    loop.value = object(VT_DISPATCH, &loop);
    PlainObject plain;
    const ULONG answerRefs = answer.refs, loopRefs = loop.refs;
    run({
        {object(VT_DISPATCH, &answer), VT_BSTR, "42"},
        {object(VT_DISPATCH, &decimal), VT_I4, 12},
        {object(VT_DISPATCH, &nested), VT_I2, typed(VT_I2, 42)},
        {object(VT_UNKNOWN, &answer), VT_I4, 42},
        {object(VT_DISPATCH, &answer), VT_I4, {}, MISMATCH, VARIANT_NOVALUEPROP},
        {object(VT_DISPATCH, nullptr), VT_I4, {}, MISMATCH},
        {object(VT_DISPATCH, &failing), VT_I4, {}, DISP_E_EXCEPTION},
        {object(VT_DISPATCH, &loop), VT_I4, {}, MISMATCH},
        {object(VT_UNKNOWN, &plain), VT_I4, {}, MISMATCH},
        {object(VT_DISPATCH, &answer), VT_UNKNOWN, object(VT_UNKNOWN, &answer)},
        {object(VT_UNKNOWN, &answer), VT_DISPATCH, object(VT_DISPATCH, &answer)},
        {object(VT_UNKNOWN, &plain), VT_DISPATCH, {}, MISMATCH},
    });
    EXPECT_EQ(answer.refs, answerRefs);
    EXPECT_EQ(loop.refs, loopRefs);
    EXPECT_EQ(plain.refs, 1u);
    loop.value.clear();
}

TEST_F(VariantCoerce, FailureLeavesDestinationAlone) {
    qrt::Variant v("  12.5 ");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_R8), S_OK);
    EXPECT_EQ(describe(v), describe(qrt::Variant(12.5)));

    qrt::Variant text("not a number");
    const BSTR before = text.bstrVal;
    EXPECT_EQ(VariantChangeType(&text, &text, 0, VT_I4), MISMATCH);
    EXPECT_EQ(text.bstrVal, before);
    EXPECT_EQ(qrt::bstrToUtf8(text.bstrVal), "not a number");
    qrt::Variant dest("kept");
    EXPECT_EQ(VariantChangeType(&dest, &text, 0, VT_R8), MISMATCH);
    EXPECT_EQ(qrt::bstrToUtf8(dest.bstrVal), "kept");
}

TEST_F(VariantCoerce, ArraysConvertOnlyToTheirOwnType) {
    qrt::Variant array;
    array.vt = VT_ARRAY | VT_I4;
    array.parray = SafeArrayCreateVector(VT_I4, 0, 3);
    const LONG index = 2, value = 9;
    SafeArrayPutElement(array.parray, &index, &value);

    qrt::Variant copy;
    ASSERT_EQ(VariantChangeType(&copy, &array, 0, VT_ARRAY | VT_I4), S_OK);
    ASSERT_NE(copy.parray, array.parray);
    LONG got = 0;
    ASSERT_EQ(SafeArrayGetElement(copy.parray, &index, &got), S_OK);
    EXPECT_EQ(got, 9);
    for (VARTYPE to : {VARTYPE(VT_I4), VARTYPE(VT_BSTR), VARTYPE(VT_ARRAY | VT_R8)})
        EXPECT_EQ(VariantChangeType(&copy, &array, 0, to), MISMATCH) << to;
    qrt::Variant scalar(5);
    EXPECT_EQ(VariantChangeType(&scalar, &scalar, 0, VT_ARRAY | VT_I4), MISMATCH);
}

TEST_F(VariantCoerce, TextIgnoresACommaDecimalLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
    run({
        {"1,234.5", VT_R8, 1234.5},
        {"1,5", VT_R8, 15.0},
        {1.5, VT_BSTR, "1.5"},
        {1.5f, VT_BSTR, "1.5"},
        {typed(VT_CY, 15000), VT_BSTR, "1.5"},
    });
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
