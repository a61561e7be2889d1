#include "engines/vbscript/interpreter.h"
#include "engines/vbscript/store_mode.h"

#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/operators.h"
#include "engines/vbscript/runtime/builtins.h"

#include "engines/vbscript/class_object.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <new>
#include <stdexcept>

namespace vbs {

namespace {

constexpr std::size_t kStackValues = 1 << 18;
static_assert(static_cast<int>(Tag::Empty) == 0, "zeroed stack memory holds Empty values");
constexpr std::size_t kMaxFrames = 20000;
constexpr std::ptrdiff_t kFrameMargin = 1024;  // room above a frame's temporaries

// The values a frame of proc may use above its base: locals, the deepest
// its expressions go, and a margin.
inline std::ptrdiff_t frameRoom(const Procedure& proc) {
    return std::ptrdiff_t{proc.localCount} + proc.maxTemps + kFrameMargin;
}
constexpr int kMaxNativeDepth = 48;

inline void put(Value* slot, const Value& v) { new (slot) Value(v); }
inline void put(Value* slot, Value&& v) { new (slot) Value(std::move(v)); }

inline bool fastNumber(Tag t) { return t == Tag::Integer || t == Tag::Long || t == Tag::Double; }
inline double fastDouble(const Value& v) {
    return v.tag() == Tag::Double ? v.asDouble() : v.tag() == Tag::Long ? v.asLong() : v.asInteger();
}
inline bool fastInt(Tag t) { return t == Tag::Integer || t == Tag::Long; }
inline std::int64_t fastInt64(const Value& v) { return v.tag() == Tag::Long ? v.asLong() : v.asInteger(); }

// An integer result: Integer when both operands were Integer and it fits,
// else Long, else Double.
inline void setIntegral(Value& out, std::int64_t r, bool bothInteger) {
    if (bothInteger && r >= -32768 && r <= 32767) out.setPlainInteger(static_cast<std::int16_t>(r));
    else if (r >= INT32_MIN && r <= INT32_MAX) out.setPlainLong(static_cast<std::int32_t>(r));
    else out.setPlainDouble(static_cast<double>(r));
}

// a = a op b for Add, Sub and Mul, numbers without a call.
[[gnu::always_inline]] inline void arith(Value& a, const Value& b, BinOp op) {
    const Tag ta = a.tag(), tb = b.tag();
    if (ta == Tag::Double && tb == Tag::Double) {
        const double x = a.asDouble(), y = b.asDouble();
        a.setPlainDouble(op == BinOp::Add ? x + y : op == BinOp::Sub ? x - y : x * y);
    } else if (fastInt(ta) && fastInt(tb)) {
        const std::int64_t x = fastInt64(a), y = fastInt64(b);
        setIntegral(a, op == BinOp::Add ? x + y : op == BinOp::Sub ? x - y : x * y,
                    ta == Tag::Integer && tb == Tag::Integer);
    } else if (fastNumber(ta) && fastNumber(tb)) {
        const double x = fastDouble(a), y = fastDouble(b);
        a.setPlainDouble(op == BinOp::Add ? x + y : op == BinOp::Sub ? x - y : x * y);
    } else {
        a = binary(op, a, b);
    }
}

inline bool truth(const Value& v) {
    if (v.tag() == Tag::Boolean) return v.asBool();
    if (v.isNull()) return false;
    return toBool(v);
}


std::vector<std::int32_t> upperBounds(const Value* args, int argc) {
    std::vector<std::int32_t> bounds;
    for (int i = 0; i < argc; ++i) {
        std::int32_t ub = toLong(args[i]);
        if (ub < -1) raise(err::SubscriptRange);
        bounds.push_back(ub);
    }
    return bounds;
}

bool forContinuesSlow(const Value& var, const Value& limit, const Value& step) {
    const double v = toDouble(var), l = toDouble(limit);
    return toDouble(step) >= 0 ? v <= l : v >= l;
}

inline bool forContinues(const Value& var, const Value& limit, const Value& step) {
    if (fastInt(var.tag()) && fastInt(limit.tag()) && fastInt(step.tag())) {
        return fastInt64(step) >= 0 ? fastInt64(var) <= fastInt64(limit) : fastInt64(var) >= fastInt64(limit);
    }
    return forContinuesSlow(var, limit, step);
}

// ReDim Preserve: the last dimension resized in place, keeping the elements
// that still fit. Those dropped are moved out first and released only once
// the array has its new shape, in case a Class_Terminate looks at it.
void resizePreserved(Value& var, const std::vector<std::int32_t>& bounds) {
    const ArrayBody& current = *var.arr();
    if (current.bounds.size() != bounds.size()) raise(err::SubscriptRange);
    for (std::size_t d = 0; d + 1 < bounds.size(); ++d) {
        if (current.bounds[d].count != std::int64_t{bounds[d]} + 1) raise(err::SubscriptRange);
    }
    const std::size_t total = arrayElementCount(bounds);
    ArrayBody* a = var.uniqueArray();
    std::vector<Value> dropped;
    if (total < a->data.size()) {
        const auto from = a->data.begin() + static_cast<std::ptrdiff_t>(total);
        dropped.assign(std::make_move_iterator(from), std::make_move_iterator(a->data.end()));
    }
    a->data.resize(total);
    a->bounds.back().count = bounds.back() + 1;
}

}  // namespace

Interpreter::Interpreter(Globals& globals) : m_globals(globals), m_link(std::make_shared<EngineLink>()) {
    m_link->vm = this;
    m_stack.reset(static_cast<Value*>(std::calloc(kStackValues, sizeof(Value))));
    if (!m_stack) throw std::bad_alloc();
    m_stackEnd = m_stack.get() + kStackValues;
    m_sp = m_stack.get();
    m_frames.reserve(kMaxFrames + 1);
}

Interpreter::~Interpreter() {
    detach();
    // Everything above m_sp is Empty already.
    for (Value* p = m_stack.get(); p < m_sp; ++p) p->clear();
}

std::uint32_t Interpreter::currentLine() const {
    if (!running() || m_frames.empty()) return 0;
    const Frame& frame = m_frames.back();
    if (!frame.proc || !frame.pc) return 0;
    const std::size_t index = static_cast<std::size_t>(frame.pc - frame.proc->code.data()) - 1;
    if (index >= frame.proc->positions.size()) return 0;
    const std::uint32_t start = frame.proc->source ? frame.proc->source->startingLine : 1;
    return start + frame.proc->positions[index].line;
}

void Interpreter::setInterruptError(ScriptError error) {
    std::lock_guard<std::mutex> lock(m_interruptLock);
    m_interruptError = std::move(error);
}

void Interpreter::serviceInterrupt() {
    const std::uint8_t pending = m_interrupt.load(std::memory_order_acquire);
    if (pending & kStopRequested) throwInterrupt();
    m_interrupt.fetch_and(static_cast<std::uint8_t>(~kPollDue), std::memory_order_acq_rel);
    if (!m_poll || m_poll()) return;
    ScriptError e;
    e.scode = E_ABORT;
    e.description = u"Script stopped by the user";
    e.fatal = true;
    throw e;
}

void Interpreter::throwInterrupt() {
    m_interruptServed = true;
    ScriptError e;
    {
        std::lock_guard<std::mutex> lock(m_interruptLock);
        e = m_interruptError;
    }
    e.fatal = true;
    throw e;
}

std::int32_t Interpreter::lookup(NameSite& site) {
    if (site.global >= 0) return site.global;
    if (site.checkedGeneration == m_globals.generation()) return -1;
    std::int32_t g = m_globals.find(site.folded);
    if (g >= 0 && m_globals.entry(g).kind == Globals::Kind::Procedure && !m_globals.entry(g).proc) g = -1;
    if (g >= 0) site.global = g;
    else site.checkedGeneration = m_globals.generation();
    return g;
}

Value& Interpreter::loadItem(std::int32_t g) {
    Globals::Entry& e = m_globals.entry(g);
    if (!e.itemLoaded) {
        Value v = m_itemLoader ? m_itemLoader(e.name) : Value();
        m_globals.value(g) = std::move(v);
        m_globals.entry(g).itemLoaded = true;
    }
    return m_globals.value(g);
}

Value* Interpreter::nestedBase() const {
    Value* base = m_sp;
    if (!m_frames.empty()) {
        const Frame& f = m_frames.back();
        base = std::max(base, f.base + frameRoom(*f.proc));
    }
    return base;
}

Value& Interpreter::siteVariable(NameSite& site, const Frame& f) {
    return (site.outer ? f.outer : f.base)[site.localSlot].deref();
}

Value& Interpreter::variable(std::uint16_t kind, std::int32_t slot, const Frame& f) {
    switch (kind & 0xFF) {
    case VarLocal: return f.base[slot].deref();
    case VarGlobal: return m_globals.value(slot);
    case VarField: return f.self->fields()[slot];
    case VarOuter: return f.outer[slot].deref();
    default: {
        NameSite& site = f.proc->names[static_cast<std::size_t>(slot)];
        std::int32_t g = lookup(site);
        if (g >= 0) {
            if (m_globals.entry(g).kind != Globals::Kind::Variable) raise(err::IllegalAssignment, site.name);
            return m_globals.value(g);
        }
        if (f.proc->optionExplicit) raise(err::VariableUndefined, site.name);
        return siteVariable(site, f);
    }
    }
}

void Interpreter::enterFrame(Procedure* proc, Value* base, int argc) {
    if (static_cast<std::uint32_t>(argc) != proc->paramCount()) raise(err::WrongArgs, proc->name);
    if (m_frames.size() >= kMaxFrames || m_stackEnd - base < frameRoom(*proc)) raise(err::OutOfStack);
    for (int i = 0; i < argc; ++i) {
        Value& arg = base[i];
        if (proc->byVal[static_cast<std::size_t>(i)] && arg.isRef()) arg = Value(*arg.target());
    }
    m_frames.push_back({proc, proc->code.data(), base, base, nullptr, nullptr, kRetValue, false});
    m_sp = base + proc->localCount;
}

void Interpreter::enterMethod(Procedure* proc, Value* base, int argc, ClassInstance* self, Value* ret,
                              std::uint8_t mode) {
    enterFrame(proc, base, argc);
    Frame& f = m_frames.back();
    f.self = self;
    f.ret = ret;
    f.retMode = mode;
}

Value Interpreter::call(Procedure& proc, const Value* args, int argc, ClassInstance* self) {
    if (m_nativeDepth >= kMaxNativeDepth) raise(err::OutOfStack);
    if (m_nativeDepth == 0) {
        m_sp = m_stack.get();
        m_frames.clear();
    }
    struct DepthGuard {
        int& depth;
        explicit DepthGuard(int& d) : depth(d) { ++depth; }
        ~DepthGuard() { --depth; }
    } guard(m_nativeDepth);
    // A nested run (a host calling back, Class_Terminate) starts above
    // whatever the running frames use.
    Value* base = m_nativeDepth > 1 ? nestedBase() : m_sp;
    if (m_stackEnd - base < argc + frameRoom(proc)) raise(err::OutOfStack);
    for (int i = 0; i < argc; ++i) put(base + i, args[i]);
    m_sp = base + argc;
    const std::size_t entry = m_frames.size();
    try {
        enterFrame(&proc, base, argc);
        m_frames.back().self = self;
    } catch (...) {
        for (Value* p = base; p < base + argc; ++p) p->clear();
        m_sp = base;
        throw;
    }
    return execute(entry);
}

Value Interpreter::execute(std::size_t entryDepth) {
    Frame* f = &m_frames.back();
    Procedure* proc = f->proc;
    const Instr* code = proc->code.data();
    const Instr* pc = f->pc;
    Value* locals = f->base;
    Value* sp = m_sp;
    const Value* consts = proc->constants.data();
    Value* const entryBase = f->base;

    // The loop keeps pc, sp and locals in registers: the helpers below are
    // macros rather than lambdas, which would force them into memory.
#define VBS_RESUME()                       \
    do {                                   \
        f = &m_frames.back();              \
        proc = f->proc;                    \
        code = proc->code.data();          \
        pc = f->pc;                        \
        locals = f->base;                  \
        consts = proc->constants.data();   \
    } while (0)
#define VBS_ENTER(callee, argc)                        \
    do {                                               \
        f->pc = pc;                                    \
        m_sp = sp;                                     \
        enterFrame((callee), sp - (argc), (argc));     \
        sp = m_sp;                                     \
        VBS_RESUME();                                  \
    } while (0)
#define VBS_ENTER_METHOD(callee, argc, object, retSlot, mode)                  \
    do {                                                                       \
        f->pc = pc;                                                            \
        m_sp = sp;                                                             \
        enterMethod((callee), sp - (argc), (argc), (object), (retSlot), (mode)); \
        sp = m_sp;                                                             \
        VBS_RESUME();                                                          \
    } while (0)
#define VBS_CHECK_INTERRUPT()                                                      \
    do {                                                                           \
        if (m_interrupt.load(std::memory_order_relaxed)) serviceInterrupt();       \
    } while (0)
    // Replaces the n values on top by one.
    auto replaceTop = [](Value*& top, int n, Value&& result) {
        Value* first = top - n;
        for (Value* p = first; p < top; ++p) p->clear();
        put(first, std::move(result));
        top = first + 1;
    };

    // The common instructions end by going straight to the next one's
    // code (one indirect jump per kind, which predicts far better than the
    // single jump of the switch); the rest go through the switch.
#define VBS_NEXT()                                      \
    do {                                                \
        in = pc++;                                      \
        goto *jump[static_cast<std::uint8_t>(in->op)];  \
    } while (0)
    constexpr std::size_t kOpCount = static_cast<std::size_t>(Op::StoreReturn) + 1;
    void* jump[256];
    for (void*& j : jump) j = &&op_switch;
    jump[static_cast<std::size_t>(Op::PushConst)] = &&op_PushConst;
    jump[static_cast<std::size_t>(Op::Pop)] = &&op_Pop;
    jump[static_cast<std::size_t>(Op::LoadLocal)] = &&op_LoadLocal;
    jump[static_cast<std::size_t>(Op::StoreLocal)] = &&op_StoreLocal;
    jump[static_cast<std::size_t>(Op::RefLocal)] = &&op_RefLocal;
    jump[static_cast<std::size_t>(Op::LoadGlobal)] = &&op_LoadGlobal;
    jump[static_cast<std::size_t>(Op::StoreGlobal)] = &&op_StoreGlobal;
    jump[static_cast<std::size_t>(Op::Add)] = &&op_Arith;
    jump[static_cast<std::size_t>(Op::Sub)] = &&op_Arith;
    jump[static_cast<std::size_t>(Op::Mul)] = &&op_Arith;
    jump[static_cast<std::size_t>(Op::ArithConst)] = &&op_ArithConst;
    jump[static_cast<std::size_t>(Op::ArithLocal)] = &&op_ArithLocal;
    jump[static_cast<std::size_t>(Op::StoreReturn)] = &&op_StoreReturn;
    jump[static_cast<std::size_t>(Op::Jump)] = &&op_Jump;
    jump[static_cast<std::size_t>(Op::JumpIfFalse)] = &&op_JumpIf;
    jump[static_cast<std::size_t>(Op::JumpIfTrue)] = &&op_JumpIf;
    jump[static_cast<std::size_t>(Op::ForNext)] = &&op_ForNext;
    jump[static_cast<std::size_t>(Op::CallProc)] = &&op_CallProc;
    jump[static_cast<std::size_t>(Op::Return)] = &&op_Return;
    static_assert(kOpCount <= 256);
    // The running instruction, read in place: keeping its fields in
    // registers would leave too few for sp and locals.
    const Instr* in = nullptr;
    Value result;  // of a returning frame

    for (;;) {
    try {
        // A failed allocation anywhere in the run (strings, arrays, the
        // library) is the script's error 7 at the running instruction.
        try {
        for (;;) {
            VBS_NEXT();
        op_switch:
            switch (in->op) {
            case Op::Nop: break;
            case Op::PushConst: op_PushConst: put(sp++, consts[in->c]); VBS_NEXT();
            case Op::PushEmpty: ++sp; break;
            case Op::PushMissing: put(sp++, Value::missing()); break;
            case Op::Pop: op_Pop: (--sp)->clear(); VBS_NEXT();

            case Op::LoadLocal: op_LoadLocal: put(sp, locals[in->c].deref()); ++sp; VBS_NEXT();
            case Op::StoreLocal: op_StoreLocal: {
                prepareStore(sp[-1], in->b);
                locals[in->c].deref() = std::move(sp[-1]);
                --sp;
                VBS_NEXT();
            }
            case Op::RefLocal: op_RefLocal: {
                Value& s = locals[in->c];
                put(sp++, s.isRef() ? s : Value::ref(&s));
                VBS_NEXT();
            }
            case Op::LoadGlobal: op_LoadGlobal: put(sp, m_globals.value(in->c)); ++sp; VBS_NEXT();
            case Op::StoreGlobal: op_StoreGlobal: {
                prepareStore(sp[-1], in->b);
                m_globals.value(in->c) = std::move(sp[-1]);
                --sp;
                VBS_NEXT();
            }
            case Op::RefGlobal: put(sp++, Value::ref(&m_globals.value(in->c))); break;
            case Op::LoadName: {
                NameSite& site = proc->names[static_cast<std::size_t>(in->c)];
                std::int32_t g = lookup(site);
                if (g < 0) {
                    if (proc->optionExplicit) raise(err::VariableUndefined, site.name);
                    put(sp++, siteVariable(site, *f));
                    break;
                }
                switch (m_globals.entry(g).kind) {
                case Globals::Kind::Procedure: {
                    Procedure* callee = m_globals.entry(g).proc.get();
                    VBS_CHECK_INTERRUPT();
                    VBS_ENTER(callee, 0);
                    break;
                }
                case Globals::Kind::NamedItem: put(sp++, loadItem(g)); break;
                default: put(sp++, m_globals.value(g)); break;
                }
                break;
            }
            case Op::StoreName: {
                prepareStore(sp[-1], in->b);
                variable(VarName, in->c, *f) = std::move(sp[-1]);
                --sp;
                break;
            }
            case Op::RefName: {
                NameSite& site = proc->names[static_cast<std::size_t>(in->c)];
                std::int32_t g = lookup(site);
                if (g < 0) {
                    if (proc->optionExplicit) raise(err::VariableUndefined, site.name);
                    Value& s = (site.outer ? f->outer : locals)[site.localSlot];
                    put(sp++, s.isRef() ? s : Value::ref(&s));
                } else if (m_globals.entry(g).kind == Globals::Kind::Variable) {
                    put(sp++, Value::ref(&m_globals.value(g)));
                } else if (m_globals.entry(g).kind == Globals::Kind::Procedure) {
                    VBS_CHECK_INTERRUPT();
                    VBS_ENTER(m_globals.entry(g).proc.get(), 0);
                } else if (m_globals.entry(g).kind == Globals::Kind::NamedItem) {
                    put(sp++, loadItem(g));
                } else {
                    put(sp++, m_globals.value(g));
                }
                break;
            }
            case Op::LoadItem: put(sp++, loadItem(in->c)); break;
            case Op::LoadItemRef:
                put(sp++, Value::ref(m_globals.entry(in->c).itemLoaded ? &m_globals.value(in->c) : &loadItem(in->c)));
                break;
            case Op::AppendLocal:
            case Op::AppendGlobal: {
                Value& target = in->op == Op::AppendLocal ? locals[in->c].deref() : m_globals.value(in->c);
                Value& tail = sp[-1];
                if (target.isString() && tail.isString()) {
                    target.appendString(tail.str());
                } else if (target.isString() && !tail.isNull()) {
                    target.appendString(toString(tail));
                } else {
                    target = binary(BinOp::Concat, target, tail);
                }
                (--sp)->clear();
                break;
            }
            case Op::ClearLocal: locals[in->c].clear(); break;

            case Op::Add:
            case Op::Sub:
            case Op::Mul: op_Arith:
                arith(sp[-2], sp[-1], in->op == Op::Add ? BinOp::Add : in->op == Op::Sub ? BinOp::Sub : BinOp::Mul);
                (--sp)->clear();
                VBS_NEXT();
            case Op::ArithConst: op_ArithConst: arith(sp[-1], consts[in->c], static_cast<BinOp>(in->a)); VBS_NEXT();
            case Op::ArithLocal: op_ArithLocal: arith(sp[-1], locals[in->c].deref(), static_cast<BinOp>(in->a)); VBS_NEXT();
            case Op::Div: {
                Value& a = sp[-2];
                Value& b = sp[-1];
                if (fastNumber(a.tag()) && fastNumber(b.tag()) && fastDouble(b) != 0) {
                    a.setPlainDouble(fastDouble(a) / fastDouble(b));
                } else {
                    a = binary(BinOp::Div, a, b);
                }
                (--sp)->clear();
                break;
            }
            case Op::Eq: case Op::Ne: case Op::Lt: case Op::Gt: case Op::Le: case Op::Ge: {
                Value& a = sp[-2];
                Value& b = sp[-1];
                int c;
                if (fastNumber(a.tag()) && fastNumber(b.tag())) {
                    const double x = fastDouble(a), y = fastDouble(b);
                    c = x < y ? -1 : x > y ? 1 : 0;
                } else if (a.isString() && b.isString()) {
                    int r = a.str().compare(b.str());
                    c = r < 0 ? -1 : r > 0 ? 1 : 0;
                } else if (!compareValues(a, b, in->a, c)) {
                    a = Value::null();
                    (--sp)->clear();
                    break;
                }
                bool r;
                switch (in->op) {
                case Op::Eq: r = c == 0; break;
                case Op::Ne: r = c != 0; break;
                case Op::Lt: r = c < 0; break;
                case Op::Gt: r = c > 0; break;
                case Op::Le: r = c <= 0; break;
                default: r = c >= 0; break;
                }
                a.clear();
                a.setPlainBool(r);
                (--sp)->clear();
                break;
            }
            case Op::Concat: {
                Value& a = sp[-2];
                Value& b = sp[-1];
                if (a.isString() && b.isString()) {
                    checkStringLength(std::uint64_t{a.str().size()} + b.str().size());
                    std::u16string text;
                    text.reserve(a.str().size() + b.str().size());
                    text.append(a.str()).append(b.str());
                    a = Value::string(std::move(text));
                } else {
                    a = binary(BinOp::Concat, a, b);
                }
                (--sp)->clear();
                break;
            }
            case Op::IntDiv: case Op::Mod: case Op::Pow: case Op::Is:
            case Op::And: case Op::Or: case Op::Xor: case Op::Eqv: case Op::Imp: {
                const BinOp op = static_cast<BinOp>(static_cast<int>(in->op) - static_cast<int>(Op::Add));
                Value& a = sp[-2];
                if (in->op == Op::And && a.tag() == Tag::Boolean && sp[-1].tag() == Tag::Boolean) {
                    a.setPlainBool(a.asBool() && sp[-1].asBool());
                } else if (in->op == Op::Or && a.tag() == Tag::Boolean && sp[-1].tag() == Tag::Boolean) {
                    a.setPlainBool(a.asBool() || sp[-1].asBool());
                } else {
                    a = binary(op, a, sp[-1], in->a);
                }
                (--sp)->clear();
                break;
            }
            case Op::Neg: {
                Value& a = sp[-1];
                if (a.tag() == Tag::Double) a.setPlainDouble(-a.asDouble());
                else a = negate(a);
                break;
            }
            case Op::Not: {
                Value& a = sp[-1];
                if (a.tag() == Tag::Boolean) a.setPlainBool(!a.asBool());
                else a = logicalNot(a);
                break;
            }

            case Op::Jump: op_Jump:
                if (code + in->c < pc) VBS_CHECK_INTERRUPT();
                pc = code + in->c;
                VBS_NEXT();
            case Op::JumpIfFalse:
            case Op::JumpIfTrue: op_JumpIf: {
                const bool t = truth(sp[-1]);
                (--sp)->clear();
                if (t == (in->op == Op::JumpIfTrue)) {
                    if (code + in->c < pc) VBS_CHECK_INTERRUPT();
                    pc = code + in->c;
                }
                VBS_NEXT();
            }
            case Op::ForInit: {
                const LoopInfo& loop = proc->loops[in->b];
                Value& limit = locals[loop.hidden];
                Value& step = locals[loop.hidden + 1];
                if (limit.isNull() || step.isNull()) raise(94);
                limit = toNumeric(limit);
                step = toNumeric(step);
                if (!forContinues(variable(loop.varKind, loop.varSlot, *f), limit, step)) pc = code + in->c;
                break;
            }
            case Op::ForNext: op_ForNext: {
                const LoopInfo& loop = proc->loops[in->b];
                const Value& limit = locals[loop.hidden];
                const Value& step = locals[loop.hidden + 1];
                Value& var = loop.varKind == VarLocal    ? locals[loop.varSlot].deref()
                             : loop.varKind == VarGlobal ? m_globals.value(loop.varSlot)
                                                         : variable(loop.varKind, loop.varSlot, *f);
                if (fastInt(var.tag()) && fastInt(step.tag())) {
                    setIntegral(var, fastInt64(var) + fastInt64(step), var.tag() == Tag::Integer && step.tag() == Tag::Integer);
                } else if (var.tag() == Tag::Double && fastNumber(step.tag())) {
                    var.setPlainDouble(var.asDouble() + fastDouble(step));
                } else {
                    var = addValues(var, step);
                }
                if (forContinues(var, limit, step)) {
                    VBS_CHECK_INTERRUPT();
                    pc = code + in->c;
                }
                VBS_NEXT();
            }
            case Op::ForEachInit: {
                const LoopInfo& loop = proc->loops[in->b];
                m_sp = sp;
                locals[loop.hidden] = makeIterator(sp[-1]);
                (--sp)->clear();
                break;
            }
            case Op::ForEachNext: {
                const LoopInfo& loop = proc->loops[in->b];
                VBS_CHECK_INTERRUPT();
                Value next;
                m_sp = sp;
                if (locals[loop.hidden].tag() != Tag::Iter || !locals[loop.hidden].iterBody()->next(next)) {
                    pc = code + in->c;
                    break;
                }
                put(sp++, std::move(next));
                break;
            }

            case Op::CallProc: op_CallProc: {
                Procedure* callee = m_globals.entry(in->c).proc.get();
                if (!callee) raise(err::TypeMismatch, m_globals.entry(in->c).name);
                VBS_CHECK_INTERRUPT();
                const int argc = in->a;
                Value* const base = sp - argc;
                // The usual case inline: the right argument count and room
                // for the frame (enterFrame raises the errors otherwise).
                if (static_cast<std::uint32_t>(argc) == callee->paramCount() && m_frames.size() < kMaxFrames &&
                    m_stackEnd - base >= frameRoom(*callee)) {
                    if (callee->anyByVal) {
                        const std::uint8_t* byVal = callee->byVal.data();
                        for (int i = 0; i < argc; ++i) {
                            Value& arg = base[i];
                            if (byVal[i] && arg.isRef()) arg = Value(*arg.target());
                        }
                    }
                    f->pc = pc;
                    m_frames.push_back({callee, callee->code.data(), base, base, nullptr, nullptr, kRetValue, false});
                    sp = base + callee->localCount;
                    m_sp = sp;
                    f = &m_frames.back();
                    proc = callee;
                    code = pc = callee->code.data();
                    locals = base;
                    consts = callee->constants.data();
                    VBS_NEXT();
                }
                VBS_ENTER(callee, argc);
                VBS_NEXT();
            }
            case Op::CallName: op_CallName: {
                NameSite& site = proc->names[static_cast<std::size_t>(in->c)];
                std::int32_t g = lookup(site);
                const int argc = in->a;
                m_sp = sp;
                if (g >= 0) {
                    switch (m_globals.entry(g).kind) {
                    case Globals::Kind::Procedure:
                        VBS_CHECK_INTERRUPT();
                        VBS_ENTER(m_globals.entry(g).proc.get(), argc);
                        break;
                    case Globals::Kind::NamedItem: {
                        Value item = loadItem(g);
                        replaceTop(sp, argc, indexInto(item, sp - argc, argc, in->b != 0));
                        break;
                    }
                    default: {
                        Value held = m_globals.value(g);
                        replaceTop(sp, argc, indexInto(held, sp - argc, argc, in->b != 0));
                        break;
                    }
                    }
                    break;
                }
                if (proc->optionExplicit) raise(err::VariableUndefined, site.name);
                const Value& local = siteVariable(site, *f);
                if (!local.isArray() && !local.isObject()) raise(err::TypeMismatch, site.name);
                Value held = local;
                replaceTop(sp, argc, indexInto(held, sp - argc, argc, in->b != 0));
                break;
            }
            case Op::CallBuiltin: {
                const Builtin& b = builtinAt(in->c);
                if (in->a < b.minArgs || in->a > b.maxArgs) raise(err::WrongArgs, b.name);
                if (in->b) raise(err::TypeMismatch, b.name);  // a Sub's value asked for
                m_sp = sp;
                Value r = b.fn(*this, sp - in->a, in->a);
                replaceTop(sp, in->a, std::move(r));
                break;
            }
            case Op::IndexLocal:
            case Op::IndexGlobal: {
                m_sp = sp;
                Value held = in->op == Op::IndexLocal ? locals[in->c].deref() : m_globals.value(in->c);
                replaceTop(sp, in->a, indexInto(held, sp - in->a, in->a, in->b != 0));
                break;
            }
            case Op::IndexValue: {
                m_sp = sp;
                Value r = indexInto(sp[-in->a - 1], sp - in->a, in->a, in->b != 0);
                replaceTop(sp, in->a + 1, std::move(r));
                break;
            }
            case Op::RefIndex: {
                m_sp = sp;
                Value& var = variable(static_cast<std::uint16_t>(in->b & 0xFF), in->c, *f);
                if (var.isArray()) {
                    replaceTop(sp, in->a, elementReference(var, sp - in->a, in->a));
                } else {
                    Value held = var;
                    replaceTop(sp, in->a, indexInto(held, sp - in->a, in->a, (in->b >> 8) != 0));
                }
                break;
            }
            case Op::RefNameIndex: {
                NameSite& site = proc->names[static_cast<std::size_t>(in->c)];
                const std::int32_t g = lookup(site);
                Value* var = nullptr;
                if (g >= 0) {
                    if (m_globals.entry(g).kind == Globals::Kind::Variable) var = &m_globals.value(g);
                } else if (!proc->optionExplicit) {
                    var = &siteVariable(site, *f);
                }
                if (!var || !var->isArray()) goto op_CallName;  // the same operands
                m_sp = sp;
                replaceTop(sp, in->a, elementReference(*var, sp - in->a, in->a));
                break;
            }
            case Op::StoreIndex: {
                m_sp = sp;
                Value& var = variable(static_cast<std::uint16_t>(in->b & 0xFF), in->c, *f);
                storeElement(var, sp - in->a - 1, in->a, sp[-1], static_cast<std::uint16_t>(in->b >> 8));
                for (Value* p = sp - in->a - 1; p < sp; ++p) p->clear();
                sp -= in->a + 1;
                break;
            }
            case Op::GetMember:
            case Op::CallMember: {
                f->pc = pc;  // where the script is, for a host that asks
                Value* object = sp - in->a - 1;
                IDispatch* const target = object->deref().isObject() ? object->deref().obj() : nullptr;
                if (!target) raise(err::ObjectRequired);
                m_sp = sp;
                MemberSite& site = proc->members[static_cast<std::size_t>(in->c)];
                if (ClassInstance* instance = ClassInstance::from(target); instance && instance->vm() == this) {
                    Value out;
                    Procedure* callee = classGet(instance, site, sp - in->a, in->a, in->op == Op::CallMember, *f, out);
                    if (!callee) {
                        replaceTop(sp, in->a + 1, std::move(out));
                        break;
                    }
                    // The method's frame holds its object itself, not
                    // through the variable the call named.
                    if (object->isRef()) *object = Value(object->deref());
                    VBS_CHECK_INTERRUPT();
                    VBS_ENTER_METHOD(callee, in->a, instance, object, kRetValue);
                    break;
                }
                Value r = target == m_errObject.get()
                              ? errMember(errMemberId(site), DISPATCH_METHOD | DISPATCH_PROPERTYGET, sp - in->a, in->a, nullptr)
                              : invokeMember(target, site, sp - in->a, in->a,
                                             in->op == Op::CallMember ? DISPATCH_METHOD
                                                                     : DISPATCH_METHOD | DISPATCH_PROPERTYGET);
                replaceTop(sp, in->a + 1, std::move(r));
                VBS_CHECK_INTERRUPT();
                break;
            }
            case Op::PutMember: {
                f->pc = pc;  // where the script is, for a host that asks
                Value* object = sp - in->a - 2;
                IDispatch* const target = object->deref().isObject() ? object->deref().obj() : nullptr;
                if (!target) raise(err::ObjectRequired);
                m_sp = sp;
                Value& value = sp[-1];
                if (in->b == kModeSet && !value.isObject()) raise(err::ObjectRequired);
                MemberSite& site = proc->members[static_cast<std::size_t>(in->c)];
                if (ClassInstance* instance = ClassInstance::from(target); instance && instance->vm() == this) {
                    Procedure* callee = classPut(instance, site, sp - in->a - 1, in->a, in->b, *f);
                    if (callee) {
                        if (object->isRef()) *object = Value(object->deref());
                        VBS_CHECK_INTERRUPT();
                        VBS_ENTER_METHOD(callee, in->a + 1, instance, object, kRetNone);
                        break;
                    }
                } else if (target == m_errObject.get()) {
                    errMember(errMemberId(site), DISPATCH_PROPERTYPUT, sp - in->a - 1, in->a, &value);
                } else {
                    invokeMember(target, site, sp - in->a - 1, in->a,
                                 in->b == kModeSet ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT, &value);
                }
                for (Value* p = sp - in->a - 2; p < sp; ++p) p->clear();
                sp -= in->a + 2;
                VBS_CHECK_INTERRUPT();
                break;
            }
            case Op::LoadField: put(sp++, f->self->fields()[in->c]); break;
            case Op::StoreField: {
                prepareStore(sp[-1], in->b);
                f->self->fields()[in->c] = std::move(sp[-1]);
                --sp;
                break;
            }
            case Op::RefField: put(sp++, Value::ref(&f->self->fields()[in->c])); break;
            case Op::LoadMe: put(sp++, Value::object(f->self->dispatch())); break;
            case Op::NewObject: {
                m_sp = sp;
                put(sp++, newObject(proc->names[static_cast<std::size_t>(in->c)]));
                ClassInstance* instance = ClassInstance::from(sp[-1].obj());
                if (Procedure* init = instance ? instance->def().initialize.get() : nullptr) {
                    VBS_CHECK_INTERRUPT();
                    VBS_ENTER_METHOD(init, 0, instance, sp - 1, kRetKeep);
                }
                break;
            }
            case Op::CallSelf:
            case Op::PutSelf: {
                ClassInstance* self = f->self;
                m_sp = sp;
                const bool put = in->op == Op::PutSelf;
                Value out;
                const int argc = put ? in->a + 1 : in->a;
                Procedure* callee = memberProc(self, in->c, put, in->b, in->b == 1, sp - argc, in->a, out);
                if (!callee) {  // an accessor done without a frame
                    if (put) (--sp)->clear();
                    else replaceTop(sp, in->a, std::move(out));
                    break;
                }
                VBS_CHECK_INTERRUPT();
                VBS_ENTER_METHOD(callee, argc, self, sp - argc, put ? kRetNone : kRetValue);
                break;
            }
            case Op::LoadOuter: put(sp++, f->outer[in->c].deref()); break;
            case Op::StoreOuter: {
                prepareStore(sp[-1], in->b);
                f->outer[in->c].deref() = std::move(sp[-1]);
                --sp;
                break;
            }
            case Op::RefOuter: {
                Value& s = f->outer[in->c];
                put(sp++, s.isRef() ? s : Value::ref(&s));
                break;
            }
            case Op::OnError:
                f->resumeNext = in->b != 0;
                m_err.clear();
                break;
            case Op::LoadErr: put(sp++, Value::object(errObject())); break;
            case Op::Eval:
            case Op::Execute:
            case Op::ExecuteGlobal: {
                if (in->a != 1) {
                    raise(err::WrongArgs, in->op == Op::Eval ? u"Eval" : in->op == Op::Execute ? u"Execute" : u"ExecuteGlobal");
                }
                m_sp = sp;
                Procedure* chunk = compileDynamic(in->op, sp[-1], *f);
                (--sp)->clear();
                ClassInstance* self = chunk->runsInOuterFrame ? f->self : nullptr;
                Value* outer = locals;
                VBS_CHECK_INTERRUPT();
                VBS_ENTER_METHOD(chunk, 0, self, sp, kRetValue);
                f->outer = outer;
                break;
            }
            case Op::GetRef: {
                if (in->a != 1) raise(err::WrongArgs, u"GetRef");
                m_sp = sp;
                Value r = makeFunctionRef(sp[-1]);
                replaceTop(sp, 1, std::move(r));
                break;
            }
            case Op::DimArray:
            case Op::ReDim: {
                m_sp = sp;
                Value& var = variable(in->b, in->c, *f);
                std::vector<std::int32_t> bounds = upperBounds(sp - in->a, in->a);
                if (var.isArray() && (var.arr()->fixed || var.arr()->locks)) raise(err::ArrayFixed);
                if (in->op == Op::ReDim && (in->b & 0x100) && var.isArray() && !var.arr()->bounds.empty()) {
                    resizePreserved(var, bounds);
                } else {
                    ArrayBody* a = newArray(bounds);
                    a->fixed = in->op == Op::DimArray && in->a > 0;
                    var = Value::array(a);
                }
                for (Value* p = sp - in->a; p < sp; ++p) p->clear();
                sp -= in->a;
                break;
            }
            case Op::Erase: {
                Value& var = variable(in->b, in->c, *f);
                if (!var.isArray()) raise(err::TypeMismatch);
                if (var.arr()->locks) raise(err::ArrayFixed);
                if (var.arr()->fixed) {
                    // The elements go after the array is all Empty, in case
                    // a Class_Terminate looks at it.
                    ArrayBody* a = var.uniqueArray();
                    std::vector<Value> old(a->data.size());
                    old.swap(a->data);
                } else {
                    var = Value::array(newArray({}));
                }
                break;
            }

            case Op::ExitProc:
                // Leaving a procedure with Exit clears Err where errors were
                // being handled; the result is what the procedure assigned,
                // as at its end (nothing was pushed for it).
                if (f->resumeNext) m_err.clear();
                goto op_Return;
            case Op::StoreReturn: op_StoreReturn:
                prepareStore(sp[-1], in->b);
                --sp;
                result = std::move(*sp);
                goto returnResult;
            case Op::Return: op_Return: {
                result = std::move(locals[proc->paramCount()]);
            returnResult:
                for (Value* p = locals; p < sp; ++p) p->clear();
                Value* const ret = f->ret;
                const std::uint8_t mode = f->retMode;
                m_frames.pop_back();
                if (!m_dynamicFrames.empty() && m_dynamicFrames.back().first >= m_frames.size()) {
                    m_dynamicFrames.pop_back();
                }
                if (m_frames.size() == entryDepth) {
                    m_sp = locals;
                    return result;
                }
                if (mode == kRetValue) {
                    if (ret != locals) ret->clear();  // the object whose member was called
                    put(ret, std::move(result));
                    sp = ret + 1;
                } else if (mode == kRetNone) {
                    ret->clear();
                    sp = ret;
                    result.clear();
                } else {
                    sp = ret + 1;
                    result.clear();
                }
                VBS_RESUME();
                VBS_NEXT();
            }
            }
        }
        } catch (const std::bad_alloc&) {
            raise(err::OutOfMemory);
        } catch (const std::length_error&) {
            raise(err::OutOfMemory);
        }
    } catch (ScriptError& e) {
        if (!e.positioned) {
            // A built-in's own argument errors carry its name.
            if (in && in->op == Op::CallBuiltin) nameBuiltinError(e, builtinAt(in->c).name);
            const std::size_t index = static_cast<std::size_t>(pc - code) - 1;
            if (index < proc->positions.size()) {
                e.line = proc->positions[index].line;
                e.column = proc->positions[index].column;
            }
            e.where = proc->source;
            e.positioned = true;
        }
        Value* top = std::max(sp, m_sp);
        if (!m_frames.empty() && m_frames.size() > entryDepth) {
            const Frame& innermost = m_frames.back();
            top = std::max(top, innermost.base + innermost.proc->localCount);
        }
        if (!e.fatal && handleError(e, entryDepth, pc, top)) {
            // On Error Resume Next: go on in the frame that handles it.
            VBS_RESUME();
            sp = locals + proc->localCount;
            m_sp = sp;
            continue;
        }
        // Unwind every frame of this run; clear what they held.
        for (Value* p = entryBase; p < top; ++p) p->clear();
        m_frames.resize(entryDepth);
        while (!m_dynamicFrames.empty() && m_dynamicFrames.back().first >= entryDepth) m_dynamicFrames.pop_back();
        m_sp = entryBase;
        throw;
    }
    }
#undef VBS_RESUME
#undef VBS_ENTER
#undef VBS_CHECK_INTERRUPT
#undef VBS_NEXT
}

}  // namespace vbs
