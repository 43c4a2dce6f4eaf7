// One program per writer: while a job runs, the writer belongs to the
// program running it, and every other program is answered as a drive that
// is writing answers (NOT READY, LONG WRITE IN PROGRESS) without its disc
// being touched. Two layers on one directory stand for two programs.

#include <memory>

#include "aspi_test_support.h"
#include "platform/aspi/config.h"
#include "platform/aspi/scsi_opcodes.h"
#include "platform/aspi/writer_job.h"

namespace aspitest {
namespace {

using wnaspi::WriterJob;
namespace op = wnaspi::opcode;

TEST(WriterJob, StartsAtTheFirstChangeAndEndsWhereTheDiscMayBeDone) {
  const auto good = wnaspi::ScsiOutcome::Good();
  const auto failed = wnaspi::ScsiOutcome::Host(HASTAT_SEL_TO);
  struct Step {
    std::uint8_t opcode;
    bool ok;
    bool starts;          // the command starts a job
    WriterJob::Next next;
  };
  using N = WriterJob::Next;
  const std::vector<std::vector<Step>> jobs = {
      // A CD burn: queries hold nothing; the writes hold until a closing command.
      {{op::kReadDiscInformation, true, false, N::Continue},
       {op::kWrite10, true, true, N::Continue},
       {op::kTestUnitReady, true, false, N::Continue},
       {op::kWrite10, true, false, N::Continue},
       {op::kSynchronizeCache, true, false, N::CheckDisc},
       {op::kCloseTrackSession, true, false, N::CheckDisc}},
      // A DVD-R burn starts with its reservation; a failed write mid-job goes on.
      {{op::kReserveTrack, true, true, N::Continue},
       {op::kWrite10, false, false, N::Continue},
       {op::kSynchronizeCache, false, false, N::CheckDisc}},
      // A first write that fails started nothing.
      {{op::kWrite12, false, true, N::EndJob}},
      // An erase ends when the drive is found ready.
      {{op::kBlank, true, true, N::Continue},
       {op::kTestUnitReady, false, false, N::Continue},
       {op::kRequestSense, true, false, N::Continue},
       {op::kTestUnitReady, true, false, N::CheckDisc}},
      {{op::kFormatUnit, true, true, N::Continue},
       {op::kCloseTrackSession, true, false, N::CheckDisc}},
  };
  for (const auto& steps : jobs) {
    WriterJob job;
    for (const Step& step : steps) {
      SCOPED_TRACE(testing::Message() << "opcode " << std::hex << int(step.opcode));
      EXPECT_EQ(job.Starts(step.opcode), step.starts);
      if (job.Starts(step.opcode)) job.Start(step.opcode);
      EXPECT_EQ(job.After(step.opcode, step.ok ? good : failed), step.next);
    }
  }
  WriterJob burn;
  burn.Start(op::kWrite10);
  EXPECT_FALSE(burn.Starts(op::kBlank)) << "nothing starts while a job runs";
  EXPECT_EQ(burn.After(op::kTestUnitReady, good), N::Continue) << "readiness inside a burn";
  burn.End();
  EXPECT_EQ(burn.After(op::kSynchronizeCache, good), N::Continue) << "no job, nothing to end";
}

class WriterHoldTest : public AspiTest {
 protected:
  void Programs(const std::string& medium, const std::string& faultsOfFirst = {}) {
    wnaspi::Variables variables{{"WNASPI32_VIRTUAL_WRITERS", medium + "=" + (dir_ / "w").string()},
                                {"WNASPI32_VIRTUAL_POLLS", "3"}, {"WNASPI32_VIRTUAL_STRICT", "0"}};
    second_ = std::make_unique<wnaspi::AspiLayer>(wnaspi::ParseConfig(variables), nullptr);
    variables["WNASPI32_VIRTUAL_FAULTS"] = faultsOfFirst;
    first_ = std::make_unique<wnaspi::AspiLayer>(wnaspi::ParseConfig(variables), nullptr);
    a_ = std::make_unique<Device>(Through(*first_), 0, 0);
    b_ = std::make_unique<Device>(Through(*second_), 0, 0);
  }
  // Whether the second program finds the writer busy with the first one's job.
  bool InUse() {
    return CheckConditionOf(b_->NoData(TestUnitReadyCdb())) == CheckConditionText(0x2, 0x04, 0x08);
  }

  std::unique_ptr<wnaspi::AspiLayer> first_, second_;
  std::unique_ptr<Device> a_, b_;
};

TEST_F(WriterHoldTest, ACdBurnHasTheWriterUntilItsSessionIsClosed) {
  Programs("cd-rw");
  ASSERT_EQ(a_->PrepareCd(0), 0u);
  EXPECT_FALSE(InUse()) << "preparing writes nothing";
  ASSERT_TRUE(a_->WriteBlock(0, PatternBlock(0)));
  EXPECT_TRUE(InUse());
  // Every command that reaches the disc or the tray is refused; the writer
  // can still be identified.
  EXPECT_SENSE(b_->In(ReadDiscInformationCdb(34), 34), 0x2, 0x04, 0x08);
  EXPECT_SENSE(b_->Out(Write10Cdb(1, 1), PatternBlock(9)), 0x2, 0x04, 0x08);
  EXPECT_SENSE(b_->NoData(BlankCdb(BlankKind::Minimal)), 0x2, 0x04, 0x08);
  EXPECT_SENSE(b_->NoData(EjectCdb()), 0x2, 0x04, 0x08);
  EXPECT_EQ(b_->Description(), "QUILLON VIRTUAL DRIVE 0 1.0");
  const Result sense = b_->In(RequestSenseCdb(200), 18);
  EXPECT_EQ(SenseText(sense.data[2] & 0x0F, sense.data[12], sense.data[13]), SenseText(0x2, 0x04, 0x08));

  ASSERT_TRUE(a_->WriteBlock(1, PatternBlock(1))) << "the job goes on undisturbed";
  ASSERT_TRUE(a_->NoData(SynchronizeCacheCdb()).ok());
  EXPECT_TRUE(InUse()) << "the session is still open";
  ASSERT_TRUE(a_->NoData(CloseTrackSessionCdb(CloseFunction::Session)).ok());
  EXPECT_FALSE(InUse());
  EXPECT_EQ(ReadBlocks(*b_, 1, 1), PatternBlock(1));
}

TEST_F(WriterHoldTest, AnEraseHasTheWriterUntilTheDriveIsReady) {
  Programs("cd-rw");
  ASSERT_TRUE(a_->NoData(BlankCdb(BlankKind::Minimal)).ok());
  EXPECT_TRUE(InUse());
  int polls = 0;
  while (!a_->NoData(TestUnitReadyCdb()).ok()) {
    ASSERT_LT(++polls, 10);
    EXPECT_TRUE(InUse()) << "the other program's polls do not count";
  }
  EXPECT_EQ(polls, 3);
  EXPECT_FALSE(InUse());
}

TEST_F(WriterHoldTest, ADvdPlusRwBurnEndsWithTheCacheFlush) {
  Programs("dvd+rw");
  ASSERT_TRUE(a_->core().FormatDvdPlusRw());
  a_->ProgressUntilReady();
  ASSERT_TRUE(a_->core().StopBackgroundFormat());
  EXPECT_FALSE(InUse());
  ASSERT_TRUE(a_->WriteBlock(5, PatternBlock(5)));
  EXPECT_TRUE(InUse());
  ASSERT_TRUE(a_->NoData(SynchronizeCacheCdb()).ok());
  EXPECT_FALSE(InUse());
}

TEST_F(WriterHoldTest, NothingIsHeldAfterAFailedStartOrAProgramThatEnded) {
  Programs("cd-r", "fail=2A@1");
  ASSERT_EQ(a_->PrepareCd(0), 0u);
  EXPECT_FALSE(a_->WriteBlock(0, PatternBlock(0)));
  EXPECT_FALSE(InUse()) << "a job whose first write failed started nothing";
  ASSERT_TRUE(a_->WriteBlock(0, PatternBlock(0)));
  EXPECT_TRUE(InUse());
  first_.reset();  // the program ends in the middle of its burn
  EXPECT_FALSE(InUse());
  EXPECT_FALSE(b_->Disc().blank) << "the disc is as the program left it";
}

}  // namespace
}  // namespace aspitest
