// The graph control's pictures: JPEG export, pictures shown from streams,
// frames in the control's compound file, the zoom pass and its overlay, the
// pointer, and persistence of the stock properties.
#include "graph/file_output.h"
#include "graph/large_memory.h"
#include "graph/picture_io.h"
#include "graph/vigraf.h"

#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace tarvik {

namespace {

// A stream object handed over in a parameter typed as IDispatch. It is asked
// for its stream interface, so an object that is no stream is turned away
// instead of being used as one.
qrt::ComPtr<IStream> asStream(IDispatch* object) {
    qrt::ComPtr<IStream> stream;
    if (object) object->QueryInterface(IStream::IID, stream.outVoid());
    return stream;
}

const OLECHAR* name(BSTR text) { return text ? text : u""; }

QString quoted(BSTR text) { return u'"' + QString::fromStdU16String(std::u16string(qrt::bstrView(text))) + u'"'; }

QString systemText(int err) { return QString::fromStdString(std::error_code(err, std::generic_category()).message()); }

// Why the frames' storage refused something, in the words of the system
// where there are such words.
QString storageReason(HRESULT hr) {
    switch (hr) {
    case STG_E_INVALIDNAME: return QStringLiteral("a frame name has 1 to 31 characters and none of / \\ : !");
    case STG_E_MEDIUMFULL: return systemText(ENOSPC);
    case STG_E_ACCESSDENIED: return systemText(EACCES);
    case STG_E_FILENOTFOUND: case STG_E_PATHNOTFOUND: return systemText(ENOENT);
    case STG_E_INSUFFICIENTMEMORY: case E_OUTOFMEMORY: return systemText(ENOMEM);
    case STG_E_TOOMANYOPENFILES: return systemText(EMFILE);
    case STG_E_WRITEFAULT: return systemText(EIO);
    default: break;
    }
    if (HRESULT_FACILITY(hr) == 7) return systemText(HRESULT_CODE(hr));
    const std::u16string text = qrt::statusText(hr);
    if (!text.empty()) return QString::fromStdU16String(text);
    return QStringLiteral("error 0x%1").arg(static_cast<quint32>(hr), 8, 16, QLatin1Char('0'));
}

// Returns hr after recording the description a script shows for it.
HRESULT fail(HRESULT hr, const QString& description) {
    qrt::setErrorInfo(u"ViGraf", description.toStdU16String());
    return hr;
}

// Pixel coordinates from scripts, kept where rectangle arithmetic cannot overflow.
constexpr std::int64_t kCoordinateLimit = 1 << 28;
LONG limited(std::int64_t v) { return static_cast<LONG>(std::clamp(v, -kCoordinateLimit, kCoordinateLimit)); }

}  // namespace

// What the window shows.
bool CViGraf::refreshScreen(QSize size) {
    if (!m_screenStale && m_screen.size() == size) return true;
    plotLayout(m_geometry, IntRect{0, 0, size.width(), size.height()});
    // The screen shares the graph picture's pixels until something is drawn
    // over it (then it takes its own copy); letting go of them first lets
    // the graph be drawn in place.
    m_screen = QImage();
    if (!m_graphImage.ensure(size.width(), size.height(), pixelRatio())) return false;
    renderGraph(m_graphImage.image());
    m_screen = m_graphImage.image();
    m_screenStale = false;
    return true;
}

double CViGraf::pixelRatio() const {
    const QWidget* window = m_support.window();
    return window ? std::max(1.0, window->devicePixelRatioF()) : 1.0;
}

QSize CViGraf::windowPixels() const {
    const QWidget* window = m_support.window();
    if (!window) return QSize();
    const double ratio = pixelRatio();
    return QSize(static_cast<int>(std::lround(window->width() * ratio)),
                 static_cast<int>(std::lround(window->height() * ratio)));
}

void CViGraf::paintWindow(QPainter& target, const QRect& bounds) {
    // On a high-density screen the graph is drawn at the screen's own
    // pixels and shown one to one, not drawn small and stretched.
    const double ratio = pixelRatio();
    const QSize pixels(static_cast<int>(std::lround(bounds.width() * ratio)),
                       static_cast<int>(std::lround(bounds.height() * ratio)));
    if (!refreshScreen(pixels)) return;
    if (pixels == bounds.size()) target.drawImage(bounds.topLeft(), m_screen);
    else target.drawImage(QRectF(bounds), m_screen, QRectF(m_screen.rect()));
}

void CViGraf::paintOverScreen(const QImage& picture, const QRect& rect, bool refresh) {
    QWidget* window = m_support.window();
    if (!window || picture.isNull()) return;
    const QSize pixels = windowPixels();
    if (refresh && (m_screenStale || m_screen.size() != pixels)) {
        // A change still waiting for its paint is drawn first, so the overlay
        // goes over the graph as it is now.
        const QImage kept = picture.copy();
        if (!refreshScreen(pixels)) return;
        paintPicture(kept, rect);
    } else {
        if (m_screen.size() != pixels) {
            // Nothing shown yet: start from the picture the window would show.
            m_screen = makeImage(pixels.width(), pixels.height(), QImage::Format_RGB32);
            m_screen.fill(Qt::white);
            if (m_graphImage.exists()) QPainter(&m_screen).drawImage(0, 0, m_graphImage.image());
        }
        paintPicture(picture, rect);
    }
    window->update();
}

void CViGraf::paintPicture(const QImage& picture, const QRect& rect) {
    {
        QPainter painter(&m_screen);
        // A stretched copy, mirrored when the rectangle has a negative size.
        const QRect normal = QRect(QPoint(std::min(rect.left(), rect.left() + rect.width()),
                                          std::min(rect.top(), rect.top() + rect.height())),
                                   QSize(std::abs(rect.width()), std::abs(rect.height())));
        QTransform flip;
        if (rect.width() < 0 || rect.height() < 0) {
            flip.translate(normal.center().x(), normal.center().y());
            flip.scale(rect.width() < 0 ? -1 : 1, rect.height() < 0 ? -1 : 1);
            flip.translate(-normal.center().x(), -normal.center().y());
            painter.setTransform(flip);
        }
        painter.drawImage(normal, picture);
    }
}

// Pictures.
HRESULT CViGraf::SavePicture(IDispatch* pIStream) {
    if (!m_graphImage.exists()) return S_OK;
    qrt::ComPtr<IStream> stream = asStream(pIStream);
    if (!stream) return fail(E_FAIL, QStringLiteral("SavePicture: the object given is no stream"));
    HRESULT written = S_OK;
    const HRESULT hr = saveImageAsJpeg(m_graphImage.image(), stream.get(), &written);
    if (FAILED(hr))
        return fail(hr, QStringLiteral("SavePicture: the picture could not be written: %1")
                            .arg(FAILED(written) ? storageReason(written) : QStringLiteral("JPEG encoding failed")));
    return hr;
}

QRect CViGraf::zoomRect() const {
    // Right and bottom lie one past the rectangle; a negative size mirrors it.
    return QRect(QPoint(m_zoomLeft, m_zoomTop), QSize(m_zoomRight - m_zoomLeft, m_zoomBottom - m_zoomTop));
}

HRESULT CViGraf::SetImage(IDispatch* pIStream, LONG left, LONG top, LONG W, LONG H, float) {
    left = limited(left);
    top = limited(top);
    W = limited(W);
    H = limited(H);
    qrt::ComPtr<IStream> stream = asStream(pIStream);
    if (stream) {
        QImage decoded;
        if (loadImageFromStream(decoded, stream.get()) == S_OK) m_graphImage.replace(std::move(decoded));
    }
    // Shown stretched into the rectangle (mirrored for a negative size).
    if (m_graphImage.exists() && W != 0 && H != 0)
        paintOverScreen(m_graphImage.image(), QRect(QPoint(left, top), QSize(W, H)), false);
    return S_OK;
}

// Frames. Whatever keeps a frame from being stored or written is reported
// with the frame's name or the file's path and the reason.
HRESULT CViGraf::AddFrame(BSTR bstrFile) {
    const QString what = QStringLiteral("AddFrame: cannot store the frame %1: ").arg(quoted(bstrFile));
    if (!m_storage)
        return fail(FAILED(m_storageStatus) ? m_storageStatus : E_FAIL,
                    what + QStringLiteral("the control's frame file could not be created (%1)")
                               .arg(storageReason(m_storageStatus)));
    {
        // An existing frame is never replaced: the first one stays. The look
        // also turns away names no frame can have, painted or not.
        qrt::ComPtr<IStream> existing;
        HRESULT hr = m_storage->OpenStream(name(bstrFile), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, existing.out());
        if (SUCCEEDED(hr)) return S_OK;
        if (hr != STG_E_FILENOTFOUND) return fail(hr, what + storageReason(hr));
    }
    if (!m_graphImage.exists()) return S_OK;  // nothing painted yet: nothing to keep
    qrt::ComPtr<IStream> stream;
    HRESULT hr = m_storage->CreateStream(name(bstrFile), STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.out());
    if (FAILED(hr)) return fail(hr, what + storageReason(hr));
    // The graph drawn afresh into the picture, with the layout of the last paint.
    renderGraph(m_graphImage.image());
    HRESULT written = S_OK;
    if (saveImageAsJpeg(m_graphImage.image(), stream.get(), &written) == S_OK) return S_OK;
    // No frame rather than part of one.
    stream.reset();
    m_storage->DestroyElement(name(bstrFile));
    if (FAILED(written)) return fail(written, what + storageReason(written));
    return fail(E_FAIL, what + QStringLiteral("the picture could not be encoded as a JPEG"));
}

HRESULT CViGraf::FrameInFrameEx(BSTR file, LONG, LONG, LONG) {
    if (m_storage) {
        qrt::ComPtr<IStream> stream;
        m_storage->OpenStream(name(file), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.out());
    }
    return S_OK;
}

HRESULT CViGraf::LoadStreamFromDocToFile(BSTR bstrFile, BSTR bstrStream) {
    // Without the frame file no frame was ever stored (AddFrame said so).
    if (!m_storage) return S_OK;
    const QString path = QString::fromStdU16String(std::u16string(qrt::bstrView(bstrFile)));
    const QString what =
        QStringLiteral("LoadStreamFromDocToFile: cannot write the frame %1 to \"%2\": ").arg(quoted(bstrStream), path);
    qrt::ComPtr<IStream> stream;
    HRESULT hr = m_storage->OpenStream(name(bstrStream), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.out());
    if (hr == STG_E_FILENOTFOUND) return S_OK;  // never stored: nothing to write
    if (FAILED(hr)) return fail(hr, what + storageReason(hr));
    if (!jpegEncoderInstalled())
        return fail(E_FAIL, what + QStringLiteral("no JPEG encoder is installed"));
    // Decoded and encoded again: the file is a fresh JPEG of the frame.
    QImage frame;
    if (loadImageFromStream(frame, stream.get()) != S_OK)
        return fail(STG_E_READFAULT, what + QStringLiteral("the stored frame cannot be read"));
    stream.reset();
    const QByteArray bytes = encodeJpeg(frame);
    if (bytes.isEmpty()) return fail(E_FAIL, what + QStringLiteral("the frame could not be encoded as a JPEG"));
    if (path.isEmpty()) return fail(HRESULT_FROM_ERRNO(ENOENT), what + QStringLiteral("no file name given"));
    const FileWriteResult result = writeFileWhole(path.toStdString(), bytes.constData(), bytes.size());
    if (!result) return fail(HRESULT_FROM_ERRNO(result.error), what + QString::fromStdString(result.reason));
    return S_OK;
}

HRESULT CViGraf::LoadStreamFromDoc(BSTR bstrStream, VARIANT) {
    if (m_storage) {
        qrt::ComPtr<IStream> stream;
        m_storage->OpenStream(name(bstrStream), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.out());
    }
    return S_OK;
}

// Zoom.
HRESULT CViGraf::zoomPass(IStream* stream, double lfX, double tpY, double dx, double dy) {
    const Box savedBox = m_box;
    const Geometry savedGeometry = m_geometry;
    const bool savedRescale = m_needsRescale;
    const bool savedUserView = m_userView;  // SetBox_1 below would end it
    const bool windowed = m_support.window() != nullptr;
    const QSize pixels = windowed ? windowPixels() : m_support.rect().size();
    const int wp = pixels.width(), hp = pixels.height();
    plotLayout(m_geometry, IntRect{0, 0, wp, hp});
    const bool haveImage = wp > 0 && hp > 0 && m_zoomImage.ensure(wp, hp, windowed ? pixelRatio() : 1.0);
    SetBox_1(lfX, tpY, dx, dy);
    if (haveImage) renderGraph(m_zoomImage.image(), false);
    m_box = savedBox;
    m_geometry = savedGeometry;
    m_needsRescale = savedRescale;
    m_userView = savedUserView;
    if (stream && haveImage) return saveImageAsJpeg(m_zoomImage.image(), stream);
    if (m_autoZoom && haveImage)
        paintOverScreen(m_zoomImage.image(), zoomRect());
    return S_OK;
}

HRESULT CViGraf::ZoomGraf(IDispatch* pIStream, double lfX, double tpY, double dx, double dy) {
    qrt::ComPtr<IStream> stream = asStream(pIStream);
    if (pIStream && !stream) return E_FAIL;
    return zoomPass(stream.get(), lfX, tpY, dx, dy);
}

HRESULT CViGraf::Magnifier(double X, double Y, double W, double H) {
    zoomPass(nullptr, X, Y, W, H);
    m_magnifierWidth = W;
    m_magnifierHeight = H;
    if (m_zoomImage.exists() && m_zoomRight - m_zoomLeft > 0 && m_zoomBottom - m_zoomTop > 0)
        paintOverScreen(m_zoomImage.image(), zoomRect());
    return S_OK;
}

HRESULT CViGraf::SetZoomRect(LONG X, LONG Y, LONG W, LONG H) {
    m_zoomLeft = limited(X);
    m_zoomTop = limited(Y);
    m_zoomRight = limited(std::int64_t{X} + W);
    m_zoomBottom = limited(std::int64_t{Y} + H);
    if (m_autoZoom) {
        QWidget* window = m_support.window();
        if (window && refreshScreen(windowPixels())) {
            // The graph picture over the whole window wipes the old overlay.
            QPainter(&m_screen).drawImage(QPoint(0, 0), m_graphImage.image());
            window->update();
        }
        if (m_zoomImage.exists()) paintOverScreen(m_zoomImage.image(), zoomRect());
    }
    return S_OK;
}

// The pointer.
void CViGraf::pointerMoved(QPoint client) {
    // An event sink may release the last reference to the control.
    const qrt::ComPtr<IViGraf> keep(this);
    if (QWidget* window = m_support.window()) window->setFocus(Qt::MouseFocusReason);
    double x = 0, y = 0;
    deviceToWorld(m_geometry, m_box, client.x(), client.y(), x, y);
    // The position is a single-precision result.
    x = static_cast<float>(x);
    y = static_cast<float>(y);
    fireEvent(DISPID_ChangePosition);  // sinks still read the previous position
    m_pointerX = x;
    m_pointerY = y;
    if (m_autoZoom) {
        const double w = m_magnifierWidth, h = m_magnifierHeight;
        Magnifier(x - w, y - h, 2.35 * w, 2.35 * h);
        m_magnifierWidth = w;
        m_magnifierHeight = h;
    }
}

void CViGraf::leftButton(bool pressed) {
    const qrt::ComPtr<IViGraf> keep(this);
    fireEvent(pressed ? DISPID_LeftClickIn : DISPID_LeftClickUp);
}

// Persistence: a version, then the eight stock properties as serialized variants.
namespace {
constexpr DWORD kPersistVersion = 0x0700;
constexpr DISPID kPersistedProperties[] = {DISPID_BACKCOLOR, DISPID_BORDERCOLOR, DISPID_BORDERVISIBLE,
                                           DISPID_BORDERWIDTH, DISPID_FILLCOLOR, DISPID_FILLSTYLE,
                                           DISPID_FONT, DISPID_FORECOLOR};
}  // namespace

HRESULT CViGraf::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_ViGraf;
    return S_OK;
}

HRESULT CViGraf::IsDirty() { return m_support.isDirty() ? S_OK : S_FALSE; }

HRESULT CViGraf::Save(IStream* stream, BOOL clearDirty) {
    if (!stream) return E_POINTER;
    HRESULT hr = qrt::writeExactly(stream, &kPersistVersion, sizeof kPersistVersion);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = qhost::saveProperties(static_cast<IViGraf*>(this), stream, kPersistedProperties))) return hr;
    if (clearDirty) m_support.setDirty(false);
    return S_OK;
}

HRESULT CViGraf::Load(IStream* stream) {
    if (!stream) return E_POINTER;
    DWORD version = 0;
    HRESULT hr = qrt::readExactly(stream, &version, sizeof version);
    if (FAILED(hr)) return hr;
    if (version > kPersistVersion) return E_FAIL;
    if (FAILED(hr = qhost::loadProperties(static_cast<IViGraf*>(this), stream, kPersistedProperties))) return hr;
    m_support.setDirty(false);
    return S_OK;
}

HRESULT CViGraf::GetSizeMax(ULARGE_INTEGER* size) {
    if (!size) return E_POINTER;
    size->QuadPart = 4096;
    return S_OK;
}

HRESULT CViGraf::InitNew() { return S_OK; }
HRESULT CViGraf::InitNew(IStorage*) { return S_OK; }

HRESULT CViGraf::Load(IStorage* storage) {
    return qhost::loadContents(storage, [this](IStream* contents) { return Load(contents); });
}

HRESULT CViGraf::Save(IStorage* storage, BOOL) {
    return qhost::saveContents(storage, [this](IStream* contents) { return Save(contents, 1); });
}

HRESULT CViGraf::SaveCompleted(IStorage*) { return S_OK; }
HRESULT CViGraf::HandsOffStorage() { return S_OK; }

}  // namespace tarvik
