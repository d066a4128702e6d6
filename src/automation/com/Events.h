// The connection point through which callers hear of the window's values as they change.
#pragma once

#include <map>

#include "automation/com/Interface.h"

namespace kx6000::com {

class Events final : public IConnectionPoint {
public:
    // Part of `container`, which it lives and is counted with.
    explicit Events(IConnectionPointContainer& container) : container(container) {}
    ~Events();
    Events(const Events&) = delete;
    Events& operator=(const Events&) = delete;

    // Calls that member of _clsDLManagerEvents with one argument on every listener.
    void Fire(DISPID member, VARIANT& argument);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** found) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

private:
    IConnectionPointContainer& container;
    std::map<DWORD, IDispatch*> sinks;
    DWORD next = 1;
};

}  // namespace kx6000::com
