// The compiler: a syntax tree to procedures of instructions. Names are
// resolved to frame slots and global indices here; a name unknown at this
// point gets a run-time name site. Procedures of the program are entered in
// the global table (replacing earlier ones of the same name).
#pragma once

#include "engines/vbscript/bytecode.h"

namespace vbs {

struct CompiledChunk {
    std::shared_ptr<Procedure> globalCode;
    std::vector<std::shared_ptr<Procedure>> procedures;  // in source order
};

// outer: the procedure whose running frame Execute text runs in (its
// variables, constants and class members are visible); null for global code.
CompiledChunk compileProgram(Program& program, Globals& globals, std::shared_ptr<const SourceInfo> source,
                             const Procedure* outer = nullptr);
// Code that evaluates one expression and returns its value.
std::shared_ptr<Procedure> compileExpression(Expr& expr, Globals& globals, std::shared_ptr<const SourceInfo> source,
                                             const Procedure* outer = nullptr);
// A class's member table from its declaration; the methods are compiled by
// compileProgram. Throws the compilation errors of misdeclared members.
std::shared_ptr<ClassDef> declareClass(const ClassDecl& decl);

}  // namespace vbs
