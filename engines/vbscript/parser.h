// The parser: tokens to a syntax tree. Throws a positioned compilation
// ScriptError at the first error.
#pragma once

#include "engines/vbscript/ast.h"

namespace vbs {

Program parseProgram(std::u16string_view text);
// A single expression (for SCRIPTTEXT_ISEXPRESSION).
ExprPtr parseExpression(std::u16string_view text);

}  // namespace vbs
