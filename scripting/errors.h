// The run-time errors of the scripting library: the numbers and texts that
// scripts see in Err.Number / Err.Description (VBScript) and in the number
// and description of a caught error (JScript).
#pragma once

#include "runtime/types.h"

#include <string>
#include <string_view>

namespace scripting {

namespace err {
constexpr int InvalidCall = 5;        // "Invalid procedure call or argument"
constexpr int OutOfMemory = 7;
constexpr int TypeMismatch = 13;
constexpr int BadFileName = 52;       // "Bad file name or number"
constexpr int FileNotFound = 53;
constexpr int BadFileMode = 54;
constexpr int FileAlreadyOpen = 55;
constexpr int DeviceIoError = 57;
constexpr int FileAlreadyExists = 58;
constexpr int DiskFull = 61;
constexpr int InputPastEnd = 62;
constexpr int DeviceUnavailable = 68;
constexpr int PermissionDenied = 70;
constexpr int PathFileAccess = 75;    // "Path/File access error"
constexpr int PathNotFound = 76;
constexpr int KeyExists = 457;        // "This key is already associated with an element of this collection"
constexpr int ElementNotFound = 32811;
}  // namespace err

// The status of a run-time error number (0x800A0000 | number).
constexpr HRESULT errorStatus(int number) {
    return static_cast<HRESULT>(0x800A0000u | (static_cast<std::uint32_t>(number) & 0xFFFFu));
}

// The standard text of an error number.
std::u16string_view errorText(int number);

// Records the error for the caller (source and text) and returns its status;
// a detail, when given, follows the standard text after ": ".
HRESULT raise(std::u16string_view source, int number, std::u16string_view detail = {});

// The error number of a failed system call's errno, for a file operation.
int errorOfErrno(int error);

}  // namespace scripting
