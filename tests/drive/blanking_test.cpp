// Blanking a CD-RW and formatting a DVD+RW: the commands, the progress
// polling and what reaches the host.

#include "engine/drive/drive_progress.h"
#include "platform/bytes/byte_order.h"
#include "tests/drive/drive_fixture.h"

namespace drivetest {
namespace {

using Values = std::vector<std::uint32_t>;

// REQUEST SENSE data of a drive busy with an immediate operation.
Reply SenseWithProgress(std::uint16_t progress) {
  Bytes sense(200, 0);
  sense[0] = 0x70;
  sense[2] = 0x02;
  sense[7] = 10;
  sense[12] = 0x04;
  sense[13] = 0x07;
  sense[15] = 0x80;  // SKSV
  bytes::PutBE16(&sense[16], progress);
  return Data(sense);
}

class Blanking : public DriveTest {
 protected:
  // The drive answers TEST UNIT READY from `ready` in turn (the last entry
  // repeats) and REQUEST SENSE from `progress`.
  void Script(std::vector<bool> ready, std::vector<std::uint16_t> progress) {
    std::vector<Reply> readiness;
    for (bool r : ready) readiness.push_back(r ? Reply{} : NotReady());
    OnSequence(0x00, readiness);
    std::vector<Reply> senses;
    for (auto p : progress) senses.push_back(SenseWithProgress(p));
    OnSequence(0x03, senses);
  }
};

TEST_F(Blanking, ProgressIsReadFromSenseBytes16And17WhileBusy) {
  Script({false}, {0x1234});
  std::uint32_t progress = 0, busy = 0;
  ASSERT_TRUE(core.GetProgress(&progress, &busy));
  EXPECT_EQ(busy, 1u);
  EXPECT_EQ(progress, 0x1234u);
  auto sense = SentWithoutReadiness().at(0);
  EXPECT_EQ(CdbOf(sense), (Bytes{0x03, 0, 0, 0, 0xC8, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(sense.flags, 0x48);
  EXPECT_EQ(sense.bufferLength, 200u);

  // Ready: not busy, progress untouched, no REQUEST SENSE.
  aspi.Clear();
  Script({true}, {0});
  ASSERT_TRUE(core.GetProgress(&progress, &busy));
  EXPECT_EQ(busy, 0u);
  EXPECT_EQ(progress, 0x1234u);
  EXPECT_EQ(Opcodes(), Bytes{0x00});

  // REQUEST SENSE failing: false, busy, progress untouched.
  On(0x00, [](const RecordedRequest&) { return NotReady(); });
  On(0x03, [](const RecordedRequest&) { return Rejected(); });
  busy = 0;
  EXPECT_FALSE(core.GetProgress(&progress, &busy));
  EXPECT_EQ(busy, 1u);
  EXPECT_EQ(progress, 0x1234u);
  EXPECT_FALSE(core.GetProgress(nullptr, nullptr));
}

TEST_F(Blanking, ProgressIndicationScalesToPerMille) {
  EXPECT_EQ(scrivo::ProgressPerMille(0), 0u);
  EXPECT_EQ(scrivo::ProgressPerMille(0x8000), 500u);
  EXPECT_EQ(scrivo::ProgressPerMille(0xFFFF), 1000u);
}

TEST_F(Blanking, FullAndMinimalBlankSendTheirBlankingTypeImmediately) {
  Script({true}, {0});
  ASSERT_TRUE(core.BlankDisc(scrivo::BlankKind::Full, host.Sink()));
  ASSERT_TRUE(core.BlankDisc(scrivo::BlankKind::Minimal, host.Sink()));
  std::vector<RecordedRequest> blanks;
  for (const auto& r : Sent()) {
    if (r.Opcode() == 0xA1) blanks.push_back(r);
  }
  ASSERT_EQ(blanks.size(), 2u);
  EXPECT_EQ(CdbOf(blanks[0]), (Bytes{0xA1, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(CdbOf(blanks[1]), (Bytes{0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(blanks[0].flags, 0x48);
  EXPECT_EQ(blanks[0].bufferLength, 0u);
}

TEST_F(Blanking, ADriveReadyAtTheFirstPollPostsZeroAndFlushesTheCache) {
  Script({true}, {0});
  ASSERT_TRUE(core.BlankDisc(scrivo::BlankKind::Minimal, host.Sink()));
  EXPECT_EQ(host.Progress(), (Values{0}));
  EXPECT_EQ(Opcodes(), (Bytes{0x00, 0xA1, 0x00, 0x00, 0x35, 0x00}));
  EXPECT_EQ(clock.Slept(), std::chrono::milliseconds(200));
}

TEST_F(Blanking, BusyPollsPostTheDriveProgressEvery200Ms) {
  // Readiness test before BLANK, two busy polls, then ready.
  Script({true, false, false, true}, {0x8000, 0xFFFF});
  ASSERT_TRUE(core.BlankDisc(scrivo::BlankKind::Full, host.Sink()));
  // The ready poll repeats the last value read while busy.
  EXPECT_EQ(host.Progress(), (Values{500, 1000, 1000}));
  EXPECT_EQ(clock.Slept(), std::chrono::milliseconds(600));
  EXPECT_EQ(SentWithoutReadiness().back().Opcode(), 0x35);
}

TEST_F(Blanking, ARejectedBlankOrALostSenseFailsWithoutFlushing) {
  On(0xA1, [](const RecordedRequest&) { return Rejected(); });
  EXPECT_FALSE(core.BlankDisc(scrivo::BlankKind::Full, host.Sink()));
  EXPECT_TRUE(host.Progress().empty());

  On(0xA1, [](const RecordedRequest&) { return Reply{}; });
  Script({true, false, false}, {0x4000});
  OnSequence(0x03, {SenseWithProgress(0x4000), Rejected()});
  EXPECT_FALSE(core.BlankDisc(scrivo::BlankKind::Full, host.Sink()));
  EXPECT_EQ(host.Progress(), (Values{250}));
  for (const auto& r : Sent()) EXPECT_NE(r.Opcode(), 0x35);
}

TEST_F(Blanking, ABlankThatNeverEndsFailsAfterTwoHours) {
  On(0x00, [](const RecordedRequest&) { return NotReady(); });
  On(0x03, [](const RecordedRequest&) { return SenseWithProgress(0x100); });
  EXPECT_FALSE(core.BlankDisc(scrivo::BlankKind::Full, host.Sink()));
  EXPECT_EQ(clock.Slept(), std::chrono::hours(2));
  for (const auto& r : Sent()) EXPECT_NE(r.Opcode(), 0x35);
}

TEST_F(Blanking, DvdPlusRwFormatOfTheWholeDiscAndItsCompatibleStop) {
  ASSERT_TRUE(core.FormatDvdPlusRw());
  ASSERT_TRUE(core.StopBackgroundFormat());
  EXPECT_EQ(Opcodes(), (Bytes{0x00, 0x04, 0x00, 0x5B, 0x00}));
  auto sent = Sent();
  EXPECT_EQ(CdbOf(sent[1]), (Bytes{0x04, 0x11, 0, 0, 0, 0, 0, 0, 0x0C, 0, 0, 0}));
  EXPECT_EQ(sent[1].flags, 0x50);
  EXPECT_EQ(sent[1].bufferLength, 12u);
  EXPECT_EQ(sent[1].dataOut, (Bytes{0x00, 0x82, 0x00, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x98, 0, 0, 0}));
  // Function 010b with Immed, polled until the drive is ready.
  EXPECT_EQ(CdbOf(sent[3]), (Bytes{0x5B, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(sent[3].flags, 0x48);
  EXPECT_EQ(sent[3].bufferLength, 0u);
}

TEST_F(Blanking, FormatEndsWhenProgressFallsBackToZeroWithoutClosing) {
  // Readiness test before FORMAT UNIT, then busy all along.
  Script({true, false}, {0, 12000, 40000, 0});
  ASSERT_TRUE(core.RunDvdPlusRwFormat(host.Sink()));
  EXPECT_EQ(host.Progress(), (Values{0, 100, 300, 0, 100, 300, 183, 100, 300, 610, 100, 300, 1000}));
  for (const auto& r : Sent()) EXPECT_NE(r.Opcode(), 0x5B);
  EXPECT_EQ(clock.Slept(), std::chrono::milliseconds(4 * 1000 + 2000));
}

TEST_F(Blanking, FormatEndsWithACompatibleStopWhenTheDriveIsReady) {
  Script({true, false, true}, {30000});
  ASSERT_TRUE(core.RunDvdPlusRwFormat(host.Sink()));
  EXPECT_EQ(host.Progress(), (Values{0, 100, 300, 457, 100, 300, 457, 1000}));
  auto withoutReadiness = SentWithoutReadiness();
  EXPECT_EQ(withoutReadiness.back().Opcode(), 0x5B);
  EXPECT_EQ(CdbOf(withoutReadiness.back())[2], 0x02);
}

TEST_F(Blanking, ARejectedFormatPostsNothing) {
  On(0x04, [](const RecordedRequest&) { return Rejected(); });
  EXPECT_FALSE(core.RunDvdPlusRwFormat(host.Sink()));
  EXPECT_TRUE(host.Progress().empty());
  EXPECT_EQ(Opcodes(), (Bytes{0x00, 0x04}));
}

TEST_F(Blanking, FailedPollsKeepThePreviousValuesAndTheMarksStillCome) {
  Script({true, false, false, true}, {20000});
  OnSequence(0x03, {SenseWithProgress(20000), Rejected()});
  ASSERT_TRUE(core.RunDvdPlusRwFormat(host.Sink()));
  EXPECT_EQ(host.Progress(), (Values{0, 100, 300, 305, 100, 300, 305, 100, 300, 305, 1000}));
}

TEST_F(Blanking, AFormatThatNeverEndsFailsAfterTwoHoursWithoutFinishing) {
  On(0x00, [](const RecordedRequest&) { return NotReady(); });
  On(0x03, [](const RecordedRequest&) { return SenseWithProgress(0); });
  EXPECT_FALSE(core.RunDvdPlusRwFormat(host.Sink()));
  EXPECT_EQ(clock.Slept(), std::chrono::hours(2));
  EXPECT_NE(host.Progress().back(), 1000u);
}

}  // namespace
}  // namespace drivetest
