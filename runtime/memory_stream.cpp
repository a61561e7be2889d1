// The growable stream in memory, and the helpers every stream shares.
#include "runtime/object.h"
#include "runtime/storage.h"
#include "runtime/stream_support.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace qrt::detail {

HRESULT seekTarget(std::uint64_t current, std::uint64_t size, LARGE_INTEGER move, DWORD origin, std::uint64_t* target) {
    std::int64_t base;
    switch (origin) {
    case STREAM_SEEK_SET: base = 0; break;
    case STREAM_SEEK_CUR: base = static_cast<std::int64_t>(current); break;
    case STREAM_SEEK_END: base = static_cast<std::int64_t>(size); break;
    default: return STG_E_INVALIDFUNCTION;
    }
    // base is below 2^62, so the sum cannot overflow unless move is extreme.
    std::int64_t result;
    if (__builtin_add_overflow(base, move.QuadPart, &result)) return STG_E_INVALIDFUNCTION;
    if (result < 0 || static_cast<std::uint64_t>(result) > kMaxStreamSize) return STG_E_INVALIDFUNCTION;
    *target = static_cast<std::uint64_t>(result);
    return S_OK;
}

HRESULT copyStream(IStream* from, IStream* to, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) {
    if (pcbRead) pcbRead->QuadPart = 0;
    if (pcbWritten) pcbWritten->QuadPart = 0;
    if (!to) return STG_E_INVALIDPOINTER;
    std::vector<char> buffer;
    try {
        buffer.resize(static_cast<std::size_t>(std::min<ULONGLONG>(cb.QuadPart, 64 * 1024)));
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
    ULONGLONG totalRead = 0, totalWritten = 0;
    HRESULT hr = S_OK;
    while (totalRead < cb.QuadPart) {
        ULONG want = static_cast<ULONG>(std::min<ULONGLONG>(cb.QuadPart - totalRead, buffer.size()));
        ULONG got = 0;
        hr = from->Read(buffer.data(), want, &got);
        if (FAILED(hr)) break;
        totalRead += got;
        if (got == 0) break;
        ULONG put = 0;
        hr = to->Write(buffer.data(), got, &put);
        totalWritten += put;
        if (FAILED(hr)) break;
        if (got < want) break;
    }
    if (pcbRead) pcbRead->QuadPart = totalRead;
    if (pcbWritten) pcbWritten->QuadPart = totalWritten;
    return FAILED(hr) ? hr : S_OK;
}

HRESULT fillStat(STATSTG* stat, DWORD flag, DWORD type, std::u16string_view name, std::uint64_t size, DWORD mode) {
    if (!stat) return STG_E_INVALIDPOINTER;
    if (flag != STATFLAG_DEFAULT && flag != STATFLAG_NONAME) return STG_E_INVALIDFLAG;
    *stat = STATSTG{};
    if (flag == STATFLAG_DEFAULT && !name.empty()) {
        auto* text = static_cast<LPOLESTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(OLECHAR)));
        if (!text) return STG_E_INSUFFICIENTMEMORY;
        std::copy(name.begin(), name.end(), text);
        text[name.size()] = 0;
        stat->pwcsName = text;
    }
    stat->type = type;
    stat->cbSize.QuadPart = size;
    stat->grfMode = mode;
    return S_OK;
}

}  // namespace qrt::detail

namespace qrt {

namespace {

// The bytes, shared by a stream and its clones.
struct MemoryBuffer {
    std::mutex mutex;
    std::string bytes;
};

class MemoryStream final : public ComObject<IStream> {
public:
    explicit MemoryStream(std::shared_ptr<MemoryBuffer> buffer, std::uint64_t position = 0)
        : m_buffer(std::move(buffer)), m_position(position) {}

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override {
        if (pcbRead) *pcbRead = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        std::lock_guard lock(m_buffer->mutex);
        const std::string& bytes = m_buffer->bytes;
        ULONG n = 0;
        if (m_position < bytes.size())
            n = static_cast<ULONG>(std::min<std::uint64_t>(cb, bytes.size() - m_position));
        if (n) std::memcpy(pv, bytes.data() + m_position, n);
        m_position += n;
        if (pcbRead) *pcbRead = n;
        return S_OK;
    }

    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
        if (pcbWritten) *pcbWritten = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        if (cb == 0) return S_OK;
        std::lock_guard lock(m_buffer->mutex);
        std::string& bytes = m_buffer->bytes;
        const std::uint64_t end = m_position + cb;
        if (end > detail::kMaxStreamSize || end > bytes.max_size()) return STG_E_MEDIUMFULL;
        try {
            // Growing a string reserves geometrically, so appends stay linear.
            if (end > bytes.size()) bytes.resize(static_cast<std::size_t>(end));
        } catch (const std::exception&) {
            return E_OUTOFMEMORY;
        }
        std::memcpy(bytes.data() + m_position, pv, cb);
        m_position = end;
        if (pcbWritten) *pcbWritten = cb;
        return S_OK;
    }

    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        std::lock_guard lock(m_buffer->mutex);
        std::uint64_t target;
        HRESULT hr = detail::seekTarget(m_position, m_buffer->bytes.size(), move, origin, &target);
        if (FAILED(hr)) return hr;
        m_position = target;
        if (newPosition) newPosition->QuadPart = target;
        return S_OK;
    }

    HRESULT SetSize(ULARGE_INTEGER newSize) override {
        std::lock_guard lock(m_buffer->mutex);
        if (newSize.QuadPart > detail::kMaxStreamSize || newSize.QuadPart > m_buffer->bytes.max_size()) return STG_E_MEDIUMFULL;
        try {
            m_buffer->bytes.resize(static_cast<std::size_t>(newSize.QuadPart));
        } catch (const std::exception&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    HRESULT CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) override {
        return detail::copyStream(this, target, cb, pcbRead, pcbWritten);
    }
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }
    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

    HRESULT Stat(STATSTG* stat, DWORD flag) override {
        std::lock_guard lock(m_buffer->mutex);
        return detail::fillStat(stat, flag, STGTY_STREAM, {}, m_buffer->bytes.size(), STGM_READWRITE);
    }

    HRESULT Clone(IStream** out) override {
        if (!out) return STG_E_INVALIDPOINTER;
        *out = nullptr;
        std::uint64_t position;
        {
            std::lock_guard lock(m_buffer->mutex);
            position = m_position;
        }
        ComPtr<MemoryStream> clone = create<MemoryStream>(m_buffer, position);
        if (!clone) return E_OUTOFMEMORY;
        *out = clone.detach();
        return S_OK;
    }

    std::string bytes() {
        std::lock_guard lock(m_buffer->mutex);
        return m_buffer->bytes;
    }

private:
    std::shared_ptr<MemoryBuffer> m_buffer;
    std::uint64_t m_position;
};

}  // namespace

HRESULT createMemoryStream(IStream** out) { return createMemoryStream(nullptr, 0, out); }

HRESULT createMemoryStream(const void* data, std::size_t size, IStream** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!data && size) return E_INVALIDARG;
    try {
        auto buffer = std::make_shared<MemoryBuffer>();
        if (size) buffer->bytes.assign(static_cast<const char*>(data), size);
        ComPtr<MemoryStream> stream = create<MemoryStream>(std::move(buffer));
        if (!stream) return E_OUTOFMEMORY;
        *out = stream.detach();
        return S_OK;
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT memoryStreamBytes(IStream* stream, std::string* bytes) {
    if (!stream || !bytes) return E_POINTER;
    auto* memory = dynamic_cast<MemoryStream*>(stream);
    if (!memory) return E_INVALIDARG;
    try {
        *bytes = memory->bytes();
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

}  // namespace qrt
