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
#include <thread>
#include <utility>
#include <vector>

namespace {

// Every test must give back all the strings and arrays it allocated.
class ValueTypes : public ::testing::Test {
protected:
    void SetUp() override { m_live = {qrt::liveBstrCount(), qrt::liveSafeArrayCount()}; }
    void TearDown() override {
        EXPECT_EQ(qrt::liveBstrCount(), m_live.first) << "BSTR leaked or freed twice";
        EXPECT_EQ(qrt::liveSafeArrayCount(), m_live.second) << "safe array leaked or freed twice";
    }

private:
    std::pair<long, long> m_live;
};

// An object that only counts its references; it lives on the stack.
class Counted final : public IDispatch {
public:
    HRESULT QueryInterface(REFIID, void** out) override { return *out = nullptr, E_NOINTERFACE; }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
    ULONG refs = 1;
};

std::u16string u16(BSTR s) { return std::u16string(qrt::bstrView(s)); }

TEST_F(ValueTypes, BstrNullEmptyAndLengths) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    qrt::Bstr empty{std::string_view("")};
    ASSERT_FALSE(empty.isNull());
    EXPECT_EQ(empty.length(), 0u);
    EXPECT_EQ(empty.get()[0], u'\0');

    const char16_t withNul[] = {u'a', u'\0', u'b'};
    qrt::Bstr s = qrt::Bstr::attach(SysAllocStringLen(withNul, 3));
    EXPECT_EQ(s.length(), 3u);
    EXPECT_EQ(SysStringByteLen(s), 6u);
    EXPECT_EQ(s.view(), std::u16string_view(withNul, 3));
    EXPECT_EQ(s.get()[3], u'\0');
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<char*>(s.get()) - 4, 4);
    EXPECT_EQ(prefix, 6u);

    // A byte string keeps its odd length, through copies too, and is terminated.
    qrt::Variant bytes;
    bytes.vt = VT_BSTR;
    bytes.bstrVal = SysAllocStringByteLen("hello", 5);
    qrt::Variant copy = bytes;
    EXPECT_EQ(SysStringByteLen(copy.bstrVal), 5u);
    EXPECT_EQ(SysStringLen(copy.bstrVal), 2u);
    EXPECT_EQ(std::memcmp(copy.bstrVal, "hello", 6), 0);
    EXPECT_EQ(copy.bstrVal[3], u'\0');

    BSTR r = SysAllocString(u"abcdef");
    ASSERT_TRUE(SysReAllocString(&r, r + 2));  // new text taken from the old string
    ASSERT_TRUE(SysReAllocStringLen(&r, nullptr, 2));  // old content kept as far as it reaches
    EXPECT_EQ(u16(r), u"cd");
    SysFreeString(r);
}

// Freed short strings are kept per thread for reuse: a reused block must
// come back whole at every length (prefix, text, terminator), strings freed
// on another thread or after their thread ended must not be lost or freed
// twice, and the count must balance once every thread is done.
TEST_F(ValueTypes, BstrsAreWholeWhenReusedAndAcrossThreads) {
    auto textOf = [](int i) { return std::u16string(static_cast<std::size_t>(i % 140), static_cast<char16_t>(u'a' + i % 26)); };
    auto make = [&](int first, int count) {
        std::vector<BSTR> made;
        for (int i = first; i < first + count; ++i) {
            const std::u16string text = textOf(i);
            made.push_back(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
        }
        return made;
    };
    auto intact = [&](const std::vector<BSTR>& made, int first) {
        int bad = 0;
        for (std::size_t k = 0; k < made.size(); ++k) {
            const std::u16string text = textOf(first + static_cast<int>(k));
            if (u16(made[k]) != text || made[k][text.size()] != u'\0') ++bad;
        }
        return bad;
    };
    for (int round = 0; round < 3; ++round) {  // later rounds take kept blocks
        std::vector<BSTR> made = make(0, 600);
        EXPECT_EQ(intact(made, 0), 0);
        for (BSTR b : made) SysFreeString(b);
    }
    // An odd byte length reuses a block made for whole characters.
    BSTR bytes = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(bytes), 3u);
    EXPECT_EQ(std::memcmp(bytes, "abc\0\0", 5), 0);
    SysFreeString(bytes);

    // Made here, freed by a thread that then ends with them in its lists.
    std::vector<BSTR> here = make(1000, 300);
    std::thread([&] { for (BSTR b : here) SysFreeString(b); }).join();
    // Made by a thread that ended, freed here.
    std::vector<BSTR> there;
    std::thread([&] { there = make(2000, 300); }).join();
    EXPECT_EQ(intact(there, 2000), 0);
    for (BSTR b : there) SysFreeString(b);
    // Made by two threads at once, each checking its own.
    int bad[2] = {0, 0};
    std::thread a([&] { for (int r = 0; r < 20; ++r) { auto m = make(r, 200); bad[0] += intact(m, r); for (BSTR b : m) SysFreeString(b); } });
    std::thread b([&] { for (int r = 0; r < 20; ++r) { auto m = make(r + 7, 200); bad[1] += intact(m, r + 7); for (BSTR x : m) SysFreeString(x); } });
    a.join();
    b.join();
    EXPECT_EQ(bad[0] + bad[1], 0);
}

TEST_F(ValueTypes, Utf8RoundTrips) {
    for (const char* text : {"", "caf\xC3\xA9", "\xE2\x82\xAC 5", "\xF0\x9F\x98\x80 smile", "\xEF\xBF\xBF"}) {
        EXPECT_TRUE(qrt::isValidUtf8(text)) << text;
        EXPECT_EQ(qrt::Bstr(std::string_view(text)).utf8(), text);
    }
    EXPECT_EQ(qrt::decodeAnsi("\xF0\x9F\x98\x80"), u"\U0001F600");
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00};
    EXPECT_EQ(qrt::encodeUtf8(std::u16string_view(lone, 4)), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
    EXPECT_EQ(qrt::bstrToUtf8(nullptr), "");
}

TEST_F(ValueTypes, InvalidUtf8FallsBackToWindows1252PerByte) {
    const std::pair<const char*, std::u16string> rows[] = {
        {"caf\xE9", u"caf\u00E9"},
        {"\x80\x9F\x8A", u"\u20AC\u0178\u0160"},
        {"\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D"},  // undefined: same-valued C1 controls
        {"\xC3\xA9\xE9", u"\u00E9\u00E9"},                              // valid, then invalid
        {"\xC0\xAF", u"\u00C0\u00AF"},                                  // overlong '/'
        {"\xE0\x80\xAF", u"\u00E0\u20AC\u00AF"},                        // overlong three-byte form
        {"\xED\xA0\x80", u"\u00ED\u00A0\u20AC"},                        // an encoded surrogate
        {"\xF4\x90\x80\x80", u"\u00F4\u0090\u20AC\u20AC"},              // beyond U+10FFFF
        {"\xE2\x82z", u"\u00E2\u201Az"},                                // truncated
    };
    for (const auto& [bytes, expected] : rows) {
        SCOPED_TRACE(::testing::PrintToString(std::string(bytes)));
        EXPECT_FALSE(qrt::isValidUtf8(bytes));
        EXPECT_EQ(qrt::decodeAnsi(bytes), expected);
        EXPECT_EQ(qrt::normalizeToUtf8(bytes), qrt::encodeUtf8(expected));
        EXPECT_EQ(qrt::Bstr(std::string_view(bytes)).view(), expected);
    }
}

TEST_F(ValueTypes, TextFilesAreReadByTheirByteOrderMark) {
    using namespace std::string_view_literals;
    const std::pair<std::string_view, std::u16string> rows[] = {
        {"\xEF\xBB\xBF" "caf\xC3\xA9"sv, u"caf\u00E9"},                   // UTF-8 with its mark, which is dropped
        {"\xEF\xBB\xBF"sv, u""},
        {"caf\xE9"sv, u"caf\u00E9"},                                   // no mark: UTF-8 or Windows-1252
        {"a\0b"sv, std::u16string(u"a\0b", 3)},                       // zero bytes are kept
        {"\xFF\xFEx\0\xE9\0"sv, u"x\u00E9"},                         // UTF-16 LE
        {"\xFE\xFF\0x\0\xE9"sv, u"x\u00E9"},                         // UTF-16 BE
        {"\xFF\xFE\x3D\xD8\x00\xDE"sv, u"\U0001F600"},               // a surrogate pair
        {"\xFF\xFE\x3D\xD8x\0"sv, u"\uFFFDx"},                        // a lone high surrogate
        {"\xFF\xFE\x00\xDEx\0"sv, u"\uFFFDx"},                        // a lone low surrogate
        {"\xFF\xFEx\0y"sv, u"x\uFFFD"},                               // an odd last byte
        {"\xFF"sv, u"\u00FF"},                                        // too short for a mark
    };
    for (const auto& [bytes, expected] : rows) {
        SCOPED_TRACE(::testing::PrintToString(std::string(bytes)));
        EXPECT_EQ(qrt::decodeText(bytes), expected);
    }
}

TEST_F(ValueTypes, VariantCopyAndClearCountReferences) {
    Counted object;
    {
        qrt::Variant a(static_cast<IDispatch*>(&object));
        qrt::Variant b = a;
        EXPECT_EQ(object.refs, 3u);
        qrt::Variant c = b;
        c = qrt::Variant("text");  // releases its reference
        EXPECT_EQ(object.refs, 3u);
        b.clear();
        EXPECT_EQ(object.refs, 2u);
        EXPECT_EQ(b.vt, VT_EMPTY);
    }
    EXPECT_EQ(object.refs, 1u);

    // A reference is copied as the same reference; clearing it frees nothing.
    IDispatch* slot = &object;
    qrt::Variant ref;
    ref.vt = VT_DISPATCH | VT_BYREF;
    ref.ppdispVal = &slot;
    qrt::Variant shallow = ref;
    EXPECT_EQ(shallow.ppdispVal, &slot);
    shallow.clear();
    EXPECT_EQ(object.refs, 1u);
    ASSERT_EQ(VariantCopyInd(&shallow, &ref), S_OK);
    EXPECT_EQ(shallow.vt, VT_DISPATCH);
    EXPECT_EQ(object.refs, 2u);
}

TEST_F(ValueTypes, VariantCopyIndFollowsOneLevel) {
    BSTR owned = SysAllocString(u"by reference");
    qrt::Variant strRef;
    strRef.vt = VT_BSTR | VT_BYREF;
    strRef.pbstrVal = &owned;
    ASSERT_EQ(VariantCopyInd(&strRef, &strRef), S_OK);  // in place: becomes an owned copy
    EXPECT_EQ(strRef.vt, VT_BSTR);
    EXPECT_NE(strRef.bstrVal, owned);
    SysFreeString(owned);

    qrt::Variant inner("inner"), value;
    qrt::Variant varRef;
    varRef.vt = VT_VARIANT | VT_BYREF;
    varRef.pvarVal = &inner;
    ASSERT_EQ(VariantCopyInd(&value, &varRef), S_OK);
    EXPECT_EQ(u16(value.bstrVal), u"inner");
    EXPECT_NE(value.bstrVal, inner.bstrVal);

    // Only one level is followed: a reference to a reference is refused.
    qrt::Variant refToRef;
    refToRef.vt = VT_VARIANT | VT_BYREF;
    refToRef.pvarVal = &varRef;
    EXPECT_EQ(VariantCopyInd(&value, &refToRef), E_INVALIDARG);
    EXPECT_EQ(u16(value.bstrVal), u"inner");
}

TEST_F(ValueTypes, UnknownTypesAreRejectedAndLeftAlone) {
    VARIANT bad;
    VariantInit(&bad);
    qrt::Variant good("kept");
    for (VARTYPE vt : {VARTYPE(0x7F), VARTYPE(VT_EMPTY | VT_BYREF), VARTYPE(VT_ARRAY | VT_DECIMAL), VARTYPE(0x1003)}) {
        bad.vt = vt;
        EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE) << vt;
        EXPECT_EQ(bad.vt, vt);
        EXPECT_EQ(VariantCopy(&good, &bad), DISP_E_BADVARTYPE) << vt;
        EXPECT_EQ(u16(good.bstrVal), u"kept");
    }
}

TEST_F(ValueTypes, SafeArrayBoundsAndLayout) {
    const SAFEARRAYBOUND bounds[] = {{2, -1}, {3, 5}, {4, 0}};
    SAFEARRAY* psa = SafeArrayCreate(VT_I4, 3, bounds);
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(SafeArrayGetDim(psa), 3u);
    EXPECT_EQ(SafeArrayGetElemsize(psa), 4u);
    const LONG lower[] = {-1, 5, 0}, upper[] = {0, 7, 3};
    for (UINT dim = 1; dim <= 3; ++dim) {
        LONG lb = 99, ub = 99;
        EXPECT_EQ(SafeArrayGetLBound(psa, dim, &lb), S_OK);
        EXPECT_EQ(SafeArrayGetUBound(psa, dim, &ub), S_OK);
        EXPECT_EQ(std::make_pair(lb, ub), std::make_pair(lower[dim - 1], upper[dim - 1])) << dim;
    }
    LONG got = 0;
    EXPECT_EQ(SafeArrayGetLBound(psa, 0, &got), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(psa, 4, &got), DISP_E_BADINDEX);

    // Each element holds a number made of its indices; in the raw data the
    // first index must vary fastest.
    for (LONG k = 0; k <= 3; ++k)
        for (LONG j = 5; j <= 7; ++j)
            for (LONG i = -1; i <= 0; ++i) {
                const LONG idx[] = {i, j, k}, value = (i + 1) + 10 * (j - 5) + 100 * k;
                ASSERT_EQ(SafeArrayPutElement(psa, idx, &value), S_OK);
            }
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    const LONG* raw = static_cast<const LONG*>(data);
    EXPECT_EQ((std::array<LONG, 5>{raw[0], raw[1], raw[2], raw[6], raw[23]}), (std::array<LONG, 5>{0, 1, 10, 100, 321}));
    ASSERT_EQ(SafeArrayUnaccessData(psa), S_OK);
    const LONG some[] = {-1, 6, 2};
    void* ptr = nullptr;
    ASSERT_EQ(SafeArrayPtrOfIndex(psa, some, &ptr), S_OK);
    EXPECT_EQ(*static_cast<LONG*>(ptr), 210);

    for (const auto& bad : {std::array<LONG, 3>{-2, 5, 0}, {1, 5, 0}, {0, 4, 0}, {0, 8, 0}, {0, 5, 4}}) {
        EXPECT_EQ(SafeArrayGetElement(psa, bad.data(), &got), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayPutElement(psa, bad.data(), &got), DISP_E_BADINDEX);
    }
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    EXPECT_EQ(SafeArrayCreate(VT_DECIMAL, 1, bounds), nullptr);
    EXPECT_EQ(SafeArrayGetElement(nullptr, some, &got), E_INVALIDARG);
    EXPECT_EQ(SafeArrayRedim(nullptr, bounds), E_INVALIDARG);
}

TEST_F(ValueTypes, SafeArrayOwnsStringsVariantsAndInterfaces) {
    Counted object;
    SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 1, 2);
    SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    SAFEARRAY* objects = SafeArrayCreateVector(VT_DISPATCH, 0, 1);
    LONG index = 1;

    qrt::Bstr text{std::string_view("element")};
    ASSERT_EQ(SafeArrayPutElement(strings, &index, text.get()), S_OK);
    ASSERT_EQ(SafeArrayPutElement(strings, &index, text.get()), S_OK);  // frees the first copy
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(strings, &index, &out), S_OK);
    EXPECT_NE(out, text.get());
    EXPECT_EQ(u16(out), u"element");
    SysFreeString(out);

    qrt::Variant holder(static_cast<IDispatch*>(&object));
    ASSERT_EQ(SafeArrayPutElement(variants, &index, &holder), S_OK);
    index = 0;
    ASSERT_EQ(SafeArrayPutElement(objects, &index, static_cast<IDispatch*>(&object)), S_OK);
    IDispatch* fetched = nullptr;
    ASSERT_EQ(SafeArrayGetElement(objects, &index, &fetched), S_OK);
    EXPECT_EQ(fetched, &object);
    EXPECT_EQ(object.refs, 5u);
    fetched->Release();

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(variants, &copy), S_OK);
    EXPECT_EQ(object.refs, 5u);
    for (SAFEARRAY* psa : {copy, variants, objects, strings}) EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    EXPECT_EQ(object.refs, 2u);  // the holder's reference remains
}

TEST_F(ValueTypes, SafeArrayLockRules) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I2, 0, 3);
    const SAFEARRAYBOUND bigger{5, 0};
    void* data = nullptr;
    ASSERT_EQ(SafeArrayLock(psa), S_OK);
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayRedim(psa, &bigger), DISP_E_ARRAYISLOCKED);
    const SHORT value = 9;
    const LONG index = 2;
    EXPECT_EQ(SafeArrayPutElement(psa, &index, &value), S_OK);  // elements stay writable
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);  // still locked once
    EXPECT_EQ(SafeArrayUnlock(psa), S_OK);
    EXPECT_EQ(SafeArrayUnlock(psa), E_UNEXPECTED);

    // A variant holding a locked array cannot be cleared either.
    qrt::Variant v;
    v.vt = VT_ARRAY | VT_I2;
    v.parray = psa;
    SafeArrayLock(psa);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    SafeArrayUnlock(psa);
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
    LONG lb = 9, ub = 9;
    SafeArrayGetLBound(psa, 2, &lb);
    SafeArrayGetUBound(psa, 2, &ub);
    EXPECT_EQ(std::make_pair(lb, ub), std::make_pair(0, 2));
    // Elements keep their storage positions; the new slice is empty.
    BSTR out = nullptr;
    const LONG kept[] = {2, 1}, fresh[] = {1, 2}, gone[] = {1, 1};
    ASSERT_EQ(SafeArrayGetElement(psa, kept, &out), S_OK);
    EXPECT_EQ(u16(out), u"d");
    SysFreeString(out);
    ASSERT_EQ(SafeArrayGetElement(psa, fresh, &out), S_OK);
    EXPECT_EQ(out, nullptr);

    const SAFEARRAYBOUND shrunk{1, 0};  // frees the strings of the cut slices
    ASSERT_EQ(SafeArrayRedim(psa, &shrunk), S_OK);
    EXPECT_EQ(SafeArrayGetElement(psa, gone, &out), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

}  // namespace
