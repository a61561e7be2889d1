// Snippet files: prepared pieces of script in the data folder's
// Include/JScript and Include/VBScript folders, one "NAME.i" file each,
// that the Import dialog inserts into the editor. A snippet's first line is
// "//" + a one-line description, which the dialog shows.
#pragma once

#include "runtime/types.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace quillan::ui {

// The absolute snippet folder of a language (the editor's codes: 1
// JScript, 2 VBScript) under dataFolder; empty for any other code.
QString snippetFolder(const QString& dataFolder, LONG language);

// The snippets of a folder, sorted: each file matching "*.i" named up to
// its last dot. Folders and names without a dot are left out; a missing
// folder gives none.
QStringList snippetNames(const QString& folder);

// The file of a snippet name in folder.
QString snippetPath(const QString& folder, const QString& name);

// A snippet file's text: UTF-8, with bytes that are not valid UTF-8 read
// as Windows-1252 (UTF-16 with its mark is read too). Nothing when the file
// cannot be read.
std::optional<QString> readSnippet(const QString& path);

// The description of a snippet's text: its first line when that line starts
// with "//" at the very start of the text, without the "//" and the line end
// and trimmed of blanks. Empty for text that does not start with "//" and
// for a description line that has no line feed after it.
QString snippetDescription(const QString& text);

// What the editor receives for a snippet: the whole text. For VBScript the
// description line's "//" (a JScript comment, not valid VBScript) becomes a
// VBScript comment mark, so that the inserted text runs.
QString snippetInsertText(const QString& text, LONG language);

}  // namespace quillan::ui
