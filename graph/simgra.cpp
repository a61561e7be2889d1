#include "graph/simgra.h"

#include "graph/event_types.h"

#include <QPainter>
#include <QWidget>

namespace tarvik {

namespace {

// The empty page shown while the control is active: a plain dialog surface
// of 186 x 95 dialog units in the 8-point dialog font.
QWidget* makePage(QWidget* parent) {
    auto* page = new QWidget(parent);
    page->setAutoFillBackground(true);
    page->setFont(QFont("MS Sans Serif", 8));
    // Dialog units of an 8-point font: about 1.5 x 1.625 pixels each.
    page->resize(186 * 3 / 2, 95 * 13 / 8);
    return page;
}

}  // namespace

const qrt::DispatchTable& CSimGra::dispatchTable() {
    using I = ISimGra;
    static const qrt::DispatchTable table(u"ISimGra", ISimGra::IID, {
        qrt::putter<&I::put_BackColor>(u"BackColor", DISPID_BACKCOLOR, {u"clr"}),
        qrt::getter<&I::get_BackColor>(u"BackColor", DISPID_BACKCOLOR),
        qrt::putter<&I::put_BackStyle>(u"BackStyle", DISPID_BACKSTYLE, {u"style"}),
        qrt::getter<&I::get_BackStyle>(u"BackStyle", DISPID_BACKSTYLE),
        qrt::putter<&I::put_BorderColor>(u"BorderColor", DISPID_BORDERCOLOR, {u"clr"}),
        qrt::getter<&I::get_BorderColor>(u"BorderColor", DISPID_BORDERCOLOR),
        qrt::putter<&I::put_BorderStyle>(u"BorderStyle", DISPID_BORDERSTYLE, {u"style"}),
        qrt::getter<&I::get_BorderStyle>(u"BorderStyle", DISPID_BORDERSTYLE),
        qrt::putter<&I::put_DrawMode>(u"DrawMode", DISPID_DRAWMODE, {u"mode"}),
        qrt::getter<&I::get_DrawMode>(u"DrawMode", DISPID_DRAWMODE),
        qrt::putter<&I::put_DrawStyle>(u"DrawStyle", DISPID_DRAWSTYLE, {u"style"}),
        qrt::getter<&I::get_DrawStyle>(u"DrawStyle", DISPID_DRAWSTYLE),
        qrt::putter<&I::put_FillColor>(u"FillColor", DISPID_FILLCOLOR, {u"clr"}),
        qrt::getter<&I::get_FillColor>(u"FillColor", DISPID_FILLCOLOR),
        qrt::putter<&I::put_FillStyle>(u"FillStyle", DISPID_FILLSTYLE, {u"style"}),
        qrt::getter<&I::get_FillStyle>(u"FillStyle", DISPID_FILLSTYLE),
        qrt::putter<&I::put_MousePointer>(u"MousePointer", DISPID_MOUSEPOINTER, {u"pointer"}),
        qrt::getter<&I::get_MousePointer>(u"MousePointer", DISPID_MOUSEPOINTER),
        qrt::putRefer<&I::putref_Picture>(u"Picture", DISPID_PICTURE, {u"pPicture"}),
        qrt::putter<&I::put_Picture>(u"Picture", DISPID_PICTURE, {u"pPicture"}),
        qrt::getter<&I::get_Picture>(u"Picture", DISPID_PICTURE),
    });
    return table;
}

HRESULT CSimGra::create(REFIID iid, void** out) { return qrt::createInstance<CSimGra>(iid, out); }

CSimGra::~CSimGra() {
    m_support.shutdown();
    m_events.clear();
}

HRESULT CSimGra::GetClassInfo(ITypeInfo** info) {
    return qrt::classTypeInfo(u"SimGra", CLSID_SimGra, dispatchTable().typeInfo(), simGraEventsTypeInfo(), info);
}

HRESULT CSimGra::GetGUID(DWORD kind, GUID* guid) { return qhost::sourceInterface(kind, DIID__ISimGraEvents, guid); }

HRESULT CSimGra::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    return m_support.findConnectionPoint(iid, m_events, point);
}

HRESULT CSimGra::CreateControlWindow(QWidget* parent, QWidget** window) {
    return m_support.createWindow(parent, window, &makePage);
}

HRESULT CSimGra::Draw(QPainter* painter, LONG x, LONG y, LONG width, LONG height) {
    if (!painter) return E_POINTER;
    const QRect bounds(x, y, width, height);
    painter->save();
    painter->setPen(QPen(Qt::black));
    painter->setBrush(QColor(128, 128, 128));
    // The rectangle covers the bounds, its right and bottom edges inside them.
    painter->drawRect(bounds.adjusted(0, 0, -1, -1));
    painter->setPen(Qt::black);
    painter->setBackgroundMode(Qt::TransparentMode);
    painter->drawText(bounds, Qt::AlignCenter | Qt::TextSingleLine, QStringLiteral("ATL Composite Control"));
    painter->restore();
    return S_OK;
}

}  // namespace tarvik
