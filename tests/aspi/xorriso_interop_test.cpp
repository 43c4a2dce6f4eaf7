// disc.img holds the disc's blocks where a drive would put them, so an
// independent ISO 9660 reader opens it: xorriso lists the files of an image
// written through WRITE(10), and reads a second session from where it was
// written.

#include <cstdio>
#include <cstdlib>

#include "aspi_test_support.h"

namespace aspitest {
namespace {

std::string RunShell(const std::string& command) {
  std::string output;
  if (FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    ::pclose(pipe);
  }
  return output;
}

bool HaveXorriso() { return std::system("xorriso -version >/dev/null 2>&1") == 0; }

std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

std::vector<Bytes> ImageBlocks(const std::filesystem::path& iso) {
  const std::string data = ReadFile(iso);
  std::vector<Bytes> blocks;
  for (std::size_t at = 0; at < data.size(); at += 2048) {
    Bytes block(2048, 0);
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at), std::min<std::size_t>(2048, data.size() - at),
                block.begin());
    blocks.push_back(std::move(block));
  }
  return blocks;
}

class XorrisoInteropTest : public AspiTest {
 protected:
  void SetUp() override {
    if (!HaveXorriso()) GTEST_SKIP() << "xorriso is not installed";
    std::filesystem::create_directories(dir_ / "src" / "sub");
    WriteFile(dir_ / "src" / "a.txt", "hello\n");
    WriteFile(dir_ / "src" / "sub" / "b.txt", "world\n");
    std::filesystem::create_directories(dir_ / "src2");
    WriteFile(dir_ / "src2" / "c.txt", "again\n");
  }
  Device d{0, 0};
};

TEST_F(XorrisoInteropTest, SingleSessionDiscImageOpensInXorriso) {
  ConfigureOne("cd-r");
  const auto iso = dir_ / "one.iso";
  RunShell("xorriso -as mkisofs -quiet -J -R -V QUILLON -o " + Quote(iso) + " " + Quote(dir_ / "src"));
  const auto blocks = ImageBlocks(iso);
  ASSERT_GT(blocks.size(), 16u);

  const auto start = d.PrepareCd(0);
  ASSERT_EQ(start, 0u);
  ASSERT_EQ(d.WriteBlocks(0, blocks), blocks.size());
  d.FinishSession(true);

  const std::string listing =
      RunShell("xorriso -indev " + Quote(dir_ / "w0" / "disc.img") + " -find /");
  EXPECT_NE(listing.find("'/a.txt'"), std::string::npos) << listing;
  EXPECT_NE(listing.find("'/sub/b.txt'"), std::string::npos) << listing;
  const std::string content = RunShell("xorriso -osirrox on -indev " + Quote(dir_ / "w0" / "disc.img") +
                                  " -extract /sub/b.txt " + Quote(dir_ / "b.out") + " >/dev/null 2>&1; cat " +
                                  Quote(dir_ / "b.out"));
  EXPECT_EQ(content, "world\n");
}

TEST_F(XorrisoInteropTest, SecondSessionIsReadWhereItWasWritten) {
  ConfigureOne("cd-r");
  const auto one = dir_ / "one.iso";
  RunShell("xorriso -as mkisofs -quiet -J -R -o " + Quote(one) + " " + Quote(dir_ / "src"));
  const auto first = ImageBlocks(one);
  ASSERT_EQ(d.PrepareCd(3), 0u);
  ASSERT_EQ(d.WriteBlocks(0, first), first.size());
  d.FinishSession(true);

  // The next session is mastered against the disc, with the addresses the
  // drive reports: the last session's start (session information) and the
  // next writable address (B0h).
  const auto next = d.PrepareCd(3);
  ASSERT_TRUE(next.has_value());
  const Result sessionInfo = d.In(ReadSessionInfoCdb(12), 12);
  const std::uint32_t lastStart = Be32(sessionInfo.data, 8);
  const auto two = dir_ / "two.iso";
  RunShell("xorriso -as mkisofs -quiet -J -R -C " + std::to_string(lastStart) + "," +
      std::to_string(*next) + " -M " + Quote(dir_ / "w0" / "disc.img") + " -o " + Quote(two) + " " +
      Quote(dir_ / "src2"));
  const auto second = ImageBlocks(two);
  ASSERT_FALSE(second.empty());
  ASSERT_EQ(d.WriteBlocks(*next, second), second.size());
  d.FinishSession(true);

  const std::string listing = RunShell("xorriso -indev " + Quote(dir_ / "w0" / "disc.img") +
                                  " -load sbsector " + std::to_string(*next) + " -find /");
  EXPECT_NE(listing.find("'/a.txt'"), std::string::npos) << listing;
  EXPECT_NE(listing.find("'/c.txt'"), std::string::npos) << listing;
}

}  // namespace
}  // namespace aspitest
