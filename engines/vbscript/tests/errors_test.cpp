// Errors as the site sees them: number, text, source, line (counted from
// the starting line given) and column, for compilation and run-time errors;
// a host's own error text; deep recursion.
#include "engines/vbscript/tests/test_host.h"

#include <gtest/gtest.h>

namespace vbs_test {
namespace {

struct ErrorCase {
    const char* name;
    const char16_t* code;
    int number;
    const char* description;  // the start of the text
    ULONG line;               // with the text starting at line 10
    LONG column;              // -1: not checked
};

const ErrorCase kCompileErrors[] = {
    {"MissingOperand", u"x = 1 +\n", 1023, "Expected expression", 10, 7},
    {"TrailingTokens", u"Dim a\na = 1 2\n", 1025, "Expected end of statement", 11, 6},
    {"BadStatement", u"x = 1\n)\n", 1024, "Expected statement", 11, 0},
    {"UnclosedIf", u"If x Then\n y = 1\n", 1014, "Expected 'End'", 12, -1},
    {"UnclosedFor", u"For i = 1 To 3\n", 1020, "Expected 'Next'", 11, -1},
    {"MissingThen", u"If x y = 1\n", 1017, "Expected 'Then'", 10, 5},
    {"UnterminatedString", u"\n\ns = \"abc\n", 1033, "Unterminated string constant", 12, 4},
    {"InvalidCharacter", u"x = 1 ~ 2", 1032, "Invalid character", 10, 6},
    {"ExitOutsideLoop", u"Exit For", 1039, "Invalid 'exit' statement", 10, 0},
    {"ParensOnSubCall", u"Sub s(a, b)\nEnd Sub\ns(1, 2)", 1044, "Cannot use parentheses when calling a Sub", 12, -1},
    {"MissingRParen", u"x = (1 + 2", 1006, "Expected ')'", 10, 10},
    {"DimBoundNotConstant", u"Dim n\nDim a(n)", 1026, "Expected integer constant", 11, 6},
    {"NameRedefined", u"Dim f\nFunction f()\nEnd Function", 1041, "Name redefined", 10, -1},
    {"ClassNameRedefined", u"Class Shelf\nEnd Class\nDim shelf", 1041, "Name redefined", 12, -1},
    {"AssignToConstant", u"Const c = 1\nc = 2", 501, "Illegal assignment", 11, -1},
    {"LateOptionExplicit", u"x = 1\nOption Explicit", 1024, "Expected statement", 11, 0},
};

const ErrorCase kRuntimeErrors[] = {
    {"TypeMismatch", u"x = 1\ny = \"a\" * x", 13, "Type mismatch", 11, -1},
    {"DivisionByZero", u"x = 0\n\ny = 5 / x", 11, "Division by zero", 12, -1},
    {"IntegerDivisionByZero", u"y = 5 \\ 0", 11, "Division by zero", 10, -1},
    {"Overflow", u"y = CInt(40000)", 6, "Overflow: 'CInt'", 10, -1},
    {"SubscriptOutOfRange", u"Dim a(2)\na(3) = 1", 9, "Subscript out of range", 11, -1},
    {"WrongDimensionCount", u"Dim a(2, 2)\nb = a(1)", 9, "Subscript out of range", 11, -1},
    {"FixedArray", u"Dim a(2)\nReDim a(5)", 10, "This array is fixed or temporarily locked", 11, -1},
    {"ObjectRequired", u"Dim o\no.Name = 1", 424, "Object required", 11, -1},
    {"SetNeedsObject", u"Set x = 5", 424, "Object required", 10, -1},
    {"NoSuchMember", u"Set c = CreateObject(\"Sumtrel.complex\")\nc.nosuch 1", 438,
     "Object doesn't support this property or method: 'nosuch'", 11, -1},
    {"WrongArgumentCount", u"Function f(a)\nEnd Function\nx = f(1, 2)", 450,
     "Wrong number of arguments or invalid property assignment", 12, -1},
    {"BuiltinArgumentCount", u"x = Len()", 450, "Wrong number of arguments", 10, -1},
    {"UndefinedVariable", u"Option Explicit\nDim a\na = b", 500, "Variable is undefined: 'b'", 12, -1},
    {"UndefinedAssignment", u"Option Explicit\nb = 1", 500, "Variable is undefined: 'b'", 11, -1},
    {"UndefinedSub", u"x = 1\nNoSuchSub 1", 13, "Type mismatch: 'NoSuchSub'", 11, -1},
    {"CantCreate", u"Set x = CreateObject(\"No.Such\")", 429, "ActiveX component can't create object", 10, -1},
    {"InvalidCall", u"x = Mid(\"abc\", 0)", 5, "Invalid procedure call or argument: 'Mid'", 10, -1},
    {"InvalidUseOfNull", u"x = CInt(Null)", 94, "Invalid use of Null: 'CInt'", 10, -1},
    {"NotACollection", u"For Each x In 5\nNext", 451, "Object not a collection", 10, -1},
    {"InProcedure", u"Sub s()\n x = 1\n x = x / 0\nEnd Sub\n\ns", 11, "Division by zero", 12, 1},
    {"DeepRecursion", u"Function f(n)\n f = f(n + 1)\nEnd Function\nx = f(1)", 28, "Out of stack space", 11, -1},
};

class CompileErrors : public ::testing::TestWithParam<ErrorCase> {};
class RuntimeErrors : public ::testing::TestWithParam<ErrorCase> {};

void checkError(const ErrorCase& c, HRESULT expectedStatus, const char* source) {
    registerLibraries();
    Engine engine;
    EXPECT_EQ(engine.run(c.code, 10), expectedStatus);
    ASSERT_EQ(engine.site->errors.size(), 1u);
    const ReportedError& e = engine.site->errors[0];
    EXPECT_EQ(e.number(), c.number) << e.description;
    EXPECT_EQ(static_cast<std::uint32_t>(e.scode) & 0xFFFF0000u, 0x800A0000u);
    EXPECT_EQ(e.description.rfind(c.description, 0), 0u) << e.description;
    EXPECT_EQ(e.source, source);
    EXPECT_EQ(e.line, c.line);
    if (c.column >= 0) {
        EXPECT_EQ(e.column, c.column);
    }
}

TEST_P(CompileErrors, AreReportedDuringParsing) { checkError(GetParam(), SCRIPT_E_REPORTED, "VBScript compilation error"); }
TEST_P(RuntimeErrors, AreReportedWhenConnecting) { checkError(GetParam(), SCRIPT_E_REPORTED, "VBScript runtime error"); }

auto caseName = [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); };
INSTANTIATE_TEST_SUITE_P(Table, CompileErrors, ::testing::ValuesIn(kCompileErrors), caseName);
INSTANTIATE_TEST_SUITE_P(Table, RuntimeErrors, ::testing::ValuesIn(kRuntimeErrors), caseName);

TEST(ScriptErrors, CompilationErrorRunsNothingOfItsText) {
    registerLibraries();
    Engine engine;
    ASSERT_EQ(engine.run(u"Dim x: x = 1"), S_OK);
    EXPECT_EQ(engine.parse(u"x = 2\nx = = 3"), SCRIPT_E_REPORTED);
    EXPECT_EQ(engine.eval(u"x").iVal, 1);
    EXPECT_EQ(engine.site->errors[0].lineText, "x = = 3");
}

TEST(ScriptErrors, HostErrorTextIsKept) {
    registerLibraries();
    Engine engine;
    auto assertions = qrt::create<Assertions>();
    engine.site->publish(u"Assert", assertions->unknown());
    engine.script->AddNamedItem(u"Assert", SCRIPTITEM_ISVISIBLE);
    EXPECT_EQ(engine.run(u"\nAssert.Check False, \"the host says no\""), SCRIPT_E_REPORTED);
    ASSERT_EQ(engine.site->errors.size(), 1u);
    const ReportedError& e = engine.site->errors[0];
    EXPECT_NE(e.description.find("the host says no"), std::string::npos) << e.description;
    EXPECT_EQ(e.source, "Assert");
    EXPECT_EQ(e.scode, static_cast<HRESULT>(0x800A0000u | 5000u));
    EXPECT_EQ(e.line, 2u);
    engine.close();
    engine.site->clearItems();
}

TEST(ScriptErrors, RuntimeErrorStopsTheRestOfTheText) {
    registerLibraries();
    Engine engine;
    EXPECT_EQ(engine.run(u"Dim a: a = 1\nx = 1 / 0\na = 2"), SCRIPT_E_REPORTED);
    EXPECT_EQ(engine.eval(u"a").iVal, 1);
    EXPECT_EQ(engine.site->errors[0].lineText, "x = 1 / 0");
}

}  // namespace
}  // namespace vbs_test
