// Files, folders and drives through the FileSystemObject, by name as
// scripts call them: properties, collections and For Each, copying, moving
// and deleting with wildcards, and objects that outlive what they name.
#include "runtime/activation.h"
#include "runtime/testing/dispatch_calls.h"
#include "runtime/testing/test_support.h"
#include "runtime/text.h"
#include "scripting/tests/script_host.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>

#include <sys/stat.h>

namespace {

using qtest::call;
using qtest::CallResult;

int errorNumber(const CallResult& r) { return r.hr == DISP_E_EXCEPTION ? static_cast<int>(r.scode & 0xFFFF) : 0; }
std::u16string textOf(const VARIANT& v) { return v.vt == VT_BSTR ? std::u16string(qrt::bstrView(v.bstrVal)) : u"<?>"; }
qrt::Variant value(const std::string& utf8) { return qrt::Variant(std::string_view(utf8)); }

class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        scripting_test::registerLibraries();
        touch("warm.txt", "");
        {
            // Build every dispatch table once, before counting objects.
            qrt::ComPtr<IDispatch> warm;
            ASSERT_EQ(qrt::createObject(u"Scripting.FileSystemObject", warm), S_OK) << qrt::lastActivationError();
            qrt::Variant folder = call(warm.get(), u"GetFolder", {value(m_dir)}).value;
            qrt::Variant files = call(folder.pdispVal, u"Files").value;
            call(files.pdispVal, u"Count");
            call(call(warm.get(), u"GetFile", {value(m_dir + "/warm.txt")}).value.pdispVal, u"Name");
            call(call(warm.get(), u"GetDrive", {u"/"}).value.pdispVal, u"Path");
            call(call(warm.get(), u"OpenTextFile", {u"/dev/null"}).value.pdispVal, u"Close");
        }
        ::unlink((m_dir + "/warm.txt").c_str());
        m_objects = qrt::liveObjectCount();
        ASSERT_EQ(qrt::createObject(u"Scripting.FileSystemObject", fso), S_OK);
    }
    void TearDown() override {
        fso.reset();
        EXPECT_EQ(qrt::liveObjectCount(), m_objects) << "objects leaked";
        ::chmod((m_dir + "/ro.txt").c_str(), 0644);
        qtest::removeTree(m_dir);
    }

    void touch(const std::string& name, const std::string& bytes = "x") {
        std::ofstream(m_dir + "/" + name, std::ios::binary) << bytes;
    }
    void folder(const std::string& name) { ::mkdir((m_dir + "/" + name).c_str(), 0777); }
    bool there(const std::string& name) {
        struct stat info {};
        return ::lstat((m_dir + "/" + name).c_str(), &info) == 0;
    }
    qrt::Variant at(const std::string& name) { return value(m_dir + "/" + name); }
    qrt::ComPtr<IDispatch> object(const char16_t* member, const std::string& name) {
        CallResult r = call(fso.get(), member, {at(name)});
        EXPECT_EQ(r.hr, S_OK) << r.description;
        return r.value.vt == VT_DISPATCH ? qrt::ComPtr<IDispatch>(r.value.pdispVal) : nullptr;
    }
    // The names For Each gives over a collection, joined by ",".
    std::u16string walk(IDispatch* collection) {
        CallResult r = call(collection, u"_NewEnum");
        qrt::ComPtr<IEnumVARIANT> e;
        if (r.value.vt != VT_UNKNOWN || FAILED(r.value.punkVal->QueryInterface(IEnumVARIANT::IID, e.outVoid())))
            return u"<no enumerator>";
        std::u16string names;
        qrt::Variant item;
        while (e->Next(1, &item, nullptr) == S_OK) {
            names += (names.empty() ? u"" : u",") + textOf(call(item.pdispVal, u"Name").value);
            item.clear();
        }
        return names;
    }

    qrt::ComPtr<IDispatch> fso;
    std::string m_dir = qtest::makeTempDir("fsobjects");
    long m_objects = 0;
};

TEST_F(FileSystemTest, FilesAndFoldersReportTheirProperties) {
    touch("data.csv", "1,2\n3,4\n");
    touch(".hidden");
    touch("ro.txt");
    ::chmod((m_dir + "/ro.txt").c_str(), 0444);
    auto file = object(u"GetFile", "data.csv");
    ASSERT_TRUE(file);
    EXPECT_EQ(textOf(call(file.get(), u"Name").value), u"data.csv");
    EXPECT_EQ(textOf(call(file.get(), u"Path").value), qrt::decodeAnsi(m_dir + "/data.csv"));
    EXPECT_EQ(call(file.get(), u"Size").value.lVal, 8);
    EXPECT_EQ(call(file.get(), u"Attributes").value.lVal, 0);
    EXPECT_FALSE(textOf(call(file.get(), u"Type").value).empty());
    const qrt::Variant modified = call(file.get(), u"DateLastModified").value;
    ASSERT_EQ(modified.vt, VT_DATE);
    // Within a day of now, counted from 1899-12-30 in local time.
    const double now = static_cast<double>(std::time(nullptr)) / 86400.0 + 25569.0;
    EXPECT_NEAR(modified.date, now, 1.0);
    EXPECT_EQ(call(file.get(), u"DateCreated").value.vt, VT_DATE);
    qrt::Variant parent = call(file.get(), u"ParentFolder").value;
    ASSERT_EQ(parent.vt, VT_DISPATCH);
    EXPECT_EQ(textOf(call(parent.pdispVal, u"Path").value), qrt::decodeAnsi(m_dir));
    EXPECT_EQ(call(parent.pdispVal, u"Attributes").value.lVal & 16, 16);
    EXPECT_EQ(call(parent.pdispVal, u"Size").value.lVal, 8 + 1 + 1);
    EXPECT_FALSE(call(parent.pdispVal, u"IsRootFolder").value.boolVal);
    EXPECT_EQ(call(object(u"GetFile", ".hidden").get(), u"Attributes").value.lVal, 2);
    EXPECT_EQ(call(object(u"GetFile", "ro.txt").get(), u"Attributes").value.lVal, 1);

    // Renaming through Name; the object follows.
    ASSERT_EQ(qtest::put(file.get(), u"Name", u"renamed.csv").hr, S_OK);
    EXPECT_TRUE(there("renamed.csv"));
    EXPECT_EQ(call(file.get(), u"Size").value.lVal, 8);
    // Reading through the file object.
    qrt::Variant stream = call(file.get(), u"OpenAsTextStream").value;
    ASSERT_EQ(stream.vt, VT_DISPATCH);
    EXPECT_EQ(textOf(call(stream.pdispVal, u"ReadLine").value), u"1,2");

    EXPECT_EQ(errorNumber(call(fso.get(), u"GetFile", {at("none.txt")})), 53);
    EXPECT_EQ(errorNumber(call(fso.get(), u"GetFolder", {at("none")})), 76);
    EXPECT_EQ(errorNumber(call(fso.get(), u"GetFile", {value(m_dir)})), 53) << "a folder is no file";
}

TEST_F(FileSystemTest, CollectionsListAndWalkTheirItems) {
    for (const char* name : {"b.txt", "a.txt", "c.csv"}) touch(name);
    folder("sub1");
    folder("sub2");
    auto dir = object(u"GetFolder", "");
    qrt::Variant files = call(dir.get(), u"Files").value;
    qrt::Variant subs = call(dir.get(), u"SubFolders").value;
    ASSERT_EQ(files.vt, VT_DISPATCH);
    EXPECT_EQ(call(files.pdispVal, u"Count").value.lVal, 3);
    EXPECT_EQ(walk(files.pdispVal), u"a.txt,b.txt,c.csv");
    EXPECT_EQ(walk(subs.pdispVal), u"sub1,sub2");
    qrt::Variant one = call(files.pdispVal, u"Item", {u"c.csv"}).value;
    ASSERT_EQ(one.vt, VT_DISPATCH);
    EXPECT_EQ(textOf(call(one.pdispVal, u"Name").value), u"c.csv");
    EXPECT_EQ(errorNumber(call(files.pdispVal, u"Item", {u"zz"})), 53);
    // Folders.Add makes a folder and lists it.
    qrt::Variant added = call(subs.pdispVal, u"Add", {u"sub3"}).value;
    ASSERT_EQ(added.vt, VT_DISPATCH);
    EXPECT_TRUE(there("sub3"));
    EXPECT_EQ(call(subs.pdispVal, u"Count").value.lVal, 3);
    EXPECT_EQ(errorNumber(call(subs.pdispVal, u"Add", {u"sub3"})), 58);
}

TEST_F(FileSystemTest, CopyMoveAndDeleteTakeWildcards) {
    for (const char* name : {"a.csv", "b.CSV", "c.txt"}) touch(name, name);
    folder("out");
    ASSERT_EQ(call(fso.get(), u"CopyFile", {at("*.csv"), at("out/")}).hr, S_OK);
    EXPECT_TRUE(there("out/a.csv"));
    EXPECT_TRUE(there("out/b.CSV")) << "wildcards match without regard to case";
    EXPECT_FALSE(there("out/c.txt"));
    EXPECT_EQ(errorNumber(call(fso.get(), u"CopyFile", {at("a.csv"), at("out/a.csv"), false})), 58);
    EXPECT_EQ(call(fso.get(), u"CopyFile", {at("c.txt"), at("out/a.csv")}).hr, S_OK) << "overwrite by default";
    EXPECT_EQ(errorNumber(call(fso.get(), u"CopyFile", {at("*.xyz"), at("out/")})), 53);
    EXPECT_EQ(errorNumber(call(fso.get(), u"CopyFile", {at("a.csv"), at("nowhere/")})), 76);
    EXPECT_EQ(errorNumber(call(fso.get(), u"CopyFile", {at("a.csv"), at("out")})), 70) << "onto a folder";

    ASSERT_EQ(call(fso.get(), u"MoveFile", {at("c.txt"), at("moved.txt")}).hr, S_OK);
    EXPECT_FALSE(there("c.txt"));
    EXPECT_TRUE(there("moved.txt"));
    EXPECT_EQ(errorNumber(call(fso.get(), u"MoveFile", {at("a.csv"), at("moved.txt")})), 58);

    ASSERT_EQ(call(fso.get(), u"DeleteFile", {at("out/*.csv")}).hr, S_OK);
    EXPECT_FALSE(there("out/a.csv"));
    EXPECT_FALSE(there("out/b.CSV"));
    EXPECT_EQ(errorNumber(call(fso.get(), u"DeleteFile", {at("none.txt")})), 53);
    touch("ro.txt");
    ::chmod((m_dir + "/ro.txt").c_str(), 0444);
    EXPECT_EQ(errorNumber(call(fso.get(), u"DeleteFile", {at("ro.txt")})), 70);
    EXPECT_EQ(call(fso.get(), u"DeleteFile", {at("ro.txt"), true}).hr, S_OK);
    EXPECT_FALSE(there("ro.txt"));
}

TEST_F(FileSystemTest, FoldersAreCreatedCopiedMovedAndDeletedWhole) {
    CallResult made = call(fso.get(), u"CreateFolder", {at("tree")});
    ASSERT_EQ(made.hr, S_OK);
    EXPECT_EQ(textOf(call(made.value.pdispVal, u"Name").value), u"tree");
    EXPECT_EQ(errorNumber(call(fso.get(), u"CreateFolder", {at("tree")})), 58);
    EXPECT_EQ(errorNumber(call(fso.get(), u"CreateFolder", {at("no/such")})), 76);
    folder("tree/inner");
    touch("tree/inner/deep.txt");
    touch("tree/top.txt");

    ASSERT_EQ(call(fso.get(), u"CopyFolder", {at("tree"), at("copy")}).hr, S_OK);
    EXPECT_TRUE(there("copy/inner/deep.txt"));
    EXPECT_TRUE(there("copy/top.txt"));
    EXPECT_EQ(errorNumber(call(fso.get(), u"CopyFolder", {at("tree"), at("copy"), false})), 58);
    EXPECT_EQ(errorNumber(call(fso.get(), u"CopyFolder", {at("tree"), at("tree/inner/x")})), 70)
        << "a folder into itself";

    ASSERT_EQ(call(fso.get(), u"MoveFolder", {at("copy"), at("moved")}).hr, S_OK);
    EXPECT_TRUE(there("moved/inner/deep.txt"));
    EXPECT_FALSE(there("copy"));
    // An existing destination takes the folder inside it.
    ASSERT_EQ(call(fso.get(), u"MoveFolder", {at("moved"), at("tree")}).hr, S_OK);
    EXPECT_TRUE(there("tree/moved/top.txt"));

    folder("t1");
    folder("t2");
    ASSERT_EQ(call(fso.get(), u"DeleteFolder", {at("t*")}).hr, S_OK);
    EXPECT_FALSE(there("tree"));
    EXPECT_FALSE(there("t1"));
    EXPECT_EQ(errorNumber(call(fso.get(), u"DeleteFolder", {at("gone")})), 76);
}

TEST_F(FileSystemTest, FileAndFolderObjectsCopyMoveAndDeleteThemselves) {
    touch("one.txt", "1");
    folder("box");
    auto file = object(u"GetFile", "one.txt");
    ASSERT_EQ(call(file.get(), u"Copy", {at("two.txt")}).hr, S_OK);
    EXPECT_TRUE(there("two.txt"));
    EXPECT_EQ(errorNumber(call(file.get(), u"Copy", {at("two.txt"), false})), 58);
    ASSERT_EQ(call(file.get(), u"Move", {at("box/")}).hr, S_OK);
    EXPECT_TRUE(there("box/one.txt"));
    EXPECT_EQ(textOf(call(file.get(), u"Path").value), qrt::decodeAnsi(m_dir + "/box/one.txt")) << "the object follows";
    EXPECT_EQ(errorNumber(qtest::put(file.get(), u"Name", u"..")), 5);
    EXPECT_EQ(errorNumber(qtest::put(file.get(), u"Name", u"a/b")), 5);
    touch("box/taken.txt");
    EXPECT_EQ(errorNumber(qtest::put(file.get(), u"Name", u"taken.txt")), 58);
    ASSERT_EQ(call(file.get(), u"Delete").hr, S_OK);
    EXPECT_EQ(errorNumber(call(file.get(), u"Size")), 53);

    auto box = object(u"GetFolder", "box");
    ASSERT_EQ(call(box.get(), u"Copy", {at("box2")}).hr, S_OK);
    EXPECT_TRUE(there("box2/taken.txt"));
    ASSERT_EQ(call(box.get(), u"Delete").hr, S_OK);
    EXPECT_FALSE(there("box"));
}

TEST_F(FileSystemTest, AFolderObjectOutlivesItsFolder) {
    folder("brief");
    touch("brief/x.txt");
    auto dir = object(u"GetFolder", "brief");
    qrt::Variant files = call(dir.get(), u"Files").value;
    ASSERT_EQ(call(fso.get(), u"DeleteFolder", {at("brief")}).hr, S_OK);
    EXPECT_EQ(textOf(call(dir.get(), u"Name").value), u"brief");
    EXPECT_EQ(errorNumber(call(dir.get(), u"Files")), 76);
    EXPECT_EQ(errorNumber(call(dir.get(), u"Size")), 76);
    EXPECT_EQ(walk(files.pdispVal), u"") << "items gone since are left out";
}

TEST_F(FileSystemTest, SpecialFoldersAndDrives) {
    qrt::Variant temp = call(fso.get(), u"GetSpecialFolder", {2}).value;
    ASSERT_EQ(temp.vt, VT_DISPATCH);
    const char* tmpdir = std::getenv("TMPDIR");
    EXPECT_EQ(textOf(call(temp.pdispVal, u"Path").value), qrt::decodeAnsi(tmpdir && *tmpdir ? tmpdir : "/tmp"));
    EXPECT_EQ(errorNumber(call(fso.get(), u"GetSpecialFolder", {7})), 5);

    EXPECT_TRUE(call(fso.get(), u"DriveExists", {u"/"}).value.boolVal);
    EXPECT_FALSE(call(fso.get(), u"DriveExists", {value(m_dir + "/none")}).value.boolVal);
    qrt::Variant drive = call(fso.get(), u"GetDrive", {value(m_dir)}).value;
    ASSERT_EQ(drive.vt, VT_DISPATCH);
    EXPECT_GT(call(drive.pdispVal, u"TotalSize").value.dblVal, 0);
    EXPECT_TRUE(call(drive.pdispVal, u"IsReady").value.boolVal);
    const std::u16string root = textOf(call(drive.pdispVal, u"Path").value);
    EXPECT_TRUE(qrt::decodeAnsi(m_dir).starts_with(root));
    qrt::Variant drives = call(fso.get(), u"Drives").value;
    ASSERT_EQ(drives.vt, VT_DISPATCH);
    EXPECT_GE(call(drives.pdispVal, u"Count").value.lVal, 1);
    qrt::Variant rootDrive = call(drives.pdispVal, u"Item", {u"/"}).value;
    ASSERT_EQ(rootDrive.vt, VT_DISPATCH);
    qrt::Variant rootFolder = call(rootDrive.pdispVal, u"RootFolder").value;
    EXPECT_TRUE(call(rootFolder.pdispVal, u"IsRootFolder").value.boolVal);
}

}  // namespace
