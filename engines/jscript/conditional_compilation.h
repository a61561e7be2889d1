// Conditional compilation: a pass over each chunk of script text before
// Duktape compiles it. Once switched on (by @cc_on, or by an @if or @set in
// code), the text inside /*@ ... @*/ and //@ comments is code, @if / @elif /
// @else / @end choose which text is compiled, @set gives variables values,
// and @name in code stands for the variable's value. Text left out becomes
// spaces with its line breaks kept, so that Duktape's lines are the script's.
#pragma once

#include "runtime/types.h"

#include <map>
#include <string>
#include <string_view>

namespace jscript {

// The engine's version, as ScriptEngine*Version() and @_jscript_version /
// @_jscript_build give it.
inline constexpr int kEngineMajorVersion = 5;
inline constexpr int kEngineMinorVersion = 8;
inline constexpr int kEngineBuildVersion = 18000;

// A conditional compilation value: a number or a boolean.
struct CcValue {
    double number = 0;
    bool isBoolean = false;

    static CcValue ofNumber(double n) { return {n, false}; }
    static CcValue ofBoolean(bool b) { return {b ? 1.0 : 0.0, true}; }
    bool truthy() const { return number == number && number != 0; }  // NaN is false
};

// The script text for one value, as it stands in code.
std::u16string ccValueText(const CcValue& value);

// State kept across the chunks of one engine: whether conditional
// compilation is on and the variables' values.
class ConditionalCompiler {
public:
    ConditionalCompiler();

    struct Error {
        HRESULT number = 0;
        std::u16string description;
        int line = 0;  // within the chunk, from 1
    };

    // Writes the text Duktape compiles into out; false with error filled
    // for a malformed directive.
    bool process(std::u16string_view source, std::u16string& out, Error& error);

    bool on() const { return m_on; }
    // Unknown names read as NaN.
    CcValue variable(std::u16string_view name) const;

private:
    friend class CcPass;
    bool m_on = false;
    std::map<std::u16string, CcValue, std::less<>> m_variables;
};

}  // namespace jscript
