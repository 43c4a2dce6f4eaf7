// libwnaspi32.so as the engine loads it: two exported entry points, the
// configuration read from the environment once, on first use.

#include <dlfcn.h>
#include <stdlib.h>

#include "aspi_test_support.h"

namespace aspitest {
namespace {

TEST(SharedLibrary, ExportsTheEntryPointsAndReadsTheEnvironmentOnce) {
  TempDir dir;
  const std::string trace = (dir / "trace.log").string();
  const std::string writers = "cd-r=" + (dir / "D1").string() + ";dvd+rw=" + (dir / "D2").string();
  ::setenv("WNASPI32_VIRTUAL_WRITERS", writers.c_str(), 1);
  ::setenv("WNASPI32_REAL_DRIVES", "0", 1);
  ::setenv("WNASPI32_TRACE", trace.c_str(), 1);

  void* library = ::dlopen(QUILLON_BIN_DIR "/libwnaspi32.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << ::dlerror();
  auto support = reinterpret_cast<GetASPI32SupportInfoFn>(::dlsym(library, "GetASPI32SupportInfo"));
  auto send = reinterpret_cast<SendASPI32CommandFn>(::dlsym(library, "SendASPI32Command"));
  ASSERT_NE(support, nullptr);
  ASSERT_NE(send, nullptr);
  EXPECT_NE(send, &SendASPI32Command) << "the library's own entry point, not the test's";
  EXPECT_EQ(::dlsym(library, "_ZN6wnaspi12CurrentLayerEv"), nullptr) << "internals stay hidden";

  EXPECT_EQ(support(), (std::uint32_t{SS_COMP} << 8) | 1u);
  Device d1(send, 0, 0), d2(send, 0, 1), none(send, 0, 2);
  EXPECT_EQ(d1.DeviceType(nullptr), SS_COMP);
  EXPECT_EQ(d2.DeviceType(nullptr), SS_COMP);
  EXPECT_EQ(none.DeviceType(nullptr), SS_NO_DEVICE);
  EXPECT_EQ(Be16(d2.In(ModeSense10Cdb(PageControl::Current, 0x2A, 30), 30).data, 26), 8467);
  EXPECT_EQ(d1.Description(), "QUILLON VIRTUAL DRIVE 0 1.0");

  // Read once: a later change of the environment changes nothing.
  ::setenv("WNASPI32_VIRTUAL_WRITERS", "", 1);
  EXPECT_EQ(d2.DeviceType(nullptr), SS_COMP);
  EXPECT_NE(ReadFile(trace).find("0:1:0 GET_DEV_TYPE status=01 type=05"), std::string::npos);

  ::unsetenv("WNASPI32_VIRTUAL_WRITERS");
  ::unsetenv("WNASPI32_REAL_DRIVES");
  ::unsetenv("WNASPI32_TRACE");
  ::dlclose(library);
}

}  // namespace
}  // namespace aspitest
