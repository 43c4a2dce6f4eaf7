#include "engine/control/registration.h"

#include "engine/typelib/scrivo_ids.h"
#include "engine/typelib/scrivo_resources.h"
#include "engine/typelib/scrivo_typelib.h"
#include "platform/automation/activation.h"
#include "platform/automation/registry.h"

namespace scrivo {
namespace {

using platform::FormatGuid;
using platform::Registry;

bool RegisterClass(const platform::CLSID& clsid, const std::string& description, const std::string& progId,
                   const std::string& typeName, const std::string& libraryPath) {
  std::string key = platform::ClassKey(clsid);
  bool ok = Registry::Set(key, "", description);
  ok = ok && Registry::Set(key + "/InprocServer32", "", libraryPath);
  ok = ok && Registry::Set(key + "/InprocServer32", "ThreadingModel", "Apartment");
  ok = ok && Registry::Set(key + "/ProgID", "", progId);
  ok = ok && Registry::Set(platform::ProgIdKey(progId), "", typeName);
  ok = ok && Registry::Set(platform::ProgIdKey(progId) + "/CLSID", "", FormatGuid(clsid));
  return ok;
}

bool RegisterControlFacts(const std::string& libraryPath) {
  std::string key = platform::ClassKey(ids::kControlClass);
  std::string libid = FormatGuid(ids::kTypeLibrary);
  bool ok = Registry::Set(key + "/Control", "", "");
  ok = ok && Registry::Set(key + "/MiscStatus", "", "0");
  ok = ok && Registry::Set(key + "/MiscStatus/1", "", std::to_string(kMiscStatus));
  ok = ok && Registry::Set(key + "/ToolboxBitmap32", "", libraryPath + ", 1");
  ok = ok && Registry::Set(key + "/TypeLib", "", libid);
  ok = ok && Registry::Set(key + "/Version", "", "1.0");
  return ok;
}

bool RegisterTypeLibrary(const std::string& libraryPath) {
  const auto& lib = ScrivoTypeLib();
  std::string libid = FormatGuid(lib.libid);
  std::string version = std::to_string(lib.majorVersion) + "." + std::to_string(lib.minorVersion);
  std::string key = "Classes/TypeLib/" + libid + "/" + version;
  bool ok = Registry::Set(key, "", std::string(lib.help));
  // The type library is embedded in the server library.
  ok = ok && Registry::Set(key + "/0/linux64", "", libraryPath);
  for (const auto* iface : lib.interfaces) {
    std::string ikey = "Classes/Interface/" + FormatGuid(iface->iid);
    ok = ok && Registry::Set(ikey, "", std::string(iface->name));
    ok = ok && Registry::Set(ikey + "/TypeLib", "", libid);
    ok = ok && Registry::Set(ikey + "/TypeLib", "Version", version);
  }
  return ok;
}

}  // namespace

platform::HRESULT RegisterServer(const std::string& libraryPath) {
  bool ok = RegisterClass(ids::kControlClass, "Scrivo Control", ids::kControlProgId,
                          resources::kControlTypeName, libraryPath) &&
            RegisterControlFacts(libraryPath) &&
            RegisterClass(ids::kPropertyPageClass, resources::kPropertyPageTypeName, ids::kPropertyPageProgId,
                          resources::kPropertyPageTypeName, libraryPath) &&
            RegisterTypeLibrary(libraryPath);
  return ok ? platform::S_OK : platform::E_FAIL;
}

platform::HRESULT UnregisterServer() {
  const auto& lib = ScrivoTypeLib();
  bool ok = Registry::DeleteTree(platform::ClassKey(ids::kControlClass)) &&
            Registry::DeleteTree(platform::ProgIdKey(ids::kControlProgId)) &&
            Registry::DeleteTree(platform::ClassKey(ids::kPropertyPageClass)) &&
            Registry::DeleteTree(platform::ProgIdKey(ids::kPropertyPageProgId)) &&
            Registry::DeleteTree("Classes/TypeLib/" + FormatGuid(lib.libid));
  for (const auto* iface : lib.interfaces) {
    ok = ok && Registry::DeleteTree("Classes/Interface/" + FormatGuid(iface->iid));
  }
  return ok ? platform::S_OK : platform::E_FAIL;
}

}  // namespace scrivo
