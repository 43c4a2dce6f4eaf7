#include "platform/aspi/trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/aspi/wnaspi32.h"

namespace wnaspi {
namespace {

std::string Hex2(unsigned value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value & 0xFF);
  return text;
}

std::string HexBytes(std::span<const std::uint8_t> data) {
  std::string text;
  text.reserve(data.size() * 3);
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i) text += ' ';
    text += Hex2(data[i]);
  }
  return text;
}

std::string TimeOfDay() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<int>(millis));
  return text;
}

std::string AddressText(AspiAddress a) {
  return std::to_string(a.hostAdapter) + ":" + std::to_string(a.target) + ":" +
         std::to_string(a.lun);
}

const char* DirectionText(DataDirection direction) {
  switch (direction) {
    case DataDirection::In: return "in";
    case DataDirection::Out: return "out";
    case DataDirection::None: break;
  }
  return "none";
}

// Writes all of a line, resuming after a signal; a full disk loses the line.
void WriteAll(int fd, std::string_view line) {
  while (!line.empty()) {
    const ssize_t written = ::write(fd, line.data(), line.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    line.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

Log::Log(const std::string& traceFile, bool debugToStderr) : debug_(debugToStderr) {
  if (traceFile.empty()) return;
  fd_ = ::open(traceFile.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0 && debug_) {
    std::fprintf(stderr, "wnaspi32: cannot open the trace file %s: %s\n", traceFile.c_str(),
                 std::strerror(errno));
  }
}

Log::~Log() {
  if (fd_ >= 0) ::close(fd_);
}

void Log::Append(std::string_view line) {
  if (fd_ < 0) return;
  // One write per line, so lines of several processes tracing into one file
  // (O_APPEND) never interleave.
  std::string text = TimeOfDay();
  text += ' ';
  text += line;
  text += '\n';
  WriteAll(fd_, text);
}

void Log::Request(std::string_view line) {
  std::lock_guard lock(mutex_);
  Append(line);
}

void Log::Diagnostic(std::string_view text) {
  std::lock_guard lock(mutex_);
  Append("# " + std::string(text));
  if (debug_) std::fprintf(stderr, "wnaspi32: %.*s\n", static_cast<int>(text.size()), text.data());
}

void Log::Problem(std::string_view text) {
  std::lock_guard lock(mutex_);
  Append("# " + std::string(text));
  std::fprintf(stderr, "wnaspi32: %.*s\n", static_cast<int>(text.size()), text.data());
}

std::string FormatExecLine(AspiAddress address, std::span<const std::uint8_t> cdb,
                           DataDirection direction, std::uint32_t length, std::uint8_t srbStatus,
                           const ScsiOutcome* outcome, std::span<const std::uint8_t> parameters) {
  std::string line = AddressText(address) + " EXEC [" + HexBytes(cdb) + "] ";
  line += DirectionText(direction);
  line += ' ' + std::to_string(length) + " status=" + Hex2(srbStatus);
  if (outcome) {
    switch (outcome->kind) {
      case ScsiOutcome::Kind::CheckCondition:
        line += " sense=" + Hex2(outcome->senseKey()) + "/" + Hex2(outcome->asc()) + "/" +
                Hex2(outcome->ascq());
        break;
      case ScsiOutcome::Kind::TargetStatus:
        line += " targstat=" + Hex2(outcome->targetStatus);
        break;
      case ScsiOutcome::Kind::HostError:
        line += " hastat=" + Hex2(outcome->hostStatus);
        break;
      case ScsiOutcome::Kind::Aborted:
      case ScsiOutcome::Kind::Good:
        break;
    }
  }
  if (!parameters.empty()) {
    constexpr std::size_t kMaxShown = 256;
    line += " data=[" + HexBytes(parameters.first(std::min(parameters.size(), kMaxShown)));
    line += parameters.size() > kMaxShown ? " ...]" : "]";
  }
  return line;
}

std::string FormatHostAdapterInquiryLine(std::uint8_t hostAdapter, std::uint8_t srbStatus,
                                         std::uint8_t adapterCount) {
  std::string line = std::to_string(hostAdapter) + " HA_INQUIRY status=" + Hex2(srbStatus);
  if (srbStatus == SS_COMP) line += " adapters=" + std::to_string(adapterCount);
  return line;
}

std::string FormatDeviceTypeLine(AspiAddress address, std::uint8_t srbStatus, std::uint8_t type) {
  std::string line = AddressText(address) + " GET_DEV_TYPE status=" + Hex2(srbStatus);
  if (srbStatus == SS_COMP) line += " type=" + Hex2(type);
  return line;
}

}  // namespace wnaspi
