// The interfaces and identifiers of the editor library, for its clients.
#pragma once

#include "runtime/dispatch.h"

constexpr GUID LIBID_Lexora = qrt::makeGuid("{C8715CF8-9C76-42A9-B60D-6CA7AE3BCB3A}");
constexpr CLSID CLSID_xParse = qrt::makeGuid("{A9453B16-F0DF-47EA-A6BB-B90FCAD1B65C}");
constexpr IID DIID__IxParseEvents = qrt::makeGuid("{615398FD-5EB1-400D-927E-B2BFC4632316}");

// Script language codes of TypeScript.
constexpr LONG ScriptLanguageJScript = 1;
constexpr LONG ScriptLanguageVBScript = 2;

// The script editor control: shows a script, colours it and finds the lines
// that define functions. Font objects travel as IDispatch.
struct IxParse : IDispatch {
    static constexpr ::IID IID = qrt::makeGuid("{E55CCE8C-D3DF-42DB-A72C-3ADECAA30E41}");
    using Base = IDispatch;
    virtual HRESULT put_BackStyle(LONG style) = 0;            // -502
    virtual HRESULT get_BackStyle(LONG* pstyle) = 0;
    virtual HRESULT putref_Font(IDispatch* pFont) = 0;        // -512
    virtual HRESULT put_Font(IDispatch* pFont) = 0;
    virtual HRESULT get_Font(IDispatch** ppFont) = 0;
    virtual HRESULT put_TabStop(VARIANT_BOOL vbool) = 0;      // -516
    virtual HRESULT get_TabStop(VARIANT_BOOL* pbool) = 0;
    virtual HRESULT put_Text(BSTR strText) = 0;               // -517
    virtual HRESULT get_Text(BSTR* pstrText) = 0;
    virtual HRESULT get_Script(BSTR* pVal) = 0;               // 1
    virtual HRESULT put_Script(BSTR newVal) = 0;
    virtual HRESULT Parse() = 0;                              // 2
    virtual HRESULT get_TypeScript(LONG* pVal) = 0;           // 3
    virtual HRESULT put_TypeScript(LONG newVal) = 0;
    virtual HRESULT GoToFunction(BSTR prefix, BSTR bstrFunc) = 0;         // 4
    virtual HRESULT ColorizeLine(LONG line, LONG pos, ULONG color) = 0;   // 5
    // Writes 1 when the text read last differs from the text put last, else 0.
    virtual HRESULT CompareState(LONG* IsNewScript) = 0;                  // 6
    virtual HRESULT ScriptAdd(BSTR newVal) = 0;                           // 7
    // Whether the margin shows line numbers (it does unless turned off).
    virtual HRESULT get_LineNumbers(VARIANT_BOOL* pVal) = 0;              // 8
    virtual HRESULT put_LineNumbers(VARIANT_BOOL newVal) = 0;
    // Marks a line (from 0) as the last error's in the margin, the message
    // as its tooltip; a line that is not there removes the mark. Setting
    // the script, adding to it or Parse remove it too.
    virtual HRESULT MarkError(LONG line, BSTR message) = 0;               // 9
    // Whether typing a dot after a known object, or Ctrl+Space, offers
    // completions (it does unless turned off).
    virtual HRESULT get_Completion(VARIANT_BOOL* pVal) = 0;               // 10
    virtual HRESULT put_Completion(VARIANT_BOOL newVal) = 0;
    // What completion offers: one entry a line, "object<TAB>name<TAB>call
    // form<TAB>description"; an empty object makes a word that stands
    // anywhere.
    virtual HRESULT get_CompletionList(BSTR* pVal) = 0;                   // 11
    virtual HRESULT put_CompletionList(BSTR newVal) = 0;
    // Whether Enter keeps the indentation and Tab/Shift+Tab indent and
    // outdent selected lines (they do unless turned off).
    virtual HRESULT get_SmartIndent(VARIANT_BOOL* pVal) = 0;              // 12
    virtual HRESULT put_SmartIndent(VARIANT_BOOL newVal) = 0;

protected:
    ~IxParse() = default;
};
