// One Duktape heap running one engine's scripts: compiling and running the
// chunks of script text, the global names of the host's named items, calls
// from the host into script functions, and stopping a running script.
#pragma once

#include "engines/jscript/conditional_compilation.h"
#include "engines/jscript/duk_bridge.h"
#include "engines/jscript/member_spellings.h"
#include "runtime/poll_ticker.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace jscript {

// What the runtime needs from its engine.
class RuntimeHost {
public:
    virtual HRESULT namedItem(std::u16string_view name, qrt::ComPtr<IDispatch>& out) = 0;
    virtual void scriptError(qrt::ScriptErrorInfo info) = 0;
    virtual void enterScript() = 0;
    virtual void leaveScript() = 0;
    // Asked every so often during a run when polling is on: false stops
    // the script ("Script stopped by the user").
    virtual bool queryContinue() { return true; }

protected:
    ~RuntimeHost() = default;
};

// Lets objects handed out by the runtime (script objects, the script
// dispatch) find out whether it still exists.
struct RuntimeLink {
    DukRuntime* runtime = nullptr;
};

class DukRuntime {
public:
    explicit DukRuntime(RuntimeHost& host);
    ~DukRuntime();
    DukRuntime(const DukRuntime&) = delete;
    DukRuntime& operator=(const DukRuntime&) = delete;

    duk_context* context() const { return m_ctx; }
    RuntimeHost& host() const { return m_host; }
    const std::shared_ptr<RuntimeLink>& link() const { return m_link; }

    // Defines name as a global that reads the host's named item.
    HRESULT addNamedItem(std::u16string_view name);
    bool isNamedItem(std::u16string_view name) const;
    // The line of the script statement running now (in the numbering the
    // text was given with), 0 when none is running. Only while the script
    // has called out of the engine, on the engine's own thread.
    ULONG currentLine();

    // Compiles a chunk of script text; a syntax error is reported to the host
    // and gives SCRIPT_E_REPORTED. The chunk then runs at once when runNow,
    // else waits for runPending().
    HRESULT parse(std::u16string_view code, ULONG startLine, DWORD_PTR cookie, bool expression, bool runNow,
                  VARIANT* result);
    HRESULT runPending();

    // Global names as the script dispatch sees them.
    struct GlobalFunction {
        std::u16string name;
        int parameterCount = 0;
    };
    std::vector<GlobalFunction> globalFunctions();
    bool hasGlobal(std::u16string_view name);

    // Calls from the host: on the global object (object id 0) or on a script
    // object handed out earlier. Errors in an outermost call are reported to
    // the host (SCRIPT_E_REPORTED); in a nested call they fill excep
    // (DISP_E_EXCEPTION) so that the calling script sees an exception.
    HRESULT invoke(int objectId, std::u16string_view name, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep);

    // Script objects kept alive for a host.
    int keepObject(duk_context* ctx, duk_idx_t idx);
    void releaseObject(int objectId);
    bool objectHas(int objectId, std::u16string_view name);  // 0: the global object

    // From any thread: the running script ends with an error.
    void requestInterrupt(HRESULT code, std::u16string description);
    bool running() const { return m_depth > 0; }
    // While on, every outermost run asks the host's queryContinue about
    // every 100 ms.
    void setPolling(bool on) { m_polling = on; }

    // The spellings of names the script text uses (member_spellings.h).
    MemberSpellings& spellings() { return m_spellings; }

    // Remembers where a value without a position of its own was thrown.
    void recordThrow(duk_context* ctx);

private:
    struct Chunk {
        std::u16string text;
        ULONG startLine = 1;
        DWORD_PTR cookie = 0;
    };
    class Entry;
    friend class Entry;

    // Runs fn under protection; on error reports or records it.
    HRESULT protectedCall(const std::function<void(duk_context*)>& fn, EXCEPINFO* excep, bool compile);
    qrt::ScriptErrorInfo errorInfo(const CaughtError& error, bool compile) const;

    RuntimeHost& m_host;
    HeapData m_heapData;
    duk_context* m_ctx = nullptr;
    std::shared_ptr<RuntimeLink> m_link;
    std::vector<Chunk> m_chunks;
    std::vector<std::u16string> m_namedItems;
    int m_pending = 0;  // chunks compiled but not run, stored in the stash
    std::atomic<int> m_depth{0};
    int m_nextObjectId = 1;
    HRESULT m_interruptCode = E_ABORT;
    std::u16string m_interruptDescription;
    ConditionalCompiler m_conditional;
    MemberSpellings m_spellings;
    std::string m_throwFile;
    int m_throwLine = 0;
    bool m_polling = false;
    // Declared last: destroyed first, so that no tick reaches a dying heap.
    std::unique_ptr<qrt::PollTicker> m_ticker;
};

}  // namespace jscript
