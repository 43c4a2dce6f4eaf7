// Capabilities, features, disc state, full TOC, session info, reading a
// block and ejecting: what is sent and how the replies are read.

#include "platform/bytes/byte_order.h"
#include "tests/drive/drive_fixture.h"

namespace drivetest {
namespace {

// A capabilities reply: CD-R and CD-RW writing, multi-session, and speeds.
Bytes CapabilitiesPage(std::uint8_t writeBits, bool multiSession, std::uint16_t readKbps,
                       std::uint16_t writeKbps) {
  Bytes reply(30, 0);
  reply[8] = 0x2A;
  reply[9] = 0x14;
  reply[11] = writeBits;
  reply[12] = multiSession ? 0x40 : 0x00;
  bytes::PutBE16(&reply[16], readKbps);
  bytes::PutBE16(&reply[26], writeKbps);
  return reply;
}

// A GET CONFIGURATION reply naming one feature.
Bytes FeatureReply(std::uint16_t feature, bool current) {
  Bytes reply(16, 0);
  bytes::PutBE32(&reply[0], 12);
  bytes::PutBE16(&reply[8], feature);
  reply[10] = current ? 0x01 : 0x00;
  reply[11] = 4;
  return reply;
}

Bytes DiscInformation(std::uint8_t byte2) {
  Bytes reply(34, 0);
  reply[1] = 32;
  reply[2] = byte2;
  return reply;
}

// A full TOC reply of the given descriptors (11 bytes each).
Bytes FullTocReply(std::uint8_t first, std::uint8_t last, const std::vector<Bytes>& descriptors) {
  Bytes reply(4, 0);
  bytes::PutBE16(&reply[0], static_cast<std::uint16_t>(2 + 11 * descriptors.size()));
  reply[2] = first;
  reply[3] = last;
  for (const auto& d : descriptors) reply.insert(reply.end(), d.begin(), d.end());
  return reply;
}

Bytes Descriptor(std::uint8_t session, std::uint8_t point, std::uint8_t min, std::uint8_t sec,
                 std::uint8_t frame) {
  return {session, 0x14, 0, point, min, sec, frame, 0, 0, 0, 0};
}

class DriveQueries : public DriveTest {
 protected:
  void AnswerFeatures(std::map<std::uint16_t, Reply> replies) {
    On(0x46, [replies](const RecordedRequest& r) {
      auto found = replies.find(bytes::GetBE16(&r.cdb[2]));
      return found == replies.end() ? Rejected() : found->second;
    });
  }
};

TEST_F(DriveQueries, CapabilitiesComeFromPage2AhAndFourFeatureQueries) {
  On(0x5A, [](const RecordedRequest&) { return Data(CapabilitiesPage(0x03, true, 7056, 40000)); });
  AnswerFeatures({{0x1F, Data(FeatureReply(0x1F, true))},
                  {0x2A, Data(FeatureReply(0x2A, false))},
                  // a reply naming another feature does not count
                  {0x2F, Data(FeatureReply(0x2B, true))}});
  scrivo::DriveCapabilities caps;
  ASSERT_TRUE(core.GetCapabilities(caps));
  EXPECT_EQ(caps.cdrWrite, 1);
  EXPECT_EQ(caps.cdrwWrite, 1);
  EXPECT_EQ(caps.multiSession, 1);
  EXPECT_EQ(caps.maxReadSpeed, 7056);
  EXPECT_EQ(caps.maxWriteSpeed, 40000);
  // DVD Read present and current, DVD+RW present; the failed 2Bh query
  // leaves the 2Ah reply in the buffer, which does not count for 2Bh.
  EXPECT_EQ(caps.featureFlags, 0x0105);

  auto sent = SentWithoutReadiness();
  ASSERT_EQ(sent.size(), 5u);
  const std::uint8_t features[] = {0x1F, 0x2A, 0x2B, 0x2F};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(CdbOf(sent[i + 1]), (Bytes{0x46, 0x02, 0x00, features[i], 0, 0, 0, 0x01, 0x00, 0, 0, 0}));
    EXPECT_EQ(sent[i + 1].flags, 0x48);
    EXPECT_EQ(sent[i + 1].bufferLength, 256u);
  }
}

TEST_F(DriveQueries, AFeatureIsPresentOnlyWithMoreThanTheHeader) {
  On(0x5A, [](const RecordedRequest&) { return Data(CapabilitiesPage(0x01, false, 0, 1)); });
  Bytes headerOnly = FeatureReply(0x2B, true);
  bytes::PutBE32(&headerOnly[0], 4);
  AnswerFeatures({{0x2B, Data(headerOnly)}, {0x2F, Data(FeatureReply(0x2F, true))}});
  scrivo::DriveCapabilities caps;
  ASSERT_TRUE(core.GetCapabilities(caps));
  EXPECT_EQ(caps.cdrWrite, 1);
  EXPECT_EQ(caps.cdrwWrite, 0);
  EXPECT_EQ(caps.multiSession, 0);
  EXPECT_EQ(caps.featureFlags, 0x1010);
}

TEST_F(DriveQueries, CapabilitiesFailWithoutThePageAndAskNoFeatures) {
  On(0x5A, [](const RecordedRequest&) { return Rejected(); });
  scrivo::DriveCapabilities caps;
  EXPECT_FALSE(core.GetCapabilities(caps));
  EXPECT_EQ(Opcodes(), (Bytes{0x00, 0x5A}));
}

TEST_F(DriveQueries, DiscStatusReadsBlankClosedAndErasable) {
  struct Case {
    std::uint8_t byte2;
    scrivo::DiscInfo expected;
  };
  const Case cases[] = {
      {0x00, {1, 0, 0}},  // blank CD-R
      {0x0E, {0, 1, 0}},  // finalised CD-R (complete, last session complete)
      {0x01, {0, 0, 0}},  // appendable
      {0x11, {0, 0, 1}},  // appendable CD-RW
      {0x03, {0, 0, 0}},  // other status
  };
  for (const auto& c : cases) {
    On(0x51, [&](const RecordedRequest&) { return Data(DiscInformation(c.byte2)); });
    scrivo::DiscInfo info{7, 7, 7};
    ASSERT_TRUE(core.GetDiscInfo(info));
    EXPECT_EQ(info.blank, c.expected.blank) << int(c.byte2);
    EXPECT_EQ(info.closed, c.expected.closed) << int(c.byte2);
    EXPECT_EQ(info.erasable, c.expected.erasable) << int(c.byte2);
  }
  auto sent = Sent();
  EXPECT_EQ(sent[0].Opcode(), 0x00);
  EXPECT_EQ(CdbOf(sent[1]), (Bytes{0x51, 0, 0, 0, 0, 0, 0, 0, 0x22, 0, 0, 0}));
  EXPECT_EQ(sent[1].flags, 0x48);
  EXPECT_EQ(sent[1].bufferLength, 34u);

  On(0x51, [](const RecordedRequest&) { return NotReady(); });
  scrivo::DiscInfo info;
  EXPECT_FALSE(core.GetDiscInfo(info));
}

TEST_F(DriveQueries, FullTocIsReadAsHeaderThenWhole) {
  const auto reply = FullTocReply(1, 2,
                                  {Descriptor(1, 0xA0, 1, 0, 0), Descriptor(1, 0xB0, 2, 0, 0),
                                   Descriptor(2, 0xA0, 2, 0, 0), Descriptor(2, 0xB0, 12, 34, 56),
                                   Descriptor(2, 0x01, 3, 0, 0)});
  On(0x43, [&](const RecordedRequest&) { return Data(reply); });
  scrivo::FullToc toc;
  ASSERT_TRUE(core.ReadFullToc(toc));
  EXPECT_EQ(toc.dataLength, 2 + 11 * 5);
  EXPECT_EQ(toc.DescriptorCount(), 5u);
  EXPECT_EQ(toc.firstCompleteSession, 1);
  EXPECT_EQ(toc.lastCompleteSession, 2);
  EXPECT_EQ(toc.descriptors.size(), toc.dataLength);
  EXPECT_EQ(Bytes(toc.descriptors.begin(), toc.descriptors.begin() + 11), Descriptor(1, 0xA0, 1, 0, 0));
  EXPECT_EQ(toc.NextSessionStart(), 56606);

  EXPECT_EQ(Opcodes(), (Bytes{0x00, 0x43, 0x00, 0x43}));
  auto sent = SentWithoutReadiness();
  EXPECT_EQ(CdbOf(sent[0]), (Bytes{0x43, 0x02, 0x02, 0, 0, 0, 0, 0x00, 0x04, 0, 0, 0}));
  EXPECT_EQ(sent[0].bufferLength, 4u);
  EXPECT_EQ(CdbOf(sent[1]), (Bytes{0x43, 0x02, 0x02, 0, 0, 0, 0, 0x00, 61, 0, 0, 0}));
  EXPECT_EQ(sent[1].bufferLength, 61u);
  EXPECT_EQ(sent[1].flags, 0x48);
}

TEST_F(DriveQueries, NextSessionStartTakesTheLastB0hOfTheLastCompleteSession) {
  scrivo::FullToc toc;
  toc.lastCompleteSession = 3;
  auto add = [&](const Bytes& d) { toc.descriptors.insert(toc.descriptors.end(), d.begin(), d.end()); };
  add(Descriptor(3, 0xB0, 1, 2, 3));
  add(Descriptor(3, 0xB0, 4, 5, 6));
  add(Descriptor(4, 0xB0, 7, 8, 9));  // not a complete session
  Bytes leadOut = Descriptor(3, 0xA2, 10, 0, 0);
  leadOut[8] = 2, leadOut[9] = 3, leadOut[10] = 4;  // PMIN PSEC PFRAME: absolute time
  add(leadOut);
  toc.descriptors.push_back(0);
  toc.descriptors.push_back(0);  // the two header bytes counted in the length
  EXPECT_EQ(toc.DescriptorCount(), 4u);
  EXPECT_EQ(toc.NextSessionStart(), (4 * 60 + 5) * 75 + 6);
  EXPECT_EQ(toc.LastLeadOutStart(), (2 * 60 + 3) * 75 + 4 - 150);

  toc.lastCompleteSession = 2;
  EXPECT_EQ(toc.NextSessionStart(), std::nullopt);
  EXPECT_EQ(toc.LastLeadOutStart(), std::nullopt);
}

TEST_F(DriveQueries, FullTocFailsWhenEitherReadFails) {
  OnSequence(0x43, {Rejected()});
  scrivo::FullToc toc;
  EXPECT_FALSE(core.ReadFullToc(toc));
  EXPECT_EQ(SentWithoutReadiness().size(), 1u);

  OnSequence(0x43, {Data(FullTocReply(1, 1, {Descriptor(1, 0xA0, 1, 0, 0)})), Rejected()});
  EXPECT_FALSE(core.ReadFullToc(toc));
}

TEST_F(DriveQueries, AnOversizedTocLengthIsCappedToOneAllocation) {
  Bytes header{0xFF, 0xFF, 1, 1};
  On(0x43, [&](const RecordedRequest&) { return Data(header); });
  scrivo::FullToc toc;
  ASSERT_TRUE(core.ReadFullToc(toc));
  auto second = SentWithoutReadiness().at(1);
  EXPECT_EQ(CdbOf(second)[7], 0xFF);
  EXPECT_EQ(CdbOf(second)[8], 0xFF);
  EXPECT_EQ(second.bufferLength, 0xFFFFu);
  EXPECT_EQ(toc.dataLength, 0xFFFF - 4);
  EXPECT_EQ(toc.descriptors.size(), 0xFFFFu - 4);
}

// The read-back's reads: whole blocks, 1 to 32 in one READ(10); any other
// length is refused without a command.
TEST_F(DriveQueries, ReadsOfSeveralBlocksAreOneRead10) {
  On(0x28, [](const RecordedRequest& request) { return Data(Bytes(request.bufferLength, 0x5A)); });
  for (const std::size_t bytes : {std::size_t{32 * 2048}, std::size_t{33 * 2048}, std::size_t{0}, std::size_t{2049}}) {
    std::vector<std::uint8_t> blocks(bytes);
    EXPECT_EQ(core.ReadBlocks(0x00010203, blocks), bytes == 32 * 2048) << bytes;
  }
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(CdbOf(sent[0]), (Bytes{0x28, 0, 0x00, 0x01, 0x02, 0x03, 0, 0x00, 0x20, 0, 0, 0}));
  EXPECT_EQ(sent[0].bufferLength, 32u * 2048);
}

TEST_F(DriveQueries, SessionInfoBlockReadAndEject) {
  On(0x43, [](const RecordedRequest&) { return Data({0, 10, 1, 2, 0, 0x14, 1, 0, 0, 0, 0x2C, 0x4E}); });
  std::array<std::uint8_t, 12> session{};
  ASSERT_TRUE(core.ReadSessionInfo(session));
  EXPECT_EQ(bytes::GetBE32(&session[8]), 11342u);

  On(0x28, [](const RecordedRequest&) { return Data(Bytes(2048, 0xA5)); });
  std::array<std::uint8_t, 2048> block{};
  ASSERT_TRUE(core.ReadBlock(0x01020304, block));
  EXPECT_EQ(block[2047], 0xA5);

  std::chrono::milliseconds sleptBeforeEject{-1};
  On(0x1B, [&](const RecordedRequest&) {
    sleptBeforeEject = clock.Slept();
    return Reply{};
  });
  EXPECT_TRUE(core.EjectDisc());
  EXPECT_EQ(sleptBeforeEject, std::chrono::milliseconds(2000));

  // Session info after a readiness test; the block read and the eject without.
  EXPECT_EQ(Opcodes(), (Bytes{0x00, 0x43, 0x28, 0x1B}));
  auto sent = Sent();
  EXPECT_EQ(CdbOf(sent[1]), (Bytes{0x43, 0x00, 0x01, 0, 0, 0, 0, 0x00, 0x0C, 0, 0, 0}));
  EXPECT_EQ(sent[1].bufferLength, 12u);
  EXPECT_EQ(CdbOf(sent[2]), (Bytes{0x28, 0, 0x01, 0x02, 0x03, 0x04, 0, 0x00, 0x01, 0, 0, 0}));
  EXPECT_EQ(sent[2].bufferLength, 2048u);
  EXPECT_EQ(CdbOf(sent[3]), (Bytes{0x1B, 0, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(sent[3].bufferLength, 0u);
  EXPECT_TRUE(sent[3].bufferIsNull);
  for (const auto& r : sent) EXPECT_EQ(r.flags, 0x48);
}

}  // namespace
TEST_F(DriveQueries, FreeBlocksAreAskedAsTheMediumAllows) {
  struct Case {
    const char* medium;
    std::uint16_t profile;  // 0: GET CONFIGURATION refused
    Bytes query;            // the CDB that reads the free space
  };
  const Bytes invisibleTrack{0x52, 0x01, 0, 0, 0, 0xFF, 0, 0x00, 0x1C, 0, 0, 0};
  const Bytes trackThree{0x52, 0x01, 0, 0, 0, 0x03, 0, 0x00, 0x1C, 0, 0, 0};
  const Bytes formatCapacities{0x23, 0, 0, 0, 0, 0, 0, 0x00, 0x0C, 0, 0, 0};
  for (const Case& c : {Case{"CD-R", 0x0009, invisibleTrack}, Case{"DVD+R", 0x001B, invisibleTrack},
                        Case{"no profile", 0, invisibleTrack}, Case{"DVD-R", 0x0011, trackThree},
                        Case{"DVD-RW", 0x0014, trackThree}, Case{"DVD+RW", 0x001A, formatCapacities}}) {
    aspi.Clear();
    // By value: the answer stays installed after the loop.
    On(0x46, [profile = c.profile](const RecordedRequest&) {
      if (profile == 0) return Rejected();
      Bytes header(8, 0);
      bytes::PutBE16(&header[6], profile);
      return Data(header);
    });
    On(0x51, [](const RecordedRequest&) {
      Bytes info(34, 0);
      info[2] = 0x01;  // appendable, empty last session
      info[6] = 3;     // last track in the last session: the incomplete one
      return Data(info);
    });
    On(0x52, [](const RecordedRequest& r) {
      Bytes reply(28, 0);
      bytes::PutBE32(&reply[16], r.cdb[5] == 0xFF ? 341658 : 2000000);
      return Data(reply);
    });
    On(0x23, [](const RecordedRequest&) {
      Bytes list(12, 0);
      list[3] = 8;
      bytes::PutBE32(&list[4], 2295104);
      list[8] = 0x02;
      list[10] = 0x08;
      return Data(list);
    });
    std::uint32_t freeBlocks = 0;
    ASSERT_TRUE(core.ReadFreeBlocks(freeBlocks)) << c.medium;
    const auto sent = SentWithoutReadiness();
    const auto query = std::find_if(sent.begin(), sent.end(), [](const RecordedRequest& r) {
      return r.Opcode() == 0x52 || r.Opcode() == 0x23;
    });
    ASSERT_NE(query, sent.end()) << c.medium;
    EXPECT_EQ(CdbOf(*query), c.query) << c.medium;
    EXPECT_EQ(query->flags, 0x48);
    EXPECT_EQ(freeBlocks, c.query == formatCapacities ? 2295104u
                          : c.query == trackThree    ? 2000000u
                                                     : 341658u)
        << c.medium;
  }

  On(0x52, [](const RecordedRequest&) { return Rejected(); });
  On(0x23, [](const RecordedRequest&) { return Rejected(); });
  std::uint32_t freeBlocks = 7;
  EXPECT_FALSE(core.ReadFreeBlocks(freeBlocks));
  EXPECT_EQ(freeBlocks, 7u);
}

TEST_F(DriveQueries, TrackInformationByAddressTrackOrSession) {
  struct Case {
    scrivo::TrackAddress type;
    std::uint32_t value;
    Bytes cdb;
  };
  for (const Case& c : {Case{scrivo::TrackAddress::Lba, 0x01020304, {0x52, 0x00, 1, 2, 3, 4, 0, 0x00, 0x30, 0, 0, 0}},
                        Case{scrivo::TrackAddress::TrackNumber, 2, {0x52, 0x01, 0, 0, 0, 2, 0, 0x00, 0x30, 0, 0, 0}},
                        Case{scrivo::TrackAddress::SessionNumber, 3, {0x52, 0x02, 0, 0, 0, 3, 0, 0x00, 0x30, 0, 0, 0}}}) {
    aspi.Clear();
    On(0x52, [](const RecordedRequest&) { return Data(Bytes(48, 0x11)); });
    std::array<std::uint8_t, 48> reply{};
    ASSERT_TRUE(core.ReadTrackInformation(c.type, c.value, reply));
    EXPECT_EQ(reply[47], 0x11);
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 1u) << "no readiness test of its own";
    EXPECT_EQ(CdbOf(sent[0]), c.cdb);
    EXPECT_EQ(sent[0].bufferLength, 48u);
  }
}

}  // namespace drivetest

namespace drivetest {
namespace {

Reply Sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  Reply reply;
  reply.status = SS_ERR;
  reply.sense = {0x70, 0, key, 0, 0, 0, 0, 10, 0, 0, 0, 0, asc, ascq};
  return reply;
}

class MediumRecognition : public DriveTest {};

TEST_F(MediumRecognition, ADiscBeingRecognisedIsWaitedForWithinItsBounds) {
  const Reply becomingReady = Sense(0x02, 0x04, 0x01), changed = Sense(0x06, 0x28, 0x00),
              noMedium = Sense(0x02, 0x3A, 0x00), busy = Sense(0x02, 0x04, 0x07);
  struct Case {
    const char* name;
    std::vector<Reply> answers;  // the last one repeats
    bool ready;
    std::chrono::milliseconds slept;
  };
  for (const Case& c : {
           Case{"recognised, the change reported once", {becomingReady, becomingReady, changed, Reply{}}, true,
                std::chrono::milliseconds(1000)},
           Case{"empty at first after the tray closed", {noMedium, noMedium, becomingReady, changed, Reply{}}, true,
                std::chrono::milliseconds(1500)},
           Case{"never recognised", {becomingReady}, false, std::chrono::seconds(60)},
           Case{"empty", {noMedium}, false, std::chrono::seconds(5)},
           Case{"another not ready is the drive's answer", {busy}, false, std::chrono::milliseconds(0)},
       }) {
    aspi.Clear();
    const auto before = clock.Slept();
    OnSequence(0x00, c.answers);
    EXPECT_EQ(core.WaitForMedium(), c.ready) << c.name;
    EXPECT_EQ(clock.Slept() - before, c.slept) << c.name;
  }
}

}  // namespace
}  // namespace drivetest
