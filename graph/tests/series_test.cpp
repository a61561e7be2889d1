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

using Points = std::pair<std::vector<double>, std::vector<double>>;

// A typed safe array of one dimension with the given lower bound.
template <class T>
Variant typedArray(VARTYPE vt, std::vector<T> items, LONG lowerBound = 0) {
    Variant v;
    v.vt = static_cast<VARTYPE>(VT_ARRAY | vt);
    v.parray = SafeArrayCreateVector(vt, lowerBound, static_cast<ULONG>(items.size()));
    std::copy(items.begin(), items.end(), static_cast<T*>(v.parray->pvData));
    return v;
}

class SeriesTest : public TarvikTest {
protected:
    void SetUp() override {
        TarvikTest::SetUp();
        series = make<ISeries>(u"Tarvik.Series");
        ASSERT_TRUE(series);
    }
    LONG property(const char16_t* name) { return get(series.get(), name).value.lVal; }
    Points points() {  // what GetXY hands out
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
    std::vector<double> box(HRESULT expected = S_OK) {
        std::vector<double> b(4, 7.0);
        EXPECT_EQ(series->GetBox(b.data()), expected);
        return b;
    }

    ComPtr<ISeries> series;
};

TEST_F(SeriesTest, NewSeriesHasDefaultAttributesAndNoPoints) {
    EXPECT_EQ(property(u"IsLine"), 1);
    for (const char16_t* name : {u"IsPoint", u"IsBar", u"IsFill", u"IsView"}) EXPECT_EQ(property(name), 0);
    EXPECT_EQ(property(u"alpha"), 255);
    EXPECT_EQ(get(series.get(), u"color").value.vt, VT_UI4);
    EXPECT_EQ(property(u"color"), 0);
    qtest::CallResult title = get(series.get(), u"title");
    EXPECT_EQ(title.value.vt, VT_BSTR);
    EXPECT_EQ(title.value.bstrVal, nullptr);
    EXPECT_EQ(box(S_FALSE), std::vector<double>(4, 7.0));  // nothing written
    EXPECT_EQ(points(), Points());
}

TEST_F(SeriesTest, FlagsReadBackAsZeroOrOneOtherAttributesAsGiven) {
    put(series.get(), u"IsBar", Variant(7));
    put(series.get(), u"IsFill", Variant(-1));
    put(series.get(), u"IsLine", Variant(0));
    put(series.get(), u"IsView", Variant("3"));
    EXPECT_EQ(property(u"IsBar"), 1);
    EXPECT_EQ(property(u"IsFill"), 1);
    EXPECT_EQ(property(u"IsLine"), 0);
    EXPECT_EQ(property(u"IsView"), 1);
    put(series.get(), u"alpha", Variant(300));
    EXPECT_EQ(property(u"alpha"), 300);
    put(series.get(), u"color", Variant(static_cast<int>(0x80000005)));  // a system colour as scripts write it
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
}

TEST_F(SeriesTest, BoxComesFromTheFinitePointsOnly) {
    const double inf = HUGE_VAL, nan = std::nan("");
    // Points that are infinite or no numbers give no box, even first.
    series->Add(nan, nan);
    series->Add(inf, 1);
    series->Add(1, -inf);
    box(S_FALSE);
    Variant one(0.0);  // through IDispatch: nothing to write, so nothing refused
    EXPECT_EQ(call(series.get(), u"GetBox", {refTo(&one)}).hr, S_OK);
    ASSERT_EQ(call(series.get(), u"Add", {Variant(1), Variant(5)}).hr, S_OK);
    ASSERT_EQ(call(series.get(), u"Add", {Variant(-2.0), Variant("9")}).hr, S_OK);
    series->Add(-inf, nan);
    series->Add(nan, 100);
    EXPECT_EQ(box(), (std::vector<double>{-2, 5, 1, 9}));
    EXPECT_EQ(points().first.size(), 7u);  // the others are kept all the same

    // Replaced points give the box afresh; a zero counts as +0 whatever its sign.
    setPoints({inf, -0.0, 3, nan}, {0, -0.0, -inf, 2});
    auto b = box();
    EXPECT_EQ(b, (std::vector<double>{0, 0, 0, 0}));
    EXPECT_FALSE(std::signbit(b[0]) || std::signbit(b[1]) || std::signbit(b[2]) || std::signbit(b[3]));
    setPoints({-0.0, -0.0, -0.0}, {-0.0, -0.0, 0.0});  // every point finite
    b = box();
    EXPECT_EQ(b, (std::vector<double>{0, 0, 0, 0}));
    EXPECT_FALSE(std::signbit(b[0]) || std::signbit(b[1]) || std::signbit(b[2]) || std::signbit(b[3]));
    Variant xs = typedArray<double>(VT_R8, {nan, 4, inf}), ys = typedArray<double>(VT_R8, {1, 2, 3});
    ASSERT_EQ(series->SetXYVar(xs, ys), S_OK);
    EXPECT_EQ(box(), (std::vector<double>{4, 2, 4, 2}));
    ASSERT_EQ(call(series.get(), u"RemoveAll").hr, S_OK);
    box(S_FALSE);
    series->Add(7, 8);
    EXPECT_EQ(box(), (std::vector<double>{7, 8, 7, 8}));
}

TEST_F(SeriesTest, ManyPointsSpanBlocksAndGetXYHandsOutAtMostMaxDrawPoints) {
    const int n = 70000;
    for (int i = 0; i < n; ++i) ASSERT_EQ(series->Add(i, -0.5 * i), S_OK);
    auto [x, y] = points();
    ASSERT_EQ(x.size(), static_cast<std::size_t>(MaxDrawPoints));
    for (int i = 0; i < MaxDrawPoints; ++i) ASSERT_TRUE(x[i] == i && y[i] == -0.5 * i) << i;
    EXPECT_EQ(box(), (std::vector<double>{0, -0.5 * (n - 1), n - 1, 0}));
    LONG count = 0;
    EXPECT_EQ(series->GetXY(&count, nullptr, nullptr), S_OK);  // the count alone
    EXPECT_EQ(count, MaxDrawPoints);
}

TEST_F(SeriesTest, SetXYReplacesThePoints) {
    std::vector<double> big(100000, 1.0);
    setPoints(big, big);
    // Shrinking keeps storage in use: the next point must land right after.
    setPoints({4, 5, 6}, {-4, -5, -6});
    ASSERT_EQ(series->Add(7, -7), S_OK);
    const Points four({4, 5, 6, 7}, {-4, -5, -6, -7});
    EXPECT_EQ(points(), four);
    double x = 1, y = 2;
    EXPECT_EQ(series->SetXY(-1, &x, &y), S_FALSE);
    EXPECT_EQ(series->SetXY(2, nullptr, &y), E_POINTER);
    EXPECT_EQ(points(), four);
    EXPECT_EQ(series->SetXY(0, nullptr, nullptr), S_OK);
    EXPECT_EQ(points(), Points());
}

TEST_F(SeriesTest, SmallSeriesGrowingLargeKeepEveryPoint) {
    // A small series keeps its points in a block of its own; growing past a
    // few thousand points, by Add or by SetXY, moves them to larger storage.
    setPoints({1, 2, 3}, {-1, -2, -3});
    const int n = 40000;
    for (int i = 3; i < n; ++i) ASSERT_EQ(series->Add(i + 1, -(i + 1)), S_OK);
    auto [x, y] = points();
    ASSERT_EQ(x.size(), static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) ASSERT_TRUE(x[i] == i + 1 && y[i] == -(i + 1)) << i;

    ASSERT_EQ(series->RemoveAll(), S_OK);
    setPoints({5}, {6});
    std::vector<double> many(9000), negative(9000);
    for (int i = 0; i < 9000; ++i) many[i] = i, negative[i] = -i;
    setPoints(many, negative);
    ASSERT_EQ(series->Add(9000, -9000), S_OK);
    std::tie(x, y) = points();
    ASSERT_EQ(x.size(), 9001u);
    for (int i = 0; i <= 9000; ++i) ASSERT_TRUE(x[i] == i && y[i] == -i) << i;
    EXPECT_EQ(box(), (std::vector<double>{0, -9000, 9000, 0}));
}

TEST_F(SeriesTest, SetXYVarTakesScriptArraysOfNumbers) {
    // VBScript arrays of variants in script variables; small integers arrive as VT_I2.
    Variant vx = scriptArray({Variant(short(1)), Variant(2.5), Variant(3)});
    Variant vy = scriptArray({Variant(4.0), Variant(short(-5)), Variant(6.5f)});
    ASSERT_EQ(call(series.get(), u"SetXYVar", {refTo(&vx), refTo(&vy)}).hr, S_OK);
    EXPECT_EQ(points(), Points({1, 2.5, 3}, {4, -5, 6.5}));

    ASSERT_EQ(series->SetXYVar(typedArray<float>(VT_R4, {0.5f, 1.5f}), typedArray<SHORT>(VT_I2, {-1, 2})), S_OK);
    EXPECT_EQ(points(), Points({0.5, 1.5}, {-1, 2}));
    // Lower bound 1: every element counts. Currency is scaled by 10000.
    ASSERT_EQ(series->SetXYVar(typedArray<double>(VT_R8, {7, 8}, 1), typedArray<CY>(VT_CY, {{25000}, {-5000}})), S_OK);
    EXPECT_EQ(points(), Points({7, 8}, {2.5, -0.5}));

    Variant xs = typedArray<LONG>(VT_I4, {10, 20, 30});
    Variant xsRef;
    xsRef.vt = VT_BYREF | VT_ARRAY | VT_I4;
    xsRef.pparray = &xs.parray;
    ASSERT_EQ(series->SetXYVar(xsRef, scriptArray({Variant(1), Variant(2), Variant(3)})), S_OK);
    EXPECT_EQ(points(), Points({10, 20, 30}, {1, 2, 3}));
}

// Through the interface: Invoke reports S_FALSE as S_OK.
TEST_F(SeriesTest, SetXYVarRefusesWhatIsNoPairOfNumberArraysAndKeepsThePoints) {
    setPoints({1, 2}, {3, 4});
    auto three = [] { return typedArray<double>(VT_R8, {1, 2, 3}); };
    EXPECT_EQ(series->SetXYVar(three(), typedArray<double>(VT_R8, {1, 2, 3, 4})), S_FALSE);
    EXPECT_EQ(series->SetXYVar(Variant(), Variant()), S_FALSE);
    EXPECT_EQ(series->SetXYVar(Variant(1.0), Variant(2.0)), S_FALSE);
    // Elements that are no numbers: text (even numeric text), Empty, Null, Booleans, dates.
    for (const Variant& bad : {Variant("2"), Variant(), Variant::null(), Variant(true)})
        EXPECT_EQ(series->SetXYVar(three(), scriptArray({Variant(1), bad, Variant(3)})), S_FALSE);
    EXPECT_EQ(series->SetXYVar(three(), typedArray<BSTR>(VT_BSTR, {nullptr, nullptr, nullptr})), S_FALSE);
    EXPECT_EQ(series->SetXYVar(three(), typedArray<DATE>(VT_DATE, {1, 2, 3})), S_FALSE);
    SAFEARRAYBOUND bounds[2] = {{3, 0}, {1, 0}};
    Variant grid;
    grid.vt = VT_ARRAY | VT_R8;
    grid.parray = SafeArrayCreate(VT_R8, 2, bounds);
    EXPECT_EQ(series->SetXYVar(three(), grid), S_FALSE);
    EXPECT_EQ(points(), Points({1, 2}, {3, 4}));
}

TEST_F(SeriesTest, ArrayMethodsThroughIDispatchTouchOnlyOneValue) {
    // A by-reference double holds one value; calls that need more are refused.
    Variant x(1.0), y(2.0), n(0);
    EXPECT_EQ(call(series.get(), u"GetBox", {refTo(&x)}).hr, S_OK);  // no points: nothing to write
    ASSERT_EQ(call(series.get(), u"SetXY", {Variant(1), refTo(&x), refTo(&y)}).hr, S_OK);
    ASSERT_EQ(call(series.get(), u"GetXY", {refTo(&n), refTo(&x), refTo(&y)}).hr, S_OK);
    EXPECT_EQ(n.lVal, 1);
    EXPECT_EQ(call(series.get(), u"GetBox", {refTo(&x)}).scode, E_INVALIDARG);
    series->Add(3, 4);
    EXPECT_EQ(call(series.get(), u"GetXY", {refTo(&n), refTo(&x), refTo(&y)}).scode, E_INVALIDARG);
    EXPECT_EQ(call(series.get(), u"SetXY", {Variant(2), refTo(&x), refTo(&y)}).scode, E_INVALIDARG);
    EXPECT_EQ(points(), Points({1, 3}, {2, 4}));
}

#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's allocator changes both measures

// Field 0 of /proc/self/statm is the address space, field 1 what is resident, in pages.
long statmBytes(int field) {
    long values[2] = {};
    std::ifstream("/proc/self/statm") >> values[0] >> values[1];
    return values[field] * sysconf(_SC_PAGESIZE);
}

TEST_F(SeriesTest, TenMillionPointsTakeAtMost17BytesEach) {
    const long before = statmBytes(1);
    const int n = 10'000'000;
    for (int i = 0; i < n; ++i) ASSERT_EQ(series->Add(i, i), S_OK);
    EXPECT_LE(static_cast<double>(statmBytes(1) - before) / n, 17.0);
    EXPECT_EQ(box()[2], n - 1);
}

TEST_F(SeriesTest, RunningOutOfMemoryLeavesWholePoints) {
    // In a child whose address space is capped 64 MB above what it uses; its
    // exit code counts the failed checks.
    ISeries* s = series.get();
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const rlim_t cap = static_cast<rlim_t>(statmBytes(0)) + (64u << 20);
        rlimit limit{cap, cap};
        setrlimit(RLIMIT_AS, &limit);
        int added = 0, bad = 0;
        HRESULT hr = S_OK;
        while (added < 50'000'000 && (hr = s->Add(added, -added)) == S_OK) ++added;
        bad += hr != E_OUTOFMEMORY;
        double b[4] = {};  // every point taken is whole, the refused one absent
        bad += s->GetBox(b) != S_OK || b[2] != added - 1 || b[1] != -(added - 1);
        double one = 42;  // a replacement that does not fit changes nothing
        bad += s->SetXY(100'000'000, &one, &one) != E_OUTOFMEMORY;
        bad += s->GetBox(b) != S_OK || b[2] != added - 1;
        bad += s->RemoveAll() != S_OK || s->Add(1, 2) != S_OK;
        _exit(bad);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

#endif

}  // namespace
}  // namespace tarvik_test
