// Objects the script makes: instances of its classes, the references
// GetRef hands out, and the Err object. Hosts see each as an IDispatch.
// A class instance runs Class_Terminate when its last reference goes, as
// long as its engine is open.
#pragma once

#include "engines/vbscript/interpreter.h"
#include "runtime/typeinfo.h"

#include <atomic>

namespace vbs {

class ClassInstance final : public IDispatch, public IProvideClassInfo {
public:
    static constexpr ::IID IID = qrt::makeGuid("{0B6C2D8E-3F1A-4E57-9C0D-7A2B5E8F1C34}");

    // A new instance with one reference; fields set up, Class_Initialize not yet run.
    static ClassInstance* create(std::shared_ptr<ClassDef> def, std::shared_ptr<EngineLink> link);
    // The instance behind d, or null when d is some other object.
    static ClassInstance* from(IDispatch* d) {
        return d && *reinterpret_cast<void* const*>(d) == s_vtable.load(std::memory_order_relaxed)
                   ? static_cast<ClassInstance*>(d)
                   : nullptr;
    }

    ClassDef& def() { return *m_def; }
    Value* fields() { return m_fields.get(); }
    Interpreter* vm() const { return m_link->vm; }
    IDispatch* dispatch() { return this; }

    // IUnknown
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override;
    // IDispatch: the public members, by name without regard to case.
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT* argErr) override;
    // IProvideClassInfo: TypeName gives the class name from it.
    HRESULT GetClassInfo(ITypeInfo** info) override;

private:
    ClassInstance(std::shared_ptr<ClassDef> def, std::shared_ptr<EngineLink> link);
    ~ClassInstance();
    qrt::ComPtr<ITypeInfo> typeInfo();

    static inline std::atomic<const void*> s_vtable{nullptr};
    // Plain counting: instances live on their engine's thread, as the engine does.
    ULONG m_refs = 1;
    bool m_terminated = false;
    std::shared_ptr<ClassDef> m_def;
    std::shared_ptr<EngineLink> m_link;
    std::unique_ptr<Value[]> m_fields;
};

// GetRef("name"): calling its default member calls the procedure.
HRESULT createFunctionRef(std::shared_ptr<Procedure> proc, std::shared_ptr<EngineLink> link, IDispatch** out);
// The Err object of an interpreter.
HRESULT createErrObject(std::shared_ptr<EngineLink> link, IDispatch** out);

}  // namespace vbs
