// The file behind a storage object: its layout on disk and the operations
// on its streams. Internal to the runtime (compound_file.cpp builds the
// storage and stream objects on it).
#pragma once

#include "runtime/storage.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace qrt::stg {

constexpr std::uint32_t kFlagDeleteOnRelease = 1;
constexpr std::size_t kMaxNameLength = 31;

// Element names compare without regard to the case of ASCII letters.
bool sameName(std::u16string_view a, std::u16string_view b);
// 1 to 31 characters, none of them "\\", "/", ":" or "!".
bool validName(std::u16string_view name);

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
// it; streams reach it through their storage. It keeps the descriptor (which
// carries the sharing lock) and the folder the file was found in, so that
// delete-on-release removes the right file whatever the current folder is by
// then.
class StorageFile {
public:
    StorageFile(int dirFd, std::string baseName) : m_dirFd(dirFd), m_baseName(std::move(baseName)) {}
    StorageFile(const StorageFile&) = delete;
    StorageFile& operator=(const StorageFile&) = delete;
    ~StorageFile() { close(); }

    std::mutex mutex;

    void adoptFd(int fd) { m_fd = fd; }
    // Lets go of the file without touching it (the folder stays open).
    void dropFd();
    void setDeleteOnRelease(bool on) { m_deleteOnRelease = on; }
    void setWritable(bool on) { m_writable = on; }
    const CLSID& clsid() const { return m_header.clsid; }

    // True when the path still names the file we hold (it may have been
    // removed or replaced between opening and locking).
    bool stillAtPath() const;

    // Empties the file and writes a fresh header with an empty directory.
    HRESULT initialise(bool deleteOnRelease);

    // Reads the header: S_FALSE when the file is not one of ours.
    HRESULT readHeader();

    bool markedDeleteOnRelease() const { return m_header.flags & kFlagDeleteOnRelease; }

    // Reads and checks the directory after readHeader.
    HRESULT loadDirectory();

    // The element of that name, compared as sameName does, or null.
    std::shared_ptr<Entry> find(std::u16string_view name) const;
    // Adds an empty element (the name already checked and free).
    HRESULT addEntry(std::u16string_view name, std::shared_ptr<Entry>* out);
    // Removes an entry: the last slot moves into its place.
    HRESULT removeEntry(const Entry& entry);
    HRESULT rename(Entry& entry, std::u16string_view name);
    HRESULT setClass(const CLSID& clsid);

    // Stream content. Each call leaves the file reflecting it when it returns.
    HRESULT read(const Entry& entry, std::uint64_t position, void* pv, ULONG cb, ULONG* got);
    HRESULT write(Entry& entry, std::uint64_t position, const void* pv, ULONG cb);
    HRESULT resize(Entry& entry, std::uint64_t size);

    // The file's times into a STATSTG (left as they are if unavailable).
    void statTimes(STATSTG* stat) const;

private:
    void close();

    // Gives the slack of every region back and cuts the file after the last.
    void trim();

    // Every region in use (the directory's in bytes), sorted by offset.
    std::vector<Region> regions() const;

    // First gap of at least size bytes after the header, else the end.
    std::uint64_t allocate(std::uint64_t size) const;

    // A region of at least needed bytes holding the first used bytes of
    // current: current grown in place when the space after it is free, else a
    // new place with the content copied over. Metadata is the caller's.
    HRESULT growRegion(const Region& current, std::uint64_t used, std::uint64_t needed, std::uint64_t minimum, Region* grown);

    // Makes the entry's region hold at least needed bytes.
    HRESULT reserve(Entry& entry, std::uint64_t needed);
    HRESULT setSizeField(Entry& entry, std::uint64_t size);
    HRESULT writeHeader();
    HRESULT writeSlot(const Entry& e);
    HRESULT writeAt(const void* data, std::size_t size, std::uint64_t offset);

    // Reads exactly size bytes; what lies past the end of the file is zero.
    HRESULT readAt(void* data, std::size_t size, std::uint64_t offset) const;

    // Zeros a range; only the part inside the file needs writing.
    HRESULT zero(std::uint64_t offset, std::uint64_t size);

    int m_fd = -1;
    int m_dirFd = -1;
    std::string m_baseName;
    bool m_deleteOnRelease = false;
    bool m_writable = false;
    std::uint64_t m_physicalSize = 0;
    Header m_header;
    std::vector<std::shared_ptr<Entry>> m_entries;
};

}  // namespace qrt::stg
