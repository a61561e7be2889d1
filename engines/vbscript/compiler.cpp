// The compiler's entry points, its scopes, the declarations of a program and
// the resolution of names; expressions and statements have files of their own.
#include "engines/vbscript/compiler_impl.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <unordered_set>

namespace vbs {

namespace compiling {

[[noreturn]] void compileError(int number, SourcePos pos, std::u16string_view detail) {
    ScriptError e;
    e.scode = errorStatus(number);
    e.description = errorText(number);
    e.detail = detail;
    e.compile = true;
    e.positioned = true;
    e.line = pos.line;
    e.column = pos.column;
    throw e;
}

namespace {

int languageName(std::u16string_view folded) {
    if (folded == u"eval") return LangEval;
    if (folded == u"execute") return LangExecute;
    if (folded == u"executeglobal") return LangExecuteGlobal;
    if (folded == u"getref") return LangGetRef;
    if (folded == u"err") return LangErr;
    return -1;
}

}  // namespace

CompiledChunk Compiler::program(Program& prog) {
    CompiledChunk out;
    // A procedure defined twice in one text: the last definition stands.
    // (Sets keep this linear: long scripts define thousands of procedures.)
    {
        std::unordered_set<std::u16string> later;
        std::vector<std::size_t> dropped;
        for (std::size_t i = prog.procs.size(); i-- > 0;) {
            if (!later.insert(foldName(prog.procs[i]->name)).second) dropped.push_back(i);
        }
        for (const std::size_t i : dropped) prog.procs.erase(prog.procs.begin() + static_cast<std::ptrdiff_t>(i));
    }
    std::vector<std::u16string> procNames;
    procNames.reserve(prog.procs.size());
    for (auto& proc : prog.procs) procNames.push_back(foldName(proc->name));
    // Global declarations first, so procedures anywhere in the text see them.
    std::vector<std::int32_t> classIndex;
    for (auto& decl : prog.classes) {
        std::u16string folded = foldName(decl->name);
        std::int32_t g = m_globals.find(folded);
        if (g >= 0) compileError(err::NameRedefined, decl->pos);
        for (std::size_t i = 0; i < prog.procs.size(); ++i) {
            if (procNames[i] == folded) compileError(err::NameRedefined, prog.procs[i]->pos);
        }
        classIndex.push_back(m_globals.add(decl->name, folded, Globals::Kind::Class));
    }
    std::vector<std::int32_t> procIndex;
    std::unordered_set<std::int32_t> procSeen;
    for (std::size_t i = 0; i < prog.procs.size(); ++i) {
        auto& decl = prog.procs[i];
        std::int32_t g = m_globals.find(procNames[i]);
        if (g >= 0 && m_globals.entry(g).kind != Globals::Kind::Procedure) compileError(err::NameRedefined, decl->pos);
        if (g >= 0 && procSeen.count(g)) compileError(err::NameRedefined, decl->pos);
        if (g < 0) g = m_globals.add(decl->name, procNames[i], Globals::Kind::Procedure);
        procSeen.insert(g);
        procIndex.push_back(g);
    }
    if (!m_outer) declareGlobals(prog.globals);

    for (std::size_t i = 0; i < prog.procs.size(); ++i) {
        out.procedures.push_back(procedure(*prog.procs[i], procIndex[i]));
    }
    std::vector<std::shared_ptr<ClassDef>> classes;
    for (auto& decl : prog.classes) classes.push_back(classDef(*decl));

    const ClassDef* outerClass = m_class;
    auto code = std::make_shared<Procedure>();
    code->isGlobalCode = !m_outer;
    code->runsInOuterFrame = m_outer != nullptr;
    m_class = const_cast<ClassDef*>(outerClass);
    begin(code.get(), nullptr);
    if (m_outer) declareLocals(prog.globals);
    block(prog.globals);
    emit(Op::Return, {});
    finish();
    out.globalCode = std::move(code);
    // Publish the procedures and classes only once everything compiled.
    for (std::size_t i = 0; i < prog.procs.size(); ++i) {
        Globals::Entry& e = m_globals.entry(procIndex[i]);
        e.proc = out.procedures[i];
        e.isPrivate = prog.procs[i]->isPrivate;
    }
    for (std::size_t i = 0; i < classes.size(); ++i) m_globals.entry(classIndex[i]).cls = classes[i];
    return out;
}

std::shared_ptr<Procedure> Compiler::expression(Expr& e) {
    auto code = std::make_shared<Procedure>();
    code->isGlobalCode = !m_outer;
    code->runsInOuterFrame = m_outer != nullptr;
    begin(code.get(), nullptr);
    expr(e);
    emit(Op::StoreLocal, e.pos, 0, kModeRaw, 0);
    emit(Op::Return, e.pos);
    finish();
    return code;
}

// ---- scopes ----------------------------------------------------------
void Compiler::begin(Procedure* proc, const ProcDecl* decl) {
    m_proc = proc;
    m_decl = decl;
    m_locals.clear();
    m_consts.clear();
    m_sites.clear();
    m_dimmed.clear();
    m_exitDo.clear();
    m_exitFor.clear();
    m_withSlots.clear();
    static std::atomic<std::uint64_t> serials{0};
    proc->serial = ++serials;
    proc->source = m_source;
    proc->optionExplicit = m_explicit;
    proc->owner = m_class;
    proc->localCount = 1;
    if (decl) {
        proc->name = decl->name;
        proc->isFunction = decl->isFunction;
        proc->isPrivate = decl->isPrivate;
        for (const Param& p : decl->params) {
            std::u16string folded = foldName(p.name);
            if (m_locals.count(folded)) compileError(err::NameRedefined, decl->pos);
            m_locals[folded] = static_cast<std::int32_t>(proc->byVal.size());
            proc->byVal.push_back(p.byVal ? 1 : 0);
            if (p.byVal) proc->anyByVal = true;
            proc->paramNames.push_back(p.name);
        }
        // The result slot follows the parameters; in a Function its name refers to it.
        m_resultSlot = static_cast<std::int32_t>(proc->byVal.size());
        proc->localCount = m_resultSlot + 1;
        if (decl->isFunction) m_locals.emplace(foldName(decl->name), m_resultSlot);
    } else {
        m_resultSlot = 0;
    }
}

namespace {

// How deep the code's operand stack gets, counted along the instructions in
// order: statements start and end with it empty, so the order of the text is
// enough for a bound. The interpreter keeps this much room above the locals.
std::int32_t operandDepth(const std::vector<Instr>& code) {
    std::int64_t depth = 0, most = 0;
    for (const Instr& in : code) {
        const std::int64_t a = in.a;
        switch (in.op) {
        case Op::PushConst: case Op::PushEmpty: case Op::PushMissing:
        case Op::LoadLocal: case Op::RefLocal: case Op::LoadGlobal: case Op::RefGlobal:
        case Op::LoadName: case Op::RefName: case Op::LoadItem: case Op::LoadItemRef:
        case Op::LoadField: case Op::RefField: case Op::LoadMe: case Op::NewObject:
        case Op::LoadOuter: case Op::RefOuter: case Op::LoadErr: case Op::ForEachNext:
            ++depth;
            break;
        case Op::CallProc: case Op::CallName: case Op::CallBuiltin: case Op::IndexLocal: case Op::IndexGlobal:
        case Op::RefIndex: case Op::RefNameIndex: case Op::CallSelf: case Op::Eval: case Op::Execute: case Op::ExecuteGlobal: case Op::GetRef:
            depth += 1 - a;
            break;
        case Op::IndexValue: case Op::GetMember: case Op::CallMember: depth -= a; break;
        case Op::StoreIndex: case Op::PutSelf: depth -= a + 1; break;
        case Op::PutMember: depth -= a + 2; break;
        case Op::DimArray: case Op::ReDim: depth -= a; break;
        case Op::Neg: case Op::Not: case Op::ArithConst: case Op::ArithLocal: case Op::Jump:
        case Op::ForInit: case Op::ForNext: case Op::ClearLocal: case Op::Erase: case Op::OnError:
        case Op::Nop: case Op::Return:
            break;
        default:  // the stores, Pop, the operators, the conditional jumps, Exit (the result)
            --depth;
            break;
        }
        if (depth < 0) depth = 0;
        most = std::max(most, depth);
    }
    return static_cast<std::int32_t>(std::min<std::int64_t>(most, INT32_MAX));
}

}  // namespace

void Compiler::finish() {
    m_proc->maxTemps = operandDepth(m_proc->code);
    m_proc->code.shrink_to_fit();
    m_proc->resumeAt.resize(m_proc->code.size(), -1);
    for (std::size_t i = 0; i < m_proc->resumeAt.size(); ++i) {
        if (m_proc->resumeAt[i] < 0) m_proc->resumeAt[i] = static_cast<std::int32_t>(i + 1);
    }
    // What Execute and Eval run inside this procedure may name.
    m_proc->localNames.insert(m_locals.begin(), m_locals.end());
    m_proc->localConsts.insert(m_consts.begin(), m_consts.end());
    for (const NameSite& site : m_proc->names) {
        if (site.localSlot >= 0 && !site.outer) m_proc->siteSlots.emplace(site.folded, site.localSlot);
    }
}

std::shared_ptr<Procedure> Compiler::procedure(ProcDecl& decl, std::int32_t globalIndex) {
    auto proc = std::make_shared<Procedure>();
    m_selfGlobal = globalIndex;
    begin(proc.get(), &decl);
    declareLocals(decl.body);
    block(decl.body);
    if (!m_proc->code.empty() && m_proc->code.back().op == Op::StoreLocal && m_proc->code.back().c == m_resultSlot &&
        m_proc->code.back().b <= kModeSet) {
        // The result's last assignment returns at once; the Return
        // stays for the jumps that reach the end.
        m_proc->code.back().op = Op::StoreReturn;
    }
    emit(Op::Return, decl.pos);
    finish();
    m_selfGlobal = -1;
    return proc;
}

// The member table, then each method compiled against it.
std::shared_ptr<ClassDef> Compiler::classDef(ClassDecl& decl) {
    std::shared_ptr<ClassDef> def = declareClass(decl);
    for (const DimItem& c : decl.consts) {
        std::u16string folded = foldName(c.name);
        if (def->consts.count(folded) || def->find(folded) >= 0) compileError(err::NameRedefined, c.pos);
        m_class = def.get();
        def->consts[folded] = constValue(*c.bounds[0]);
    }
    m_class = def.get();
    for (auto& method : decl.methods) {
        std::shared_ptr<Procedure> proc = procedure(*method, -1);
        std::u16string folded = foldName(method->name);
        ClassMember& m = def->members[static_cast<std::size_t>(def->find(folded))];
        switch (method->kind) {
        case ProcKind::Sub:
        case ProcKind::Function: m.method = proc; break;
        case ProcKind::PropertyGet:
            m.get = proc;
            m.getField = accessedField(*proc, true);
            break;
        case ProcKind::PropertyLet:
            m.let = proc;
            m.letField = accessedField(*proc, false);
            break;
        case ProcKind::PropertySet: m.set = proc; break;
        }
        if (folded == u"class_initialize") def->initialize = proc;
        if (folded == u"class_terminate") def->terminate = proc;
    }
    m_class = nullptr;
    return def;
}

// The field a trivial accessor reads (Get: "P = field") or writes
// (Let: "field = value"), or -1.
std::int32_t Compiler::accessedField(const Procedure& p, bool get) {
    const std::vector<Instr>& c = p.code;
    if (c.size() != 3 || c[2].op != Op::Return) return -1;
    if (get && p.paramCount() == 0 && c[0].op == Op::LoadField &&
        (c[1].op == Op::StoreLocal || c[1].op == Op::StoreReturn) && c[1].b == kModeLet &&
        c[1].c == 0) {
        return c[0].c;
    }
    if (!get && p.paramCount() == 1 && c[0].op == Op::LoadLocal && c[0].c == 0 && c[1].op == Op::StoreField &&
        c[1].b == kModeLet) {
        return c[1].c;
    }
    return -1;
}

// Dim, ReDim and Const anywhere in a procedure declare for all of it.
void Compiler::declareLocals(const Block& b) {
    for (const auto& s : b) {
        switch (s->kind) {
        case StmtKind::Dim:
        case StmtKind::ReDim:
            for (const DimItem& item : s->items) {
                std::u16string folded = foldName(item.name);
                if (m_locals.count(folded)) {
                    if (s->kind == StmtKind::Dim && m_dimmed.count(folded)) compileError(err::NameRedefined, item.pos);
                    continue;
                }
                if (s->kind == StmtKind::ReDim && isOuterName(folded)) continue;
                m_locals[folded] = newSlot();
                if (s->kind == StmtKind::Dim) m_dimmed.insert({folded, true});
            }
            break;
        case StmtKind::Const:
            for (const DimItem& item : s->items) m_consts[foldName(item.name)] = constValue(*item.bounds[0]);
            break;
        default: break;
        }
        for (const Block& inner : s->blocks) declareLocals(inner);
        declareLocals(s->elseBlock);
        for (const CaseClause& c : s->cases) declareLocals(c.body);
    }
}

void Compiler::declareGlobal(const std::u16string& name, SourcePos pos, Globals::Kind kind, bool redefineCheck) {
    std::u16string folded = foldName(name);
    std::int32_t g = m_globals.find(folded);
    if (g >= 0) {
        if (redefineCheck && (m_globals.entry(g).kind == Globals::Kind::Procedure ||
                              m_globals.entry(g).kind == Globals::Kind::Class)) {
            compileError(err::NameRedefined, pos);
        }
        return;
    }
    m_globals.add(name, std::move(folded), kind);
}

void Compiler::declareGlobals(const Block& b) {
    for (const auto& s : b) {
        switch (s->kind) {
        case StmtKind::Dim:
        case StmtKind::ReDim:
            for (const DimItem& item : s->items) {
                // Dim of one name twice in the same text.
                if (s->kind == StmtKind::Dim && !m_dimmed.insert({foldName(item.name), true}).second) {
                    compileError(err::NameRedefined, item.pos);
                }
                declareGlobal(item.name, item.pos, Globals::Kind::Variable, true);
            }
            break;
        case StmtKind::Const:
            for (const DimItem& item : s->items) {
                std::u16string folded = foldName(item.name);
                Value v = constValue(*item.bounds[0]);
                std::int32_t g = m_globals.find(folded);
                if (g < 0) g = m_globals.add(item.name, folded, Globals::Kind::Constant);
                else if (m_globals.entry(g).kind != Globals::Kind::Constant) compileError(err::NameRedefined, item.pos);
                m_globals.value(g) = v;
            }
            break;
        case StmtKind::Assign:
        case StmtKind::Set:
        case StmtKind::For:
        case StmtKind::ForEach:
            // Without Option Explicit, assigning a name declares it.
            if (!m_explicit && s->target && s->target->kind == ExprKind::Name && !isBuiltinName(s->target->name)) {
                declareGlobal(s->target->name, s->pos, Globals::Kind::Variable, false);
            }
            break;
        default: break;
        }
        for (const Block& inner : s->blocks) declareGlobals(inner);
        declareGlobals(s->elseBlock);
        for (const CaseClause& c : s->cases) declareGlobals(c.body);
    }
}

bool Compiler::isBuiltinName(const std::u16string& name) {
    std::u16string folded = foldName(name);
    Value v;
    return findBuiltin(folded) >= 0 || findConstant(folded, v) || languageName(folded) >= 0;
}

// A name ReDim finds outside the procedure: a global, a class member or
// a variable of the frame that runs Execute.
bool Compiler::isOuterName(const std::u16string& folded) const {
    if (m_globals.find(folded) >= 0) return true;
    if (m_class && m_class->find(folded) >= 0) return true;
    return m_outer && (m_outer->localNames.count(folded) || m_outer->siteSlots.count(folded));
}

// A constant expression: literals, other constants and operators on them.
Value Compiler::constValue(const Expr& e) {
    try {
        switch (e.kind) {
        case ExprKind::Literal: return e.value;
        case ExprKind::Paren: return constValue(*e.left);
        case ExprKind::Unary: return e.unaryNot ? logicalNot(constValue(*e.left)) : negate(constValue(*e.left));
        case ExprKind::Binary: {
            // Folded along the left-leaning chain in a loop, however long it is.
            std::vector<const Expr*> chain;
            const Expr* leftmost = &e;
            while (leftmost->kind == ExprKind::Binary) {
                if (leftmost->op == BinOp::Is) compileError(err::ExpectedLiteral, e.pos);
                chain.push_back(leftmost);
                leftmost = leftmost->left.get();
            }
            Value v = constValue(*leftmost);
            for (auto it = chain.rbegin(); it != chain.rend(); ++it) v = binary((*it)->op, v, constValue(*(*it)->right));
            return v;
        }
        case ExprKind::Name: {
            // Only constants: no name site (there may be no procedure to hold one yet).
            Value v;
            if (constantNamed(foldName(e.name), v)) return v;
            break;
        }
        default: break;
        }
    } catch (const ScriptError&) {
    }
    compileError(err::ExpectedLiteral, e.pos);
}

bool Compiler::constantNamed(const std::u16string& folded, Value& out) const {
    if (m_locals.count(folded)) return false;
    if (auto it = m_consts.find(folded); it != m_consts.end()) return out = it->second, true;
    if (m_outer) {
        if (m_outer->localNames.count(folded)) return false;
        if (auto it = m_outer->localConsts.find(folded); it != m_outer->localConsts.end()) return out = it->second, true;
    }
    if (m_class) {
        if (auto it = m_class->consts.find(folded); it != m_class->consts.end()) return out = it->second, true;
        if (m_class->find(folded) >= 0) return false;
    }
    if (std::int32_t g = m_globals.find(folded); g >= 0) {
        if (m_globals.entry(g).kind != Globals::Kind::Constant) return false;
        out = m_globals.value(g);
        return true;
    }
    return findBuiltin(folded) < 0 && findConstant(folded, out);
}

Resolved Compiler::resolve(const std::u16string& name) {
    Resolved r;
    std::u16string folded = foldName(name);
    if (auto it = m_locals.find(folded); it != m_locals.end()) {
        r.kind = Resolved::Local;
        r.index = it->second;
        return r;
    }
    if (auto it = m_consts.find(folded); it != m_consts.end()) {
        r.kind = Resolved::Const;
        r.value = it->second;
        return r;
    }
    if (m_outer) {
        if (auto it = m_outer->localNames.find(folded); it != m_outer->localNames.end()) {
            r.kind = Resolved::Outer;
            r.index = it->second;
            return r;
        }
        if (auto it = m_outer->localConsts.find(folded); it != m_outer->localConsts.end()) {
            r.kind = Resolved::Const;
            r.value = it->second;
            return r;
        }
    }
    if (m_class) {
        if (auto it = m_class->consts.find(folded); it != m_class->consts.end()) {
            r.kind = Resolved::Const;
            r.value = it->second;
            return r;
        }
        if (std::int32_t m = m_class->find(folded); m >= 0) {
            const ClassMember& member = m_class->members[static_cast<std::size_t>(m)];
            r.kind = member.kind == ClassMember::Field ? Resolved::Field : Resolved::Member;
            r.index = member.kind == ClassMember::Field ? member.field : m;
            return r;
        }
    }
    if (std::int32_t g = m_globals.find(folded); g >= 0) {
        r.index = g;
        switch (m_globals.entry(g).kind) {
        case Globals::Kind::Variable: r.kind = Resolved::Global; return r;
        case Globals::Kind::Constant: r.kind = Resolved::Const; r.value = m_globals.value(g); return r;
        case Globals::Kind::Procedure: r.kind = Resolved::Proc; return r;
        case Globals::Kind::NamedItem: r.kind = Resolved::Item; return r;
        case Globals::Kind::Class: break;  // not a value: found by name when run
        }
    }
    if (int b = findBuiltin(folded); b >= 0) {
        r.kind = Resolved::Builtin;
        r.index = b;
        return r;
    }
    if (findConstant(folded, r.value)) {
        r.kind = Resolved::Const;
        return r;
    }
    if (int lang = languageName(folded); lang >= 0) {
        r.kind = Resolved::Language;
        r.index = lang;
        return r;
    }
    r.kind = Resolved::Unknown;
    r.index = site(name, folded);
    return r;
}

std::int32_t Compiler::site(const std::u16string& name, const std::u16string& folded) {
    if (auto it = m_sites.find(folded); it != m_sites.end()) return it->second;
    NameSite s;
    s.name = name;
    s.folded = folded;
    if (auto it = m_outer ? m_outer->siteSlots.find(folded) : decltype(m_outer->siteSlots)::const_iterator();
        m_outer && it != m_outer->siteSlots.end()) {
        // The running frame's own variable of that name.
        s.localSlot = it->second;
        s.outer = true;
    } else {
        s.localSlot = newSlot();
    }
    m_proc->names.push_back(std::move(s));
    std::int32_t index = static_cast<std::int32_t>(m_proc->names.size() - 1);
    m_sites[folded] = index;
    return index;
}

// A name looked up only in the global table (a class for New).
std::int32_t Compiler::globalSite(const std::u16string& name) {
    NameSite s;
    s.name = name;
    s.folded = foldName(name);
    m_proc->names.push_back(std::move(s));
    return static_cast<std::int32_t>(m_proc->names.size() - 1);
}

}  // namespace compiling

std::u16string SourceInfo::lineText(std::uint32_t line) const {
    std::size_t start = 0;
    for (std::uint32_t i = 0; i < line; ++i) {
        std::size_t nl = text.find_first_of(u"\r\n", start);
        if (nl == std::u16string::npos) return {};
        start = nl + (text[nl] == u'\r' && nl + 1 < text.size() && text[nl + 1] == u'\n' ? 2 : 1);
    }
    std::size_t end = text.find_first_of(u"\r\n", start);
    return text.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
}

CompiledChunk compileProgram(Program& program, Globals& globals, std::shared_ptr<const SourceInfo> source,
                             const Procedure* outer) {
    return compiling::Compiler(globals, std::move(source), program.optionExplicit || (outer && outer->optionExplicit), outer)
        .program(program);
}

std::shared_ptr<Procedure> compileExpression(Expr& expr, Globals& globals, std::shared_ptr<const SourceInfo> source,
                                             const Procedure* outer) {
    return compiling::Compiler(globals, std::move(source), outer && outer->optionExplicit, outer).expression(expr);
}

}  // namespace vbs
