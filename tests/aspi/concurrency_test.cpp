// The engine may query a writer on its host thread while a worker burns on
// another, and two writers may burn at once: requests are serialised per
// writer, and the trace keeps whole lines.

#include <sstream>
#include <thread>

#include "aspi_test_support.h"

namespace aspitest {
namespace {

class ConcurrencyTest : public AspiTest {};

TEST_F(ConcurrencyTest, WritersServeSeveralThreads) {
  const auto trace = dir_ / "trace.log";
  Configure({{"WNASPI32_VIRTUAL_WRITERS",
              "cd-r=" + (dir_ / "a").string() + ";dvd+r=" + (dir_ / "b").string()},
             {"WNASPI32_TRACE", trace.string()}});
  constexpr std::uint32_t kBlocks = 200;
  auto burn = [](std::uint8_t target) {
    Device d(0, target);
    if (target == 0) {
      d.PrepareCd(0);
    } else {
      d.core().SetWriteParametersDvd();
    }
    for (std::uint32_t i = 0; i < kBlocks; ++i) EXPECT_TRUE(d.WriteBlock(i, PatternBlock(i)));
    d.FinishSession(target == 0);
  };
  std::thread first(burn, 0), second(burn, 1);
  std::thread poller([] {
    Device a(0, 0), b(0, 1);
    for (int i = 0; i < 300; ++i) {
      a.In(ReadDiscInformationCdb(34), 34);
      b.NoData(TestUnitReadyCdb());
    }
  });
  first.join();
  second.join();
  poller.join();

  Device a(0, 0), b(0, 1);
  EXPECT_EQ(ReadBlocks(a, kBlocks - 1, 1), PatternBlock(kBlocks - 1));
  EXPECT_EQ(ReadBlocks(b, kBlocks - 1, 1), PatternBlock(kBlocks - 1));
  std::istringstream lines(ReadFile(trace));
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    ASSERT_TRUE(line.find(" EXEC [") != std::string::npos || line.find(" # ") != std::string::npos)
        << line;
  }
  EXPECT_GT(count, 1000);
}

}  // namespace
}  // namespace aspitest
