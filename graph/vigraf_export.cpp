// The graph as a picture file for its users: the window's JPEG and the same
// picture without loss (PNG), and vector pictures (SVG, PDF) drawn with the
// picture's layout, every series one line in its colour and alpha, text as
// text. Files are written whole or not at all.
#include "graph/axes_painter.h"
#include "graph/file_output.h"
#include "graph/picture_io.h"
#include "graph/series.h"
#include "graph/series_drawing.h"
#include "graph/vector_line.h"
#include "graph/vigraf.h"
#include "runtime/control.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSvgGenerator>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <new>

namespace tarvik {

namespace {

constexpr LONG kMaxPictureSide = 16384;

HRESULT fail(HRESULT hr, const QString& description) {
    qrt::setErrorInfo(u"ViGraf", description.toStdU16String());
    return hr;
}

QString formatName(LONG format) {
    switch (format) {
    case GraphPictureJpeg: return QStringLiteral("JPEG");
    case GraphPicturePng: return QStringLiteral("PNG");
    case GraphPictureSvg: return QStringLiteral("SVG");
    case GraphPicturePdf: return QStringLiteral("PDF");
    default: return QStringLiteral("format %1").arg(format);
    }
}

// A colour value's bytes as red, green, blue (no translation), as the
// background is drawn.
QColor rawColor(OLE_COLOR c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

QColor translatedColor(OLE_COLOR c) {
    COLORREF rgb = 0;
    if (FAILED(OleTranslateColor(c, nullptr, &rgb))) rgb = c & 0xFFFFFF;
    return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

QByteArray encodePng(const QImage& picture, QString& reason) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(picture)) {
        reason = QStringLiteral("the picture could not be encoded as PNG (%1)").arg(writer.errorString());
        return {};
    }
    return bytes;
}

// Writes all of bytes into the stream, or says why not.
HRESULT writeStream(IStream* stream, const QByteArray& bytes, QString& reason) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ULONG want = static_cast<ULONG>(std::min<qsizetype>(left, 1 << 30));
        ULONG written = 0;
        const HRESULT hr = stream->Write(data, want, &written);
        if (FAILED(hr) || written == 0) {
            const HRESULT status = FAILED(hr) ? hr : STG_E_MEDIUMFULL;
            const std::u16string text = qrt::statusText(status);
            reason = QStringLiteral("the stream refused the picture (%1)")
                         .arg(text.empty() ? QStringLiteral("error 0x%1").arg(static_cast<quint32>(status), 8, 16,
                                                                                QLatin1Char('0'))
                                           : QString::fromStdU16String(text));
            return status;
        }
        data += written;
        left -= written;
    }
    return S_OK;
}

}  // namespace

HRESULT CViGraf::ExportPicture(BSTR path, LONG format, LONG width, LONG height) {
    const QString file = QString::fromStdU16String(std::u16string(qrt::bstrView(path)));
    const QString what = QStringLiteral("ExportPicture: cannot write the %1 picture \"%2\": ").arg(formatName(format), file);
    if (file.isEmpty()) return fail(E_INVALIDARG, what + QStringLiteral("no file name given"));
    try {
        QByteArray bytes;
        QString reason;
        const HRESULT hr = pictureBytes(format, width, height, bytes, reason);
        if (FAILED(hr)) return fail(hr, what + reason);
        const FileWriteResult result = writeFileWhole(file.toStdString(), bytes.constData(), bytes.size());
        if (!result) return fail(HRESULT_FROM_ERRNO(result.error), what + QString::fromStdString(result.reason));
        return S_OK;
    } catch (const std::bad_alloc&) {
        return fail(E_OUTOFMEMORY, what + QStringLiteral("not enough memory"));
    }
}

HRESULT CViGraf::WritePicture(IStream* stream, LONG format, LONG width, LONG height) {
    const QString what = QStringLiteral("WritePicture: cannot write the %1 picture: ").arg(formatName(format));
    if (!stream) return fail(E_POINTER, what + QStringLiteral("no stream given"));
    try {
        QByteArray bytes;
        QString reason;
        HRESULT hr = pictureBytes(format, width, height, bytes, reason);
        if (SUCCEEDED(hr)) hr = writeStream(stream, bytes, reason);
        return FAILED(hr) ? fail(hr, what + reason) : S_OK;
    } catch (const std::bad_alloc&) {
        return fail(E_OUTOFMEMORY, what + QStringLiteral("not enough memory"));
    }
}

HRESULT CViGraf::pictureBytes(LONG format, LONG width, LONG height, QByteArray& bytes, QString& reason) {
    if (format < GraphPictureJpeg || format > GraphPicturePdf) {
        reason = QStringLiteral("unknown picture format %1 (0 JPEG, 1 PNG, 2 SVG, 3 PDF)").arg(format);
        return E_INVALIDARG;
    }
    const bool ownSize = width == 0 && height == 0;
    if (!ownSize && (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide)) {
        reason = QStringLiteral("the size %1 x %2 is not between 1 x 1 and %3 x %3 pixels")
                     .arg(width)
                     .arg(height)
                     .arg(kMaxPictureSide);
        return E_INVALIDARG;
    }

    if (format == GraphPictureJpeg || format == GraphPicturePng) {
        QImage fresh;
        if (!ownSize && !renderRaster(width, height, fresh)) {
            reason = QStringLiteral("not enough memory for a picture of %1 x %2 pixels").arg(width).arg(height);
            return E_OUTOFMEMORY;
        }
        if (ownSize && !m_graphImage.exists()) {
            reason = QStringLiteral("the graph has not been drawn yet, and no size was given");
            return E_FAIL;
        }
        const QImage& picture = ownSize ? m_graphImage.image() : fresh;
        if (format == GraphPictureJpeg) {
            if (!jpegEncoderInstalled()) {
                reason = QStringLiteral("no JPEG encoder is installed");
                return E_FAIL;
            }
            bytes = encodeJpeg(picture);
            if (bytes.isEmpty()) reason = QStringLiteral("the picture could not be encoded as JPEG");
        } else {
            bytes = encodePng(picture, reason);
        }
        return bytes.isEmpty() ? E_FAIL : S_OK;
    }

    if (ownSize) {
        // The size of the last paint, in pixels of a standard screen: on a
        // high-density screen the picture has more pixels for the same graph.
        const IntRect& c = m_geometry.client;
        double ratio = 1.0;
        if (m_graphImage.exists())
            ratio = std::max(1.0, m_graphImage.image().dotsPerMeterX() / OffscreenImage::kStandardDotsPerMeter);
        width = static_cast<LONG>(std::lround(c.width() / ratio));
        height = static_cast<LONG>(std::lround(c.height() / ratio));
        if (width < 1 || height < 1) {
            width = m_support.rect().width();
            height = m_support.rect().height();
        }
        if (width < 1 || height < 1) {
            reason = QStringLiteral("the graph has not been drawn yet, and no size was given");
            return E_FAIL;
        }
    }

    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (format == GraphPictureSvg) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(QSize(width, height));
        svg.setViewBox(QRect(0, 0, width, height));
        svg.setResolution(96);
        svg.setTitle(QStringLiteral("Graph"));
        QPainter painter;
        if (!painter.begin(&svg)) {
            reason = QStringLiteral("the SVG writer could not start");
            return E_FAIL;
        }
        renderVector(painter, width, height);
        painter.end();
    } else {
        QPdfWriter pdf(&buffer);
        pdf.setResolution(96);
        // One page the size of the picture: a pixel is 3/4 of a point.
        pdf.setPageSize(QPageSize(QSizeF(width * 0.75, height * 0.75), QPageSize::Point, QString(),
                                  QPageSize::ExactMatch));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setTitle(QStringLiteral("Graph"));
        pdf.setCreator(QStringLiteral("Quillan"));
        QPainter painter;
        if (!painter.begin(&pdf)) {
            reason = QStringLiteral("the PDF writer could not start");
            return E_FAIL;
        }
        renderVector(painter, width, height);
        if (!painter.end()) {
            reason = QStringLiteral("the PDF writer failed");
            return E_FAIL;
        }
    }
    if (bytes.isEmpty()) {
        reason = QStringLiteral("the %1 writer produced nothing").arg(formatName(format));
        return E_FAIL;
    }
    return S_OK;
}

bool CViGraf::renderRaster(int width, int height, QImage& image) {
    OffscreenImage picture;
    if (!picture.ensure(width, height)) return false;
    const Geometry savedGeometry = m_geometry;
    const bool savedRescale = m_needsRescale;
    plotLayout(m_geometry, IntRect{0, 0, width, height});
    renderGraph(picture.image());
    m_geometry = savedGeometry;
    m_needsRescale = savedRescale;
    image = picture.image();
    return true;
}

void CViGraf::renderVector(QPainter& painter, int width, int height) {
    // The steps of the picture's pass, on the vector device; the window's
    // layout, box and scales are as they were afterwards.
    const Geometry savedGeometry = m_geometry;
    const Box savedBox = m_box;
    const bool savedRescale = m_needsRescale;
    plotLayout(m_geometry, IntRect{0, 0, width, height});
    m_box = shownBox();
    m_needsRescale = true;
    rescale(m_geometry, m_box, m_needsRescale);
    const IntRect& c = m_geometry.client;
    painter.fillRect(QRect(c.left, c.top, c.width(), c.height()), rawColor(m_backColor));
    const LONG count = seriesCount();
    for (LONG i = 0; i < count; ++i)
        if (ISeries* series = seriesAt(i)) drawOneSeriesVector(series, painter);
    if (m_viewAxis != 0)
        drawAxes(painter, nullptr, m_geometry, m_box, m_xTitleRuns, m_yTitleRuns, AxesSurface::Vector);
    m_box = savedBox;
    m_geometry = savedGeometry;
    m_needsRescale = savedRescale;
}

void CViGraf::drawOneSeriesVector(ISeries* series, QPainter& painter) {
    const int markerSize = markerSizeOf(series);
    LONG isLine = 1, alpha = 255;
    OLE_COLOR color = 0;
    series->get_IsLine(&isLine);
    series->get_color(&color);
    series->get_alpha(&alpha);
    QColor ink = translatedColor(color);
    ink.setAlpha(static_cast<int>(alpha & 0xFF));

    // The points as the picture takes them: the first MaxDrawPoints.
    auto forEachRun = [&](auto&& f) {
        if (auto* own = dynamic_cast<CSeries*>(series)) {
            const std::size_t n = std::min<std::size_t>(own->pointCount(), MaxDrawPoints);
            own->points().forEachRun(0, n, [&](const double* x, const double* y, std::size_t count, std::size_t) {
                f(x, y, count);
            });
            return;
        }
        m_drawX.resize(MaxDrawPoints);
        m_drawY.resize(MaxDrawPoints);
        LONG n = 0;
        if (FAILED(series->GetXY(&n, m_drawX.data(), m_drawY.data()))) return;
        f(m_drawX.data(), m_drawY.data(), static_cast<std::size_t>(std::clamp<LONG>(n, 0, MaxDrawPoints)));
    };
    const IntRect& plot = m_geometry.plot;
    const QRectF clip(plot.left, plot.top, plot.width(), plot.height());

    // Without markers the line is drawn whatever IsLine says, as on screen.
    if (isLine != 0 || markerSize == 0) {
        VectorLine line;
        line.reset(clip);
        forEachRun([&](const double* x, const double* y, std::size_t n) { line.addWorld(m_geometry, m_box, x, y, n); });
        line.finish();
        if (line.pieceCount() > 0) {
            QPen pen(ink, 1.0);
            pen.setCapStyle(Qt::FlatCap);
            pen.setJoinStyle(Qt::BevelJoin);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            const std::vector<QPointF>& points = line.points();
            if (line.pieceCount() == 1) {
                painter.drawPolyline(points.data(), static_cast<int>(points.size()));
            } else {
                // One path of several pieces: the series stays one element.
                QPainterPath path;
                const std::vector<int>& starts = line.starts();
                for (std::size_t piece = 0; piece < starts.size(); ++piece) {
                    const std::size_t end = piece + 1 < starts.size() ? starts[piece + 1] : points.size();
                    path.moveTo(points[starts[piece]]);
                    for (std::size_t i = starts[piece] + 1; i < end; ++i) path.lineTo(points[i]);
                }
                painter.drawPath(path);
            }
        }
    }

    if (markerSize > 0) {
        // The markers: squares of the marker size centred on the points,
        // cut at the plot area, one filled path for the series.
        QPainterPath squares;
        const double side = markerSize, half = side / 2;
        const double right = plot.right, top = plot.top;
        QPointF previous(NAN, NAN);
        forEachRun([&](const double* x, const double* y, std::size_t n) {
            for (std::size_t i = 0; i < n; ++i) {
                if (!std::isfinite(x[i]) || !std::isfinite(y[i])) continue;
                const QPointF p(std::round((right - (m_box.XMax - x[i]) * m_geometry.scaleX) * 10) / 10,
                                std::round((top + (m_box.YMax - y[i]) * m_geometry.scaleY) * 10) / 10);
                if (p == previous) continue;
                previous = p;
                const QRectF square = QRectF(p.x() - half, p.y() - half, side, side).intersected(clip);
                if (!square.isEmpty()) squares.addRect(square);
            }
        });
        if (!squares.isEmpty()) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(ink);
            painter.drawPath(squares);
        }
    }
}

}  // namespace tarvik
