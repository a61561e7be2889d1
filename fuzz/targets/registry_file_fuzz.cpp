// The registry's hive files: fuzzed REGEDIT4 text is parsed into a tree; the
// tree written back must read back without damage into the same text.
#include "fuzz/fuzz_support.h"
#include "runtime/registry.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using qrt::registry::Hive;
using qrt::registry::Key;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1 << 20) return -1;
    const Hive hive = (size & 1) ? Hive::ClassesRoot : Hive::CurrentUser;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Key root;
    std::string error;
    qrt::registry::parse(text, hive, root, &error);

    const std::string written = qrt::registry::serialize(root, hive);
    Key again;
    if (!qrt::registry::parse(written, hive, again, &error)) {
        std::fprintf(stderr, "the written hive does not read back: %s\n---\n%s\n---\n", error.c_str(), written.c_str());
        std::abort();
    }
    if (qrt::registry::serialize(again, hive) != written) {
        std::fprintf(stderr, "the written hive reads back different\n");
        std::abort();
    }
    // A copy of the tree is what a transaction changes.
    const Key copy = root.clone();
    if (qrt::registry::serialize(copy, hive) != written) std::abort();
    return 0;
}
