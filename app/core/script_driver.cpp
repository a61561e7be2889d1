#include "app/core/script_driver.h"

#include "app/core/run_control.h"

#include "runtime/activation.h"
#include "runtime/bstr.h"
#include "runtime/safearray.h"
#include "runtime/text.h"
#include "runtime/typeinfo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quillan {
namespace {

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

// The largest script file read: far beyond any real script, and a bound for
// endless sources such as /dev/zero.
constexpr std::size_t kMaxScriptBytes = std::size_t(256) << 20;

// Reads the whole file: regular files, pipes, terminals and other streams
// alike, until their end. Sets reason on failure.
HRESULT readWhole(int fd, std::string& bytes, std::string& reason) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        reason = std::strerror(errno);
        return HRESULT_FROM_ERRNO(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        reason = std::strerror(EISDIR);
        return HRESULT_FROM_ERRNO(EISDIR);
    }
    if (S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) <= kMaxScriptBytes)
        bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            reason = std::strerror(errno);
            return HRESULT_FROM_ERRNO(errno);
        }
        if (n == 0) return S_OK;
        if (bytes.size() + static_cast<std::size_t>(n) > kMaxScriptBytes) {
            reason = "the script is larger than 256 MB";
            return E_OUTOFMEMORY;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace

CScriptDriver::~CScriptDriver() {
    if (m_engine) runControl().detach(m_engine.get());
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
    runControl().attach(m_engine.get());
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
    const HRESULT hr = m_engine->Close();
    if (SUCCEEDED(hr)) runControl().detach(m_engine.get());
    return hr;
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
    m_loadError.clear();
    if (!m_engine) return E_UNEXPECTED;
    if (!path) return E_POINTER;
    m_sourceFile = path;
    // Read without any lock: other runs of the same script, or an editor
    // holding the file, must not keep it from running.
    const std::string fileName = qrt::encodeUtf8(path);
    FileHandle file(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        const int err = errno;
        m_loadError = std::strerror(err);
        return HRESULT_FROM_ERRNO(err);
    }
    std::string bytes;
    const HRESULT hr = readWhole(file.get(), bytes, m_loadError);
    if (FAILED(hr)) return hr;
    return parse(qrt::decodeText(bytes));
}

HRESULT CScriptDriver::ParseText(LPCOLESTR text) {
    if (!m_engine) return E_UNEXPECTED;
    // Through the ANSI code page and back, exactly as text from a file.
    const std::string bytes = qrt::encodeUtf8(text ? std::u16string_view(text) : std::u16string_view());
    return parse(qrt::decodeAnsi(bytes));
}

HRESULT CScriptDriver::parse(const std::u16string& text) {
    // The engines take the text up to its first zero character; the rest
    // of the script must not silently vanish.
    if (const std::size_t zero = text.find(u'\0'); zero != std::u16string::npos) {
        const std::size_t lineStart = text.rfind(u'\n', zero);
        ScriptErrorReport report;
        report.source = u"Quillan";
        report.description =
            u"Invalid character: the script contains a zero byte (is it a binary file, or text in an encoding "
            u"other than UTF-8, Windows-1252 or UTF-16 with a byte-order mark?)";
        report.line = 1 + static_cast<long>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(zero), u'\n'));
        report.position = static_cast<long>(lineStart == std::u16string::npos ? zero : zero - lineStart - 1);
        report.file = m_sourceFile;
        reportError(report);
        return SCRIPT_E_REPORTED;
    }
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
HRESULT CScriptDriver::OnEnterScript() {
    if (m_runDepth++ == 0) ui().scriptRunStarted();
    return S_OK;
}

HRESULT CScriptDriver::QueryContinue() { return ui().queryContinue() ? S_OK : S_FALSE; }

HRESULT CScriptDriver::QueryInterface(REFIID iid, void** out) {
    if (out && iid == IActiveScriptSiteInterruptPoll::IID && !ui().wantsPolling()) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    return ComObject::QueryInterface(iid, out);
}

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
HRESULT CScriptDriver::OnLeaveScript() {
    if (m_runDepth > 0 && --m_runDepth == 0) ui().scriptRunEnded();
    return S_OK;
}

HRESULT CScriptDriver::OnScriptError(IActiveScriptError* error) {
    // A retired host's script was stopped because another script replaced
    // it; that stop is no error of the user's.
    if (m_retired) return S_OK;
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
    report.file = m_sourceFile;
    qrt::clearExcepInfo(&info);
    reportError(report);
    return S_OK;
}

void CScriptDriver::reportWarning(std::u16string text) {
    ScriptWarning warning;
    warning.text = std::move(text);
    warning.file = m_sourceFile;
    qrt::ComPtr<IScriptPosition> position;
    ULONG line = 0;
    if (m_engine && SUCCEEDED(m_engine.as(position)) && position && position->GetCurrentLine(&line) == S_OK)
        warning.line = static_cast<long>(line);
    ui().showScriptWarning(warning);
}

void CScriptDriver::reportError(const ScriptErrorReport& report) {
    forgetLastError();
    ScriptUi& reporter = ui();
    reporter.showScriptError(report);  // modal: the script waits

    m_errorDescription = qrt::allocBstr(report.description);
    m_errorSource = qrt::allocBstr(report.source);
    m_errorLine = static_cast<LONG>(report.line);
    m_errorPosition = static_cast<LONG>(report.position);

    // A listener may remove itself (or others) while it runs: walk a copy.
    const auto listeners = m_errorListeners;
    qrt::ComPtr<CScriptDriver> keepAlive(this);
    for (const auto& [cookie, listener] : listeners) {
        if (listener) listener(*this);
    }
    reporter.focusScriptEditor();
}

}  // namespace quillan
