// Replace: the first match or, with Global, every one, and the $ forms of
// the replacement text.
#include "engines/vbscript/regexp/tests/regexp_fixture.h"

namespace regexp_test {
namespace {

TEST_F(RegExpTest, ReplaceChangesTheFirstMatchOrWithGlobalEvery) {
    setUp(u"o");
    EXPECT_EQ(replace(u"foo boo", u"0"), u"f0o boo");
    setUp(u"o", true);
    EXPECT_EQ(replace(u"foo boo", u"0"), u"f00 b00");
    EXPECT_EQ(replace(u"xyz", u"0"), u"xyz");
    EXPECT_EQ(replace(u"", u"0"), u"");
}

TEST_F(RegExpTest, DollarFormsInsertMatchGroupsAndSurroundings) {
    setUp(u"(\\w)(\\d)");
    EXPECT_EQ(replace(u"<a1>", u"[$2$1]"), u"<[1a]>");
    EXPECT_EQ(replace(u"<a1>", u"[$&]"), u"<[a1]>");
    EXPECT_EQ(replace(u"<a1>", u"[$`]"), u"<[<]>");
    EXPECT_EQ(replace(u"<a1>", u"[$']"), u"<[>]>");
    EXPECT_EQ(replace(u"<a1>", u"$$1 costs $"), u"<$1 costs $>");
    EXPECT_EQ(replace(u"<a1>", u"$0$3$x$"), u"<$0$3$x$>") << "references to nothing stay text";
}

TEST_F(RegExpTest, TwoDigitReferencesNeedThatManyGroups) {
    setUp(u"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)");
    EXPECT_EQ(replace(u"abcdefghijk", u"$11-$10-$01-$012"), u"k-j-a-a2");
    setUp(u"(a)(b)");
    EXPECT_EQ(replace(u"ab", u"$10|$21"), u"a0|b1") << "a second digit beyond the groups is text";
}

TEST_F(RegExpTest, GroupsThatTookNoPartInsertNothing) {
    setUp(u"(x)?y", true);
    EXPECT_EQ(replace(u"y xy", u"[$1]"), u"[] [x]");
}

TEST_F(RegExpTest, EmptyMatchesReplaceBetweenCharacters) {
    setUp(u"x*", true);
    EXPECT_EQ(replace(u"abc", u"-"), u"-a-b-c-");
    EXPECT_EQ(replace(u"axxb", u"-"), u"-a--b-");
    setUp(u"^", true, false, true);
    EXPECT_EQ(replace(u"one\ntwo", u"> "), u"> one\n> two");
}

TEST_F(RegExpTest, ReplaceKeepsTextOutsideTheBasicPlane) {
    setUp(u"é", true, true);
    EXPECT_EQ(replace(u"\U0001F600É\U0001F600é", u"e"), u"\U0001F600e\U0001F600e");
}

}  // namespace
}  // namespace regexp_test
