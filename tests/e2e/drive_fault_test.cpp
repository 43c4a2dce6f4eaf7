// Single drive faults around the recording that must not close, ruin or
// misreport a disc: write parameters the drive did not take, a close the
// drive refused, a read of the disc's state that failed once. Each case
// names its medium: a CD-R is burned as a multi-session CD, a DVD-R or
// DVD+R as a DVD, a CD-RW burned and then erased.

#include "tests/e2e/burn_fixture.h"

namespace e2e {
namespace {

constexpr std::uint8_t kWrite10 = 0x2A;
constexpr std::uint8_t kReserveTrack = 0x53;
constexpr std::uint8_t kCloseTrackSession = 0x5B;

struct Fault {
  const char* what;
  const char* medium;
  const char* faults;
  JobEnd end;  // of the case's job
};
void PrintTo(const Fault& c, std::ostream* out) { *out << c.what; }
std::string Name(const testing::TestParamInfo<Fault>& info) { return info.param.what; }

class DriveFault : public BurnTest, public testing::WithParamInterface<Fault> {
 protected:
  JobEnd RunJob() {
    const std::string medium = GetParam().medium;
    UseWriters({medium}, GetParam().faults);
    WriteSampleTree(source.Path(), "A");
    AddFolder(source.Path());
    if (medium == "cd-rw") {
      EXPECT_EQ(BurnCd(false), JobEnd::Finished);
      return Blank(false);
    }
    return medium == "cd-r" ? BurnCd(true) : BurnDvd();
  }
  TempFolder source;
};

// Recording with the drive's own page would close a disc the user wanted
// open (CD) or reserve a track no write can fill (DVD-R): the burn stops
// before anything changes the disc, and names the step.
using WriteParametersRefused = DriveFault;
TEST_P(WriteParametersRefused, StopsTheBurnBeforeTheDiscIsTouched) {
  ASSERT_EQ(RunJob(), JobEnd::Failed);
  EXPECT_EQ(Errors(), std::vector<std::string>{"Unable to burn image."});
  EXPECT_EQ(LastFailedStep().first, "set write parameters");
  for (std::uint8_t opcode : {kWrite10, kReserveTrack, kCloseTrackSession}) {
    EXPECT_FALSE(HasOpcode(SentCommands(), opcode)) << int(opcode);
  }
  EXPECT_TRUE(Disc().tracks.empty());
}
INSTANTIATE_TEST_SUITE_P(Burns, WriteParametersRefused,
                         testing::Values(Fault{"CdSelect", "cd-r", "fail=55@1", JobEnd::Failed},
                                         Fault{"CdSelectNotReady", "cd-r", "notready=55@1", JobEnd::Failed},
                                         Fault{"CdSense", "cd-r", "fail=5A@5", JobEnd::Failed},
                                         Fault{"DvdMinusRSelect", "dvd-r", "fail=55@1", JobEnd::Failed},
                                         Fault{"DvdMinusRSelectNotReady", "dvd-r", "notready=55@1", JobEnd::Failed},
                                         Fault{"DvdMinusRSense", "dvd-r", "fail=5A@5", JobEnd::Failed}),
                         Name);

// A refused close, and the read a job judges its outcome by, are tried
// again before the job is judged; only a drive that keeps refusing fails it.
using RefusedOnce = DriveFault;
TEST_P(RefusedOnce, IsTriedAgainBeforeTheJobIsJudged) {
  EXPECT_EQ(RunJob(), GetParam().end) << testing::PrintToString(Errors());
  if (GetParam().end == JobEnd::Finished) ExpectReadersSee(DiscImage(), source.Path());
}
// The DVD-R's second READ DISC INFORMATION is the one after the flush (the
// first is the writer's selection).
INSTANTIATE_TEST_SUITE_P(
    Jobs, RefusedOnce,
    testing::Values(Fault{"CdClose", "cd-r", "fail=5B@1", JobEnd::Finished},
                    Fault{"DvdMinusRDiscInformation", "dvd-r", "fail=51@2", JobEnd::Finished},
                    Fault{"EraseRequestSense", "cd-rw", "fail=03@1", JobEnd::BlankFinished},
                    Fault{"EraseRequestSenseThrice", "cd-rw", "fail=03@1,fail=03@2,fail=03@3", JobEnd::Failed}),
    Name);

// A session the burn could not close is closed by the close job as its
// medium needs, and then reads back; a disc without an open session is
// told so and sent nothing that changes it.
using SessionClose = DriveFault;
TEST_P(SessionClose, ClosesTheSessionABurnLeftOpenAndOnlyThat) {
  const bool open = GetParam().end == JobEnd::CloseFinished;
  ASSERT_EQ(RunJob(), open ? JobEnd::Failed : JobEnd::Finished);
  SelectWriter(0);
  const std::size_t before = SentCommands().size();
  ASSERT_EQ(CloseSession(), GetParam().end) << testing::PrintToString(Errors());
  const auto commands = SentCommands();
  EXPECT_EQ(HasOpcode({commands.begin() + static_cast<std::ptrdiff_t>(before), commands.end()}, kCloseTrackSession),
            open);
  const DiscRecord disc = Disc();
  EXPECT_EQ(disc.sessions.at(0).at("closed"), "yes");
  for (const auto& track : disc.tracks) EXPECT_EQ(track.at("closed"), "yes");
  // The burn's own failure, or the close job's finding no open session.
  EXPECT_EQ(LastFailedStep().first, open ? "close session" : "check session");
  ExpectReadersSee(DiscImage(), source.Path());
}
INSTANTIATE_TEST_SUITE_P(
    Discs, SessionClose,
    testing::Values(Fault{"CdEveryCloseRefused", "cd-r", "fail=5B@1,fail=5B@2,fail=5B@3", JobEnd::CloseFinished},
                    Fault{"DvdPlusREveryCloseRefused", "dvd+r", "fail=5B@1,fail=5B@3,fail=5B@5", JobEnd::CloseFinished},
                    Fault{"DvdMinusRFlushAndClosesRefused", "dvd-r", "fail=35@1,fail=5B@1,fail=5B@2,fail=5B@3", JobEnd::CloseFinished},
                    // The burn closes what its refused flush left open.
                    Fault{"DvdMinusRClosedAfterARefusedFlush", "dvd-r", "fail=35@1", JobEnd::Failed},
                    Fault{"CdClosedByTheBurn", "cd-r", "", JobEnd::Failed}),
    Name);

// The tray opens and closes at the writer's selection: the drive answers
// "no medium", then "becoming ready" for 20 commands, then reports the
// change once. The disc is waited for, not taken for missing or unreadable.
using JustLoaded = DriveFault;
TEST_P(JustLoaded, IsWaitedForWhileTheDriveRecognisesIt) {
  recognitionCommands = 20;
  EXPECT_EQ(RunJob(), GetParam().end) << testing::PrintToString(Errors());
  ExpectReadersSee(DiscImage(), source.Path());
  EXPECT_LE(clock.Slept(), std::chrono::minutes(2));
}
INSTANTIATE_TEST_SUITE_P(Discs, JustLoaded,
                         testing::Values(Fault{"Cd", "cd-r", "button=00@1", JobEnd::Finished}),
                         Name);

}  // namespace
}  // namespace e2e
