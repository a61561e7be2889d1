// The drawn points of a graph's series in one index, for finding the point
// nearest to the pointer. The index is a two-dimensional search tree kept in
// one array: the middle element of each range splits it, by x and by y in
// turn, with the smaller values before it and the larger after it.
// Distances are measured on screen (each coordinate weighted by the pixels
// per world unit of the view at the time of the search), so one index
// serves every zoom.
#pragma once

#include "graph/plot_geometry.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvik {

struct IndexedPoint {
    double x = 0, y = 0;
    std::int32_t series = 0;  // the series' index in the graph
    std::int32_t index = 0;   // the point's index in the series
};

class PointIndex {
public:
    void clear() {
        m_points.clear();
        m_built = false;
    }
    // Adds n points of a series, the first of them being the series' point
    // number first. Points with a coordinate that is infinite or not a
    // number are left out: they are never drawn. False when memory runs out
    // (the index is then empty).
    bool add(std::int32_t series, std::size_t first, const double* x, const double* y, std::size_t n);
    // Arranges what was added for searching.
    void build();
    std::size_t size() const { return m_points.size(); }

    // The point nearest to (x, y) with distances scaled by scaleX and scaleY
    // (both above 0), among the points inside limit (bounds included);
    // nullptr when there is none. Of points at the same distance, any one.
    const IndexedPoint* nearest(double x, double y, double scaleX, double scaleY, const Box& limit) const;

private:
    struct Search;
    void arrange(std::size_t lo, std::size_t hi, int axis);

    std::vector<IndexedPoint> m_points;
    bool m_built = false;
};

}  // namespace tarvik
