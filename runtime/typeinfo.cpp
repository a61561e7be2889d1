// ITypeInfo over a plain TypeDesc.
#include "runtime/typeinfo.h"

#include "runtime/dispatch_table.h"
#include "runtime/object.h"

#include <new>

namespace qrt {

namespace {

class DescribedTypeInfo final : public ComObject<ITypeInfo> {
public:
    DescribedTypeInfo(TypeDesc desc, TypeInvoker invoker, const void* context)
        : m_desc(std::move(desc)), m_invoker(invoker), m_context(context) {}

    HRESULT GetTypeAttr(TYPEATTR** attr) override {
        if (!attr) return E_POINTER;
        auto* a = new (std::nothrow) TYPEATTR{};
        if (!a) return E_OUTOFMEMORY;
        a->guid = m_desc.guid;
        a->typekind = m_desc.kind;
        a->cFuncs = static_cast<WORD>(m_desc.funcs.size());
        a->cImplTypes = static_cast<WORD>(m_desc.implTypes.size());
        a->wTypeFlags = m_desc.flags;
        a->wMajorVerNum = 1;
        *attr = a;
        return S_OK;
    }
    void ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }

    HRESULT GetFuncDesc(UINT index, FUNCDESC** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index >= m_desc.funcs.size()) return TYPE_E_ELEMENTNOTFOUND;
        const FuncDesc& f = m_desc.funcs[index];
        auto* d = new (std::nothrow) FUNCDESC{};
        if (!d) return E_OUTOFMEMORY;
        d->memid = f.id;
        d->funckind = m_desc.kind == TKIND_DISPATCH && f.slot == 0 ? FUNC_DISPATCH : FUNC_PUREVIRTUAL;
        d->invkind = f.kind;
        d->cParams = static_cast<SHORT>(f.params.size());
        d->cParamsOpt = f.optionalCount;
        d->oVft = f.slot;
        d->elemdescFunc.tdesc.vt = f.returnType;
        d->elemdescFunc.wParamFlags = f.returnType == VT_VOID ? PARAMFLAG_NONE : PARAMFLAG_FRETVAL;
        if (!f.params.empty()) {
            d->lprgelemdescParam = new (std::nothrow) ELEMDESC[f.params.size()];
            if (!d->lprgelemdescParam) {
                delete d;
                return E_OUTOFMEMORY;
            }
            for (std::size_t i = 0; i < f.params.size(); ++i) {
                d->lprgelemdescParam[i].tdesc.vt = f.params[i].vt;
                d->lprgelemdescParam[i].wParamFlags = f.params[i].flags;
            }
        }
        *out = d;
        return S_OK;
    }
    void ReleaseFuncDesc(FUNCDESC* desc) override {
        if (!desc) return;
        delete[] desc->lprgelemdescParam;
        delete desc;
    }

    HRESULT GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) override {
        if (!names || !count) return E_POINTER;
        *count = 0;
        const FuncDesc* f = findFunc(id);
        if (!f) return TYPE_E_ELEMENTNOTFOUND;
        if (maxNames == 0) return S_OK;
        names[(*count)++] = allocBstr(std::u16string_view(f->name));
        for (const ParamDesc& p : f->params) {
            if (*count >= maxNames) break;
            names[(*count)++] = allocBstr(std::u16string_view(p.name));
        }
        return S_OK;
    }

    HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* ref) override {
        if (!ref) return E_POINTER;
        if (index >= m_desc.implTypes.size()) return TYPE_E_ELEMENTNOTFOUND;
        *ref = index;
        return S_OK;
    }
    HRESULT GetImplTypeFlags(UINT index, INT* flags) override {
        if (!flags) return E_POINTER;
        if (index >= m_desc.implTypes.size()) return TYPE_E_ELEMENTNOTFOUND;
        *flags = m_desc.implTypes[index].flags;
        return S_OK;
    }

    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
        if (!names || !ids) return E_POINTER;
        if (count == 0) return S_OK;
        const FuncDesc* f = nullptr;
        for (const FuncDesc& candidate : m_desc.funcs) {
            if (names[0] && compareNamesNoCase(candidate.name, names[0]) == 0) {
                f = &candidate;
                break;
            }
        }
        for (UINT i = 0; i < count; ++i) ids[i] = MEMBERID_NIL;
        if (!f) return DISP_E_UNKNOWNNAME;
        ids[0] = f->id;
        HRESULT hr = S_OK;
        for (UINT i = 1; i < count; ++i) {
            bool found = false;
            for (std::size_t p = 0; p < f->params.size(); ++p) {
                if (names[i] && compareNamesNoCase(f->params[p].name, names[i]) == 0) {
                    ids[i] = static_cast<MEMBERID>(p);
                    found = true;
                    break;
                }
            }
            if (!found) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }

    HRESULT Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT* argErr) override {
        if (!m_invoker) return E_NOTIMPL;
        if (!instance) return E_INVALIDARG;
        return m_invoker(m_context, instance, id, flags, params, result, excep, argErr);
    }

    HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile) override {
        std::u16string_view n, d;
        if (id == MEMBERID_NIL) {
            n = m_desc.name;
            d = m_desc.doc;
        } else {
            const FuncDesc* f = findFunc(id);
            if (!f) return TYPE_E_ELEMENTNOTFOUND;
            n = f->name;
            d = f->doc;
        }
        if (name) *name = allocBstr(n);
        if (doc) *doc = d.empty() ? nullptr : allocBstr(d);
        if (helpContext) *helpContext = 0;
        if (helpFile) *helpFile = nullptr;
        return S_OK;
    }

    HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (ref >= m_desc.implTypes.size() || !m_desc.implTypes[ref].info) return TYPE_E_ELEMENTNOTFOUND;
        return m_desc.implTypes[ref].info.copyTo(info);
    }

private:
    const FuncDesc* findFunc(MEMBERID id) const {
        for (const FuncDesc& f : m_desc.funcs)
            if (f.id == id) return &f;
        return nullptr;
    }

    TypeDesc m_desc;
    TypeInvoker m_invoker;
    const void* m_context;
};

}  // namespace

ComPtr<ITypeInfo> createTypeInfo(TypeDesc desc, TypeInvoker invoker, const void* invokerContext) {
    return ComPtr<ITypeInfo>(new (std::nothrow) DescribedTypeInfo(std::move(desc), invoker, invokerContext));
}

HRESULT classTypeInfo(std::u16string_view name, const CLSID& clsid, ITypeInfo* defaultInterface,
                      ITypeInfo* sourceInterface, ITypeInfo** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    TypeDesc desc;
    desc.name = name;
    desc.doc = std::u16string(name) + u" Class";
    desc.guid = clsid;
    desc.kind = TKIND_COCLASS;
    if (defaultInterface) desc.implTypes.push_back({ComPtr<ITypeInfo>(defaultInterface), IMPLTYPEFLAG_FDEFAULT});
    if (sourceInterface)
        desc.implTypes.push_back({ComPtr<ITypeInfo>(sourceInterface), IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE});
    ComPtr<ITypeInfo> info = createTypeInfo(std::move(desc));
    if (!info) return E_OUTOFMEMORY;
    *out = info.detach();
    return S_OK;
}

}  // namespace qrt
