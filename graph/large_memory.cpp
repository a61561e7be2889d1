#include "graph/large_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

namespace tarvik {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t mappedSize(std::size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

struct ImageMemory {
    void* data;
    std::size_t bytes;
};

void releaseImageMemory(void* info) {
    auto* memory = static_cast<ImageMemory*>(info);
    releaseLarge(memory->data, memory->bytes);
    delete memory;
}

// The runs pieces are cut from, with the pieces in use.
class PiecePool {
public:
    void* allocate() noexcept {
        std::lock_guard<std::mutex> lock(m_lock);
        for (Run& run : m_runs) {
            if (run.used == kFull) continue;
            for (unsigned i = 0; i < kPiecesPerRun; ++i) {
                if (run.used & (1u << i)) continue;
                run.used |= 1u << i;
                return run.base + i * kPieceBytes;
            }
        }
        try {
            m_runs.reserve(m_runs.size() + 1);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        auto* base = m_spareCount > 0 ? m_spare[--m_spareCount] : static_cast<char*>(allocateLarge(kHugePage));
        if (!base) return nullptr;
        m_runs.push_back({base, 1u});
        return base;
    }
    void release(void* piece) noexcept {
        auto* p = static_cast<char*>(piece);
        std::lock_guard<std::mutex> lock(m_lock);
        for (std::size_t r = 0; r < m_runs.size(); ++r) {
            Run& run = m_runs[r];
            if (p < run.base || p >= run.base + kHugePage) continue;
            run.used &= ~(1u << static_cast<unsigned>((p - run.base) / static_cast<std::ptrdiff_t>(kPieceBytes)));
            if (run.used == 0) {
                if (m_spareCount < kSpareRuns)
                    m_spare[m_spareCount++] = run.base;
                else
                    releaseLarge(run.base, kHugePage);
                m_runs[r] = m_runs.back();
                m_runs.pop_back();
            }
            return;
        }
    }

private:
    static constexpr unsigned kPiecesPerRun = static_cast<unsigned>(kHugePage / kPieceBytes);
    static constexpr unsigned kFull = (1u << kPiecesPerRun) - 1;
    struct Run {
        char* base;
        unsigned used;  // one bit a piece
    };
    std::mutex m_lock;
    std::vector<Run> m_runs;
    // Emptied runs kept mapped for the next series (up to 32 MB): a script
    // that clears and refills its series, or a graph built again, would
    // otherwise have its memory unmapped and faulted in afresh each time.
    static constexpr unsigned kSpareRuns = 16;
    char* m_spare[kSpareRuns] = {};
    unsigned m_spareCount = 0;
};

PiecePool& piecePool() {
    static PiecePool* pool = new PiecePool;  // never destroyed: pieces may outlive static destruction
    return *pool;
}

}  // namespace

void populateForWriting(void* memory, std::size_t bytes) noexcept {
#ifdef MADV_POPULATE_WRITE
    const std::uintptr_t page = 4096;
    const auto start = (reinterpret_cast<std::uintptr_t>(memory) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(memory) + bytes) & ~(page - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);  // only a hint
#else
    (void)memory;
    (void)bytes;
#endif
}

void* allocatePiece() noexcept { return piecePool().allocate(); }

void releasePiece(void* piece) noexcept {
    if (piece) piecePool().release(piece);
}

void* allocateLarge(std::size_t bytes) noexcept {
    if (bytes == 0 || bytes > (std::size_t{1} << 40)) return nullptr;
    const std::size_t size = mappedSize(bytes);
    // One huge page more than needed, so that an aligned run fits; the ends
    // are given back.
    void* raw = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start) munmap(raw, aligned - start);
    const std::uintptr_t end = start + size + kHugePage;
    if (end > aligned + size) munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
    void* memory = reinterpret_cast<void*>(aligned);
    madvise(memory, size, MADV_HUGEPAGE);  // only advice: without it, 4 KB pages
    return memory;
}

void releaseLarge(void* memory, std::size_t bytes) noexcept {
    if (memory) munmap(memory, mappedSize(bytes));
}

QImage makeImage(int width, int height, QImage::Format format) {
    if (width <= 0 || height <= 0) return QImage();
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    const std::size_t bytesPerLine = ((static_cast<std::size_t>(width) * static_cast<std::size_t>(depth) + 31) / 32) * 4;
    const std::size_t bytes = bytesPerLine * static_cast<std::size_t>(height);
    if (bytes < kHugePage || bytesPerLine > static_cast<std::size_t>(INT32_MAX) || format == QImage::Format_Invalid)
        return QImage(width, height, format);
    void* data = allocateLarge(bytes);
    if (!data) return QImage(width, height, format);
    auto* info = new (std::nothrow) ImageMemory{data, bytes};
    if (!info) {
        releaseLarge(data, bytes);
        return QImage(width, height, format);
    }
    return QImage(static_cast<uchar*>(data), width, height, static_cast<qsizetype>(bytesPerLine), format,
                  &releaseImageMemory, info);
}

}  // namespace tarvik
