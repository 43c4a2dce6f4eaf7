#include "platform/automation/dispatch_table.h"

#include <vector>

namespace platform {
namespace {

HRESULT StoreResult(const MemberDesc& member, const Variant& value, Variant* result) {
  if (!result) return S_OK;
  if (member.type == VarType::Void) {
    *result = Variant();
    return S_OK;
  }
  return value.ChangeType(member.type, *result);
}

}  // namespace

HRESULT DispatchTable::GetIDOfName(std::string_view name, DISPID* id) const {
  const MemberDesc* member = desc_.FindByName(name);
  if (!member) return DISP_E_UNKNOWNNAME;
  *id = member->id;
  return S_OK;
}

HRESULT DispatchTable::Invoke(DISPID id, InvokeKind kind, std::span<const Variant> args, Variant* result) const {
  const MemberDesc* member = desc_.Find(id);
  auto binding = bindings_.find(id);
  if (!member || binding == bindings_.end()) return DISP_E_MEMBERNOTFOUND;
  if (member->kind == MemberKind::Property) return InvokeProperty(*member, binding->second, kind, args, result);
  if (kind != InvokeKind::Method) return DISP_E_MEMBERNOTFOUND;
  return InvokeMethod(*member, binding->second, args, result);
}

HRESULT DispatchTable::InvokeProperty(const MemberDesc& member, const Binding& binding, InvokeKind kind,
                                      std::span<const Variant> args, Variant* result) const {
  if (kind == InvokeKind::PropertyPut) {
    if (member.readOnly || !binding.put) return CTL_E_SETNOTSUPPORTED;
    if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
    Variant value;
    if (HRESULT hr = args[0].ChangeType(member.type, value); FAILED(hr)) return hr;
    binding.put(value);
    return S_OK;
  }
  // A property read may also arrive as a method call without arguments.
  if (!args.empty()) return DISP_E_BADPARAMCOUNT;
  if (!binding.get) return DISP_E_MEMBERNOTFOUND;
  return StoreResult(member, binding.get(), result);
}

HRESULT DispatchTable::InvokeMethod(const MemberDesc& member, const Binding& binding,
                                    std::span<const Variant> args, Variant* result) const {
  if (args.size() != member.params.size()) return DISP_E_BADPARAMCOUNT;
  std::vector<Variant> typed(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (HRESULT hr = args[i].ChangeType(member.params[i].type, typed[i]); FAILED(hr)) return hr;
  }
  if (!binding.call) return DISP_E_MEMBERNOTFOUND;
  return StoreResult(member, binding.call(typed), result);
}

bool DispatchTable::IsComplete() const {
  for (const MemberDesc& member : desc_.members) {
    auto it = bindings_.find(member.id);
    if (it == bindings_.end()) return false;
    const Binding& b = it->second;
    bool ok = member.kind == MemberKind::Method ? bool(b.call) && !b.get && !b.put
                                                : bool(b.get) && !b.call && (member.readOnly ? !b.put : bool(b.put));
    if (!ok) return false;
  }
  for (const auto& [id, binding] : bindings_) {
    if (!desc_.Find(id)) return false;
  }
  return true;
}

}  // namespace platform
