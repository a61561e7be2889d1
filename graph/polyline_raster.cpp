// Series polylines. The line walk follows QPainter's aliased cosmetic
// stroker so the two draw the same pixels: coordinates in 26.6 fixed point,
// one pixel per step along the major axis with the minor coordinate in 16.16,
// half-open segments, and a small amount of state carried from one segment
// to the next (last pixel drawn, direction) that drops a pixel a joint would
// draw twice and adds one where a joint would leave a gap.
#include "graph/polyline_raster.h"

#include <QRgba64>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <type_traits>
#include <utility>

namespace tarvik {
namespace {

constexpr int kNoPixel = INT_MIN;
constexpr int kMaxSide = 16384;

enum Direction : int {
    NoDirection = 0,
    TopToBottom = 1,
    BottomToTop = 2,
    LeftToRight = 4,
    RightToLeft = 8,
    VerticalMask = 3,
    HorizontalMask = 12,
};

enum Caps : int { NoCaps = 0, CapBegin = 1, CapEnd = 2 };

inline int swapCaps(int caps) { return ((caps & CapBegin) << 1) | ((caps & CapEnd) >> 1); }

// 16.16 quotient, truncated towards zero.
inline int fixedDiv(int num, int den) {
    if (num == 0) return 0;
    if (std::abs(num) > 0x7fff) return int((std::int64_t(num) * 65536) / den);
    return num * 65536 / den;
}

// x * a / 255 per channel, rounded the way Qt's raster engine rounds.
inline quint32 byteMul(quint32 x, quint32 a) {
    quint32 t = (x & 0xff00ff) * a;
    t = (t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8;
    t &= 0xff00ff;
    x = ((x >> 8) & 0xff00ff) * a;
    x = x + ((x >> 8) & 0xff00ff) + 0x800080;
    x &= 0xff00ff00;
    return x | t;
}

struct Pixel {
    int x;
    int y;
};

class Tracer {
public:
    Tracer(QImage& image, const QRect& clip, quint32 colour)
        : bits_(reinterpret_cast<quint32*>(image.bits())),
          stride_(image.bytesPerLine() / 4),
          clip_(clip),
          colour_(colour),
          inverseAlpha_(255 - qAlpha(colour)),
          // Segments are first cut to the image grown by a pixel or two,
          // in floating point, so the fixed-point walk never overflows.
          xmin_(-1),
          xmax_(image.width() + 1),
          ymin_(-1),
          ymax_(image.height() + 1) {}

    // The segment from p to q; caps marks the two ends of an open polyline.
    template <bool Opaque>
    __attribute__((always_inline)) void segment(QPoint p, QPoint q, int caps) {
        if (inside(p) && inside(q)) {
            if (p.x() == q.x()) {
                // Most segments of a dense series: straight down or up, or
                // no segment at all (which changes nothing).
                if (p.y() != q.y()) vertical<Opaque>(p.x(), p.y(), q.y(), caps);
                return;
            }
            walk<Opaque>(p.x() * 64, p.y() * 64, q.x() * 64, q.y() * 64, caps);
            return;
        }
        // Both ends beyond the same side: what the cut below would find,
        // without its floating point.
        if ((p.y() < ymin_ && q.y() < ymin_) || (p.y() > ymax_ && q.y() > ymax_) || (p.x() < xmin_ && q.x() < xmin_) ||
            (p.x() > xmax_ && q.x() > xmax_)) {
            forget();
            return;
        }
        double x1 = p.x(), y1 = p.y(), x2 = q.x(), y2 = q.y();
        if (cut(x1, y1, x2, y2)) return;
        walk<Opaque>(int(x1 * 64.), int(y1 * 64.), int(x2 * 64.), int(y2 * 64.), caps);
    }

    // A closed polyline has no caps; its first joint is treated as a joint
    // with the closing segment, which is what this computes: the direction and
    // the last pixel of the segment from p to q, without drawing it.
    void presetFromSegment(QPoint p, QPoint q) {
        last_ = {kNoPixel, kNoPixel};
        double x1 = p.x(), y1 = p.y(), x2 = q.x(), y2 = q.y();
        if (cut(x1, y1, x2, y2)) return;
        const int fx1 = int(x1 * 64.), fy1 = int(y1 * 64.), fx2 = int(x2 * 64.), fy2 = int(y2 * 64.);
        const int dx = std::abs(fx2 - fx1), dy = std::abs(fy2 - fy1);
        if (dx < dy)
            preset<true>(fy1, fx1, fy2, fx2);
        else if (dx != 0)
            preset<false>(fx1, fy1, fx2, fy2);
    }

private:
    bool inside(QPoint p) const {
        return unsigned(p.x()) - unsigned(xmin_) <= unsigned(xmax_ - xmin_) &&
               unsigned(p.y()) - unsigned(ymin_) <= unsigned(ymax_ - ymin_);
    }

    // Cuts the segment to the grown image rectangle; true when nothing is left.
    // Leaving the rectangle forgets the last pixel, so the dropout control
    // does not join a segment to one it is no longer connected to.
    bool cut(double& x1, double& y1, double& x2, double& y2) {
        const double xmin = xmin_, xmax = xmax_, ymin = ymin_, ymax = ymax_;
        if (x1 < xmin) {
            if (x2 <= xmin) return forget();
            y1 += (y2 - y1) / (x2 - x1) * (xmin - x1);
            x1 = xmin;
        } else if (x1 > xmax) {
            if (x2 >= xmax) return forget();
            y1 += (y2 - y1) / (x2 - x1) * (xmax - x1);
            x1 = xmax;
        }
        if (x2 < xmin) {
            last_.x = kNoPixel;
            y2 += (y2 - y1) / (x2 - x1) * (xmin - x2);
            x2 = xmin;
        } else if (x2 > xmax) {
            last_.x = kNoPixel;
            y2 += (y2 - y1) / (x2 - x1) * (xmax - x2);
            x2 = xmax;
        }
        if (y1 < ymin) {
            if (y2 <= ymin) return forget();
            x1 += (x2 - x1) / (y2 - y1) * (ymin - y1);
            y1 = ymin;
        } else if (y1 > ymax) {
            if (y2 >= ymax) return forget();
            x1 += (x2 - x1) / (y2 - y1) * (ymax - y1);
            y1 = ymax;
        }
        if (y2 < ymin) {
            last_.x = kNoPixel;
            x2 += (x2 - x1) / (y2 - y1) * (ymin - y2);
            y2 = ymin;
        } else if (y2 > ymax) {
            last_.x = kNoPixel;
            x2 += (x2 - x1) / (y2 - y1) * (ymax - y2);
            y2 = ymax;
        }
        return false;
    }

    bool forget() {
        last_.x = kNoPixel;
        return true;
    }

    template <bool Opaque>
    void walk(int x1, int y1, int x2, int y2, int caps) {
        const int dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
        if (dx < dy)
            walkMajor<Opaque, true>(y1, x1, y2, x2, caps);
        else if (dx != 0)
            walkMajor<Opaque, false>(x1, y1, x2, y2, caps);
    }

    template <bool Steep>
    static Pixel pixelAt(int major, int minor) {
        return Steep ? Pixel{minor, major} : Pixel{major, minor};
    }

    // One segment along its major axis a (y when Steep, else x), with the
    // minor coordinate b; both in 26.6.
    template <bool Opaque, bool Steep>
    void walkMajor(int a1, int b1, int a2, int b2, int caps) {
        constexpr int forward = Steep ? TopToBottom : LeftToRight;
        constexpr int backward = Steep ? BottomToTop : RightToLeft;
        constexpr int mask = Steep ? VerticalMask : HorizontalMask;

        const bool reversed = a1 > a2;
        if (reversed) {
            std::swap(a1, a2);
            std::swap(b1, b2);
            caps = swapCaps(caps);
        }
        const int dir = reversed ? backward : forward;
        const int inc = fixedDiv(b2 - b1, a2 - a1);
        int b = b1 * 1024;

        // Turning back on the same axis caps the turning point, so the
        // segment does not start inside the pixel the previous one ended on.
        if ((lastDir_ ^ mask) == dir) caps |= reversed ? CapEnd : CapBegin;
        if (caps & CapBegin) {
            a1 -= 32;
            b -= inc >> 1;
        }
        if (caps & CapEnd) a2 += 32;

        int a = (a1 + 32) >> 6;
        int aEnd = (a2 + 32) >> 6;
        const int lastMajor = Steep ? last_.y : last_.x;
        if ((caps & CapBegin) && lastMajor == a + 1) ++a;
        if (a == aEnd) return;

        b += ((a * 64) + (inc > 0 ? 32 : 0) - a1) * inc >> 6;

        Pixel first = pixelAt<Steep>(a, b >> 16);
        Pixel endPixel = pixelAt<Steep>(aEnd - 1, int((std::int64_t(b) + std::int64_t(aEnd - a - 1) * inc) >> 16));
        if (reversed) std::swap(first, endPixel);

        const bool axisAligned = std::abs(inc) < (1 << 14);
        if (last_.x != kNoPixel) {
            const int gapX = std::abs(last_.x - first.x), gapY = std::abs(last_.y - first.y);
            if (gapX == 0 && gapY == 0) {
                // The joint pixel belongs to the previous segment.
                if (reversed) {
                    --aEnd;
                } else {
                    ++a;
                    b += inc;
                }
            } else if (lastDir_ != dir &&
                       ((axisAligned && lastAxisAligned_ && gapX != 0 && gapY != 0) || gapX > 1 || gapY > 1)) {
                // A corner would leave a hole: extend this segment by a pixel.
                if (reversed) {
                    ++aEnd;
                } else {
                    --a;
                    b -= inc;
                }
            } else if (lastDir_ == dir && gapX <= 1 && gapY > 1) {
                b += inc >> 1;
                const int minor = reversed ? b >> 16 : int((std::int64_t(b) + std::int64_t(aEnd - a - 1) * inc) >> 16);
                (Steep ? endPixel.x : endPixel.y) = minor;
            }
        }
        lastDir_ = dir;
        lastAxisAligned_ = axisAligned;
        last_ = endPixel;

        // At least one pixel: a segment whose only pixel was the joint still
        // draws the next one along.
        const int count = aEnd > a ? aEnd - a : 1;
        plot<Opaque, Steep>(a, count, b, inc);
    }

    // walkMajor<Opaque, true> for whole pixels (y1 != y2) on one column x,
    // with everything that is constant there worked out: the minor
    // coordinate never moves, so caps and joints only move the two ends.
    template <bool Opaque>
    __attribute__((always_inline)) void vertical(int x, int y1, int y2, int caps) {
        const bool reversed = y1 > y2;
        if (reversed) {
            std::swap(y1, y2);
            caps = swapCaps(caps);
        }
        const int dir = reversed ? BottomToTop : TopToBottom;
        if ((lastDir_ ^ VerticalMask) == dir) caps |= reversed ? CapEnd : CapBegin;
        int a = y1;
        int aEnd = (caps & CapEnd) ? y2 + 1 : y2;
        if ((caps & CapBegin) && last_.y == a + 1) ++a;
        if (a == aEnd) return;

        const int firstY = reversed ? aEnd - 1 : a, endY = reversed ? a : aEnd - 1;
        if (last_.x != kNoPixel) {
            const int gapX = std::abs(last_.x - x), gapY = std::abs(last_.y - firstY);
            if (gapX == 0 && gapY == 0) {
                if (reversed)
                    --aEnd;
                else
                    ++a;
            } else if (lastDir_ != dir && ((lastAxisAligned_ && gapX != 0 && gapY != 0) || gapX > 1 || gapY > 1)) {
                if (reversed)
                    ++aEnd;
                else
                    --a;
            }
        }
        lastDir_ = dir;
        lastAxisAligned_ = true;
        last_ = {x, endY};

        if (x < clip_.left() || x > clip_.right()) return;
        int end = aEnd > a ? aEnd : a + 1;
        a = std::max(a, clip_.top());
        end = std::min(end, clip_.bottom() + 1);
        const qsizetype stride = stride_;
        quint32* p = bits_ + qsizetype(a) * stride + x;
        const quint32 colour = colour_, inverseAlpha = inverseAlpha_;
        for (int i = a; i < end; ++i, p += stride) blend<Opaque>(p, colour, inverseAlpha);
    }

    // Only the direction and last pixel of walkMajor, without caps or joints.
    template <bool Steep>
    void preset(int a1, int b1, int a2, int b2) {
        const bool reversed = a1 > a2;
        if (reversed) {
            std::swap(a1, a2);
            std::swap(b1, b2);
        }
        const int inc = fixedDiv(b2 - b1, a2 - a1);
        int b = b1 * 1024;
        const int a = (a1 + 32) >> 6;
        const int aEnd = (a2 + 32) >> 6;
        if (a == aEnd) return;
        b += ((a * 64) + (inc > 0 ? 32 : 0) - a1) * inc >> 6;
        if (reversed) {
            last_ = pixelAt<Steep>(a, b >> 16);
            lastDir_ = Steep ? BottomToTop : RightToLeft;
        } else {
            last_ = pixelAt<Steep>(aEnd - 1, int((std::int64_t(b) + std::int64_t(aEnd - a - 1) * inc) >> 16));
            lastDir_ = Steep ? TopToBottom : LeftToRight;
        }
        lastAxisAligned_ = std::abs(inc) < (1 << 14);
    }

    // count pixels from major coordinate a, minor b (16.16) stepping by inc,
    // keeping those inside the clip rectangle.
    template <bool Opaque, bool Steep>
    void plot(int a, int count, int b, int inc) {
        const int majorMin = Steep ? clip_.top() : clip_.left();
        const int majorMax = Steep ? clip_.bottom() : clip_.right();
        const int minorMin = Steep ? clip_.left() : clip_.top();
        const unsigned minorSpan = unsigned(Steep ? clip_.right() - clip_.left() : clip_.bottom() - clip_.top());

        int end = a + count;  // exclusive
        if (a < majorMin) {
            b += (majorMin - a) * inc;
            a = majorMin;
        }
        if (end > majorMax + 1) end = majorMax + 1;
        if (a >= end) return;

        const qsizetype majorStep = Steep ? stride_ : 1;
        const qsizetype minorStep = Steep ? 1 : stride_;
        quint32* line = Steep ? bits_ + qsizetype(a) * stride_ : bits_ + a;
        // Locals, not members: a pixel store could otherwise alias them.
        const quint32 colour = colour_, inverseAlpha = inverseAlpha_;

        if (inc == 0) {
            // A run along a row or a column.
            const int minor = b >> 16;
            if (unsigned(minor - minorMin) > minorSpan) return;
            quint32* p = line + qsizetype(minor) * minorStep;
            for (int i = a; i < end; ++i, p += majorStep) blend<Opaque>(p, colour, inverseAlpha);
            return;
        }
        for (int i = a; i < end; ++i, line += majorStep, b += inc) {
            const int minor = b >> 16;
            if (unsigned(minor - minorMin) <= minorSpan)
                blend<Opaque>(line + qsizetype(minor) * minorStep, colour, inverseAlpha);
        }
    }

    template <bool Opaque>
    static void blend(quint32* p, quint32 colour, quint32 inverseAlpha) {
        if constexpr (Opaque)
            *p = colour;
        else
            *p = colour + byteMul(*p, inverseAlpha);
    }

    quint32* bits_;
    qsizetype stride_;
    QRect clip_;
    quint32 colour_;
    quint32 inverseAlpha_;
    int xmin_, xmax_, ymin_, ymax_;
    Pixel last_{kNoPixel, kNoPixel};
    int lastDir_ = NoDirection;
    bool lastAxisAligned_ = false;
};

// The caps of a polyline's segments: which of its two ends are caps, and
// the preset of a closed one.
struct Ends {
    int first = NoCaps;  // the caps of the first segment
    bool capLast = false;

    Ends(Tracer& tracer, int n, QPoint first, QPoint beforeLast, QPoint last, int ends) {
        // A polyline that ends where it starts is closed: no caps, and its
        // first joint is the one with the closing segment.
        const bool closed = ends == OwnEnds && first == last;
        if (closed) tracer.presetFromSegment(n > 2 ? beforeLast : last, first);
        this->first = closed || (ends & ContinuesBefore) ? NoCaps : CapBegin;
        capLast = !closed && !(ends & ContinuesAfter);
    }
    // The caps of the segment ending at point i of n.
    int of(int i, int n) const {
        if (__builtin_expect(i != 1 && i != n - 1, 1)) return NoCaps;
        return (i == 1 ? first : NoCaps) | (i == n - 1 && capLast ? CapEnd : NoCaps);
    }
};

template <bool Opaque>
void trace(Tracer& tracer, const QPoint* points, int n, int ends) {
    const Ends caps(tracer, n, points[0], points[n > 2 ? n - 2 : 0], points[n - 1], ends);
    for (int i = 1; i < n; ++i) tracer.segment<Opaque>(points[i - 1], points[i], caps.of(i, n));
}

template <bool Opaque>
void traceFrom(Tracer& tracer, int n, QPoint first, QPoint beforeLast, QPoint last, int ends,
               const std::function<int(QPoint*, int)>& next) {
    const Ends caps(tracer, n, first, beforeLast, last, ends);
    // A thousand points at a time, converted just before they are drawn,
    // stay in the cache between the two.
    constexpr int kChunk = 1024;
    QPoint buffer[kChunk];
    QPoint previous;
    for (int i = 0; i < n;) {
        const int got = std::min(next(buffer, std::min(kChunk, n - i)), n - i);
        if (got <= 0) return;
        for (int k = 0; k < got; ++k, ++i) {
            if (i > 0) tracer.segment<Opaque>(previous, buffer[k], caps.of(i, n));
            previous = buffer[k];
        }
    }
}

}  // namespace

// Pictures the rasterizers draw into: 32 bits a pixel, and small enough for
// the fixed-point walk.
bool rasterizable(const QImage& image) {
    const QImage::Format format = image.format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied) return false;
    return image.width() <= kMaxSide && image.height() <= kMaxSide;
}

namespace {

// Built at O3, which vectorizes the blend across a row of a square: 60,000
// squares of 5 x 5 take a third to a half less time than at O2.
template <bool Opaque>
__attribute__((optimize("O3"))) void fillSquares(QImage& image, const QRect& area, const QPoint* points, int n, int size, quint32 colour) {
    quint32* const bits = reinterpret_cast<quint32*>(image.bits());
    const qsizetype stride = image.bytesPerLine() / 4;
    const quint32 inverseAlpha = 255 - qAlpha(colour);
    // In 64 bits: a far-away point (or a large size) must not overflow.
    const qint64 before = size / 2, after = size - 1 - before;
    const qint64 left = area.left(), right = area.right(), top = area.top(), bottom = area.bottom();
    for (int i = 0; i < n; ++i) {
        const QPoint p = points[i];
        if (i > 0 && p == points[i - 1]) continue;
        const qint64 x = p.x(), y = p.y();
        if (x + after < left || x - before > right || y + after < top || y - before > bottom) continue;
        const int x0 = int(std::max(x - before, left)), x1 = int(std::min(x + after, right));
        const int y0 = int(std::max(y - before, top)), y1 = int(std::min(y + after, bottom));
        const int width = x1 - x0 + 1;
        quint32* row = bits + qsizetype(y0) * stride + x0;
        for (int r = y0; r <= y1; ++r, row += stride) {
            if constexpr (Opaque) {
                std::fill_n(row, width, colour);
            } else {
                for (int k = 0; k < width; ++k) row[k] = colour + byteMul(row[k], inverseAlpha);
            }
        }
    }
}

// Sets up a tracer over the part of the picture inside clip and lets
// trace(tracer, opaque) draw a line of n points with it, opaque being
// std::true_type for a pen at full alpha. False when this rasteriser does
// not draw into the picture.
template <class Trace>
bool traceLine(QImage& image, const QRect& clip, int n, QRgb rgb, int alpha, Trace trace) {
    if (!rasterizable(image)) return false;
    if (n < 2 || alpha <= 0) return true;
    const QRect area = clip & image.rect();
    if (area.isEmpty()) return true;

    Tracer tracer(image, area, premultipliedPenColour(rgb, alpha > 255 ? 255 : alpha));
    if (alpha >= 255)
        trace(tracer, std::true_type{});
    else
        trace(tracer, std::false_type{});
    return true;
}

}  // namespace

QRgb premultipliedPenColour(QRgb rgb, int alpha) {
    return QRgba64::fromArgb32(qRgba(qRed(rgb), qGreen(rgb), qBlue(rgb), alpha)).premultiplied().toArgb32();
}

bool drawPolyline(QImage& image, const QRect& clip, const QPoint* points, int n, QRgb rgb, int alpha, int ends) {
    return traceLine(image, clip, n, rgb, alpha,
                     [&](Tracer& tracer, auto opaque) { trace<opaque.value>(tracer, points, n, ends); });
}

bool drawPolylineFrom(QImage& image, const QRect& clip, int n, QPoint first, QPoint beforeLast, QPoint last,
                      QRgb rgb, int alpha, int ends, const std::function<int(QPoint*, int)>& next) {
    return traceLine(image, clip, n, rgb, alpha, [&](Tracer& tracer, auto opaque) {
        traceFrom<opaque.value>(tracer, n, first, beforeLast, last, ends, next);
    });
}

bool drawMarkers(QImage& image, const QRect& clip, const QPoint* points, int n, int size, QRgb rgb, int alpha) {
    if (!rasterizable(image)) return false;
    if (n < 1 || size < 1 || alpha <= 0) return true;
    const QRect area = clip & image.rect();
    if (area.isEmpty()) return true;
    const quint32 colour = premultipliedPenColour(rgb, alpha > 255 ? 255 : alpha);
    if (alpha >= 255)
        fillSquares<true>(image, area, points, n, size, colour);
    else
        fillSquares<false>(image, area, points, n, size, colour);
    return true;
}

}  // namespace tarvik
