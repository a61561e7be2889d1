// Pieces shared by the stream implementations (memory and storage file).
#pragma once

#include "runtime/storage.h"

#include <cstdint>
#include <string_view>

namespace qrt::detail {

// Largest size and position a stream accepts; beyond it offsets could
// overflow. Writes past it fail with STG_E_MEDIUMFULL.
constexpr std::uint64_t kMaxStreamSize = std::uint64_t{1} << 62;

// The position a Seek lands on, or STG_E_INVALIDFUNCTION for a bad origin
// or a position before the start (or past kMaxStreamSize).
HRESULT seekTarget(std::uint64_t current, std::uint64_t size, LARGE_INTEGER move, DWORD origin, std::uint64_t* target);

// IStream::CopyTo in terms of Read on from and Write on to.
HRESULT copyStream(IStream* from, IStream* to, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten);

// Fills a STATSTG (zeroing what is not given); the name is copied with
// CoTaskMemAlloc unless flag is STATFLAG_NONAME or name is empty.
HRESULT fillStat(STATSTG* stat, DWORD flag, DWORD type, std::u16string_view name, std::uint64_t size, DWORD mode);

}  // namespace qrt::detail
