// BSTR, text conversion, VARIANT memory rules and safe arrays.
#include "runtime/bstr.h"
#include "runtime/dispatch.h"
#include "runtime/safearray.h"
#include "runtime/text.h"
#include "runtime/variant.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace {

// Every test must give back all the strings and arrays it allocated.
class ValueTypes : public ::testing::Test {
protected:
    void SetUp() override {
        m_bstrs = qrt::liveBstrCount();
        m_arrays = qrt::liveSafeArrayCount();
    }
    void TearDown() override {
        EXPECT_EQ(qrt::liveBstrCount(), m_bstrs) << "BSTR leaked or freed twice";
        EXPECT_EQ(qrt::liveSafeArrayCount(), m_arrays) << "safe array leaked or freed twice";
    }

private:
    long m_bstrs = 0;
    long m_arrays = 0;
};

// An object that only counts its references; it is never deleted.
class Counted final : public IDispatch {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (iid != IID_IUnknown && iid != IID_IDispatch) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
    ULONG refs = 1;
};

std::u16string u16(BSTR s) { return std::u16string(qrt::bstrView(s)); }

// ---------------------------------------------------------------------------

TEST_F(ValueTypes, BstrNullIsDistinctFromEmpty) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);

    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], u'\0');
    SysFreeString(empty);

    qrt::Bstr fromUtf8{std::string_view("")};
    EXPECT_FALSE(fromUtf8.isNull());
    EXPECT_EQ(qrt::bstrToUtf8(nullptr), "");
}

TEST_F(ValueTypes, BstrLengthsCountUnitsAndBytes) {
    const char16_t withNul[] = {u'a', u'\0', u'b'};
    BSTR s = SysAllocStringLen(withNul, 3);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(SysStringByteLen(s), 6u);
    EXPECT_EQ(u16(s), std::u16string(withNul, 3));
    EXPECT_EQ(s[3], u'\0');
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
    EXPECT_EQ(prefix, 6u);
    SysFreeString(s);

    // Without text the content is left to the caller, but the string is terminated.
    BSTR blank = SysAllocStringLen(nullptr, 4);
    EXPECT_EQ(SysStringLen(blank), 4u);
    EXPECT_EQ(blank[4], u'\0');
    SysFreeString(blank);
}

TEST_F(ValueTypes, BstrByteLengthKeepsOddCount) {
    BSTR s = SysAllocStringByteLen("hello", 5);
    EXPECT_EQ(SysStringByteLen(s), 5u);
    EXPECT_EQ(SysStringLen(s), 2u);
    EXPECT_EQ(std::memcmp(s, "hello", 5), 0);
    EXPECT_EQ(reinterpret_cast<const char*>(s)[5], '\0');
    EXPECT_EQ(s[3], u'\0');  // the unit after the last whole one is a terminator

    // A copy through a variant keeps the odd byte.
    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
    a.vt = VT_BSTR;
    a.bstrVal = s;
    ASSERT_EQ(VariantCopy(&b, &a), S_OK);
    EXPECT_EQ(SysStringByteLen(b.bstrVal), 5u);
    VariantClear(&a);
    VariantClear(&b);
}

TEST_F(ValueTypes, BstrReallocation) {
    BSTR s = SysAllocString(u"abcdef");
    // The new text may come from the old string itself.
    ASSERT_TRUE(SysReAllocString(&s, s + 2));
    EXPECT_EQ(u16(s), u"cdef");
    // Without text the old content is kept as far as it reaches.
    ASSERT_TRUE(SysReAllocStringLen(&s, nullptr, 2));
    EXPECT_EQ(u16(s), u"cd");
    ASSERT_TRUE(SysReAllocStringLen(&s, u"xyz", 3));
    EXPECT_EQ(u16(s), u"xyz");
    SysFreeString(s);
}

// ---------------------------------------------------------------------------

TEST_F(ValueTypes, Utf8RoundTrips) {
    for (const char* text : {"", "plain ascii", "caf\xC3\xA9", "\xE2\x82\xAC 5", "\xF0\x9F\x98\x80 smile", "\xEF\xBF\xBF"}) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(qrt::isValidUtf8(text));
        EXPECT_EQ(qrt::encodeUtf8(qrt::decodeAnsi(text)), text);
        qrt::Bstr b{std::string_view(text)};
        EXPECT_EQ(b.utf8(), text);
    }
    EXPECT_EQ(qrt::decodeAnsi("\xF0\x9F\x98\x80"), u"\U0001F600");
}

TEST_F(ValueTypes, InvalidUtf8FallsBackToWindows1252PerByte) {
    struct Row {
        const char* bytes;
        std::u16string expected;
    } rows[] = {
        {"caf\xE9", u"caf\u00E9"},
        {"\x80\x9F\x8A", u"\u20AC\u0178\u0160"},
        {"\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D"},  // undefined: same-valued C1 controls
        {"\xC3\xA9\xE9", u"\u00E9\u00E9"},                              // valid then invalid
        {"\xC0\xAF", u"\u00C0\u00AF"},                                  // overlong '/'
        {"\xE0\x80\xAF", u"\u00E0\u20AC\u00AF"},                        // overlong three-byte form
        {"\xED\xA0\x80", u"\u00ED\u00A0\u20AC"},                        // an encoded surrogate
        {"\xF4\x90\x80\x80", u"\u00F4\u0090\u20AC\u20AC"},              // beyond U+10FFFF
        {"a\xE2\x82", u"a\u00E2\u201A"},                                // truncated at the end
        {"\xE2\x82z", u"\u00E2\u201Az"},                                // truncated before ASCII
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(std::string(row.bytes)));
        EXPECT_FALSE(qrt::isValidUtf8(row.bytes));
        EXPECT_EQ(qrt::decodeAnsi(row.bytes), row.expected);
        EXPECT_EQ(qrt::normalizeToUtf8(row.bytes), qrt::encodeUtf8(row.expected));
        EXPECT_TRUE(qrt::isValidUtf8(qrt::normalizeToUtf8(row.bytes)));
    }
    EXPECT_EQ(qrt::windows1252ToUnicode(0x41), u'A');
    EXPECT_EQ(qrt::windows1252ToUnicode(0xFF), u'\u00FF');
}

TEST_F(ValueTypes, UnpairedSurrogatesEncodeAsReplacement) {
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00};
    EXPECT_EQ(qrt::encodeUtf8(std::u16string_view(lone, 4)), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
    const char16_t highAtEnd[] = {0xD83D};
    EXPECT_EQ(qrt::encodeUtf8(std::u16string_view(highAtEnd, 1)), "\xEF\xBF\xBD");
}

// ---------------------------------------------------------------------------

TEST_F(ValueTypes, VariantCopyAndClearCountReferences) {
    Counted object;
    {
        qrt::Variant a(static_cast<IDispatch*>(&object));
        EXPECT_EQ(object.refs, 2u);
        qrt::Variant b = a;
        EXPECT_EQ(object.refs, 3u);
        qrt::Variant c;
        c.vt = VT_UNKNOWN;
        c.punkVal = &object;
        object.AddRef();
        c = b;  // the old reference is released, the new one counted
        EXPECT_EQ(object.refs, 4u);
        b.clear();
        EXPECT_EQ(object.refs, 3u);
        EXPECT_EQ(b.vt, VT_EMPTY);
    }
    EXPECT_EQ(object.refs, 1u);

    // A reference is copied as a reference: no count, nothing freed on clear.
    IDispatch* slot = &object;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_DISPATCH | VT_BYREF;
    ref.ppdispVal = &slot;
    qrt::Variant shallow(ref);
    EXPECT_EQ(shallow.ppdispVal, &slot);
    shallow.clear();
    EXPECT_EQ(object.refs, 1u);
    qrt::Variant deep;
    ASSERT_EQ(VariantCopyInd(&deep, &ref), S_OK);
    EXPECT_EQ(deep.vt, VT_DISPATCH);
    EXPECT_EQ(object.refs, 2u);
}

TEST_F(ValueTypes, VariantCopyDuplicatesStringsAndArrays) {
    qrt::Variant text("abc");
    qrt::Variant copy = text;
    EXPECT_NE(copy.bstrVal, text.bstrVal);
    EXPECT_EQ(u16(copy.bstrVal), u"abc");
    copy = qrt::Variant(7);  // the old string is freed (checked by the fixture)

    qrt::Variant array;
    array.vt = VT_ARRAY | VT_BSTR;
    array.parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
    LONG index = 1;
    ASSERT_EQ(SafeArrayPutElement(array.parray, &index, text.bstrVal), S_OK);
    qrt::Variant arrayCopy = array;
    ASSERT_NE(arrayCopy.parray, array.parray);
    BSTR element = nullptr;
    ASSERT_EQ(SafeArrayGetElement(arrayCopy.parray, &index, &element), S_OK);
    EXPECT_EQ(u16(element), u"abc");
    SysFreeString(element);
}

TEST_F(ValueTypes, VariantCopyIndFollowsOneLevel) {
    LONG number = 42;
    qrt::Variant ref;
    ref.vt = VT_I4 | VT_BYREF;
    ref.plVal = &number;
    qrt::Variant value;
    ASSERT_EQ(VariantCopyInd(&value, &ref), S_OK);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 42);

    BSTR owned = SysAllocString(u"by reference");
    qrt::Variant strRef;
    strRef.vt = VT_BSTR | VT_BYREF;
    strRef.pbstrVal = &owned;
    ASSERT_EQ(VariantCopyInd(&strRef, &strRef), S_OK);  // in place
    EXPECT_EQ(strRef.vt, VT_BSTR);
    EXPECT_NE(strRef.bstrVal, owned);
    SysFreeString(owned);

    qrt::Variant inner("inner");
    qrt::Variant varRef;
    varRef.vt = VT_VARIANT | VT_BYREF;
    varRef.pvarVal = &inner;
    ASSERT_EQ(VariantCopyInd(&value, &varRef), S_OK);
    EXPECT_EQ(value.vt, VT_BSTR);
    EXPECT_EQ(u16(value.bstrVal), u"inner");

    // A reference to a reference is not followed further.
    qrt::Variant outer;
    outer.vt = VT_VARIANT | VT_BYREF;
    outer.pvarVal = &ref;
    EXPECT_EQ(VariantCopyInd(&value, &outer), E_INVALIDARG);
    EXPECT_EQ(value.vt, VT_BSTR);
}

TEST_F(ValueTypes, UnknownTypesAreRejectedAndLeftAlone) {
    VARIANT bad;
    VariantInit(&bad);
    qrt::Variant good("kept");
    for (VARTYPE vt : {VARTYPE(0x7F), VARTYPE(VT_EMPTY | VT_BYREF), VARTYPE(VT_VOID), VARTYPE(VT_ARRAY | VT_DECIMAL),
                       VARTYPE(0x1000 | VT_I4)}) {
        bad.vt = vt;
        EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE) << vt;
        EXPECT_EQ(bad.vt, vt);
        EXPECT_EQ(VariantCopy(&good, &bad), DISP_E_BADVARTYPE) << vt;
        EXPECT_EQ(u16(good.bstrVal), u"kept");
    }
}

// ---------------------------------------------------------------------------

TEST_F(ValueTypes, SafeArrayBoundsAndLayout) {
    const SAFEARRAYBOUND bounds[] = {{2, -1}, {3, 5}, {4, 0}};
    SAFEARRAY* psa = SafeArrayCreate(VT_I4, 3, bounds);
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(SafeArrayGetDim(psa), 3u);
    EXPECT_EQ(SafeArrayGetElemsize(psa), 4u);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
    EXPECT_EQ(vt, VT_I4);

    const LONG lower[] = {-1, 5, 0}, upper[] = {0, 7, 3};
    for (UINT dim = 1; dim <= 3; ++dim) {
        LONG lb = 99, ub = 99;
        EXPECT_EQ(SafeArrayGetLBound(psa, dim, &lb), S_OK);
        EXPECT_EQ(SafeArrayGetUBound(psa, dim, &ub), S_OK);
        EXPECT_EQ(lb, lower[dim - 1]);
        EXPECT_EQ(ub, upper[dim - 1]);
    }
    LONG ignored;
    EXPECT_EQ(SafeArrayGetLBound(psa, 0, &ignored), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(psa, 4, &ignored), DISP_E_BADINDEX);

    // Fill every element with a value made of its indices, then read the raw
    // data: the first index must vary fastest.
    for (LONG k = 0; k <= 3; ++k)
        for (LONG j = 5; j <= 7; ++j)
            for (LONG i = -1; i <= 0; ++i) {
                const LONG idx[] = {i, j, k};
                const LONG value = (i + 1) + 10 * (j - 5) + 100 * k;
                ASSERT_EQ(SafeArrayPutElement(psa, idx, &value), S_OK);
            }
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    const LONG* raw = static_cast<const LONG*>(data);
    EXPECT_EQ(raw[0], 0);
    EXPECT_EQ(raw[1], 1);      // (0, 5, 0)
    EXPECT_EQ(raw[2], 10);     // (-1, 6, 0)
    EXPECT_EQ(raw[6], 100);    // (-1, 5, 1)
    EXPECT_EQ(raw[23], 123);   // the last element
    ASSERT_EQ(SafeArrayUnaccessData(psa), S_OK);

    const LONG last[] = {0, 7, 3};
    void* ptr = nullptr;
    ASSERT_EQ(SafeArrayPtrOfIndex(psa, last, &ptr), S_OK);
    EXPECT_EQ(ptr, raw + 23);
    LONG got = 0;
    const LONG some[] = {-1, 6, 2};
    ASSERT_EQ(SafeArrayGetElement(psa, some, &got), S_OK);
    EXPECT_EQ(got, 210);

    for (const auto& bad : {std::array<LONG, 3>{-2, 5, 0}, {1, 5, 0}, {0, 4, 0}, {0, 8, 0}, {0, 5, 4}}) {
        EXPECT_EQ(SafeArrayGetElement(psa, bad.data(), &got), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayPutElement(psa, bad.data(), &got), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayPtrOfIndex(psa, bad.data(), &ptr), DISP_E_BADINDEX);
    }
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST_F(ValueTypes, SafeArrayOwnsStringsVariantsAndInterfaces) {
    Counted object;
    SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 1, 2);
    SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    SAFEARRAY* objects = SafeArrayCreateVector(VT_DISPATCH, 0, 1);
    LONG index = 1;

    qrt::Bstr text{std::string_view("element")};
    ASSERT_EQ(SafeArrayPutElement(strings, &index, text.get()), S_OK);
    ASSERT_EQ(SafeArrayPutElement(strings, &index, text.get()), S_OK);  // replaces, frees the first copy
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(strings, &index, &out), S_OK);
    EXPECT_NE(out, text.get());
    EXPECT_EQ(u16(out), u"element");
    SysFreeString(out);

    qrt::Variant holder(static_cast<IDispatch*>(&object));
    ASSERT_EQ(SafeArrayPutElement(variants, &index, &holder), S_OK);
    index = 0;
    ASSERT_EQ(SafeArrayPutElement(objects, &index, static_cast<IDispatch*>(&object)), S_OK);
    EXPECT_EQ(object.refs, 4u);
    IDispatch* fetched = nullptr;
    ASSERT_EQ(SafeArrayGetElement(objects, &index, &fetched), S_OK);
    EXPECT_EQ(fetched, &object);
    EXPECT_EQ(object.refs, 5u);
    fetched->Release();

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(variants, &copy), S_OK);
    EXPECT_EQ(object.refs, 5u);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(variants), S_OK);
    EXPECT_EQ(SafeArrayDestroy(objects), S_OK);
    EXPECT_EQ(SafeArrayDestroy(strings), S_OK);
    EXPECT_EQ(object.refs, 2u);  // the holder's reference remains
}

TEST_F(ValueTypes, SafeArrayLockRules) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I2, 0, 3);
    const SAFEARRAYBOUND bigger{5, 0};
    ASSERT_EQ(SafeArrayLock(psa), S_OK);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    EXPECT_EQ(psa->cLocks, 2u);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayRedim(psa, &bigger), DISP_E_ARRAYISLOCKED);
    const SHORT value = 9;
    const LONG index = 2;
    EXPECT_EQ(SafeArrayPutElement(psa, &index, &value), S_OK);  // elements stay writable
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayUnlock(psa), S_OK);
    EXPECT_EQ(SafeArrayUnlock(psa), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);

    // A variant holding a locked array cannot be cleared either.
    qrt::Variant v;
    v.vt = VT_ARRAY | VT_I2;
    v.parray = SafeArrayCreateVector(VT_I2, 0, 1);
    SafeArrayLock(v.parray);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    SafeArrayUnlock(v.parray);
}

TEST_F(ValueTypes, SafeArrayRedimResizesTheLastDimension) {
    const SAFEARRAYBOUND bounds[] = {{2, 1}, {2, 1}};
    SAFEARRAY* psa = SafeArrayCreate(VT_BSTR, 2, bounds);
    for (LONG j = 1; j <= 2; ++j)
        for (LONG i = 1; i <= 2; ++i) {
            const LONG idx[] = {i, j};
            qrt::Bstr s{std::string(1, char('a' + (i - 1) + 2 * (j - 1)))};
            ASSERT_EQ(SafeArrayPutElement(psa, idx, s.get()), S_OK);
        }
    const SAFEARRAYBOUND grown{3, 0};
    ASSERT_EQ(SafeArrayRedim(psa, &grown), S_OK);
    LONG ub = 0;
    SafeArrayGetUBound(psa, 2, &ub);
    EXPECT_EQ(ub, 2);
    SafeArrayGetUBound(psa, 1, &ub);
    EXPECT_EQ(ub, 2);
    // Elements keep their storage positions; the new slice is empty.
    BSTR out = nullptr;
    const LONG kept[] = {2, 1};  // was (2, 2)
    ASSERT_EQ(SafeArrayGetElement(psa, kept, &out), S_OK);
    EXPECT_EQ(u16(out), u"d");
    SysFreeString(out);
    const LONG fresh[] = {1, 2};
    ASSERT_EQ(SafeArrayGetElement(psa, fresh, &out), S_OK);
    EXPECT_EQ(out, nullptr);

    const SAFEARRAYBOUND shrunk{1, 0};  // drops the strings of the cut slices
    ASSERT_EQ(SafeArrayRedim(psa, &shrunk), S_OK);
    const LONG gone[] = {1, 1};
    EXPECT_EQ(SafeArrayGetElement(psa, gone, &out), DISP_E_BADINDEX);
    const SAFEARRAYBOUND none{0, 0};
    ASSERT_EQ(SafeArrayRedim(psa, &none), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST_F(ValueTypes, SafeArrayRejectsBadArguments) {
    const SAFEARRAYBOUND bound{1, 0};
    EXPECT_EQ(SafeArrayCreate(VT_DECIMAL, 1, &bound), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, &bound), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &bound), nullptr);
    LONG value = 0;
    VARTYPE vt;
    EXPECT_EQ(SafeArrayGetElement(nullptr, &value, &value), E_INVALIDARG);
    EXPECT_EQ(SafeArrayPutElement(nullptr, &value, &value), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &value), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetVartype(nullptr, &vt), E_INVALIDARG);
    EXPECT_EQ(SafeArrayLock(nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayRedim(nullptr, &bound), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
    SAFEARRAY* copy = reinterpret_cast<SAFEARRAY*>(&value);
    EXPECT_EQ(SafeArrayCopy(nullptr, &copy), S_OK);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

}  // namespace
