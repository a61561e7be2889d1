// Registration of a module's classes, application identifier and type
// library, and the self-registration of libraries lying beside a program.
#pragma once

#include "hosting/module.h"

#include <string>
#include <vector>

namespace qhost {

// The registration script of one class / of the module's application
// identifier / of its type library (with %MODULE% etc. left to substitute).
std::string classScript(const ModuleInfo& module, const ClassEntry& entry);
std::string appIdScript(const ModuleInfo& module);
std::string typeLibScript(const ModuleInfo& module);
// The substitutions of a module file: MODULE, MODULETYPE, APPID, MODULEGUID, MODULEDIR.
std::vector<std::pair<std::string, std::string>> moduleSubstitutions(const ModuleInfo& module,
                                                                      const std::string& modulePath);

// Runs the application-identifier script, then registers every class and the
// type library; stops at and returns the first failure.
HRESULT registerModule(const ModuleInfo& module, const std::string& modulePath);
// Unregisters every class and the type library, then removes the
// application identifier; returns the first failure.
HRESULT unregisterModule(const ModuleInfo& module, const std::string& modulePath);

// The command line a program's classes are registered with (LocalServer32):
// the path, quoted when it holds blanks, quotes or backslashes, then the
// server switch.
std::string serverCommandLine(const std::string& programPath, const char* serverSwitch);

// The absolute path with symbolic links resolved (the path itself if that fails).
std::string canonicalPath(const std::string& path);

// Loads a component library file and runs its DllRegisterServer (or
// DllUnregisterServer). On failure, *message says why in a sentence.
HRESULT registerLibraryFile(const std::string& path, bool unregister, std::string* message = nullptr);

// True when the library named name ("Sumtrel") is registered from exactly
// this file: its application identifier leads to a type library whose file
// is this path, and its classes point at this file.
bool isRegisteredFrom(const std::string& name, const std::string& path);

// For each name, registers "lib<name>.so" when it lies in the component
// folder of a program in programDir (componentFolderOf) and its registration
// is missing or points elsewhere. Returns the first failure; *message says
// which library and why.
HRESULT ensureLibrariesRegistered(const std::string& programDir, const std::vector<std::string>& names,
                                  std::string* message = nullptr);

// The folder of the running program.
std::string programFolder();

// Where a program in programDir finds its component libraries: programDir
// itself when the runtime library lies there (the build tree keeps every
// binary in one folder), else the private library folder of an install
// (programDir/../lib/quillan, or wherever the build was told).
std::string componentFolderOf(const std::string& programDir);
// componentFolderOf(programFolder()).
std::string componentFolder();

}  // namespace qhost
