// The entry points of an in-process component server, compiled into every
// component library over that library's qhost::thisModule().
#include "hosting/module.h"
#include "hosting/registration.h"
#include "runtime/activation.h"
#include "runtime/object.h"

#include <dlfcn.h>
#include <pthread.h>

#include <memory>
#include <new>
#include <string>

#define QUILLAN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The library lock guards the creation of class factories.
struct LibraryLock {
    pthread_mutex_t mutex;
    bool ok;
    LibraryLock() : ok(pthread_mutex_init(&mutex, nullptr) == 0) {}
    ~LibraryLock() {
        if (ok) pthread_mutex_destroy(&mutex);
    }
};
LibraryLock g_lock;

// A class factory lives from its first request until the library unloads;
// its references do not keep the library loaded, LockServer does.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(const qhost::ClassEntry& entry) : m_entry(entry) {}

    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IUnknown::IID || iid == IClassFactory::IID) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        try {
            return m_entry.create(iid, out);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
    }
    HRESULT LockServer(BOOL lock) override {
        if (lock) qrt::moduleLock();
        else qrt::moduleUnlock();
        return S_OK;
    }

private:
    const qhost::ClassEntry& m_entry;
};

std::vector<std::unique_ptr<ClassFactory>>& factories() {
    static std::vector<std::unique_ptr<ClassFactory>> f(qhost::thisModule().classes.size());
    return f;
}

std::string thisLibraryPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&thisLibraryPath), &info) && info.dli_fname)
        return qhost::canonicalPath(info.dli_fname);
    return {};
}

}  // namespace

QUILLAN_EXPORT BOOL DllMain(void*, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) return g_lock.ok ? 1 : 0;
    return 1;
}

QUILLAN_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    const auto& classes = qhost::thisModule().classes;
    for (std::size_t i = 0; i < classes.size(); ++i) {
        if (classes[i].clsid != clsid) continue;
        pthread_mutex_lock(&g_lock.mutex);
        auto& slot = factories()[i];
        if (!slot) slot = std::make_unique<ClassFactory>(classes[i]);
        ClassFactory* factory = slot.get();
        pthread_mutex_unlock(&g_lock.mutex);
        return factory->QueryInterface(iid, out);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

QUILLAN_EXPORT HRESULT DllCanUnloadNow() { return qrt::moduleLockValue() == 0 ? S_OK : S_FALSE; }

QUILLAN_EXPORT HRESULT DllRegisterServer() {
    return qhost::registerModule(qhost::thisModule(), thisLibraryPath());
}

QUILLAN_EXPORT HRESULT DllUnregisterServer() {
    return qhost::unregisterModule(qhost::thisModule(), thisLibraryPath());
}
