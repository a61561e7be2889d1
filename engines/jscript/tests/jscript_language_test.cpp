// What this language adds over ECMAScript, as scripts see it: conditional
// compilation, the ScriptEngine functions, error numbers and descriptions,
// and the text forms of dates.
#include "engines/jscript/tests/script_values.h"
#include "engines/jscript/tests/test_site.h"
#include "runtime/testing/dispatch_calls.h"
#include "runtime/text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>

namespace {

using qtest::EngineUnderTest;

using qtest::text;

// The number of an error of this language: facility 0x800A, signed as scripts read it.
std::string number(unsigned code) { return std::to_string(static_cast<std::int32_t>(0x800A0000u | code)); }

class JScriptLanguage : public ::testing::Test {
protected:
    void SetUp() override { qtest::registerLibrary("JScript"); }
};

// --- Conditional compilation -------------------------------------------------

TEST_F(JScriptLanguage, ConditionalCompilationChoosesTextAndGivesValues) {
    EngineUnderTest js(u"JScript");
    ASSERT_EQ(js.run(u"/*@cc_on @*/\n"
                     u"var version = @_jscript_version, build = @_jscript_build, on = @_jscript;\n"
                     u"var branch = 'none';\n"
                     u"/*@if (@_jscript_version >= 6)\n"
                     u"  branch = 'six';\n"
                     u"@elif (@_jscript_version >= 5.5)\n"
                     u"  branch = 'five';\n"
                     u"  @if (@_mac) branch += '-mac'; @else branch += '-not-mac'; @end\n"
                     u"@else @*/\n"
                     u"  branch = 'old';\n"
                     u"/*@end @*/\n"
                     u"@set @scale = (1 + 2) * 3 - 10 % 4\n"
                     u"@set @flag = @scale > 5 && !@_mac\n"
                     u"@set @bits = 0x0F & ~1 | 1 << 4\n"
                     u"var scale = @scale, flag = @flag, bits = @bits, unknown = @nothingSuch;\n"
                     u"var negative = 1 - @minus; @set @minus = -2\n"
                     u"var negative2 = 1-@minus;\n"
                     u"var inString = '@if (@_mac) @end';\n"
                     u"var re = /a@b/.test('a@b');\n"),
              S_OK)
        << (js.site->errors.empty() ? "" : js.site->errors[0].description);
    EXPECT_EQ(text(js.eval(u"version")), "5.8");
    EXPECT_EQ(text(js.eval(u"String(build === ScriptEngineBuildVersion() && on === true)")), "true");
    EXPECT_EQ(text(js.eval(u"branch")), "five-not-mac");
    EXPECT_EQ(text(js.eval(u"scale")), "7");
    EXPECT_EQ(text(js.eval(u"String(flag)")), "true");
    EXPECT_EQ(text(js.eval(u"bits")), "30");
    EXPECT_EQ(text(js.eval(u"String(isNaN(unknown) && isNaN(negative))")), "true");  // @minus was not set yet
    EXPECT_EQ(text(js.eval(u"negative2")), "3");
    EXPECT_EQ(text(js.eval(u"inString")), "@if (@_mac) @end");
    EXPECT_EQ(text(js.eval(u"String(re)")), "true");
    // Conditional compilation stays on for later text, with its variables.
    EXPECT_EQ(text(js.eval(u"@scale * 2")), "14");
}

TEST_F(JScriptLanguage, PlatformVariablesAndScriptEngineFunctions) {
    EngineUnderTest js(u"JScript");
    ASSERT_EQ(js.run(u"/*@cc_on @*/ var p = [@_win32, @_win64, @_x86, @_amd64, @_mac, @_win16, @_alpha].join();\n"
                     u"var e = [ScriptEngine(), ScriptEngineMajorVersion(), ScriptEngineMinorVersion(),\n"
                     u"         ScriptEngineBuildVersion() > 0].join();\n"),
              S_OK);
    const bool wide = sizeof(void*) == 8;
#if defined(__x86_64__)
    const char* processor = "false,true";
#elif defined(__i386__)
    const char* processor = "true,false";
#else
    const char* processor = "false,false";
#endif
    EXPECT_EQ(text(js.eval(u"p")), std::string("true,") + (wide ? "true," : "false,") + processor + ",false,false,false");
    EXPECT_EQ(text(js.eval(u"e")), "JScript,5,8,true");
}

TEST_F(JScriptLanguage, WithoutCcOnConditionalCommentsStayComments) {
    EngineUnderTest js(u"JScript");
    ASSERT_EQ(js.run(u"var x = 1;\n/*@ x = 2; @*/\n/*@if (true) x = 3; @end @*/\n//@ x = 4;\n"), S_OK);
    EXPECT_EQ(text(js.eval(u"x")), "1");
    // Switched on by an @if in code, the same comments become code.
    ASSERT_EQ(js.run(u"@if (true) x = 5; @end\n/*@ x += 10; @*/\n//@ x += 100;\n"), S_OK);
    EXPECT_EQ(text(js.eval(u"x")), "115");
}

TEST_F(JScriptLanguage, LeftOutTextKeepsTheLinesOfErrors) {
    EngineUnderTest js(u"JScript");
    EXPECT_EQ(js.run(u"/*@cc_on\n"
                     u"@if (@_mac)\n"
                     u"  neverRuns(\n"
                     u"  'unbalanced';\n"
                     u"@end\n"
                     u"@*/\n"
                     u"var ok = 1;\n"
                     u"missingFunction();\n"),
              SCRIPT_E_REPORTED);
    ASSERT_EQ(js.site->errors.size(), 1u);
    EXPECT_EQ(js.site->errors[0].line, 8u);
    EXPECT_EQ(js.site->errors[0].lineText, "missingFunction();");
    EXPECT_EQ(js.site->errors[0].description, "'missingFunction' is undefined");
}

struct DirectiveError {
    const char16_t* script;
    unsigned code;
    const char* description;
    ULONG line;
};

TEST_F(JScriptLanguage, MalformedDirectivesAreCompilationErrors) {
    const DirectiveError cases[] = {
        {u"/*@cc_on @*/\nvar a = 1;\n/*@if (true) a = 2; @*/\n", 1029, "Expected '@end'", 4},
        {u"/*@cc_on\n@set x = 1 @*/", 1032, "Expected '@'", 2},
        {u"/*@cc_on\n\n@set @x 1 @*/", 1011, "Expected '='", 3},
        {u"/*@cc_on @if @_win32 a = 1; @end @*/", 1005, "Expected '('", 1},
        {u"/*@cc_on @if (@_win32 a = 1; @end @*/", 1006, "Expected ')'", 1},
        {u"/*@cc_on @set @x = 'text' @*/", 1031, "Expected constant", 1},
        {u"var a;\n@end\n", 1030, "Conditional compilation is turned off", 2},
        {u"/*@cc_on @*/\n@else\n", 1002, "Syntax error", 2},
    };
    for (const DirectiveError& c : cases) {
        SCOPED_TRACE(qrt::encodeUtf8(c.script));
        EngineUnderTest js(u"JScript");
        EXPECT_EQ(js.run(c.script), SCRIPT_E_REPORTED);
        ASSERT_EQ(js.site->errors.size(), 1u);
        const auto& e = js.site->errors[0];
        EXPECT_EQ(e.source, "JScript compilation error");
        EXPECT_EQ(std::to_string(e.scode), number(c.code));
        EXPECT_EQ(e.description, c.description);
        EXPECT_EQ(e.line, c.line);
    }
}

// --- Error objects ---------------------------------------------------------------

struct ErrorNumberCase {
    const char16_t* statement;
    unsigned code;  // 0: a script's own error
    const char* description;
};

TEST_F(JScriptLanguage, EngineErrorsCarryNumbersAndDescriptions) {
    const ErrorNumberCase cases[] = {
        {u"undefinedName + 1", 5009, "'undefinedName' is undefined"},
        {u"var o = null; o.x", 5007, "Object expected"},
        {u"var o; o.x = 1", 5007, "Object expected"},
        {u"var o = {}; o.missing()", 438, "Object doesn't support this property or method"},
        {u"var o = {a: 1}; o.a()", 438, "Object doesn't support this property or method"},
        {u"var n = 5; n()", 5002, "Function expected"},
        {u"new Math.sin()", 445, "Object doesn't support this action"},
        {u"new Array(-1)", 5029, "Array length must be a finite positive integer"},
        {u"(1).toFixed(200)", 5026, "The number of fractional digits is out of range"},
        {u"(1).toPrecision(200)", 5027, "The precision is out of range"},
        {u"(1).toString(99)", 5, "Invalid procedure call or argument"},
        {u"function r() { r(); } r()", 28, "Out of stack space"},
        {u"decodeURIComponent('%')", 5025, "The URI to be decoded is not a valid encoding"},
        {u"encodeURIComponent('\\uD800')", 5024, "The URI to be encoded contains an invalid character"},
        {u"new RegExp('a**')", 5018, "Unexpected quantifier"},
        {u"new RegExp('[a')", 5019, "Expected ']' in regular expression"},
        {u"new RegExp('(a')", 5020, "Expected ')' in regular expression"},
        {u"eval('var = ;')", 1002, "Syntax error"},
        {u"eval(\"'abc\")", 1015, "Unterminated string constant"},
        {u"Date.prototype.getTime.call(5)", 5006, "Date object expected"},
        {u"var c = {}; c.c = c; JSON.stringify(c)", 5034, "Circular reference in value argument not supported"},
        {u"new VBArray(5)", 5013, "VBArray expected"},
        {u"Enumerator.prototype.item.call({})", 5015, "Enumerator object expected"},
        {u"throw new Error('mine')", 0, "mine"},
        {u"throw new TypeError('cannot read property of mine')", 0, "cannot read property of mine"},
    };
    EngineUnderTest js(u"JScript");
    for (const ErrorNumberCase& c : cases) {
        SCOPED_TRACE(qrt::encodeUtf8(c.statement));
        const std::u16string script = u"var outcome = 'no error'; try { " + std::u16string(c.statement) +
                                      u"; } catch (e) { outcome = [e.number, e.description, e.description === e.message].join('|'); }";
        ASSERT_EQ(js.run(script), S_OK);
        const std::string expected = (c.code ? number(c.code) : "0") + "|" + c.description + "|true";
        EXPECT_EQ(text(js.eval(u"outcome")), expected);
    }
}

TEST_F(JScriptLanguage, ErrorTakesANumberAndADescription) {
    struct Case {
        const char16_t* expression;
        const char* expected;  // number|description|message|instanceof Error
    };
    const Case cases[] = {
        {u"new Error(-2146828275, 'Type mismatch')", "-2146828275|Type mismatch|Type mismatch|true"},
        {u"new Error(42)", "42|||true"},
        {u"new Error('just a message')", "0|just a message|just a message|true"},
        {u"new Error()", "0|||true"},
        {u"Error(7, 'called without new')", "7|called without new|called without new|true"},
        {u"new Error('12', 5)", "12|5|5|true"},
        {u"new Error(1, undefined)", "1|||true"},
    };
    EngineUnderTest js(u"JScript");
    for (const Case& c : cases) {
        SCOPED_TRACE(qrt::encodeUtf8(c.expression));
        const std::u16string script = u"var e = " + std::u16string(c.expression) +
                                      u"; var outcome = [e.number, e.description, e.message, e instanceof Error].join('|');";
        ASSERT_EQ(js.run(script), S_OK);
        EXPECT_EQ(text(js.eval(u"outcome")), c.expected);
    }
    ASSERT_EQ(js.run(u"var e = new Error(3, 'x'); var checks = [e.name, String(e), Error.prototype.constructor === Error,"
                     u" new TypeError('t') instanceof Error, Object.prototype.toString.call(e)].join('|');"),
              S_OK);
    EXPECT_EQ(text(js.eval(u"checks")), "Error|Error: x|true|true|[object Error]");
}

TEST_F(JScriptLanguage, UncaughtErrorsReachTheSiteWithTheirNumbers) {
    struct Case {
        const char16_t* script;
        unsigned code;
        const char* source;
        const char* description;
        ULONG line;
    };
    const Case cases[] = {
        {u"var a = 1;\nnoSuchThing();\n", 5009, "JScript runtime error", "'noSuchThing' is undefined", 2},
        {u"var a = 1;\n\nvar s = 'abc\n", 1015, "JScript compilation error", "Unterminated string constant", 3},
        {u"var a = 1;\nvar b = ;\n", 1002, "JScript compilation error", "Syntax error", 2},
        {u"\nthrow new Error('plain');\n", 5022, "JScript runtime error", "plain", 2},
        {u"\n\nthrow new Error(-2146828283, 'numbered');\n", 5, "JScript runtime error", "numbered", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qrt::encodeUtf8(c.script));
        EngineUnderTest js(u"JScript");
        EXPECT_EQ(js.run(c.script), SCRIPT_E_REPORTED);
        ASSERT_EQ(js.site->errors.size(), 1u);
        const auto& e = js.site->errors[0];
        EXPECT_EQ(std::to_string(e.scode), number(c.code));
        EXPECT_EQ(e.source, c.source);
        EXPECT_EQ(e.description, c.description);
        EXPECT_EQ(e.line, c.line);
    }
}

// --- Dates -------------------------------------------------------------------------

using qtest::ZoneScope;

TEST_F(JScriptLanguage, DatesUseThisLanguagesTextForms) {
    {
        ZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");
        EngineUnderTest js(u"JScript");
        ASSERT_EQ(js.run(u"var d = new Date(2024, 0, 5), summer = new Date(2024, 6, 14, 9, 5, 7);"), S_OK);
        EXPECT_EQ(text(js.eval(u"String(d)")), "Fri Jan 5 00:00:00 UTC+0100 2024");
        EXPECT_EQ(text(js.eval(u"'' + d")), "Fri Jan 5 00:00:00 UTC+0100 2024");
        EXPECT_EQ(text(js.eval(u"d.toUTCString()")), "Thu Jan 4 23:00:00 UTC 2024");
        EXPECT_EQ(text(js.eval(u"d.toGMTString()")), "Thu Jan 4 23:00:00 UTC 2024");
        EXPECT_EQ(text(js.eval(u"summer.toString()")), "Sun Jul 14 09:05:07 UTC+0200 2024");
        EXPECT_EQ(text(js.eval(u"summer.toDateString() + '|' + summer.toTimeString()")),
                  "Sun Jul 14 2024|09:05:07 UTC+0200");
        EXPECT_EQ(text(js.eval(u"String(new Date(NaN))")), "NaN");
    }
    {
        ZoneScope zone("UTC0");
        EngineUnderTest js(u"JScript");
        EXPECT_EQ(text(js.eval(u"String(new Date(2024, 0, 5))")), "Fri Jan 5 00:00:00 UTC 2024");
        EXPECT_EQ(text(js.eval(u"new Date(2024, 0, 5).toUTCString()")), "Fri Jan 5 00:00:00 UTC 2024");
    }
    {
        ZoneScope zone("PST8PDT,M3.2.0,M11.1.0");
        EngineUnderTest js(u"JScript");
        EXPECT_EQ(text(js.eval(u"String(new Date(2024, 11, 25, 18, 30))")), "Wed Dec 25 18:30:00 PST 2024");
        EXPECT_EQ(text(js.eval(u"String(new Date(2024, 5, 1))")), "Sat Jun 1 00:00:00 PDT 2024");
    }
    {
        ZoneScope zone("<+0530>-5:30");
        EngineUnderTest js(u"JScript");
        EXPECT_EQ(text(js.eval(u"String(new Date(2024, 0, 5))")), "Fri Jan 5 00:00:00 UTC+0530 2024");
    }
}

TEST_F(JScriptLanguage, DateTextsReadBackAndCommonFormsParse) {
    for (const char* tz : {"CET-1CEST,M3.5.0,M10.5.0/3", "PST8PDT,M3.2.0,M11.1.0", "UTC0", "<+0530>-5:30"}) {
        SCOPED_TRACE(tz);
        ZoneScope zone(tz);
        EngineUnderTest js(u"JScript");
        ASSERT_EQ(js.run(u"var d = new Date(2024, 0, 5, 13, 4, 5), s = new Date(2024, 6, 14, 9, 5, 7);"), S_OK);
        // What the dates print reads back as the same moment.
        EXPECT_EQ(text(js.eval(u"String(Date.parse(String(d)) === d.getTime() && Date.parse(String(s)) === s.getTime())")), "true");
        EXPECT_EQ(text(js.eval(u"String(Date.parse(d.toUTCString()) === d.getTime())")), "true");
        EXPECT_EQ(text(js.eval(u"String(new Date(String(s)).getTime() === s.getTime())")), "true");
        EXPECT_EQ(text(js.eval(u"String(Date.parse(d.toDateString()) === new Date(2024, 0, 5).getTime())")), "true");
        // Forms people write, read as local time unless a zone is given.
        EXPECT_EQ(text(js.eval(u"String(Date.parse('1/5/2024 1:04:05 PM') === d.getTime())")), "true");
        EXPECT_EQ(text(js.eval(u"String(Date.parse('January 5, 2024 13:04:05') === d.getTime())")), "true");
        EXPECT_EQ(text(js.eval(u"String(Date.parse('5 Jan 2024 13:04:05') === d.getTime())")), "true");
        EXPECT_EQ(text(js.eval(u"String(Date.parse('Fri Jan 5 00:00:00 UTC+0100 2024') === Date.UTC(2024, 0, 4, 23))")), "true");
        EXPECT_EQ(text(js.eval(u"String(Date.parse('Jan 5 2024 00:00 EST') === Date.UTC(2024, 0, 5, 5))")), "true");
        EXPECT_EQ(text(js.eval(u"String(Date.parse('2024-01-05T00:00:00Z') === Date.UTC(2024, 0, 5))")), "true");
        EXPECT_EQ(text(js.eval(u"[Date.parse('not a date'), Date.parse('Jan 45 2024'), Date.parse('13:00')].join()")),
                  "NaN,NaN,NaN");
    }
}

}  // namespace
