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
    virtual HRESULT DriveExists(BSTR pathText, VARIANT_BOOL* exists) = 0;                // 10008
    virtual HRESULT FileExists(BSTR pathText, VARIANT_BOOL* exists) = 0;                 // 10009
    virtual HRESULT FolderExists(BSTR pathText, VARIANT_BOOL* exists) = 0;               // 10010
    virtual HRESULT GetDrive(BSTR pathText, IDispatch** drive) = 0;                      // 10011
    virtual HRESULT GetFile(BSTR path, IDispatch** file) = 0;                        // 10012
    virtual HRESULT GetFolder(BSTR path, IDispatch** folder) = 0;                    // 10013
    virtual HRESULT GetSpecialFolder(LONG which, IDispatch** folder) = 0;            // 10014
    virtual HRESULT DeleteFile(BSTR pathText, VARIANT_BOOL force) = 0;                   // 1200
    virtual HRESULT DeleteFolder(BSTR pathText, VARIANT_BOOL force) = 0;                 // 1201
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

// File attributes as scripts read them.
constexpr LONG AttributeReadOnly = 1;
constexpr LONG AttributeHidden = 2;     // the name starts with "."
constexpr LONG AttributeDirectory = 16;
constexpr LONG AttributeAlias = 1024;   // a symbolic link

// What a File and a Folder have in common comes first, in the same order.
struct IFile : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{2773F403-9242-4775-88EC-5EC39F9BA490}");
    using Base = IDispatch;
    virtual HRESULT get_Path(BSTR* path) = 0;                           // DISPID_VALUE
    virtual HRESULT get_Name(BSTR* name) = 0;                           // 1000
    virtual HRESULT put_Name(BSTR name) = 0;                            // 1000
    virtual HRESULT get_Size(VARIANT* size) = 0;                        // 1001
    virtual HRESULT get_DateCreated(VARIANT* date) = 0;                   // 1002
    virtual HRESULT get_DateLastModified(VARIANT* date) = 0;              // 1003
    virtual HRESULT get_DateLastAccessed(VARIANT* date) = 0;              // 1004
    virtual HRESULT get_Attributes(LONG* attributes) = 0;               // 1005
    virtual HRESULT get_ParentFolder(IDispatch** folder) = 0;           // 1006
    virtual HRESULT get_Type(BSTR* type) = 0;                           // 1007
    virtual HRESULT get_Drive(IDispatch** drive) = 0;                   // 1008
    virtual HRESULT Delete(VARIANT_BOOL force) = 0;                     // 1200
    virtual HRESULT Copy(BSTR destination, VARIANT_BOOL overwrite) = 0; // 1202
    virtual HRESULT Move(BSTR destination) = 0;                         // 1204
    virtual HRESULT OpenAsTextStream(LONG mode, LONG format, IDispatch** stream) = 0;  // 1100

protected:
    ~IFile() = default;
};

struct IFolder : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{1627CB46-38FE-4704-8183-1C96AC53AE9A}");
    using Base = IDispatch;
    virtual HRESULT get_Path(BSTR* path) = 0;                           // DISPID_VALUE
    virtual HRESULT get_Name(BSTR* name) = 0;                           // 1000
    virtual HRESULT put_Name(BSTR name) = 0;                            // 1000
    virtual HRESULT get_Size(VARIANT* size) = 0;                        // 1001
    virtual HRESULT get_DateCreated(VARIANT* date) = 0;                   // 1002
    virtual HRESULT get_DateLastModified(VARIANT* date) = 0;              // 1003
    virtual HRESULT get_DateLastAccessed(VARIANT* date) = 0;              // 1004
    virtual HRESULT get_Attributes(LONG* attributes) = 0;               // 1005
    virtual HRESULT get_ParentFolder(IDispatch** folder) = 0;           // 1006
    virtual HRESULT get_Type(BSTR* type) = 0;                           // 1007
    virtual HRESULT get_Drive(IDispatch** drive) = 0;                   // 1008
    virtual HRESULT Delete(VARIANT_BOOL force) = 0;                     // 1200
    virtual HRESULT Copy(BSTR destination, VARIANT_BOOL overwrite) = 0; // 1202
    virtual HRESULT Move(BSTR destination) = 0;                         // 1204
    virtual HRESULT get_IsRootFolder(VARIANT_BOOL* root) = 0;           // 10000
    virtual HRESULT get_Files(IDispatch** files) = 0;                   // 10001
    virtual HRESULT get_SubFolders(IDispatch** folders) = 0;            // 10002
    virtual HRESULT CreateTextFile(BSTR name, VARIANT_BOOL overwrite, VARIANT_BOOL unicode,
                                   IDispatch** stream) = 0;             // 1101

protected:
    ~IFolder() = default;
};

// The files, folders or drives of a collection, by name (or path for drives).
struct IItemCollection : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{35AEDFFA-5D7E-4417-B5F3-B8C844D286D4}");
    using Base = IDispatch;
    virtual HRESULT get_Item(VARIANT key, IDispatch** item) = 0;        // DISPID_VALUE
    virtual HRESULT get_Count(LONG* count) = 0;                         // 1
    virtual HRESULT get__NewEnum(IUnknown** items) = 0;                 // DISPID_NEWENUM
    virtual HRESULT Add(BSTR name, IDispatch** folder) = 0;             // 2, folders only

protected:
    ~IItemCollection() = default;
};

// A mounted file system.
struct IDrive : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{FAC09D63-18BF-4C8E-B89B-C04A3DE478FB}");
    using Base = IDispatch;
    virtual HRESULT get_Path(BSTR* path) = 0;                           // DISPID_VALUE
    virtual HRESULT get_DriveLetter(BSTR* letter) = 0;                  // 10000
    virtual HRESULT get_DriveType(LONG* type) = 0;                      // 10001
    virtual HRESULT get_RootFolder(IDispatch** folder) = 0;             // 10002
    virtual HRESULT get_AvailableSpace(VARIANT* bytes) = 0;             // 10003
    virtual HRESULT get_FreeSpace(VARIANT* bytes) = 0;                  // 10004
    virtual HRESULT get_TotalSize(VARIANT* bytes) = 0;                  // 10005
    virtual HRESULT get_VolumeName(BSTR* name) = 0;                     // 10006
    virtual HRESULT get_FileSystem(BSTR* name) = 0;                     // 10007
    virtual HRESULT get_IsReady(VARIANT_BOOL* ready) = 0;               // 10008
    virtual HRESULT get_ShareName(BSTR* name) = 0;                      // 10009

protected:
    ~IDrive() = default;
};
