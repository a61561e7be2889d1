// Memory for pictures and point data of megabytes. Where the system allows,
// it is mapped in 2 MB pages: mapping such buffers 4 KB at a time, one fault
// per page, costs more than drawing into them.
#pragma once

#include <QImage>

#include <cstddef>

namespace tarvik {

// Zeroed memory of at least `bytes` (a multiple of 2 MB is mapped), or null.
void* allocateLarge(std::size_t bytes) noexcept;
// Gives back what allocateLarge(bytes) returned.
void releaseLarge(void* memory, std::size_t bytes) noexcept;

// Pieces of kPieceBytes cut from 2 MB runs of large memory (four to a run),
// for the point blocks of large series; not zeroed. Safe from any thread.
constexpr std::size_t kPieceBytes = std::size_t{512} << 10;
void* allocatePiece() noexcept;
void releasePiece(void* piece) noexcept;

// Maps the whole pages inside [memory, memory + bytes) for writing at once
// (where the system can), instead of one page fault per page later.
void populateForWriting(void* memory, std::size_t bytes) noexcept;

// A width x height image; pictures of 2 MB or more live in large memory.
// Null when there is no memory for it.
QImage makeImage(int width, int height, QImage::Format format);

}  // namespace tarvik
