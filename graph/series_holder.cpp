#include "graph/series_holder.h"

#include "graph/series.h"

#include <new>

namespace tarvik {

namespace {

// The index of Item: a 16- or 32-bit integer, held directly, by reference or
// in a script variable passed by reference.
bool integerIndex(const VARIANT& index, LONG* value) {
    const VARIANT* v = &index;
    for (int depth = 0; v && v->vt == (VT_BYREF | VT_VARIANT); ++depth) {
        if (depth == 16) return false;
        v = v->pvarVal;
    }
    if (!v) return false;
    switch (v->vt) {
    case VT_I2: *value = v->iVal; return true;
    case VT_I4: *value = v->lVal; return true;
    case VT_BYREF | VT_I2:
        if (!v->piVal) return false;
        *value = *v->piVal;
        return true;
    case VT_BYREF | VT_I4:
        if (!v->plVal) return false;
        *value = *v->plVal;
        return true;
    default: return false;
    }
}

}  // namespace

const qrt::DispatchTable& CSeriesHolder::dispatchTable() {
    static const qrt::DispatchTable table(u"ISeriesHolder", ISeriesHolder::IID, {
        qrt::member<&ISeriesHolder::Add>(u"Add", 1, {u"pSer"}),
        qrt::member<&ISeriesHolder::Remove>(u"Remove", 2, {u"inx"}),
        qrt::member<&ISeriesHolder::Item>(u"Item", 3, {u"index"}, qrt::Retval),
        qrt::getter<&ISeriesHolder::get_Count>(u"Count", 4),
        qrt::member<&ISeriesHolder::RemoveAll>(u"RemoveAll", 5),
    });
    return table;
}

HRESULT CSeriesHolder::create(REFIID iid, void** out) { return qrt::createInstance<CSeriesHolder>(iid, out); }

HRESULT CSeriesHolder::Add(IDispatch* pSer) {
    if (!pSer) return S_OK;
    qrt::ComPtr<ISeries> series;
    if (FAILED(pSer->QueryInterface(ISeries::IID, series.outVoid())) || !series) return S_OK;
    try {
        m_series.push_back(std::move(series));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    ++m_changes;
    return S_OK;
}

HRESULT CSeriesHolder::Remove(LONG inx) {
    if (!at(inx)) return S_FALSE;
    // Taken out before it is released, so a series that calls back into the
    // holder while it goes finds the collection already whole.
    qrt::ComPtr<ISeries> removed = std::move(m_series[inx]);
    m_series.erase(m_series.begin() + inx);
    ++m_changes;
    return S_OK;
}

HRESULT CSeriesHolder::Item(VARIANT index, VARIANT* pItem) {
    if (!pItem) return E_POINTER;
    VariantInit(pItem);
    LONG i = 0;
    if (!integerIndex(index, &i)) return E_INVALIDARG;
    ISeries* series = at(i);
    if (!series) return E_INVALIDARG;
    series->AddRef();
    pItem->vt = VT_DISPATCH;
    pItem->pdispVal = series;
    return S_OK;
}

HRESULT CSeriesHolder::get_Count(LONG* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = count();
    return S_OK;
}

HRESULT CSeriesHolder::RemoveAll() {
    std::vector<qrt::ComPtr<ISeries>> removed;
    removed.swap(m_series);
    ++m_changes;
    return S_OK;  // removed releases every series on its way out
}

HRESULT CSeriesHolder::GetClassInfo(ITypeInfo** info) {
    return qrt::classTypeInfo(u"SeriesHolder", CLSID_SeriesHolder, dispatchTable().typeInfo(), nullptr, info);
}

}  // namespace tarvik
