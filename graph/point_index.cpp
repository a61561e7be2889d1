#include "graph/point_index.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace tarvik {

namespace {
double coordinate(const IndexedPoint& p, int axis) { return axis == 0 ? p.x : p.y; }
}  // namespace

bool PointIndex::add(std::int32_t series, std::size_t first, const double* x, const double* y, std::size_t n) {
    try {
        m_points.reserve(m_points.size() + n);
        for (std::size_t i = 0; i < n; ++i) {
            if (!std::isfinite(x[i]) || !std::isfinite(y[i])) continue;
            m_points.push_back(IndexedPoint{x[i], y[i], series, static_cast<std::int32_t>(first + i)});
        }
    } catch (const std::bad_alloc&) {
        clear();
        m_points.shrink_to_fit();
        return false;
    }
    m_built = false;
    return true;
}

void PointIndex::arrange(std::size_t lo, std::size_t hi, int axis) {
    // Depth is about log2 of the count, so recursion stays shallow.
    while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        std::nth_element(m_points.begin() + static_cast<std::ptrdiff_t>(lo),
                         m_points.begin() + static_cast<std::ptrdiff_t>(mid),
                         m_points.begin() + static_cast<std::ptrdiff_t>(hi),
                         [axis](const IndexedPoint& a, const IndexedPoint& b) {
                             return coordinate(a, axis) < coordinate(b, axis);
                         });
        arrange(lo, mid, 1 - axis);
        lo = mid + 1;
        axis = 1 - axis;
    }
}

void PointIndex::build() {
    if (m_built) return;
    arrange(0, m_points.size(), 0);
    m_built = true;
}

struct PointIndex::Search {
    const std::vector<IndexedPoint>& points;
    double x, y, scaleX, scaleY;
    const Box& limit;
    double best = std::numeric_limits<double>::infinity();
    const IndexedPoint* found = nullptr;

    void visit(std::size_t lo, std::size_t hi, int axis) {
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            const IndexedPoint& p = points[mid];
            if (p.x >= limit.XMin && p.x <= limit.XMax && p.y >= limit.YMin && p.y <= limit.YMax) {
                const double dx = (p.x - x) * scaleX, dy = (p.y - y) * scaleY;
                const double d = dx * dx + dy * dy;
                if (d < best) {
                    best = d;
                    found = &p;
                }
            }
            const double split = coordinate(p, axis);
            const double query = axis == 0 ? x : y;
            const double gap = (query - split) * (axis == 0 ? scaleX : scaleY);
            // Before mid every value is at most split, after it at least
            // split: a side that lies wholly outside the limit is skipped.
            const bool lowInLimit = split >= (axis == 0 ? limit.XMin : limit.YMin);
            const bool highInLimit = split <= (axis == 0 ? limit.XMax : limit.YMax);
            const bool lowFirst = query < split;
            const bool nearIn = lowFirst ? lowInLimit : highInLimit;
            const bool farIn = lowFirst ? highInLimit : lowInLimit;
            const std::size_t nearLo = lowFirst ? lo : mid + 1, nearHi = lowFirst ? mid : hi;
            const std::size_t farLo = lowFirst ? mid + 1 : lo, farHi = lowFirst ? hi : mid;
            if (nearIn) visit(nearLo, nearHi, 1 - axis);
            // The far side can only hold a nearer point when the splitting
            // line itself is nearer than the best found.
            if (!farIn || !(gap * gap < best)) return;
            lo = farLo;
            hi = farHi;
            axis = 1 - axis;
        }
    }
};

const IndexedPoint* PointIndex::nearest(double x, double y, double scaleX, double scaleY, const Box& limit) const {
    if (!m_built || m_points.empty()) return nullptr;
    Search search{m_points, x, y, scaleX, scaleY, limit};
    search.visit(0, m_points.size(), 0);
    return search.found;
}

}  // namespace tarvik
