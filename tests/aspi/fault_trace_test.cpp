// Fault injection (WNASPI32_VIRTUAL_FAULTS) and the trace (WNASPI32_TRACE).

#include <regex>
#include <sstream>

#include "aspi_test_support.h"
#include "platform/aspi/virtual/fault_injector.h"

namespace aspitest {
namespace {

class FaultTraceTest : public AspiTest {
 protected:
  Device d{0, 0};

  std::vector<std::string> TraceLines(const std::filesystem::path& file) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(file));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

TEST_F(FaultTraceTest, FailMakesTheNthCommandOfAnOpcodeAMediumError) {
  ConfigureOne("cd-r", "fail=2A@3");
  d.PrepareCd(0);
  EXPECT_TRUE(d.WriteBlock(0, PatternBlock(0)));
  EXPECT_TRUE(d.WriteBlock(1, PatternBlock(1)));
  const Result third = d.Out(Write10Cdb(2, 1), PatternBlock(2));
  EXPECT_SENSE(third, 0x3, 0x0C, 0x00);  // MEDIUM ERROR, WRITE ERROR
  EXPECT_TRUE(d.WriteBlock(2, PatternBlock(2))) << "the failed write wrote nothing";
  EXPECT_EQ(Be32(d.In(ReadTrackInformationCdb(TrackAddress::TrackNumber, 0xFF, 48), 48).data, 12), 3u);
}

TEST_F(FaultTraceTest, BadBlockStopsAWriteOfSixteenBlocksInItsMiddle) {
  ConfigureOne("cd-r", "badblock=21");
  d.PrepareCd(0);
  Bytes blocks;
  for (std::uint32_t lba = 16; lba < 32; ++lba) {
    const Bytes block = PatternBlock(lba);
    blocks.insert(blocks.end(), block.begin(), block.end());
  }
  EXPECT_TRUE(d.WriteBlocks(0, std::vector<Bytes>(16, PatternBlock(0))) == 16);
  const Result refused = d.Out(Write10Cdb(16, 16), blocks);
  EXPECT_SENSE(refused, 0x3, 0x0C, 0x00);  // MEDIUM ERROR, WRITE ERROR
  EXPECT_EQ(refused.sense[0], 0xF0) << "the information field is valid";
  EXPECT_EQ(Be32(Bytes(refused.sense.begin(), refused.sense.end()), 3), 21u);
  // The five blocks before the bad one are recorded, and only they.
  EXPECT_EQ(Be32(d.In(ReadTrackInformationCdb(TrackAddress::TrackNumber, 0xFF, 48), 48).data, 12), 21u);
  EXPECT_EQ(ReadBlocks(d, 16, 5), Bytes(blocks.begin(), blocks.begin() + 5 * 2048));
}

TEST_F(FaultTraceTest, CountsRunOverEveryVirtualWriter) {
  Configure({{"WNASPI32_VIRTUAL_WRITERS",
              "cd-r=" + (dir_ / "a").string() + ";cd-r=" + (dir_ / "b").string()},
             {"WNASPI32_VIRTUAL_FAULTS", "fail=51@2, notready=00@3"}});
  Device a(0, 0), b(0, 1);
  EXPECT_TRUE(a.In(ReadDiscInformationCdb(34), 34).ok());
  EXPECT_SENSE(b.In(ReadDiscInformationCdb(34), 34), 0x3, 0x11, 0x00);  // UNRECOVERED READ ERROR
  EXPECT_TRUE(a.In(ReadDiscInformationCdb(34), 34).ok());
  EXPECT_TRUE(b.NoData(TestUnitReadyCdb()).ok());
  EXPECT_TRUE(a.NoData(TestUnitReadyCdb()).ok());
  EXPECT_SENSE(a.NoData(TestUnitReadyCdb()), 0x2, 0x04, 0x01);
  EXPECT_TRUE(b.NoData(TestUnitReadyCdb()).ok());
}

TEST_F(FaultTraceTest, NeverReadyKeepsTestUnitReadyFailing) {
  ConfigureOne("dvd+rw", "neverready");
  for (int i = 0; i < 5; ++i) EXPECT_SENSE(d.NoData(TestUnitReadyCdb()), 0x2, 0x04, 0x01);
  EXPECT_TRUE(d.In(ReadDiscInformationCdb(34), 34).ok()) << "other commands work";
}

TEST(FaultInjector, SlowCommandsForTestsThatActMidJob) {
  std::vector<std::string> problems;
  wnaspi::vdrive::FaultInjector faults("slow=2A:40, slow=5b:7, slow=2A:99999, slow=2A", &problems);
  EXPECT_EQ(faults.DelayFor(0x2A).count(), 40);
  EXPECT_EQ(faults.DelayFor(0x5B).count(), 7);
  EXPECT_EQ(faults.DelayFor(0x28).count(), 0);
  EXPECT_EQ(problems.size(), 2u) << "above 10 s, and without a time";
}

TEST_F(FaultTraceTest, TraceHasOneLinePerRequest) {
  const std::filesystem::path trace = dir_ / "trace.log";
  Configure({{"WNASPI32_VIRTUAL_WRITERS", "cd-r=" + (dir_ / "w0").string()},
             {"WNASPI32_VIRTUAL_FAULTS", "fail=2A@1,bogus"},
             {"WNASPI32_TRACE", trace.string()}});
  SRB_HAInquiry inquiry{};
  inquiry.SRB_Cmd = SC_HA_INQUIRY;
  SendASPI32Command(&inquiry);
  d.DeviceType(nullptr);
  Device(0, 3).DeviceType(nullptr);
  d.NoData(TestUnitReadyCdb());
  d.In(ReadDiscInformationCdb(34), 34);
  d.Out(Write10Cdb(0, 1), PatternBlock(0));
  d.Out(ModeSelect10Cdb(8), Bytes{0x00, 0x06, 0, 0, 0, 0, 0, 0});  // its list is shown
  Device(0, 4).NoData(TestUnitReadyCdb());

  const auto lines = TraceLines(trace);
  std::vector<std::string> requests, diagnostics;
  const std::regex time("^[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} ");
  for (const std::string& line : lines) {
    ASSERT_TRUE(std::regex_search(line, time)) << line;
    const std::string rest = line.substr(13);
    (rest.starts_with("# ") ? diagnostics : requests).push_back(rest);
  }
  EXPECT_EQ(requests, (std::vector<std::string>{
                          "0 HA_INQUIRY status=01 adapters=1",
                          "0:0:0 GET_DEV_TYPE status=01 type=05",
                          "0:3:0 GET_DEV_TYPE status=82",
                          "0:0:0 EXEC [00 00 00 00 00 00 00 00 00 00 00 00] none 0 status=01",
                          "0:0:0 EXEC [51 00 00 00 00 00 00 00 22 00 00 00] in 34 status=01",
                          "0:0:0 EXEC [2A 00 00 00 00 00 00 00 01 00 00 00] out 2048 status=04 "
                          "sense=03/0C/00",
                          "0:0:0 EXEC [55 10 00 00 00 00 00 00 08 00 00 00] out 8 status=01 "
                          "data=[00 06 00 00 00 00 00 00]",
                          "0:4:0 EXEC [00 00 00 00 00 00 00 00 00 00 00 00] none 0 status=82",
                      }));
  ASSERT_GE(diagnostics.size(), 2u);
  EXPECT_NE(diagnostics[0].find("cannot read \"bogus\""), std::string::npos) << diagnostics[0];
  EXPECT_NE(diagnostics[1].find("virtual writer 0:0:0 (cd-r) in "), std::string::npos)
      << diagnostics[1];
}

TEST_F(FaultTraceTest, ConfigurationProblemsAreDiagnosedNotFatal) {
  const std::filesystem::path trace = dir_ / "trace.log";
  Configure({{"WNASPI32_VIRTUAL_WRITERS",
              "floppy=" + (dir_ / "x").string() + ";;dvd-r=" + (dir_ / "y").string() +
                  ";cd-r=" + (dir_ / "y").string()},
             {"WNASPI32_VIRTUAL_POLLS", "many"},
             {"WNASPI32_TRACE", trace.string()}});
  EXPECT_EQ(Device(0, 0).DeviceType(nullptr), SS_NO_DEVICE) << "the unreadable item keeps target 0";
  EXPECT_EQ(Device(0, 1).DeviceType(nullptr), SS_COMP);
  EXPECT_EQ(Device(0, 2).DeviceType(nullptr), SS_NO_DEVICE) << "one directory, one writer";
  const std::string text = ReadFile(trace);
  EXPECT_NE(text.find("unknown medium"), std::string::npos) << text;
  EXPECT_NE(text.find("directory used by an earlier writer"), std::string::npos) << text;
  EXPECT_NE(text.find("WNASPI32_VIRTUAL_POLLS: \"many\""), std::string::npos) << text;
}

TEST_F(FaultTraceTest, NoTraceFileMeansNoOutput) {
  ConfigureOne("cd-r");
  d.NoData(TestUnitReadyCdb());
  EXPECT_FALSE(std::filesystem::exists(dir_ / "trace.log"));
}

TEST_F(FaultTraceTest, CorruptAndUnreadableBlocksSpoilReadsAndNothingElse) {
  ConfigureOne("cd-r", "corrupt=3, unreadable=6-7, corrupt=9-8");
  d.PrepareCd(0);
  std::vector<Bytes> recorded;
  for (std::uint32_t lba = 0; lba < 10; ++lba) recorded.push_back(PatternBlock(lba));
  ASSERT_EQ(d.WriteBlocks(0, recorded), 10u);
  // Each read: its blocks, and the first unreadable block it covers.
  const struct {
    std::uint32_t lba, count;
    std::optional<std::uint32_t> unreadableAt;
  } reads[] = {{0, 3, {}}, {2, 3, {}}, {4, 4, 6}, {7, 1, 7}, {8, 2, {}}};
  for (const auto& read : reads) {
    SCOPED_TRACE(read.lba);
    const Result result = d.In(Read10Cdb(read.lba, static_cast<std::uint16_t>(read.count)), read.count * 2048);
    if (read.unreadableAt) {
      EXPECT_SENSE(result, 0x3, 0x11, 0x00);  // MEDIUM ERROR, UNRECOVERED READ ERROR
      EXPECT_EQ(Be32(Bytes(result.sense.begin(), result.sense.end()), 3), *read.unreadableAt);
      continue;
    }
    ASSERT_TRUE(result.ok());
    for (std::uint32_t i = 0; i < read.count; ++i) {
      Bytes want = recorded[read.lba + i];
      if (read.lba + i == 3) {
        for (auto& byte : want) byte = static_cast<std::uint8_t>(~byte);  // read back inverted
      }
      EXPECT_EQ(Bytes(result.data.begin() + i * 2048, result.data.begin() + (i + 1) * 2048), want) << read.lba + i;
    }
  }
  EXPECT_EQ(ReadFile(dir_ / "w0" / "disc.img").substr(3 * 2048, 2048),
            std::string(recorded[3].begin(), recorded[3].end()))
      << "the recorded block stays as it was";
}

}  // namespace
}  // namespace aspitest
