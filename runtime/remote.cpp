// Connections, served objects, proxies and the local-server half of
// activation (remote.h). The message layouts, after the kind and the call
// number (remote_wire.h):
//
//   CreateInstance  class id, interface id
//     reply         status, object
//   GetIDsOfNames   object number, locale, u32 count, names
//     reply         status, u32 count, identifiers
//   Invoke          object number, member, locale, u16 flags, u8 wants result,
//                   u32 count, arguments (u8 passing, value), u32 count, named identifiers
//     reply         status, u32 argument in error, [error fields when DISP_E_EXCEPTION],
//                   u8 has result, [result], u32 count, (u32 index, value) of by-reference arguments
//   Release         object number, u32 references
#include "runtime/remote.h"

#include "runtime/registry.h"
#include "runtime/remote_wire.h"
#include "runtime/text.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace qrt::remote {

namespace {

// Identifies our proxies among the objects passed in a call.
constexpr IID IID_RemoteProxy = qrt::makeGuid("{6B0E3F52-9C47-4D18-A2E6-31F5C08D7A94}");

// Limits on what one message may ask for.
constexpr std::uint32_t kMaxNames = 1024;
constexpr std::uint32_t kMaxArguments = 1024;

enum class Passing : std::uint8_t { Value = 0, RefVariant = 1, RefTyped = 2 };

class Channel;
class RemoteDispatch;

struct Listener {
    DWORD cookie = 0;
    CLSID clsid;
    IUnknown* factory = nullptr;  // held by the activation table until revoked
    bool singleUse = false;
    bool used = false;
    int fd = -1;
    std::string path;
    ino_t inode = 0;
};

void stopListening(Listener& l);

struct State {
    std::thread::id owner;
    bool ownerSet = false;
    std::vector<std::shared_ptr<Channel>> channels;
    std::vector<Listener> listeners;
    std::map<std::string, std::weak_ptr<Channel>> clients;  // by socket path
    EventLoopHooks* hooks = nullptr;
    std::function<void()> allReleased;
    std::size_t served = 0;
    std::chrono::milliseconds startLimit{20000};
};

State& state() {
    static State* s = new State;  // outlives every static destructor
    return *s;
}

bool onOwnerThread() {
    State& s = state();
    if (!s.ownerSet) {
        s.owner = std::this_thread::get_id();
        s.ownerSet = true;
    }
    return s.owner == std::this_thread::get_id();
}

void watch(int fd) {
    if (state().hooks && fd >= 0) state().hooks->watch(fd);
}

void unwatch(int fd) {
    if (state().hooks && fd >= 0) state().hooks->unwatch(fd);
}

// A message under construction: room for the length, the kind, the call.
Writer beginMessage(MessageKind kind, std::uint32_t call) {
    Writer w;
    w.u32(0);
    w.u8(static_cast<std::uint8_t>(kind));
    w.u32(call);
    return w;
}

class Channel final : public ObjectMarshaler, public std::enable_shared_from_this<Channel> {
public:
    Channel(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    ~Channel() { if (m_fd >= 0) ::close(m_fd); }

    int fd() const { return m_fd; }
    bool isOpen() const { return m_open; }
    const std::string& path() const { return m_path; }
    void setDiscardOutput() { m_discardOutput = true; }
    std::uint32_t newCall() {
        if (m_nextCall == 0) m_nextCall = 1;  // 0 marks messages that want no answer
        return m_nextCall++;
    }

    HRESULT marshal(IUnknown* object, ObjectRef& ref) override;
    HRESULT unmarshal(const ObjectRef& ref, IDispatch** out) override;

    // Sends a message; a connection that fails is closed.
    HRESULT send(Writer& w);
    // Sends a call and waits for its answer (serving what arrives meanwhile).
    HRESULT call(Writer& w, std::uint32_t call, std::string& reply);
    // Reads what the socket has; false when the other side has gone.
    void readAvailable();
    // Serves every whole message received.
    void dispatchBuffered();
    void close();

    // Exports made while a message is written, undone when it fails.
    void startExportLog() { m_exportLog.clear(); m_logging = true; }
    void keepExports() { m_logging = false; }
    void undoExports() {
        m_logging = false;
        for (std::uint64_t id : m_exportLog) releaseExport(id, 1);
    }
    void releaseExport(std::uint64_t id, std::uint64_t count);
    void forgetProxy(std::uint64_t id) { m_proxies.erase(id); }
    IDispatch* exported(std::uint64_t id) {
        auto it = m_exports.find(id);
        return it == m_exports.end() ? nullptr : it->second.object.get();
    }
    void feed(std::string_view bytes) { m_in.append(bytes); }

private:
    struct Export {
        ComPtr<IDispatch> object;
        IUnknown* identity = nullptr;
        std::uint64_t refs = 0;
    };

    // Serves one message; false when it is damaged.
    bool handle(std::string_view body);
    bool serveCreate(Reader& r, std::uint32_t call);
    bool serveNames(Reader& r, std::uint32_t call);
    bool serveInvoke(Reader& r, std::uint32_t call);
    void reply(std::uint32_t, Writer& w) { send(w); }

    int m_fd;
    std::string m_path;
    bool m_open = true;
    bool m_peerClosed = false;
    bool m_discardOutput = false;
    std::string m_in;
    std::uint32_t m_nextCall = 1;
    std::unordered_map<std::uint32_t, std::string> m_replies;
    std::unordered_map<std::uint64_t, Export> m_exports;
    std::unordered_map<IUnknown*, std::uint64_t> m_byIdentity;
    std::uint64_t m_nextId = 1;
    std::unordered_map<std::uint64_t, RemoteDispatch*> m_proxies;
    std::vector<std::uint64_t> m_exportLog;
    bool m_logging = false;
};

// What a process holds of an object of the other side.
class RemoteDispatch final : public IDispatch {
public:
    RemoteDispatch(const std::shared_ptr<Channel>& channel, std::uint64_t id) : m_channel(channel), m_id(id) {}

    std::uint64_t id() const { return m_id; }
    std::shared_ptr<Channel> channel() const { return m_channel.lock(); }
    void addRemoteRef() { ++m_remoteRefs; }

    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_RemoteProxy) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        const ULONG left = --m_refs;
        if (left == 0) {
            // The references held on the other side go back in one message.
            if (onOwnerThread()) {
                if (std::shared_ptr<Channel> ch = m_channel.lock()) {
                    ch->forgetProxy(m_id);
                    if (ch->isOpen()) {
                        Writer w = beginMessage(MessageKind::Release, 0);
                        w.u64(m_id);
                        w.u32(m_remoteRefs);
                        ch->send(w);
                    }
                }
            }
            delete this;
        }
        return left;
    }

    HRESULT GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argErr) override;

private:
    ~RemoteDispatch() = default;

    std::atomic<ULONG> m_refs{1};
    std::weak_ptr<Channel> m_channel;
    std::uint64_t m_id;
    std::uint32_t m_remoteRefs = 1;
    // Identifiers of names asked before: they stay the same while the object lives.
    std::vector<std::pair<std::u16string, DISPID>> m_names;
};

void notifyAllReleased() {
    State& s = state();
    if (s.allReleased) {
        const std::function<void()> handler = s.allReleased;
        handler();
    }
}

// --- Channel --------------------------------------------------------------

HRESULT Channel::marshal(IUnknown* object, ObjectRef& ref) {
    ComPtr<IUnknown> identity;
    if (FAILED(object->QueryInterface(IID_IUnknown, identity.outVoid())) || !identity) return E_NOINTERFACE;
    // One of our proxies of this connection's objects goes back as theirs.
    ComPtr<IDispatch> proxyFace;
    if (SUCCEEDED(object->QueryInterface(IID_RemoteProxy, proxyFace.outVoid())) && proxyFace) {
        auto* proxy = static_cast<RemoteDispatch*>(proxyFace.get());
        if (proxy->channel().get() == this) {
            ref = {ObjectRef::Receiver, proxy->id()};
            return S_OK;
        }
    }
    std::uint64_t id;
    auto known = m_byIdentity.find(identity.get());
    if (known != m_byIdentity.end()) {
        id = known->second;
        ++m_exports[id].refs;
    } else {
        ComPtr<IDispatch> dispatch;
        if (FAILED(object->QueryInterface(IID_IDispatch, dispatch.outVoid())) || !dispatch) return DISP_E_BADVARTYPE;
        id = m_nextId++;
        m_exports[id] = Export{dispatch, identity.get(), 1};
        m_byIdentity[identity.get()] = id;
        ++state().served;
    }
    if (m_logging) m_exportLog.push_back(id);
    ref = {ObjectRef::Sender, id};
    return S_OK;
}

HRESULT Channel::unmarshal(const ObjectRef& ref, IDispatch** out) {
    *out = nullptr;
    if (ref.side == ObjectRef::Receiver) {
        IDispatch* object = exported(ref.id);
        if (!object) return RPC_E_INVALID_DATAPACKET;
        object->AddRef();
        *out = object;
        return S_OK;
    }
    auto it = m_proxies.find(ref.id);
    if (it != m_proxies.end()) {
        it->second->AddRef();
        it->second->addRemoteRef();
        *out = it->second;
        return S_OK;
    }
    auto* proxy = new (std::nothrow) RemoteDispatch(shared_from_this(), ref.id);
    if (!proxy) return E_OUTOFMEMORY;
    m_proxies[ref.id] = proxy;
    *out = proxy;
    return S_OK;
}

void Channel::releaseExport(std::uint64_t id, std::uint64_t count) {
    auto it = m_exports.find(id);
    if (it == m_exports.end()) return;
    if (count < it->second.refs) {
        it->second.refs -= count;
        return;
    }
    ComPtr<IDispatch> object = std::move(it->second.object);  // let go after the tables are right
    m_byIdentity.erase(it->second.identity);
    m_exports.erase(it);
    --state().served;
    object.reset();
    if (state().served == 0) notifyAllReleased();
}

HRESULT Channel::send(Writer& w) {
    if (!m_open) return RPC_E_DISCONNECTED;
    std::string& data = w.data();
    const std::uint32_t length = static_cast<std::uint32_t>(data.size() - 4);
    std::memcpy(data.data(), &length, 4);
    if (m_discardOutput) return S_OK;
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(m_fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The other side may be busy writing to us (or, within one
            // process, be one of our own connections): take in what every
            // connection has, unserved, so that neither waits for the other.
            std::vector<pollfd> fds{{m_fd, POLLOUT | POLLIN, 0}};
            std::vector<std::shared_ptr<Channel>> others;
            for (const auto& c : state().channels) {
                if (c.get() == this || c->m_fd < 0) continue;
                fds.push_back({c->m_fd, POLLIN, 0});
                others.push_back(c);
            }
            if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
            if (fds[0].revents & POLLIN) readAvailable();
            for (std::size_t i = 0; i < others.size(); ++i)
                if (fds[i + 1].revents) others[i]->readAvailable();
            if (!m_open) return RPC_E_DISCONNECTED;
            if (fds[0].revents & (POLLERR | POLLHUP) && !(fds[0].revents & POLLOUT)) break;
            continue;
        }
        break;
    }
    if (sent == data.size()) return S_OK;
    close();
    return RPC_E_DISCONNECTED;
}

void Channel::readAvailable() {
    if (!m_open || m_fd < 0) return;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            m_in.append(buffer, static_cast<std::size_t>(n));
            if (static_cast<std::size_t>(n) < sizeof buffer) return;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        m_peerClosed = true;  // end of stream, or a reset
        return;
    }
}

void Channel::dispatchBuffered() {
    std::shared_ptr<Channel> self = shared_from_this();  // a message may close us
    while (m_open && m_in.size() >= 4) {
        std::uint32_t length = 0;
        std::memcpy(&length, m_in.data(), 4);
        if (length < 5 || length > kMaxMessageBytes) {
            close();
            return;
        }
        if (m_in.size() - 4 < length) break;
        std::string body = m_in.substr(4, length);
        m_in.erase(0, 4 + static_cast<std::size_t>(length));
        if (!handle(body)) {
            close();
            return;
        }
    }
    if (m_peerClosed && m_open) close();
}

void Channel::close() {
    if (!m_open) return;
    std::shared_ptr<Channel> self = shared_from_this();
    m_open = false;
    unwatch(m_fd);
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    State& s = state();
    s.channels.erase(std::remove(s.channels.begin(), s.channels.end(), self), s.channels.end());
    // Proxies stay with their holders and answer "gone" from now on.
    m_proxies.clear();
    // What the other side held is let go of: it will not say so any more.
    std::unordered_map<std::uint64_t, Export> exports;
    exports.swap(m_exports);
    m_byIdentity.clear();
    const bool held = !exports.empty();
    s.served -= std::min(s.served, exports.size());
    exports.clear();
    m_replies.clear();
    if (held && s.served == 0) notifyAllReleased();
}

HRESULT Channel::call(Writer& w, std::uint32_t call, std::string& reply) {
    std::shared_ptr<Channel> self = shared_from_this();
    HRESULT hr = send(w);
    if (FAILED(hr)) return hr;
    if (m_discardOutput) return RPC_E_DISCONNECTED;
    for (;;) {
        // Messages may wait in the buffer already: read while sending, or
        // behind the call being served when this call was made.
        dispatchBuffered();
        auto it = m_replies.find(call);
        if (it != m_replies.end()) {
            reply = std::move(it->second);
            m_replies.erase(it);
            return S_OK;
        }
        if (!m_open) return RPC_E_DISCONNECTED;
        processEvents(-1);
    }
}

bool Channel::handle(std::string_view body) {
    Reader r(body);
    std::uint8_t kind = 0;
    std::uint32_t call = 0;
    if (!r.u8(kind) || !r.u32(call)) return false;
    switch (static_cast<MessageKind>(kind)) {
    case MessageKind::Reply:
        m_replies[call] = std::string(body.substr(5));
        return true;
    case MessageKind::Release: {
        std::uint64_t id = 0;
        std::uint32_t count = 0;
        if (!r.u64(id) || !r.u32(count) || !r.atEnd()) return false;
        releaseExport(id, count);
        return true;
    }
    case MessageKind::CreateInstance: return serveCreate(r, call);
    case MessageKind::GetIDsOfNames: return serveNames(r, call);
    case MessageKind::Invoke: return serveInvoke(r, call);
    }
    return false;
}

bool Channel::serveCreate(Reader& r, std::uint32_t call) {
    CLSID clsid;
    IID iid;
    if (!r.guid(clsid) || !r.guid(iid) || !r.atEnd()) return false;
    HRESULT hr = REGDB_E_CLASSNOTREG;
    ComPtr<IUnknown> factory;
    for (Listener& l : state().listeners) {
        if (l.clsid == clsid && !(l.singleUse && l.used)) {
            factory = ComPtr<IUnknown>(l.factory);
            l.used = true;
            // A single-use class object serves one object: the next client
            // starts a server of its own.
            if (l.singleUse) stopListening(l);
            break;
        }
    }
    ComPtr<IDispatch> object;
    if (factory) {
        ComPtr<IClassFactory> classFactory;
        hr = factory->QueryInterface(IID_IClassFactory, classFactory.outVoid());
        ComPtr<IUnknown> created;
        if (SUCCEEDED(hr)) hr = classFactory->CreateInstance(nullptr, iid, created.outVoid());
        if (SUCCEEDED(hr) && (!created || FAILED(created->QueryInterface(IID_IDispatch, object.outVoid())) || !object))
            hr = E_NOINTERFACE;
    }
    Writer w = beginMessage(MessageKind::Reply, call);
    ObjectRef ref;
    startExportLog();
    if (SUCCEEDED(hr)) hr = marshal(object.get(), ref);
    keepExports();
    w.i32(hr);
    w.object(SUCCEEDED(hr) ? ref : ObjectRef{});
    reply(call, w);
    return true;
}

bool Channel::serveNames(Reader& r, std::uint32_t call) {
    std::uint64_t id = 0;
    std::uint32_t lcid = 0, count = 0;
    if (!r.u64(id) || !r.u32(lcid) || !r.u32(count) || count == 0 || count > kMaxNames) return false;
    std::vector<Bstr> names(count);
    std::vector<LPOLESTR> pointers(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        BSTR s = nullptr;
        if (!r.string(s)) return false;
        names[i] = Bstr::attach(s ? s : SysAllocString(u""));
        pointers[i] = names[i].get();
    }
    if (!r.atEnd()) return false;
    std::vector<DISPID> ids(count, DISPID_UNKNOWN);
    HRESULT hr = RPC_E_DISCONNECTED;  // an object the client no longer has
    if (ComPtr<IDispatch> object = exported(id))
        hr = object->GetIDsOfNames(IID_NULL, pointers.data(), count, lcid, ids.data());
    Writer w = beginMessage(MessageKind::Reply, call);
    w.i32(hr);
    w.u32(count);
    for (DISPID d : ids) w.i32(d);
    reply(call, w);
    return true;
}

bool Channel::serveInvoke(Reader& r, std::uint32_t call) {
    std::uint64_t id = 0;
    std::int32_t member = 0;
    std::uint32_t lcid = 0, count = 0, named = 0;
    std::uint16_t flags = 0;
    std::uint8_t wantsResult = 0;
    if (!r.u64(id) || !r.i32(member) || !r.u32(lcid) || !r.u16(flags) || !r.u8(wantsResult) || !r.u32(count) ||
        count > kMaxArguments || count > r.left())
        return false;
    // The values, and what the callee gets: the value itself, or a
    // reference to it that it may change.
    std::vector<Variant> values(count);
    std::vector<VARIANT> args(count);
    std::vector<Passing> passing(count, Passing::Value);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t mode = 0;
        if (!r.u8(mode) || mode > 2) return false;
        passing[i] = static_cast<Passing>(mode);
        values[i].clear();
        if (FAILED(readVariant(r, values[i], *this))) return false;
        VariantInit(&args[i]);
        switch (passing[i]) {
        case Passing::Value: args[i] = values[i]; break;
        case Passing::RefVariant:
            args[i].vt = VT_BYREF | VT_VARIANT;
            args[i].pvarVal = &values[i];
            break;
        case Passing::RefTyped:
            if (values[i].vt == VT_EMPTY || values[i].vt == VT_NULL) return false;
            args[i].vt = static_cast<VARTYPE>(values[i].vt | VT_BYREF);
            args[i].byref = &values[i].llVal;
            break;
        }
    }
    if (!r.u32(named) || named > count || named > r.left() / 4) return false;
    std::vector<DISPID> namedIds(named);
    for (std::uint32_t i = 0; i < named; ++i)
        if (!r.i32(namedIds[i])) return false;
    if (!r.atEnd()) return false;

    DISPPARAMS params{args.data(), namedIds.data(), count, named};
    Variant result;
    EXCEPINFO excep{};
    UINT argErr = 0;
    HRESULT hr = RPC_E_DISCONNECTED;
    if (ComPtr<IDispatch> object = exported(id))
        hr = object->Invoke(member, IID_NULL, lcid, flags, &params, wantsResult ? &result : nullptr, &excep, &argErr);
    if (hr == DISP_E_EXCEPTION && excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);

    auto writeReply = [&](Writer& w, HRESULT status) -> HRESULT {
        w.i32(status);
        w.u32(argErr);
        if (status == DISP_E_EXCEPTION) {
            w.u16(excep.wCode);
            w.string(excep.bstrSource);
            w.string(excep.bstrDescription);
            w.string(excep.bstrHelpFile);
            w.u32(excep.dwHelpContext);
            w.i32(excep.scode);
        }
        const bool hasResult = wantsResult && SUCCEEDED(status);
        w.u8(hasResult);
        if (hasResult) {
            if (const HRESULT bad = writeVariant(w, result, *this); FAILED(bad)) return bad;
        }
        std::uint32_t refs = 0;
        for (Passing p : passing) refs += p != Passing::Value;
        w.u32(SUCCEEDED(status) || status == DISP_E_EXCEPTION ? refs : 0);
        if (SUCCEEDED(status) || status == DISP_E_EXCEPTION) {
            for (std::uint32_t i = 0; i < count; ++i) {
                if (passing[i] == Passing::Value) continue;
                w.u32(i);
                if (const HRESULT bad = writeVariant(w, values[i], *this); FAILED(bad)) return bad;
            }
        }
        return S_OK;
    };
    Writer w = beginMessage(MessageKind::Reply, call);
    startExportLog();
    if (const HRESULT bad = writeReply(w, hr); FAILED(bad)) {
        // A result that cannot cross: the call fails as a whole.
        undoExports();
        w = beginMessage(MessageKind::Reply, call);
        argErr = 0;
        clearExcepInfo(&excep);
        startExportLog();
        hr = bad;
        writeReply(w, hr);
    }
    keepExports();
    clearExcepInfo(&excep);
    // The callee's arguments are the values: nothing more to clear.
    reply(call, w);
    return true;
}

// --- RemoteDispatch -------------------------------------------------------

HRESULT RemoteDispatch::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
    if (riid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    if (count == 0) return S_OK;
    if (count > kMaxNames) return E_INVALIDARG;
    if (!onOwnerThread()) return RPC_E_WRONG_THREAD;
    if (count == 1 && names[0]) {
        const std::u16string_view name(names[0]);
        for (const auto& [known, id] : m_names) {
            if (known == name) {
                ids[0] = id;
                return S_OK;
            }
        }
    }
    std::shared_ptr<Channel> ch = m_channel.lock();
    if (!ch || !ch->isOpen()) return RPC_E_DISCONNECTED;
    const std::uint32_t call = ch->newCall();
    Writer w = beginMessage(MessageKind::GetIDsOfNames, call);
    w.u64(m_id);
    w.u32(lcid);
    w.u32(count);
    for (UINT i = 0; i < count; ++i) w.string(std::u16string_view(names[i] ? names[i] : u""));
    std::string answer;
    HRESULT hr = ch->call(w, call, answer);
    if (FAILED(hr)) return hr;
    Reader r(answer);
    std::uint32_t n = 0;
    if (!r.i32(hr) || !r.u32(n) || n != count || r.left() != n * 4u) {
        ch->close();
        return RPC_E_INVALID_DATAPACKET;
    }
    for (UINT i = 0; i < count; ++i) r.i32(ids[i]);
    if (SUCCEEDED(hr) && count == 1 && names[0] && m_names.size() < 256) m_names.emplace_back(names[0], ids[0]);
    return hr;
}

// Bytes a by-reference argument of type vt points at.
std::size_t referencedSize(VARTYPE vt) {
    if (vt & VT_ARRAY) return sizeof(SAFEARRAY*);
    switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4: return 4;
    case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN: return sizeof(void*);
    default: return 8;
    }
}

// Stores a by-reference argument's new value where the caller's reference
// points, converted to the caller's type; the value it replaces is freed.
void storeBack(VARIANT& arg, Variant& value) {
    if (arg.vt == (VT_BYREF | VT_VARIANT)) {
        VariantClear(arg.pvarVal);
        *arg.pvarVal = value.detach();
        return;
    }
    const VARTYPE vt = static_cast<VARTYPE>(arg.vt & ~VT_BYREF);
    if (value.vt != vt && FAILED(VariantChangeType(&value, &value, 0, vt))) return;
    const std::size_t size = referencedSize(vt);
    if ((vt & VT_ARRAY) || vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN) {
        VARIANT old;
        VariantInit(&old);
        std::memcpy(&old.llVal, arg.byref, size);
        old.vt = vt;
        VariantClear(&old);
    }
    VARIANT moved = value.detach();
    std::memcpy(arg.byref, &moved.llVal, size);
}

HRESULT RemoteDispatch::Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* excep, UINT* argErr) {
    if (riid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (result) VariantInit(result);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (!params) params = &none;
    if ((params->cArgs && !params->rgvarg) || params->cNamedArgs > params->cArgs ||
        (params->cNamedArgs && !params->rgdispidNamedArgs))
        return E_INVALIDARG;
    if (params->cArgs > kMaxArguments) return E_INVALIDARG;
    if (!onOwnerThread()) return RPC_E_WRONG_THREAD;
    std::shared_ptr<Channel> ch = m_channel.lock();
    if (!ch || !ch->isOpen()) return RPC_E_DISCONNECTED;

    const std::uint32_t call = ch->newCall();
    Writer w = beginMessage(MessageKind::Invoke, call);
    w.u64(m_id);
    w.i32(member);
    w.u32(lcid);
    w.u16(flags);
    w.u8(result != nullptr);
    w.u32(params->cArgs);
    ch->startExportLog();
    for (UINT i = 0; i < params->cArgs; ++i) {
        const VARIANT& arg = params->rgvarg[i];
        Passing mode = Passing::Value;
        if (arg.vt == (VT_BYREF | VT_VARIANT)) mode = Passing::RefVariant;
        else if (arg.vt & VT_BYREF) mode = Passing::RefTyped;
        w.u8(static_cast<std::uint8_t>(mode));
        if (const HRESULT hr = writeVariant(w, arg, *ch); FAILED(hr)) {
            ch->undoExports();
            if (argErr) *argErr = i;
            return hr;
        }
    }
    ch->keepExports();
    w.u32(params->cNamedArgs);
    for (UINT i = 0; i < params->cNamedArgs; ++i) w.i32(params->rgdispidNamedArgs[i]);

    std::string answer;
    HRESULT hr = ch->call(w, call, answer);
    if (FAILED(hr)) return hr;

    Reader r(answer);
    std::uint32_t errorArg = 0, refs = 0;
    std::uint8_t hasResult = 0;
    bool ok = r.i32(hr) && r.u32(errorArg);
    EXCEPINFO info{};
    if (ok && hr == DISP_E_EXCEPTION) {
        ok = r.u16(info.wCode) && r.string(info.bstrSource) && r.string(info.bstrDescription) &&
             r.string(info.bstrHelpFile) && r.u32(info.dwHelpContext) && r.i32(info.scode);
    }
    Variant value;
    ok = ok && r.u8(hasResult) && hasResult <= 1;
    if (ok && hasResult) ok = SUCCEEDED(readVariant(r, value, *ch));
    ok = ok && r.u32(refs) && refs <= params->cArgs;
    std::vector<std::pair<std::uint32_t, Variant>> changed;
    for (std::uint32_t k = 0; ok && k < refs; ++k) {
        std::uint32_t index = 0;
        Variant v;
        ok = r.u32(index) && index < params->cArgs && (params->rgvarg[index].vt & VT_BYREF) &&
             SUCCEEDED(readVariant(r, v, *ch));
        if (ok) changed.emplace_back(index, std::move(v));
    }
    if (!ok || !r.atEnd()) {
        clearExcepInfo(&info);
        ch->close();
        return RPC_E_INVALID_DATAPACKET;
    }
    for (auto& [index, v] : changed) storeBack(params->rgvarg[index], v);
    if (hr == DISP_E_EXCEPTION && excep) *excep = info;
    else clearExcepInfo(&info);
    if (argErr && (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND)) *argErr = errorArg;
    if (result && hasResult) *result = value.detach();
    return hr;
}

// --- Class objects of a local server, on the client side --------------------

class RemoteClassFactory final : public IClassFactory {
public:
    explicit RemoteClassFactory(const CLSID& clsid) : m_clsid(clsid) {}
    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        const ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    std::atomic<ULONG> m_refs{1};
    CLSID m_clsid;
};

// --- Sockets --------------------------------------------------------------

bool privateFolder(const std::string& path) {
    ::mkdir(path.c_str(), 0700);
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & 077) == 0;
}

// The user's runtime folder as the process was started: a program may set
// XDG_RUNTIME_DIR later for its toolkit's sake, and the servers it starts
// must find the folder its clients use, which is the environment they
// inherit.
const std::string g_startRuntimeDir = [] {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return std::string(runtime ? runtime : "");
}();

std::string socketFolder() {
    if (const char* runtime = g_startRuntimeDir.c_str(); *runtime) {
        struct stat info {};
        if (::stat(runtime, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid()) {
            const std::string folder = std::string(runtime) + "/quillan-objects";
            if (privateFolder(folder)) return folder;
        }
    }
    const std::string folder = "/tmp/quillan-objects-" + std::to_string(::getuid());
    return privateFolder(folder) ? folder : std::string();
}

bool fillAddress(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// The other end must be a process of this user.
bool peerIsUs(int fd) {
    ucred cred{};
    socklen_t length = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) == 0 && cred.uid == ::getuid();
}

std::shared_ptr<Channel> adopt(int fd, std::string path) {
    auto channel = std::make_shared<Channel>(fd, std::move(path));
    state().channels.push_back(channel);
    watch(fd);
    return channel;
}

// A connection to the server listening at path, or null when none listens.
std::shared_ptr<Channel> connectTo(const std::string& path) {
    State& s = state();
    if (auto it = s.clients.find(path); it != s.clients.end()) {
        if (std::shared_ptr<Channel> open = it->second.lock(); open && open->isOpen()) return open;
        s.clients.erase(it);
    }
    sockaddr_un address;
    if (!fillAddress(path, address)) return nullptr;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return nullptr;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || !peerIsUs(fd)) {
        ::close(fd);
        return nullptr;
    }
    std::shared_ptr<Channel> channel = adopt(fd, path);
    s.clients[path] = channel;
    return channel;
}

void acceptAll(int listenFd) {
    for (;;) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (!peerIsUs(fd)) {
            ::close(fd);
            continue;
        }
        adopt(fd, std::string());
    }
}

// --- Starting a server ----------------------------------------------------

// The words of a registered command line: blanks separate words, double
// quotes group them, and inside quotes a backslash keeps a quote or a
// backslash. A value naming an existing file as a whole is that file.
std::vector<std::string> splitCommandLine(const std::string& line) {
    if (::access(line.c_str(), X_OK) == 0) return {line};
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) word += line[++i];
            else if (c == '"') quoted = false;
            else word += c;
        } else if (c == '"') {
            quoted = inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

// Starts the command detached from this process (its own session, standard
// streams on /dev/null, no descriptor of ours); the server's process id, or
// -1 when it could not be started.
pid_t startDetached(const std::vector<std::string>& words) {
    if (words.empty()) return -1;
    std::vector<char*> argv;
    for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    // The server gets the user's runtime folder this process started with,
    // which is where it will look for its sockets (socketFolder).
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0) environment.emplace_back(*e);
    if (!g_startRuntimeDir.empty()) environment.push_back("XDG_RUNTIME_DIR=" + g_startRuntimeDir);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) return -1;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipe[0]);
        ::close(pipe[1]);
        return -1;
    }
    if (child == 0) {
        // Only calls that are safe after fork from here on.
        ::setsid();
        const pid_t server = ::fork();
        if (server != 0) {
            (void)!::write(pipe[1], &server, sizeof server);
            ::_exit(0);
        }
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        if (::syscall(SYS_close_range, 3u, ~0u, 0u) != 0)
            for (int fd = 3; fd < 1024; ++fd) ::close(fd);
        if (std::strchr(argv[0], '/')) ::execve(argv[0], argv.data(), envp.data());
        else ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(pipe[1]);
    pid_t server = -1;
    while (::read(pipe[0], &server, sizeof server) < 0 && errno == EINTR) {}
    ::close(pipe[0]);
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {}
    return server;
}

bool processAlive(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return false;  // ours after all, and ended
    if (::kill(pid, 0) != 0 && errno == ESRCH) return false;
    // An ended process that its new parent has not reaped yet is a zombie.
    const std::string statPath = "/proc/" + std::to_string(pid) + "/stat";
    const int fd = ::open(statPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return true;
    char text[512];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return true;
    text[n] = 0;
    const char* close = std::strrchr(text, ')');
    return !(close && close[1] == ' ' && (close[2] == 'Z' || close[2] == 'X'));
}

void sleepMs(int ms) {
    timespec t{0, ms * 1000000L};
    while (::nanosleep(&t, &t) != 0 && errno == EINTR) {}
}

// The connection to the class's server: the running one, else one started
// from the registry.
HRESULT connectOrStart(const CLSID& clsid, std::shared_ptr<Channel>& out, std::string& why) {
    const std::string path = socketPath(clsid);
    if (path.empty()) {
        why = "there is no private folder for the sockets of local servers";
        return E_ACCESSDENIED;
    }
    if ((out = connectTo(path))) return S_OK;
    const std::string clsidText = guidToString(clsid);
    auto command = registry::getValue(registry::Hive::ClassesRoot, "CLSID\\" + clsidText + "\\LocalServer32");
    if (!command || command->empty()) {
        why = "class " + clsidText + " is not registered";
        return REGDB_E_CLASSNOTREG;
    }
    const std::vector<std::string> words = splitCommandLine(*command);
    const pid_t server = startDetached(words);
    if (server <= 0) {
        why = "cannot start the server of class " + clsidText + ": " + *command;
        return CO_E_SERVER_EXEC_FAILURE;
    }
    const auto limit = state().startLimit;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if ((out = connectTo(path))) return S_OK;
        if (!processAlive(server)) {
            // It may have found another server running and left to it.
            if ((out = connectTo(path))) return S_OK;
            why = "the server of class " + clsidText + " (" + *command + ") ended without serving it";
            return CO_E_SERVER_EXEC_FAILURE;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            why = "the server of class " + clsidText + " (" + *command + ") did not serve it within " +
                  std::to_string(limit.count() / 1000.0).substr(0, 4) + " s";
            return CO_E_SERVER_EXEC_FAILURE;
        }
        sleepMs(5);
    }
}

HRESULT createOn(Channel& ch, const CLSID& clsid, REFIID iid, void** out) {
    const std::uint32_t call = ch.newCall();
    Writer w = beginMessage(MessageKind::CreateInstance, call);
    w.guid(clsid);
    w.guid(iid);
    std::string answer;
    HRESULT hr = ch.call(w, call, answer);
    if (FAILED(hr)) return hr;
    Reader r(answer);
    ObjectRef ref;
    if (!r.i32(hr) || !r.object(ref) || !r.atEnd() || (SUCCEEDED(hr) && ref.side != ObjectRef::Sender)) {
        ch.close();
        return RPC_E_INVALID_DATAPACKET;
    }
    if (FAILED(hr)) return hr;
    ComPtr<IDispatch> proxy;
    hr = ch.unmarshal(ref, proxy.out());
    if (FAILED(hr)) return hr;
    return proxy->QueryInterface(iid, out);
}

HRESULT RemoteClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (iid != IID_IUnknown && iid != IID_IDispatch) return E_NOINTERFACE;
    if (!onOwnerThread()) return RPC_E_WRONG_THREAD;
    // A server that ends as its last object goes may be found just before
    // it closes: then the next attempt starts a new one.
    HRESULT hr = RPC_E_DISCONNECTED;
    for (int attempt = 0; attempt < 3 && hr == RPC_E_DISCONNECTED; ++attempt) {
        std::shared_ptr<Channel> ch;
        std::string why;
        hr = connectOrStart(m_clsid, ch, why);
        if (FAILED(hr)) return hr;
        hr = createOn(*ch, m_clsid, iid, out);
        if (hr == RPC_E_DISCONNECTED) sleepMs(10 * (attempt + 1));
    }
    return hr;
}

std::uint64_t fnv1a(std::string_view text) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// Closes a class's socket. The name goes first, and only if it is still
// ours: a server that started after us may have taken it over.
void stopListening(Listener& l) {
    if (l.fd < 0) return;
    struct stat info {};
    if (::stat(l.path.c_str(), &info) == 0 && info.st_ino == l.inode) {
        ::unlink(l.path.c_str());
        ::unlink((l.path + ".lock").c_str());
    }
    unwatch(l.fd);
    ::close(l.fd);
    l.fd = -1;
}

}  // namespace

void setEventLoopHooks(EventLoopHooks* hooks) {
    State& s = state();
    if (s.hooks == hooks) return;
    if (s.hooks) {
        for (const Listener& l : s.listeners) if (l.fd >= 0) s.hooks->unwatch(l.fd);
        for (const auto& c : s.channels) s.hooks->unwatch(c->fd());
    }
    s.hooks = hooks;
    if (hooks) {
        for (const Listener& l : s.listeners) if (l.fd >= 0) hooks->watch(l.fd);
        for (const auto& c : s.channels) if (c->fd() >= 0) hooks->watch(c->fd());
    }
}

bool processEvents(int timeoutMs) {
    if (!onOwnerThread()) return false;
    State& s = state();
    std::vector<pollfd> fds;
    std::vector<DWORD> listeners;
    std::vector<std::shared_ptr<Channel>> channels;
    for (const Listener& l : s.listeners) {
        if (l.fd < 0) continue;
        fds.push_back({l.fd, POLLIN, 0});
        listeners.push_back(l.cookie);
    }
    for (const auto& c : s.channels) {
        if (c->fd() < 0) continue;
        fds.push_back({c->fd(), POLLIN, 0});
        channels.push_back(c);
    }
    if (fds.empty()) return false;
    if (::poll(fds.data(), fds.size(), timeoutMs) <= 0) return true;
    for (std::size_t i = 0; i < listeners.size(); ++i) {
        if (!fds[i].revents) continue;
        for (const Listener& l : s.listeners)
            if (l.cookie == listeners[i]) {
                if (l.fd >= 0) acceptAll(l.fd);
                break;
            }
    }
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const std::shared_ptr<Channel>& c = channels[i];
        if (!fds[listeners.size() + i].revents || !c->isOpen()) continue;
        c->readAvailable();
        c->dispatchBuffered();
    }
    return true;
}

std::size_t servedObjectCount() { return state().served; }

void setAllReleasedHandler(std::function<void()> handler) { state().allReleased = std::move(handler); }

std::string socketPath(REFCLSID clsid) {
    const std::string folder = socketFolder();
    if (folder.empty()) return {};
    char profile[17];
    std::snprintf(profile, sizeof profile, "%016llx",
                  static_cast<unsigned long long>(fnv1a(registry::directory())));
    std::string id = guidToString(clsid);
    id = id.substr(1, id.size() - 2);
    const std::string path = folder + "/" + profile + "-" + id + ".sock";
    return path.size() < sizeof(sockaddr_un::sun_path) ? path : std::string();
}

HRESULT registerClass(REFCLSID clsid, IUnknown* factory, bool singleUse, DWORD cookie) {
    if (!factory) return E_INVALIDARG;
    if (!onOwnerThread()) return RPC_E_WRONG_THREAD;
    const std::string path = socketPath(clsid);
    sockaddr_un address;
    if (!fillAddress(path, address)) return E_ACCESSDENIED;
    // Two servers starting at once take turns at the socket's name.
    const int lock = ::open((path + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (lock < 0) return HRESULT_FROM_ERRNO(errno);
    while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {}
    HRESULT hr = S_OK;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) hr = HRESULT_FROM_ERRNO(errno);
    if (SUCCEEDED(hr) && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno == EADDRINUSE) {
            // A live server answers; a socket left by one that ended does not.
            const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const bool live = probe >= 0 && ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
            if (probe >= 0) ::close(probe);
            if (live) hr = CO_E_OBJISREG;
            else if (::unlink(path.c_str()) != 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
                hr = HRESULT_FROM_ERRNO(errno);
        } else {
            hr = HRESULT_FROM_ERRNO(errno);
        }
    }
    if (SUCCEEDED(hr)) ::chmod(path.c_str(), 0600);
    if (SUCCEEDED(hr) && ::listen(fd, 64) != 0) hr = HRESULT_FROM_ERRNO(errno);
    struct stat info {};
    if (SUCCEEDED(hr) && ::stat(path.c_str(), &info) != 0) hr = HRESULT_FROM_ERRNO(errno);
    ::close(lock);
    if (FAILED(hr)) {
        if (fd >= 0) ::close(fd);
        return hr;
    }
    Listener l;
    l.cookie = cookie;
    l.clsid = clsid;
    l.factory = factory;
    l.singleUse = singleUse;
    l.fd = fd;
    l.path = path;
    l.inode = info.st_ino;
    state().listeners.push_back(std::move(l));
    watch(fd);
    return S_OK;
}

void revokeClass(DWORD cookie) {
    State& s = state();
    for (auto it = s.listeners.begin(); it != s.listeners.end(); ++it) {
        if (it->cookie != cookie) continue;
        Listener l = std::move(*it);
        s.listeners.erase(it);
        stopListening(l);
        return;
    }
}

HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** out, std::string& why) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!onOwnerThread()) return RPC_E_WRONG_THREAD;
    std::shared_ptr<Channel> ch;
    if (const HRESULT hr = connectOrStart(clsid, ch, why); FAILED(hr)) return hr;
    auto* factory = new (std::nothrow) RemoteClassFactory(clsid);
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(iid, out);
    factory->Release();
    return hr;
}

void setStartTimeLimit(std::chrono::milliseconds limit) { state().startLimit = limit; }
std::chrono::milliseconds startTimeLimit() { return state().startLimit; }

HRESULT loopbackProxy(IDispatch* object, IDispatch** proxy) {
    if (!object || !proxy) return E_POINTER;
    *proxy = nullptr;
    if (!onOwnerThread()) return RPC_E_WRONG_THREAD;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair) != 0) return HRESULT_FROM_ERRNO(errno);
    std::shared_ptr<Channel> serving = adopt(pair[0], std::string());
    std::shared_ptr<Channel> client = adopt(pair[1], std::string());
    ObjectRef ref;
    HRESULT hr = serving->marshal(object, ref);
    if (FAILED(hr)) {
        serving->close();
        client->close();
        return hr;
    }
    return client->unmarshal(ref, proxy);
}

void shutdown() {
    State& s = state();
    while (!s.listeners.empty()) revokeClass(s.listeners.front().cookie);
    const std::vector<std::shared_ptr<Channel>> channels = s.channels;
    for (const auto& c : channels) c->close();
    s.clients.clear();
}

void serveBytesForTesting(std::string_view bytes, IDispatch* object) {
    if (!onOwnerThread()) return;
    auto channel = std::make_shared<Channel>(-1, std::string());
    channel->setDiscardOutput();
    state().channels.push_back(channel);
    ObjectRef ref;
    if (object) channel->marshal(object, ref);
    channel->feed(bytes);
    channel->dispatchBuffered();
    channel->close();
}

}  // namespace qrt::remote
