#include "platform/aspi/sg/sg_device.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "platform/aspi/scsi_opcodes.h"
#include "platform/aspi/sense.h"
#include "platform/aspi/sg/mount_table.h"
#include "platform/aspi/sg/sg_timeouts.h"
#include "platform/aspi/wnaspi32.h"

namespace wnaspi::sg {
namespace {

// Host and driver status values of the SCSI midlayer (include/scsi/scsi.h).
constexpr unsigned kDidOk = 0x00;
constexpr unsigned kDidNoConnect = 0x01;
constexpr unsigned kDidBusBusy = 0x02;
constexpr unsigned kDidTimeOut = 0x03;
constexpr unsigned kDidBadTarget = 0x04;
constexpr unsigned kDidAbort = 0x05;
constexpr unsigned kDidParity = 0x06;
constexpr unsigned kDidReset = 0x08;
constexpr unsigned kDriverTimeout = 0x06;
constexpr unsigned kDriverStatusMask = 0x0F;
constexpr std::uint8_t kScsiStatusMask = 0x7E;
constexpr std::uint8_t kStatusGood = 0x00;
constexpr std::uint8_t kStatusCheckCondition = 0x02;
// udev's probe of a disc just inserted holds the drive exclusively for a
// moment; another program's job holds it far longer.
constexpr unsigned kExclusiveOpenTries = 10;
constexpr unsigned kExclusiveOpenIntervalMs = 100;

std::uint8_t AspiHostStatus(unsigned hostStatus) {
  switch (hostStatus) {
    case kDidNoConnect:
    case kDidBadTarget: return HASTAT_SEL_TO;
    case kDidBusBusy: return HASTAT_BUS_FREE;
    case kDidTimeOut: return HASTAT_COMMAND_TIMEOUT;
    case kDidParity: return HASTAT_PARITY_ERROR;
    case kDidReset: return HASTAT_BUS_RESET;
    default: return HASTAT_PHASE_ERR;
  }
}

int SgDirection(DataDirection direction, std::uint32_t length) {
  if (length == 0) return SG_DXFER_NONE;
  return direction == DataDirection::Out ? SG_DXFER_TO_DEV : SG_DXFER_FROM_DEV;
}

// ASPI initiators pad every CDB to 12 bytes; the drive gets the length its
// operation code defines, so a 10-byte command travels as 10 bytes.
std::size_t CdbLengthToSend(const ScsiRequest& request) {
  const std::size_t defined = opcode::CdbLength(request.cdb[0]);
  return defined != 0 && defined <= request.cdb.size() ? defined : request.cdb.size();
}

std::string SenseText(const ScsiOutcome& outcome) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X/%02X/%02X", outcome.senseKey(), outcome.asc(), outcome.ascq());
  return text;
}

}  // namespace

bool IsTransientBusy(std::uint8_t op, const ScsiOutcome& outcome) {
  if (op == opcode::kTestUnitReady || op == opcode::kRequestSense) return false;
  return outcome.kind == ScsiOutcome::Kind::CheckCondition &&
         outcome.senseKey() == sense::kLongWriteInProgress.key &&
         outcome.asc() == sense::kLongWriteInProgress.asc &&
         (outcome.ascq() == sense::kLongWriteInProgress.ascq ||
          outcome.ascq() == sense::kOperationInProgress.ascq);
}

SgDevice::SgDevice(std::shared_ptr<SgSystem> system, int handle, std::string node, Log& log,
                   RetryPolicy retry)
    : system_(std::move(system)), handle_(handle), node_(std::move(node)), log_(log), retry_(retry) {}

SgDevice::~SgDevice() {
  GiveDriveBack();
  system_->Close(handle_);
}

ScsiOutcome SgDevice::Submit(const ScsiRequest& request, std::size_t cdbLength) {
  std::array<std::uint8_t, 16> cdb{};
  std::copy_n(request.cdb.begin(), cdbLength, cdb.begin());
  std::array<std::uint8_t, ScsiOutcome::kMaxSense> sense{};
  sg_io_hdr_t header{};
  header.interface_id = 'S';
  header.dxfer_direction = SgDirection(request.direction, request.length);
  header.cmd_len = static_cast<unsigned char>(cdbLength);
  header.mx_sb_len = static_cast<unsigned char>(sense.size());
  header.dxfer_len = request.length;
  header.dxferp = request.length ? request.data : nullptr;
  header.cmdp = cdb.data();
  header.sbp = sense.data();
  header.timeout = CommandTimeoutMs(cdb[0]);

  if (const int result = system_->SgIo(handle_, header); result != 0) {
    log_.Diagnostic(node_ + ": SG_IO failed: " + std::strerror(-result));
    return ScsiOutcome::Host(HASTAT_SEL_TO);
  }
  if ((header.driver_status & kDriverStatusMask) == kDriverTimeout) {
    return ScsiOutcome::Host(HASTAT_COMMAND_TIMEOUT);
  }
  if (header.host_status == kDidAbort) {
    ScsiOutcome aborted;
    aborted.kind = ScsiOutcome::Kind::Aborted;
    return aborted;
  }
  if (header.host_status != kDidOk) return ScsiOutcome::Host(AspiHostStatus(header.host_status));
  const std::uint8_t status = header.status & kScsiStatusMask;
  if (status == kStatusGood) return ScsiOutcome::Good();
  if (status == kStatusCheckCondition) {
    return ScsiOutcome::Check(std::span<const std::uint8_t>(
        sense.data(), std::min<std::size_t>(header.sb_len_wr, sense.size())));
  }
  ScsiOutcome other;
  other.kind = ScsiOutcome::Kind::TargetStatus;
  other.targetStatus = status;
  return other;
}

ScsiOutcome SgDevice::Execute(const ScsiRequest& request) {
  std::lock_guard lock(mutex_);
  const std::uint8_t op = request.cdb[0];
  std::optional<Sense> refusal;
  if (job_.Starts(op)) {
    refusal = TakeDrive(op);
  } else if (!job_.running() && op == opcode::kTestUnitReady) {
    refusal = HeldElsewhere(nullptr);
  }
  if (refusal) return ScsiOutcome::Check(FixedFormat(*refusal));
  note_.clear();
  const ScsiOutcome outcome = SubmitWithRetries(request);
  switch (job_.After(op, outcome)) {
    case WriterJob::Next::Continue:
      break;
    case WriterJob::Next::CheckDisc:
      if (!SessionStillOpen()) GiveDriveBack();
      break;
    case WriterJob::Next::EndJob:
      GiveDriveBack();
      break;
  }
  return outcome;
}

std::string SgDevice::Note() {
  std::lock_guard lock(mutex_);
  return note_;
}

std::optional<Sense> SgDevice::HeldElsewhere(int* handle) {
  note_.clear();
  int probe = system_->OpenExclusive(node_);
  std::optional<std::string> mountPoint;
  for (unsigned tried = 1; probe == -EBUSY && tried < kExclusiveOpenTries; ++tried) {
    // A mounted disc stays mounted: no reason to wait for it.
    if ((mountPoint = MountPointOf(system_->MountTable(), node_))) break;
    system_->SleepMs(kExclusiveOpenIntervalMs);
    probe = system_->OpenExclusive(node_);
  }
  if (probe >= 0) {
    if (handle) {
      *handle = probe;
    } else {
      system_->Close(probe);
    }
    return std::nullopt;
  }
  if (probe != -EBUSY) {
    // Not a hold (the node is gone, or opening it exclusively is not
    // allowed): the drive's own answer tells the rest.
    if (!handle) return std::nullopt;
    log_.Diagnostic(node_ + ": cannot have the drive to itself (" + std::strerror(-probe) + ")");
    return sense::kLongWriteInProgress;
  }
  if (!mountPoint) mountPoint = MountPointOf(system_->MountTable(), node_);
  if (mountPoint) {
    note_ = "the disc in " + node_ + " is mounted at " + *mountPoint +
            "; unmount it first: udisksctl unmount -b " + node_;
    log_.Diagnostic(node_ + ": " + note_);
    return sense::kNotReadyCauseNotReportable;
  }
  log_.Diagnostic(node_ + ": cannot have the drive to itself: another program is using it");
  return sense::kLongWriteInProgress;
}

std::optional<Sense> SgDevice::TakeDrive(std::uint8_t op) {
  int handle = -1;
  if (auto refusal = HeldElsewhere(&handle)) return refusal;
  exclusive_ = handle;
  job_.Start(op);
  return std::nullopt;
}

void SgDevice::GiveDriveBack() {
  job_.End();
  if (exclusive_ < 0) return;
  system_->Close(exclusive_);
  exclusive_ = -1;
}

bool SgDevice::SessionStillOpen() {
  constexpr std::uint8_t kReadDiscInformation[10] = {opcode::kReadDiscInformation, 0, 0, 0, 0,
                                                     0, 0, 0, 34, 0};
  constexpr std::uint8_t kLastSessionIncomplete = 0x01;
  std::array<std::uint8_t, 34> info{};
  const ScsiRequest request{kReadDiscInformation, DataDirection::In, info.data(),
                            static_cast<std::uint32_t>(info.size())};
  // A drive that cannot answer is still busy with the job.
  if (!Submit(request, sizeof kReadDiscInformation).good()) return true;
  return ((info[2] >> 2) & 0x03) == kLastSessionIncomplete;
}

ScsiOutcome SgDevice::SubmitWithRetries(const ScsiRequest& request) {
  const std::size_t cdbLength = CdbLengthToSend(request);
  ScsiOutcome outcome = Submit(request, cdbLength);
  unsigned paused = 0;
  unsigned pause = retry_.firstMs;
  unsigned repeats = 0;
  while (IsTransientBusy(request.cdb[0], outcome) && paused < retry_.totalMs) {
    if (repeats == 0) log_.Diagnostic(node_ + ": busy (" + SenseText(outcome) + "), repeating the command");
    const unsigned step = std::min(std::max(pause, 1u), retry_.totalMs - paused);
    system_->SleepMs(step);
    paused += step;
    pause = std::min(pause + retry_.stepMs, retry_.maxIntervalMs);
    ++repeats;
    outcome = Submit(request, cdbLength);
  }
  if (IsTransientBusy(request.cdb[0], outcome)) {
    log_.Diagnostic(node_ + ": still busy after " + std::to_string(repeats) + " repeats in " +
                    std::to_string(paused) + " ms");
  }
  return outcome;
}

}  // namespace wnaspi::sg
