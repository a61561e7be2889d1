// The interpreter: runs procedures on one value stack with a frame per
// call. Script-to-script calls do not recurse in C++; a host that calls back
// into the script while it runs starts a nested run on the same stack.
// Errors are thrown as ScriptError, positioned at the failing instruction.
#pragma once

#include "engines/vbscript/bytecode.h"
#include "engines/vbscript/errors.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace vbs {

class Interpreter {
public:
    explicit Interpreter(Globals& globals);
    ~Interpreter();
    Interpreter(const Interpreter&) = delete;
    Interpreter& operator=(const Interpreter&) = delete;

    // Runs proc with the given arguments (values, or Refs to the caller's
    // variables for ByRef parameters) and returns its result.
    Value call(Procedure& proc, const Value* args, int argc);

    // How a named item's object is found the first time the script uses it.
    void setItemLoader(std::function<Value(const std::u16string&)> loader) { m_itemLoader = std::move(loader); }

    // Asks the running script to stop: it ends with `error` at its next
    // backward jump or call. Safe from any thread.
    void requestInterrupt() { m_interrupt.store(true, std::memory_order_release); }
    void clearInterrupt() { m_interrupt.store(false, std::memory_order_release); }
    void setInterruptError(ScriptError error);
    bool running() const { return m_nativeDepth > 0; }

    Globals& globals() { return m_globals; }

    // State of Rnd.
    std::uint32_t rndSeed = 0x50000;
    double lastRnd = 0;

    // Calls a member of a host object: args may hold Refs, whose variables
    // receive what the callee writes. id caching goes through site.
    Value invokeMember(IDispatch* object, MemberSite& site, Value* args, int argc, WORD flags,
                       const Value* putValue = nullptr);

private:
    struct Frame {
        Procedure* proc;
        const Instr* pc;
        Value* base;
    };

    Value execute(std::size_t entryDepth);
    void enterFrame(Procedure* proc, Value* base, int argc);
    [[noreturn]] void throwInterrupt();
    std::int32_t lookup(NameSite& site);
    Value& loadItem(std::int32_t global);
    // The variable a loop, Erase, ReDim or indexed store names.
    Value& variable(std::uint16_t kind, std::int32_t slot, Value* locals, Procedure* proc);
    Value indexInto(const Value& container, Value* args, int argc, bool statement);
    void storeElement(Value& var, Value* args, int argc, Value& value, std::uint16_t mode);
    Value makeIterator(const Value& collection);

    Globals& m_globals;
    std::unique_ptr<Value[]> m_stack;
    Value* m_stackEnd = nullptr;
    Value* m_sp = nullptr;
    std::vector<Frame> m_frames;
    int m_nativeDepth = 0;
    std::atomic<bool> m_interrupt{false};
    std::mutex m_interruptLock;
    ScriptError m_interruptError;
    std::function<Value(const std::u16string&)> m_itemLoader;
};

}  // namespace vbs
