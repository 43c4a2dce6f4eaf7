#pragma once
// One outgoing interface of an object: the sinks hosts advised, and firing
// an event to each of them.

#include <map>
#include <span>

#include "platform/automation/com.h"

namespace platform {

class ConnectionPoint final : public IConnectionPoint {
 public:
  // `owner` is the object the connection point belongs to; it keeps the
  // owner alive while a host holds the point.
  ConnectionPoint(IUnknown& owner, const IID& iid) : owner_(owner), iid_(iid) {}
  ~ConnectionPoint();
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  HRESULT QueryInterface(const IID& iid, void** out) override;
  std::uint32_t AddRef() override { return owner_.AddRef(); }
  std::uint32_t Release() override { return owner_.Release(); }
  IID GetConnectionInterface() override { return iid_; }
  HRESULT Advise(IDispatch* sink, std::uint32_t* cookie) override;
  HRESULT Unadvise(std::uint32_t cookie) override;

  // Invokes the event on every sink, in the order they were advised.
  void Fire(DISPID id, std::span<const Variant> args);

 private:
  IUnknown& owner_;
  IID iid_;
  std::map<std::uint32_t, IDispatch*> sinks_;
  std::uint32_t nextCookie_ = 1;
};

}  // namespace platform
