// The File, Folder and Drive objects of the FileSystemObject and their
// collections. An object names its path; it reads the disk each time a
// script asks, so an object whose file has gone answers with an error
// (53 File not found, 76 Path not found) instead of stale values.
#pragma once

#include "scripting/scripting.h"

#include <string>

namespace scripting {

// The error source of the file-system objects.
inline constexpr std::u16string_view kFileSystemSource = u"Scripting.FileSystemObject";

// Objects for a path in file-system form (UTF-8, "/"); fail with 53 / 76
// when there is no such file / folder.
HRESULT newFile(const std::string& native, IDispatch** out);
HRESULT newFolder(const std::string& native, IDispatch** out);
// The drive (mounted file system) holding a path, every drive, and whether
// a path is the root of one.
HRESULT driveOf(const std::string& native, IDispatch** out);
HRESULT allDrives(IDispatch** out);
bool isDriveRoot(const std::string& native);

// The native absolute form of a path a script gave.
std::string nativeAbsolute(std::u16string_view path);

// Builds the dispatch tables now (their type information counts as objects).
void buildObjectTables();

}  // namespace scripting
