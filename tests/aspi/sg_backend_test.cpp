// Real drives through SCSI generic, tested against a fake machine: a sysfs
// tree in a temporary directory and scripted SG_IO answers (this machine has
// no optical drive).

#include <algorithm>
#include <map>
#include <mutex>
#include <numeric>

#include "aspi_test_support.h"
#include "platform/aspi/sg/sg_device.h"
#include "platform/aspi/sg/sg_system.h"
#include "platform/aspi/sg/sg_timeouts.h"

namespace aspitest {
namespace {

struct SgCall {
  int handle;
  Bytes cdb;
  int direction;
  unsigned length;
  unsigned timeout;
};

// What the fake drive answers to one SG_IO.
struct SgAnswer {
  std::uint8_t status = 0;  // SCSI status byte
  unsigned short hostStatus = 0;
  unsigned short driverStatus = 0;
  Bytes sense;
  Bytes dataIn;
  int error = 0;  // -errno of the ioctl itself
};

class FakeSystem final : public wnaspi::sg::SgSystem {
 public:
  explicit FakeSystem(std::filesystem::path sysfs) : sysfs_(std::move(sysfs)) {}

  std::filesystem::path SysfsRoot() const override { return sysfs_; }
  std::filesystem::path DeviceRoot() const override { return "/fake/dev"; }
  int Open(const std::string& path) override {
    std::lock_guard lock(mutex_);
    opened.push_back(path);
    if (auto it = openErrors.find(path); it != openErrors.end()) return -it->second;
    return 100 + static_cast<int>(opened.size());
  }
  int OpenExclusive(const std::string& path) override {
    std::lock_guard lock(mutex_);
    if (exclusiveError) return -exclusiveError;
    if (busyExclusiveOpens > 0) {
      --busyExclusiveOpens;
      return -EBUSY;
    }
    exclusive.push_back(path);
    return 200 + static_cast<int>(exclusive.size());
  }
  int SgIo(int handle, sg_io_hdr_t& h) override {
    std::lock_guard lock(mutex_);
    const auto* cdb = static_cast<const std::uint8_t*>(h.cmdp);
    calls.push_back({handle, Bytes(cdb, cdb + h.cmd_len), h.dxfer_direction, h.dxfer_len, h.timeout});
    SgAnswer a = answer ? answer(calls.back()) : SgAnswer{};
    if (a.error) return a.error;
    h.status = a.status;
    h.masked_status = static_cast<unsigned char>(a.status >> 1);
    h.host_status = a.hostStatus;
    h.driver_status = a.driverStatus;
    h.sb_len_wr = static_cast<unsigned char>(std::min<std::size_t>(a.sense.size(), h.mx_sb_len));
    std::copy_n(a.sense.begin(), h.sb_len_wr, static_cast<std::uint8_t*>(h.sbp));
    const std::size_t n = std::min<std::size_t>(a.dataIn.size(), h.dxfer_len);
    if (n) std::copy_n(a.dataIn.begin(), n, static_cast<std::uint8_t*>(h.dxferp));
    return 0;
  }
  void Close(int handle) override {
    std::lock_guard lock(mutex_);
    closed.push_back(handle);
  }
  void SleepMs(unsigned ms) override {
    std::lock_guard lock(mutex_);
    sleeps.push_back(ms);
  }
  std::string GroupOwning(const std::string&) override { return "cdrom"; }
  std::string MountTable() override { return mountTable; }

  std::map<std::string, int> openErrors;  // node -> errno
  int exclusiveError = 0;                 // errno of every exclusive open, 0: they succeed
  int busyExclusiveOpens = 0;             // exclusive opens refused (EBUSY) before one succeeds
  std::string mountTable;
  std::vector<std::string> exclusive;     // nodes opened exclusively
  std::function<SgAnswer(const SgCall&)> answer;
  std::vector<std::string> opened;
  std::vector<SgCall> calls;
  std::vector<int> closed;
  std::vector<unsigned> sleeps;

 private:
  std::filesystem::path sysfs_;
  std::mutex mutex_;
};

SgAnswer CheckCondition(Bytes sense) {
  SgAnswer a;
  a.status = 0x02;
  a.sense = std::move(sense);
  return a;
}
SgAnswer HostStatus(unsigned short status) {
  SgAnswer a;
  a.hostStatus = status;
  return a;
}
SgAnswer DriverStatus(unsigned short status) {
  SgAnswer a;
  a.driverStatus = status;
  return a;
}
SgAnswer TargetStatus(std::uint8_t status) {
  SgAnswer a;
  a.status = status;
  return a;
}
SgAnswer IoctlError(int error) {
  SgAnswer a;
  a.error = error;
  return a;
}

Bytes FixedSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  Bytes sense(18, 0);
  sense[0] = 0x70;
  sense[2] = key;
  sense[7] = 10;
  sense[12] = asc;
  sense[13] = ascq;
  return sense;
}

class SgBackendTest : public AspiTest {
 protected:
  void SetUp() override {
    sysfs_ = dir_ / "sys";
    std::filesystem::create_directories(sysfs_ / "class" / "block");
    system_ = std::make_shared<FakeSystem>(sysfs_);
  }

  // A block device NAME whose device is the SCSI device at ADDRESS.
  void AddBlock(const std::string& name, const std::string& address, const std::string& type = "5") {
    const auto device = sysfs_ / "devices" / "platform" / ("host-" + name) / address;
    std::filesystem::create_directories(device);
    WriteFile(device / "type", type + "\n");
    WriteFile(device / "vendor", "ACME    \n");
    WriteFile(device / "model", "BURNER 9000     \n");
    std::filesystem::create_directories(sysfs_ / "class" / "block" / name);
    std::filesystem::create_directory_symlink(device, sysfs_ / "class" / "block" / name / "device");
  }

  void ConfigureWithFake(wnaspi::Variables variables = {}) {
    variables.emplace("WNASPI32_VIRTUAL_WRITERS", "cd-r=" + (dir_ / "v").string());
    variables.emplace("WNASPI32_TRACE", (dir_ / "trace.log").string());
    wnaspi::ConfigureForTesting(variables, system_);
  }

  std::filesystem::path sysfs_;
  std::shared_ptr<FakeSystem> system_;
};

TEST_F(SgBackendTest, DrivesAreFoundAndMappedBeforeTheVirtualAdapter) {
  AddBlock("sr0", "1:0:0:0");
  AddBlock("sr1", "3:0:1:0");
  AddBlock("sr2", "1:0:9:0");  // target above 7
  AddBlock("sda", "0:0:0:0", "0");
  AddBlock("sr7", "2:0:0:0", "0");  // not a CD/DVD device
  ConfigureWithFake();

  EXPECT_EQ(GetASPI32SupportInfo() & 0xFF, 3u) << "kernel hosts 1 and 3, then the virtual adapter";
  EXPECT_EQ(Device(0, 0).DeviceType(nullptr), SS_COMP);  // sr0 at 1:0:0:0
  EXPECT_EQ(Device(0, 1).DeviceType(nullptr), SS_COMP);  // sr2 moved to the lowest free target
  EXPECT_EQ(Device(1, 1).DeviceType(nullptr), SS_COMP);  // sr1 at 3:0:1:0
  EXPECT_EQ(Device(1, 0).DeviceType(nullptr), SS_NO_DEVICE);
  EXPECT_EQ(Device(2, 0).Description(), "QUILLON VIRTUAL DRIVE 0 1.0");  // the virtual writer stays
  EXPECT_EQ(system_->opened,
            (std::vector<std::string>{"/fake/dev/sr0", "/fake/dev/sr2", "/fake/dev/sr1"}));
  SRB_HAInquiry inquiry{};
  inquiry.SRB_Cmd = SC_HA_INQUIRY;
  inquiry.SRB_HaId = 1;
  SendASPI32Command(&inquiry);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(inquiry.HA_Identifier), 9), "SG host 3");

  const std::string trace = ReadFile(dir_ / "trace.log");
  EXPECT_NE(trace.find("real drive /fake/dev/sr2 (1:0:9:0 ACME BURNER 9000) is ASPI 0:1:0"),
            std::string::npos)
      << trace;
}

TEST_F(SgBackendTest, ADriveThatCannotBeOpenedIsExplainedAndSkipped) {
  AddBlock("sr0", "1:0:0:0");
  AddBlock("sr1", "2:0:0:0");
  system_->openErrors["/fake/dev/sr0"] = EACCES;
  testing::internal::CaptureStderr();
  ConfigureWithFake({{"WNASPI32_DEBUG", "1"}});
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(GetASPI32SupportInfo() & 0xFF, 2u);
  EXPECT_EQ(Device(0, 0).DeviceType(nullptr), SS_COMP) << "sr1 gets adapter 0";
  for (const std::string& text : {ReadFile(dir_ / "trace.log"), err}) {
    EXPECT_NE(text.find("/fake/dev/sr0"), std::string::npos) << text;
    EXPECT_NE(text.find("Permission denied"), std::string::npos) << text;
    EXPECT_NE(text.find("group that owns it ('cdrom')"), std::string::npos) << text;
    EXPECT_NE(text.find("usermod -aG cdrom"), std::string::npos) << text;
  }
}

TEST_F(SgBackendTest, ADriveThatCannotBeOpenedIsSaidWithoutDebug) {
  AddBlock("sr0", "1:0:0:0");
  system_->openErrors["/fake/dev/sr0"] = EACCES;
  testing::internal::CaptureStderr();
  wnaspi::ConfigureForTesting({{"WNASPI32_VIRTUAL_WRITERS", ""}}, system_);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("/fake/dev/sr0"), std::string::npos) << err;
  EXPECT_NE(err.find("usermod -aG cdrom"), std::string::npos) << err;
}

// Adapter by adapter: its identifier, "+" when a device is at target 0.
std::string AdapterList() {
  std::string list;
  for (std::uint8_t ha = 0; ha < (GetASPI32SupportInfo() & 0xFF); ++ha) {
    SRB_HAInquiry inquiry{};
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    inquiry.SRB_HaId = ha;
    SendASPI32Command(&inquiry);
    std::string name(reinterpret_cast<char*>(inquiry.HA_Identifier), sizeof inquiry.HA_Identifier);
    name.erase(name.find_last_not_of(' ') + 1);
    list += (list.empty() ? "" : ",") + name + (Device(ha, 0).DeviceType(nullptr) == SS_COMP ? "+" : "");
  }
  return list;
}

TEST_F(SgBackendTest, TheMachinesDrivesComeFirstAndTheDefaultWriterOnlyWithoutThem) {
  enum class Drive { None, Usable, Unusable };
  const struct {
    const char* what;
    bool writersSet;
    const char* realDrives;  // WNASPI32_REAL_DRIVES, "" unset
    Drive sr0;
    std::string adapters;
  } cases[] = {
      {"a drive, nothing configured", false, "", Drive::Usable, "SG host 1+"},
      {"no drive", false, "", Drive::None, "VIRTUAL+"},
      {"a drive the user cannot open", false, "", Drive::Unusable, "VIRTUAL"},
      {"virtual writers asked for", true, "", Drive::Usable, "SG host 1+,VIRTUAL+"},
      {"real drives switched off", false, "0", Drive::Usable, "VIRTUAL+"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(sysfs_);
    std::filesystem::create_directories(sysfs_ / "class" / "block");
    system_->openErrors.clear();
    if (c.sr0 != Drive::None) AddBlock("sr0", "1:0:0:0");
    if (c.sr0 == Drive::Unusable) system_->openErrors["/fake/dev/sr0"] = EACCES;
    wnaspi::Variables variables{{"HOME", (dir_ / "home").string()}};
    if (c.writersSet) variables.emplace("WNASPI32_VIRTUAL_WRITERS", "cd-r=" + (dir_ / "v").string());
    if (*c.realDrives) variables.emplace("WNASPI32_REAL_DRIVES", c.realDrives);
    testing::internal::CaptureStderr();
    wnaspi::ConfigureForTesting(variables, system_);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(AdapterList(), c.adapters);
  }
}

TEST_F(SgBackendTest, ARescanFindsNewDrivesAndKeepsTheAddressesOfThoseThatStay) {
  AddBlock("sr0", "1:0:0:0");
  ConfigureWithFake();
  EXPECT_EQ(AdapterList(), "SG host 1+,VIRTUAL+");
  SRB_Header rescan{};
  rescan.SRB_Cmd = SC_RESCAN_SCSI_BUS;
  AddBlock("sr1", "0:0:0:0");  // a kernel host before the first one's
  EXPECT_EQ(SendASPI32Command(&rescan), SS_COMP);
  EXPECT_EQ(AdapterList(), "SG host 1+,VIRTUAL+,SG host 0+") << "the new drive comes after";
  EXPECT_EQ(system_->opened, (std::vector<std::string>{"/fake/dev/sr0", "/fake/dev/sr1"}))
      << "sr0 kept, not opened again";

  std::filesystem::remove_all(sysfs_ / "class" / "block" / "sr0");
  EXPECT_EQ(SendASPI32Command(&rescan), SS_COMP);
  EXPECT_EQ(AdapterList(), "SG host 1,VIRTUAL+,SG host 0+") << "its place stays, empty";
  EXPECT_EQ(system_->closed, (std::vector<int>{101}));
}

TEST_F(SgBackendTest, RealDrivesCanBeSwitchedOff) {
  AddBlock("sr0", "1:0:0:0");
  ConfigureWithFake({{"WNASPI32_REAL_DRIVES", "0"}});
  EXPECT_EQ(GetASPI32SupportInfo() & 0xFF, 1u);
  EXPECT_TRUE(system_->opened.empty());
}

TEST_F(SgBackendTest, NoSysfsMeansNoRealDrives) {
  std::filesystem::remove_all(sysfs_);
  ConfigureWithFake();
  EXPECT_EQ(GetASPI32SupportInfo() & 0xFF, 1u);
}

TEST_F(SgBackendTest, RequestsBecomeOneSgIoEach) {
  AddBlock("sr0", "1:0:0:0");
  ConfigureWithFake();
  Bytes inquiry(36, 0);
  inquiry[0] = 0x05;
  system_->answer = [&](const SgCall& call) {
    SgAnswer a;
    if (call.cdb[0] == 0x12) a.dataIn = inquiry;
    return a;
  };
  Device d(0, 0);
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok());
  EXPECT_TRUE(d.Out(Write10Cdb(16, 1), PatternBlock(16)).ok());
  EXPECT_TRUE(d.In(ReadDiscInformationCdb(34), 34).ok());
  EXPECT_TRUE(d.Out(SetCdSpeedCdb(0xFFFF, 1375), {}).ok());  // flags 50h, no data
  EXPECT_TRUE(d.NoData(BlankCdb(BlankKind::Full)).ok());
  EXPECT_TRUE(d.NoData(SynchronizeCacheCdb()).ok());
  EXPECT_TRUE(d.NoData(CloseTrackSessionCdb(CloseFunction::Session)).ok());
  EXPECT_NE(d.Description(), "<failed>");

  const auto& calls = system_->calls;
  ASSERT_EQ(calls.size(), 9u);
  EXPECT_EQ(calls[0].cdb, (Bytes{0, 0, 0, 0, 0, 0})) << "6-byte command sent as 6 bytes";
  EXPECT_EQ(calls[0].direction, SG_DXFER_NONE);
  EXPECT_EQ(calls[0].timeout, 30'000u);
  const Cdb write = Write10Cdb(16, 1);
  EXPECT_EQ(calls[1].cdb, Bytes(write.begin(), write.begin() + 10)) << "a 10-byte command sent as 10 bytes";
  EXPECT_EQ(calls[1].direction, SG_DXFER_TO_DEV);
  EXPECT_EQ(calls[1].length, 2048u);
  EXPECT_EQ(calls[1].timeout, 180'000u);
  EXPECT_EQ(calls[2].direction, SG_DXFER_FROM_DEV);
  EXPECT_EQ(calls[2].length, 34u);
  EXPECT_EQ(calls[3].cdb.size(), 12u);
  EXPECT_EQ(calls[3].direction, SG_DXFER_NONE);
  EXPECT_EQ(calls[4].timeout, 5'400'000u);
  EXPECT_EQ(calls[5].timeout, 600'000u);
  EXPECT_EQ(calls[6].cdb[0], 0x51) << "the write's job asks whether a session is left open";
  EXPECT_EQ(calls[7].timeout, 900'000u);
  EXPECT_EQ(calls[8].cdb.size(), 6u);
  for (const SgCall& call : calls) EXPECT_EQ(call.handle, 101);

  const std::string trace = ReadFile(dir_ / "trace.log");
  EXPECT_NE(trace.find("0:0:0 EXEC [2A 00 00 00 00 10 00 00 01 00 00 00] out 2048 status=01"),
            std::string::npos)
      << trace;
}

TEST_F(SgBackendTest, OutcomesMapToAspiStatus) {
  AddBlock("sr0", "1:0:0:0");
  ConfigureWithFake();
  Device d(0, 0);
  SgAnswer next;
  system_->answer = [&](const SgCall&) { return next; };

  next = CheckCondition(FixedSense(0x5, 0x24, 0x00));
  Result r = d.In(ReadDiscInformationCdb(34), 34);
  EXPECT_SENSE(r, 0x5, 0x24, 0x00);
  EXPECT_EQ(r.sense[7], 10);

  next = HostStatus(0x03);  // DID_TIME_OUT
  r = d.In(ReadDiscInformationCdb(34), 34);
  EXPECT_EQ(r.status, SS_ERR);
  EXPECT_EQ(r.haStat, HASTAT_COMMAND_TIMEOUT);

  next = DriverStatus(0x06);  // DRIVER_TIMEOUT
  EXPECT_EQ(d.NoData(TestUnitReadyCdb()).haStat, HASTAT_COMMAND_TIMEOUT);

  next = HostStatus(0x05);  // DID_ABORT
  EXPECT_EQ(d.NoData(TestUnitReadyCdb()).status, SS_ABORTED);

  next = HostStatus(0x01);  // DID_NO_CONNECT
  EXPECT_EQ(d.NoData(TestUnitReadyCdb()).haStat, HASTAT_SEL_TO);

  next = TargetStatus(0x08);  // BUSY
  r = d.NoData(TestUnitReadyCdb());
  EXPECT_EQ(r.status, SS_ERR);
  EXPECT_EQ(r.targStat, STATUS_BUSY);

  next = IoctlError(-ENODEV);
  r = d.NoData(TestUnitReadyCdb());
  EXPECT_EQ(r.status, SS_ERR);
  EXPECT_EQ(r.haStat, HASTAT_SEL_TO);
  EXPECT_NE(ReadFile(dir_ / "trace.log").find("SG_IO failed: No such device"), std::string::npos);
}

TEST_F(SgBackendTest, BusyWhileWritingIsRetriedBriefly) {
  AddBlock("sr0", "1:0:0:0");
  ConfigureWithFake();
  Device d(0, 0);
  int busyAnswers = 2;
  system_->answer = [&](const SgCall&) {
    SgAnswer a;
    if (busyAnswers-- > 0) a = CheckCondition(FixedSense(0x2, 0x04, 0x08));
    return a;
  };
  EXPECT_TRUE(d.Out(Write10Cdb(0, 1), PatternBlock(0)).ok());
  EXPECT_EQ(system_->calls.size(), 3u);
  // Pauses of a few milliseconds: a drive's buffer lasts about 100 ms at DVD 16x.
  EXPECT_EQ(system_->sleeps, (std::vector<unsigned>{10, 20}));

  // "Operation in progress" too, for SYNCHRONIZE CACHE.
  system_->calls.clear();
  busyAnswers = 1;
  system_->answer = [&](const SgCall&) {
    SgAnswer a;
    if (busyAnswers-- > 0) a = CheckCondition(FixedSense(0x2, 0x04, 0x07));
    return a;
  };
  EXPECT_TRUE(d.NoData(SynchronizeCacheCdb()).ok());
  EXPECT_EQ(std::count_if(system_->calls.begin(), system_->calls.end(),
                          [](const SgCall& call) { return call.cdb[0] == 0x35; }),
            2);
}

TEST_F(SgBackendTest, ReadinessPollsAreNeverRetried) {
  AddBlock("sr0", "1:0:0:0");
  ConfigureWithFake();
  Device d(0, 0);
  system_->answer = [&](const SgCall&) {
    return CheckCondition(FixedSense(0x2, 0x04, 0x07));
  };
  EXPECT_SENSE(d.NoData(TestUnitReadyCdb()), 0x2, 0x04, 0x07);
  EXPECT_EQ(d.In(RequestSenseCdb(200), 200).status, SS_ERR);
  EXPECT_EQ(system_->calls.size(), 2u);
  EXPECT_TRUE(system_->sleeps.empty());
}

TEST_F(SgBackendTest, RetriesEndAfterTenSeconds) {
  AddBlock("sr0", "1:0:0:0");
  ConfigureWithFake();
  Device d(0, 0);
  system_->answer = [&](const SgCall&) {
    return CheckCondition(FixedSense(0x2, 0x04, 0x08));
  };
  EXPECT_SENSE(d.Out(Write10Cdb(0, 1), PatternBlock(0)), 0x2, 0x04, 0x08);
  // The pauses grow to 50 ms and add up to 10 s, one command after each.
  const auto& sleeps = system_->sleeps;
  EXPECT_EQ(std::accumulate(sleeps.begin(), sleeps.end(), 0u), 10000u);
  EXPECT_EQ(*std::max_element(sleeps.begin(), sleeps.end()), 50u);
  EXPECT_TRUE(std::is_sorted(sleeps.begin(), sleeps.end()));
  EXPECT_EQ(system_->calls.size(), sleeps.size() + 1);
  // Other NOT READY conditions are the drive's answer, not a busy spell.
  system_->calls.clear();
  system_->answer = [&](const SgCall&) {
    return CheckCondition(FixedSense(0x2, 0x3A, 0x00));
  };
  EXPECT_SENSE(d.Out(Write10Cdb(0, 1), PatternBlock(0)), 0x2, 0x3A, 0x00);
  EXPECT_EQ(system_->calls.size(), 1u);
}

TEST_F(SgBackendTest, AJobHasTheDriveToItselfUntilItsSessionIsClosed) {
  AddBlock("sr0", "1:0:0:0");
  ConfigureWithFake();
  Device d(0, 0);
  std::uint8_t lastSessionState = 1;  // incomplete
  system_->answer = [&](const SgCall& call) {
    SgAnswer a;
    if (call.cdb[0] == 0x51) {
      a.dataIn = Bytes(34, 0);
      a.dataIn[2] = static_cast<std::uint8_t>(lastSessionState << 2 | 0x01);
    }
    return a;
  };
  EXPECT_TRUE(d.In(ReadDiscInformationCdb(34), 34).ok());
  EXPECT_TRUE(system_->exclusive.empty()) << "queries take nothing";
  EXPECT_TRUE(d.Out(Write10Cdb(0, 1), PatternBlock(0)).ok());
  EXPECT_EQ(system_->exclusive, (std::vector<std::string>{"/fake/dev/sr0"}));
  EXPECT_TRUE(d.NoData(SynchronizeCacheCdb()).ok());
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok());
  EXPECT_TRUE(system_->closed.empty()) << "the session is still open";
  lastSessionState = 3;  // complete
  EXPECT_TRUE(d.NoData(CloseTrackSessionCdb(CloseFunction::Session)).ok());
  EXPECT_EQ(system_->closed, (std::vector<int>{201}));
}

TEST_F(SgBackendTest, ADriveAnotherProgramHoldsAnswersAsWhileWriting) {
  AddBlock("sr0", "1:0:0:0");
  ConfigureWithFake();
  Device d(0, 0);
  system_->exclusiveError = EBUSY;
  EXPECT_SENSE(d.NoData(TestUnitReadyCdb()), 0x2, 0x04, 0x08);
  EXPECT_SENSE(d.Out(Write10Cdb(0, 1), PatternBlock(0)), 0x2, 0x04, 0x08);
  EXPECT_SENSE(d.NoData(BlankCdb(BlankKind::Minimal)), 0x2, 0x04, 0x08);
  EXPECT_TRUE(system_->calls.empty()) << "none of them reached the drive";
  system_->exclusiveError = 0;
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok());
  EXPECT_EQ(system_->calls.size(), 1u);
}

// Who keeps the drive from this program, told apart: udev's moment of
// probing a new disc, another program's job, the system's mount.
TEST_F(SgBackendTest, AMountedDiscIsNamedAndAProbeIsWaitedOut) {
  const std::string mounted =
      "22 1 0:21 / /proc rw,nosuid - proc proc rw\n"
      "98 29 11:0 / /media/ann/MY\\040DISC ro,nosuid shared:52 - iso9660 /fake/dev/sr0 ro\n";
  struct Case {
    const char* what;
    int busyOpens;  // exclusive opens refused before one succeeds
    std::string mountTable;
    std::string senseOfReady;  // "" when TEST UNIT READY reaches the drive
    std::size_t sleeps;
    std::string note;
  } cases[] = {
      {"udev's probe", 3, "", "", 3, ""},
      {"another program's job", 1000, "", CheckConditionText(0x2, 0x04, 0x08), 9, ""},
      {"a mounted disc", 1000, mounted, CheckConditionText(0x2, 0x04, 0x00), 0,
       "the disc in /fake/dev/sr0 is mounted at /media/ann/MY DISC; unmount it first: "
       "udisksctl unmount -b /fake/dev/sr0"},
      {"another drive's mount", 1000,
       "98 29 11:1 / /media/x ro - iso9660 /fake/dev/sr1 ro\n",
       CheckConditionText(0x2, 0x04, 0x08), 9, ""},
  };
  AddBlock("sr0", "1:0:0:0");
  ConfigureWithFake();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Device d(0, 0);
    system_->calls.clear();
    system_->sleeps.clear();
    system_->busyExclusiveOpens = c.busyOpens;
    system_->mountTable = c.mountTable;
    const Result ready = d.NoData(TestUnitReadyCdb());
    EXPECT_EQ(ready.ok() ? std::string() : CheckConditionOf(ready), c.senseOfReady);
    EXPECT_EQ(system_->calls.size(), c.senseOfReady.empty() ? 1u : 0u);
    EXPECT_EQ(system_->sleeps, std::vector<unsigned>(c.sleeps, 100));
    EXPECT_EQ(wnaspi::CurrentLayer()->DeviceNote(0, 0, 0), c.note);
    if (c.senseOfReady.empty()) continue;
    // A job is refused for the same reason.
    EXPECT_EQ(CheckConditionOf(d.Out(Write10Cdb(0, 1), PatternBlock(0))), c.senseOfReady);
    EXPECT_TRUE(system_->calls.empty());
  }
}

TEST_F(SgBackendTest, DevicesAreClosedWithTheLayer) {
  AddBlock("sr0", "1:0:0:0");
  ConfigureWithFake();
  wnaspi::ResetForTesting();
  EXPECT_EQ(system_->closed, (std::vector<int>{101}));
}

TEST(SgTimeouts, OrdinaryCommandsGetTensOfSecondsRecordingMinutes) {
  using wnaspi::sg::CommandTimeoutMs;
  EXPECT_EQ(CommandTimeoutMs(0x00), 30'000u);
  EXPECT_EQ(CommandTimeoutMs(0x43), 30'000u);
  EXPECT_EQ(CommandTimeoutMs(0x28), 60'000u);
  EXPECT_EQ(CommandTimeoutMs(0x1B), 60'000u);
  EXPECT_EQ(CommandTimeoutMs(0x53), 120'000u);
  EXPECT_EQ(CommandTimeoutMs(0x2A), 180'000u);
  EXPECT_EQ(CommandTimeoutMs(0xAA), 180'000u);
  EXPECT_EQ(CommandTimeoutMs(0x35), 600'000u);
  EXPECT_EQ(CommandTimeoutMs(0x5B), 900'000u);
  EXPECT_EQ(CommandTimeoutMs(0xA1), 5'400'000u);
  EXPECT_EQ(CommandTimeoutMs(0x04), 5'400'000u);
}

}  // namespace
}  // namespace aspitest
