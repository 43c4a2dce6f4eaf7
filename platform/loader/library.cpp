#include "platform/loader/library.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <mutex>

namespace platform {

struct Module {
  void* handle = nullptr;                  // dlopen handle, or null for in-process
  std::map<std::string, void*> symbols;    // in-process modules only
};

namespace {

std::mutex g_mutex;
std::map<std::string, std::map<std::string, void*>> g_inProcess;
std::optional<std::string> g_searchOverride;
std::map<std::string, int> g_loadCounts;

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

void* OpenFrom(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

}  // namespace

std::string SharedObjectName(const std::string& windowsName) {
  std::string base = windowsName;
  auto dot = base.rfind('.');
  if (dot != std::string::npos && Upper(base.substr(dot)) == ".DLL") base.resize(dot);
  std::transform(base.begin(), base.end(), base.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return "lib" + base + ".so";
}

namespace {

// Folder of the module holding `address`, with a trailing '/'.
std::string DirectoryOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || !info.dli_fname) return "";
  std::string path = info.dli_fname;
  auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

std::string PlatformLibraryDirectory() { return DirectoryOf(reinterpret_cast<void*>(&PlatformLibraryDirectory)); }

HMODULE LoadLibraryA(const char* name) {
  // The folder of the calling module (the engine) comes first.
  std::string callerDirectory = DirectoryOf(__builtin_return_address(0));
  std::string key = Upper(name);
  std::lock_guard lock(g_mutex);
  if (auto it = g_inProcess.find(key); it != g_inProcess.end()) {
    ++g_loadCounts[key];
    return new Module{nullptr, it->second};
  }
  std::string file = SharedObjectName(name);
  void* handle = nullptr;
  if (g_searchOverride) {
    handle = OpenFrom(*g_searchOverride + "/" + file);
  } else {
    for (const std::string& folder : {callerDirectory, PlatformLibraryDirectory()}) {
      if (!handle && !folder.empty()) handle = OpenFrom(folder + file);
    }
    if (!handle) handle = OpenFrom(file);
  }
  if (!handle) return nullptr;
  ++g_loadCounts[key];
  return new Module{handle, {}};
}

void* GetProcAddress(HMODULE module, const char* symbol) {
  if (!module) return nullptr;
  if (!module->handle) {
    auto it = module->symbols.find(symbol);
    return it == module->symbols.end() ? nullptr : it->second;
  }
  return dlsym(module->handle, symbol);
}

void FreeLibrary(HMODULE module) {
  if (!module) return;
  if (module->handle) dlclose(module->handle);
  delete module;
}

namespace testing {
void RegisterModule(const std::string& windowsName, std::map<std::string, void*> symbols) {
  std::lock_guard lock(g_mutex);
  g_inProcess[Upper(windowsName)] = std::move(symbols);
}
void UnregisterModule(const std::string& windowsName) {
  std::lock_guard lock(g_mutex);
  g_inProcess.erase(Upper(windowsName));
}
void SetSearchDirectory(std::optional<std::string> directory) {
  std::lock_guard lock(g_mutex);
  g_searchOverride = std::move(directory);
}
int LoadCount(const std::string& windowsName) {
  std::lock_guard lock(g_mutex);
  auto it = g_loadCounts.find(Upper(windowsName));
  return it == g_loadCounts.end() ? 0 : it->second;
}
}  // namespace testing

}  // namespace platform
