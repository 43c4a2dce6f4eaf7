#pragma once
// Dynamic library loading under Windows names: LoadLibraryA("WNASPI32.DLL")
// opens libwnaspi32.so from the folder of the module that asks (the engine),
// then from the platform library's folder, then from the system's search
// path.

#include <map>
#include <optional>
#include <string>

namespace platform {

struct Module;
using HMODULE = Module*;

// "WNASPI32.DLL" -> "libwnaspi32.so".
std::string SharedObjectName(const std::string& windowsName);
// Folder holding the platform library, with a trailing '/'.
std::string PlatformLibraryDirectory();

HMODULE LoadLibraryA(const char* name);
void* GetProcAddress(HMODULE module, const char* symbol);
void FreeLibrary(HMODULE module);

namespace testing {
// An in-process module answering LoadLibraryA(name) with these symbols, so
// tests can stand a double in for a library.
void RegisterModule(const std::string& windowsName, std::map<std::string, void*> symbols);
void UnregisterModule(const std::string& windowsName);
// Replaces the folders searched (no system fallback while set).
void SetSearchDirectory(std::optional<std::string> directory);
// How many times a module by that name was opened.
int LoadCount(const std::string& windowsName);
}  // namespace testing

}  // namespace platform
