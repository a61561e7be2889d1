#include "graph/picture_io.h"

#include <QBuffer>
#include <QByteArray>
#include <QIODevice>
#include <QImageReader>
#include <QImageWriter>

namespace tarvik {

namespace {

// A sequential device over a stream: reads and writes go to the stream at
// its own seek pointer.
class StreamDevice final : public QIODevice {
public:
    explicit StreamDevice(IStream* stream) : m_stream(stream) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        ULONG read = 0;
        const ULONG want = static_cast<ULONG>(std::min<qint64>(maxSize, 1 << 30));
        if (FAILED(m_stream->Read(data, want, &read))) return -1;
        return read;
    }
    qint64 writeData(const char* data, qint64 size) override {
        ULONG written = 0;
        const ULONG want = static_cast<ULONG>(std::min<qint64>(size, 1 << 30));
        const HRESULT hr = m_stream->Write(data, want, &written);
        if (FAILED(hr)) m_status = hr;
        if (FAILED(hr) || written != want) return -1;
        return written;
    }

public:
    // The failure of the stream's last refused write, S_OK when none.
    HRESULT status() const { return m_status; }

private:
    IStream* m_stream;
    HRESULT m_status = S_OK;
};

}  // namespace

bool jpegEncoderInstalled() {
    // Listing the writers' MIME types would load every image plugin there is;
    // asking for a writer of the one format loads the one plugin.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, "jpeg");
    return writer.canWrite();
}

QByteArray encodeJpeg(const QImage& picture) {
    QByteArray bytes;
    if (picture.isNull()) return bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly)) return {};
    QImageWriter writer(&buffer, "jpeg");
    const QImage opaque = picture.hasAlphaChannel() ? picture.convertToFormat(QImage::Format_RGB32) : picture;
    if (!writer.write(opaque)) return {};
    return bytes;
}

HRESULT saveImageAsJpeg(const QImage& picture, IStream* stream, HRESULT* writeStatus) {
    if (writeStatus) *writeStatus = S_OK;
    if (!stream || picture.isNull()) return E_FAIL;
    if (!jpegEncoderInstalled()) return E_FAIL;
    // Encode first, so a failure writes nothing into the stream.
    const QByteArray bytes = encodeJpeg(picture);
    if (bytes.isEmpty()) return E_FAIL;
    StreamDevice device(stream);
    if (!device.open(QIODevice::WriteOnly)) return E_FAIL;
    if (device.write(bytes) == bytes.size()) return S_OK;
    if (writeStatus) *writeStatus = device.status();
    return E_FAIL;
}

HRESULT loadImageFromStream(QImage& picture, IStream* stream) {
    if (!stream) return E_FAIL;
    StreamDevice device(stream);
    if (!device.open(QIODevice::ReadOnly)) return E_FAIL;
    // Read the whole remaining stream first: image readers need to seek.
    const QByteArray bytes = device.readAll();
    QImage decoded;
    if (!decoded.loadFromData(bytes)) return E_FAIL;
    picture = std::move(decoded);
    return S_OK;
}

}  // namespace tarvik
