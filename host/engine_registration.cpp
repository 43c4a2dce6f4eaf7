#include "host/engine_registration.h"

#include <dlfcn.h>

#include <system_error>

#include "engine/typelib/scrivo_ids.h"
#include "platform/automation/activation.h"
#include "platform/automation/registry.h"

namespace quillonhost {

std::optional<EngineLibrary> EngineWithProgram(const std::filesystem::path& programDir) {
  const struct {
    std::filesystem::path path;
    bool installed;
  } candidates[] = {
      {programDir / ".." / QUILLON_PRIVATE_LIBDIR / "libscrivo.so", true},
      {programDir / "libscrivo.so", false},
      {programDir / ".." / "lib" / "libscrivo.so", false},
  };
  for (const auto& candidate : candidates) {
    std::error_code error;
    const auto path = std::filesystem::canonical(candidate.path, error);
    if (!error) return EngineLibrary{path, candidate.installed};
  }
  return std::nullopt;
}

std::string EnsureEngineRegistered(const EngineLibrary& engine) {
  const auto server = platform::Registry::Get(platform::ClassKey(scrivo::ids::kControlClass) + "/InprocServer32");
  if (server) {
    std::error_code error;
    const auto registered = std::filesystem::canonical(*server, error);
    if (!error && (!engine.installed || registered == engine.path)) return {};
  }
  void* handle = dlopen(engine.path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return "cannot load " + engine.path.string() + ": " + dlerror();
  auto registerServer = reinterpret_cast<platform::DllRegisterServerFn>(dlsym(handle, "DllRegisterServer"));
  if (!registerServer || platform::FAILED(registerServer())) return "cannot register " + engine.path.string();
  return {};
}

}  // namespace quillonhost
