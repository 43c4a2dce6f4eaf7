// A CD-RW burned in three multi-session burns: each new session lists the
// files of the earlier ones where they already lie, a new file named like
// one on the disc takes its place, a folder of both holds both's contents,
// and every session is readable at its own start address.

#include "tests/e2e/burn_fixture.h"

namespace e2e {
namespace {

constexpr std::uint8_t kWrite10 = 0x2A;

class CdMultiSession : public BurnTest {
 protected:
  // Burns `source` as a new session; returns the session's start address.
  std::uint32_t AppendSession(const fs::path& source) {
    const std::size_t commandsBefore = SentCommands().size();
    AddFolder(source);
    EXPECT_EQ(BurnCd(true), JobEnd::Finished) << testing::PrintToString(Errors());
    DiscRecord disc = Disc();
    const std::uint32_t start = disc.TrackNumber(disc.tracks.size() - 1, "start");
    ExpectWritesOnlyFrom(start, commandsBefore, disc.TrackNumber(disc.tracks.size() - 1, "recorded"));
    EXPECT_EQ(disc.sessions.back().at("closed"), "yes");
    EXPECT_EQ(disc.sessions.back().at("next"), "allowed");
    EXPECT_TRUE(CompilationEmpty());
    return start;
  }

  // The burn wrote its session's blocks and nothing of the earlier ones.
  void ExpectWritesOnlyFrom(std::uint32_t start, std::size_t firstCommand, std::uint32_t recorded) {
    auto commands = SentCommands();
    std::uint32_t written = 0;
    for (std::size_t i = firstCommand; i < commands.size(); ++i) {
      if (commands[i].at(0) != kWrite10) continue;
      written += Write10Blocks(commands[i]);
      EXPECT_GE(Write10Address(commands[i]), start);
    }
    EXPECT_EQ(written, recorded);
  }

  // Files of the earlier session stay where they were; new ones lie in the
  // new session.
  void ExpectEarlierFilesKeptTheirAddresses(const std::map<std::string, std::uint32_t>& earlier,
                                            std::uint32_t sessionStart) {
    auto now = ReadFileAddresses(DiscImage(), sessionStart);
    for (const auto& [path, address] : earlier) {
      ASSERT_TRUE(now.contains(path)) << path;
      EXPECT_EQ(now[path], address) << path;
    }
    for (const auto& [path, address] : now) {
      if (!earlier.contains(path)) {
        EXPECT_GE(address, sessionStart) << path;
      }
    }
  }
};

TEST_F(CdMultiSession, EachAppendedSessionListsTheEarlierFilesWhereTheyLie) {
  UseWriters({"cd-rw"});
  TempFolder first, second, third, expected;
  WriteSampleTree(first.Path(), "A");
  AddFolder(first.Path());
  // A blank disc has no previous session: the first burn imports nothing.
  ASSERT_EQ(BurnCd(true), JobEnd::Finished) << testing::PrintToString(Errors());
  ASSERT_EQ(Disc().sessions.size(), 1u);
  ExpectReadersSee(DiscImage(), first.Path());
  fs::copy(first.Path(), expected.Path(), fs::copy_options::recursive);
  KeepTimesOf(first.Path(), expected.Path());

  // The second session brings new entries, a newer version of a file on the
  // disc and a folder named like one on the disc: the new file is written in
  // the new session, the folder holds its old and new files.
  WriteSampleTree(second.Path(), "B");
  WriteFile(second / "notes-A.txt", 777);
  fs::create_directories(second / "folder A");
  WriteFile(second / "folder A" / "added.txt", 10);
  fs::copy(second.Path(), expected.Path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  KeepTimesOf(second.Path(), expected.Path());
  auto firstAddresses = ReadFileAddresses(DiscImage(), 0);
  ASSERT_EQ(firstAddresses.erase("notes-A.txt"), 1u);
  std::uint32_t secondStart = AppendSession(second.Path());
  EXPECT_GT(secondStart, 0u);
  ExpectSessionReadersSee(DiscImage(), expected.Path(), secondStart);
  ExpectEarlierFilesKeptTheirAddresses(firstAddresses, secondStart);

  WriteSampleTree(third.Path(), "C");
  MergeMissingEntries(third.Path(), expected.Path());
  auto secondAddresses = ReadFileAddresses(DiscImage(), secondStart);
  std::uint32_t thirdStart = AppendSession(third.Path());
  EXPECT_GT(thirdStart, secondStart);
  ExpectSessionReadersSee(DiscImage(), expected.Path(), thirdStart);
  ExpectEarlierFilesKeptTheirAddresses(secondAddresses, thirdStart);

  // The earlier sessions still read as they were written.
  ExpectReadersSee(DiscImage(), first.Path());
  ASSERT_EQ(Disc().sessions.size(), 3u);
}

}  // namespace
}  // namespace e2e
