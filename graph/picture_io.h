// Pictures in streams: JPEG encoding into a stream at its seek pointer, and
// decoding of any picture format Qt reads from a stream.
#pragma once

#include "runtime/storage.h"

#include <QImage>
#include <QString>

namespace tarvik {

// Whether an image writer for JPEG is installed. Only that writer's plugin
// is loaded to find out, not every installed one.
bool jpegEncoderInstalled();

// Writes the picture as a JPEG (default settings) where the stream's seek
// pointer stands; the stream is neither rewound nor truncated. S_OK or
// E_FAIL; when the stream refused the bytes, writeStatus (if given) receives
// its failure.
HRESULT saveImageAsJpeg(const QImage& picture, IStream* stream, HRESULT* writeStatus = nullptr);

// The picture as the bytes of a JPEG file (default settings); empty when it
// cannot be encoded.
QByteArray encodeJpeg(const QImage& picture);

// Decodes a picture from the stream's seek pointer on. On failure E_FAIL and
// picture is left as it was.
HRESULT loadImageFromStream(QImage& picture, IStream* stream);

}  // namespace tarvik
