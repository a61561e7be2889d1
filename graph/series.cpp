#include "graph/series.h"

#include "graph/large_memory.h"
#include "graph/variant_arrays.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvik {

// ---------------------------------------------------------------------------
// PointBlocks

void PointBlocks::BlockDeleter::operator()(Block* block) const noexcept {
    if (pooled) releasePiece(block);
    else delete block;
}

PointBlocks::BlockPtr PointBlocks::newBlock(bool small) noexcept {
    static_assert(sizeof(Block) == kPieceBytes, "a point block fills a piece of large memory");
    if (!small) {
        if (void* piece = allocatePiece()) return BlockPtr(static_cast<Block*>(piece), BlockDeleter{true});
    }
    return BlockPtr(new (std::nothrow) Block, BlockDeleter{false});
}

void PointBlocks::moveFirstBlock() noexcept {
    if (m_blocks.empty() || m_blocks.front().get_deleter().pooled) return;
    Block& from = *m_blocks.front();
    const std::size_t kept = std::min(m_count, BlockPoints);
    if (void* piece = allocatePiece()) {
        BlockPtr block(static_cast<Block*>(piece), BlockDeleter{true});
        std::memcpy(block->x, from.x, kept * sizeof(double));
        std::memcpy(block->y, from.y, kept * sizeof(double));
        m_blocks.front() = std::move(block);
        return;
    }
    // No large memory: the rest of the heap block is mapped in one request.
    if (kept < BlockPoints) {
        populateForWriting(from.x + kept, (BlockPoints - kept) * sizeof(double));
        populateForWriting(from.y + kept, (BlockPoints - kept) * sizeof(double));
    }
}

bool PointBlocks::addBlock() {
    if (m_count >= MaxPoints) return false;
    BlockPtr block = newBlock(m_blocks.empty());
    if (!block) return false;
    try {
        m_blocks.push_back(std::move(block));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool PointBlocks::resize(std::size_t n) {
    if (n > MaxPoints) return false;
    const std::size_t need = blocksFor(n);
    const std::size_t have = m_blocks.size();
    if (need > have) {
        try {
            m_blocks.reserve(need);
        } catch (const std::bad_alloc&) {
            return false;
        }
        while (m_blocks.size() < need) {
            BlockPtr block = newBlock(m_blocks.empty() && n < GrowingPoints);
            if (!block) {
                m_blocks.resize(have);
                return false;
            }
            m_blocks.push_back(std::move(block));  // cannot throw after the reserve
        }
    } else {
        m_blocks.resize(need);
    }
    const std::size_t before = m_count;
    m_count = n;
    // A small series made large keeps its points, in large memory.
    if (before < GrowingPoints && n >= GrowingPoints && have > 0) {
        m_count = before;
        moveFirstBlock();
        m_count = n;
    }
    return true;
}

void PointBlocks::clear() {
    std::vector<BlockPtr>().swap(m_blocks);
    m_count = 0;
}

// ---------------------------------------------------------------------------
// CSeries

namespace {

LONG flag(LONG value) { return value != 0 ? 1 : 0; }

template <class T>
HRESULT read(T value, T* out) {
    if (!out) return E_POINTER;
    *out = value;
    return S_OK;
}

HRESULT needsInterface(const char16_t* method) {
    qrt::setErrorInfo(u"ISeries", std::u16string(method) +
                                      u": through IDispatch a pointer parameter holds one value; this call needs more");
    return E_INVALIDARG;
}

}  // namespace

const qrt::DispatchTable& CSeries::dispatchTable() {
    static const qrt::DispatchTable table(u"ISeries", ISeries::IID, {
        qrt::getter<&ISeries::get_IsLine>(u"IsLine", 1),
        qrt::putter<&ISeries::put_IsLine>(u"IsLine", 1, {u"newVal"}),
        qrt::getter<&ISeries::get_IsPoint>(u"IsPoint", 2),
        qrt::putter<&ISeries::put_IsPoint>(u"IsPoint", 2, {u"newVal"}),
        qrt::getter<&ISeries::get_IsBar>(u"IsBar", 3),
        qrt::putter<&ISeries::put_IsBar>(u"IsBar", 3, {u"newVal"}),
        qrt::getter<&ISeries::get_IsFill>(u"IsFill", 4),
        qrt::putter<&ISeries::put_IsFill>(u"IsFill", 4, {u"newVal"}),
        qrt::member<&ISeries::Add>(u"Add", 5, {u"X", u"Y"}),
        qrt::member<&ISeries::RemoveAll>(u"RemoveAll", 6),
        qrt::getter<&ISeries::get_title>(u"title", 7),
        qrt::putter<&ISeries::put_title>(u"title", 7, {u"newVal"}),
        qrt::getter<&ISeries::get_IsView>(u"IsView", 8),
        qrt::putter<&ISeries::put_IsView>(u"IsView", 8, {u"newVal"}),
        // The array methods are reached through IDispatch by their guarded
        // forms (see dispatchGetBox).
        qrt::member<&CSeries::dispatchGetBox>(u"GetBox", 9, {u"pbox"}),
        qrt::member<&CSeries::dispatchGetXY>(u"GetXY", 10, {u"cElem", u"pdX", u"pdY"}),
        qrt::member<&CSeries::dispatchSetXY>(u"SetXY", 11, {u"cElem", u"pdX", u"pdY"}),
        qrt::member<&ISeries::SetXYVar>(u"SetXYVar", 12, {u"varX", u"varY"}),
        qrt::getter<&ISeries::get_alpha>(u"alpha", 13),
        qrt::putter<&ISeries::put_alpha>(u"alpha", 13, {u"newVal"}),
        qrt::getter<&ISeries::get_color>(u"color", 14),
        qrt::putter<&ISeries::put_color>(u"color", 14, {u"newVal"}),
    });
    return table;
}

HRESULT CSeries::create(REFIID iid, void** out) { return qrt::createInstance<CSeries>(iid, out); }

HRESULT CSeries::get_IsLine(LONG* pVal) { return read(m_isLine, pVal); }
HRESULT CSeries::put_IsLine(LONG newVal) { m_isLine = flag(newVal); return S_OK; }
HRESULT CSeries::get_IsPoint(LONG* pVal) { return read(m_isPoint, pVal); }
HRESULT CSeries::put_IsPoint(LONG newVal) { m_isPoint = flag(newVal); return S_OK; }
HRESULT CSeries::get_IsBar(LONG* pVal) { return read(m_isBar, pVal); }
HRESULT CSeries::put_IsBar(LONG newVal) { m_isBar = flag(newVal); return S_OK; }
HRESULT CSeries::get_IsFill(LONG* pVal) { return read(m_isFill, pVal); }
HRESULT CSeries::put_IsFill(LONG newVal) { m_isFill = flag(newVal); return S_OK; }
HRESULT CSeries::get_IsView(LONG* pVal) { return read(m_isView, pVal); }
HRESULT CSeries::put_IsView(LONG newVal) { m_isView = flag(newVal); changed(); return S_OK; }
HRESULT CSeries::get_alpha(LONG* pVal) { return read(m_alpha, pVal); }
HRESULT CSeries::put_alpha(LONG newVal) { m_alpha = newVal; return S_OK; }
HRESULT CSeries::get_color(OLE_COLOR* pVal) { return read(m_color, pVal); }
HRESULT CSeries::put_color(OLE_COLOR newVal) { m_color = newVal; return S_OK; }

HRESULT CSeries::get_title(BSTR* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    if (m_title.isNull()) return S_OK;
    *pVal = SysAllocStringLen(m_title.get(), m_title.length());
    return *pVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT CSeries::put_title(BSTR newVal) {
    if (!newVal) {
        m_title = qrt::Bstr();
        return S_OK;
    }
    BSTR copy = SysAllocStringLen(newVal, SysStringLen(newVal));
    if (!copy) return E_OUTOFMEMORY;
    m_title = qrt::Bstr::attach(copy);
    return S_OK;
}

HRESULT CSeries::Add(double X, double Y) {
    if (!m_points.append(X, Y)) return E_OUTOFMEMORY;
    m_box.include(X, Y);
    changed();
    return S_OK;
}

HRESULT CSeries::RemoveAll() {
    m_points.clear();
    m_box = FiniteBox{};
    m_checked = 0;
    m_sortedX = true;
    m_finite = true;
    m_lastX = -std::numeric_limits<double>::infinity();
    changed();
    return S_OK;
}

namespace {

// Widens box by the finite points among n: the same box as including them
// one at a time. A point left out stands in as infinities that move no
// bound; two points at a time where the processor allows.
// Returns whether every point of the run was finite.
bool includeRun(FiniteBox& box, const double* x, const double* y, std::size_t n) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double max = std::numeric_limits<double>::max();
    double x0 = inf, y0 = inf, x1 = -inf, y1 = -inf;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128d zero = _mm_setzero_pd(), largest = _mm_set1_pd(max);
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffff));
    const __m128d up = _mm_set1_pd(inf), down = _mm_set1_pd(-inf);
    __m128d vx0 = up, vy0 = up, vx1 = down, vy1 = down;
    __m128d all = _mm_castsi128_pd(_mm_set1_epi64x(-1));
    for (; i + 2 <= n; i += 2) {
        const __m128d vx = _mm_add_pd(_mm_loadu_pd(x + i), zero);  // -0 becomes +0
        const __m128d vy = _mm_add_pd(_mm_loadu_pd(y + i), zero);
        const __m128d keep = _mm_and_pd(_mm_cmple_pd(_mm_and_pd(vx, magnitude), largest),
                                        _mm_cmple_pd(_mm_and_pd(vy, magnitude), largest));
        all = _mm_and_pd(all, keep);
        const __m128d kx = _mm_and_pd(keep, vx), ky = _mm_and_pd(keep, vy);
        vx0 = _mm_min_pd(vx0, _mm_or_pd(kx, _mm_andnot_pd(keep, up)));
        vy0 = _mm_min_pd(vy0, _mm_or_pd(ky, _mm_andnot_pd(keep, up)));
        vx1 = _mm_max_pd(vx1, _mm_or_pd(kx, _mm_andnot_pd(keep, down)));
        vy1 = _mm_max_pd(vy1, _mm_or_pd(ky, _mm_andnot_pd(keep, down)));
    }
    double lanes[4][2];
    _mm_storeu_pd(lanes[0], vx0);
    _mm_storeu_pd(lanes[1], vy0);
    _mm_storeu_pd(lanes[2], vx1);
    _mm_storeu_pd(lanes[3], vy1);
    x0 = std::min(lanes[0][0], lanes[0][1]);
    y0 = std::min(lanes[1][0], lanes[1][1]);
    x1 = std::max(lanes[2][0], lanes[2][1]);
    y1 = std::max(lanes[3][0], lanes[3][1]);
    bool finite = _mm_movemask_pd(all) == 3;
#else
    bool finite = true;
#endif
    for (; i < n; ++i) {
        const double xi = x[i] + 0.0, yi = y[i] + 0.0;
        if (!(std::fabs(xi) <= max && std::fabs(yi) <= max)) {
            finite = false;
            continue;
        }
        x0 = std::min(x0, xi);
        x1 = std::max(x1, xi);
        y0 = std::min(y0, yi);
        y1 = std::max(y1, yi);
    }
    if (x0 <= x1) {  // some point was finite
        box.include(x0, y0);
        box.include(x1, y1);
    }
    return finite;
}

// Points are written and measured a slice at a time, so that the measuring
// finds them still in the cache.
constexpr std::size_t kSlice = 2048;

// Whether x[0..n) are finite and each at least the one before, last being
// the x before x[0] (updated to x[n - 1]).
bool sortedRun(const double* x, std::size_t n, double& last) {
    if (n == 0) return true;
    constexpr double max = std::numeric_limits<double>::max();
    bool sorted = x[0] >= last && std::fabs(x[0]) <= max;
    std::size_t i = 1;
#if defined(__SSE2__)
    const __m128d largest = _mm_set1_pd(max);
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffff));
    __m128d ok = _mm_castsi128_pd(_mm_set1_epi64x(-1));
    for (; i + 2 <= n; i += 2) {
        const __m128d current = _mm_loadu_pd(x + i), previous = _mm_loadu_pd(x + i - 1);
        ok = _mm_and_pd(ok, _mm_and_pd(_mm_cmpge_pd(current, previous),
                                       _mm_cmple_pd(_mm_and_pd(current, magnitude), largest)));
    }
    sorted = sorted && _mm_movemask_pd(ok) == 3;
#endif
    for (; i < n; ++i) sorted = sorted && x[i] >= x[i - 1] && std::fabs(x[i]) <= max;
    last = x[n - 1];
    return sorted;
}

// includeRun and sortedRun in one pass, for the common run whose points are
// all finite: the box then needs no masking and the order check shares the
// loads. A run with a point that is not finite is measured again by the two
// careful loops. `sorted` is cleared when the x values of the run are not
// finite or fall; `last` is as for sortedRun.
bool scanRun(FiniteBox& box, const double* x, const double* y, std::size_t n, bool& sorted, double& last) {
    if (n == 0) return true;
#if defined(__SSE2__)
    constexpr double inf = std::numeric_limits<double>::infinity();
    __m128d x0 = _mm_set1_pd(inf), y0 = x0, x1 = _mm_set1_pd(-inf), y1 = x1;
    // x - x is +0 for every finite x and NaN otherwise: any set bit in `bad`
    // marks a point that is not finite.
    __m128d bad = _mm_setzero_pd(), order = _mm_castsi128_pd(_mm_set1_epi64x(-1));
    auto take = [&](__m128d vx, __m128d vy, __m128d previous) {
        x0 = _mm_min_pd(x0, vx);
        x1 = _mm_max_pd(x1, vx);
        y0 = _mm_min_pd(y0, vy);
        y1 = _mm_max_pd(y1, vy);
        bad = _mm_or_pd(bad, _mm_or_pd(_mm_sub_pd(vx, vx), _mm_sub_pd(vy, vy)));
        order = _mm_and_pd(order, _mm_cmpge_pd(vx, previous));
    };
    __m128d carry = _mm_set1_pd(last);  // its high lane is the x before the pair
    std::size_t i = 0;
    for (; i + 2 <= n; i += 2) {
        const __m128d vx = _mm_loadu_pd(x + i);
        take(vx, _mm_loadu_pd(y + i), _mm_shuffle_pd(carry, vx, 1));
        carry = vx;
    }
    if (i < n) take(_mm_set1_pd(x[i]), _mm_set1_pd(y[i]), _mm_shuffle_pd(carry, carry, 3));  // the odd last point
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_castpd_si128(bad), _mm_setzero_si128())) == 0xffff) {
        double lanes[4][2];
        _mm_storeu_pd(lanes[0], x0);
        _mm_storeu_pd(lanes[1], y0);
        _mm_storeu_pd(lanes[2], x1);
        _mm_storeu_pd(lanes[3], y1);
        // A -0 that min or max kept becomes +0 in the box.
        box.include(std::min(lanes[0][0], lanes[0][1]), std::min(lanes[1][0], lanes[1][1]));
        box.include(std::max(lanes[2][0], lanes[2][1]), std::max(lanes[3][0], lanes[3][1]));
        sorted = sorted && _mm_movemask_pd(order) == 3;
        last = x[n - 1];
        return true;
    }
#endif
    const bool finite = includeRun(box, x, y, n);
    if (sorted) sorted = sortedRun(x, n, last);
    else last = x[n - 1];
    return finite;
}

// What measuring a stretch of points finds: their box, and whether every
// point is finite and x never falls (last: the x before the next point).
struct PointScan {
    FiniteBox box;
    bool sorted = true;
    bool finite = true;
    double last = -std::numeric_limits<double>::infinity();
};

// Measures the points [first, points.size()) into scan a slice at a time,
// right after fill(x, y, n, offset) has written each slice.
template <class Points, class Fill>
void scanPoints(Points& points, std::size_t first, PointScan& scan, Fill fill) {
    points.forEachRun(first, points.size() - first, [&](auto* x, auto* y, std::size_t count, std::size_t offset) {
        for (std::size_t done = 0; done < count; done += kSlice) {
            const std::size_t n = std::min(kSlice, count - done);
            fill(x + done, y + done, n, offset + done);
            scan.finite &= scanRun(scan.box, x + done, y + done, n, scan.sorted, scan.last);
        }
    });
}

}  // namespace

template <class Fill>
void CSeries::replacePoints(Fill fill) {
    PointScan scan;
    scanPoints(m_points, 0, scan, fill);
    m_box = scan.box;
    m_checked = m_points.size();
    m_sortedX = scan.sorted;
    m_lastX = scan.last;
    m_finite = scan.finite;
    changed();
}

void CSeries::checkFrom() const {
    if (m_sortedX || m_finite) {
        // The box is kept as points come; only the flags go on from here.
        PointScan scan{.box = {}, .sorted = m_sortedX, .finite = m_finite, .last = m_lastX};
        scanPoints(m_points, m_checked, scan, [](const double*, const double*, std::size_t, std::size_t) {});
        m_sortedX = scan.sorted;
        m_finite = scan.finite;
        m_lastX = scan.last;
    }
    m_checked = m_points.size();
}

HRESULT CSeries::GetBox(double* pbox) {
    if (!pbox) return E_POINTER;
    // Points that are infinite or not numbers have no place in a box; a
    // series without a finite point has none.
    if (m_box.empty) return S_FALSE;
    pbox[0] = m_box.xmin;
    pbox[1] = m_box.ymin;
    pbox[2] = m_box.xmax;
    pbox[3] = m_box.ymax;
    return S_OK;
}

HRESULT CSeries::GetXY(LONG* cElem, double* pdX, double* pdY) {
    if (!cElem) return E_POINTER;
    const std::size_t n = std::min(m_points.size(), static_cast<std::size_t>(MaxDrawPoints));
    *cElem = static_cast<LONG>(n);
    m_points.forEachRun(0, n, [&](const double* x, const double* y, std::size_t count, std::size_t offset) {
        if (pdX) std::memcpy(pdX + offset, x, count * sizeof(double));
        if (pdY) std::memcpy(pdY + offset, y, count * sizeof(double));
    });
    return S_OK;
}

HRESULT CSeries::SetXY(LONG cElem, double* pdX, double* pdY) {
    if (cElem < 0) return S_FALSE;
    if (cElem == 0) return RemoveAll();
    if (!pdX || !pdY) return E_POINTER;
    if (!m_points.resize(static_cast<std::size_t>(cElem))) return E_OUTOFMEMORY;
    replacePoints([&](double* x, double* y, std::size_t count, std::size_t offset) {
        std::memcpy(x, pdX + offset, count * sizeof(double));
        std::memcpy(y, pdY + offset, count * sizeof(double));
    });
    return S_OK;
}

HRESULT CSeries::SetXYVar(VARIANT varX, VARIANT varY) {
    NumberArray xs, ys;
    if (xs.open(varX) != S_OK || ys.open(varY) != S_OK) return S_FALSE;
    const LONG n = xs.count();
    if (n == 0 || ys.count() != n) return S_FALSE;
    // Both arrays are checked: from here on only memory can fail.
    if (!m_points.resize(static_cast<std::size_t>(n))) return E_OUTOFMEMORY;
    replacePoints([&](double* x, double* y, std::size_t count, std::size_t offset) {
        xs.read(static_cast<LONG>(offset), static_cast<LONG>(count), x);
        ys.read(static_cast<LONG>(offset), static_cast<LONG>(count), y);
    });
    return S_OK;
}

// Through IDispatch each pointer parameter refers to a single by-reference
// value, never to a caller's array. These forms run the real methods only
// when one value is all they touch, and refuse otherwise rather than write
// or read past it.
HRESULT CSeries::dispatchGetBox(double* pbox) {
    if (!pbox) return E_POINTER;
    return m_box.empty ? S_FALSE : needsInterface(u"GetBox");
}

HRESULT CSeries::dispatchGetXY(LONG* cElem, double* pdX, double* pdY) {
    if (std::min(m_points.size(), static_cast<std::size_t>(MaxDrawPoints)) > 1) return needsInterface(u"GetXY");
    return GetXY(cElem, pdX, pdY);
}

HRESULT CSeries::dispatchSetXY(LONG cElem, double* pdX, double* pdY) {
    if (cElem > 1) return needsInterface(u"SetXY");
    return SetXY(cElem, pdX, pdY);
}

HRESULT CSeries::GetClassInfo(ITypeInfo** info) {
    return qrt::classTypeInfo(u"Series", CLSID_Series, dispatchTable().typeInfo(), nullptr, info);
}

}  // namespace tarvik
