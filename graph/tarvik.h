// The interfaces and identifiers of the graph library, for its clients.
#pragma once

#include "runtime/dispatch.h"

constexpr GUID LIBID_Tarvik = qrt::makeGuid("{D80384C4-A851-4EC3-80A2-ABD663530356}");
constexpr CLSID CLSID_ViGraf = qrt::makeGuid("{41B3592F-B558-4E18-8DB4-39406AC51419}");
constexpr CLSID CLSID_SimGra = qrt::makeGuid("{D31651DD-A353-44EA-8CCB-6AE3ECA97B50}");
constexpr CLSID CLSID_Series = qrt::makeGuid("{B97B2FDC-09CC-477F-91B4-4443EBA4512A}");
constexpr CLSID CLSID_SeriesHolder = qrt::makeGuid("{A91C20D6-9C76-4175-9F45-43E13F03C2FE}");
constexpr CLSID CLSID_SuperSeriesHolder = qrt::makeGuid("{D013BE99-8A77-45E5-8A3E-02479FD74819}");
constexpr IID DIID__IViGrafEvents = qrt::makeGuid("{C6E359F4-67F2-4F45-9235-106B846161B5}");
constexpr IID DIID__ISimGraEvents = qrt::makeGuid("{49DCBEF9-1B86-4A5F-9B22-28334C2C77E2}");

// The most points of one series handed out for drawing and drawn.
constexpr LONG MaxDrawPoints = 60000;

// One data series: points and display attributes. Flags read back as 0 or 1.
struct ISeries : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{39A23C57-2469-4D63-8D17-8E5C508230B8}");
    using Base = IDispatch;
    virtual HRESULT get_IsLine(LONG* pVal) = 0;           // 1
    virtual HRESULT put_IsLine(LONG newVal) = 0;
    virtual HRESULT get_IsPoint(LONG* pVal) = 0;          // 2
    virtual HRESULT put_IsPoint(LONG newVal) = 0;
    virtual HRESULT get_IsBar(LONG* pVal) = 0;            // 3
    virtual HRESULT put_IsBar(LONG newVal) = 0;
    virtual HRESULT get_IsFill(LONG* pVal) = 0;           // 4
    virtual HRESULT put_IsFill(LONG newVal) = 0;
    virtual HRESULT Add(double X, double Y) = 0;          // 5
    virtual HRESULT RemoveAll() = 0;                      // 6
    virtual HRESULT get_title(BSTR* pVal) = 0;            // 7
    virtual HRESULT put_title(BSTR newVal) = 0;
    virtual HRESULT get_IsView(LONG* pVal) = 0;           // 8
    virtual HRESULT put_IsView(LONG newVal) = 0;
    // Writes xmin, ymin, xmax, ymax; S_FALSE with no points.
    virtual HRESULT GetBox(double* pbox) = 0;             // 9
    // Copies at most MaxDrawPoints points; the caller provides that room.
    virtual HRESULT GetXY(LONG* cElem, double* pdX, double* pdY) = 0;  // 10
    virtual HRESULT SetXY(LONG cElem, double* pdX, double* pdY) = 0;   // 11
    virtual HRESULT SetXYVar(VARIANT varX, VARIANT varY) = 0;          // 12
    virtual HRESULT get_alpha(LONG* pVal) = 0;            // 13
    virtual HRESULT put_alpha(LONG newVal) = 0;
    virtual HRESULT get_color(OLE_COLOR* pVal) = 0;       // 14
    virtual HRESULT put_color(OLE_COLOR newVal) = 0;

protected:
    ~ISeries() = default;
};

// An ordered collection of series; index 0 is the first added.
struct ISeriesHolder : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{2B73134D-104E-4A3C-82F5-BB4539BA0C7A}");
    using Base = IDispatch;
    virtual HRESULT Add(IDispatch* pSer) = 0;                 // 1
    virtual HRESULT Remove(LONG inx) = 0;                     // 2
    virtual HRESULT Item(VARIANT index, VARIANT* pItem) = 0;  // 3
    virtual HRESULT get_Count(LONG* pVal) = 0;                // 4
    virtual HRESULT RemoveAll() = 0;                          // 5

protected:
    ~ISeriesHolder() = default;
};

// A dispatch interface without members.
struct ISuperSeriesHolder : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{4AD11FF3-04C7-4BE5-ABA9-FAF845BFFF3B}");
    using Base = IDispatch;

protected:
    ~ISuperSeriesHolder() = default;
};

// The graph control. Font objects travel as IDispatch; parameters named
// pIStream carry a stream object.
struct IViGraf : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{CF5D967A-B8A9-4266-86B3-8BFB1BADAA76}");
    using Base = IDispatch;
    virtual HRESULT put_BackColor(OLE_COLOR clr) = 0;        // -501
    virtual HRESULT get_BackColor(OLE_COLOR* pclr) = 0;
    virtual HRESULT put_BorderColor(OLE_COLOR clr) = 0;      // -503
    virtual HRESULT get_BorderColor(OLE_COLOR* pclr) = 0;
    virtual HRESULT put_BorderWidth(LONG width) = 0;         // -505
    virtual HRESULT get_BorderWidth(LONG* width) = 0;
    virtual HRESULT put_FillColor(OLE_COLOR clr) = 0;        // -510
    virtual HRESULT get_FillColor(OLE_COLOR* pclr) = 0;
    virtual HRESULT put_FillStyle(LONG style) = 0;           // -511
    virtual HRESULT get_FillStyle(LONG* pstyle) = 0;
    virtual HRESULT putref_Font(IDispatch* pFont) = 0;       // -512
    virtual HRESULT put_Font(IDispatch* pFont) = 0;
    virtual HRESULT get_Font(IDispatch** ppFont) = 0;
    virtual HRESULT put_ForeColor(OLE_COLOR clr) = 0;        // -513
    virtual HRESULT get_ForeColor(OLE_COLOR* pclr) = 0;
    virtual HRESULT put_BorderVisible(VARIANT_BOOL vbool) = 0;  // -519
    virtual HRESULT get_BorderVisible(VARIANT_BOOL* pbool) = 0;
    virtual HRESULT CreateSeries() = 0;                                        // 1
    virtual HRESULT AddPointToSeries(LONG lnSer, double dx, double dy) = 0;    // 2
    virtual HRESULT SetBox(double* pdBox) = 0;                                 // 3
    virtual HRESULT RecalcSeries() = 0;                                        // 4
    virtual HRESULT get_CountSeries(LONG* pVal) = 0;                           // 5
    virtual HRESULT SetPoints(LONG nSer, LONG cElem, double* pdX, double* pdY) = 0;  // 6
    virtual HRESULT SetPointVar(LONG nSer, VARIANT varX, VARIANT varY) = 0;    // 7
    virtual HRESULT SetPropertySeries(LONG lSer, LONG alpha, OLE_COLOR color) = 0;       // 8
    virtual HRESULT GetPropertySeries(LONG lSer, LONG* alpha, OLE_COLOR* color) = 0;     // 9
    virtual HRESULT get_X_axis(BSTR* pVal) = 0;                                // 10
    virtual HRESULT put_X_axis(BSTR newVal) = 0;
    virtual HRESULT get_Y_axis(BSTR* pVal) = 0;                                // 11
    virtual HRESULT put_Y_axis(BSTR newVal) = 0;
    virtual HRESULT ReDrawGraph() = 0;                                         // 12
    virtual HRESULT RemoveData(LONG lSer) = 0;                                 // 13
    virtual HRESULT RemoveSeries(LONG lSer) = 0;                               // 14
    virtual HRESULT SavePicture(IDispatch* pIStream) = 0;                      // 15
    virtual HRESULT ZoomGraf(IDispatch* pIStream, double lfX, double tpY, double dx, double dy) = 0;  // 16
    virtual HRESULT SetImage(IDispatch* pIStream, LONG left, LONG top, LONG W, LONG H, float ang) = 0;  // 17
    virtual HRESULT Magnifier(double X, double Y, double W, double H) = 0;     // 18
    virtual HRESULT GetZoomImage(IDispatch* pDisp) = 0;                        // 19
    virtual HRESULT SetZoomRect(LONG X, LONG Y, LONG W, LONG H) = 0;           // 20
    virtual HRESULT get_AutoZoom(LONG* pVal) = 0;                              // 21
    virtual HRESULT put_AutoZoom(LONG newVal) = 0;
    virtual HRESULT get_X(double* pVal) = 0;                                   // 22
    virtual HRESULT get_Y(double* pVal) = 0;                                   // 23
    virtual HRESULT RemoveAll() = 0;                                           // 24
    virtual HRESULT AddFrame(BSTR bstrFile) = 0;                               // 25
    virtual HRESULT LoadStreamFromDocToFile(BSTR bstrFile, BSTR bstrStream) = 0;  // 26
    virtual HRESULT LoadStreamFromDoc(BSTR bstrStream, VARIANT varDisp) = 0;   // 27
    virtual HRESULT GetBox(double* X, double* Y, double* W, double* H) = 0;    // 28
    virtual HRESULT SetBox_1(double X, double Y, double W, double H) = 0;      // 29
    virtual HRESULT get_ViewAxis(LONG* pVal) = 0;                              // 32
    virtual HRESULT put_ViewAxis(LONG newVal) = 0;
    virtual HRESULT get_BkgrColor(OLE_COLOR* pVal) = 0;                        // 33
    virtual HRESULT put_BkgrColor(OLE_COLOR newVal) = 0;
    virtual HRESULT FrameInFrameEx(BSTR file, LONG X, LONG Y, LONG alpha) = 0;          // 34
    virtual HRESULT FrameInFrame(BSTR file, LONG X, LONG Y, LONG W, LONG H) = 0;        // 35
    // Markers of size pixels (filled squares) on the points of series lSer;
    // size 0 or less turns them off. S_FALSE for a series that does not exist.
    virtual HRESULT DrawPoints(LONG lSer, LONG size) = 0;                      // 30

protected:
    ~IViGraf() = default;
};

// Events of the graph control (dispatch identifiers 1 to 6).
enum ViGrafEventId : DISPID {
    DISPID_ChangePosition = 1,
    DISPID_LeftClickIn = 2,
    DISPID_LeftClickUp = 3,
    DISPID_RightClickIn = 4,
    DISPID_RightClickUp = 5,
    DISPID_RealPosition = 6,  // (double* X, double* Y)
};

// The minimal composite control: stock properties only.
struct ISimGra : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{5A006386-877B-4675-970F-48E2369066EE}");
    using Base = IDispatch;
    virtual HRESULT put_BackColor(OLE_COLOR clr) = 0;    // -501
    virtual HRESULT get_BackColor(OLE_COLOR* pclr) = 0;
    virtual HRESULT put_BackStyle(LONG style) = 0;       // -502
    virtual HRESULT get_BackStyle(LONG* pstyle) = 0;
    virtual HRESULT put_BorderColor(OLE_COLOR clr) = 0;  // -503
    virtual HRESULT get_BorderColor(OLE_COLOR* pclr) = 0;
    virtual HRESULT put_BorderStyle(LONG style) = 0;     // -504
    virtual HRESULT get_BorderStyle(LONG* pstyle) = 0;
    virtual HRESULT put_DrawMode(LONG mode) = 0;         // -507
    virtual HRESULT get_DrawMode(LONG* pmode) = 0;
    virtual HRESULT put_DrawStyle(LONG style) = 0;       // -508
    virtual HRESULT get_DrawStyle(LONG* pstyle) = 0;
    virtual HRESULT put_FillColor(OLE_COLOR clr) = 0;    // -510
    virtual HRESULT get_FillColor(OLE_COLOR* pclr) = 0;
    virtual HRESULT put_FillStyle(LONG style) = 0;       // -511
    virtual HRESULT get_FillStyle(LONG* pstyle) = 0;
    virtual HRESULT put_MousePointer(LONG pointer) = 0;  // -521
    virtual HRESULT get_MousePointer(LONG* ppointer) = 0;
    virtual HRESULT putref_Picture(IDispatch* pPicture) = 0;  // -523
    virtual HRESULT put_Picture(IDispatch* pPicture) = 0;
    virtual HRESULT get_Picture(IDispatch** ppPicture) = 0;

protected:
    ~ISimGra() = default;
};
