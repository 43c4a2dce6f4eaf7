#pragma once
// The layer's configuration, read from environment variables once per
// process (layer_instance.h). The engine and the applications have none of
// their own: which writers exist is the ASPI layer's business.
//
//   WNASPI32_VIRTUAL_WRITERS  MEDIUM=DIRECTORY;...  (unset: one CD-RW writer
//                             in the user's data directory when the machine
//                             has no optical drive; empty: none)
//   WNASPI32_VIRTUAL_FAULTS   faults for tests (virtual/fault_injector.h)
//   WNASPI32_VIRTUAL_POLLS    polls an immediate blank or format takes (20)
//   WNASPI32_VIRTUAL_LATENCY_US  least time in microseconds each command of a
//                             virtual writer takes (0: none)
//   WNASPI32_VIRTUAL_STRICT   the writers check what a careful drive checks
//                             (reserved bits, page 05h against the medium,
//                             track and alignment rules); on unless 0
//   WNASPI32_VIRTUAL_SPEED    the recording rate in kB/s for the buffer model
//                             (0: none, the writers record at once)
//   WNASPI32_VIRTUAL_BUFFER_KIB  the drive buffer in KiB (2048)
//   WNASPI32_VIRTUAL_RECOGNITION  commands answered "becoming ready" after
//                             the tray closes, before one "medium may have
//                             changed" (0: the disc is ready at once)
//   WNASPI32_VIRTUAL_VIA_SG   1: the virtual writers are reached as real
//                             drives, through a model machine's sysfs and
//                             SG_IO (sg/model_sg_system.h)
//   WNASPI32_TRACE            file that gets one line per request
//   WNASPI32_DEBUG            1: diagnostics also on standard error
//   WNASPI32_REAL_DRIVES      0: do not look for the machine's drives

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/aspi/virtual/drive_model.h"
#include "platform/aspi/virtual/medium.h"

namespace wnaspi {

using Variables = std::map<std::string, std::string>;  // only the variables that are set

namespace variable {
constexpr const char* kVirtualWriters = "WNASPI32_VIRTUAL_WRITERS";
constexpr const char* kVirtualFaults = "WNASPI32_VIRTUAL_FAULTS";
constexpr const char* kVirtualPolls = "WNASPI32_VIRTUAL_POLLS";
constexpr const char* kVirtualLatency = "WNASPI32_VIRTUAL_LATENCY_US";
constexpr const char* kVirtualStrict = "WNASPI32_VIRTUAL_STRICT";
constexpr const char* kVirtualForeignPage = "WNASPI32_VIRTUAL_FOREIGN_PAGE";
constexpr const char* kVirtualSpeed = "WNASPI32_VIRTUAL_SPEED";
constexpr const char* kVirtualBuffer = "WNASPI32_VIRTUAL_BUFFER_KIB";
constexpr const char* kVirtualRecognition = "WNASPI32_VIRTUAL_RECOGNITION";
constexpr const char* kVirtualViaSg = "WNASPI32_VIRTUAL_VIA_SG";
constexpr const char* kTrace = "WNASPI32_TRACE";
constexpr const char* kDebug = "WNASPI32_DEBUG";
constexpr const char* kRealDrives = "WNASPI32_REAL_DRIVES";
constexpr const char* kXdgDataHome = "XDG_DATA_HOME";
constexpr const char* kHome = "HOME";
}  // namespace variable

// The variables above as the environment has them.
Variables EnvironmentVariables();

struct VirtualWriterConfig {
  vdrive::Medium medium;
  std::filesystem::path directory;  // absolute
};

struct Config {
  // One entry per item of WNASPI32_VIRTUAL_WRITERS; the position is the
  // target ID. An item that cannot be read keeps its position, with no
  // writer at that target.
  std::vector<std::optional<VirtualWriterConfig>> virtualWriters;
  // WNASPI32_VIRTUAL_WRITERS is unset: virtualWriters holds the default
  // writer, which the layer gives only when the machine has no drive.
  bool virtualWritersImplied = false;
  std::string faults;
  std::string traceFile;
  bool debug = false;
  std::uint32_t pollsPerOperation = 20;
  std::chrono::microseconds commandLatency{0};
  vdrive::DriveModel model;
  bool virtualViaSg = false;
  bool realDrives = true;
  // What could not be read, for the diagnostics once the trace is open.
  std::vector<std::string> problems;
};

constexpr std::size_t kMaxVirtualWriters = 8;  // targets 0-7, which the engine's scan visits

Config ParseConfig(const Variables& variables);

// ${XDG_DATA_HOME:-$HOME/.local/share}/quillon/virtual-writer; empty when
// neither variable gives an absolute directory.
std::filesystem::path DefaultVirtualWriterDirectory(const Variables& variables);

}  // namespace wnaspi
