// What the virtual drive answers outside a clean burn: misuse gets the
// sense a real drive gives, the tray opens and closes, and the mode pages
// read and change as MMC says.

#include <chrono>

#include "aspi_test_support.h"

namespace aspitest {
namespace {

class DriveBehaviourTest : public AspiTest {
 protected:
  Device d{0, 0};
};

TEST_F(DriveBehaviourTest, EveryCommandTakesAtLeastTheConfiguredLatency) {
  Configure({{"WNASPI32_VIRTUAL_WRITERS", "cd-r=" + (dir_ / "w0").string()},
             {"WNASPI32_VIRTUAL_LATENCY_US", "4000"},
             {"WNASPI32_VIRTUAL_FAULTS", "fail=00@2"}});
  // Good commands, a failing one and one the drive does not know.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok());
  EXPECT_FALSE(d.NoData(TestUnitReadyCdb()).ok());
  EXPECT_FALSE(d.NoData(Cdb{0xFF}).ok());
  EXPECT_TRUE(d.In(ReadDiscInformationCdb(34), 34).ok());
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::microseconds(4 * 4000));
}

TEST_F(DriveBehaviourTest, CapabilitiesPageAsTheScanReadsIt) {
  ConfigureOne("cd-rw");
  const Result r = d.In(ModeSense10Cdb(PageControl::Current, 0x2A, 30), 30);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(Be16(r.data, 6), 0) << "no block descriptor";
  EXPECT_EQ(r.data[8] & 0x3F, 0x2A);
  EXPECT_EQ(r.data[11] & 0x03, 0x03);  // CD-R and CD-RW write
  EXPECT_EQ(r.data[12] & 0x40, 0x40);  // multi-session
  EXPECT_EQ(Be16(r.data, 16), 8467);   // maximum read speed, kB/s
  EXPECT_EQ(Be16(r.data, 26), 8467);   // maximum write speed
  EXPECT_EQ(Be16(r.data, 0) + 2u, 8u + r.data[9] + 2) << "mode data length covers the whole page";
}

TEST_F(DriveBehaviourTest, WriteParametersDefaultsAndChangeableBits) {
  ConfigureOne("cd-r");
  Result r = d.In(ModeSense10Cdb(PageControl::Default, 0x05, 158), 158);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.data[8], 0x05);
  EXPECT_EQ(r.data[9], 0x32);
  EXPECT_EQ(r.data[10] & 0x0F, 1);  // track at once
  EXPECT_EQ(r.data[11] & 0x0F, 4);  // data track
  EXPECT_EQ(r.data[12], 0x08);      // mode 1
  EXPECT_EQ(Be16(r.data, 8 + 14), 150);
  r = d.In(ModeSense10Cdb(PageControl::Changeable, 0x05, 158), 158);  // changeable values
  EXPECT_EQ(r.data[10] & 0x10, 0) << "test write cannot be set";
  EXPECT_SENSE(d.In(ModeSense10Cdb(PageControl::Saved, 0x05, 158), 158), 0x5, 0x39, 0x00);  // saved values
  EXPECT_SENSE(d.In(ModeSense10Cdb(PageControl::Current, 0x01, 158), 158), 0x5, 0x24, 0x00);  // page 01h
  r = d.In(ModeSense10Cdb(PageControl::Current, 0x3F, 200), 200);
  EXPECT_EQ(r.data[8], 0x05);
  EXPECT_EQ(r.data[8 + 52], 0x2A);
}

TEST_F(DriveBehaviourTest, ModeSelectTakesOnlyAValidWriteParametersPage) {
  ConfigureOne("cd-r");
  const Result sensed = d.In(ModeSense10Cdb(PageControl::Default, 0x05, 158), 158);
  Bytes good(60, 0);
  std::copy_n(sensed.data.begin() + 8, 52, good.begin() + 8);
  good[8 + 3] = 0xC4;  // multi-session 11b
  EXPECT_TRUE(d.Out(ModeSelect10Cdb(60), good).ok());
  EXPECT_EQ(d.In(ModeSense10Cdb(PageControl::Current, 0x05, 158), 158).data[11], 0xC4) << "current values changed";
  EXPECT_EQ(d.In(ModeSense10Cdb(PageControl::Default, 0x05, 158), 158).data[11], 0x04) << "defaults kept";

  Bytes capabilities(8 + 48, 0);
  capabilities[8] = 0x2A;
  capabilities[9] = 46;
  EXPECT_SENSE(d.Out(ModeSelect10Cdb(56), capabilities), 0x5, 0x26, 0x00);
  Bytes shortPage = good;
  shortPage[9] = 0x30;
  EXPECT_SENSE(d.Out(ModeSelect10Cdb(60), shortPage), 0x5, 0x26, 0x00);
  Bytes testWrite = good;
  testWrite[8 + 2] |= 0x10;
  EXPECT_SENSE(d.Out(ModeSelect10Cdb(60), testWrite), 0x5, 0x26, 0x00);
  Bytes badType = good;
  badType[8 + 2] = (badType[8 + 2] & 0xF0) | 0x07;
  EXPECT_SENSE(d.Out(ModeSelect10Cdb(60), badType), 0x5, 0x26, 0x00);
  Bytes badBlockType = good;
  badBlockType[8 + 4] = 0x07;
  EXPECT_SENSE(d.Out(ModeSelect10Cdb(60), badBlockType), 0x5, 0x26, 0x00);
  Bytes truncated(good.begin(), good.begin() + 30);
  EXPECT_SENSE(d.Out(ModeSelect10Cdb(30), truncated), 0x5, 0x1A, 0x00);
  Cdb noPf = ModeSelect10Cdb(60);
  noPf[1] = 0;
  EXPECT_SENSE(d.Out(noPf, good), 0x5, 0x24, 0x00);
  EXPECT_EQ(d.Out(ModeSelect10Cdb(60), Bytes(20, 0)).haStat, HASTAT_DO_DU);
  EXPECT_EQ(d.In(ModeSense10Cdb(PageControl::Current, 0x05, 158), 158).data[11], 0xC4) << "rejected pages change nothing";
}

TEST_F(DriveBehaviourTest, CdWritesNeedTrackAtOnceAndADataTrack) {
  ConfigureOne("cd-r");
  const Result sensed = d.In(ModeSense10Cdb(PageControl::Default, 0x05, 158), 158);
  Bytes page(60, 0);
  std::copy_n(sensed.data.begin() + 8, 52, page.begin() + 8);
  page[8 + 2] = (page[8 + 2] & 0xF0) | 0x02;  // session at once: needs a cue sheet
  ASSERT_TRUE(d.Out(ModeSelect10Cdb(60), page).ok());
  EXPECT_SENSE(d.Out(Write10Cdb(0, 1), PatternBlock(0)), 0x5, 0x2C, 0x00);
  page[8 + 2] = (page[8 + 2] & 0xF0) | 0x01;
  page[8 + 3] = 0x00;  // audio track mode
  ASSERT_TRUE(d.Out(ModeSelect10Cdb(60), page).ok());
  EXPECT_SENSE(d.Out(Write10Cdb(0, 1), PatternBlock(0)), 0x5, 0x64, 0x00);
  d.core().multiSessionField = 0;
  ASSERT_TRUE(d.core().SetWriteParametersCd());
  EXPECT_TRUE(d.Out(Write10Cdb(0, 1), PatternBlock(0)).ok());
}

TEST_F(DriveBehaviourTest, MisuseGetsTheSenseARealDriveGives) {
  ConfigureOne("cd-r");
  EXPECT_SENSE(d.NoData(Cdb{0xE7}), 0x5, 0x20, 0x00);                         // unknown opcode
  EXPECT_SENSE(d.In(ReadTocCdb(5, false, 0, 100), 100), 0x5, 0x24, 0x00);  // no TOC yet
  EXPECT_SENSE(d.In(Altered(ReadDiscInformationCdb(34), 1, 0x02), 34), 0x5, 0x24, 0x00);
  EXPECT_SENSE(d.In(Altered(GetConfigurationCdb(0, 8), 1, 0x03), 8), 0x5, 0x24, 0x00);  // RT 11b
  EXPECT_SENSE(d.In(Altered(Altered(InquiryCdb(36), 1, 0x01), 2, 0x83), 36), 0x5, 0x24, 0x00);  // VPD 83h
  EXPECT_SENSE(d.Out(Write10Cdb(7, 1), PatternBlock(7)), 0x5, 0x21, 0x02);    // not the NWA
  EXPECT_SENSE(d.NoData(CloseTrackSessionCdb(CloseFunction::Session)), 0x5, 0x2C, 0x00);             // nothing open
  EXPECT_SENSE(d.NoData(ReserveTrackCdb(10)), 0x5, 0x30, 0x00);           // not on a CD
  EXPECT_SENSE(d.In(Read10Cdb(0), 2048), 0x5, 0x21, 0x00);                // blank
  EXPECT_SENSE(d.In(GetPerformanceCdb(1, 0x05), 100), 0x5, 0x24, 0x00);
  EXPECT_SENSE(d.NoData(Altered(SetCdSpeedCdb(0, 0), 1, 0x03)), 0x5, 0x24, 0x00);
  EXPECT_EQ(d.In(Altered(Read10Cdb(0), 8, 2), 2048).haStat, HASTAT_DO_DU) << "buffer too small for 2 blocks";
  EXPECT_EQ(d.Exec(Write10Cdb(0, 1), kFlagsDataOut, 100, Bytes(100)).haStat, HASTAT_DO_DU);
  // Nothing above changed the disc.
  scrivo::DiscInfo info = d.Disc();
  EXPECT_TRUE(info.blank);
}

TEST_F(DriveBehaviourTest, EjectOpensTheTrayForOneCommand) {
  ConfigureOne("cd-r");
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok());
  EXPECT_TRUE(d.NoData(EjectCdb()).ok());
  EXPECT_SENSE(d.NoData(TestUnitReadyCdb()), 0x2, 0x3A, 0x02);  // MEDIUM NOT PRESENT - TRAY OPEN
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok()) << "pushed back in with the same disc";

  // Whatever the next command is, it finds the tray open.
  EXPECT_TRUE(d.NoData(EjectCdb()).ok());
  EXPECT_SENSE(d.In(ReadDiscInformationCdb(34), 34), 0x2, 0x3A, 0x02);
  EXPECT_TRUE(d.In(ReadDiscInformationCdb(34), 34).ok());

  // Commands that need no disc still answer with the tray open.
  EXPECT_TRUE(d.NoData(EjectCdb()).ok());
  const Result features = d.In(GetConfigurationCdb(0x2D, 64), 64);
  ASSERT_TRUE(features.ok());
  EXPECT_EQ(Be16(features.data, 6), 0) << "no current profile without a disc";
  EXPECT_EQ(features.data[10] & 1, 0);
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok());

  // REQUEST SENSE reports the open tray; LoEj with Start closes it.
  EXPECT_TRUE(d.NoData(EjectCdb()).ok());
  const Result sense = d.In(RequestSenseCdb(200), 18);
  EXPECT_EQ(sense.data[2], 0x02);
  EXPECT_EQ(sense.data[12], 0x3A);
  EXPECT_TRUE(d.NoData(EjectCdb()).ok());
  EXPECT_TRUE(d.NoData(Altered(EjectCdb(), 4, 0x03)).ok());  // LoEj and Start: load
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok());
}

TEST_F(DriveBehaviourTest, ADirectoryThatCannotHoldADiscMeansNoDisc) {
  TempDir files;
  WriteFile(files / "not-a-directory", "x");
  const std::string unusable = "cd-r=" + (files / "not-a-directory" / "w").string();
  testing::internal::CaptureStderr();
  Configure({{"WNASPI32_VIRTUAL_WRITERS", unusable + ";floppy=" + (files / "f").string()}});
  // Each unusable entry is named with its reason, once, without asking for it.
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "wnaspi32: WNASPI32_VIRTUAL_WRITERS: \"floppy=" + (files / "f").string() +
                     "\": unknown medium (cd-r, cd-rw, dvd-r, dvd-rw, dvd+r, dvd+rw, dvd-rw-ro, bd-r, "
                     "bd-re); no writer at target 1\n"
                     "wnaspi32: WNASPI32_VIRTUAL_WRITERS: \"" + unusable +
                     "\": cannot create the directory: Not a directory; the writer at target 0 "
                     "has no disc\n");
  std::uint8_t type = 0;
  EXPECT_EQ(d.DeviceType(&type), SS_COMP) << "the writer is there, without a disc";
  EXPECT_SENSE(d.NoData(TestUnitReadyCdb()), 0x2, 0x3A, 0x01);
  EXPECT_TRUE(d.In(ModeSense10Cdb(PageControl::Current, 0x2A, 30), 30).ok());
}

TEST_F(DriveBehaviourTest, SetCdSpeedPicksASupportedSpeed) {
  ConfigureOne("cd-rw");
  EXPECT_TRUE(d.Out(SetCdSpeedCdb(0xFFFF, 1375), {}).ok());  // 8x as the engine computes it
  Result page = d.In(ModeSense10Cdb(PageControl::Current, 0x2A, 64), 64);
  EXPECT_EQ(Be16(page.data, 8 + 28), 706) << "the fastest CD-RW speed not above 1375 kB/s (4x)";
  EXPECT_EQ(Be16(page.data, 8 + 14), 8467);
  EXPECT_TRUE(d.Out(SetCdSpeedCdb(0xFFFF, 0xFFFF), {}).ok());
  page = d.In(ModeSense10Cdb(PageControl::Current, 0x2A, 64), 64);
  EXPECT_EQ(Be16(page.data, 8 + 28), 4234);  // 24x
  EXPECT_EQ(Be16(page.data, 8 + 30), 4) << "four write speed descriptors for a CD-RW";
}

}  // namespace
}  // namespace aspitest
