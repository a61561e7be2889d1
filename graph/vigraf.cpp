#include "graph/vigraf.h"

#include "graph/event_types.h"
#include "graph/pointer_cursor.h"
#include "graph/series.h"
#include "graph/series_holder.h"
#include "graph/super_series_holder.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWidget>

#include <cmath>
#include <new>

namespace tarvik {

namespace {


}  // namespace

// The control's child window: paints the graph and follows the host's size.
class CViGraf::Window final : public QWidget {
public:
    Window(CViGraf* owner, QWidget* parent) : QWidget(parent), m_owner(owner) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAutoFillBackground(false);
        setMouseTracking(true);  // every pointer move, pressed or not
        setFocusPolicy(Qt::ClickFocus);
        setCursor(pointerCursor());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        m_owner->paintWindow(painter, rect());
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        // The graph counts in device pixels: the pointer too.
        m_owner->pointerMoved((event->position() * m_owner->pixelRatio()).toPoint());
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) m_owner->leftButton(true);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) m_owner->leftButton(false);
    }

private:
    CViGraf* m_owner;
};

const qrt::DispatchTable& CViGraf::dispatchTable() {
    using I = IViGraf;
    static const qrt::DispatchTable table(u"IViGraf", IViGraf::IID, {
        qrt::putter<&I::put_BackColor>(u"BackColor", DISPID_BACKCOLOR, {u"clr"}),
        qrt::getter<&I::get_BackColor>(u"BackColor", DISPID_BACKCOLOR),
        qrt::putter<&I::put_BorderColor>(u"BorderColor", DISPID_BORDERCOLOR, {u"clr"}),
        qrt::getter<&I::get_BorderColor>(u"BorderColor", DISPID_BORDERCOLOR),
        qrt::putter<&I::put_BorderWidth>(u"BorderWidth", DISPID_BORDERWIDTH, {u"width"}),
        qrt::getter<&I::get_BorderWidth>(u"BorderWidth", DISPID_BORDERWIDTH),
        qrt::putter<&I::put_FillColor>(u"FillColor", DISPID_FILLCOLOR, {u"clr"}),
        qrt::getter<&I::get_FillColor>(u"FillColor", DISPID_FILLCOLOR),
        qrt::putter<&I::put_FillStyle>(u"FillStyle", DISPID_FILLSTYLE, {u"style"}),
        qrt::getter<&I::get_FillStyle>(u"FillStyle", DISPID_FILLSTYLE),
        qrt::putRefer<&I::putref_Font>(u"Font", DISPID_FONT, {u"pFont"}),
        qrt::putter<&I::put_Font>(u"Font", DISPID_FONT, {u"pFont"}),
        qrt::getter<&I::get_Font>(u"Font", DISPID_FONT),
        qrt::putter<&I::put_ForeColor>(u"ForeColor", DISPID_FORECOLOR, {u"clr"}),
        qrt::getter<&I::get_ForeColor>(u"ForeColor", DISPID_FORECOLOR),
        qrt::putter<&I::put_BorderVisible>(u"BorderVisible", DISPID_BORDERVISIBLE, {u"vbool"}),
        qrt::getter<&I::get_BorderVisible>(u"BorderVisible", DISPID_BORDERVISIBLE),
        qrt::member<&I::CreateSeries>(u"CreateSeries", 1),
        qrt::member<&I::AddPointToSeries>(u"AddPointToSeries", 2, {u"lnSer", u"dx", u"dy"}),
        qrt::member<&CViGraf::dispatchSetBox>(u"SetBox", 3, {u"pdBox"}),
        qrt::member<&I::RecalcSeries>(u"RecalcSeries", 4),
        qrt::getter<&I::get_CountSeries>(u"CountSeries", 5),
        qrt::member<&CViGraf::dispatchSetPoints>(u"SetPoints", 6, {u"nSer", u"cElem", u"pdX", u"pdY"}),
        qrt::member<&I::SetPointVar>(u"SetPointVar", 7, {u"nSer", u"varX", u"varY"}),
        qrt::member<&I::SetPropertySeries>(u"SetPropertySeries", 8, {u"lSer", u"alpha", u"color"}),
        qrt::member<&I::GetPropertySeries>(u"GetPropertySeries", 9, {u"lSer", u"alpha", u"color"}),
        qrt::getter<&I::get_X_axis>(u"X_axis", 10),
        qrt::putter<&I::put_X_axis>(u"X_axis", 10, {u"newVal"}),
        qrt::getter<&I::get_Y_axis>(u"Y_axis", 11),
        qrt::putter<&I::put_Y_axis>(u"Y_axis", 11, {u"newVal"}),
        qrt::member<&I::ReDrawGraph>(u"ReDrawGraph", 12),
        qrt::member<&I::RemoveData>(u"RemoveData", 13, {u"lSer"}),
        qrt::member<&I::RemoveSeries>(u"RemoveSeries", 14, {u"lSer"}),
        qrt::member<&I::SavePicture>(u"SavePicture", 15, {u"pIStream"}),
        qrt::member<&I::ZoomGraf>(u"ZoomGraf", 16, {u"pIStream", u"lfX", u"tpY", u"dx", u"dy"}),
        qrt::member<&I::SetImage>(u"SetImage", 17, {u"pIStream", u"left", u"top", u"W", u"H", u"ang"}),
        qrt::member<&I::Magnifier>(u"Magnifier", 18, {u"X", u"Y", u"W", u"H"}),
        qrt::member<&I::GetZoomImage>(u"GetZoomImage", 19, {u"pDisp"}),
        qrt::member<&I::SetZoomRect>(u"SetZoomRect", 20, {u"X", u"Y", u"W", u"H"}),
        qrt::getter<&I::get_AutoZoom>(u"AutoZoom", 21),
        qrt::putter<&I::put_AutoZoom>(u"AutoZoom", 21, {u"newVal"}),
        qrt::getter<&I::get_X>(u"X", 22),
        qrt::getter<&I::get_Y>(u"Y", 23),
        qrt::member<&I::RemoveAll>(u"RemoveAll", 24),
        qrt::member<&I::AddFrame>(u"AddFrame", 25, {u"bstrFile"}),
        qrt::member<&I::LoadStreamFromDocToFile>(u"LoadStreamFromDocToFile", 26, {u"bstrFile", u"bstrStream"}),
        qrt::member<&I::LoadStreamFromDoc>(u"LoadStreamFromDoc", 27, {u"bstrStream", u"varDisp"}),
        qrt::member<&I::GetBox>(u"GetBox", 28, {u"X", u"Y", u"W", u"H"}),
        qrt::member<&I::SetBox_1>(u"SetBox_1", 29, {u"X", u"Y", u"W", u"H"}),
        qrt::getter<&I::get_ViewAxis>(u"ViewAxis", 32),
        qrt::putter<&I::put_ViewAxis>(u"ViewAxis", 32, {u"newVal"}),
        qrt::getter<&I::get_BkgrColor>(u"BkgrColor", 33),
        qrt::putter<&I::put_BkgrColor>(u"BkgrColor", 33, {u"newVal"}),
        qrt::member<&I::FrameInFrameEx>(u"FrameInFrameEx", 34, {u"file", u"X", u"Y", u"alpha"}),
        qrt::member<&I::FrameInFrame>(u"FrameInFrame", 35, {u"file", u"X", u"Y", u"W", u"H"}),
        qrt::member<&I::DrawPoints>(u"DrawPoints", 30, {u"lSer", u"size"}),
    });
    return table;
}

HRESULT CViGraf::create(REFIID iid, void** out) { return qrt::createInstance<CViGraf>(iid, out); }


CViGraf::CViGraf() {
    // The holders live in this library: made directly, as the runtime would.
    m_holder = qrt::create<CSeriesHolder>();
    m_superHolder = qrt::ComPtr<IUnknown>(qrt::create<CSuperSeriesHolder>()->unknown());
    m_support.setChangeHandler([this] { repaint(); });
    // The frames' compound file: without a name the runtime makes a new,
    // exclusively created file in the temporary folder, so no file of anyone
    // else is opened, replaced or deleted, and controls running side by side
    // (in one process or several) keep their frames apart.
    m_storageStatus = StgCreateDocfile(nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE |
                                                    STGM_DELETEONRELEASE, 0, m_storage.out());
}

CViGraf::~CViGraf() {
    m_support.shutdown();
    m_events.clear();
    m_holder.reset();
    m_superHolder.reset();
    m_storage.reset();  // the last release deletes the frames' file
}

// Stock properties. Only BackColor changes the picture.
HRESULT CViGraf::put_BackColor(OLE_COLOR clr) { return m_support.setStock(DISPID_BACKCOLOR, m_backColor, clr); }
HRESULT CViGraf::get_BackColor(OLE_COLOR* pclr) { return qhost::readStock(m_backColor, pclr); }
HRESULT CViGraf::put_BorderColor(OLE_COLOR clr) { return m_support.setStock(DISPID_BORDERCOLOR, m_borderColor, clr); }
HRESULT CViGraf::get_BorderColor(OLE_COLOR* pclr) { return qhost::readStock(m_borderColor, pclr); }
HRESULT CViGraf::put_BorderWidth(LONG width) { return m_support.setStock(DISPID_BORDERWIDTH, m_borderWidth, width); }
HRESULT CViGraf::get_BorderWidth(LONG* width) { return qhost::readStock(m_borderWidth, width); }
HRESULT CViGraf::put_FillColor(OLE_COLOR clr) { return m_support.setStock(DISPID_FILLCOLOR, m_fillColor, clr); }
HRESULT CViGraf::get_FillColor(OLE_COLOR* pclr) { return qhost::readStock(m_fillColor, pclr); }
HRESULT CViGraf::put_FillStyle(LONG style) { return m_support.setStock(DISPID_FILLSTYLE, m_fillStyle, style); }
HRESULT CViGraf::get_FillStyle(LONG* pstyle) { return qhost::readStock(m_fillStyle, pstyle); }
HRESULT CViGraf::putref_Font(IDispatch* pFont) {
    if (pFont == static_cast<IViGraf*>(this)) return E_INVALIDARG;  // a control is not its own font
    return m_support.setStock(DISPID_FONT, m_font, qrt::ComPtr<IDispatch>(pFont));
}
HRESULT CViGraf::put_Font(IDispatch* pFont) { return putref_Font(pFont); }
HRESULT CViGraf::get_Font(IDispatch** ppFont) { return qhost::copyInterface(m_font.get(), ppFont); }
HRESULT CViGraf::put_ForeColor(OLE_COLOR clr) { return m_support.setStock(DISPID_FORECOLOR, m_foreColor, clr); }
HRESULT CViGraf::get_ForeColor(OLE_COLOR* pclr) { return qhost::readStock(m_foreColor, pclr); }
HRESULT CViGraf::put_BorderVisible(VARIANT_BOOL vbool) {
    return m_support.setStock(DISPID_BORDERVISIBLE, m_borderVisible, vbool);
}
HRESULT CViGraf::get_BorderVisible(VARIANT_BOOL* pbool) { return qhost::readStock(m_borderVisible, pbool); }

// The series model.
LONG CViGraf::seriesCount() const {
    LONG count = 0;
    if (m_holder) m_holder->get_Count(&count);
    return count;
}

ISeries* CViGraf::seriesAt(LONG index) const { return m_holder ? m_holder->at(index) : nullptr; }

HRESULT CViGraf::CreateSeries() {
    if (!m_holder) return S_FALSE;
    qrt::ComPtr<CSeries> series = qrt::create<CSeries>();
    if (!series) return E_OUTOFMEMORY;
    series->put_IsView(1);
    m_extent.follow(*series);
    // A new series has no points: the extent stays as it was.
    HRESULT hr = m_extent.addSeries(*m_holder, series.get());
    if (FAILED(hr)) return hr;
    return RecalcSeries();
}

HRESULT CViGraf::AddPointToSeries(LONG lnSer, double dx, double dy) {
    if (!m_holder) return S_FALSE;
    return m_extent.addPoint(*m_holder, lnSer, dx, dy);
}

HRESULT CViGraf::SetBox(double* pdBox) {
    if (!pdBox) {
        m_needsRescale = true;
        return E_POINTER;
    }
    return SetBox_1(pdBox[0], pdBox[1], pdBox[2], pdBox[3]);
}

HRESULT CViGraf::dispatchSetBox(double*) {
    qrt::setErrorInfo(u"ViGraf", u"SetBox takes four values in an array; scripts use SetBox_1(X, Y, W, H)");
    return E_INVALIDARG;
}

HRESULT CViGraf::dispatchSetPoints(LONG nSer, LONG cElem, double* pdX, double* pdY) {
    if (cElem > 1) {
        qrt::setErrorInfo(u"ViGraf", u"SetPoints takes arrays; scripts use SetPointVar(series, xs, ys)");
        return E_INVALIDARG;
    }
    return SetPoints(nSer, cElem, pdX, pdY);
}

HRESULT CViGraf::SetBox_1(double X, double Y, double W, double H) {
    m_needsRescale = true;
    if (!(W > 0 && H > 0)) return S_FALSE;
    // Only a box of finite corners can be drawn.
    if (!std::isfinite(X) || !std::isfinite(Y) || !std::isfinite(X + W) || !std::isfinite(Y + H)) return S_FALSE;
    m_box = Box{X, Y, X + W, Y + H};
    endUserView();
    return S_OK;
}

HRESULT CViGraf::GetBox(double* X, double* Y, double* W, double* H) {
    if (!X || !Y || !W || !H) return E_POINTER;
    *X = m_box.XMin;
    *Y = m_box.YMin;
    *W = m_box.XMax - m_box.XMin;
    *H = m_box.YMax - m_box.YMin;
    return S_OK;
}

HRESULT CViGraf::RecalcSeries() {
    m_needsRescale = true;
    // The union of the visible series' boxes; without any, the box stays.
    // The title runs are kept: a title set before the data stays visible.
    if (m_holder && m_extent.unionBox(*m_holder, m_box)) endUserView();
    return S_OK;
}

HRESULT CViGraf::get_CountSeries(LONG* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = seriesCount();
    return S_OK;
}

HRESULT CViGraf::SetPoints(LONG nSer, LONG cElem, double* pdX, double* pdY) {
    ISeries* series = seriesAt(nSer);
    if (!series) return S_OK;
    HRESULT hr = series->SetXY(cElem, pdX, pdY);
    if (FAILED(hr)) return hr;
    pointsReplaced(series);
    return S_OK;
}

void CViGraf::pointsReplaced(ISeries* series) {
    // New points make the series visible, refit the box and show.
    series->put_IsView(1);
    RecalcSeries();
    repaint();
}

HRESULT CViGraf::SetPointVar(LONG nSer, VARIANT varX, VARIANT varY) {
    ISeries* series = seriesAt(nSer);
    if (!series) return S_FALSE;
    // The series checks both arrays (same non-zero length, numbers only)
    // and converts them straight into its storage, or changes nothing.
    HRESULT hr = series->SetXYVar(varX, varY);
    if (hr != S_OK) return FAILED(hr) ? hr : S_FALSE;
    pointsReplaced(series);
    return S_OK;
}

HRESULT CViGraf::SetPropertySeries(LONG lSer, LONG alpha, OLE_COLOR color) {
    ISeries* series = seriesAt(lSer);
    if (!series) return S_FALSE;
    series->put_color(color);
    series->put_alpha(alpha);
    repaint();
    return S_OK;
}

HRESULT CViGraf::DrawPoints(LONG lSer, LONG size) {
    ISeries* series = seriesAt(lSer);
    if (!series) return S_FALSE;
    if (size > 0) {
        // A series of another library has no room for the size: it shows
        // markers of the default size.
        if (auto* own = dynamic_cast<CSeries*>(series)) own->setMarkerSize(size);
        series->put_IsPoint(1);
    } else {
        series->put_IsPoint(0);  // the size is kept for IsPoint to turn back on
    }
    repaint();
    return S_OK;
}

HRESULT CViGraf::GetPropertySeries(LONG lSer, LONG* alpha, OLE_COLOR* color) {
    if (!alpha || !color) return E_POINTER;
    ISeries* series = seriesAt(lSer);
    if (!series) return S_FALSE;
    series->get_color(color);
    series->get_alpha(alpha);
    return S_OK;
}

HRESULT CViGraf::ReDrawGraph() {
    RecalcSeries();
    repaint();
    return S_OK;
}

HRESULT CViGraf::RemoveData(LONG lSer) {
    if (seriesCount() != 0 && lSer >= 0) {
        if (ISeries* series = seriesAt(lSer)) {
            series->RemoveAll();
            m_needsRescale = true;
            repaint();
        }
    }
    return S_OK;
}

HRESULT CViGraf::RemoveSeries(LONG lSer) {
    if (m_holder) m_holder->Remove(lSer);
    m_needsRescale = true;
    repaint();
    return S_OK;
}

HRESULT CViGraf::RemoveAll() {
    if (m_holder) m_holder->RemoveAll();
    m_needsRescale = true;
    m_box = Box{};
    endUserView();
    m_viewAxis = 1;
    m_backColor = 0xFFFFFF;
    repaint();
    return S_OK;
}

// Titles.
HRESULT CViGraf::setTitle(BSTR text, std::optional<std::u16string>& title, std::vector<TitleRun>& runs) {
    try {
        title = std::u16string(qrt::bstrView(text));
        runs = parseTitle(*title);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    repaint();
    return S_OK;
}

namespace {
HRESULT copyTitle(const std::optional<std::u16string>& title, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!title) return S_OK;
    *out = qrt::allocBstr(std::u16string_view(*title));
    return *out ? S_OK : E_OUTOFMEMORY;
}
}  // namespace

HRESULT CViGraf::get_X_axis(BSTR* pVal) { return copyTitle(m_xTitle, pVal); }
HRESULT CViGraf::put_X_axis(BSTR newVal) { return setTitle(newVal, m_xTitle, m_xTitleRuns); }
HRESULT CViGraf::get_Y_axis(BSTR* pVal) { return copyTitle(m_yTitle, pVal); }
HRESULT CViGraf::put_Y_axis(BSTR newVal) { return setTitle(newVal, m_yTitle, m_yTitleRuns); }

// Display settings.
HRESULT CViGraf::get_ViewAxis(LONG* pVal) { return qhost::readStock(m_viewAxis, pVal); }
HRESULT CViGraf::put_ViewAxis(LONG newVal) {
    m_viewAxis = newVal != 0 ? 1 : 0;
    repaint();
    return S_OK;
}
HRESULT CViGraf::get_BkgrColor(OLE_COLOR* pVal) { return qhost::readStock(m_backColor, pVal); }
HRESULT CViGraf::put_BkgrColor(OLE_COLOR newVal) {
    COLORREF rgb = 0;
    HRESULT hr = OleTranslateColor(newVal, nullptr, &rgb);
    if (FAILED(hr)) return hr;  // not a colour: keep the old one
    m_backColor = rgb;
    repaint();
    return S_OK;
}

// Pointer and magnifier state.
HRESULT CViGraf::GetZoomImage(IDispatch*) { return S_FALSE; }
HRESULT CViGraf::get_AutoZoom(LONG* pVal) { return qhost::readStock(m_autoZoom, pVal); }
HRESULT CViGraf::put_AutoZoom(LONG newVal) {
    m_autoZoom = newVal != 0 ? 1 : 0;
    repaint();
    return S_OK;
}
HRESULT CViGraf::get_X(double* pVal) { return qhost::readStock(m_pointerX, pVal); }
HRESULT CViGraf::get_Y(double* pVal) { return qhost::readStock(m_pointerY, pVal); }
HRESULT CViGraf::FrameInFrame(BSTR, LONG, LONG, LONG, LONG) { return S_OK; }

// Class information and connection points.
HRESULT CViGraf::GetClassInfo(ITypeInfo** info) {
    return qrt::classTypeInfo(u"ViGraf", CLSID_ViGraf, dispatchTable().typeInfo(), viGrafEventsTypeInfo(), info);
}
HRESULT CViGraf::GetGUID(DWORD kind, GUID* guid) { return qhost::sourceInterface(kind, DIID__IViGrafEvents, guid); }
HRESULT CViGraf::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    return m_support.findConnectionPoint(iid, m_events, point);
}

// Hosting.
HRESULT CViGraf::SetSite(IUnknown* site) { return m_support.setSite(site); }
HRESULT CViGraf::CreateControlWindow(QWidget* parent, QWidget** window) {
    return m_support.createWindow(parent, window, [this](QWidget* p) { return new Window(this, p); });
}
HRESULT CViGraf::DestroyControlWindow() { return m_support.destroyWindow(); }
HRESULT CViGraf::SetObjectRect(LONG x, LONG y, LONG width, LONG height) {
    return m_support.setRect(x, y, width, height);
}
HRESULT CViGraf::Draw(QPainter* painter, LONG x, LONG y, LONG width, LONG height) {
    if (!painter) return E_POINTER;
    onDraw(*painter, QRect(x, y, width, height));
    return S_OK;
}

}  // namespace tarvik
