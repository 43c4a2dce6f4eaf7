// Preparing, writing and finishing a session: write speed, the write
// parameters page, WRITE(10), cache and session closing, DVD streaming and
// track reservation.

#include <tuple>

#include "engine/drive/cd_speed.h"
#include "platform/bytes/byte_order.h"
#include "tests/drive/drive_fixture.h"

namespace drivetest {
namespace {

using scrivo::BurnMode;

// The write parameters page another program left in the drive: every field
// holds something else than a recording of the engine needs (PS set, test
// write, BUFE off, write type 15, FP, Copy, Mode 2 blocks), so a field
// taken over shows.
Bytes LeftPage05(std::uint8_t pageLength = 0x32) {
  Bytes reply(158, 0);
  reply[1] = 0x3A;
  reply[8] = 0x85;
  reply[9] = pageLength;
  for (std::size_t i = 10; i < 158; ++i) reply[i] = static_cast<std::uint8_t>(0xF0 | (i & 0x0F));
  reply[10] = 0x3F;  // LS_V, Test Write, write type 15
  reply[11] = 0xFF;  // Multi-session 3, FP, Copy, track mode 15
  reply[12] = 0x0A;  // data block type 10
  reply[13] = 0x07;  // link size 7
  return reply;
}

Bytes FeatureReply(std::uint16_t feature, bool current) {
  Bytes reply(16, 0);
  bytes::PutBE32(&reply[0], 12);
  bytes::PutBE16(&reply[8], feature);
  reply[10] = current ? 0x01 : 0x00;
  return reply;
}

// Byte 2 of READ DISC INFORMATION: disc status in bits 1-0, state of the
// last session in bits 3-2.
constexpr std::uint8_t kFinalised = 0x0E;    // complete, last session complete
constexpr std::uint8_t kAppendable = 0x01;   // incomplete, the next session empty
constexpr std::uint8_t kSessionOpen = 0x05;  // incomplete, last session incomplete

Bytes DiscInformation(std::uint8_t byte2, std::uint8_t lastTrack = 1) {
  Bytes reply(34, 0);
  reply[2] = byte2;
  reply[6] = lastTrack;
  return reply;
}

Bytes TocWithNextSessionAt(std::uint8_t min, std::uint8_t sec, std::uint8_t frame) {
  Bytes reply{0, 2 + 22, 1, 1};
  Bytes a0{1, 0x14, 0, 0xA0, 0, 0, 0, 0, 1, 0, 0};
  Bytes b0{1, 0x54, 0, 0xB0, min, sec, frame, 2, 79, 59, 74};
  reply.insert(reply.end(), a0.begin(), a0.end());
  reply.insert(reply.end(), b0.begin(), b0.end());
  return reply;
}

// The changeable mask of page 05h: everything but the reserved bytes 6 and
// 9 and byte 2's bit 7, and BUFE only where `bufe`.
Bytes ChangeableMask(bool bufe) {
  Bytes reply(158, 0xFF);
  reply[8] = 0x05;
  reply[9] = 0x32;
  reply[10] = bufe ? 0x7F : 0x3F;
  reply[14] = 0x00;
  reply[17] = 0x00;
  return reply;
}

class Recording : public DriveTest {
 protected:
  Recording() { AnswerModeSense(LeftPage05(), Data(ChangeableMask(true))); }

  // MODE SENSE of page 05h: `current` for the current values, `mask` for
  // the changeable ones; page 2Ah with BUF set.
  void AnswerModeSense(Bytes current, Reply mask) {
    On(0x5A, [current, mask](const RecordedRequest& r) {
      if ((r.cdb[2] & 0x3F) == 0x2A) {
        Bytes capabilities(30, 0);
        capabilities[12] = 0x80;
        return Data(capabilities);
      }
      return (r.cdb[2] & 0xC0) == 0x40 ? mask : Data(current);
    });
  }

  RecordedRequest OnlySent(std::uint8_t opcode) const {
    std::vector<RecordedRequest> found;
    for (const auto& r : Sent()) {
      if (r.Opcode() == opcode) found.push_back(r);
    }
    EXPECT_EQ(found.size(), 1u) << "opcode " << int(opcode);
    return found.empty() ? RecordedRequest{} : found[0];
  }

  // The page sent with MODE SELECT, behind its 8-byte header.
  Bytes SelectedPage() const {
    auto select = OnlySent(0x55);
    EXPECT_EQ(Bytes(select.dataOut.begin(), select.dataOut.begin() + 8), Bytes(8, 0));
    return Bytes(select.dataOut.begin() + 8, select.dataOut.end());
  }
};

TEST_F(Recording, WriteSpeedFactorsBecomeKilobytesPerSecond) {
  EXPECT_EQ(scrivo::CdWriteSpeedFromFactor(0), std::nullopt);
  EXPECT_EQ(scrivo::CdWriteSpeedFromFactor(-4), std::nullopt);
  EXPECT_EQ(scrivo::CdWriteSpeedFromFactor(1), 171);
  EXPECT_EQ(scrivo::CdWriteSpeedFromFactor(4), 687);
  EXPECT_EQ(scrivo::CdWriteSpeedFromFactor(48), 8250);
  EXPECT_EQ(scrivo::CdWriteSpeedFromFactor(381), 65484);
  EXPECT_EQ(scrivo::CdWriteSpeedFromFactor(382), 0xFFFF);  // past the field: the maximum
  EXPECT_EQ(scrivo::CdWriteSpeedFromFactor(32767), 0xFFFF);

  ASSERT_TRUE(core.SetCdSpeed(scrivo::kCdSpeedMaximum, *scrivo::CdWriteSpeedFromFactor(8)));
  EXPECT_EQ(Opcodes(), (Bytes{0x00, 0xBB}));
  auto speed = Sent()[1];
  EXPECT_EQ(CdbOf(speed), (Bytes{0xBB, 0, 0xFF, 0xFF, 0x05, 0x5F, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(speed.flags, 0x50);
  EXPECT_EQ(speed.bufferLength, 0u);
  EXPECT_TRUE(speed.bufferIsNull);
}

TEST_F(Recording, BlankCdStartsAtZeroWithTrackAtOnceMode1Pages) {
  On(0x51, [](const RecordedRequest&) { return Data(DiscInformation(0x00)); });
  On(0x43, [](const RecordedRequest&) { return Rejected(); });  // no TOC yet
  core.writeAddress = 99;
  core.sessionStartAddress = 99;
  core.multiSessionField = 3;
  ASSERT_TRUE(core.PrepareTrack(BurnMode::CdMultiSession));
  EXPECT_EQ(core.writeAddress, 0);
  EXPECT_EQ(core.sessionStartAddress, 0);
  EXPECT_EQ(Opcodes(), (Bytes{0x00, 0x51, 0x00, 0x43, 0x00, 0x5A, 0x5A, 0x55}));

  // The current page, then the changeable mask.
  auto senses = Sent();
  EXPECT_EQ(CdbOf(senses[5]), (Bytes{0x5A, 0, 0x05, 0, 0, 0, 0, 0x00, 0x9E, 0, 0, 0}));
  EXPECT_EQ(CdbOf(senses[6]), (Bytes{0x5A, 0, 0x45, 0, 0, 0, 0, 0x00, 0x9E, 0, 0, 0}));
  EXPECT_EQ(senses[5].flags, 0x48);
  EXPECT_EQ(senses[5].bufferLength, 158u);
  auto select = OnlySent(0x55);
  EXPECT_EQ(CdbOf(select), (Bytes{0x55, 0x10, 0, 0, 0, 0, 0, 0x00, 60, 0, 0, 0}));
  EXPECT_EQ(select.flags, 0x50);
  EXPECT_EQ(select.bufferLength, 60u);

  // A single-session burn after it writes Multi-session 0.
  aspi.Clear();
  core.multiSessionField = 0;
  ASSERT_TRUE(core.PrepareTrack(BurnMode::CdSingleSession));
  EXPECT_EQ(SelectedPage()[3], 0x04);
}

// Page 05h is composed field by field: nothing of the page another program
// left reaches the drive but the bits it does not let a host change. BUFE
// is on where the drive offers it.
TEST_F(Recording, WriteParametersAreComposedFieldByField) {
  struct Case {
    const char* name;
    BurnMode mode;
    bool minusR;
    Reply mask;
    Bytes head;  // page bytes 0-5 expected
  };
  const Case cases[] = {
      {"CD, BUFE changeable", BurnMode::CdMultiSession, false, Data(ChangeableMask(true)),
       {0x05, 0x32, 0x41, 0xC4, 0x08, 0x00}},
      {"CD, BUFE fixed off", BurnMode::CdMultiSession, false, Data(ChangeableMask(false)),
       {0x05, 0x32, 0x01, 0xC4, 0x08, 0x00}},
      {"CD, no mask: page 2Ah's BUF", BurnMode::CdMultiSession, false, Rejected(),
       {0x05, 0x32, 0x41, 0xC4, 0x08, 0x00}},
      {"DVD-R", BurnMode::Dvd, true, Data(ChangeableMask(true)), {0x05, 0x32, 0x42, 0x05, 0x08, 0x10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    aspi.Clear();
    core.multiSessionField = 3;
    On(0x51, [](const RecordedRequest&) { return Data(DiscInformation(0x00)); });
    On(0x46, [minusR = c.minusR](const RecordedRequest&) { return Data(FeatureReply(0x2F, minusR)); });
    AnswerModeSense(LeftPage05(), c.mask);
    ASSERT_TRUE(core.PrepareTrack(c.mode));
    const Bytes page = SelectedPage();
    ASSERT_EQ(page.size(), 52u);
    EXPECT_EQ(Bytes(page.begin(), page.begin() + 6), c.head);
    // Session format 00h, no packet size, audio pause 150, no catalogue or
    // ISRC; the reserved bytes 6 and 9 as the drive holds them (0 without
    // a mask).
    const std::uint8_t kept = c.mask.status == SS_COMP ? 0xFF : 0;
    Bytes tail(52 - 6, 0);
    tail[0] = LeftPage05()[14] & kept, tail[3] = LeftPage05()[17] & kept, tail[9] = 150;
    EXPECT_EQ(Bytes(page.begin() + 6, page.end()), tail);
  }
}

TEST_F(Recording, AppendableCdContinuesAtTheB0hPointerWithoutOffset) {
  On(0x51, [](const RecordedRequest&) { return Data(DiscInformation(0x01)); });
  On(0x43, [](const RecordedRequest&) { return Data(TocWithNextSessionAt(12, 34, 56)); });
  ASSERT_TRUE(core.PrepareTrack(BurnMode::CdMultiSession));
  EXPECT_EQ(core.writeAddress, 56606);
  EXPECT_EQ(core.sessionStartAddress, 56606);
}

TEST_F(Recording, ClosedUnfinishedOrUnreadableCdIsRefusedBeforeAnythingIsSet) {
  // Byte 2 of the disc information: complete disc; appendable with its last
  // session incomplete (a burn that died) or damaged.
  for (std::uint8_t status : std::initializer_list<std::uint8_t>{0x0E, 0x05, 0x09}) {
    SCOPED_TRACE(int(status));
    aspi.Clear();
    On(0x51, [status](const RecordedRequest&) { return Data(DiscInformation(status)); });
    core.writeAddress = 5;
    EXPECT_FALSE(core.PrepareTrack(BurnMode::CdSingleSession));
    EXPECT_EQ(Opcodes(), (Bytes{0x00, 0x51}));
    EXPECT_EQ(core.writeAddress, 5);
  }

  On(0x51, [](const RecordedRequest&) { return NotReady(); });
  EXPECT_FALSE(core.PrepareTrack(BurnMode::CdSingleSession));
}

TEST_F(Recording, ARefusedPageStopsThePreparationWhereItGovernsTheRecording) {
  // A CD and a DVD-R are recorded and closed as the page says; a DVD+R
  // drive records without it.
  for (auto [mode, minusR, prepared] : {std::tuple{BurnMode::CdMultiSession, false, false},
                                        std::tuple{BurnMode::Dvd, true, false}, std::tuple{BurnMode::Dvd, false, true}}) {
    aspi.Clear();
    On(0x51, [](const RecordedRequest&) { return Data(DiscInformation(0x00)); });
    On(0x46, [minusR](const RecordedRequest&) { return Data(FeatureReply(0x2F, minusR)); });
    On(0x55, [](const RecordedRequest&) { return NotReady(); });
    EXPECT_EQ(core.PrepareTrack(mode), prepared) << minusR;
    EXPECT_EQ(core.trackRefusal == scrivo::MmcCore::TrackRefusal::WriteParametersRefused, !prepared);
  }
}

TEST_F(Recording, APageLongerThanTheReplyIsSentOnlyAsFarAsItWasRead) {
  AnswerModeSense(LeftPage05(0xFF), Data(ChangeableMask(true)));
  ASSERT_TRUE(core.SetWriteParametersCd());
  auto select = OnlySent(0x55);
  EXPECT_EQ(select.bufferLength, 158u);
  EXPECT_EQ(CdbOf(select)[8], 158);
  EXPECT_EQ(select.dataOut[9], 148);
}

TEST_F(Recording, DvdMinusRGetsTrackMode5AndLinkSize16) {
  On(0x46, [](const RecordedRequest&) { return Data(FeatureReply(0x2F, true)); });
  core.multiSessionField = 3;
  core.writeAddress = 7;
  core.sessionStartAddress = 7;
  ASSERT_TRUE(core.PrepareTrack(BurnMode::Dvd));
  EXPECT_EQ(core.multiSessionField, 0);
  EXPECT_EQ(core.writeAddress, 0);
  EXPECT_EQ(core.sessionStartAddress, 0);
  EXPECT_EQ(Opcodes(), (Bytes{0x46, 0x00, 0x5A, 0x5A, 0x55}));
  auto feature = OnlySent(0x46);
  EXPECT_EQ(CdbOf(feature), (Bytes{0x46, 0x02, 0x00, 0x2F, 0, 0, 0, 0x00, 0xFF, 0, 0, 0}));
  EXPECT_EQ(feature.bufferLength, 255u);
  EXPECT_EQ(feature.flags, 0x48);
  EXPECT_EQ(SelectedPage()[3], 0x05);  // no next session, track mode 5
}

TEST_F(Recording, WithoutTheDvdMinusRWriteFeatureTheDvdTrackMode4) {
  On(0x46, [](const RecordedRequest&) { return Rejected(); });
  ASSERT_TRUE(core.PrepareTrack(BurnMode::Dvd));
  EXPECT_EQ(SelectedPage()[3], 0x04);
}

TEST_F(Recording, WritesCarryOneToSixteenBlocksAtTheWriteAddress) {
  for (std::uint16_t blocks : std::initializer_list<std::uint16_t>{1, 3, 16}) {
    SCOPED_TRACE(blocks);
    aspi.Clear();
    core.writeAddress = 0x00012345;
    Bytes data(blocks * 2048u);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 2048);
    ASSERT_TRUE(core.WriteBlocks(data));
    EXPECT_EQ(core.writeAddress, 0x00012345 + blocks);
    // The WRITE(10) alone: no readiness poll between the writes of a track.
    EXPECT_EQ(Opcodes(), (Bytes{0x2A}));
    auto write = Sent()[0];
    EXPECT_EQ(CdbOf(write), (Bytes{0x2A, 0, 0x00, 0x01, 0x23, 0x45, 0, 0x00,
                                   static_cast<std::uint8_t>(blocks), 0, 0, 0}));
    EXPECT_EQ(write.flags, 0x50);
    EXPECT_EQ(write.bufferLength, data.size());
    EXPECT_EQ(write.dataOut, data);
  }
  // A failed write leaves the address; lengths that are not 1 to 16 whole
  // blocks are refused without a command.
  On(0x2A, [](const RecordedRequest&) { return Rejected(); });
  EXPECT_FALSE(core.WriteBlocks(Bytes(2048)));
  EXPECT_EQ(core.writeAddress, 0x00012345 + 16);
  aspi.Clear();
  for (std::size_t length : {0u, 2047u, 2049u, 17u * 2048u}) EXPECT_FALSE(core.WriteBlocks(Bytes(length)));
  EXPECT_TRUE(Sent().empty());
}

TEST_F(Recording, CacheSessionAndReservationCommands) {
  EXPECT_TRUE(core.SynchronizeCache());
  EXPECT_TRUE(core.CloseSession());
  EXPECT_TRUE(core.ReserveTrack(0x01020304));
  // The flush and the close go with Immed, each followed by the readiness poll.
  EXPECT_EQ(Opcodes(), (Bytes{0x00, 0x35, 0x00, 0x00, 0x5B, 0x00, 0x53}));
  auto sent = Sent();
  EXPECT_EQ(CdbOf(sent[1]), (Bytes{0x35, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(CdbOf(sent[4]), (Bytes{0x5B, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(CdbOf(sent[6]), (Bytes{0x53, 0, 0, 0, 0, 0x01, 0x02, 0x03, 0x04, 0, 0, 0}));
  for (const auto& r : sent) {
    EXPECT_EQ(r.flags, 0x48);
    EXPECT_EQ(r.bufferLength, 0u);
  }
}

TEST_F(Recording, FinishingACdClosesTheSessionOnceTheDriveIsReady) {
  // Busy twice after the cache flush, then ready; ready after the close.
  OnSequence(0x00, {Reply{}, NotReady(), NotReady(), Reply{}, Reply{}, Reply{}, Reply{}});
  On(0x51, [](const RecordedRequest&) { return Data(DiscInformation(kFinalised)); });
  EXPECT_TRUE(core.FinishSession(BurnMode::CdSingleSession, 0));
  EXPECT_EQ(Opcodes(), (Bytes{0x00, 0x35, 0x00, 0x00, 0x00, 0x00, 0x5B, 0x00, 0x00, 0x00, 0x51}));
  EXPECT_EQ(clock.Slept(), std::chrono::milliseconds(400));
}

// What finishing sends for each medium after the flush, and how the disc's
// state read back at the end decides the result.
TEST_F(Recording, FinishingClosesWhatTheMediumNeedsAndTrustsOnlyTheDiscState) {
  struct Case {
    const char* medium;
    BurnMode mode;
    scrivo::FeatureFlags features;
    std::vector<Bytes> discStates;  // READ DISC INFORMATION replies, the last repeating; none: not asked
    std::vector<Bytes> closes;      // CLOSE TRACK/SESSION CDBs expected
    bool closed;
  };
  // Every close goes with Immed; on a DVD+RW function 010b stops the
  // background format compatibly.
  const Bytes closeSession{0x5B, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const Bytes closeTrackOne{0x5B, 0x01, 0x01, 0, 0, 0x01, 0, 0, 0, 0, 0, 0};
  const Bytes finalizeDvdPlusR{0x5B, 0x01, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const Case cases[] = {
      {"CD-R finalised", BurnMode::CdSingleSession, 0, {DiscInformation(kFinalised)}, {closeSession}, true},
      {"CD-R appendable", BurnMode::CdMultiSession, 0, {DiscInformation(kAppendable)}, {closeSession}, true},
      {"CD-R whose first close was refused", BurnMode::CdMultiSession, 0,
       {DiscInformation(kSessionOpen), DiscInformation(kAppendable)}, {closeSession, closeSession}, true},
      {"CD-R left open", BurnMode::CdSingleSession, 0, {DiscInformation(kSessionOpen)},
       {closeSession, closeSession, closeSession}, false},
      {"DVD-R closed by the flush", BurnMode::Dvd, 0x1000, {DiscInformation(kFinalised)}, {}, true},
      {"DVD-R left open by the flush, closed after it", BurnMode::Dvd, 0x1000,
       {DiscInformation(kSessionOpen), DiscInformation(kSessionOpen), DiscInformation(kFinalised)}, {closeSession}, true},
      {"DVD-R left open", BurnMode::Dvd, 0x1000, {DiscInformation(kSessionOpen)},
       {closeSession, closeSession, closeSession}, false},
      {"DVD+RW", BurnMode::Dvd, 0x0400, {}, {closeSession}, true},
      {"DVD+R", BurnMode::Dvd, 0x0800, {DiscInformation(kSessionOpen, 1), DiscInformation(kFinalised)},
       {closeTrackOne, finalizeDvdPlusR}, true},
      {"DVD+R not written", BurnMode::Dvd, 0x0800, {DiscInformation(kAppendable)}, {}, true},
      {"DVD+R whose close failed", BurnMode::Dvd, 0x0800, {DiscInformation(kSessionOpen, 1)},
       {closeTrackOne, finalizeDvdPlusR, closeTrackOne, finalizeDvdPlusR, closeTrackOne, finalizeDvdPlusR},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.medium);
    aspi.Clear();
    std::vector<Reply> discReplies{Rejected()};
    if (!c.discStates.empty()) discReplies.clear();
    for (const Bytes& state : c.discStates) discReplies.push_back(Data(state));
    OnSequence(0x51, discReplies);
    EXPECT_EQ(core.FinishSession(c.mode, c.features), c.closed);
    std::vector<Bytes> closes;
    std::size_t discReads = 0;
    for (const auto& r : SentWithoutReadiness()) {
      if (r.Opcode() == 0x5B) closes.push_back(CdbOf(r));
      if (r.Opcode() == 0x51) ++discReads;
    }
    EXPECT_EQ(closes, c.closes);
    if (c.discStates.empty()) {
      EXPECT_EQ(discReads, 0u);
    }
    EXPECT_EQ(SentWithoutReadiness().front().Opcode(), 0x35);
  }
}

TEST_F(Recording, ADriveThatNeverBecomesReadyFailsTheFinishAfterFifteenMinutes) {
  On(0x00, [](const RecordedRequest&) { return NotReady(); });
  EXPECT_FALSE(core.FinishSession(BurnMode::CdSingleSession, 0));
  EXPECT_EQ(clock.Slept(), std::chrono::minutes(15));
  for (const auto& r : Sent()) EXPECT_NE(r.Opcode(), 0x5B);
}

TEST_F(Recording, StreamingRequestsTheFastestWriteSpeedForTheWholeImage) {
  On(0x00, [n = 0](const RecordedRequest&) mutable { return ++n < 3 ? NotReady() : Reply{}; });
  // Listed fastest first, as drives list them.
  On(0xAC, [](const RecordedRequest&) {
    Bytes reply(8 + 3 * 16, 0);
    bytes::PutBE32(&reply[0], 4 + 3 * 16);
    for (std::uint32_t i = 0; i < 3; ++i) {
      bytes::PutBE32(&reply[8 + i * 16 + 8], 11080 * (3 - i));
      bytes::PutBE32(&reply[8 + i * 16 + 12], 5540 * (3 - i));
    }
    return Data(reply);
  });
  ASSERT_TRUE(core.SetStreaming(123456));
  EXPECT_EQ(clock.Slept(), std::chrono::milliseconds(2000));
  EXPECT_EQ(Opcodes(), (Bytes{0x00, 0x00, 0x00, 0xAC, 0xB6}));

  auto performance = OnlySent(0xAC);
  EXPECT_EQ(CdbOf(performance), (Bytes{0xAC, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x14, 0x03, 0}));
  EXPECT_EQ(performance.flags, 0x48);
  EXPECT_EQ(performance.bufferLength, 328u);

  auto streaming = OnlySent(0xB6);
  EXPECT_EQ(CdbOf(streaming), (Bytes{0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x1C, 0}));
  EXPECT_EQ(streaming.flags, 0x50);
  EXPECT_EQ(streaming.bufferLength, 28u);
  Bytes descriptor(28, 0);
  bytes::PutBE32(&descriptor[8], 123456);
  bytes::PutBE32(&descriptor[12], 33240);
  bytes::PutBE32(&descriptor[16], 1000);
  bytes::PutBE32(&descriptor[20], 16620);
  bytes::PutBE32(&descriptor[24], 1000);
  EXPECT_EQ(streaming.dataOut, descriptor);
}

TEST_F(Recording, StreamingLooksAtNoMoreThanTwentyDescriptors) {
  On(0xAC, [](const RecordedRequest&) {
    Bytes reply(328, 0);
    bytes::PutBE32(&reply[0], 0x80000004);  // absurd: far more than fits
    bytes::PutBE32(&reply[8 + 19 * 16 + 12], 22160);
    bytes::PutBE32(&reply[8 + 3 * 16 + 12], 11080);
    return Data(reply);
  });
  ASSERT_TRUE(core.SetStreaming(10));
  EXPECT_EQ(bytes::GetBE32(&OnlySent(0xB6).dataOut[20]), 22160u);
}

TEST_F(Recording, AChosenSpeedIsTheFastestOfferedNotAboveIt) {
  // Offered in no particular order: 11080, 22160, 5540 kB/s.
  const auto offered = [](std::uint32_t count) {
    return [count](const RecordedRequest&) {
      Bytes reply(328, 0);
      bytes::PutBE32(&reply[0], 4 + count * 16);
      const std::uint32_t speeds[] = {11080, 22160, 5540};
      for (std::uint32_t i = 0; i < count; ++i) bytes::PutBE32(&reply[8 + i * 16 + 12], speeds[i]);
      return Data(reply);
    };
  };
  struct Case {
    std::uint32_t chosenKbps;
    std::uint32_t descriptors;
    std::uint32_t askedKbps;
  };
  for (const Case& c : {Case{0, 3, 22160}, Case{22160, 3, 22160}, Case{16620, 3, 11080}, Case{5540, 3, 5540},
                        Case{1385, 3, 5540}, Case{8310, 0, 8310}}) {
    aspi.Clear();
    On(0xAC, offered(c.descriptors));
    core.dvdWriteKbps = c.chosenKbps;
    ASSERT_TRUE(core.SetStreaming(10));
    EXPECT_EQ(bytes::GetBE32(&OnlySent(0xB6).dataOut[20]), c.askedKbps) << c.chosenKbps;
  }
}

TEST_F(Recording, AnUnsetSpeedLeavesTheDriveItsOwnAndOnlyANeverReadyDriveFails) {
  const auto performance = [](std::uint32_t length) {
    return [length](const RecordedRequest&) {
      Bytes reply(328, 0);
      bytes::PutBE32(&reply[0], length);
      bytes::PutBE32(&reply[8 + 12], 11080);
      return Data(reply);
    };
  };
  struct Case {
    const char* name;
    testsupport::AspiDouble::Responder getPerformance;
    testsupport::AspiDouble::Responder setStreaming;
    bool streamingSent;
  };
  const auto refused = [](const RecordedRequest&) { return Rejected(); };
  const auto taken = [](const RecordedRequest&) { return Reply{}; };
  for (const Case& c : {Case{"no descriptor", performance(4), taken, false},
                        Case{"a part of one", performance(19), taken, false},
                        Case{"a short header", performance(2), taken, false},
                        Case{"GET PERFORMANCE refused", refused, taken, false},
                        Case{"SET STREAMING refused", performance(20), refused, true}}) {
    aspi.Clear();
    On(0xAC, c.getPerformance);
    On(0xB6, c.setStreaming);
    EXPECT_TRUE(core.SetStreaming(10)) << c.name;
    bool sent = false;
    for (const auto& r : Sent()) sent = sent || r.Opcode() == 0xB6;
    EXPECT_EQ(sent, c.streamingSent) << c.name;
  }

  aspi.Clear();
  On(0x00, [](const RecordedRequest&) { return NotReady(); });
  EXPECT_FALSE(core.SetStreaming(10));
  EXPECT_EQ(clock.Slept(), std::chrono::minutes(5));
  for (const auto& r : Sent()) EXPECT_EQ(r.Opcode(), 0x00);
}

TEST_F(Recording, WaitUntilReadyPausesAfterEachMiss) {
  OnSequence(0x00, {NotReady(), NotReady(), NotReady(), Reply{}});
  EXPECT_TRUE(core.WaitUntilReady(scrivo::kWriteRetryWait));
  EXPECT_EQ(clock.Slept(), std::chrono::milliseconds(6000));
  EXPECT_EQ(clock.SleepCount(), 3u);
  EXPECT_FALSE(core.WaitUntilReady({500, 0}));
}

}  // namespace
}  // namespace drivetest
