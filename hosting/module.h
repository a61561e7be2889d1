// What a component library (or a program serving its own classes) offers:
// its classes with their identifiers, names and kinds, and its type library.
// Every component library defines qhost::thisModule(); the shared entry
// points (server_entry.cpp) and the registration code work from it.
#pragma once

#include "runtime/guid.h"
#include "runtime/unknown.h"

#include <string>
#include <vector>

namespace qhost {

enum class ClassKind {
    Automation,  // an automation object: "Programmable"
    Control,     // a control: "Control", "ToolboxBitmap32", "MiscStatus", "Version"
};

struct ClassEntry {
    CLSID clsid;
    const char* typeName;        // name in the type library: "MathClass"
    const char* description;     // type-library description: "MathClass Class"
    ClassKind kind;
    const char* progId;          // "Sumtrel.MathClass.1"
    const char* versionIndependentProgId;  // "Sumtrel.MathClass"
    const char* friendlyName;    // "CMathClass Object"
    HRESULT (*create)(REFIID iid, void** out);
};

struct InterfaceEntry {
    IID iid;
    const char* name;
};

struct ModuleInfo {
    const char* name;                // "Sumtrel": the library's name
    GUID libId;                      // type library identifier, also the application identifier
    const char* typeLibDescription;  // "Sumtrel 1.0 Type Library"
    std::vector<ClassEntry> classes;
    std::vector<InterfaceEntry> interfaces;  // dual interfaces described by the type library
    bool isProgram = false;          // a program serving classes: "LocalServer32", "<Name>.EXE"
    // A program's switch for being started as the server of its classes
    // ("--embedding"): LocalServer32 holds the program's path and it.
    const char* serverSwitch = nullptr;
};

// Defined by each component library.
const ModuleInfo& thisModule();

}  // namespace qhost
