// quillan-regsvr [-u] LIBRARY...
// Registers (or with -u unregisters) component libraries in the registry of
// this user ($QUILLAN_REGISTRY_DIR when set). Exits non-zero with a message
// saying why when a library cannot be registered.
#include "hosting/registration.h"
#include "runtime/registry.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

void usage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: quillan-regsvr [-u] LIBRARY...\n"
                 "Registers the classes of component libraries (libSumtrel.so, ...).\n\n"
                 "  -u, --unregister   remove the registration instead\n"
                 "  -q, --quiet        print nothing on success\n"
                 "  -h, --help         show this help\n"
                 "      --version      show the version\n\n"
                 "The registry lives in $QUILLAN_REGISTRY_DIR, else $XDG_CONFIG_HOME/quillan.\n");
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false, quiet = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "-u") || !std::strcmp(a, "--unregister")) unregister = true;
        else if (!std::strcmp(a, "-q") || !std::strcmp(a, "--quiet")) quiet = true;
        else if (!std::strcmp(a, "-h") || !std::strcmp(a, "--help")) { usage(stdout); return 0; }
        else if (!std::strcmp(a, "--version")) { std::printf("quillan-regsvr 0.1.0\n"); return 0; }
        else if (a[0] == '-') {
            std::fprintf(stderr, "quillan-regsvr: unknown option %s\n", a);
            usage(stderr);
            return 2;
        } else files.emplace_back(a);
    }
    if (files.empty()) {
        usage(stderr);
        return 2;
    }
    int rc = 0;
    for (const std::string& f : files) {
        std::string path = qhost::canonicalPath(f);
        std::string message;
        HRESULT hr = qhost::registerLibraryFile(path, unregister, &message);
        if (FAILED(hr)) {
            std::fprintf(stderr, "quillan-regsvr: %s\n", message.c_str());
            rc = 1;
        } else if (!quiet) {
            std::printf("%s %s in %s\n", unregister ? "Unregistered" : "Registered", path.c_str(),
                        qrt::registry::hiveFile(qrt::registry::Hive::ClassesRoot).c_str());
        }
    }
    return rc;
}
