// What the hosts make of a burn that verifies: the read-back's phase after
// the session is closed, and the one-line result from the control's
// VerifyMismatch and VerifyFinished.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/burn_phases.h"
#include "host/verify_report.h"

namespace {

using quillon::BurnPhases;
using quillon::HostNotice;
using platform::Variant;

TEST(BurnPhasesTest, TheReadBackCountsAgainAfterTheSessionIsClosedOnlyWhenExpected) {
  const std::vector<int> percents{3, 50, 96, 90, 100, 0, 40, 100};
  for (const bool verify : {true, false}) {
    BurnPhases phases;
    if (verify) phases.ExpectVerify();
    std::string seen;
    for (int percent : percents) {
      const BurnPhases::Step step = phases.OnProgress(percent);
      seen += std::string(step.phase.substr(0, 1)) + std::to_string(step.percent) + " ";
    }
    EXPECT_EQ(seen, verify ? "P3 W50 W96 C96 C100 V0 V40 V100 " : "P3 W50 W96 C96 C100 C100 C100 C100 ");
    EXPECT_EQ(phases.verifying(), verify);
    EXPECT_TRUE(phases.wroteEverything());
  }
}

TEST(VerifyReportTest, TheSummarySaysWhatTheReadBackFound) {
  const HostNotice fileDiffers{HostNotice::Kind::VerifyMismatch, "\"/a\" differs", {}};
  const HostNotice directory{HostNotice::Kind::VerifyMismatch, "The disc's directory is damaged", {}};
  auto finished = [](int differing, bool directoryDamaged, bool complete) {
    return HostNotice{HostNotice::Kind::VerifyFinished,
                      {},
                      {Variant::I4(2), Variant::I4(1500), Variant::I4(differing), Variant::Bool(directoryDamaged),
                       Variant::Bool(complete)}};
  };
  const struct {
    std::vector<HostNotice> notices;
    std::string summary;
    bool identical;
  } cases[] = {
      {{}, "The disc was not verified.", false},
      {{finished(0, false, true)}, "Verified: 2 files, 2.9 MB, identical.", true},
      {{finished(0, false, false)}, "Verify cancelled after 2.9 MB: the disc was not compared whole.", false},
      {{fileDiffers, finished(1, false, true)}, "Verified: 2 files, 2.9 MB: 1 file differs or cannot be read.", false},
      {{directory, fileDiffers, finished(1, true, true)},
       "Verified: 2 files, 2.9 MB: 1 file differs or cannot be read, and the disc's directory is damaged.", false},
  };
  for (const auto& c : cases) {
    quillon::VerifyReport report;
    for (const HostNotice& notice : c.notices) EXPECT_TRUE(report.Take(notice));
    EXPECT_EQ(report.Summary(), c.summary);
    EXPECT_EQ(report.identical(), c.identical) << c.summary;
    EXPECT_EQ(report.findings().size(), c.notices.empty() ? 0 : c.notices.size() - 1);
  }
  quillon::VerifyReport report;
  EXPECT_FALSE(report.Take({HostNotice::Kind::EngineError, "text", {}}));
}

}  // namespace
