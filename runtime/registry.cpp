// The in-memory key tree, reading the hive files through a cache, and
// transactions that rewrite a hive file atomically under a file lock.
//
// Writers never modify a hive file in place: they write a temporary file and
// rename it over the old one. A reader therefore always sees one whole
// version, and a file identity (device, inode, size, mtime) names one content.
// The read cache keeps the parsed tree of each file together with an open
// descriptor of that file, so its inode cannot be freed and handed to a newer
// version while the cache entry lives.
#include "runtime/registry.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <unordered_map>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrt::registry {

// parse() and serialize() that let std::bad_alloc through (in
// registry_file.cpp): running out of memory must fail the transaction, not
// pass for a damaged file or an empty hive.
namespace detail {
bool parseText(std::string_view text, Hive hive, Key& root, std::string* error);
std::string serializeTree(const Key& root, Hive hive);
}  // namespace detail

namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Calls f(component) for each non-empty "\"-separated component of path and
// stops early when f returns false; returns false if it stopped.
template <typename F>
bool forEachComponent(std::string_view path, F&& f) {
    while (!path.empty()) {
        size_t sep = path.find('\\');
        std::string_view component = path.substr(0, sep);
        path = sep == std::string_view::npos ? std::string_view{} : path.substr(sep + 1);
        if (!component.empty() && !f(component)) return false;
    }
    return true;
}

// Splits off the last non-empty component of path.
std::string_view splitLast(std::string_view path, std::string_view& parent) {
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    size_t sep = path.rfind('\\');
    if (sep == std::string_view::npos) {
        parent = {};
        return path;
    }
    parent = path.substr(0, sep);
    return path.substr(sep + 1);
}

}  // namespace

// ---- Key --------------------------------------------------------------------

// Below this many children a scan is as quick as hashing.
constexpr size_t kIndexThreshold = 16;

size_t Key::NameHash::operator()(std::string_view name) const {
    size_t h = 14695981039346656037ull;
    for (char c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return h;
}

bool Key::NameEqual::operator()(std::string_view a, std::string_view b) const { return equalsNoCase(a, b); }

void Key::indexChildren() {
    m_index = std::make_unique<Index>();
    m_index->reserve(m_children.size() * 2);
    for (auto& c : m_children) m_index->emplace(c->m_name, c.get());
}

Key* Key::child(std::string_view name) {
    if (m_index) {
        auto it = m_index->find(name);
        return it == m_index->end() ? nullptr : it->second;
    }
    for (auto& c : m_children)
        if (equalsNoCase(c->m_name, name)) return c.get();
    return nullptr;
}

const Key* Key::child(std::string_view name) const { return const_cast<Key*>(this)->child(name); }

Key* Key::find(std::string_view path) {
    Key* key = this;
    bool found = forEachComponent(path, [&](std::string_view component) {
        key = key->child(component);
        return key != nullptr;
    });
    return found ? key : nullptr;
}

const Key* Key::find(std::string_view path) const { return const_cast<Key*>(this)->find(path); }

Key& Key::create(std::string_view path) {
    Key* key = this;
    forEachComponent(path, [&](std::string_view component) {
        Key* next = key->child(component);
        if (!next) {
            key->m_children.push_back(std::make_unique<Key>(std::string(component)));
            next = key->m_children.back().get();
            if (key->m_index)
                key->m_index->emplace(next->m_name, next);
            else if (key->m_children.size() > kIndexThreshold)
                key->indexChildren();
        }
        key = next;
        return true;
    });
    return *key;
}

bool Key::removeChild(std::string_view name) {
    for (auto it = m_children.begin(); it != m_children.end(); ++it) {
        if (equalsNoCase((*it)->m_name, name)) {
            if (m_index) m_index->erase((*it)->m_name);
            m_children.erase(it);
            return true;
        }
    }
    return false;
}

bool Key::remove(std::string_view path) {
    std::string_view parentPath;
    std::string_view last = splitLast(path, parentPath);
    if (last.empty()) return false;
    Key* parent = find(parentPath);
    return parent && parent->removeChild(last);
}

void Key::setValue(std::string_view name, std::string value) {
    for (auto& [n, v] : m_values) {
        if (equalsNoCase(n, name)) {
            v = std::move(value);
            return;
        }
    }
    m_values.emplace_back(std::string(name), std::move(value));
}

std::optional<std::string> Key::value(std::string_view name) const {
    for (const auto& [n, v] : m_values)
        if (equalsNoCase(n, name)) return v;
    return std::nullopt;
}

bool Key::removeValue(std::string_view name) {
    for (auto it = m_values.begin(); it != m_values.end(); ++it) {
        if (equalsNoCase(it->first, name)) {
            m_values.erase(it);
            return true;
        }
    }
    return false;
}

Key Key::clone() const {
    Key copy(m_name);
    copy.m_values = m_values;
    copy.m_children.reserve(m_children.size());
    for (const auto& c : m_children) copy.m_children.push_back(std::make_unique<Key>(c->clone()));
    if (m_index) copy.indexChildren();
    return copy;
}

// ---- Reading hive files -----------------------------------------------------

namespace {

struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long mtimeNs = 0;

    static FileId of(const struct stat& st) {
        return {st.st_dev, st.st_ino, st.st_size,
                static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
    }
    bool operator==(const FileId&) const = default;
};

// One parsed version of a hive file. It holds the file open so that its inode
// number stays taken while the entry is in use.
struct Snapshot {
    int fd = -1;  // -1 when the file did not exist
    FileId id;
    std::shared_ptr<const Key> root;
    std::string damagedBytes;  // the raw file, kept only when it was damaged
    bool damaged = false;

    Snapshot() = default;
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;
    ~Snapshot() {
        if (fd >= 0) ::close(fd);
    }
};

using SnapshotPtr = std::shared_ptr<const Snapshot>;

std::mutex g_cacheMutex;

// Latest snapshot per file path. Leaked on purpose, so that it stays usable
// from static destructors of other code.
std::unordered_map<std::string, SnapshotPtr>& cacheMap() {
    static auto* map = new std::unordered_map<std::string, SnapshotPtr>;
    return *map;
}

SnapshotPtr cached(const std::string& path, const FileId& id) {
    std::lock_guard lock(g_cacheMutex);
    auto& cache = cacheMap();
    auto it = cache.find(path);
    if (it != cache.end() && it->second->fd >= 0 && it->second->id == id) return it->second;
    return nullptr;
}

void remember(const std::string& path, SnapshotPtr snapshot) {
    std::lock_guard lock(g_cacheMutex);
    auto& cache = cacheMap();
    // Tests and tools switch registry folders; keep the cache small.
    if (cache.size() >= 8 && !cache.count(path)) cache.clear();
    cache[path] = std::move(snapshot);
}

bool readAll(int fd, std::string& out) {
    out.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        out.append(buf, static_cast<size_t>(n));
    }
}

// Reads the hive file as it is now, from the cache when the file is the one
// parsed last. Returns the errno on failure; a missing file is an empty hive.
int readHive(Hive hive, const std::string& path, SnapshotPtr& result) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (auto hit = cached(path, FileId::of(st))) {
            result = std::move(hit);
            return 0;
        }
    }

    auto snap = std::make_shared<Snapshot>();
    std::string bytes;
    // An editor saving in place may change the file while it is read: the
    // identity is compared before and after, and an unsteady read is not
    // cached.
    bool steady = false;
    for (int attempt = 0; !steady && attempt < 3; ++attempt) {
        if (snap->fd >= 0) ::close(snap->fd);
        snap->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (snap->fd < 0) {
            if (errno != ENOENT) return errno;
            snap->root = std::make_shared<const Key>();
            result = std::move(snap);
            return 0;
        }
        struct stat before {}, after {};
        if (::fstat(snap->fd, &before) != 0 || !readAll(snap->fd, bytes) || ::fstat(snap->fd, &after) != 0)
            return errno ? errno : EIO;
        snap->id = FileId::of(after);
        steady = FileId::of(before) == snap->id;
    }

    auto root = std::make_shared<Key>();
    std::string error;
    if (!detail::parseText(bytes, hive, *root, &error)) {
        std::fprintf(stderr,
                     "quillan: registry file %s is damaged: %s; the entries that could be read stay in force\n",
                     path.c_str(), error.c_str());
        snap->damaged = true;
        snap->damagedBytes = std::move(bytes);
    }
    snap->root = std::move(root);
    if (steady) remember(path, snap);
    result = std::move(snap);
    return 0;
}

SnapshotPtr current(Hive hive) {
    SnapshotPtr snap;
    std::string path = hiveFile(hive);
    int err = readHive(hive, path, snap);
    if (err != 0) {
        static std::atomic<bool> reported{false};
        if (!reported.exchange(true)) {
            std::fprintf(stderr, "quillan: cannot read registry file %s: %s\n", path.c_str(), std::strerror(err));
        }
        return nullptr;
    }
    return snap;
}

// ---- Writing hive files -----------------------------------------------------

struct Fd {
    int fd = -1;
    explicit Fd(int f = -1) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

HRESULT errnoResult() { return errno ? HRESULT_FROM_ERRNO(errno) : REGDB_E_WRITEREGDB; }

int makeDirectories(const std::string& dir) {
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/') continue;
        std::string prefix = dir.substr(0, pos);
        if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return errno;
    }
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

std::string baseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Temporary files are only created under the hive's lock, so any found while
// holding it were left by a writer that died.
void removeStaleTemporaries(const std::string& dir, const std::string& file) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    std::string prefix = baseName(file) + ".tmp-";
    while (dirent* e = ::readdir(d)) {
        if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0)
            ::unlinkat(::dirfd(d), e->d_name, 0);
    }
    ::closedir(d);
}

// Keeps the bytes of a damaged file under "<file>.damaged-<time>".
HRESULT keepDamagedCopy(const std::string& file, const std::string& bytes) {
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm tm {};
    ::localtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &tm);
    std::string base = file + ".damaged-" + stamp;
    for (int n = 0; n < 100; ++n) {
        std::string name = n == 0 ? base : base + "-" + std::to_string(n);
        Fd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.fd < 0) {
            if (errno == EEXIST) continue;
            return errnoResult();
        }
        if (!writeAll(fd.fd, bytes) || ::fsync(fd.fd) != 0) {
            HRESULT hr = errnoResult();
            ::unlink(name.c_str());
            return hr;
        }
        std::fprintf(stderr, "quillan: the damaged registry file was kept as %s\n", name.c_str());
        return S_OK;
    }
    return REGDB_E_WRITEREGDB;
}

// Writes text as the new content of file: a temporary file in the same
// folder, synced, renamed over the old one. On success out is left open on
// the new file (for the cache).
HRESULT replaceFile(const std::string& file, std::string_view text, mode_t mode, Fd& out) {
    std::string tmp = file + ".tmp-XXXXXX";
    Fd fd(::mkostemp(tmp.data(), O_CLOEXEC));
    if (fd.fd < 0) return errnoResult();
    HRESULT hr = S_OK;
    if (::fchmod(fd.fd, mode) != 0 || !writeAll(fd.fd, text) || ::fsync(fd.fd) != 0 ||
        ::rename(tmp.c_str(), file.c_str()) != 0) {
        hr = errnoResult();
        ::unlink(tmp.c_str());
        return hr;
    }
    // The folder is not synced: after a crash the rename may be undone, which
    // brings back the previous whole version, never a partial one.
    std::swap(out.fd, fd.fd);
    return S_OK;
}

// Key names cannot hold line breaks: they would split their "[...]" line.
// Nor may keys lie deeper than a file may name them (the root is depth 0).
bool writable(const Key& key, size_t depth = 0) {
    if (depth > kMaxKeyDepth) return false;
    if (key.name().find_first_of("\r\n") != std::string::npos) return false;
    for (const auto& c : key.children())
        if (!writable(*c, depth + 1)) return false;
    return true;
}

thread_local bool t_inTransaction[2] = {false, false};

HRESULT transactLocked(Hive hive, const std::string& dir, const std::string& file,
                       const std::function<HRESULT(Key&)>& change) {
    SnapshotPtr snap;
    if (int err = readHive(hive, file, snap); err != 0) return HRESULT_FROM_ERRNO(err);

    Key root = snap->root->clone();
    HRESULT hr = change(root);
    if (FAILED(hr)) return hr;
    if (!writable(root)) return E_INVALIDARG;

    std::string text = detail::serializeTree(root, hive);
    removeStaleTemporaries(dir, file);
    if (snap->damaged) {
        if (HRESULT keep = keepDamagedCopy(file, snap->damagedBytes); FAILED(keep)) return keep;
    }
    mode_t mode = 0644;
    struct stat old {};
    if (snap->fd >= 0 && ::fstat(snap->fd, &old) == 0) mode = old.st_mode & 07777;

    Fd written;
    if (HRESULT saved = replaceFile(file, text, mode, written); FAILED(saved)) return saved;

    // The tree just written is what the next read of this file would parse.
    struct stat st {};
    if (::fstat(written.fd, &st) == 0) {
        auto fresh = std::make_shared<Snapshot>();
        std::swap(fresh->fd, written.fd);
        fresh->id = FileId::of(st);
        fresh->root = std::make_shared<const Key>(std::move(root));
        remember(file, std::move(fresh));
    }
    return hr;
}

}  // namespace

// ---- API --------------------------------------------------------------------

Key load(Hive hive) {
    try {
        if (SnapshotPtr snap = current(hive)) return snap->root->clone();
    } catch (...) {
    }
    return Key();
}

HRESULT transact(Hive hive, const std::function<HRESULT(Key& root)>& change) {
    bool& busy = t_inTransaction[hive == Hive::ClassesRoot ? 0 : 1];
    // The hive's lock is already held by this thread: taking it again would
    // wait forever.
    if (busy) return E_UNEXPECTED;
    try {
        std::string dir = directory();
        std::string file = hiveFile(hive);
        if (int err = makeDirectories(dir); err != 0) return HRESULT_FROM_ERRNO(err);

        // The lock lives in its own file, which is never replaced; locking
        // the hive file itself would lock an inode the rename discards.
        Fd lock(::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
        if (lock.fd < 0) return errnoResult();
        while (::flock(lock.fd, LOCK_EX) != 0) {
            if (errno != EINTR) return errnoResult();
        }
        busy = true;
        HRESULT hr;
        try {
            hr = transactLocked(hive, dir, file, change);
        } catch (const std::bad_alloc&) {
            hr = E_OUTOFMEMORY;
        } catch (...) {
            hr = E_FAIL;
        }
        busy = false;
        ::flock(lock.fd, LOCK_UN);
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT setValue(Hive hive, std::string_view keyPath, std::string_view valueName, std::string_view value) {
    return transact(hive, [&](Key& root) {
        root.create(keyPath).setValue(valueName, std::string(value));
        return S_OK;
    });
}

std::optional<std::string> getValue(Hive hive, std::string_view keyPath, std::string_view valueName) {
    try {
        if (SnapshotPtr snap = current(hive))
            if (const Key* key = snap->root->find(keyPath)) return key->value(valueName);
    } catch (...) {
    }
    return std::nullopt;
}

bool keyExists(Hive hive, std::string_view keyPath) {
    try {
        if (SnapshotPtr snap = current(hive)) return snap->root->find(keyPath) != nullptr;
    } catch (...) {
    }
    return false;
}

std::vector<std::string> subkeys(Hive hive, std::string_view keyPath) {
    std::vector<std::string> names;
    try {
        if (SnapshotPtr snap = current(hive)) {
            if (const Key* key = snap->root->find(keyPath)) {
                names.reserve(key->children().size());
                for (const auto& c : key->children()) names.push_back(c->name());
            }
        }
    } catch (...) {
        names.clear();
    }
    return names;
}

HRESULT deleteTree(Hive hive, std::string_view keyPath) {
    // Nothing to rewrite when the key is not there (unregistering often
    // removes keys that were never written).
    if (!keyExists(hive, keyPath)) return S_FALSE;
    return transact(hive, [&](Key& root) { return root.remove(keyPath) ? S_OK : S_FALSE; });
}

}  // namespace qrt::registry
