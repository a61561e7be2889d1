// The syntax tree the parser builds and the compiler walks.
#pragma once

#include "engines/vbscript/lexer.h"
#include "engines/vbscript/operators.h"

#include <memory>
#include <string>
#include <vector>

namespace vbs {

struct SourcePos {
    std::uint32_t line = 0;    // zero-based within the parsed text
    std::uint32_t column = 0;
};

enum class ExprKind : std::uint8_t {
    Literal,  // value
    Name,     // name
    Member,   // left.name
    Call,     // left(args): a call, an array element or a default member
    Unary,    // unaryNot ? Not left : -left
    Binary,   // left op right
    Paren,    // (left): also makes a variable argument pass by value
    Missing,  // a left-out argument
    New,      // New name
    Me,       // the object whose class code runs
    With,     // the object of the innermost With block (before a leading '.')
};

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
    Expr() = default;
    Expr(const Expr&) = delete;
    Expr& operator=(const Expr&) = delete;
    // Frees the subtrees without recursion: a long operator chain such as
    // 1 + 1 + ... + 1 is a tree as deep as it is long.
    ~Expr() {
        if (!left && !right && args.empty()) return;
        std::vector<ExprPtr> pending;
        auto take = [&pending](Expr& e) {
            if (e.left) pending.push_back(std::move(e.left));
            if (e.right) pending.push_back(std::move(e.right));
            for (ExprPtr& a : e.args) {
                if (a) pending.push_back(std::move(a));
            }
            e.args.clear();
        };
        try {
            take(*this);
            while (!pending.empty()) {
                ExprPtr e = std::move(pending.back());
                pending.pop_back();
                take(*e);
            }
        } catch (...) {
            // No memory for the list: what is left goes by plain recursion.
        }
    }

    ExprKind kind = ExprKind::Literal;
    SourcePos pos;
    Value value;
    std::u16string name;
    BinOp op = BinOp::Add;
    bool unaryNot = false;
    ExprPtr left, right;
    std::vector<ExprPtr> args;
    std::size_t parenToken = 0;  // Call: index of its '(' token
};

struct Stmt;
using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

enum class StmtKind : std::uint8_t {
    Assign, Set, Call, Dim, ReDim, Const, Erase, If, Select, For, ForEach, Do, Exit, With, OnError,
};

// One name of Dim, ReDim, Const or Erase.
struct DimItem {
    std::u16string name;
    SourcePos pos;
    bool isArray = false;          // declared with parentheses
    std::vector<ExprPtr> bounds;   // upper bounds (Dim, ReDim); Const: its value
};

struct CaseItem {
    enum Kind : std::uint8_t { Equal, Range, Compare } kind = Equal;
    BinOp op = BinOp::Eq;  // Compare: Case Is <op> value
    ExprPtr value, upper;
};

struct CaseClause {
    std::vector<CaseItem> items;  // empty: Case Else
    Block body;
};

enum class LoopTest : std::uint8_t { None, PreWhile, PreUntil, PostWhile, PostUntil };

struct Stmt {
    StmtKind kind = StmtKind::Call;
    SourcePos pos;
    ExprPtr target;  // Assign/Set: what is assigned; Call: the callee or call; For: the counter (a Name)
    ExprPtr value;   // Assign/Set: the value; For: start; ForEach: collection; Select: selector; Do: condition
    ExprPtr limit, step;                // For
    std::vector<ExprPtr> args;          // Call without parentheses: its arguments
    bool explicitCall = false;          // written with Call or with parentheses
    std::vector<DimItem> items;         // Dim, ReDim, Const, Erase
    bool preserve = false;              // ReDim Preserve
    std::vector<ExprPtr> conditions;    // If / ElseIf
    std::vector<Block> blocks;          // If: one per condition; loops: blocks[0] is the body
    Block elseBlock;
    bool hasElse = false;
    std::vector<CaseClause> cases;
    LoopTest test = LoopTest::None;
    Kw exitWhat = Kw::None;
    bool resumeNext = false;            // OnError: Resume Next (else GoTo 0)
};

struct Param {
    std::u16string name;
    bool byVal = false;
    bool isArray = false;
};

enum class ProcKind : std::uint8_t { Sub, Function, PropertyGet, PropertyLet, PropertySet };

struct ProcDecl {
    std::u16string name;
    SourcePos pos;
    ProcKind kind = ProcKind::Sub;
    bool isFunction = false;  // returns a value: Function or Property Get
    bool isPrivate = false;
    bool isDefault = false;
    std::vector<Param> params;
    Block body;
};

struct ClassDecl {
    std::u16string name;
    SourcePos pos;
    std::vector<DimItem> fields;       // bounds: a fixed array's upper bounds
    std::vector<bool> fieldPrivate;    // per field
    std::vector<DimItem> consts;       // bounds[0]: the value
    std::vector<std::unique_ptr<ProcDecl>> methods;  // in source order
};

struct Program {
    Block globals;
    std::vector<std::unique_ptr<ProcDecl>> procs;  // in source order
    std::vector<std::unique_ptr<ClassDecl>> classes;
    bool optionExplicit = false;
};

}  // namespace vbs
