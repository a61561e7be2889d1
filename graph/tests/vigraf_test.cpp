// The graph control's model as scripts and the program drive it.
#include "graph/tests/tarvik_fixture.h"
#include "runtime/connection.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

namespace tarvik_test {
namespace {

class ViGrafTest : public TarvikTest {
protected:
    void SetUp() override {
        TarvikTest::SetUp();
        graf = make<IViGraf>(u"Tarvik.ViGraf");
        ASSERT_TRUE(graf);
    }
    std::array<double, 4> box() {
        std::array<double, 4> b{};
        EXPECT_EQ(graf->GetBox(&b[0], &b[1], &b[2], &b[3]), S_OK);
        return b;
    }
    void setPoints(LONG series, std::vector<double> x, std::vector<double> y) {
        ASSERT_EQ(graf->SetPoints(series, static_cast<LONG>(x.size()), x.data(), y.data()), S_OK);
    }

    ComPtr<IViGraf> graf;
};

TEST_F(ViGrafTest, SeriesAreCreatedAndFilledByIndex) {
    for (int i = 0; i < 3; ++i) ASSERT_EQ(call(graf.get(), u"CreateSeries").hr, S_OK);
    EXPECT_EQ(get(graf.get(), u"CountSeries").value.lVal, 3);
    // Fresh series have no points: the box stays.
    EXPECT_EQ(box(), (std::array<double, 4>{0, 0, 0, 0}));

    EXPECT_EQ(graf->AddPointToSeries(3, 1, 2), S_FALSE);
    EXPECT_EQ(graf->AddPointToSeries(-1, 1, 2), S_FALSE);
    ASSERT_EQ(call(graf.get(), u"AddPointToSeries", {Variant(2), Variant(1.5), Variant("-4")}).hr, S_OK);
    ASSERT_EQ(call(graf.get(), u"AddPointToSeries", {Variant(2), Variant(3.5), Variant(6)}).hr, S_OK);
    // Points alone do not move the box; ReDrawGraph does.
    EXPECT_EQ(box(), (std::array<double, 4>{0, 0, 0, 0}));
    ASSERT_EQ(call(graf.get(), u"ReDrawGraph").hr, S_OK);
    EXPECT_EQ(box(), (std::array<double, 4>{1.5, -4, 2, 10}));
}

TEST_F(ViGrafTest, AnEmptyControlHasNoSeriesToAddTo) {
    EXPECT_EQ(graf->AddPointToSeries(0, 1, 2), S_FALSE);
    LONG alpha = 0;
    OLE_COLOR color = 0;
    EXPECT_EQ(graf->GetPropertySeries(0, &alpha, &color), S_FALSE);
    EXPECT_EQ(graf->SetPropertySeries(0, 1, 2), S_FALSE);
    EXPECT_EQ(graf->SetPoints(0, 0, nullptr, nullptr), S_OK);
    EXPECT_EQ(graf->RemoveData(0), S_OK);
    EXPECT_EQ(graf->RemoveSeries(0), S_OK);
}

TEST_F(ViGrafTest, SetPointVarTakesScriptArrays) {
    ASSERT_EQ(graf->CreateSeries(), S_OK);
    auto r = call(graf.get(), u"SetPointVar",
                  {Variant(0), scriptArray({0, 1, 2}), scriptArray({Variant(5.0), Variant(short(6)), 7})});
    ASSERT_EQ(r.hr, S_OK);
    // GetBox through script variables.
    Variant x, y, w, h;
    ASSERT_EQ(call(graf.get(), u"GetBox", {refTo(&x), refTo(&y), refTo(&w), refTo(&h)}).hr, S_OK);
    EXPECT_EQ(x.dblVal, 0);
    EXPECT_EQ(y.dblVal, 5);
    EXPECT_EQ(w.dblVal, 2);
    EXPECT_EQ(h.dblVal, 2);

    // Arrays of different lengths, an empty one, or text: refused, nothing changes.
    EXPECT_EQ(graf->SetPointVar(0, scriptArray({1, 2, 3}), scriptArray({1, 2, 3, 4})), S_FALSE);
    EXPECT_EQ(graf->SetPointVar(0, scriptArray({}), scriptArray({})), S_FALSE);
    EXPECT_EQ(graf->SetPointVar(0, scriptArray({1, "x"}), scriptArray({1, 2})), S_FALSE);
    EXPECT_EQ(graf->SetPointVar(5, scriptArray({1}), scriptArray({1})), S_FALSE);
    EXPECT_EQ(box(), (std::array<double, 4>{0, 5, 2, 2}));

    // A script variable holding the array arrives by reference.
    Variant xs = scriptArray({10, 20}), ys = scriptArray({1, 2});
    EXPECT_EQ(graf->SetPointVar(0, refTo(&xs), refTo(&ys)), S_OK);
    EXPECT_EQ(box(), (std::array<double, 4>{10, 1, 10, 1}));
}

TEST_F(ViGrafTest, TheBoxFitsEveryVisibleSeries) {
    ASSERT_EQ(graf->CreateSeries(), S_OK);
    ASSERT_EQ(graf->CreateSeries(), S_OK);
    setPoints(0, {0, 1}, {0, 1});
    setPoints(1, {-3, 0.5}, {0.5, 4});
    EXPECT_EQ(box(), (std::array<double, 4>{-3, 0, 4, 4}));

    // An explicit box lasts until the data is fitted again.
    EXPECT_EQ(graf->SetBox_1(0, 0, 10, 0), S_FALSE);
    EXPECT_EQ(box(), (std::array<double, 4>{-3, 0, 4, 4}));
    double b[4] = {1, 2, 3, 4};
    EXPECT_EQ(graf->SetBox(b), S_OK);
    EXPECT_EQ(box(), (std::array<double, 4>{1, 2, 3, 4}));
    EXPECT_EQ(call(graf.get(), u"SetBox_1", {-1, -1, 2, 2}).hr, S_OK);
    EXPECT_EQ(box(), (std::array<double, 4>{-1, -1, 2, 2}));
    ASSERT_EQ(graf->RecalcSeries(), S_OK);
    EXPECT_EQ(box(), (std::array<double, 4>{-3, 0, 4, 4}));

    // Removing a series or its data leaves the box alone.
    ASSERT_EQ(graf->RemoveData(1), S_OK);
    EXPECT_EQ(box(), (std::array<double, 4>{-3, 0, 4, 4}));
    ASSERT_EQ(graf->RecalcSeries(), S_OK);
    EXPECT_EQ(box(), (std::array<double, 4>{0, 0, 1, 1}));
    ASSERT_EQ(graf->RemoveSeries(0), S_OK);
    EXPECT_EQ(get(graf.get(), u"CountSeries").value.lVal, 1);
}

// The box the control must show after RecalcSeries, worked out from the
// points the test gave each series: every finite point of every series.
struct BoxModel {
    std::vector<std::vector<std::pair<double, double>>> series;
    std::array<double, 4> last{0, 0, 0, 0};  // X, Y, W, H

    std::array<double, 4> recalc() {
        double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        bool any = false;
        for (const auto& points : series)
            for (auto [x, y] : points) {
                if (!std::isfinite(x) || !std::isfinite(y)) continue;
                if (!any) x0 = x1 = x, y0 = y1 = y;
                x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
                any = true;
            }
        if (any) last = {x0, y0, x1 - x0, y1 - y0};
        return last;
    }
};

TEST_F(ViGrafTest, TheBoxFollowsAMixedSequenceOfChanges) {
    std::mt19937 random(7);
    BoxModel model;
    auto value = [&]() {
        switch (random() % 12) {
        case 0: return HUGE_VAL;
        case 1: return -HUGE_VAL;
        case 2: return std::nan("");
        default: return std::round(std::uniform_real_distribution<double>(-1000, 1000)(random)) / 8;
        }
    };
    for (int step = 0; step < 3000; ++step) {
        const LONG count = static_cast<LONG>(model.series.size());
        const LONG i = count ? static_cast<LONG>(random() % count) : 0;
        const unsigned kind = random() % 100;
        SCOPED_TRACE("step " + std::to_string(step) + " kind " + std::to_string(kind));
        if (count == 0 || kind < 10) {
            ASSERT_EQ(graf->CreateSeries(), S_OK);  // fits the box to the data
            model.series.emplace_back();
            EXPECT_EQ(box(), model.recalc());
        } else if (kind < 75) {
            const double x = value(), y = value();
            ASSERT_EQ(graf->AddPointToSeries(i, x, y), S_OK);
            model.series[i].emplace_back(x, y);
        } else if (kind < 82) {
            std::vector<Variant> xs, ys;
            model.series[i].clear();
            for (unsigned k = 0, n = 1 + random() % 4; k < n; ++k) {
                model.series[i].emplace_back(value(), value());
                xs.emplace_back(model.series[i].back().first);
                ys.emplace_back(model.series[i].back().second);
            }
            Variant vx = scriptArray({}), vy = scriptArray({});
            SAFEARRAY* ax = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(xs.size()));
            SAFEARRAY* ay = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(ys.size()));
            for (std::size_t k = 0; k < xs.size(); ++k) {
                static_cast<double*>(ax->pvData)[k] = xs[k].dblVal;
                static_cast<double*>(ay->pvData)[k] = ys[k].dblVal;
            }
            VARIANT arrayX{}, arrayY{};
            arrayX.vt = VT_ARRAY | VT_R8, arrayX.parray = ax;
            arrayY.vt = VT_ARRAY | VT_R8, arrayY.parray = ay;
            ASSERT_EQ(graf->SetPointVar(i, arrayX, arrayY), S_OK);  // fits the box as well
            SafeArrayDestroy(ax);
            SafeArrayDestroy(ay);
            EXPECT_EQ(box(), model.recalc());
        } else if (kind < 87) {
            ASSERT_EQ(graf->RemoveData(i), S_OK);
            model.series[i].clear();
        } else if (kind < 90) {
            ASSERT_EQ(graf->RemoveSeries(i), S_OK);
            model.series.erase(model.series.begin() + i);
        } else if (kind < 95) {
            const double x = value(), y = value();
            const HRESULT hr = graf->SetBox_1(x, y, 5, 5);
            if (std::isfinite(x) && std::isfinite(y)) {
                ASSERT_EQ(hr, S_OK);
                model.last = {x, y, 5, 5};
            } else {
                ASSERT_EQ(hr, S_FALSE);  // only a finite box is taken
            }
            EXPECT_EQ(box(), model.last);
        } else {
            ASSERT_EQ(graf->ReDrawGraph(), S_OK);
            EXPECT_EQ(box(), model.recalc());
        }
        if (random() % 4 == 0) {
            ASSERT_EQ(graf->RecalcSeries(), S_OK);
            EXPECT_EQ(box(), model.recalc());
        }
        if (HasFailure()) return;
    }
}

TEST_F(ViGrafTest, ManySeriesCostLinearTime) {
    // Each new series used to walk the points of all the series before it.
    for (int i = 0; i < 10; ++i) graf->CreateSeries();
    for (int i = 0; i < 100000; ++i) graf->AddPointToSeries(i % 10, i, -i);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100000; ++i) ASSERT_EQ(graf->CreateSeries(), S_OK);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("100000 CreateSeries after 100000 points: %.3f s\n", seconds);
    EXPECT_EQ(box(), (std::array<double, 4>{0, -99999, 99999, 99999}));
    ASSERT_EQ(graf->AddPointToSeries(100009, 1e6, 1), S_OK);
    ASSERT_EQ(graf->ReDrawGraph(), S_OK);
    EXPECT_EQ(box(), (std::array<double, 4>{0, -99999, 1e6, 100000}));
}

TEST_F(ViGrafTest, SeriesPropertiesAreStoredAsGiven) {
    ASSERT_EQ(graf->CreateSeries(), S_OK);
    // A script writes a system colour as a negative literal.
    ASSERT_EQ(call(graf.get(), u"SetPropertySeries", {0, 128, static_cast<int>(0x80000005u)}).hr, S_OK);
    Variant alpha, color;
    ASSERT_EQ(call(graf.get(), u"GetPropertySeries", {0, refTo(&alpha), refTo(&color)}).hr, S_OK);
    EXPECT_EQ(alpha.lVal, 128);
    EXPECT_EQ(color.ulVal, 0x80000005u);
}

TEST_F(ViGrafTest, TitlesKeepTheTextLastSet) {
    EXPECT_EQ(get(graf.get(), u"X_axis").value.bstrVal, nullptr);
    ASSERT_EQ(put(graf.get(), u"X_axis", Variant(u"@LN@Time@D@0")).hr, S_OK);
    ASSERT_EQ(put(graf.get(), u"Y_axis", Variant(u"@gn@a")).hr, S_OK);
    ASSERT_EQ(graf->CreateSeries(), S_OK);  // runs RecalcSeries
    ASSERT_EQ(graf->ReDrawGraph(), S_OK);
    EXPECT_EQ(qrt::bstrToUtf8(get(graf.get(), u"X_axis").value.bstrVal), "@LN@Time@D@0");
    EXPECT_EQ(qrt::bstrToUtf8(get(graf.get(), u"Y_axis").value.bstrVal), "@gn@a");
}

TEST_F(ViGrafTest, DisplaySettingsAndRemoveAll) {
    ASSERT_EQ(put(graf.get(), u"ViewAxis", 5).hr, S_OK);
    EXPECT_EQ(get(graf.get(), u"ViewAxis").value.lVal, 1);
    ASSERT_EQ(put(graf.get(), u"ViewAxis", 0).hr, S_OK);
    EXPECT_EQ(get(graf.get(), u"ViewAxis").value.lVal, 0);

    EXPECT_EQ(get(graf.get(), u"BkgrColor").value.ulVal, 0xFFFFFFu);  // white to start with
    // BkgrColor translates system colours; BackColor, the same colour, keeps what it is given.
    ASSERT_EQ(put(graf.get(), u"BkgrColor", static_cast<int>(0x80000018u)).hr, S_OK);  // tooltip background
    EXPECT_EQ(get(graf.get(), u"BkgrColor").value.ulVal, 0xE1FFFFu);
    ASSERT_EQ(put(graf.get(), u"BackColor", static_cast<int>(0x80000005u)).hr, S_OK);
    EXPECT_EQ(get(graf.get(), u"BkgrColor").value.ulVal, 0x80000005u);
    EXPECT_EQ(graf->put_BkgrColor(0x800000FF), E_INVALIDARG);  // no such system colour: kept
    EXPECT_EQ(get(graf.get(), u"BackColor").value.ulVal, 0x80000005u);

    ASSERT_EQ(graf->CreateSeries(), S_OK);
    double b[4] = {1, 2, 3, 4};
    graf->SetBox(b);
    ASSERT_EQ(put(graf.get(), u"X_axis", Variant(u"@LN@x")).hr, S_OK);
    ASSERT_EQ(call(graf.get(), u"RemoveAll").hr, S_OK);
    EXPECT_EQ(get(graf.get(), u"CountSeries").value.lVal, 0);
    EXPECT_EQ(box(), (std::array<double, 4>{0, 0, 0, 0}));
    EXPECT_EQ(get(graf.get(), u"ViewAxis").value.lVal, 1);
    EXPECT_EQ(get(graf.get(), u"BkgrColor").value.ulVal, 0xFFFFFFu);
    EXPECT_EQ(qrt::bstrToUtf8(get(graf.get(), u"X_axis").value.bstrVal), "@LN@x");  // titles stay
}

class Listener final : public qrt::ComObject<IPropertyNotifySink> {
public:
    HRESULT OnChanged(DISPID id) override { changed.push_back(id); return S_OK; }
    HRESULT OnRequestEdit(DISPID id) override { asked.push_back(id); return refuse ? S_FALSE : S_OK; }
    std::vector<DISPID> changed, asked;
    bool refuse = false;
};

TEST_F(ViGrafTest, StockPropertiesAskNotifyAndRepaint) {
    auto container = graf.as<IConnectionPointContainer>();
    ASSERT_TRUE(container);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(IPropertyNotifySink::IID, point.out()), S_OK);
    ComPtr<Listener> listener = qrt::create<Listener>();
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(listener->unknown(), &cookie), S_OK);

    ASSERT_EQ(put(graf.get(), u"BorderWidth", 3).hr, S_OK);
    EXPECT_EQ(listener->asked, std::vector<DISPID>{DISPID_BORDERWIDTH});
    EXPECT_EQ(listener->changed, std::vector<DISPID>{DISPID_BORDERWIDTH});
    EXPECT_EQ(get(graf.get(), u"BorderWidth").value.lVal, 3);

    listener->refuse = true;
    EXPECT_EQ(graf->put_ForeColor(0xFF), S_FALSE);
    OLE_COLOR fore = 1;
    graf->get_ForeColor(&fore);
    EXPECT_EQ(fore, 0u);
    EXPECT_EQ(listener->changed.size(), 1u);
    ASSERT_EQ(point->Unadvise(cookie), S_OK);

    // The font is kept as the object given.
    ComPtr<IViGraf> other = make<IViGraf>(u"Tarvik.ViGraf");
    ASSERT_EQ(graf->putref_Font(other.get()), S_OK);
    ComPtr<IDispatch> font;
    ASSERT_EQ(graf->get_Font(font.out()), S_OK);
    EXPECT_EQ(font.get(), static_cast<IDispatch*>(other.get()));
    ASSERT_EQ(graf->putref_Font(nullptr), S_OK);

    ComPtr<IConnectionPoint> events;
    EXPECT_EQ(container->FindConnectionPoint(DIID__IViGrafEvents, events.out()), S_OK);
    EXPECT_EQ(container->FindConnectionPoint(IDispatch::IID, events.out()), CONNECT_E_NOCONNECTION);
}

TEST_F(ViGrafTest, ArrayMembersRefuseSingleScriptValues) {
    // Through IDispatch a pointer parameter is one value, never an array.
    ASSERT_EQ(graf->CreateSeries(), S_OK);
    Variant x(1.0), y(2.0);
    auto points = call(graf.get(), u"SetPoints", {0, 50'000'000, refTo(&x), refTo(&y)});
    EXPECT_EQ(points.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(points.scode, E_INVALIDARG);
    EXPECT_NE(points.description.find("SetPointVar"), std::string::npos);
    EXPECT_EQ(call(graf.get(), u"SetPoints", {0, 1, refTo(&x), refTo(&y)}).hr, S_OK);  // one point is one value
    auto box = call(graf.get(), u"SetBox", {refTo(&x)});
    EXPECT_EQ(box.scode, E_INVALIDARG);
    EXPECT_NE(box.description.find("SetBox_1"), std::string::npos);
}

TEST_F(ViGrafTest, ZoomStateMembersAnswer) {
    EXPECT_EQ(graf->GetZoomImage(nullptr), S_FALSE);
    EXPECT_EQ(put(graf.get(), u"AutoZoom", 5).hr, S_OK);
    EXPECT_EQ(get(graf.get(), u"AutoZoom").value.lVal, 1);
    EXPECT_EQ(get(graf.get(), u"X").value.vt, VT_R8);
    EXPECT_EQ(call(graf.get(), u"FrameInFrame", {Variant("f"), 1, 2, 3, 4}).hr, S_OK);
    EXPECT_EQ(call(graf.get(), u"FrameInFrameEx", {Variant("f"), 1, 2, 3}).hr, S_OK);
}

TEST_F(ViGrafTest, EverythingIsReleasedWithTheControl) {
    graf.reset();
    // Warm up type information, then count.
    {
        auto warm = make<IViGraf>(u"Tarvik.ViGraf");
        warm->CreateSeries();
        call(warm.get(), u"CountSeries");
    }
    const long objects = qrt::liveObjectCount();
    const long underflows = qrt::refUnderflowCount();
    {
        auto g = make<IViGraf>(u"Tarvik.ViGraf");
        for (int i = 0; i < 4; ++i) g->CreateSeries();
        g->AddPointToSeries(1, 1, 1);
        g->RemoveSeries(2);
        g->RemoveSeries(0);
        EXPECT_EQ(get(g.get(), u"CountSeries").value.lVal, 2);
        EXPECT_EQ(g->AddPointToSeries(0, 2, 2), S_OK);  // the former index 1 is still usable
        g->RemoveAll();
        g->CreateSeries();
    }
    EXPECT_EQ(qrt::liveObjectCount(), objects);
    EXPECT_EQ(qrt::refUnderflowCount(), underflows);
}

}  // namespace
}  // namespace tarvik_test
