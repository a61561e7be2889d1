// The command-line tools as a user runs them.
#include "runtime/registry.h"
#include "runtime/testing/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct Outcome {
    int status = -1;
    std::string output;  // standard output and error together
};

Outcome run(const std::string& command) {
    Outcome r;
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return r;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) r.output += buffer;
    int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

const std::string bin = qtest::binaryDir();

TEST(RegsvrTool, RegistersAndUnregistersALibrary) {
    Outcome reg = run(bin + "/quillan-regsvr " + bin + "/libSumtrel.so");
    EXPECT_EQ(reg.status, 0) << reg.output;
    EXPECT_NE(reg.output.find("Registered"), std::string::npos);
    EXPECT_TRUE(qrt::registry::keyExists(qrt::registry::Hive::ClassesRoot, "Sumtrel.MathClass"));

    Outcome unreg = run(bin + "/quillan-regsvr -u -q " + bin + "/libSumtrel.so");
    EXPECT_EQ(unreg.status, 0) << unreg.output;
    EXPECT_EQ(unreg.output, "");
    EXPECT_FALSE(qrt::registry::keyExists(qrt::registry::Hive::ClassesRoot, "Sumtrel.MathClass"));
}

TEST(RegsvrTool, FailuresSayWhyAndExitNonZero) {
    Outcome missing = run(bin + "/quillan-regsvr /no/such/libThing.so");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("/no/such/libThing.so: no such file"), std::string::npos) << missing.output;

    // A shared library that is not a component library.
    Outcome notComponent = run(bin + "/quillan-regsvr " + bin + "/libquillan_runtime.so");
    EXPECT_EQ(notComponent.status, 1);
    EXPECT_NE(notComponent.output.find("has no entry point DllRegisterServer"), std::string::npos)
        << notComponent.output;

    Outcome usage = run(bin + "/quillan-regsvr");
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.output.find("Usage:"), std::string::npos);
    EXPECT_EQ(run(bin + "/quillan-regsvr --bogus").status, 2);
    EXPECT_EQ(run(bin + "/quillan-regsvr --version").status, 0);
}

TEST(MathDemo, RegistersItsLibraryByItselfAndPrintsValues) {
    // A fresh registry folder: the demo must need no manual registration.
    std::string dir = qtest::makeTempDir("demo-registry");
    Outcome demo = run("QUILLAN_REGISTRY_DIR=" + dir + " " + bin + "/quillan-mathdemo");
    EXPECT_EQ(demo.status, 0) << demo.output;
    EXPECT_NE(demo.output.find(" 1.000   0.7651976866   0.4400505857"), std::string::npos) << demo.output;
    EXPECT_NE(demo.output.find("sqrt(-4) = 0 +2i, |3+4i| = 5"), std::string::npos) << demo.output;
    qtest::removeTree(dir);
}

}  // namespace
