#include "graph/file_output.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik {

namespace {

FileWriteResult failure(int err) { return {err, std::error_code(err, std::generic_category()).message()}; }

// A name for the temporary file beside the target: hidden, unlikely to meet
// another, and short enough for any folder whatever the target's length.
std::string temporaryName(const std::string& folder, const std::string& base) {
    static std::atomic<unsigned> counter{0};
    const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    return folder + "/." + base.substr(0, 160) + "." + std::to_string(getpid()) + "-" +
           std::to_string(counter.fetch_add(1)) + "-" + std::to_string(now % 1000000007ull) + ".tmp";
}

// Everything into fd; 0 or the error number.
int writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace

FileWriteResult writeFileWhole(const std::string& path, const void* data, std::size_t size) {
    if (path.empty()) return failure(ENOENT);
    std::string target = path;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Replacing the link itself would cut it off from what it names.
        char* real = realpath(path.c_str(), nullptr);
        if (!real) return failure(errno);
        target = real;
        std::free(real);
    }
    bool exists = false;
    if (stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return failure(EISDIR);
        // A device or a pipe is written to in place by whoever opens it; a
        // file renamed over it would take its place instead.
        if (!S_ISREG(st.st_mode)) return {EINVAL, "not a regular file"};
        exists = true;
    } else if (errno != ENOENT) {
        return failure(errno);
    }
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.empty()) return failure(EISDIR);

    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = temporaryName(folder == "/" ? "" : folder, base);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return failure(errno);
    }
    if (fd < 0) return failure(EEXIST);
    int err = 0;
    // A replaced file keeps its permissions; a new one gets the usual ones.
    if (exists && fchmod(fd, st.st_mode & 07777) != 0) err = errno;
    if (!err) err = writeAll(fd, static_cast<const char*>(data), size);
    // Some errors of a full disk only show when the data reaches it.
    if (!err && fdatasync(fd) != 0 && errno != EINVAL) err = errno;
    if (::close(fd) != 0 && !err && errno != EINTR) err = errno;
    if (!err && std::rename(temporary.c_str(), target.c_str()) != 0) err = errno;
    if (err) {
        ::unlink(temporary.c_str());
        return failure(err);
    }
    return {};
}

}  // namespace tarvik
