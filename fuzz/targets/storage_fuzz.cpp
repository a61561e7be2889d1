// Structured storage files: a fuzzed file is opened read-only, each stream
// its directory names is opened, read whole in pieces, read again after
// seeks and through a clone; then the file is opened for writing and its
// streams are written, resized, renamed and removed, which moves regions
// around a layout that may be damaged. Nothing may crash, hang or leak.
#include "fuzz/fuzz_support.h"
#include "runtime/object.h"
#include "runtime/storage.h"
#include "runtime/text.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::uint64_t get64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

// The names in the file's directory as the header describes it, read the
// way the storage reads them (when they lie inside the input).
std::vector<std::u16string> directoryNames(const std::uint8_t* data, std::size_t size) {
    std::vector<std::u16string> names;
    if (size < 64) return names;
    const std::uint64_t offset = get64(data + 16);
    const std::uint32_t count = data[32] | (data[33] << 8) | (data[34] << 16) | (static_cast<std::uint32_t>(data[35]) << 24);
    for (std::uint64_t i = 0; i < count && i < 32; ++i) {
        const std::uint64_t at = offset + i * 96;
        if (at < offset || at > size || size - at < 64) break;
        std::u16string name;
        for (int u = 0; u < 32; ++u) {
            const char16_t c = static_cast<char16_t>(data[at + 2 * u] | (data[at + 2 * u + 1] << 8));
            if (!c) break;
            name.push_back(c);
        }
        names.push_back(name);
    }
    return names;
}

void readWhole(IStream* stream) {
    char buffer[4096];
    ULONG got = 0;
    for (int i = 0; i < 64; ++i) {
        if (FAILED(stream->Read(buffer, sizeof buffer, &got)) || got == 0) break;
    }
    stream->Read(nullptr, 0, &got);  // an empty read, no buffer
}

void exerciseReading(IStorage* storage, const std::vector<std::u16string>& names) {
    STATSTG stat{};
    if (SUCCEEDED(storage->Stat(&stat, STATFLAG_DEFAULT))) CoTaskMemFree(stat.pwcsName);
    for (const std::u16string& name : names) {
        qrt::ComPtr<IStream> stream;
        if (FAILED(storage->OpenStream(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.out())))
            continue;
        STATSTG s{};
        if (SUCCEEDED(stream->Stat(&s, STATFLAG_DEFAULT))) CoTaskMemFree(s.pwcsName);
        readWhole(stream.get());
        for (LONGLONG to : {LONGLONG(0), LONGLONG(1), LONGLONG(-1), LONGLONG(4095), LONGLONG(1) << 40}) {
            LARGE_INTEGER move{};
            move.QuadPart = to;
            ULARGE_INTEGER at{};
            stream->Seek(move, to < 0 ? STREAM_SEEK_END : STREAM_SEEK_SET, &at);
            char piece[100];
            ULONG got = 0;
            stream->Read(piece, sizeof piece, &got);
        }
        qrt::ComPtr<IStream> clone;
        if (SUCCEEDED(stream->Clone(clone.out()))) {
            LARGE_INTEGER start{};
            clone->Seek(start, STREAM_SEEK_SET, nullptr);
            readWhole(clone.get());
        }
    }
}

void exerciseWriting(IStorage* storage, const std::vector<std::u16string>& names, std::uint8_t seed) {
    static const char bytes[8192] = {1};
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::u16string& name = names[i];
        {
            qrt::ComPtr<IStream> stream;
            if (FAILED(storage->OpenStream(name.c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                           stream.out())))
                continue;
            ULONG written = 0;
            stream->Write(bytes, 1 + (seed * 37u + i * 1013u) % sizeof bytes, &written);
            ULARGE_INTEGER size{};
            size.QuadPart = (seed & 1) ? 0 : (seed * 4099u) % 65536;
            stream->SetSize(size);
            LARGE_INTEGER start{};
            stream->Seek(start, STREAM_SEEK_SET, nullptr);
            readWhole(stream.get());
        }
        if (seed & 2) storage->RenameElement(name.c_str(), u"renamed");
        if (seed & 4) storage->DestroyElement((seed & 2) ? u"renamed" : name.c_str());
    }
    qrt::ComPtr<IStream> fresh;
    if (SUCCEEDED(storage->CreateStream(u"Fresh", STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, 0,
                                        fresh.out()))) {
        ULONG written = 0;
        fresh->Write(bytes, sizeof bytes, &written);
    }
}

bool writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = true;
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 256 * 1024) return -1;
    static const std::string path = qfuzz::scratchDir() + "/input.stg";
    static const std::u16string name = qrt::decodeAnsi(path);
    if (!writeFile(path, data, size)) return 0;
    const std::vector<std::u16string> names = directoryNames(data, size);

    {
        qrt::ComPtr<IStorage> storage;
        if (FAILED(StgOpenStorage(name.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0,
                                  storage.out())))
            return 0;
        exerciseReading(storage.get(), names);
    }
    {
        qrt::ComPtr<IStorage> storage;
        if (FAILED(StgOpenStorage(name.c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                  storage.out())))
            return 0;
        exerciseWriting(storage.get(), names, size ? data[size - 1] : 0);
    }
    // What the writes left must open again.
    qrt::ComPtr<IStorage> storage;
    if (FAILED(StgOpenStorage(name.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, storage.out()))) {
        std::fprintf(stderr, "a storage that opened and was written to no longer opens\n");
        std::abort();
    }
    exerciseReading(storage.get(), names);
    return 0;
}
