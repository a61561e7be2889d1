#include "scripting/file_system.h"

#include "scripting/errors.h"
#include "scripting/paths.h"
#include "scripting/text_stream.h"

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

HRESULT CFileSystemObject::FileExists(BSTR spec, VARIANT_BOOL* exists) {
    if (!exists) return E_POINTER;
    struct stat info {};
    *exists = toVariantBool(statPath(spec, info) && !S_ISDIR(info.st_mode));
    return S_OK;
}

HRESULT CFileSystemObject::FolderExists(BSTR spec, VARIANT_BOOL* exists) {
    if (!exists) return E_POINTER;
    struct stat info {};
    *exists = toVariantBool(statPath(spec, info) && S_ISDIR(info.st_mode));
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

HRESULT CFileSystemObject::DriveExists(BSTR, VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT CFileSystemObject::GetDrive(BSTR, IDispatch**) { return E_NOTIMPL; }
HRESULT CFileSystemObject::GetFile(BSTR, IDispatch**) { return E_NOTIMPL; }
HRESULT CFileSystemObject::GetFolder(BSTR, IDispatch**) { return E_NOTIMPL; }
HRESULT CFileSystemObject::GetSpecialFolder(LONG, IDispatch**) { return E_NOTIMPL; }
HRESULT CFileSystemObject::DeleteFile(BSTR, VARIANT_BOOL) { return E_NOTIMPL; }
HRESULT CFileSystemObject::DeleteFolder(BSTR, VARIANT_BOOL) { return E_NOTIMPL; }
HRESULT CFileSystemObject::MoveFile(BSTR, BSTR) { return E_NOTIMPL; }
HRESULT CFileSystemObject::MoveFolder(BSTR, BSTR) { return E_NOTIMPL; }
HRESULT CFileSystemObject::CopyFile(BSTR, BSTR, VARIANT_BOOL) { return E_NOTIMPL; }
HRESULT CFileSystemObject::CopyFolder(BSTR, BSTR, VARIANT_BOOL) { return E_NOTIMPL; }
HRESULT CFileSystemObject::CreateFolder(BSTR, IDispatch**) { return E_NOTIMPL; }
HRESULT CFileSystemObject::get_Drives(IDispatch**) { return E_NOTIMPL; }

}  // namespace scripting
