#include "runtime/connection.h"

namespace qrt {

ConnectionPoint::~ConnectionPoint() = default;

HRESULT ConnectionPoint::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IUnknown::IID || iid == IConnectionPoint::IID) {
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT ConnectionPoint::GetConnectionInterface(::IID* iid) {
    if (!iid) return E_POINTER;
    *iid = m_iid;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container) return E_POINTER;
    m_owner->AddRef();
    *container = m_owner;
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    ComPtr<IUnknown> held;
    if (FAILED(sink->QueryInterface(m_iid, held.outVoid())) &&
        FAILED(sink->QueryInterface(IDispatch::IID, held.outVoid())))
        return CONNECT_E_CANNOTCONNECT;
    DWORD c = m_nextCookie++;
    m_sinks.emplace(c, std::move(held));
    *cookie = c;
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
    auto it = m_sinks.find(cookie);
    if (it == m_sinks.end()) return CONNECT_E_NOCONNECTION;
    ComPtr<IUnknown> sink = std::move(it->second);  // released after the map is consistent
    m_sinks.erase(it);
    return S_OK;
}

std::vector<ComPtr<IUnknown>> ConnectionPoint::sinks() const {
    std::vector<ComPtr<IUnknown>> out;
    out.reserve(m_sinks.size());
    for (const auto& [cookie, sink] : m_sinks) out.push_back(sink);
    return out;
}

void ConnectionPoint::fireDispatch(DISPID id, std::initializer_list<VARIANT> args) {
    if (m_sinks.empty()) return;
    std::vector<VARIANT> reversed(args.begin(), args.end());
    std::reverse(reversed.begin(), reversed.end());
    DISPPARAMS dp{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    // A sink may unadvise from inside the event: iterate over a copy.
    for (const ComPtr<IUnknown>& sink : sinks()) {
        ComPtr<IDispatch> d = sink.as<IDispatch>();
        if (!d) continue;
        VARIANT result;
        VariantInit(&result);
        const HRESULT hr = d->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, &result, nullptr, nullptr);
        VariantClear(&result);
        if (FAILED(hr)) break;  // a failing sink ends the event for those after it
    }
}

void ConnectionPoint::clear() {
    std::map<DWORD, ComPtr<IUnknown>> gone;
    gone.swap(m_sinks);
}

bool requestEdit(ConnectionPoint& point, DISPID id) {
    for (const ComPtr<IUnknown>& sink : point.sinks()) {
        ComPtr<IPropertyNotifySink> s = sink.as<IPropertyNotifySink>();
        if (s && s->OnRequestEdit(id) == S_FALSE) return false;
    }
    return true;
}

void notifyChanged(ConnectionPoint& point, DISPID id) {
    for (const ComPtr<IUnknown>& sink : point.sinks()) {
        ComPtr<IPropertyNotifySink> s = sink.as<IPropertyNotifySink>();
        if (s) s->OnChanged(id);
    }
}

}  // namespace qrt
