// Execute and the Matches, Match and SubMatches objects it returns, by index
// and by enumeration.
#include "engines/vbscript/regexp/tests/regexp_fixture.h"

namespace regexp_test {
namespace {

TEST_F(RegExpTest, WithoutGlobalExecuteFindsTheFirstMatchOnly) {
    setUp(u"\\d+");
    EXPECT_EQ(listMatches(u"a12 b345 c6"), u"12@1");
    EXPECT_EQ(listMatches(u"none"), u"");
}

TEST_F(RegExpTest, GlobalExecuteFindsEveryMatchWithItsPlace) {
    setUp(u"\\d+", true);
    EXPECT_EQ(listMatches(u"a12 b345 c6"), u"12@1 345@5 6@10");
    setUp(u"o", true, true);
    EXPECT_EQ(listMatches(u"fOo"), u"O@1 o@2");
}

TEST_F(RegExpTest, EmptyMatchesMoveOnOneCharacter) {
    setUp(u"x*", true);
    EXPECT_EQ(listMatches(u"axxb"), u"@0 xx@1 @3 @4");
    setUp(u"", true);
    EXPECT_EQ(listMatches(u"ab"), u"@0 @1 @2");
    setUp(u"(?:)", true);  // a whole surrogate pair is one step
    EXPECT_EQ(listMatches(u"\U0001F600"), u"@0 @2");
}

TEST_F(RegExpTest, PositionsCountUtf16Units) {
    setUp(u"b.", true);
    qrt::ComPtr<IDispatch> matches = execute(u"\U0001F600b\U0001F601bz");
    ASSERT_TRUE(matches);
    ASSERT_EQ(get(matches.get(), u"Count").value.lVal, 2);
    CallResult second = call(matches.get(), u"Item", {1});
    ASSERT_EQ(second.value.vt, VT_DISPATCH);
    EXPECT_EQ(get(second.value.pdispVal, u"FirstIndex").value.lVal, 5);
    EXPECT_EQ(get(second.value.pdispVal, u"Length").value.lVal, 2);
    CallResult first = call(matches.get(), u"Item", {0});
    EXPECT_EQ(get(first.value.pdispVal, u"Length").value.lVal, 3) << "b and a surrogate pair";
}

TEST_F(RegExpTest, SubMatchesHoldGroupsAndEmptyForGroupsThatTookNoPart) {
    setUp(u"(\\w+)@(\\w+)(\\.com)?");
    qrt::ComPtr<IDispatch> matches = execute(u"mail ann@example now");
    ASSERT_TRUE(matches);
    CallResult match = call(matches.get(), u"Item", {0});
    ASSERT_EQ(match.value.vt, VT_DISPATCH);
    IDispatch* m = match.value.pdispVal;
    EXPECT_EQ(text(get(m, u"Value").value), u"ann@example");
    CallResult subs = get(m, u"SubMatches");
    ASSERT_EQ(subs.value.vt, VT_DISPATCH);
    IDispatch* s = subs.value.pdispVal;
    EXPECT_EQ(get(s, u"Count").value.lVal, 3);
    EXPECT_EQ(text(call(s, u"Item", {0}).value), u"ann");
    EXPECT_EQ(text(call(s, u"Item", {1}).value), u"example");
    EXPECT_EQ(call(s, u"Item", {2}).value.vt, VT_EMPTY);
    EXPECT_EQ(errorNumber(call(s, u"Item", {3})), 5);
    EXPECT_EQ(text(get(m, u"SubMatches", {1}).value), u"example") << "m.SubMatches(1) reads the group";
    EXPECT_EQ(errorNumber(get(m, u"SubMatches", {u"x"})), 13);
    CallResult again = get(m, u"SubMatches");
    EXPECT_EQ(again.value.pdispVal, s) << "the same SubMatches each time";
}

TEST_F(RegExpTest, DefaultMembersAreItemAndValue) {
    setUp(u"b+", true);
    qrt::ComPtr<IDispatch> matches = execute(u"abbc b");
    ASSERT_TRUE(matches);
    // matches(1) and the match's value as a script reads them: DISPID_VALUE.
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_I4;
    index.lVal = 1;
    DISPPARAMS args{&index, nullptr, 1, 0};
    Variant match;
    ASSERT_EQ(matches->Invoke(DISPID_VALUE, GUID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &args, &match,
                              nullptr, nullptr),
              S_OK);
    ASSERT_EQ(match.vt, VT_DISPATCH);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant value;
    ASSERT_EQ(match.pdispVal->Invoke(DISPID_VALUE, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(text(value), u"b");
    EXPECT_EQ(errorNumber(call(matches.get(), u"Item", {2})), 5);
    EXPECT_EQ(errorNumber(call(matches.get(), u"Item", {-1})), 5);
}

// Every item of a collection through its _NewEnum, as For Each walks it.
std::vector<Variant> enumerate(IDispatch* collection) {
    std::vector<Variant> items;
    CallResult e = get(collection, u"_NewEnum");
    EXPECT_TRUE(e.value.vt == VT_UNKNOWN || e.value.vt == VT_DISPATCH);
    qrt::ComPtr<IEnumVARIANT> walker;
    if (FAILED(e.value.punkVal->QueryInterface(IID_IEnumVARIANT, walker.outVoid()))) return items;
    Variant item;
    ULONG fetched = 0;
    while (walker->Next(1, &item, &fetched) == S_OK && fetched == 1) items.push_back(std::move(item));
    EXPECT_EQ(walker->Next(1, &item, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    return items;
}

TEST_F(RegExpTest, CollectionsEnumerateForForEach) {
    setUp(u"(\\d)(x)?", true);
    qrt::ComPtr<IDispatch> matches = execute(u"1x 2 3x");
    ASSERT_TRUE(matches);
    std::vector<Variant> items = enumerate(matches.get());
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(text(get(items[2].pdispVal, u"Value").value), u"3x");
    CallResult subs = get(items[1].pdispVal, u"SubMatches");
    std::vector<Variant> groups = enumerate(subs.value.pdispVal);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(text(groups[0]), u"2");
    EXPECT_EQ(groups[1].vt, VT_EMPTY);

    // Skip, Reset and Clone keep their place apart.
    CallResult e = get(matches.get(), u"_NewEnum");
    qrt::ComPtr<IEnumVARIANT> walker;
    ASSERT_EQ(e.value.punkVal->QueryInterface(IID_IEnumVARIANT, walker.outVoid()), S_OK);
    EXPECT_EQ(walker->Skip(2), S_OK);
    qrt::ComPtr<IEnumVARIANT> copy;
    ASSERT_EQ(walker->Clone(copy.out()), S_OK);
    Variant two[2];
    ULONG fetched = 0;
    EXPECT_EQ(copy->Next(2, two, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(text(get(two[0].pdispVal, u"Value").value), u"3x");
    EXPECT_EQ(walker->Skip(5), S_FALSE);
    EXPECT_EQ(walker->Reset(), S_OK);
    two[0].clear();
    EXPECT_EQ(walker->Next(2, two, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
}

}  // namespace
}  // namespace regexp_test
