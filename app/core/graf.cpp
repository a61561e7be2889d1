// Graf's script management and its dispatch table; the forwarding members
// are in graf_members.cpp.
#include "app/core/graf.h"

#include "app/core/data_folder.h"
#include "app/core/document.h"
#include "app/core/run_control.h"
#include "runtime/activation.h"
#include "runtime/bstr.h"
#include "runtime/text.h"

#include <algorithm>
#include <string>

namespace quillan {

const qrt::DispatchTable& Graf::dispatchTable() {
    using I = IGrafScript;
    static const qrt::DispatchTable table(u"IGrafScript", I::IID, {
        qrt::member<&I::ReDrawGraph>(u"ReDrawGraph", 1),
        qrt::member<&I::LoadScript>(u"LoadScript", 2, {u"path"}),
        qrt::member<&I::CreateSeries>(u"CreateSeries", 3),
        qrt::member<&I::AddPointToSeries>(u"AddPointToSeries", 4, {u"series", u"x", u"y"}),
        qrt::member<&I::SetBox>(u"SetBox", 5, {u"x", u"y", u"w", u"h"}),
        qrt::member<&I::RecalcSeries>(u"RecalcSeries", 6),
        qrt::member<&I::CountSeries>(u"CountSeries", 7, {}, qrt::Retval),
        qrt::member<&I::SetPoints>(u"SetPoints", 8, {u"series", u"count", u"x", u"y"}),
        qrt::member<&I::SetPointVar>(u"SetPointVar", 9, {u"series", u"x", u"y"}),
        qrt::member<&I::SetPropertySeries>(u"SetPropertySeries", 10, {u"series", u"alpha", u"color"}),
        qrt::member<&I::GetPropertySeries>(u"GetPropertySeries", 11, {u"series", u"alpha", u"color"}),
        qrt::member<&I::RemoveData>(u"RemoveData", 12, {u"series"}),
        qrt::member<&I::RemoveSeries>(u"RemoveSeries", 13, {u"series"}),
        qrt::member<&I::ZoomGraf>(u"ZoomGraf", 14, {u"x", u"y", u"w", u"h"}),
        qrt::member<&I::SetImage>(u"SetImage", 15, {u"left", u"top", u"width", u"height", u"angle"}),
        qrt::member<&I::Magnifier>(u"Magnifier", 16, {u"x", u"y", u"w", u"h"}),
        qrt::member<&I::SetZoomRect>(u"SetZoomRect", 17, {u"x", u"y", u"w", u"h"}),
        qrt::member<&I::SetAutoZoom>(u"SetAutoZoom", 18, {u"value"}),
        qrt::member<&I::Clear>(u"Clear", 19),
        qrt::member<&I::ColorRGB>(u"ColorRGB", 20, {u"R", u"G", u"B"}, qrt::Retval),
        qrt::member<&I::LoadMemScript>(u"LoadMemScript", 21, {u"text"}),
        qrt::member<&I::AddFrame>(u"AddFrame", 22, {u"file"}),
        qrt::member<&I::XAddPointToSeries>(u"XAddPointToSeries", 23, {u"series", u"x", u"y"}),
        qrt::member<&I::LoadStreamFromDocToFile>(u"LoadStreamFromDocToFile", 24, {u"file", u"stream"}),
        qrt::member<&I::LoadStreamFromDoc>(u"LoadStreamFromDoc", 25, {u"stream", u"target"}),
        qrt::member<&I::GetBox>(u"GetBox", 26, {u"x", u"y", u"w", u"h"}),
        qrt::member<&I::DrawPoints>(u"DrawPoints", 27, {u"series", u"size"}),
        qrt::member<&I::PutBkgrColor>(u"PutBkgrColor", 28, {u"color"}),
        qrt::member<&I::PutIsViewAxis>(u"PutIsViewAxis", 29, {u"value"}),
        qrt::member<&I::GetBkgrColor>(u"GetBkgrColor", 30, {}, qrt::Retval),
        qrt::member<&I::GetIsViewAxis>(u"GetIsViewAxis", 31, {}, qrt::Retval),
        qrt::member<&I::FrameInFrameEx>(u"FrameInFrameEx", 32, {u"file", u"x", u"y", u"alpha"}),
        qrt::member<&I::FrameInFrame>(u"FrameInFrame", 33, {u"file", u"x", u"y", u"w", u"h", u"extra"}),
        qrt::member<&I::SetAxisTitles>(u"SetAxisTitles", 34, {u"xTitle", u"yTitle"}),
    });
    return table;
}

Graf::Graf() {
    // Without an engine class the host's CreateEngine fails and every later
    // step of a run answers E_UNEXPECTED.
    CLSIDFromProgID(u"VBScript", &m_vbscriptClass);
    CLSIDFromProgID(u"JScript", &m_jscriptClass);
}

Graf::~Graf() { shutDown(); }

void Graf::shutDown() {
    closeScript();
    m_host.reset();
    releaseRetiredHosts(true);
}

bool Graf::isVBScriptPath(std::u16string_view path) {
    const std::size_t dot = path.rfind(u'.');
    if (dot == std::u16string_view::npos || path.size() - dot - 1 != 3) return false;
    std::u16string extension(path.substr(dot + 1));
    for (char16_t& c : extension) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    }
    return extension == u"VBS";
}

void Graf::closeScript() {
    if (!m_host) return;
    if (m_listenerCookie) {
        m_host->RemoveErrorListener(m_listenerCookie);
        m_listenerCookie = 0;
    }
    if (FAILED(m_host->Close())) {
        // The engine is running the script that asked for this: it stops at
        // its next step and is closed once it has returned.
        qrt::ComPtr<IActiveScript> engine;
        if (SUCCEEDED(m_host->GetEngine(engine.out())) && engine)
            engine->InterruptScriptThread(SCRIPTTHREADID_ALL, nullptr, 0);
        m_host->retire();
        m_retiredHosts.push_back(m_host);
    }
}

void Graf::releaseRetiredHosts(bool force) {
    std::erase_if(m_retiredHosts, [force](const qrt::ComPtr<CScriptDriver>& host) {
        return SUCCEEDED(host->Close()) || force;
    });
}

qrt::ComPtr<CScriptDriver> Graf::newHost(bool vbscript, bool withErrorListener) {
    closeScript();
    releaseRetiredHosts(false);
    qrt::ComPtr<CScriptDriver> host = qrt::create<CScriptDriver>();
    m_host = host;
    if (withErrorListener && m_windows) {
        GrafWindows* windows = m_windows;
        m_listenerCookie = host->AddErrorListener([windows](CScriptDriver& driver) { windows->onScriptError(driver); });
    }
    // Each step runs even when the one before failed; the host answers
    // E_UNEXPECTED when it has no engine.
    host->CreateEngine(vbscript ? m_vbscriptClass : m_jscriptClass);
    host->AddNamedItem(u"Graf", static_cast<IGrafScript*>(this));
    return host;
}

HRESULT Graf::startGuard() const {
    if (runControl().stopRequested()) {
        qrt::setErrorInfo(u"Graf", runControl().stopDescription());
        return E_ABORT;
    }
    // Each script loaded by a running script runs inside the call that
    // loaded it: a script that loads itself would nest without end.
    if (m_nesting >= kMaxScriptNesting) {
        qrt::setErrorInfo(u"Graf", u"Scripts that load scripts are nested too deeply (more than " +
                                       qrt::decodeAnsi(std::to_string(kMaxScriptNesting)) + u" levels)");
        return E_FAIL;
    }
    return S_OK;
}

HRESULT Graf::loadScript(std::u16string_view path) { return loadScript(path, isVBScriptPath(path)); }

HRESULT Graf::loadScript(std::u16string_view path, bool vbscript) {
    if (HRESULT hr = startGuard(); FAILED(hr)) return hr;
    m_language = kNoLanguage;
    m_scriptPath = std::u16string(path);
    qrt::ComPtr<CScriptDriver> host = newHost(vbscript, true);
    if (FAILED(host->LoadFile(m_scriptPath.c_str())) && !host->loadError().empty()) {
        // The script never ran: say which file and why, like a script error.
        ScriptErrorReport report;
        report.source = u"Quillan";
        report.description = u"Cannot read the script " + m_scriptPath + u": " + qrt::decodeAnsi(host->loadError());
        report.file = m_scriptPath;
        host->reportError(report);
    }
    ++m_nesting;
    host->Run();
    --m_nesting;
    m_language = vbscript ? kVBScript : kJScript;
    if (m_windows) m_windows->focusScriptEditor();
    return S_OK;
}

HRESULT Graf::loadMemScript(std::u16string_view text) {
    if (m_language == kNoLanguage) return S_OK;
    if (HRESULT hr = startGuard(); FAILED(hr)) return hr;
    // No error listener: the caller (checking a script) reads the error itself.
    qrt::ComPtr<CScriptDriver> host = newHost(m_language == kVBScript, false);
    const std::u16string copy(text);
    host->ParseText(copy.c_str());
    ++m_nesting;
    const HRESULT hr = host->Run();
    --m_nesting;
    if (FAILED(hr)) {
        // The caller reads the error itself; here it is only taken.
        LONG line = 0, position = 0;
        BSTR description = nullptr;
        if (host->GetLastError(&line, &position, &description) == S_OK) SysFreeString(description);
    }
    return S_OK;
}

HRESULT Graf::callFunction(std::u16string_view name) {
    if (!m_host) return E_FAIL;
    const std::u16string copy(name);
    return m_host->CallFunction(copy.c_str());
}

HRESULT Graf::lastError(LONG& line, LONG& position, std::u16string& description) {
    if (!m_host) return S_FALSE;
    BSTR text = nullptr;
    const HRESULT hr = m_host->GetLastError(&line, &position, &text);
    if (hr == S_OK) description = std::u16string(qrt::bstrView(text));
    SysFreeString(text);
    return hr;
}

HRESULT Graf::LoadScript(BSTR path) { return loadScript(qrt::bstrView(path)); }
HRESULT Graf::LoadMemScript(BSTR text) { return loadMemScript(qrt::bstrView(text)); }

const CVigraf1* Graf::graph() {
    if (m_graph || !m_document) return m_graph;
    for (const DocumentView* view : m_document->views()) {
        if (const CVigraf1* control = view->graphControl()) {
            m_graph = control;
            break;
        }
    }
    return m_graph;
}

std::u16string ResolvePicturePath(std::u16string_view name) {
    if (name.find(u'\\') != std::u16string_view::npos || name.find(u'/') != std::u16string_view::npos)
        return std::u16string(name);
    const std::size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos || name.size() - dot - 1 != 3) return std::u16string(name);
    return qrt::decodeAnsi(dataFolder()) + u"/Pictures/" + std::u16string(name);
}

}  // namespace quillan
