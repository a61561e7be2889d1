// The layout of storage files and the file operations under their objects.
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
#include "runtime/storage_file.h"

#include "runtime/stream_support.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrt::stg {

namespace {

constexpr char kMagic[8] = {'Q', 'S', 'T', 'O', 'R', 'E', '\r', '\n'};
constexpr std::uint32_t kVersion = 1;
constexpr std::uint64_t kHeaderSize = 64;
constexpr std::uint64_t kSlotSize = 96;
constexpr std::size_t kNameUnits = kMaxNameLength + 1;
constexpr std::uint64_t kMaxEntries = 1u << 16;
constexpr std::uint64_t kMinStreamRegion = 4096;
constexpr std::uint64_t kInitialDirectorySlots = 4;

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

char16_t foldCase(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

FILETIME toFileTime(const timespec& t) {
    constexpr std::int64_t kEpochDifference = 11644473600;  // seconds from 1601 to 1970
    std::uint64_t ticks = static_cast<std::uint64_t>(t.tv_sec + kEpochDifference) * 10000000u + static_cast<std::uint64_t>(t.tv_nsec / 100);
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

HRESULT writeError(int err) {
    if (err == ENOSPC || err == EDQUOT || err == EFBIG) return STG_E_MEDIUMFULL;
    return STG_E_WRITEFAULT;
}

}  // namespace

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

void StorageFile::dropFd() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

bool StorageFile::stillAtPath() const {
    struct stat mine, there;
    if (fstat(m_fd, &mine) != 0 || fstatat(m_dirFd, m_baseName.c_str(), &there, 0) != 0) return false;
    return mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
}

HRESULT StorageFile::initialise(bool deleteOnRelease) {
    if (ftruncate(m_fd, 0) != 0) return writeError(errno);
    m_physicalSize = 0;
    m_entries.clear();
    m_header = Header{};
    m_header.flags = deleteOnRelease ? kFlagDeleteOnRelease : 0;
    m_header.directory = Region{kHeaderSize, kInitialDirectorySlots};
    return writeHeader();
}

HRESULT StorageFile::readHeader() {
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

HRESULT StorageFile::loadDirectory() {
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

std::shared_ptr<Entry> StorageFile::find(std::u16string_view name) const {
    for (const auto& e : m_entries)
        if (sameName(e->name, name)) return e;
    return nullptr;
}

HRESULT StorageFile::addEntry(std::u16string_view name, std::shared_ptr<Entry>* out) {
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

HRESULT StorageFile::removeEntry(const Entry& entry) {
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

HRESULT StorageFile::rename(Entry& entry, std::u16string_view name) {
    std::u16string old = std::exchange(entry.name, std::u16string(name));
    HRESULT hr = writeSlot(entry);
    if (FAILED(hr)) entry.name = std::move(old);
    return hr;
}

HRESULT StorageFile::setClass(const CLSID& clsid) {
    const CLSID old = std::exchange(m_header.clsid, clsid);
    HRESULT hr = writeHeader();
    if (FAILED(hr)) m_header.clsid = old;
    return hr;
}

HRESULT StorageFile::read(const Entry& entry, std::uint64_t position, void* pv, ULONG cb, ULONG* got) {
    ULONG n = position < entry.size ? static_cast<ULONG>(std::min<std::uint64_t>(cb, entry.size - position)) : 0;
    HRESULT hr = readAt(pv, n, entry.region.offset + position);
    *got = SUCCEEDED(hr) ? n : 0;
    return hr;
}

HRESULT StorageFile::write(Entry& entry, std::uint64_t position, const void* pv, ULONG cb) {
    const std::uint64_t end = position + cb;
    if (end > detail::kMaxStreamSize) return STG_E_MEDIUMFULL;
    HRESULT hr = reserve(entry, end);
    if (SUCCEEDED(hr) && position > entry.size) hr = zero(entry.region.offset + entry.size, position - entry.size);
    if (SUCCEEDED(hr)) hr = writeAt(pv, cb, entry.region.offset + position);
    if (SUCCEEDED(hr) && end > entry.size) hr = setSizeField(entry, end);
    return hr;
}

HRESULT StorageFile::resize(Entry& entry, std::uint64_t size) {
    if (size > detail::kMaxStreamSize) return STG_E_MEDIUMFULL;
    if (size > entry.size) {
        HRESULT hr = reserve(entry, size);
        if (SUCCEEDED(hr)) hr = zero(entry.region.offset + entry.size, size - entry.size);
        if (FAILED(hr)) return hr;
    }
    return setSizeField(entry, size);
}

void StorageFile::statTimes(STATSTG* stat) const {
    struct stat st;
    if (fstat(m_fd, &st) != 0) return;
    stat->mtime = toFileTime(st.st_mtim);
    stat->atime = toFileTime(st.st_atim);
    stat->ctime = toFileTime(st.st_ctim);
}

void StorageFile::close() {
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

void StorageFile::trim() {
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

std::vector<Region> StorageFile::regions() const {
    std::vector<Region> out;
    out.reserve(m_entries.size() + 1);
    const Region& dir = m_header.directory;
    if (dir.capacity) out.push_back(Region{dir.offset, dir.capacity * kSlotSize});
    for (const auto& e : m_entries)
        if (e->region.capacity) out.push_back(e->region);
    std::sort(out.begin(), out.end(), [](const Region& a, const Region& b) { return a.offset < b.offset; });
    return out;
}

std::uint64_t StorageFile::allocate(std::uint64_t size) const {
    std::uint64_t cursor = kHeaderSize;
    for (const Region& r : regions()) {
        if (r.offset >= cursor && r.offset - cursor >= size) return cursor;
        cursor = std::max(cursor, r.end());
    }
    return cursor;
}

HRESULT StorageFile::growRegion(const Region& current, std::uint64_t used, std::uint64_t needed, std::uint64_t minimum, Region* grown) {
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
    // Never a region that reading the file back would call damage.
    if (target.offset > detail::kMaxStreamSize || target.capacity > detail::kMaxStreamSize) return STG_E_MEDIUMFULL;
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

HRESULT StorageFile::reserve(Entry& entry, std::uint64_t needed) {
    if (needed <= entry.region.capacity) return S_OK;
    Region grown;
    HRESULT hr = growRegion(entry.region, entry.size, needed, kMinStreamRegion, &grown);
    if (FAILED(hr)) return hr;
    const Region old = std::exchange(entry.region, grown);
    if (FAILED(hr = writeSlot(entry))) entry.region = old;
    return hr;
}

HRESULT StorageFile::setSizeField(Entry& entry, std::uint64_t size) {
    const std::uint64_t old = std::exchange(entry.size, size);
    HRESULT hr = writeSlot(entry);
    if (FAILED(hr)) entry.size = old;
    return hr;
}

HRESULT StorageFile::writeHeader() {
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

HRESULT StorageFile::writeSlot(const Entry& e) {
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

HRESULT StorageFile::writeAt(const void* data, std::size_t size, std::uint64_t offset) {
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

HRESULT StorageFile::readAt(void* data, std::size_t size, std::uint64_t offset) const {
    // Nothing to read may come without a buffer (an empty directory, a read
    // at the end of a stream).
    if (size == 0) return S_OK;
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

HRESULT StorageFile::zero(std::uint64_t offset, std::uint64_t size) {
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

}  // namespace qrt::stg
