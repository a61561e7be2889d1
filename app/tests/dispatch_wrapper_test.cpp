// The program's control wrappers: a control built on a dispatch table is
// called through its members' functions, and must answer exactly as it
// does through IDispatch::Invoke (status, error information, results).
#include "app/core/dispatch_wrapper.h"

#include "runtime/bstr.h"
#include "runtime/dispatch_table.h"
#include "runtime/text.h"

#include <gtest/gtest.h>

#include <new>
#include <string>

namespace {

struct IGauge : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{8E41D3A7-2C6B-4A95-B0F8-1D7E6C3A9B52}");
    using Base = IDispatch;
    virtual HRESULT Add(LONG mode, double x, double y) = 0;
    virtual HRESULT get_Total(double* total) = 0;
    virtual HRESULT put_Limit(LONG limit) = 0;
    virtual HRESULT Label(BSTR text) = 0;

protected:
    ~IGauge() = default;
};

// Add: mode 0 adds, 1 fails with a description, 2 fails with none, 3
// throws, 4 answers S_FALSE.
class Gauge final : public qrt::ComObject<qrt::DispatchImpl<Gauge, IGauge>> {
public:
    static const qrt::DispatchTable& dispatchTable() {
        static const qrt::DispatchTable table(u"IGauge", IGauge::IID, {
            qrt::member<&IGauge::Add>(u"Add", 1, {u"mode", u"x", u"y"}),
            qrt::getter<&IGauge::get_Total>(u"Total", 2),
            qrt::putter<&IGauge::put_Limit>(u"Limit", 3, {u"limit"}),
            qrt::member<&IGauge::Label>(u"Label", 4, {u"text"}),
        });
        return table;
    }
    HRESULT Add(LONG mode, double x, double y) override {
        switch (mode) {
        case 0: m_total += x * y; return S_OK;
        case 1: qrt::setErrorInfo(u"Gauge", u"no room"); return E_INVALIDARG;
        case 2: return E_NOTIMPL;
        case 3: throw std::bad_alloc();
        default: return S_FALSE;
        }
    }
    HRESULT get_Total(double* total) override { return *total = m_total, S_OK; }
    HRESULT put_Limit(LONG limit) override { return limit < 0 ? E_INVALIDARG : S_OK; }
    HRESULT Label(BSTR text) override { return qrt::bstrView(text).empty() ? E_INVALIDARG : S_OK; }

private:
    double m_total = 0;
};

// The same control seen only through IDispatch.
class InvokeOnly final : public qrt::ComObject<IDispatch> {
public:
    explicit InvokeOnly(IDispatch* inner) : m_inner(inner) {}
    HRESULT GetTypeInfoCount(UINT* n) override { return m_inner->GetTypeInfoCount(n); }
    HRESULT GetTypeInfo(UINT i, LCID lcid, ITypeInfo** info) override { return m_inner->GetTypeInfo(i, lcid, info); }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return m_inner->GetIDsOfNames(riid, names, count, lcid, ids);
    }
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argErr) override {
        return m_inner->Invoke(id, riid, lcid, flags, params, result, excep, argErr);
    }

private:
    qrt::ComPtr<IDispatch> m_inner;
};

// One call's outcome: status, the error information it left, a result.
std::string outcome(const quillan::DispatchWrapper& w, DISPID id, WORD flags, std::initializer_list<VARIANT> args) {
    qrt::clearErrorInfo();
    qrt::Variant result;
    const HRESULT hr = w.invoke(id, flags, args, flags == DISPATCH_PROPERTYGET ? &result : nullptr);
    std::u16string source, description;
    const bool info = qrt::takeErrorInfo(source, description);
    std::string text = std::to_string(hr);
    if (info) text += " " + qrt::encodeUtf8(source) + ": " + qrt::encodeUtf8(description);
    if (result.vt == VT_R8) text += " = " + std::to_string(result.dblVal);
    return text;
}

TEST(DispatchWrapperTest, DirectCallsOfATableControlAnswerAsInvokeDoes) {
    qrt::ComPtr<Gauge> direct = qrt::create<Gauge>();
    qrt::ComPtr<Gauge> inner = qrt::create<Gauge>();
    const quillan::DispatchWrapper a{static_cast<IDispatch*>(direct.get())};
    const quillan::DispatchWrapper b{qrt::create<InvokeOnly>(static_cast<IDispatch*>(inner.get())).get()};
    double value = 4;
    const qrt::Bstr empty(u"");
#define EXPECT_SAME(id, flags, ...) \
    EXPECT_EQ(outcome(a, id, flags, {__VA_ARGS__}), outcome(b, id, flags, {__VA_ARGS__}))
    using namespace quillan;
    EXPECT_SAME(1, DISPATCH_METHOD, argLong(0), argDouble(2), argDouble(3));
    EXPECT_SAME(1, DISPATCH_METHOD, argLong(0), argLong(2), argFloat(1.5f));
    EXPECT_SAME(1, DISPATCH_METHOD, argLong(0), refDouble(&value), argDouble(1));
    EXPECT_SAME(1, DISPATCH_METHOD, argLong(1), argDouble(1), argDouble(1));
    EXPECT_SAME(1, DISPATCH_METHOD, argLong(2), argDouble(1), argDouble(1));
    EXPECT_SAME(1, DISPATCH_METHOD, argLong(3), argDouble(1), argDouble(1));
    EXPECT_SAME(1, DISPATCH_METHOD, argLong(4), argDouble(1), argDouble(1));
    EXPECT_SAME(1, DISPATCH_METHOD, argLong(0), argDouble(1));
    EXPECT_SAME(1, DISPATCH_METHOD, argString(empty.get()), argDouble(1), argDouble(1));
    EXPECT_SAME(2, DISPATCH_PROPERTYGET);
    EXPECT_SAME(3, DISPATCH_PROPERTYPUT, argLong(-1));
    EXPECT_SAME(4, DISPATCH_METHOD, argString(empty.get()));
    EXPECT_SAME(9, DISPATCH_METHOD);
#undef EXPECT_SAME
    EXPECT_EQ(outcome(a, 2, DISPATCH_PROPERTYGET, {}), std::to_string(S_OK) + " = " + std::to_string(6.0 + 3.0 + 4.0));
    EXPECT_EQ(direct->refCount(), 2u);  // ours and the wrapper's
}

}  // namespace
