#include "engine/control/scrivo_prop_page.h"

#include "engine/control/module_state.h"
#include "engine/typelib/scrivo_resources.h"

namespace scrivo {

CScrivoPropPage::CScrivoPropPage() { ++module::g_liveObjects; }
CScrivoPropPage::~CScrivoPropPage() { --module::g_liveObjects; }

platform::HRESULT CScrivoPropPage::QueryInterface(const platform::IID& iid, void** out) {
  if (!out) return platform::E_POINTER;
  if (iid == platform::IID_IUnknown || iid == platform::IID_IPropertyPage) {
    *out = static_cast<platform::IPropertyPage*>(this);
    AddRef();
    return platform::S_OK;
  }
  *out = nullptr;
  return platform::E_NOINTERFACE;
}

std::uint32_t CScrivoPropPage::Release() {
  std::uint32_t left = --refCount_;
  if (left == 0) delete this;
  return left;
}

std::string CScrivoPropPage::Caption() { return resources::kPropertyPageCaption; }
std::string CScrivoPropPage::Text() { return resources::kPropertyPageText; }

}  // namespace scrivo
