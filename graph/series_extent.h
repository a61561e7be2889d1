// The data extent of a graph: the union of the boxes of the visible series
// in its holder. Walking every series for it made each new series cost as
// much as all the series before it; here the union is remembered and only
// walked again when something may have changed it behind the owner's back.
#pragma once

#include "graph/plot_geometry.h"
#include "graph/series.h"
#include "graph/series_holder.h"

#include <cstdint>

namespace tarvik {

class SeriesExtent {
public:
    SeriesExtent();

    // Makes series report its changes here. Only while every series of the
    // holder does is the union kept without walking the series again.
    void follow(CSeries& series) const { series.reportChangesTo(m_changes); }

    // How many changes the followed series have made, and whether series
    // is one of them: with both, a copy of the series' data can tell
    // whether it is still current.
    std::uint64_t seriesChanges() const { return *m_changes; }
    bool follows(const CSeries& series) const { return series.reportsTo(m_changes.get()); }

    // The union of the boxes of holder's visible series; false (out
    // untouched) when no visible series has a finite point.
    bool unionBox(const CSeriesHolder& holder, Box& out);

    // Appends series to holder. When it is a followed series with no finite
    // point, the union stays as it was.
    HRESULT addSeries(CSeriesHolder& holder, ISeries* series);

    // Adds a point to holder's series at index: S_OK, S_FALSE when there is
    // no such series, or the failure of the series' Add. The union is
    // widened by the point rather than walked again.
    HRESULT addPoint(const CSeriesHolder& holder, LONG index, double x, double y);

private:
    // Whether the remembered union still holds: nothing has changed a series
    // or the holder since it was taken, other than through this object.
    bool current(const CSeriesHolder& holder) const {
        return m_known && m_seenChanges == *m_changes && m_holder == &holder && m_seenHolderChanges == holder.changes();
    }
    void remember(const CSeriesHolder& holder);
    void recompute(const CSeriesHolder& holder);

    ChangeCounter m_changes;
    bool m_known = false;  // the union below is that of the series as they are
    FiniteBox m_union;
    const CSeriesHolder* m_holder = nullptr;
    std::uint64_t m_seenChanges = 0;
    std::uint64_t m_seenHolderChanges = 0;
};

}  // namespace tarvik
