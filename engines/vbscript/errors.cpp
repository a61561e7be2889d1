#include "engines/vbscript/errors.h"

#include "runtime/dispatch.h"

namespace vbs {

std::u16string errorText(int number) {
    switch (number) {
    case 5: return u"Invalid procedure call or argument";
    case 6: return u"Overflow";
    case 7: return u"Out of memory";
    case 9: return u"Subscript out of range";
    case 10: return u"This array is fixed or temporarily locked";
    case 11: return u"Division by zero";
    case 13: return u"Type mismatch";
    case 14: return u"Out of string space";
    case 28: return u"Out of stack space";
    case 35: return u"Sub or Function not defined";
    case 51: return u"Internal error";
    case 91: return u"Object variable not set";
    case 92: return u"For loop not initialized";
    case 94: return u"Invalid use of Null";
    case 424: return u"Object required";
    case 429: return u"ActiveX component can't create object";
    case 430: return u"Class doesn't support Automation";
    case 438: return u"Object doesn't support this property or method";
    case 449: return u"Argument not optional";
    case 450: return u"Wrong number of arguments or invalid property assignment";
    case 451: return u"Object not a collection";
    case 500: return u"Variable is undefined";
    case 501: return u"Illegal assignment";
    case 505: return u"Invalid or unqualified reference";
    case 1001: return u"Out of memory";
    case 1002: return u"Syntax error";
    case 1003: return u"Expected ':'";
    case 1005: return u"Expected '('";
    case 1006: return u"Expected ')'";
    case 1010: return u"Expected identifier";
    case 1011: return u"Expected '='";
    case 1012: return u"Expected 'If'";
    case 1013: return u"Expected 'To'";
    case 1014: return u"Expected 'End'";
    case 1015: return u"Expected 'Function'";
    case 1016: return u"Expected 'Sub'";
    case 1017: return u"Expected 'Then'";
    case 1018: return u"Expected 'Wend'";
    case 1019: return u"Expected 'Loop'";
    case 1020: return u"Expected 'Next'";
    case 1021: return u"Expected 'Case'";
    case 1022: return u"Expected 'Select'";
    case 1023: return u"Expected expression";
    case 1024: return u"Expected statement";
    case 1025: return u"Expected end of statement";
    case 1026: return u"Expected integer constant";
    case 1027: return u"Expected 'While' or 'Until'";
    case 1028: return u"Expected 'While,' 'Until,' or end of statement";
    case 1029: return u"Expected 'With'";
    case 1031: return u"Invalid number";
    case 1032: return u"Invalid character";
    case 1033: return u"Unterminated string constant";
    case 1037: return u"Invalid use of 'Me' keyword";
    case 1038: return u"'loop' without 'do'";
    case 1039: return u"Invalid 'exit' statement";
    case 1040: return u"Invalid 'for' loop control variable";
    case 1041: return u"Name redefined";
    case 1044: return u"Cannot use parentheses when calling a Sub";
    case 1045: return u"Expected literal constant";
    case 1046: return u"Expected 'In'";
    case 1047: return u"Expected 'Class'";
    case 1048: return u"Must be defined inside a Class";
    case 1049: return u"Expected Let or Set or Get in property declaration";
    case 1050: return u"Expected 'Property'";
    case 1051: return u"Number of arguments must be consistent across properties";
    case 1052: return u"Cannot have multiple default property/method in a Class";
    case 1053: return u"Class initialize or terminate do not have arguments";
    case 1054: return u"Property set or let must have at least one argument";
    case 1055: return u"Unexpected 'Next'";
    case 1056: return u"'Default' keyword can only be on Property Get, Function or Sub";
    case 1057: return u"'Default' keyword must also specify 'Public'";
    case 1058: return u"'Default' keyword can only be on Property Get";
    case 32811: return u"Unknown runtime error";
    default: return {};
    }
}

void raise(int number, std::u16string_view detail) {
    ScriptError e;
    e.scode = errorStatus(number);
    e.description = errorText(number);
    e.detail = detail;
    throw e;
}

void nameBuiltinError(ScriptError& e, const char16_t* name) {
    if (!e.detail.empty() || !e.source.empty() || e.fatal) return;
    switch (static_cast<std::uint32_t>(e.scode)) {
    case static_cast<std::uint32_t>(errorStatus(err::InvalidCall)):
    case static_cast<std::uint32_t>(errorStatus(err::Overflow)):
    case static_cast<std::uint32_t>(errorStatus(err::SubscriptRange)):
    case static_cast<std::uint32_t>(errorStatus(err::TypeMismatch)):
    case static_cast<std::uint32_t>(errorStatus(err::InvalidNull)):
        e.detail = name;
        return;
    default: return;
    }
}

std::u16string reportText(const ScriptError& e) {
    if (e.detail.empty()) return e.description;
    return e.description + u": '" + e.detail + u"'";
}

void raiseText(int number, std::u16string description) {
    ScriptError e;
    e.scode = errorStatus(number);
    e.description = std::move(description);
    throw e;
}

int errorNumberOf(HRESULT hr) {
    if ((static_cast<std::uint32_t>(hr) & 0xFFFF0000u) == 0x800A0000u) return HRESULT_CODE(hr);
    switch (hr) {
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME: return err::NotSupported;
    case DISP_E_TYPEMISMATCH: return err::TypeMismatch;
    case DISP_E_BADPARAMCOUNT: return err::WrongArgs;
    case DISP_E_PARAMNOTOPTIONAL: return err::ArgNotOptional;
    case DISP_E_OVERFLOW: return err::Overflow;
    case DISP_E_DIVBYZERO: return err::DivisionByZero;
    case DISP_E_BADINDEX: return err::SubscriptRange;
    case DISP_E_NONAMEDARGS: return err::WrongArgs;
    case E_INVALIDARG: return err::InvalidCall;
    case E_OUTOFMEMORY: return err::OutOfMemory;
    case E_NOINTERFACE: return err::NoAutomation;
    default: return 0;
    }
}

void raiseHost(HRESULT hr, std::u16string source, std::u16string description) {
    ScriptError e;
    const int number = errorNumberOf(hr);
    if (description.empty()) {
        description = number ? errorText(number) : qrt::statusText(hr);
        if (description.empty()) description = u"Unknown runtime error";
    }
    // A status with a VBScript meaning becomes that error; any other keeps
    // the host's own code.
    e.scode = number ? errorStatus(number) : hr;
    e.description = std::move(description);
    e.source = std::move(source);
    throw e;
}

}  // namespace vbs
