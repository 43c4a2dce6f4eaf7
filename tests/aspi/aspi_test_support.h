#pragma once
// Helpers for the ASPI layer tests: temporary directories, the outcome of a
// request, and devices reached through the engine's drive access (MmcCore),
// whose command builders and operations the tests send.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/drive/mmc_core.h"
#include "platform/aspi/aspi_layer.h"
#include "platform/aspi/layer_instance.h"
#include "platform/aspi/wnaspi32.h"
#include "platform/bytes/byte_order.h"
#include "platform/kernel/clock.h"

namespace aspitest {

// The engine's command builders and drive types.
using namespace scrivo;

using Bytes = std::vector<std::uint8_t>;

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

// The entry point a device's MmcCore is bound to.
using Sender = scrivo::AspiSend;
// Sends through the library's entry point (the process-wide layer).
Sender EntryPoint();
Sender Through(wnaspi::AspiLayer& layer);

// One device address, reached through the engine's drive access (MmcCore)
// bound to a layer. Exec sends one command through MmcCore's request block;
// the operations of a burn are MmcCore's own, through core().
class Device {
 public:
  Device(Sender send, std::uint8_t ha, std::uint8_t target, std::uint8_t lun = 0);
  Device(std::uint8_t ha, std::uint8_t target) : Device(EntryPoint(), ha, target) {}

  // A command sent as the engine sends it (SRB_CDBLen 12, sense 14).
  Result Exec(const Cdb& cdb, std::uint8_t flags, std::uint32_t length, const Bytes& out = {});
  Result In(const Cdb& cdb, std::uint32_t length) { return Exec(cdb, kFlagsDataIn, length); }
  Result Out(const Cdb& cdb, const Bytes& data) {
    return Exec(cdb, kFlagsDataOut, static_cast<std::uint32_t>(data.size()), data);
  }
  Result NoData(const Cdb& cdb) { return Exec(cdb, kFlagsDataIn, 0); }
  // GET DEVICE TYPE request block: its status, and the type.
  std::uint8_t DeviceType(std::uint8_t* type);
  std::string Description();  // the 27-character INQUIRY description of a writer

  scrivo::MmcCore& core() { return core_; }
  // The engine's operations, with what the tests look at.
  scrivo::DiscInfo Disc();  // an empty one, with a failure, when the disc cannot be read
  // PrepareTrack for a CD: the start address, or nothing when the disc
  // takes no session.
  std::optional<std::uint32_t> PrepareCd(std::uint8_t multiSessionField);
  bool WriteBlock(std::uint32_t lba, const Bytes& block);
  // Writes `blocks` from `start`; returns how many succeeded.
  std::uint32_t WriteBlocks(std::uint32_t start, const std::vector<Bytes>& blocks);
  // FinishSession of a CD burn, or of a DVD burn on a medium with nothing
  // to close (features 0: the cache flush alone).
  void FinishSession(bool cd);
  // After a BLANK or FORMAT UNIT: the progress read on every poll that
  // found the drive busy, until it is ready. Empty, with a failure, when a
  // poll fails.
  std::vector<std::uint32_t> ProgressUntilReady();
  bool FeatureCurrent(std::uint16_t feature);
  // The B0h pointer of the last complete session, if any.
  std::optional<std::uint32_t> NextSessionFromToc();

 private:
  Sender send_;
  scrivo::MmcCore core_;
};

// A builder's CDB with the one byte under test changed.
inline Cdb Altered(Cdb cdb, std::size_t at, std::uint8_t value) {
  cdb[at] = value;
  return cdb;
}

// READ TOC/PMA/ATIP of another format than the engine's full TOC: its
// builder with the format, MSF bit and track/session number changed.
Cdb ReadTocCdb(std::uint8_t format, bool msf, std::uint8_t number, std::uint16_t allocation);

inline Bytes DvdPlusRwFormatList() { return Bytes(kDvdPlusRwFormatList.begin(), kDvdPlusRwFormatList.end()); }
Bytes StreamingDescriptor(std::uint32_t endLba, std::uint32_t readSpeed, std::uint32_t writeSpeed);

inline std::uint32_t Be32(const Bytes& b, std::size_t at) { return bytes::GetBE32(b.data() + at); }
inline std::uint16_t Be16(const Bytes& b, std::size_t at) { return bytes::GetBE16(b.data() + at); }

// A block whose bytes say which block it is.
Bytes PatternBlock(std::uint32_t lba, std::uint8_t salt = 0);

// Reads blocks back.
Bytes ReadBlocks(Device& d, std::uint32_t lba, std::uint32_t count);

// Full-TOC descriptors.
struct TocEntry {
  std::uint8_t session, adrControl, point, min, sec, frame, zero, pmin, psec, pframe;
};
std::vector<TocEntry> TocEntries(Device& d, std::uint8_t* firstSession = nullptr,
                                 std::uint8_t* lastSession = nullptr);

// A test fixture with the layer configured from variables of its own, and
// a virtual clock for the pauses of the engine's readiness waits.
class AspiTest : public ::testing::Test {
 protected:
  void TearDown() override { wnaspi::ResetForTesting(); }
  void Configure(const wnaspi::Variables& variables);
  // One writer of the medium at target 0 in `dir`/w0.
  void ConfigureOne(const std::string& medium, const std::string& extra = {});
  TempDir dir_;
  platform::VirtualClock clock_;
  platform::ScopedClock clockScope_{clock_};
};

}  // namespace aspitest
