// The Dictionary through IDispatch by name, as scripts call it: key rules,
// items and keys in order, renaming, comparison modes, enumeration, errors,
// and the references it holds on objects.
#include "runtime/activation.h"
#include "runtime/safearray.h"
#include "runtime/testing/dispatch_calls.h"
#include "scripting/tests/script_host.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using qtest::call;
using qtest::CallResult;

constexpr WORD kGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

int errorNumber(const CallResult& r) { return r.hr == DISP_E_EXCEPTION ? static_cast<int>(r.scode & 0xFFFF) : 0; }

qrt::Variant date(double d) {
    qrt::Variant v;
    v.vt = VT_DATE;
    v.date = d;
    return v;
}
qrt::Variant currency(long long scaled) {
    qrt::Variant v;
    v.vt = VT_CY;
    v.cyVal.int64 = scaled;
    return v;
}

class DictionaryTest : public ::testing::Test {
protected:
    void SetUp() override {
        scripting_test::registerLibraries();
        // The type information is built once: build it before counting.
        {
            qrt::ComPtr<IDispatch> warm;
            ASSERT_EQ(qrt::createObject(u"Scripting.Dictionary", warm), S_OK) << qrt::lastActivationError();
            call(warm.get(), u"Count");
        }
        m_objects = qrt::liveObjectCount();
        ASSERT_EQ(qrt::createObject(u"Scripting.Dictionary", d), S_OK);
    }
    void TearDown() override {
        d.reset();
        EXPECT_EQ(qrt::liveObjectCount(), m_objects) << "objects leaked";
    }

    CallResult add(qrt::Variant key, qrt::Variant item) { return call(d.get(), u"Add", {std::move(key), std::move(item)}); }
    qrt::Variant item(qrt::Variant key) { return call(d.get(), u"Item", {std::move(key)}, kGet).value; }
    bool exists(qrt::Variant key) {
        CallResult r = call(d.get(), u"Exists", {std::move(key)});
        EXPECT_EQ(r.value.vt, VT_BOOL);
        return r.value.boolVal != 0;
    }
    long count() { return call(d.get(), u"Count").value.lVal; }
    std::vector<qrt::Variant> list(const char16_t* member) {
        CallResult r = call(d.get(), member);
        EXPECT_EQ(r.value.vt, VT_ARRAY | VT_VARIANT);
        std::vector<qrt::Variant> out;
        if (r.value.vt != (VT_ARRAY | VT_VARIANT)) return out;
        LONG lo = 0, hi = -1;
        SafeArrayGetLBound(r.value.parray, 1, &lo);
        SafeArrayGetUBound(r.value.parray, 1, &hi);
        EXPECT_EQ(lo, 0);
        for (LONG i = lo; i <= hi; ++i) {
            qrt::Variant v;
            SafeArrayGetElement(r.value.parray, &i, &v);
            out.push_back(std::move(v));
        }
        return out;
    }
    std::u16string text(const VARIANT& v) {
        qrt::Variant s;
        if (FAILED(VariantChangeType(&s, &v, 0, VT_BSTR))) return u"<?>";
        return std::u16string(qrt::bstrView(s.bstrVal));
    }

    qrt::ComPtr<IDispatch> d;
    long m_objects = 0;
};

// Pairs of keys that name the same entry, and pairs that do not.
struct KeyCase {
    const char* what;
    qrt::Variant first, second;
    bool same;
};

TEST_F(DictionaryTest, KeysOfDifferentTypesFollowTheValueRules) {
    const KeyCase cases[] = {
        {"Integer and Long", qrt::Variant(short{1}), qrt::Variant(1), true},
        {"Long and Double", qrt::Variant(2), qrt::Variant(2.0), true},
        {"Single and Double", qrt::Variant(0.5f), qrt::Variant(0.5), true},
        {"Currency and Long", currency(30000), qrt::Variant(3), true},
        {"Date and Double", date(45000.5), qrt::Variant(45000.5), true},
        {"True and -1", qrt::Variant(true), qrt::Variant(-1), true},
        {"0 and -0", qrt::Variant(0.0), qrt::Variant(-0.0), true},
        {"1 and 1.5", qrt::Variant(1), qrt::Variant(1.5), false},
        {"number and its text", qrt::Variant(1), qrt::Variant("1"), false},
        {"Empty and 0", qrt::Variant(), qrt::Variant(0), false},
        {"Empty and empty text", qrt::Variant(), qrt::Variant(""), false},
        {"Null and Empty", qrt::Variant::null(), qrt::Variant(), false},
        {"texts differing in case", qrt::Variant("Key"), qrt::Variant("key"), false},
        {"equal texts", qrt::Variant("Key"), qrt::Variant(u"Key"), true},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(call(d.get(), u"RemoveAll").hr, S_OK);
        ASSERT_EQ(add(c.first, "first").hr, S_OK);
        EXPECT_EQ(exists(c.second), c.same);
        CallResult again = add(c.second, "second");
        EXPECT_EQ(errorNumber(again), c.same ? 457 : 0);
        EXPECT_EQ(count(), c.same ? 1 : 2);
        // Keys come back as they were given, in their own type.
        EXPECT_EQ(list(u"Keys")[0].vt, c.first.vt);
        // Equal keys hash alike.
        if (c.same) {
            EXPECT_EQ(call(d.get(), u"HashVal", {c.first}).value.lVal, call(d.get(), u"HashVal", {c.second}).value.lVal);
        }
    }
}

TEST_F(DictionaryTest, ObjectKeysGoByIdentityAndAreHeldWhileInTheDictionary) {
    qrt::ComPtr<IDispatch> a, b;
    ASSERT_EQ(qrt::createObject(u"Scripting.Dictionary", a), S_OK);
    ASSERT_EQ(qrt::createObject(u"Scripting.Dictionary", b), S_OK);
    ASSERT_EQ(add(qrt::Variant(a.get()), "a").hr, S_OK);
    ASSERT_EQ(add(qrt::Variant(b.get()), "b").hr, S_OK);
    EXPECT_EQ(text(item(qrt::Variant(a.get()))), u"a");
    EXPECT_EQ(text(item(qrt::Variant(b.get()))), u"b");
    // The same object seen through IUnknown is the same key.
    qrt::Variant asUnknown;
    asUnknown.vt = VT_UNKNOWN;
    asUnknown.punkVal = a.get();
    a->AddRef();
    EXPECT_TRUE(exists(asUnknown));

    const long objects = qrt::liveObjectCount();
    IDispatch* raw = a.get();
    a.reset();
    asUnknown.clear();
    EXPECT_EQ(qrt::liveObjectCount(), objects) << "the dictionary holds its key";
    EXPECT_EQ(call(d.get(), u"Remove", {qrt::Variant(raw)}).hr, S_OK);
    EXPECT_EQ(qrt::liveObjectCount(), objects - 1) << "removal releases the key";
}

TEST_F(DictionaryTest, ItemReadsAddsMissingKeysAndAssignsByValueOrReference) {
    EXPECT_EQ(item("missing").vt, VT_EMPTY);
    EXPECT_EQ(count(), 1);
    EXPECT_TRUE(exists("missing"));

    EXPECT_EQ(call(d.get(), u"Item", {"k", 5}, DISPATCH_PROPERTYPUT).hr, S_OK);
    EXPECT_EQ(item("k").lVal, 5);
    EXPECT_EQ(call(d.get(), u"Item", {"k", "five"}, DISPATCH_PROPERTYPUT).hr, S_OK);
    EXPECT_EQ(text(item("k")), u"five");

    qrt::ComPtr<IDispatch> other;
    ASSERT_EQ(qrt::createObject(u"Scripting.Dictionary", other), S_OK);
    EXPECT_EQ(call(d.get(), u"Item", {"obj", qrt::Variant(other.get())}, DISPATCH_PROPERTYPUTREF).hr, S_OK);
    qrt::Variant got = item("obj");
    ASSERT_EQ(got.vt, VT_DISPATCH);
    EXPECT_EQ(got.pdispVal, other.get());
    // The default member: d("k").
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"Item")};
    ASSERT_EQ(d->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, DISPID_VALUE);
}

TEST_F(DictionaryTest, ItemsAndKeysKeepTheOrderOfAdditionThroughRemovalAndRenaming) {
    for (int i = 0; i < 100; ++i) ASSERT_EQ(add(i, i * 10).hr, S_OK);
    for (int i = 0; i < 100; i += 2) ASSERT_EQ(call(d.get(), u"Remove", {i}).hr, S_OK);
    ASSERT_EQ(call(d.get(), u"Key", {51, "renamed"}, DISPATCH_PROPERTYPUT).hr, S_OK);
    ASSERT_EQ(add(1000, "last").hr, S_OK);
    const auto keys = list(u"Keys");
    const auto items = list(u"Items");
    ASSERT_EQ(keys.size(), 51u);
    ASSERT_EQ(items.size(), 51u);
    EXPECT_EQ(keys[0].lVal, 1);
    EXPECT_EQ(text(keys[25]), u"renamed");
    EXPECT_EQ(items[25].lVal, 510);
    EXPECT_EQ(keys[50].lVal, 1000);
    EXPECT_FALSE(exists(51));
    EXPECT_EQ(item("renamed").lVal, 510);
    EXPECT_EQ(count(), 51);
    // Removing everything leaves an empty array (upper bound -1).
    EXPECT_EQ(call(d.get(), u"RemoveAll").hr, S_OK);
    EXPECT_TRUE(list(u"Items").empty());
    EXPECT_EQ(count(), 0);
}

TEST_F(DictionaryTest, ErrorsCarryTheirNumbersAndTexts) {
    ASSERT_EQ(add("a", 1).hr, S_OK);
    ASSERT_EQ(add("b", 2).hr, S_OK);
    CallResult r = add("a", 3);
    EXPECT_EQ(errorNumber(r), 457);
    EXPECT_EQ(r.description, "This key is already associated with an element of this collection");
    r = call(d.get(), u"Remove", {"zz"});
    EXPECT_EQ(errorNumber(r), 32811);
    EXPECT_EQ(r.description, "Element not found");
    EXPECT_EQ(errorNumber(call(d.get(), u"Key", {"zz", "c"}, DISPATCH_PROPERTYPUT)), 32811);
    EXPECT_EQ(errorNumber(call(d.get(), u"Key", {"a", "b"}, DISPATCH_PROPERTYPUT)), 457);
    EXPECT_EQ(call(d.get(), u"Key", {"a", "a"}, DISPATCH_PROPERTYPUT).hr, S_OK) << "renaming to itself";
    // An array is no key.
    qrt::Variant array;
    array.vt = VT_ARRAY | VT_VARIANT;
    array.parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    EXPECT_EQ(errorNumber(add(array, 1)), 13);
    EXPECT_EQ(errorNumber(call(d.get(), u"Exists", {array})), 13);
    // The mode cannot change once there are items, nor be negative.
    r = qtest::put(d.get(), u"CompareMode", 1);
    EXPECT_EQ(errorNumber(r), 5);
    EXPECT_EQ(r.description, "Invalid procedure call or argument");
    EXPECT_EQ(count(), 2);
}

TEST_F(DictionaryTest, TextModeComparesWithoutRegardToCase) {
    ASSERT_EQ(qtest::put(d.get(), u"CompareMode", 1).hr, S_OK);
    EXPECT_EQ(call(d.get(), u"CompareMode").value.lVal, 1);
    ASSERT_EQ(add(u"Größe", 1).hr, S_OK);
    EXPECT_TRUE(exists(u"GRÖSSE") == false) << "folding is character by character";
    EXPECT_TRUE(exists(u"gRÖße"));
    EXPECT_EQ(errorNumber(add(u"GRÖßE", 2)), 457);
    EXPECT_EQ(call(d.get(), u"HashVal", {u"abc"}).value.lVal, call(d.get(), u"HashVal", {u"ABC"}).value.lVal);
    // Numbers are unaffected; Empty dictionaries may switch back.
    ASSERT_EQ(call(d.get(), u"RemoveAll").hr, S_OK);
    ASSERT_EQ(qtest::put(d.get(), u"CompareMode", 0).hr, S_OK);
    ASSERT_EQ(add("a", 1).hr, S_OK);
    EXPECT_FALSE(exists("A"));
}

TEST_F(DictionaryTest, EnumerationWalksTheKeysAsTheyWereWhenItBegan) {
    for (const char* k : {"x", "y", "z"}) ASSERT_EQ(add(k, 0).hr, S_OK);
    CallResult r = call(d.get(), u"_NewEnum");
    ASSERT_EQ(r.value.vt, VT_UNKNOWN);
    qrt::ComPtr<IEnumVARIANT> e;
    ASSERT_EQ(r.value.punkVal->QueryInterface(IEnumVARIANT::IID, e.outVoid()), S_OK);
    ASSERT_EQ(call(d.get(), u"Remove", {"y"}).hr, S_OK);
    VARIANT got[4];
    ULONG fetched = 0;
    EXPECT_EQ(e->Next(4, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 3u);
    EXPECT_EQ(text(got[0]) + text(got[1]) + text(got[2]), u"xyz");
    for (ULONG i = 0; i < fetched; ++i) VariantClear(&got[i]);
    qrt::ComPtr<IEnumVARIANT> clone;
    ASSERT_EQ(e->Reset(), S_OK);
    ASSERT_EQ(e->Skip(2), S_OK);
    ASSERT_EQ(e->Clone(clone.out()), S_OK);
    ASSERT_EQ(clone->Next(1, got, &fetched), S_OK);
    EXPECT_EQ(text(got[0]), u"z");
    VariantClear(&got[0]);
}

TEST_F(DictionaryTest, ReleasingAnItemThatUsesTheDictionaryIsSafe) {
    // An item holding the dictionary itself: a cycle the script breaks with
    // RemoveAll, which must not touch the table while releasing.
    ASSERT_EQ(add("self", qrt::Variant(d.get())).hr, S_OK);
    ASSERT_EQ(call(d.get(), u"Item", {"self", 1}, DISPATCH_PROPERTYPUT).hr, S_OK);
    ASSERT_EQ(add("again", qrt::Variant(d.get())).hr, S_OK);
    EXPECT_EQ(call(d.get(), u"RemoveAll").hr, S_OK);
    EXPECT_EQ(count(), 0);
}

TEST_F(DictionaryTest, DescribesItselfWithTypeInformation) {
    qrt::ComPtr<ITypeInfo> info;
    ASSERT_EQ(d->GetTypeInfo(0, 0, info.out()), S_OK);
    BSTR name = nullptr;
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(qrt::bstrView(name), u"IDictionary");
    SysFreeString(name);
    auto classInfo = d.as<IProvideClassInfo>();
    ASSERT_TRUE(classInfo);
    qrt::ComPtr<ITypeInfo> coclass;
    EXPECT_EQ(classInfo->GetClassInfo(coclass.out()), S_OK);
}

}  // namespace
