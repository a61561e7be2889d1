// Reading and writing the user's script files so that saving never changes
// characters the user did not touch: a file is written back in the encoding
// it was read in (UTF-8 with or without its byte-order mark, UTF-16 with its
// mark, or Windows-1252 for files that are not valid UTF-8), and replaced
// whole or not at all.
#pragma once

#include <QString>

#include <string>

namespace quillan {

enum class TextEncoding { Utf8, Utf8WithMark, Utf16Little, Utf16Big, Windows1252 };

// How bytes read from a file are encoded.
TextEncoding detectEncoding(std::string_view bytes);

struct ScriptText {
    std::u16string text;
    TextEncoding encoding = TextEncoding::Utf8;
};

// Reads the file whole; false with the reason when it cannot be read.
bool readScriptFile(const QString& path, ScriptText& out, QString& error);

struct WriteResult {
    bool ok = false;
    QString error;  // why it failed
    // Text with characters Windows-1252 has no byte for was written as
    // UTF-8 instead (encoding then tells the one used).
    bool changedEncoding = false;
    TextEncoding encoding = TextEncoding::Utf8;
};

// Writes text in the given encoding, replacing the file only once all of it
// is written. A file that is not valid UTF-8 stays Windows-1252 unless a
// character needs more.
WriteResult writeScriptFile(const QString& path, std::u16string_view text, TextEncoding encoding);

}  // namespace quillan
