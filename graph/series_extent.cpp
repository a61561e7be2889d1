#include "graph/series_extent.h"

#include <memory>

namespace tarvik {

SeriesExtent::SeriesExtent() : m_changes(std::make_shared<std::uint64_t>(0)) {}

void SeriesExtent::remember(const CSeriesHolder& holder) {
    m_holder = &holder;
    m_seenChanges = *m_changes;
    m_seenHolderChanges = holder.changes();
}

void SeriesExtent::recompute(const CSeriesHolder& holder) {
    FiniteBox all;
    bool followed = true;
    const LONG count = holder.count();
    for (LONG i = 0; i < count; ++i) {
        ISeries* series = holder.at(i);
        if (!series) continue;
        const auto* own = dynamic_cast<const CSeries*>(series);
        if (!own || !own->reportsTo(m_changes.get())) followed = false;
        LONG visible = 0;
        series->get_IsView(&visible);
        if (!visible) continue;
        double b[4];
        if (series->GetBox(b) != S_OK) continue;  // no finite point
        // A series of another library may report a box with infinities or
        // NaN: such a box is no box.
        if (!FiniteBox::finite(b[0], b[1]) || !FiniteBox::finite(b[2], b[3])) continue;
        all.include(b[0], b[1]);
        all.include(b[2], b[3]);
    }
    m_union = all;
    // Series that do not report here can change unseen: with one of them
    // in the holder the union is walked every time.
    m_known = followed;
    remember(holder);
}

bool SeriesExtent::unionBox(const CSeriesHolder& holder, Box& out) {
    if (!current(holder)) recompute(holder);
    if (m_union.empty) return false;
    out = Box{m_union.xmin, m_union.ymin, m_union.xmax, m_union.ymax};
    return true;
}

HRESULT SeriesExtent::addSeries(CSeriesHolder& holder, ISeries* series) {
    const bool was = current(holder);
    HRESULT hr = holder.Add(series);
    if (!was || FAILED(hr)) return hr;
    const auto* own = dynamic_cast<const CSeries*>(series);
    if (own && own->reportsTo(m_changes.get()) && own->finiteBox().empty && *m_changes == m_seenChanges &&
        holder.changes() == m_seenHolderChanges + 1)
        remember(holder);
    else
        m_known = false;
    return hr;
}

HRESULT SeriesExtent::addPoint(const CSeriesHolder& holder, LONG index, double x, double y) {
    ISeries* series = holder.at(index);
    if (!series) return S_FALSE;
    if (!current(holder)) {
        HRESULT hr = series->Add(x, y);
        return FAILED(hr) ? hr : S_OK;
    }
    // The union is current, so every series of the holder is one of this
    // library that reports here (checked when the union was walked; the
    // holder has not changed since).
    auto* own = static_cast<CSeries*>(series);
    HRESULT hr = own->Add(x, y);
    if (FAILED(hr)) return hr;
    if (*m_changes != m_seenChanges + 1) {
        m_known = false;
        return S_OK;
    }
    // The series' box grew by the point at most, and it counts only while
    // the series is visible.
    if (own->visible()) m_union.include(x, y);
    remember(holder);
    return S_OK;
}

}  // namespace tarvik
