// The interfaces and identifiers of the scripting runtime library: the
// Dictionary, the FileSystemObject and the objects it hands out.
#pragma once

#include "runtime/dispatch.h"

constexpr GUID LIBID_Scripting = qrt::makeGuid("{4E9597B7-1991-4A39-BF70-668E4DD225F9}");
constexpr CLSID CLSID_Dictionary = qrt::makeGuid("{01268042-70D6-4057-9F28-81CC9C7B34A8}");
constexpr CLSID CLSID_FileSystemObject = qrt::makeGuid("{2C60A471-239C-4BC9-BC08-92438D785488}");

// Keys and items in the order they were added. Keys are compared by value:
// numbers of any numeric type by their value, strings by their characters
// (or without regard to case under CompareMode 1), objects by identity.
struct IDictionary : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{46B62357-7BFD-47F9-806A-5E2116DE16A0}");
    using Base = IDispatch;
    virtual HRESULT putref_Item(VARIANT key, VARIANT item) = 0;       // DISPID_VALUE
    virtual HRESULT put_Item(VARIANT key, VARIANT item) = 0;          // DISPID_VALUE
    virtual HRESULT get_Item(VARIANT key, VARIANT* item) = 0;         // DISPID_VALUE
    virtual HRESULT Add(VARIANT key, VARIANT item) = 0;               // 1
    virtual HRESULT get_Count(LONG* count) = 0;                       // 2
    virtual HRESULT Exists(VARIANT key, VARIANT_BOOL* exists) = 0;    // 3
    virtual HRESULT Items(VARIANT* items) = 0;                        // 4
    virtual HRESULT put_Key(VARIANT key, VARIANT newKey) = 0;         // 5
    virtual HRESULT Keys(VARIANT* keys) = 0;                          // 6
    virtual HRESULT Remove(VARIANT key) = 0;                          // 7
    virtual HRESULT RemoveAll() = 0;                                  // 8
    virtual HRESULT put_CompareMode(LONG mode) = 0;                   // 9
    virtual HRESULT get_CompareMode(LONG* mode) = 0;                  // 9
    virtual HRESULT get_HashVal(VARIANT key, VARIANT* hash) = 0;      // 10
    virtual HRESULT _NewEnum(IUnknown** keys) = 0;                    // DISPID_NEWENUM

protected:
    ~IDictionary() = default;
};

// Modes of OpenTextFile.
constexpr LONG ForReading = 1;
constexpr LONG ForWriting = 2;
constexpr LONG ForAppending = 8;
// Formats of OpenTextFile: the system default (a byte-order mark decides),
// UTF-16 little-endian, and ANSI (UTF-8 with the Windows-1252 fallback).
constexpr LONG TristateUseDefault = -2;
constexpr LONG TristateTrue = -1;
constexpr LONG TristateFalse = 0;

struct IFileSystem : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{8602CCE3-C4A7-46BB-89DB-EE01FBEAB62B}");
    using Base = IDispatch;
    virtual HRESULT BuildPath(BSTR path, BSTR name, BSTR* result) = 0;               // 10000
    virtual HRESULT GetDriveName(BSTR path, BSTR* result) = 0;                       // 10001
    virtual HRESULT GetParentFolderName(BSTR path, BSTR* result) = 0;                // 10002
    virtual HRESULT GetFileName(BSTR path, BSTR* result) = 0;                        // 10003
    virtual HRESULT GetBaseName(BSTR path, BSTR* result) = 0;                        // 10004
    virtual HRESULT GetExtensionName(BSTR path, BSTR* result) = 0;                   // 10005
    virtual HRESULT GetAbsolutePathName(BSTR path, BSTR* result) = 0;                // 10006
    virtual HRESULT GetTempName(BSTR* result) = 0;                                   // 10007
    virtual HRESULT DriveExists(BSTR spec, VARIANT_BOOL* exists) = 0;                // 10008
    virtual HRESULT FileExists(BSTR spec, VARIANT_BOOL* exists) = 0;                 // 10009
    virtual HRESULT FolderExists(BSTR spec, VARIANT_BOOL* exists) = 0;               // 10010
    virtual HRESULT GetDrive(BSTR spec, IDispatch** drive) = 0;                      // 10011
    virtual HRESULT GetFile(BSTR path, IDispatch** file) = 0;                        // 10012
    virtual HRESULT GetFolder(BSTR path, IDispatch** folder) = 0;                    // 10013
    virtual HRESULT GetSpecialFolder(LONG which, IDispatch** folder) = 0;            // 10014
    virtual HRESULT DeleteFile(BSTR spec, VARIANT_BOOL force) = 0;                   // 1200
    virtual HRESULT DeleteFolder(BSTR spec, VARIANT_BOOL force) = 0;                 // 1201
    virtual HRESULT MoveFile(BSTR source, BSTR destination) = 0;                     // 1202
    virtual HRESULT MoveFolder(BSTR source, BSTR destination) = 0;                   // 1203
    virtual HRESULT CopyFile(BSTR source, BSTR destination, VARIANT_BOOL overwrite) = 0;    // 1204
    virtual HRESULT CopyFolder(BSTR source, BSTR destination, VARIANT_BOOL overwrite) = 0;  // 1205
    virtual HRESULT CreateFolder(BSTR path, IDispatch** folder) = 0;                 // 1120
    virtual HRESULT CreateTextFile(BSTR name, VARIANT_BOOL overwrite, VARIANT_BOOL unicode,
                                   IDispatch** stream) = 0;                          // 1101
    virtual HRESULT OpenTextFile(BSTR name, LONG mode, VARIANT_BOOL create, LONG format,
                                 IDispatch** stream) = 0;                            // 1100
    virtual HRESULT get_Drives(IDispatch** drives) = 0;                              // 10015

protected:
    ~IFileSystem() = default;
};

struct ITextStream : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{11E06E2C-B7ED-4757-B9FD-C89C7C1711C8}");
    using Base = IDispatch;
    virtual HRESULT get_Line(LONG* line) = 0;                     // 10000
    virtual HRESULT get_Column(LONG* column) = 0;                 // 10001
    virtual HRESULT get_AtEndOfStream(VARIANT_BOOL* atEnd) = 0;   // 10002
    virtual HRESULT get_AtEndOfLine(VARIANT_BOOL* atEnd) = 0;     // 10003
    virtual HRESULT Read(LONG characters, BSTR* text) = 0;        // 10004
    virtual HRESULT ReadLine(BSTR* text) = 0;                     // 10005
    virtual HRESULT ReadAll(BSTR* text) = 0;                      // 10006
    virtual HRESULT Write(BSTR text) = 0;                         // 10007
    virtual HRESULT WriteLine(BSTR text) = 0;                     // 10008
    virtual HRESULT WriteBlankLines(LONG lines) = 0;              // 10009
    virtual HRESULT Skip(LONG characters) = 0;                    // 10010
    virtual HRESULT SkipLine() = 0;                               // 10011
    virtual HRESULT Close() = 0;                                  // 10012

protected:
    ~ITextStream() = default;
};
