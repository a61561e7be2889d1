#include "engines/vbscript/class_object.h"

#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/lexer.h"

namespace vbs {

namespace {

// Member dispatch identifiers are the member's index + 1; DISPID_VALUE is
// the default member.
std::int32_t memberOfId(const ClassDef& def, DISPID id) {
    if (id == DISPID_VALUE) return def.defaultMember;
    if (id < 1 || id > static_cast<DISPID>(def.members.size())) return -1;
    return id - 1;
}

HRESULT fillException(EXCEPINFO* excep, const ScriptError& e) {
    if (excep) {
        *excep = EXCEPINFO{};
        excep->scode = e.scode;
        excep->bstrSource = qrt::allocBstr(std::u16string_view(e.source.empty() ? kRuntimeErrorSource : e.source));
        excep->bstrDescription = qrt::allocBstr(reportText(e));
        if (!e.helpFile.empty()) excep->bstrHelpFile = qrt::allocBstr(std::u16string_view(e.helpFile));
        excep->dwHelpContext = static_cast<DWORD>(e.helpContext);
    }
    return DISP_E_EXCEPTION;
}

// Arguments of a host's call as values (first argument first).
std::vector<Value> argumentsOf(const DISPPARAMS* params, UINT from) {
    std::vector<Value> out;
    for (UINT i = params->cArgs; i-- > from;) out.push_back(fromVariant(params->rgvarg[i]));
    return out;
}

}  // namespace

ClassInstance* ClassInstance::create(std::shared_ptr<ClassDef> def, std::shared_ptr<EngineLink> link) {
    auto* object = new ClassInstance(std::move(def), std::move(link));
    return object;
}

ClassInstance::ClassInstance(std::shared_ptr<ClassDef> def, std::shared_ptr<EngineLink> link)
    : m_def(std::move(def)), m_link(std::move(link)) {
    s_vtable.store(*reinterpret_cast<void* const*>(static_cast<IDispatch*>(this)), std::memory_order_relaxed);
    // The fields first: a field array too large to make throws before the
    // object counts as made.
    m_fields = std::make_unique<Value[]>(static_cast<std::size_t>(m_def->fieldCount));
    for (const ClassMember& m : m_def->members) {
        if (m.kind != ClassMember::Field || !m.isArray) continue;
        ArrayBody* a = newArray(m.bounds);
        a->fixed = !m.bounds.empty();
        m_fields[static_cast<std::size_t>(m.field)] = Value::array(a);
    }
    qrt::detail::objectCreated();
    qrt::moduleLock();
}

ClassInstance::~ClassInstance() {
    // Fields go in declaration order; objects they hold may terminate in turn.
    for (std::int32_t i = 0; i < m_def->fieldCount; ++i) m_fields[static_cast<std::size_t>(i)].clear();
    qrt::moduleUnlock();
    qrt::detail::objectDestroyed();
}

HRESULT ClassInstance::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID) {
        *out = static_cast<IDispatch*>(this);
    } else if (iid == IProvideClassInfo::IID) {
        *out = static_cast<IProvideClassInfo*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG ClassInstance::Release() {
    const ULONG left = --m_refs;
    if (left != 0) return left;
    if (!m_terminated && m_def->terminate && vm()) {
        // Class_Terminate sees the object whole; Me inside it holds a
        // reference for the time being. Should the script keep one, the
        // object lives on and goes without a second Terminate.
        m_terminated = true;
        m_refs = 1;
        std::shared_ptr<Procedure> terminate = m_def->terminate;
        vm()->runTerminate(*terminate, this);
        const ULONG kept = --m_refs;
        if (kept != 0) return kept;
    }
    delete this;
    return 0;
}

HRESULT ClassInstance::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

qrt::ComPtr<ITypeInfo> ClassInstance::typeInfo() {
    qrt::TypeDesc desc;
    desc.name = m_def->name;
    desc.kind = TKIND_DISPATCH;
    for (std::size_t i = 0; i < m_def->members.size(); ++i) {
        const ClassMember& m = m_def->members[i];
        if (m.isPrivate) continue;
        qrt::FuncDesc f;
        f.name = m.name;
        f.id = static_cast<MEMBERID>(i + 1);
        const Procedure* proc = m.method ? m.method.get() : m.get ? m.get.get() : nullptr;
        f.kind = m.kind == ClassMember::Method ? INVOKE_FUNC : INVOKE_PROPERTYGET;
        if (proc) {
            for (const std::u16string& p : proc->paramNames) f.params.push_back({p, VT_VARIANT, PARAMFLAG_FIN});
        }
        f.returnType = (proc && !proc->isFunction) ? VT_VOID : VT_VARIANT;
        desc.funcs.push_back(std::move(f));
    }
    return qrt::createTypeInfo(std::move(desc));
}

HRESULT ClassInstance::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    try {
        qrt::ComPtr<ITypeInfo> ti = typeInfo();
        if (!ti) return E_OUTOFMEMORY;
        *info = ti.detach();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ClassInstance::GetClassInfo(ITypeInfo** info) { return GetTypeInfo(0, 0, info); }

HRESULT ClassInstance::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (riid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        if (i > 0 || !names[i]) {  // named arguments are not supported
            hr = DISP_E_UNKNOWNNAME;
            continue;
        }
        try {
            const std::int32_t m = m_def->find(foldName(names[i]));
            if (m < 0 || m_def->members[static_cast<std::size_t>(m)].isPrivate) {
                hr = DISP_E_UNKNOWNNAME;
                continue;
            }
            ids[i] = m + 1;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    return hr;
}

HRESULT ClassInstance::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* excep, UINT*) {
    if (riid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (result) VariantInit(result);
    Interpreter* machine = vm();
    if (!machine) return E_UNEXPECTED;
    const std::int32_t index = memberOfId(*m_def, id);
    if (index < 0) return DISP_E_MEMBERNOTFOUND;
    ClassMember& m = m_def->members[static_cast<std::size_t>(index)];
    if (m.isPrivate && id != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (!params) params = &none;
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    if (params->cNamedArgs > (put ? 1u : 0u)) return DISP_E_NONAMEDARGS;
    qrt::ComPtr<ClassInstance> hold(this);
    try {
        if (m.kind == ClassMember::Field) {
            Value& field = m_fields[static_cast<std::size_t>(m.field)];
            if (put) {
                if (params->cArgs == 0) return DISP_E_BADPARAMCOUNT;
                Value v = fromVariant(params->rgvarg[0]);
                std::vector<Value> index = argumentsOf(params, 1);
                if (index.empty()) {
                    if ((flags & DISPATCH_PROPERTYPUTREF) && !v.isObject()) return DISP_E_TYPEMISMATCH;
                    field = std::move(v);
                    return S_OK;
                }
                if (!field.isArray()) return DISP_E_BADPARAMCOUNT;
                Value array = field;
                field.clear();
                ArrayBody* a = array.uniqueArray();
                Value* slot = nullptr;
                if (index.size() == a->bounds.size()) {
                    std::size_t offset = 0, scale = 1;
                    for (std::size_t d = 0; d < index.size(); ++d) {
                        std::int64_t i = static_cast<std::int64_t>(toLong(index[d])) - a->bounds[d].lower;
                        if (i < 0 || i >= a->bounds[d].count) break;
                        offset += static_cast<std::size_t>(i) * scale;
                        scale *= static_cast<std::size_t>(a->bounds[d].count);
                        if (d + 1 == index.size()) slot = &a->data[offset];
                    }
                }
                // The element it replaces goes last, once the field holds the array again.
                Value replaced;
                if (slot) {
                    replaced = std::move(*slot);
                    *slot = std::move(v);
                }
                field = std::move(array);
                return slot ? S_OK : DISP_E_BADINDEX;
            }
            Value v = field;
            if (params->cArgs > 0) {
                if (!v.isArray()) return DISP_E_BADPARAMCOUNT;
                std::vector<Value> index = argumentsOf(params, 0);
                const ArrayBody* a = v.arr();
                if (index.size() != a->bounds.size()) return DISP_E_BADINDEX;
                std::size_t offset = 0, scale = 1;
                for (std::size_t d = 0; d < index.size(); ++d) {
                    std::int64_t i = static_cast<std::int64_t>(toLong(index[d])) - a->bounds[d].lower;
                    if (i < 0 || i >= a->bounds[d].count) return DISP_E_BADINDEX;
                    offset += static_cast<std::size_t>(i) * scale;
                    scale *= static_cast<std::size_t>(a->bounds[d].count);
                }
                Value element = a->data[offset];
                v = std::move(element);
            }
            if (result) toVariant(v, *result);
            return S_OK;
        }
        Procedure* proc = nullptr;
        if (m.kind == ClassMember::Method) {
            if (put) return DISP_E_MEMBERNOTFOUND;
            proc = m.method.get();
        } else if (put) {
            const bool isObject = params->cArgs > 0 && fromVariant(params->rgvarg[0]).isObject();
            if (flags & DISPATCH_PROPERTYPUTREF) proc = m.set ? m.set.get() : m.let.get();
            else proc = (m.let || !isObject) ? m.let.get() : m.set.get();
        } else {
            proc = m.get.get();
        }
        if (!proc) return DISP_E_MEMBERNOTFOUND;
        return machine->invokeForHost(*proc, this, params, result, excep);
    } catch (const ScriptError& e) {
        return fillException(excep, e);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

// ---- GetRef ------------------------------------------------------------------

namespace {

class FunctionRef final : public qrt::ComObject<IDispatch> {
public:
    FunctionRef(std::shared_ptr<Procedure> proc, std::shared_ptr<EngineLink> link)
        : m_proc(std::move(proc)), m_link(std::move(link)) {}
    HRESULT GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT*) override {
        if (riid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (result) VariantInit(result);
        if (id != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
        if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
        Interpreter* vm = m_link->vm;
        if (!vm) return E_UNEXPECTED;
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        if (params && params->cNamedArgs) return DISP_E_NONAMEDARGS;
        qrt::ComPtr<IDispatch> hold(this);
        return vm->invokeForHost(*m_proc, nullptr, params ? params : &none, result, excep);
    }

private:
    std::shared_ptr<Procedure> m_proc;
    std::shared_ptr<EngineLink> m_link;
};

// Err: Number (the default member), Description, Source, HelpFile,
// HelpContext, Raise and Clear.
class ErrObject final : public qrt::ComObject<IDispatch> {
public:
    explicit ErrObject(std::shared_ptr<EngineLink> link) : m_link(std::move(link)) {}
    HRESULT GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        qrt::TypeDesc desc;
        desc.name = u"ErrObject";
        qrt::ComPtr<ITypeInfo> ti = qrt::createTypeInfo(std::move(desc));
        if (!ti) return E_OUTOFMEMORY;
        *info = ti.detach();
        return S_OK;
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids) return E_POINTER;
        static const std::pair<const char16_t*, DISPID> members[] = {
            {u"number", Interpreter::kErrNumber},       {u"description", Interpreter::kErrDescription},
            {u"source", Interpreter::kErrSource},       {u"helpfile", Interpreter::kErrHelpFile},
            {u"helpcontext", Interpreter::kErrHelpContext}, {u"raise", Interpreter::kErrRaise},
            {u"clear", Interpreter::kErrClear},
        };
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            if (i == 0 && names[0]) {
                const std::u16string folded = foldName(names[0]);
                for (const auto& [name, id] : members) {
                    if (folded == name) ids[0] = id;
                }
            }
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT*) override {
        if (result) VariantInit(result);
        Interpreter* vm = m_link->vm;
        if (!vm) return E_UNEXPECTED;
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        if (!params) params = &none;
        const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
        try {
            std::vector<Value> args = argumentsOf(params, put ? 1 : 0);
            Value putValue = put && params->cArgs ? fromVariant(params->rgvarg[0]) : Value();
            Value r = vm->errMember(id, flags, args.data(), static_cast<int>(args.size()), put ? &putValue : nullptr);
            if (result && !put) toVariant(r, *result);
            return S_OK;
        } catch (const ScriptError& e) {
            if (e.scode == errorStatus(err::NotSupported)) return DISP_E_MEMBERNOTFOUND;
            return fillException(excep, e);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

private:
    std::shared_ptr<EngineLink> m_link;
};

}  // namespace

HRESULT createFunctionRef(std::shared_ptr<Procedure> proc, std::shared_ptr<EngineLink> link, IDispatch** out) {
    return qrt::createInstance<FunctionRef>(IID_IDispatch, reinterpret_cast<void**>(out), std::move(proc), std::move(link));
}

HRESULT createErrObject(std::shared_ptr<EngineLink> link, IDispatch** out) {
    return qrt::createInstance<ErrObject>(IID_IDispatch, reinterpret_cast<void**>(out), std::move(link));
}

}  // namespace vbs
