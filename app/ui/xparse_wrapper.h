// CXparse1: the program's wrapper of the script editor control. Like the
// graph control, the editor is called only through its dispatch interface,
// by dispatch identifier.
#pragma once

#include "app/core/dispatch_wrapper.h"

#include <string>

namespace quillan::ui {

// Dispatch identifiers of the editor control's members.
namespace xparse {
constexpr DISPID Script = 1, Parse = 2, TypeScript = 3, GoToFunction = 4, ColorizeLine = 5, CompareState = 6,
                 ScriptAdd = 7, LineNumbers = 8, MarkError = 9, Completion = 10, CompletionList = 11,
                 SmartIndent = 12;
// Language codes of TypeScript.
constexpr LONG JScript = 1, VBScript = 2;
}  // namespace xparse

class CXparse1 : public DispatchWrapper {
public:
    using DispatchWrapper::DispatchWrapper;

    // The editor's text; empty when the control cannot give it.
    std::u16string script() const;
    HRESULT setScript(std::u16string_view text) const;
    // Colours the whole text again.
    HRESULT parse() const;
    HRESULT setTypeScript(LONG language) const;
    HRESULT goToFunction(std::u16string_view prefix, std::u16string_view name) const;
    // line counts from 0; colour is a colour reference (0x00BBGGRR).
    HRESULT colorizeLine(LONG line, LONG position, ULONG colour) const;
    // Whether the text differs from the text last put into the editor.
    bool changed() const;
    HRESULT scriptAdd(std::u16string_view text) const;
    // Whether the editor's margin numbers the lines.
    bool lineNumbers() const;
    HRESULT setLineNumbers(bool shown) const;
    // Marks the line (from 0) of an error in the margin, the message as its tooltip.
    HRESULT markError(LONG line, std::u16string_view message) const;
    // Completion on a dot and Ctrl+Space, and what it offers (lines of
    // "object<TAB>name<TAB>call form<TAB>description").
    HRESULT setCompletion(bool on) const;
    HRESULT setCompletionList(std::u16string_view list) const;
    // Enter keeping the indentation, Tab/Shift+Tab on selected lines.
    HRESULT setSmartIndent(bool on) const;
};

}  // namespace quillan::ui
