#include "hosting/registration.h"

#include "hosting/rgs.h"
#include "runtime/activation.h"
#include "runtime/registry.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

// The private library folder of an install, relative to the program's
// folder; the build passes the one its install rules use.
#ifndef QUILLAN_COMPONENT_SUBDIR
#define QUILLAN_COMPONENT_SUBDIR "../lib/quillan"
#endif

namespace qhost {

namespace {

namespace reg = qrt::registry;

const char* const kUniversalMarshaler = "{00020424-0000-0000-C000-000000000046}";

// A name or value as quoted script text: '...' with quotes doubled, and %
// doubled so that names never trigger a substitution.
std::string scriptText(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "''";
        else if (c == '%') out += "%%";
        else out += c;
    }
    out += "'";
    return out;
}

}  // namespace

std::string serverCommandLine(const std::string& programPath, const char* serverSwitch) {
    // The path is quoted when a blank, quote or backslash would split or
    // change it; inside quotes a backslash keeps a quote or a backslash.
    std::string line;
    if (programPath.find_first_of(" \t\"\\") == std::string::npos) {
        line = programPath;
    } else {
        line = "\"";
        for (char c : programPath) {
            if (c == '"' || c == '\\') line += '\\';
            line += c;
        }
        line += '"';
    }
    if (serverSwitch && *serverSwitch) line += std::string(" ") + serverSwitch;
    return line;
}

std::string canonicalPath(const std::string& path) {
    std::error_code ec;
    auto p = std::filesystem::canonical(path, ec);
    return ec ? path : p.string();
}

std::string programFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

std::string componentFolderOf(const std::string& programDir) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(fs::path(programDir) / "libquillan_runtime.so", ec)) return programDir;
    return (fs::path(programDir) / QUILLAN_COMPONENT_SUBDIR).lexically_normal().string();
}

std::string componentFolder() { return componentFolderOf(programFolder()); }

std::vector<std::pair<std::string, std::string>> moduleSubstitutions(const ModuleInfo& module,
                                                                      const std::string& modulePath) {
    std::string libId = qrt::guidToString(module.libId);
    std::string dir = std::filesystem::path(modulePath).parent_path().string();
    return {
        {"MODULE", modulePath},
        {"MODULETYPE", module.isProgram ? "LocalServer32" : "InprocServer32"},
        {"APPID", libId},
        {"MODULEGUID", libId},
        {"MODULEDIR", dir},
    };
}

std::string classScript(const ModuleInfo& module, const ClassEntry& entry) {
    const std::string clsid = qrt::guidToString(entry.clsid);
    const bool control = entry.kind == ClassKind::Control;
    std::string s;
    s += "HKCR\n{\n";
    s += "    " + scriptText(entry.progId) + " = s '%FriendlyName%'\n    {\n";
    s += "        CLSID = s '" + clsid + "'\n    }\n";
    s += "    " + scriptText(entry.versionIndependentProgId) + " = s '%FriendlyName%'\n    {\n";
    s += "        CLSID = s '" + clsid + "'\n";
    s += "        CurVer = s " + scriptText(entry.progId) + "\n    }\n";
    s += "    NoRemove CLSID\n    {\n";
    s += "        ForceRemove " + clsid + " = s '%FriendlyName%'\n        {\n";
    s += "            ProgID = s " + scriptText(entry.progId) + "\n";
    s += "            VersionIndependentProgID = s " + scriptText(entry.versionIndependentProgId) + "\n";
    if (!control) s += "            ForceRemove Programmable\n";
    s += module.isProgram ? "            %MODULETYPE% = s '%SERVERCOMMAND%'\n" : "            %MODULETYPE% = s '%MODULE%'\n";
    if (!module.isProgram) s += "            {\n                val ThreadingModel = s 'apartment'\n            }\n";
    if (control) {
        s += "            ForceRemove Control\n";
        s += "            ForceRemove ToolboxBitmap32 = s '%MODULE%, 1'\n";
        s += "            MiscStatus = s '0'\n            {\n                '1' = s '131473'\n            }\n";
    }
    s += "            val AppID = s '%APPID%'\n";
    s += "            TypeLib = s '%MODULEGUID%'\n";
    if (control) s += "            Version = s '1.0'\n";
    s += "        }\n    }\n}\n";
    return s;
}

std::string appIdScript(const ModuleInfo& module) {
    std::string fileKey = std::string(module.name) + (module.isProgram ? ".EXE" : ".DLL");
    std::string s;
    s += "HKCR\n{\n    NoRemove AppID\n    {\n";
    s += "        '%APPID%' = s " + scriptText(module.name) + "\n";
    s += "        " + scriptText(fileKey) + "\n        {\n            val AppID = s '%APPID%'\n        }\n";
    s += "    }\n}\n";
    return s;
}

std::string typeLibScript(const ModuleInfo& module) {
    std::string s;
    s += "HKCR\n{\n    NoRemove TypeLib\n    {\n";
    s += "        ForceRemove '%MODULEGUID%'\n        {\n";
    s += "            '1.0' = s " + scriptText(module.typeLibDescription) + "\n            {\n";
    s += "                '0'\n                {\n                    linux = s '%MODULE%'\n                }\n";
    s += "                FLAGS = s '0'\n";
    s += "                HELPDIR = s '%MODULEDIR%'\n";
    s += "            }\n        }\n    }\n";
    if (!module.interfaces.empty()) {
        s += "    NoRemove Interface\n    {\n";
        for (const InterfaceEntry& i : module.interfaces) {
            s += "        ForceRemove " + qrt::guidToString(i.iid) + " = s " + scriptText(i.name) + "\n        {\n";
            s += std::string("            ProxyStubClsid32 = s '") + kUniversalMarshaler + "'\n";
            s += "            TypeLib = s '%MODULEGUID%'\n            {\n";
            s += "                val Version = s '1.0'\n            }\n        }\n";
        }
        s += "    }\n";
    }
    s += "}\n";
    return s;
}

namespace {

HRESULT runScript(const std::string& script, std::vector<std::pair<std::string, std::string>> subs,
                  bool doRegister) {
    RgsError error;
    return runRegistrationScript(script, subs, doRegister, &error);
}

std::vector<std::pair<std::string, std::string>> classSubstitutions(const ModuleInfo& module,
                                                                     const ClassEntry& entry,
                                                                     const std::string& path) {
    auto subs = moduleSubstitutions(module, path);
    subs.emplace_back("FriendlyName", entry.friendlyName);
    if (module.isProgram) subs.emplace_back("SERVERCOMMAND", serverCommandLine(path, module.serverSwitch));
    return subs;
}

}  // namespace

HRESULT registerModule(const ModuleInfo& module, const std::string& modulePath) {
    HRESULT hr = runScript(appIdScript(module), moduleSubstitutions(module, modulePath), true);
    if (FAILED(hr)) return hr;
    for (const ClassEntry& entry : module.classes) {
        hr = runScript(classScript(module, entry), classSubstitutions(module, entry, modulePath), true);
        if (FAILED(hr)) return hr;
    }
    return runScript(typeLibScript(module), moduleSubstitutions(module, modulePath), true);
}

HRESULT unregisterModule(const ModuleInfo& module, const std::string& modulePath) {
    HRESULT first = S_OK;
    for (const ClassEntry& entry : module.classes) {
        HRESULT hr = runScript(classScript(module, entry), classSubstitutions(module, entry, modulePath), false);
        if (FAILED(hr) && SUCCEEDED(first)) first = hr;
    }
    HRESULT hr = runScript(typeLibScript(module), moduleSubstitutions(module, modulePath), false);
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
    hr = runScript(appIdScript(module), moduleSubstitutions(module, modulePath), false);
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
    return first;
}

HRESULT registerLibraryFile(const std::string& path, bool unregister, std::string* message) {
    auto fail = [&](HRESULT hr, std::string why) {
        if (message) *message = std::move(why);
        return hr;
    };
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return fail(CO_E_DLLNOTFOUND, path + ": no such file");
    // The library stays mapped after registration: libraries built on Qt
    // leave Qt holding pointers into them (and memory only they point to),
    // and the program activates the library right after anyway.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        const char* why = dlerror();
        return fail(CO_E_DLLNOTFOUND, "cannot load " + path + ": " + (why ? why : "unknown error"));
    }
    const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto entry = reinterpret_cast<DllRegisterServerFn>(dlsym(handle, entryName));
    auto main = reinterpret_cast<DllMainFn>(dlsym(handle, "DllMain"));
    if (!entry) {
        dlclose(handle);
        return fail(CO_E_ERRORINDLL, path + " has no entry point " + entryName);
    }
    if (main && !main(handle, DLL_PROCESS_ATTACH, nullptr)) {
        dlclose(handle);
        return fail(CO_E_ERRORINDLL, path + " refused to initialise");
    }
    HRESULT hr = entry();
    if (main) main(handle, DLL_PROCESS_DETACH, nullptr);
    dlclose(handle);
    if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
        return fail(hr, std::string(entryName) + " of " + path + " failed with status " + code +
                            " (is the registry folder " + reg::directory() + " writable?)");
    }
    if (message) message->clear();
    return hr;
}

bool isRegisteredFrom(const std::string& name, const std::string& path) {
    reg::Key root = reg::load(reg::Hive::ClassesRoot);
    const reg::Key* appKey = root.find("AppID\\" + name + ".DLL");
    auto appId = appKey ? appKey->value("AppID") : std::nullopt;
    if (!appId) return false;
    const reg::Key* lib = root.find("TypeLib\\" + *appId + "\\1.0\\0");
    auto file = lib ? lib->value("") : std::nullopt;
    if (!file) {
        const reg::Key* platformKey = lib ? lib->child("linux") : nullptr;
        file = platformKey ? platformKey->value("") : std::nullopt;
    }
    if (!file || canonicalPath(*file) != canonicalPath(path)) return false;
    // Every class registered by this application identifier must point here.
    const reg::Key* classes = root.find("CLSID");
    bool any = false;
    if (classes) {
        for (const auto& key : classes->children()) {
            auto owner = key->value("AppID");
            if (!owner || *owner != *appId) continue;
            any = true;
            const reg::Key* server = key->child("InprocServer32");
            auto server_path = server ? server->value("") : std::nullopt;
            if (!server_path || canonicalPath(*server_path) != canonicalPath(path)) return false;
        }
    }
    return any;
}

HRESULT ensureLibrariesRegistered(const std::string& programDir, const std::vector<std::string>& names,
                                  std::string* message) {
    const std::string folder = componentFolderOf(programDir);
    for (const std::string& name : names) {
        std::string path = canonicalPath(folder + "/lib" + name + ".so");
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) continue;
        if (isRegisteredFrom(name, path)) continue;
        HRESULT hr = registerLibraryFile(path, false, message);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

}  // namespace qhost
