// The compilation errors a user meets, as a table: script text, VBScript
// error number, message, line (the text starts at line 1) and column
// (zero-based) of the token the error names.
#include "engines/vbscript/tests/test_host.h"

#include <gtest/gtest.h>

namespace vbs_test {
namespace {

struct CompileCase {
    const char* name;
    const char16_t* code;
    int number;
    const char* message;
    ULONG line;
    LONG column;
};

const CompileCase kCases[] = {
    {"EndOfIfMissing", u"If x Then\n  y = 1\n", 1014, "Expected 'End'", 3, 0},
    {"EndOfSubMissing", u"Sub s()\n  x = 1\n", 1014, "Expected 'End'", 3, 0},
    {"NextMissing", u"For i = 1 To 3\n  x = i\n", 1020, "Expected 'Next'", 3, 0},
    {"LoopMissing", u"Do\n  x = 1\n", 1019, "Expected 'Loop'", 3, 0},
    {"WendMissing", u"While x\n  x = 1\n", 1018, "Expected 'Wend'", 3, 0},
    {"RParenMissing", u"x = (1 + 2", 1006, "Expected ')'", 1, 10},
    {"LParenMissing", u"ReDim a", 1005, "Expected '('", 1, 7},
    {"IdentifierMissing", u"Dim 5", 1010, "Expected identifier", 1, 4},
    {"ThenMissing", u"If x y = 1", 1017, "Expected 'Then'", 1, 5},
    {"StatementExpected", u"x = 1\n)", 1024, "Expected statement", 2, 0},
    {"EndOfStatementExpected", u"x = 1 2", 1025, "Expected end of statement", 1, 6},
    {"EqualsMissing", u"Const c 5", 1011, "Expected '='", 1, 8},
    {"IfAfterEnd", u"If x Then\n  y = 1\nEnd Sub", 1012, "Expected 'If'", 3, 4},
    {"SubAfterEnd", u"Sub s()\nEnd Function", 1016, "Expected 'Sub'", 2, 4},
    {"FunctionAfterEnd", u"Function f()\nEnd Sub", 1015, "Expected 'Function'", 2, 4},
    {"ClassAfterEnd", u"Class C\nEnd Sub", 1047, "Expected 'Class'", 2, 4},
    {"PropertyAfterEnd", u"Class C\nProperty Get p()\nEnd Sub\nEnd Class", 1050, "Expected 'Property'", 3, 4},
    {"SelectAfterEnd", u"Select Case x\nCase 1\nEnd If", 1022, "Expected 'Select'", 3, 4},
    {"WithAfterEnd", u"With x\nEnd If", 1029, "Expected 'With'", 2, 4},
    {"CaseMissing", u"Select x", 1021, "Expected 'Case'", 1, 7},
    {"ToMissing", u"For i = 1 3", 1013, "Expected 'To'", 1, 10},
    {"InMissing", u"For Each x y", 1046, "Expected 'In'", 1, 11},
    {"ExpressionMissing", u"x = 1 +\n", 1023, "Expected expression", 1, 7},
    {"WhileUntilExpected", u"Do x", 1028, "Expected 'While,' 'Until,' or end of statement", 1, 3},
    {"IntegerConstantExpected", u"Dim a(n)", 1026, "Expected integer constant", 1, 6},
    {"LiteralConstantExpected", u"Const c = x", 1045, "Expected literal constant", 1, 10},
    {"InvalidCharacter", u"x = 1 ~ 2", 1032, "Invalid character", 1, 6},
    {"UnterminatedString", u"\ns = \"abc", 1033, "Unterminated string constant", 2, 4},
    {"InvalidNumber", u"x = 1e999", 1031, "Invalid number", 1, 4},
    {"DimTwice", u"Dim a\nDim a", 1041, "Name redefined", 2, 4},
    {"SubNamedLikeClass", u"Class C\nEnd Class\nSub c()\nEnd Sub", 1041, "Name redefined", 3, 4},
    {"ClassTwice", u"Class C\nEnd Class\nClass C\nEnd Class", 1041, "Name redefined", 3, 6},
    {"FieldTwice", u"Class C\nPublic a\nPrivate a\nEnd Class", 1041, "Name redefined", 3, 8},
    {"ParenthesesOnSubCall", u"Sub s(a, b)\nEnd Sub\ns(1, 2)", 1044, "Cannot use parentheses when calling a Sub", 3, 1},
    {"ExitFunctionInSub", u"Sub s()\nExit Function\nEnd Sub", 1039, "Invalid 'exit' statement", 2, 0},
    {"ExitForOutsideLoop", u"Exit For", 1039, "Invalid 'exit' statement", 1, 0},
    {"ExitPropertyInSub", u"Sub s()\n  Exit Property\nEnd Sub", 1039, "Invalid 'exit' statement", 2, 2},
    {"ForVariableNotAName", u"For 1 = 1 To 2", 1040, "Invalid 'for' loop control variable", 1, 4},
    {"LoopWithoutDo", u"x = 1\nLoop", 1038, "'loop' without 'do'", 2, 0},
    {"UnexpectedNext", u"Next", 1055, "Unexpected 'Next'", 1, 0},
    {"MeOutsideClass", u"x = Me", 1037, "Invalid use of 'Me' keyword", 1, 4},
    {"DotOutsideWith", u".x = 1", 505, "Invalid or unqualified reference", 1, 0},
    {"PropertyOutsideClass", u"Property Get p()\nEnd Property", 1048, "Must be defined inside a Class", 1, 0},
    {"PropertyWithoutKind", u"Class C\nProperty p()\nEnd Property\nEnd Class", 1049,
     "Expected Let or Set or Get in property declaration", 2, 9},
    {"TwoDefaults", u"Class C\nPublic Default Function a()\nEnd Function\nPublic Default Function b()\nEnd Function\nEnd Class",
     1052, "Cannot have multiple default property/method in a Class", 4, 24},
    {"InitializeWithArguments", u"Class C\nSub Class_Initialize(x)\nEnd Sub\nEnd Class", 1053,
     "Class initialize or terminate do not have arguments", 2, 4},
    {"LetWithoutArguments", u"Class C\nProperty Let p()\nEnd Property\nEnd Class", 1054,
     "Property set or let must have at least one argument", 2, 13},
    {"PropertyArgumentsDiffer", u"Class C\nProperty Get p(a)\nEnd Property\nProperty Let p(v)\nEnd Property\nEnd Class", 1051,
     "Number of arguments must be consistent across properties", 4, 13},
    {"PrivateDefault", u"Class C\nPrivate Default Function f()\nEnd Function\nEnd Class", 1057,
     "'Default' keyword must also specify 'Public'", 2, 8},
    {"DefaultOnLet", u"Class C\nPublic Default Property Let p(v)\nEnd Property\nEnd Class", 1058,
     "'Default' keyword can only be on Property Get", 2, 7},
    {"DefaultOnField", u"Class C\nPublic Default x\nEnd Class", 1056, "'Default' keyword can only be on", 2, 7},
    {"ClassInsideSub", u"Sub s()\nClass C\nEnd Class\nEnd Sub", 1002, "Syntax error", 2, 0},
    {"OnErrorGoToLabel", u"On Error GoTo handler", 1002, "Syntax error", 1, 14},
    {"AssignToMe", u"Class C\nSub s()\nSet Me = Nothing\nEnd Sub\nEnd Class", 1037, "Invalid use of 'Me' keyword", 3, 4},
};

class CompileErrorTable : public ::testing::TestWithParam<CompileCase> {};

TEST_P(CompileErrorTable, ReportsNumberTextAndPosition) {
    const CompileCase& c = GetParam();
    registerLibraries();
    Engine engine;
    EXPECT_EQ(engine.run(c.code, 1), SCRIPT_E_REPORTED);
    ASSERT_EQ(engine.site->errors.size(), 1u);
    const ReportedError& e = engine.site->errors[0];
    EXPECT_EQ(e.number(), c.number) << e.description;
    EXPECT_EQ(e.description.rfind(c.message, 0), 0u) << e.description;
    EXPECT_EQ(e.source, "VBScript compilation error");
    EXPECT_EQ(e.line, c.line);
    EXPECT_EQ(e.column, c.column);
}

INSTANTIATE_TEST_SUITE_P(Table, CompileErrorTable, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CompileCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vbs_test
