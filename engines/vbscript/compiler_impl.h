// The compiler's class, shared by the files that make it up: compiler.cpp
// (the entry points, scopes, declarations and name resolution),
// compile_expressions.cpp and compile_statements.cpp. The small helpers every
// part calls at each instruction stay defined here, inline.
#pragma once

#include "engines/vbscript/compiler.h"

#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/runtime/builtins.h"

#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vbs::compiling {

[[noreturn]] void compileError(int number, SourcePos pos, std::u16string_view detail = {});

inline Op binaryOp(BinOp op) {
    return static_cast<Op>(static_cast<int>(Op::Add) + static_cast<int>(op));
}

// What a name stands for where it is used.
struct Resolved {
    enum Kind { Local, Const, Global, Proc, Item, Builtin, Unknown, Field, Member, Outer, Language } kind = Unknown;
    std::int32_t index = 0;
    Value value;  // Const
};

// Functions of the language itself, compiled to their own instructions.
enum Language : std::int32_t { LangEval, LangExecute, LangExecuteGlobal, LangGetRef, LangErr };

class Compiler {
public:
    Compiler(Globals& globals, std::shared_ptr<const SourceInfo> source, bool optionExplicit, const Procedure* outer)
        : m_globals(globals), m_source(std::move(source)), m_explicit(optionExplicit), m_outer(outer) {
        if (outer) m_class = outer->owner;
    }

    CompiledChunk program(Program& prog);
    std::shared_ptr<Procedure> expression(Expr& e);

private:
    // ---- scopes (compiler.cpp) -------------------------------------------
    void begin(Procedure* proc, const ProcDecl* decl);
    void finish();

    // Instructions from..to-1 not yet inside a statement go on, after an
    // error under On Error Resume Next, at to.
    void markResume(std::int32_t from, std::int32_t to) {
        std::vector<std::int32_t>& r = m_proc->resumeAt;
        r.resize(m_proc->code.size(), -1);
        for (std::int32_t i = from; i < to; ++i) {
            if (r[static_cast<std::size_t>(i)] < 0) r[static_cast<std::size_t>(i)] = to;
        }
    }

    // Like markResume, but going on at target (a place already emitted).
    void markResumeAt(std::int32_t from, std::int32_t to, std::int32_t target) {
        std::vector<std::int32_t>& r = m_proc->resumeAt;
        r.resize(m_proc->code.size(), -1);
        for (std::int32_t i = from; i < to; ++i) {
            if (r[static_cast<std::size_t>(i)] < 0) r[static_cast<std::size_t>(i)] = target;
        }
    }

    std::int32_t newSlot() { return m_proc->localCount++; }

    std::shared_ptr<Procedure> procedure(ProcDecl& decl, std::int32_t globalIndex);
    std::shared_ptr<ClassDef> classDef(ClassDecl& decl);
    static std::int32_t accessedField(const Procedure& p, bool get);
    void declareLocals(const Block& b);
    void declareGlobal(const std::u16string& name, SourcePos pos, Globals::Kind kind, bool redefineCheck);
    void declareGlobals(const Block& b);
    static bool isBuiltinName(const std::u16string& name);
    bool isOuterName(const std::u16string& folded) const;
    Value constValue(const Expr& e);
    bool constantNamed(const std::u16string& folded, Value& out) const;
    Resolved resolve(const std::u16string& name);
    std::int32_t site(const std::u16string& name, const std::u16string& folded);
    std::int32_t globalSite(const std::u16string& name);

    std::int32_t memberSite(const std::u16string& name) {
        MemberSite s;
        s.name = name;
        if (name.empty()) s.id = DISPID_VALUE;
        m_proc->members.push_back(std::move(s));
        return static_cast<std::int32_t>(m_proc->members.size() - 1);
    }

    // ---- emission --------------------------------------------------------
    std::int32_t emit(Op op, SourcePos pos, std::uint8_t a = 0, std::uint16_t b = 0, std::int32_t c = 0) {
        m_proc->code.push_back({op, a, b, c});
        // Run-time errors point at the start of the statement on its first line.
        if (pos.line == m_statementPos.line) pos.column = m_statementPos.column;
        m_proc->positions.push_back(pos);
        return static_cast<std::int32_t>(m_proc->code.size() - 1);
    }
    std::int32_t here() const { return static_cast<std::int32_t>(m_proc->code.size()); }
    void patch(std::int32_t at, std::int32_t target) { m_proc->code[static_cast<std::size_t>(at)].c = target; }
    void pushConst(const Value& v, SourcePos pos) {
        if (v.isEmpty()) {
            emit(Op::PushEmpty, pos);
            return;
        }
        m_proc->constants.push_back(v);
        emit(Op::PushConst, pos, 0, 0, static_cast<std::int32_t>(m_proc->constants.size() - 1));
    }
    static std::uint8_t argCount(std::size_t n, SourcePos pos) {
        if (n > 255) compileError(err::SyntaxError, pos);
        return static_cast<std::uint8_t>(n);
    }

    // ---- expressions (compile_expressions.cpp) ---------------------------
    static bool isLiteral(const Expr& e) {
        if (e.kind == ExprKind::Literal) return true;
        if (e.kind == ExprKind::Unary && !e.unaryNot) return isLiteral(*e.left);
        return false;
    }

    void expr(const Expr& e);
    void binaryRest(const Expr& e);
    void objectExpr(const Expr& e, const std::vector<const Expr*>& after);
    Op languageOp(std::int32_t lang);
    void nameValue(const Expr& e);
    void refArg(const Expr& a);
    void args(const std::vector<ExprPtr>& list, bool byRef);
    void call(const Expr& e, const std::vector<ExprPtr>& list, bool statement);

    // ---- statements (compile_statements.cpp) -----------------------------
    void block(const Block& b);
    void statement(const Stmt& s);
    void statementBody(const Stmt& s);
    void withStatement(const Stmt& s);
    std::pair<std::uint16_t, std::int32_t> variable(const std::u16string& name, SourcePos pos);
    void store(std::uint16_t kind, std::int32_t slot, std::uint16_t mode, SourcePos pos);
    void assign(const Stmt& s, std::uint16_t mode);
    void callStatement(const Stmt& s);
    void dim(const Stmt& s);
    void redim(const Stmt& s);
    void ifStatement(const Stmt& s);
    void selectStatement(const Stmt& s);
    std::int32_t loop(std::uint16_t kind, std::int32_t slot, std::int32_t hidden);
    void forStatement(const Stmt& s);
    void forEachStatement(const Stmt& s);
    void doStatement(const Stmt& s);
    void exitStatement(const Stmt& s);

    Globals& m_globals;
    std::shared_ptr<const SourceInfo> m_source;
    bool m_explicit;
    Procedure* m_proc = nullptr;
    const ProcDecl* m_decl = nullptr;
    std::int32_t m_resultSlot = 0;
    SourcePos m_statementPos{~0u, 0};
    std::int32_t m_selfGlobal = -1;
    std::unordered_map<std::u16string, std::int32_t> m_locals;
    std::unordered_map<std::u16string, bool> m_dimmed;
    std::unordered_map<std::u16string, Value> m_consts;
    std::unordered_map<std::u16string, std::int32_t> m_sites;
    std::vector<std::vector<std::int32_t>> m_exitDo, m_exitFor;
    std::vector<std::int32_t> m_withSlots;
    const Procedure* m_outer = nullptr;  // the procedure Execute/Eval text runs inside
    ClassDef* m_class = nullptr;         // the class whose method is being compiled
};

}  // namespace vbs::compiling
