// Files the graph control writes for its users: whole or not at all.
#pragma once

#include <cstddef>
#include <string>

namespace tarvik {

// Writes size bytes to the file at path (UTF-8), replacing it when it
// exists. The bytes go to a new file beside the target that is renamed over
// it once they are all on the disk, so readers see either the old file or
// the whole new one, and a failure leaves the target as it was and nothing
// else behind. A symbolic link is followed to the file it names; a target
// that is no regular file is refused.
struct FileWriteResult {
    int error = 0;       // 0, or the system's error number
    std::string reason;  // why the file could not be written, the system's error text
    explicit operator bool() const { return error == 0; }
};
FileWriteResult writeFileWhole(const std::string& path, const void* data, std::size_t size);

}  // namespace tarvik
