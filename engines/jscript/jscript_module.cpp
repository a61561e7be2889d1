// The JScript engine library's class, for its entry points and registration.
#include "engines/jscript/jscript_engine.h"
#include "hosting/module.h"

namespace qhost {

const ModuleInfo& thisModule() {
    static const ModuleInfo module{
        "JScript",
        jscript::LIBID_JScript,
        "JScript Language 1.0 Type Library",
        {
            {jscript::CLSID_JScript, "JScript", "JScript Language", ClassKind::Automation, "JScript.1", "JScript",
             "JScript Language", &jscript::createJScriptEngine},
        },
        {},
    };
    return module;
}

}  // namespace qhost
