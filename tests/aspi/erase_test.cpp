// BLANK and FORMAT UNIT in immediate mode with progress polled through
// REQUEST SENSE.

#include "aspi_test_support.h"

namespace aspitest {
namespace {

class EraseTest : public AspiTest {
 protected:
  Device d{0, 0};

  void WriteOneSession(std::uint8_t multiSessionField) {
    const auto start = d.PrepareCd(multiSessionField);
    ASSERT_TRUE(start.has_value());
    ASSERT_EQ(d.WriteBlocks(*start, {PatternBlock(*start), PatternBlock(*start + 1)}), 2u);
    d.FinishSession(true);
  }
  // BLANK in immediate mode, then the progress the drive reports until it
  // is ready.
  std::vector<std::uint32_t> Blank(BlankKind kind) {
    EXPECT_TRUE(d.NoData(BlankCdb(kind)).ok());
    return d.ProgressUntilReady();
  }
};

TEST_F(EraseTest, CdRwBlankedWithProgress) {
  ConfigureOne("cd-rw");
  WriteOneSession(0);
  scrivo::DiscInfo info = d.Disc();
  ASSERT_TRUE(info.closed);
  ASSERT_TRUE(info.erasable);

  const auto progress = Blank(BlankKind::Full);
  // 20 polls: ten cycles of TEST UNIT READY and REQUEST SENSE, progress
  // rising to 65535, then TEST UNIT READY finds the drive ready.
  ASSERT_EQ(progress.size(), 10u);
  for (std::size_t i = 1; i < progress.size(); ++i) EXPECT_GT(progress[i], progress[i - 1]);
  EXPECT_GT(progress.front(), 0u);
  EXPECT_EQ(progress.back(), 65535u);

  info = d.Disc();
  EXPECT_TRUE(info.blank);
  EXPECT_FALSE(info.closed);
  EXPECT_FALSE(d.In(ReadFullTocCdb(4), 4).ok());
  EXPECT_EQ(std::filesystem::file_size(dir_ / "w0" / "disc.img"), 0u);
  // And it records again from block 0.
  WriteOneSession(3);
}

TEST_F(EraseTest, MinimalBlankSendsA1h11h) {
  ConfigureOne("cd-rw");
  WriteOneSession(3);
  EXPECT_EQ(Blank(BlankKind::Minimal).size(), 10u);
  scrivo::DiscInfo info = d.Disc();
  EXPECT_TRUE(info.blank);
}

TEST_F(EraseTest, WhileBlankingTheDriveIsNotReadyWithProgress) {
  Configure({{"WNASPI32_VIRTUAL_WRITERS", "cd-rw=" + (dir_ / "w0").string()},
             {"WNASPI32_VIRTUAL_POLLS", "4"}});
  WriteOneSession(0);
  ASSERT_TRUE(d.NoData(BlankCdb(BlankKind::Full)).ok());
  Result r = d.NoData(TestUnitReadyCdb());
  EXPECT_SENSE(r, 0x2, 0x04, 0x07);  // OPERATION IN PROGRESS
  // Other commands wait for the operation.
  EXPECT_SENSE(d.In(ReadDiscInformationCdb(34), 34), 0x2, 0x04, 0x07);
  EXPECT_SENSE(d.Out(Write10Cdb(0, 1), PatternBlock(0)), 0x2, 0x04, 0x07);
  // Identification still answers.
  EXPECT_TRUE(d.In(InquiryCdb(36), 36).ok());
  r = d.In(RequestSenseCdb(200), 200);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.data[0], 0x70);
  EXPECT_EQ(r.data[2], 0x02);
  EXPECT_EQ(r.data[12], 0x04);
  EXPECT_EQ(r.data[13], 0x07);
  EXPECT_EQ(r.data[15], 0x80);  // SKSV: bytes 16-17 hold the progress
  EXPECT_EQ(Be16(r.data, 16), 2u * 65535 / 4);
  EXPECT_SENSE(d.NoData(TestUnitReadyCdb()), 0x2, 0x04, 0x07);
  EXPECT_SENSE(d.NoData(TestUnitReadyCdb()), 0x2, 0x04, 0x07);
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok());
  r = d.In(RequestSenseCdb(200), 200);
  EXPECT_EQ(r.data[2], 0x00);  // nothing to report
}

TEST_F(EraseTest, BlankWithoutImmedCompletesAtOnce) {
  ConfigureOne("cd-rw");
  WriteOneSession(0);
  Cdb notImmediate = BlankCdb(BlankKind::Full);
  notImmediate[1] = 0x00;  // IMMED clear
  EXPECT_TRUE(d.NoData(notImmediate).ok());
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok());
  scrivo::DiscInfo info = d.Disc();
  EXPECT_TRUE(info.blank);
}

TEST_F(EraseTest, DvdMinusRwBlanks) {
  ConfigureOne("dvd-rw");
  ASSERT_TRUE(d.core().SetWriteParametersDvd());
  ASSERT_TRUE(d.core().ReserveTrack(16));
  EXPECT_EQ(d.WriteBlocks(0, std::vector<Bytes>(16, PatternBlock(0))), 16u);
  d.FinishSession(false);
  Blank(BlankKind::Full);
  scrivo::DiscInfo info = d.Disc();
  EXPECT_TRUE(info.blank);
}

TEST_F(EraseTest, BlankOfAWriteOnceDiscIsRefused) {
  for (const char* medium : {"cd-r", "dvd-r", "dvd+r", "dvd+rw"}) {
    ConfigureOne(medium);
    EXPECT_SENSE(d.NoData(BlankCdb(BlankKind::Full)), 0x5, 0x30, 0x00);  // INCOMPATIBLE MEDIUM INSTALLED
    wnaspi::ResetForTesting();
    std::filesystem::remove_all(dir_ / "w0");
  }
}

TEST_F(EraseTest, DvdPlusRwFormatted) {
  ConfigureOne("dvd+rw");
  scrivo::DiscInfo info = d.Disc();
  EXPECT_TRUE(info.blank);
  EXPECT_TRUE(info.erasable);
  Result r = d.In(ReadDiscInformationCdb(34), 34);
  EXPECT_EQ(r.data[7] & 0x03, 0);  // not formatted
  EXPECT_SENSE(d.Out(Write10Cdb(0, 1), PatternBlock(0)), 0x5, 0x30, 0x10);  // MEDIUM NOT FORMATTED

  ASSERT_TRUE(d.core().FormatDvdPlusRw());
  const auto progress = d.ProgressUntilReady();
  EXPECT_TRUE(d.core().StopBackgroundFormat()) << "the drive became ready: the job stops the background format";
  EXPECT_EQ(progress.size(), 10u);
  EXPECT_EQ(progress.back(), 65535u);

  info = d.Disc();
  EXPECT_FALSE(info.blank);
  EXPECT_TRUE(info.closed);  // a formatted DVD+RW reports a complete disc
  r = d.In(ReadDiscInformationCdb(34), 34);
  EXPECT_EQ(r.data[7] & 0x03, 3);  // format complete
  // Written anywhere, read back anywhere.
  EXPECT_TRUE(d.WriteBlock(1000, PatternBlock(1000)));
  EXPECT_TRUE(d.WriteBlock(16, PatternBlock(16)));
  EXPECT_TRUE(d.WriteBlock(1000, PatternBlock(1000, 9)));
  EXPECT_EQ(ReadBlocks(d, 1000, 1), PatternBlock(1000, 9));
  EXPECT_EQ(ReadBlocks(d, 17, 1), Bytes(2048, 0));
  EXPECT_SENSE(d.Out(Write10Cdb(2295104, 1), PatternBlock(0)), 0x5, 0x21, 0x00);
  r = d.In(ReadTrackInformationCdb(TrackAddress::TrackNumber, 0xFF, 48), 48);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(Be32(r.data, 16), 2295104u);  // free blocks: all of it can be written
}

TEST_F(EraseTest, FormatIsRefusedForOtherMediaAndBadParameters) {
  ConfigureOne("cd-rw");
  EXPECT_SENSE(d.Out(FormatUnitCdb(), DvdPlusRwFormatList()), 0x5, 0x30, 0x06);
  wnaspi::ResetForTesting();
  std::filesystem::remove_all(dir_ / "w0");
  ConfigureOne("dvd+rw");
  Bytes wrongType = DvdPlusRwFormatList();
  wrongType[8] = 0x00;  // full format (type 0), not the DVD+RW type
  EXPECT_SENSE(d.Out(FormatUnitCdb(), wrongType), 0x5, 0x26, 0x00);
  Cdb noList = FormatUnitCdb();
  noList[1] = 0x01;  // FmtData clear: no parameter list
  EXPECT_SENSE(d.Out(noList, {}), 0x5, 0x24, 0x00);
  EXPECT_EQ(d.Out(FormatUnitCdb(), Bytes(4, 0)).haStat, HASTAT_DO_DU);
}

TEST_F(EraseTest, ProgressFallingBackToZeroIsNotReported) {
  // The format job's other ending (progress above 0, then 0) needs a drive
  // that reports 0 while busy; this one never does, so the job always ends
  // through readiness. Polled with REQUEST SENSE only, the drive finishes
  // after twice the polls.
  Configure({{"WNASPI32_VIRTUAL_WRITERS", "dvd+rw=" + (dir_ / "w0").string()},
             {"WNASPI32_VIRTUAL_POLLS", "3"}});
  ASSERT_TRUE(d.Out(FormatUnitCdb(), DvdPlusRwFormatList()).ok());
  std::vector<std::uint32_t> seen;
  for (int i = 0; i < 6; ++i) seen.push_back(Be16(d.In(RequestSenseCdb(200), 200).data, 16));
  EXPECT_EQ(seen, (std::vector<std::uint32_t>{21845, 43690, 65535, 65535, 65535, 0}));
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok());
}

}  // namespace
}  // namespace aspitest
