// The class of the VBScript engine library, for its entry points and registration.
#include "engines/vbscript/engine.h"
#include "engines/vbscript/regexp/regexp.h"
#include "hosting/module.h"

namespace qhost {

const ModuleInfo& thisModule() {
    static const ModuleInfo module{
        "VBScript",
        vbs::LIBID_VBScript,
        "VBScript Language 1.0 Type Library",
        {
            {vbs::CLSID_VBScript, "VBScript", "VBScript Language", ClassKind::Automation, "VBScript.1", "VBScript",
             "VBScript Language", &vbs::ScriptEngine::create},
            {vbs::CLSID_RegExp, "RegExp", "RegExp Class", ClassKind::Automation, "VBScript.RegExp.1", "VBScript.RegExp",
             "RegExp Object", &vbs::createRegExpInstance},
        },
        {},
    };
    return module;
}

}  // namespace qhost
