#pragma once
// The receiving end of an outgoing interface, for hosts: a sink owned by
// the host (not reference counted) that hands every event to OnEvent.

#include <span>

#include "platform/automation/com.h"

namespace platform {

class EventSink : public IDispatch {
 public:
  HRESULT QueryInterface(const IID& iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_IDispatch ? static_cast<IDispatch*>(this) : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  std::uint32_t AddRef() override { return 1; }
  std::uint32_t Release() override { return 1; }
  const InterfaceDesc* GetTypeInfo() override { return nullptr; }
  HRESULT GetIDOfName(std::string_view, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, InvokeKind, std::span<const Variant> args, Variant*) override {
    OnEvent(id, args);
    return S_OK;
  }

 protected:
  ~EventSink() = default;
  virtual void OnEvent(DISPID id, std::span<const Variant> args) = 0;
};

}  // namespace platform
