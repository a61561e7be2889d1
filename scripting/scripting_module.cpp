// The classes of the scripting library, for its entry points and registration.
#include "hosting/module.h"
#include "scripting/dictionary.h"
#include "scripting/file_system.h"

namespace qhost {

const ModuleInfo& thisModule() {
    static const ModuleInfo module{
        "Scripting",
        LIBID_Scripting,
        "Scripting Runtime 1.0 Type Library",
        {
            {CLSID_Dictionary, "Dictionary", "Dictionary Class", ClassKind::Automation, "Scripting.Dictionary.1",
             "Scripting.Dictionary", "Scripting Dictionary", &scripting::CDictionary::create},
            {CLSID_FileSystemObject, "FileSystemObject", "FileSystemObject Class", ClassKind::Automation,
             "Scripting.FileSystemObject.1", "Scripting.FileSystemObject", "File System Object",
             &scripting::CFileSystemObject::create},
        },
        {
            {IDictionary::IID, "IDictionary"},
            {IFileSystem::IID, "IFileSystem"},
            {ITextStream::IID, "ITextStream"},
        },
    };
    return module;
}

}  // namespace qhost
