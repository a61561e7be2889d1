// Object activation: ProgIDs, class objects and in-process servers.
//
// An in-process server is a shared library registered under
// HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 and exporting the entry
// points DllMain, DllGetClassObject and DllCanUnloadNow (and, for
// registration, DllRegisterServer and DllUnregisterServer).
#pragma once

#include "runtime/unknown.h"

#include <string>

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;

constexpr DWORD REGCLS_SINGLEUSE = 0;
constexpr DWORD REGCLS_MULTIPLEUSE = 1;

constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;

// Entry points of an in-process server.
using DllMainFn = BOOL (*)(void* module, DWORD reason, void* reserved);
using DllGetClassObjectFn = HRESULT (*)(REFCLSID clsid, REFIID iid, void** out);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();

// Per-thread initialisation; counted, so every CoInitialize needs a
// CoUninitialize. The last CoUninitialize unloads libraries that can go.
HRESULT CoInitialize(void* reserved);
HRESULT CoInitializeEx(void* reserved, DWORD model);
void CoUninitialize();

// ProgID to class identifier: a ProgID with "CurVer" is followed to the
// current version's ProgID; then its "CLSID" subkey is read. A string in
// brace form is accepted as a class identifier. Unknown: CO_E_CLASSSTRING.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
// The class's "ProgID" value; the string is freed with CoTaskMemFree.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId);

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* serverInfo, REFIID iid, void** out);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out);

// Class objects that a program registers for its own classes; they are found
// before the registry.
HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* factory, DWORD context, DWORD flags, DWORD* cookie);
HRESULT CoRevokeClassObject(DWORD cookie);

// Asks every loaded library whether it can be unloaded and unloads those
// whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();

namespace qrt {

// A sentence describing the last activation failure on this thread
// ("cannot load /path/libX.so: ...", "class {..} is not registered"), for
// messages shown to a user. Empty after a success.
std::string lastActivationError();

// Number of in-process server libraries loaded now.
int loadedLibraryCount();

// Creates an object by ProgID (or brace-form class identifier) and asks for iid.
HRESULT createObject(std::u16string_view progIdOrClsid, REFIID iid, void** out);

template <class T>
HRESULT createObject(std::u16string_view progIdOrClsid, ComPtr<T>& out) {
    return createObject(progIdOrClsid, T::IID, out.outVoid());
}

}  // namespace qrt
