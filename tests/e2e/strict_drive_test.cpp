// Burns through writers that check what a careful drive checks (reserved
// bits, page 05h, the tray lock, Immed closes): a page another program left
// is never burned with, an appended session carries the disc's files, and
// the tray stays locked for each job, unlocked after it however it ends.

#include <cstdlib>
#include <optional>

#include "tests/e2e/burn_fixture.h"

namespace e2e {
namespace {

constexpr std::uint8_t kPreventAllow = 0x1E;
constexpr std::uint8_t kWrite10 = 0x2A;

class StrictDrive : public BurnTest {
 protected:
  StrictDrive() {
    if (const char* old = std::getenv(kStrict)) oldStrict_ = old;
    ::setenv(kStrict, "1", 1);
  }
  ~StrictDrive() override {
    oldStrict_ ? ::setenv(kStrict, oldStrict_->c_str(), 1) : ::unsetenv(kStrict);
    ::unsetenv(kForeignPage);
  }

  // A session of more than 300 blocks, the shortest CD track a drive closes.
  void AddSession(const TempFolder& folder, const std::string& tag) {
    WriteSampleTree(folder.Path(), tag);
    WriteFile(folder / ("large-" + tag + ".bin"), 700 * 1024);
    AddFolder(folder.Path());
  }

  // Burns with `faults`: PREVENT before the first write, ALLOW as the job's
  // last command, whatever the burn's end.
  void ExpectBurnLockedTheTray(const std::string& faults, JobEnd end) {
    UseWriters({"cd-r"}, faults);
    TempFolder source;
    AddSession(source, "A");
    EXPECT_EQ(BurnCd(false), end) << testing::PrintToString(Errors());
    const auto commands = SentCommands();
    std::vector<Cdb> locks;
    for (const Cdb& command : commands) {
      if (command.at(0) == kPreventAllow) locks.push_back(command);
    }
    ASSERT_EQ(locks.size(), 2u);
    EXPECT_EQ(locks[0].at(4), 0x01);
    EXPECT_EQ(locks[1].at(4), 0x00);
    EXPECT_LT(FindOpcode(commands, kPreventAllow), FindOpcode(commands, kWrite10));
    EXPECT_EQ(commands.back(), locks[1]);
  }

  static constexpr const char* kStrict = "WNASPI32_VIRTUAL_STRICT";
  static constexpr const char* kForeignPage = "WNASPI32_VIRTUAL_FOREIGN_PAGE";
  std::optional<std::string> oldStrict_;
};

// The drive holds the page another program left (test write, session at
// once, packet writing of Mode 2 blocks, a finalising Multi-session field,
// PS set): both sessions are recorded, and the second carries the first's
// files (the session query carries no reserved bit).
TEST_F(StrictDrive, APageAnotherProgramLeftIsNeverBurnedWithAndAnAppendCarriesTheDisc) {
  ::setenv(kForeignPage, "1", 1);
  UseWriters({"cd-rw"});
  TempFolder first, second, expected;
  AddSession(first, "A");
  ASSERT_EQ(BurnCd(true), JobEnd::Finished) << testing::PrintToString(Errors());
  ExpectReadersSee(DiscImage(), first.Path());
  fs::copy(first.Path(), expected.Path(), fs::copy_options::recursive);
  KeepTimesOf(first.Path(), expected.Path());

  AddSession(second, "B");
  MergeMissingEntries(second.Path(), expected.Path());
  ASSERT_EQ(BurnCd(true), JobEnd::Finished) << testing::PrintToString(Errors());
  const DiscRecord disc = Disc();
  ASSERT_EQ(disc.sessions.size(), 2u);
  EXPECT_EQ(disc.sessions.back().at("next"), "allowed");
  ExpectSessionReadersSee(DiscImage(), expected.Path(), disc.TrackNumber(1, "start"));
}

// The tray's button pressed in the middle of the writes does nothing while
// the job runs; the lock is released at the job's end, also after a failure.
TEST_F(StrictDrive, TheTrayIsLockedForTheJobThroughThePressOfItsButton) {
  ExpectBurnLockedTheTray("button=2A@3", JobEnd::Finished);
}

TEST_F(StrictDrive, AFailedJobUnlocksTheTray) { ExpectBurnLockedTheTray("fail=2A@3", JobEnd::Failed); }

}  // namespace
}  // namespace e2e
