#include "engines/vbscript/engine.h"

#include "engines/vbscript/coerce.h"
#include "engines/vbscript/compiler.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/parser.h"
#include "engines/vbscript/script_dispatch.h"


#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace vbs {

namespace {

const char16_t* const kCompileSource = kCompileErrorSource;
const char16_t* const kRuntimeSource = kRuntimeErrorSource;

ScriptError outOfMemory() {
    ScriptError e;
    e.scode = errorStatus(err::OutOfMemory);
    e.description = errorText(err::OutOfMemory);
    return e;
}

}  // namespace

ScriptEngine::ScriptEngine() : m_interp(std::make_unique<Interpreter>(m_globals)) {
    m_interp->setItemLoader([this](const std::u16string& name) { return loadNamedItem(name); });
    m_interp->setPoll([this]() {
        qrt::ComPtr<IActiveScriptSiteInterruptPoll> poll = m_pollSite;
        return !poll || poll->QueryContinue() != S_FALSE;
    });
    m_interp->setSiteSource([this]() -> IUnknown* { return m_site.get(); });
    m_interp->setHostRunner([this](Procedure& proc, ClassInstance* self, const Value* args, int argc, Value* result,
                                   ScriptError* failure) { return run(proc, args, argc, result, failure, self); });
}

ScriptEngine::~ScriptEngine() { releaseAll(); }

HRESULT ScriptEngine::create(REFIID iid, void** out) { return qrt::createInstance<ScriptEngine>(iid, out); }

void ScriptEngine::releaseAll() {
    // Objects the globals hold go first, their Class_Terminate still able to run.
    m_interp->releaseGlobals();
    m_ticker.reset();
    m_interp->detach();
    m_pending.clear();
    m_procOrder.clear();
    m_globals.clear();
    m_pollSite.reset();
    m_site.reset();
}

void ScriptEngine::changeState(SCRIPTSTATE state) {
    if (m_state == state) return;
    m_state = state;
    if (m_site) m_site->OnStateChange(state);
}

// ---- IActiveScript ------------------------------------------------------

HRESULT ScriptEngine::SetScriptSite(IActiveScriptSite* site) {
    if (!site) return E_POINTER;
    if (m_state == SCRIPTSTATE_CLOSED) return E_UNEXPECTED;
    if (m_site) return E_UNEXPECTED;
    m_site = site;
    m_pollSite = m_site.as<IActiveScriptSiteInterruptPoll>();
    if (m_state == SCRIPTSTATE_UNINITIALIZED) changeState(SCRIPTSTATE_INITIALIZED);
    return S_OK;
}

HRESULT ScriptEngine::GetScriptSite(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!m_site) return S_FALSE;
    return m_site->QueryInterface(iid, out);
}

HRESULT ScriptEngine::SetScriptState(SCRIPTSTATE state) {
    if (m_state == SCRIPTSTATE_CLOSED) return E_UNEXPECTED;
    switch (state) {
    case SCRIPTSTATE_STARTED:
    case SCRIPTSTATE_CONNECTED:
        if (!m_site) return E_UNEXPECTED;
        changeState(state);
        return runPending();
    case SCRIPTSTATE_DISCONNECTED:
    case SCRIPTSTATE_INITIALIZED:
        if (!m_site) return E_UNEXPECTED;
        changeState(state);
        return S_OK;
    case SCRIPTSTATE_UNINITIALIZED:
        changeState(state);
        return S_OK;
    case SCRIPTSTATE_CLOSED: return Close();
    }
    return E_INVALIDARG;
}

HRESULT ScriptEngine::GetScriptState(SCRIPTSTATE* state) {
    if (!state) return E_POINTER;
    *state = m_state;
    return S_OK;
}

HRESULT ScriptEngine::Close() {
    // Not while a script runs (a host call from the script closing its own
    // engine): the host interrupts the script and closes it afterwards.
    if (m_interp->running()) return E_UNEXPECTED;
    if (m_state == SCRIPTSTATE_CLOSED) return S_OK;
    qrt::ComPtr<IActiveScriptSite> site = m_site;
    m_state = SCRIPTSTATE_CLOSED;
    if (site) site->OnStateChange(SCRIPTSTATE_CLOSED);
    releaseAll();
    return S_OK;
}

HRESULT ScriptEngine::AddNamedItem(LPCOLESTR name, DWORD flags) {
    if (!name || !*name) return E_INVALIDARG;
    if (m_state == SCRIPTSTATE_CLOSED) return E_UNEXPECTED;
    try {
        std::u16string folded = foldName(name);
        std::int32_t g = m_globals.find(folded);
        if (g >= 0) {
            if (m_globals.entry(g).kind != Globals::Kind::NamedItem) return E_INVALIDARG;
        } else {
            g = m_globals.add(name, std::move(folded), Globals::Kind::NamedItem);
        }
        if ((flags & SCRIPTITEM_GLOBALMEMBERS) && m_globals.defaultItem() < 0) m_globals.setDefaultItem(g);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ScriptEngine::GetScriptDispatch(LPCOLESTR itemName, IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (m_state == SCRIPTSTATE_CLOSED) return E_UNEXPECTED;
    if (itemName && *itemName) return E_INVALIDARG;
    return createScriptDispatch(this, out);
}

HRESULT ScriptEngine::InterruptScriptThread(SCRIPTTHREADID thread, const EXCEPINFO* excep, DWORD) {
    if (thread != SCRIPTTHREADID_ALL && thread != SCRIPTTHREADID_BASE && thread != SCRIPTTHREADID_CURRENT) {
        return E_INVALIDARG;
    }
    ScriptError e;
    e.scode = excep && excep->scode ? excep->scode : E_ABORT;
    if (excep && excep->bstrDescription) e.description = qrt::bstrView(excep->bstrDescription);
    if (e.description.empty()) e.description = u"The script was stopped";
    if (excep && excep->bstrSource) e.source = qrt::bstrView(excep->bstrSource);
    m_interp->setInterruptError(std::move(e));
    m_interp->requestInterrupt();
    return S_OK;
}

HRESULT ScriptEngine::GetCurrentLine(ULONG* line) {
    if (!line) return E_POINTER;
    *line = m_interp ? m_interp->currentLine() : 0;
    return *line ? S_OK : S_FALSE;
}

// ---- IActiveScriptParse -------------------------------------------------

HRESULT ScriptEngine::InitNew() {
    if (m_state == SCRIPTSTATE_CLOSED) return E_UNEXPECTED;
    if (m_site && m_state == SCRIPTSTATE_UNINITIALIZED) changeState(SCRIPTSTATE_INITIALIZED);
    return S_OK;
}

HRESULT ScriptEngine::ParseScriptText(LPCOLESTR code, LPCOLESTR, IUnknown*, LPCOLESTR, DWORD_PTR cookie,
                                      ULONG startingLine, DWORD flags, VARIANT* result, EXCEPINFO* excep) {
    if (result) VariantInit(result);
    if (excep) *excep = EXCEPINFO{};
    if (m_state == SCRIPTSTATE_CLOSED || m_state == SCRIPTSTATE_UNINITIALIZED || !m_site) return E_UNEXPECTED;
    std::shared_ptr<SourceInfo> source;
    try {
        source = std::make_shared<SourceInfo>();
        source->text = code ? std::u16string(code) : std::u16string();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    source->startingLine = startingLine;
    source->context = static_cast<DWORD>(cookie);

    std::shared_ptr<Procedure> globalCode;
    std::vector<std::int32_t> newProcs;
    try {
        if (flags & SCRIPTTEXT_ISEXPRESSION) {
            ExprPtr expr = parseExpression(source->text);
            globalCode = compileExpression(*expr, m_globals, source);
        } else {
            Program program = parseProgram(source->text);
            CompiledChunk chunk = compileProgram(program, m_globals, source);
            globalCode = std::move(chunk.globalCode);
            for (const auto& proc : chunk.procedures) {
                std::int32_t g = m_globals.find(foldName(proc->name));
                if (std::find(m_procOrder.begin(), m_procOrder.end(), g) == m_procOrder.end()) m_procOrder.push_back(g);
            }
        }
    } catch (ScriptError& e) {
        e.where = source;
        e.compile = true;
        report(e);
        return SCRIPT_E_REPORTED;
    } catch (const std::bad_alloc&) {
        report(outOfMemory());
        return SCRIPT_E_REPORTED;
    } catch (const std::length_error&) {
        report(outOfMemory());
        return SCRIPT_E_REPORTED;
    }

    if (flags & SCRIPTTEXT_ISEXPRESSION) {
        Value value;
        if (!run(*globalCode, nullptr, 0, &value, nullptr)) return SCRIPT_E_REPORTED;
        if (result) {
            try {
                toVariant(value, *result);
            } catch (const ScriptError&) {
                return DISP_E_TYPEMISMATCH;
            }
        }
        return S_OK;
    }
    if (!started() || (flags & SCRIPTTEXT_DELAYEXECUTION)) {
        m_pending.push_back(std::move(globalCode));
        return S_OK;
    }
    return run(*globalCode, nullptr, 0, nullptr, nullptr) ? S_OK : SCRIPT_E_REPORTED;
}

// ---- running --------------------------------------------------------------

HRESULT ScriptEngine::runPending() {
    while (!m_pending.empty() && started()) {
        std::shared_ptr<Procedure> code = std::move(m_pending.front());
        m_pending.erase(m_pending.begin());
        if (!run(*code, nullptr, 0, nullptr, nullptr)) {
            m_pending.clear();
            return SCRIPT_E_REPORTED;
        }
    }
    return S_OK;
}

bool ScriptEngine::run(Procedure& proc, const Value* args, int argc, Value* result, ScriptError* failure,
                       ClassInstance* self) {
    // Keep the engine alive while the script may call back into its host.
    qrt::ComPtr<ScriptEngine> keepAlive(this);
    qrt::ComPtr<IActiveScriptSite> site = m_site;
    // A request to stop holds until a run has acted on it and ended, so
    // that one arriving just before a run, or between two blocks of pending
    // code, is not lost.
    const bool outermost = !m_interp->running();
    if (outermost && m_pollSite) {
        if (!m_ticker) m_ticker = std::make_unique<qrt::PollTicker>([interp = m_interp.get()] { interp->requestPoll(); });
        m_ticker->runStarted();
    }
    if (site) site->OnEnterScript();
    bool ok = true;
    try {
        Value r = m_interp->call(proc, args, argc, self);
        if (result) *result = std::move(r);
    } catch (ScriptError& e) {
        ok = false;
        if (failure) *failure = e;
        else report(e);
    } catch (const std::bad_alloc&) {
        ok = false;
        if (failure) *failure = outOfMemory();
        else report(outOfMemory());
    }
    if (outermost) {
        if (m_ticker) m_ticker->runEnded();
        m_interp->finishRun();
    }
    if (site) site->OnLeaveScript();
    return ok;
}

void ScriptEngine::report(const ScriptError& e) {
    if (!m_site) return;
    qrt::ScriptErrorInfo info;
    info.source = !e.source.empty() ? e.source : std::u16string(e.compile ? kCompileSource : kRuntimeSource);
    info.description = reportText(e);
    info.scode = e.scode;
    if (e.where) {
        info.line = e.where->startingLine + e.line;
        info.column = static_cast<LONG>(e.column);
        info.lineText = e.where->lineText(e.line);
        info.sourceContext = e.where->context;
    }
    qrt::ComPtr<IActiveScriptError> error = qrt::createScriptError(std::move(info));
    qrt::ComPtr<IActiveScriptSite> site = m_site;
    if (error) site->OnScriptError(error.get());
}

Value ScriptEngine::loadNamedItem(const std::u16string& name) {
    if (!m_site) raise(err::ObjectRequired, name);
    qrt::ComPtr<IUnknown> unknown;
    HRESULT hr = m_site->GetItemInfo(name.c_str(), SCRIPTINFO_IUNKNOWN, unknown.out(), nullptr);
    if (FAILED(hr) || !unknown) raise(err::ObjectRequired, name);
    qrt::ComPtr<IDispatch> dispatch = unknown.as<IDispatch>();
    if (!dispatch) raise(err::NoAutomation, name);
    return Value::attachObject(dispatch.detach());
}

// ---- the script dispatch ----------------------------------------------------

std::vector<std::shared_ptr<Procedure>> ScriptEngine::publicProcedures() const {
    std::vector<std::shared_ptr<Procedure>> out;
    for (std::int32_t g : m_procOrder) {
        const Globals::Entry& e = m_globals.entry(g);
        if (e.kind == Globals::Kind::Procedure && e.proc && !e.isPrivate) out.push_back(e.proc);
    }
    return out;
}

HRESULT ScriptEngine::globalIdOfName(std::u16string_view name, DISPID* id) {
    *id = DISPID_UNKNOWN;
    if (closed()) return E_UNEXPECTED;
    std::int32_t g = m_globals.find(foldName(name));
    if (g < 0) return DISP_E_UNKNOWNNAME;
    const Globals::Entry& e = m_globals.entry(g);
    switch (e.kind) {
    case Globals::Kind::Procedure:
        if (!e.proc || e.isPrivate) return DISP_E_UNKNOWNNAME;
        break;
    case Globals::Kind::NamedItem: return DISP_E_UNKNOWNNAME;
    default: break;
    }
    *id = dispidOf(g);
    return S_OK;
}

HRESULT ScriptEngine::invokeGlobal(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep) {
    if (closed()) return E_UNEXPECTED;
    const std::int32_t g = id - 1;
    if (g < 0 || g >= m_globals.size()) return DISP_E_MEMBERNOTFOUND;
    Globals::Entry& entry = m_globals.entry(g);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (!params) params = &none;
    if (result) VariantInit(result);

    try {
        if (entry.kind == Globals::Kind::Variable || entry.kind == Globals::Kind::Constant) {
            if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
                if (entry.kind == Globals::Kind::Constant) return DISP_E_MEMBERNOTFOUND;
                if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
                Value v = fromVariant(params->rgvarg[0]);
                if ((flags & DISPATCH_PROPERTYPUTREF) && !v.isObject()) return DISP_E_TYPEMISMATCH;
                m_globals.value(g) = std::move(v);
                return S_OK;
            }
            if (params->cArgs != 0) {
                const Value& held = m_globals.value(g);
                if (!held.isArray()) return DISP_E_BADPARAMCOUNT;
                std::vector<Value> index;
                for (UINT i = params->cArgs; i-- > 0;) index.push_back(fromVariant(params->rgvarg[i]));
                const ArrayBody* a = held.arr();
                if (index.size() != a->bounds.size()) return DISP_E_BADINDEX;
                std::size_t offset = 0, scale = 1;
                for (std::size_t d = 0; d < index.size(); ++d) {
                    std::int64_t i = static_cast<std::int64_t>(toLong(index[d])) - a->bounds[d].lower;
                    if (i < 0 || i >= a->bounds[d].count) return DISP_E_BADINDEX;
                    offset += static_cast<std::size_t>(i) * scale;
                    scale *= static_cast<std::size_t>(a->bounds[d].count);
                }
                if (result) toVariant(a->data[offset], *result);
                return S_OK;
            }
            if (result) toVariant(m_globals.value(g), *result);
            return S_OK;
        }
        if (entry.kind != Globals::Kind::Procedure || !entry.proc) return DISP_E_MEMBERNOTFOUND;
        if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
        if (params->cNamedArgs) return DISP_E_NONAMEDARGS;
        std::shared_ptr<Procedure> proc = entry.proc;
        return m_interp->invokeForHost(*proc, nullptr, params, result, excep);
    } catch (const ScriptError&) {
        return DISP_E_TYPEMISMATCH;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace vbs
