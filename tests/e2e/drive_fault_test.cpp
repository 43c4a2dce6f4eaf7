// Single drive faults around the recording that must not close, ruin or
// misreport a disc: write parameters the drive did not take, a close the
// drive refused once, a read of the disc's state that failed once.

#include "tests/e2e/burn_fixture.h"

namespace e2e {
namespace {

constexpr std::uint8_t kWrite10 = 0x2A;
constexpr std::uint8_t kReserveTrack = 0x53;
constexpr std::uint8_t kCloseTrackSession = 0x5B;

struct PageFault {
  const char* medium;
  const char* faults;
};
void PrintTo(const PageFault& c, std::ostream* out) { *out << c.medium << " with " << c.faults; }

class WriteParametersRefused : public BurnTest, public testing::WithParamInterface<PageFault> {
 protected:
  TempFolder source;
};

// Recording with the drive's own page would close a disc the user wanted
// open (CD) or reserve a track no write can fill (DVD-R): the burn stops
// before anything that changes the disc, and says which step failed.
TEST_P(WriteParametersRefused, StopsTheBurnBeforeTheDiscIsTouched) {
  const bool dvd = std::string(GetParam().medium) != "cd-r";
  UseWriters({GetParam().medium}, GetParam().faults);
  WriteSampleTree(source.Path(), "A");
  AddFolder(source.Path());
  ASSERT_EQ(dvd ? BurnDvd() : BurnCd(true), JobEnd::Failed);
  EXPECT_EQ(Errors(), std::vector<std::string>{"Unable to burn image."});
  const auto [step, reason] = LastFailedStep();
  EXPECT_EQ(step, "set write parameters");
  EXPECT_NE(reason.find("Nothing was written"), std::string::npos) << reason;
  const auto commands = SentCommands();
  for (std::uint8_t opcode : {kWrite10, kReserveTrack, kCloseTrackSession}) {
    EXPECT_FALSE(HasOpcode(commands, opcode)) << int(opcode);
  }
  EXPECT_TRUE(Disc().tracks.empty());
  EXPECT_FALSE(CompilationEmpty());
}

INSTANTIATE_TEST_SUITE_P(Burns, WriteParametersRefused,
                         testing::Values(PageFault{"cd-r", "fail=55@1"}, PageFault{"cd-r", "notready=55@1"},
                                         PageFault{"cd-r", "fail=5A@5"}, PageFault{"dvd-r", "fail=55@1"},
                                         PageFault{"dvd-r", "notready=55@1"}, PageFault{"dvd-r", "fail=5A@5"}));

struct OpenSession {
  const char* what;
  const char* medium;
  const char* faults;  // what leaves the burn's session open; "" burns it closed
  bool closes;         // CLOSE TRACK/SESSION reaches the disc
};
void PrintTo(const OpenSession& c, std::ostream* out) { *out << c.what; }

class SessionClose : public BurnTest, public testing::WithParamInterface<OpenSession> {
 protected:
  TempFolder source;
};

// A session a burn could not close is closed by the close job as its
// medium needs, and then reads back; a disc without an open session is
// told so and sent nothing that changes it.
TEST_P(SessionClose, ClosesTheSessionABurnLeftOpenAndOnlyThat) {
  const OpenSession& c = GetParam();
  const bool cd = std::string(c.medium) == "cd-r";
  UseWriters({c.medium}, c.faults);
  WriteSampleTree(source.Path(), "A");
  AddFolder(source.Path());
  const JobEnd burn = cd ? BurnCd(true) : BurnDvd();
  ASSERT_EQ(burn, c.closes ? JobEnd::Failed : JobEnd::Finished);
  SelectWriter(0);
  const std::size_t before = SentCommands().size();
  ASSERT_EQ(CloseSession(), c.closes ? JobEnd::CloseFinished : JobEnd::Failed) << testing::PrintToString(Errors());
  const auto commands = SentCommands();
  const std::vector<Cdb> sent(commands.begin() + static_cast<std::ptrdiff_t>(before), commands.end());
  EXPECT_EQ(HasOpcode(sent, kCloseTrackSession), c.closes);
  EXPECT_FALSE(HasOpcode(sent, kWrite10));
  const DiscRecord disc = Disc();
  EXPECT_EQ(disc.sessions.at(0).at("closed"), "yes");
  for (std::size_t i = 0; i < disc.tracks.size(); ++i) EXPECT_EQ(disc.tracks[i].at("closed"), "yes");
  if (cd) {
    EXPECT_EQ(disc.sessions.at(0).at("next"), "allowed");
  }
  if (!c.closes) {
    EXPECT_EQ(Errors().back(), "The disc has no open session.");
    EXPECT_EQ(LastFailedStep().first, "check session");
  }
  ExpectReadersSee(DiscImage(), source.Path());
}

INSTANTIATE_TEST_SUITE_P(
    Discs, SessionClose,
    testing::Values(OpenSession{"CdEveryCloseRefused", "cd-r", "fail=5B@1,fail=5B@2,fail=5B@3", true},
                    OpenSession{"DvdPlusREveryCloseRefused", "dvd+r", "fail=5B@1,fail=5B@3,fail=5B@5", true},
                    OpenSession{"DvdMinusRFlushRefused", "dvd-r", "fail=35@1", true},
                    OpenSession{"CdClosedByTheBurn", "cd-r", "", false}),
    [](const auto& test) { return std::string(test.param.what); });

// One refused close is sent again: the burn ends with its session closed.
TEST_F(SessionClose, ARefusedCloseIsSentAgainWhileTheSessionShowsOpen) {
  UseWriters({"cd-r"}, "fail=5B@1");
  WriteSampleTree(source.Path(), "A");
  BurnFolderOnCd(source.Path(), true);
  EXPECT_EQ(Disc().sessions.at(0).at("closed"), "yes");
  EXPECT_EQ(Disc().sessions.at(0).at("next"), "allowed");
  ExpectReadersSee(DiscImage(), source.Path());
}

struct JudgingRead {
  const char* what;
  const char* medium;
  const char* faults;
  JobEnd end;
};
void PrintTo(const JudgingRead& c, std::ostream* out) { *out << c.what; }

class JudgingReadRefused : public BurnTest, public testing::WithParamInterface<JudgingRead> {
 protected:
  TempFolder source;
};

// The read a job judges its outcome by is tried again before the job is
// called failed; only a drive that keeps refusing it fails the job.
TEST_P(JudgingReadRefused, IsTriedAgainBeforeTheJobIsJudged) {
  const JudgingRead& c = GetParam();
  UseWriters({c.medium}, c.faults);
  WriteSampleTree(source.Path(), "A");
  JobEnd end;
  if (std::string(c.medium) == "dvd-r") {
    AddFolder(source.Path());
    end = BurnDvd();
  } else {
    BurnFolderOnCd(source.Path(), false);
    end = Blank(false);
  }
  EXPECT_EQ(end, c.end) << testing::PrintToString(Errors());
  if (c.end == JobEnd::Finished) {
    ExpectReadersSee(DiscImage(), source.Path());
  } else if (c.end == JobEnd::BlankFinished) {
    EXPECT_TRUE(Disc().sessions.empty());
  }
}

// The DVD-R's second READ DISC INFORMATION is the one after the flush (the
// first is the writer's selection).
INSTANTIATE_TEST_SUITE_P(
    Jobs, JudgingReadRefused,
    testing::Values(JudgingRead{"DvdMinusRDiscInformationOnce", "dvd-r", "fail=51@2", JobEnd::Finished},
                    JudgingRead{"EraseRequestSenseOnce", "cd-rw", "fail=03@1", JobEnd::BlankFinished},
                    JudgingRead{"EraseRequestSenseThreeTimes", "cd-rw", "fail=03@1,fail=03@2,fail=03@3",
                                JobEnd::Failed}),
    [](const auto& test) { return std::string(test.param.what); });

}  // namespace
}  // namespace e2e
