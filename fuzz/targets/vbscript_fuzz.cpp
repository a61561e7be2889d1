// The VBScript engine: a fuzzed script is compiled and, when it compiles,
// run to its end or until the watchdog stops it; then its public
// parameterless procedures are called as the program's function list calls
// them. The engine is created directly (not through the registry), so its
// code is linked in and measured for coverage.
#include "engines/vbscript/engine.h"
#include "fuzz/fuzz_support.h"
#include "runtime/bstr.h"
#include "runtime/dispatch.h"
#include "runtime/object.h"

#include <cstdint>
#include <cstdlib>

namespace {

using Site = qfuzz::QuietSite;

qfuzz::Watchdog* g_watchdog = nullptr;

// Calls the script's first public Subs and Functions by name without
// arguments, each within the budget.
void callProcedures(vbs::ScriptEngine& engine, IActiveScript* script) {
    int calls = 0;
    for (const auto& proc : engine.publicProcedures()) {
        if (++calls > 4) break;
        qrt::ComPtr<IDispatch> global;
        if (FAILED(script->GetScriptDispatch(nullptr, global.out())) || !global) return;
        std::u16string name = proc->name;
        LPOLESTR names[] = {name.data()};
        DISPID id = 0;
        if (FAILED(global->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) continue;
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        qrt::Variant result;
        EXCEPINFO excep{};
        g_watchdog->arm(script);
        global->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, &excep, nullptr);
        g_watchdog->disarm();
        qrt::clearExcepInfo(&excep);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qfuzz::scratchDir();
    g_watchdog = new qfuzz::Watchdog(std::chrono::milliseconds(100));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 64 * 1024) return -1;
    const std::u16string code = qfuzz::textOf(data, size);

    qrt::ComPtr<vbs::ScriptEngine> engine = qrt::create<vbs::ScriptEngine>();
    qrt::ComPtr<IActiveScript> script = engine.as<IActiveScript>();
    auto site = qrt::create<Site>();
    script->SetScriptSite(site.get());
    qrt::ComPtr<IActiveScriptParse> parser = script.as<IActiveScriptParse>();
    parser->InitNew();

    EXCEPINFO excep{};
    g_watchdog->arm(script.get());
    HRESULT hr = parser->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 1,
                                         SCRIPTTEXT_ISVISIBLE | SCRIPTTEXT_ISPERSISTENT, nullptr, &excep);
    qrt::clearExcepInfo(&excep);
    if (SUCCEEDED(hr)) script->SetScriptState(SCRIPTSTATE_CONNECTED);
    g_watchdog->disarm();
    if (SUCCEEDED(hr)) callProcedures(*engine.get(), script.get());

    script->Close();
    return 0;
}
