// RegExp's properties and Test: defaults, flags, and the pattern syntax
// scripts write (JavaScript's of VBScript's generation) where PCRE2 alone
// would read it differently.
#include "engines/vbscript/regexp/tests/regexp_fixture.h"

#include "runtime/typeinfo.h"

namespace regexp_test {
namespace {

TEST_F(RegExpTest, PropertiesStartEmptyAndFalseAndKeepWhatIsAssigned) {
    EXPECT_EQ(text(get(re.get(), u"Pattern").value), u"");
    for (const char16_t* flag : {u"IgnoreCase", u"Global", u"Multiline"}) {
        CallResult r = get(re.get(), flag);
        ASSERT_EQ(r.value.vt, VT_BOOL) << qrt::bstrToUtf8(qrt::Bstr(flag));
        EXPECT_EQ(r.value.boolVal, VARIANT_FALSE);
        EXPECT_EQ(put(re.get(), flag, 1).hr, S_OK);  // any non-zero number is True
        EXPECT_EQ(get(re.get(), flag).value.boolVal, VARIANT_TRUE);
    }
    EXPECT_EQ(put(re.get(), u"pattern", u"a+b").hr, S_OK);  // names in any case
    EXPECT_EQ(text(get(re.get(), u"PATTERN").value), u"a+b");
}

TEST_F(RegExpTest, TypeNamesAreThoseScriptsKnow) {
    qrt::ComPtr<IProvideClassInfo> provider = re.as<IProvideClassInfo>();
    ASSERT_TRUE(provider);
    qrt::ComPtr<ITypeInfo> info;
    ASSERT_EQ(provider->GetClassInfo(info.out()), S_OK);
    BSTR name = nullptr;
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(qrt::bstrView(name), u"IRegExp2");
    SysFreeString(name);
}

TEST_F(RegExpTest, EmptyPatternMatchesEverySubject) {
    EXPECT_TRUE(test(u""));
    EXPECT_TRUE(test(u"abc"));
}

TEST_F(RegExpTest, IgnoreCaseFoldsBeyondAscii) {
    setUp(u"straße|ÉTÉ|ΣΊΣΥΦΟΣ");
    EXPECT_FALSE(test(u"STRASSE été"));
    EXPECT_EQ(put(re.get(), u"IgnoreCase", true).hr, S_OK);  // takes effect on the compiled pattern
    EXPECT_TRUE(test(u"it was été"));
    EXPECT_TRUE(test(u"σίσυφος"));
    EXPECT_TRUE(test(u"STRAßE"));
}

TEST_F(RegExpTest, MultilineMovesAnchorsToLineEnds) {
    setUp(u"^b$");
    EXPECT_FALSE(test(u"a\nb\nc"));
    EXPECT_EQ(put(re.get(), u"Multiline", true).hr, S_OK);
    EXPECT_TRUE(test(u"a\nb\nc"));
    EXPECT_TRUE(test(u"a\r\nb\r\nc"));
    setUp(u"a$");
    EXPECT_FALSE(test(u"a\n")) << "without Multiline $ is the very end";
    EXPECT_TRUE(test(u"ba"));
}

TEST_F(RegExpTest, DotStopsAtLineBreaks) {
    setUp(u"a.b");
    EXPECT_TRUE(test(u"a-b"));
    EXPECT_FALSE(test(u"a\nb"));
    EXPECT_FALSE(test(u"a\rb"));
    setUp(u"a[^]b");
    EXPECT_TRUE(test(u"a\nb")) << "[^] is any character";
    setUp(u"a[]b");
    EXPECT_FALSE(test(u"ab")) << "[] is no character";
    EXPECT_FALSE(test(u"a]b"));
}

TEST_F(RegExpTest, EscapesReadAsJavaScriptReadsThem) {
    setUp(u"^\\u0041\\x42\\v$");
    EXPECT_TRUE(test(u"AB\v"));
    setUp(u"^\\s$");
    EXPECT_TRUE(test(u"\u00A0")) << "no-break space is white space";
    EXPECT_TRUE(test(u"\u3000"));
    EXPECT_TRUE(test(u"\t"));
    setUp(u"^\\S$");
    EXPECT_FALSE(test(u"\u2028"));
    EXPECT_TRUE(test(u"x"));
    setUp(u"^\\a\\e\\z\\Q$");  // escapes of other syntaxes are plain letters
    EXPECT_TRUE(test(u"aezQ"));
    setUp(u"^\\cJ\\c$");
    EXPECT_TRUE(test(u"\n\\c"));
    setUp(u"^a{2}b{,2}[[:]+\\d{1,}$");
    EXPECT_TRUE(test(u"aab{,2}[:[9"));
    setUp(u"^\\uD83D");  // a single surrogate: matched by code units
    EXPECT_TRUE(test(u"\U0001F600"));
    setUp(u"(a)|\\1b");  // a back reference to a group that did not take part matches nothing
    EXPECT_TRUE(test(u"b"));
}

TEST_F(RegExpTest, LookaheadAndLazyQuantifiersWork) {
    setUp(u"^a+?(?=b)(?!bc)");
    EXPECT_TRUE(test(u"aaabd"));
    EXPECT_FALSE(test(u"aaabc"));
    EXPECT_FALSE(test(u"aaa"));
}

}  // namespace
}  // namespace regexp_test
