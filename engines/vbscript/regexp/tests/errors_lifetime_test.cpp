// Errors of bad patterns and runaway searches as VBScript reports them, and
// the lifetime of the objects Execute returns.
#include "engines/vbscript/regexp/tests/regexp_fixture.h"

namespace regexp_test {
namespace {

TEST_F(RegExpTest, BadPatternsRaiseTheirErrorWhenUsed) {
    struct Case {
        const char16_t* pattern;
        int number;
    };
    const Case cases[] = {
        {u"a(b", 5020},   {u"(?:a|b", 5020}, {u"[ab", 5019},   {u"a\\]b[", 5019}, {u"*a", 5018},
        {u"a**", 5018},   {u"a|+", 5018},    {u"a{2}+", 5018}, {u"[z-a]", 5021},  {u"a)", 5017},
        {u"a\\", 5017},   {u"(?<n>a)", 5017}, {u"(?<=a)b", 5017}, {u"(?i)a", 5017}, {u"a{3,2}", 5017},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qrt::bstrToUtf8(qrt::Bstr(c.pattern)));
        ASSERT_EQ(put(re.get(), u"Pattern", c.pattern).hr, S_OK) << "assigning never fails";
        for (const char16_t* method : {u"Test", u"Execute"}) {
            CallResult r = call(re.get(), method, {u"abc"});
            EXPECT_EQ(errorNumber(r), c.number);
        }
        CallResult r = call(re.get(), u"Replace", {u"abc", u"x"});
        EXPECT_EQ(errorNumber(r), c.number);
        if (c.number == 5017) {
            EXPECT_EQ(r.description, "Syntax error in regular expression");
        }
    }
    setUp(u"b");  // the object works again with a good pattern
    EXPECT_TRUE(test(u"abc"));
}

TEST_F(RegExpTest, RunawaySearchEndsWithAnError) {
    setUp(u"^(a+)+$");
    std::u16string subject(40, u'a');
    subject += u'!';
    CallResult r = call(re.get(), u"Test", {subject.c_str()});
    EXPECT_EQ(errorNumber(r), 28);
    EXPECT_EQ(r.description, "Out of stack space");
    EXPECT_TRUE(test(u"aaa")) << "the next search runs normally";
}

TEST_F(RegExpTest, ResultsOutliveTheRegExpAndEveryObjectIsReleased) {
    setUp(u"(\\w)(\\w)", true);
    qrt::ComPtr<IDispatch> matches = execute(u"ab cd");
    ASSERT_TRUE(matches);
    CallResult e = get(matches.get(), u"_NewEnum");
    re.reset();
    matches.reset();    // the enumerator still holds the collection
    qrt::ComPtr<IEnumVARIANT> walker;
    ASSERT_EQ(e.value.punkVal->QueryInterface(IID_IEnumVARIANT, walker.outVoid()), S_OK);
    e.value.clear();
    Variant match;
    ULONG fetched = 0;
    ASSERT_EQ(walker->Next(1, &match, &fetched), S_OK);
    walker.reset();
    CallResult subs = get(match.pdispVal, u"SubMatches");
    match.clear();  // the SubMatches keep their data alone
    EXPECT_EQ(text(call(subs.value.pdispVal, u"Item", {1}).value), u"b");
}

TEST_F(RegExpTest, PointerArgumentsAreChecked) {
    qrt::ComPtr<vbs::IRegExp2> direct = re.as<vbs::IRegExp2>();
    ASSERT_TRUE(direct);
    EXPECT_EQ(direct->Test(nullptr, nullptr), E_POINTER);
    VARIANT_BOOL found = VARIANT_TRUE;
    EXPECT_EQ(direct->Test(nullptr, &found), S_OK) << "a null string is an empty one";
    EXPECT_EQ(found, VARIANT_TRUE);
    EXPECT_EQ(vbs::createRegExp(nullptr), E_POINTER);
    IDispatch* made = nullptr;
    ASSERT_EQ(vbs::createRegExp(&made), S_OK);
    EXPECT_EQ(made->Release(), 0u);
}

}  // namespace
}  // namespace regexp_test
