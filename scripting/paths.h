// Path text as scripts write it: "/" and "\" both separate folders. These
// functions work on the text alone and never touch the disk, except
// absolutePath, which reads the current folder.
#pragma once

#include <string>
#include <string_view>

namespace scripting::paths {

inline bool isSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

// The path with every "\" turned into "/".
std::u16string withSlashes(std::u16string_view path);
// The last element ("" for a root or an empty path); trailing separators are ignored.
std::u16string fileName(std::u16string_view path);
// The last element without its extension.
std::u16string baseName(std::u16string_view path);
// What follows the last "." of the last element ("" without one).
std::u16string extensionName(std::u16string_view path);
// Everything before the last element, without a trailing separator (but a
// lone root stays "/"); "" when the path has a single element.
std::u16string parentFolderName(std::u16string_view path);
// The path made absolute against folder, with "." and ".." resolved as text
// and separators as "/"; symbolic links are left as they are.
std::u16string absolutePath(std::u16string_view path, std::u16string_view folder);
// The current folder of the process.
std::u16string currentFolder();
// path and name joined by one separator.
std::u16string buildPath(std::u16string_view path, std::u16string_view name);

// The file-system form of a path (UTF-8 bytes with "/") and back (bytes
// that are not UTF-8 read as Windows-1252).
std::string toNative(std::u16string_view path);
std::u16string fromNative(std::string_view path);

// True when a name holds "*" or "?".
bool hasWildcards(std::u16string_view name);
// Matches a name against a pattern of "*" (any run) and "?" (any one
// character), without regard to case as the file systems of scripts did.
bool matchesWildcard(std::u16string_view pattern, std::u16string_view name);

}  // namespace scripting::paths
