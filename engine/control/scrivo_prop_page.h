#pragma once
// The control's one property page: caption "General", a fixed text, no
// properties exchanged.

#include <atomic>

#include "platform/automation/com.h"

namespace scrivo {

class CScrivoPropPage final : public platform::IPropertyPage {
 public:
  CScrivoPropPage();
  ~CScrivoPropPage();
  CScrivoPropPage(const CScrivoPropPage&) = delete;
  CScrivoPropPage& operator=(const CScrivoPropPage&) = delete;

  platform::HRESULT QueryInterface(const platform::IID& iid, void** out) override;
  std::uint32_t AddRef() override { return ++refCount_; }
  std::uint32_t Release() override;
  std::string Caption() override;
  std::string Text() override;

 private:
  std::atomic<std::uint32_t> refCount_{0};
};

}  // namespace scrivo
