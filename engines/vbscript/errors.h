// Script errors. Inside the engine an error is a thrown ScriptError; the
// engine's entry points catch it and report it to the site. Numbers and
// texts are those VBScript users know; the status code of error n is
// 0x800A0000 | n.
#pragma once

#include "runtime/types.h"

#include <memory>
#include <string>
#include <string_view>

namespace vbs {

struct SourceInfo;

namespace err {
constexpr int InvalidCall = 5;          // Invalid procedure call or argument
constexpr int Overflow = 6;
constexpr int OutOfMemory = 7;
constexpr int SubscriptRange = 9;
constexpr int ArrayFixed = 10;          // This array is fixed or temporarily locked
constexpr int DivisionByZero = 11;
constexpr int TypeMismatch = 13;
constexpr int OutOfStack = 28;
constexpr int ObjectRequired = 424;
constexpr int CantCreateObject = 429;
constexpr int NoAutomation = 430;
constexpr int NotSupported = 438;
constexpr int ArgNotOptional = 449;
constexpr int WrongArgs = 450;          // Wrong number of arguments or invalid property assignment
constexpr int ObjectNotCollection = 451;
constexpr int VariableUndefined = 500;
constexpr int IllegalAssignment = 501;
constexpr int InvalidReference = 505;      // a leading "." outside With
constexpr int ObjectNotSet = 91;          // Object variable not set
constexpr int InvalidNull = 94;           // Invalid use of Null
constexpr int ForLoopNotInitialized = 92;
constexpr int Interrupted = 0;          // not a VBScript number: the status comes from the host
constexpr int UnknownRuntime = 32811;   // Unknown runtime error (an Err.Raise number without a text)

// Compilation errors.
constexpr int SyntaxError = 1002;
constexpr int ExpectedColon = 1003;
constexpr int ExpectedLParen = 1005;
constexpr int ExpectedRParen = 1006;
constexpr int ExpectedIdentifier = 1010;
constexpr int ExpectedEquals = 1011;
constexpr int ExpectedIf = 1012;
constexpr int ExpectedTo = 1013;
constexpr int ExpectedEnd = 1014;
constexpr int ExpectedFunction = 1015;
constexpr int ExpectedSub = 1016;
constexpr int ExpectedThen = 1017;
constexpr int ExpectedWend = 1018;
constexpr int ExpectedLoop = 1019;
constexpr int ExpectedNext = 1020;
constexpr int ExpectedCase = 1021;
constexpr int ExpectedSelect = 1022;
constexpr int ExpectedExpression = 1023;
constexpr int ExpectedStatement = 1024;
constexpr int ExpectedEndOfStatement = 1025;
constexpr int ExpectedInteger = 1026;
constexpr int ExpectedWhileUntil = 1027;
constexpr int ExpectedWhileUntilEnd = 1028;
constexpr int ExpectedWith = 1029;
constexpr int InvalidNumber = 1031;
constexpr int InvalidCharacter = 1032;
constexpr int UnterminatedString = 1033;
constexpr int InvalidMe = 1037;
constexpr int LoopWithoutDo = 1038;
constexpr int InvalidExit = 1039;
constexpr int InvalidForVariable = 1040;
constexpr int NameRedefined = 1041;
constexpr int ParensOnSubCall = 1044;
constexpr int ExpectedLiteral = 1045;
constexpr int ExpectedIn = 1046;
constexpr int ExpectedClass = 1047;
constexpr int MustBeInClass = 1048;
constexpr int ExpectedPropertyKind = 1049;
constexpr int ExpectedProperty = 1050;
constexpr int PropertyArgCount = 1051;
constexpr int MultipleDefault = 1052;
constexpr int ClassEventArgs = 1053;
constexpr int PropertyNeedsArg = 1054;
constexpr int UnexpectedNext = 1055;
constexpr int DefaultPlacement = 1056;
constexpr int DefaultNotPublic = 1057;
constexpr int DefaultNotGet = 1058;
// A misplaced Option Explicit is reported as a statement out of place.
constexpr int OptionExplicitFirst = ExpectedStatement;
// Assigning to a constant or procedure: VBScript reports it as "Illegal assignment" (501) when compiling.
constexpr int IllegalAssignmentCompile = 501;
}  // namespace err

// The standard text of an error number ("Type mismatch"); empty when unknown.
std::u16string errorText(int number);

constexpr HRESULT errorStatus(int number) {
    return static_cast<HRESULT>(0x800A0000u | static_cast<std::uint32_t>(number & 0xFFFF));
}

struct ScriptError {
    HRESULT scode = E_FAIL;
    std::u16string description;
    // The name the error is about ("Variable is undefined: 'x'"): part of
    // the text reported to the host, not of Err.Description.
    std::u16string detail;
    std::u16string source;   // empty: the engine's own source text
    bool compile = false;
    // Where it happened; filled in by whoever knows (parser or interpreter).
    bool positioned = false;
    std::uint32_t line = 0;  // zero-based within the parsed text
    std::uint32_t column = 0;
    std::shared_ptr<const SourceInfo> where;  // the text the position refers to
    std::u16string helpFile;  // from Err.Raise
    std::int32_t helpContext = 0;
    // Not catchable by On Error Resume Next (the host stopped the script).
    bool fatal = false;
};

// The source texts of the engine's own errors.
inline constexpr const char16_t* kCompileErrorSource = u"VBScript compilation error";
inline constexpr const char16_t* kRuntimeErrorSource = u"VBScript runtime error";

// The status of an Err.Raise number: 0..65535 are VBScript numbers
// (0x800A0000 | n); larger values are taken as status codes.
constexpr HRESULT statusOfNumber(std::int32_t number) {
    return number >= 0 && number <= 0xFFFF ? errorStatus(number) : static_cast<HRESULT>(number);
}
// What Err.Number shows for a status: the VBScript number, or the code itself.
constexpr std::int32_t numberOfStatus(HRESULT hr) {
    return (static_cast<std::uint32_t>(hr) & 0xFFFF0000u) == 0x800A0000u ? static_cast<std::int32_t>(hr & 0xFFFF)
                                                                          : static_cast<std::int32_t>(hr);
}

// Throws the VBScript error number with its standard text, optionally
// followed by ": 'detail'" as VBScript names the culprit.
[[noreturn]] void raise(int number, std::u16string_view detail = {});

// A built-in function's own argument errors (5, 6, 9, 13, 94) are reported
// with its name, as in "Type mismatch: 'CInt'".
void nameBuiltinError(ScriptError& e, const char16_t* name);

// The description as reported to the host: with the detail, when there is one.
std::u16string reportText(const ScriptError& e);
[[noreturn]] void raiseText(int number, std::u16string description);
// A failure status from a host call: the host's own text when it gave one.
[[noreturn]] void raiseHost(HRESULT hr, std::u16string source, std::u16string description);

// The VBScript error number a status code stands for (438 for
// DISP_E_MEMBERNOTFOUND, n for 0x800A000n, ...), or 0 when there is none.
int errorNumberOf(HRESULT hr);

}  // namespace vbs
