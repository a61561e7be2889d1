// BSTR allocation. A BSTR points at its first UTF-16 unit; the byte length
// sits in the 32 bits just before it, and a NUL unit always follows the text
// so the string can be read as a C string.
#include "runtime/bstr.h"

#include "runtime/text.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// Under AddressSanitizer freed strings go straight back to the allocator, so
// that a string used after it was freed is still caught.
#if defined(__SANITIZE_ADDRESS__)
#define QRT_KEEP_BSTRS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QRT_KEEP_BSTRS 0
#endif
#endif
#ifndef QRT_KEEP_BSTRS
#define QRT_KEEP_BSTRS 1
#endif

constexpr std::size_t kPrefix = sizeof(std::uint32_t);
constexpr std::size_t kTerminator = sizeof(OLECHAR);
// Largest byte length whose block size still fits in the 32-bit prefix
// arithmetic without wrapping.
constexpr std::uint64_t kMaxBytes = 0xFFFFFFFFull - kPrefix - kTerminator - 1;

// Nearly every call that returns text makes a short BSTR that its caller
// frees soon after (a script reading a file makes and frees one per line).
// Freed short strings are kept per thread, in lists by block size, for the
// next string of that size; this costs a few instructions where malloc and
// free cost about a hundred. Blocks are rounded up to kGrain bytes, so that
// a block's list follows from the length in its prefix.
constexpr std::size_t kGrain = 16;
constexpr std::size_t kKeptSizes = 16;  // blocks up to 256 bytes: 125 characters
constexpr std::uint32_t kKeptPerSize = 32;

struct FreeBlock {
    FreeBlock* next;
};
struct ThreadStrings {
    FreeBlock* kept[kKeptSizes] = {};
    std::uint32_t counts[kKeptSizes] = {};
    long live = 0;         // made minus freed on this thread
    bool closing = false;  // the thread is ending: keep nothing more
    bool watched = false;  // the thread's end will empty the lists
};
// The runtime is loaded with the program, so the initial-exec model (one
// load, no call into the dynamic loader) is safe.
__attribute__((tls_model("initial-exec"))) constinit thread_local ThreadStrings t_strings;
// What threads that have ended left in their counts.
std::atomic<long> g_endedLive{0};

struct ThreadStringsCloser {
    ~ThreadStringsCloser() {
        ThreadStrings& t = t_strings;
        t.closing = true;
        for (std::size_t i = 0; i < kKeptSizes; ++i) {
            while (FreeBlock* b = t.kept[i]) {
                t.kept[i] = b->next;
                std::free(b);
            }
            t.counts[i] = 0;
        }
        g_endedLive += t.live;
        t.live = 0;
    }
    void watch() {}
};
thread_local ThreadStringsCloser t_stringsCloser;

std::size_t blockSize(std::size_t bytes) {
    // One spare byte past the terminator keeps an odd-length string's final
    // NUL unit whole.
    const std::size_t block = kPrefix + bytes + kTerminator + 1;
    return (block + kGrain - 1) / kGrain * kGrain;
}

// The thread's strings, its end watched from the first use on: that end
// empties the lists and hands on the count.
ThreadStrings& threadStrings() {
    ThreadStrings& t = t_strings;
    if (!t.watched && !t.closing) {
        t_stringsCloser.watch();
        t.watched = true;
    }
    return t;
}

void* takeBlock(std::size_t block) {
    ThreadStrings& t = threadStrings();
    if (t.closing) {
        void* raw = std::malloc(block);
        if (raw) ++g_endedLive;
        return raw;
    }
#if QRT_KEEP_BSTRS
    const std::size_t size = block / kGrain - 1;
    if (size < kKeptSizes) {
        if (FreeBlock* b = t.kept[size]) {
            t.kept[size] = b->next;
            --t.counts[size];
            ++t.live;
            return b;
        }
    }
#endif
    void* raw = std::malloc(block);
    if (raw) ++t.live;
    return raw;
}

void giveBlock(void* raw, std::size_t block) {
    ThreadStrings& t = threadStrings();
    if (t.closing) {
        --g_endedLive;
        std::free(raw);
        return;
    }
    --t.live;
#if QRT_KEEP_BSTRS
    const std::size_t size = block / kGrain - 1;
    if (size < kKeptSizes && t.counts[size] < kKeptPerSize) {
        auto* b = static_cast<FreeBlock*>(raw);
        b->next = t.kept[size];
        t.kept[size] = b;
        ++t.counts[size];
        return;
    }
#else
    (void)block;
#endif
    std::free(raw);
}

std::uint32_t* header(BSTR text) {
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(text) - kPrefix);
}

// Room for byteLength bytes of text with its prefix and terminator, or null;
// the text itself is not initialised.
char* allocate(std::uint64_t byteLength) {
    if (byteLength > kMaxBytes) return nullptr;
    const auto bytes = static_cast<std::size_t>(byteLength);
    char* raw = static_cast<char*>(takeBlock(blockSize(bytes)));
    if (!raw) return nullptr;
    const auto length = static_cast<std::uint32_t>(byteLength);
    std::memcpy(raw, &length, sizeof length);
    std::memset(raw + kPrefix + bytes, 0, kTerminator + 1);
    return raw;
}

// Allocates room for byteLength bytes of text plus the terminator; the text
// bytes are zeroed. Returns null when out of memory.
BSTR allocateBytes(std::uint64_t byteLength) {
    char* raw = allocate(byteLength);
    if (!raw) return nullptr;
    std::memset(raw + kPrefix, 0, static_cast<std::size_t>(byteLength));
    return reinterpret_cast<BSTR>(raw + kPrefix);
}

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (!text || !length) return allocateBytes(static_cast<std::uint64_t>(length) * sizeof(OLECHAR));
    // With the text at hand only the terminator needs zeroing (the common
    // case: every string a call returns).
    const std::uint64_t byteLength = static_cast<std::uint64_t>(length) * sizeof(OLECHAR);
    char* raw = allocate(byteLength);
    if (!raw) return nullptr;
    std::memcpy(raw + kPrefix, text, static_cast<std::size_t>(byteLength));
    return reinterpret_cast<BSTR>(raw + kPrefix);
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    UINT length = 0;
    while (text[length]) ++length;
    return SysAllocStringLen(text, length);
}

BSTR SysAllocStringByteLen(const char* bytes, UINT byteLength) {
    BSTR s = allocateBytes(byteLength);
    if (s && bytes && byteLength) std::memcpy(s, bytes, byteLength);
    return s;
}

INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length) {
    if (!target) return 0;
    BSTR old = *target;
    BSTR fresh = SysAllocStringLen(nullptr, length);
    if (!fresh) return 0;
    // Without new text the old contents are kept, as far as they reach. The
    // new string is built before the old one is freed, so text may point
    // into *target.
    const OLECHAR* from = text ? text : old;
    const UINT available = text ? length : std::min(length, SysStringLen(old));
    if (from && available) std::memcpy(fresh, from, static_cast<std::size_t>(available) * sizeof(OLECHAR));
    SysFreeString(old);
    *target = fresh;
    return 1;
}

INT SysReAllocString(BSTR* target, const OLECHAR* text) {
    if (!target) return 0;
    if (!text) {
        SysFreeString(*target);
        *target = nullptr;
        return 1;
    }
    UINT length = 0;
    while (text[length]) ++length;
    return SysReAllocStringLen(target, text, length);
}

void SysFreeString(BSTR text) {
    if (!text) return;
    giveBlock(header(text), blockSize(SysStringByteLen(text)));
}

UINT SysStringByteLen(BSTR text) {
    if (!text) return 0;
    std::uint32_t length;
    std::memcpy(&length, header(text), sizeof length);
    return length;
}

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }

namespace qrt {

BSTR allocBstr(std::string_view utf8) { return allocBstr(decodeAnsi(utf8)); }

BSTR allocBstr(std::u16string_view text) {
    if (text.size() > kMaxBytes / sizeof(OLECHAR)) return nullptr;
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

std::string bstrToUtf8(BSTR text) { return encodeUtf8(bstrView(text)); }

long liveBstrCount() { return g_endedLive.load() + t_strings.live; }

}  // namespace qrt
