// TextStream: a text file opened for reading, writing or appending.
//
// Reading decodes as the stream goes, a chunk at a time, so a large file
// costs no more memory than a chunk and its longest line; line ends may be
// CR LF, LF or CR. Writing ends lines with LF and buffers its output; a
// write that fails removes a file the stream itself created (so no partial
// new file is left behind), cuts an appended file back to its old length,
// and reports what it did.
#pragma once

#include "runtime/dispatch_table.h"
#include "runtime/object.h"
#include "runtime/typeinfo.h"
#include "scripting/scripting.h"

#include <memory>
#include <string>

namespace scripting {

struct OpenRequest {
    std::u16string path;          // as the script gave it
    LONG mode = ForReading;       // ForReading, ForWriting or ForAppending
    bool create = false;          // a missing file is created
    bool keepExisting = false;    // an existing file is an error (58) instead of being replaced
    LONG format = TristateFalse;  // TristateFalse, TristateTrue or TristateUseDefault
};

// Opens the file and hands out its TextStream; failures are script errors.
HRESULT openTextStream(const OpenRequest& request, IDispatch** stream);

class CTextStream final : public qrt::ComObject<qrt::DispatchImpl<CTextStream, ITextStream>, IProvideClassInfo> {
public:
    enum class Encoding { Ansi, Utf16LE, Utf16BE };

    CTextStream(int fd, bool reading, Encoding encoding, std::string nativePath, bool createdNew,
                long long originalSize);
    ~CTextStream() override;

    static const qrt::DispatchTable& dispatchTable();

    HRESULT get_Line(LONG* line) override;
    HRESULT get_Column(LONG* column) override;
    HRESULT get_AtEndOfStream(VARIANT_BOOL* atEnd) override;
    HRESULT get_AtEndOfLine(VARIANT_BOOL* atEnd) override;
    HRESULT Read(LONG characters, BSTR* text) override;
    HRESULT ReadLine(BSTR* text) override;
    HRESULT ReadAll(BSTR* text) override;
    HRESULT Write(BSTR text) override;
    HRESULT WriteLine(BSTR text) override;
    HRESULT WriteBlankLines(LONG lines) override;
    HRESULT Skip(LONG characters) override;
    HRESULT SkipLine() override;
    HRESULT Close() override;

    HRESULT GetClassInfo(ITypeInfo** info) override;

    // ReadLine for callers that take the line as a string of their own
    // (qrt::withTextResult): the same line, errors and position.
    HRESULT readLineText(std::u16string& text);

    // Characters a read takes from the file at a time (tests make it small).
    static void setChunkSize(std::size_t bytes);

private:
    // Reading.
    HRESULT checkReading();
    // Decodes the next chunk of the file into the buffer; false at the end
    // of the file (or on a read error, recorded in m_readError).
    bool fill();
    // True when at least one character is ready to read.
    bool available();
    // Moves past n buffered characters, counting lines and columns.
    void consume(std::size_t n);
    HRESULT readFailure();
    // Reads the next line, handing its characters to put (false: no
    // memory for them) before moving past it.
    template <class Put>
    HRESULT readLine(Put&& put);

    // Writing.
    HRESULT checkWriting();
    HRESULT put(std::u16string_view text);
    HRESULT flush();
    // Ends writing after a failed write: undoes what can be undone.
    HRESULT writeFailure(int error);
    void countWritten(std::u16string_view text);

    int m_fd;
    bool m_reading;
    Encoding m_encoding;
    std::string m_path;
    bool m_createdNew;
    long long m_originalSize;

    // Reading state: undecoded bytes left over from the last chunk, decoded
    // characters from m_pos on not yet read.
    std::string m_raw;
    std::unique_ptr<char[]> m_chunk;  // what one read brings
    std::size_t m_chunkSize = 0;
    std::u16string m_buffer;
    std::size_t m_pos = 0;
    bool m_endOfFile = false;
    bool m_atStart = true;
    int m_readError = 0;

    // Writing state.
    std::string m_out;

    long m_line = 1;
    long m_column = 1;
    bool m_lastWasCR = false;
};

}  // namespace scripting
