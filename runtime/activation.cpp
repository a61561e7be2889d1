#include "runtime/activation.h"

#include "runtime/registry.h"
#include "runtime/remote.h"
#include "runtime/text.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <vector>

namespace {

thread_local int t_initCount = 0;
thread_local std::string t_lastError;

void setError(std::string message) { t_lastError = std::move(message); }

struct RegisteredClassObject {
    DWORD cookie;
    CLSID clsid;
    qrt::ComPtr<IUnknown> object;
};

struct LoadedLibrary {
    void* handle = nullptr;
    DllMainFn main = nullptr;
    DllGetClassObjectFn getClassObject = nullptr;
    DllCanUnloadNowFn canUnloadNow = nullptr;
};

struct ActivationState {
    std::mutex mutex;
    std::vector<RegisteredClassObject> classObjects;
    DWORD nextCookie = 1;
    std::map<std::string, LoadedLibrary> libraries;
};

ActivationState& state() {
    static ActivationState* s = new ActivationState;  // outlives every static destructor
    return *s;
}

std::string clsidKey(REFCLSID clsid) { return "CLSID\\" + qrt::guidToString(clsid); }

// Loads (or finds) the library at path; on failure returns the status and
// sets the thread's error text.
HRESULT loadLibrary(const std::string& path, LoadedLibrary& out) {
    ActivationState& s = state();
    {
        std::lock_guard lock(s.mutex);
        auto it = s.libraries.find(path);
        if (it != s.libraries.end()) {
            out = it->second;
            return S_OK;
        }
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        setError("cannot load " + path + ": " + (why ? why : "unknown error"));
        return CO_E_DLLNOTFOUND;
    }
    LoadedLibrary lib;
    lib.handle = handle;
    lib.main = reinterpret_cast<DllMainFn>(dlsym(handle, "DllMain"));
    lib.getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    lib.canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
    if (!lib.getClassObject || !lib.canUnloadNow) {
        dlclose(handle);
        setError(path + " is not a component library: it lacks DllGetClassObject or DllCanUnloadNow");
        return CO_E_ERRORINDLL;
    }
    if (lib.main && !lib.main(handle, DLL_PROCESS_ATTACH, nullptr)) {
        dlclose(handle);
        setError(path + " refused to initialise (DllMain failed)");
        return CO_E_ERRORINDLL;
    }
    std::lock_guard lock(s.mutex);
    auto [it, inserted] = s.libraries.emplace(path, lib);
    if (!inserted) {
        // Another thread loaded it meanwhile; drop our extra load.
        if (lib.main) lib.main(handle, DLL_PROCESS_DETACH, nullptr);
        dlclose(handle);
    }
    out = it->second;
    return S_OK;
}

}  // namespace

HRESULT CoInitialize(void* reserved) { return CoInitializeEx(reserved, 0); }

HRESULT CoInitializeEx(void*, DWORD) { return t_initCount++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
    if (t_initCount > 0 && --t_initCount == 0) CoFreeUnusedLibraries();
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
    if (!progId || !clsid) return E_INVALIDARG;
    *clsid = GUID_NULL;
    std::u16string_view wide(progId);
    if (!wide.empty() && wide.front() == u'{') {
        HRESULT hr = CLSIDFromString(progId, clsid);
        if (FAILED(hr)) setError("\"" + qrt::encodeUtf8(wide) + "\" is not a valid class identifier");
        return hr;
    }
    std::string name = qrt::encodeUtf8(wide);
    if (name.empty() || name.find('\\') != std::string::npos) {
        setError("\"" + name + "\" is not a valid ProgID");
        return CO_E_CLASSSTRING;
    }
    qrt::registry::Key root = qrt::registry::load(qrt::registry::Hive::ClassesRoot);
    std::string current = name;
    for (int hops = 0; hops < 8; ++hops) {
        const qrt::registry::Key* key = root.find(current);
        if (!key) break;
        const qrt::registry::Key* curVer = key->child("CurVer");
        auto next = curVer ? curVer->value("") : std::nullopt;
        if (next && !next->empty() && *next != current) {
            current = *next;
            continue;
        }
        const qrt::registry::Key* id = key->child("CLSID");
        auto text = id ? id->value("") : std::nullopt;
        if (text) {
            if (auto g = qrt::parseGuid(*text)) {
                *clsid = *g;
                t_lastError.clear();
                return S_OK;
            }
        }
        break;
    }
    setError("no class is registered under the ProgID \"" + name + "\"");
    return CO_E_CLASSSTRING;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) {
    if (!progId) return E_POINTER;
    *progId = nullptr;
    auto value = qrt::registry::getValue(qrt::registry::Hive::ClassesRoot, clsidKey(clsid) + "\\ProgID");
    if (!value) return REGDB_E_CLASSNOTREG;
    std::u16string wide = qrt::decodeAnsi(*value);
    auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(OLECHAR)));
    if (!out) return E_OUTOFMEMORY;
    std::copy(wide.begin(), wide.end(), out);
    out[wide.size()] = 0;
    *progId = out;
    return S_OK;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void*, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ActivationState& s = state();
    {
        qrt::ComPtr<IUnknown> registered;
        {
            std::lock_guard lock(s.mutex);
            for (const RegisteredClassObject& r : s.classObjects)
                if (r.clsid == clsid) registered = r.object;
        }
        if (registered) {
            t_lastError.clear();
            return registered->QueryInterface(iid, out);
        }
    }
    auto path = qrt::registry::getValue(qrt::registry::Hive::ClassesRoot, clsidKey(clsid) + "\\InprocServer32");
    const bool inproc = (context & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)) && path && !path->empty();
    if (!inproc && (context & CLSCTX_LOCAL_SERVER)) {
        // A local server: the running one, or the registered program started.
        std::string why;
        const HRESULT hr = qrt::remote::getClassObject(clsid, iid, out, why);
        if (FAILED(hr)) setError(why.empty() ? "class " + qrt::guidToString(clsid) + " cannot be reached" : why);
        else t_lastError.clear();
        return hr;
    }
    if (!inproc) {
        setError("class " + qrt::guidToString(clsid) + " is not registered");
        return REGDB_E_CLASSNOTREG;
    }
    LoadedLibrary lib;
    HRESULT hr = loadLibrary(*path, lib);
    if (FAILED(hr)) return hr;
    hr = lib.getClassObject(clsid, iid, out);
    if (FAILED(hr)) {
        *out = nullptr;
        setError(*path + " does not provide class " + qrt::guidToString(clsid));
        return hr;
    }
    t_lastError.clear();
    return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    qrt::ComPtr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(clsid, context, nullptr, IClassFactory::IID, factory.outVoid());
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(nullptr, iid, out);
    if (FAILED(hr)) *out = nullptr;
    return hr;
}

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* factory, DWORD context, DWORD flags, DWORD* cookie) {
    if (!factory || !cookie) return E_INVALIDARG;
    ActivationState& s = state();
    DWORD id;
    {
        std::lock_guard lock(s.mutex);
        id = s.nextCookie++;
    }
    // Other processes reach a class registered for local-server use
    // through its socket; this process finds it in the table as well.
    if (context & CLSCTX_LOCAL_SERVER) {
        const HRESULT hr = qrt::remote::registerClass(clsid, factory, flags == REGCLS_SINGLEUSE, id);
        if (FAILED(hr)) return hr;
    }
    std::lock_guard lock(s.mutex);
    *cookie = id;
    s.classObjects.push_back({id, clsid, qrt::ComPtr<IUnknown>(factory)});
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
    ActivationState& s = state();
    qrt::ComPtr<IUnknown> released;  // let go outside the lock
    {
        std::lock_guard lock(s.mutex);
        for (auto it = s.classObjects.begin(); it != s.classObjects.end(); ++it) {
            if (it->cookie == cookie) {
                released = std::move(it->object);
                s.classObjects.erase(it);
                break;
            }
        }
    }
    if (!released) return CO_E_OBJNOTREG;
    qrt::remote::revokeClass(cookie);
    return S_OK;
}

void CoFreeUnusedLibraries() {
    ActivationState& s = state();
    std::vector<LoadedLibrary> unload;
    {
        std::lock_guard lock(s.mutex);
        for (auto it = s.libraries.begin(); it != s.libraries.end();) {
            if (it->second.canUnloadNow() == S_OK) {
                unload.push_back(it->second);
                it = s.libraries.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const LoadedLibrary& lib : unload) {
        if (lib.main) lib.main(lib.handle, DLL_PROCESS_DETACH, nullptr);
        dlclose(lib.handle);
    }
}

namespace qrt {

std::string lastActivationError() { return t_lastError; }

int loadedLibraryCount() {
    ActivationState& s = state();
    std::lock_guard lock(s.mutex);
    return static_cast<int>(s.libraries.size());
}

HRESULT createObject(std::u16string_view progIdOrClsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    std::u16string name(progIdOrClsid);
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(name.c_str(), &clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, out);
}

}  // namespace qrt
