// The built-in functions and constants. Each group lives in its own file
// (math, strings, conversions, arrays, type information, objects, dates,
// formatting, host dialogs) and
// contributes a table; builtin_table.cpp joins them for lookup by name.
#pragma once

#include "engines/vbscript/value.h"

#include <span>
#include <string_view>

namespace vbs {

class Interpreter;

// args holds argc values (no references); missing arguments are Missing values.
using BuiltinFn = Value (*)(Interpreter& vm, Value* args, int argc);

struct Builtin {
    const char16_t* name;
    BuiltinFn fn;
    std::int8_t minArgs;
    std::int8_t maxArgs;
};

std::span<const Builtin> mathBuiltins();
std::span<const Builtin> stringBuiltins();
std::span<const Builtin> conversionBuiltins();
std::span<const Builtin> arrayBuiltins();
std::span<const Builtin> infoBuiltins();
std::span<const Builtin> dateBuiltins();
std::span<const Builtin> formatBuiltins();
std::span<const Builtin> textBuiltins();
std::span<const Builtin> hostBuiltins();

// Index of a built-in function by folded name, or -1.
int findBuiltin(std::u16string_view folded);
const Builtin& builtinAt(int index);
// A built-in with no value (Randomize): used as one it is a type mismatch.
bool builtinIsSub(int index);
// A named constant (vbCrLf, vbString, ...).
bool findConstant(std::u16string_view folded, Value& out);

// Helpers for the built-ins.
inline bool given(const Value* args, int argc, int i) { return i < argc && !args[i].isMissing(); }

}  // namespace vbs
