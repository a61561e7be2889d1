#include "scripting/fs_operations.h"

#include "scripting/errors.h"
#include "scripting/fs_objects.h"
#include "scripting/paths.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <random>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scripting {

namespace {

namespace fs = std::filesystem;

HRESULT fail(int number, std::u16string_view detail = {}) { return raise(kFileSystemSource, number, detail); }

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool existsAtAll(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::string join(const std::string& folder, const std::string& name) {
    return (folder == "/" ? "" : folder) + "/" + name;
}

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || path == "/") return "/";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The items a source names: every match of a wildcard last element, or the
// one file (folder) it names.
HRESULT expand(std::u16string_view pathText, bool folders, std::vector<std::string>& out) {
    const int missing = folders ? err::PathNotFound : err::FileNotFound;
    if (pathText.empty()) return fail(err::BadFileName);
    const std::string native = nativeAbsolute(pathText);
    const std::u16string pattern = paths::fileName(pathText);
    if (paths::hasWildcards(pattern)) {
        const std::string parent = parentOf(native);
        if (!isFolder(parent)) return fail(err::PathNotFound);
        DIR* dir = ::opendir(parent.c_str());
        if (!dir) return fail(errorOfErrno(errno));
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            const std::string full = join(parent, name);
            if (isFolder(full) != folders) continue;
            if (paths::matchesWildcard(pattern, paths::fromNative(name))) out.push_back(full);
        }
        ::closedir(dir);
        std::sort(out.begin(), out.end());
        return out.empty() ? fail(missing) : S_OK;
    }
    if (!existsAtAll(native) || isFolder(native) != folders) return fail(missing);
    out.push_back(native);
    return S_OK;
}

// Where each source goes: into the destination folder, or onto the
// destination itself.
HRESULT destinationOf(std::u16string_view source, std::u16string_view destination, bool folders, bool& into,
                      std::string& target) {
    if (destination.empty()) return fail(err::BadFileName);
    target = nativeAbsolute(destination);
    into = paths::isSeparator(destination.back()) || paths::hasWildcards(paths::fileName(source));
    if (into && !isFolder(target)) return fail(err::PathNotFound);
    if (!into && !folders && isFolder(target)) return fail(err::PermissionDenied);  // a folder of that name is there
    if (!into && !isFolder(parentOf(target))) return fail(err::PathNotFound);
    return S_OK;
}

// Copies one file through a temporary file beside the target, so that a
// copy that fails leaves no partial file.
HRESULT copyOneFile(const std::string& from, const std::string& to, bool overwrite) {
    if (existsAtAll(to)) {
        if (!overwrite) return fail(err::FileAlreadyExists);
        if (isFolder(to)) return fail(err::PermissionDenied);
        std::error_code same;
        if (fs::equivalent(from, to, same)) return fail(err::PermissionDenied);
    }
    static std::mt19937 generator{std::random_device{}()};
    const std::string temporary = to + ".~part" + std::to_string(generator() % 1000000);
    std::error_code ec;
    fs::copy_file(from, temporary, fs::copy_options::overwrite_existing, ec);
    if (!ec && ::rename(temporary.c_str(), to.c_str()) != 0) ec = std::error_code(errno, std::generic_category());
    if (ec) {
        ::unlink(temporary.c_str());
        return fail(errorOfErrno(ec.value()));
    }
    return S_OK;
}

HRESULT copyTree(const std::string& from, const std::string& to, bool overwrite, int depth = 0) {
    if (depth > 256) return fail(err::PathFileAccess);
    if (!isFolder(to)) {
        if (existsAtAll(to)) return fail(err::FileAlreadyExists);
        if (::mkdir(to.c_str(), 0777) != 0) return fail(errorOfErrno(errno));
    }
    DIR* dir = ::opendir(from.c_str());
    if (!dir) return fail(errorOfErrno(errno));
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    for (const std::string& name : names) {
        const std::string source = join(from, name), target = join(to, name);
        const HRESULT hr = isFolder(source) ? copyTree(source, target, overwrite, depth + 1)
                                            : copyOneFile(source, target, overwrite);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

bool inside(const std::string& path, const std::string& folder) {
    return path == folder || path.starts_with(folder == "/" ? folder : folder + "/");
}

}  // namespace

HRESULT deleteItems(std::u16string_view pathText, bool force, bool folders) {
    std::vector<std::string> items;
    if (HRESULT hr = expand(pathText, folders, items); FAILED(hr)) return hr;
    for (const std::string& item : items) {
        if (folders) {
            std::error_code ec;
            fs::remove_all(item, ec);
            if (ec) return fail(errorOfErrno(ec.value()));
            continue;
        }
        struct stat info {};
        // A read-only file goes only when forced, as scripts expect.
        if (!force && ::lstat(item.c_str(), &info) == 0 && !S_ISLNK(info.st_mode) && !(info.st_mode & S_IWUSR))
            return fail(err::PermissionDenied);
        if (::unlink(item.c_str()) != 0) return fail(errorOfErrno(errno));
    }
    return S_OK;
}

HRESULT copyItems(std::u16string_view source, std::u16string_view destination, bool overwrite, bool folders) {
    std::vector<std::string> items;
    if (HRESULT hr = expand(source, folders, items); FAILED(hr)) return hr;
    bool into = false;
    std::string target;
    if (HRESULT hr = destinationOf(source, destination, folders, into, target); FAILED(hr)) return hr;
    for (const std::string& item : items) {
        const std::string to = into ? join(target, nameOf(item)) : target;
        if (folders && inside(to, item)) return fail(err::PermissionDenied);  // a folder into itself
        const HRESULT hr = folders ? copyTree(item, to, overwrite) : copyOneFile(item, to, overwrite);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT moveItems(std::u16string_view source, std::u16string_view destination, bool folders, std::string* movedTo) {
    std::vector<std::string> items;
    if (HRESULT hr = expand(source, folders, items); FAILED(hr)) return hr;
    bool into = false;
    std::string target;
    if (HRESULT hr = destinationOf(source, destination, folders, into, target); FAILED(hr)) return hr;
    // A destination folder that exists takes a single folder inside it.
    if (!into && folders && isFolder(target)) into = true;
    for (const std::string& item : items) {
        const std::string to = into ? join(target, nameOf(item)) : target;
        if (existsAtAll(to)) return fail(err::FileAlreadyExists);
        if (folders && inside(to, item)) return fail(err::PermissionDenied);
        if (::rename(item.c_str(), to.c_str()) != 0) {
            if (errno != EXDEV) return fail(errorOfErrno(errno));
            // Another file system: copy, then remove the original.
            const HRESULT hr = folders ? copyTree(item, to, false) : copyOneFile(item, to, false);
            if (FAILED(hr)) return hr;
            std::error_code ec;
            fs::remove_all(item, ec);
            if (ec) return fail(errorOfErrno(ec.value()));
        }
        if (movedTo && items.size() == 1) *movedTo = to;
    }
    return S_OK;
}

HRESULT createFolder(std::u16string_view path, IDispatch** folder) {
    if (!folder) return E_POINTER;
    *folder = nullptr;
    if (path.empty()) return fail(err::BadFileName);
    const std::string native = nativeAbsolute(path);
    if (existsAtAll(native)) return fail(err::FileAlreadyExists);
    if (!isFolder(parentOf(native))) return fail(err::PathNotFound);
    if (::mkdir(native.c_str(), 0777) != 0) return fail(errorOfErrno(errno));
    return newFolder(native, folder);
}

}  // namespace scripting
