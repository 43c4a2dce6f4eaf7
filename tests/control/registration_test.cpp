// The server library as hosts see it: self-registration, creation by class
// id and ProgID through the registry, and when it may be unloaded.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "engine/control/registration.h"
#include "engine/typelib/scrivo_ids.h"
#include "platform/automation/activation.h"
#include "platform/automation/registry.h"

namespace {

using platform::Registry;

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("quillon-regtest-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    setenv("XDG_DATA_HOME", dir.c_str(), 1);
    library = std::filesystem::canonical(std::string(QUILLON_BIN_DIR) + "/libscrivo.so").string();
    handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
  }
  void TearDown() override {
    unsetenv("XDG_DATA_HOME");
    std::filesystem::remove_all(dir);
  }
  template <typename Fn>
  Fn Entry(const char* name) {
    return reinterpret_cast<Fn>(dlsym(handle, name));
  }
  std::filesystem::path dir;
  std::string library;
  void* handle = nullptr;
};

TEST_F(Registration, RegisterWritesTheClassesAndUnregisterRemovesThem) {
  ASSERT_EQ(Entry<platform::DllRegisterServerFn>("DllRegisterServer")(), platform::S_OK);
  std::string control = platform::ClassKey(scrivo::ids::kControlClass);
  EXPECT_EQ(Registry::Get(control + "/InprocServer32"), library);
  EXPECT_EQ(Registry::Get(control + "/InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(Registry::Get(control + "/ProgID"), "SCRIVO.ScrivoCtrl.1");
  EXPECT_EQ(Registry::Get(control + "/MiscStatus/1"), std::to_string(0x20191));
  EXPECT_EQ(Registry::Get(control + "/TypeLib"), platform::FormatGuid(scrivo::ids::kTypeLibrary));
  EXPECT_EQ(Registry::Get("Classes/SCRIVO.ScrivoCtrl.1"), "Scrivo ActiveX Control");
  EXPECT_EQ(Registry::Get("Classes/SCRIVO.ScrivoPropPage.1"), "Scrivo Property Page");
  EXPECT_EQ(Registry::Get("Classes/TypeLib/" + platform::FormatGuid(scrivo::ids::kTypeLibrary) + "/1.0"),
            "Scrivo ActiveX Control");

  ASSERT_EQ(Entry<platform::DllRegisterServerFn>("DllUnregisterServer")(), platform::S_OK);
  EXPECT_FALSE(Registry::Get(control + "/InprocServer32"));
  EXPECT_FALSE(Registry::Get("Classes/SCRIVO.ScrivoCtrl.1/CLSID"));
  EXPECT_TRUE(Registry::ReadAll().empty());
}

TEST_F(Registration, HostsCreateTheControlByClassIdOrProgId) {
  platform::ComPtr<platform::IDispatch> control;
  EXPECT_EQ(platform::CoCreateInstance(scrivo::ids::kControlClass, platform::IID_IDispatch, control.Out()),
            platform::REGDB_E_CLASSNOTREG);
  ASSERT_EQ(Entry<platform::DllRegisterServerFn>("DllRegisterServer")(), platform::S_OK);

  platform::CLSID clsid;
  ASSERT_EQ(platform::CLSIDFromProgID("SCRIVO.ScrivoCtrl.1", &clsid), platform::S_OK);
  EXPECT_EQ(clsid, scrivo::ids::kControlClass);
  ASSERT_EQ(platform::CoCreateInstance(clsid, platform::IID_IDispatch, control.Out()), platform::S_OK);
  EXPECT_EQ(control->GetTypeInfo()->name, "_DScrivo");

  auto canUnload = Entry<platform::DllCanUnloadNowFn>("DllCanUnloadNow");
  EXPECT_EQ(canUnload(), platform::S_FALSE);
  control = nullptr;
  EXPECT_EQ(canUnload(), platform::S_OK);

  platform::ComPtr<platform::IPropertyPage> page;
  ASSERT_EQ(platform::CoCreateInstance(scrivo::ids::kPropertyPageClass, platform::IID_IPropertyPage, page.Out()),
            platform::S_OK);
  EXPECT_EQ(page->Caption(), "General");
  platform::ComPtr<platform::IDispatch> none;
  EXPECT_EQ(platform::CoCreateInstance(scrivo::ids::kPropertyPageClass, platform::IID_IDispatch, none.Out()),
            platform::E_NOINTERFACE);
  EXPECT_FALSE(none);
}

}  // namespace
