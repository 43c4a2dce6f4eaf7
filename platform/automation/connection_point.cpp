#include "platform/automation/connection_point.h"

#include <vector>

namespace platform {

ConnectionPoint::~ConnectionPoint() {
  for (auto& [cookie, sink] : sinks_) sink->Release();
}

HRESULT ConnectionPoint::QueryInterface(const IID& iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT ConnectionPoint::Advise(IDispatch* sink, std::uint32_t* cookie) {
  if (!sink || !cookie) return E_POINTER;
  sink->AddRef();
  *cookie = nextCookie_++;
  sinks_[*cookie] = sink;
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(std::uint32_t cookie) {
  auto it = sinks_.find(cookie);
  if (it == sinks_.end()) return CONNECT_E_NOCONNECTION;
  IDispatch* sink = it->second;
  sinks_.erase(it);
  sink->Release();
  return S_OK;
}

void ConnectionPoint::Fire(DISPID id, std::span<const Variant> args) {
  // A sink may unadvise while handling the event; fire to a stable list.
  std::vector<IDispatch*> targets;
  for (auto& [cookie, sink] : sinks_) {
    sink->AddRef();
    targets.push_back(sink);
  }
  for (IDispatch* sink : targets) {
    sink->Invoke(id, InvokeKind::Method, args, nullptr);
    sink->Release();
  }
}

}  // namespace platform
