// Burns that fail: a write the drive refuses, a drive that never becomes
// ready, a DVD burn on a CD, an image larger than the disc. Each ends with
// "Unable to burn image.", no Finished event and the control idle again.

#include "engine/drive/polling_limits.h"
#include "tests/e2e/burn_fixture.h"

namespace e2e {
namespace {

constexpr std::uint8_t kWrite10 = 0x2A;
constexpr std::uint8_t kSynchronizeCache = 0x35;
constexpr std::uint8_t kCloseTrackSession = 0x5B;
constexpr const char* kBurnFailure = "Unable to burn image.";

class Faults : public BurnTest {
 protected:
  // The burn's own text comes last, on the debug channel and on the
  // diagnostics interface alike.
  void ExpectFailedBurn() {
    auto errors = Errors();
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back(), kBurnFailure) << testing::PrintToString(errors);
    EXPECT_EQ(DiagnosticTexts(), errors);
    for (const auto& name : EventNames()) EXPECT_NE(name, "Finished");
    EXPECT_FALSE(control().Busy());
  }
  TempFolder source;
};

TEST_F(Faults, RefusedWriteOfBlockThreeStillFlushesAndClosesAndKeepsTheCompilation) {
  UseWriters({"cd-r", "cd-r"}, "badblock=2");
  WriteSampleTree(source.Path(), "A");
  AddFolder(source.Path());
  ASSERT_EQ(BurnCd(false), JobEnd::Failed);
  ExpectFailedBurn();
  // Only the build's progress reached the host: nothing is posted once a
  // burn has failed.
  EXPECT_EQ(ProgressEvents(), (std::vector<int>{1, 2, 3, 4, 5}));

  auto commands = SentCommands();
  // The refused write is the one that holds the third block of the session.
  std::size_t write = FindOpcode(commands, kWrite10);
  ASSERT_NE(write, std::string::npos);
  EXPECT_LE(Write10Address(commands[write]), 2u);
  EXPECT_GT(Write10Address(commands[write]) + Write10Blocks(commands[write]), 2u);
  // The drive recorded the blocks before the bad one: the track is padded
  // from there to the 300 blocks a drive closes a CD track with.
  std::size_t pad = FindOpcode(commands, kWrite10, write + 1);
  ASSERT_NE(pad, std::string::npos);
  EXPECT_EQ(Write10Address(commands[pad]), 2u);
  for (std::size_t next = pad; next != std::string::npos; next = FindOpcode(commands, kWrite10, next + 1)) pad = next;
  EXPECT_EQ(Write10Address(commands[pad]) + Write10Blocks(commands[pad]), 300u);
  std::size_t flush = FindOpcode(commands, kSynchronizeCache, pad + 1);
  ASSERT_NE(flush, std::string::npos);
  EXPECT_NE(FindOpcode(commands, kCloseTrackSession, flush + 1), std::string::npos);
  EXPECT_EQ(Disc().sessions.at(0).at("closed"), "yes");

  // The compilation is still there: the second writer burns it whole.
  EXPECT_FALSE(CompilationEmpty());
  SelectWriter(1);
  ASSERT_EQ(BurnCd(false), JobEnd::Finished) << testing::PrintToString(Errors());
  ExpectReadersSee(DiscImage(1), source.Path());
}

TEST_F(Faults, DriveThatNeverBecomesReadyFailsTheBurnWithinTheBound) {
  UseWriters({"cd-r"}, "neverready");
  WriteSampleTree(source.Path(), "A");
  AddFolder(source.Path());
  ASSERT_EQ(BurnCd(false), JobEnd::Failed);
  ExpectFailedBurn();
  // The wait after flushing the cache is the one that never ends on its own;
  // it gives up after its documented number of polls. Before it, the disc
  // was given the time to be recognised at the burn's first look (the
  // writer's selection, on the host's thread, does not wait).
  const platform::Milliseconds bound(
      std::uint64_t{scrivo::kSessionFinishWait.intervalMs} * scrivo::kSessionFinishWait.maxPolls +
      std::uint64_t{scrivo::kMediumRecognitionWait.intervalMs} * scrivo::kMediumRecognitionWait.maxPolls);
  EXPECT_GT(clock.Slept(), platform::Milliseconds(0));
  EXPECT_LE(clock.Slept(), bound);
  EXPECT_EQ(clock.SleepCount(), scrivo::kSessionFinishWait.maxPolls + scrivo::kMediumRecognitionWait.maxPolls);
}

TEST_F(Faults, DvdDriveThatNeverBecomesReadyFailsBeforeWritingWithinTheBound) {
  UseWriters({"dvd+r"}, "neverready");
  WriteSampleTree(source.Path(), "A");
  AddFolder(source.Path());
  ASSERT_EQ(BurnDvd(), JobEnd::Failed);
  ExpectFailedBurn();
  EXPECT_FALSE(HasOpcode(SentCommands(), kWrite10));
  EXPECT_EQ(clock.Slept(), platform::Milliseconds(std::uint64_t{scrivo::kStreamingSetupWait.intervalMs} *
                                                      scrivo::kStreamingSetupWait.maxPolls +
                                                  std::uint64_t{scrivo::kMediumRecognitionWait.intervalMs} *
                                                      scrivo::kMediumRecognitionWait.maxPolls));
}

TEST_F(Faults, DvdMinusRWhoseFirstWriteIsRefusedGetsItAgainOnceTheDriveIsReady) {
  UseWriters({"dvd-r"}, "fail=2A@1");
  WriteSampleTree(source.Path(), "A");
  AddFolder(source.Path());
  ASSERT_EQ(BurnDvd(), JobEnd::Finished) << testing::PrintToString(Errors());
  auto commands = SentCommands();
  std::size_t refused = FindOpcode(commands, kWrite10);
  ASSERT_NE(refused, std::string::npos);
  std::size_t retried = FindOpcode(commands, kWrite10, refused + 1);
  ASSERT_NE(retried, std::string::npos);
  EXPECT_EQ(Write10Address(commands[refused]), 0u);
  EXPECT_EQ(Write10Address(commands[retried]), 0u);
  ExpectReadersSee(DiscImage(), source.Path());
}

// A DVD-R's first block is tried ten times at most, the drive's readiness
// tested between tries; the faults count WRITE(10)s over the whole process,
// so each count of refusals has a test of its own.
class FirstBlockRetries : public Faults {
 protected:
  // Burns onto a DVD-R whose first `refusals` writes are refused; returns
  // the addresses written to, in order.
  std::vector<std::uint32_t> BurnWithFirstWritesRefused(int refusals, JobEnd end) {
    std::string faults;
    for (int n = 1; n <= refusals; ++n) faults += (n > 1 ? "," : "") + std::string("fail=2A@") + std::to_string(n);
    UseWriters({"dvd-r"}, faults);
    WriteSampleTree(source.Path(), "A");
    AddFolder(source.Path());
    EXPECT_EQ(BurnDvd(), end) << testing::PrintToString(Errors());
    std::vector<std::uint32_t> addresses;
    for (const Cdb& command : SentCommands()) {
      if (command.at(0) == kWrite10) addresses.push_back(Write10Address(command));
    }
    return addresses;
  }
};

TEST_F(FirstBlockRetries, NineRefusalsThenTheTenthTryWrites) {
  auto addresses = BurnWithFirstWritesRefused(9, JobEnd::Finished);
  ASSERT_GT(addresses.size(), 11u);
  // The tenth try writes the first 16 blocks; the next write follows them.
  EXPECT_EQ(std::vector<std::uint32_t>(addresses.begin(), addresses.begin() + 11),
            (std::vector<std::uint32_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16}));
  ExpectReadersSee(DiscImage(), source.Path());
}

TEST_F(FirstBlockRetries, TheTenthRefusalFailsTheBurn) {
  auto addresses = BurnWithFirstWritesRefused(10, JobEnd::Failed);
  EXPECT_EQ(addresses, std::vector<std::uint32_t>(10, 0));
  ExpectFailedBurn();
}

TEST_F(Faults, SourceThatShrankAfterItWasAddedFailsTheBurnAndClosesTheSession) {
  UseWriters({"cd-r"});
  WriteFile(source / "shrinking.bin", 40 * 2048);
  AddFolder(source.Path());
  fs::resize_file(source / "shrinking.bin", 20 * 2048);
  ASSERT_EQ(BurnCd(false), JobEnd::Failed);
  ExpectFailedBurn();
  auto commands = SentCommands();
  std::size_t flush = FindOpcode(commands, kSynchronizeCache, FindOpcode(commands, kWrite10));
  ASSERT_NE(flush, std::string::npos);
  EXPECT_NE(FindOpcode(commands, kCloseTrackSession, flush + 1), std::string::npos);
  EXPECT_EQ(Disc().sessions.at(0).at("closed"), "yes");
}

TEST_F(Faults, DvdBurnOnACdEndsAtOnceWithNothingSentButTheTrayLockAndTheMediumQuery) {
  UseWriters({"cd-r"});
  WriteSampleTree(source.Path(), "A");
  AddFolder(source.Path());
  const std::size_t linesBefore = TraceLines();
  ASSERT_EQ(BurnDvd(), JobEnd::Failed);
  // The job's tray lock, the look at the medium that names one the burn
  // does not write (TEST UNIT READY, the profile), the release; nothing else.
  const auto commands = SentCommands();
  ASSERT_EQ(TraceLines(), linesBefore + 4);
  const std::vector<std::uint8_t> opcodes{commands[commands.size() - 4].at(0), commands[commands.size() - 3].at(0),
                                          commands[commands.size() - 2].at(0), commands.back().at(0)};
  EXPECT_EQ(opcodes, (std::vector<std::uint8_t>{0x1E, 0x00, 0x46, 0x1E}));
  ExpectFailedBurn();
  EXPECT_TRUE(sink.events.empty());
  EXPECT_FALSE(CompilationEmpty());
}

TEST_F(Faults, ImageLargerThanTheFreeSpaceFailsBeforeAnyWrite) {
  struct Case {
    const char* what;
    int files;
    std::uintmax_t size;
  };
  // An 80-minute CD holds 360,000 blocks; 2,048 files of 4 GiB - 1 bytes
  // take 2^32 blocks, a total that wraps to almost nothing in 32 bits.
  for (const Case& c : {Case{"400,000 blocks", 1, std::uintmax_t{400000} * 2048},
                        Case{"2^32 blocks", 2048, 0xFFFFFFFFu}}) {
    SCOPED_TRACE(c.what);
    UseWriters({"cd-r"});
    TempFolder folder;
    for (int i = 0; i < c.files; ++i) WriteSparseFile(folder / ("huge" + std::to_string(i)), c.size);
    AddFolder(folder.Path());
    ASSERT_EQ(BurnCd(false), JobEnd::Failed);
    ExpectFailedBurn();
    EXPECT_FALSE(HasOpcode(SentCommands(), kWrite10));
    EXPECT_TRUE(Disc().sessions.empty());
    EXPECT_FALSE(CompilationEmpty());
    control().Image().ClearTree();
  }
}

}  // namespace
}  // namespace e2e
