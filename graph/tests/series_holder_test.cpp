// The series collection: order, indexes and the references it holds.
#include "graph/tests/tarvik_fixture.h"

namespace tarvik_test {
namespace {

class SeriesHolderTest : public TarvikTest {
protected:
    void SetUp() override {
        TarvikTest::SetUp();
        holder = make<ISeriesHolder>(u"Tarvik.SeriesHolder");
        ASSERT_TRUE(holder);
    }
    ComPtr<IDispatch> newSeries(LONG alpha) {
        ComPtr<IDispatch> s = make<IDispatch>(u"Tarvik.Series");
        put(s.get(), u"alpha", Variant(alpha));
        return s;
    }
    void add(const ComPtr<IDispatch>& s) { ASSERT_EQ(call(holder.get(), u"Add", {Variant(s.get())}).hr, S_OK); }
    LONG count() { return get(holder.get(), u"Count").value.lVal; }
    // The series at index, through Item as a script reaches it.
    ComPtr<IDispatch> item(Variant index) {
        qtest::CallResult r = call(holder.get(), u"Item", {std::move(index)});
        if (r.hr != S_OK || r.value.vt != VT_DISPATCH) return nullptr;
        return r.value.pdispVal;
    }
    LONG alphaAt(Variant index) {
        ComPtr<IDispatch> s = item(std::move(index));
        return s ? get(s.get(), u"alpha").value.lVal : -1;
    }

    ComPtr<ISeriesHolder> holder;
};

TEST_F(SeriesHolderTest, RemoveTakesOneOutAndKeepsTheOthersInOrder) {
    ComPtr<IDispatch> a = newSeries(1), b = newSeries(2), c = newSeries(3);
    add(a);
    add(b);
    add(c);
    EXPECT_EQ(count(), 3);
    EXPECT_EQ(holder->Remove(1), S_OK);
    EXPECT_EQ(count(), 2);
    EXPECT_EQ(item(Variant(0)).get(), a.get());
    EXPECT_EQ(item(Variant(1)).get(), c.get());
    // Both still answer, through the holder and directly.
    put(item(Variant(short(1))).get(), u"alpha", Variant(30));
    EXPECT_EQ(get(c.get(), u"alpha").value.lVal, 30);
    EXPECT_EQ(alphaAt(Variant(0)), 1);

    EXPECT_EQ(holder->Remove(2), S_FALSE);
    EXPECT_EQ(holder->Remove(-1), S_FALSE);
    EXPECT_EQ(count(), 2);
    EXPECT_EQ(call(holder.get(), u"RemoveAll").hr, S_OK);
    EXPECT_EQ(count(), 0);
}

TEST_F(SeriesHolderTest, ItemNeedsAnIntegerIndexInRange) {
    add(newSeries(5));
    add(newSeries(6));
    VARIANT out;
    for (const Variant& bad : {Variant("0"), Variant(2), Variant(-1), Variant(1.0)}) {
        EXPECT_EQ(holder->Item(bad, &out), E_INVALIDARG);
        EXPECT_EQ(out.vt, VT_EMPTY);
    }
    EXPECT_EQ(call(holder.get(), u"Item", {Variant(2)}).scode, E_INVALIDARG);

    // A VBScript variable arrives by reference; a VT_I2 and a VT_I4 both index.
    Variant i2(short(1));
    EXPECT_EQ(alphaAt(refTo(&i2)), 6);
    ASSERT_EQ(holder->Item(refTo(&i2), &out), S_OK);
    EXPECT_EQ(get(ComPtr<IDispatch>::attach(out.pdispVal).get(), u"alpha").value.lVal, 6);
    LONG i4 = 0;
    Variant byRefI4;
    byRefI4.vt = VT_BYREF | VT_I4;
    byRefI4.plVal = &i4;
    ASSERT_EQ(holder->Item(byRefI4, &out), S_OK);
    EXPECT_EQ(get(ComPtr<IDispatch>::attach(out.pdispVal).get(), u"alpha").value.lVal, 5);
}

TEST_F(SeriesHolderTest, AddIgnoresObjectsThatAreNoSeries) {
    add(newSeries(1));
    ComPtr<IDispatch> other = make<IDispatch>(u"Tarvik.SurerSeriesHolder");
    ASSERT_TRUE(other);
    add(other);
    add(holder.as<IDispatch>());
    EXPECT_EQ(holder->Add(nullptr), S_OK);
    EXPECT_EQ(count(), 1);
}

TEST_F(SeriesHolderTest, EveryObjectGoesWithItsLastReference) {
    newSeries(0);  // the classes' shared type information is made on first use
    count();
    const long baseline = qrt::liveObjectCount();
    const long underflows = qrt::refUnderflowCount();
    {
        ComPtr<ISeriesHolder> h = make<ISeriesHolder>(u"Tarvik.SeriesHolder");
        for (LONG i = 0; i < 4; ++i) ASSERT_EQ(h->Add(newSeries(i).get()), S_OK);  // held by the holder alone
        EXPECT_EQ(qrt::liveObjectCount(), baseline + 5);
        ASSERT_EQ(h->Remove(0), S_OK);
        EXPECT_EQ(qrt::liveObjectCount(), baseline + 4);
        {
            VARIANT out;
            ASSERT_EQ(h->Item(Variant(0), &out), S_OK);  // a reference of our own
            qrt::Variant kept;
            static_cast<VARIANT&>(kept) = out;
            ASSERT_EQ(h->RemoveAll(), S_OK);
            EXPECT_EQ(qrt::liveObjectCount(), baseline + 2);
        }
        EXPECT_EQ(qrt::liveObjectCount(), baseline + 1);
        ASSERT_EQ(h->Add(newSeries(9).get()), S_OK);
        ASSERT_EQ(h->Add(newSeries(9).get()), S_OK);
    }
    EXPECT_EQ(qrt::liveObjectCount(), baseline);
    EXPECT_EQ(qrt::refUnderflowCount(), underflows);
}

TEST_F(SeriesHolderTest, SuperSeriesHolderHasNoMembers) {
    ComPtr<IDispatch> super = make<IDispatch>(u"Tarvik.SurerSeriesHolder");
    ASSERT_TRUE(super);
    EXPECT_TRUE(super.as<ISuperSeriesHolder>());
    EXPECT_EQ(call(super.get(), u"Count").hr, DISP_E_UNKNOWNNAME);
}

}  // namespace
}  // namespace tarvik_test
