#include "scripting/fs_objects.h"

#include "runtime/dispatch_table.h"
#include "runtime/object.h"
#include "runtime/typeinfo.h"
#include "scripting/errors.h"
#include "scripting/fs_operations.h"
#include "scripting/paths.h"
#include "scripting/text_stream.h"
#include "scripting/variant_enumerator.h"

#include <QMimeDatabase>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fstream>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace scripting {

namespace {

constexpr CLSID CLSID_File = qrt::makeGuid("{AF3024C7-DFE0-43B2-A12E-5CDA1CCE8D13}");
constexpr CLSID CLSID_Folder = qrt::makeGuid("{889B3DB2-A3FD-4AFA-A240-3CD8EA8BDFCE}");
constexpr CLSID CLSID_Drive = qrt::makeGuid("{11C9388E-46C5-46D0-9F19-4299BCB15AF8}");
constexpr CLSID CLSID_Collection = qrt::makeGuid("{3C19A71E-39F6-47A0-8029-EE29C2C4063D}");

HRESULT fail(int number, std::u16string_view detail = {}) { return raise(kFileSystemSource, number, detail); }

HRESULT text(std::u16string_view value, BSTR* out) {
    if (!out) return E_POINTER;
    *out = qrt::allocBstr(value);
    return *out ? S_OK : fail(err::OutOfMemory);
}

// A byte count: a Long while it fits, else a Double.
void byteCount(unsigned long long bytes, VARIANT* out) {
    VariantClear(out);
    if (bytes <= 0x7FFFFFFFull) {
        out->vt = VT_I4;
        out->lVal = static_cast<LONG>(bytes);
    } else {
        out->vt = VT_R8;
        out->dblVal = static_cast<double>(bytes);
    }
}

// A point in time as a local date and time.
DATE toDate(const struct statx_timestamp& t) {
    const time_t seconds = static_cast<time_t>(t.tv_sec);
    struct tm local {};
    localtime_r(&seconds, &local);
    // Days from 1899-12-30 to the local date (proleptic Gregorian calendar).
    auto daysFromCivil = [](long y, long m, long d) {
        y -= m <= 2;
        const long era = (y >= 0 ? y : y - 399) / 400;
        const long yoe = y - era * 400;
        const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + doe;
    };
    const long days = daysFromCivil(local.tm_year + 1900L, local.tm_mon + 1L, local.tm_mday) - daysFromCivil(1899, 12, 30);
    const double fraction = (local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec) / 86400.0;
    return static_cast<double>(days) + fraction;
}

bool readStat(const std::string& path, struct statx& info, bool follow = true) {
    return ::statx(AT_FDCWD, path.c_str(), follow ? 0 : AT_SYMLINK_NOFOLLOW,
                   STATX_BASIC_STATS | STATX_BTIME, &info) == 0;
}

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || path == "/") return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    if (path == "/") return {};
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The names in a folder, sorted, of folders or of everything else.
std::vector<std::string> namesIn(const std::string& folder, bool folders) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat info {};
        const std::string full = (folder == "/" ? "" : folder) + "/" + name;
        if (::stat(full.c_str(), &info) != 0) {
            if (!folders && ::lstat(full.c_str(), &info) == 0) names.push_back(name);  // a dangling link is a file
            continue;
        }
        if (S_ISDIR(info.st_mode) == folders) names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

unsigned long long folderSize(const std::string& folder, int depth = 0) {
    if (depth > 256) return 0;
    unsigned long long total = 0;
    for (const std::string& name : namesIn(folder, false)) {
        struct stat info {};
        if (::lstat((folder + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode))
            total += static_cast<unsigned long long>(info.st_size);
    }
    for (const std::string& name : namesIn(folder, true)) {
        struct stat info {};
        const std::string sub = (folder == "/" ? "" : folder) + "/" + name;
        if (::lstat(sub.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) total += folderSize(sub, depth + 1);
    }
    return total;
}

// ---- Mounted file systems -------------------------------------------------------

struct Mount {
    std::string device, point, type;
};

std::string unescapeMount(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            const std::string octal = s.substr(i + 1, 3);
            if (octal.size() == 3 && std::all_of(octal.begin(), octal.end(), [](char c) { return c >= '0' && c <= '7'; })) {
                out += static_cast<char>(std::stoi(octal, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// The file systems that hold files: those on a device or a network share,
// and the root whatever it is.
std::vector<Mount> mounts() {
    std::vector<Mount> list;
    std::ifstream in("/proc/self/mounts");
    std::string device, point, type, rest;
    while (in >> device >> point >> type && std::getline(in, rest)) {
        Mount m{unescapeMount(device), unescapeMount(point), type};
        const bool real = m.point == "/" || m.device.starts_with("/dev/") || m.device.find(":/") != std::string::npos ||
                          m.device.starts_with("//");
        if (!real) continue;
        auto same = std::find_if(list.begin(), list.end(), [&](const Mount& o) { return o.point == m.point; });
        if (same != list.end()) *same = m;  // the last mount on a point is the visible one
        else list.push_back(m);
    }
    if (std::none_of(list.begin(), list.end(), [](const Mount& m) { return m.point == "/"; }))
        list.insert(list.begin(), Mount{"", "/", ""});
    return list;
}

Mount mountOf(const std::string& path) {
    Mount best{"", "/", ""};
    for (const Mount& m : mounts()) {
        const bool inside = m.point == "/" || path == m.point || path.starts_with(m.point + "/");
        if (inside && m.point.size() >= best.point.size()) best = m;
    }
    return best;
}

// ---- File and Folder ------------------------------------------------------------

VARIANT trueValue() {
    VARIANT v;
    v.vt = VT_BOOL;
    v.boolVal = VARIANT_TRUE;
    return v;
}

template <class I>
std::vector<qrt::DispMember> commonMembers() {
    return {
        qrt::getter<&I::get_Path>(u"Path", DISPID_VALUE),
        qrt::getter<&I::get_Name>(u"Name", 1000),
        qrt::putter<&I::put_Name>(u"Name", 1000, {u"pbstrName"}),
        qrt::getter<&I::get_Size>(u"Size", 1001),
        qrt::getter<&I::get_DateCreated>(u"DateCreated", 1002),
        qrt::getter<&I::get_DateLastModified>(u"DateLastModified", 1003),
        qrt::getter<&I::get_DateLastAccessed>(u"DateLastAccessed", 1004),
        qrt::getter<&I::get_Attributes>(u"Attributes", 1005),
        qrt::getter<&I::get_ParentFolder>(u"ParentFolder", 1006),
        qrt::getter<&I::get_Type>(u"Type", 1007),
        qrt::getter<&I::get_Drive>(u"Drive", 1008),
        qrt::member<&I::Delete>(u"Delete", 1200, {u"Force"}, qrt::MemberOptions{.retval = false, .optional = 1, .defaults = {}}),
        qrt::member<&I::Copy>(u"Copy", 1202, {u"Destination", u"OverWriteFiles"},
                              qrt::MemberOptions{.retval = false, .optional = 1, .defaults = {trueValue()}}),
        qrt::member<&I::Move>(u"Move", 1204, {u"Destination"}),
    };
}

template <class Derived, class I, bool IsFolder>
class ItemBase : public qrt::ComObject<qrt::DispatchImpl<Derived, I>, IProvideClassInfo> {
public:
    explicit ItemBase(std::string path) : m_path(std::move(path)) {}

    HRESULT get_Path(BSTR* out) override { return text(paths::fromNative(m_path), out); }
    HRESULT get_Name(BSTR* out) override { return text(paths::fromNative(nameOf(m_path)), out); }
    HRESULT put_Name(BSTR name) override {
        const std::u16string_view n = qrt::bstrView(name);
        if (n.empty() || n == u"." || n == u".." || n.find_first_of(u"/\\") != std::u16string_view::npos)
            return fail(err::InvalidCall);
        if (HRESULT hr = check(); FAILED(hr)) return hr;
        const std::string parent = parentOf(m_path);
        const std::string target = (parent == "/" ? "" : parent) + "/" + paths::toNative(n);
        struct stat info {};
        if (::lstat(target.c_str(), &info) == 0) return fail(err::FileAlreadyExists);
        if (::rename(m_path.c_str(), target.c_str()) != 0) return fail(errorOfErrno(errno));
        m_path = target;
        return S_OK;
    }
    HRESULT get_Size(VARIANT* out) override {
        if (!out) return E_POINTER;
        struct statx info {};
        if (HRESULT hr = check(&info); FAILED(hr)) return hr;
        byteCount(IsFolder ? folderSize(m_path) : info.stx_size, out);
        return S_OK;
    }
    HRESULT get_DateCreated(VARIANT* out) override {
        return date(out, [](const struct statx& s) { return (s.stx_mask & STATX_BTIME) ? s.stx_btime : s.stx_mtime; });
    }
    HRESULT get_DateLastModified(VARIANT* out) override {
        return date(out, [](const struct statx& s) { return s.stx_mtime; });
    }
    HRESULT get_DateLastAccessed(VARIANT* out) override {
        return date(out, [](const struct statx& s) { return s.stx_atime; });
    }
    HRESULT get_Attributes(LONG* out) override {
        if (!out) return E_POINTER;
        struct statx info {};
        if (HRESULT hr = check(&info); FAILED(hr)) return hr;
        LONG a = 0;
        if (!(info.stx_mode & S_IWUSR)) a |= AttributeReadOnly;
        if (nameOf(m_path).starts_with('.')) a |= AttributeHidden;
        if (IsFolder) a |= AttributeDirectory;
        struct stat link {};
        if (::lstat(m_path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) a |= AttributeAlias;
        *out = a;
        return S_OK;
    }
    HRESULT get_ParentFolder(IDispatch** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        const std::string parent = parentOf(m_path);
        if (parent.empty()) return S_OK;  // the root has none: Nothing
        return newFolder(parent, out);
    }
    HRESULT get_Type(BSTR* out) override {
        if (HRESULT hr = check(); FAILED(hr)) return hr;
        static QMimeDatabase database;
        const QString comment = database.mimeTypeForFile(QString::fromStdString(m_path)).comment();
        return text(std::u16string_view(reinterpret_cast<const char16_t*>(comment.utf16()),
                                        static_cast<std::size_t>(comment.size())),
                    out);
    }
    HRESULT get_Drive(IDispatch** out) override {
        if (HRESULT hr = check(); FAILED(hr)) return hr;
        return driveOf(m_path, out);
    }
    HRESULT Delete(VARIANT_BOOL force) override {
        return deleteItems(paths::fromNative(m_path), force != VARIANT_FALSE, IsFolder);
    }
    HRESULT Copy(BSTR destination, VARIANT_BOOL overwrite) override {
        return copyItems(paths::fromNative(m_path), qrt::bstrView(destination), overwrite != VARIANT_FALSE, IsFolder);
    }
    HRESULT Move(BSTR destination) override {
        std::string moved;
        if (HRESULT hr = moveItems(paths::fromNative(m_path), qrt::bstrView(destination), IsFolder, &moved); FAILED(hr))
            return hr;
        if (!moved.empty()) m_path = moved;  // the object follows its file
        return S_OK;
    }

protected:
    // Fails with 53 / 76 when the file or folder is gone.
    HRESULT check(struct statx* info = nullptr) const {
        struct statx local {};
        struct statx& s = info ? *info : local;
        if (!readStat(m_path, s) || S_ISDIR(s.stx_mode) != IsFolder)
            return fail(IsFolder ? err::PathNotFound : err::FileNotFound);
        return S_OK;
    }
    template <class F>
    HRESULT date(VARIANT* out, F pick) const {
        if (!out) return E_POINTER;
        struct statx info {};
        if (HRESULT hr = check(&info); FAILED(hr)) return hr;
        VariantClear(out);
        out->vt = VT_DATE;
        out->date = toDate(pick(info));
        return S_OK;
    }

    std::string m_path;
};

class CFile final : public ItemBase<CFile, IFile, false> {
public:
    using ItemBase::ItemBase;
    static const qrt::DispatchTable& dispatchTable() {
        static const qrt::DispatchTable table(u"IFile", IFile::IID, members());
        return table;
    }
    HRESULT OpenAsTextStream(LONG mode, LONG format, IDispatch** stream) override {
        if (HRESULT hr = check(); FAILED(hr)) return hr;
        OpenRequest request;
        request.path = paths::fromNative(m_path);
        request.mode = mode;
        request.format = format;
        return openTextStream(request, stream);
    }
    HRESULT GetClassInfo(ITypeInfo** info) override {
        return qrt::classTypeInfo(u"File", CLSID_File, dispatchTable().typeInfo(), nullptr, info);
    }

private:
    static std::vector<qrt::DispMember> members() {
        auto list = commonMembers<IFile>();
        VARIANT reading{}, ansi{};
        reading.vt = VT_I4;
        reading.lVal = ForReading;
        ansi.vt = VT_I4;
        ansi.lVal = TristateFalse;
        static const qrt::MemberOptions options{.retval = true, .optional = 2, .defaults = {reading, ansi}};
        list.push_back(qrt::member<&IFile::OpenAsTextStream>(u"OpenAsTextStream", 1100, {u"IOMode", u"Format"}, options));
        return list;
    }
};


class CFolder final : public ItemBase<CFolder, IFolder, true> {
public:
    using ItemBase::ItemBase;
    static const qrt::DispatchTable& dispatchTable() {
        static const qrt::DispatchTable table(u"IFolder", IFolder::IID, members());
        return table;
    }
    HRESULT get_IsRootFolder(VARIANT_BOOL* root) override {
        if (!root) return E_POINTER;
        *root = toVariantBool(m_path == "/");
        return S_OK;
    }
    HRESULT get_Files(IDispatch** out) override;
    HRESULT get_SubFolders(IDispatch** out) override;
    HRESULT CreateTextFile(BSTR name, VARIANT_BOOL overwrite, VARIANT_BOOL unicode, IDispatch** stream) override {
        OpenRequest request;
        request.path = paths::buildPath(paths::fromNative(m_path), qrt::bstrView(name));
        request.mode = ForWriting;
        request.create = true;
        request.keepExisting = !overwrite;
        request.format = unicode ? TristateTrue : TristateFalse;
        return openTextStream(request, stream);
    }
    HRESULT GetClassInfo(ITypeInfo** info) override {
        return qrt::classTypeInfo(u"Folder", CLSID_Folder, dispatchTable().typeInfo(), nullptr, info);
    }
    const std::string& path() const { return m_path; }

private:
    static std::vector<qrt::DispMember> members() {
        auto list = commonMembers<IFolder>();
        VARIANT no{};
        no.vt = VT_BOOL;
        no.boolVal = VARIANT_FALSE;
        static const qrt::MemberOptions options{.retval = true, .optional = 2, .defaults = {trueValue(), no}};
        list.push_back(qrt::getter<&IFolder::get_IsRootFolder>(u"IsRootFolder", 10000));
        list.push_back(qrt::getter<&IFolder::get_Files>(u"Files", 10001));
        list.push_back(qrt::getter<&IFolder::get_SubFolders>(u"SubFolders", 10002));
        list.push_back(qrt::member<&IFolder::CreateTextFile>(u"CreateTextFile", 1101,
                                                             {u"FileName", u"Overwrite", u"Unicode"}, options));
        return list;
    }
};

// ---- Collections -----------------------------------------------------------------

enum class Holds { Files, Folders, Drives };

// The items of a folder (or the drives) as they were when the script asked
// for the collection; Folders.Add adds to it.
class CItemCollection final
    : public qrt::ComObject<qrt::DispatchImpl<CItemCollection, IItemCollection>, IProvideClassInfo> {
public:
    CItemCollection(Holds holds, std::string folder, std::vector<std::string> paths)
        : m_holds(holds), m_folder(std::move(folder)), m_paths(std::move(paths)) {}

    static const qrt::DispatchTable& dispatchTable() {
        using I = IItemCollection;
        static const qrt::DispatchTable table(u"IItemCollection", IItemCollection::IID, {
            qrt::getter<&I::get_Item>(u"Item", DISPID_VALUE, {u"Key"}),
            qrt::getter<&I::get_Count>(u"Count", 1),
            qrt::getter<&I::get__NewEnum>(u"_NewEnum", DISPID_NEWENUM),
            qrt::member<&I::Add>(u"Add", 2, {u"Name"}, qrt::Retval),
        });
        return table;
    }

    HRESULT get_Item(VARIANT key, IDispatch** item) override {
        if (!item) return E_POINTER;
        *item = nullptr;
        qrt::Variant name;
        if (FAILED(VariantChangeType(&name, &key, 0, VT_BSTR))) return fail(err::TypeMismatch);
        const std::string wanted = paths::toNative(qrt::bstrView(name.bstrVal));
        for (const std::string& p : m_paths) {
            if (m_holds == Holds::Drives ? p == wanted : nameOf(p) == wanted) return open(p, item);
        }
        return fail(m_holds == Holds::Files ? err::FileNotFound
                    : m_holds == Holds::Folders ? err::PathNotFound : err::DeviceUnavailable);
    }
    HRESULT get_Count(LONG* count) override {
        if (!count) return E_POINTER;
        *count = static_cast<LONG>(m_paths.size());
        return S_OK;
    }
    HRESULT get__NewEnum(IUnknown** out) override {
        std::vector<qrt::Variant> items;
        for (const std::string& p : m_paths) {
            IDispatch* object = nullptr;
            if (FAILED(open(p, &object))) continue;  // gone since the collection was made
            qrt::Variant v;
            v.vt = VT_DISPATCH;
            v.pdispVal = object;
            items.push_back(std::move(v));
        }
        return VariantEnumerator::create(std::move(items), out);
    }
    HRESULT Add(BSTR name, IDispatch** folder) override {
        if (m_holds != Holds::Folders) return fail(err::InvalidCall);
        const std::u16string path = paths::buildPath(paths::fromNative(m_folder), qrt::bstrView(name));
        if (HRESULT hr = createFolder(path, folder); FAILED(hr)) return hr;
        m_paths.push_back(nativeAbsolute(path));
        return S_OK;
    }
    HRESULT GetClassInfo(ITypeInfo** info) override {
        return qrt::classTypeInfo(u"Collection", CLSID_Collection, dispatchTable().typeInfo(), nullptr, info);
    }

private:
    HRESULT open(const std::string& p, IDispatch** out) const {
        switch (m_holds) {
        case Holds::Files: return newFile(p, out);
        case Holds::Folders: return newFolder(p, out);
        case Holds::Drives: return driveOf(p, out);
        }
        return E_UNEXPECTED;
    }

    Holds m_holds;
    std::string m_folder;
    std::vector<std::string> m_paths;
};

HRESULT collectionOf(Holds holds, const std::string& folder, IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    std::vector<std::string> list;
    for (const std::string& name : namesIn(folder, holds == Holds::Folders))
        list.push_back((folder == "/" ? "" : folder) + "/" + name);
    auto c = qrt::create<CItemCollection>(holds, folder, std::move(list));
    if (!c) return fail(err::OutOfMemory);
    *out = static_cast<IItemCollection*>(c.detach());
    return S_OK;
}

HRESULT CFolder::get_Files(IDispatch** out) {
    if (HRESULT hr = check(); FAILED(hr)) return hr;
    return collectionOf(Holds::Files, m_path, out);
}

HRESULT CFolder::get_SubFolders(IDispatch** out) {
    if (HRESULT hr = check(); FAILED(hr)) return hr;
    return collectionOf(Holds::Folders, m_path, out);
}

// ---- Drive ---------------------------------------------------------------------

class CDrive final : public qrt::ComObject<qrt::DispatchImpl<CDrive, IDrive>, IProvideClassInfo> {
public:
    explicit CDrive(Mount mount) : m_mount(std::move(mount)) {}

    static const qrt::DispatchTable& dispatchTable() {
        using I = IDrive;
        static const qrt::DispatchTable table(u"IDrive", IDrive::IID, {
            qrt::getter<&I::get_Path>(u"Path", DISPID_VALUE),
            qrt::getter<&I::get_DriveLetter>(u"DriveLetter", 10000),
            qrt::getter<&I::get_DriveType>(u"DriveType", 10001),
            qrt::getter<&I::get_RootFolder>(u"RootFolder", 10002),
            qrt::getter<&I::get_AvailableSpace>(u"AvailableSpace", 10003),
            qrt::getter<&I::get_FreeSpace>(u"FreeSpace", 10004),
            qrt::getter<&I::get_TotalSize>(u"TotalSize", 10005),
            qrt::getter<&I::get_VolumeName>(u"VolumeName", 10006),
            qrt::getter<&I::get_FileSystem>(u"FileSystem", 10007),
            qrt::getter<&I::get_IsReady>(u"IsReady", 10008),
            qrt::getter<&I::get_ShareName>(u"ShareName", 10009),
        });
        return table;
    }

    HRESULT get_Path(BSTR* out) override { return text(paths::fromNative(m_mount.point), out); }
    HRESULT get_DriveLetter(BSTR* out) override { return text(u"", out); }  // no letters here
    HRESULT get_DriveType(LONG* type) override {
        if (!type) return E_POINTER;
        // 2 fixed, 3 network, 4 CD-ROM, 5 RAM disk.
        const std::string& t = m_mount.type;
        if (t == "nfs" || t == "nfs4" || t == "cifs" || t == "smb3" || t == "sshfs" || t == "fuse.sshfs") *type = 3;
        else if (t == "iso9660" || t == "udf") *type = 4;
        else if (t == "tmpfs" || t == "ramfs") *type = 5;
        else *type = 2;
        return S_OK;
    }
    HRESULT get_RootFolder(IDispatch** out) override { return newFolder(m_mount.point, out); }
    HRESULT get_AvailableSpace(VARIANT* out) override { return space(out, 0); }
    HRESULT get_FreeSpace(VARIANT* out) override { return space(out, 1); }
    HRESULT get_TotalSize(VARIANT* out) override { return space(out, 2); }
    HRESULT get_VolumeName(BSTR* out) override { return text(paths::fromNative(nameOf(m_mount.device)), out); }
    HRESULT get_FileSystem(BSTR* out) override { return text(paths::fromNative(m_mount.type), out); }
    HRESULT get_IsReady(VARIANT_BOOL* ready) override {
        if (!ready) return E_POINTER;
        struct statvfs info {};
        *ready = toVariantBool(::statvfs(m_mount.point.c_str(), &info) == 0);
        return S_OK;
    }
    HRESULT get_ShareName(BSTR* out) override {
        const bool network = m_mount.device.find(":/") != std::string::npos || m_mount.device.starts_with("//");
        return text(network ? paths::fromNative(m_mount.device) : std::u16string(), out);
    }
    HRESULT GetClassInfo(ITypeInfo** info) override {
        return qrt::classTypeInfo(u"Drive", CLSID_Drive, dispatchTable().typeInfo(), nullptr, info);
    }

private:
    HRESULT space(VARIANT* out, int which) const {
        if (!out) return E_POINTER;
        struct statvfs info {};
        if (::statvfs(m_mount.point.c_str(), &info) != 0) return fail(err::DeviceUnavailable);
        const unsigned long long blocks = which == 0 ? info.f_bavail : which == 1 ? info.f_bfree : info.f_blocks;
        VariantClear(out);
        out->vt = VT_R8;
        out->dblVal = static_cast<double>(blocks) * static_cast<double>(info.f_frsize);
        return S_OK;
    }

    Mount m_mount;
};

template <class I, class T>
HRESULT handOut(qrt::ComPtr<T> object, IDispatch** out) {
    if (!object) return fail(err::OutOfMemory);
    *out = static_cast<I*>(object.detach());
    return S_OK;
}

}  // namespace

std::string nativeAbsolute(std::u16string_view path) {
    return paths::toNative(paths::absolutePath(path, paths::currentFolder()));
}

HRESULT newFile(const std::string& native, IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    struct stat info {};
    if (::stat(native.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
        if (::lstat(native.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return fail(err::FileNotFound);
    }
    return handOut<IFile>(qrt::create<CFile>(native), out);
}

HRESULT newFolder(const std::string& native, IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    struct stat info {};
    if (::stat(native.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return fail(err::PathNotFound);
    return handOut<IFolder>(qrt::create<CFolder>(native), out);
}

HRESULT driveOf(const std::string& native, IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    struct stat info {};
    if (::stat(native.c_str(), &info) != 0) return fail(err::DeviceUnavailable);
    return handOut<IDrive>(qrt::create<CDrive>(mountOf(native)), out);
}

HRESULT allDrives(IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    std::vector<std::string> points;
    for (const Mount& m : mounts()) points.push_back(m.point);
    auto c = qrt::create<CItemCollection>(Holds::Drives, std::string(), std::move(points));
    if (!c) return fail(err::OutOfMemory);
    *out = static_cast<IItemCollection*>(c.detach());
    return S_OK;
}

bool isDriveRoot(const std::string& native) {
    const auto list = mounts();
    return std::any_of(list.begin(), list.end(), [&](const Mount& m) { return m.point == native; });
}

void buildObjectTables() {
    CFile::dispatchTable();
    CFolder::dispatchTable();
    CItemCollection::dispatchTable();
    CDrive::dispatchTable();
}

}  // namespace scripting
