#include "app/core/script_driver.h"

#include "runtime/activation.h"
#include "runtime/bstr.h"
#include "runtime/safearray.h"
#include "runtime/text.h"
#include "runtime/typeinfo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillan {
namespace {

// The status made from a system error code of the original platform:
// ERROR_HANDLE_EOF (38) for a file shorter than its size said.
constexpr HRESULT kHandleEof = static_cast<HRESULT>(0x80070026);

// An open file descriptor that closes itself.
class FileHandle {
public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Script text as the engines get it: the bytes up to the first zero byte,
// decoded as the ANSI code page (UTF-8, with Windows-1252 for bytes that are
// not UTF-8).
std::u16string decodeScript(const std::string& bytes) {
    return qrt::decodeAnsi(std::string_view(bytes.c_str(), std::strlen(bytes.c_str())));
}

}  // namespace

CScriptDriver::~CScriptDriver() {
    forgetLastError();
    m_namedItems.clear();
    m_scriptDispatch.reset();
    m_engine.reset();  // its owner has closed it
}

int CScriptDriver::AddErrorListener(ErrorListener listener) {
    const int cookie = m_nextListener++;
    m_errorListeners.emplace_front(cookie, std::move(listener));
    return cookie;
}

void CScriptDriver::RemoveErrorListener(int cookie) {
    m_errorListeners.remove_if([cookie](const auto& entry) { return entry.first == cookie; });
}

void CScriptDriver::forgetLastError() {
    m_errorLine = -1;
    m_errorPosition = -1;
    SysFreeString(m_errorDescription);
    SysFreeString(m_errorSource);
    m_errorDescription = nullptr;
    m_errorSource = nullptr;
}

// --- IScriptDriver ---------------------------------------------------------

HRESULT CScriptDriver::CreateEngine(REFCLSID classId) {
    if (m_engine) return E_UNEXPECTED;
    qrt::ComPtr<IActiveScript> engine;
    HRESULT hr = CoCreateInstance(classId, nullptr, CLSCTX_ALL, IActiveScript::IID, engine.outVoid());
    if (FAILED(hr)) return hr;
    if (!engine) return E_NOINTERFACE;
    m_engine = engine;
    return m_engine->SetScriptSite(static_cast<IActiveScriptSite*>(this));
}

HRESULT CScriptDriver::Run() {
    m_functionNames.clear();
    if (!m_engine) return E_UNEXPECTED;
    HRESULT hr = m_engine->SetScriptState(SCRIPTSTATE_CONNECTED);
    if (FAILED(hr)) return hr;
    m_scriptDispatch.reset();
    hr = m_engine->GetScriptDispatch(nullptr, m_scriptDispatch.out());
    if (FAILED(hr)) return hr;
    if (!m_scriptDispatch) return E_UNEXPECTED;

    // The script's callable functions: dispatch methods without parameters.
    qrt::ComPtr<ITypeInfo> info;
    hr = m_scriptDispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.out());
    if (FAILED(hr)) return hr;
    if (!info) return E_UNEXPECTED;
    TYPEATTR* attr = nullptr;
    hr = info->GetTypeAttr(&attr);
    if (FAILED(hr)) return hr;
    const WORD count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC* desc = nullptr;
        hr = info->GetFuncDesc(i, &desc);
        if (FAILED(hr)) return hr;
        const bool callable = desc->funckind == FUNC_DISPATCH && desc->invkind == INVOKE_FUNC && desc->cParams == 0 &&
                              desc->cParamsOpt == 0;
        if (callable) {
            BSTR name = nullptr;
            UINT names = 0;
            hr = info->GetNames(desc->memid, &name, 1, &names);
            if (SUCCEEDED(hr) && names == 1) m_functionNames.emplace_back(qrt::bstrView(name));
            SysFreeString(name);
        }
        info->ReleaseFuncDesc(desc);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CScriptDriver::Close() {
    if (!m_engine) return E_UNEXPECTED;
    m_scriptDispatch.reset();
    return m_engine->Close();
}

HRESULT CScriptDriver::GetEngine(IActiveScript** engine) {
    if (!m_engine) return E_UNEXPECTED;
    if (!engine) return E_POINTER;
    return m_engine.copyTo(engine);
}

HRESULT CScriptDriver::GetScriptDispatch(IDispatch** dispatch) {
    if (!m_engine) return E_UNEXPECTED;
    if (!m_scriptDispatch) {
        HRESULT hr = m_engine->GetScriptDispatch(nullptr, m_scriptDispatch.out());
        if (FAILED(hr)) return hr;
    }
    if (!dispatch) return E_POINTER;
    return m_scriptDispatch.copyTo(dispatch);
}

HRESULT CScriptDriver::LoadFile(LPCOLESTR path) {
    if (!m_engine) return E_UNEXPECTED;
    if (!path) return E_POINTER;
    const std::string fileName = qrt::encodeUtf8(path);
    FileHandle file(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return HRESULT_FROM_ERRNO(errno);
    // Nobody else may hold the file while it is read.
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) return HRESULT_FROM_ERRNO(errno);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return HRESULT_FROM_ERRNO(errno);
    if (S_ISDIR(info.st_mode)) return HRESULT_FROM_ERRNO(EISDIR);

    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(file.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return HRESULT_FROM_ERRNO(errno);
        }
        if (n == 0) return kHandleEof;
        done += static_cast<std::size_t>(n);
    }
    return parse(decodeScript(bytes));
}

HRESULT CScriptDriver::ParseText(LPCOLESTR text) {
    if (!m_engine) return E_UNEXPECTED;
    // Through the ANSI code page and back, exactly as text from a file.
    const std::string bytes = qrt::encodeUtf8(text ? std::u16string_view(text) : std::u16string_view());
    return parse(decodeScript(bytes));
}

HRESULT CScriptDriver::parse(const std::u16string& text) {
    qrt::ComPtr<IActiveScriptParse> parser;
    if (FAILED(m_engine.as(parser)) || !parser) return E_FAIL;
    HRESULT hr = parser->InitNew();
    if (FAILED(hr)) return hr;
    qrt::Variant result;
    EXCEPINFO excep{};
    hr = parser->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, 0, 1,
                                 SCRIPTTEXT_ISVISIBLE | SCRIPTTEXT_ISPERSISTENT, &result, &excep);
    qrt::clearExcepInfo(&excep);  // errors reach the user through OnScriptError
    return hr;
}

HRESULT CScriptDriver::AddNamedItem(LPCOLESTR name, IUnknown* object) {
    if (!m_engine) return E_UNEXPECTED;
    if (!name) return E_POINTER;
    HRESULT hr = m_engine->AddNamedItem(name, SCRIPTITEM_ISVISIBLE | SCRIPTITEM_ISPERSISTENT);
    if (FAILED(hr)) return hr;
    m_namedItems[name] = object;
    return S_OK;
}

HRESULT CScriptDriver::CallFunction(LPCOLESTR name) {
    if (!m_scriptDispatch) return E_FAIL;
    if (!name) return E_POINTER;
    std::u16string copy(name);
    LPOLESTR names[] = {copy.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = m_scriptDispatch->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return m_scriptDispatch->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr,
                                    nullptr);
}

HRESULT CScriptDriver::GetFunctionNames(VARIANT* names) {
    if (!names) return E_POINTER;
    VariantInit(names);
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(m_functionNames.size()));
    if (!array) return E_OUTOFMEMORY;
    auto* slots = static_cast<BSTR*>(array->pvData);
    for (std::size_t i = 0; i < m_functionNames.size(); ++i) slots[i] = qrt::allocBstr(m_functionNames[i]);
    names->vt = VT_ARRAY | VT_BSTR;
    names->parray = array;
    return S_OK;
}

HRESULT CScriptDriver::GetLastError(LONG* line, LONG* position, BSTR* description) {
    if (m_errorLine < 0) return S_FALSE;
    if (!line || !position || !description) return E_POINTER;
    *description = qrt::allocBstr(qrt::bstrView(m_errorDescription));
    *line = m_errorLine;
    *position = m_errorPosition;
    return S_OK;
}

// --- IActiveScriptSite -----------------------------------------------------

HRESULT CScriptDriver::GetLCID(LCID*) { return E_NOTIMPL; }

HRESULT CScriptDriver::GetItemInfo(LPCOLESTR name, DWORD returnMask, IUnknown** item, ITypeInfo** typeInfo) {
    if (!name) return TYPE_E_ELEMENTNOTFOUND;
    auto it = m_namedItems.find(name);
    if (it == m_namedItems.end()) return TYPE_E_ELEMENTNOTFOUND;
    if (returnMask & SCRIPTINFO_IUNKNOWN) {
        if (!item) return TYPE_E_ELEMENTNOTFOUND;
        *item = it->second.get();
        if (*item) (*item)->AddRef();
    }
    if ((returnMask & SCRIPTINFO_ITYPEINFO) && typeInfo) *typeInfo = nullptr;
    return S_OK;
}

HRESULT CScriptDriver::GetDocVersionString(BSTR* version) {
    if (!version) return E_POINTER;
    *version = qrt::allocBstr(std::u16string_view(u"ScriptDriver 1.0"));
    return S_OK;
}

HRESULT CScriptDriver::OnScriptTerminate(const VARIANT*, const EXCEPINFO*) { return S_OK; }
HRESULT CScriptDriver::OnStateChange(SCRIPTSTATE) { return S_OK; }
HRESULT CScriptDriver::OnEnterScript() { return S_OK; }

HRESULT CScriptDriver::MessageBox(LPCOLESTR text, LPCOLESTR title, LONG buttons, LONG* result) {
    if (!result) return E_POINTER;
    *result = ui().messageBox(text ? text : u"", title ? title : u"", buttons);
    return S_OK;
}

HRESULT CScriptDriver::InputBox(LPCOLESTR prompt, LPCOLESTR title, LPCOLESTR defaultText, BSTR* result) {
    if (!result) return E_POINTER;
    std::optional<std::u16string> answer = ui().inputBox(prompt ? prompt : u"", title ? title : u"",
                                                         defaultText ? defaultText : u"");
    *result = answer ? qrt::allocBstr(*answer) : nullptr;
    return S_OK;
}
HRESULT CScriptDriver::OnLeaveScript() { return S_OK; }

HRESULT CScriptDriver::OnScriptError(IActiveScriptError* error) {
    forgetLastError();
    if (!error) return S_OK;
    EXCEPINFO info{};
    if (FAILED(error->GetExceptionInfo(&info))) return S_OK;
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);

    DWORD context = 0;
    ULONG line = 0;
    LONG position = 0;
    if (FAILED(error->GetSourcePosition(&context, &line, &position))) {
        line = 0;
        position = 0;
    }
    ScriptErrorReport report;
    report.source = std::u16string(qrt::bstrView(info.bstrSource));
    report.description = std::u16string(qrt::bstrView(info.bstrDescription));
    report.line = static_cast<long>(line);
    report.position = position;
    ScriptUi& reporter = ui();
    reporter.showScriptError(report);  // modal: the script waits

    m_errorDescription = qrt::allocBstr(report.description);
    m_errorSource = qrt::allocBstr(report.source);
    m_errorLine = static_cast<LONG>(line);
    m_errorPosition = position;
    qrt::clearExcepInfo(&info);

    // A listener may remove itself (or others) while it runs: walk a copy.
    const auto listeners = m_errorListeners;
    qrt::ComPtr<CScriptDriver> keepAlive(this);
    for (const auto& [cookie, listener] : listeners) {
        if (listener) listener(*this);
    }
    reporter.focusScriptEditor();
    return S_OK;
}

}  // namespace quillan
