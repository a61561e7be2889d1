// IUnknown, the reference-counted smart pointer and the class factory.
#pragma once

#include "runtime/guid.h"
#include "runtime/types.h"

#include <utility>

// Every interface names its identifier as a static member IID and its base
// interface as Base, so QueryInterface tables and ComPtr can find both.
struct IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{00000000-0000-0000-C000-000000000046}");
    virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{00000001-0000-0000-C000-000000000046}");
    using Base = IUnknown;
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;

protected:
    ~IClassFactory() = default;
};

#define IID_IUnknown (IUnknown::IID)
#define IID_IClassFactory (IClassFactory::IID)

namespace qrt {

template <class T>
constexpr const IID& iidOf() { return T::IID; }

// Reference-counted pointer: adds a reference when it copies, releases one
// when it lets go. attach()/detach() move an existing reference in or out.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ComPtr(T* p) : m_p(p) { if (m_p) m_p->AddRef(); }
    ComPtr(const ComPtr& o) : ComPtr(o.m_p) {}
    ComPtr(ComPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    ComPtr(const ComPtr<U>& o) : ComPtr(static_cast<T*>(o.get())) {}
    ~ComPtr() { reset(); }

    ComPtr& operator=(ComPtr o) noexcept { std::swap(m_p, o.m_p); return *this; }

    static ComPtr attach(T* p) { ComPtr c; c.m_p = p; return c; }
    T* detach() { return std::exchange(m_p, nullptr); }
    void reset() { if (T* p = std::exchange(m_p, nullptr)) p->Release(); }

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // For out-parameters: releases what is held and returns the slot.
    T** out() { reset(); return &m_p; }
    void** outVoid() { reset(); return reinterpret_cast<void**>(&m_p); }

    // Hands out a new reference through an out-parameter.
    HRESULT copyTo(T** out) const {
        if (!out) return E_POINTER;
        *out = m_p;
        if (m_p) m_p->AddRef();
        return S_OK;
    }

    template <class U>
    HRESULT as(ComPtr<U>& out) const {
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(U::IID, out.outVoid());
    }
    template <class U>
    ComPtr<U> as() const {
        ComPtr<U> r;
        if (m_p) m_p->QueryInterface(U::IID, r.outVoid());
        return r;
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.m_p == b.m_p; }

private:
    T* m_p = nullptr;
};

}  // namespace qrt
