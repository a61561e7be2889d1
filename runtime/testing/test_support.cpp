#include "runtime/testing/test_support.h"

#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace qtest {

std::string makeTempDir(const std::string& tag) {
    std::string pattern = (fs::temp_directory_path() / ("quillan-" + tag + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) return {};
    return pattern;
}

void removeTree(const std::string& path) {
    std::error_code ec;
    fs::remove_all(path, ec);
}

std::string binaryDir() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return exe.parent_path().string();
}

}  // namespace qtest
