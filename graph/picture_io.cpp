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
        if (FAILED(m_stream->Write(data, want, &written)) || written != want) return -1;
        return written;
    }

private:
    IStream* m_stream;
};

}  // namespace

int findEncoderByMimeType(const QString& mimeType) {
    const QList<QByteArray> types = QImageWriter::supportedMimeTypes();
    for (qsizetype i = 0; i < types.size(); ++i)
        if (QString::fromLatin1(types[i]) == mimeType) return static_cast<int>(i);
    return -1;
}

HRESULT saveImageAsJpeg(const QImage& picture, IStream* stream) {
    if (!stream || picture.isNull()) return E_FAIL;
    if (findEncoderByMimeType(QStringLiteral("image/jpeg")) < 0) return E_FAIL;
    // Encode first, so a failure writes nothing into the stream.
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        if (!buffer.open(QIODevice::WriteOnly)) return E_FAIL;
        QImageWriter writer(&buffer, "jpeg");
        const QImage opaque = picture.hasAlphaChannel() ? picture.convertToFormat(QImage::Format_RGB32) : picture;
        if (!writer.write(opaque)) return E_FAIL;
    }
    StreamDevice device(stream);
    if (!device.open(QIODevice::WriteOnly)) return E_FAIL;
    return device.write(bytes) == bytes.size() ? S_OK : E_FAIL;
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
