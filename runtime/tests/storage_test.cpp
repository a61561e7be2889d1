// Storage files and memory streams: round trips through the disk, names and
// modes, sharing between processes, delete-on-release (also after a crash),
// large content, and the stream operations.
#include "runtime/object.h"
#include "runtime/storage.h"
#include "runtime/testing/test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using qrt::ComPtr;
namespace fs = std::filesystem;

constexpr DWORD kCreate = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kStreamRW = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kStreamRead = STGM_READ | STGM_SHARE_EXCLUSIVE;

// Runs a test inside a fresh temporary folder made current, restoring the
// previous current folder afterwards.
class InTempDir {
public:
    InTempDir() : m_dir(qtest::makeTempDir("storage")) {
        char buffer[PATH_MAX];
        m_previous = getcwd(buffer, sizeof buffer) ? buffer : "/";
        EXPECT_EQ(chdir(m_dir.c_str()), 0);
    }
    ~InTempDir() {
        EXPECT_EQ(chdir(m_previous.c_str()), 0);
        qtest::removeTree(m_dir);
    }
    const std::string& path() const { return m_dir; }

private:
    std::string m_dir;
    std::string m_previous;
};

std::string pattern(std::size_t size, unsigned seed) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 12)) & 0xFF);
    return s;
}

HRESULT writeAll(IStream* stream, const std::string& bytes) {
    ULONG written = 0;
    HRESULT hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    EXPECT_EQ(written, SUCCEEDED(hr) ? bytes.size() : 0u);
    return hr;
}

// Everything from the current seek pointer to the end.
std::string readRest(IStream* stream) {
    std::string out;
    char buffer[5000];
    ULONG got = 0;
    while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &got)) && got) out.append(buffer, got);
    return out;
}

std::string readAll(IStream* stream) {
    EXPECT_EQ(stream->Seek(LARGE_INTEGER{0}, STREAM_SEEK_SET, nullptr), S_OK);
    return readRest(stream);
}

ULONGLONG streamSize(IStream* stream) {
    STATSTG st;
    EXPECT_EQ(stream->Stat(&st, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(st.pwcsName, nullptr);
    return st.cbSize.QuadPart;
}

// Runs body in a forked child and returns its exit status (-1 if it did not
// exit normally). The child leaves with _exit, running no destructors, so
// the parent's objects it inherited are left alone.
int inChild(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// 0 when the call returned the expected status, 1 otherwise (for children).
int expect(HRESULT got, HRESULT wanted) { return got == wanted ? 0 : 1; }

TEST(StorageFile, RoundTripThroughReopen) {
    InTempDir dir;
    const long objects = qrt::liveObjectCount();
    const std::string picture = pattern(300000, 1), notes = "graph notes";
    constexpr CLSID kClass = qrt::makeGuid("{6F1C2B3A-0D4E-4F5A-9B8C-7D6E5F4A3B2C}");
    {
        ComPtr<IStorage> storage;
        ASSERT_EQ(StgCreateDocfile(u"doc.stg", kCreate, 0, storage.out()), S_OK);
        ComPtr<IStream> a, b;
        ASSERT_EQ(storage->CreateStream(u"Picture", kStreamRW, 0, 0, a.out()), S_OK);
        ASSERT_EQ(storage->CreateStream(u"Notes", kStreamRW, 0, 0, b.out()), S_OK);
        // Alternating writes make the two streams grow past each other.
        for (std::size_t at = 0; at < picture.size(); at += 10000) {
            ASSERT_EQ(writeAll(a.get(), picture.substr(at, 10000)), S_OK);
            if (at < notes.size()) {
                ASSERT_EQ(writeAll(b.get(), notes.substr(at, 10000)), S_OK);
            }
        }
        ASSERT_EQ(storage->CreateStream(u"Scratch", kStreamRW, 0, 0, ComPtr<IStream>().out()), S_OK);
        EXPECT_EQ(storage->SetClass(kClass), S_OK);
        EXPECT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
        STATSTG st;
        ASSERT_EQ(a->Stat(&st, STATFLAG_DEFAULT), S_OK);
        EXPECT_EQ(std::u16string(st.pwcsName), u"Picture");
        EXPECT_EQ(st.type, STGTY_STREAM);
        EXPECT_EQ(st.cbSize.QuadPart, picture.size());
        CoTaskMemFree(st.pwcsName);
        ASSERT_EQ(storage->Stat(&st, STATFLAG_DEFAULT), S_OK);
        EXPECT_EQ(fs::path(std::u16string(st.pwcsName)), fs::path(dir.path()) / "doc.stg");
        EXPECT_EQ(st.type, STGTY_STORAGE);
        EXPECT_EQ(st.clsid, kClass);
        CoTaskMemFree(st.pwcsName);
    }
    EXPECT_EQ(qrt::liveObjectCount(), objects);
    ASSERT_TRUE(fs::exists("doc.stg"));
    // Closing gives back the room reserved for growth.
    EXPECT_LT(fs::file_size("doc.stg"), picture.size() * 5 / 4);
    {
        ComPtr<IStorage> storage;
        ASSERT_EQ(StgOpenStorage(u"doc.stg", nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, storage.out()), S_OK);
        ComPtr<IStream> a, b, scratch;
        ASSERT_EQ(storage->OpenStream(u"PICTURE", nullptr, kStreamRead, 0, a.out()), S_OK);  // names ignore case
        ASSERT_EQ(storage->OpenStream(u"Notes", nullptr, kStreamRead, 0, b.out()), S_OK);
        ASSERT_EQ(storage->OpenStream(u"Scratch", nullptr, kStreamRead, 0, scratch.out()), S_OK);
        EXPECT_TRUE(readAll(a.get()) == picture);
        EXPECT_EQ(readAll(b.get()), notes);
        EXPECT_EQ(streamSize(scratch.get()), 0u);
        STATSTG st;
        ASSERT_EQ(storage->Stat(&st, STATFLAG_NONAME), S_OK);
        EXPECT_EQ(st.clsid, kClass);

        // Read-only all the way down.
        EXPECT_EQ(a->Write("x", 1, nullptr), STG_E_ACCESSDENIED);
        EXPECT_EQ(a->SetSize(ULARGE_INTEGER{0}), STG_E_ACCESSDENIED);
        EXPECT_EQ(storage->CreateStream(u"New", kStreamRW, 0, 0, ComPtr<IStream>().out()), STG_E_ACCESSDENIED);
        EXPECT_EQ(storage->DestroyElement(u"Notes"), STG_E_ACCESSDENIED);
        storage.reset();  // the streams keep it alive
        EXPECT_EQ(readAll(b.get()), notes);
    }
    {
        // Edits in read-write mode reach the file.
        ComPtr<IStorage> storage;
        ASSERT_EQ(StgOpenStorage(u"doc.stg", nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, storage.out()), S_OK);
        EXPECT_EQ(storage->DestroyElement(u"Picture"), S_OK);
        EXPECT_EQ(storage->RenameElement(u"Notes", u"Remarks"), S_OK);
        ComPtr<IStream> s;
        ASSERT_EQ(storage->OpenStream(u"Scratch", nullptr, kStreamRW, 0, s.out()), S_OK);
        ASSERT_EQ(writeAll(s.get(), "appended"), S_OK);
    }
    {
        ComPtr<IStorage> storage;
        ASSERT_EQ(StgOpenStorage(u"doc.stg", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, storage.out()), S_OK);
        ComPtr<IStream> s;
        EXPECT_EQ(storage->OpenStream(u"Picture", nullptr, kStreamRead, 0, s.out()), STG_E_FILENOTFOUND);
        EXPECT_EQ(storage->OpenStream(u"Notes", nullptr, kStreamRead, 0, s.out()), STG_E_FILENOTFOUND);
        ASSERT_EQ(storage->OpenStream(u"Remarks", nullptr, kStreamRead, 0, s.out()), S_OK);
        EXPECT_EQ(readAll(s.get()), notes);
        ASSERT_EQ(storage->OpenStream(u"Scratch", nullptr, kStreamRead, 0, s.out()), S_OK);
        EXPECT_EQ(readAll(s.get()), "appended");
    }
    EXPECT_EQ(qrt::liveObjectCount(), objects);
}

TEST(StorageFile, NamesModesAndExistingElements) {
    InTempDir dir;
    const long objects = qrt::liveObjectCount();
    {
        ComPtr<IStorage> storage;
        EXPECT_EQ(StgCreateDocfile(u"t.stg", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_TRANSACTED, 0, storage.out()), STG_E_INVALIDFLAG);
        EXPECT_EQ(StgCreateDocfile(u"t.stg", STGM_CREATE | STGM_READWRITE | STGM_SHARE_DENY_WRITE, 0, storage.out()), STG_E_INVALIDFLAG);
        EXPECT_EQ(StgCreateDocfile(u"t.stg", STGM_CREATE | STGM_READ | STGM_SHARE_EXCLUSIVE, 0, storage.out()), STG_E_INVALIDFLAG);
        EXPECT_EQ(StgCreateDocfile(u"missing/t.stg", kCreate, 0, storage.out()), STG_E_PATHNOTFOUND);
        EXPECT_FALSE(fs::exists("t.stg"));
        ASSERT_EQ(StgCreateDocfile(u"t.stg", kCreate, 0, storage.out()), S_OK);

        ComPtr<IStream> s;
        for (const char16_t* bad : {u"", u"a/b", u"a\\b", u"a:b", u"wow!", u"abcdefghijklmnopqrstuvwxyz012345"})
            EXPECT_EQ(storage->CreateStream(bad, kStreamRW, 0, 0, s.out()), STG_E_INVALIDNAME) << (bad[0] ? "named" : "empty");
        EXPECT_EQ(storage->CreateStream(nullptr, kStreamRW, 0, 0, s.out()), STG_E_INVALIDPOINTER);
        EXPECT_EQ(storage->CreateStream(u"ok", kStreamRW, 0, 0, nullptr), STG_E_INVALIDPOINTER);
        EXPECT_EQ(storage->CreateStream(u"ok", STGM_READWRITE, 0, 0, s.out()), STG_E_INVALIDFLAG);
        EXPECT_EQ(storage->CreateStream(u"ok", STGM_READWRITE | STGM_SHARE_DENY_NONE, 0, 0, s.out()), STG_E_INVALIDFLAG);
        EXPECT_EQ(storage->CreateStream(u"ok", kStreamRW | STGM_TRANSACTED, 0, 0, s.out()), STG_E_INVALIDFLAG);
        EXPECT_EQ(storage->OpenStream(u"ok", nullptr, kStreamRW, 0, s.out()), STG_E_FILENOTFOUND);
        EXPECT_EQ(s.get(), nullptr);

        ASSERT_EQ(storage->CreateStream(u"abcdefghijklmnopqrstuvwxyz01234", kStreamRW, 0, 0, s.out()), S_OK);  // 31
        ASSERT_EQ(writeAll(s.get(), "old content"), S_OK);
        // An open stream is exclusive: no second open, no replacing, no destroying.
        EXPECT_EQ(storage->OpenStream(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", nullptr, kStreamRW, 0, ComPtr<IStream>().out()), STG_E_ACCESSDENIED);
        EXPECT_EQ(storage->CreateStream(u"abcdefghijklmnopqrstuvwxyz01234", kStreamRW | STGM_CREATE, 0, 0, ComPtr<IStream>().out()), STG_E_ACCESSDENIED);
        EXPECT_EQ(storage->DestroyElement(u"abcdefghijklmnopqrstuvwxyz01234"), STG_E_ACCESSDENIED);
        s.reset();
        EXPECT_EQ(storage->CreateStream(u"abcdefghijklmnopqrstuvwxyz01234", kStreamRW, 0, 0, s.out()), STG_E_FILEALREADYEXISTS);
        ASSERT_EQ(storage->CreateStream(u"abcdefghijklmnopqrstuvwxyz01234", kStreamRW | STGM_CREATE, 0, 0, s.out()), S_OK);
        EXPECT_EQ(streamSize(s.get()), 0u);
        ASSERT_EQ(storage->CreateStream(u"other", kStreamRW, 0, 0, ComPtr<IStream>().out()), S_OK);
        EXPECT_EQ(storage->RenameElement(u"other", u"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"), STG_E_FILEALREADYEXISTS);
        EXPECT_EQ(storage->DestroyElement(u"nothing"), STG_E_FILENOTFOUND);

        // The file is held: other opens in this process are refused.
        EXPECT_EQ(StgOpenStorage(u"t.stg", nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, ComPtr<IStorage>().out()), STG_E_SHAREVIOLATION);
        EXPECT_EQ(StgCreateDocfile(u"t.stg", kCreate, 0, ComPtr<IStorage>().out()), STG_E_SHAREVIOLATION);
    }
    EXPECT_EQ(qrt::liveObjectCount(), objects);

    ComPtr<IStorage> storage;
    EXPECT_EQ(StgCreateDocfile(u"t.stg", STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, storage.out()), STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(StgOpenStorage(u"none.stg", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, storage.out()), STG_E_FILENOTFOUND);
    EXPECT_EQ(StgOpenStorage(u"t.stg", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE | STGM_CREATE, nullptr, 0, storage.out()), STG_E_INVALIDFLAG);
    EXPECT_EQ(StgOpenStorage(u"t.stg", nullptr, STGM_READWRITE | STGM_SHARE_DENY_NONE, nullptr, 0, storage.out()), STG_E_INVALIDFLAG);
    // Files that are not storages are left as they are.
    { std::FILE* f = std::fopen("plain.txt", "w"); std::fputs("just some text, long enough to hold a header, and then some more", f); std::fclose(f); }
    const auto plainSize = fs::file_size("plain.txt");
    EXPECT_EQ(StgOpenStorage(u"plain.txt", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, storage.out()), STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(StgCreateDocfile(u"plain.txt", STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, storage.out()), STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(fs::file_size("plain.txt"), plainSize);
    // A directory slot pointing outside the rules is caught, not trusted.
    {
        ASSERT_EQ(StgCreateDocfile(u"bad.stg", kCreate, 0, storage.out()), S_OK);
        ComPtr<IStream> s;
        ASSERT_EQ(storage->CreateStream(u"s", kStreamRW, 0, 0, s.out()), S_OK);
        ASSERT_EQ(writeAll(s.get(), "content"), S_OK);
        s.reset();
        storage.reset();
        std::FILE* f = std::fopen("bad.stg", "r+b");
        std::fseek(f, 64 + 80, SEEK_SET);  // the size of the first slot
        std::fputc(0x7F, f);
        std::fclose(f);
        EXPECT_EQ(StgOpenStorage(u"bad.stg", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, storage.out()), STG_E_DOCFILECORRUPT);
    }
    EXPECT_EQ(storage.get(), nullptr);
    EXPECT_EQ(qrt::liveObjectCount(), objects);
}

TEST(StorageFile, StreamSeekSizeCloneAndCopy) {
    InTempDir dir;
    const long objects = qrt::liveObjectCount();
    {
        ComPtr<IStorage> storage;
        ASSERT_EQ(StgCreateDocfile(u"s.stg", kCreate | STGM_DELETEONRELEASE, 0, storage.out()), S_OK);
        ComPtr<IStream> s, neighbour;
        ASSERT_EQ(storage->CreateStream(u"data", kStreamRW, 0, 0, s.out()), S_OK);
        ASSERT_EQ(storage->CreateStream(u"next", kStreamRW, 0, 0, neighbour.out()), S_OK);
        ASSERT_EQ(writeAll(s.get(), "0123456789"), S_OK);
        ASSERT_EQ(writeAll(neighbour.get(), "n"), S_OK);

        ULARGE_INTEGER pos;
        EXPECT_EQ(s->Seek(LARGE_INTEGER{-3}, STREAM_SEEK_END, &pos), S_OK);
        EXPECT_EQ(pos.QuadPart, 7u);
        EXPECT_EQ(s->Seek(LARGE_INTEGER{-8}, STREAM_SEEK_CUR, &pos), STG_E_INVALIDFUNCTION);
        EXPECT_EQ(s->Seek(LARGE_INTEGER{0}, 3, &pos), STG_E_INVALIDFUNCTION);
        EXPECT_EQ(readRest(s.get()), "789");  // a failed seek leaves the pointer

        // Writing past the end fills the gap with zeros, also where a
        // shrink left old bytes behind.
        EXPECT_EQ(s->SetSize(ULARGE_INTEGER{4}), S_OK);
        EXPECT_EQ(s->Seek(LARGE_INTEGER{3}, STREAM_SEEK_END, nullptr), S_OK);
        ASSERT_EQ(writeAll(s.get(), "X"), S_OK);
        EXPECT_EQ(readAll(s.get()), std::string("0123\0\0\0X", 8));
        // So does growing with SetSize.
        EXPECT_EQ(s->SetSize(ULARGE_INTEGER{3}), S_OK);
        EXPECT_EQ(s->SetSize(ULARGE_INTEGER{6}), S_OK);
        EXPECT_EQ(readAll(s.get()), std::string("012\0\0\0", 6));
        // Growing beyond the region's room moves it past its neighbour.
        EXPECT_EQ(s->SetSize(ULARGE_INTEGER{100000}), S_OK);
        std::string grown = readAll(s.get());
        EXPECT_EQ(grown.size(), 100000u);
        EXPECT_EQ(grown.substr(0, 3), "012");
        EXPECT_EQ(grown.find_first_not_of('\0', 3), std::string::npos);
        EXPECT_EQ(readAll(neighbour.get()), "n");

        // A clone shares the content, has its own pointer and keeps the
        // element open after the original goes.
        EXPECT_EQ(s->Seek(LARGE_INTEGER{1}, STREAM_SEEK_SET, nullptr), S_OK);
        ComPtr<IStream> clone;
        ASSERT_EQ(s->Clone(clone.out()), S_OK);
        ASSERT_EQ(writeAll(s.get(), "AB"), S_OK);
        char c[3] = {};
        ULONG got = 0;
        EXPECT_EQ(clone->Read(c, 2, &got), S_OK);
        EXPECT_EQ(std::string(c, got), "AB");
        s.reset();
        EXPECT_EQ(storage->OpenStream(u"data", nullptr, kStreamRW, 0, s.out()), STG_E_ACCESSDENIED);

        // CopyTo moves bytes from the pointer on, up to the count.
        ComPtr<IStream> memory;
        ASSERT_EQ(qrt::createMemoryStream(memory.out()), S_OK);
        ULARGE_INTEGER read, written;
        EXPECT_EQ(clone->Seek(LARGE_INTEGER{0}, STREAM_SEEK_SET, nullptr), S_OK);
        EXPECT_EQ(clone->CopyTo(memory.get(), ULARGE_INTEGER{4}, &read, &written), S_OK);
        EXPECT_EQ(read.QuadPart, 4u);
        EXPECT_EQ(written.QuadPart, 4u);
        EXPECT_EQ(clone->Seek(LARGE_INTEGER{-2}, STREAM_SEEK_END, nullptr), S_OK);
        EXPECT_EQ(clone->CopyTo(memory.get(), ULARGE_INTEGER{1000}, &read, &written), S_OK);
        EXPECT_EQ(read.QuadPart, 2u);
        std::string bytes;
        ASSERT_EQ(qrt::memoryStreamBytes(memory.get(), &bytes), S_OK);
        EXPECT_EQ(bytes, std::string("0AB\0\0\0", 6));
        EXPECT_EQ(qrt::memoryStreamBytes(clone.get(), &bytes), E_INVALIDARG);
    }
    EXPECT_EQ(qrt::liveObjectCount(), objects);
    EXPECT_FALSE(fs::exists(fs::path(dir.path()) / "s.stg"));
}

TEST(StorageFile, ShareExclusiveHoldsAcrossProcesses) {
    InTempDir dir;
    auto openInChild = [] {
        return inChild([] {
            ComPtr<IStorage> s;
            return expect(StgOpenStorage(u"x.stg", nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, s.out()), STG_E_SHAREVIOLATION) |
                   expect(StgCreateDocfile(u"x.stg", kCreate, 0, s.out()), STG_E_SHAREVIOLATION) << 1;
        });
    };
    ComPtr<IStorage> storage;
    ASSERT_EQ(StgCreateDocfile(u"x.stg", kCreate, 0, storage.out()), S_OK);
    ASSERT_EQ(storage->CreateStream(u"s", kStreamRW, 0, 0, ComPtr<IStream>().out()), S_OK);
    EXPECT_EQ(openInChild(), 0);
    storage.reset();
    // Released: the child opens it and sees the stream.
    EXPECT_EQ(inChild([] {
                  ComPtr<IStorage> s;
                  if (StgOpenStorage(u"x.stg", nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, s.out()) != S_OK) return 1;
                  return expect(s->OpenStream(u"s", nullptr, kStreamRead, 0, ComPtr<IStream>().out()), S_OK) << 1;
              }),
              0);

    // Readers that deny writing share the file with each other, not with a writer.
    ComPtr<IStorage> reader;
    ASSERT_EQ(StgOpenStorage(u"x.stg", nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, reader.out()), S_OK);
    EXPECT_EQ(inChild([] {
                  ComPtr<IStorage> s;
                  return expect(StgOpenStorage(u"x.stg", nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, s.out()), S_OK) |
                         expect(StgOpenStorage(u"x.stg", nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, s.out()), STG_E_SHAREVIOLATION) << 1;
              }),
              0);
    // A child that dies holding the file frees it.
    reader.reset();
    EXPECT_EQ(inChild([] {
                  ComPtr<IStorage> s;
                  _exit(StgOpenStorage(u"x.stg", nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, s.out()) == S_OK ? 0 : 1);
                  return 1;
              }),
              0);
    EXPECT_EQ(StgOpenStorage(u"x.stg", nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, storage.out()), S_OK);
}

TEST(StorageFile, DeleteOnReleaseWaitsForTheLastReference) {
    InTempDir dir;
    const long objects = qrt::liveObjectCount();
    const fs::path file = fs::path(dir.path()) / "tmp.stg";
    ComPtr<IStorage> storage;
    ASSERT_EQ(StgCreateDocfile(u"tmp.stg", kCreate | STGM_DELETEONRELEASE, 0, storage.out()), S_OK);
    ComPtr<IStream> s;
    ASSERT_EQ(storage->CreateStream(u"jpeg", kStreamRW, 0, 0, s.out()), S_OK);
    ASSERT_EQ(writeAll(s.get(), "picture"), S_OK);
    storage.reset();
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(readAll(s.get()), "picture");
    // The path was taken when the file was made: changing folders does not
    // send the deletion elsewhere.
    {
        InTempDir elsewhere;
        { std::FILE* f = std::fopen("tmp.stg", "w"); std::fclose(f); }
        s.reset();
        EXPECT_TRUE(fs::exists("tmp.stg"));
    }
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(qrt::liveObjectCount(), objects);

    // A temporary storage (no name) goes the same way.
    ASSERT_EQ(StgCreateDocfile(nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_DELETEONRELEASE, 0, storage.out()), S_OK);
    STATSTG st;
    ASSERT_EQ(storage->Stat(&st, STATFLAG_DEFAULT), S_OK);
    const fs::path temporary = std::u16string(st.pwcsName);
    CoTaskMemFree(st.pwcsName);
    EXPECT_TRUE(fs::exists(temporary));
    storage.reset();
    EXPECT_FALSE(fs::exists(temporary));
}

TEST(StorageFile, KilledOwnerLeavesALeftoverThatCountsAsAbsent) {
    InTempDir dir;
    const std::string savedTmp = getenv("TMPDIR") ? getenv("TMPDIR") : "";
    const bool hadTmp = getenv("TMPDIR") != nullptr;
    setenv("TMPDIR", dir.path().c_str(), 1);

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    if (pid == 0) {
        // Three delete-on-release storages, then wait to be killed.
        constexpr DWORD mode = kCreate | STGM_DELETEONRELEASE;
        IStorage *a = nullptr, *b = nullptr, *t = nullptr;
        IStream* s = nullptr;
        bool ok = StgCreateDocfile(u"a.stg", mode, 0, &a) == S_OK && StgCreateDocfile(u"b.stg", mode, 0, &b) == S_OK &&
                  StgCreateDocfile(nullptr, mode, 0, &t) == S_OK && a->CreateStream(u"s", kStreamRW, 0, 0, &s) == S_OK &&
                  s->Write("abc", 3, nullptr) == S_OK;
        if (write(ready[1], ok ? "1" : "0", 1) != 1) _exit(2);
        for (;;) pause();
    }
    ASSERT_GT(pid, 0);
    close(ready[1]);
    char flag = 0;
    ASSERT_EQ(read(ready[0], &flag, 1), 1);
    close(ready[0]);
    EXPECT_EQ(flag, '1');
    auto leftovers = [&] {
        int n = 0;
        for (const auto& e : fs::directory_iterator(dir.path())) n += e.path().filename().string().starts_with("quillan-storage-");
        return n;
    };
    EXPECT_EQ(leftovers(), 1);
    ComPtr<IStorage> storage;
    EXPECT_EQ(StgOpenStorage(u"b.stg", nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, storage.out()), STG_E_SHAREVIOLATION);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);

    // The files outlive their owner but nothing treats them as live.
    EXPECT_TRUE(fs::exists("a.stg"));
    ASSERT_EQ(StgCreateDocfile(u"a.stg", kCreate, 0, storage.out()), S_OK);
    ComPtr<IStream> s;
    EXPECT_EQ(storage->OpenStream(u"s", nullptr, kStreamRW, 0, s.out()), STG_E_FILENOTFOUND);  // a fresh file
    storage.reset();
    EXPECT_TRUE(fs::exists("a.stg"));  // no longer delete-on-release
    EXPECT_EQ(StgOpenStorage(u"b.stg", nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, storage.out()), STG_E_FILENOTFOUND);
    EXPECT_FALSE(fs::exists("b.stg"));
    // The next temporary storage clears the dead one's file.
    ASSERT_EQ(StgCreateDocfile(nullptr, kCreate | STGM_DELETEONRELEASE, 0, storage.out()), S_OK);
    EXPECT_EQ(leftovers(), 1);
    storage.reset();
    EXPECT_EQ(leftovers(), 0);

    if (hadTmp) setenv("TMPDIR", savedTmp.c_str(), 1);
    else unsetenv("TMPDIR");
}

TEST(StorageFile, LargeSequentialWritesKeepContentAndSpace) {
    InTempDir dir;
    constexpr std::size_t kTotal = 8 << 20, kPiece = 4096;
    const std::string content = pattern(kTotal, 3);
    {
        ComPtr<IStorage> storage;
        ASSERT_EQ(StgCreateDocfile(u"big.stg", kCreate, 0, storage.out()), S_OK);
        ComPtr<IStream> big, small;
        ASSERT_EQ(storage->CreateStream(u"big", kStreamRW, 0, 0, big.out()), S_OK);
        ASSERT_EQ(storage->CreateStream(u"small", kStreamRW, 0, 0, small.out()), S_OK);
        for (std::size_t at = 0; at < kTotal; at += kPiece) {
            ULONG written = 0;
            ASSERT_EQ(big->Write(content.data() + at, kPiece, &written), S_OK);
            ASSERT_EQ(written, kPiece);
            // Now and then the other stream grows behind it and is in the way.
            if (at % (kPiece * 256) == 0) {
                ASSERT_EQ(writeAll(small.get(), pattern(5000, unsigned(at))), S_OK);
            }
        }
        EXPECT_EQ(streamSize(big.get()), kTotal);
        // Moved regions leave gaps, but no more than the content again.
        EXPECT_LT(fs::file_size("big.stg"), 2 * kTotal + 2 * 5000 * 8 + 4096);
    }
    ComPtr<IStorage> storage;
    ASSERT_EQ(StgOpenStorage(u"big.stg", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, storage.out()), S_OK);
    ComPtr<IStream> big, small;
    ASSERT_EQ(storage->OpenStream(u"big", nullptr, kStreamRead, 0, big.out()), S_OK);
    ASSERT_EQ(storage->OpenStream(u"small", nullptr, kStreamRead, 0, small.out()), S_OK);
    EXPECT_TRUE(readAll(big.get()) == content);
    std::string expected;
    for (std::size_t at = 0; at < kTotal; at += kPiece * 256) expected += pattern(5000, unsigned(at));
    EXPECT_TRUE(readAll(small.get()) == expected);
}

// The bytes of a storage file written by hand: a header naming a directory
// at dirOffset with capacity slots of which count are used, then slots
// (96 bytes each: name, region offset and capacity, size), at dirOffset.
struct RawSlot {
    std::u16string name;
    std::uint64_t offset = 0, capacity = 0, size = 0;
};
std::string rawStorage(std::uint64_t dirOffset, std::uint64_t capacity, std::uint32_t count,
                       const std::vector<RawSlot>& slots = {}) {
    auto put = [](std::string& s, std::size_t at, std::uint64_t v, int bytes) {
        if (s.size() < at + bytes) s.resize(at + bytes, '\0');
        for (int i = 0; i < bytes; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
    };
    std::string s("QSTORE\r\n", 8);
    put(s, 8, 1, 4);
    put(s, 16, dirOffset, 8);
    put(s, 24, capacity, 8);
    put(s, 32, count, 4);
    put(s, 56, 0, 8);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const std::size_t at = dirOffset + i * 96;
        for (std::size_t u = 0; u < slots[i].name.size(); ++u) put(s, at + 2 * u, slots[i].name[u], 2);
        put(s, at + 64, slots[i].offset, 8);
        put(s, at + 72, slots[i].capacity, 8);
        put(s, at + 80, slots[i].size, 8);
        put(s, at + 88, 0, 8);
    }
    return s;
}

void writeBytes(const char* path, const std::string& bytes) {
    std::FILE* f = std::fopen(path, "wb");
    ASSERT_TRUE(f);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

TEST(StorageFile, DamagedFilesOpenSafelyOrAreRefused) {
    InTempDir dir;
    const long objects = qrt::liveObjectCount();
    ComPtr<IStorage> storage;
    // Cut after the header: no directory bytes at all, and none needed.
    writeBytes("empty.stg", rawStorage(1u << 20, 0, 0));
    ASSERT_EQ(StgOpenStorage(u"empty.stg", nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, storage.out()), S_OK);
    ComPtr<IStream> s;
    EXPECT_EQ(storage->OpenStream(u"any", nullptr, kStreamRead, 0, s.out()), STG_E_FILENOTFOUND);
    storage.reset();

    // A stream whose bytes lie past the end of a truncated file reads as
    // zeros; reads of nothing need no buffer.
    writeBytes("cut.stg", rawStorage(64, 1, 1, {{u"s", 4096, 8, 8}}));
    ASSERT_EQ(StgOpenStorage(u"cut.stg", nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, storage.out()), S_OK);
    ASSERT_EQ(storage->OpenStream(u"s", nullptr, kStreamRead, 0, s.out()), S_OK);
    ULONG got = 1;
    EXPECT_EQ(s->Read(nullptr, 0, &got), S_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(readAll(s.get()), std::string(8, '\0'));
    EXPECT_EQ(s->Read(nullptr, 0, &got), S_OK);  // at the end
    s.reset();
    storage.reset();

    // Overlapping regions, and a stream larger than its region, are refused.
    writeBytes("overlap.stg", rawStorage(64, 2, 2, {{u"a", 256, 64, 1}, {u"b", 300, 64, 1}}));
    EXPECT_EQ(StgOpenStorage(u"overlap.stg", nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, storage.out()), STG_E_DOCFILECORRUPT);
    writeBytes("big.stg", rawStorage(64, 1, 1, {{u"a", 256, 4, 5}}));
    EXPECT_EQ(StgOpenStorage(u"big.stg", nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, storage.out()), STG_E_DOCFILECORRUPT);
    EXPECT_EQ(qrt::liveObjectCount(), objects);
}

TEST(MemoryStream, ReadWriteSeekSizeAndClone) {
    const long objects = qrt::liveObjectCount();
    {
        ComPtr<IStream> s;
        ASSERT_EQ(qrt::createMemoryStream("hello", 5, s.out()), S_OK);
        char buffer[8] = {};
        ULONG got = 0;
        EXPECT_EQ(s->Read(buffer, 3, &got), S_OK);
        EXPECT_EQ(std::string(buffer, got), "hel");
        ASSERT_EQ(writeAll(s.get(), "LO, world"), S_OK);
        EXPECT_EQ(streamSize(s.get()), 12u);
        EXPECT_EQ(s->Read(buffer, 8, &got), S_OK);
        EXPECT_EQ(got, 0u);

        ULARGE_INTEGER pos;
        EXPECT_EQ(s->Seek(LARGE_INTEGER{-13}, STREAM_SEEK_END, &pos), STG_E_INVALIDFUNCTION);
        EXPECT_EQ(s->Seek(LARGE_INTEGER{2}, STREAM_SEEK_END, &pos), S_OK);
        EXPECT_EQ(pos.QuadPart, 14u);
        ASSERT_EQ(writeAll(s.get(), "!"), S_OK);
        std::string bytes;
        ASSERT_EQ(qrt::memoryStreamBytes(s.get(), &bytes), S_OK);
        EXPECT_EQ(bytes, std::string("helLO, world\0\0!", 15));

        ComPtr<IStream> clone;
        EXPECT_EQ(s->Seek(LARGE_INTEGER{7}, STREAM_SEEK_SET, nullptr), S_OK);
        ASSERT_EQ(s->Clone(clone.out()), S_OK);
        EXPECT_EQ(s->SetSize(ULARGE_INTEGER{5}), S_OK);
        EXPECT_EQ(clone->Seek(LARGE_INTEGER{0}, STREAM_SEEK_CUR, &pos), S_OK);
        EXPECT_EQ(pos.QuadPart, 7u);  // its own pointer, past the shrunk end
        EXPECT_EQ(clone->Read(buffer, 8, &got), S_OK);
        EXPECT_EQ(got, 0u);
        EXPECT_EQ(clone->SetSize(ULARGE_INTEGER{8}), S_OK);
        ASSERT_EQ(qrt::memoryStreamBytes(s.get(), &bytes), S_OK);
        EXPECT_EQ(bytes, std::string("helLO\0\0\0", 8));

        STATSTG st;
        EXPECT_EQ(s->Stat(&st, STATFLAG_DEFAULT), S_OK);
        EXPECT_EQ(st.type, STGTY_STREAM);
        EXPECT_EQ(st.cbSize.QuadPart, 8u);
        EXPECT_EQ(s->Stat(&st, 7), STG_E_INVALIDFLAG);
        EXPECT_EQ(s->Read(nullptr, 1, &got), STG_E_INVALIDPOINTER);
        EXPECT_EQ(s.as<ISequentialStream>().get() != nullptr, true);
        EXPECT_EQ(s.as<IStorage>().get(), nullptr);
    }
    EXPECT_EQ(qrt::liveObjectCount(), objects);
}

}  // namespace
