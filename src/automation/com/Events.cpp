#include "automation/com/Events.h"

#include <vector>

namespace kx6000::com {

Events::~Events() {
    for (auto& [cookie, sink] : sinks) sink->Release();
}

void Events::Fire(DISPID member, VARIANT& argument) {
    // A listener may stop listening, or call back in, while it is told: each is held for its call.
    std::vector<IDispatch*> told;
    for (auto& [cookie, sink] : sinks) {
        sink->AddRef();
        told.push_back(sink);
    }
    DISPPARAMS params{&argument, nullptr, 1, 0};
    for (IDispatch* sink : told) {
        // A listener that failed or has gone is no reason to stop the radio's operation.
        sink->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                     nullptr);
        sink->Release();
    }
}

HRESULT Events::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown && riid != IID_IConnectionPoint) return E_NOINTERFACE;
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

ULONG Events::AddRef() {
    return container.AddRef();
}

ULONG Events::Release() {
    return container.Release();
}

HRESULT Events::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = DIID__clsDLManagerEvents;
    return S_OK;
}

HRESULT Events::GetConnectionPointContainer(IConnectionPointContainer** found) {
    if (!found) return E_POINTER;
    *found = &container;
    container.AddRef();
    return S_OK;
}

HRESULT Events::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    IDispatch* listener = nullptr;
    if (FAILED(sink->QueryInterface(DIID__clsDLManagerEvents, reinterpret_cast<void**>(&listener))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&listener))))
        return CONNECT_E_CANNOTCONNECT;
    *cookie = next++;
    sinks[*cookie] = listener;
    return S_OK;
}

HRESULT Events::Unadvise(DWORD cookie) {
    auto found = sinks.find(cookie);
    if (found == sinks.end()) return CONNECT_E_NOCONNECTION;
    found->second->Release();
    sinks.erase(found);
    return S_OK;
}

HRESULT Events::EnumConnections(IEnumConnections** connections) {
    if (connections) *connections = nullptr;
    return E_NOTIMPL;
}

}  // namespace kx6000::com
