#pragma once
// Dispatch by id, driven by an interface description: the description says
// which members exist and what they take; the table binds each member to its
// implementation. Argument counts, types and read-only properties are checked
// here once, so implementations receive arguments already of their declared
// types.

#include <functional>
#include <map>
#include <span>

#include "platform/automation/com.h"

namespace platform {

class DispatchTable {
 public:
  using Getter = std::function<Variant()>;
  using Setter = std::function<void(const Variant&)>;
  using Method = std::function<Variant(std::span<const Variant>)>;

  explicit DispatchTable(const InterfaceDesc& desc) : desc_(desc) {}

  void BindGet(DISPID id, Getter get) { bindings_[id].get = std::move(get); }
  void BindPut(DISPID id, Setter put) { bindings_[id].put = std::move(put); }
  void BindMethod(DISPID id, Method call) { bindings_[id].call = std::move(call); }

  const InterfaceDesc& Desc() const { return desc_; }
  HRESULT GetIDOfName(std::string_view name, DISPID* id) const;
  HRESULT Invoke(DISPID id, InvokeKind kind, std::span<const Variant> args, Variant* result) const;

  // True when every described member has its implementation and nothing is
  // bound that the description lacks.
  bool IsComplete() const;

 private:
  struct Binding {
    Getter get;
    Setter put;
    Method call;
  };
  HRESULT InvokeProperty(const MemberDesc& member, const Binding& binding, InvokeKind kind,
                         std::span<const Variant> args, Variant* result) const;
  HRESULT InvokeMethod(const MemberDesc& member, const Binding& binding, std::span<const Variant> args,
                       Variant* result) const;

  const InterfaceDesc& desc_;
  std::map<DISPID, Binding> bindings_;
};

}  // namespace platform
