// Assignment to a call: the text the pass gives Duktape, and what scripts
// see (errors and their lines). The component side, a dictionary's Item and
// Key put through the reference, is tested from scripts in
// scripting/tests/scripts/dictionary.js.
#include "engines/jscript/call_assignment.h"
#include "engines/jscript/tests/script_values.h"
#include "engines/jscript/tests/test_site.h"
#include "runtime/testing/dispatch_calls.h"
#include "runtime/text.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using qtest::EngineUnderTest;
using qtest::text;

struct RewriteCase {
    const char16_t* source;
    const char16_t* expected;  // null: unchanged
};

std::string utf8(std::u16string_view s) { return qrt::encodeUtf8(s); }

TEST(CallAssignmentPass, RewritesTheCallOnTheLeftOfAnAssignmentOrIncrement) {
    const RewriteCase cases[] = {
        {u"d.Item(\"a\") = 5;", u"__qRef(d, \"Item\", [\"a\"]).v = 5;"},
        {u"d.Item(k) += 1", u"__qRef(d, \"Item\", [k]).v += 1"},
        {u"d.Item(k) >>>= 1", u"__qRef(d, \"Item\", [k]).v >>>= 1"},
        {u"d.Item(k)++", u"__qRef(d, \"Item\", [k]).v++"},
        {u"--d.Item(k)", u"--__qRef(d, \"Item\", [k]).v"},
        {u"x = 1\n++d.Item(k)", u"x = 1\n++__qRef(d, \"Item\", [k]).v"},
        {u"d[\"Item\"](k, j) = 1", u"__qRef(d, (\"Item\"), [k, j]).v = 1"},
        {u"f(1) = 2", u"__qRef(f, null, [1]).v = 2"},
        {u"a.b(1).c[2].e(3, 4) = 5", u"__qRef(a.b(1).c[2], \"e\", [3, 4]).v = 5"},
        {u"d.Item() = 5", u"__qRef(d, \"Item\", []).v = 5"},
        {u"o.delete(1) = 2", u"__qRef(o, \"delete\", [1]).v = 2"},
        {u"if (a) (b).c(1) = 2", u"if (a) __qRef((b), \"c\", [1]).v = 2"},
        {u"for (;;) d.Item(i) = i", u"for (;;) __qRef(d, \"Item\", [i]).v = i"},
        {u"x = c ? d.Item(1) = 2 : 3", u"x = c ? __qRef(d, \"Item\", [1]).v = 2 : 3"},
        {u"d.Item(e.Item(1) = 2) = 3", u"__qRef(d, \"Item\", [__qRef(e, \"Item\", [1]).v = 2]).v = 3"},
        {u"d.Item(x) = d.Item(x) + 1", u"__qRef(d, \"Item\", [x]).v = d.Item(x) + 1"},
        // A bad line before does not stop the pass.
        {u"x = [1, (2]; (d).Item(1) = 2", u"x = [1, (2]; __qRef((d), \"Item\", [1]).v = 2"},
        // What is no assignment to a call stays as it is.
        {u"d.Item(1) == 2; d.Item(1) === 2; x = d.Item(1); (a) = 1", nullptr},
        {u"function f(a) { return (a); }", nullptr},
        {u"new X(1).y(2) = 3", nullptr},
        {u"f(x)\n++y", nullptr},
        {u"x = 1; ++a", nullptr},  // an increment at the very end of the text
        {u"s = \"d.Item(1) = 2\"; t = 'f(1) = 2' // d.Item(1) = 2\n/* f(1) = 2 */", nullptr},
        {u"r = /f(1)=2/; if (c) /g(1)=2/.test(s); r = x / f(1) / 2", nullptr},
        {u"t = `${d.Item(1) = 2} and f(1) = 2`", nullptr},
        {u"function h() { return /f(1)=2/g; }", nullptr},
    };
    for (const RewriteCase& c : cases) {
        SCOPED_TRACE(utf8(c.source));
        EXPECT_EQ(utf8(jscript::rewriteCallAssignments(c.source)), utf8(c.expected ? c.expected : c.source));
    }
}

TEST(CallAssignmentPass, KeepsEveryTokenOnItsLine) {
    const std::u16string source = u"d\n  .Item(\r\n  1,\n  2) =\n 3; d[\n'k'\n](4)\n= 5\n";
    const std::u16string out = jscript::rewriteCallAssignments(source);
    EXPECT_EQ(utf8(out), utf8(u"__qRef(d, \"Item\", [\n\r\n  1,\n  2]).v =\n 3; __qRef(d, (\n'k'\n), [4]).v\n= 5\n"));
    EXPECT_EQ(std::count(out.begin(), out.end(), u'\n'), std::count(source.begin(), source.end(), u'\n'));
}

TEST(CallAssignmentPass, AnyTextKeepsItsLineBreaks) {
    // Random text of script characters, malformed as it comes: the pass
    // reads nothing out of bounds (under AddressSanitizer) and every line
    // break comes out, in order.
    const std::u16string alphabet = u"ab.()[]{}=+-/*'\"`$\\\n\r ;,?:!<>|&%0123456789eEx_if new function ++--";
    std::uint32_t seed = 7;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    int rewritten = 0;
    for (int n = 0; n < 20000; ++n) {
        std::u16string s;
        for (std::uint32_t i = 0, length = next() % 80; i < length; ++i) s += alphabet[next() % alphabet.size()];
        const std::u16string out = jscript::rewriteCallAssignments(s);
        auto breaks = [](const std::u16string& text) {
            std::u16string b;
            for (char16_t c : text) {
                if (c == u'\n' || c == u'\r') b += c;
            }
            return b;
        };
        ASSERT_EQ(breaks(out), breaks(s)) << utf8(s);
        rewritten += out != s;
    }
    EXPECT_GT(rewritten, 0);
}

TEST(CallAssignment, AnythingButAComponentCannotTakeTheAssignment) {
    qtest::registerLibrary("JScript");
    EngineUnderTest js(u"JScript");
    ASSERT_EQ(js.run(u"function g() { return 1; }\n"
                     u"var o = {m: g};\n"
                     u"function failure(f) {\n"
                     u"  try { f(); } catch (e) { return (e.number & 0xFFFF) + ':' + e.description; }\n"
                     u"  return 'no error';\n"
                     u"}\n"
                     u"var outcomes = [failure(function () { g(1) = 2; }), failure(function () { o.m(1) += 2; }),\n"
                     u"                failure(function () { o['m']() = 2; }), failure(function () { o.m()++; })];\n"),
              S_OK);
    EXPECT_EQ(text(js.eval(u"outcomes.join('|')")),
              "5003:Cannot assign to a function result|5003:Cannot assign to a function result|"
              "5003:Cannot assign to a function result|5003:Cannot assign to a function result");
}

TEST(CallAssignment, ErrorsKeepTheirLines) {
    qtest::registerLibrary("JScript");
    {
        // A rewritten assignment spread over lines, then an error further on.
        EngineUnderTest js(u"JScript");
        EXPECT_EQ(js.run(u"var o = {};\n"
                         u"try { o.m(\n"
                         u"  1,\n"
                         u"  2) = 3; } catch (e) {}\n"
                         u"var x = 1;\n"
                         u"missingFunction();\n"),
                  SCRIPT_E_REPORTED);
        ASSERT_EQ(js.site->errors.size(), 1u);
        EXPECT_EQ(js.site->errors[0].line, 6u);
        EXPECT_EQ(js.site->errors[0].lineText, "missingFunction();");
    }
    {
        // The assignment's own error, on its line, with the script's text.
        EngineUnderTest js(u"JScript");
        EXPECT_EQ(js.run(u"function g() {}\n"
                         u"\n"
                         u"g(1) = 2;\n"),
                  SCRIPT_E_REPORTED);
        ASSERT_EQ(js.site->errors.size(), 1u);
        EXPECT_EQ(js.site->errors[0].line, 3u);
        EXPECT_EQ(js.site->errors[0].lineText, "g(1) = 2;");
        EXPECT_EQ(js.site->errors[0].description, "Cannot assign to a function result");
    }
}

}  // namespace
