// The base of every component object: reference counting that catches
// underflow, QueryInterface over the listed interfaces, and the counts that
// leak checks and DllCanUnloadNow read.
#pragma once

#include "runtime/unknown.h"

#include <atomic>
#include <new>
#include <type_traits>
#include <typeinfo>

namespace qrt {

// Objects alive in the whole process, counted by every ComObject.
long liveObjectCount();
// Releases of an object whose count was already zero, since the process began.
long refUnderflowCount();

namespace detail {
void objectCreated();
void objectDestroyed();
void reportRefUnderflow(const char* typeName);

// Per-library lock count (live objects and LockServer locks). Hidden
// visibility gives every shared library its own counter, which is what its
// DllCanUnloadNow answers from.
__attribute__((visibility("hidden"))) inline std::atomic<long>& moduleLockCount() {
    static std::atomic<long> count{0};
    return count;
}

template <class I, class = void>
struct HasBase : std::false_type {};
template <class I>
struct HasBase<I, std::void_t<typename I::Base>> : std::true_type {};

// True when iid names I or one of its base interfaces.
template <class I>
bool matchesInterface(REFIID iid) {
    if (iid == I::IID) return true;
    if constexpr (HasBase<I>::value) return matchesInterface<typename I::Base>(iid);
    return false;
}

template <class First, class... Rest>
struct FirstOf {
    using type = First;
};

// An interface implementation may name a companion interface that the
// object answers as well, implemented from the whole object:
// `template <class Outer> using Companion = ...`, Outer being the ComObject.
// Without one, an empty base distinct per interface stands in its place.
template <class I>
struct NoCompanion {
    // Never matches: QueryInterface skips it.
    static constexpr bool answers = false;
};
template <class I, class Outer, class = void>
struct CompanionOf {
    using type = NoCompanion<I>;
};
template <class I, class Outer>
struct CompanionOf<I, Outer, std::void_t<typename I::template Companion<Outer>>> {
    using type = typename I::template Companion<Outer>;
};
template <class C>
bool companionMatches(REFIID iid) {
    if constexpr (requires { C::answers; }) return false;
    else return iid == C::IID;
}
}  // namespace detail

inline void moduleLock() { ++detail::moduleLockCount(); }
inline void moduleUnlock() { --detail::moduleLockCount(); }
inline long moduleLockValue() { return detail::moduleLockCount().load(); }

// Implements IUnknown for a class deriving from the interfaces Ifaces. The
// count starts at zero; create<T>() returns the first reference. A class may
// answer more identifiers by overriding queryExtra(), and answers the
// companions its interface implementations name (see CompanionOf).
template <class... Ifaces>
class ComObject : public Ifaces..., public detail::CompanionOf<Ifaces, ComObject<Ifaces...>>::type... {
public:
    ComObject() {
        detail::objectCreated();
        moduleLock();
    }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;
    virtual ~ComObject() {
        moduleUnlock();
        detail::objectDestroyed();
    }

    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IUnknown::IID) {
            *out = static_cast<IUnknown*>(static_cast<typename detail::FirstOf<Ifaces...>::type*>(this));
        } else {
            ((!*out && detail::matchesInterface<Ifaces>(iid) ? (*out = static_cast<Ifaces*>(this), true) : false), ...);
            using detail::CompanionOf;
            ((!*out && detail::companionMatches<typename CompanionOf<Ifaces, ComObject>::type>(iid)
                  ? (*out = static_cast<typename CompanionOf<Ifaces, ComObject>::type*>(this), true)
                  : false),
             ...);
            if (!*out) {
                HRESULT hr = queryExtra(iid, out);
                if (FAILED(hr)) { *out = nullptr; return hr; }
                if (!*out) return E_NOINTERFACE;
                return S_OK;  // queryExtra has added the reference
            }
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        ULONG current = m_refs.load();
        do {
            if (current == 0) {
                detail::reportRefUnderflow(typeid(*this).name());
                return 0;
            }
        } while (!m_refs.compare_exchange_weak(current, current - 1));
        if (current == 1) {
            finalRelease();
            delete this;
            return 0;
        }
        return current - 1;
    }

    ULONG refCount() const { return m_refs.load(); }
    IUnknown* unknown() { return static_cast<IUnknown*>(static_cast<typename detail::FirstOf<Ifaces...>::type*>(this)); }

protected:
    // For identifiers beyond Ifaces: set *out to an interface with a reference
    // added, or leave it null.
    virtual HRESULT queryExtra(REFIID, void**) { return S_OK; }
    // Called once, before deletion, while the object is still whole.
    virtual void finalRelease() {}

private:
    std::atomic<ULONG> m_refs{0};
};

// Creates an object and returns its first reference.
template <class T, class... Args>
ComPtr<T> create(Args&&... args) {
    T* p = new (std::nothrow) T(std::forward<Args>(args)...);
    return ComPtr<T>(p);
}

// Creates an object and hands out the interface iid, the usual body of a
// class factory's CreateInstance.
template <class T, class... Args>
HRESULT createInstance(REFIID iid, void** out, Args&&... args) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ComPtr<T> obj = create<T>(std::forward<Args>(args)...);
    if (!obj) return E_OUTOFMEMORY;
    return obj->QueryInterface(iid, out);
}

}  // namespace qrt
