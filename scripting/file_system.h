// FileSystemObject: paths, text files, and the files, folders and drives
// of this machine.
#pragma once

#include "runtime/dispatch_table.h"
#include "runtime/object.h"
#include "runtime/typeinfo.h"
#include "scripting/scripting.h"

namespace scripting {

class CFileSystemObject final
    : public qrt::ComObject<qrt::DispatchImpl<CFileSystemObject, IFileSystem>, IProvideClassInfo> {
public:
    static const qrt::DispatchTable& dispatchTable();
    static HRESULT create(REFIID iid, void** out);

    HRESULT BuildPath(BSTR path, BSTR name, BSTR* result) override;
    HRESULT GetDriveName(BSTR path, BSTR* result) override;
    HRESULT GetParentFolderName(BSTR path, BSTR* result) override;
    HRESULT GetFileName(BSTR path, BSTR* result) override;
    HRESULT GetBaseName(BSTR path, BSTR* result) override;
    HRESULT GetExtensionName(BSTR path, BSTR* result) override;
    HRESULT GetAbsolutePathName(BSTR path, BSTR* result) override;
    HRESULT GetTempName(BSTR* result) override;
    HRESULT DriveExists(BSTR pathText, VARIANT_BOOL* exists) override;
    HRESULT FileExists(BSTR pathText, VARIANT_BOOL* exists) override;
    HRESULT FolderExists(BSTR pathText, VARIANT_BOOL* exists) override;
    HRESULT GetDrive(BSTR pathText, IDispatch** drive) override;
    HRESULT GetFile(BSTR path, IDispatch** file) override;
    HRESULT GetFolder(BSTR path, IDispatch** folder) override;
    HRESULT GetSpecialFolder(LONG which, IDispatch** folder) override;
    HRESULT DeleteFile(BSTR pathText, VARIANT_BOOL force) override;
    HRESULT DeleteFolder(BSTR pathText, VARIANT_BOOL force) override;
    HRESULT MoveFile(BSTR source, BSTR destination) override;
    HRESULT MoveFolder(BSTR source, BSTR destination) override;
    HRESULT CopyFile(BSTR source, BSTR destination, VARIANT_BOOL overwrite) override;
    HRESULT CopyFolder(BSTR source, BSTR destination, VARIANT_BOOL overwrite) override;
    HRESULT CreateFolder(BSTR path, IDispatch** folder) override;
    HRESULT CreateTextFile(BSTR name, VARIANT_BOOL overwrite, VARIANT_BOOL unicode, IDispatch** stream) override;
    HRESULT OpenTextFile(BSTR name, LONG mode, VARIANT_BOOL create, LONG format, IDispatch** stream) override;
    HRESULT get_Drives(IDispatch** drives) override;

    HRESULT GetClassInfo(ITypeInfo** info) override;
};

}  // namespace scripting
