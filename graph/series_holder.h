// SeriesHolder: an ordered collection of series.
#pragma once

#include "graph/tarvik.h"
#include "runtime/dispatch_table.h"
#include "runtime/object.h"
#include "runtime/typeinfo.h"

#include <cstdint>
#include <vector>

namespace tarvik {

class CSeriesHolder final : public qrt::ComObject<qrt::DispatchImpl<CSeriesHolder, ISeriesHolder>, IProvideClassInfo> {
public:
    static const qrt::DispatchTable& dispatchTable();
    static HRESULT create(REFIID iid, void** out);

    // Takes pSer when it answers ISeries; anything else is ignored. S_OK either way.
    HRESULT Add(IDispatch* pSer) override;
    HRESULT Remove(LONG inx) override;
    HRESULT Item(VARIANT index, VARIANT* pItem) override;
    HRESULT get_Count(LONG* pVal) override;
    HRESULT RemoveAll() override;

    HRESULT GetClassInfo(ITypeInfo** info) override;

    // The series at index without a reference added, nullptr out of range:
    // direct access for code of this library.
    ISeries* at(LONG index) const {
        return index >= 0 && static_cast<std::size_t>(index) < m_series.size() ? m_series[index].get() : nullptr;
    }
    LONG count() const { return static_cast<LONG>(m_series.size()); }
    // Goes up whenever a series is added or removed.
    std::uint64_t changes() const { return m_changes; }

private:
    std::vector<qrt::ComPtr<ISeries>> m_series;
    std::uint64_t m_changes = 0;
};

}  // namespace tarvik
