// A host object without type information for script engine tests: it
// records the arguments it receives, hands out a chosen value, fails on
// request and enumerates a list of values.
#pragma once

#include "runtime/bstr.h"
#include "runtime/dispatch.h"
#include "runtime/object.h"

#include <string>
#include <vector>

namespace qtest {

class VariantEnum final : public qrt::ComObject<IEnumVARIANT> {
public:
    explicit VariantEnum(std::vector<qrt::Variant> items) : m_items(std::move(items)) {}
    HRESULT Next(ULONG count, VARIANT* out, ULONG* fetched) override {
        ULONG n = 0;
        for (; n < count && m_next < m_items.size(); ++n, ++m_next) VariantCopy(&out[n], &m_items[m_next]);
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override {
        m_next += count;
        return m_next <= m_items.size() ? S_OK : S_FALSE;
    }
    HRESULT Reset() override {
        m_next = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumVARIANT** out) override {
        auto copy = qrt::create<VariantEnum>(m_items);
        copy->m_next = m_next;
        *out = copy.detach();
        return S_OK;
    }

private:
    std::vector<qrt::Variant> m_items;
    std::size_t m_next = 0;
};

class Recorder final : public qrt::ComObject<IDispatch> {
public:
    enum : DISPID { kTake = 1, kGive, kCount, kFail, kTwice };

    std::vector<std::vector<qrt::Variant>> calls;  // arguments of each Take, first to last
    qrt::Variant toGive;
    std::vector<qrt::Variant> items;  // what _NewEnum enumerates
    LONG count = 0;

    HRESULT GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
        static const std::pair<std::u16string_view, DISPID> table[] = {
            {u"Take", kTake}, {u"Give", kGive}, {u"Count", kCount}, {u"Fail", kFail}, {u"Twice", kTwice},
        };
        for (const auto& [name, id] : table) {
            if (name == names[0]) {
                ids[0] = id;
                return S_OK;
            }
        }
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT*) override {
        const bool method = flags & DISPATCH_METHOD;
        switch (id) {
        case kTake: {
            if (!method) return DISP_E_MEMBERNOTFOUND;
            std::vector<qrt::Variant> args;
            for (UINT i = params->cArgs; i-- > 0;) args.emplace_back(params->rgvarg[i]);
            calls.push_back(std::move(args));
            return S_OK;
        }
        case kGive:
            if (!method) return DISP_E_MEMBERNOTFOUND;
            if (result) VariantCopy(result, &toGive);
            return S_OK;
        case kTwice: {
            if (!method) return DISP_E_MEMBERNOTFOUND;
            if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
            qrt::Variant n;
            if (FAILED(VariantChangeType(&n, &params->rgvarg[0], 0, VT_R8))) return DISP_E_TYPEMISMATCH;
            if (result) {
                result->vt = VT_R8;
                result->dblVal = 2 * n.dblVal;
            }
            return S_OK;
        }
        case kCount:
            if (flags & DISPATCH_PROPERTYPUT) {
                qrt::Variant n;
                if (FAILED(VariantChangeType(&n, &params->rgvarg[0], 0, VT_I4))) return DISP_E_TYPEMISMATCH;
                count = n.lVal;
                return S_OK;
            }
            if (result) {
                result->vt = VT_I4;
                result->lVal = count;
            }
            return S_OK;
        case kFail:
            if (excep) {
                *excep = EXCEPINFO{};
                excep->scode = static_cast<SCODE>(0x80040201);
                excep->bstrSource = qrt::allocBstr(std::u16string_view(u"Recorder"));
                excep->bstrDescription = qrt::allocBstr(std::u16string_view(u"Widget broke"));
            }
            return DISP_E_EXCEPTION;
        case DISPID_NEWENUM:
            if (result) {
                result->vt = VT_UNKNOWN;
                result->punkVal = qrt::create<VariantEnum>(items).detach();
            }
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }
};

}  // namespace qtest
