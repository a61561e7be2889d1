// Storage and stream objects over storage files, and opening and creating
// those files: locks for sharing, the path kept for delete-on-release, and
// the leftovers of owners that died.
#include "runtime/object.h"
#include "runtime/storage.h"
#include "runtime/storage_file.h"
#include "runtime/stream_support.h"
#include "runtime/text.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrt {

namespace {

namespace fs = std::filesystem;
using stg::Entry;
using stg::StorageFile;

constexpr std::string_view kTempPrefix = "quillan-storage-";

HRESULT openError(int err) {
    switch (err) {
    case ENOENT: return STG_E_FILENOTFOUND;
    case ENOTDIR: return STG_E_PATHNOTFOUND;
    case EACCES: case EPERM: case EROFS: case EISDIR: return STG_E_ACCESSDENIED;
    case EMFILE: case ENFILE: return STG_E_TOOMANYOPENFILES;
    case ENAMETOOLONG: return STG_E_INVALIDNAME;
    case ENOMEM: return STG_E_INSUFFICIENTMEMORY;
    default: return HRESULT_FROM_ERRNO(err);
    }
}

// Runs a method body, turning an escaping allocation failure into a status.
template <class F>
HRESULT guarded(F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    } catch (const std::exception&) {
        return E_UNEXPECTED;
    }
}

// Checks a name argument: STG_E_INVALIDPOINTER for null, else
// STG_E_INVALIDNAME for a name no element can have.
HRESULT checkName(const OLECHAR* name, std::u16string_view* view) {
    if (!name) return STG_E_INVALIDPOINTER;
    *view = name;
    return stg::validName(*view) ? S_OK : STG_E_INVALIDNAME;
}

bool canRead(DWORD mode) { return (mode & 3) != STGM_WRITE; }
bool canWrite(DWORD mode) { return (mode & 3) != STGM_READ; }

class FileStorage;

class FileStream final : public ComObject<IStream> {
public:
    FileStream(ComPtr<FileStorage> storage, std::shared_ptr<Entry> entry, DWORD mode, std::uint64_t position);
    ~FileStream() override;

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
    HRESULT SetSize(ULARGE_INTEGER newSize) override;
    HRESULT CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) override {
        return detail::copyStream(this, target, cb, pcbRead, pcbWritten);
    }
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }
    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT Stat(STATSTG* stat, DWORD flag) override;
    HRESULT Clone(IStream** out) override;

private:
    StorageFile& file();

    ComPtr<FileStorage> m_storage;  // keeps the file open as long as the stream lives
    std::shared_ptr<Entry> m_entry;
    DWORD m_mode;
    std::uint64_t m_position;
};

class FileStorage final : public ComObject<IStorage> {
public:
    FileStorage(std::unique_ptr<StorageFile> file, DWORD mode, std::u16string path)
        : m_file(std::move(file)), m_mode(mode), m_path(std::move(path)) {}

    StorageFile& file() { return *m_file; }

    HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2, IStream** out) override {
        return guarded([&]() -> HRESULT {
            if (!out) return STG_E_INVALIDPOINTER;
            *out = nullptr;
            std::u16string_view view;
            HRESULT hr = checkName(name, &view);
            if (FAILED(hr)) return hr;
            if (reserved1 || reserved2) return STG_E_INVALIDPARAMETER;
            if ((mode & ~(3u | 0x70u | STGM_CREATE)) || (mode & 3) == 3 || (mode & 0x70) != STGM_SHARE_EXCLUSIVE ||
                !canWrite(mode))
                return STG_E_INVALIDFLAG;
            if (!canWrite(m_mode) || (canRead(mode) && !canRead(m_mode))) return STG_E_ACCESSDENIED;
            std::lock_guard lock(m_file->mutex);
            std::shared_ptr<Entry> entry = m_file->find(view);
            if (entry) {
                if (!(mode & STGM_CREATE)) return STG_E_FILEALREADYEXISTS;
                if (entry->openCount) return STG_E_ACCESSDENIED;
                hr = m_file->resize(*entry, 0);
            } else {
                hr = m_file->addEntry(view, &entry);
            }
            if (FAILED(hr)) return hr;
            return handOut(std::move(entry), mode, out);
        });
    }

    HRESULT OpenStream(const OLECHAR* name, void* reserved1, DWORD mode, DWORD reserved2, IStream** out) override {
        return guarded([&]() -> HRESULT {
            if (!out) return STG_E_INVALIDPOINTER;
            *out = nullptr;
            std::u16string_view view;
            HRESULT hr = checkName(name, &view);
            if (FAILED(hr)) return hr;
            if (reserved1 || reserved2) return STG_E_INVALIDPARAMETER;
            if ((mode & ~(3u | 0x70u)) || (mode & 3) == 3 || (mode & 0x70) != STGM_SHARE_EXCLUSIVE) return STG_E_INVALIDFLAG;
            if ((canWrite(mode) && !canWrite(m_mode)) || (canRead(mode) && !canRead(m_mode))) return STG_E_ACCESSDENIED;
            std::lock_guard lock(m_file->mutex);
            std::shared_ptr<Entry> entry = m_file->find(view);
            if (!entry) return STG_E_FILENOTFOUND;
            if (entry->openCount) return STG_E_ACCESSDENIED;
            return handOut(std::move(entry), mode, out);
        });
    }

    HRESULT CreateStorage(const OLECHAR*, DWORD, DWORD, DWORD, IStorage** out) override {
        if (out) *out = nullptr;
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT OpenStorage(const OLECHAR*, IStorage*, DWORD, SNB, DWORD, IStorage** out) override {
        if (out) *out = nullptr;
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT CopyTo(DWORD, const ::IID*, SNB, IStorage*) override { return STG_E_INVALIDFUNCTION; }
    HRESULT MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }
    HRESULT EnumElements(DWORD, void*, DWORD, IEnumSTATSTG** out) override {
        if (out) *out = nullptr;
        return STG_E_INVALIDFUNCTION;
    }

    HRESULT DestroyElement(const OLECHAR* name) override {
        return guarded([&]() -> HRESULT {
            std::u16string_view view;
            HRESULT hr = checkName(name, &view);
            if (FAILED(hr)) return hr;
            if (!canWrite(m_mode)) return STG_E_ACCESSDENIED;
            std::lock_guard lock(m_file->mutex);
            std::shared_ptr<Entry> entry = m_file->find(view);
            if (!entry) return STG_E_FILENOTFOUND;
            if (entry->openCount) return STG_E_ACCESSDENIED;
            return m_file->removeEntry(*entry);
        });
    }

    HRESULT RenameElement(const OLECHAR* oldName, const OLECHAR* newName) override {
        return guarded([&]() -> HRESULT {
            std::u16string_view from, to;
            HRESULT hr = checkName(oldName, &from);
            if (FAILED(hr)) return hr;
            if (FAILED(hr = checkName(newName, &to))) return hr;
            if (!canWrite(m_mode)) return STG_E_ACCESSDENIED;
            std::lock_guard lock(m_file->mutex);
            std::shared_ptr<Entry> entry = m_file->find(from);
            if (!entry) return STG_E_FILENOTFOUND;
            std::shared_ptr<Entry> clash = m_file->find(to);
            if (clash && clash != entry) return STG_E_FILEALREADYEXISTS;
            if (entry->openCount) return STG_E_ACCESSDENIED;
            return m_file->rename(*entry, to);
        });
    }

    HRESULT SetElementTimes(const OLECHAR*, const FILETIME*, const FILETIME*, const FILETIME*) override { return STG_E_INVALIDFUNCTION; }

    HRESULT SetClass(REFCLSID clsid) override {
        if (!canWrite(m_mode)) return STG_E_ACCESSDENIED;
        std::lock_guard lock(m_file->mutex);
        return m_file->setClass(clsid);
    }

    HRESULT SetStateBits(DWORD, DWORD) override { return STG_E_INVALIDFUNCTION; }

    HRESULT Stat(STATSTG* stat, DWORD flag) override {
        return guarded([&]() -> HRESULT {
            HRESULT hr = detail::fillStat(stat, flag, STGTY_STORAGE, m_path, 0, m_mode);
            if (FAILED(hr)) return hr;
            std::lock_guard lock(m_file->mutex);
            stat->clsid = m_file->clsid();
            m_file->statTimes(stat);
            return S_OK;
        });
    }

private:
    // Called with the file's mutex held.
    HRESULT handOut(std::shared_ptr<Entry> entry, DWORD mode, IStream** out) {
        auto* stream = new (std::nothrow) FileStream(ComPtr<FileStorage>(this), std::move(entry), mode, 0);
        if (!stream) return STG_E_INSUFFICIENTMEMORY;
        stream->AddRef();
        *out = stream;
        return S_OK;
    }

    std::unique_ptr<StorageFile> m_file;
    DWORD m_mode;
    std::u16string m_path;
};

// The constructor runs with the file's mutex held (see handOut and Clone).
FileStream::FileStream(ComPtr<FileStorage> storage, std::shared_ptr<Entry> entry, DWORD mode, std::uint64_t position)
    : m_storage(std::move(storage)), m_entry(std::move(entry)), m_mode(mode), m_position(position) {
    ++m_entry->openCount;
}

FileStream::~FileStream() {
    std::lock_guard lock(file().mutex);
    --m_entry->openCount;
}

StorageFile& FileStream::file() { return m_storage->file(); }

HRESULT FileStream::Read(void* pv, ULONG cb, ULONG* pcbRead) {
    if (pcbRead) *pcbRead = 0;
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    if (!canRead(m_mode)) return STG_E_ACCESSDENIED;
    std::lock_guard lock(file().mutex);
    ULONG got = 0;
    HRESULT hr = file().read(*m_entry, m_position, pv, cb, &got);
    m_position += got;
    if (pcbRead) *pcbRead = got;
    return hr;
}

HRESULT FileStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten) {
    if (pcbWritten) *pcbWritten = 0;
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    if (!canWrite(m_mode)) return STG_E_ACCESSDENIED;
    if (!cb) return S_OK;
    return guarded([&]() -> HRESULT {
        std::lock_guard lock(file().mutex);
        HRESULT hr = file().write(*m_entry, m_position, pv, cb);
        if (FAILED(hr)) return hr;
        m_position += cb;
        if (pcbWritten) *pcbWritten = cb;
        return S_OK;
    });
}

HRESULT FileStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) {
    std::lock_guard lock(file().mutex);
    std::uint64_t target;
    HRESULT hr = detail::seekTarget(m_position, m_entry->size, move, origin, &target);
    if (FAILED(hr)) return hr;
    m_position = target;
    if (newPosition) newPosition->QuadPart = target;
    return S_OK;
}

HRESULT FileStream::SetSize(ULARGE_INTEGER newSize) {
    if (!canWrite(m_mode)) return STG_E_ACCESSDENIED;
    return guarded([&]() -> HRESULT {
        std::lock_guard lock(file().mutex);
        return file().resize(*m_entry, newSize.QuadPart);
    });
}

HRESULT FileStream::Stat(STATSTG* stat, DWORD flag) {
    std::lock_guard lock(file().mutex);
    return detail::fillStat(stat, flag, STGTY_STREAM, m_entry->name, m_entry->size, m_mode);
}

HRESULT FileStream::Clone(IStream** out) {
    if (!out) return STG_E_INVALIDPOINTER;
    *out = nullptr;
    std::lock_guard lock(file().mutex);
    auto* clone = new (std::nothrow) FileStream(m_storage, m_entry, m_mode, m_position);
    if (!clone) return STG_E_INSUFFICIENTMEMORY;
    clone->AddRef();
    *out = clone;
    return S_OK;
}

// ---- opening and creating files ----

// Takes a lock without waiting: 0, or the errno (EWOULDBLOCK when held).
int tryLock(int fd, bool exclusive) {
    while (flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

// A file we have just created can only be held by someone probing it (it
// has no header yet, so they let go at once): wait for them a little.
int lockFresh(int fd) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        int err = tryLock(fd, true);
        if (err != EWOULDBLOCK) return err;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return EWOULDBLOCK;
}

HRESULT checkRootMode(DWORD mode, bool creating) {
    constexpr DWORD known = 3u | 0x70u | STGM_CREATE | STGM_DELETEONRELEASE;
    const DWORD share = mode & 0x70;
    if ((mode & ~known) || (mode & 3) == 3 || share > STGM_SHARE_DENY_NONE)
        return STG_E_INVALIDFLAG;
    if (creating && !canWrite(mode)) return STG_E_INVALIDFLAG;
    if (!creating && (mode & STGM_CREATE)) return STG_E_INVALIDFLAG;
    if (!creating && (mode & STGM_DELETEONRELEASE)) return STG_E_INVALIDFUNCTION;
    if (canWrite(mode) && share != STGM_SHARE_EXCLUSIVE) return STG_E_INVALIDFLAG;
    return S_OK;
}

bool exclusiveLock(DWORD mode) {
    const DWORD share = mode & 0x70;
    return canWrite(mode) || share == STGM_SHARE_EXCLUSIVE || share == STGM_SHARE_DENY_READ;
}

// The folder (opened) and the last component of a path.
HRESULT splitPath(const OLECHAR* name, int* dirFd, std::string* base, std::u16string* absolute) {
    if (!name || !*name) return STG_E_INVALIDNAME;
    std::error_code ec;
    fs::path path = fs::absolute(fs::path(encodeUtf8(name)), ec);
    if (ec) return STG_E_PATHNOTFOUND;
    *base = path.filename().string();
    if (base->empty() || *base == "." || *base == "..") return STG_E_INVALIDNAME;
    *dirFd = open(path.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (*dirFd < 0) return errno == ENOENT || errno == ENOTDIR ? STG_E_PATHNOTFOUND : openError(errno);
    *absolute = decodeAnsi(path.string());
    return S_OK;
}

HRESULT finish(std::unique_ptr<StorageFile> file, DWORD mode, std::u16string path, IStorage** out) {
    auto* storage = new (std::nothrow) FileStorage(std::move(file), mode, std::move(path));
    if (!storage) return STG_E_INSUFFICIENTMEMORY;
    storage->AddRef();
    *out = storage;
    return S_OK;
}

// Removes our delete-on-release files that nobody holds from a folder: what
// processes that died with a temporary storage open left behind.
void sweepLeftovers(const fs::path& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (dirent* d = readdir(dir)) {
        std::string_view name = d->d_name;
        if (name.substr(0, kTempPrefix.size()) != kTempPrefix) continue;
        int dirFd = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dirFd < 0) break;
        StorageFile file(dirFd, std::string(name));
        int fd = openat(dirfd(dir), d->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        file.adoptFd(fd);
        if (tryLock(fd, true) == 0 && file.stillAtPath() && file.readHeader() == S_OK && file.markedDeleteOnRelease())
            file.setDeleteOnRelease(true);  // closing it removes it
    }
    closedir(dir);
}

HRESULT createTemporary(DWORD mode, IStorage** out) {
    std::error_code ec;
    fs::path folder = fs::temp_directory_path(ec);
    if (ec) return STG_E_PATHNOTFOUND;
    sweepLeftovers(folder);
    std::string pattern = (folder / (std::string(kTempPrefix) + "XXXXXX")).string();
    int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return openError(errno);
    int dirFd = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        int err = errno;
        unlink(pattern.c_str());
        ::close(fd);
        return openError(err);
    }
    auto file = std::make_unique<StorageFile>(dirFd, fs::path(pattern).filename().string());
    file->adoptFd(fd);
    file->setDeleteOnRelease(true);  // a failure below removes what we created
    HRESULT hr = lockFresh(fd) == 0 ? file->initialise(mode & STGM_DELETEONRELEASE) : STG_E_SHAREVIOLATION;
    if (FAILED(hr)) return hr;
    file->setDeleteOnRelease(mode & STGM_DELETEONRELEASE);
    file->setWritable(true);
    return finish(std::move(file), mode, decodeAnsi(pattern), out);
}

}  // namespace

}  // namespace qrt

HRESULT StgCreateDocfile(const OLECHAR* name, DWORD mode, DWORD reserved, IStorage** out) {
    using namespace qrt;
    return guarded([&]() -> HRESULT {
        if (!out) return STG_E_INVALIDPOINTER;
        *out = nullptr;
        if (reserved) return STG_E_INVALIDPARAMETER;
        HRESULT hr = checkRootMode(mode, true);
        if (FAILED(hr)) return hr;
        if (!name) return createTemporary(mode, out);
        int dirFd = -1;
        std::string base;
        std::u16string absolute;
        if (FAILED(hr = splitPath(name, &dirFd, &base, &absolute))) return hr;
        auto file = std::make_unique<StorageFile>(dirFd, base);
        // Retried when the file vanishes or is replaced between open and lock.
        for (int attempt = 0; attempt < 16; ++attempt) {
            int fd = openat(dirFd, base.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            const bool fresh = fd >= 0;
            if (!fresh) {
                if (errno != EEXIST) return openError(errno);
                fd = openat(dirFd, base.c_str(), O_RDWR | O_CLOEXEC);
                if (fd < 0) {
                    if (errno == ENOENT) continue;
                    return openError(errno);
                }
            }
            file->adoptFd(fd);
            file->setDeleteOnRelease(fresh);  // a failure below removes what we created
            struct stat st;
            if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return STG_E_ACCESSDENIED;
            int err = fresh ? lockFresh(fd) : tryLock(fd, true);
            if (err == EWOULDBLOCK) return (mode & STGM_CREATE) ? STG_E_SHAREVIOLATION : STG_E_FILEALREADYEXISTS;
            if (err) return openError(err);
            if (!file->stillAtPath()) {
                file->dropFd();
                continue;
            }
            // Without STGM_CREATE only a leftover of a dead delete-on-release
            // owner may be replaced.
            if (!fresh && !(mode & STGM_CREATE) && !(file->readHeader() == S_OK && file->markedDeleteOnRelease()))
                return STG_E_FILEALREADYEXISTS;
            if (FAILED(hr = file->initialise(mode & STGM_DELETEONRELEASE))) return hr;
            file->setDeleteOnRelease(mode & STGM_DELETEONRELEASE);
            file->setWritable(true);
            return finish(std::move(file), mode, std::move(absolute), out);
        }
        return STG_E_SHAREVIOLATION;
    });
}

HRESULT StgOpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode, SNB exclude, DWORD reserved, IStorage** out) {
    using namespace qrt;
    return guarded([&]() -> HRESULT {
        if (!out) return STG_E_INVALIDPOINTER;
        *out = nullptr;
        if (priority) return STG_E_INVALIDFUNCTION;
        if (exclude || reserved) return STG_E_INVALIDPARAMETER;
        HRESULT hr = checkRootMode(mode, false);
        if (FAILED(hr)) return hr;
        int dirFd = -1;
        std::string base;
        std::u16string absolute;
        if (FAILED(hr = splitPath(name, &dirFd, &base, &absolute))) return hr;
        auto file = std::make_unique<StorageFile>(dirFd, base);
        for (int attempt = 0; attempt < 16; ++attempt) {
            int fd = openat(dirFd, base.c_str(), (canWrite(mode) ? O_RDWR : O_RDONLY) | O_CLOEXEC);
            if (fd < 0) return openError(errno);
            file->adoptFd(fd);
            struct stat st;
            if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return STG_E_ACCESSDENIED;
            int err = tryLock(fd, exclusiveLock(mode));
            if (err == EWOULDBLOCK) return STG_E_SHAREVIOLATION;
            if (err) return openError(err);
            if (!file->stillAtPath()) {
                file->dropFd();
                continue;
            }
            hr = file->readHeader();
            if (hr == S_FALSE) return STG_E_FILEALREADYEXISTS;
            if (FAILED(hr)) return hr;
            if (file->markedDeleteOnRelease()) {
                // Its owner died without releasing it: it is gone already.
                file->setDeleteOnRelease(true);
                return STG_E_FILENOTFOUND;
            }
            if (FAILED(hr = file->loadDirectory())) return hr;
            file->setWritable(canWrite(mode));
            return finish(std::move(file), mode, std::move(absolute), out);
        }
        return STG_E_SHAREVIOLATION;
    });
}
