#include "graph/axes_painter.h"

#include "graph/polyline_raster.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tarvik {

namespace {

// Frame and tick lines: black at alpha 80; grid lines: black at alpha 10.
const QColor kFrameColor(0, 0, 0, 80);
const QColor kGridColor(0, 0, 0, 10);
// Far more ticks than any layout makes (at most about 20 per axis).
constexpr int kMaxTicks = 1000;

// Text sizes are given for a standard screen of 96 dots per inch; a
// picture of a finer resolution (a high-density screen) gets them larger.
double textScale(const QPainter& painter) {
    const QPaintDevice* device = painter.device();
    const int dpi = device ? device->logicalDpiY() : 96;
    return dpi > 96 ? dpi / 96.0 : 1.0;
}

QFont makeFont(const char* family, int pixels, bool bold, double scale) {
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels * scale))));
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// Text is placed as in a layout box whose top-left corner is the given
// point, with a sixth of the font size as padding on either side.
double padding(const QFont& font) { return font.pixelSize() / 6.0; }

double measureWidth(const QFont& font, const QString& text) {
    return QFontMetricsF(font).horizontalAdvance(text) + 2 * padding(font);
}

void drawTextAt(QPainter& painter, const QFont& font, QPointF topLeft, const QString& text) {
    painter.setFont(font);
    painter.drawText(QPointF(topLeft.x() + padding(font), topLeft.y() + QFontMetricsF(font).ascent()), text);
}

void drawTextCentred(QPainter& painter, const QFont& font, QPointF topCentre, const QString& text) {
    const double width = measureWidth(font, text);
    drawTextAt(painter, font, QPointF(topCentre.x() - width / 2, topCentre.y()), text);
}

// Lines of the axes. On a 32-bit picture they go through the series
// rasterizer, which draws the same pixels as QPainter's one-pixel pen but
// without handing every short span of a translucent line to worker threads.
// On a vector device they run through the pixel centres.
class LineCanvas {
public:
    LineCanvas(QPainter& painter, QImage* image, AxesSurface surface)
        : m_painter(painter), m_image(image), m_offset(surface == AxesSurface::Vector ? 0.5 : 0.0) {}
    void line(const QColor& color, QPointF a, QPointF b) {
        if (m_image) {
            const QPoint points[2] = {a.toPoint(), b.toPoint()};
            if (drawPolyline(*m_image, m_image->rect(), points, 2, color.rgb(), color.alpha())) return;
        }
        m_painter.setPen(QPen(color, 1.0));
        m_painter.drawLine(a + QPointF(m_offset, m_offset), b + QPointF(m_offset, m_offset));
    }
    void rect(const QColor& color, const QRect& r) {
        if (m_image) {
            // The outline through the corners, right and bottom edges on
            // x + width and y + height, as QPainter's drawRect draws it.
            const QPoint corners[5] = {r.topLeft(), QPoint(r.left() + r.width(), r.top()),
                                       QPoint(r.left() + r.width(), r.top() + r.height()),
                                       QPoint(r.left(), r.top() + r.height()), r.topLeft()};
            if (drawPolyline(*m_image, m_image->rect(), corners, 5, color.rgb(), color.alpha())) return;
        }
        m_painter.setPen(QPen(color, 1.0));
        m_painter.setBrush(Qt::NoBrush);
        if (m_offset != 0)
            m_painter.drawRect(QRectF(r.left() + m_offset, r.top() + m_offset, r.width(), r.height()));
        else
            m_painter.drawRect(r);
    }

private:
    QPainter& m_painter;
    QImage* m_image;
    double m_offset;
};

void drawFineGrid(LineCanvas& canvas, const IntRect& plot) {
    const int sx = std::max(plot.width() / 100, 2);
    for (int x = plot.left + sx; x <= plot.right; x += sx)
        canvas.line(kGridColor, QPointF(x, plot.top), QPointF(x, plot.bottom));
    const int sy = std::max(plot.height() / 100, 2);
    for (int y = plot.top + sy; y <= plot.bottom; y += sy)
        canvas.line(kGridColor, QPointF(plot.left, y), QPointF(plot.right, y));
}

// Whether the symbol font shows Greek letters for Latin ones (a as alpha),
// as the font the titles are written for does. When the family resolves to
// an ordinary font, the letters are turned into Unicode Greek instead.
bool symbolEncoded(const QFont& font) {
    const QFontInfo info(font);
    return info.family().contains(QStringLiteral("Symbol"), Qt::CaseInsensitive) &&
           QFontMetricsF(font).inFont(QChar(u'a')) && !QFontMetricsF(font).inFont(QChar(0x03B1));
}

}  // namespace

QString symbolText(const QString& text) {
    // Latin letters of the symbol encoding and the Greek letters they show.
    static const char16_t lower[27] = u"\u03B1\u03B2\u03C7\u03B4\u03B5\u03C6\u03B3\u03B7\u03B9\u03D5\u03BA\u03BB"
                                      u"\u03BC\u03BD\u03BF\u03C0\u03B8\u03C1\u03C3\u03C4\u03C5\u03D6\u03C9\u03BE"
                                      u"\u03C8\u03B6";
    static const char16_t upper[27] = u"\u0391\u0392\u03A7\u0394\u0395\u03A6\u0393\u0397\u0399\u03D1\u039A\u039B"
                                      u"\u039C\u039D\u039F\u03A0\u0398\u03A1\u03A3\u03A4\u03A5\u03C2\u03A9\u039E"
                                      u"\u03A8\u0396";
    QString out = text;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u >= u'a' && u <= u'z') c = QChar(lower[u - u'a']);
        else if (u >= u'A' && u <= u'Z') c = QChar(upper[u - u'A']);
    }
    return out;
}

void drawTitleBlock(QPainter& painter, const std::vector<TitleRun>& runs, int exponent, QPointF anchor,
                    double angle, AxesSurface surface) {
    const double scale = textScale(painter);
    const QFont arial10 = makeFont("Arial", 10, true, scale);
    const QFont arial12 = makeFont("Arial", 12, true, scale);
    const QFont arial14 = makeFont("Arial", 14, true, scale);
    // On a vector device the Greek letters are Unicode text in the text
    // font: a symbol font's own encoding would not survive into the file.
    const char* symbolFamily = surface == AxesSurface::Vector ? "Arial" : "Symbol";
    const QFont symbol14 = makeFont(symbolFamily, 14, true, scale);
    const QFont symbol9 = makeFont(symbolFamily, 9, true, scale);

    painter.save();
    // Turn the block about its anchor.
    painter.translate(anchor);
    painter.rotate(angle);
    painter.translate(-anchor);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setPen(Qt::black);

    const double x0 = anchor.x(), y0 = anchor.y();
    const double h = QFontMetricsF(arial10).height();  // the height of "G" in Arial bold 10
    const double ySup = y0 - 0.4 * h, ySub = y0 + 0.4 * h;

    double x = x0;
    double previousWidth = 0;
    bool previousRaised = false;
    for (const TitleRun& run : runs) {
        const bool raised = run.Position != TitlePosition::Baseline;
        double y = run.Position == TitlePosition::Baseline ? y0 : run.Position == TitlePosition::Superscript ? ySup
                                                                                                             : ySub;
        // A superscript after a subscript (or the reverse) stacks above it.
        if (raised && previousRaised) x -= previousWidth;
        const QFont* font;
        QString text = run.Text;
        if (run.FontKind == TitleFontKind::Text) {
            font = raised ? &arial12 : &arial14;
        } else {
            if (surface == AxesSurface::Vector || !symbolEncoded(symbol14)) text = symbolText(text);
            if (raised) {
                font = &symbol9;
            } else {
                font = &symbol14;
                y = y0 - h / 9;
            }
        }
        const double width = measureWidth(*font, text);
        drawTextAt(painter, *font, QPointF(x, y), text);
        x += width;
        previousWidth = width;
        previousRaised = raised;
    }
    if (std::abs(exponent) > 2) {
        // The axis values read as labels times ten to the power exponent.
        struct Piece {
            QString text;
            const QFont* font;
            double y;
        } pieces[] = {
            {QStringLiteral("  x"), &arial12, y0 + static_cast<double>(0.14285715f * static_cast<float>(h))},
            {QStringLiteral("10"), &arial14, y0},
            {QString::number(exponent), &arial12, ySup},
        };
        for (const Piece& p : pieces) {
            drawTextAt(painter, *p.font, QPointF(x, p.y), p.text);
            x += measureWidth(*p.font, p.text);
        }
    }
    painter.restore();
}

void drawAxes(QPainter& painter, QImage* image, const Geometry& g, const Box& box, const std::vector<TitleRun>& xRuns,
              const std::vector<TitleRun>& yRuns, AxesSurface surface) {
    const IntRect& plot = g.plot;
    LineCanvas canvas(painter, image, surface);
    const QFont labelFont = makeFont("Arial", 10, false, textScale(painter));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setBrush(Qt::NoBrush);

    // The frame.
    canvas.rect(kFrameColor, QRect(plot.left - 1, plot.top, plot.width(), plot.height()));
    const double fh = QFontMetricsF(labelFont).lineSpacing();

    const double rx = 1.2 * (box.XMax - box.XMin), ry = 1.2 * (box.YMax - box.YMin);
    // An empty (or unmeasurable) box gets the fine grid only.
    if (!(rx > 0) || !(ry > 0) || !std::isfinite(rx) || !std::isfinite(ry)) {
        drawFineGrid(canvas, plot);
        painter.restore();
        return;
    }

    const AxisLayout ya = axisLayout(Axis::Y, box.YMin, box.YMax);
    const AxisLayout xa = axisLayout(Axis::X, box.XMin, box.XMax);
    const double wy = measureWidth(labelFont, QString::fromStdString(tickLabel(ya, box.YMax)));
    auto devY = [&](double v) { return worldToDevice(g, box, box.XMin + 0.5 * (box.XMax - box.XMin), v).y; };
    auto devX = [&](double v) { return worldToDevice(g, box, v, box.YMin + 0.5 * (box.YMax - box.YMin)).x; };

    // Y ticks: a label at every step inside the box, minor lines between.
    painter.setPen(Qt::black);
    // The loops are bounded: a step too small to move the value ends them.
    int guard = 0;
    for (double r = ya.start; guard < kMaxTicks; ++guard) {
        if (r + ya.tickStep == r) break;
        r += ya.tickStep;
        if (r < box.YMin) continue;
        const int py = devY(r);
        if (r - ya.tickStep > box.YMax) break;
        if (plot.top < py && py < plot.bottom) canvas.line(kFrameColor, QPointF(plot.left - 4, py), QPointF(plot.right, py));
        if (r <= box.YMax) {
            painter.setPen(Qt::black);
            drawTextCentred(painter, labelFont, QPointF(plot.left - 1.2 * wy, py - 0.5 * fh),
                            QString::fromStdString(tickLabel(ya, r)));
        }
        for (int k = 1; k <= 5; ++k) {
            const double v = r - k * 0.2 * ya.tickStep;
            if (box.YMin <= v && v <= box.YMax)
                canvas.line(kGridColor, QPointF(plot.left - 2, devY(v)), QPointF(plot.right, devY(v)));
        }
    }

    // X ticks: each tick is drawn one step behind the loop value, so its
    // minor lines lie between it and the next tick.
    guard = 0;
    for (double r = xa.start; guard < kMaxTicks; ++guard) {
        if (r + xa.tickStep == r) break;
        const int px = devX(r);
        const QString label = QString::fromStdString(tickLabel(xa, r));
        r += xa.tickStep;
        if (r < box.XMin) continue;
        if (r - xa.tickStep > box.XMax) break;
        if (plot.left < px && px < plot.right)
            canvas.line(kFrameColor, QPointF(px, plot.bottom + 4), QPointF(px, plot.top));
        painter.setPen(Qt::black);
        drawTextAt(painter, labelFont, QPointF(px - 0.5 * fh, plot.bottom + 5), label);
        for (int k = 1; k <= 5; ++k) {
            const double v = r - k * 0.2 * xa.tickStep;
            if (box.XMin <= v && v <= box.XMax) {
                const int pv = worldToDevice(g, box, v, box.YMin).x;
                canvas.line(kGridColor, QPointF(pv, plot.bottom + 2), QPointF(pv, plot.top));
            }
        }
    }

    // Titles, each with its axis multiplier.
    const QPointF xAnchor(worldToDevice(g, box, box.XMin + 0.45454545454545453 * (box.XMax - box.XMin), box.YMin).x,
                          plot.bottom + (g.client.bottom - plot.bottom) / 2);
    drawTitleBlock(painter, xRuns, xa.tickExponent, xAnchor, 0, surface);
    const QPointF yAnchor(g.client.left + (plot.left - g.client.left) / 4,
                          worldToDevice(g, box, 0.5 * (box.XMin + box.XMax), 0.5 * (box.YMin + box.YMax)).y);
    drawTitleBlock(painter, yRuns, ya.tickExponent, yAnchor, -90, surface);
    painter.restore();
}

}  // namespace tarvik
