#include "editor/xparse.h"

#include "editor/completion_popup.h"
#include "editor/edit_window.h"
#include "runtime/bstr.h"

#include <QFontMetrics>
#include <QPainter>

#include <new>

namespace lexora {

namespace {

QString toQString(BSTR text) { return text ? QString::fromUtf16(text, SysStringLen(text)) : QString(); }

std::u16string toU16(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size()));
}

// Hands out a copy of an optional string; null stays null.
HRESULT copyOut(const std::optional<std::u16string>& value, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!value) return S_OK;
    *out = qrt::allocBstr(*value);
    return *out ? S_OK : E_OUTOFMEMORY;
}

// Runs body; running out of memory is a status, not an exception.
template <class Body>
HRESULT guarded(Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

ITypeInfo* eventsTypeInfo() {
    static const qrt::ComPtr<ITypeInfo> info = [] {
        qrt::TypeDesc desc;
        desc.name = u"_IxParseEvents";
        desc.guid = DIID__IxParseEvents;
        desc.kind = TKIND_DISPATCH;
        return qrt::createTypeInfo(std::move(desc));
    }();
    return info.get();
}

// The highlight of ColorizeLine: italic, underlined (and shadowed, which the
// window does not show) in the given colour; bold is left as it is.
CharFormat highlightFormat(COLORREF color) {
    CharFormat f = defaultFormatWithColor(color);
    f.mask = 0xF800040E;
    f.effects = 0x407;
    return f;
}

HRESULT readFlag(bool value, VARIANT_BOOL* out) {
    if (!out) return E_POINTER;
    *out = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

bool isTokenSeparator(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('(') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

}  // namespace

const qrt::DispatchTable& CxParse::dispatchTable() {
    using I = IxParse;
    static const qrt::DispatchTable table(u"IxParse", IxParse::IID, {
        qrt::putter<&I::put_BackStyle>(u"BackStyle", DISPID_BACKSTYLE, {u"style"}),
        qrt::getter<&I::get_BackStyle>(u"BackStyle", DISPID_BACKSTYLE),
        qrt::putRefer<&I::putref_Font>(u"Font", DISPID_FONT, {u"pFont"}),
        qrt::putter<&I::put_Font>(u"Font", DISPID_FONT, {u"pFont"}),
        qrt::getter<&I::get_Font>(u"Font", DISPID_FONT),
        qrt::putter<&I::put_TabStop>(u"TabStop", DISPID_TABSTOP, {u"vbool"}),
        qrt::getter<&I::get_TabStop>(u"TabStop", DISPID_TABSTOP),
        qrt::putter<&I::put_Text>(u"Text", DISPID_TEXT, {u"strText"}),
        qrt::getter<&I::get_Text>(u"Text", DISPID_TEXT),
        qrt::getter<&I::get_Script>(u"Script", 1),
        qrt::putter<&I::put_Script>(u"Script", 1, {u"newVal"}),
        qrt::member<&I::Parse>(u"Parse", 2),
        qrt::getter<&I::get_TypeScript>(u"TypeScript", 3),
        qrt::putter<&I::put_TypeScript>(u"TypeScript", 3, {u"newVal"}),
        qrt::member<&I::GoToFunction>(u"GoToFunction", 4, {u"prefix", u"bstrFunc"}),
        qrt::member<&I::ColorizeLine>(u"ColorizeLine", 5, {u"line", u"pos", u"color"}),
        qrt::member<&I::CompareState>(u"CompareState", 6, {u"IsNewScript"}),
        qrt::member<&I::ScriptAdd>(u"ScriptAdd", 7, {u"newVal"}),
        qrt::getter<&I::get_LineNumbers>(u"LineNumbers", 8),
        qrt::putter<&I::put_LineNumbers>(u"LineNumbers", 8, {u"newVal"}),
        qrt::member<&I::MarkError>(u"MarkError", 9, {u"line", u"message"}),
        qrt::getter<&I::get_Completion>(u"Completion", 10),
        qrt::putter<&I::put_Completion>(u"Completion", 10, {u"newVal"}),
        qrt::getter<&I::get_CompletionList>(u"CompletionList", 11),
        qrt::putter<&I::put_CompletionList>(u"CompletionList", 11, {u"newVal"}),
        qrt::getter<&I::get_SmartIndent>(u"SmartIndent", 12),
        qrt::putter<&I::put_SmartIndent>(u"SmartIndent", 12, {u"newVal"}),
    });
    return table;
}

HRESULT CxParse::create(REFIID iid, void** out) { return qrt::createInstance<CxParse>(iid, out); }

CxParse::CxParse() = default;

CxParse::~CxParse() {
    if (EditWindow* edit = editWindow()) edit->detachBuffer();
    m_support.shutdown();
    m_events.clear();
}

EditWindow* CxParse::editWindow() const {
    auto* window = static_cast<ControlWindow*>(m_window.data());
    return window ? window->editWindow() : nullptr;
}

// Stock properties.
HRESULT CxParse::put_BackStyle(LONG style) { return m_support.setStock(DISPID_BACKSTYLE, m_backStyle, style); }
HRESULT CxParse::get_BackStyle(LONG* pstyle) { return qhost::readStock(m_backStyle, pstyle); }
HRESULT CxParse::putref_Font(IDispatch* pFont) {
    if (pFont == static_cast<IxParse*>(this)) return E_INVALIDARG;  // a control is not its own font
    return m_support.setStock(DISPID_FONT, m_font, qrt::ComPtr<IDispatch>(pFont));
}
HRESULT CxParse::put_Font(IDispatch* pFont) { return putref_Font(pFont); }
HRESULT CxParse::get_Font(IDispatch** ppFont) { return qhost::copyInterface(m_font.get(), ppFont); }
HRESULT CxParse::put_TabStop(VARIANT_BOOL vbool) { return m_support.setStock(DISPID_TABSTOP, m_tabStop, vbool); }
HRESULT CxParse::get_TabStop(VARIANT_BOOL* pbool) { return qhost::readStock(m_tabStop, pbool); }
HRESULT CxParse::put_Text(BSTR strText) {
    return guarded([&] {
        std::optional<std::u16string> value;
        if (strText) value.emplace(qrt::bstrView(strText));
        return m_support.setStock(DISPID_TEXT, m_text, value);
    });
}
HRESULT CxParse::get_Text(BSTR* pstrText) { return copyOut(m_text, pstrText); }

// The script.
HRESULT CxParse::get_Script(BSTR* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    if (!m_buffer.ready()) return E_UNEXPECTED;
    return guarded([&] {
        m_currentScript = toU16(m_buffer.text());
        return copyOut(m_currentScript, pVal);
    });
}

HRESULT CxParse::put_Script(BSTR newVal) {
    if (!m_buffer.ready()) return E_UNEXPECTED;
    return guarded([&] {
        if (!newVal) {
            m_buffer.setText(QString());
            m_currentScript.reset();
            m_loadedScript.reset();
            return S_OK;
        }
        std::u16string text(qrt::bstrView(newVal));
        m_buffer.setText(toQString(newVal));
        if (EditWindow* edit = editWindow()) edit->updateMargin();
        m_loadedScript = text;
        m_currentScript = std::move(text);
        return S_OK;
    });
}

HRESULT CxParse::Parse() {
    if (!m_buffer.ready()) return E_UNEXPECTED;
    return guarded([&] {
        // Colours from scratch: the last error's red line and its mark go.
        m_buffer.clearErrorMark();
        if (EditWindow* edit = editWindow()) edit->updateMargin();
        ColorAllLines();
        return S_OK;
    });
}

HRESULT CxParse::get_LineNumbers(VARIANT_BOOL* pVal) { return readFlag(m_lineNumbers, pVal); }

HRESULT CxParse::put_LineNumbers(VARIANT_BOOL newVal) {
    m_lineNumbers = newVal != VARIANT_FALSE;
    if (EditWindow* edit = editWindow()) edit->setLineNumbersShown(m_lineNumbers);
    return S_OK;
}

HRESULT CxParse::MarkError(LONG line, BSTR message) {
    if (!m_buffer.ready()) return E_UNEXPECTED;
    return guarded([&] {
        if (line >= 0 && line < m_buffer.lineCount()) m_buffer.setErrorMark(line, toQString(message));
        else m_buffer.clearErrorMark();
        if (EditWindow* edit = editWindow()) edit->updateMargin();
        return S_OK;
    });
}

HRESULT CxParse::get_Completion(VARIANT_BOOL* pVal) { return readFlag(m_completion, pVal); }

HRESULT CxParse::put_Completion(VARIANT_BOOL newVal) {
    m_completion = newVal != VARIANT_FALSE;
    applyEditing(editWindow());
    return S_OK;
}

HRESULT CxParse::get_CompletionList(BSTR* pVal) { return copyOut(m_completionText, pVal); }

HRESULT CxParse::put_CompletionList(BSTR newVal) {
    return guarded([&] {
        auto list = std::make_shared<CompletionList>();
        list->setText(toQString(newVal));
        m_completionText = std::u16string(qrt::bstrView(newVal));
        m_completionList = std::move(list);
        applyEditing(editWindow());
        return S_OK;
    });
}

HRESULT CxParse::get_SmartIndent(VARIANT_BOOL* pVal) { return readFlag(m_smartIndent, pVal); }

HRESULT CxParse::put_SmartIndent(VARIANT_BOOL newVal) {
    m_smartIndent = newVal != VARIANT_FALSE;
    applyEditing(editWindow());
    return S_OK;
}

void CxParse::applyEditing(EditWindow* edit) const {
    if (!edit) return;
    edit->setSmartIndent(m_smartIndent);
    CompletionPopup* popup = edit->completion();
    popup->setList(m_completionList);
    popup->setVBScript(m_typeScript != ScriptLanguageJScript);
    popup->setEnabled(m_completion);
}

HRESULT CxParse::get_TypeScript(LONG* pVal) { return qhost::readStock(m_typeScript, pVal); }

HRESULT CxParse::put_TypeScript(LONG newVal) {
    m_typeScript = newVal;
    applyEditing(editWindow());
    return m_colorizer.SetLanguage(newVal) ? S_OK : E_OUTOFMEMORY;
}

HRESULT CxParse::GoToFunction(BSTR prefix, BSTR bstrFunc) {
    if (!m_buffer.ready()) return E_UNEXPECTED;
    return guarded([&] {
        const QString start = toQString(prefix).toLower();
        const QString name = toQString(bstrFunc).toLower();
        const int count = m_buffer.lineCount();
        for (int i = 0; i < count; ++i) {
            const QString line = m_buffer.lineText(i);
            qsizetype lead = 0;
            while (lead < line.size() && line[lead].isSpace()) ++lead;
            const QString stripped = line.mid(lead).toLower();
            if (!stripped.startsWith(start) || !stripped.contains(name)) continue;
            // The tokens after the first (the defining keyword) of the line as it stands.
            bool first = true;
            qsizetype pos = 0;
            while (pos < line.size()) {
                while (pos < line.size() && isTokenSeparator(line[pos])) ++pos;
                const qsizetype end = [&] {
                    qsizetype e = pos;
                    while (e < line.size() && !isTokenSeparator(line[e])) ++e;
                    return e;
                }();
                if (end > pos) {
                    if (!first && line.mid(pos, end - pos).toLower() == name) {
                        m_buffer.scrollLines(i - m_buffer.firstVisibleLine());
                        return S_OK;
                    }
                    first = false;
                }
                pos = end;
            }
        }
        return S_OK;
    });
}

HRESULT CxParse::ColorizeLine(LONG line, LONG, ULONG color) {
    if (!m_buffer.ready()) return E_UNEXPECTED;
    if (line < 0 || line >= m_buffer.lineCount()) return E_INVALIDARG;
    return guarded([&] {
        const int first = m_buffer.firstVisibleLine();
        const int n = static_cast<int>(m_buffer.lineText(line).size());
        const int start = m_buffer.lineIndex(line);
        EditWindow* edit = editWindow();
        if (edit) edit->setFocus();
        m_buffer.setSelection(start, start + n);
        m_buffer.setSelectionCharFormat(highlightFormat(color));
        m_buffer.setSelection(start, start);
        if (edit) edit->viewport()->update();
        m_buffer.scrollLines(line - first);
        return S_OK;
    });
}

HRESULT CxParse::CompareState(LONG* IsNewScript) {
    if (!IsNewScript) return E_POINTER;
    *IsNewScript = 1;
    const std::u16string_view current = m_currentScript ? std::u16string_view(*m_currentScript) : std::u16string_view();
    const std::u16string_view loaded = m_loadedScript ? std::u16string_view(*m_loadedScript) : std::u16string_view();
    if (current.size() == loaded.size()) *IsNewScript = current == loaded ? 0 : 1;
    return S_OK;
}

HRESULT CxParse::ScriptAdd(BSTR newVal) {
    if (!m_buffer.ready()) return E_UNEXPECTED;
    return guarded([&] {
        const QString text = m_buffer.text() + QLatin1Char('\n') + toQString(newVal) + QLatin1Char('\n');
        m_currentScript = toU16(text);
        m_buffer.setText(text);
        ColorAllLines();
        return S_OK;
    });
}

void CxParse::ColorAllLines() {
    const Selection saved = m_buffer.selection();
    {
        EditBuffer::Batch batch(m_buffer);
        const int count = m_buffer.lineCount();
        for (int i = 0; i < count; ++i) {
            // The line with its break, so that a comment closed by the line
            // feed is seen closed.
            const int start = m_buffer.lineIndex(i);
            const int n = m_buffer.lineLength(i) + (i + 1 < count ? 1 : 0);
            m_colorizer.ColorRange(start, start + n, m_buffer);
        }
    }
    m_buffer.setSelection(saved.anchor, saved.caret);
}

void CxParse::ColorCurrentLine() {
    const Selection saved = m_buffer.selection();
    {
        EditBuffer::Batch batch(m_buffer);
        const int line = m_buffer.lineOfPosition(saved.caret);
        const int start = m_buffer.lineIndex(line);
        // With its break, as Parse colours it, so a line keeps its colours
        // whether typed or parsed.
        const int n = m_buffer.lineLength(line) + (line + 1 < m_buffer.lineCount() ? 1 : 0);
        m_colorizer.ColorRange(start, start + n, m_buffer);
    }
    m_buffer.setSelection(saved.end(), saved.end());
}

// Class information and connection points.
HRESULT CxParse::GetClassInfo(ITypeInfo** info) {
    return qrt::classTypeInfo(u"xParse", CLSID_xParse, dispatchTable().typeInfo(), eventsTypeInfo(), info);
}
HRESULT CxParse::GetGUID(DWORD kind, GUID* guid) { return qhost::sourceInterface(kind, DIID__IxParseEvents, guid); }
HRESULT CxParse::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    return m_support.findConnectionPoint(iid, m_events, point);
}

// Hosting.
HRESULT CxParse::SetSite(IUnknown* site) { return m_support.setSite(site); }

HRESULT CxParse::CreateControlWindow(QWidget* parent, QWidget** window) {
    if (!window) return E_POINTER;
    *window = nullptr;
    if (!m_buffer.ready()) return E_UNEXPECTED;
    return m_support.createWindow(parent, window, [this](QWidget* p) -> QWidget* {
        // A new window starts without a language of its own; the
        // colorizer keeps the lists it has.
        m_typeScript = 0;
        auto* w = new ControlWindow(m_buffer, [this] { ColorCurrentLine(); }, [this] { ColorAllLines(); }, p);
        w->editWindow()->setLineNumbersShown(m_lineNumbers);
        applyEditing(w->editWindow());
        m_window = w;
        return w;
    });
}

HRESULT CxParse::DestroyControlWindow() {
    if (EditWindow* edit = editWindow()) edit->detachBuffer();
    m_window = nullptr;
    return m_support.destroyWindow();
}

HRESULT CxParse::SetObjectRect(LONG x, LONG y, LONG width, LONG height) {
    const HRESULT hr = m_support.setRect(x, y, width, height);
    if (SUCCEEDED(hr)) {
        // Pixels at 96 per inch to hundredths of a millimetre.
        m_extentX = static_cast<LONG>((static_cast<long long>(width) * 2540 + 48) / 96);
        m_extentY = static_cast<LONG>((static_cast<long long>(height) * 2540 + 48) / 96);
    }
    return hr;
}

HRESULT CxParse::Draw(QPainter* painter, LONG x, LONG y, LONG width, LONG height) {
    if (!painter) return E_POINTER;
    const QString caption = QStringLiteral("ATL 7.0");
    painter->save();
    painter->setPen(Qt::black);
    // Centred on the middle of the bounds: horizontally by its width, with
    // its baseline on the middle row.
    const QFontMetrics metrics(painter->font());
    const double cx = x + width / 2.0, cy = y + height / 2.0;
    painter->drawText(QPointF(cx - metrics.horizontalAdvance(caption) / 2.0, cy), caption);
    painter->restore();
    return S_OK;
}

}  // namespace lexora
