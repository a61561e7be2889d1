// An automation object for the tests and measurements of calls between
// processes: numbers, any value back, a failure with its description,
// by-reference arguments, objects handed out and taken in, a callback.
#pragma once

#include "runtime/dispatch_table.h"
#include "runtime/object.h"

namespace qtest {

struct IProbe : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{0C6F3A19-8E27-4B5D-91A4-7D2E6B0F38C5}");
    using Base = IDispatch;
    virtual HRESULT Sum(double a, double b, double c, double* result) = 0;
    virtual HRESULT Echo(VARIANT value, VARIANT* result) = 0;
    virtual HRESULT Fail() = 0;
    virtual HRESULT Swap(VARIANT* a, VARIANT* b) = 0;
    virtual HRESULT Child(IDispatch** result) = 0;
    virtual HRESULT IsSelf(IDispatch* other, VARIANT_BOOL* result) = 0;
    virtual HRESULT CallBack(IDispatch* other, double* result) = 0;
    virtual HRESULT Count(LONG value, LONG* result) = 0;

protected:
    ~IProbe() = default;
};

class Probe final : public qrt::ComObject<qrt::DispatchImpl<Probe, IProbe>> {
public:
    static const qrt::DispatchTable& dispatchTable() {
        static const qrt::DispatchTable table(u"IProbe", IProbe::IID, {
            qrt::member<&IProbe::Sum>(u"Sum", 1, {u"a", u"b", u"c"}, qrt::Retval),
            qrt::member<&IProbe::Echo>(u"Echo", 2, {u"value"}, qrt::Retval),
            qrt::member<&IProbe::Fail>(u"Fail", 3),
            qrt::member<&IProbe::Swap>(u"Swap", 4, {u"a", u"b"}),
            qrt::getter<&IProbe::Child>(u"Child", 5),
            qrt::member<&IProbe::IsSelf>(u"IsSelf", 6, {u"other"}, qrt::Retval),
            qrt::member<&IProbe::CallBack>(u"CallBack", 7, {u"other"}, qrt::Retval),
            qrt::member<&IProbe::Count>(u"Count", 8, {u"value"}, qrt::Retval),
        });
        return table;
    }
    HRESULT Sum(double a, double b, double c, double* result) override {
        *result = a + b + c;
        return S_OK;
    }
    HRESULT Echo(VARIANT value, VARIANT* result) override { return VariantCopy(result, &value); }
    HRESULT Fail() override {
        qrt::setErrorInfo(u"Probe", u"failed on purpose");
        return E_ACCESSDENIED;
    }
    HRESULT Swap(VARIANT* a, VARIANT* b) override {
        std::swap(*a, *b);
        return S_OK;
    }
    HRESULT Child(IDispatch** result) override {
        qrt::ComPtr<Probe> child = qrt::create<Probe>();
        *result = child.detach();
        return S_OK;
    }
    HRESULT IsSelf(IDispatch* other, VARIANT_BOOL* result) override {
        *result = toVariantBool(other == static_cast<IDispatch*>(this));
        return S_OK;
    }
    // Calls other.Sum(1, 2, 3): a call back into the caller's process.
    HRESULT CallBack(IDispatch* other, double* result) override {
        if (!other) return E_POINTER;
        VARIANT args[3];
        for (int i = 0; i < 3; ++i) {
            VariantInit(&args[i]);
            args[i].vt = VT_R8;
            args[i].dblVal = 3 - i;
        }
        DISPPARAMS params{args, nullptr, 3, 0};
        qrt::Variant value;
        const HRESULT hr = other->Invoke(1, GUID_NULL, 0, DISPATCH_METHOD, &params, &value, nullptr, nullptr);
        if (FAILED(hr)) return hr;
        *result = value.dblVal;
        return S_OK;
    }
    HRESULT Count(LONG value, LONG* result) override {
        *result = value + 1;
        return S_OK;
    }
};

}  // namespace qtest
