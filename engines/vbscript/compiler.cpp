#include "engines/vbscript/compiler.h"

#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/runtime/builtins.h"

#include <atomic>
#include <unordered_map>

namespace vbs {

namespace {

[[noreturn]] void compileError(int number, SourcePos pos, std::u16string_view detail = {}) {
    ScriptError e;
    e.scode = errorStatus(number);
    e.description = errorText(number);
    if (!detail.empty()) e.description += u": '" + std::u16string(detail) + u"'";
    e.compile = true;
    e.positioned = true;
    e.line = pos.line;
    e.column = pos.column;
    throw e;
}

Op binaryOp(BinOp op) {
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

int languageName(std::u16string_view folded) {
    if (folded == u"eval") return LangEval;
    if (folded == u"execute") return LangExecute;
    if (folded == u"executeglobal") return LangExecuteGlobal;
    if (folded == u"getref") return LangGetRef;
    if (folded == u"err") return LangErr;
    return -1;
}

class Compiler {
public:
    Compiler(Globals& globals, std::shared_ptr<const SourceInfo> source, bool optionExplicit, const Procedure* outer)
        : m_globals(globals), m_source(std::move(source)), m_explicit(optionExplicit), m_outer(outer) {
        if (outer) m_class = outer->owner;
    }

    CompiledChunk program(Program& prog) {
        CompiledChunk out;
        // Global declarations first, so procedures anywhere in the text see them.
        std::vector<std::int32_t> classIndex;
        for (auto& decl : prog.classes) {
            std::u16string folded = foldName(decl->name);
            std::int32_t g = m_globals.find(folded);
            if (g >= 0) compileError(err::NameRedefined, decl->pos);
            for (auto& proc : prog.procs) {
                if (foldName(proc->name) == folded) compileError(err::NameRedefined, proc->pos);
            }
            classIndex.push_back(m_globals.add(decl->name, folded, Globals::Kind::Class));
        }
        std::vector<std::int32_t> procIndex;
        for (auto& decl : prog.procs) {
            std::u16string folded = foldName(decl->name);
            std::int32_t g = m_globals.find(folded);
            if (g >= 0 && m_globals.entry(g).kind != Globals::Kind::Procedure) compileError(err::NameRedefined, decl->pos);
            for (std::int32_t earlier : procIndex) {
                if (earlier == g) compileError(err::NameRedefined, decl->pos);
            }
            if (g < 0) g = m_globals.add(decl->name, folded, Globals::Kind::Procedure);
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

    std::shared_ptr<Procedure> expression(Expr& e) {
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

private:
    // ---- scopes ----------------------------------------------------------
    void begin(Procedure* proc, const ProcDecl* decl) {
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

    void finish() {
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

    // Instructions from..to-1 not yet inside a statement go on, after an
    // error under On Error Resume Next, at to.
    void markResume(std::int32_t from, std::int32_t to) {
        std::vector<std::int32_t>& r = m_proc->resumeAt;
        r.resize(m_proc->code.size(), -1);
        for (std::int32_t i = from; i < to; ++i) {
            if (r[static_cast<std::size_t>(i)] < 0) r[static_cast<std::size_t>(i)] = to;
        }
    }

    std::int32_t newSlot() { return m_proc->localCount++; }

    std::shared_ptr<Procedure> procedure(ProcDecl& decl, std::int32_t globalIndex) {
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
    std::shared_ptr<ClassDef> classDef(ClassDecl& decl) {
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
    static std::int32_t accessedField(const Procedure& p, bool get) {
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
    void declareLocals(const Block& b) {
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

    void declareGlobal(const std::u16string& name, SourcePos pos, Globals::Kind kind, bool redefineCheck) {
        std::u16string folded = foldName(name);
        std::int32_t g = m_globals.find(folded);
        if (g >= 0) {
            if (redefineCheck && m_globals.entry(g).kind == Globals::Kind::Procedure) compileError(err::NameRedefined, pos);
            return;
        }
        m_globals.add(name, std::move(folded), kind);
    }

    void declareGlobals(const Block& b) {
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

    static bool isBuiltinName(const std::u16string& name) {
        std::u16string folded = foldName(name);
        Value v;
        return findBuiltin(folded) >= 0 || findConstant(folded, v) || languageName(folded) >= 0;
    }

    // A name ReDim finds outside the procedure: a global, a class member or
    // a variable of the frame that runs Execute.
    bool isOuterName(const std::u16string& folded) const {
        if (m_globals.find(folded) >= 0) return true;
        if (m_class && m_class->find(folded) >= 0) return true;
        return m_outer && (m_outer->localNames.count(folded) || m_outer->siteSlots.count(folded));
    }

    // A constant expression: literals, other constants and operators on them.
    Value constValue(const Expr& e) {
        try {
            switch (e.kind) {
            case ExprKind::Literal: return e.value;
            case ExprKind::Paren: return constValue(*e.left);
            case ExprKind::Unary: return e.unaryNot ? logicalNot(constValue(*e.left)) : negate(constValue(*e.left));
            case ExprKind::Binary:
                if (e.op == BinOp::Is) break;
                return binary(e.op, constValue(*e.left), constValue(*e.right));
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

    bool constantNamed(const std::u16string& folded, Value& out) const {
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

    Resolved resolve(const std::u16string& name) {
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

    std::int32_t site(const std::u16string& name, const std::u16string& folded) {
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
    std::int32_t globalSite(const std::u16string& name) {
        NameSite s;
        s.name = name;
        s.folded = foldName(name);
        m_proc->names.push_back(std::move(s));
        return static_cast<std::int32_t>(m_proc->names.size() - 1);
    }

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

    // ---- expressions -----------------------------------------------------
    static bool isLiteral(const Expr& e) {
        if (e.kind == ExprKind::Literal) return true;
        if (e.kind == ExprKind::Unary && !e.unaryNot) return isLiteral(*e.left);
        return false;
    }

    void expr(const Expr& e) {
        switch (e.kind) {
        case ExprKind::Literal: pushConst(e.value, e.pos); return;
        case ExprKind::Name: nameValue(e); return;
        case ExprKind::Member:
            objectExpr(*e.left);
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
            if ((e.op == BinOp::Add || e.op == BinOp::Sub || e.op == BinOp::Mul) &&
                e.right->kind == ExprKind::Literal && !e.right->value.isEmpty()) {
                // x + 1 and the like: one instruction with the constant.
                expr(*e.left);
                m_proc->constants.push_back(e.right->value);
                emit(Op::ArithConst, e.pos, static_cast<std::uint8_t>(e.op), 0,
                     static_cast<std::int32_t>(m_proc->constants.size() - 1));
                return;
            }
            expr(*e.left);
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
            return;
        }
        case ExprKind::Paren: expr(*e.left); return;
        case ExprKind::Missing: emit(Op::PushMissing, e.pos); return;
        case ExprKind::New: emit(Op::NewObject, e.pos, 0, 0, globalSite(e.name)); return;
        case ExprKind::Me:
            if (!m_class) compileError(err::InvalidMe, e.pos);
            emit(Op::LoadMe, e.pos);
            return;
        case ExprKind::With:
            if (m_withSlots.empty()) compileError(err::InvalidReference, e.pos);
            emit(Op::LoadLocal, e.pos, 0, 0, m_withSlots.back());
            return;
        }
    }

    // The object of a member access; a named item goes by reference, sparing
    // the host object a reference count round trip per call.
    void objectExpr(const Expr& e) {
        if (e.kind == ExprKind::Name) {
            Resolved r = resolve(e.name);
            if (r.kind == Resolved::Item) {
                emit(Op::LoadItemRef, e.pos, 0, 0, r.index);
                return;
            }
        }
        expr(e);
    }

    Op languageOp(std::int32_t lang) {
        switch (lang) {
        case LangEval: return Op::Eval;
        case LangExecute: return Op::Execute;
        case LangExecuteGlobal: return Op::ExecuteGlobal;
        default: return Op::GetRef;
        }
    }

    void nameValue(const Expr& e) {
        Resolved r = resolve(e.name);
        switch (r.kind) {
        case Resolved::Local: emit(Op::LoadLocal, e.pos, 0, 0, r.index); return;
        case Resolved::Const: pushConst(r.value, e.pos); return;
        case Resolved::Global: emit(Op::LoadGlobal, e.pos, 0, 0, r.index); return;
        case Resolved::Proc: emit(Op::CallProc, e.pos, 0, 0, r.index); return;
        case Resolved::Item: emit(Op::LoadItem, e.pos, 0, 0, r.index); return;
        case Resolved::Builtin: emit(Op::CallBuiltin, e.pos, 0, 0, r.index); return;
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
    void refArg(const Expr& a) {
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
        expr(a);
    }

    void args(const std::vector<ExprPtr>& list, bool byRef) {
        for (const auto& a : list) {
            if (byRef) refArg(*a);
            else expr(*a);
        }
    }

    // name(args), obj.name(args), value(args): a call, an element or a default member.
    void call(const Expr& e, const std::vector<ExprPtr>& list, bool statement) {
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
                emit(Op::CallBuiltin, e.pos, n, 0, r.index);
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
            objectExpr(*target.left);
            args(list, true);
            emit(statement ? Op::CallMember : Op::GetMember, e.pos, n, 0, memberSite(target.name));
            return;
        }
        expr(target);
        if (list.empty() && e.kind != ExprKind::Call) return;
        args(list, false);
        emit(Op::IndexValue, e.pos, n, invoke);
    }

    // ---- statements ------------------------------------------------------
    void block(const Block& b) {
        for (const auto& s : b) statement(*s);
    }

    void statement(const Stmt& s) {
        const SourcePos outer = m_statementPos;
        m_statementPos = s.pos;
        const std::int32_t start = here();
        statementBody(s);
        markResume(start, here());
        m_statementPos = outer;
    }

    void statementBody(const Stmt& s) {
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

    void withStatement(const Stmt& s) {
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
    std::pair<std::uint16_t, std::int32_t> variable(const std::u16string& name, SourcePos pos) {
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

    void store(std::uint16_t kind, std::int32_t slot, std::uint16_t mode, SourcePos pos) {
        static constexpr Op ops[] = {Op::StoreLocal, Op::StoreGlobal, Op::StoreName, Op::StoreField, Op::StoreOuter};
        emit(ops[kind], pos, 0, mode, slot);
    }

    void assign(const Stmt& s, std::uint16_t mode) {
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
            objectExpr(*t.left);
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
            objectExpr(*callee.left);
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

    void callStatement(const Stmt& s) {
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

    void dim(const Stmt& s) {
        for (const DimItem& item : s.items) {
            if (!item.isArray) continue;
            auto [kind, slot] = variable(item.name, item.pos);
            for (const auto& b : item.bounds) expr(*b);
            emit(Op::DimArray, item.pos, argCount(item.bounds.size(), item.pos), kind, slot);
        }
    }

    void redim(const Stmt& s) {
        for (const DimItem& item : s.items) {
            auto [kind, slot] = variable(item.name, item.pos);
            for (const auto& b : item.bounds) expr(*b);
            emit(Op::ReDim, item.pos, argCount(item.bounds.size(), item.pos),
                 static_cast<std::uint16_t>(kind | (s.preserve ? 0x100 : 0)), slot);
        }
    }

    void ifStatement(const Stmt& s) {
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

    void selectStatement(const Stmt& s) {
        const std::int32_t selector = newSlot();
        const std::int32_t start = here();
        expr(*s.value);
        emit(Op::StoreLocal, s.pos, 0, kModeRaw, selector);
        markResume(start, here());
        std::vector<std::int32_t> toEnd;
        const std::uint8_t selectorFlags = isLiteral(*s.value) ? kLeftLiteral : 0;
        for (const CaseClause& clause : s.cases) {
            std::vector<std::int32_t> toBody;
            for (const CaseItem& item : clause.items) {
                const std::int32_t itemStart = here();
                struct Mark {
                    Compiler& c;
                    std::int32_t from;
                    ~Mark() { c.markResume(from, c.here()); }
                } mark{*this, itemStart};
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
            block(clause.body);
            toEnd.push_back(emit(Op::Jump, s.pos));
            patch(next, here());
        }
        if (s.hasElse) block(s.elseBlock);
        for (std::int32_t j : toEnd) patch(j, here());
        emit(Op::ClearLocal, s.pos, 0, 0, selector);
    }

    std::int32_t loop(std::uint16_t kind, std::int32_t slot, std::int32_t hidden) {
        m_proc->loops.push_back({kind, slot, hidden});
        return static_cast<std::int32_t>(m_proc->loops.size() - 1);
    }

    void forStatement(const Stmt& s) {
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

    void forEachStatement(const Stmt& s) {
        auto [kind, slot] = variable(s.target->name, s.target->pos);
        const std::int32_t hidden = newSlot();
        expr(*s.value);
        const std::int32_t info = loop(kind, slot, hidden);
        emit(Op::ForEachInit, s.pos, 0, static_cast<std::uint16_t>(info));
        const std::int32_t top = here();
        const std::int32_t next = emit(Op::ForEachNext, s.pos, 0, static_cast<std::uint16_t>(info));
        store(kind, slot, kModeRaw, s.pos);
        m_exitFor.emplace_back();
        block(s.blocks[0]);
        emit(Op::Jump, s.pos, 0, 0, top);
        patch(next, here());
        for (std::int32_t j : m_exitFor.back()) patch(j, here());
        m_exitFor.pop_back();
        emit(Op::ClearLocal, s.pos, 0, 0, hidden);
    }

    void doStatement(const Stmt& s) {
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

    void exitStatement(const Stmt& s) {
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

}  // namespace

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
    return Compiler(globals, std::move(source), program.optionExplicit || (outer && outer->optionExplicit), outer)
        .program(program);
}

std::shared_ptr<Procedure> compileExpression(Expr& expr, Globals& globals, std::shared_ptr<const SourceInfo> source,
                                             const Procedure* outer) {
    return Compiler(globals, std::move(source), outer && outer->optionExplicit, outer).expression(expr);
}

}  // namespace vbs
