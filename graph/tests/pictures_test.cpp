// Pictures in and out of the graph control: JPEG export, pictures shown from
// streams, frames, the zoom pass, pointer events and persistence.
#include "graph/tests/tarvik_fixture.h"
#include "hosting/control_host.h"
#include "runtime/connection.h"
#include "runtime/persist.h"
#include "runtime/storage.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik_test {
namespace {

// Runs each test in a folder of its own, the current folder, which the
// control must leave alone.
class PicturesTest : public TarvikTest {
protected:
    void SetUp() override {
        TarvikTest::SetUp();
        ensureApplication();
        m_previous = std::filesystem::current_path();
        m_dir = qtest::makeTempDir("pictures");
        std::filesystem::current_path(m_dir);
        graf = make<IViGraf>(u"Tarvik.ViGraf");
        ASSERT_TRUE(graf);
    }
    void TearDown() override {
        graf.reset();
        std::filesystem::current_path(m_previous);
        qtest::removeTree(m_dir);
    }
    void plot() {
        std::vector<double> x = {0, 1, 2, 3}, y = {1, 3, 2, 4};
        graf->CreateSeries();
        graf->SetPoints(0, 4, x.data(), y.data());
    }
    ComPtr<IStream> memoryStream() {
        ComPtr<IStream> s;
        EXPECT_EQ(qrt::createMemoryStream(s.out()), S_OK);
        return s;
    }
    static QImage decode(IStream* stream) {
        std::string bytes;
        qrt::memoryStreamBytes(stream, &bytes);
        return QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()), "JPEG");
    }
    IDispatch* asDispatch(IStream* s) { return reinterpret_cast<IDispatch*>(s); }
    std::string file(const char* name) { return m_dir + "/" + name; }

    ComPtr<IViGraf> graf;
    std::string m_dir;
    std::filesystem::path m_previous;
};

TEST_F(PicturesTest, SavePictureWritesTheLastPaintOrTheLoadedPicture) {
    auto stream = memoryStream();
    EXPECT_EQ(graf->SavePicture(asDispatch(stream.get())), S_OK);  // nothing painted yet
    std::string bytes;
    qrt::memoryStreamBytes(stream.get(), &bytes);
    EXPECT_TRUE(bytes.empty());

    plot();
    qhost::renderControl(graf.get(), 320, 200);
    ASSERT_EQ(graf->SavePicture(asDispatch(stream.get())), S_OK);
    QImage saved = decode(stream.get());
    EXPECT_EQ(saved.size(), QSize(320, 200));

    // A picture shown from a stream replaces the graph picture until the next paint.
    QImage picture(50, 30, QImage::Format_RGB32);
    picture.fill(QColor(0, 128, 0));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    ComPtr<IStream> source;
    ASSERT_EQ(qrt::createMemoryStream(png.constData(), static_cast<std::size_t>(png.size()), source.out()), S_OK);
    EXPECT_EQ(graf->SetImage(asDispatch(source.get()), 0, 0, 100, 60, 45.0f), S_OK);
    auto second = memoryStream();
    ASSERT_EQ(graf->SavePicture(asDispatch(second.get())), S_OK);
    QImage loaded = decode(second.get());
    EXPECT_EQ(loaded.size(), QSize(50, 30));
    EXPECT_NEAR(loaded.pixelColor(25, 15).green(), 128, 6);

    // Undecodable content changes nothing.
    ComPtr<IStream> junk;
    ASSERT_EQ(qrt::createMemoryStream("not a picture", 13, junk.out()), S_OK);
    EXPECT_EQ(graf->SetImage(asDispatch(junk.get()), 0, 0, 10, 10, 0), S_OK);
    // An object that is no stream is turned away.
    EXPECT_EQ(graf->SavePicture(graf.get()), E_FAIL);
}

TEST_F(PicturesTest, FramesAreKeptAndExportedAsFreshJpegs) {
    EXPECT_EQ(call(graf.get(), u"AddFrame", {Variant("early")}).hr, S_OK);  // before any paint: nothing
    plot();
    qhost::renderControl(graf.get(), 300, 180);
    EXPECT_EQ(call(graf.get(), u"AddFrame", {Variant("one")}).hr, S_OK);
    const std::string out = file("one.jpg");
    for (int i = 0; i < 2; ++i) {
        std::filesystem::remove(out);
        EXPECT_EQ(call(graf.get(), u"LoadStreamFromDocToFile", {Variant(out.c_str()), Variant("one")}).hr, S_OK);
        QImage exported(QString::fromStdString(out));
        EXPECT_EQ(exported.size(), QSize(300, 180)) << "export " << i;
    }
    EXPECT_EQ(call(graf.get(), u"LoadStreamFromDocToFile", {Variant(file("early.jpg").c_str()), Variant("early")}).hr,
              S_OK);
    EXPECT_FALSE(std::filesystem::exists(file("early.jpg")));
    EXPECT_EQ(call(graf.get(), u"LoadStreamFromDocToFile", {Variant(file("x.jpg").c_str()), Variant("none")}).hr,
              S_OK);
    EXPECT_FALSE(std::filesystem::exists(file("x.jpg")));

    // A second frame of the same name keeps the first.
    qhost::renderControl(graf.get(), 150, 90);
    EXPECT_EQ(call(graf.get(), u"AddFrame", {Variant("one")}).hr, S_OK);
    ASSERT_EQ(call(graf.get(), u"LoadStreamFromDocToFile", {Variant(out.c_str()), Variant("one")}).hr, S_OK);
    EXPECT_EQ(QImage(QString::fromStdString(out)).size(), QSize(300, 180));

    // LoadStreamFromDoc leaves its argument alone; the frame stays exportable.
    Variant argument(42);
    EXPECT_EQ(call(graf.get(), u"LoadStreamFromDoc", {Variant("one"), argument}).hr, S_OK);
    EXPECT_EQ(argument.lVal, 42);
    EXPECT_EQ(call(graf.get(), u"FrameInFrameEx", {Variant("one"), 1, 2, 3}).hr, S_OK);
    std::filesystem::remove(out);
    EXPECT_EQ(call(graf.get(), u"LoadStreamFromDocToFile", {Variant(out.c_str()), Variant("one")}).hr, S_OK);
    EXPECT_TRUE(std::filesystem::exists(out));
}

// The names in a folder, sorted.
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string contentOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(PicturesTest, EachControlKeepsItsFramesInAFileOfItsOwn) {
    // A file of the user's that happens to bear the name frames were once kept under.
    const std::string own = file("storage.cmp");
    std::ofstream(own) << "the user's own notes";
    const std::string temporary = file("tmp");
    std::filesystem::create_directory(temporary);
    const char* previous = std::getenv("TMPDIR");
    const std::string kept = previous ? previous : "";
    setenv("TMPDIR", temporary.c_str(), 1);
    auto first = make<IViGraf>(u"Tarvik.ViGraf");
    auto second = make<IViGraf>(u"Tarvik.ViGraf");
    if (previous) setenv("TMPDIR", kept.c_str(), 1);
    else unsetenv("TMPDIR");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(namesIn(temporary).size(), 2u);  // one new file each, where temporary files go

    std::vector<double> x = {0, 1}, y = {0, 1};
    for (IViGraf* g : {first.get(), second.get()}) {
        g->CreateSeries();
        g->SetPoints(0, 2, x.data(), y.data());
    }
    // Both alive at once, each with a frame of the same name and its own size.
    qhost::renderControl(first.get(), 120, 80);
    qhost::renderControl(second.get(), 200, 50);
    ASSERT_EQ(call(first.get(), u"AddFrame", {Variant("f")}).hr, S_OK);
    ASSERT_EQ(call(second.get(), u"AddFrame", {Variant("f")}).hr, S_OK);
    ASSERT_EQ(call(first.get(), u"LoadStreamFromDocToFile", {Variant(file("1.jpg").c_str()), Variant("f")}).hr, S_OK);
    ASSERT_EQ(call(second.get(), u"LoadStreamFromDocToFile", {Variant(file("2.jpg").c_str()), Variant("f")}).hr, S_OK);
    EXPECT_EQ(QImage(QString::fromStdString(file("1.jpg"))).size(), QSize(120, 80));
    EXPECT_EQ(QImage(QString::fromStdString(file("2.jpg"))).size(), QSize(200, 50));

    first.reset();
    second.reset();
    graf.reset();
    EXPECT_TRUE(namesIn(temporary).empty());  // gone with their controls
    EXPECT_EQ(contentOf(own), "the user's own notes");
    EXPECT_EQ(namesIn(m_dir), (std::vector<std::string>{"1.jpg", "2.jpg", "storage.cmp", "tmp"}));
}

TEST_F(PicturesTest, TheZoomPassLeavesTheGraphAsItWas) {
    plot();
    qhost::ControlHost host;
    host.resize(400, 250);
    host.show();
    ASSERT_EQ(host.attach(graf.get()), S_OK);
    host.controlWindow()->grab();
    double before[4], after[4];
    graf->GetBox(&before[0], &before[1], &before[2], &before[3]);
    auto stream = memoryStream();
    ASSERT_EQ(graf->ZoomGraf(asDispatch(stream.get()), 1, 1, 1, 1), S_OK);
    EXPECT_EQ(decode(stream.get()).size(), QSize(400, 250));
    graf->GetBox(&after[0], &after[1], &after[2], &after[3]);
    EXPECT_EQ(std::vector<double>(before, before + 4), std::vector<double>(after, after + 4));
    EXPECT_EQ(graf->GetZoomImage(asDispatch(stream.get())), S_FALSE);

    // The magnifier paints the zoomed picture into the zoom rectangle only,
    // and not at all when the rectangle is empty.
    QImage plain = host.controlWindow()->grab().toImage();
    ASSERT_EQ(graf->SetZoomRect(20, 30, 0, 40), S_OK);
    ASSERT_EQ(graf->Magnifier(1, 1, 0.5, 0.5), S_OK);
    EXPECT_EQ(host.controlWindow()->grab().toImage(), plain);
    ASSERT_EQ(graf->SetZoomRect(20, 30, 120, 80), S_OK);
    ASSERT_EQ(graf->Magnifier(1, 1, 0.5, 0.5), S_OK);
    QImage magnified = host.controlWindow()->grab().toImage();
    int inside = 0, outside = 0;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            if (magnified.pixel(x, y) != plain.pixel(x, y)) ++(QRect(20, 30, 120, 80).contains(x, y) ? inside : outside);
    EXPECT_GT(inside, 100);
    EXPECT_EQ(outside, 0);
    // A change of the graph repaints it whole: the overlay is gone.
    graf->ReDrawGraph();
    EXPECT_EQ(host.controlWindow()->grab().toImage(), plain);
    host.release();
}

class EventSink final : public qrt::ComObject<IDispatch> {
public:
    explicit EventSink(IViGraf* graf, HRESULT answer = S_OK) : m_graf(graf), m_answer(answer) {}
    HRESULT GetTypeInfoCount(UINT* n) override { *n = 0; return S_OK; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        events.push_back(id);
        EXPECT_EQ(params->cArgs, 0u);
        if (id == DISPID_ChangePosition) m_graf->get_X(&seenX);
        return m_answer;
    }
    std::vector<DISPID> events;
    double seenX = -1;

private:
    IViGraf* m_graf;
    HRESULT m_answer;
};

TEST_F(PicturesTest, PointerEventsReachTheSinksInOrder) {
    plot();
    qhost::ControlHost host;
    host.resize(400, 250);
    host.show();
    ASSERT_EQ(host.attach(graf.get()), S_OK);
    QWidget* window = host.controlWindow();
    window->grab();  // a first paint lays the graph out

    auto container = graf.as<IConnectionPointContainer>();
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(DIID__IViGrafEvents, point.out()), S_OK);
    ComPtr<EventSink> first = qrt::create<EventSink>(graf.get(), S_OK);
    ComPtr<EventSink> failing = qrt::create<EventSink>(graf.get(), E_FAIL);
    ComPtr<EventSink> last = qrt::create<EventSink>(graf.get(), S_OK);
    DWORD c1, c2, c3;
    ASSERT_EQ(point->Advise(first->unknown(), &c1), S_OK);
    ASSERT_EQ(point->Advise(failing->unknown(), &c2), S_OK);
    ASSERT_EQ(point->Advise(last->unknown(), &c3), S_OK);

    auto move = [&](QPoint p) {
        QMouseEvent e(QEvent::MouseMove, p, window->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &e);
    };
    move(QPoint(200, 120));
    double x1 = 0;
    graf->get_X(&x1);
    EXPECT_EQ(first->seenX, 0);  // read during the event: the previous position
    move(QPoint(5000, 120));     // beyond the plot: its right edge
    double x2 = 0, y2 = 0;
    graf->get_X(&x2);
    graf->get_Y(&y2);
    EXPECT_EQ(first->seenX, x1);
    EXPECT_GT(x2, x1);
    EXPECT_NEAR(x2, 3, 1e-6);  // the right end of the box

    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), window->mapToGlobal(QPointF(10, 10)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(10, 10), window->mapToGlobal(QPointF(10, 10)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &release);
    EXPECT_EQ(first->events, (std::vector<DISPID>{DISPID_ChangePosition, DISPID_ChangePosition, DISPID_LeftClickIn,
                                                  DISPID_LeftClickUp}));
    EXPECT_EQ(failing->events.size(), 4u);
    EXPECT_TRUE(last->events.empty());  // behind a failing sink
    point->Unadvise(c1);
    point->Unadvise(c2);
    point->Unadvise(c3);
    host.release();
}

// A sink that lets go of the control while the control is raising its event.
class ReleasingSink final : public qrt::ComObject<IDispatch> {
public:
    explicit ReleasingSink(ComPtr<IViGraf>& held) : m_held(held) {}
    HRESULT GetTypeInfoCount(UINT* n) override { *n = 0; return S_OK; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        m_held.reset();
        return S_OK;
    }

private:
    ComPtr<IViGraf>& m_held;
};

TEST_F(PicturesTest, ASinkMayReleaseTheControlDuringItsEvent) {
    plot();
    QWidget parent;
    parent.resize(300, 200);
    QWidget* window = nullptr;
    ASSERT_EQ(graf.as<IWidgetControl>()->CreateControlWindow(&parent, &window), S_OK);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(graf.as<IConnectionPointContainer>()->FindConnectionPoint(DIID__IViGrafEvents, point.out()), S_OK);
    auto sink = qrt::create<ReleasingSink>(graf);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(sink->unknown(), &cookie), S_OK);
    point.reset();
    graf->put_AutoZoom(1);
    QMouseEvent move(QEvent::MouseMove, QPointF(100, 100), window->mapToGlobal(QPointF(100, 100)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &move);  // the sink drops the last outside reference
    EXPECT_FALSE(graf);
}

TEST_F(PicturesTest, PersistenceRefusesCyclesAndDamagedStreams) {
    auto other = make<IViGraf>(u"Tarvik.ViGraf");
    EXPECT_EQ(graf->putref_Font(graf.get()), E_INVALIDARG);
    // Two controls holding each other as their font: saving stops, it does not recurse.
    ASSERT_EQ(graf->putref_Font(other.get()), S_OK);
    ASSERT_EQ(other->putref_Font(graf.get()), S_OK);
    auto stream = memoryStream();
    EXPECT_EQ(graf.as<IPersistStreamInit>()->Save(stream.get(), 1), E_FAIL);
    other->putref_Font(nullptr);  // break the cycle
    graf->putref_Font(nullptr);

    // A string that claims a gigabyte in a stream of a few bytes.
    auto damaged = memoryStream();
    const DWORD version = 0x0700;
    const VARTYPE vt = VT_BSTR;
    const ULONG length = 1u << 30;
    qrt::writeExactly(damaged.get(), &version, 4);
    qrt::writeExactly(damaged.get(), &vt, 2);
    qrt::writeExactly(damaged.get(), &length, 4);
    LARGE_INTEGER start{};
    damaged->Seek(start, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(graf.as<IPersistStreamInit>()->Load(damaged.get()), STG_E_READFAULT);
}

TEST_F(PicturesTest, TheStockPropertiesPersist) {
    graf->put_BackColor(0x123456);
    graf->put_BorderWidth(7);
    graf->put_BorderVisible(VARIANT_TRUE);
    graf->put_ForeColor(0x80000008);
    plot();  // not persisted
    auto stream = memoryStream();
    auto persist = graf.as<IPersistStreamInit>();
    ASSERT_TRUE(persist);
    EXPECT_EQ(persist->IsDirty(), S_OK);
    ASSERT_EQ(persist->Save(stream.get(), 1), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);

    graf.reset();
    auto copy = make<IViGraf>(u"Tarvik.ViGraf");
    LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(copy.as<IPersistStreamInit>()->Load(stream.get()), S_OK);
    OLE_COLOR c = 0;
    copy->get_BackColor(&c);
    EXPECT_EQ(c, 0x123456u);
    copy->get_ForeColor(&c);
    EXPECT_EQ(c, 0x80000008u);
    LONG width = 0, count = 5;
    copy->get_BorderWidth(&width);
    EXPECT_EQ(width, 7);
    copy->get_CountSeries(&count);
    EXPECT_EQ(count, 0);

    // A newer version is refused.
    auto newer = memoryStream();
    const DWORD version = 0x0701;
    ASSERT_EQ(qrt::writeExactly(newer.get(), &version, 4), S_OK);
    newer->Seek(start, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(copy.as<IPersistStreamInit>()->Load(newer.get()), E_FAIL);

    // In a storage, the same content sits in "Contents".
    ComPtr<IStorage> storage;
    ASSERT_EQ(StgCreateDocfile(u"saved.cmp", STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE |
                                                 STGM_DELETEONRELEASE, 0, storage.out()),
              S_OK);
    auto persistStorage = copy.as<IPersistStorage>();
    EXPECT_NE(persistStorage->Load(storage.get()), S_OK);  // no "Contents" yet
    ASSERT_EQ(persistStorage->Save(storage.get(), 1), S_OK);
    auto third = make<IViGraf>(u"Tarvik.ViGraf");
    ASSERT_EQ(third.as<IPersistStorage>()->Load(storage.get()), S_OK);
    third->get_BackColor(&c);
    EXPECT_EQ(c, 0x123456u);
}

}  // namespace
}  // namespace tarvik_test
