#include "runtime/object.h"

#include <atomic>
#include <cstdio>

namespace qrt {

namespace {
std::atomic<long> g_liveObjects{0};
std::atomic<long> g_underflows{0};
}  // namespace

long liveObjectCount() { return g_liveObjects.load(); }
long refUnderflowCount() { return g_underflows.load(); }

namespace detail {
void objectCreated() { ++g_liveObjects; }
void objectDestroyed() { --g_liveObjects; }
void reportRefUnderflow(const char* typeName) {
    ++g_underflows;
    std::fprintf(stderr, "quillan: Release() on an object of type %s whose reference count is already zero\n",
                 typeName);
}
}  // namespace detail

}  // namespace qrt
