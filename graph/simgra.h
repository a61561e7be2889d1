// SimGra: a minimal composite control with stock properties only. Active, it
// shows an empty page; drawn without its window, a grey rectangle with the
// caption "ATL Composite Control" in the middle.
#pragma once

#include "hosting/control_support.h"
#include "graph/tarvik.h"
#include "runtime/dispatch_table.h"
#include "runtime/object.h"
#include "runtime/typeinfo.h"

namespace tarvik {

class CSimGra final
    : public qrt::ComObject<qrt::DispatchImpl<CSimGra, ISimGra>, IProvideClassInfo2, IConnectionPointContainer,
                            IWidgetControl> {
public:
    static const qrt::DispatchTable& dispatchTable();
    static HRESULT create(REFIID iid, void** out);

    ~CSimGra() override;

    HRESULT put_BackColor(OLE_COLOR clr) override { return m_support.setStock(DISPID_BACKCOLOR, m_backColor, clr); }
    HRESULT get_BackColor(OLE_COLOR* pclr) override { return qhost::readStock(m_backColor, pclr); }
    HRESULT put_BackStyle(LONG style) override { return m_support.setStock(DISPID_BACKSTYLE, m_backStyle, style); }
    HRESULT get_BackStyle(LONG* pstyle) override { return qhost::readStock(m_backStyle, pstyle); }
    HRESULT put_BorderColor(OLE_COLOR clr) override {
        return m_support.setStock(DISPID_BORDERCOLOR, m_borderColor, clr);
    }
    HRESULT get_BorderColor(OLE_COLOR* pclr) override { return qhost::readStock(m_borderColor, pclr); }
    HRESULT put_BorderStyle(LONG style) override {
        return m_support.setStock(DISPID_BORDERSTYLE, m_borderStyle, style);
    }
    HRESULT get_BorderStyle(LONG* pstyle) override { return qhost::readStock(m_borderStyle, pstyle); }
    HRESULT put_DrawMode(LONG mode) override { return m_support.setStock(DISPID_DRAWMODE, m_drawMode, mode); }
    HRESULT get_DrawMode(LONG* pmode) override { return qhost::readStock(m_drawMode, pmode); }
    HRESULT put_DrawStyle(LONG style) override { return m_support.setStock(DISPID_DRAWSTYLE, m_drawStyle, style); }
    HRESULT get_DrawStyle(LONG* pstyle) override { return qhost::readStock(m_drawStyle, pstyle); }
    HRESULT put_FillColor(OLE_COLOR clr) override { return m_support.setStock(DISPID_FILLCOLOR, m_fillColor, clr); }
    HRESULT get_FillColor(OLE_COLOR* pclr) override { return qhost::readStock(m_fillColor, pclr); }
    HRESULT put_FillStyle(LONG style) override { return m_support.setStock(DISPID_FILLSTYLE, m_fillStyle, style); }
    HRESULT get_FillStyle(LONG* pstyle) override { return qhost::readStock(m_fillStyle, pstyle); }
    HRESULT put_MousePointer(LONG pointer) override {
        return m_support.setStock(DISPID_MOUSEPOINTER, m_mousePointer, pointer);
    }
    HRESULT get_MousePointer(LONG* ppointer) override { return qhost::readStock(m_mousePointer, ppointer); }
    HRESULT putref_Picture(IDispatch* pPicture) override {
        return m_support.setStock(DISPID_PICTURE, m_picture, qrt::ComPtr<IDispatch>(pPicture));
    }
    HRESULT put_Picture(IDispatch* pPicture) override { return putref_Picture(pPicture); }
    HRESULT get_Picture(IDispatch** ppPicture) override { return qhost::copyInterface(m_picture.get(), ppPicture); }

    HRESULT GetClassInfo(ITypeInfo** info) override;
    HRESULT GetGUID(DWORD kind, GUID* guid) override;
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    HRESULT SetSite(IUnknown* site) override { return m_support.setSite(site); }
    HRESULT CreateControlWindow(QWidget* parent, QWidget** window) override;
    HRESULT DestroyControlWindow() override { return m_support.destroyWindow(); }
    HRESULT SetObjectRect(LONG x, LONG y, LONG width, LONG height) override {
        return m_support.setRect(x, y, width, height);
    }
    // The inactive rendering.
    HRESULT Draw(QPainter* painter, LONG x, LONG y, LONG width, LONG height) override;

    bool isDirty() const { return m_support.isDirty(); }

private:
    qhost::ControlSupport m_support{this};
    qrt::ConnectionPoint m_events{this, DIID__ISimGraEvents};
    OLE_COLOR m_backColor = 0;
    LONG m_backStyle = 0;
    OLE_COLOR m_borderColor = 0;
    LONG m_borderStyle = 0;
    LONG m_drawMode = 0;
    LONG m_drawStyle = 0;
    OLE_COLOR m_fillColor = 0;
    LONG m_fillStyle = 0;
    LONG m_mousePointer = 0;
    qrt::ComPtr<IDispatch> m_picture;
};

}  // namespace tarvik
