// The engine's own build of Duktape: scripts run, and a running script can
// be stopped from outside.
#include "engines/jscript/duktape_interrupt.h"

#include <duktape.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

struct Heap {
    explicit Heap(jscript::ExecutionGuard* guard)
        : ctx(duk_create_heap(nullptr, nullptr, nullptr, guard, nullptr)) {}
    ~Heap() { duk_destroy_heap(ctx); }
    duk_context* ctx;
};

TEST(DuktapeBuild, RunsScriptsAndStopsThemOnRequest) {
    jscript::ExecutionGuard guard;
    Heap heap(&guard);
    ASSERT_NE(heap.ctx, nullptr);
    ASSERT_EQ(duk_peval_string(heap.ctx, "var s = 0; for (var i = 1; i <= 10; i++) s += i; s"), 0);
    EXPECT_EQ(duk_get_int(heap.ctx, -1), 55);
    duk_pop(heap.ctx);

    // An endless loop ends once the host asks, from another thread here.
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        guard.interruptRequested = true;
    });
    const int rc = duk_peval_string(heap.ctx, "for (;;) {}");
    stopper.join();
    EXPECT_NE(rc, 0);
    EXPECT_NE(std::string(duk_safe_to_string(heap.ctx, -1)).find("RangeError"), std::string::npos);
    duk_pop(heap.ctx);

    // With the request withdrawn, the same heap runs scripts again.
    guard.interruptRequested = false;
    ASSERT_EQ(duk_peval_string(heap.ctx, "6 * 7"), 0);
    EXPECT_EQ(duk_get_int(heap.ctx, -1), 42);
}

}  // namespace
