// The strict drive model: reserved bits and page 05h refused as a careful
// drive refuses them, the track rules, test write, the tray lock, Immed
// close and flush, media recognition, and the drive's buffer.

#include <functional>

#include "aspi_test_support.h"
#include "platform/aspi/virtual/drive_model.h"
#include "platform/aspi/virtual/virtual_drive.h"

namespace aspitest {
namespace {

using wnaspi::vdrive::DriveClock;
using wnaspi::vdrive::WriteBuffer;

class StrictModelTest : public AspiTest {
 protected:
  // A writer with a fresh disc of `medium`, strict.
  void Strict(const std::string& medium, wnaspi::Variables extra = {}) {
    extra["WNASPI32_VIRTUAL_WRITERS"] = medium + "=" + (dir_ / std::to_string(++discs_)).string();
    extra["WNASPI32_VIRTUAL_STRICT"] = "1";
    Configure(extra);
  }
  // The default page 05h with `change` applied, as MODE SELECT sends it.
  Bytes Page(const std::function<void(std::uint8_t*)>& change) {
    const Result sensed = d.In(ModeSense10Cdb(PageControl::Default, 0x05, 60), 60);
    Bytes list(60, 0);
    std::copy_n(sensed.data.begin() + 8, 52, list.begin() + 8);
    change(&list[8]);
    return list;
  }
  Result Select(const std::function<void(std::uint8_t*)>& change) {
    return d.Out(ModeSelect10Cdb(60), Page(change));
  }
  Device d{0, 0};
  int discs_ = 0;
};

TEST_F(StrictModelTest, ReservedCdbBitsAreRefused) {
  struct Case {
    const char* what;
    Cdb cdb;
    std::size_t at;
    std::uint8_t bits;
  };
  const Case cases[] = {
      {"TEST UNIT READY, LUN bits", TestUnitReadyCdb(), 1, 0x20},
      {"TEST UNIT READY, NACA", TestUnitReadyCdb(), 5, 0x04},
      {"REQUEST SENSE byte 2", RequestSenseCdb(18), 2, 0x01},
      {"INQUIRY CmdDt", InquiryCdb(36), 1, 0x02},
      {"START STOP UNIT byte 4 bit 3", EjectCdb(), 4, 0x08},
      {"PREVENT ALLOW byte 4 bit 2", Cdb{0x1E}, 4, 0x04},
      {"WRITE(10) byte 1 bit 2", Write10Cdb(0, 0), 1, 0x04},
      {"SYNCHRONIZE CACHE byte 1 bit 2", SynchronizeCacheCdb(), 1, 0x04},
      {"READ TOC byte 3", ReadFullTocCdb(4), 3, 0x01},
      {"GET CONFIGURATION byte 4", GetConfigurationCdb(0, 8), 4, 0x01},
      {"READ DISC INFORMATION byte 2", ReadDiscInformationCdb(34), 2, 0x01},
      {"READ TRACK INFORMATION byte 1 bit 3", ReadTrackInformationCdb(1, 48), 1, 0x08},
      {"RESERVE TRACK byte 2", ReserveTrackCdb(32), 2, 0x01},
      {"MODE SELECT byte 1 bit 1", ModeSelect10Cdb(0), 1, 0x02},
      {"MODE SENSE byte 1 bit 0", ModeSense10Cdb(PageControl::Current, 5, 60), 1, 0x01},
      {"CLOSE TRACK/SESSION byte 2 bit 3", CloseTrackSessionCdb(CloseFunction::Session), 2, 0x08},
      {"BLANK byte 1 bit 3", BlankCdb(BlankKind::Minimal), 1, 0x08},
      {"GET PERFORMANCE byte 6", GetPerformanceCdb(1, 3), 6, 0x01},
      {"SET STREAMING byte 1", SetStreamingCdb(0), 1, 0x01},
      {"SET CD SPEED byte 1 bit 2", SetCdSpeedCdb(0xFFFF, 0xFFFF), 1, 0x04},
  };
  Strict("cd-rw");
  for (const Case& c : cases) {
    const Cdb bad = Altered(c.cdb, c.at, static_cast<std::uint8_t>(c.cdb[c.at] | c.bits));
    EXPECT_SENSE(d.In(bad, 0), 0x5, 0x24, 0x00) << c.what;
  }
  // The engine's session query sets byte 1 bit 0, which MMC reserves.
  EXPECT_SENSE(d.In(ReadSessionInfoCdb(12), 12), 0x5, 0x24, 0x00);
  // Without strictness the same CDBs pass the check.
  Configure({{"WNASPI32_VIRTUAL_WRITERS", "cd-rw=" + (dir_ / "w0").string()}});
  EXPECT_TRUE(d.NoData(Altered(TestUnitReadyCdb(), 1, 0x20)).ok());
  EXPECT_TRUE(d.In(Altered(InquiryCdb(36), 1, 0x02), 36).ok());
}

TEST_F(StrictModelTest, WriteParametersPageIsCheckedAgainstTheMedium) {
  struct Case {
    const char* medium;
    const char* what;
    std::function<void(std::uint8_t*)> change;
    bool taken;
  };
  const Case cases[] = {
      {"cd-r", "PS set", [](std::uint8_t* p) { p[0] |= 0x80; }, false},
      {"cd-r", "audio track mode", [](std::uint8_t* p) { p[3] = 0x00; }, false},
      {"cd-r", "Mode 2 blocks", [](std::uint8_t* p) { p[4] = 10; }, false},
      {"cd-r", "session format 30h", [](std::uint8_t* p) { p[8] = 0x30; }, false},
      {"cd-r", "fixed packets with TAO", [](std::uint8_t* p) { p[3] |= 0x20, p[13] = 16; }, false},
      {"cd-r", "packet size without FP", [](std::uint8_t* p) { p[2] &= 0xF0, p[13] = 16; }, false},
      {"cd-r", "fixed packets of 16", [](std::uint8_t* p) { p[2] &= 0xF0, p[3] |= 0x20, p[13] = 16; }, true},
      {"cd-r", "test write", [](std::uint8_t* p) { p[2] |= 0x10; }, true},
      {"dvd-r", "track at once", [](std::uint8_t*) {}, false},
      {"dvd-r", "incremental", [](std::uint8_t* p) { p[2] &= 0xF0, p[3] = 0x05; }, true},
      {"dvd-rw", "raw", [](std::uint8_t* p) { p[2] = static_cast<std::uint8_t>((p[2] & 0xF0) | 3); }, false},
      {"dvd+r", "test write", [](std::uint8_t* p) { p[2] |= 0x10; }, false},
  };
  for (const Case& c : cases) {
    Strict(c.medium);
    const Result r = Select(c.change);
    if (c.taken) {
      EXPECT_TRUE(r.ok()) << c.medium << ", " << c.what << ": " << SenseOf(r);
    } else {
      EXPECT_SENSE(r, 0x5, 0x26, 0x00) << c.medium << ", " << c.what;
    }
  }
}

TEST_F(StrictModelTest, ReservedParameterListBitsAreRefused) {
  Strict("dvd+rw");
  Bytes modeList = Page([](std::uint8_t*) {});
  modeList[1] = 0x3A;  // the mode data length is reserved in MODE SELECT
  EXPECT_SENSE(d.Out(ModeSelect10Cdb(60), modeList), 0x5, 0x26, 0x00);
  Bytes streaming = StreamingDescriptor(1000, 1385, 1385);
  streaming[0] |= 0x20;
  EXPECT_SENSE(d.Out(SetStreamingCdb(28), streaming), 0x5, 0x26, 0x00);
  Bytes format = DvdPlusRwFormatList();
  format[0] = 0x01;
  EXPECT_SENSE(d.Out(FormatUnitCdb(), format), 0x5, 0x26, 0x00);
  format[0] = 0;
  bytes::PutBE32(&format[4], 0xFFFFFFFF);
  EXPECT_TRUE(d.Out(FormatUnitCdb(), format).ok()) << "FFFFFFFFh blocks: as many as the disc takes";
}

TEST_F(StrictModelTest, TrackFfIsOnlyForCdAndDvdPlusR) {
  for (const char* medium : {"cd-r", "cd-rw", "dvd+r", "dvd-r", "dvd-rw", "dvd+rw"}) {
    Strict(medium);
    const Result r = d.In(ReadTrackInformationCdb(kInvisibleTrack, 48), 48);
    const std::string m = medium;
    if (m.starts_with("cd") || m == "dvd+r") {
      EXPECT_TRUE(r.ok()) << medium << ": " << SenseOf(r);
    } else {
      EXPECT_SENSE(r, 0x5, 0x24, 0x00) << medium;
    }
  }
}

TEST_F(StrictModelTest, ShortCdTracksAndUnalignedDvdWritesAreRefused) {
  Strict("cd-r");
  ASSERT_TRUE(Select([](std::uint8_t* p) { p[3] |= 0xC0; }).ok());
  std::vector<Bytes> blocks;
  for (std::uint32_t i = 0; i < 300; ++i) blocks.push_back(PatternBlock(i));
  ASSERT_EQ(d.WriteBlocks(0, {blocks.begin(), blocks.begin() + 173}), 173u);
  EXPECT_SENSE(d.NoData(CloseTrackSessionCdb(CloseFunction::Session)), 0x5, 0x72, 0x00);
  ASSERT_EQ(d.WriteBlocks(173, {blocks.begin() + 173, blocks.end()}), 127u);
  EXPECT_TRUE(d.NoData(CloseTrackSessionCdb(CloseFunction::Session)).ok()) << "300 blocks close";

  Strict("dvd-r");
  ASSERT_TRUE(Select([](std::uint8_t* p) { p[2] &= 0xF0, p[3] = 0x05; }).ok());
  const auto write = [&](std::uint32_t lba, std::uint16_t count) {
    return d.Out(Write10Cdb(lba, count), Bytes(std::size_t{count} * 2048, 0x5A));
  };
  EXPECT_TRUE(write(0, 16).ok());
  EXPECT_TRUE(write(16, 9).ok()) << "a short write may end a track";
  EXPECT_SENSE(write(25, 16), 0x5, 0x21, 0x02) << "but nothing follows it";
}

TEST_F(StrictModelTest, TestWriteLeavesTheDiscAsItWas) {
  Strict("cd-r");
  ASSERT_TRUE(Select([](std::uint8_t* p) { p[2] |= 0x10; }).ok());
  EXPECT_EQ(d.In(ModeSense10Cdb(PageControl::Current, 0x2A, 30), 30).data[8 + 3] & 0x04, 0x04)
      << "page 2Ah offers test write";
  std::vector<Bytes> blocks(300, PatternBlock(1));
  EXPECT_EQ(d.WriteBlocks(0, blocks), 300u);
  EXPECT_TRUE(d.NoData(SynchronizeCacheCdb()).ok());
  EXPECT_TRUE(d.NoData(CloseTrackSessionCdb(CloseFunction::Session)).ok());
  const Result info = d.In(ReadDiscInformationCdb(34), 34);
  EXPECT_EQ(info.data[2] & 0x03, 0) << "the disc is still blank";
  EXPECT_SENSE(d.In(Read10Cdb(0), 2048), 0x5, 0x21, 0x00);
}

TEST_F(StrictModelTest, LockedTrayRefusesEjectAndIgnoresTheButton) {
  Strict("cd-r", {{"WNASPI32_VIRTUAL_FAULTS", "button=00@2,button=00@4"}});
  const Cdb lock{0x1E, 0, 0, 0, 0x01};
  const Cdb unlock{0x1E};
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok());
  ASSERT_TRUE(d.NoData(lock).ok());
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok()) << "button pressed on a locked tray";
  EXPECT_SENSE(d.NoData(EjectCdb()), 0x5, 0x53, 0x02);
  ASSERT_TRUE(d.NoData(unlock).ok());
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok());
  EXPECT_SENSE(d.NoData(TestUnitReadyCdb()), 0x2, 0x3A, 0x02) << "button opens the unlocked tray";
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok()) << "and the tray closes again";
}

TEST_F(StrictModelTest, ImmediateCloseAndFlushReportProgressWhilePolled) {
  Configure({{"WNASPI32_VIRTUAL_WRITERS", "cd-r=" + (dir_ / "w0").string()},
             {"WNASPI32_VIRTUAL_POLLS", "3"}});
  ASSERT_TRUE(d.WriteBlock(0, PatternBlock(0)));
  struct Case {
    Cdb cdb;
    std::uint8_t ascq;
  };
  for (const Case& c : {Case{Altered(SynchronizeCacheCdb(), 1, 0x02), 0x08},
                        Case{Altered(CloseTrackSessionCdb(CloseFunction::Session), 1, 0x01), 0x07}}) {
    ASSERT_TRUE(d.NoData(c.cdb).ok());
    EXPECT_SENSE(d.In(ReadDiscInformationCdb(34), 34), 0x2, 0x04, c.ascq) << "busy for the disc";
    EXPECT_SENSE(d.NoData(TestUnitReadyCdb()), 0x2, 0x04, c.ascq);
    std::uint32_t last = 0;
    for (int poll = 0; poll < 2; ++poll) {
      const Result r = d.In(RequestSenseCdb(18), 18);
      EXPECT_EQ(SenseText(r.data[2], r.data[12], r.data[13]), SenseText(0x2, 0x04, c.ascq));
      EXPECT_GT(Be16(r.data, 16), last) << "progress grows";
      last = Be16(r.data, 16);
    }
    EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok());
  }
  EXPECT_EQ(d.In(ReadDiscInformationCdb(34), 34).data[2] & 0x03, 2) << "session closed";
}

TEST_F(StrictModelTest, ALoadedDiscIsRecognisedBeforeItIsReady) {
  Configure({{"WNASPI32_VIRTUAL_WRITERS", "cd-r=" + (dir_ / "w0").string()},
             {"WNASPI32_VIRTUAL_RECOGNITION", "2"}});
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok()) << "no recognition before a load";
  ASSERT_TRUE(d.NoData(EjectCdb()).ok());
  EXPECT_SENSE(d.NoData(TestUnitReadyCdb()), 0x2, 0x3A, 0x02);
  EXPECT_TRUE(d.In(InquiryCdb(36), 36).ok());
  EXPECT_SENSE(d.NoData(TestUnitReadyCdb()), 0x2, 0x04, 0x01);
  EXPECT_EQ(d.In(RequestSenseCdb(18), 18).data[13], 0x01) << "REQUEST SENSE says so too";
  EXPECT_SENSE(d.In(ReadDiscInformationCdb(34), 34), 0x6, 0x28, 0x00);
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok());
}

// A drive clock that moves only when told, or when the drive holds a command.
class TestClock final : public DriveClock {
 public:
  Duration Now() override { return now; }
  void WaitUntil(Duration deadline) override { now = std::max(now, deadline); }
  Duration now{};
};

TEST(WriteBufferTest, UnderrunsUnlessProtectedAndHoldsAFullBuffer) {
  using std::chrono::milliseconds;
  TestClock clock;
  // 1,024,000 bytes a second: 64 KiB last 64 ms.
  WriteBuffer buffer(1024, 64, clock);
  EXPECT_EQ(buffer.Write(32 * 1024, false), WriteBuffer::Outcome::Taken);
  clock.now += milliseconds(500);
  EXPECT_EQ(buffer.Write(32 * 1024, false), WriteBuffer::Outcome::Taken) << "full: recording starts";
  clock.now += milliseconds(60);
  EXPECT_EQ(buffer.Write(32 * 1024, false), WriteBuffer::Outcome::Taken) << "4 KiB left";
  clock.now += milliseconds(40);
  EXPECT_EQ(buffer.Write(32 * 1024, true), WriteBuffer::Outcome::Taken) << "BUFE: the drive waited";
  clock.now += milliseconds(40);
  EXPECT_EQ(buffer.Write(32 * 1024, false), WriteBuffer::Outcome::Taken) << "full again";
  clock.now += milliseconds(100);
  EXPECT_EQ(buffer.Write(32 * 1024, false), WriteBuffer::Outcome::Underrun);
  EXPECT_EQ(buffer.underruns(), 1u);

  const auto start = clock.now;
  EXPECT_EQ(buffer.Write(128 * 1024, false), WriteBuffer::Outcome::Taken);
  EXPECT_EQ(clock.now - start, milliseconds(64)) << "held until 64 KiB were recorded";
  buffer.Flush();
  EXPECT_EQ(clock.now - start, milliseconds(128)) << "the flush waits for the rest";
}

TEST_F(StrictModelTest, AnUnderrunWithoutBufeRuinsTheTrack) {
  TestClock clock;
  wnaspi::Log log;
  wnaspi::vdrive::VirtualDriveOptions options{};
  options.medium = wnaspi::vdrive::Medium::CdR;
  options.directory = dir_ / "w1";
  options.model.rateKBps = 1024;
  options.model.bufferKiB = 64;
  options.clock = &clock;
  ASSERT_EQ(wnaspi::vdrive::DiscStore::Prepare(options.directory), "");
  wnaspi::vdrive::VirtualDrive drive(options, std::make_shared<wnaspi::vdrive::FaultInjector>(), log);
  const auto send = [&](Cdb cdb, Bytes data) {
    const wnaspi::ScsiRequest request{cdb, data.empty() ? wnaspi::DataDirection::None : wnaspi::DataDirection::Out,
                                      data.data(), static_cast<std::uint32_t>(data.size())};
    const wnaspi::ScsiOutcome outcome = drive.Execute(request);
    return outcome.good() ? std::string("good") : SenseText(outcome.senseKey(), outcome.asc(), outcome.ascq());
  };
  Bytes noBufe(8, 0);
  const auto page = wnaspi::vdrive::DefaultWriteParameters();
  noBufe.insert(noBufe.end(), page.begin(), page.end());
  noBufe[8 + 2] &= 0xBF;
  ASSERT_EQ(send(ModeSelect10Cdb(60), noBufe), "good");
  EXPECT_EQ(send(Write10Cdb(0, 32), Bytes(32 * 2048, 1)), "good");
  clock.now += std::chrono::milliseconds(100);  // the full buffer lasts 64 ms
  EXPECT_EQ(send(Write10Cdb(32, 16), Bytes(16 * 2048, 1)), SenseText(0x3, 0x0C, 0x09));
  clock.now += std::chrono::milliseconds(1);
  EXPECT_EQ(send(Write10Cdb(32, 16), Bytes(16 * 2048, 1)), SenseText(0x3, 0x0C, 0x09))
      << "the track is ruined";
}

// The writers reached as real drives: found in the model machine's sysfs,
// driven through the SG backend, answered by the model.
TEST_F(StrictModelTest, WritersViaSgBurnAndReadBackThroughTheRealDrivePath) {
  Configure({{"WNASPI32_VIRTUAL_WRITERS", "cd-r=" + (dir_ / "a").string() + ";dvd+rw=" + (dir_ / "b").string()},
             {"WNASPI32_VIRTUAL_VIA_SG", "1"},
             {"WNASPI32_REAL_DRIVES", "0"},
             {"WNASPI32_TRACE", (dir_ / "trace.log").string()}});
  EXPECT_EQ(GetASPI32SupportInfo() & 0xFF, 1u) << "SG host 1 in place of the virtual adapter";
  Device cd(0, 0);
  EXPECT_EQ(Device(0, 1).DeviceType(nullptr), SS_COMP);
  const auto start = cd.PrepareCd(0);
  ASSERT_EQ(start, 0u);
  std::vector<Bytes> blocks;
  for (std::uint32_t i = 0; i < 300; ++i) blocks.push_back(PatternBlock(i));
  EXPECT_EQ(cd.WriteBlocks(0, blocks), 300u);
  cd.FinishSession(true);
  EXPECT_TRUE(cd.Disc().closed);
  EXPECT_EQ(ReadBlocks(cd, 299, 1), blocks[299]);
  EXPECT_SENSE(cd.In(Read10Cdb(300), 2048), 0x5, 0x21, 0x00) << "sense travels back through SG_IO";
  EXPECT_NE(ReadFile(dir_ / "trace.log").find("real drive"), std::string::npos);
}

}  // namespace
}  // namespace aspitest
