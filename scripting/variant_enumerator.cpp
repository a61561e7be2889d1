#include "scripting/variant_enumerator.h"

namespace scripting {

HRESULT VariantEnumerator::Next(ULONG count, VARIANT* items, ULONG* fetched) {
    if (fetched) *fetched = 0;
    if (count > 0 && !items) return E_POINTER;
    ULONG done = 0;
    while (done < count && m_position < m_items->size()) {
        VariantInit(&items[done]);
        const HRESULT hr = VariantCopy(&items[done], &(*m_items)[m_position]);
        if (FAILED(hr)) {
            for (ULONG i = 0; i < done; ++i) VariantClear(&items[i]);
            return hr;
        }
        ++done;
        ++m_position;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
}

HRESULT VariantEnumerator::Skip(ULONG count) {
    const std::size_t left = m_items->size() - m_position;
    m_position += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
}

HRESULT VariantEnumerator::Reset() {
    m_position = 0;
    return S_OK;
}

HRESULT VariantEnumerator::Clone(IEnumVARIANT** out) {
    if (!out) return E_POINTER;
    *out = qrt::create<VariantEnumerator>(m_items, m_position).detach();
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT VariantEnumerator::create(std::vector<qrt::Variant> items, IUnknown** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto list = std::make_shared<const std::vector<qrt::Variant>>(std::move(items));
    auto e = qrt::create<VariantEnumerator>(std::move(list));
    if (!e) return E_OUTOFMEMORY;
    *out = static_cast<IEnumVARIANT*>(e.detach());
    return S_OK;
}

}  // namespace scripting
