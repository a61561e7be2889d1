// Streams and structured storage: the stream and storage interfaces, a
// growable stream in memory, and storage files on disk.
//
// A storage file holds named streams in its root (no nested storages). It
// works in direct mode only: every completed Write or SetSize is on disk when
// the call returns, Commit has nothing left to do and Revert nothing to undo.
// The file layout is our own (see compound_file.cpp); nothing else reads it.
//
// Sharing is enforced with an advisory lock on the file itself, so it holds
// between processes and disappears with a process that dies:
//   - opened for writing: STGM_SHARE_EXCLUSIVE is required (else
//     STG_E_INVALIDFLAG) and an exclusive lock is taken;
//   - opened read-only: STGM_SHARE_DENY_WRITE or STGM_SHARE_DENY_NONE take a
//     shared lock (readers coexist, a writer is refused; our readers never
//     see a file change under them), STGM_SHARE_EXCLUSIVE and
//     STGM_SHARE_DENY_READ an exclusive one.
// An open that meets a conflicting lock fails with STG_E_SHAREVIOLATION.
//
// STGM_DELETEONRELEASE removes the file when the last reference to the
// storage (streams hold one) goes. A process killed before that leaves the
// file behind, marked in its header; such a leftover with no live owner
// counts as absent: StgOpenStorage removes it and answers
// STG_E_FILENOTFOUND, StgCreateDocfile replaces it even without STGM_CREATE,
// and creating a temporary storage (null name) clears our own leftovers from
// the temporary folder.
//
// Not supported, answering STG_E_INVALIDFUNCTION: nested storages
// (CreateStorage, OpenStorage), IStorage::CopyTo, MoveElementTo,
// EnumElements, SetElementTimes, SetStateBits, priority opens, and byte
// range locks (LockRegion, UnlockRegion) on every stream.
// STGM_TRANSACTED is refused with STG_E_INVALIDFLAG.
#pragma once

#include "runtime/guid.h"
#include "runtime/unknown.h"

#include <cstddef>
#include <string>

struct LARGE_INTEGER {
    LONGLONG QuadPart = 0;
};
struct ULARGE_INTEGER {
    ULONGLONG QuadPart = 0;
};

// 100-nanosecond intervals since 1601-01-01 (UTC).
struct FILETIME {
    DWORD dwLowDateTime = 0;
    DWORD dwHighDateTime = 0;
};

using SNB = OLECHAR**;

// Access, sharing and creation flags of storages and streams.
constexpr DWORD STGM_DIRECT = 0x00000000;
constexpr DWORD STGM_TRANSACTED = 0x00010000;
constexpr DWORD STGM_SIMPLE = 0x08000000;
constexpr DWORD STGM_READ = 0x00000000;
constexpr DWORD STGM_WRITE = 0x00000001;
constexpr DWORD STGM_READWRITE = 0x00000002;
constexpr DWORD STGM_SHARE_DENY_NONE = 0x00000040;
constexpr DWORD STGM_SHARE_DENY_READ = 0x00000030;
constexpr DWORD STGM_SHARE_DENY_WRITE = 0x00000020;
constexpr DWORD STGM_SHARE_EXCLUSIVE = 0x00000010;
constexpr DWORD STGM_PRIORITY = 0x00040000;
constexpr DWORD STGM_DELETEONRELEASE = 0x04000000;
constexpr DWORD STGM_NOSCRATCH = 0x00100000;
constexpr DWORD STGM_CREATE = 0x00001000;
constexpr DWORD STGM_CONVERT = 0x00020000;
constexpr DWORD STGM_FAILIFTHERE = 0x00000000;
constexpr DWORD STGM_NOSNAPSHOT = 0x00200000;
constexpr DWORD STGM_DIRECT_SWMR = 0x00400000;

constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;

constexpr DWORD STATFLAG_DEFAULT = 0;
constexpr DWORD STATFLAG_NONAME = 1;

constexpr DWORD STGTY_STORAGE = 1;
constexpr DWORD STGTY_STREAM = 2;

constexpr DWORD STGC_DEFAULT = 0;
constexpr DWORD STGC_OVERWRITE = 1;
constexpr DWORD STGC_ONLYIFCURRENT = 2;
constexpr DWORD STGC_DANGEROUSLYCOMMITMERELYTODISKCACHE = 4;

constexpr DWORD LOCK_WRITE = 1;
constexpr DWORD LOCK_EXCLUSIVE = 2;
constexpr DWORD LOCK_ONLYONCE = 4;

// The file is not a storage file of ours though it starts like one.
constexpr HRESULT STG_E_DOCFILECORRUPT = makeHresult(0x80030109);

// What Stat reports. pwcsName is allocated with CoTaskMemAlloc (the caller
// frees it) unless STATFLAG_NONAME was asked for; then it is null.
struct STATSTG {
    LPOLESTR pwcsName = nullptr;
    DWORD type = 0;
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode = 0;
    DWORD grfLocksSupported = 0;
    CLSID clsid;
    DWORD grfStateBits = 0;
    DWORD reserved = 0;
};

struct ISequentialStream : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{0C733A30-2A1C-11CE-ADE5-00AA0044773D}");
    using Base = IUnknown;
    virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    virtual HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;

protected:
    ~ISequentialStream() = default;
};

struct IStream : ISequentialStream {
    static constexpr ::IID IID = qrt::makeGuid("{0000000C-0000-0000-C000-000000000046}");
    using Base = ISequentialStream;
    virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) = 0;
    virtual HRESULT SetSize(ULARGE_INTEGER newSize) = 0;
    virtual HRESULT CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD lockType) = 0;
    virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD lockType) = 0;
    virtual HRESULT Stat(STATSTG* stat, DWORD flag) = 0;
    virtual HRESULT Clone(IStream** out) = 0;

protected:
    ~IStream() = default;
};

struct IEnumSTATSTG : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{0000000D-0000-0000-C000-000000000046}");
    using Base = IUnknown;
    virtual HRESULT Next(ULONG celt, STATSTG* elements, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG celt) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumSTATSTG** out) = 0;

protected:
    ~IEnumSTATSTG() = default;
};

struct IStorage : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{0000000B-0000-0000-C000-000000000046}");
    using Base = IUnknown;
    virtual HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2, IStream** out) = 0;
    virtual HRESULT OpenStream(const OLECHAR* name, void* reserved1, DWORD mode, DWORD reserved2, IStream** out) = 0;
    virtual HRESULT CreateStorage(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2, IStorage** out) = 0;
    virtual HRESULT OpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode, SNB exclude, DWORD reserved, IStorage** out) = 0;
    virtual HRESULT CopyTo(DWORD excludeCount, const ::IID* excludeIids, SNB excludeNames, IStorage* target) = 0;
    virtual HRESULT MoveElementTo(const OLECHAR* name, IStorage* target, const OLECHAR* newName, DWORD flags) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3, IEnumSTATSTG** out) = 0;
    virtual HRESULT DestroyElement(const OLECHAR* name) = 0;
    virtual HRESULT RenameElement(const OLECHAR* oldName, const OLECHAR* newName) = 0;
    virtual HRESULT SetElementTimes(const OLECHAR* name, const FILETIME* created, const FILETIME* accessed, const FILETIME* modified) = 0;
    virtual HRESULT SetClass(REFCLSID clsid) = 0;
    virtual HRESULT SetStateBits(DWORD bits, DWORD mask) = 0;
    virtual HRESULT Stat(STATSTG* stat, DWORD flag) = 0;

protected:
    ~IStorage() = default;
};

#define IID_ISequentialStream (ISequentialStream::IID)
#define IID_IStream (IStream::IID)
#define IID_IStorage (IStorage::IID)
#define IID_IEnumSTATSTG (IEnumSTATSTG::IID)

// Creates a storage file. name is a path (relative to the current folder);
// a null name makes a file with a unique name in the temporary folder.
// Without STGM_CREATE an existing file is refused (STG_E_FILEALREADYEXISTS,
// held open or not); with it the file is replaced unless someone holds it
// open (STG_E_SHAREVIOLATION). The mode must grant write access.
HRESULT StgCreateDocfile(const OLECHAR* name, DWORD mode, DWORD reserved, IStorage** out);
// Opens an existing storage file. priority and exclude must be null; a
// file that is not one of ours answers STG_E_FILEALREADYEXISTS.
HRESULT StgOpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode, SNB exclude, DWORD reserved, IStorage** out);

namespace qrt {

// A stream in memory that grows as it is written, starting empty or with a
// copy of the given bytes, its seek pointer at 0.
HRESULT createMemoryStream(IStream** out);
HRESULT createMemoryStream(const void* data, std::size_t size, IStream** out);
// The whole content of a stream made by createMemoryStream (or a clone of
// one), whatever its seek pointer. Other streams: E_INVALIDARG.
HRESULT memoryStreamBytes(IStream* stream, std::string* bytes);

}  // namespace qrt
