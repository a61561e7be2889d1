// Stopping a running script: Duktape asks, every so many bytecode
// instructions, whether the script must end. The heap's user data is an
// ExecutionGuard; a request from the host (or another thread) makes the
// running script end with an error at its next check.
#pragma once

#include <atomic>

namespace jscript {

struct ExecutionGuard {
    std::atomic<bool> interruptRequested{false};
};

}  // namespace jscript
