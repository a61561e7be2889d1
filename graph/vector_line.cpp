#include "graph/vector_line.h"

#include <algorithm>
#include <cmath>

namespace tarvik {

namespace {

// Device coordinates of far-away points stay numbers the clipping can
// subtract without overflowing.
constexpr double kDeviceLimit = 1.0e12;

double limited(double v) { return std::clamp(v, -kDeviceLimit, kDeviceLimit); }

bool inside(const QRectF& r, QPointF p) {
    return p.x() >= r.left() && p.x() <= r.right() && p.y() >= r.top() && p.y() <= r.bottom();
}

// Cuts the segment a-b to the rectangle (parametric clipping); false when
// nothing of it lies inside. An end inside is kept exactly.
bool clipSegment(const QRectF& r, QPointF a, QPointF b, QPointF& from, QPointF& to) {
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y()};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0) {
            if (q[k] < 0) return false;  // parallel to this edge and outside it
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0) {
            if (t > t1) return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0) return false;
            t1 = std::min(t1, t);
        }
    }
    from = t0 == 0 ? a : QPointF(a.x() + t0 * dx, a.y() + t0 * dy);
    to = t1 == 1 ? b : QPointF(a.x() + t1 * dx, a.y() + t1 * dy);
    return true;
}

}  // namespace

void VectorLine::reset(const QRectF& clip) {
    m_clip = clip;
    m_points.clear();
    m_starts.clear();
    m_havePrevious = false;
    m_open = false;
    m_haveLast = false;
    m_haveCone = false;
}

void VectorLine::addWorld(const Geometry& g, const Box& box, const double* x, const double* y, std::size_t n) {
    const double right = g.plot.right, top = g.plot.top;
    const double sx = g.scaleX, sy = g.scaleY;
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
            addDevice(NAN, NAN);
            continue;
        }
        addDevice(limited(right - (box.XMax - x[i]) * sx), limited(top + (box.YMax - y[i]) * sy));
    }
}

void VectorLine::addDevice(double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) {
        if (m_open) endPiece();
        m_havePrevious = false;
        return;
    }
    const QPointF p(x, y);
    if (m_havePrevious) {
        if (inside(m_clip, m_previous) && inside(m_clip, p)) {
            // The usual case: the whole segment is in the plot.
            if (!m_open || m_previous != m_penAt) moveTo(m_previous);
            lineTo(p);
        } else {
            QPointF from, to;
            if (clipSegment(m_clip, m_previous, p, from, to)) {
                if (!m_open || from != m_penAt) moveTo(from);
                lineTo(to);
            } else if (m_open) {
                endPiece();
            }
        }
    }
    m_previous = p;
    m_havePrevious = true;
}

void VectorLine::finish() {
    if (m_open) endPiece();
    m_havePrevious = false;
}

void VectorLine::moveTo(QPointF p) {
    if (m_open) endPiece();
    m_starts.push_back(static_cast<int>(m_points.size()));
    m_open = true;
    m_penAt = p;
    m_anchor = p;
    m_haveLast = false;
    m_haveCone = false;
    keep(p);
}

void VectorLine::lineTo(QPointF p) {
    m_penAt = p;
    simplify(p);
}

namespace {

double cross(QPointF a, QPointF b) { return a.x() * b.y() - a.y() * b.x(); }

// The two edges of the cone of directions from the anchor whose lines pass
// within the tolerance of a point at v, r away (r > tolerance): v's
// direction turned either way by the angle whose sine is s = tolerance / r.
// The cosine is taken as 1 - s^2 / 2, which is at least the true one: the
// edges turn a little less, never more, so the cone errs on the narrow
// side, and no second square root is needed.
void coneEdges(QPointF v, double r, QPointF& low, QPointF& high) {
    const double inverse = 1 / r;
    const double ux = v.x() * inverse, uy = v.y() * inverse;
    const double s = VectorLine::kTolerance * inverse, c = 1 - 0.5 * s * s;
    low = QPointF(ux * c + uy * s, uy * c - ux * s);
    high = QPointF(ux * c - uy * s, uy * c + ux * s);
}

}  // namespace

void VectorLine::simplify(QPointF p) {
    // A straight line from the anchor may replace the points seen since as
    // long as it passes within the tolerance of each: its direction must lie
    // in the cone each point allows (narrower the farther the point), and
    // it must reach as far as the farthest of them. The cone is kept as its
    // two edges, unit vectors, so that no angle need be computed.
    for (;;) {
        const QPointF v = p - m_anchor;
        const double r = std::sqrt(v.x() * v.x() + v.y() * v.y());
        if (!m_haveCone) {
            m_last = p;
            m_haveLast = true;
            if (r <= kTolerance) return;  // still at the anchor: any direction will do
            coneEdges(v, r, m_low, m_high);
            m_reach = r;
            m_haveCone = true;
            return;
        }
        if (r > kTolerance && r >= m_reach - kTolerance && cross(m_low, v) >= 0 && cross(v, m_high) >= 0) {
            QPointF low, high;
            coneEdges(v, r, low, high);
            if (cross(m_low, low) > 0) m_low = low;
            if (cross(high, m_high) > 0) m_high = high;
            m_reach = std::max(m_reach, r);
            m_last = p;
            return;
        }
        // p cannot be reached in one straight line: the last point is kept
        // and becomes the anchor, and p is looked at again from there.
        keep(m_last);
        m_anchor = m_last;
        m_haveLast = false;
        m_haveCone = false;
    }
}

void VectorLine::keep(QPointF p) {
    // Rounded to the grid; a point that rounds onto the one before adds nothing.
    const QPointF q(std::round(p.x() * kGridSteps) / kGridSteps, std::round(p.y() * kGridSteps) / kGridSteps);
    const std::size_t start = m_starts.empty() ? 0 : static_cast<std::size_t>(m_starts.back());
    if (m_points.size() > start && m_points.back() == q) return;
    m_points.push_back(q);
}

void VectorLine::endPiece() {
    if (m_haveLast) keep(m_last);
    m_open = false;
    m_haveLast = false;
    m_haveCone = false;
    // A piece that stayed at one point draws nothing.
    if (!m_starts.empty() && m_points.size() - static_cast<std::size_t>(m_starts.back()) < 2) {
        m_points.resize(static_cast<std::size_t>(m_starts.back()));
        m_starts.pop_back();
    }
}

}  // namespace tarvik
