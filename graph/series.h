// Series: the points of one data series with its display attributes.
#pragma once

#include "graph/tarvik.h"
#include "runtime/bstr.h"
#include "runtime/dispatch_table.h"
#include "runtime/object.h"
#include "runtime/typeinfo.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

namespace tarvik {

// Points kept in fixed blocks of BlockPoints x values followed by as many y
// values. Appending never moves what is stored and grows memory one block at
// a time, so a series of millions of points costs little more than its 16
// bytes a point. Every block but the last is full.
class PointBlocks {
public:
    static constexpr int BlockShift = 15;
    static constexpr std::size_t BlockPoints = std::size_t{1} << BlockShift;
    // The most points: a multiple of BlockPoints that a LONG can count.
    static constexpr std::size_t MaxPoints = (std::size_t{1} << 31) - BlockPoints;

    std::size_t size() const { return m_count; }
    // Point i's coordinates; i < size().
    double x(std::size_t i) const { return m_blocks[i >> BlockShift]->x[i & (BlockPoints - 1)]; }
    double y(std::size_t i) const { return m_blocks[i >> BlockShift]->y[i & (BlockPoints - 1)]; }

    // False (nothing changed) when memory runs out.
    bool append(double x, double y) {
        const std::size_t offset = m_count & (BlockPoints - 1);
        if (offset == 0 && !addBlock()) return false;
        if (m_count == GrowingPoints) moveFirstBlock();
        Block& b = *m_blocks.back();
        b.x[offset] = x;
        b.y[offset] = y;
        ++m_count;
        return true;
    }
    // Makes room for exactly n points, keeping the first min(n, size())
    // ones and reusing the blocks it has. False (nothing changed) when memory
    // runs out.
    bool resize(std::size_t n);
    // Frees every block.
    void clear();

    // Calls f(x, y, count, offset) for each run of points in [first, first + n)
    // that lies in one block, offset being the index of the run's first point.
    template <class F>
    void forEachRun(std::size_t first, std::size_t n, F f) const { runs(*this, first, n, f); }
    template <class F>
    void forEachRun(std::size_t first, std::size_t n, F f) { runs(*this, first, n, f); }

private:
    struct Block {
        double x[BlockPoints];
        double y[BlockPoints];
    };
    static std::size_t blocksFor(std::size_t n) { return (n + BlockPoints - 1) >> BlockShift; }
    bool addBlock();
    // A series that reaches GrowingPoints points is likely to fill its first
    // block: its points move into a block of large memory then, mapped in
    // large pages, rather than having the rest of the heap block mapped one
    // small page at a time.
    static constexpr std::size_t GrowingPoints = 4096;
    void moveFirstBlock() noexcept;

    template <class Self, class F>
    static void runs(Self& self, std::size_t first, std::size_t n, F& f) {
        using B = std::conditional_t<std::is_const_v<Self>, const Block, Block>;
        while (n > 0) {
            B& b = *self.m_blocks[first >> BlockShift];
            const std::size_t at = first & (BlockPoints - 1);
            const std::size_t run = std::min(n, BlockPoints - at);
            f(b.x + at, b.y + at, run, first);
            first += run;
            n -= run;
        }
    }

    // The first block of a small series comes from the ordinary heap, whose
    // pages are mapped as the points reach them, so it costs little memory;
    // every block of a series that outgrows GrowingPoints comes from large
    // memory (the heap block only while large memory is refused).
    struct BlockDeleter {
        bool pooled = false;
        void operator()(Block* block) const noexcept;
    };
    using BlockPtr = std::unique_ptr<Block, BlockDeleter>;
    static BlockPtr newBlock(bool small) noexcept;

    std::vector<BlockPtr> m_blocks;
    std::size_t m_count = 0;
};

// The box of a set of points, leaving out every point with a coordinate that
// is infinite or not a number. A zero enters as +0, so the box depends only
// on which points were included, never on their order.
struct FiniteBox {
    double xmin = 0, ymin = 0, xmax = 0, ymax = 0;
    bool empty = true;

    static bool finite(double x, double y) { return std::isfinite(x) && std::isfinite(y); }
    // Returns whether the point was finite (and so included).
    bool include(double x, double y) {
        if (!finite(x, y)) return false;
        x += 0.0;  // -0 becomes +0
        y += 0.0;
        if (empty) {
            xmin = xmax = x;
            ymin = ymax = y;
            empty = false;
            return true;
        }
        xmin = std::min(xmin, x);
        xmax = std::max(xmax, x);
        ymin = std::min(ymin, y);
        ymax = std::max(ymax, y);
        return true;
    }
};

// A count of changes shared by the series made for one owner, so that the
// owner can tell in one comparison whether any of them changed.
using ChangeCounter = std::shared_ptr<std::uint64_t>;

class CSeries final : public qrt::ComObject<qrt::DispatchImpl<CSeries, ISeries>, IProvideClassInfo> {
public:
    static const qrt::DispatchTable& dispatchTable();
    static HRESULT create(REFIID iid, void** out);

    HRESULT get_IsLine(LONG* pVal) override;
    HRESULT put_IsLine(LONG newVal) override;
    HRESULT get_IsPoint(LONG* pVal) override;
    HRESULT put_IsPoint(LONG newVal) override;
    HRESULT get_IsBar(LONG* pVal) override;
    HRESULT put_IsBar(LONG newVal) override;
    HRESULT get_IsFill(LONG* pVal) override;
    HRESULT put_IsFill(LONG newVal) override;
    HRESULT Add(double X, double Y) override;
    HRESULT RemoveAll() override;
    HRESULT get_title(BSTR* pVal) override;
    HRESULT put_title(BSTR newVal) override;
    HRESULT get_IsView(LONG* pVal) override;
    HRESULT put_IsView(LONG newVal) override;
    HRESULT GetBox(double* pbox) override;
    // pdX or pdY may be null to skip that coordinate (or both, to learn the count).
    HRESULT GetXY(LONG* cElem, double* pdX, double* pdY) override;
    HRESULT SetXY(LONG cElem, double* pdX, double* pdY) override;
    HRESULT SetXYVar(VARIANT varX, VARIANT varY) override;
    HRESULT get_alpha(LONG* pVal) override;
    HRESULT put_alpha(LONG newVal) override;
    HRESULT get_color(OLE_COLOR* pVal) override;
    HRESULT put_color(OLE_COLOR newVal) override;

    HRESULT GetClassInfo(ITypeInfo** info) override;

    // The number of points and the points themselves, for code of this library.
    std::size_t pointCount() const { return m_points.size(); }
    const PointBlocks& points() const { return m_points; }
    // The box of the finite points, kept up to date as points come and go.
    const FiniteBox& finiteBox() const { return m_box; }
    bool visible() const { return m_isView != 0; }
    // Whether every x is finite and none is smaller than the one before:
    // then the points in an x range are one run of indices.
    bool sortedX() const {
        checkAdded();
        return m_sortedX;
    }
    // Whether every coordinate is finite: the line has no gap.
    bool allFinite() const {
        checkAdded();
        return m_finite;
    }

    // From now on every member that may change what the series adds to a
    // graph's extent (its points, its visibility) adds one to counter (null:
    // to none). Colours, flags and the title leave it alone.
    void reportChangesTo(ChangeCounter counter) { m_changes = std::move(counter); }
    bool reportsTo(const std::uint64_t* counter) const { return counter && m_changes.get() == counter; }

    // The side of the point markers in pixels: the size last given to
    // setMarkerSize, DefaultMarkerSize before that. It only matters while
    // IsPoint is set, and survives IsPoint being turned off and on again.
    static constexpr LONG DefaultMarkerSize = 5;
    // Larger sizes are drawn at this one: 60,000 markers filling most of the
    // plot each would stall the drawing pass.
    static constexpr LONG MaxMarkerSize = 64;
    LONG markerSize() const { return m_markerSize; }
    // Sizes below 1 are ignored.
    void setMarkerSize(LONG size) {
        if (size > 0) m_markerSize = std::min(size, MaxMarkerSize);
    }

private:
    // The dispatch forms of GetBox, GetXY and SetXY. The table calls them on
    // the ISeries pointer, which is where the object starts: ISeries comes
    // first among the bases.
    HRESULT dispatchGetBox(double* pbox);
    HRESULT dispatchGetXY(LONG* cElem, double* pdX, double* pdY);
    HRESULT dispatchSetXY(LONG cElem, double* pdX, double* pdY);

    void changed() {
        if (m_changes) ++*m_changes;
    }
    // Replaces the points, already sized, by fill(x, y, count, offset) for
    // each stretch of them, and measures their box on the way.
    template <class Fill>
    void replacePoints(Fill fill);

    LONG m_isLine = 1;
    LONG m_isPoint = 0;
    LONG m_isBar = 0;
    LONG m_isFill = 0;
    LONG m_isView = 0;
    LONG m_alpha = 255;
    OLE_COLOR m_color = 0;
    LONG m_markerSize = DefaultMarkerSize;
    qrt::Bstr m_title;
    PointBlocks m_points;
    FiniteBox m_box;
    // Points added one at a time are judged for order and gaps only when
    // someone asks, a stretch at a time, so that Add stays as cheap as it was.
    void checkAdded() const {
        if (m_checked < m_points.size()) checkFrom();
    }
    void checkFrom() const;
    // The flags below describe the points [0, m_checked).
    mutable std::size_t m_checked = 0;
    mutable bool m_sortedX = true;
    mutable bool m_finite = true;
    // The x of point m_checked - 1 while m_sortedX holds; below every
    // number when there is no point.
    mutable double m_lastX = -std::numeric_limits<double>::infinity();
    ChangeCounter m_changes;
};

}  // namespace tarvik
