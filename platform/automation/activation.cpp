#include "platform/automation/activation.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

#include "platform/automation/registry.h"

namespace platform {
namespace {

// Server libraries stay loaded for the life of the process once used, as
// hosts may hold their objects until exit.
void* OpenServer(const std::string& path) {
  static std::mutex mutex;
  static std::map<std::string, void*> open;
  std::lock_guard lock(mutex);
  if (auto it = open.find(path); it != open.end()) return it->second;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle) open[path] = handle;
  return handle;
}

}  // namespace

std::string ClassKey(const CLSID& clsid) { return "Classes/CLSID/" + FormatGuid(clsid); }
std::string ProgIdKey(std::string_view progId) { return "Classes/" + std::string(progId); }

HRESULT CLSIDFromProgID(std::string_view progId, CLSID* clsid) {
  auto text = Registry::Get(ProgIdKey(progId) + "/CLSID");
  if (!text) return CO_E_CLASSSTRING;
  auto guid = ParseGuid(*text);
  if (!guid) return CO_E_CLASSSTRING;
  *clsid = *guid;
  return S_OK;
}

HRESULT CoGetClassObject(const CLSID& clsid, const IID& iid, void** out) {
  auto path = Registry::Get(ClassKey(clsid) + "/InprocServer32");
  if (!path) return REGDB_E_CLASSNOTREG;
  void* server = OpenServer(*path);
  if (!server) return CO_E_DLLNOTFOUND;
  auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(server, "DllGetClassObject"));
  if (!getClassObject) return CO_E_DLLNOTFOUND;
  return getClassObject(&clsid, &iid, out);
}

HRESULT CoCreateInstance(const CLSID& clsid, const IID& iid, void** out) {
  ComPtr<IClassFactory> factory;
  if (HRESULT hr = CoGetClassObject(clsid, IID_IClassFactory, factory.Out()); FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, iid, out);
}

}  // namespace platform
