// Expressions: values, names, member accesses, calls and their arguments.
#include "engines/vbscript/compiler_impl.h"

namespace vbs::compiling {

void Compiler::expr(const Expr& e) {
    switch (e.kind) {
    case ExprKind::Literal: pushConst(e.value, e.pos); return;
    case ExprKind::Name: nameValue(e); return;
    case ExprKind::Member:
        objectExpr(*e.left, {});
        emit(Op::GetMember, e.pos, 0, 0, memberSite(e.name));
        return;
    case ExprKind::Call: call(e, e.args, false); return;
    case ExprKind::Unary:
        if (!e.unaryNot && e.left->kind == ExprKind::Literal && isNumericTag(e.left->value.tag())) {
            pushConst(negate(e.left->value), e.pos);
            return;
        }
        expr(*e.left);
        emit(e.unaryNot ? Op::Not : Op::Neg, e.pos);
        return;
    case ExprKind::Binary: {
        // A left-leaning chain (a + b + c ...) is compiled in a loop, its
        // leftmost operand first, however long it is.
        std::vector<const Expr*> chain;
        const Expr* leftmost = &e;
        while (leftmost->kind == ExprKind::Binary) {
            chain.push_back(leftmost);
            leftmost = leftmost->left.get();
        }
        expr(*leftmost);
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) binaryRest(**it);
        return;
    }
    case ExprKind::Paren: expr(*e.left); return;
    case ExprKind::Missing: emit(Op::PushMissing, e.pos); return;
    case ExprKind::New: emit(Op::NewObject, e.pos, 0, 0, globalSite(e.name)); return;
    case ExprKind::Me:
        if (m_class) {
            emit(Op::LoadMe, e.pos);
        } else if (m_globals.defaultItem() >= 0) {
            // Outside a class Me is the host's default object.
            emit(Op::LoadItem, e.pos, 0, 0, m_globals.defaultItem());
        } else {
            compileError(err::InvalidMe, e.pos);
        }
        return;
    case ExprKind::With:
        if (m_withSlots.empty()) compileError(err::InvalidReference, e.pos);
        emit(Op::LoadLocal, e.pos, 0, 0, m_withSlots.back());
        return;
    }
}

// The operator of e and its right operand, its left operand being on the stack.
void Compiler::binaryRest(const Expr& e) {
    if ((e.op == BinOp::Add || e.op == BinOp::Sub || e.op == BinOp::Mul) && e.right->kind == ExprKind::Literal &&
        !e.right->value.isEmpty()) {
        // x + 1 and the like: one instruction with the constant.
        m_proc->constants.push_back(e.right->value);
        emit(Op::ArithConst, e.pos, static_cast<std::uint8_t>(e.op), 0,
             static_cast<std::int32_t>(m_proc->constants.size() - 1));
        return;
    }
    const std::int32_t right = here();
    expr(*e.right);
    if ((e.op == BinOp::Add || e.op == BinOp::Sub || e.op == BinOp::Mul) && here() == right + 1 &&
        m_proc->code.back().op == Op::LoadLocal) {
        // x * y with y a local: one instruction reading the variable.
        const std::int32_t slot = m_proc->code.back().c;
        m_proc->code.pop_back();
        m_proc->positions.pop_back();
        emit(Op::ArithLocal, e.pos, static_cast<std::uint8_t>(e.op), 0, slot);
        return;
    }
    std::uint8_t flags = (isLiteral(*e.left) ? kLeftLiteral : 0) | (isLiteral(*e.right) ? kRightLiteral : 0);
    emit(binaryOp(e.op), e.pos, flags);
}

namespace {

// Whether any of the expressions names `folded` (a variable a call there
// could change through a ByRef argument) or runs code that sees the
// frame's variables (Eval).
bool mayTouch(const std::vector<const Expr*>& roots, const std::u16string& folded) {
    std::vector<const Expr*> pending(roots.begin(), roots.end());
    while (!pending.empty()) {
        const Expr* e = pending.back();
        pending.pop_back();
        if (!e) continue;
        if (!e->name.empty()) {
            const std::u16string name = foldName(e->name);
            if (name == folded || name == u"eval" || name == u"execute" || name == u"executeglobal") return true;
        }
        pending.push_back(e->left.get());
        pending.push_back(e->right.get());
        for (const ExprPtr& a : e->args) pending.push_back(a.get());
    }
    return false;
}

}  // namespace

// The object of a member access. A named item goes by reference, sparing
// the host object a reference count round trip per call; so does a local
// variable of a procedure (or a With block's object) when nothing between
// loading it and the call (the arguments `after`) can change the variable:
// no other code reaches a procedure's own variables.
void Compiler::objectExpr(const Expr& e, const std::vector<const Expr*>& after) {
    if (e.kind == ExprKind::With && !m_withSlots.empty()) {
        emit(Op::RefLocal, e.pos, 0, 0, m_withSlots.back());
        return;
    }
    if (e.kind == ExprKind::Name) {
        Resolved r = resolve(e.name);
        if (r.kind == Resolved::Item) {
            emit(Op::LoadItemRef, e.pos, 0, 0, r.index);
            return;
        }
        if (r.kind == Resolved::Local && r.index > m_resultSlot && !m_proc->isGlobalCode && !m_proc->runsInOuterFrame &&
            !m_outer && !mayTouch(after, foldName(e.name))) {
            emit(Op::RefLocal, e.pos, 0, 0, r.index);
            return;
        }
    }
    expr(e);
}

Op Compiler::languageOp(std::int32_t lang) {
    switch (lang) {
    case LangEval: return Op::Eval;
    case LangExecute: return Op::Execute;
    case LangExecuteGlobal: return Op::ExecuteGlobal;
    default: return Op::GetRef;
    }
}

void Compiler::nameValue(const Expr& e) {
    Resolved r = resolve(e.name);
    switch (r.kind) {
    case Resolved::Local: emit(Op::LoadLocal, e.pos, 0, 0, r.index); return;
    case Resolved::Const: pushConst(r.value, e.pos); return;
    case Resolved::Global: emit(Op::LoadGlobal, e.pos, 0, 0, r.index); return;
    case Resolved::Proc: emit(Op::CallProc, e.pos, 0, 0, r.index); return;
    case Resolved::Item: emit(Op::LoadItem, e.pos, 0, 0, r.index); return;
    case Resolved::Builtin: emit(Op::CallBuiltin, e.pos, 0, builtinIsSub(r.index) ? 1 : 0, r.index); return;
    case Resolved::Unknown: emit(Op::LoadName, e.pos, 0, 0, r.index); return;
    case Resolved::Field: emit(Op::LoadField, e.pos, 0, 0, r.index); return;
    case Resolved::Member: emit(Op::CallSelf, e.pos, 0, 0, r.index); return;
    case Resolved::Outer: emit(Op::LoadOuter, e.pos, 0, 0, r.index); return;
    case Resolved::Language:
        if (r.index == LangErr) emit(Op::LoadErr, e.pos);
        else emit(languageOp(r.index), e.pos, 0);
        return;
    }
}

// An argument a callee may write back: a plain variable goes by reference.
void Compiler::refArg(const Expr& a) {
    if (a.kind == ExprKind::Name) {
        Resolved r = resolve(a.name);
        switch (r.kind) {
        case Resolved::Local: emit(Op::RefLocal, a.pos, 0, 0, r.index); return;
        case Resolved::Global: emit(Op::RefGlobal, a.pos, 0, 0, r.index); return;
        case Resolved::Unknown: emit(Op::RefName, a.pos, 0, 0, r.index); return;
        case Resolved::Field: emit(Op::RefField, a.pos, 0, 0, r.index); return;
        case Resolved::Outer: emit(Op::RefOuter, a.pos, 0, 0, r.index); return;
        default: break;
        }
    }
    if (a.kind == ExprKind::Call && a.left->kind == ExprKind::Name && !a.args.empty()) {
        // An array element goes by reference too (decided when run: the
        // variable may hold an object instead).
        Resolved r = resolve(a.left->name);
        const bool recursion = r.kind == Resolved::Local && m_decl && m_decl->isFunction && r.index == m_resultSlot;
        std::uint16_t kind = VarLocal;
        switch (r.kind) {
        case Resolved::Local: kind = VarLocal; break;
        case Resolved::Global: kind = VarGlobal; break;
        case Resolved::Field: kind = VarField; break;
        case Resolved::Outer: kind = VarOuter; break;
        case Resolved::Unknown: kind = VarName; break;
        default: kind = 0xFF; break;
        }
        if (kind != 0xFF && !recursion) {
            const std::uint8_t n = argCount(a.args.size(), a.pos);
            // A name unknown here may turn out to be a procedure, whose
            // arguments go by reference.
            args(a.args, kind == VarName);
            if (kind == VarName) emit(Op::RefNameIndex, a.pos, n, 1, r.index);
            else emit(Op::RefIndex, a.pos, n, static_cast<std::uint16_t>(kind | 0x100), r.index);
            return;
        }
    }
    expr(a);
}

void Compiler::args(const std::vector<ExprPtr>& list, bool byRef) {
    for (const auto& a : list) {
        if (byRef) refArg(*a);
        else expr(*a);
    }
}

// name(args), obj.name(args), value(args): a call, an element or a default member.
void Compiler::call(const Expr& e, const std::vector<ExprPtr>& list, bool statement) {
    const Expr& target = e.kind == ExprKind::Call ? *e.left : e;
    const std::uint8_t n = argCount(list.size(), e.pos);
    // With parentheses or as a statement, an object's default member is called.
    const std::uint16_t invoke = statement || e.kind == ExprKind::Call ? 1 : 0;
    if (target.kind == ExprKind::Name) {
        Resolved r = resolve(target.name);
        if (r.kind == Resolved::Local && m_decl && m_decl->isFunction && r.index == m_resultSlot && !list.empty()) {
            // f(x) inside Function f calls it again.
            if (m_class) {
                r.kind = Resolved::Member;
                r.index = m_class->find(foldName(m_decl->name));
            } else {
                r.kind = Resolved::Proc;
                r.index = m_selfGlobal;
            }
        }
        switch (r.kind) {
        case Resolved::Field:
        case Resolved::Outer:
            emit(r.kind == Resolved::Field ? Op::LoadField : Op::LoadOuter, e.pos, 0, 0, r.index);
            if (list.empty() && !invoke) return;
            args(list, false);
            emit(Op::IndexValue, e.pos, n, invoke);
            return;
        case Resolved::Member:
            args(list, true);
            emit(Op::CallSelf, e.pos, n, statement ? 1 : 0, r.index);
            return;
        case Resolved::Language:
            if (r.index == LangErr) {
                emit(Op::LoadErr, e.pos);
                if (list.empty() && e.kind != ExprKind::Call) return;
                args(list, false);
                emit(Op::IndexValue, e.pos, n);
                return;
            }
            args(list, false);
            emit(languageOp(r.index), e.pos, n);
            return;
        case Resolved::Local:
            args(list, false);
            emit(Op::IndexLocal, e.pos, n, invoke, r.index);
            return;
        case Resolved::Global:
            args(list, false);
            emit(Op::IndexGlobal, e.pos, n, invoke, r.index);
            return;
        case Resolved::Proc:
            args(list, true);
            emit(Op::CallProc, e.pos, n, 0, r.index);
            return;
        case Resolved::Builtin:
            args(list, false);
            emit(Op::CallBuiltin, e.pos, n, !statement && builtinIsSub(r.index) ? 1 : 0, r.index);
            return;
        case Resolved::Unknown:
            args(list, true);
            emit(Op::CallName, e.pos, n, invoke, r.index);
            return;
        case Resolved::Item:
            emit(Op::LoadItem, e.pos, 0, 0, r.index);
            if (list.empty()) return;
            args(list, true);
            emit(statement ? Op::CallMember : Op::GetMember, e.pos, n, 0, memberSite({}));
            return;
        case Resolved::Const:
            pushConst(r.value, e.pos);
            if (list.empty()) return;
            args(list, false);
            emit(Op::IndexValue, e.pos, n);
            return;
        }
    }
    if (target.kind == ExprKind::Member) {
        std::vector<const Expr*> after;
        for (const ExprPtr& a : list) after.push_back(a.get());
        objectExpr(*target.left, after);
        args(list, true);
        emit(statement ? Op::CallMember : Op::GetMember, e.pos, n, 0, memberSite(target.name));
        return;
    }
    expr(target);
    if (list.empty() && e.kind != ExprKind::Call) return;
    args(list, false);
    emit(Op::IndexValue, e.pos, n, invoke);
}

}  // namespace vbs::compiling
