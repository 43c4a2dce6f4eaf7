#pragma once
// The layer's two outputs for people diagnosing a drive: the trace file
// (WNASPI32_TRACE), which gets one line per request and the diagnostics, and
// standard error, which gets the diagnostics only when WNASPI32_DEBUG asks
// for them. Without either variable the layer writes nothing anywhere but
// the problems of its configuration (a writer that cannot be used), which
// a user must see.

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "platform/aspi/scsi_request.h"

namespace wnaspi {

class Log {
 public:
  Log() = default;  // silent
  Log(const std::string& traceFile, bool debugToStderr);
  ~Log();
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;

  // Whether request lines go anywhere: a caller that builds one only for
  // the trace asks first.
  bool Tracing() const { return fd_ >= 0; }
  // One request line; the time of day is put in front.
  void Request(std::string_view line);
  // A diagnostic: "# text" in the trace, "wnaspi32: text" on stderr in debug.
  void Diagnostic(std::string_view text);
  // A problem of the configuration: a diagnostic that always goes to stderr.
  void Problem(std::string_view text);

 private:
  void Append(std::string_view line);
  std::mutex mutex_;
  int fd_ = -1;
  bool debug_ = false;
};

// Address as host adapter:target:LUN.
struct AspiAddress {
  std::uint8_t hostAdapter = 0, target = 0, lun = 0;
};

// "0:1:0 EXEC [2A 00 00 00 00 10 00 00 01 00 00 00] out 2048 status=04 sense=03/0C/00"
// A parameter list sent with the command follows in hex, at most 256 bytes
// of it: "data=[00 00 00 00 ...]".
std::string FormatExecLine(AspiAddress address, std::span<const std::uint8_t> cdb,
                           DataDirection direction, std::uint32_t length, std::uint8_t srbStatus,
                           const ScsiOutcome* outcome,
                           std::span<const std::uint8_t> parameters = {});
// "0 HA_INQUIRY status=01 adapters=2"
std::string FormatHostAdapterInquiryLine(std::uint8_t hostAdapter, std::uint8_t srbStatus,
                                         std::uint8_t adapterCount);
// "0:2:0 GET_DEV_TYPE status=82" (with "type=05" on success)
std::string FormatDeviceTypeLine(AspiAddress address, std::uint8_t srbStatus, std::uint8_t type);

}  // namespace wnaspi
