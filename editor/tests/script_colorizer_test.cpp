// ScriptColorizer: which characters of a range get which colour, and the
// tables and keyword list behind that.
#include "editor/keyword_lists.h"
#include "editor/lexora.h"
#include "editor/script_colorizer.h"
#include "runtime/text.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace lexora;

// A text whose characters take the formats the colorizer applies, one style
// per UTF-16 unit, as the editor shows them.
class Recorder final : public ColorTarget {
public:
    explicit Recorder(std::u16string text) : m_text(std::move(text)), m_styles(m_text.size()) {}

    void textRange(int start, int end, std::string& out) override {
        out = qrt::encodeUtf8(std::u16string_view(m_text).substr(start, end - start));
    }
    void formatRange(int start, int end, const CharFormat& format) override {
        ASSERT_LE(0, start);
        ASSERT_LE(start, end);
        ASSERT_LE(end, static_cast<int>(m_text.size()));
        for (int i = start; i < end; ++i) m_styles[i] = applyFormat(m_styles[i], format);
    }

    // One letter per character: '.' plain, K keyword, F function or method,
    // O object, C comment, S string, ? anything else.
    std::string colours() const {
        std::string mask;
        for (const CharStyle& s : m_styles) {
            switch (s.color) {
            case 0: mask += '.'; break;
            case KeywordColor: mask += 'K'; break;
            case FunctionColor: mask += 'F'; break;
            case ObjectColor: mask += 'O'; break;
            case CommentColor: mask += 'C'; break;
            case StringColor: mask += 'S'; break;
            default: mask += '?'; break;
            }
        }
        return mask;
    }
    const CharStyle& style(int i) const { return m_styles[i]; }

private:
    std::u16string m_text;
    std::vector<CharStyle> m_styles;
};

struct Case {
    const char* name;
    LONG language;
    const char16_t* text;
    const char* colours;
};

class ColorizerCases : public ::testing::TestWithParam<Case> {};

TEST_P(ColorizerCases, ColoursTheRightCharacters) {
    const Case& c = GetParam();
    ScriptColorizer colorizer;
    ASSERT_TRUE(colorizer.SetLanguage(c.language));
    Recorder text(c.text);
    colorizer.ColorRange(0, static_cast<int>(std::u16string_view(c.text).size()), text);
    EXPECT_EQ(text.colours(), c.colours) << c.name;
}

constexpr LONG None = 0, JS = ScriptLanguageJScript, VBS = ScriptLanguageVBScript;

INSTANTIATE_TEST_SUITE_P(
    Lines, ColorizerCases,
    ::testing::Values(
        Case{"no language: strings and comments only", None, u"if \"a\" // c", "...SSS.CCCC"},
        Case{"whole words, not prefixes", JS, u"typeof in int inside", "KKKKKK.KK..........."},
        Case{"instanceof", JS, u"x instanceof y", "..KKKKKKKKKK.."},
        Case{"Math members and the object", JS, u"Math.abs(x) Math.PI Math y", "FFFFFFFF............OOOO.."},
        Case{"case decides in JScript", JS, u"Function function", "OOOOOOOO.KKKKKKKK"},
        Case{"VBArray is an object", JS, u"new VBArray(x)", "KKK.OOOOOOO..."},
        Case{"one long word", JS, u"unescape(x) unescapeunshift(x)", "............FFFFFFFFFFFFFFF..."},
        Case{"a word ending in parentheses", JS, u"e.atEnd(); atEnd();", "...........FFFFFFF."},
        Case{"first word of the range", JS, u"return x", "KKKKKK.."},
        Case{"keyword before a parenthesis", JS, u"if(x)", "KK..."},
        Case{"escaped quote followed by a letter ends the string", JS, u"'it\\'s'", "SSSSS.S"},
        Case{"no escape in double quotes", JS, u"\"a\\\"b\"", "SSSS.S"},
        Case{"single quotes run past a line feed", JS, u"'a\nb", "SSSS"},
        Case{"unterminated string to the end", JS, u"x = 'abc", "....SSSS"},
        Case{"block comment then a word", JS, u"/* c */ word", "CCCCCCC....."},
        Case{"division", JS, u"a / b", "....."},
        Case{"comment continued after backslash CR LF", JS, u"// a\\\r\nb\nc", "CCCCCCCCC."},
        Case{"after two-byte characters", JS, u"\u00e9 = \"\u00fc\" // ok", "....SSS.CCCCC"},
        Case{"after a surrogate pair", JS, u"\"\U0001F600\" x", "SSSS.."},
        Case{"any letter case in VBScript", VBS, u"function Function FUNCTION", "KKKKKKKK.KKKKKKKK.KKKKKKKK"},
        Case{"FOR wins over FOR EACH", VBS, u"For Each x In y", "KKK............"},
        Case{"two-word keyword", VBS, u"On Error Resume Next", "KKKKKKKK........KKKK"},
        Case{"the word with a leading space", VBS, u"Set x = Nothing", "KKK............"},
        Case{"glued to an operator", VBS, u"x=ABS(y)", "........"},
        Case{"lower-case text", VBS, u"dim x", "KKK.."},
        Case{"comment closed by its line feed", VBS, u"x = 1 ' note\n", "......CCCCCCC"},
        Case{"comment without a line feed", VBS, u"x = 1 ' note", "......SSSSSS"},
        Case{"apostrophe ends the comment", VBS, u"x ' don't stop", "..SSSSSS......"},
        Case{"REM to the line feed", VBS, u"REM note\nx", "CCCCCCCCC."},
        Case{"rem to the end of the range", VBS, u"rem note", "CCCCCCCC"},
        Case{"REMARK is no comment", VBS, u"REMARK = 1", ".........."},
        Case{"strings", VBS, u"MsgBox \"Hi\" & x", ".......SSSS...."}),
    [](const ::testing::TestParamInfo<Case>& info) { return "case" + std::to_string(info.index); });

TEST(ScriptColorizer, BuildsEachLanguagesListInByteOrder) {
    ScriptColorizer colorizer;
    EXPECT_TRUE(colorizer.keywords().empty());
    struct Expect {
        LONG language;
        std::size_t entries;
    };
    for (const Expect& e : {Expect{JS, 130}, Expect{VBS, 129}, Expect{7, 0}, Expect{JS, 130}}) {
        ASSERT_TRUE(colorizer.SetLanguage(e.language));
        const auto& list = colorizer.keywords();
        EXPECT_EQ(list.size(), e.entries) << e.language;
        for (std::size_t i = 1; i < list.size(); ++i) {
            const std::string& a = list[i - 1].text;
            const std::string& b = list[i].text;
            EXPECT_TRUE(std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                                     [](char x, char y) {
                                                         return static_cast<unsigned char>(x) <
                                                                static_cast<unsigned char>(y);
                                                     }))
                << a << " / " << b;
        }
    }
    // The object list comes last: its VBArray replaces the method's.
    auto vbArray = std::find_if(colorizer.keywords().begin(), colorizer.keywords().end(),
                                [](const auto& e) { return e.text == "VBArray"; });
    ASSERT_NE(vbArray, colorizer.keywords().end());
    EXPECT_EQ(vbArray->format.color, ObjectColor);
    EXPECT_EQ(vbArray->format.mask, 0xF800000Fu);
}

TEST(ScriptColorizer, TablesFollowTheLanguage) {
    using C = ScriptColorizer;
    ScriptColorizer colorizer;
    std::string delimiters;
    for (int b = 0; b < 256; ++b)
        if (colorizer.isDelimiter(static_cast<unsigned char>(b))) delimiters += static_cast<char>(b);
    EXPECT_EQ(delimiters, std::string("\0\t\n\r ()*;[]{}", 13));

    ASSERT_TRUE(colorizer.SetLanguage(VBS));
    EXPECT_EQ(colorizer.classOf(C::SingleQuoted, '\n'), C::LineEnd);  // REM is listed
    EXPECT_EQ(colorizer.classOf(C::Normal, 'R'), C::KeywordStart);
    EXPECT_EQ(colorizer.classOf(C::Normal, 'r'), C::NoClass);
    EXPECT_EQ(colorizer.classOf(C::Normal, '\''), C::OpenSingle);
    ASSERT_TRUE(colorizer.SetLanguage(JS));
    EXPECT_EQ(colorizer.classOf(C::SingleQuoted, '\n'), C::NoClass);
    EXPECT_EQ(colorizer.classOf(C::Normal, 'R'), C::KeywordStart);  // RegExp
    EXPECT_EQ(colorizer.classOf(C::Normal, 'r'), C::KeywordStart);  // return
    EXPECT_EQ(colorizer.classOf(C::Normal, 'E'), C::KeywordStart);  // Enumerator
    EXPECT_EQ(colorizer.classOf(C::Normal, 'Z'), C::NoClass);
    EXPECT_EQ(colorizer.classOf(C::LineComment, '\n'), C::LineEnd);
    EXPECT_EQ(colorizer.classOf(C::BlockComment, '*'), C::Star);
    colorizer.ClearKeywords();
    EXPECT_EQ(colorizer.classOf(C::Normal, 'r'), C::NoClass);
    EXPECT_EQ(colorizer.classOf(C::Normal, '"'), C::OpenDouble);
}

TEST(ScriptColorizer, SameLanguageKeepsTheListsAndLastEqualWordWins) {
    ScriptColorizer colorizer;
    ASSERT_TRUE(colorizer.SetLanguage(VBS));
    colorizer.AddKeyword("MSGBOX", defaultFormatWithColor(0x123456));
    colorizer.AddKeyword("MSGBOX", defaultFormatWithColor(FunctionColor));
    ASSERT_TRUE(colorizer.SetLanguage(VBS));  // no rebuild
    EXPECT_EQ(colorizer.keywords().size(), 130u);
    Recorder text(u"MsgBox x");
    colorizer.ColorRange(0, 8, text);
    EXPECT_EQ(text.colours(), "FFFFFF..");
    ASSERT_TRUE(colorizer.SetLanguage(JS));
    ASSERT_TRUE(colorizer.SetLanguage(VBS));
    EXPECT_EQ(colorizer.keywords().size(), 129u);
}

TEST(ScriptColorizer, ColorRangeResetsTheRangeFirst) {
    ScriptColorizer colorizer;
    ASSERT_TRUE(colorizer.SetLanguage(JS));
    Recorder text(u"var x");
    text.formatRange(0, 5, CharFormat{0xF800000F, CFE_BOLD | CFE_ITALIC, 300, 0, 0xFF, 0, 0x31, "Courier New"});
    colorizer.ColorRange(0, 5, text);
    EXPECT_EQ(text.colours(), "KKK..");
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(text.style(i).effects, 0u);
        EXPECT_EQ(text.style(i).height, 200);
    }
    // A range in the middle colours from its own start.
    Recorder middle(u"x = 'a' + b");
    colorizer.ColorRange(4, 7, middle);
    EXPECT_EQ(middle.colours(), "....SSS....");
}

}  // namespace
