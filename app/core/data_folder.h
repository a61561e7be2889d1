// The program's data folder: what lies beside the program for it to read
// (pictures, snippets, resources, the manual). It is share/quillan next to
// the program's bin/ folder, in the build tree and in an install alike.
#pragma once

#include <string>

namespace quillan {

// The data folder's absolute path, without a trailing "/" (it may not exist).
std::string dataFolder();

}  // namespace quillan
