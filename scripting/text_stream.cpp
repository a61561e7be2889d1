#include "scripting/text_stream.h"

#include "runtime/text.h"
#include "scripting/errors.h"
#include "scripting/paths.h"

#include <atomic>
#include <cerrno>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scripting {

namespace {

constexpr std::u16string_view kSource = u"Scripting.TextStream";
constexpr CLSID CLSID_TextStream = qrt::makeGuid("{CADA6D8C-AF58-4C87-B8F1-EA20420A08EC}");
constexpr std::size_t kFlushAt = 1 << 16;

// 16 KiB: the decoded text of a chunk stays in the processor's nearer
// caches while its lines are read (a quarter of a megabyte did not).
std::atomic<std::size_t> g_chunkSize{1 << 14};

HRESULT fail(int number, std::u16string_view detail = {}) { return raise(kSource, number, detail); }

// How much of raw is whole UTF-8 sequences: a sequence cut off by the end of
// the chunk waits for the next one.
std::size_t completeUtf8(std::string_view raw) {
    const std::size_t n = raw.size();
    for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
        const auto c = static_cast<unsigned char>(raw[n - back]);
        if ((c & 0xC0) == 0x80) continue;
        if (c >= 0xC0) {
            const std::size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            if (back < need) return n - back;
        }
        break;
    }
    return n;
}

// How many bytes from the start of bytes are ASCII.
std::size_t asciiRun(const char* bytes, std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
        const int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i)));
        if (high) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(high)));
    }
#endif
    while (i < n && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
    return i;
}

// Widens n ASCII bytes into out.
void widenAscii(const char* bytes, std::size_t n, char16_t* out) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(v, zero));
    }
#endif
    for (; i < n; ++i) out[i] = static_cast<char16_t>(bytes[i]);
}

// Where the first CR or LF is in text (n when there is none).
std::size_t lineEnd(const char16_t* text, std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi16(u'\n'), cr = _mm_set1_epi16(u'\r');
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const int found = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, lf), _mm_cmpeq_epi16(v, cr)));
        if (found) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(found))) / 2;
    }
#endif
    while (i < n && text[i] != u'\n' && text[i] != u'\r') ++i;
    return i;
}

// Decodes ANSI bytes onto out. Runs of ASCII, the bulk of data files, are
// widened directly; the runs between them hold whole UTF-8 sequences (an
// ASCII byte never continues one) and go through the runtime's decoder.
void appendAnsi(std::string_view bytes, std::u16string& out) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t ascii = asciiRun(bytes.data() + i, bytes.size() - i);
        if (ascii > 0) {
            const std::size_t start = out.size();
            out.resize(start + ascii);
            widenAscii(bytes.data() + i, ascii, out.data() + start);
            i += ascii;
        }
        std::size_t j = i;
        while (j < bytes.size() && static_cast<unsigned char>(bytes[j]) >= 0x80) ++j;
        if (j > i) {
            out += qrt::decodeAnsi(bytes.substr(i, j - i));
            i = j;
        }
    }
}

bool startsWith(std::string_view bytes, std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; }

// The first bytes of a file (none when it cannot be read).
std::string leadingBytes(const std::string& native) {
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char bytes[3];
    const ssize_t n = ::pread(fd, bytes, sizeof bytes, 0);
    ::close(fd);
    return n > 0 ? std::string(bytes, static_cast<std::size_t>(n)) : std::string();
}

// The error of a failed open: a missing file or a missing folder on its way.
HRESULT openFailure(int error, const std::string& native) {
    if (error == ENOENT) {
        const std::size_t slash = native.rfind('/');
        if (slash != std::string::npos && slash > 0) {
            struct stat info {};
            if (::stat(native.substr(0, slash).c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
                return fail(err::PathNotFound);
        }
        return fail(err::FileNotFound);
    }
    return fail(errorOfErrno(error));
}

}  // namespace

void CTextStream::setChunkSize(std::size_t bytes) { g_chunkSize = bytes < 4 ? 4 : bytes; }

HRESULT openTextStream(const OpenRequest& request, IDispatch** stream) {
    if (!stream) return E_POINTER;
    *stream = nullptr;
    if (request.mode != ForReading && request.mode != ForWriting && request.mode != ForAppending)
        return fail(err::InvalidCall);
    if (request.format != TristateFalse && request.format != TristateTrue && request.format != TristateUseDefault)
        return fail(err::InvalidCall);
    if (request.path.empty()) return fail(err::BadFileName);
    const std::string native = paths::toNative(request.path);
    struct stat info {};
    const bool exists = ::stat(native.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) return fail(err::PermissionDenied);

    int fd = -1;
    bool createdNew = false;
    long long originalSize = -1;
    if (request.mode == ForReading) {
        fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT && request.create) fd = ::open(native.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    } else {
        if (!exists && !request.create) return openFailure(ENOENT, native);
        if (exists && request.keepExisting) return fail(err::FileAlreadyExists);
        int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
        flags |= request.mode == ForWriting ? O_TRUNC : O_APPEND;
        if (!exists) flags |= O_EXCL;
        fd = ::open(native.c_str(), flags, 0666);
        createdNew = fd >= 0 && !exists;
        if (request.mode == ForAppending && exists) originalSize = static_cast<long long>(info.st_size);
    }
    if (fd < 0) return openFailure(errno, native);

    // The encoding: what the script asked for, or what the byte-order mark
    // of the file says.
    using Encoding = CTextStream::Encoding;
    const std::string lead = (request.mode == ForWriting) ? std::string() : leadingBytes(native);
    Encoding encoding = Encoding::Ansi;
    if (request.format == TristateTrue) {
        encoding = startsWith(lead, "\xFE\xFF") ? Encoding::Utf16BE : Encoding::Utf16LE;
    } else if (request.format == TristateUseDefault) {
        if (startsWith(lead, "\xFF\xFE")) encoding = Encoding::Utf16LE;
        else if (startsWith(lead, "\xFE\xFF")) encoding = Encoding::Utf16BE;
    }
    auto object = qrt::create<CTextStream>(fd, request.mode == ForReading, encoding, native, createdNew, originalSize);
    if (!object) {
        ::close(fd);
        if (createdNew) ::unlink(native.c_str());
        return fail(err::OutOfMemory);
    }
    *stream = static_cast<ITextStream*>(object.detach());
    return S_OK;
}

CTextStream::CTextStream(int fd, bool reading, Encoding encoding, std::string nativePath, bool createdNew,
                         long long originalSize)
    : m_fd(fd), m_reading(reading), m_encoding(encoding), m_path(std::move(nativePath)), m_createdNew(createdNew),
      m_originalSize(originalSize) {
    if (!reading && encoding != Encoding::Ansi && originalSize <= 0) {
        // The byte-order mark goes first; it is no character of the text.
        m_out = encoding == Encoding::Utf16LE ? "\xFF\xFE" : "\xFE\xFF";
    }
}

CTextStream::~CTextStream() {
    if (m_fd < 0) return;
    if (!m_reading && FAILED(flush())) return;  // flush closed the file and undid what it could
    ::close(m_fd);
}

const qrt::DispatchTable& CTextStream::dispatchTable() {
    using I = ITextStream;
    static const qrt::MemberOptions optionalText{.retval = false, .optional = 1, .defaults = {}};
    static const qrt::DispatchTable table(u"ITextStream", ITextStream::IID, {
        qrt::getter<&I::get_Line>(u"Line", 10000),
        qrt::getter<&I::get_Column>(u"Column", 10001),
        qrt::getter<&I::get_AtEndOfStream>(u"AtEndOfStream", 10002),
        qrt::getter<&I::get_AtEndOfLine>(u"AtEndOfLine", 10003),
        qrt::member<&I::Read>(u"Read", 10004, {u"Characters"}, qrt::Retval),
        qrt::withTextResult<&CTextStream::readLineText>(qrt::member<&I::ReadLine>(u"ReadLine", 10005, {}, qrt::Retval)),
        qrt::member<&I::ReadAll>(u"ReadAll", 10006, {}, qrt::Retval),
        qrt::member<&I::Write>(u"Write", 10007, {u"Text"}),
        qrt::member<&I::WriteLine>(u"WriteLine", 10008, {u"Text"}, optionalText),
        qrt::member<&I::WriteBlankLines>(u"WriteBlankLines", 10009, {u"Lines"}),
        qrt::member<&I::Skip>(u"Skip", 10010, {u"Characters"}),
        qrt::member<&I::SkipLine>(u"SkipLine", 10011),
        qrt::member<&I::Close>(u"Close", 10012),
    });
    return table;
}

HRESULT CTextStream::GetClassInfo(ITypeInfo** info) {
    return qrt::classTypeInfo(u"TextStream", CLSID_TextStream, dispatchTable().typeInfo(), nullptr, info);
}

// ---- Position ------------------------------------------------------------------

HRESULT CTextStream::get_Line(LONG* line) {
    if (!line) return E_POINTER;
    *line = static_cast<LONG>(m_line);
    return S_OK;
}

HRESULT CTextStream::get_Column(LONG* column) {
    if (!column) return E_POINTER;
    *column = static_cast<LONG>(m_column);
    return S_OK;
}

void CTextStream::consume(std::size_t n) {
    const char16_t* p = m_buffer.data() + m_pos;
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = p[i];
        if (c == u'\r') {
            ++m_line;
            m_column = 1;
            m_lastWasCR = true;
        } else if (c == u'\n') {
            if (!m_lastWasCR) ++m_line;  // the LF of a CR LF ends no second line
            m_column = 1;
            m_lastWasCR = false;
        } else {
            ++m_column;
            m_lastWasCR = false;
        }
    }
    m_pos += n;
}

// ---- Reading -------------------------------------------------------------------

HRESULT CTextStream::checkReading() {
    if (m_fd < 0) return fail(err::BadFileMode, u"the stream is closed");
    if (!m_reading) return fail(err::BadFileMode);
    return S_OK;
}

bool CTextStream::fill() {
    if (m_endOfFile) return false;
    // Drop what has been read once it is half the buffer.
    if (m_pos > 0 && m_pos * 2 >= m_buffer.size()) {
        m_buffer.erase(0, m_pos);
        m_pos = 0;
    }
    // Read into a buffer kept for the purpose (growing a string would zero
    // every byte first), then append what came.
    const std::size_t chunk = g_chunkSize;
    if (m_chunkSize != chunk) {
        m_chunk.reset(new char[chunk]);
        m_chunkSize = chunk;
    }
    ssize_t n;
    do {
        n = ::read(m_fd, m_chunk.get(), chunk);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        m_readError = errno;
        n = 0;
    }
    m_raw.append(m_chunk.get(), static_cast<std::size_t>(n));
    if (n == 0) m_endOfFile = true;
    if (m_atStart) {
        // A byte-order mark is no text: wait for enough bytes to tell.
        if (!m_endOfFile && m_raw.size() < 3) return true;
        m_atStart = false;
        if (m_encoding == Encoding::Ansi && startsWith(m_raw, "\xEF\xBB\xBF")) m_raw.erase(0, 3);
        else if (m_encoding == Encoding::Utf16LE && startsWith(m_raw, "\xFF\xFE")) m_raw.erase(0, 2);
        else if (m_encoding == Encoding::Utf16BE && startsWith(m_raw, "\xFE\xFF")) m_raw.erase(0, 2);
    }
    if (m_encoding == Encoding::Ansi) {
        const std::size_t cut = m_endOfFile ? m_raw.size() : completeUtf8(m_raw);
        appendAnsi(std::string_view(m_raw).substr(0, cut), m_buffer);
        m_raw.erase(0, cut);
    } else {
        const std::size_t cut = m_raw.size() & ~std::size_t{1};
        const bool little = m_encoding == Encoding::Utf16LE;
        const std::size_t start = m_buffer.size();
        m_buffer.resize(start + cut / 2);
        for (std::size_t i = 0; i < cut; i += 2) {
            const auto a = static_cast<unsigned char>(m_raw[i]), b = static_cast<unsigned char>(m_raw[i + 1]);
            m_buffer[start + i / 2] = static_cast<char16_t>(little ? (a | b << 8) : (b | a << 8));
        }
        m_raw.erase(0, cut);
        if (m_endOfFile && !m_raw.empty()) {
            m_buffer += u'\uFFFD';  // an odd last byte
            m_raw.clear();
        }
    }
    return true;
}

bool CTextStream::available() {
    while (m_pos >= m_buffer.size()) {
        if (!fill()) return false;
    }
    return true;
}

HRESULT CTextStream::readFailure() {
    if (m_readError) return fail(errorOfErrno(m_readError));
    return fail(err::InputPastEnd);
}

HRESULT CTextStream::get_AtEndOfStream(VARIANT_BOOL* atEnd) {
    if (!atEnd) return E_POINTER;
    if (HRESULT hr = checkReading(); FAILED(hr)) return hr;
    *atEnd = toVariantBool(!available());
    return S_OK;
}

HRESULT CTextStream::get_AtEndOfLine(VARIANT_BOOL* atEnd) {
    if (!atEnd) return E_POINTER;
    if (HRESULT hr = checkReading(); FAILED(hr)) return hr;
    if (!available()) {
        *atEnd = VARIANT_TRUE;
        return S_OK;
    }
    const char16_t c = m_buffer[m_pos];
    *atEnd = toVariantBool(c == u'\r' || c == u'\n');
    return S_OK;
}

HRESULT CTextStream::Read(LONG characters, BSTR* text) {
    if (!text) return E_POINTER;
    *text = nullptr;
    if (HRESULT hr = checkReading(); FAILED(hr)) return hr;
    if (characters < 0) return fail(err::InvalidCall);
    if (!available()) return readFailure();
    const auto wanted = static_cast<std::size_t>(characters);
    while (m_buffer.size() - m_pos < wanted && fill()) {
    }
    const std::size_t n = std::min(wanted, m_buffer.size() - m_pos);
    *text = SysAllocStringLen(m_buffer.data() + m_pos, static_cast<UINT>(n));
    if (!*text) return fail(err::OutOfMemory);
    consume(n);
    return S_OK;
}

HRESULT CTextStream::ReadAll(BSTR* text) {
    if (!text) return E_POINTER;
    *text = nullptr;
    if (HRESULT hr = checkReading(); FAILED(hr)) return hr;
    if (!available()) return readFailure();
    while (fill()) {
    }
    const std::size_t n = m_buffer.size() - m_pos;
    *text = SysAllocStringLen(m_buffer.data() + m_pos, static_cast<UINT>(n));
    if (!*text) return fail(err::OutOfMemory);
    consume(n);
    return S_OK;
}

HRESULT CTextStream::Skip(LONG characters) {
    if (HRESULT hr = checkReading(); FAILED(hr)) return hr;
    if (characters < 0) return fail(err::InvalidCall);
    if (characters == 0) return S_OK;
    if (!available()) return readFailure();
    const auto wanted = static_cast<std::size_t>(characters);
    while (m_buffer.size() - m_pos < wanted && fill()) {
    }
    consume(std::min(wanted, m_buffer.size() - m_pos));
    return S_OK;
}

template <class Put>
HRESULT CTextStream::readLine(Put&& put) {
    if (HRESULT hr = checkReading(); FAILED(hr)) return hr;
    if (!available()) return readFailure();
    // Scans for the line end, filling as needed; offsets are kept from
    // m_pos, since filling may move the buffer.
    std::size_t scanned = 0;
    for (;;) {
        const char16_t* b = m_buffer.data();
        const std::size_t size = m_buffer.size();
        const std::size_t from = m_pos + scanned;
        const std::size_t i = from + lineEnd(b + from, size - from);
        // A CR at the end of what is decoded may be the first half of CR LF.
        const bool undecided = i < size && b[i] == u'\r' && i + 1 == size && !m_endOfFile;
        if (i < size && !undecided) {
            const std::size_t length = i - m_pos;
            const std::size_t ending = (b[i] == u'\r' && i + 1 < size && b[i + 1] == u'\n') ? 2 : 1;
            if (!put(b + m_pos, length)) return fail(err::OutOfMemory);
            m_pos = i + ending;
            ++m_line;
            m_column = 1;
            m_lastWasCR = false;
            return S_OK;
        }
        if (i >= size && m_endOfFile) {
            // The last line, without an end.
            const std::size_t length = size - m_pos;
            if (!put(b + m_pos, length)) return fail(err::OutOfMemory);
            consume(length);
            return S_OK;
        }
        scanned = i - m_pos;
        fill();
    }
}

HRESULT CTextStream::ReadLine(BSTR* text) {
    if (!text) return E_POINTER;
    *text = nullptr;
    return readLine([text](const char16_t* line, std::size_t length) {
        *text = SysAllocStringLen(line, static_cast<UINT>(length));
        return *text != nullptr;
    });
}

HRESULT CTextStream::readLineText(std::u16string& text) {
    return readLine([&text](const char16_t* line, std::size_t length) {
        try {
            text.assign(line, length);
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    });
}

HRESULT CTextStream::SkipLine() {
    BSTR line = nullptr;
    const HRESULT hr = ReadLine(&line);
    SysFreeString(line);
    return hr;
}

// ---- Writing -------------------------------------------------------------------

HRESULT CTextStream::checkWriting() {
    if (m_fd < 0) return fail(err::BadFileMode, u"the stream is closed");
    if (m_reading) return fail(err::BadFileMode);
    return S_OK;
}

void CTextStream::countWritten(std::u16string_view text) {
    for (char16_t c : text) {
        if (c == u'\r') {
            ++m_line;
            m_column = 1;
            m_lastWasCR = true;
        } else if (c == u'\n') {
            if (!m_lastWasCR) ++m_line;
            m_column = 1;
            m_lastWasCR = false;
        } else {
            ++m_column;
            m_lastWasCR = false;
        }
    }
}

HRESULT CTextStream::put(std::u16string_view text) {
    if (m_encoding == Encoding::Ansi) {
        m_out += qrt::encodeUtf8(text);
    } else {
        const bool little = m_encoding == Encoding::Utf16LE;
        const std::size_t start = m_out.size();
        m_out.resize(start + 2 * text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char lo = static_cast<char>(text[i] & 0xFF), hi = static_cast<char>(text[i] >> 8);
            m_out[start + 2 * i] = little ? lo : hi;
            m_out[start + 2 * i + 1] = little ? hi : lo;
        }
    }
    countWritten(text);
    if (m_out.size() >= kFlushAt) return flush();
    return S_OK;
}

HRESULT CTextStream::flush() {
    std::size_t done = 0;
    while (done < m_out.size()) {
        const ssize_t n = ::write(m_fd, m_out.data() + done, m_out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return writeFailure(n < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    m_out.clear();
    return S_OK;
}

HRESULT CTextStream::writeFailure(int error) {
    const std::u16string path = paths::fromNative(m_path);
    std::u16string detail;
    if (m_createdNew) {
        ::close(m_fd);
        ::unlink(m_path.c_str());
        detail = u"the new file " + path + u" could not be written whole and was removed";
    } else if (m_originalSize >= 0) {
        const bool restored = ::ftruncate(m_fd, static_cast<off_t>(m_originalSize)) == 0;
        ::close(m_fd);
        detail = restored ? u"nothing was appended to " + path : u"what was appended to " + path + u" is incomplete";
    } else {
        ::close(m_fd);
        detail = u"the file " + path + u" is incomplete";
    }
    m_fd = -1;
    m_out.clear();
    return fail(errorOfErrno(error), detail);
}

HRESULT CTextStream::Write(BSTR text) {
    if (HRESULT hr = checkWriting(); FAILED(hr)) return hr;
    return put(qrt::bstrView(text));
}

HRESULT CTextStream::WriteLine(BSTR text) {
    if (HRESULT hr = checkWriting(); FAILED(hr)) return hr;
    if (HRESULT hr = put(qrt::bstrView(text)); FAILED(hr)) return hr;
    return put(u"\n");
}

HRESULT CTextStream::WriteBlankLines(LONG lines) {
    if (HRESULT hr = checkWriting(); FAILED(hr)) return hr;
    if (lines < 0) return fail(err::InvalidCall);
    for (LONG i = 0; i < lines; ++i) {
        if (HRESULT hr = put(u"\n"); FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CTextStream::Close() {
    if (m_fd < 0) return S_OK;
    if (!m_reading) {
        if (HRESULT hr = flush(); FAILED(hr)) return hr;
    }
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0 && !m_reading && errno != EINTR) {
        const int error = errno;
        if (m_createdNew) ::unlink(m_path.c_str());
        return fail(errorOfErrno(error), m_createdNew ? u"the new file " + paths::fromNative(m_path) +
                                                            u" could not be written whole and was removed"
                                                      : u"the file " + paths::fromNative(m_path) + u" may be incomplete");
    }
    return S_OK;
}

}  // namespace scripting
