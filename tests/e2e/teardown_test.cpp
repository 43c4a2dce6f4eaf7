// A host that goes away while a job runs: releasing the control ends in
// bounded time, raises nothing into the host afterwards, and leaves the disc
// as a cancel does: a burn closes its session on the blocks written so far;
// a blank or a format, which have no cancel, run to their end.

#include "engine/drive/polling_limits.h"
#include "tests/e2e/burn_fixture.h"

namespace e2e {
namespace {

constexpr std::uint32_t kFileBlocks = 600;  // past the 300 blocks a CD track is padded to

struct RunningJob {
  const char* name;
  const char* medium;
  platform::DISPID member;
  std::vector<platform::Variant> args;
  scrivo::PollingLimit bound;  // the longest wait the job may take
};
void PrintTo(const RunningJob& job, std::ostream* out) { *out << job.name; }

class Teardown : public BurnTest, public testing::WithParamInterface<RunningJob> {
 protected:
  TempFolder source;
};

TEST_P(Teardown, ReleasingTheControlDuringAJobEndsItAsACancelWouldAndRaisesNothing) {
  const RunningJob& job = GetParam();
  // A burn of 16-block writes would be over before the release; each write
  // takes 20 ms here, so the release comes while the burn writes.
  UseWriters({job.medium}, job.member == scrivo::DISPID_BURNCDDATA ? "slow=2A:20" : "");
  WriteFile(source / "payload.bin", kFileBlocks * 2048);
  if (job.member == scrivo::DISPID_BLANK) {
    BurnFolderOnCd(source.Path(), false);  // something to erase
    SelectWriter(0);
  }
  AddFolder(source.Path());
  const std::size_t events = sink.events.size();
  const std::size_t notices = diagnostics.events.size();
  const auto slept = clock.Slept();

  Call(job.member, job.args);
  ReleaseEveryReference();
  for (int i = 0; i < 20; ++i) platform::MessageLoop::ForThisThread().WaitAndDispatch(std::chrono::milliseconds(5));
  EXPECT_EQ(sink.events.size(), events);
  EXPECT_EQ(diagnostics.events.size(), notices);
  EXPECT_LE(clock.Slept() - slept, platform::Milliseconds(std::uint64_t{job.bound.intervalMs} * job.bound.maxPolls));

  DiscRecord disc = Disc();
  if (job.member == scrivo::DISPID_BURNCDDATA) {
    ASSERT_EQ(disc.sessions.size(), 1u);
    EXPECT_EQ(disc.sessions[0].at("closed"), "yes");
    EXPECT_LT(disc.TrackNumber(0, "recorded"), kFileBlocks);
  } else if (job.member == scrivo::DISPID_BLANK) {
    EXPECT_TRUE(disc.sessions.empty());
  } else {
    EXPECT_EQ(disc.header.at("formatted"), "yes");
  }
  EXPECT_EQ(disc.header.at("busy"), "none");
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, Teardown,
    testing::Values(RunningJob{"Burn", "cd-r", scrivo::DISPID_BURNCDDATA, {platform::Variant::Bool(false)},
                               scrivo::kSessionFinishWait},
                    RunningJob{"Blank", "cd-rw", scrivo::DISPID_BLANK, {platform::Variant::Bool(false)},
                               scrivo::kBlankPolling},
                    RunningJob{"DvdPlusRwFormat", "dvd+rw", scrivo::DISPID_BLANKDVD, {},
                               scrivo::kDvdPlusRwFormatPolling}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace e2e
