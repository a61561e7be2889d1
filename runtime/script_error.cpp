// The error object an engine hands to its site's OnScriptError.
#include "runtime/activscp.h"
#include "runtime/bstr.h"
#include "runtime/object.h"

namespace qrt {
namespace {

class ScriptError final : public ComObject<IActiveScriptError> {
public:
    explicit ScriptError(ScriptErrorInfo info) : m_info(std::move(info)) {}

    HRESULT GetExceptionInfo(EXCEPINFO* out) override {
        if (!out) return E_POINTER;
        *out = EXCEPINFO{};
        out->scode = m_info.scode;
        out->bstrSource = allocBstr(m_info.source);
        out->bstrDescription = allocBstr(m_info.description);
        return S_OK;
    }
    HRESULT GetSourcePosition(DWORD* context, ULONG* line, LONG* column) override {
        if (context) *context = m_info.sourceContext;
        if (line) *line = m_info.line;
        if (column) *column = m_info.column;
        return S_OK;
    }
    HRESULT GetSourceLineText(BSTR* text) override {
        if (!text) return E_POINTER;
        *text = allocBstr(m_info.lineText);
        return S_OK;
    }

private:
    ScriptErrorInfo m_info;
};

}  // namespace

ComPtr<IActiveScriptError> createScriptError(ScriptErrorInfo info) {
    return create<ScriptError>(std::move(info));
}

}  // namespace qrt
