// Script text written to break the engine: deep nesting, huge sizes, long
// chains of objects and arrays, stray characters. Each must end in a
// reported VBScript error (or run normally), never in a crash or a hang.
#include "engines/vbscript/errors.h"
#include "engines/vbscript/parser.h"
#include "engines/vbscript/tests/test_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iterator>
#include <string>
#include <thread>

namespace vbs_test {
namespace {

using namespace std::literals;

std::u16string repeat(std::u16string_view piece, int times) {
    std::u16string out;
    out.reserve(piece.size() * static_cast<std::size_t>(times));
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

std::string errorsOf(const Engine& engine) {
    std::string out;
    for (const ReportedError& e : engine.site->errors) {
        out += std::to_string(e.line) + ": " + std::to_string(e.number()) + " " + e.description + "\n";
    }
    return out;
}

// Runs code (its first line is line 1) expecting exactly one reported error.
void expectError(std::u16string_view code, int number, const char* description, const char* source, ULONG line) {
    SCOPED_TRACE(std::string(code.begin(), code.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(code.size(), 40))));
    registerLibraries();
    Engine engine;
    EXPECT_EQ(engine.run(code, 1), SCRIPT_E_REPORTED);
    ASSERT_EQ(engine.site->errors.size(), 1u);
    const ReportedError& e = engine.site->errors[0];
    EXPECT_EQ(e.number(), number) << e.description;
    EXPECT_EQ(e.description.rfind(description, 0), 0u) << e.description;
    EXPECT_EQ(e.source, source);
    EXPECT_EQ(e.line, line);
}

void expectCompileError(std::u16string_view code, int number, const char* description, ULONG line) {
    expectError(code, number, description, "VBScript compilation error", line);
}

void expectRuntimeError(std::u16string_view code, int number, const char* description, ULONG line) {
    expectError(code, number, description, "VBScript runtime error", line);
}

// ---- memory safety: sizes, nesting, chains -----------------------------------

TEST(HostileScripts, HugeArraysAreOutOfMemoryAndLeaveTheArrayAlone) {
    expectRuntimeError(u"Dim b\nReDim b(65535, 65535, 65535, 65535)", 7, "Out of memory", 2);
    expectRuntimeError(u"Dim a\nReDim a(2147483647)", 7, "Out of memory", 2);
    expectRuntimeError(u"Dim a\nReDim a(-1, 2147483647)", 7, "Out of memory", 2);
    expectRuntimeError(u"Dim a(2)\nx = 1\nDim b(65535, 65535, 65535)", 7, "Out of memory", 3);
    expectRuntimeError(u"Class C\n Public a(70000, 70000)\nEnd Class\nx = 1\nSet o = New C", 7, "Out of memory", 5);

    registerLibraries();
    Engine engine;
    ASSERT_EQ(engine.run(u"Dim a, n1, n2\nReDim a(2)\na(1) = \"kept\"\nOn Error Resume Next\n"
                         u"ReDim Preserve a(2147483647)\nn1 = Err.Number\nErr.Clear\n"
                         u"ReDim a(65535, 65535, 65535, 65535)\nn2 = Err.Number"),
              S_OK);
    EXPECT_EQ(engine.eval(u"n1").lVal, 7);
    EXPECT_EQ(engine.eval(u"n2").lVal, 7);
    EXPECT_EQ(engine.eval(u"UBound(a)").lVal, 2);
    EXPECT_EQ(std::u16string(engine.eval(u"a(1)").bstrVal), u"kept");
}

TEST(HostileScripts, DeepNestingIsOutOfStackSpaceAtItsLine) {
    const std::u16string parens = u"x = 1\nx = " + repeat(u"(", 10000) + u"1" + repeat(u")", 10000);
    expectCompileError(parens, 28, "Out of stack space", 2);

    const std::u16string calls = u"Function f(n)\n f = n\nEnd Function\n\nx = " + repeat(u"f(", 8000) + u"1" +
                                 repeat(u")", 8000);
    expectCompileError(calls, 28, "Out of stack space", 5);

    // Each If on its own line: the error names the first one too deep.
    const std::u16string ifs = repeat(u"If x Then\n", 30000) + repeat(u"End If\n", 30000);
    expectCompileError(ifs, 28, "Out of stack space", 256);

    expectCompileError(u"x = " + repeat(u"Not ", 5000) + u"x", 28, "Out of stack space", 1);
    expectCompileError(u"x = " + repeat(u"- ", 5000) + u"1", 28, "Out of stack space", 1);
    expectCompileError(u"x = 1: " + repeat(u"If x Then ", 5000) + u"x = 2", 28, "Out of stack space", 1);
    expectCompileError(u"x = 1\nx = o" + repeat(u".p", 100000), 28, "Out of stack space", 2);
    expectCompileError(u"x = 1\nx = f" + repeat(u"(1)", 100000), 28, "Out of stack space", 2);
    expectCompileError(u"x = 1\no" + repeat(u".p", 100000) + u" = 1", 28, "Out of stack space", 2);

    // Text run by Execute is held to the same bound, as a run-time error.
    expectRuntimeError(u"x = 1\nExecute \"x = \" & String(10000, \"(\") & \"1\" & String(10000, \")\")", 28,
                       "Out of stack space", 2);

    // Nesting within the bound still works.
    registerLibraries();
    Engine engine;
    ASSERT_EQ(engine.run(u"x = " + repeat(u"(", 100) + u"7" + repeat(u")", 100)), S_OK);
    EXPECT_EQ(engine.eval(u"x").iVal, 7);
}

TEST(HostileScripts, LongFlatExpressionsCompileAndRun) {
    registerLibraries();
    Engine engine;
    ASSERT_EQ(engine.run(u"x = 1" + repeat(u"+1", 199999)), S_OK);
    EXPECT_EQ(engine.eval(u"x").lVal, 200000);
    ASSERT_EQ(engine.run(u"s = \"a\"" + repeat(u" & \"\"", 299998) + u" & \"b\""), S_OK);
    EXPECT_EQ(std::u16string(engine.eval(u"s").bstrVal), u"ab");
    ASSERT_EQ(engine.run(u"Const c = 1" + repeat(u" * 1", 100000) + u"\ny = c"), S_OK);
    EXPECT_EQ(engine.eval(u"y").iVal, 1);
    ASSERT_EQ(engine.run(u"b = x = x" + repeat(u" And True", 100000)), S_OK);
    EXPECT_EQ(engine.eval(u"b").boolVal, VARIANT_TRUE);
}

TEST(HostileScripts, EndlessRecursionIsOutOfStackSpace) {
    // Script calls, object methods, calls through GetRef (which go through
    // IDispatch), and frames with many values on the operand stack.
    expectRuntimeError(u"Class C\n Function F(n)\n  F = Me.F(n + 1)\n End Function\nEnd Class\n"
                       u"Set o = New C\nx = o.F(1)",
                       28, "Out of stack space", 3);
    expectRuntimeError(u"Function F(n)\n Set r = GetRef(\"F\")\n F = r(n + 1)\nEnd Function\nx = F(1)", 28,
                       "Out of stack space", 3);
    std::u16string params;
    for (int i = 0; i < 200; ++i) params += u"p" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                                            std::u16string(1, static_cast<char16_t>(u'A' + i / 26)) + u", ";
    const std::u16string many = repeat(u"n, ", 200);
    expectRuntimeError(u"Function G(" + params + u"n)\n G = G(" + many + u"G(" + many + u"n))\n"
                       u"End Function\nx = G(" + repeat(u"1, ", 200) + u"1)",
                       28, "Out of stack space", 2);
}

TEST(HostileScripts, LongChainsAreReleasedWithoutRecursion) {
    registerLibraries();
    const long objectsBefore = qrt::liveObjectCount();
    {
        Engine engine;
        ASSERT_EQ(engine.run(u"Class Node\n Public NextNode\n Private Sub Class_Terminate()\n  released = released + 1\n"
                             u" End Sub\nEnd Class\nDim head, n, i, released\nreleased = 0\nSet head = Nothing\n"
                             u"For i = 1 To 100000\n Set n = New Node\n Set n.NextNode = head\n Set head = n\nNext\n"
                             u"Set n = Nothing\nSet head = Nothing"),
                  S_OK)
            << errorsOf(engine);
        EXPECT_EQ(engine.eval(u"released").lVal, 100000) << "each node terminates once";

        // Left for the end of the script (the engine's close) this time.
        ASSERT_EQ(engine.run(u"For i = 1 To 100000\n Set n = New Node\n Set n.NextNode = head\n Set head = n\nNext\n"
                             u"Set n = Nothing"),
                  S_OK);
        ASSERT_EQ(engine.run(u"a = Empty\nFor i = 1 To 200000\n a = Array(a)\nNext\na = Empty\n"
                             u"For i = 1 To 200000\n a = Array(a, i)\nNext"),
                  S_OK);
        engine.close();
        EXPECT_TRUE(engine.site->errors.empty());
    }
    EXPECT_EQ(qrt::liveObjectCount(), objectsBefore);
}

TEST(HostileScripts, DeeplyNestedArraysGoToHostsOnlyWithinABound) {
    registerLibraries();
    Engine engine;
    auto assertions = qrt::create<Assertions>();
    engine.site->publish(u"Assert", assertions->unknown());
    engine.script->AddNamedItem(u"Assert", SCRIPTITEM_ISVISIBLE);
    ASSERT_EQ(engine.run(u"a = 1\nFor i = 1 To 200\n a = Array(a)\nNext\nAssert.Equal 1, 1, a"), S_OK)
        << errorsOf(engine);
    EXPECT_EQ(engine.run(u"For i = 1 To 100000\n a = Array(a)\nNext\n\nAssert.Equal 1, 1, a"), SCRIPT_E_REPORTED);
    ASSERT_EQ(engine.site->errors.size(), 1u);
    EXPECT_EQ(engine.site->errors[0].number(), 28);
    EXPECT_EQ(engine.site->errors[0].line, 5u);
    engine.close();
    engine.site->clearItems();
}

// ---- limits -----------------------------------------------------------------------

TEST(HostileScripts, StringsPastTheLimitAreOutOfMemory) {
    // Too long to make at all: these fail before building anything large.
    expectRuntimeError(u"x = 1\ns = Replace(Space(65536), \" \", Space(32769))", 7, "Out of memory", 2);
    expectRuntimeError(u"Dim a(65535)\nt = Space(32768)\nFor i = 0 To 65535: a(i) = t: Next\ns = Join(a, \"\")", 7,
                       "Out of memory", 4);
    expectRuntimeError(u"Dim a(65535)\nFor i = 0 To 65535: a(i) = i: Next\ns = Join(a, Space(32768))", 7,
                       "Out of memory", 3);

    // One string of 2^30 code units: doubling it passes 2^31 - 1.
    registerLibraries();
    Engine engine;
    ASSERT_EQ(engine.run(u"Dim s, t, n1, n2, n3\ns = Space(2 ^ 30)\nOn Error Resume Next\n"
                         u"t = s & s\nn1 = Err.Number: Err.Clear\n"
                         u"s = s & s\nn2 = Err.Number: Err.Clear\n"
                         u"t = Join(Array(s, s), \"\")\nn3 = Err.Number: Err.Clear"),
              S_OK);
    EXPECT_EQ(engine.eval(u"n1").lVal, 7);
    EXPECT_EQ(engine.eval(u"n2").lVal, 7);
    EXPECT_EQ(engine.eval(u"n3").lVal, 7);
    EXPECT_EQ(engine.eval(u"Len(s)").lVal, 1 << 30) << "the failed append left the string as it was";
    EXPECT_EQ(engine.eval(u"IsEmpty(t)").boolVal, VARIANT_TRUE);
    ASSERT_EQ(engine.run(u"s = Empty"), S_OK);
}

// ---- text -----------------------------------------------------------------------

TEST(HostileScripts, NulIsAnInvalidCharacterAtItsLine) {
    for (std::u16string_view tail : {u"x = 1\n\0y = 2"sv, u"x = 1\ns = \"a\0b\""sv, u"x = 1\r\n' note \0\nx = 2"sv}) {
        try {
            vbs::parseProgram(tail);
            ADD_FAILURE() << "no error";
        } catch (const vbs::ScriptError& e) {
            EXPECT_EQ(e.scode, vbs::errorStatus(1032));
            EXPECT_EQ(e.line, 1u);
        }
    }
    // Text that reaches the engine through Execute.
    expectRuntimeError(u"x = 1\nExecute \"x = 2\" & Chr(0) & \"x = 3\"", 1032, "Invalid character", 2);
}

TEST(HostileScripts, LeadingByteOrderMarkIsIgnored) {
    registerLibraries();
    Engine engine;
    ASSERT_EQ(engine.run(u"\uFEFFx = 5: y = 6"), S_OK);
    EXPECT_EQ(engine.eval(u"x").iVal, 5);
}

// ---- interruption -------------------------------------------------------------

TEST(HostileScripts, InterruptStopsEveryKindOfLongRun) {
    registerLibraries();
    const char16_t* scripts[] = {
        u"Do: Loop",
        u"While 1: Wend",
        u"Do While True\nLoop",
        u"For i = 1 To 2 Step 0: Next",
        u"Sub S(): S2: End Sub\nSub S2(): Do: S3: Loop: End Sub\nSub S3(): End Sub\nS",
        u"s = Space(2 ^ 24)\nDo: t = Replace(s, \" \", \"ab\"): Loop",
        u"Do: x = String(2 ^ 26, \"x\"): Loop",
    };
    for (std::size_t i = 0; i < std::size(scripts); ++i) {
        const char16_t* code = scripts[i];
        Engine engine;
        ASSERT_EQ(engine.parse(code), S_OK);
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            engine.script->InterruptScriptThread(SCRIPTTHREADID_ALL, nullptr, 0);
        });
        EXPECT_EQ(engine.connect(), SCRIPT_E_REPORTED) << "script " << i;
        stopper.join();
        EXPECT_EQ(engine.site->errors.size(), 1u);
    }
}

TEST(HostileScripts, InterruptBeforeTheRunStartsStillStopsIt) {
    registerLibraries();
    Engine engine;
    ASSERT_EQ(engine.parse(u"x = 1"), S_OK);
    ASSERT_EQ(engine.parse(u"Do: Loop"), S_OK);
    engine.script->InterruptScriptThread(SCRIPTTHREADID_ALL, nullptr, 0);
    // Should the request be lost, a second one ends the loop, too late.
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 100 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!done) engine.script->InterruptScriptThread(SCRIPTTHREADID_ALL, nullptr, 0);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(engine.connect(), SCRIPT_E_REPORTED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    done = true;
    watchdog.join();
    ASSERT_EQ(engine.site->errors.size(), 1u);
    // The request is spent: the engine runs code again.
    engine.site->errors.clear();
    EXPECT_EQ(engine.parse(u"y = 2"), S_OK);
    EXPECT_TRUE(engine.site->errors.empty());
}

}  // namespace
}  // namespace vbs_test
