// The entry points of the in-process server libscrivo.so.

#include <dlfcn.h>

#include <string>

#include "engine/control/class_factory.h"
#include "engine/control/module_state.h"
#include "engine/control/registration.h"
#include "engine/control/scrivo_ctrl.h"
#include "engine/control/scrivo_prop_page.h"
#include "engine/typelib/scrivo_ids.h"

#define SCRIVO_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

scrivo::ClassFactory<scrivo::CScrivoCtrl> g_controlFactory;
scrivo::ClassFactory<scrivo::CScrivoPropPage> g_pageFactory;

std::string ThisLibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ThisLibraryPath), &info) == 0 || !info.dli_fname) return "";
  char resolved[4096];
  return realpath(info.dli_fname, resolved) ? std::string(resolved) : std::string(info.dli_fname);
}

}  // namespace

SCRIVO_EXPORT platform::HRESULT DllGetClassObject(const platform::CLSID* clsid, const platform::IID* iid,
                                                  void** out) {
  if (!clsid || !iid || !out) return platform::E_POINTER;
  if (*clsid == scrivo::ids::kControlClass) return g_controlFactory.QueryInterface(*iid, out);
  if (*clsid == scrivo::ids::kPropertyPageClass) return g_pageFactory.QueryInterface(*iid, out);
  *out = nullptr;
  return platform::CLASS_E_CLASSNOTAVAILABLE;
}

SCRIVO_EXPORT platform::HRESULT DllCanUnloadNow() {
  return scrivo::module::CanUnload() ? platform::S_OK : platform::S_FALSE;
}

SCRIVO_EXPORT platform::HRESULT DllRegisterServer() { return scrivo::RegisterServer(ThisLibraryPath()); }

SCRIVO_EXPORT platform::HRESULT DllUnregisterServer() { return scrivo::UnregisterServer(); }
