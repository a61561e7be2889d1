// main() of the test programs: every test process gets its own registry
// folder, so tests never touch the user's registry and never see each other's.
#include "runtime/testing/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {
std::string g_registryDir;
}

namespace qtest {
const std::string& registryDir() { return g_registryDir; }
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    g_registryDir = qtest::makeTempDir("registry");
    setenv("QUILLAN_REGISTRY_DIR", g_registryDir.c_str(), 1);
    int rc = RUN_ALL_TESTS();
    qtest::removeTree(g_registryDir);
    return rc;
}
