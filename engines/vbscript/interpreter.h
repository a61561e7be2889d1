// The interpreter: runs procedures on one value stack with a frame per
// call. Script-to-script calls do not recurse in C++; a host that calls back
// into the script while it runs starts a nested run on the same stack.
// Errors are thrown as ScriptError, positioned at the failing instruction.
#pragma once

#include "engines/vbscript/bytecode.h"
#include "engines/vbscript/errors.h"
#include "runtime/object.h"

#include <atomic>
#include <cstdlib>
#include <cassert>
#include <functional>
#include <memory>
#include <mutex>

namespace vbs {

class ClassInstance;
class Interpreter;

// What objects made by the script (class instances, GetRef references, Err)
// hold to reach their interpreter; vm becomes null when the engine closes.
struct EngineLink {
    Interpreter* vm = nullptr;
};

// The Err object's state.
struct ErrState {
    HRESULT scode = S_OK;  // the status behind Number
    std::u16string description, source, helpFile;
    std::int32_t helpContext = 0;
    std::int32_t number() const { return scode == S_OK ? 0 : numberOfStatus(scode); }
    void clear() { *this = ErrState(); }
};

class Interpreter {
public:
    explicit Interpreter(Globals& globals);
    ~Interpreter();
    Interpreter(const Interpreter&) = delete;
    Interpreter& operator=(const Interpreter&) = delete;

    // Runs proc with the given arguments (values, or Refs to the caller's
    // variables for ByRef parameters) and returns its result. self: the
    // object whose method it is.
    Value call(Procedure& proc, const Value* args, int argc, ClassInstance* self = nullptr);

    // How procedures run when a host calls them (class members, GetRef
    // references): the engine brackets the run with its site's notifications
    // and reports an error itself when failure is null.
    using HostRunner = std::function<bool(Procedure& proc, ClassInstance* self, const Value* args, int argc,
                                          Value* result, ScriptError* failure)>;
    void setHostRunner(HostRunner runner) { m_hostRunner = std::move(runner); }
    // A host's IDispatch call of proc: arguments from params (those passed
    // by reference get back what the procedure wrote), the result into
    // result. A failure while the script runs comes back as DISP_E_EXCEPTION
    // with excep filled; otherwise the engine has reported it.
    HRESULT invokeForHost(Procedure& proc, ClassInstance* self, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep);
    // Class_Terminate of an object whose last reference went.
    void runTerminate(Procedure& proc, ClassInstance* self);

    // The Err object, and its members by dispatch identifier (kErr*).
    ErrState& err() { return m_err; }
    IDispatch* errObject();
    Value errMember(DISPID id, WORD flags, Value* args, int argc, const Value* putValue);
    static constexpr DISPID kErrNumber = DISPID_VALUE, kErrDescription = 1, kErrSource = 2, kErrHelpFile = 3,
                            kErrHelpContext = 4, kErrRaise = 5, kErrClear = 6;

    const std::shared_ptr<EngineLink>& link() const { return m_link; }
    // Releases the global variables in order (running Class_Terminate of
    // the objects they held) while the interpreter still works.
    void releaseGlobals();
    // The interpreter no longer runs code for objects the script made.
    void detach();

    // How a named item's object is found the first time the script uses it.
    void setItemLoader(std::function<Value(const std::u16string&)> loader) { m_itemLoader = std::move(loader); }

    // Asks the running script to stop: it ends with `error` at its next
    // backward jump or call. Safe from any thread.
    void requestInterrupt() { m_interrupt.fetch_or(kStopRequested, std::memory_order_release); }
    void clearInterrupt() { m_interrupt.fetch_and(static_cast<std::uint8_t>(~kStopRequested), std::memory_order_release); }
    // Asks the running script to call the poll function at its next check
    // (safe from any thread); the function answers whether it may go on.
    void requestPoll() { m_interrupt.fetch_or(kPollDue, std::memory_order_release); }
    void setPoll(std::function<bool()> poll) { m_poll = std::move(poll); }
    // At the end of an outermost run: a stop request it acted on is spent;
    // one that came too late for it waits for the next run.
    void finishRun() {
        if (m_interruptServed) {
            m_interruptServed = false;
            clearInterrupt();
        }
    }
    void setInterruptError(ScriptError error);
    // For built-ins that loop for long: ends the script when asked to stop.
    void checkInterrupt() {
        if (m_interrupt.load(std::memory_order_relaxed)) serviceInterrupt();
    }
    bool running() const { return m_nativeDepth > 0; }
    // The line (in the numbering the text was given with) of the statement
    // that has called out of the engine, 0 when none has.
    std::uint32_t currentLine() const;

    Globals& globals() { return m_globals; }

    // State of Rnd.
    std::uint32_t rndSeed = 0x50000;
    double lastRnd = 0;
    // The locale of GetLocale and SetLocale.
    std::uint32_t localeId = 1033;

    // The host's site, for built-ins that ask it for services (MsgBox and
    // InputBox); null when there is none.
    void setSiteSource(std::function<IUnknown*()> source) { m_siteSource = std::move(source); }
    IUnknown* site() const { return m_siteSource ? m_siteSource() : nullptr; }

    // Calls a member of a host object: args may hold Refs, whose variables
    // receive what the callee writes. id caching goes through site.
    Value invokeMember(IDispatch* object, MemberSite& site, Value* args, int argc, WORD flags,
                       const Value* putValue = nullptr);

private:
    // How a returning frame leaves its result: in *ret (Value), nowhere
    // (None: a property assignment), or leaving *ret as it is (Keep: New
    // running Class_Initialize).
    enum : std::uint8_t { kRetValue, kRetNone, kRetKeep };
    struct Frame {
        Procedure* proc;
        const Instr* pc;
        Value* base;
        Value* ret;             // where the result goes; below base when an object was called
        ClassInstance* self;    // the object of a method
        Value* outer;           // Execute/Eval: the variables of the frame that ran it
        std::uint8_t retMode;
        bool resumeNext;        // On Error Resume Next is in force
    };
    // The running frames: a stack of fixed capacity (calls past kMaxFrames
    // are refused before a push), pushed and popped inline.
    class FrameStack {
    public:
        void reserve(std::size_t capacity) {
            m_data.reset(new Frame[capacity]);
            m_capacity = capacity;
        }
        std::size_t size() const { return m_size; }
        bool empty() const { return m_size == 0; }
        Frame& back() { return m_data[m_size - 1]; }
        const Frame& back() const { return m_data[m_size - 1]; }
        Frame& operator[](std::size_t i) { return m_data[i]; }
        // The caller has checked size() < kMaxFrames (the capacity is more).
        void push_back(const Frame& frame) {
            assert(m_size < m_capacity);
            m_data[m_size++] = frame;
        }
        void pop_back() { --m_size; }
        void resize(std::size_t n) {  // only ever shrinks
            if (n < m_size) m_size = n;
        }
        void clear() { m_size = 0; }

    private:
        std::unique_ptr<Frame[]> m_data;
        std::size_t m_size = 0;
        std::size_t m_capacity = 0;
    };

    Value execute(std::size_t entryDepth);
    void enterFrame(Procedure* proc, Value* base, int argc);
    void enterMethod(Procedure* proc, Value* base, int argc, ClassInstance* self, Value* ret, std::uint8_t mode);
    [[noreturn]] void throwInterrupt();
    // A stop request ends the script; a due poll asks the host and goes on
    // unless it says stop.
    void serviceInterrupt();
    std::int32_t lookup(NameSite& site);
    Value& loadItem(std::int32_t global);
    // The first free value of the stack for a nested run: above everything
    // the innermost frame may be using.
    Value* nestedBase() const;
    // The variable a loop, Erase, ReDim or indexed store names.
    Value& variable(std::uint16_t kind, std::int32_t slot, const Frame& f);
    Value& siteVariable(NameSite& site, const Frame& f);
    // Member access on one of this interpreter's class objects: a field is
    // read or written at once (returns null; a read leaves its value in
    // out), a method or property returns the procedure to run.
    Procedure* classGet(ClassInstance* object, MemberSite& site, Value* args, int argc, bool statement,
                        const Frame& f, Value& out);
    Procedure* classPut(ClassInstance* object, MemberSite& site, Value* args, int argc, std::uint16_t mode,
                        const Frame& f);
    Procedure* memberProc(ClassInstance* object, std::int32_t member, bool put, std::uint16_t mode, bool statement,
                          Value* args, int argc, Value& out);
    Value newObject(NameSite& site);
    // Eval/Execute/ExecuteGlobal: the text compiled for the running frame.
    Procedure* compileDynamic(Op op, const Value& text, const Frame& f);
    Value makeFunctionRef(const Value& name);
    // On Error Resume Next: finds the frame that handles error e, unwinds
    // to it and returns true with where to go on; false when none does.
    bool handleError(ScriptError& e, std::size_t entryDepth, const Instr* pc, Value* top);
    DISPID errMemberId(MemberSite& site);
    // A container with arguments: an element, or an object's default member
    // (also without arguments when invoke: written with parentheses or as a statement).
    Value indexInto(const Value& container, Value* args, int argc, bool invoke);
    Value indexMemberResult(IDispatch* object, MemberSite& site, Value* args, int argc, WORD flags);
    // Finds what site names on object (whose interface table is vtable):
    // its dispatch identifier, and the member to call directly when the
    // object answers IDispatchDirect. Raises for a name it does not know.
    void resolveMember(IDispatch* object, MemberSite& site, const void* vtable, WORD flags);
    Procedure* indexedResult(ClassInstance* object, Procedure* p, bool statement, Value* args, int argc, Value& out);
    // A reference to an element of the array variable var (made unshared
    // first, so that the callee's writes reach it).
    Value elementReference(Value& var, Value* args, int argc);
    void storeElement(Value& var, Value* args, int argc, Value& value, std::uint16_t mode);
    Value makeIterator(const Value& collection);

    Globals& m_globals;
    std::shared_ptr<EngineLink> m_link;
    ErrState m_err;
    qrt::ComPtr<IDispatch> m_errObject;
    HostRunner m_hostRunner;
    // Code compiled by Eval and Execute, recently used first, and the code
    // of the frames running it (kept alive until they return).
    std::vector<std::pair<std::u16string, std::shared_ptr<Procedure>>> m_dynamicCache;
    std::vector<std::pair<std::size_t, std::shared_ptr<Procedure>>> m_dynamicFrames;
    // The value stack comes zeroed from calloc (all bytes zero is an Empty
    // value), so that its pages are only mapped as the stack reaches them.
    struct StackMemory {
        void operator()(Value* p) const noexcept { std::free(p); }
    };
    std::unique_ptr<Value, StackMemory> m_stack;
    Value* m_stackEnd = nullptr;
    Value* m_sp = nullptr;
    FrameStack m_frames;
    int m_nativeDepth = 0;
    static constexpr std::uint8_t kStopRequested = 1, kPollDue = 2;
    std::atomic<std::uint8_t> m_interrupt{0};
    std::function<bool()> m_poll;
    bool m_interruptServed = false;  // a run has stopped for m_interrupt
    std::mutex m_interruptLock;
    ScriptError m_interruptError;
    std::function<Value(const std::u16string&)> m_itemLoader;
    std::function<IUnknown*()> m_siteSource;
};

}  // namespace vbs
