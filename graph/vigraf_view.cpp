// The graph control's user view: zooming about a window position, panning
// and going back, all through the control's box, and the search for the
// drawn point nearest to a window position.
#include "graph/series.h"
#include "graph/series_holder.h"
#include "graph/vigraf.h"

#include <QWidget>

#include <algorithm>
#include <cmath>

namespace tarvik {

namespace {

// The drawing pass maps the box's bounds in single precision: no view may
// reach beyond what that holds, nor spread the data over more than this
// many times the width it started from.
constexpr double kFloatLimit = 1e37;
constexpr double kMostZoomOut = 1e6;
// A coordinate of magnitude m is drawn with an error of up to m * 2^-23 world
// units; over a plot of n pixels a view must be at least this many times m n
// wide for that error to stay under half a pixel.
constexpr double kPrecisionWidth = 2.4e-7;

double magnitude(double lo, double hi) { return std::max(std::fabs(lo), std::fabs(hi)); }

bool drawable(const Box& b) {
    for (double v : {b.XMin, b.XMax, b.YMin, b.YMax})
        if (!(std::fabs(v) < kFloatLimit)) return false;
    return b.XMax > b.XMin && b.YMax > b.YMin;
}

// The zoom factor (above 1 in, below 1 out) cut so that a view of width
// `width` over `pixels` pixels, with bounds of magnitude m, stays within
// the drawing's precision and within the widest view allowed.
double limitFactor(double factor, double width, double m, int pixels, double widest) {
    if (factor > 1) {
        const double narrowest = std::max(kPrecisionWidth * m * std::max(pixels, 1), 1e-300);
        return std::max(1.0, std::min(factor, width / narrowest));
    }
    return std::max(factor, width / widest);
}

}  // namespace

void CViGraf::ViewMapping::toWorld(double px, double py, double& x, double& y) const {
    // The inverse of the drawing pass's right - (XMax - x) * scaleX and
    // top + (YMax - y) * scaleY.
    x = shown.XMax - (plot.right - px * ratio) / scaleX;
    y = shown.YMax - (py * ratio - plot.top) / scaleY;
}

Box CViGraf::shownBox() const {
    Box shown = m_box;
    bool rescaleFlag = false;
    if (!m_userView) expandBox(shown, rescaleFlag, true);
    return shown;
}

CViGraf::ViewMapping CViGraf::viewMapping() const {
    ViewMapping m;
    const QSize pixels = m_support.window() ? windowPixels() : m_support.rect().size();
    if (pixels.width() <= 0 || pixels.height() <= 0) return m;
    Geometry g;
    plotLayout(g, IntRect{0, 0, pixels.width(), pixels.height()});
    m.shown = shownBox();
    bool rescaleFlag = true;
    rescale(g, m.shown, rescaleFlag);  // the scales exactly as the pass computes them
    m.plot = g.plot;
    m.scaleX = g.scaleX;
    m.scaleY = g.scaleY;
    m.ratio = m_support.window() ? pixelRatio() : 1.0;
    m.valid = g.scaleX > 0 && g.scaleY > 0 && std::isfinite(g.scaleX) && std::isfinite(g.scaleY) &&
              g.plot.width() > 0 && g.plot.height() > 0;
    return m;
}

void CViGraf::showUserView(const Box& next) {
    if (!m_userView) {
        m_viewStart = m_box;
        m_userView = true;
    }
    m_box = next;
    m_needsRescale = true;
    repaint();
}

HRESULT CViGraf::PointAt(double px, double py, double* x, double* y) {
    if (!x || !y) return E_POINTER;
    *x = *y = 0;
    const ViewMapping m = viewMapping();
    if (!m.valid || !std::isfinite(px) || !std::isfinite(py)) return S_FALSE;
    m.toWorld(px, py, *x, *y);
    const double dx = px * m.ratio, dy = py * m.ratio;
    const bool inside = dx >= m.plot.left && dx < m.plot.right && dy >= m.plot.top && dy < m.plot.bottom;
    return inside ? S_OK : S_FALSE;
}

HRESULT CViGraf::ZoomAt(double px, double py, double factor) {
    if (m_autoZoom || !(factor > 0) || !std::isfinite(factor) || !std::isfinite(px) || !std::isfinite(py))
        return S_FALSE;
    const ViewMapping m = viewMapping();
    if (!m.valid) return S_FALSE;
    double wx = 0, wy = 0;
    m.toWorld(px, py, wx, wy);
    const Box& s = m.shown;
    // The widest view: kMostZoomOut times the view the user started from.
    Box start = m_userView ? m_viewStart : m_box;
    if (m_userView) {
        bool rescaleFlag = false;
        expandBox(start, rescaleFlag, true);
    } else {
        start = s;
    }
    const double w = s.XMax - s.XMin, h = s.YMax - s.YMin;
    const double widestW = std::max(kMostZoomOut * (start.XMax - start.XMin), w);
    const double widestH = std::max(kMostZoomOut * (start.YMax - start.YMin), h);
    double f = limitFactor(factor, w, magnitude(s.XMin, s.XMax), m.plot.width(), widestW);
    f = factor > 1 ? std::min(f, limitFactor(factor, h, magnitude(s.YMin, s.YMax), m.plot.height(), widestH))
                   : std::max(f, limitFactor(factor, h, magnitude(s.YMin, s.YMax), m.plot.height(), widestH));
    if (!(std::fabs(f - 1) > 1e-9)) return S_FALSE;  // at the limit already
    const Box next{wx - (wx - s.XMin) / f, wy - (wy - s.YMin) / f, wx + (s.XMax - wx) / f, wy + (s.YMax - wy) / f};
    if (!drawable(next)) return S_FALSE;
    showUserView(next);
    return S_OK;
}

HRESULT CViGraf::PanBy(double dx, double dy) {
    if (m_autoZoom || !std::isfinite(dx) || !std::isfinite(dy)) return S_FALSE;
    if (dx == 0 && dy == 0) return S_FALSE;
    const ViewMapping m = viewMapping();
    if (!m.valid) return S_FALSE;
    // Dragging right brings what lies to the left into view; dragging down
    // what lies above.
    const double shiftX = -dx * m.ratio / m.scaleX, shiftY = dy * m.ratio / m.scaleY;
    const Box& s = m.shown;
    const Box next{s.XMin + shiftX, s.YMin + shiftY, s.XMax + shiftX, s.YMax + shiftY};
    if (!drawable(next)) return S_FALSE;
    showUserView(next);
    return S_OK;
}

HRESULT CViGraf::ResetView() {
    if (m_autoZoom || !m_userView) return S_FALSE;
    m_box = m_viewStart;
    m_userView = false;
    m_needsRescale = true;
    repaint();
    return S_OK;
}

void CViGraf::ensurePointIndex() {
    if (!m_holder) {
        m_pointIndex.clear();
        return;
    }
    const std::uint64_t holderChanges = m_holder->changes(), seriesChanges = m_extent.seriesChanges();
    if (m_pointIndexKnown && holderChanges == m_indexHolderChanges && seriesChanges == m_indexSeriesChanges) return;
    m_pointIndex.clear();
    bool followed = true;
    bool complete = true;
    const LONG count = seriesCount();
    for (LONG i = 0; i < count && complete; ++i) {
        ISeries* series = seriesAt(i);
        if (!series) continue;
        if (auto* own = dynamic_cast<CSeries*>(series)) {
            if (!m_extent.follows(*own)) followed = false;
            const std::size_t n = std::min<std::size_t>(own->pointCount(), MaxDrawPoints);
            own->points().forEachRun(0, n, [&](const double* x, const double* y, std::size_t run, std::size_t first) {
                if (complete) complete = m_pointIndex.add(i, first, x, y, run);
            });
        } else {
            // A series of another library hands out copies of what it draws.
            followed = false;
            m_drawX.resize(MaxDrawPoints);
            m_drawY.resize(MaxDrawPoints);
            LONG n = 0;
            if (FAILED(series->GetXY(&n, m_drawX.data(), m_drawY.data()))) continue;
            n = std::clamp<LONG>(n, 0, MaxDrawPoints);
            complete = m_pointIndex.add(i, 0, m_drawX.data(), m_drawY.data(), static_cast<std::size_t>(n));
        }
    }
    m_pointIndex.build();
    m_pointIndexKnown = followed && complete;
    m_indexHolderChanges = holderChanges;
    m_indexSeriesChanges = seriesChanges;
}

HRESULT CViGraf::NearestPoint(double px, double py, LONG* series, LONG* index, double* x, double* y) {
    if (!series || !index || !x || !y) return E_POINTER;
    const ViewMapping m = viewMapping();
    if (!m.valid || !std::isfinite(px) || !std::isfinite(py)) return S_FALSE;
    double wx = 0, wy = 0;
    m.toWorld(px, py, wx, wy);
    ensurePointIndex();
    const IndexedPoint* found = m_pointIndex.nearest(wx, wy, m.scaleX, m.scaleY, m.shown);
    if (!found) return S_FALSE;
    *series = found->series;
    *index = found->index;
    *x = found->x;
    *y = found->y;
    return S_OK;
}

}  // namespace tarvik
