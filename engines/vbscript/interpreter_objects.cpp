// The interpreter's side of the objects a script makes and of its error
// handling: members of class instances reached without IDispatch, New,
// the Err object, On Error Resume Next, Execute/Eval/ExecuteGlobal and
// GetRef, and procedures run for a host's IDispatch call.
#include "engines/vbscript/class_object.h"
#include "engines/vbscript/coerce.h"
#include "engines/vbscript/compiler.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/interpreter.h"
#include "engines/vbscript/lexer.h"
#include "engines/vbscript/regexp/regexp.h"
#include "engines/vbscript/parser.h"
#include "engines/vbscript/store_mode.h"

#include "runtime/activscp.h"
#include "runtime/safearray.h"

#include <algorithm>
#include <cstring>

namespace vbs {

namespace {

// A member site caches the class it last saw and the member's index + 1.
const char kClassSite = 0;
const char kErrSite = 0;

constexpr std::size_t kDynamicCacheSize = 32;

}  // namespace

// ---- class members ------------------------------------------------------------

// obj.Items(1) where Items takes no arguments: the arguments index what it
// returns (an array's element, an object's default member). Otherwise the
// procedure is entered as usual.
Procedure* Interpreter::indexedResult(ClassInstance* object, Procedure* p, bool statement, Value* args, int argc,
                                      Value& out) {
    if (statement || argc == 0 || p->paramCount() != 0) return p;
    Value whole = call(*p, nullptr, 0, object);
    out = indexInto(whole, args, argc, true);
    return nullptr;
}

Procedure* Interpreter::memberProc(ClassInstance* object, std::int32_t index, bool put, std::uint16_t mode,
                                   bool statement, Value* args, int argc, Value& out) {
    ClassMember& m = object->def().members[static_cast<std::size_t>(index)];
    switch (m.kind) {
    case ClassMember::Field: {
        Value& field = object->fields()[m.field];
        if (put) {
            Value& value = args[argc];
            if (argc == 0) {
                prepareStore(value, mode);
                field = std::move(value);
            } else {
                storeElement(field, args, argc, value, mode);
            }
            return nullptr;
        }
        if (argc == 0) out = field;
        else out = indexInto(field, args, argc, statement);
        return nullptr;
    }
    case ClassMember::Method:
        if (put) raise(err::IllegalAssignment, m.name);
        return indexedResult(object, m.method.get(), statement, args, argc, out);
    case ClassMember::Property: {
        if (argc == 0 && !put && m.getField >= 0) {
            out = object->fields()[m.getField];
            prepareStore(out, kModeLet);
            return nullptr;
        }
        if (argc == 0 && put && mode != kModeSet && m.letField >= 0) {
            Value& value = args[0];
            prepareStore(value, kModeLet);
            object->fields()[m.letField] = std::move(value);
            return nullptr;
        }
        Procedure* p;
        if (!put) p = m.get.get();
        else if (mode == kModeSet) p = m.set.get();
        else p = m.let ? m.let.get() : nullptr;
        if (!p) {
            // Let of an object to a property with only Set, and the like.
            if (put && mode != kModeSet && m.set && args[argc].isObject()) raise(err::IllegalAssignment, m.name);
            raise(err::NotSupported, m.name);
        }
        return put ? p : indexedResult(object, p, statement, args, argc, out);
    }
    }
    return nullptr;
}

namespace {

std::int32_t findMember(ClassInstance* object, MemberSite& site, const Procedure* caller) {
    const ClassDef& def = object->def();
    std::int32_t index;
    if (site.object == &def && site.vtable == &kClassSite) {
        index = site.id - 1;
    } else {
        index = site.name.empty() ? def.defaultMember : def.find(foldName(site.name));
        if (index < 0) raise(err::NotSupported, site.name);
        site.object = &def;
        site.vtable = &kClassSite;
        site.id = index + 1;
    }
    // Private members answer only to their own class's code.
    if (def.members[static_cast<std::size_t>(index)].isPrivate && caller->owner != &def) {
        raise(err::NotSupported, site.name);
    }
    return index;
}

}  // namespace

Procedure* Interpreter::classGet(ClassInstance* object, MemberSite& site, Value* args, int argc, bool statement,
                                 const Frame& f, Value& out) {
    const std::int32_t index = findMember(object, site, f.proc);
    return memberProc(object, index, false, kModeLet, statement, args, argc, out);
}

Procedure* Interpreter::classPut(ClassInstance* object, MemberSite& site, Value* args, int argc, std::uint16_t mode,
                                 const Frame& f) {
    const std::int32_t index = findMember(object, site, f.proc);
    Value unused;
    return memberProc(object, index, true, mode, false, args, argc, unused);
}

Value Interpreter::newObject(NameSite& site) {
    const std::int32_t g = lookup(site);
    if (g < 0 || m_globals.entry(g).kind != Globals::Kind::Class || !m_globals.entry(g).cls) {
        // The language's own class, unless a script class of that name
        // stands in its place (found above).
        if (site.folded == foldName(u"RegExp")) {
            IDispatch* regexp = nullptr;
            if (FAILED(createRegExp(&regexp)) || !regexp) raise(err::OutOfMemory);
            return Value::attachObject(regexp);
        }
        raise(err::CantCreateObject, site.name);
    }
    ClassInstance* object = ClassInstance::create(m_globals.entry(g).cls, m_link);
    return Value::attachObject(object->dispatch());
}

// ---- Err ------------------------------------------------------------------------

IDispatch* Interpreter::errObject() {
    if (!m_errObject) createErrObject(m_link, m_errObject.out());
    return m_errObject.get();
}

DISPID Interpreter::errMemberId(MemberSite& site) {
    if (site.vtable == &kErrSite) return site.id;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(site.name.c_str())};
    if (site.name.empty()) id = kErrNumber;
    else if (FAILED(errObject()->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) raise(err::NotSupported, site.name);
    site.object = nullptr;
    site.vtable = &kErrSite;
    site.id = id;
    return id;
}

Value Interpreter::errMember(DISPID id, WORD flags, Value* args, int argc, const Value* putValue) {
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    auto text = [](const Value& v) { return v.isMissing() ? std::u16string() : toString(v); };
    if (put) {
        if (argc != 0 || !putValue) raise(err::WrongArgs);
        switch (id) {
        case kErrNumber: m_err.scode = statusOfNumber(toLong(*putValue)); break;
        case kErrDescription: m_err.description = toString(*putValue); break;
        case kErrSource: m_err.source = toString(*putValue); break;
        case kErrHelpFile: m_err.helpFile = toString(*putValue); break;
        case kErrHelpContext: m_err.helpContext = toLong(*putValue); break;
        default: raise(err::NotSupported);
        }
        return {};
    }
    switch (id) {
    case kErrNumber:
    case kErrDescription:
    case kErrSource:
    case kErrHelpFile:
    case kErrHelpContext:
        if (argc != 0) raise(err::WrongArgs);
        if (id == kErrNumber) return Value::longInt(m_err.number());
        if (id == kErrHelpContext) return Value::longInt(m_err.helpContext);
        return Value::string(id == kErrDescription ? m_err.description
                             : id == kErrSource    ? m_err.source
                                                   : m_err.helpFile);
    case kErrClear:
        if (argc != 0) raise(err::WrongArgs);
        m_err.clear();
        return {};
    case kErrRaise: {
        // Err.Raise number [, source [, description [, helpfile [, helpcontext]]]]
        if (argc > 5) raise(err::WrongArgs);
        if (argc < 1 || args[0].isMissing()) raise(err::WrongArgs);
        const std::int32_t number = toLong(args[0].deref());
        if (number == 0) raise(err::InvalidCall);
        auto given = [&](int i) { return argc > i && !args[i].isMissing(); };
        // What a raise leaves out stays as Err has it from before.
        ScriptError e;
        // A status of the runtime's own facility, or a well-known system
        // one, is raised as the VBScript error it stands for.
        const int mapped = number < 0 ? errorNumberOf(static_cast<HRESULT>(number)) : 0;
        e.scode = mapped > 0 ? errorStatus(mapped) : statusOfNumber(number);
        e.source = given(1) ? text(args[1].deref()) : m_err.source;
        if (e.source.empty()) e.source = kRuntimeErrorSource;
        e.description = given(2) ? text(args[2].deref()) : m_err.description;
        if (e.description.empty() && !given(2)) {
            const int known = numberOfStatus(e.scode);
            e.description = (known > 0 && known <= 0xFFFF) ? errorText(known) : std::u16string();
            if (e.description.empty()) e.description = errorText(err::UnknownRuntime);
        }
        e.helpFile = given(3) ? text(args[3].deref()) : m_err.helpFile;
        e.helpContext = given(4) ? toLong(args[4].deref()) : m_err.helpContext;
        throw e;
    }
    default: raise(err::NotSupported);
    }
}

// ---- On Error Resume Next ---------------------------------------------------------

bool Interpreter::handleError(ScriptError& e, std::size_t entryDepth, const Instr* pc, Value* top) {
    std::size_t k = m_frames.size();
    while (k > entryDepth && !m_frames[k - 1].resumeNext) --k;
    if (k == entryDepth) return false;
    Frame& h = m_frames[k - 1];
    // The failing instruction: in the innermost frame where pc stopped, in
    // a caller the call it made (its saved pc is just past it).
    const Instr* at = k == m_frames.size() ? pc : h.pc;
    const std::size_t index = static_cast<std::size_t>(at - h.proc->code.data()) - 1;

    m_err.scode = e.scode;
    m_err.description = e.description;
    m_err.source = e.source.empty() ? std::u16string(kRuntimeErrorSource) : e.source;
    m_err.helpFile = e.helpFile;
    m_err.helpContext = e.helpContext;

    // Clear what the inner frames and the statement held while their
    // frames are still there (a Class_Terminate run from here starts above).
    Value* keep = h.base + h.proc->localCount;
    for (Value* p = top; p-- > keep;) p->clear();
    m_frames.resize(k);
    while (!m_dynamicFrames.empty() && m_dynamicFrames.back().first >= k) m_dynamicFrames.pop_back();
    h.pc = h.proc->code.data() + h.proc->resumeAt[std::min(index, h.proc->resumeAt.size() - 1)];
    m_sp = keep;
    return true;
}

// ---- Execute, ExecuteGlobal, Eval, GetRef -------------------------------------------

Procedure* Interpreter::compileDynamic(Op op, const Value& textValue, const Frame& f) {
    const std::u16string text = toString(textValue.deref());
    // Execute and Eval inside a procedure see its variables; in global
    // code, and for ExecuteGlobal, the text is global code.
    const Procedure* outer = (op == Op::ExecuteGlobal || (f.proc->isGlobalCode && !f.proc->runsInOuterFrame)) ? nullptr : f.proc;
    std::u16string key;
    key.push_back(static_cast<char16_t>(op));
    const std::uint64_t serial = outer ? outer->serial : 0;
    for (int i = 0; i < 4; ++i) key.push_back(static_cast<char16_t>(serial >> (16 * i)));
    key += text;

    std::shared_ptr<Procedure> code;
    auto cached = std::find_if(m_dynamicCache.begin(), m_dynamicCache.end(), [&](const auto& e) { return e.first == key; });
    // Code that declares procedures or classes is compiled each time: running it declares them again.
    if (cached != m_dynamicCache.end()) {
        code = cached->second;
        std::rotate(m_dynamicCache.begin(), cached, cached + 1);
    } else {
        auto source = std::make_shared<SourceInfo>();
        source->text = text;
        source->startingLine = f.proc->source ? f.proc->source->startingLine : 1;
        source->context = f.proc->source ? f.proc->source->context : 0;
        bool cacheable = true;
        try {
            if (op == Op::Eval) {
                ExprPtr expr = parseExpression(text);
                code = compileExpression(*expr, m_globals, source, outer);
            } else {
                Program program = parseProgram(text);
                cacheable = program.procs.empty() && program.classes.empty();
                code = compileProgram(program, m_globals, source, outer).globalCode;
            }
        } catch (ScriptError& e) {
            // A compilation error in the text is a run-time error of the statement that ran it.
            e.compile = false;
            e.positioned = false;
            e.where.reset();
            throw;
        }
        if (cacheable) {
            m_dynamicCache.insert(m_dynamicCache.begin(), {std::move(key), code});
            if (m_dynamicCache.size() > kDynamicCacheSize) m_dynamicCache.pop_back();
        }
    }
    Procedure* raw = code.get();
    m_dynamicFrames.emplace_back(m_frames.size(), std::move(code));
    return raw;
}

Value Interpreter::makeFunctionRef(const Value& name) {
    const std::u16string text = toString(name.deref());
    const std::int32_t g = m_globals.find(foldName(text));
    if (g < 0 || m_globals.entry(g).kind != Globals::Kind::Procedure || !m_globals.entry(g).proc) {
        raise(err::InvalidCall);
    }
    IDispatch* ref = nullptr;
    if (FAILED(createFunctionRef(m_globals.entry(g).proc, m_link, &ref)) || !ref) raise(err::OutOfMemory);
    return Value::attachObject(ref);
}

// ---- calls from hosts ------------------------------------------------------------------

HRESULT Interpreter::invokeForHost(Procedure& proc, ClassInstance* self, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* excep) {
    if (result) VariantInit(result);
    if (params->cArgs != proc.paramCount()) return DISP_E_BADPARAMCOUNT;
    // Arguments the caller passed by reference come back with what the procedure wrote.
    const int argc = static_cast<int>(params->cArgs);
    std::vector<Value> held(static_cast<std::size_t>(argc));
    std::vector<Value> args(static_cast<std::size_t>(argc));
    try {
        for (int i = 0; i < argc; ++i) {
            VARIANT& v = params->rgvarg[argc - 1 - i];
            const auto u = static_cast<std::size_t>(i);
            held[u] = fromVariant(v);
            args[u] = (v.vt & VT_BYREF) ? Value::ref(&held[u]) : held[u];
        }
    } catch (const ScriptError&) {
        return DISP_E_TYPEMISMATCH;
    }
    const bool nested = running();
    Value value;
    ScriptError failure;
    bool ok;
    if (m_hostRunner) {
        ok = m_hostRunner(proc, self, args.data(), argc, &value, nested ? &failure : nullptr);
    } else {
        try {
            value = call(proc, args.data(), argc, self);
            ok = true;
        } catch (ScriptError& e) {
            failure = std::move(e);
            ok = false;
        }
    }
    if (!ok) {
        if (!nested && m_hostRunner) return SCRIPT_E_REPORTED;
        // A host calling while the script runs: its caller reports the error.
        if (excep) {
            *excep = EXCEPINFO{};
            excep->scode = failure.scode;
            excep->bstrSource = qrt::allocBstr(std::u16string_view(failure.source.empty() ? kRuntimeErrorSource : failure.source));
            excep->bstrDescription = qrt::allocBstr(reportText(failure));
            if (!failure.helpFile.empty()) excep->bstrHelpFile = qrt::allocBstr(std::u16string_view(failure.helpFile));
            excep->dwHelpContext = static_cast<DWORD>(failure.helpContext);
        }
        return DISP_E_EXCEPTION;
    }
    try {
        for (int i = 0; i < argc; ++i) {
            VARIANT& v = params->rgvarg[argc - 1 - i];
            if (!(v.vt & VT_BYREF) || proc.byVal[static_cast<std::size_t>(i)]) continue;
            VARIANT converted;
            toVariant(held[static_cast<std::size_t>(i)], converted);
            if (v.vt == (VT_BYREF | VT_VARIANT)) {
                VariantClear(v.pvarVal);
                *v.pvarVal = converted;
                continue;
            }
            VARIANT target;
            VariantInit(&target);
            HRESULT hr = VariantChangeType(&target, &converted, 0, static_cast<VARTYPE>(v.vt & ~VT_BYREF));
            VariantClear(&converted);
            if (FAILED(hr)) continue;
            // Write the converted value through the caller's pointer.
            switch (v.vt & ~VT_BYREF) {
            case VT_BSTR: SysFreeString(*v.pbstrVal); *v.pbstrVal = target.bstrVal; break;
            case VT_DISPATCH:
            case VT_UNKNOWN:
                if (*v.ppunkVal) (*v.ppunkVal)->Release();
                *v.ppunkVal = target.punkVal;
                break;
            default: {
                const auto size = qrt::safeArrayElementSize(static_cast<VARTYPE>(v.vt & ~VT_BYREF));
                std::memcpy(v.byref, &target.llVal, size ? size : 8);
                break;
            }
            }
        }
        if (result) toVariant(value, *result);
    } catch (const ScriptError&) {
        return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

void Interpreter::runTerminate(Procedure& proc, ClassInstance* self) {
    // Called from a Release: nothing may escape. An error inside a running
    // script is dropped (the script goes on); otherwise the engine reports it.
    try {
        const bool nested = running();
        ScriptError failure;
        if (m_hostRunner) {
            m_hostRunner(proc, self, nullptr, 0, nullptr, nested ? &failure : nullptr);
        } else {
            call(proc, nullptr, 0, self);
        }
    } catch (...) {
    }
}

void Interpreter::releaseGlobals() {
    for (std::int32_t i = 0; i < m_globals.size(); ++i) {
        Value old = std::move(m_globals.value(i));
        old.clear();
    }
    m_dynamicCache.clear();
}

void Interpreter::detach() {
    if (m_link) m_link->vm = nullptr;
    m_errObject.reset();
}

}  // namespace vbs
