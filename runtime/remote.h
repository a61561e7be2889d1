// Objects across processes: a program serves class objects registered for
// local-server activation, and another process reaches their objects
// through proxies that implement IDispatch.
//
// Transport: one Unix domain socket per served class, in a private folder
// of the user's runtime folder, named after the registry folder in use and
// the class identifier; one connection per client process, carrying calls
// in both directions (remote_wire.h). Objects are numbered per connection;
// the serving side keeps an object while the other side holds a proxy of
// it, and lets go of everything a connection held when it closes (the
// other process ended or was killed). A proxy whose connection closed
// answers RPC_E_DISCONNECTED ("the server is gone") at once.
//
// Threads: everything here belongs to the thread that first used it (the
// program's user-interface thread); proxies called from another thread
// answer RPC_E_WRONG_THREAD. While a call waits for its answer, calls that
// arrive on any connection are served (a callback from the called process,
// or another client), as in a single-threaded apartment.
#pragma once

#include "runtime/dispatch.h"

#include <chrono>
#include <functional>
#include <string>

namespace qrt::remote {

// How a program's event loop watches the sockets: the runtime asks it to
// watch a descriptor for reading, and the loop calls processEvents(0) when
// one is readable. Without hooks, sockets are only looked at while a call
// waits and in processEvents.
class EventLoopHooks {
public:
    virtual void watch(int fd) = 0;
    virtual void unwatch(int fd) = 0;

protected:
    ~EventLoopHooks() = default;
};
void setEventLoopHooks(EventLoopHooks* hooks);

// Accepts connections and serves what has arrived, waiting up to timeoutMs
// for something to arrive (0: not at all, -1: without limit). False when
// there is no socket to wait on.
bool processEvents(int timeoutMs);

// Objects this process serves to others now (each counted once, however
// many references its clients hold).
std::size_t servedObjectCount();
// Called (from processEvents or a call's wait) when the count falls to
// zero after having been above: the last client let go.
void setAllReleasedHandler(std::function<void()> handler);

// Class objects of local servers (CoRegisterClassObject with
// CLSCTX_LOCAL_SERVER): listens on the class's socket. A socket left by a
// process that ended is replaced; one with a live server is not
// (CO_E_OBJISREG... reported as E_ACCESSDENIED with the reason).
HRESULT registerClass(REFCLSID clsid, IUnknown* factory, bool singleUse, DWORD cookie);
void revokeClass(DWORD cookie);

// Activation of a local server: connects to the class's running server, or
// starts the command line registered under LocalServer32 and waits for it
// (startTimeLimit) to listen, then hands out a class object proxy.
HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** out, std::string& why);
void setStartTimeLimit(std::chrono::milliseconds limit);
std::chrono::milliseconds startTimeLimit();

// The socket a class is served on, for the registry folder in use.
std::string socketPath(REFCLSID clsid);

// A proxy of object over a connection within this process (a socket pair),
// for tests and measurements of the transport.
HRESULT loopbackProxy(IDispatch* object, IDispatch** proxy);
// Closes every connection (proxies then answer RPC_E_DISCONNECTED) and
// every listening socket.
void shutdown();

// Serves the messages in bytes as if a client had sent them on a fresh
// connection that holds object as its object 1 (when given), then closes
// that connection; answers go nowhere (for the decoder's fuzz target).
void serveBytesForTesting(std::string_view bytes, IDispatch* object = nullptr);

}  // namespace qrt::remote
