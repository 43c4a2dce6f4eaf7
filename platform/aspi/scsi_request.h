#pragma once
// One SCSI command as the backends see it, and how it ended. The ASPI request
// block is translated into this once (aspi_layer.cpp), so neither the virtual
// drives nor the SG_IO transport know about request blocks.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace wnaspi {

enum class DataDirection : std::uint8_t { None, In, Out };

struct ScsiRequest {
  std::span<const std::uint8_t> cdb;  // SRB_CDBLen bytes
  DataDirection direction = DataDirection::None;
  std::uint8_t* data = nullptr;  // the caller's buffer
  std::uint32_t length = 0;      // its length in bytes
};

// The end of a command. Sense data is kept as the drive produced it (fixed
// format, up to 32 bytes); the trace and the retries read key, ASC and ASCQ.
struct ScsiOutcome {
  enum class Kind : std::uint8_t {
    Good,            // GOOD status
    CheckCondition,  // CHECK CONDITION with sense data
    TargetStatus,    // another target status (BUSY, RESERVATION CONFLICT)
    HostError,       // the transport failed; hostStatus says how
    Aborted,         // the transport aborted the command
  };
  static constexpr std::size_t kMaxSense = 32;

  Kind kind = Kind::Good;
  std::uint8_t targetStatus = 0;  // SCSI status byte
  std::uint8_t hostStatus = 0;    // HASTAT_* value
  std::array<std::uint8_t, kMaxSense> sense{};
  std::uint8_t senseLength = 0;

  static ScsiOutcome Good() { return {}; }
  static ScsiOutcome Check(std::span<const std::uint8_t> senseBytes);
  static ScsiOutcome Host(std::uint8_t hostStatus);

  bool good() const { return kind == Kind::Good; }
  // Fields of fixed-format sense data (SPC, 4.5.3); 0 when absent.
  std::uint8_t senseKey() const { return senseLength > 2 ? sense[2] & 0x0F : 0; }
  std::uint8_t asc() const { return senseLength > 12 ? sense[12] : 0; }
  std::uint8_t ascq() const { return senseLength > 13 ? sense[13] : 0; }
};

// Anything that executes SCSI commands at one address: a virtual writer or a
// real drive behind SG_IO. Execute completes the command before returning.
class ScsiDevice {
 public:
  virtual ~ScsiDevice() = default;
  virtual ScsiOutcome Execute(const ScsiRequest& request) = 0;
  // What the user needs to know about the device's last refusal that sense
  // data cannot carry (where its disc is mounted, and how to unmount it);
  // empty when there is nothing.
  virtual std::string Note() { return {}; }
};

}  // namespace wnaspi
