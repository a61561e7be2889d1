// The remembered data extent against a plain walk over every series.
#include "graph/series_extent.h"

#include "graph/series.h"
#include "graph/series_holder.h"
#include "runtime/object.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace tarvik {
namespace {

using qrt::ComPtr;

// The extent as the control always computed it: every visible series'
// GetBox, the first taken whole, the others widening it.
bool walkedUnion(const CSeriesHolder& holder, Box& out) {
    bool first = true;
    for (LONG i = 0; i < holder.count(); ++i) {
        ISeries* s = holder.at(i);
        LONG visible = 0;
        s->get_IsView(&visible);
        double b[4];
        if (!visible || s->GetBox(b) != S_OK) continue;
        if (first) {
            out = Box{b[0], b[1], b[2], b[3]};
            first = false;
            continue;
        }
        if (b[0] < out.XMin) out.XMin = b[0];
        if (b[1] < out.YMin) out.YMin = b[1];
        if (b[2] > out.XMax) out.XMax = b[2];
        if (b[3] > out.YMax) out.YMax = b[3];
    }
    return !first;
}

bool sameBits(const Box& a, const Box& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A series of another library: a fixed box, infinities allowed.
class OtherSeries final : public qrt::ComObject<ISeries> {
public:
    explicit OtherSeries(std::vector<double> box) : m_box(std::move(box)) {}
    HRESULT GetBox(double* b) override {
        std::copy(m_box.begin(), m_box.end(), b);
        return S_OK;
    }
    HRESULT get_IsView(LONG* v) override { *v = 1; return S_OK; }
    HRESULT Add(double, double) override { return S_OK; }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
    HRESULT get_IsLine(LONG*) override { return E_NOTIMPL; }
    HRESULT put_IsLine(LONG) override { return E_NOTIMPL; }
    HRESULT get_IsPoint(LONG*) override { return E_NOTIMPL; }
    HRESULT put_IsPoint(LONG) override { return E_NOTIMPL; }
    HRESULT get_IsBar(LONG*) override { return E_NOTIMPL; }
    HRESULT put_IsBar(LONG) override { return E_NOTIMPL; }
    HRESULT get_IsFill(LONG*) override { return E_NOTIMPL; }
    HRESULT put_IsFill(LONG) override { return E_NOTIMPL; }
    HRESULT RemoveAll() override { return E_NOTIMPL; }
    HRESULT get_title(BSTR*) override { return E_NOTIMPL; }
    HRESULT put_title(BSTR) override { return E_NOTIMPL; }
    HRESULT put_IsView(LONG) override { return E_NOTIMPL; }
    HRESULT GetXY(LONG*, double*, double*) override { return E_NOTIMPL; }
    HRESULT SetXY(LONG, double*, double*) override { return E_NOTIMPL; }
    HRESULT SetXYVar(VARIANT, VARIANT) override { return E_NOTIMPL; }
    HRESULT get_alpha(LONG*) override { return E_NOTIMPL; }
    HRESULT put_alpha(LONG) override { return E_NOTIMPL; }
    HRESULT get_color(OLE_COLOR*) override { return E_NOTIMPL; }
    HRESULT put_color(OLE_COLOR) override { return E_NOTIMPL; }

private:
    std::vector<double> m_box;
};

class SeriesExtentTest : public ::testing::Test {
protected:
    ComPtr<CSeries> newSeries(bool followed = true) {
        ComPtr<CSeries> s = qrt::create<CSeries>();
        s->put_IsView(1);
        if (followed) extent.follow(*s);
        EXPECT_EQ(extent.addSeries(*holder, s.get()), S_OK);
        return s;
    }
    CSeries* series(LONG i) { return static_cast<CSeries*>(holder->at(i)); }
    // The extent and the walk agree, to the last bit, on whether there is a
    // box and what it is.
    void expectSame(const char* step) {
        Box remembered{-1, -1, -1, -1}, walked{-1, -1, -1, -1};
        const bool a = extent.unionBox(*holder, remembered);
        const bool b = walkedUnion(*holder, walked);
        ASSERT_EQ(a, b) << step;
        if (a) {
            EXPECT_TRUE(sameBits(remembered, walked))
                << step << ": " << remembered.XMin << " " << remembered.YMin << " " << remembered.XMax << " "
                << remembered.YMax << " against " << walked.XMin << " " << walked.YMin << " " << walked.XMax << " "
                << walked.YMax;
        } else {
            EXPECT_TRUE(sameBits(remembered, Box{-1, -1, -1, -1})) << step << ": untouched without a box";
        }
    }

    ComPtr<CSeriesHolder> holder = qrt::create<CSeriesHolder>();
    SeriesExtent extent;
};

TEST_F(SeriesExtentTest, AMixedSequenceAgreesWithTheWalkAfterEveryStep) {
    std::mt19937 random(20240611);
    const double specials[] = {HUGE_VAL, -HUGE_VAL, std::nan(""), -0.0, 0.0, 1e308, -1e308};
    auto value = [&]() {
        if (random() % 6 == 0) return specials[random() % std::size(specials)];
        return std::uniform_real_distribution<double>(-100, 100)(random);
    };
    for (int step = 0; step < 4000; ++step) {
        const LONG count = holder->count();
        const LONG i = count ? static_cast<LONG>(random() % count) : 0;
        const unsigned kind = random() % 100;
        const std::string what = "step " + std::to_string(step) + " kind " + std::to_string(kind);
        if (count == 0 || kind < 8) {
            newSeries();
        } else if (kind < 70) {
            ASSERT_EQ(extent.addPoint(*holder, i, value(), value()), S_OK);
        } else if (kind < 75) {
            series(i)->Add(value(), value());  // behind the extent's back
        } else if (kind < 80) {
            std::vector<double> x(random() % 5), y(x.size());
            for (std::size_t k = 0; k < x.size(); ++k) x[k] = value(), y[k] = value();
            series(i)->SetXY(static_cast<LONG>(x.size()), x.data(), y.data());
        } else if (kind < 84) {
            series(i)->RemoveAll();
        } else if (kind < 92) {
            series(i)->put_IsView(random() % 2);
        } else if (kind < 95) {
            holder->Remove(i);
        } else if (kind < 97) {
            // A series nobody follows may change at any time: it must be walked.
            ComPtr<CSeries> loose = newSeries(false);
            loose->Add(value(), value());
        } else {
            expectSame(what.c_str());  // reading twice changes nothing
        }
        expectSame(what.c_str());
        if (HasFailure()) return;
    }
}

TEST_F(SeriesExtentTest, MissingSeriesAndSeriesOfOtherLibraries) {
    EXPECT_EQ(extent.addPoint(*holder, 0, 1, 1), S_FALSE);
    Box box{5, 5, 5, 5};
    EXPECT_FALSE(extent.unionBox(*holder, box));
    EXPECT_TRUE(sameBits(box, Box{5, 5, 5, 5}));
    newSeries();
    ASSERT_EQ(extent.addPoint(*holder, 0, 1, 2), S_OK);
    EXPECT_EQ(extent.addPoint(*holder, 1, 1, 2), S_FALSE);
    EXPECT_EQ(extent.addPoint(*holder, -1, 1, 2), S_FALSE);
    // A box from elsewhere counts only when it is finite.
    ComPtr<OtherSeries> infinite = qrt::create<OtherSeries>(std::vector<double>{-HUGE_VAL, -3, 10, 4});
    ComPtr<OtherSeries> nan = qrt::create<OtherSeries>(std::vector<double>{-5, -3, 10, std::nan("")});
    ComPtr<OtherSeries> finite = qrt::create<OtherSeries>(std::vector<double>{-5, -3, 0, 1});
    for (OtherSeries* other : {infinite.get(), nan.get(), finite.get()})
        ASSERT_EQ(extent.addSeries(*holder, other), S_OK);
    EXPECT_EQ(extent.addPoint(*holder, 1, 50, 50), S_OK);  // reaches the other series
    ASSERT_TRUE(extent.unionBox(*holder, box));
    EXPECT_TRUE(sameBits(box, Box{-5, -3, 1, 2}));
    ASSERT_EQ(extent.addPoint(*holder, 0, 20, 20), S_OK);
    ASSERT_TRUE(extent.unionBox(*holder, box));
    EXPECT_TRUE(sameBits(box, Box{-5, -3, 20, 20}));
}

}  // namespace
}  // namespace tarvik
