// Graf: the one object scripts see, published to every engine as "Graf".
// Almost every member forwards to the document's graph control by dispatch
// identifier; a few start scripts, pack colours, zoom into a scratch file or
// resolve picture names. Graf also carries the current script: its
// language, its file and the script host.
#pragma once

#include "app/core/script_driver.h"
#include "app/core/vigraf_wrapper.h"
#include "runtime/dispatch_table.h"

#include <functional>
#include <string>
#include <vector>

namespace quillan {

class CQuillanDoc;

// The members scripts call, in the order that gives their dispatch
// identifiers (1 to 33, then the additions).
struct IGrafScript : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{4E7A9C21-8B3D-4F65-A0C2-5D19E8B7F340}");
    using Base = IDispatch;
    virtual HRESULT ReDrawGraph() = 0;
    virtual HRESULT LoadScript(BSTR path) = 0;
    virtual HRESULT CreateSeries() = 0;
    virtual HRESULT AddPointToSeries(LONG series, double x, double y) = 0;
    virtual HRESULT SetBox(double x, double y, double w, double h) = 0;
    virtual HRESULT RecalcSeries() = 0;
    virtual HRESULT CountSeries(LONG* result) = 0;
    virtual HRESULT SetPoints(LONG series, LONG count, VARIANT x, VARIANT y) = 0;
    virtual HRESULT SetPointVar(LONG series, VARIANT x, VARIANT y) = 0;
    virtual HRESULT SetPropertySeries(LONG series, LONG alpha, LONG color) = 0;
    virtual HRESULT GetPropertySeries(LONG series, LONG* alpha, LONG* color) = 0;
    virtual HRESULT RemoveData(LONG series) = 0;
    virtual HRESULT RemoveSeries(LONG series) = 0;
    virtual HRESULT ZoomGraf(double x, double y, double w, double h) = 0;
    virtual HRESULT SetImage(LONG a, LONG b, LONG c, LONG d, float e) = 0;
    virtual HRESULT Magnifier(double x, double y, double w, double h) = 0;
    virtual HRESULT SetZoomRect(LONG x, LONG y, LONG w, LONG h) = 0;
    virtual HRESULT SetAutoZoom(LONG value) = 0;
    virtual HRESULT Clear() = 0;
    virtual HRESULT ColorRGB(LONG red, LONG green, LONG blue, LONG* result) = 0;
    virtual HRESULT LoadMemScript(BSTR text) = 0;
    virtual HRESULT AddFrame(BSTR file) = 0;
    virtual HRESULT XAddPointToSeries(VARIANT series, VARIANT x, VARIANT y) = 0;
    virtual HRESULT LoadStreamFromDocToFile(BSTR file, BSTR stream) = 0;
    virtual HRESULT LoadStreamFromDoc(BSTR stream, VARIANT target) = 0;
    virtual HRESULT GetBox(double* x, double* y, double* w, double* h) = 0;
    virtual HRESULT DrawPoints(LONG series, LONG size) = 0;
    virtual HRESULT PutBkgrColor(LONG color) = 0;
    virtual HRESULT PutIsViewAxis(LONG value) = 0;
    virtual HRESULT GetBkgrColor(LONG* result) = 0;
    virtual HRESULT GetIsViewAxis(LONG* result) = 0;
    virtual HRESULT FrameInFrameEx(BSTR file, LONG x, LONG y, LONG alpha) = 0;
    virtual HRESULT FrameInFrame(BSTR file, LONG x, LONG y, LONG w, LONG h, LONG extra) = 0;
    // Beyond the original 33: the axis titles, in the title markup.
    virtual HRESULT SetAxisTitles(BSTR xTitle, BSTR yTitle) = 0;

protected:
    ~IGrafScript() = default;
};

// What the program's windows add to a run: the editor page's error listener
// and bringing the script editor forward. A batch run has neither.
class GrafWindows {
public:
    virtual void onScriptError(CScriptDriver& host) = 0;
    virtual void focusScriptEditor() = 0;

protected:
    ~GrafWindows() = default;
};

class Graf final : public qrt::ComObject<qrt::DispatchImpl<Graf, IGrafScript>> {
public:
    static const qrt::DispatchTable& dispatchTable();

    Graf();
    ~Graf() override;

    // Language codes of the current script.
    static constexpr LONG kNoLanguage = -1, kJScript = 0, kVBScript = 1;

    // The direct interface of the program's windows.
    void setDocument(CQuillanDoc* document) { m_document = document; }
    CQuillanDoc* document() const { return m_document; }
    void setWindows(GrafWindows* windows) { m_windows = windows; }
    HRESULT loadScript(std::u16string_view path);
    // The same with the language chosen by the caller (a script read from a
    // stream has no extension to tell it).
    HRESULT loadScript(std::u16string_view path, bool vbscript);
    HRESULT loadMemScript(std::u16string_view text);
    HRESULT callFunction(std::u16string_view name);
    // S_OK with the last error, S_FALSE when none is recorded.
    HRESULT lastError(LONG& line, LONG& position, std::u16string& description);
    CScriptDriver* host() const { return m_host.get(); }
    LONG language() const { return m_language; }
    const std::u16string& scriptPath() const { return m_scriptPath; }
    // Closes the current script, if any.
    void closeScript();
    // The graph as the control last drew it, as the JPEG picture its
    // SavePicture writes (handed over through the scratch compound file).
    // S_FALSE and nothing without a graph control.
    HRESULT graphPicture(std::string& jpeg);
    // Writes the graph to a file as a picture of the format (a
    // GraphPictureFormat: JPEG, PNG, SVG or PDF) at the size of the last
    // paint; a failure gives the reason. S_FALSE without a graph control.
    HRESULT exportPicture(std::u16string_view path, LONG format, std::u16string& reason);
    // What the document does when it goes: closes the script and lets go of
    // the host (which holds this object as its named item).
    void shutDown();

    // How deep scripts loaded by running scripts may nest.
    static constexpr int kMaxScriptNesting = 16;

    // The class identifier of the engine for a script file: VBScript for the
    // extension "vbs" in any case, JScript for everything else.
    static bool isVBScriptPath(std::u16string_view path);

    // IGrafScript
    HRESULT ReDrawGraph() override;
    HRESULT LoadScript(BSTR path) override;
    HRESULT CreateSeries() override;
    HRESULT AddPointToSeries(LONG series, double x, double y) override;
    HRESULT SetBox(double x, double y, double w, double h) override;
    HRESULT RecalcSeries() override;
    HRESULT CountSeries(LONG* result) override;
    HRESULT SetPoints(LONG series, LONG count, VARIANT x, VARIANT y) override;
    HRESULT SetPointVar(LONG series, VARIANT x, VARIANT y) override;
    HRESULT SetPropertySeries(LONG series, LONG alpha, LONG color) override;
    HRESULT GetPropertySeries(LONG series, LONG* alpha, LONG* color) override;
    HRESULT RemoveData(LONG series) override;
    HRESULT RemoveSeries(LONG series) override;
    HRESULT ZoomGraf(double x, double y, double w, double h) override;
    HRESULT SetImage(LONG a, LONG b, LONG c, LONG d, float e) override;
    HRESULT Magnifier(double x, double y, double w, double h) override;
    HRESULT SetZoomRect(LONG x, LONG y, LONG w, LONG h) override;
    HRESULT SetAutoZoom(LONG value) override;
    HRESULT Clear() override;
    HRESULT ColorRGB(LONG red, LONG green, LONG blue, LONG* result) override;
    HRESULT LoadMemScript(BSTR text) override;
    HRESULT AddFrame(BSTR file) override;
    HRESULT XAddPointToSeries(VARIANT series, VARIANT x, VARIANT y) override;
    HRESULT LoadStreamFromDocToFile(BSTR file, BSTR stream) override;
    HRESULT LoadStreamFromDoc(BSTR stream, VARIANT target) override;
    HRESULT GetBox(double* x, double* y, double* w, double* h) override;
    HRESULT DrawPoints(LONG series, LONG size) override;
    HRESULT PutBkgrColor(LONG color) override;
    HRESULT PutIsViewAxis(LONG value) override;
    HRESULT GetBkgrColor(LONG* result) override;
    HRESULT GetIsViewAxis(LONG* result) override;
    HRESULT FrameInFrameEx(BSTR file, LONG x, LONG y, LONG alpha) override;
    HRESULT FrameInFrame(BSTR file, LONG x, LONG y, LONG w, LONG h, LONG extra) override;
    HRESULT SetAxisTitles(BSTR xTitle, BSTR yTitle) override;

private:
    // The document's graph control, found on first use; null without one.
    const CVigraf1* graph();
    // Closes the current script and replaces the host with a new one that
    // has an engine of the language and "Graf" published.
    qrt::ComPtr<CScriptDriver> newHost(bool vbscript, bool withErrorListener);
    // Hosts whose engine was running when its script was closed (a script
    // that loads another one): closed and released once they can be.
    void releaseRetiredHosts(bool force);
    // Whether a new script may start: not after a stop request, and not
    // nested beyond kMaxScriptNesting. A failure carries its error info.
    HRESULT startGuard() const;
    // Tells the user of a call that did nothing (see ScriptWarning).
    void warn(std::u16string text);
    void warnNoSeries(std::u16string_view member, LONG series);
    bool seriesExists(LONG series);
    // The control's series count as last read; read again after the calls
    // that change it.
    LONG knownSeriesCount();

    CQuillanDoc* m_document = nullptr;
    LONG m_language = kNoLanguage;
    CLSID m_vbscriptClass{};
    CLSID m_jscriptClass{};
    qrt::ComPtr<CScriptDriver> m_host;
    std::vector<qrt::ComPtr<CScriptDriver>> m_retiredHosts;
    const CVigraf1* m_graph = nullptr;
    std::u16string m_scriptPath;
    GrafWindows* m_windows = nullptr;
    int m_listenerCookie = 0;
    int m_nesting = 0;  // scripts running inside LoadScript or LoadMemScript
    LONG m_seriesCount = -1;  // -1: not known
};

// A picture name as the graph control's frame members get it: a bare name
// with a three-character extension is taken from the "Pictures" folder
// beside the program; a path (with "\" or "/") or any other name is kept.
std::u16string ResolvePicturePath(std::u16string_view name);

// The program's type library declaration of the dispinterface IGraf (twenty
// members) and the class Graf; scripts never see it.
struct GrafTypeLibrary {
    qrt::ComPtr<ITypeInfo> dispinterface;
    qrt::ComPtr<ITypeInfo> coclass;
};
GrafTypeLibrary grafTypeLibrary();

}  // namespace quillan
