#include "engines/jscript/duktape_interrupt.h"

// Called by Duktape's interpreter (see the derived configuration): nonzero
// ends the running script with an error.
extern "C" int quillan_duk_exec_timeout_check(void* udata) {
    auto* guard = static_cast<jscript::ExecutionGuard*>(udata);
    return guard && guard->interruptRequested.load(std::memory_order_relaxed) ? 1 : 0;
}
