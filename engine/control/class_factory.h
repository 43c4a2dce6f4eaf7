#pragma once
// A class factory creating objects of one class.

#include <atomic>

#include "engine/control/module_state.h"
#include "platform/automation/com.h"

namespace scrivo {

template <typename T>
class ClassFactory final : public platform::IClassFactory {
 public:
  platform::HRESULT QueryInterface(const platform::IID& iid, void** out) override {
    if (!out) return platform::E_POINTER;
    if (iid == platform::IID_IUnknown || iid == platform::IID_IClassFactory) {
      *out = static_cast<platform::IClassFactory*>(this);
      AddRef();
      return platform::S_OK;
    }
    *out = nullptr;
    return platform::E_NOINTERFACE;
  }
  // Factories are static objects of the module: counting is not needed.
  std::uint32_t AddRef() override { return 2; }
  std::uint32_t Release() override { return 1; }

  platform::HRESULT CreateInstance(platform::IUnknown* outer, const platform::IID& iid, void** out) override {
    if (!out) return platform::E_POINTER;
    *out = nullptr;
    if (outer) return platform::CLASS_E_NOAGGREGATION;
    auto* object = new T();
    object->AddRef();
    platform::HRESULT hr = object->QueryInterface(iid, out);
    object->Release();  // deletes the object when the interface was refused
    return hr;
  }

  platform::HRESULT LockServer(bool lock) override {
    module::g_serverLocks += lock ? 1 : -1;
    return platform::S_OK;
  }
};

}  // namespace scrivo
