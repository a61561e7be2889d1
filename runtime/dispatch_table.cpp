#include "runtime/dispatch_table.h"

#include <algorithm>
#include <array>
#include <memory>

namespace qrt {

namespace {

char16_t foldChar(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
    // Latin-1 capitals (but not the multiplication sign).
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    return c;
}

std::u16string fold(std::u16string_view s) {
    std::u16string r(s);
    for (char16_t& c : r) c = foldChar(c);
    return r;
}

// Compares an already folded name with one of any case.
int compareFolded(std::u16string_view folded, std::u16string_view other) {
    std::size_t n = std::min(folded.size(), other.size());
    for (std::size_t i = 0; i < n; ++i) {
        char16_t a = folded[i], b = foldChar(other[i]);
        if (a != b) return a < b ? -1 : 1;
    }
    if (folded.size() == other.size()) return 0;
    return folded.size() < other.size() ? -1 : 1;
}

std::u16string_view nameView(const OLECHAR* s) {
    return s ? std::u16string_view(s) : std::u16string_view();
}

HRESULT tableInvoker(const void* context, void* instance, MEMBERID id, WORD flags, DISPPARAMS* params,
                     VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
    return static_cast<const DispatchTable*>(context)->invoke(instance, id, flags, params, result, excep, argErr);
}

// Storage of one call's converted arguments. Only the temporaries a call
// actually uses are initialised and cleared, which keeps small calls cheap.
class CallFrame {
public:
    explicit CallFrame(std::size_t count) : m_count(count) {
        if (count > inlineCount) {
            m_heapSlots = std::make_unique<VARIANT[]>(count);
            m_heapTemps = std::make_unique<VARIANT[]>(count);
            m_heapUsed = std::make_unique<bool[]>(count);
            for (std::size_t i = 0; i < count; ++i) m_heapUsed[i] = false;
        }
    }
    CallFrame(const CallFrame&) = delete;
    CallFrame& operator=(const CallFrame&) = delete;
    ~CallFrame() {
        for (std::size_t i = 0; i < m_count; ++i)
            if (used(i)) VariantClear(&temps()[i]);
    }

    VARIANT* slots() { return m_heapSlots ? m_heapSlots.get() : m_slots; }
    // The temporary of parameter i, initialised to VT_EMPTY on first use.
    VARIANT& temp(std::size_t i) {
        if (!used(i)) {
            VariantInit(&temps()[i]);
            markUsed(i);
        }
        return temps()[i];
    }
    // Moves a temporary out (the frame no longer clears it).
    VARIANT take(std::size_t i) {
        VARIANT v = temps()[i];
        VariantInit(&temps()[i]);
        return v;
    }

    void addWriteBack(VARIANT* target, std::size_t temp) { m_writeBacks.emplace_back(target, temp); }
    const std::vector<std::pair<VARIANT*, std::size_t>>& writeBacks() const { return m_writeBacks; }

private:
    static constexpr std::size_t inlineCount = 8;
    VARIANT* temps() { return m_heapTemps ? m_heapTemps.get() : m_temps; }
    bool used(std::size_t i) const { return m_heapUsed ? m_heapUsed[i] : (m_usedMask >> i) & 1u; }
    void markUsed(std::size_t i) {
        if (m_heapUsed) m_heapUsed[i] = true;
        else m_usedMask |= 1u << i;
    }

    std::size_t m_count;
    VARIANT m_slots[inlineCount];
    VARIANT m_temps[inlineCount];
    unsigned m_usedMask = 0;
    std::unique_ptr<VARIANT[]> m_heapSlots, m_heapTemps;
    std::unique_ptr<bool[]> m_heapUsed;
    // By-reference variables of the caller to update after a successful call:
    // (caller's variant, index of the temporary holding the new value).
    std::vector<std::pair<VARIANT*, std::size_t>> m_writeBacks;
};

const VARIANT* followVariantRef(const VARIANT* v) {
    if (v && v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) return v->pvarVal;
    return v;
}

bool isMissing(const VARIANT* v) {
    v = followVariantRef(v);
    return v == nullptr || (v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND);
}

constexpr DISPID kDenseIds = 4096;

// A zero value of type base in a fresh temporary (for out parameters).
void makeZero(VARIANT& temp, VARTYPE base) {
    temp.vt = base;
    temp.llVal = 0;
}

}  // namespace

int compareNamesNoCase(std::u16string_view a, std::u16string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        char16_t x = foldChar(a[i]), y = foldChar(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

namespace detail {

DispMember makeMember(std::u16string name, DISPID id, INVOKEKIND kind, std::vector<VARTYPE> types,
                      std::initializer_list<const char16_t*> paramNames, const MemberOptions& options, Thunk thunk,
                      GuardedThunk guarded) {
    DispMember m;
    m.name = std::move(name);
    m.id = id;
    m.kind = kind;
    m.thunk = thunk;
    m.guarded = guarded;
    m.optional = options.optional;
    m.defaults = options.defaults;
    std::size_t count = types.size();
    if (options.retval && count > 0) {
        --count;
        m.returnType = static_cast<VARTYPE>(types.back() & ~VT_BYREF);
    }
    auto nameIt = paramNames.begin();
    for (std::size_t i = 0; i < count; ++i) {
        ParamDesc p;
        p.vt = types[i];
        p.flags = (p.vt & VT_BYREF) ? (PARAMFLAG_FIN | PARAMFLAG_FOUT) : PARAMFLAG_FIN;
        if (i + m.optional >= count) p.flags |= PARAMFLAG_FOPT;
        if (nameIt != paramNames.end()) p.name = *nameIt++;
        else p.name = u"arg" + std::u16string(1, static_cast<char16_t>(u'1' + i));
        m.params.push_back(std::move(p));
    }
    m.plain = m.optional == 0 && m.params.size() <= m.plainTypes.size() &&
              (kind == INVOKE_FUNC || kind == INVOKE_PROPERTYGET);
    for (std::size_t i = 0; i < m.params.size() && m.plain; ++i) {
        if (!isPlainType(m.params[i].vt)) m.plain = false;
        else m.plainTypes[i] = m.params[i].vt;
    }
    if (m.plain) m.plainCount = static_cast<std::uint8_t>(m.params.size());
    return m;
}

}  // namespace detail

DispatchTable::DispatchTable(std::u16string interfaceName, const IID& iid, std::vector<DispMember> members)
    : m_name(std::move(interfaceName)), m_iid(iid), m_members(std::move(members)) {
    for (const DispMember& m : m_members) {
        std::u16string f = fold(m.name);
        auto it = std::lower_bound(m_byName.begin(), m_byName.end(), f,
                                   [](const auto& e, const std::u16string& k) { return e.first < k; });
        if (it == m_byName.end() || it->first != f) m_byName.insert(it, {std::move(f), m.id});

        auto at = std::lower_bound(m_byId.begin(), m_byId.end(), m.id,
                                   [](const IdEntry& e, DISPID id) { return e.id < id; });
        if (at == m_byId.end() || at->id != m.id) at = m_byId.insert(at, IdEntry{m.id});
        const DispMember** slot = nullptr;
        switch (m.kind) {
        case INVOKE_FUNC: slot = &at->method; break;
        case INVOKE_PROPERTYGET: slot = &at->get; break;
        case INVOKE_PROPERTYPUT: slot = &at->put; break;
        case INVOKE_PROPERTYPUTREF: slot = &at->putRef; break;
        }
        if (slot && !*slot) *slot = &m;  // a table lists each kind once per identifier
    }
    // The dense table starts at the lowest non-negative identifier when all
    // of them fit in its reach from there (interfaces that number their
    // members from 10000, say), else at zero.
    auto firstId = std::find_if(m_byId.begin(), m_byId.end(), [](const IdEntry& e) { return e.id >= 0; });
    if (firstId != m_byId.end() && m_byId.back().id - firstId->id < kDenseIds) m_denseBase = firstId->id;
    for (std::size_t i = 0; i < m_byId.size(); ++i) {
        const DISPID id = m_byId[i].id;
        if (id < m_denseBase || id - m_denseBase >= kDenseIds || i + 1 > 0xFFFF) continue;
        const auto slot = static_cast<std::size_t>(id - m_denseBase);
        if (m_dense.size() <= slot) m_dense.resize(slot + 1, 0);
        m_dense[slot] = static_cast<std::uint16_t>(i + 1);
    }
    TypeDesc desc;
    desc.name = m_name;
    desc.guid = m_iid;
    desc.kind = TKIND_DISPATCH;
    desc.flags = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE;
    SHORT slot = 7;
    for (const DispMember& m : m_members) {
        FuncDesc f;
        f.name = m.name;
        f.id = m.id;
        f.kind = m.kind;
        f.params = m.params;
        f.returnType = m.returnType;
        f.optionalCount = m.optional;
        f.slot = static_cast<SHORT>(slot++ * static_cast<SHORT>(sizeof(void*)));
        desc.funcs.push_back(std::move(f));
    }
    m_typeInfo = createTypeInfo(std::move(desc), &tableInvoker, this);
}

DispatchTable::~DispatchTable() = default;

DISPID DispatchTable::idOfName(std::u16string_view name) const {
    std::size_t lo = 0, hi = m_byName.size();
    while (lo < hi) {
        std::size_t mid = (lo + hi) / 2;
        int c = compareFolded(m_byName[mid].first, name);
        if (c == 0) return m_byName[mid].second;
        if (c < 0) lo = mid + 1;
        else hi = mid;
    }
    return DISPID_UNKNOWN;
}

HRESULT DispatchTable::getIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const {
    if (!names || !ids) return E_POINTER;
    if (count == 0) return S_OK;
    ids[0] = idOfName(nameView(names[0]));
    HRESULT hr = ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
    // Further names are parameter names of that member.
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        if (ids[0] == DISPID_UNKNOWN) continue;
        for (const DispMember& m : m_members) {
            if (m.id != ids[0]) continue;
            for (std::size_t p = 0; p < m.params.size(); ++p)
                if (compareNamesNoCase(m.params[p].name, nameView(names[i])) == 0) ids[i] = static_cast<DISPID>(p);
        }
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

inline const DispMember* DispatchTable::find(DISPID id, WORD flags, bool& idKnown) const {
    const IdEntry* at = nullptr;
    // Identifiers below the base wrap around to large offsets.
    const std::size_t slot = static_cast<std::uint32_t>(id) - static_cast<std::uint32_t>(m_denseBase);
    if (slot < m_dense.size()) {
        const std::uint16_t index = m_dense[slot];
        if (index) at = &m_byId[index - 1u];
    } else {
        auto it = std::lower_bound(m_byId.begin(), m_byId.end(), id, [](const IdEntry& e, DISPID key) { return e.id < key; });
        if (it != m_byId.end() && it->id == id) at = &*it;
    }
    idKnown = at != nullptr;
    if (!idKnown) return nullptr;
    if (flags & DISPATCH_PROPERTYPUTREF) return at->putRef ? at->putRef : ((flags & DISPATCH_PROPERTYPUT) ? at->put : nullptr);
    if (flags & DISPATCH_PROPERTYPUT) return at->put ? at->put : at->putRef;
    if ((flags & DISPATCH_METHOD) && at->method) return at->method;
    if ((flags & DISPATCH_PROPERTYGET) && at->get) return at->get;
    return nullptr;
}

const DispMember* DispatchTable::memberFor(DISPID id, WORD flags) const {
    bool idKnown = false;
    return find(id, flags, idKnown);
}

HRESULT DispatchTable::failure(HRESULT hr, EXCEPINFO* excep) const {
    std::u16string source, description;
    if (!takeErrorInfo(source, description)) description = statusText(hr);
    if (source.empty()) source = m_name;
    if (!excep) return hr;
    clearExcepInfo(excep);
    excep->scode = hr;
    excep->bstrSource = allocBstr(std::u16string_view(source));
    excep->bstrDescription = allocBstr(std::u16string_view(description));
    return DISP_E_EXCEPTION;
}

HRESULT DispatchTable::invoke(void* self, DISPID id, WORD flags, DISPPARAMS* dp, VARIANT* result, EXCEPINFO* excep,
                              UINT* argErr) const {
    if (!self) return E_INVALIDARG;
    static DISPPARAMS noArgs{nullptr, nullptr, 0, 0};
    if (!dp) dp = &noArgs;
    if (dp->cArgs > 0 && !dp->rgvarg) return E_INVALIDARG;

    bool idKnown = false;
    const DispMember* m = find(id, flags, idKnown);
    if (!m) return DISP_E_MEMBERNOTFOUND;

    if (m->plain && dp->cArgs == m->plainCount && dp->cNamedArgs == 0) {
        // Numbers by value: straight into the call's slots, no temporaries.
        VARIANT slots[std::tuple_size_v<decltype(m->plainTypes)> + 1];
        const VARIANT* arg = dp->rgvarg + dp->cArgs;  // the first argument is the last
        std::size_t i = 0;
        while (i < m->plainCount && plainArgument(*followVariantRef(--arg), m->plainTypes[i], slots[i])) ++i;
        if (i == m->plainCount) {
            VARIANT ret;
            ret.vt = VT_EMPTY;
            if (m->returnType != VT_VOID) retvalSlot(slots[i], ret, m->returnType);
            clearErrorInfo();
            const HRESULT hr = m->thunk(self, slots);
            if (FAILED(hr)) {
                VariantClear(&ret);
                return failure(hr, excep);
            }
            if (!result) {
                if (ret.vt != VT_EMPTY && !isPlainType(ret.vt)) VariantClear(&ret);
            } else {
                if (result->vt != VT_EMPTY) VariantClear(result);
                if (m->returnType == VT_VARIANT) {
                    *result = ret;
                } else {
                    // Field by field: the callee wrote the value alone, and a
                    // whole-VARIANT copy would wait for that store.
                    result->vt = ret.vt;
                    result->llVal = ret.llVal;
                }
            }
            return S_OK;
        }
    }

    const bool isPut = m->kind == INVOKE_PROPERTYPUT || m->kind == INVOKE_PROPERTYPUTREF;
    if (isPut) {
        if (dp->cNamedArgs != 1 || !dp->rgdispidNamedArgs || dp->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            return DISP_E_PARAMNOTFOUND;
        if (dp->cArgs == 0) return DISP_E_BADPARAMCOUNT;
    } else if (dp->cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
    }

    const std::size_t paramCount = m->params.size();
    const std::size_t required = paramCount - static_cast<std::size_t>(m->optional);
    if (dp->cArgs > paramCount || dp->cArgs < required) return DISP_E_BADPARAMCOUNT;

    // Which caller argument (index into rgvarg) feeds parameter i; -1 = left out.
    auto sourceIndex = [&](std::size_t i) -> long {
        if (isPut) {
            if (i + 1 == paramCount) return 0;
            return i < dp->cArgs - 1 ? static_cast<long>(dp->cArgs - 1 - i) : -1;
        }
        return i < dp->cArgs ? static_cast<long>(dp->cArgs - 1 - i) : -1;
    };

    CallFrame frame(paramCount + 1);
    for (std::size_t i = 0; i < paramCount; ++i) {
        const ParamDesc& p = m->params[i];
        const VARTYPE base = static_cast<VARTYPE>(p.vt & ~VT_BYREF);
        const bool byRef = (p.vt & VT_BYREF) != 0;
        long src = sourceIndex(i);
        VARIANT* arg = src >= 0 ? &dp->rgvarg[src] : nullptr;
        VARIANT& slot = frame.slots()[i];

        if (isMissing(arg) && (p.flags & PARAMFLAG_FOPT)) {
            // A left-out optional argument: a variant parameter sees the
            // "missing" marker, any other its default or zero.
            std::size_t fromEnd = paramCount - 1 - i;
            VARIANT& temp = frame.temp(i);
            if (base == VT_VARIANT) {
                temp.vt = VT_ERROR;
                temp.scode = DISP_E_PARAMNOTFOUND;
            } else if (fromEnd < m->defaults.size()) {
                HRESULT hr = VariantChangeType(&temp, &m->defaults[m->defaults.size() - 1 - fromEnd], 0, base);
                if (FAILED(hr)) return hr;
            } else {
                makeZero(temp, base);
            }
            if (byRef || base == VT_VARIANT) {
                slot.vt = static_cast<VARTYPE>(base | VT_BYREF);
                slot.byref = base == VT_VARIANT ? static_cast<void*>(&temp) : static_cast<void*>(&temp.llVal);
            } else {
                slot = temp;
            }
            continue;
        }
        if (!arg) return DISP_E_PARAMNOTOPTIONAL;

        if (!byRef) {
            const VARIANT* value = followVariantRef(arg);
            if (base == VT_VARIANT) {
                slot.vt = VT_BYREF | VT_VARIANT;
                slot.pvarVal = const_cast<VARIANT*>(value);
                continue;
            }
            if (plainArgument(*value, base, slot)) continue;  // shallow: the caller keeps ownership
            VARIANT& temp = frame.temp(i);
            HRESULT hr = VariantChangeType(&temp, value, 0, base);
            if (FAILED(hr)) {
                if (argErr) *argErr = static_cast<UINT>(src);
                return hr;
            }
            slot = temp;
            continue;
        }

        // By-reference parameter.
        slot.vt = p.vt;
        if (arg->vt == p.vt) {
            slot.byref = arg->byref;  // the caller's own storage
            continue;
        }
        if (base == VT_VARIANT) {
            // A by-reference variant: the caller's variable if it passed one,
            // else a copy that is thrown away after the call.
            if (arg->vt == (VT_BYREF | VT_VARIANT)) {
                slot.byref = arg->pvarVal;
            } else {
                VARIANT& temp = frame.temp(i);
                HRESULT hr = VariantCopyInd(&temp, arg);
                if (FAILED(hr)) return hr;
                slot.byref = &temp;
            }
            continue;
        }
        const bool callerVariable = arg->vt == (VT_BYREF | VT_VARIANT) && arg->pvarVal;
        const VARIANT* value = followVariantRef(arg);
        VARIANT& temp = frame.temp(i);
        if (value->vt == VT_EMPTY) {
            makeZero(temp, base);
        } else {
            HRESULT hr = VariantChangeType(&temp, value, 0, base);
            if (FAILED(hr)) {
                if (argErr) *argErr = static_cast<UINT>(src);
                return hr;
            }
        }
        slot.byref = &temp.llVal;
        if (callerVariable) frame.addWriteBack(arg->pvarVal, i);
    }

    // The retval lives in the frame's last slot.
    if (m->returnType != VT_VOID) retvalSlot(frame.slots()[paramCount], frame.temp(paramCount), m->returnType);

    clearErrorInfo();
    HRESULT hr = m->thunk(self, frame.slots());
    if (FAILED(hr)) return failure(hr, excep);

    for (auto [target, index] : frame.writeBacks()) {
        VariantClear(target);
        *target = frame.take(index);
    }
    if (result) {
        VariantClear(result);
        if (m->returnType != VT_VOID) *result = frame.take(paramCount);
    }
    return S_OK;
}

}  // namespace qrt
