// CD-R and CD-RW recording as a burn sends it: a blank disc
// written and closed, and a multi-session disc appended twice.

#include "aspi_test_support.h"

namespace aspitest {
namespace {

class CdRecordingTest : public AspiTest {
 protected:
  Device d{0, 0};

  std::vector<Bytes> Blocks(std::uint32_t start, std::uint32_t count, std::uint8_t salt = 0) {
    std::vector<Bytes> blocks;
    for (std::uint32_t i = 0; i < count; ++i) blocks.push_back(PatternBlock(start + i, salt));
    return blocks;
  }

  // One session as the burn job writes it; returns its start address.
  std::uint32_t BurnSession(std::uint32_t blocks, std::uint8_t multiSessionField) {
    const auto start = d.PrepareCd(multiSessionField);
    EXPECT_TRUE(start.has_value());
    if (!start) return 0;
    EXPECT_EQ(d.WriteBlocks(*start, Blocks(*start, blocks)), blocks);
    d.FinishSession(true);
    return *start;
  }

  static std::uint32_t Frames(std::uint8_t m, std::uint8_t s, std::uint8_t f) {
    return (m * 60u + s) * 75u + f;
  }
};

TEST_F(CdRecordingTest, BlankCdRWrittenAndClosed) {
  ConfigureOne("cd-r");
  scrivo::DiscInfo info = d.Disc();
  EXPECT_TRUE(info.blank);
  EXPECT_FALSE(info.closed);
  EXPECT_FALSE(info.erasable);
  EXPECT_FALSE(d.In(ReadFullTocCdb(4), 4).ok()) << "a blank disc has no TOC";

  EXPECT_TRUE(d.Out(SetCdSpeedCdb(0xFFFF, 1375), {}).ok());
  EXPECT_EQ(BurnSession(30, 0), 0u);

  info = d.Disc();
  EXPECT_FALSE(info.blank);
  EXPECT_TRUE(info.closed);
  std::uint8_t first = 0, last = 0;
  const auto toc = TocEntries(d, &first, &last);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(last, 1);
  ASSERT_EQ(toc.size(), 4u) << "A0, A1, A2 and track 1; no B0h on a closed disc";
  EXPECT_EQ(toc[0].point, 0xA0);
  EXPECT_EQ(toc[0].pmin, 1);
  EXPECT_EQ(toc[0].psec, 0x00);  // CD-ROM
  EXPECT_EQ(toc[1].point, 0xA1);
  EXPECT_EQ(toc[1].pmin, 1);
  EXPECT_EQ(toc[2].point, 0xA2);
  EXPECT_EQ(Frames(toc[2].pmin, toc[2].psec, toc[2].pframe), 30u + 150);
  EXPECT_EQ(toc[3].point, 1);
  EXPECT_EQ(toc[3].adrControl, 0x14);
  EXPECT_EQ(Frames(toc[3].pmin, toc[3].psec, toc[3].pframe), 150u);

  const Result sessionInfo = d.In(ReadSessionInfoCdb(12), 12);
  ASSERT_TRUE(sessionInfo.ok());
  EXPECT_EQ(Be32(sessionInfo.data, 8), 0u);

  const Bytes back = ReadBlocks(d, 0, 30);
  Bytes expected;
  for (const Bytes& b : Blocks(0, 30)) expected.insert(expected.end(), b.begin(), b.end());
  EXPECT_EQ(back, expected);

  // A closed disc takes nothing more.
  EXPECT_FALSE(d.PrepareCd(3).has_value());
  EXPECT_SENSE(d.Out(Write10Cdb(30, 1), PatternBlock(30)), 0x5, 0x21, 0x02);
  EXPECT_SENSE(d.In(Read10Cdb(30), 2048), 0x5, 0x21, 0x00);
}

TEST_F(CdRecordingTest, MultiSessionDiscAppendedTwice) {
  ConfigureOne("cd-r");
  // Session 1: 100 blocks, next session allowed.
  EXPECT_EQ(BurnSession(100, 3), 0u);
  scrivo::DiscInfo info = d.Disc();
  EXPECT_FALSE(info.blank);
  EXPECT_FALSE(info.closed);

  // The next program area follows a 6750-block lead-out, a 4500-block
  // lead-in and a 150-block pre-gap.
  const std::uint32_t second = 100 + 6750 + 4500 + 150;
  EXPECT_EQ(d.NextSessionFromToc(), second);
  EXPECT_EQ(BurnSession(50, 3), second);

  // Later lead-outs are 2250 blocks.
  const std::uint32_t third = second + 50 + 2250 + 4500 + 150;
  EXPECT_EQ(d.NextSessionFromToc(), third);
  std::uint8_t first = 0, last = 0;
  auto toc = TocEntries(d, &first, &last);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(last, 2);
  ASSERT_EQ(toc.size(), 10u);  // per session A0 A1 A2 track B0
  const std::vector<std::uint8_t> points{0xA0, 0xA1, 0xA2, 1, 0xB0, 0xA0, 0xA1, 0xA2, 2, 0xB0};
  for (std::size_t i = 0; i < toc.size(); ++i) {
    EXPECT_EQ(toc[i].point, points[i]) << i;
    EXPECT_EQ(toc[i].session, i < 5 ? 1 : 2) << i;
  }
  EXPECT_EQ(Frames(toc[4].min, toc[4].sec, toc[4].frame), second);
  EXPECT_EQ(toc[4].adrControl, 0x54);
  EXPECT_EQ(Frames(toc[4].pmin, toc[4].psec, toc[4].pframe), 360000u + 150);
  EXPECT_EQ(toc[5].pmin, 2);  // A0 of session 2: first track 2
  EXPECT_EQ(Frames(toc[7].pmin, toc[7].psec, toc[7].pframe), second + 50 + 150);  // lead-out
  EXPECT_EQ(Frames(toc[8].pmin, toc[8].psec, toc[8].pframe), second + 150);        // track 2
  EXPECT_EQ(Frames(toc[9].min, toc[9].sec, toc[9].frame), third);

  Result sessionInfo = d.In(ReadSessionInfoCdb(12), 12);
  ASSERT_TRUE(sessionInfo.ok());
  EXPECT_EQ(sessionInfo.data[3], 2);  // last complete session
  EXPECT_EQ(sessionInfo.data[6], 2);  // its first track
  EXPECT_EQ(Be32(sessionInfo.data, 8), second);

  // Session 3 closes the disc.
  EXPECT_EQ(BurnSession(20, 0), third);
  info = d.Disc();
  EXPECT_TRUE(info.closed);
  toc = TocEntries(d, &first, &last);
  EXPECT_EQ(last, 3);
  EXPECT_EQ(toc.size(), 14u) << "sessions 1 and 2 keep their B0h, session 3 has none";
  sessionInfo = d.In(ReadSessionInfoCdb(12), 12);
  EXPECT_EQ(Be32(sessionInfo.data, 8), third);

  const Result discInfo = d.In(ReadDiscInformationCdb(34), 34);
  EXPECT_EQ(discInfo.data[2], 0x0E);  // last session complete, disc complete
  EXPECT_EQ(discInfo.data[4], 3);     // sessions
  EXPECT_EQ(discInfo.data[5], 3);     // first track in last session
  EXPECT_EQ(discInfo.data[6], 3);     // last track in last session

  // Every session reads back where it was written.
  EXPECT_EQ(ReadBlocks(d, 99, 1), PatternBlock(99));
  EXPECT_EQ(ReadBlocks(d, second, 1), PatternBlock(second));
  EXPECT_EQ(ReadBlocks(d, third + 19, 1), PatternBlock(third + 19));
  // The lead-out is not data.
  EXPECT_SENSE(d.In(Read10Cdb(100), 2048), 0x5, 0x21, 0x00);
}

TEST_F(CdRecordingTest, DiscInformationFollowsTheDisc) {
  ConfigureOne("cd-rw");
  Result r = d.In(ReadDiscInformationCdb(34), 34);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(Be16(r.data, 0), 32);
  EXPECT_EQ(r.data[2], 0x10);  // erasable, empty session, empty disc
  EXPECT_EQ(r.data[3], 1);
  EXPECT_EQ(r.data[4], 1);
  EXPECT_EQ(r.data[5], 1);
  EXPECT_EQ(r.data[6], 1);
  // Last possible lead-out start: 360,000 blocks, as MSF 80:02:00.
  EXPECT_EQ(r.data[21], 80);
  EXPECT_EQ(r.data[22], 2);
  EXPECT_EQ(r.data[23], 0);

  BurnSession(10, 3);
  r = d.In(ReadDiscInformationCdb(34), 34);
  EXPECT_EQ(r.data[2], 0x11);  // erasable, next session empty, disc appendable
  EXPECT_EQ(r.data[4], 2);     // the empty session counts
  EXPECT_EQ(r.data[5], 2);
  // Lead-in of session 2 starts after the 6750-block lead-out.
  EXPECT_EQ(Frames(r.data[17], r.data[18], r.data[19]), 10u + 6750 + 150);
}

TEST_F(CdRecordingTest, TrackInformationGivesNextWritableAddressAndFreeBlocks) {
  ConfigureOne("cd-r");
  Result r = d.In(ReadTrackInformationCdb(TrackAddress::TrackNumber, 0xFF, 48), 48);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.data[2], 1);
  EXPECT_EQ(r.data[6] & 0x40, 0x40);  // blank
  EXPECT_EQ(r.data[7] & 0x01, 0x01);  // NWA valid
  EXPECT_EQ(Be32(r.data, 12), 0u);
  EXPECT_EQ(Be32(r.data, 16), 360000u);

  d.PrepareCd(3);
  d.WriteBlocks(0, Blocks(0, 40));
  r = d.In(ReadTrackInformationCdb(TrackAddress::TrackNumber, 0xFF, 48), 48);  // the incomplete track
  EXPECT_EQ(r.data[2], 1);
  EXPECT_EQ(Be32(r.data, 12), 40u);
  EXPECT_EQ(Be32(r.data, 16), 360000u - 40);
  EXPECT_EQ(Be32(r.data, 28), 39u);  // last recorded address
  d.FinishSession(true);

  r = d.In(ReadTrackInformationCdb(TrackAddress::TrackNumber, 1, 48), 48);
  EXPECT_EQ(Be32(r.data, 24), 40u);  // track size
  EXPECT_EQ(r.data[7] & 0x01, 0);    // complete: no NWA
  r = d.In(ReadTrackInformationCdb(TrackAddress::TrackNumber, 0xFF, 48), 48);
  EXPECT_EQ(r.data[2], 2);
  EXPECT_EQ(r.data[3], 2);
  EXPECT_EQ(Be32(r.data, 12), 40u + 11400);
  EXPECT_EQ(Be32(r.data, 16), 360000u - 40 - 11400);
  r = d.In(ReadTrackInformationCdb(TrackAddress::Lba, 20, 48), 48);  // by LBA
  EXPECT_EQ(r.data[2], 1);
  r = d.In(ReadTrackInformationCdb(TrackAddress::SessionNumber, 2, 48), 48);  // by session
  EXPECT_EQ(r.data[2], 2);
  EXPECT_SENSE(d.In(ReadTrackInformationCdb(TrackAddress::TrackNumber, 9, 48), 48), 0x5, 0x24, 0x00);
}

TEST_F(CdRecordingTest, TocFormatZeroListsTracksAndLeadOut) {
  ConfigureOne("cd-r");
  BurnSession(25, 3);
  BurnSession(5, 0);
  Result r = d.In(ReadTocCdb(0, false, 0, 100), 100);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(Be16(r.data, 0), 2 + 3 * 8);
  EXPECT_EQ(r.data[2], 1);
  EXPECT_EQ(r.data[3], 2);
  EXPECT_EQ(r.data[6], 1);
  EXPECT_EQ(Be32(r.data, 8), 0u);
  EXPECT_EQ(r.data[14], 2);
  EXPECT_EQ(Be32(r.data, 16), 25u + 11400);
  EXPECT_EQ(r.data[22], 0xAA);
  EXPECT_EQ(Be32(r.data, 24), 25u + 11400 + 5);
  r = d.In(ReadTocCdb(0, true, 0, 100), 100);  // MSF
  EXPECT_EQ(r.data[9], 0);
  EXPECT_EQ(r.data[10], 2);  // 00:02:00
}

TEST_F(CdRecordingTest, ClosingATrackStartsTheNextAfterAPreGap) {
  ConfigureOne("cd-r");
  d.PrepareCd(0);
  d.WriteBlocks(0, Blocks(0, 10));
  EXPECT_TRUE(d.NoData(CloseTrackSessionCdb(CloseFunction::Track, 1)).ok());
  EXPECT_SENSE(d.Out(Write10Cdb(10, 1), PatternBlock(10)), 0x5, 0x21, 0x02);
  EXPECT_TRUE(d.WriteBlock(160, PatternBlock(160)));
  d.FinishSession(true);
  Result r = d.In(ReadTocCdb(0, false, 0, 100), 100);
  EXPECT_EQ(r.data[3], 2);
  EXPECT_EQ(Be32(r.data, 16), 160u);
}

TEST_F(CdRecordingTest, ASessionEndingNearTheEndOfTheDiscFinalisesIt) {
  // A disc with 350,000 blocks written in its open session (as a state file
  // holds it): after this session's lead-out and the next lead-in there is
  // no room left, so closing it finalises the disc whatever page 05h says.
  std::filesystem::create_directories(dir_ / "w0");
  WriteFile(dir_ / "w0" / "disc.state",
            "version=1\nmedium=cd-r\nformatted=no\nfinalized=no\nbusy=none\n"
            "session=1 closed=no next=none format=00\n"
            "track=1 session=1 start=0 recorded=350000 reserved=0 closed=no dao=no mode=4\n");
  ConfigureOne("cd-r");
  d.core().multiSessionField = 3;
  ASSERT_TRUE(d.core().SetWriteParametersCd());
  EXPECT_TRUE(d.WriteBlock(350000, PatternBlock(350000)));
  d.FinishSession(true);
  scrivo::DiscInfo info = d.Disc();
  EXPECT_TRUE(info.closed);
  EXPECT_FALSE(d.NextSessionFromToc().has_value());
}

TEST_F(CdRecordingTest, WritingPastTheEndOfTheDiscFails) {
  std::filesystem::create_directories(dir_ / "w0");
  WriteFile(dir_ / "w0" / "disc.state",
            "version=1\nmedium=cd-r\nformatted=no\nfinalized=no\nbusy=none\n"
            "session=1 closed=no next=none format=00\n"
            "track=1 session=1 start=0 recorded=359999 reserved=0 closed=no dao=no mode=4\n");
  ConfigureOne("cd-r");
  EXPECT_TRUE(d.WriteBlock(359999, PatternBlock(359999)));
  EXPECT_SENSE(d.Out(Write10Cdb(360000, 1), PatternBlock(360000)), 0x5, 0x21, 0x00);
  EXPECT_EQ(Be32(d.In(ReadTrackInformationCdb(TrackAddress::TrackNumber, 0xFF, 48), 48).data, 16), 0u);
}

}  // namespace
}  // namespace aspitest
