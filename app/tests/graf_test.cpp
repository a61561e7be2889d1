// Graf as scripts and the program's windows use it, with a real graph
// control on the off-screen platform; and the document.
#include "app/batch/offscreen_graph.h"
#include "app/core/data_folder.h"
#include "app/core/document.h"
#include "app/core/graf.h"
#include "runtime/bstr.h"
#include "runtime/safearray.h"
#include "runtime/testing/dispatch_calls.h"
#include "runtime/testing/qt_application.h"
#include "runtime/testing/test_support.h"
#include "runtime/text.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using quillan::CQuillanDoc;
using quillan::Graf;

using qtest::ensureApplication;

struct SilentUi final : quillan::ScriptUi {
    std::vector<quillan::ScriptErrorReport> reports;
    void showScriptError(const quillan::ScriptErrorReport& report) override { reports.push_back(report); }
};

// A graph control that fails every call, raising an exception.
class BrokenControl final : public qrt::ComObject<IDispatch> {
public:
    HRESULT GetTypeInfoCount(UINT* n) override { *n = 0; return S_OK; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO* excep, UINT*) override {
        *excep = EXCEPINFO{};
        excep->scode = E_FAIL;
        excep->bstrSource = qrt::allocBstr(std::u16string_view(u"ViGraf"));
        excep->bstrDescription = qrt::allocBstr(std::u16string_view(u"the control is broken"));
        return DISP_E_EXCEPTION;
    }
};

struct BrokenView final : quillan::DocumentView {
    quillan::CVigraf1 wrapper{qrt::create<BrokenControl>().get()};
    const quillan::CVigraf1* graphControl() const override { return &wrapper; }
};

class GrafTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        for (const char* name : {"Tarvik", "Sumtrel", "JScript", "VBScript"}) qtest::registerLibrary(name);
        m_folder = qtest::makeTempDir("graf");
        m_previousUi = quillan::setScriptUi(&m_ui);
        m_oldDir = std::filesystem::current_path();
        std::filesystem::current_path(m_folder);  // scratch files land here
        // Type information is made once per process; make it before counting.
        static const bool warmedUp = [this] {
            Setup setup;
            setup.document.graf().loadScript(write("warm.js", "Graf.CreateSeries(); Graf.ReDrawGraph();"));
            setup.document.graf().loadScript(write("warm.vbs", "Graf.CreateSeries"));
            return setup.count() == 2;
        }();
        EXPECT_TRUE(warmedUp);
        m_objects = qrt::liveObjectCount();
    }
    void TearDown() override {
        // Documents, Graf, hosts and engines are all gone.
        EXPECT_EQ(qrt::liveObjectCount(), m_objects) << "objects leaked";
        std::filesystem::current_path(m_oldDir);
        quillan::setScriptUi(m_previousUi);
        qtest::removeTree(m_folder);
    }

    std::u16string write(const std::string& name, const std::string& text) {
        const std::string path = m_folder + "/" + name;
        std::ofstream(path) << text;
        return qrt::decodeAnsi(path);
    }
    // A document with an off-screen graph control.
    struct Setup {
        CQuillanDoc document;
        quillan::OffscreenGraph graph{QSize(400, 300)};
        Setup() {
            std::string error;
            EXPECT_TRUE(graph.create(error)) << error;
            document.addView(&graph);
        }
        ~Setup() {
            document.graf().closeScript();
            document.removeView(&graph);
        }
        LONG count() {
            LONG n = -5;
            document.graf().CountSeries(&n);
            return n;
        }
    };

    SilentUi m_ui;
    std::string m_folder;

private:
    long m_objects = 0;
    quillan::ScriptUi* m_previousUi = nullptr;
    std::filesystem::path m_oldDir;
};

TEST_F(GrafTest, BindsNamesWithoutRegardToCaseAndPacksColours) {
    CQuillanDoc document;
    IDispatch* graf = static_cast<quillan::IGrafScript*>(&document.graf());
    const std::pair<const char16_t*, DISPID> names[] = {
        {u"ReDrawGraph", 1}, {u"colorrgb", 20}, {u"COUNTSERIES", 7}, {u"FrameInFrame", 33}, {u"getbox", 26},
    };
    for (const auto& [name, expected] : names) {
        std::u16string copy(name);
        LPOLESTR list[] = {copy.data()};
        DISPID id = 0;
        EXPECT_EQ(graf->GetIDsOfNames(GUID_NULL, list, 1, 0, &id), S_OK);
        EXPECT_EQ(id, expected) << qrt::encodeUtf8(name);
    }
    for (const char16_t* missing : {u"Color_RGB", u"X_axis", u"Y_axis"}) {
        std::u16string copy(missing);
        LPOLESTR list[] = {copy.data()};
        DISPID id = 0;
        EXPECT_EQ(graf->GetIDsOfNames(GUID_NULL, list, 1, 0, &id), DISP_E_UNKNOWNNAME);
    }
    EXPECT_EQ(qtest::call(graf, u"colorrgb", {qrt::Variant(1), qrt::Variant(2), qrt::Variant(3)}).value.lVal,
              3 * 65536 + 2 * 256 + 1);
    EXPECT_EQ(qtest::call(graf, u"ColorRGB", {qrt::Variant(256), qrt::Variant(0), qrt::Variant(-1)}).value.lVal,
              255 * 65536);
    // Without a graph control the getters give their fallbacks.
    EXPECT_EQ(qtest::call(graf, u"CountSeries").value.lVal, 0);
    EXPECT_EQ(qtest::call(graf, u"GetBkgrColor").value.lVal, -1);
    EXPECT_EQ(qtest::call(graf, u"GetIsViewAxis").value.lVal, -1);
    EXPECT_EQ(qtest::call(graf, u"AddPointToSeries", {qrt::Variant(1)}).hr, DISP_E_BADPARAMCOUNT);

    // The type library keeps the original declaration, with its own names.
    quillan::GrafTypeLibrary library = quillan::grafTypeLibrary();
    ASSERT_TRUE(library.dispinterface && library.coclass);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(library.dispinterface->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->cFuncs, 20);
    library.dispinterface->ReleaseTypeAttr(attr);
}

TEST_F(GrafTest, ChoosesTheEngineByTheExtension) {
    // The same text creates a series in VBScript and only reads a member in JScript.
    const std::string text = "Graf.CreateSeries\n";
    const struct {
        const char* name;
        LONG language;
        LONG series;
    } cases[] = {
        {"upper.VBS", Graf::kVBScript, 1}, {"lower.vbs", Graf::kVBScript, 1}, {"two.vb", Graf::kJScript, 0},
        {"noext", Graf::kJScript, 0},      {"text.txt", Graf::kJScript, 0},   {"four.vbsx", Graf::kJScript, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Setup setup;
        Graf& graf = setup.document.graf();
        EXPECT_EQ(graf.language(), Graf::kNoLanguage);
        graf.loadScript(write(c.name, text));
        EXPECT_EQ(graf.language(), c.language);
        EXPECT_EQ(setup.count(), c.series);
    }
    EXPECT_TRUE(m_ui.reports.empty());
}

TEST_F(GrafTest, LoadMemScriptRunsInTheLanguageOfTheLastScript) {
    Setup setup;
    Graf& graf = setup.document.graf();
    // Before any script: nothing happens.
    graf.loadMemScript(u"Graf.CreateSeries();");
    EXPECT_EQ(graf.host(), nullptr);
    EXPECT_EQ(setup.count(), 0);

    graf.loadScript(write("first.vbs", "Graf.CreateSeries\n"));
    ASSERT_EQ(setup.count(), 1);
    const std::u16string path = graf.scriptPath();
    // VBScript now, even for text that reads as JScript.
    graf.loadMemScript(u"Graf.CreateSeries : Graf.CreateSeries");
    EXPECT_EQ(setup.count(), 3);
    EXPECT_EQ(graf.language(), Graf::kVBScript);
    EXPECT_EQ(graf.scriptPath(), path);
    // A syntax error is recorded for the caller to read.
    graf.loadMemScript(u"If Then");
    LONG line = 0, position = 0;
    std::u16string description;
    EXPECT_EQ(graf.lastError(line, position, description), S_OK);
    EXPECT_EQ(line, 1);
    EXPECT_FALSE(description.empty());
}

TEST_F(GrafTest, ForwardsToTheGraphControl) {
    Setup setup;
    Graf& graf = setup.document.graf();
    graf.loadScript(write("draw.js",
                          "Graf.CreateSeries(); Graf.CreateSeries();\n"
                          "Graf.SetPointVar(0, [0, 1, 2], [5, 6, 7]);\n"
                          "Graf.SetPropertySeries(1, 128, Graf.ColorRGB(10, 20, 30));\n"
                          "Graf.PutBkgrColor(Graf.ColorRGB(250, 250, 240));\n"
                          "Graf.PutIsViewAxis(0);\n"
                          "Graf.SetPoints(1, 3, [1, 2, 3, 4], [4, 5, 6, 7]);\n"
                          "Graf.SetPoints(1, 9, [1, 2], [3, 4]);\n"  // more than supplied: ignored
                          "Graf.SetImage(1, 2, 3, 4, 0.5); Graf.XAddPointToSeries(0, 1, 2);\n"
                          "Graf.SetAxisTitles('@ln@time', '@gn@a');\n"
                          "Graf.ReDrawGraph();\n"));
    EXPECT_TRUE(m_ui.reports.empty()) << (m_ui.reports.empty() ? "" : qrt::encodeUtf8(m_ui.reports[0].description));
    EXPECT_EQ(setup.count(), 2);
    IDispatch* g = static_cast<quillan::IGrafScript*>(&graf);
    EXPECT_EQ(qtest::call(g, u"GetBkgrColor").value.lVal, 250 + 250 * 256 + 240 * 65536);
    EXPECT_EQ(qtest::call(g, u"GetIsViewAxis").value.lVal, 0);

    // By-reference results come back to the caller's variables.
    qrt::Variant alpha(0), color(0);
    EXPECT_EQ(qtest::call(g, u"GetPropertySeries", {qrt::Variant(1), qtest::refTo(&alpha), qtest::refTo(&color)}).hr,
              S_OK);
    EXPECT_EQ(alpha.lVal, 128);
    EXPECT_EQ(color.lVal, 10 + 20 * 256 + 30 * 65536);
    qrt::Variant x(0.0), y(0.0), w(0.0), h(0.0);
    qtest::call(g, u"GetBox", {qtest::refTo(&x), qtest::refTo(&y), qtest::refTo(&w), qtest::refTo(&h)});
    EXPECT_DOUBLE_EQ(x.dblVal, 0);   // the points of both series: x from 0 to 3
    EXPECT_DOUBLE_EQ(w.dblVal, 3);
    EXPECT_DOUBLE_EQ(y.dblVal, 4);   // y from 4 to 7
    EXPECT_DOUBLE_EQ(h.dblVal, 3);

    // SetImage and XAddPointToSeries changed nothing: still two series.
    EXPECT_EQ(setup.count(), 2);
    // A single by-reference double pair with a count of one is a point.
    double px = 9, py = 9;
    VARIANT rx{}, ry{};
    rx.vt = VT_BYREF | VT_R8;
    rx.pdblVal = &px;
    ry.vt = VT_BYREF | VT_R8;
    ry.pdblVal = &py;
    EXPECT_EQ(graf.SetPoints(0, 1, rx, ry), S_OK);
    EXPECT_EQ(graf.SetPoints(0, 2, rx, ry), S_FALSE);  // never beyond what was supplied
}

TEST_F(GrafTest, AFailingControlCallIsAScriptError) {
    CQuillanDoc document;
    BrokenView view;
    document.addView(&view);
    document.graf().loadScript(write("fail.js", "var a = 1;\nGraf.CreateSeries();\n"));
    ASSERT_EQ(m_ui.reports.size(), 1u);
    EXPECT_EQ(m_ui.reports[0].line, 2);
    EXPECT_EQ(m_ui.reports[0].description, u"the control is broken");
    document.graf().closeScript();
    document.removeView(&view);
}

TEST_F(GrafTest, ZoomLeavesNoScratchFileAndPicturePathsResolve) {
    // A file of the user's with the scratch file's old name is not touched.
    std::ofstream("CompoundFile.cmp") << "the user's";
    // Scratch files go to the temporary folder: a private one here.
    const std::string temporary = qtest::makeTempDir("scratch");
    const std::string oldTmpdir = qEnvironmentVariable("TMPDIR").toStdString();
    ::setenv("TMPDIR", temporary.c_str(), 1);
    {
        Setup setup;
        setup.document.graf().loadScript(write("zoom.js",
                                               "Graf.CreateSeries(); Graf.AddPointToSeries(0, 0, 0);\n"
                                               "Graf.AddPointToSeries(0, 10, 10); Graf.ReDrawGraph();\n"
                                               "Graf.ZoomGraf(1, 1, 2, 2);\n"));
        EXPECT_TRUE(m_ui.reports.empty());
    }
    std::ifstream kept("CompoundFile.cmp");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "the user's");
    std::filesystem::remove("CompoundFile.cmp");
    if (oldTmpdir.empty()) ::unsetenv("TMPDIR"); else ::setenv("TMPDIR", oldTmpdir.c_str(), 1);
    EXPECT_TRUE(std::filesystem::is_empty(temporary)) << "a scratch file was left behind";
    qtest::removeTree(temporary);

    const std::u16string pictures = qrt::decodeAnsi(quillan::dataFolder()) + u"/Pictures/";
    EXPECT_EQ(quillan::ResolvePicturePath(u"photo.jpg"), pictures + u"photo.jpg");
    EXPECT_EQ(quillan::ResolvePicturePath(u"dir\\photo.jpg"), u"dir\\photo.jpg");
    EXPECT_EQ(quillan::ResolvePicturePath(u"/tmp/photo.jpg"), u"/tmp/photo.jpg");
    EXPECT_EQ(quillan::ResolvePicturePath(u"photo.jpeg"), u"photo.jpeg");
    EXPECT_EQ(quillan::ResolvePicturePath(u"photo"), u"photo");
}

TEST_F(GrafTest, AScriptThatLoadsAnotherReplacesItself) {
    Setup setup;
    Graf& graf = setup.document.graf();
    const std::u16string second = write("second.js", "Graf.CreateSeries(); Graf.CreateSeries();\n");
    graf.loadScript(write("first.js", "Graf.CreateSeries();\nGraf.LoadScript('" + qrt::encodeUtf8(second) +
                                          "');\nfor (;;) { Graf.CreateSeries(); }\n"));
    // The first script stopped; the second one ran and is the current script.
    EXPECT_EQ(setup.count(), 3);
    EXPECT_EQ(graf.scriptPath(), second);
    EXPECT_TRUE(m_ui.reports.empty());
}

TEST_F(GrafTest, TheDocumentSavesNothingAndHandsOpenedFilesOn) {
    CQuillanDoc document;
    const std::u16string saved = qrt::decodeAnsi(m_folder + "/work.qln");
    std::ofstream(qrt::encodeUtf8(saved)) << "old content";
    EXPECT_EQ(document.saveDocument(saved), S_OK);
    EXPECT_EQ(std::filesystem::file_size(qrt::encodeUtf8(saved)), 0u);
    EXPECT_EQ(document.saveDocument(u"/nonexistent/folder/x.qln"), HRESULT_FROM_ERRNO(ENOENT));

    std::vector<std::u16string> opened;
    document.setOpenScriptHandler([&](std::u16string_view path) { opened.emplace_back(path); });
    EXPECT_TRUE(document.openDocument(saved));
    EXPECT_TRUE(document.openDocument(u"/missing.js"));
    EXPECT_EQ(opened.size(), 2u);

    document.addScript(u"/scripts/draw.vbs");
    document.addScript(u"/scripts/draw.vbs");
    document.addScript(u"C:\\old\\plot.js");
    EXPECT_EQ(document.scriptPaths().size(), 3u);
    EXPECT_EQ(document.scriptNames(), (std::vector<std::u16string>{u"draw", u"draw", u"plot"}));
}

}  // namespace
