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

INSTANTIATE_TEST_SUITE_P(
    Jobs, JudgingReadRefused,
    testing::Values(JudgingRead{"DvdMinusRDiscInformationOnce", "dvd-r", "fail=51@3", JobEnd::Finished},
                    JudgingRead{"EraseRequestSenseOnce", "cd-rw", "fail=03@1", JobEnd::BlankFinished},
                    JudgingRead{"EraseRequestSenseThreeTimes", "cd-rw", "fail=03@1,fail=03@2,fail=03@3",
                                JobEnd::Failed}),
    [](const auto& test) { return std::string(test.param.what); });

}  // namespace
}  // namespace e2e
