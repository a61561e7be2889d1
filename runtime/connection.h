// Connection points: outgoing interfaces (events, property notifications).
#pragma once

#include "runtime/dispatch.h"

#include <algorithm>
#include <initializer_list>
#include <map>
#include <vector>

struct IConnectionPointContainer;

struct IConnectionPoint : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{B196B286-BAB4-101A-B69C-00AA00341D07}");
    using Base = IUnknown;
    virtual HRESULT GetConnectionInterface(::IID* iid) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
    virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
    virtual HRESULT Unadvise(DWORD cookie) = 0;

protected:
    ~IConnectionPoint() = default;
};

struct IConnectionPointContainer : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{B196B284-BAB4-101A-B69C-00AA00341D07}");
    using Base = IUnknown;
    virtual HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) = 0;

protected:
    ~IConnectionPointContainer() = default;
};

struct IPropertyNotifySink : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{9BFBBC02-EFF1-101A-84ED-00AA00341D07}");
    using Base = IUnknown;
    virtual HRESULT OnChanged(DISPID id) = 0;
    // S_OK allows the change; S_FALSE refuses it.
    virtual HRESULT OnRequestEdit(DISPID id) = 0;

protected:
    ~IPropertyNotifySink() = default;
};

namespace qrt {

// One connection point embedded in its container object: it shares the
// container's reference count, so it lives exactly as long as the container.
class ConnectionPoint final : public IConnectionPoint {
public:
    ConnectionPoint(IConnectionPointContainer* owner, const ::IID& iid) : m_owner(owner), m_iid(iid) {}
    ~ConnectionPoint();

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return m_owner->AddRef(); }
    ULONG Release() override { return m_owner->Release(); }
    HRESULT GetConnectionInterface(::IID* iid) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
    // The sink must answer the connection's interface (or IDispatch for a
    // dispatch-only event interface).
    HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT Unadvise(DWORD cookie) override;

    const ::IID& iid() const { return m_iid; }
    // The sinks in the order they connected (references held by the caller's copy).
    std::vector<ComPtr<IUnknown>> sinks() const;
    bool hasSinks() const { return !m_sinks.empty(); }
    // Calls Invoke(id, DISPATCH_METHOD) on every sink, in the order they
    // connected, with args given first to last; a sink whose call fails ends
    // the event for the sinks after it.
    void fireDispatch(DISPID id, std::initializer_list<VARIANT> args);
    // Drops every sink (when the owner shuts down).
    void clear();

private:
    IConnectionPointContainer* m_owner;
    ::IID m_iid;
    DWORD m_nextCookie = 1;
    std::map<DWORD, ComPtr<IUnknown>> m_sinks;
};

// Asks every IPropertyNotifySink sink whether the property may change
// (false when one refuses) / tells them it changed.
bool requestEdit(ConnectionPoint& point, DISPID id);
void notifyChanged(ConnectionPoint& point, DISPID id);

}  // namespace qrt
