// Script objects seen from a host: the script dispatch (the global object,
// whose functions it describes in its type information) and any other script
// object or function handed to a host as an IDispatch.
#include "engines/jscript/script_objects.h"

#include "runtime/bstr.h"
#include "runtime/object.h"

#include <algorithm>

namespace jscript {
namespace {

// Names get dispatch identifiers in the order they are first asked for;
// DISPID_VALUE (0) is the object itself.
class NameTable {
public:
    DISPID idOf(std::u16string_view name) {
        auto it = std::find(m_names.begin(), m_names.end(), name);
        if (it == m_names.end()) {
            m_names.emplace_back(name);
            it = m_names.end() - 1;
        }
        return static_cast<DISPID>(it - m_names.begin()) + 1;
    }
    bool nameOf(DISPID id, std::u16string& name) const {
        if (id == DISPID_VALUE) {
            name.clear();
            return true;
        }
        if (id < 1 || static_cast<std::size_t>(id) > m_names.size()) return false;
        name = m_names[id - 1];
        return true;
    }

private:
    std::vector<std::u16string> m_names;
};

class ScriptObject final : public qrt::ComObject<IDispatch> {
public:
    ScriptObject(std::shared_ptr<RuntimeLink> link, int objectId) : m_link(std::move(link)), m_objectId(objectId) {}
    ~ScriptObject() override {
        if (m_link->runtime && m_objectId != 0) m_link->runtime->releaseObject(m_objectId);
    }

    HRESULT GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = m_objectId == 0 ? 1 : 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (m_objectId != 0 || index != 0) return DISP_E_BADINDEX;
        DukRuntime* runtime = m_link->runtime;
        if (!runtime) return E_UNEXPECTED;
        // The script's global functions, described afresh: later script text
        // may have added some.
        qrt::TypeDesc desc;
        desc.name = u"JScriptGlobal";
        desc.kind = TKIND_DISPATCH;
        for (const auto& function : runtime->globalFunctions()) {
            qrt::FuncDesc func;
            func.name = function.name;
            func.id = m_names.idOf(function.name);
            func.kind = INVOKE_FUNC;
            func.returnType = VT_VARIANT;
            for (int i = 0; i < function.parameterCount; ++i) {
                const std::string number = std::to_string(i + 1);
                func.params.push_back({u"p" + std::u16string(number.begin(), number.end()), VT_VARIANT});
            }
            desc.funcs.push_back(std::move(func));
        }
        qrt::ComPtr<ITypeInfo> made = qrt::createTypeInfo(std::move(desc));
        if (!made) return E_OUTOFMEMORY;
        *info = made.detach();
        return S_OK;
    }
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (iid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (!names || !ids || count == 0) return E_INVALIDARG;
        DukRuntime* runtime = m_link->runtime;
        if (!runtime) return E_UNEXPECTED;
        // Only the member name: script functions have no named parameters.
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        if (!names[0]) return DISP_E_UNKNOWNNAME;
        const std::u16string_view name(names[0]);
        if (!runtime->objectHas(m_objectId, name)) return DISP_E_UNKNOWNNAME;
        ids[0] = m_names.idOf(name);
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT*) override {
        if (iid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
        DukRuntime* runtime = m_link->runtime;
        if (!runtime) return E_UNEXPECTED;
        std::u16string name;
        if (!m_names.nameOf(id, name)) return DISP_E_MEMBERNOTFOUND;
        if (name.empty() && m_objectId == 0) return DISP_E_MEMBERNOTFOUND;
        if (result) VariantClear(result);
        try {
            return runtime->invoke(m_objectId, name, flags, params, result, excep);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

private:
    std::shared_ptr<RuntimeLink> m_link;
    int m_objectId;
    NameTable m_names;
};

}  // namespace

qrt::ComPtr<IDispatch> createScriptDispatch(const std::shared_ptr<RuntimeLink>& link) {
    return qrt::create<ScriptObject>(link, 0);
}

qrt::ComPtr<IDispatch> scriptObjectDispatch(duk_context* ctx, duk_idx_t idx) {
    DukRuntime& runtime = runtimeOf(ctx);
    return qrt::create<ScriptObject>(runtime.link(), runtime.keepObject(ctx, idx));
}

}  // namespace jscript
