#include "scripting/file_system.h"

#include "scripting/errors.h"
#include "scripting/fs_objects.h"
#include "scripting/fs_operations.h"
#include "scripting/paths.h"
#include "scripting/text_stream.h"

#include <cstdlib>
#include <random>

#include <sys/stat.h>

namespace scripting {

namespace {

constexpr std::u16string_view kSource = u"Scripting.FileSystemObject";

HRESULT text(std::u16string_view value, BSTR* out) {
    if (!out) return E_POINTER;
    *out = qrt::allocBstr(value);
    return *out ? S_OK : raise(kSource, err::OutOfMemory);
}

bool statPath(BSTR path, struct stat& info) {
    const std::u16string_view p = qrt::bstrView(path);
    return !p.empty() && ::stat(paths::toNative(p).c_str(), &info) == 0;
}

VARIANT longValue(LONG value) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}
VARIANT boolValue(bool value) {
    VARIANT v;
    v.vt = VT_BOOL;
    v.boolVal = toVariantBool(value);
    return v;
}

}  // namespace

const qrt::DispatchTable& CFileSystemObject::dispatchTable() {
    using I = IFileSystem;
    static const qrt::MemberOptions openOptions{
        .retval = true, .optional = 3, .defaults = {longValue(ForReading), boolValue(false), longValue(TristateFalse)}};
    static const qrt::MemberOptions createOptions{
        .retval = true, .optional = 2, .defaults = {boolValue(true), boolValue(false)}};
    static const qrt::MemberOptions optionalFlag{.retval = false, .optional = 1, .defaults = {}};
    static const qrt::MemberOptions optionalTrue{.retval = false, .optional = 1, .defaults = {boolValue(true)}};
    static const qrt::DispatchTable table(u"IFileSystem", IFileSystem::IID, {
        qrt::member<&I::BuildPath>(u"BuildPath", 10000, {u"Path", u"Name"}, qrt::Retval),
        qrt::member<&I::GetDriveName>(u"GetDriveName", 10001, {u"Path"}, qrt::Retval),
        qrt::member<&I::GetParentFolderName>(u"GetParentFolderName", 10002, {u"Path"}, qrt::Retval),
        qrt::member<&I::GetFileName>(u"GetFileName", 10003, {u"Path"}, qrt::Retval),
        qrt::member<&I::GetBaseName>(u"GetBaseName", 10004, {u"Path"}, qrt::Retval),
        qrt::member<&I::GetExtensionName>(u"GetExtensionName", 10005, {u"Path"}, qrt::Retval),
        qrt::member<&I::GetAbsolutePathName>(u"GetAbsolutePathName", 10006, {u"Path"}, qrt::Retval),
        qrt::member<&I::GetTempName>(u"GetTempName", 10007, {}, qrt::Retval),
        qrt::member<&I::FileExists>(u"FileExists", 10009, {u"FileSpec"}, qrt::Retval),
        qrt::member<&I::FolderExists>(u"FolderExists", 10010, {u"FolderSpec"}, qrt::Retval),
        qrt::member<&I::DriveExists>(u"DriveExists", 10008, {u"DriveSpec"}, qrt::Retval),
        qrt::member<&I::GetDrive>(u"GetDrive", 10011, {u"DriveSpec"}, qrt::Retval),
        qrt::member<&I::GetFile>(u"GetFile", 10012, {u"FilePath"}, qrt::Retval),
        qrt::member<&I::GetFolder>(u"GetFolder", 10013, {u"FolderPath"}, qrt::Retval),
        qrt::member<&I::GetSpecialFolder>(u"GetSpecialFolder", 10014, {u"SpecialFolder"}, qrt::Retval),
        qrt::member<&I::DeleteFile>(u"DeleteFile", 1200, {u"FileSpec", u"Force"}, optionalFlag),
        qrt::member<&I::DeleteFolder>(u"DeleteFolder", 1201, {u"FolderSpec", u"Force"}, optionalFlag),
        qrt::member<&I::MoveFile>(u"MoveFile", 1202, {u"Source", u"Destination"}),
        qrt::member<&I::MoveFolder>(u"MoveFolder", 1203, {u"Source", u"Destination"}),
        qrt::member<&I::CopyFile>(u"CopyFile", 1204, {u"Source", u"Destination", u"OverWriteFiles"}, optionalTrue),
        qrt::member<&I::CopyFolder>(u"CopyFolder", 1205, {u"Source", u"Destination", u"OverWriteFiles"}, optionalTrue),
        qrt::member<&I::CreateFolder>(u"CreateFolder", 1120, {u"Path"}, qrt::Retval),
        qrt::getter<&I::get_Drives>(u"Drives", 10015),
        qrt::member<&I::CreateTextFile>(u"CreateTextFile", 1101, {u"FileName", u"Overwrite", u"Unicode"},
                                        createOptions),
        qrt::member<&I::OpenTextFile>(u"OpenTextFile", 1100, {u"FileName", u"IOMode", u"Create", u"Format"},
                                      openOptions),
    });
    return table;
}

HRESULT CFileSystemObject::create(REFIID iid, void** out) { return qrt::createInstance<CFileSystemObject>(iid, out); }

HRESULT CFileSystemObject::GetClassInfo(ITypeInfo** info) {
    return qrt::classTypeInfo(u"FileSystemObject", CLSID_FileSystemObject, dispatchTable().typeInfo(), nullptr, info);
}

// ---- Path text -----------------------------------------------------------------

HRESULT CFileSystemObject::BuildPath(BSTR path, BSTR name, BSTR* result) {
    return text(paths::buildPath(qrt::bstrView(path), qrt::bstrView(name)), result);
}

// Paths on this system have no drive letters.
HRESULT CFileSystemObject::GetDriveName(BSTR, BSTR* result) { return text(u"", result); }

HRESULT CFileSystemObject::GetParentFolderName(BSTR path, BSTR* result) {
    return text(paths::parentFolderName(qrt::bstrView(path)), result);
}

HRESULT CFileSystemObject::GetFileName(BSTR path, BSTR* result) {
    return text(paths::fileName(qrt::bstrView(path)), result);
}

HRESULT CFileSystemObject::GetBaseName(BSTR path, BSTR* result) {
    return text(paths::baseName(qrt::bstrView(path)), result);
}

HRESULT CFileSystemObject::GetExtensionName(BSTR path, BSTR* result) {
    return text(paths::extensionName(qrt::bstrView(path)), result);
}

HRESULT CFileSystemObject::GetAbsolutePathName(BSTR path, BSTR* result) {
    return text(paths::absolutePath(qrt::bstrView(path), paths::currentFolder()), result);
}

HRESULT CFileSystemObject::GetTempName(BSTR* result) {
    static std::mt19937 generator{std::random_device{}()};
    static const char16_t digits[] = u"0123456789ABCDEF";
    std::u16string name = u"tmp";
    for (int i = 0; i < 6; ++i) name += digits[generator() % 16];
    name += u".tmp";
    return text(name, result);
}

// ---- Existence -----------------------------------------------------------------

HRESULT CFileSystemObject::FileExists(BSTR pathText, VARIANT_BOOL* exists) {
    if (!exists) return E_POINTER;
    struct stat info {};
    *exists = toVariantBool(statPath(pathText, info) && !S_ISDIR(info.st_mode));
    return S_OK;
}

HRESULT CFileSystemObject::FolderExists(BSTR pathText, VARIANT_BOOL* exists) {
    if (!exists) return E_POINTER;
    struct stat info {};
    *exists = toVariantBool(statPath(pathText, info) && S_ISDIR(info.st_mode));
    return S_OK;
}

// ---- Text files ----------------------------------------------------------------

HRESULT CFileSystemObject::CreateTextFile(BSTR name, VARIANT_BOOL overwrite, VARIANT_BOOL unicode,
                                          IDispatch** stream) {
    OpenRequest request;
    request.path = qrt::bstrView(name);
    request.mode = ForWriting;
    request.create = true;
    request.keepExisting = !overwrite;
    request.format = unicode ? TristateTrue : TristateFalse;
    return openTextStream(request, stream);
}

HRESULT CFileSystemObject::OpenTextFile(BSTR name, LONG mode, VARIANT_BOOL create, LONG format, IDispatch** stream) {
    OpenRequest request;
    request.path = qrt::bstrView(name);
    request.mode = mode;
    request.create = create != VARIANT_FALSE;
    request.format = format;
    return openTextStream(request, stream);
}

// ---- Files, folders and drives ---------------------------------------------------

HRESULT CFileSystemObject::DriveExists(BSTR pathText, VARIANT_BOOL* exists) {
    if (!exists) return E_POINTER;
    const std::u16string_view p = qrt::bstrView(pathText);
    *exists = toVariantBool(!p.empty() && isDriveRoot(nativeAbsolute(p)));
    return S_OK;
}

HRESULT CFileSystemObject::GetDrive(BSTR pathText, IDispatch** drive) {
    const std::u16string_view p = qrt::bstrView(pathText);
    if (p.empty()) return raise(kSource, err::DeviceUnavailable);
    return driveOf(nativeAbsolute(p), drive);
}

HRESULT CFileSystemObject::GetFile(BSTR path, IDispatch** file) {
    const std::u16string_view p = qrt::bstrView(path);
    if (p.empty()) return raise(kSource, err::FileNotFound);
    return newFile(nativeAbsolute(p), file);
}

HRESULT CFileSystemObject::GetFolder(BSTR path, IDispatch** folder) {
    const std::u16string_view p = qrt::bstrView(path);
    if (p.empty()) return raise(kSource, err::PathNotFound);
    return newFolder(nativeAbsolute(p), folder);
}

namespace {

// An XDG folder from its variable, or its default under the home folder.
std::u16string xdgFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && *value == '/') return paths::fromNative(value);
    const char* home = std::getenv("HOME");
    return paths::fromNative(std::string(home && *home ? home : "/") + "/" + fallback);
}

}  // namespace

HRESULT CFileSystemObject::GetSpecialFolder(LONG which, IDispatch** folder) {
    // 0, where the other platform keeps its own settings: the user's
    // configuration folder; 1, its shared libraries and data: the user's
    // data folder; 2: the temporary folder.
    std::u16string path;
    switch (which) {
    case 0: path = xdgFolder("XDG_CONFIG_HOME", ".config"); break;
    case 1: path = xdgFolder("XDG_DATA_HOME", ".local/share"); break;
    case 2: {
        const char* tmp = std::getenv("TMPDIR");
        path = paths::fromNative(tmp && *tmp == '/' ? tmp : "/tmp");
        break;
    }
    default: return raise(kSource, err::InvalidCall);
    }
    return newFolder(nativeAbsolute(path), folder);
}

HRESULT CFileSystemObject::DeleteFile(BSTR pathText, VARIANT_BOOL force) {
    return deleteItems(qrt::bstrView(pathText), force != VARIANT_FALSE, false);
}

HRESULT CFileSystemObject::DeleteFolder(BSTR pathText, VARIANT_BOOL force) {
    return deleteItems(qrt::bstrView(pathText), force != VARIANT_FALSE, true);
}

HRESULT CFileSystemObject::MoveFile(BSTR source, BSTR destination) {
    return moveItems(qrt::bstrView(source), qrt::bstrView(destination), false);
}

HRESULT CFileSystemObject::MoveFolder(BSTR source, BSTR destination) {
    return moveItems(qrt::bstrView(source), qrt::bstrView(destination), true);
}

HRESULT CFileSystemObject::CopyFile(BSTR source, BSTR destination, VARIANT_BOOL overwrite) {
    return copyItems(qrt::bstrView(source), qrt::bstrView(destination), overwrite != VARIANT_FALSE, false);
}

HRESULT CFileSystemObject::CopyFolder(BSTR source, BSTR destination, VARIANT_BOOL overwrite) {
    return copyItems(qrt::bstrView(source), qrt::bstrView(destination), overwrite != VARIANT_FALSE, true);
}

HRESULT CFileSystemObject::CreateFolder(BSTR path, IDispatch** folder) {
    return createFolder(qrt::bstrView(path), folder);
}

HRESULT CFileSystemObject::get_Drives(IDispatch** drives) { return allDrives(drives); }

}  // namespace scripting
