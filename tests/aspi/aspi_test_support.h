#pragma once
// Helpers for the ASPI layer tests: temporary directories, request blocks,
// the engine's CDBs byte for byte,
// and a small burner that sends the command sequences a burn sends.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/aspi/aspi_layer.h"
#include "platform/aspi/layer_instance.h"
#include "platform/aspi/wnaspi32.h"

namespace aspitest {

using Bytes = std::vector<std::uint8_t>;
using Cdb = std::array<std::uint8_t, 12>;

constexpr std::uint8_t kFlagsIn = SRB_DIR_IN | SRB_EVENT_NOTIFY;    // 48h
constexpr std::uint8_t kFlagsOut = SRB_DIR_OUT | SRB_EVENT_NOTIFY;  // 50h

class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& text);

// The outcome of one execute request.
struct Result {
  std::uint8_t status = 0;  // SRB_Status
  std::uint8_t haStat = 0, targStat = 0;
  std::array<std::uint8_t, ASPI_SENSE_AREA> sense{};
  Bytes data;  // the buffer after the request
  bool ok() const { return status == SS_COMP; }
  std::uint8_t key() const { return sense[2] & 0x0F; }
  std::uint8_t asc() const { return sense[12]; }
  std::uint8_t ascq() const { return sense[13]; }
};

// "key/ASC/ASCQ" of a result, for readable failures.
std::string SenseOf(const Result& r);
// A CHECK CONDITION with the given sense, written as one comparison so a
// message can be streamed after it.
#define EXPECT_SENSE(result, k, a, q) \
  EXPECT_EQ(::aspitest::CheckConditionOf(result), ::aspitest::CheckConditionText(k, a, q))
std::string CheckConditionOf(const Result& r);
std::string CheckConditionText(int key, int asc, int ascq);
std::string SenseText(int key, int asc, int ascq);

using Sender = std::function<std::uint32_t(void*)>;
// Sends through the library's entry point (the process-wide layer).
Sender EntryPoint();
Sender Through(wnaspi::AspiLayer& layer);

// One device address and the requests to it.
class Device {
 public:
  Device(Sender send, std::uint8_t ha, std::uint8_t target, std::uint8_t lun = 0)
      : send_(std::move(send)), ha_(ha), target_(target), lun_(lun) {}
  Device(std::uint8_t ha, std::uint8_t target) : Device(EntryPoint(), ha, target) {}

  // A 12-byte CDB sent as the engine sends it (SRB_CDBLen 12, sense 14).
  Result Exec(const Cdb& cdb, std::uint8_t flags, std::uint32_t length, const Bytes& out = {});
  Result In(const Cdb& cdb, std::uint32_t length) { return Exec(cdb, kFlagsIn, length); }
  Result Out(const Cdb& cdb, const Bytes& data) {
    return Exec(cdb, kFlagsOut, static_cast<std::uint32_t>(data.size()), data);
  }
  Result NoData(const Cdb& cdb) { return Exec(cdb, kFlagsIn, 0); }
  std::uint8_t DeviceType(std::uint8_t* type);
  std::string Description();  // the 27-character INQUIRY description of a writer

 private:
  Sender send_;
  std::uint8_t ha_, target_, lun_;
};

// CDBs as the engine stages them.
namespace cdb {
Cdb TestUnitReady();
Cdb RequestSense();  // allocation 200
Cdb Inquiry();       // 12h, allocation 36 (6-byte CDB in a 12-byte array)
Cdb ModeSenseCapabilities();  // 5Ah page 2Ah, 30 bytes
Cdb ModeSenseWriteParametersDefault();  // 5Ah 85h, 158 bytes
Cdb ModeSense(std::uint8_t pageControlAndCode, std::uint16_t allocation);
Cdb ModeSelect(std::uint16_t length);
Cdb GetFeature(std::uint16_t feature, std::uint16_t allocation);
Cdb ReadDiscInformation();  // 34 bytes
Cdb ReadTocFull(std::uint16_t allocation);
Cdb ReadSessionInfo();
Cdb ReadToc(std::uint8_t format, bool msf, std::uint8_t number, std::uint16_t allocation);
Cdb ReadTrackInformation(std::uint8_t type, std::uint32_t value, std::uint16_t allocation = 48);
Cdb Read10(std::uint32_t lba, std::uint16_t blocks = 1);
Cdb Write10(std::uint32_t lba, std::uint16_t blocks = 1);
Cdb SynchronizeCache();
Cdb CloseSession();
Cdb CloseFunctionZero();
Cdb CloseTrack(std::uint16_t track);
Cdb SetCdSpeed(std::uint16_t read, std::uint16_t write);
Cdb GetPerformanceWriteSpeed();  // 20 descriptors, 328 bytes
Cdb SetStreaming();              // 28 bytes
Cdb ReserveTrack(std::uint32_t blocks);
Cdb Blank(bool full);
Cdb FormatDvdPlusRw();
Cdb Eject();
}  // namespace cdb

Bytes FormatParameters();  // the 12-byte DVD+RW format parameter list
Bytes StreamingDescriptor(std::uint32_t endLba, std::uint32_t readSpeed, std::uint32_t writeSpeed);

std::uint32_t Be32(const Bytes& b, std::size_t at);
std::uint16_t Be16(const Bytes& b, std::size_t at);

// A block whose bytes say which block it is.
Bytes PatternBlock(std::uint32_t lba, std::uint8_t salt = 0);

// The device side of a burn, as the engine sends it.
class Burner {
 public:
  explicit Burner(Device& device) : d_(device) {}

  struct DiscInfo {
    bool blank, closed, erasable;
  };
  bool GetDiscInfo(DiscInfo* info);
  // Full TOC: the B0h pointer of the last complete session, if any.
  std::optional<std::uint32_t> NextSessionFromToc();
  // PrepareTrack for CD (modes 1 and 3): the start address, or nothing
  // when the disc is closed or unreadable.
  std::optional<std::uint32_t> PrepareCd(std::uint8_t multiSessionField);
  bool SetWriteParametersCd(std::uint8_t multiSessionField);
  bool SetWriteParametersDvd(bool dvdMinusWrite);
  bool DefaultWriteParameters(Bytes& list);
  bool SelectWriteParameters(const Bytes& list);
  bool WriteBlock(std::uint32_t lba, const Bytes& block);
  // Writes `blocks` from `start`; returns how many succeeded.
  std::uint32_t WriteBlocks(std::uint32_t start, const std::vector<Bytes>& blocks);
  void FinishSession(bool closeSession);  // SYNC, wait, CLOSE (CD), wait
  // BlankDisc: the progress values read, until the drive is ready.
  std::vector<std::uint32_t> BlankDisc(bool full, bool* ok);
  // The DVD+RW format job's polls: the progress values read; `closed` says
  // whether the close function 0 was sent.
  std::vector<std::uint32_t> FormatDvdPlusRw(bool* ok, bool* closed);
  bool SetStreaming(std::uint32_t endLba);
  bool ReserveTrack(std::uint32_t blocks);
  bool FeatureCurrent(std::uint16_t feature);

 private:
  void WaitReady();
  Device& d_;
};

// Reads blocks back.
Bytes ReadBlocks(Device& d, std::uint32_t lba, std::uint32_t count);

// Full-TOC descriptors.
struct TocEntry {
  std::uint8_t session, adrControl, point, min, sec, frame, zero, pmin, psec, pframe;
};
std::vector<TocEntry> FullToc(Device& d, std::uint8_t* firstSession = nullptr,
                              std::uint8_t* lastSession = nullptr);

// A test fixture with the layer configured from variables of its own.
class AspiTest : public ::testing::Test {
 protected:
  void TearDown() override { wnaspi::ResetForTesting(); }
  void Configure(const wnaspi::Variables& variables);
  // One writer of the medium at target 0 in `dir`/w0.
  void ConfigureOne(const std::string& medium, const std::string& extra = {});
  TempDir dir_;
};

}  // namespace aspitest
