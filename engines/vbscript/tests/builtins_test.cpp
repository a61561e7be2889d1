// The library functions' errors (each expression's error number), and
// MsgBox and InputBox through a host that shows dialogs.
#include "engines/vbscript/tests/test_host.h"

#include "runtime/activation.h"
#include "runtime/bstr.h"
#include "runtime/text.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

namespace vbs_test {
namespace {

struct ErrorCase {
    const char* expression;
    int number;
};

// Grouped by the error: 94 Invalid use of Null, 5 Invalid procedure call
// or argument, 6 Overflow, 13 Type mismatch, and the host functions'.
const ErrorCase kErrors[] = {
    // Functions that take no Null.
    {"Chr(Null)", 94}, {"ChrW(Null)", 94}, {"Asc(Null)", 94}, {"Space(Null)", 94}, {"String(Null, \"a\")", 94},
    {"StrReverse(Null)", 94}, {"Replace(Null, \"a\", \"b\")", 94}, {"Replace(\"a\", Null, \"b\")", 94},
    {"Split(Null)", 94}, {"Left(\"a\", Null)", 94}, {"Mid(\"abc\", Null)", 94}, {"InStr(Null, \"abc\", \"a\")", 94},
    {"StrComp(\"a\", \"b\", Null)", 94}, {"CInt(Null)", 94}, {"CStr(Null)", 94}, {"CDate(Null)", 94},
    {"CCur(Null)", 94}, {"DateSerial(Null, 1, 1)", 94}, {"TimeSerial(1, Null, 1)", 94}, {"MonthName(Null)", 94},
    {"WeekdayName(Null)", 94}, {"DateValue(Null)", 94}, {"TimeValue(Null)", 94}, {"FormatNumber(Null)", 94},
    {"FormatCurrency(Null)", 94}, {"FormatPercent(Null)", 94}, {"FormatNumber(1, Null)", 94},
    {"FormatDateTime(Null)", 94}, {"DateAdd(\"d\", Null, Now)", 94}, {"DateAdd(Null, 1, Now)", 94},
    {"DatePart(Null, Now)", 94}, {"Weekday(Now, Null)", 94}, {"Filter(Null, \"a\")", 94},
    {"Filter(Array(\"a\"), Null)", 94}, {"Sgn(Null)", 94}, {"Sqr(Null)", 94}, {"Log(Null)", 94}, {"Rnd(Null)", 94},
    {"SetLocale(Null)", 94}, {"AscB(Null)", 94}, {"MsgBox(Null)", 94},
    // Positions, counts and choices out of range.
    {"Mid(\"abc\", 0)", 5}, {"Mid(\"abc\", 1, -1)", 5}, {"Left(\"abc\", -1)", 5}, {"Right(\"abc\", -1)", 5},
    {"InStr(0, \"abc\", \"a\")", 5}, {"InStrRev(\"abc\", \"a\", 0)", 5}, {"InStrRev(\"abc\", \"a\", -2)", 5},
    {"Replace(\"abc\", \"a\", \"b\", 0)", 5}, {"Replace(\"abc\", \"a\", \"b\", 1, -2)", 5}, {"Space(-1)", 5},
    {"String(-1, \"a\")", 5}, {"String(2, \"\")", 5}, {"Asc(\"\")", 5}, {"AscW(\"\")", 5}, {"AscB(\"\")", 5},
    {"Chr(256)", 5}, {"Chr(-1)", 5}, {"ChrW(65536)", 5}, {"Split(\"a\", \",\", -2)", 5},
    {"StrComp(\"a\", \"b\", 2)", 5}, {"InStr(1, \"a\", \"b\", 3)", 5}, {"Filter(Array(\"a\"), \"a\", True, -1)", 5},
    {"Log(0)", 5}, {"Sqr(-1)", 5}, {"Round(1.5, -1)", 5}, {"RGB(-1, 0, 0)", 5},
    {"MonthName(0)", 5}, {"MonthName(13)", 5}, {"WeekdayName(0)", 5}, {"WeekdayName(8)", 5},
    {"WeekdayName(1, False, 8)", 5}, {"Weekday(Now, 8)", 5}, {"Weekday(Now, -1)", 5},
    {"DatePart(\"ww\", Now, 1, 4)", 5}, {"DateAdd(\"x\", 1, Now)", 5}, {"DateDiff(\"dd\", Now, Now)", 5},
    {"DatePart(\"\", Now)", 5}, {"FormatDateTime(Now, 5)", 5}, {"FormatNumber(1, -2)", 5},
    {"FormatNumber(1, 256)", 5}, {"SetLocale(12345)", 5}, {"SetLocale(\"xx-yy\")", 5},
    // Dates past either end of the range.
    {"DateAdd(\"d\", 1, #12/31/9999#)", 5}, {"DateAdd(\"yyyy\", -1, #1/1/100#)", 5},
    {"DateAdd(\"s\", -1, #1/1/100#)", 5}, {"DateAdd(\"m\", 1E+15, Now)", 5}, {"DateSerial(10000, 1, 1)", 5},
    {"DateSerial(100, 1, 0)", 5}, {"DateSerial(-1, 1, 1)", 5},
    {"Year(3000000)", 5}, {"Day(-700000)", 5}, {"FormatDateTime(1E+10)", 5},
    // Overflow.
    {"CInt(32768)", 6}, {"CLng(2147483648)", 6}, {"CByte(256)", 6}, {"CByte(-1)", 6}, {"CCur(1E+15)", 6}, {"CCur(-922337203685478)", 6}, {"CCur(\"$\")", 13},
    {"CSng(1E+39)", 6}, {"CDate(3000000)", 6}, {"CDate(-700000)", 6}, {"DateSerial(2024, 1, 32768)", 6},
    {"DateDiff(\"s\", #1/1/100#, #12/31/9999#)", 6}, {"Exp(1000)", 6}, {"Hex(1E+10)", 6}, {"Chr(1E+10)", 6},
    {"Space(1E+10)", 6},
    // Type mismatch.
    {"CInt(\"abc\")", 13}, {"CDate(\"abc\")", 13}, {"CDate(\"2/30/2024\")", 13}, {"DateValue(\"abc\")", 13},
    {"Year(\"abc\")", 13}, {"DateAdd(\"d\", \"x\", Now)", 13}, {"Len(Array(1))", 13}, {"UBound(1)", 13},
    {"Join(1)", 13}, {"Filter(\"abc\", \"a\")", 13}, {"FormatNumber(\"abc\")", 13}, {"FormatNumber(Array(1))", 13},
    {"Sin(\"x\")", 13}, {"Abs(\"x\")", 13}, {"LCase(Array())", 13}, {"Weekday(\"x\")", 13},
    // The host functions: objects this system cannot make.
    {"GetObject(\"\", \"No.Such.Class\")", 429}, {"GetObject(\"/tmp/a.xls\")", 429},
    {"GetObject(, \"No.Such.Class\")", 429}, {"CreateObject(\"No.Such.Class\")", 429},
    {"LoadPicture(\"/no/such/picture.bmp\")", 53}, {"LoadPicture(\"" VBSCRIPT_TEST_SCRIPTS "/builtins_dates.vbs\")", 481},
};

TEST(LibraryErrors, EachExpressionRaisesItsError) {
    registerLibraries();
    Engine engine;
    ASSERT_EQ(engine.connect(), S_OK);
    for (const ErrorCase& c : kErrors) {
        engine.site->errors.clear();
        engine.eval(u16(c.expression));
        ASSERT_EQ(engine.site->errors.size(), 1u) << c.expression << " raised no error";
        const ReportedError& e = engine.site->errors.front();
        EXPECT_EQ(e.number(), c.number) << c.expression << ": " << e.description;
        EXPECT_EQ(e.source, "VBScript runtime error") << c.expression;
    }
}

TEST(LibraryErrors, NullErrorsNameTheFunction) {
    registerLibraries();
    Engine engine;
    ASSERT_EQ(engine.connect(), S_OK);
    engine.eval(u"FormatNumber(Null)");
    ASSERT_EQ(engine.site->errors.size(), 1u);
    EXPECT_EQ(engine.site->errors[0].description, "Invalid use of Null: 'FormatNumber'");
    engine.site->errors.clear();
    engine.eval(u"Replace(Null, \"a\", \"b\")");
    ASSERT_EQ(engine.site->errors.size(), 1u);
    EXPECT_EQ(engine.site->errors[0].description, "Invalid use of Null: 'Replace'");
}

// ---- dialogs ------------------------------------------------------------------

// A site with dialogs: records each call and answers from a script of replies.
class DialogSite final : public qrt::ComObject<IActiveScriptSite, IScriptDialogs> {
public:
    HRESULT GetLCID(LCID* lcid) override { *lcid = LOCALE_USER_DEFAULT; return S_OK; }
    HRESULT GetItemInfo(LPCOLESTR, DWORD, IUnknown** item, ITypeInfo** info) override {
        if (item) *item = nullptr;
        if (info) *info = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT GetDocVersionString(BSTR* version) override { *version = qrt::allocBstr("test"); return S_OK; }
    HRESULT OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT OnScriptError(IActiveScriptError* error) override {
        EXCEPINFO excep{};
        error->GetExceptionInfo(&excep);
        errors.push_back(static_cast<int>(excep.scode & 0xFFFF));
        qrt::clearExcepInfo(&excep);
        return S_OK;
    }
    HRESULT OnEnterScript() override { return S_OK; }
    HRESULT OnLeaveScript() override { return S_OK; }

    HRESULT MessageBox(LPCOLESTR text, LPCOLESTR title, LONG buttons, LONG* result) override {
        calls.push_back({u"MsgBox", text, title, std::to_string(buttons)});
        if (failWith) return failWith;
        *result = answers.empty() ? 1 : std::stoi(answers.front());
        if (!answers.empty()) answers.pop_front();
        return S_OK;
    }
    HRESULT InputBox(LPCOLESTR prompt, LPCOLESTR title, LPCOLESTR defaultText, BSTR* result) override {
        calls.push_back({u"InputBox", prompt, title, qrt::encodeUtf8(defaultText)});
        if (failWith) return failWith;
        const std::string answer = answers.empty() ? "" : answers.front();
        if (!answers.empty()) answers.pop_front();
        *result = answer == "<cancel>" ? nullptr : qrt::allocBstr(answer);
        return S_OK;
    }

    struct Call {
        std::u16string kind, text, title;
        std::string extra;  // MsgBox: the buttons; InputBox: the default text
    };
    std::vector<Call> calls;
    std::deque<std::string> answers;
    std::vector<int> errors;
    HRESULT failWith = S_OK;
};

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        registerLibraries();
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(u"VBScript", &clsid), S_OK);
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IActiveScript::IID, script.outVoid()), S_OK);
        site = qrt::create<DialogSite>();
        ASSERT_EQ(script->SetScriptSite(site.get()), S_OK);
        parser = script.as<IActiveScriptParse>();
        ASSERT_TRUE(parser);
        ASSERT_EQ(parser->InitNew(), S_OK);
        ASSERT_EQ(script->SetScriptState(SCRIPTSTATE_CONNECTED), S_OK);
    }
    void TearDown() override {
        if (script) script->Close();
    }
    // The expression's value as text ("Empty" for Empty).
    std::string eval(const char16_t* expression) {
        qrt::Variant result;
        EXCEPINFO excep{};
        parser->ParseScriptText(expression, nullptr, nullptr, nullptr, 0, 1, SCRIPTTEXT_ISEXPRESSION, &result, &excep);
        qrt::clearExcepInfo(&excep);
        if (result.vt == VT_EMPTY) return "Empty";
        qrt::Variant text;
        if (FAILED(VariantChangeType(&text, &result, VARIANT_ALPHABOOL, VT_BSTR))) return "?";
        return qrt::bstrToUtf8(text.bstrVal);
    }

    qrt::ComPtr<IActiveScript> script;
    qrt::ComPtr<IActiveScriptParse> parser;
    qrt::ComPtr<DialogSite> site;
};

TEST_F(DialogTest, MsgBoxShowsTheHostsDialogAndGivesTheButtonPressed) {
    site->answers = {"6", "2"};
    EXPECT_EQ(eval(u"MsgBox(\"Save?\", vbYesNo + vbQuestion, \"Saving\") = vbYes"), "True");
    EXPECT_EQ(eval(u"MsgBox(\"Go on?\", vbOKCancel) = vbCancel"), "True");
    EXPECT_EQ(eval(u"TypeName(MsgBox(\"Plain\"))"), "Integer");
    ASSERT_EQ(site->calls.size(), 3u);
    EXPECT_EQ(site->calls[0].text, u"Save?");
    EXPECT_EQ(site->calls[0].title, u"Saving");
    EXPECT_EQ(site->calls[0].extra, "36");
    EXPECT_EQ(site->calls[1].title, u"VBScript") << "the default title";
    EXPECT_EQ(site->calls[2].extra, "0") << "vbOKOnly by default";
    EXPECT_TRUE(site->errors.empty());
}

TEST_F(DialogTest, InputBoxGivesTheTextEnteredOrEmptyWhenCancelled) {
    site->answers = {"Ada", "<cancel>", ""};
    EXPECT_EQ(eval(u"InputBox(\"Name?\", \"Who\", \"nobody\")"), "Ada");
    EXPECT_EQ(eval(u"IsEmpty(InputBox(\"Name?\"))"), "True") << "cancelled";
    EXPECT_EQ(eval(u"IsEmpty(InputBox(\"Name?\"))"), "False") << "an empty answer is a string";
    ASSERT_EQ(site->calls.size(), 3u);
    EXPECT_EQ(site->calls[0].kind, u"InputBox");
    EXPECT_EQ(site->calls[0].text, u"Name?");
    EXPECT_EQ(site->calls[0].title, u"Who");
    EXPECT_EQ(site->calls[0].extra, "nobody");
    EXPECT_EQ(site->calls[1].extra, "") << "no default text";
    EXPECT_TRUE(site->errors.empty());
}

TEST_F(DialogTest, AFailingDialogIsAScriptError) {
    site->failWith = E_INVALIDARG;
    eval(u"MsgBox(\"x\")");
    eval(u"InputBox(\"x\")");
    EXPECT_EQ(site->errors, (std::vector<int>{5, 5}));
}

TEST(DialogFallback, WithoutDialogsMsgBoxWritesToStandardOutput) {
    registerLibraries();
    Engine engine;
    ASSERT_EQ(engine.connect(), S_OK);
    ::testing::internal::CaptureStdout();
    qrt::Variant answer = engine.eval(u"MsgBox(\"Hello \" & ChrW(233))");
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Hello \xC3\xA9\n");
    EXPECT_EQ(answer.vt, VT_I2);
    EXPECT_EQ(answer.iVal, 1);
    qrt::Variant text = engine.eval(u"InputBox(\"Name?\", , \"default\")");
    ASSERT_EQ(text.vt, VT_BSTR);
    EXPECT_EQ(qrt::bstrView(text.bstrVal), u"default");
    EXPECT_TRUE(engine.site->errors.empty());
}

}  // namespace
}  // namespace vbs_test
