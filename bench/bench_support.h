// What the benchmarks share: a private registry with the component libraries
// beside the benchmark registered in it, and creation of objects by ProgID.
#pragma once

#include "hosting/registration.h"
#include "runtime/activation.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace bench {

// Once per process: a temporary registry folder (the user's registry is
// never touched) with the named libraries registered. Exits on failure.
inline void useLibraries(std::initializer_list<std::string> names) {
    static bool done = false;
    if (done) return;
    done = true;
    char dir[] = "/tmp/quillan-bench-XXXXXX";
    if (mkdtemp(dir)) setenv("QUILLAN_REGISTRY_DIR", dir, 1);
    std::string message;
    if (FAILED(qhost::ensureLibrariesRegistered(qhost::programFolder(), names, &message))) {
        std::fprintf(stderr, "cannot register the component libraries: %s\n", message.c_str());
        std::exit(1);
    }
}

// Creates an object by ProgID; exits with the reason when that fails.
template <class T>
qrt::ComPtr<T> make(const char16_t* progId) {
    qrt::ComPtr<T> object;
    if (FAILED(qrt::createObject(progId, object))) {
        std::fprintf(stderr, "cannot create an object: %s\n", qrt::lastActivationError().c_str());
        std::exit(1);
    }
    return object;
}

}  // namespace bench
