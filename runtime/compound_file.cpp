// Storage files: named streams in one file on disk, in direct mode.
//
// Layout (all numbers little-endian):
//
//     0   header, 64 bytes:
//           0  magic "QSTORE\r\n"      8  version (u32) = 1
//          12  flags (u32): 1 = delete on release
//          16  directory offset (u64) 24  directory capacity in entries (u64)
//          32  entry count (u32)      36  reserved (u32)
//          40  class id (16 bytes)    56  reserved (u64)
//     then, anywhere after the header, non-overlapping regions:
//       the directory: entry count slots of 96 bytes each
//           0  name, 32 UTF-16 units padded with zeros (at most 31 used)
//          64  region offset (u64)    72  region capacity (u64)
//          80  stream size (u64)      88  reserved (u64)
//       one region per stream holding its bytes; size <= capacity.
//
// A Write lands in the stream's region and, when the stream grows, rewrites
// its 96-byte slot; nothing else moves. A region that is too small grows in
// place when the space after it is free, else moves to the first gap that
// fits (or the end) with twice its capacity, so appending costs amortised
// O(bytes written). Closing a writable file trims every region to its
// stream's size and the file to its last region; the gaps left between
// regions are reused by later growth.
//
// Bytes past the physical end of the file read as zeros, so growing a
// stream at the end of the file writes nothing for the zeros.
#include "runtime/object.h"
#include "runtime/storage.h"
#include "runtime/stream_support.h"
#include "runtime/text.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrt {

namespace {

namespace fs = std::filesystem;

constexpr char kMagic[8] = {'Q', 'S', 'T', 'O', 'R', 'E', '\r', '\n'};
constexpr std::uint32_t kVersion = 1;
constexpr std::uint32_t kFlagDeleteOnRelease = 1;
constexpr std::uint64_t kHeaderSize = 64;
constexpr std::uint64_t kSlotSize = 96;
constexpr std::size_t kNameUnits = 32;
constexpr std::size_t kMaxNameLength = kNameUnits - 1;
constexpr std::uint64_t kMaxEntries = 1u << 16;
constexpr std::uint64_t kMinStreamRegion = 4096;
constexpr std::uint64_t kInitialDirectorySlots = 4;
constexpr std::string_view kTempPrefix = "quillan-storage-";

void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void put64(unsigned char* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
std::uint32_t get32(const unsigned char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}
std::uint64_t get64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

HRESULT writeError(int err) {
    if (err == ENOSPC || err == EDQUOT || err == EFBIG) return STG_E_MEDIUMFULL;
    return STG_E_WRITEFAULT;
}

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

char16_t foldCase(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

// Element names compare without regard to the case of ASCII letters.
bool sameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (foldCase(a[i]) != foldCase(b[i])) return false;
    return true;
}

bool validName(std::u16string_view name) {
    if (name.empty() || name.size() > kMaxNameLength) return false;
    return name.find_first_of(u"\\/:!") == std::u16string_view::npos;
}

// Checks a name argument: STG_E_INVALIDPOINTER for null, else
// STG_E_INVALIDNAME for a name no element can have.
HRESULT checkName(const OLECHAR* name, std::u16string_view* view) {
    if (!name) return STG_E_INVALIDPOINTER;
    *view = name;
    return validName(*view) ? S_OK : STG_E_INVALIDNAME;
}

FILETIME toFileTime(const timespec& t) {
    constexpr std::int64_t kEpochDifference = 11644473600;  // seconds from 1601 to 1970
    std::uint64_t ticks = static_cast<std::uint64_t>(t.tv_sec + kEpochDifference) * 10000000u + static_cast<std::uint64_t>(t.tv_nsec / 100);
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

bool canRead(DWORD mode) { return (mode & 3) != STGM_WRITE; }
bool canWrite(DWORD mode) { return (mode & 3) != STGM_READ; }

struct Region {
    std::uint64_t offset = 0;
    std::uint64_t capacity = 0;
    std::uint64_t end() const { return offset + capacity; }
};

struct Entry {
    std::u16string name;
    Region region;
    std::uint64_t size = 0;
    std::size_t slot = 0;
    int openCount = 0;  // stream objects on this entry (clones included)
};

struct Header {
    std::uint32_t flags = 0;
    Region directory;  // capacity in slots
    std::uint32_t count = 0;
    CLSID clsid;
};

// A file and its directory, guarded by one mutex. The storage object owns
// it; streams reach it through their storage.
class StorageFile {
public:
    StorageFile(int dirFd, std::string baseName) : m_dirFd(dirFd), m_baseName(std::move(baseName)) {}
    StorageFile(const StorageFile&) = delete;
    StorageFile& operator=(const StorageFile&) = delete;
    ~StorageFile() { close(); }

    std::mutex mutex;

    void adoptFd(int fd) { m_fd = fd; }
    // Lets go of the file without touching it (the folder stays open).
    void dropFd() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }
    void setDeleteOnRelease(bool on) { m_deleteOnRelease = on; }
    void setWritable(bool on) { m_writable = on; }
    const CLSID& clsid() const { return m_header.clsid; }

    // True when the path still names the file we hold (it may have been
    // removed or replaced between opening and locking).
    bool stillAtPath() const {
        struct stat mine, there;
        if (fstat(m_fd, &mine) != 0 || fstatat(m_dirFd, m_baseName.c_str(), &there, 0) != 0) return false;
        return mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
    }

    // Empties the file and writes a fresh header with an empty directory.
    HRESULT initialise(bool deleteOnRelease) {
        if (ftruncate(m_fd, 0) != 0) return writeError(errno);
        m_physicalSize = 0;
        m_entries.clear();
        m_header = Header{};
        m_header.flags = deleteOnRelease ? kFlagDeleteOnRelease : 0;
        m_header.directory = Region{kHeaderSize, kInitialDirectorySlots};
        return writeHeader();
    }

    // Reads the header: S_FALSE when the file is not one of ours.
    HRESULT readHeader() {
        unsigned char h[kHeaderSize];
        struct stat st;
        if (fstat(m_fd, &st) != 0) return STG_E_READFAULT;
        m_physicalSize = static_cast<std::uint64_t>(st.st_size);
        if (m_physicalSize < kHeaderSize) return S_FALSE;
        HRESULT hr = readAt(h, sizeof h, 0);
        if (FAILED(hr)) return hr;
        if (std::memcmp(h, kMagic, sizeof kMagic) != 0) return S_FALSE;
        if (get32(h + 8) != kVersion) return STG_E_INVALIDHEADER;
        m_header.flags = get32(h + 12);
        m_header.directory = Region{get64(h + 16), get64(h + 24)};
        m_header.count = get32(h + 32);
        CLSID& c = m_header.clsid;
        c.Data1 = get32(h + 40);
        c.Data2 = static_cast<std::uint16_t>(h[44] | (h[45] << 8));
        c.Data3 = static_cast<std::uint16_t>(h[46] | (h[47] << 8));
        std::memcpy(c.Data4.data(), h + 48, 8);
        return S_OK;
    }

    bool markedDeleteOnRelease() const { return m_header.flags & kFlagDeleteOnRelease; }

    // Reads and checks the directory after readHeader.
    HRESULT loadDirectory() {
        const Region& dir = m_header.directory;
        if (dir.offset < kHeaderSize || dir.capacity > kMaxEntries || m_header.count > dir.capacity ||
            dir.offset > detail::kMaxStreamSize)
            return STG_E_DOCFILECORRUPT;
        std::vector<unsigned char> slots(m_header.count * kSlotSize);
        HRESULT hr = readAt(slots.data(), slots.size(), dir.offset);
        if (FAILED(hr)) return hr;
        m_entries.clear();
        for (std::uint32_t i = 0; i < m_header.count; ++i) {
            const unsigned char* s = slots.data() + i * kSlotSize;
            auto entry = std::make_shared<Entry>();
            for (std::size_t u = 0; u < kNameUnits; ++u) {
                char16_t ch = static_cast<char16_t>(s[2 * u] | (s[2 * u + 1] << 8));
                if (!ch) break;
                entry->name.push_back(ch);
            }
            entry->region = Region{get64(s + 64), get64(s + 72)};
            entry->size = get64(s + 80);
            entry->slot = i;
            if (!validName(entry->name) || find(entry->name) || entry->size > entry->region.capacity ||
                entry->region.capacity > detail::kMaxStreamSize || entry->region.offset > detail::kMaxStreamSize ||
                (entry->region.capacity && entry->region.offset < kHeaderSize))
                return STG_E_DOCFILECORRUPT;
            if (!entry->region.capacity) entry->region.offset = 0;
            m_entries.push_back(std::move(entry));
        }
        std::vector<Region> used = regions();
        for (std::size_t i = 1; i < used.size(); ++i)
            if (used[i - 1].end() > used[i].offset) return STG_E_DOCFILECORRUPT;
        return S_OK;
    }

    std::shared_ptr<Entry> find(std::u16string_view name) const {
        for (const auto& e : m_entries)
            if (sameName(e->name, name)) return e;
        return nullptr;
    }

    HRESULT addEntry(std::u16string_view name, std::shared_ptr<Entry>* out) {
        if (m_entries.size() >= kMaxEntries) return STG_E_MEDIUMFULL;
        auto entry = std::make_shared<Entry>();
        entry->name = name;
        entry->slot = m_entries.size();
        m_entries.reserve(m_entries.size() + 1);
        Region& dir = m_header.directory;
        if (entry->slot >= dir.capacity) {
            Region grown;
            HRESULT hr = growRegion(Region{dir.offset, dir.capacity * kSlotSize}, entry->slot * kSlotSize,
                                    (entry->slot + 1) * kSlotSize, kInitialDirectorySlots * kSlotSize, &grown);
            if (FAILED(hr)) return hr;
            const Region old = dir;
            dir = Region{grown.offset, grown.capacity / kSlotSize};
            if (FAILED(hr = writeHeader())) { dir = old; return hr; }
        }
        HRESULT hr = writeSlot(*entry);
        if (FAILED(hr)) return hr;
        ++m_header.count;
        if (FAILED(hr = writeHeader())) { --m_header.count; return hr; }
        m_entries.push_back(entry);
        *out = std::move(entry);
        return S_OK;
    }

    // Removes an entry: the last slot moves into its place.
    HRESULT removeEntry(const Entry& entry) {
        const std::size_t slot = entry.slot;
        std::shared_ptr<Entry> last = m_entries.back();
        if (last.get() != &entry) {
            const std::size_t lastSlot = last->slot;
            last->slot = slot;
            HRESULT hr = writeSlot(*last);
            if (FAILED(hr)) { last->slot = lastSlot; return hr; }
        }
        --m_header.count;
        HRESULT hr = writeHeader();
        m_entries[slot] = last;
        m_entries.pop_back();
        return hr;
    }

    HRESULT rename(Entry& entry, std::u16string_view name) {
        std::u16string old = std::exchange(entry.name, std::u16string(name));
        HRESULT hr = writeSlot(entry);
        if (FAILED(hr)) entry.name = std::move(old);
        return hr;
    }

    HRESULT setClass(const CLSID& clsid) {
        const CLSID old = std::exchange(m_header.clsid, clsid);
        HRESULT hr = writeHeader();
        if (FAILED(hr)) m_header.clsid = old;
        return hr;
    }

    HRESULT read(const Entry& entry, std::uint64_t position, void* pv, ULONG cb, ULONG* got) {
        ULONG n = position < entry.size ? static_cast<ULONG>(std::min<std::uint64_t>(cb, entry.size - position)) : 0;
        HRESULT hr = readAt(pv, n, entry.region.offset + position);
        *got = SUCCEEDED(hr) ? n : 0;
        return hr;
    }

    HRESULT write(Entry& entry, std::uint64_t position, const void* pv, ULONG cb) {
        const std::uint64_t end = position + cb;
        if (end > detail::kMaxStreamSize) return STG_E_MEDIUMFULL;
        HRESULT hr = reserve(entry, end);
        if (SUCCEEDED(hr) && position > entry.size) hr = zero(entry.region.offset + entry.size, position - entry.size);
        if (SUCCEEDED(hr)) hr = writeAt(pv, cb, entry.region.offset + position);
        if (SUCCEEDED(hr) && end > entry.size) hr = setSizeField(entry, end);
        return hr;
    }

    HRESULT resize(Entry& entry, std::uint64_t size) {
        if (size > detail::kMaxStreamSize) return STG_E_MEDIUMFULL;
        if (size > entry.size) {
            HRESULT hr = reserve(entry, size);
            if (SUCCEEDED(hr)) hr = zero(entry.region.offset + entry.size, size - entry.size);
            if (FAILED(hr)) return hr;
        }
        return setSizeField(entry, size);
    }

    void statTimes(STATSTG* stat) const {
        struct stat st;
        if (fstat(m_fd, &st) != 0) return;
        stat->mtime = toFileTime(st.st_mtim);
        stat->atime = toFileTime(st.st_atim);
        stat->ctime = toFileTime(st.st_ctim);
    }

private:
    void close() {
        if (m_fd >= 0) {
            if (m_deleteOnRelease) {
                // Removed while still locked, so nobody opens it in between.
                if (stillAtPath()) unlinkat(m_dirFd, m_baseName.c_str(), 0);
            } else if (m_writable) {
                trim();
            }
            dropFd();
        }
        if (m_dirFd >= 0) ::close(m_dirFd);
        m_dirFd = -1;
    }

    // Gives the slack of every region back and cuts the file after the last.
    void trim() {
        for (auto& e : m_entries) {
            if (e->region.capacity == e->size) continue;
            const Region old = e->region;
            e->region.capacity = e->size;
            if (!e->size) e->region.offset = 0;
            if (FAILED(writeSlot(*e))) e->region = old;
        }
        std::uint64_t end = kHeaderSize;
        for (const Region& r : regions()) end = std::max(end, r.end());
        if (end < m_physicalSize && ftruncate(m_fd, static_cast<off_t>(end)) == 0) m_physicalSize = end;
    }

    // Every region in use (the directory's in bytes), sorted by offset.
    std::vector<Region> regions() const {
        std::vector<Region> out;
        out.reserve(m_entries.size() + 1);
        const Region& dir = m_header.directory;
        if (dir.capacity) out.push_back(Region{dir.offset, dir.capacity * kSlotSize});
        for (const auto& e : m_entries)
            if (e->region.capacity) out.push_back(e->region);
        std::sort(out.begin(), out.end(), [](const Region& a, const Region& b) { return a.offset < b.offset; });
        return out;
    }

    // First gap of at least size bytes after the header, else the end.
    std::uint64_t allocate(std::uint64_t size) const {
        std::uint64_t cursor = kHeaderSize;
        for (const Region& r : regions()) {
            if (r.offset >= cursor && r.offset - cursor >= size) return cursor;
            cursor = std::max(cursor, r.end());
        }
        return cursor;
    }

    // A region of at least needed bytes holding the first used bytes of
    // current: current grown in place when the space after it is free, else a
    // new place with the content copied over. Metadata is the caller's.
    HRESULT growRegion(const Region& current, std::uint64_t used, std::uint64_t needed, std::uint64_t minimum, Region* grown) {
        const std::uint64_t wanted = std::max({needed, current.capacity * 2, minimum});
        if (current.capacity) {
            std::uint64_t next = UINT64_MAX;
            for (const Region& r : regions())
                if (r.offset >= current.end()) next = std::min(next, r.offset);
            if (current.offset + needed <= next) {
                *grown = Region{current.offset, std::min(wanted, next - current.offset)};
                return S_OK;
            }
        }
        const Region target{allocate(wanted), wanted};
        if (target.end() > 2 * detail::kMaxStreamSize) return STG_E_MEDIUMFULL;
        std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(used, 1 << 20)));
        for (std::uint64_t done = 0; done < used;) {
            std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(used - done, buffer.size()));
            HRESULT hr = readAt(buffer.data(), n, current.offset + done);
            if (SUCCEEDED(hr)) hr = writeAt(buffer.data(), n, target.offset + done);
            if (FAILED(hr)) return hr;
            done += n;
        }
        *grown = target;
        return S_OK;
    }

    HRESULT reserve(Entry& entry, std::uint64_t needed) {
        if (needed <= entry.region.capacity) return S_OK;
        Region grown;
        HRESULT hr = growRegion(entry.region, entry.size, needed, kMinStreamRegion, &grown);
        if (FAILED(hr)) return hr;
        const Region old = std::exchange(entry.region, grown);
        if (FAILED(hr = writeSlot(entry))) entry.region = old;
        return hr;
    }

    HRESULT setSizeField(Entry& entry, std::uint64_t size) {
        const std::uint64_t old = std::exchange(entry.size, size);
        HRESULT hr = writeSlot(entry);
        if (FAILED(hr)) entry.size = old;
        return hr;
    }

    HRESULT writeHeader() {
        unsigned char h[kHeaderSize] = {};
        std::memcpy(h, kMagic, sizeof kMagic);
        put32(h + 8, kVersion);
        put32(h + 12, m_header.flags);
        put64(h + 16, m_header.directory.offset);
        put64(h + 24, m_header.directory.capacity);
        put32(h + 32, m_header.count);
        const CLSID& c = m_header.clsid;
        put32(h + 40, c.Data1);
        h[44] = static_cast<unsigned char>(c.Data2), h[45] = static_cast<unsigned char>(c.Data2 >> 8);
        h[46] = static_cast<unsigned char>(c.Data3), h[47] = static_cast<unsigned char>(c.Data3 >> 8);
        std::memcpy(h + 48, c.Data4.data(), 8);
        return writeAt(h, sizeof h, 0);
    }

    HRESULT writeSlot(const Entry& e) {
        unsigned char s[kSlotSize] = {};
        for (std::size_t u = 0; u < e.name.size(); ++u) {
            s[2 * u] = static_cast<unsigned char>(e.name[u]);
            s[2 * u + 1] = static_cast<unsigned char>(e.name[u] >> 8);
        }
        put64(s + 64, e.region.offset);
        put64(s + 72, e.region.capacity);
        put64(s + 80, e.size);
        return writeAt(s, sizeof s, m_header.directory.offset + e.slot * kSlotSize);
    }

    HRESULT writeAt(const void* data, std::size_t size, std::uint64_t offset) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (std::size_t done = 0; done < size;) {
            ssize_t n = pwrite(m_fd, p + done, size - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return writeError(n < 0 ? errno : ENOSPC);
            done += static_cast<std::size_t>(n);
        }
        m_physicalSize = std::max(m_physicalSize, offset + size);
        return S_OK;
    }

    // Reads exactly size bytes; what lies past the end of the file is zero.
    HRESULT readAt(void* data, std::size_t size, std::uint64_t offset) const {
        auto* p = static_cast<unsigned char*>(data);
        std::size_t done = 0;
        while (done < size) {
            ssize_t n = pread(m_fd, p + done, size - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return STG_E_READFAULT;
            if (n == 0) break;
            done += static_cast<std::size_t>(n);
        }
        std::memset(p + done, 0, size - done);
        return S_OK;
    }

    // Zeros a range; only the part inside the file needs writing.
    HRESULT zero(std::uint64_t offset, std::uint64_t size) {
        if (offset >= m_physicalSize) return S_OK;
        std::uint64_t end = std::min(offset + size, m_physicalSize);
        static const unsigned char zeros[64 * 1024] = {};
        for (std::uint64_t at = offset; at < end;) {
            std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(end - at, sizeof zeros));
            HRESULT hr = writeAt(zeros, n, at);
            if (FAILED(hr)) return hr;
            at += n;
        }
        return S_OK;
    }

    int m_fd = -1;
    int m_dirFd = -1;
    std::string m_baseName;
    bool m_deleteOnRelease = false;
    bool m_writable = false;
    std::uint64_t m_physicalSize = 0;
    Header m_header;
    std::vector<std::shared_ptr<Entry>> m_entries;
};

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
    fs::path path = fs::absolute(fs::path(encodeUtf8(name)));
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
    fs::path folder = fs::temp_directory_path();
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
