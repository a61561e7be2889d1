#include "app/core/script_file.h"

#include "runtime/text.h"

#include <QFile>
#include <QSaveFile>

namespace quillan {

TextEncoding detectEncoding(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) return TextEncoding::Utf8WithMark;
    if (bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) return TextEncoding::Utf16Little;
    if (bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) return TextEncoding::Utf16Big;
    return qrt::isValidUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::Windows1252;
}

bool readScriptFile(const QString& path, ScriptText& out, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return false;
    }
    const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    out.encoding = detectEncoding(view);
    out.text = qrt::decodeText(view);
    return true;
}

namespace {

std::string utf16Bytes(std::u16string_view text, bool little) {
    std::string out;
    out.reserve(2 * text.size() + 2);
    out += little ? "\xFF\xFE" : "\xFE\xFF";
    for (const char16_t unit : text) {
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        out.push_back(little ? low : high);
        out.push_back(little ? high : low);
    }
    return out;
}

}  // namespace

WriteResult writeScriptFile(const QString& path, std::u16string_view text, TextEncoding encoding) {
    WriteResult result;
    result.encoding = encoding;
    std::string bytes;
    switch (encoding) {
    case TextEncoding::Utf8: bytes = qrt::encodeUtf8(text); break;
    case TextEncoding::Utf8WithMark: bytes = "\xEF\xBB\xBF" + qrt::encodeUtf8(text); break;
    case TextEncoding::Utf16Little: bytes = utf16Bytes(text, true); break;
    case TextEncoding::Utf16Big: bytes = utf16Bytes(text, false); break;
    case TextEncoding::Windows1252:
        if (!qrt::encodeWindows1252(text, bytes)) {
            bytes = qrt::encodeUtf8(text);
            result.changedEncoding = true;
            result.encoding = TextEncoding::Utf8;
        }
        break;
    }
    // The old file stays as it was until the new one is complete: a full
    // disk or a lost connection never leaves half a script.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()) ||
        !file.commit()) {
        result.error = file.errorString();
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace quillan
