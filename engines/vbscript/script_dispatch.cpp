#include "engines/vbscript/script_dispatch.h"

#include "engines/vbscript/engine.h"
#include "runtime/typeinfo.h"

#include <new>

namespace vbs {

namespace {

class ScriptDispatch final : public qrt::ComObject<IDispatch> {
public:
    explicit ScriptDispatch(ScriptEngine* engine) : m_engine(engine) {}

    HRESULT GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }

    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        if (m_engine->closed()) return E_UNEXPECTED;
        try {
            qrt::TypeDesc desc;
            desc.name = u"VBScriptGlobal";
            desc.kind = TKIND_DISPATCH;
            for (const auto& proc : m_engine->publicProcedures()) {
                qrt::FuncDesc f;
                f.name = proc->name;
                DISPID id = DISPID_UNKNOWN;
                m_engine->globalIdOfName(proc->name, &id);
                f.id = id;
                f.kind = INVOKE_FUNC;
                for (const std::u16string& p : proc->paramNames) f.params.push_back({p, VT_VARIANT, PARAMFLAG_FIN});
                f.returnType = proc->isFunction ? VT_VARIANT : VT_VOID;
                desc.funcs.push_back(std::move(f));
            }
            qrt::ComPtr<ITypeInfo> ti = qrt::createTypeInfo(std::move(desc));
            if (!ti) return E_OUTOFMEMORY;
            *info = ti.detach();
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (riid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (!names || !ids) return E_POINTER;
        if (count == 0) return S_OK;
        HRESULT hr;
        try {
            hr = m_engine->globalIdOfName(names[0] ? std::u16string_view(names[0]) : std::u16string_view(), &ids[0]);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        // Named arguments are not supported: their names are unknown.
        for (UINT i = 1; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            if (SUCCEEDED(hr)) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }

    HRESULT Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT*) override {
        if (riid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
        return m_engine->invokeGlobal(id, flags, params, result, excep);
    }

private:
    qrt::ComPtr<ScriptEngine> m_engine;
};

}  // namespace

HRESULT createScriptDispatch(ScriptEngine* engine, IDispatch** out) {
    return qrt::createInstance<ScriptDispatch>(IID_IDispatch, reinterpret_cast<void**>(out), engine);
}

}  // namespace vbs
