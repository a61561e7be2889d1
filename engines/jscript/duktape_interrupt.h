// Stopping a running script: Duktape asks, every so many bytecode
// instructions, whether the script must end. The heap's user data is an
// ExecutionGuard; a request from the host (or another thread) makes the
// running script end with an error at its next check.
#pragma once

#include <atomic>

struct duk_hthread;
// Makes the running script check for an interrupt request at its next
// instruction (defined beside Duktape's source, see CMakeLists.txt). Only on
// the thread that runs the script.
extern "C" void quillan_duk_interrupt_soon(struct duk_hthread* ctx);

namespace jscript {

struct ExecutionGuard {
    std::atomic<bool> interruptRequested{false};
    // Set every so often during a run: the next check calls poll, which
    // answers whether the script may go on.
    std::atomic<bool> pollDue{false};
    bool (*poll)(ExecutionGuard* guard) = nullptr;
};

}  // namespace jscript
