#include "platform/aspi/virtual/virtual_drive.h"

#include <sys/prctl.h>
#include <time.h>

#include <array>
#include <cerrno>
#include <thread>
#include <utility>

#include "platform/aspi/scsi_opcodes.h"

namespace wnaspi::vdrive {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Holds the calling thread until `deadline`. This is the drive's own time,
// which passes for real while the initiator waits for its request: it does
// not go through the engine's replaceable clock, and without a latency
// configured nothing waits at all.
void WaitUntil(SteadyClock::time_point deadline) {
  // The default timer slack (50 us) would be a third of a 125-us command.
  thread_local bool precise = ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0) == 0;
  (void)precise;
  const auto since = deadline.time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
  const timespec until{static_cast<time_t>(seconds.count()),
                       static_cast<long>(std::chrono::nanoseconds(since - seconds).count())};
  // steady_clock is CLOCK_MONOTONIC on Linux.
  while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

}  // namespace

VirtualDrive::VirtualDrive(VirtualDriveOptions options, std::shared_ptr<FaultInjector> faults,
                           Log& log)
    : options_(std::move(options)),
      faults_(std::move(faults)),
      log_(log),
      store_(options_.directory, options_.medium, log) {}

const VirtualDrive::CommandEntry* VirtualDrive::Find(std::uint8_t op) {
  using V = VirtualDrive;
  // opcode, handler, needs a disc, answered while busy
  static constexpr std::array<CommandEntry, 20> kCommands{{
      {opcode::kTestUnitReady, &V::TestUnitReady, true, true},
      {opcode::kRequestSense, &V::RequestSense, false, true},
      {opcode::kFormatUnit, &V::FormatUnit, true, false},
      {opcode::kInquiry, &V::Inquiry, false, true},
      {opcode::kStartStopUnit, &V::StartStopUnit, false, false},
      {opcode::kRead10, &V::Read10, true, false},
      {opcode::kWrite10, &V::Write10, true, false},
      {opcode::kSynchronizeCache, &V::SynchronizeCache, true, false},
      {opcode::kReadToc, &V::ReadToc, true, false},
      {opcode::kGetConfiguration, &V::GetConfiguration, false, true},
      {opcode::kReadDiscInformation, &V::ReadDiscInformation, true, false},
      {opcode::kReadTrackInformation, &V::ReadTrackInformation, true, false},
      {opcode::kReserveTrack, &V::ReserveTrack, true, false},
      {opcode::kModeSelect10, &V::ModeSelect, false, false},
      {opcode::kModeSense10, &V::ModeSense, false, true},
      {opcode::kCloseTrackSession, &V::CloseTrackSession, true, false},
      {opcode::kBlank, &V::Blank, true, false},
      {opcode::kGetPerformance, &V::GetPerformance, true, false},
      {opcode::kSetStreaming, &V::SetStreaming, true, false},
      {opcode::kSetCdSpeed, &V::SetCdSpeed, false, false},
  }};
  for (const CommandEntry& entry : kCommands) {
    if (entry.opcode == op) return &entry;
  }
  return nullptr;
}

std::optional<Medium> VirtualDrive::loadedMedium() const {
  if (!disc_) return std::nullopt;
  return disc_->medium;
}

ScsiOutcome VirtualDrive::Execute(const ScsiRequest& request) {
  const auto deadline = SteadyClock::now() + options_.commandLatency;
  ScsiOutcome outcome = ExecuteNow(request);
  if (options_.commandLatency.count() > 0) WaitUntil(deadline);
  return outcome;
}

ScsiOutcome VirtualDrive::ExecuteNow(const ScsiRequest& request) {
  const Command command(request);
  const std::uint8_t op = command.opcode();
  // A slow drive for tests, outside every lock: other programs are not kept waiting.
  if (const auto delay = faults_->DelayFor(op); delay.count() > 0) std::this_thread::sleep_for(delay);
  std::lock_guard lock(mutex_);
  const bool trayWasOpen = std::exchange(trayOpen_, false);

  if (auto fault = faults_->OnCommand(op)) return Fail(*fault);
  const CommandEntry* entry = Find(op);
  if (!entry) return Fail(sense::kInvalidOpcode);
  if (request.cdb.size() < opcode::CdbLength(op)) return Fail(sense::kInvalidFieldInCdb);
  if (op == opcode::kTestUnitReady && faults_->neverReady()) return Fail(sense::kBecomingReady);

  const bool startsJob = job_.Starts(op);
  bool heldElsewhere = false;
  if (trayWasOpen) {
    disc_ = nullptr;
    noMedium_ = sense::kMediumNotPresentTrayOpen;
  } else {
    disc_ = store_.Acquire(startsJob, &heldElsewhere);
    // A disc whose record is damaged is there but cannot be read.
    noMedium_ = store_.damaged() ? sense::kMediumFormatCorrupted : sense::kMediumNotPresentTrayClosed;
  }
  if (heldElsewhere) {
    // Another program's job has the writer: answer as a drive that is
    // writing, without touching its disc. Identification still works.
    noMedium_ = sense::kLongWriteInProgress;
    if (!entry->allowedWhileBusy) return Fail(sense::kLongWriteInProgress);
  }
  if (disc_ && startsJob) job_.Start(op);
  const bool deferrable = disc_ && ChangesOnlyRecordedBlocks(op);
  ScsiOutcome outcome = Dispatch(*entry, command);
  if (disc_ && !store_.Release(JobEnds(op, outcome), deferrable && SameLayout()) && outcome.good()) {
    outcome = Fail(sense::kWriteError);
  }
  disc_ = nullptr;
  return outcome;
}

bool VirtualDrive::ChangesOnlyRecordedBlocks(std::uint8_t op) {
  // A WRITE adds blocks to a track; a TEST UNIT READY changes nothing unless
  // it is a poll of a running blank or format. Either may be deferred as
  // long as no track or session appeared.
  layoutBefore_ = {disc_->tracks.size(), disc_->sessions.size()};
  return op == opcode::kWrite10 || (op == opcode::kTestUnitReady && !disc_->busy.active());
}

bool VirtualDrive::SameLayout() const {
  return disc_ && layoutBefore_ == std::pair(disc_->tracks.size(), disc_->sessions.size());
}

bool VirtualDrive::JobEnds(std::uint8_t op, const ScsiOutcome& outcome) {
  switch (job_.After(op, outcome)) {
    case WriterJob::Next::Continue:
      return false;
    case WriterJob::Next::CheckDisc:
      if (disc_->openSession() || disc_->busy.active()) return false;
      break;
    case WriterJob::Next::EndJob:
      break;
  }
  job_.End();
  return true;
}

ScsiOutcome VirtualDrive::Dispatch(const CommandEntry& entry, const Command& command) {
  if (entry.needsMedium && !disc_) return Fail(noMedium_);
  if (disc_ && disc_->busy.active() && !entry.allowedWhileBusy) return Fail(BusySense());
  return (this->*entry.handler)(command);
}

}  // namespace wnaspi::vdrive
