// Series objects as scripts and the program reach them.
#include "graph/tests/tarvik_fixture.h"

#include "runtime/safearray.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <vector>

namespace tarvik_test {
namespace {

// A typed safe array of one dimension with the given lower bound.
template <class T>
Variant typedArray(VARTYPE vt, std::vector<T> items, LONG lowerBound = 0) {
    SAFEARRAY* sa = SafeArrayCreateVector(vt, lowerBound, static_cast<ULONG>(items.size()));
    void* data = nullptr;
    SafeArrayAccessData(sa, &data);
    std::copy(items.begin(), items.end(), static_cast<T*>(data));
    SafeArrayUnaccessData(sa);
    Variant v;
    v.vt = static_cast<VARTYPE>(VT_ARRAY | vt);
    v.parray = sa;
    return v;
}

class SeriesTest : public TarvikTest {
protected:
    void SetUp() override {
        TarvikTest::SetUp();
        series = make<ISeries>(u"Tarvik.Series");
        ASSERT_TRUE(series);
    }
    LONG flag(const char16_t* name) { return get(series.get(), name).value.lVal; }
    // The points GetXY hands out.
    std::pair<std::vector<double>, std::vector<double>> points() {
        std::vector<double> x(MaxDrawPoints), y(MaxDrawPoints);
        LONG n = -1;
        EXPECT_EQ(series->GetXY(&n, x.data(), y.data()), S_OK);
        x.resize(static_cast<std::size_t>(n));
        y.resize(static_cast<std::size_t>(n));
        return {x, y};
    }
    void setPoints(std::vector<double> x, std::vector<double> y) {
        ASSERT_EQ(series->SetXY(static_cast<LONG>(x.size()), x.data(), y.data()), S_OK);
    }
    // Through the interface: Invoke reports S_FALSE as S_OK.
    HRESULT setXYVar(const Variant& x, const Variant& y) { return series->SetXYVar(x, y); }

    ComPtr<ISeries> series;
};

using Points = std::pair<std::vector<double>, std::vector<double>>;

TEST_F(SeriesTest, NewSeriesHasDefaultAttributesAndNoPoints) {
    EXPECT_EQ(flag(u"IsLine"), 1);
    EXPECT_EQ(flag(u"IsPoint"), 0);
    EXPECT_EQ(flag(u"IsBar"), 0);
    EXPECT_EQ(flag(u"IsFill"), 0);
    EXPECT_EQ(flag(u"IsView"), 0);
    EXPECT_EQ(flag(u"alpha"), 255);
    qtest::CallResult color = get(series.get(), u"color");
    EXPECT_EQ(color.value.vt, VT_UI4);
    EXPECT_EQ(color.value.ulVal, 0u);
    qtest::CallResult title = get(series.get(), u"title");
    EXPECT_EQ(title.value.vt, VT_BSTR);
    EXPECT_EQ(title.value.bstrVal, nullptr);

    double box[4] = {7, 7, 7, 7};
    EXPECT_EQ(series->GetBox(box), S_FALSE);
    EXPECT_EQ(box[0], 7);
    EXPECT_EQ(points(), Points());
}

TEST_F(SeriesTest, FlagsReadBackAsZeroOrOneOtherAttributesAsGiven) {
    put(series.get(), u"IsBar", Variant(7));
    put(series.get(), u"IsFill", Variant(-1));
    put(series.get(), u"IsLine", Variant(0));
    put(series.get(), u"IsView", Variant("3"));
    EXPECT_EQ(flag(u"IsBar"), 1);
    EXPECT_EQ(flag(u"IsFill"), 1);
    EXPECT_EQ(flag(u"IsLine"), 0);
    EXPECT_EQ(flag(u"IsView"), 1);

    put(series.get(), u"alpha", Variant(300));
    EXPECT_EQ(flag(u"alpha"), 300);
    put(series.get(), u"color", Variant(static_cast<int>(0x80000005)));  // a system colour, as a script writes it
    EXPECT_EQ(get(series.get(), u"color").value.ulVal, 0x80000005u);

    // The title is the series' own copy, and every read is a new string.
    BSTR given = SysAllocString(u"Pressure");
    ASSERT_EQ(series->put_title(given), S_OK);
    SysFreeString(given);
    qrt::Bstr first, second;
    ASSERT_EQ(series->get_title(first.out()), S_OK);
    ASSERT_EQ(series->get_title(second.out()), S_OK);
    EXPECT_EQ(first.utf8(), "Pressure");
    EXPECT_NE(first.get(), second.get());
    ASSERT_EQ(series->put_title(nullptr), S_OK);
    EXPECT_EQ(get(series.get(), u"title").value.bstrVal, nullptr);
}

TEST_F(SeriesTest, BoxIsTheStrictMinimumAndMaximumFromTheFirstPoint) {
    ASSERT_EQ(call(series.get(), u"Add", {Variant(1), Variant(5)}).hr, S_OK);
    ASSERT_EQ(call(series.get(), u"Add", {Variant(-2.0), Variant("9")}).hr, S_OK);
    double box[4] = {};
    ASSERT_EQ(series->GetBox(box), S_OK);
    EXPECT_EQ(std::vector<double>(box, box + 4), (std::vector<double>{-2, 5, 1, 9}));

    // A NaN compares neither smaller nor larger, so it never enters the box.
    series->Add(std::nan(""), std::nan(""));
    ASSERT_EQ(series->GetBox(box), S_OK);
    EXPECT_EQ(std::vector<double>(box, box + 4), (std::vector<double>{-2, 5, 1, 9}));

    ASSERT_EQ(call(series.get(), u"RemoveAll").hr, S_OK);
    EXPECT_EQ(series->GetBox(box), S_FALSE);
}

TEST_F(SeriesTest, ManyPointsSpanBlocksAndGetXYHandsOutAtMostMaxDrawPoints) {
    const int n = 70000;
    for (int i = 0; i < n; ++i) ASSERT_EQ(series->Add(i, -0.5 * i), S_OK);
    auto [x, y] = points();
    ASSERT_EQ(x.size(), static_cast<std::size_t>(MaxDrawPoints));
    for (int i = 0; i < MaxDrawPoints; ++i) {
        ASSERT_EQ(x[i], i);
        ASSERT_EQ(y[i], -0.5 * i);
    }
    double box[4] = {};
    ASSERT_EQ(series->GetBox(box), S_OK);
    EXPECT_EQ(std::vector<double>(box, box + 4), (std::vector<double>{0, -0.5 * (n - 1), n - 1, 0}));
    LONG count = 0;
    EXPECT_EQ(series->GetXY(&count, nullptr, nullptr), S_OK);  // the count alone
    EXPECT_EQ(count, MaxDrawPoints);
}

TEST_F(SeriesTest, SetXYReplacesThePoints) {
    std::vector<double> big(100000);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<double>(i);
    setPoints(big, big);
    // Shrinking keeps storage in use: the next points must land right after.
    setPoints({4, 5, 6}, {-4, -5, -6});
    ASSERT_EQ(series->Add(7, -7), S_OK);
    EXPECT_EQ(points(), Points({4, 5, 6, 7}, {-4, -5, -6, -7}));

    double x = 1, y = 2;
    EXPECT_EQ(series->SetXY(-1, &x, &y), S_FALSE);
    EXPECT_EQ(series->SetXY(2, nullptr, &y), E_POINTER);
    EXPECT_EQ(points(), Points({4, 5, 6, 7}, {-4, -5, -6, -7}));
    EXPECT_EQ(series->SetXY(0, nullptr, nullptr), S_OK);
    EXPECT_EQ(points(), Points());
}

TEST_F(SeriesTest, SetXYVarTakesScriptArraysOfNumbers) {
    // A VBScript Array(1, 2.5, 3) of variants (small integers arrive as VT_I2)
    // in script variables.
    Variant vx = scriptArray({Variant(short(1)), Variant(2.5), Variant(3)});
    Variant vy = scriptArray({Variant(4.0), Variant(short(-5)), Variant(6.5f)});
    ASSERT_EQ(call(series.get(), u"SetXYVar", {refTo(&vx), refTo(&vy)}).hr, S_OK);
    EXPECT_EQ(points(), Points({1, 2.5, 3}, {4, -5, 6.5}));

    ASSERT_EQ(setXYVar(typedArray<float>(VT_R4, {0.5f, 1.5f}), typedArray<SHORT>(VT_I2, {-1, 2})), S_OK);
    EXPECT_EQ(points(), Points({0.5, 1.5}, {-1, 2}));

    // Lower bound 1: all elements count. Currency is scaled by 10000.
    ASSERT_EQ(setXYVar(typedArray<double>(VT_R8, {7, 8}, 1), typedArray<CY>(VT_CY, {{25000}, {-5000}})), S_OK);
    EXPECT_EQ(points(), Points({7, 8}, {2.5, -0.5}));

    // An array by reference, and a script variable passed by reference.
    Variant xs = typedArray<LONG>(VT_I4, {10, 20, 30});
    Variant xsRef;
    xsRef.vt = VT_BYREF | VT_ARRAY | VT_I4;
    xsRef.pparray = &xs.parray;
    Variant ys = scriptArray({Variant(1), Variant(2), Variant(3)});
    ASSERT_EQ(series->SetXYVar(xsRef, refTo(&ys)), S_OK);
    EXPECT_EQ(points(), Points({10, 20, 30}, {1, 2, 3}));
}

TEST_F(SeriesTest, SetXYVarRefusesWhatIsNoPairOfNumberArraysAndKeepsThePoints) {
    setPoints({1, 2}, {3, 4});
    const Points before = points();
    auto three = [] { return typedArray<double>(VT_R8, {1, 2, 3}); };
    auto four = [] { return typedArray<double>(VT_R8, {1, 2, 3, 4}); };
    EXPECT_EQ(setXYVar(three(), four()), S_FALSE);
    EXPECT_EQ(setXYVar(Variant(), Variant()), S_FALSE);
    EXPECT_EQ(setXYVar(Variant(1.0), Variant(2.0)), S_FALSE);
    // An element that is no number: text (even numeric text), Empty, Null, a Boolean.
    for (const Variant& bad : {Variant("2"), Variant(), Variant::null(), Variant(true)})
        EXPECT_EQ(setXYVar(three(), scriptArray({Variant(1), bad, Variant(3)})), S_FALSE);
    EXPECT_EQ(setXYVar(three(), typedArray<BSTR>(VT_BSTR, {nullptr, nullptr, nullptr})), S_FALSE);
    EXPECT_EQ(setXYVar(three(), typedArray<DATE>(VT_DATE, {1, 2, 3})), S_FALSE);

    SAFEARRAYBOUND bounds[2] = {{3, 0}, {1, 0}};
    Variant grid;
    grid.vt = VT_ARRAY | VT_R8;
    grid.parray = SafeArrayCreate(VT_R8, 2, bounds);
    EXPECT_EQ(setXYVar(three(), grid), S_FALSE);
    EXPECT_EQ(points(), before);
}

TEST_F(SeriesTest, ArrayMethodsThroughIDispatchTouchOnlyOneValue) {
    // A by-reference double holds one value: GetBox needs four, GetXY and
    // SetXY as many as there are points.
    Variant x(1.0), y(2.0), n(0);
    EXPECT_EQ(call(series.get(), u"GetBox", {refTo(&x)}).hr, S_OK);  // no points: nothing to write
    ASSERT_EQ(call(series.get(), u"SetXY", {Variant(1), refTo(&x), refTo(&y)}).hr, S_OK);
    ASSERT_EQ(call(series.get(), u"GetXY", {refTo(&n), refTo(&x), refTo(&y)}).hr, S_OK);
    EXPECT_EQ(n.lVal, 1);
    EXPECT_EQ(points(), Points({1}, {2}));

    qtest::CallResult refused = call(series.get(), u"GetBox", {refTo(&x)});
    EXPECT_EQ(refused.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(refused.scode, E_INVALIDARG);
    series->Add(3, 4);
    EXPECT_EQ(call(series.get(), u"GetXY", {refTo(&n), refTo(&x), refTo(&y)}).scode, E_INVALIDARG);
    EXPECT_EQ(call(series.get(), u"SetXY", {Variant(2), refTo(&x), refTo(&y)}).scode, E_INVALIDARG);
    EXPECT_EQ(points(), Points({1, 3}, {2, 4}));
}

#if !defined(__SANITIZE_ADDRESS__)

long residentBytes() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

TEST_F(SeriesTest, TenMillionPointsTakeAtMost17BytesEach) {
    const long before = residentBytes();
    const int n = 10'000'000;
    for (int i = 0; i < n; ++i) ASSERT_EQ(series->Add(i, i), S_OK);
    const double perPoint = static_cast<double>(residentBytes() - before) / n;
    EXPECT_LE(perPoint, 17.0);
    double box[4] = {};
    ASSERT_EQ(series->GetBox(box), S_OK);
    EXPECT_EQ(box[2], n - 1);
}

// Runs body in a child process whose address space is capped a little above
// what it uses now; the child's exit code is the number of failed checks.
template <class F>
int withCappedMemory(F body) {
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t cap = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE)) + (64u << 20);
        rlimit limit{cap, cap};
        setrlimit(RLIMIT_AS, &limit);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST_F(SeriesTest, RunningOutOfMemoryLeavesWholePoints) {
    ISeries* s = series.get();
    const int failures = withCappedMemory([s] {
        int bad = 0;
        HRESULT hr = S_OK;
        int added = 0;
        while (added < 50'000'000 && (hr = s->Add(added, -added)) == S_OK) ++added;
        bad += hr != E_OUTOFMEMORY;
        // Every point that was taken is whole; the refused one is not there.
        double box[4] = {};
        bad += s->GetBox(box) != S_OK || box[2] != added - 1 || box[1] != -(added - 1);
        // A replacement that does not fit changes nothing.
        std::vector<double> one{42};
        bad += s->SetXY(100'000'000, one.data(), one.data()) != E_OUTOFMEMORY;
        bad += s->GetBox(box) != S_OK || box[2] != added - 1;
        bad += s->RemoveAll() != S_OK || s->Add(1, 2) != S_OK;
        return bad;
    });
    EXPECT_EQ(failures, 0);
}

#endif

}  // namespace
}  // namespace tarvik_test
