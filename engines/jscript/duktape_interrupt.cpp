#include "engines/jscript/duktape_interrupt.h"

// Called by Duktape's interpreter (see the derived configuration): nonzero
// ends the running script with an error.
extern "C" int quillan_duk_exec_timeout_check(void* udata) {
    auto* guard = static_cast<jscript::ExecutionGuard*>(udata);
    if (!guard) return 0;
    if (guard->interruptRequested.load(std::memory_order_relaxed)) return 1;
    if (guard->pollDue.load(std::memory_order_relaxed)) {
        guard->pollDue.store(false, std::memory_order_relaxed);
        if (guard->poll && !guard->poll(guard)) return 1;
    }
    return 0;
}
