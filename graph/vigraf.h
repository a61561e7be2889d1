// ViGraf: the graph control. It keeps the series (in a SeriesHolder), the
// world box, the axis titles and the display settings, and shows them in its
// window.
#pragma once

#include "hosting/control_support.h"
#include "graph/graph_export.h"
#include "graph/graph_view.h"
#include "graph/offscreen_image.h"
#include "graph/plot_geometry.h"
#include "graph/point_index.h"
#include "graph/series_extent.h"
#include "graph/tarvik.h"
#include "graph/title_runs.h"
#include "runtime/dispatch_table.h"
#include "runtime/object.h"
#include "runtime/persist.h"
#include "runtime/typeinfo.h"

#include <QByteArray>
#include <QPoint>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QPainter;

namespace tarvik {

class CSeriesHolder;

class CViGraf final
    : public qrt::ComObject<qrt::DispatchImpl<CViGraf, IViGraf>, IProvideClassInfo2, IConnectionPointContainer,
                            IWidgetControl, IPersistStreamInit, IPersistStorage, IGraphExport,
                            IGraphView> {
public:
    static const qrt::DispatchTable& dispatchTable();
    static HRESULT create(REFIID iid, void** out);

    CViGraf();
    ~CViGraf() override;

    // IViGraf: stock properties.
    HRESULT put_BackColor(OLE_COLOR clr) override;
    HRESULT get_BackColor(OLE_COLOR* pclr) override;
    HRESULT put_BorderColor(OLE_COLOR clr) override;
    HRESULT get_BorderColor(OLE_COLOR* pclr) override;
    HRESULT put_BorderWidth(LONG width) override;
    HRESULT get_BorderWidth(LONG* width) override;
    HRESULT put_FillColor(OLE_COLOR clr) override;
    HRESULT get_FillColor(OLE_COLOR* pclr) override;
    HRESULT put_FillStyle(LONG style) override;
    HRESULT get_FillStyle(LONG* pstyle) override;
    HRESULT putref_Font(IDispatch* pFont) override;
    HRESULT put_Font(IDispatch* pFont) override;
    HRESULT get_Font(IDispatch** ppFont) override;
    HRESULT put_ForeColor(OLE_COLOR clr) override;
    HRESULT get_ForeColor(OLE_COLOR* pclr) override;
    HRESULT put_BorderVisible(VARIANT_BOOL vbool) override;
    HRESULT get_BorderVisible(VARIANT_BOOL* pbool) override;

    // IViGraf: series, box, titles and settings.
    HRESULT CreateSeries() override;
    HRESULT AddPointToSeries(LONG lnSer, double dx, double dy) override;
    HRESULT SetBox(double* pdBox) override;
    HRESULT RecalcSeries() override;
    HRESULT get_CountSeries(LONG* pVal) override;
    HRESULT SetPoints(LONG nSer, LONG cElem, double* pdX, double* pdY) override;
    HRESULT SetPointVar(LONG nSer, VARIANT varX, VARIANT varY) override;
    HRESULT SetPropertySeries(LONG lSer, LONG alpha, OLE_COLOR color) override;
    HRESULT GetPropertySeries(LONG lSer, LONG* alpha, OLE_COLOR* color) override;
    HRESULT get_X_axis(BSTR* pVal) override;
    HRESULT put_X_axis(BSTR newVal) override;
    HRESULT get_Y_axis(BSTR* pVal) override;
    HRESULT put_Y_axis(BSTR newVal) override;
    HRESULT ReDrawGraph() override;
    HRESULT RemoveData(LONG lSer) override;
    HRESULT RemoveSeries(LONG lSer) override;
    HRESULT SavePicture(IDispatch* pIStream) override;
    HRESULT ZoomGraf(IDispatch* pIStream, double lfX, double tpY, double dx, double dy) override;
    HRESULT SetImage(IDispatch* pIStream, LONG left, LONG top, LONG W, LONG H, float ang) override;
    HRESULT Magnifier(double X, double Y, double W, double H) override;
    HRESULT GetZoomImage(IDispatch* pDisp) override;
    HRESULT SetZoomRect(LONG X, LONG Y, LONG W, LONG H) override;
    HRESULT get_AutoZoom(LONG* pVal) override;
    HRESULT put_AutoZoom(LONG newVal) override;
    HRESULT get_X(double* pVal) override;
    HRESULT get_Y(double* pVal) override;
    HRESULT RemoveAll() override;
    HRESULT AddFrame(BSTR bstrFile) override;
    HRESULT LoadStreamFromDocToFile(BSTR bstrFile, BSTR bstrStream) override;
    HRESULT LoadStreamFromDoc(BSTR bstrStream, VARIANT varDisp) override;
    HRESULT GetBox(double* X, double* Y, double* W, double* H) override;
    HRESULT SetBox_1(double X, double Y, double W, double H) override;
    HRESULT get_ViewAxis(LONG* pVal) override;
    HRESULT put_ViewAxis(LONG newVal) override;
    HRESULT get_BkgrColor(OLE_COLOR* pVal) override;
    HRESULT put_BkgrColor(OLE_COLOR newVal) override;
    HRESULT FrameInFrameEx(BSTR file, LONG X, LONG Y, LONG alpha) override;
    HRESULT FrameInFrame(BSTR file, LONG X, LONG Y, LONG W, LONG H) override;
    HRESULT DrawPoints(LONG lSer, LONG size) override;

    // IProvideClassInfo2
    HRESULT GetClassInfo(ITypeInfo** info) override;
    HRESULT GetGUID(DWORD kind, GUID* guid) override;

    // IConnectionPointContainer: property notifications and _IViGrafEvents.
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // IWidgetControl
    HRESULT SetSite(IUnknown* site) override;
    HRESULT CreateControlWindow(QWidget* parent, QWidget** window) override;
    HRESULT DestroyControlWindow() override;
    HRESULT SetObjectRect(LONG x, LONG y, LONG width, LONG height) override;
    HRESULT Draw(QPainter* painter, LONG x, LONG y, LONG width, LONG height) override;

    // IPersistStreamInit and IPersistStorage: the eight stock properties.
    HRESULT GetClassID(CLSID* clsid) override;
    HRESULT IsDirty() override;
    HRESULT Load(IStream* stream) override;
    HRESULT Save(IStream* stream, BOOL clearDirty) override;
    HRESULT GetSizeMax(ULARGE_INTEGER* size) override;
    HRESULT InitNew() override;
    HRESULT InitNew(IStorage* storage) override;
    HRESULT Load(IStorage* storage) override;
    HRESULT Save(IStorage* storage, BOOL sameAsLoad) override;
    HRESULT SaveCompleted(IStorage* storage) override;
    HRESULT HandsOffStorage() override;

    // IGraphExport: the graph as a JPEG, PNG, SVG or PDF file or stream.
    HRESULT ExportPicture(BSTR path, LONG format, LONG width, LONG height) override;
    HRESULT WritePicture(IStream* stream, LONG format, LONG width, LONG height) override;

    // IGraphView: the user's zoom and pan, and the point nearest the pointer.
    HRESULT PointAt(double px, double py, double* x, double* y) override;
    HRESULT ZoomAt(double px, double py, double factor) override;
    HRESULT PanBy(double dx, double dy) override;
    HRESULT ResetView() override;
    HRESULT NearestPoint(double px, double py, LONG* series, LONG* index, double* x, double* y) override;
    bool userView() const { return m_userView; }

    // Pointer input from the control's window.
    void pointerMoved(QPoint client);
    void leftButton(bool pressed);

    // The model, for drawing.
    const Box& box() const { return m_box; }
    bool needsRescale() const { return m_needsRescale; }
    void setNeedsRescale(bool value) { m_needsRescale = value; }
    const std::vector<TitleRun>& xTitleRuns() const { return m_xTitleRuns; }
    const std::vector<TitleRun>& yTitleRuns() const { return m_yTitleRuns; }
    LONG viewAxis() const { return m_viewAxis; }
    OLE_COLOR backgroundColor() const { return m_backColor; }
    LONG seriesCount() const;
    // The series at index, or nullptr (no reference added).
    ISeries* seriesAt(LONG index) const;
    // The paint request: lays the graph out for bounds, draws it into the
    // off-screen picture and copies that to the target at the bounds' corner.
    void onDraw(QPainter& target, const QRect& bounds);
    // The window's paint: the graph when it changed (or the size did), else
    // what the screen showed last, overlays included.
    void paintWindow(QPainter& target, const QRect& bounds);
    // Device pixels per pixel of the window (above 1 on a high-density
    // screen), and the window's size in device pixels: the graph's own unit.
    double pixelRatio() const;
    QSize windowPixels() const;
    bool hasStorage() const { return static_cast<bool>(m_storage); }
    const Geometry& geometry() const { return m_geometry; }
    const OffscreenImage& graphImage() const { return m_graphImage; }

private:
    // The window that shows the graph.
    class Window;

    // The dispatch forms of SetBox and SetPoints: through IDispatch a pointer
    // parameter refers to one by-reference value, never to an array, so
    // these refuse what would read past it. The table calls them on the
    // IViGraf pointer, which is where the object starts (IViGraf is the
    // first base).
    HRESULT dispatchSetBox(double* pdBox);
    HRESULT dispatchSetPoints(LONG nSer, LONG cElem, double* pdX, double* pdY);

    // The drawing pass over the picture; widen is false for the zoom pass,
    // which draws exactly the box it is given.
    void renderGraph(QImage& image, bool widen = true);
    // Draws picture stretched into rect on what the window shows; with
    // refresh, a graph change still waiting for its paint is drawn first.
    void paintOverScreen(const QImage& picture, const QRect& rect, bool refresh = true);
    void paintPicture(const QImage& picture, const QRect& rect);
    // Brings what the window shows up to date for its size; false when no
    // picture can be made.
    bool refreshScreen(QSize size);
    QRect zoomRect() const;
    HRESULT zoomPass(IStream* stream, double lfX, double tpY, double dx, double dy);
    void fireEvent(DISPID id) { m_events.fireDispatch(id, {}); }
    void fillBackground(QImage& image);
    void drawSeries(QImage& image);
    void drawOneSeries(ISeries* series, QImage& image);
    // Draws the line of a series without markers or gaps, points [first,
    // end), converting them on the way; false when it must be drawn otherwise.
    bool drawLineOnTheWay(CSeries* series, QImage& image, const QRect& clip, std::size_t first, std::size_t end,
                          int ends);
    // Narrows [first, end) of a series sorted by x to the points that can
    // draw into a picture width pixels wide; the PolylineEnds of the run.
    int visibleRun(const PointBlocks& points, int width, std::size_t& first, std::size_t& end) const;

    // Export: the picture's bytes in a format, or a failure with the reason.
    HRESULT pictureBytes(LONG format, LONG width, LONG height, QByteArray& bytes, QString& reason);
    // The graph drawn afresh at width x height pixels into image, as the
    // window's paint lays it out; the window's own layout is kept.
    bool renderRaster(int width, int height, QImage& image);
    // The graph drawn on a vector device of width x height pixels: the same
    // layout as the picture, series in floating point, text as text.
    void renderVector(QPainter& painter, int width, int height);
    void drawOneSeriesVector(ISeries* series, QPainter& painter);

    // The mapping between window positions and the world as the window
    // shows it now: the plot area and the box it shows, with the scales of
    // the drawing pass. valid is false while that box cannot be drawn.
    struct ViewMapping {
        IntRect plot;
        Box shown;
        double scaleX = 0, scaleY = 0;
        double ratio = 1;  // device pixels per window pixel
        bool valid = false;
        void toWorld(double px, double py, double& x, double& y) const;
    };
    ViewMapping viewMapping() const;
    // The box as the drawing pass shows it: widened, or exact in a user's view.
    Box shownBox() const;
    // Shows next as the user's view; the box it replaces is kept for ResetView.
    void showUserView(const Box& next);
    // The script set the box: the user's view ends.
    void endUserView() { m_userView = false; }
    // Brings the index of the drawn points up to date with the series.
    void ensurePointIndex();

    // The repaint the control asks for after a visible change.
    void repaint() {
        m_screenStale = true;
        m_support.repaint();
    }
    void pointsReplaced(ISeries* series);
    HRESULT setTitle(BSTR text, std::optional<std::u16string>& title, std::vector<TitleRun>& runs);

    qhost::ControlSupport m_support{this};
    qrt::ConnectionPoint m_events{this, DIID__IViGrafEvents};

    // Stock properties; BackColor and BkgrColor share one colour.
    OLE_COLOR m_backColor = 0xFFFFFF;
    OLE_COLOR m_borderColor = 0;
    LONG m_borderWidth = 0;
    OLE_COLOR m_fillColor = 0;
    LONG m_fillStyle = 0;
    qrt::ComPtr<IDispatch> m_font;
    OLE_COLOR m_foreColor = 0;
    VARIANT_BOOL m_borderVisible = VARIANT_FALSE;

    qrt::ComPtr<CSeriesHolder> m_holder;
    qrt::ComPtr<IUnknown> m_superHolder;
    SeriesExtent m_extent;  // what RecalcSeries sets the box to
    Box m_box;
    bool m_needsRescale = false;
    std::optional<std::u16string> m_xTitle, m_yTitle;  // null until set
    std::vector<TitleRun> m_xTitleRuns, m_yTitleRuns;
    LONG m_viewAxis = 1;

    // Drawing: the layout of the last pass, the picture, and scratch arrays
    // for one series' points, allocated once.
    Geometry m_geometry;
    OffscreenImage m_graphImage;
    // Room for a series' points while it is drawn, grown on first use (the
    // copies in m_drawX/m_drawY only for series of other libraries).
    std::vector<double> m_drawX;
    std::vector<double> m_drawY;
    std::vector<QPoint> m_drawPoints;

    // The user's view (IGraphView): while it is shown the box is drawn
    // exactly; m_viewStart is the box it started from.
    bool m_userView = false;
    Box m_viewStart;
    // The drawn points, indexed for the nearest-point search; rebuilt when
    // the holder or a series has changed since (the counts below), or on
    // every search while a series of another library, which does not count
    // its changes, is in the graph.
    PointIndex m_pointIndex;
    bool m_pointIndexKnown = false;
    std::uint64_t m_indexHolderChanges = 0, m_indexSeriesChanges = 0;

    // Pointer and magnifier state, driven by the zoom members.
    double m_pointerX = 0, m_pointerY = 0;
    LONG m_zoomLeft = 100, m_zoomTop = 100, m_zoomRight = 200, m_zoomBottom = 200;
    LONG m_autoZoom = 0;
    double m_magnifierWidth = 0, m_magnifierHeight = 0;
    OffscreenImage m_zoomImage;

    // What the window shows: the last graph picture with any overlays painted
    // over it since. A model change marks it stale; the next paint redraws.
    QImage m_screen;
    bool m_screenStale = true;

    // The frames: a compound file of the control's own, created fresh in
    // the temporary folder and deleted when released. Without it, the
    // status its creation failed with.
    qrt::ComPtr<IStorage> m_storage;
    HRESULT m_storageStatus = S_OK;
};

}  // namespace tarvik
