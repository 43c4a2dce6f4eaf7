// DVD recording as the DVD burn sends it (burn mode 16): features,
// write parameters, GET PERFORMANCE / SET STREAMING, RESERVE TRACK and the
// blocks from address 0.

#include "aspi_test_support.h"

namespace aspitest {
namespace {

class DvdRecordingTest : public AspiTest {
 protected:
  Device d{0, 0};

  void Burn(std::uint32_t blocks) {
    const bool dvdMinus = d.FeatureCurrent(0x2F);
    ASSERT_TRUE(d.core().SetWriteParametersDvd());
    ASSERT_TRUE(d.core().SetStreaming(static_cast<std::int32_t>(blocks)));
    bool reserved = false;
    if (dvdMinus) reserved = d.core().ReserveTrack(blocks);
    EXPECT_EQ(reserved, dvdMinus);
    std::vector<Bytes> image;
    for (std::uint32_t i = 0; i < blocks; ++i) image.push_back(PatternBlock(i));
    EXPECT_EQ(d.WriteBlocks(0, image), blocks);
    // The flush alone: what each medium does with it, before any close.
    EXPECT_TRUE(d.core().SynchronizeCache());
  }
};

TEST_F(DvdRecordingTest, DvdMinusRReservedAndWritten) {
  ConfigureOne("dvd-r");
  EXPECT_TRUE(d.FeatureCurrent(0x1F));
  EXPECT_TRUE(d.FeatureCurrent(0x2F));
  EXPECT_FALSE(d.FeatureCurrent(0x2A));
  EXPECT_FALSE(d.FeatureCurrent(0x2B));
  Burn(40);
  // Disc-at-once: the drive finished the disc when the reserved track was
  // full and the cache synchronised.
  scrivo::DiscInfo info = d.Disc();
  EXPECT_TRUE(info.closed);
  EXPECT_FALSE(info.erasable);
  EXPECT_EQ(ReadBlocks(d, 39, 1), PatternBlock(39));
  Result r = d.In(ReadTrackInformationCdb(TrackAddress::TrackNumber, 1, 48), 48);
  EXPECT_EQ(Be32(r.data, 24), 40u);
  EXPECT_EQ(r.data[6] & 0x80, 0x80);  // reserved track
  // Session information works on a DVD too; the full TOC is CD only.
  r = d.In(ReadSessionInfoCdb(12), 12);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(Be32(r.data, 8), 0u);
  EXPECT_SENSE(d.In(ReadFullTocCdb(4), 4), 0x5, 0x24, 0x00);
  EXPECT_SENSE(d.Out(Write10Cdb(40, 1), PatternBlock(40)), 0x5, 0x21, 0x02);
}

TEST_F(DvdRecordingTest, DvdMinusRDiscAtOnceNeedsAReservation) {
  ConfigureOne("dvd-r");
  ASSERT_TRUE(d.core().SetWriteParametersDvd());
  EXPECT_SENSE(d.Out(Write10Cdb(0, 1), PatternBlock(0)), 0x5, 0x2C, 0x00);  // COMMAND SEQUENCE ERROR
  ASSERT_TRUE(d.core().ReserveTrack(100));
  EXPECT_TRUE(d.WriteBlock(0, PatternBlock(0)));
  EXPECT_SENSE(d.Out(Write10Cdb(5, 1), PatternBlock(5)), 0x5, 0x21, 0x02);
  // After the reserved track, the next starts on a 16-block boundary.
  Result r = d.In(ReadTrackInformationCdb(TrackAddress::TrackNumber, 0xFF, 48), 48);
  EXPECT_EQ(r.data[2], 2);
  EXPECT_EQ(Be32(r.data, 8), 112u);
}

TEST_F(DvdRecordingTest, IncrementalTracksAndReservations) {
  ConfigureOne("dvd-r");
  // Write type 0 (incremental) needs no reservation.
  ASSERT_TRUE(d.core().SetWriteParametersDvd());
  Result sensed = d.In(ModeSense10Cdb(PageControl::Default, 0x05, 158), 158);
  Bytes list(8 + 52, 0);
  std::copy_n(sensed.data.begin() + 8, 52, list.begin() + 8);
  list[8 + 2] = (list[8 + 2] & 0xE0) | 0x00;
  list[8 + 3] = 0x05;
  ASSERT_TRUE(d.Out(ModeSelect10Cdb(60), list).ok());
  EXPECT_TRUE(d.WriteBlock(0, PatternBlock(0)));
  // No reservation while a track is being written.
  EXPECT_SENSE(d.NoData(ReserveTrackCdb(16)), 0x5, 0x2C, 0x00);
  EXPECT_TRUE(d.NoData(CloseTrackSessionCdb(CloseFunction::Track, 1)).ok());
  // Two reservations in a row are fine; each starts on an ECC block.
  EXPECT_TRUE(d.core().ReserveTrack(20));
  EXPECT_TRUE(d.core().ReserveTrack(20));
  Result r = d.In(ReadTrackInformationCdb(TrackAddress::TrackNumber, 3, 48), 48);
  EXPECT_EQ(Be32(r.data, 8), 48u);
  EXPECT_EQ(r.data[6] & 0x80, 0x80);
  EXPECT_TRUE(d.WriteBlock(48, PatternBlock(48)));  // into the second reservation
  EXPECT_TRUE(d.WriteBlock(16, PatternBlock(16)));  // and the first
  EXPECT_SENSE(d.NoData(ReserveTrackCdb(3000000)), 0x5, 0x24, 0x00);
}

TEST_F(DvdRecordingTest, DvdMinusRwBurnsLikeDvdMinusR) {
  ConfigureOne("dvd-rw");
  EXPECT_TRUE(d.FeatureCurrent(0x2F));
  Burn(20);
  scrivo::DiscInfo info = d.Disc();
  EXPECT_TRUE(info.closed);
  EXPECT_TRUE(info.erasable);
}

TEST_F(DvdRecordingTest, DvdPlusRWrittenWithoutReservationClosesItsTrackBeforeItsSession) {
  ConfigureOne("dvd+r");
  EXPECT_TRUE(d.FeatureCurrent(0x2B));
  EXPECT_FALSE(d.FeatureCurrent(0x2F));
  Burn(33);
  scrivo::DiscInfo info = d.Disc();
  EXPECT_FALSE(info.blank);
  EXPECT_FALSE(info.closed) << "DVD+R stays open after the flush";
  EXPECT_EQ(ReadBlocks(d, 32, 1), PatternBlock(32));
  // Neither closing the session nor finalising goes past an open track.
  EXPECT_SENSE(d.NoData(CloseTrackSessionCdb(CloseFunction::Session)), 0x5, 0x72, 0x03);
  EXPECT_SENSE(d.NoData(CloseTrackSessionCdb(CloseFunction::FinalizeDvdPlusR)), 0x5, 0x72, 0x03);
  EXPECT_TRUE(d.NoData(CloseTrackSessionCdb(CloseFunction::Track, 1)).ok());
  EXPECT_TRUE(d.NoData(CloseTrackSessionCdb(CloseFunction::FinalizeDvdPlusR)).ok());  // close the session, finalise
  info = d.Disc();
  EXPECT_TRUE(info.closed);
}

TEST_F(DvdRecordingTest, DvdPlusRSessionClosedWithoutFinalisingTakesAnother) {
  ConfigureOne("dvd+r");
  Burn(33);
  ASSERT_TRUE(d.NoData(CloseTrackSessionCdb(CloseFunction::Track, 1)).ok());
  ASSERT_TRUE(d.NoData(CloseTrackSessionCdb(CloseFunction::Session)).ok());
  scrivo::DiscInfo info = d.Disc();
  EXPECT_FALSE(info.closed) << "the Multi-session field of the page has no say on DVD+R";
  // The next session starts behind the first one's closure, on an ECC block.
  Result r = d.In(ReadTrackInformationCdb(TrackAddress::TrackNumber, 0xFF, 48), 48);
  EXPECT_EQ(Be32(r.data, 8), 16432u);  // 33 + 16,384 rounded up to 16 blocks
}

TEST_F(DvdRecordingTest, DvdPlusRwFormattedThenBurned) {
  ConfigureOne("dvd+rw");
  EXPECT_TRUE(d.FeatureCurrent(0x2A));
  ASSERT_TRUE(d.core().FormatDvdPlusRw());
  d.ProgressUntilReady();
  Burn(25);
  EXPECT_EQ(ReadBlocks(d, 24, 1), PatternBlock(24));
}

TEST_F(DvdRecordingTest, GetPerformanceListsWriteSpeedsFastestFirst) {
  ConfigureOne("dvd+r");
  const Result r = d.In(GetPerformanceCdb(20, kPerformanceWriteSpeed), 328);
  ASSERT_TRUE(r.ok());
  const std::uint32_t n = (Be32(r.data, 0) - 4) / 16;
  ASSERT_EQ(n, 3u);
  EXPECT_EQ(Be32(r.data, 8 + 4), 2295103u);  // end LBA
  EXPECT_EQ(Be32(r.data, 8 + 12), 22160u);   // 16x
  EXPECT_EQ(Be32(r.data, 8 + 16 * 2 + 12), 5540u);
  // Fewer descriptors when fewer are asked for.
  Cdb one = GetPerformanceCdb(20, kPerformanceWriteSpeed);
  one[9] = 1;
  EXPECT_EQ(Be32(d.In(one, 328).data, 0), 4u + 16);
}

TEST_F(DvdRecordingTest, SetStreamingChecksItsDescriptor) {
  ConfigureOne("dvd-r");
  EXPECT_TRUE(d.Out(SetStreamingCdb(28), StreamingDescriptor(100, 22160, 11080)).ok());
  Bytes noTime = StreamingDescriptor(100, 22160, 11080);
  std::fill(noTime.begin() + 24, noTime.end(), 0);  // write time 0
  EXPECT_SENSE(d.Out(SetStreamingCdb(28), noTime), 0x5, 0x26, 0x00);
  EXPECT_EQ(d.Out(SetStreamingCdb(28), Bytes(10, 0)).haStat, HASTAT_DO_DU);
  // The chosen write speed shows in page 2Ah.
  const Result page = d.In(ModeSense10Cdb(PageControl::Current, 0x2A, 64), 64);
  EXPECT_EQ(Be16(page.data, 8 + 28), 11080);
}

TEST_F(DvdRecordingTest, FeaturesFollowTheMedium) {
  struct Case {
    const char* medium;
    std::uint16_t profile;
    bool dvdRead, plusRw, plusR, minusWrite;
  };
  for (const Case& c : {Case{"cd-r", 0x0009, false, false, false, false},
                        Case{"cd-rw", 0x000A, false, false, false, false},
                        Case{"dvd-r", 0x0011, true, false, false, true},
                        Case{"dvd-rw", 0x0014, true, false, false, true},
                        Case{"dvd+r", 0x001B, true, false, true, false},
                        Case{"dvd+rw", 0x001A, true, true, false, false}}) {
    SCOPED_TRACE(c.medium);
    std::filesystem::remove_all(dir_ / "w0");
    ConfigureOne(c.medium);
    const Result r = d.In(GetConfigurationCdb(0x1F, 256), 256);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(Be16(r.data, 6), c.profile);
    EXPECT_GT(Be32(r.data, 0), 4u) << "the drive lists every feature, current or not";
    EXPECT_EQ(r.data[9], 0x1F);
    EXPECT_EQ(d.FeatureCurrent(0x1F), c.dvdRead);
    EXPECT_EQ(d.FeatureCurrent(0x2A), c.plusRw);
    EXPECT_EQ(d.FeatureCurrent(0x2B), c.plusR);
    EXPECT_EQ(d.FeatureCurrent(0x2F), c.minusWrite);
  }
}

TEST_F(DvdRecordingTest, GetConfigurationListsAllFeatures) {
  ConfigureOne("cd-rw");
  const Result all = d.In(Altered(GetConfigurationCdb(0, 1024), 1, 0x00), 1024);  // RT 00b
  ASSERT_TRUE(all.ok());
  std::vector<std::uint16_t> codes;
  for (std::size_t at = 8; at + 4 <= 4 + Be32(all.data, 0); at += 4u + all.data[at + 3]) {
    codes.push_back(Be16(all.data, at));
  }
  EXPECT_EQ(codes, (std::vector<std::uint16_t>{0x00, 0x01, 0x02, 0x03, 0x10, 0x1D, 0x1E, 0x1F,
                                               0x21, 0x23, 0x2A, 0x2B, 0x2D, 0x2F}));
  // Current features only, from 001Eh on.
  const Result current = d.In(Altered(GetConfigurationCdb(0x1E, 1024), 1, 0x01), 1024);  // RT 01b
  codes.clear();
  for (std::size_t at = 8; at + 4 <= 4 + Be32(current.data, 0); at += 4u + current.data[at + 3]) {
    codes.push_back(Be16(current.data, at));
  }
  EXPECT_EQ(codes, (std::vector<std::uint16_t>{0x1E, 0x21, 0x2D}));
}

}  // namespace
}  // namespace aspitest
