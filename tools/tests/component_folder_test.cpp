// Where a program finds its component libraries: beside itself in the
// build tree, in the private library folder of an install.
#include "hosting/registration.h"
#include "runtime/testing/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

TEST(ComponentFolder, BuildTreeKeepsTheLibrariesBesideTheProgram) {
    const std::string bin = qtest::binaryDir();
    EXPECT_EQ(qhost::componentFolderOf(bin), bin);
    // This test program lies in the build's bin/ too.
    EXPECT_EQ(qhost::componentFolder(), qhost::programFolder());
}

TEST(ComponentFolder, InstallKeepsThemInLibQuillan) {
    const std::string prefix = qtest::makeTempDir("prefix");
    fs::create_directories(prefix + "/bin");
    EXPECT_EQ(qhost::componentFolderOf(prefix + "/bin"), prefix + "/lib/quillan");
    qtest::removeTree(prefix);
}

// A program in an install registers the libraries of its own install, and
// passes over the ones that are not there.
TEST(ComponentFolder, InstalledProgramRegistersTheLibrariesOfItsInstall) {
    const std::string prefix = qtest::makeTempDir("prefix");
    fs::create_directories(prefix + "/bin");
    fs::create_directories(prefix + "/lib/quillan");
    const std::string library = prefix + "/lib/quillan/libSumtrel.so";
    fs::copy_file(qtest::binaryDir() + "/libSumtrel.so", library);

    std::string message;
    ASSERT_EQ(qhost::ensureLibrariesRegistered(prefix + "/bin", {"Sumtrel", "Tarvik"}, &message), S_OK) << message;
    EXPECT_TRUE(qhost::isRegisteredFrom("Sumtrel", qhost::canonicalPath(library)));
    EXPECT_FALSE(qhost::isRegisteredFrom("Tarvik", qhost::canonicalPath(prefix + "/lib/quillan/libTarvik.so")));
    EXPECT_FALSE(qhost::isRegisteredFrom("Sumtrel", qtest::binaryDir() + "/libSumtrel.so"));
    qtest::removeTree(prefix);
}

}  // namespace
