// The compiled form: instructions of a stack machine with variables
// resolved to slots (a frame's locals, or the engine's global table), the
// procedures that hold them, and the global table shared by the compiler
// and the interpreter.
#pragma once

#include "engines/vbscript/ast.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace qrt {
class DispatchTable;
struct DispMember;
}  // namespace qrt

namespace vbs {

enum class Op : std::uint8_t {
    Nop,
    PushConst,     // c: constant index
    PushEmpty, PushMissing,
    Pop,
    // Variables. b (stores): 0 Let (an object gives its default value),
    // 1 Set (must be an object), 2 raw (For Each element).
    LoadLocal, StoreLocal, RefLocal,      // c: slot
    LoadGlobal, StoreGlobal, RefGlobal,   // c: global index
    LoadName, StoreName, RefName,         // c: name site (resolved at run time)
    LoadItem,                             // c: global index of a named item
    LoadItemRef,                          // c: the same, as a reference (an object to call a member of)
    AppendLocal, AppendGlobal,            // x = x & top, in place when x holds the only reference
    ClearLocal,                           // c: slot
    // Operators (a: literal flags of a comparison).
    Add, Sub, Mul, Div, IntDiv, Mod, Pow, Concat, Eq, Ne, Lt, Gt, Le, Ge, Is, And, Or, Xor, Eqv, Imp,
    Neg, Not,
    Jump, JumpIfFalse, JumpIfTrue,        // c: target
    ForInit, ForNext,                     // b: loop index, c: exit / body target
    ForEachInit, ForEachNext,             // b: loop index, c: exit target
    // Calls (a: argument count; arguments pushed first to last).
    CallProc,      // c: global index of the procedure
    CallName,      // c: name site
    CallBuiltin,   // c: builtin index
    IndexLocal, IndexGlobal,  // c: slot / global index: element or default member
    IndexValue,    // the value below the arguments
    // An argument that may be passed by reference: an element of an array
    // variable becomes an element reference; anything else is read as by
    // IndexLocal (RefIndex: b variable kind | invoke << 8, c slot) or
    // CallName (RefNameIndex: b invoke, c name site).
    RefIndex, RefNameIndex,
    StoreIndex,    // b: variable kind | mode << 8, c: slot; stack: args..., value
    GetMember,     // c: member site; stack: object, args
    CallMember,    // as GetMember, as a statement (DISPATCH_METHOD)
    PutMember,     // b: mode; c: member site; stack: object, args..., value
    DimArray,      // a: dimensions, b: variable kind, c: slot; stack: upper bounds
    ReDim,         // a: dimensions, b: kind | preserve << 8, c: slot
    Erase,         // b: kind, c: slot
    Return,
    // Classes.
    LoadField, StoreField, RefField,      // c: field of the running object (b: store mode)
    LoadMe,
    NewObject,     // c: name site of the class
    CallSelf,      // a: argc, b: 1 as a statement, c: member of the running object's class
    PutSelf,       // a: argc, b: mode, c: member; stack: args..., value
    // The frame that ran Execute or Eval (its variables by slot).
    LoadOuter, StoreOuter, RefOuter,      // c: slot
    // Errors.
    OnError,       // b: 1 Resume Next, 0 GoTo 0
    LoadErr,
    ExitProc,      // Exit Sub/Function/Property
    // Code compiled while running (a: argc).
    Eval, Execute, ExecuteGlobal, GetRef,
    // Add, Sub or Mul (a: 0, 1, 2) of the value on top and constant c.
    ArithConst,
    // The same with local variable c.
    ArithLocal,
    // A Function's closing assignment to its result: StoreLocal (b: mode,
    // c: the result slot) and the Return that follows it, in one.
    StoreReturn,
};

// Variable kinds in b of DimArray/ReDim/Erase/StoreIndex and of loops.
enum VarKind : std::uint16_t { VarLocal = 0, VarGlobal = 1, VarName = 2, VarField = 3, VarOuter = 4 };
constexpr std::uint16_t kModeLet = 0, kModeSet = 1, kModeRaw = 2;

struct Instr {
    Op op = Op::Nop;
    std::uint8_t a = 0;
    std::uint16_t b = 0;
    std::int32_t c = 0;
};
static_assert(sizeof(Instr) == 8);

// A name not known when compiling: looked up in the global table when run,
// else an implicit local (or error 500 under Option Explicit).
struct NameSite {
    std::u16string name;      // as written
    std::u16string folded;
    std::int32_t localSlot = -1;
    bool outer = false;                  // localSlot is in the frame that ran Execute/Eval
    std::int32_t global = -1;            // cached global index
    std::uint32_t checkedGeneration = ~0u;  // global table generation of the last failed lookup
};

// A member call site; the dispatch identifier is cached per object class
// (the object's address and its first word, the interface table).
struct MemberSite {
    std::u16string name;
    const void* object = nullptr;
    const void* vtable = nullptr;
    DISPID id = DISPID_UNKNOWN;
    // The member's type information says no parameter is by reference:
    // variables go as plain values, nothing to write back.
    bool argsByValue = false;
    // For an object that answers IDispatchDirect: the member its Invoke
    // runs for memberFlags, called straight from the site when direct
    // (see interpreter_calls.cpp), and where the member's `this` is.
    bool direct = false;
    WORD memberFlags = 0;
    const qrt::DispatchTable* table = nullptr;
    const qrt::DispMember* member = nullptr;
    std::ptrdiff_t selfOffset = 0;
};

struct LoopInfo {
    std::uint16_t varKind = VarLocal;
    std::int32_t varSlot = 0;
    std::int32_t hidden = 0;  // For: limit at hidden, step at hidden + 1; For Each: the iterator
};

// The text a chunk was compiled from, for error positions.
struct SourceInfo {
    std::u16string text;
    std::uint32_t startingLine = 1;
    DWORD context = 0;
    std::u16string lineText(std::uint32_t line) const;
};

struct ClassDef;

struct Procedure {
    std::u16string name;
    bool isFunction = false;
    bool isPrivate = false;
    bool isGlobalCode = false;
    bool optionExplicit = false;
    bool runsInOuterFrame = false;    // Execute/Eval text compiled against a running frame
    ClassDef* owner = nullptr;        // the class of a method
    std::uint64_t serial = 0;         // unique per compiled procedure (keys of compiled Execute text)
    std::vector<std::uint8_t> byVal;  // per parameter
    bool anyByVal = false;            // some parameter is ByVal
    std::vector<std::u16string> paramNames;
    std::int32_t localCount = 1;      // slot 0 (result) + parameters + locals + hidden
    std::int32_t maxTemps = 0;        // at most this many values above the locals while it runs
    std::vector<Instr> code;
    std::vector<SourcePos> positions;  // per instruction
    std::vector<Value> constants;
    std::vector<NameSite> names;
    std::vector<MemberSite> members;
    std::vector<LoopInfo> loops;
    // Per instruction: where On Error Resume Next goes on after an error
    // in it (the start of the next statement).
    std::vector<std::int32_t> resumeAt;
    // Names of the variables and constants, for Execute and Eval run inside.
    std::unordered_map<std::u16string, std::int32_t> localNames;
    std::unordered_map<std::u16string, std::int32_t> siteSlots;  // names found when run (implicit locals)
    std::unordered_map<std::u16string, Value> localConsts;
    std::shared_ptr<const SourceInfo> source;
    std::uint32_t paramCount() const { return static_cast<std::uint32_t>(byVal.size()); }
};

// A class: its members by name (a member's dispatch identifier is its
// index + 1; the default member also answers DISPID_VALUE).
struct ClassMember {
    enum Kind : std::uint8_t { Field, Method, Property };
    std::u16string name;
    Kind kind = Field;
    bool isPrivate = false;
    std::int32_t field = -1;             // Field: index in the object
    bool isArray = false;                // Field declared with parentheses
    std::vector<std::int32_t> bounds;    // its upper bounds (none: a dynamic array)
    std::shared_ptr<Procedure> method;   // Sub or Function
    std::shared_ptr<Procedure> get, let, set;
    // Accessors that only read or write one field run without a frame.
    std::int32_t getField = -1, letField = -1;
};

struct ClassDef {
    std::u16string name;
    std::vector<ClassMember> members;
    std::unordered_map<std::u16string, std::int32_t> byName;  // folded name -> member index
    std::int32_t fieldCount = 0;
    std::int32_t defaultMember = -1;
    std::shared_ptr<Procedure> initialize, terminate;
    std::unordered_map<std::u16string, Value> consts;
    std::int32_t find(std::u16string_view folded) const {
        auto it = byName.find(std::u16string(folded));
        return it == byName.end() ? -1 : it->second;
    }
};

// Names visible everywhere: global variables, constants, procedures,
// classes and named items. Values live in chunks so their addresses stay valid while
// the table grows (ByRef parameters point at them).
class Globals {
public:
    enum class Kind : std::uint8_t { Variable, Constant, Procedure, NamedItem, Class };
    struct Entry {
        std::u16string name;
        Kind kind = Kind::Variable;
        bool isPrivate = false;
        bool itemLoaded = false;
        std::shared_ptr<Procedure> proc;
        std::shared_ptr<ClassDef> cls;
    };

    // Index of a name, or -1.
    std::int32_t find(std::u16string_view folded) const {
        auto it = m_byName.find(std::u16string(folded));
        return it == m_byName.end() ? -1 : it->second;
    }
    std::int32_t add(std::u16string_view name, std::u16string folded, Kind kind) {
        std::int32_t index = static_cast<std::int32_t>(m_entries.size());
        m_entries.push_back({std::u16string(name), kind, false, false, nullptr, nullptr});
        if ((index & (kChunk - 1)) == 0) m_chunks.push_back(std::make_unique<Value[]>(kChunk));
        m_byName.emplace(std::move(folded), index);
        ++m_generation;
        return index;
    }
    Entry& entry(std::int32_t i) { return m_entries[static_cast<std::size_t>(i)]; }
    const Entry& entry(std::int32_t i) const { return m_entries[static_cast<std::size_t>(i)]; }
    Value& value(std::int32_t i) { return m_chunks[static_cast<std::size_t>(i) >> kShift][i & (kChunk - 1)]; }
    std::int32_t size() const { return static_cast<std::int32_t>(m_entries.size()); }
    std::uint32_t generation() const { return m_generation; }
    // The host's default object (the first named item whose members are
    // global): what Me means outside a class. -1 when there is none.
    std::int32_t defaultItem() const { return m_defaultItem; }
    void setDefaultItem(std::int32_t index) { m_defaultItem = index; }
    void clear() {
        m_chunks.clear();
        m_entries.clear();
        m_byName.clear();
        m_defaultItem = -1;
        ++m_generation;
    }

private:
    static constexpr int kShift = 8;
    static constexpr std::int32_t kChunk = 1 << kShift;
    std::vector<Entry> m_entries;
    std::vector<std::unique_ptr<Value[]>> m_chunks;
    std::unordered_map<std::u16string, std::int32_t> m_byName;
    std::uint32_t m_generation = 0;
    std::int32_t m_defaultItem = -1;
};

}  // namespace vbs
