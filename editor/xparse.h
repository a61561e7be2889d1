// xParse: the script editor control. It shows a script in its EditWindow,
// colours it with a ScriptColorizer, recolours the caret's line while the
// user types, scrolls to the line that defines a function, highlights one
// line, and tells its host whether the text differs from the text it was
// given.
#pragma once

#include "editor/completion.h"
#include "editor/edit_buffer.h"
#include "editor/lexora.h"
#include "editor/script_colorizer.h"
#include "hosting/control_support.h"
#include "runtime/dispatch_table.h"
#include "runtime/object.h"
#include "runtime/persist.h"
#include "runtime/typeinfo.h"

#include <QPointer>

#include <memory>
#include <optional>
#include <string>

namespace lexora {

class EditWindow;
using qhost::ControlSupport;

class CxParse final
    : public qrt::ComObject<qrt::DispatchImpl<CxParse, IxParse>, IProvideClassInfo2, IConnectionPointContainer,
                            IWidgetControl, IPersistStreamInit, IPersistStorage> {
public:
    static const qrt::DispatchTable& dispatchTable();
    static HRESULT create(REFIID iid, void** out);

    CxParse();
    ~CxParse() override;

    // IxParse: stock properties.
    HRESULT put_BackStyle(LONG style) override;
    HRESULT get_BackStyle(LONG* pstyle) override;
    HRESULT putref_Font(IDispatch* pFont) override;
    HRESULT put_Font(IDispatch* pFont) override;
    HRESULT get_Font(IDispatch** ppFont) override;
    HRESULT put_TabStop(VARIANT_BOOL vbool) override;
    HRESULT get_TabStop(VARIANT_BOOL* pbool) override;
    HRESULT put_Text(BSTR strText) override;
    HRESULT get_Text(BSTR* pstrText) override;

    // IxParse: the script.
    HRESULT get_Script(BSTR* pVal) override;
    HRESULT put_Script(BSTR newVal) override;
    HRESULT Parse() override;
    HRESULT get_TypeScript(LONG* pVal) override;
    HRESULT put_TypeScript(LONG newVal) override;
    HRESULT GoToFunction(BSTR prefix, BSTR bstrFunc) override;
    HRESULT ColorizeLine(LONG line, LONG pos, ULONG color) override;
    HRESULT CompareState(LONG* IsNewScript) override;
    HRESULT ScriptAdd(BSTR newVal) override;
    HRESULT get_LineNumbers(VARIANT_BOOL* pVal) override;
    HRESULT put_LineNumbers(VARIANT_BOOL newVal) override;
    HRESULT MarkError(LONG line, BSTR message) override;
    HRESULT get_Completion(VARIANT_BOOL* pVal) override;
    HRESULT put_Completion(VARIANT_BOOL newVal) override;
    HRESULT get_CompletionList(BSTR* pVal) override;
    HRESULT put_CompletionList(BSTR newVal) override;
    HRESULT get_SmartIndent(VARIANT_BOOL* pVal) override;
    HRESULT put_SmartIndent(VARIANT_BOOL newVal) override;

    // IProvideClassInfo2
    HRESULT GetClassInfo(ITypeInfo** info) override;
    HRESULT GetGUID(DWORD kind, GUID* guid) override;

    // IConnectionPointContainer: property notifications and _IxParseEvents.
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // IWidgetControl
    HRESULT SetSite(IUnknown* site) override;
    HRESULT CreateControlWindow(QWidget* parent, QWidget** window) override;
    HRESULT DestroyControlWindow() override;
    HRESULT SetObjectRect(LONG x, LONG y, LONG width, LONG height) override;
    // Without its window the control draws only its name and version.
    HRESULT Draw(QPainter* painter, LONG x, LONG y, LONG width, LONG height) override;

    // IPersistStreamInit and IPersistStorage: the extent and the stock
    // properties; the script is the host's to supply.
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

private:
    EditWindow* editWindow() const;
    // Gives the window the completion and indenting settings.
    void applyEditing(EditWindow* edit) const;
    // Recolours every line, each on its own; the selection is kept.
    void ColorAllLines();
    // Recolours the caret's line after typing; the selection collapses to its end.
    void ColorCurrentLine();

    ControlSupport m_support{this};
    qrt::ConnectionPoint m_events{this, DIID__IxParseEvents};
    ScriptColorizer m_colorizer;
    EditBuffer m_buffer;
    QPointer<QWidget> m_window;

    std::optional<std::u16string> m_currentScript;  // null until read or set
    std::optional<std::u16string> m_loadedScript;   // null until set
    LONG m_typeScript = 0;
    bool m_lineNumbers = true;
    bool m_completion = true;
    bool m_smartIndent = true;
    std::u16string m_completionText;
    std::shared_ptr<const CompletionList> m_completionList = std::make_shared<CompletionList>();

    LONG m_backStyle = 0;
    qrt::ComPtr<IDispatch> m_font;
    VARIANT_BOOL m_tabStop = VARIANT_FALSE;
    std::optional<std::u16string> m_text;

    // The control's size in hundredths of a millimetre ("_cx", "_cy"): 2 x 2
    // inches until the host gives the control its rectangle.
    LONG m_extentX = 5080;
    LONG m_extentY = 5080;
};

}  // namespace lexora
