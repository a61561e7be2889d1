// Helpers shared by the test programs.
#pragma once

#include <string>

namespace qtest {

// The private registry folder of this test process (set up by test_main).
const std::string& registryDir();
// A fresh empty folder under the process's temporary folder.
std::string makeTempDir(const std::string& tag);
// Removes a folder with everything in it.
void removeTree(const std::string& path);
// The folder that holds the built binaries (the component libraries).
std::string binaryDir();

}  // namespace qtest
