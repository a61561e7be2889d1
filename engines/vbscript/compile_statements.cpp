// Statements: assignments, calls, declarations that run, and the control flow.
#include "engines/vbscript/compiler_impl.h"

namespace vbs::compiling {

void Compiler::block(const Block& b) {
    for (const auto& s : b) statement(*s);
}

void Compiler::statement(const Stmt& s) {
    const SourcePos outer = m_statementPos;
    m_statementPos = s.pos;
    const std::int32_t start = here();
    statementBody(s);
    markResume(start, here());
    m_statementPos = outer;
}

void Compiler::statementBody(const Stmt& s) {
    switch (s.kind) {
    case StmtKind::Assign: assign(s, kModeLet); return;
    case StmtKind::Set: assign(s, kModeSet); return;
    case StmtKind::Call: callStatement(s); return;
    case StmtKind::Dim: dim(s); return;
    case StmtKind::ReDim: redim(s); return;
    case StmtKind::Const:
        if (m_decl) {
            for (const DimItem& item : s.items) m_consts[foldName(item.name)] = constValue(*item.bounds[0]);
        }
        return;
    case StmtKind::Erase:
        for (const DimItem& item : s.items) {
            auto [kind, slot] = variable(item.name, item.pos);
            emit(Op::Erase, item.pos, 0, kind, slot);
        }
        return;
    case StmtKind::If: ifStatement(s); return;
    case StmtKind::Select: selectStatement(s); return;
    case StmtKind::For: forStatement(s); return;
    case StmtKind::ForEach: forEachStatement(s); return;
    case StmtKind::Do: doStatement(s); return;
    case StmtKind::Exit: exitStatement(s); return;
    case StmtKind::With: withStatement(s); return;
    case StmtKind::OnError: emit(Op::OnError, s.pos, 0, s.resumeNext ? 1 : 0); return;
    }
}

void Compiler::withStatement(const Stmt& s) {
    const std::int32_t start = here();
    const std::int32_t slot = newSlot();
    expr(*s.value);
    emit(Op::StoreLocal, s.pos, 0, kModeRaw, slot);
    markResume(start, here());
    m_withSlots.push_back(slot);
    block(s.blocks[0]);
    m_withSlots.pop_back();
    emit(Op::ClearLocal, s.pos, 0, 0, slot);
}

// A variable as an assignment target: (kind, slot).
std::pair<std::uint16_t, std::int32_t> Compiler::variable(const std::u16string& name, SourcePos pos) {
    Resolved r = resolve(name);
    switch (r.kind) {
    case Resolved::Local: return {VarLocal, r.index};
    case Resolved::Global: return {VarGlobal, r.index};
    case Resolved::Unknown: return {VarName, r.index};
    case Resolved::Field: return {VarField, r.index};
    case Resolved::Outer: return {VarOuter, r.index};
    default: compileError(err::IllegalAssignmentCompile, pos, name);
    }
}

void Compiler::store(std::uint16_t kind, std::int32_t slot, std::uint16_t mode, SourcePos pos) {
    static constexpr Op ops[] = {Op::StoreLocal, Op::StoreGlobal, Op::StoreName, Op::StoreField, Op::StoreOuter};
    emit(ops[kind], pos, 0, mode, slot);
}

void Compiler::assign(const Stmt& s, std::uint16_t mode) {
    const Expr& t = *s.target;
    if (t.kind == ExprKind::Me) compileError(err::InvalidMe, t.pos);
    if (t.kind == ExprKind::Name) {
        Resolved member = resolve(t.name);
        if (member.kind == Resolved::Member) {
            // A property of the running object, by its bare name.
            expr(*s.value);
            emit(Op::PutSelf, s.pos, 0, mode, member.index);
            return;
        }
        auto [kind, slot] = variable(t.name, t.pos);
        // x = x & y appends in place.
        const Expr& v = *s.value;
        if (mode == kModeLet && kind != VarName && v.kind == ExprKind::Binary && v.op == BinOp::Concat &&
            v.left->kind == ExprKind::Name && foldName(v.left->name) == foldName(t.name)) {
            expr(*v.right);
            emit(kind == VarLocal ? Op::AppendLocal : Op::AppendGlobal, s.pos, 0, 0, slot);
            return;
        }
        expr(v);
        store(kind, slot, mode, s.pos);
        return;
    }
    if (t.kind == ExprKind::Member) {
        objectExpr(*t.left, {s.value.get()});
        expr(*s.value);
        emit(Op::PutMember, s.pos, 0, mode, memberSite(t.name));
        return;
    }
    if (t.kind != ExprKind::Call) compileError(err::IllegalAssignmentCompile, t.pos);
    const Expr& callee = *t.left;
    const std::uint8_t n = argCount(t.args.size(), t.pos);
    if (callee.kind == ExprKind::Name) {
        Resolved r = resolve(callee.name);
        if (r.kind == Resolved::Member) {
            args(t.args, false);
            expr(*s.value);
            emit(Op::PutSelf, s.pos, n, mode, r.index);
            return;
        }
        if (r.kind == Resolved::Local || r.kind == Resolved::Global || r.kind == Resolved::Unknown ||
            r.kind == Resolved::Field || r.kind == Resolved::Outer) {
            auto [kind, slot] = variable(callee.name, callee.pos);
            (void)slot;
            args(t.args, false);
            expr(*s.value);
            emit(Op::StoreIndex, s.pos, n, static_cast<std::uint16_t>(kind | (mode << 8)), r.index);
            return;
        }
        if (r.kind != Resolved::Item) compileError(err::IllegalAssignmentCompile, t.pos, callee.name);
        emit(Op::LoadItem, t.pos, 0, 0, r.index);
        args(t.args, false);
        expr(*s.value);
        emit(Op::PutMember, s.pos, n, mode, memberSite({}));
        return;
    }
    if (callee.kind == ExprKind::Member) {
        std::vector<const Expr*> after{s.value.get()};
        for (const ExprPtr& a : t.args) after.push_back(a.get());
        objectExpr(*callee.left, after);
        args(t.args, false);
        expr(*s.value);
        emit(Op::PutMember, s.pos, n, mode, memberSite(callee.name));
        return;
    }
    expr(callee);
    args(t.args, false);
    expr(*s.value);
    emit(Op::PutMember, s.pos, n, mode, memberSite({}));
}

void Compiler::callStatement(const Stmt& s) {
    const Expr& t = *s.target;
    if (t.kind == ExprKind::Call) {
        call(t, t.args, true);
    } else if (t.kind == ExprKind::Name || t.kind == ExprKind::Member) {
        // A name alone, or with arguments written without parentheses.
        call(t, s.args, true);
    } else {
        compileError(err::ExpectedStatement, t.pos);
    }
    emit(Op::Pop, s.pos);
}

void Compiler::dim(const Stmt& s) {
    for (const DimItem& item : s.items) {
        if (!item.isArray) continue;
        auto [kind, slot] = variable(item.name, item.pos);
        for (const auto& b : item.bounds) expr(*b);
        emit(Op::DimArray, item.pos, argCount(item.bounds.size(), item.pos), kind, slot);
    }
}

void Compiler::redim(const Stmt& s) {
    for (const DimItem& item : s.items) {
        auto [kind, slot] = variable(item.name, item.pos);
        for (const auto& b : item.bounds) expr(*b);
        emit(Op::ReDim, item.pos, argCount(item.bounds.size(), item.pos),
             static_cast<std::uint16_t>(kind | (s.preserve ? 0x100 : 0)), slot);
    }
}

void Compiler::ifStatement(const Stmt& s) {
    std::vector<std::int32_t> toEnd;
    for (std::size_t i = 0; i < s.conditions.size(); ++i) {
        // An error in the condition goes on into the block, as VBScript does.
        const std::int32_t start = here();
        expr(*s.conditions[i]);
        std::int32_t skip = emit(Op::JumpIfFalse, s.conditions[i]->pos);
        markResume(start, here());
        block(s.blocks[i]);
        if (i + 1 < s.conditions.size() || s.hasElse) toEnd.push_back(emit(Op::Jump, s.pos));
        patch(skip, here());
    }
    if (s.hasElse) block(s.elseBlock);
    for (std::int32_t j : toEnd) patch(j, here());
}

void Compiler::selectStatement(const Stmt& s) {
    const std::int32_t selector = newSlot();
    const std::int32_t start = here();
    expr(*s.value);
    emit(Op::StoreLocal, s.pos, 0, kModeRaw, selector);
    markResume(start, here());
    std::vector<std::int32_t> toEnd;
    const std::uint8_t selectorFlags = isLiteral(*s.value) ? kLeftLiteral : 0;
    for (const CaseClause& clause : s.cases) {
        std::vector<std::int32_t> toBody;
        const std::int32_t itemsStart = here();
        for (const CaseItem& item : clause.items) {
            const std::uint8_t flags = selectorFlags | (isLiteral(*item.value) ? kRightLiteral : 0);
            emit(Op::LoadLocal, item.value->pos, 0, 0, selector);
            expr(*item.value);
            if (item.kind == CaseItem::Range) {
                emit(Op::Ge, item.value->pos, flags);
                std::int32_t skip = emit(Op::JumpIfFalse, item.value->pos);
                emit(Op::LoadLocal, item.upper->pos, 0, 0, selector);
                expr(*item.upper);
                emit(Op::Le, item.upper->pos, selectorFlags | (isLiteral(*item.upper) ? kRightLiteral : 0));
                toBody.push_back(emit(Op::JumpIfTrue, item.upper->pos));
                patch(skip, here());
            } else {
                emit(binaryOp(item.kind == CaseItem::Compare ? item.op : BinOp::Eq), item.value->pos, flags);
                toBody.push_back(emit(Op::JumpIfTrue, item.value->pos));
            }
        }
        std::int32_t next = emit(Op::Jump, s.pos);
        for (std::int32_t j : toBody) patch(j, here());
        // A Case whose test raises under On Error Resume Next is taken.
        markResumeAt(itemsStart, next, here());
        block(clause.body);
        toEnd.push_back(emit(Op::Jump, s.pos));
        patch(next, here());
    }
    if (s.hasElse) block(s.elseBlock);
    for (std::int32_t j : toEnd) patch(j, here());
    emit(Op::ClearLocal, s.pos, 0, 0, selector);
}

std::int32_t Compiler::loop(std::uint16_t kind, std::int32_t slot, std::int32_t hidden) {
    m_proc->loops.push_back({kind, slot, hidden});
    return static_cast<std::int32_t>(m_proc->loops.size() - 1);
}

void Compiler::forStatement(const Stmt& s) {
    const std::int32_t start = here();
    auto [kind, slot] = variable(s.target->name, s.target->pos);
    const std::int32_t hidden = newSlot();
    newSlot();  // the step
    expr(*s.value);
    store(kind, slot, kModeLet, s.pos);
    expr(*s.limit);
    emit(Op::StoreLocal, s.pos, 0, kModeLet, hidden);
    if (s.step) expr(*s.step);
    else pushConst(Value::integer(1), s.pos);
    emit(Op::StoreLocal, s.pos, 0, kModeLet, hidden + 1);
    const std::int32_t info = loop(kind, slot, hidden);
    const std::int32_t init = emit(Op::ForInit, s.pos, 0, static_cast<std::uint16_t>(info));
    markResume(start, here());
    const std::int32_t body = here();
    m_exitFor.emplace_back();
    block(s.blocks[0]);
    emit(Op::ForNext, s.pos, 0, static_cast<std::uint16_t>(info), body);
    patch(init, here());
    for (std::int32_t j : m_exitFor.back()) patch(j, here());
    m_exitFor.pop_back();
}

void Compiler::forEachStatement(const Stmt& s) {
    auto [kind, slot] = variable(s.target->name, s.target->pos);
    const std::int32_t hidden = newSlot();
    const std::int32_t start = here();
    expr(*s.value);
    const std::int32_t info = loop(kind, slot, hidden);
    emit(Op::ForEachInit, s.pos, 0, static_cast<std::uint16_t>(info));
    const std::int32_t initEnd = here();
    const std::int32_t top = here();
    const std::int32_t next = emit(Op::ForEachNext, s.pos, 0, static_cast<std::uint16_t>(info));
    store(kind, slot, kModeRaw, s.pos);
    // A collection that cannot be had (it raised, or is no collection)
    // under On Error Resume Next runs the body once; ForEachNext then
    // finds no iterator and leaves.
    markResumeAt(start, initEnd, here());
    m_exitFor.emplace_back();
    block(s.blocks[0]);
    emit(Op::Jump, s.pos, 0, 0, top);
    patch(next, here());
    for (std::int32_t j : m_exitFor.back()) patch(j, here());
    m_exitFor.pop_back();
    emit(Op::ClearLocal, s.pos, 0, 0, hidden);
}

void Compiler::doStatement(const Stmt& s) {
    const std::int32_t top = here();
    std::int32_t exitJump = -1;
    if (s.test == LoopTest::PreWhile || s.test == LoopTest::PreUntil) {
        expr(*s.value);
        exitJump = emit(s.test == LoopTest::PreWhile ? Op::JumpIfFalse : Op::JumpIfTrue, s.value->pos);
        markResume(top, here());
    }
    m_exitDo.emplace_back();
    block(s.blocks[0]);
    if (s.test == LoopTest::PostWhile || s.test == LoopTest::PostUntil) {
        expr(*s.value);
        emit(s.test == LoopTest::PostWhile ? Op::JumpIfTrue : Op::JumpIfFalse, s.value->pos, 0, 0, top);
    } else {
        emit(Op::Jump, s.pos, 0, 0, top);
    }
    if (exitJump >= 0) patch(exitJump, here());
    for (std::int32_t j : m_exitDo.back()) patch(j, here());
    m_exitDo.pop_back();
}

void Compiler::exitStatement(const Stmt& s) {
    switch (s.exitWhat) {
    case Kw::Do:
        if (m_exitDo.empty()) compileError(err::InvalidExit, s.pos);
        m_exitDo.back().push_back(emit(Op::Jump, s.pos));
        return;
    case Kw::For:
        if (m_exitFor.empty()) compileError(err::InvalidExit, s.pos);
        m_exitFor.back().push_back(emit(Op::Jump, s.pos));
        return;
    case Kw::Sub:
    case Kw::Function:
    case Kw::Property: {
        const ProcKind k = m_decl ? m_decl->kind : ProcKind::Sub;
        const bool property = k == ProcKind::PropertyGet || k == ProcKind::PropertyLet || k == ProcKind::PropertySet;
        const bool ok = m_decl && (s.exitWhat == Kw::Property ? property
                                   : s.exitWhat == Kw::Function ? k == ProcKind::Function
                                                                : k == ProcKind::Sub);
        if (!ok) compileError(err::InvalidExit, s.pos);
        emit(Op::ExitProc, s.pos);
        return;
    }
    default: compileError(err::InvalidExit, s.pos);
    }
}

}  // namespace vbs::compiling
