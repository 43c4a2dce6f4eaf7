#include "platform/aspi/virtual/virtual_drive.h"

#include <array>
#include <fstream>
#include <string>
#include <thread>
#include <utility>

#include "platform/aspi/scsi_opcodes.h"

namespace wnaspi::vdrive {
namespace {

// The note of a disc that DIRECTORY/mounted says is mounted, in the SG
// backend's words; empty while the file is absent.
std::string MountedNote(const std::filesystem::path& directory) {
  std::ifstream in(directory / "mounted");
  std::string device, mountPoint;
  if (!(in >> device) || !std::getline(in >> std::ws, mountPoint)) return {};
  return "the disc in " + device + " is mounted at " + mountPoint + "; unmount it first: udisksctl unmount -b " +
         device;
}

}  // namespace

VirtualDrive::VirtualDrive(VirtualDriveOptions options, std::shared_ptr<FaultInjector> faults,
                           Log& log)
    : options_(std::move(options)),
      faults_(std::move(faults)),
      log_(log),
      store_(options_.directory, options_.medium, log),
      buffer_(options_.model.rateKBps, options_.model.bufferKiB, *options_.clock),
      writeParameters_(InitialWriteParameters()) {}

WriteParametersPage VirtualDrive::InitialWriteParameters() const {
  return options_.model.foreignPage ? ForeignWriteParameters() : DefaultWriteParameters();
}

const VirtualDrive::CommandEntry* VirtualDrive::Find(std::uint8_t op) {
  using V = VirtualDrive;
  // opcode, handler, needs a disc, answered while busy
  static constexpr std::array<CommandEntry, 22> kCommands{{
      {opcode::kTestUnitReady, &V::TestUnitReady, true, true},
      {opcode::kRequestSense, &V::RequestSense, false, true},
      {opcode::kFormatUnit, &V::FormatUnit, true, false},
      {opcode::kInquiry, &V::Inquiry, false, true},
      {opcode::kStartStopUnit, &V::StartStopUnit, false, false},
      {opcode::kPreventAllowMediumRemoval, &V::PreventAllowMediumRemoval, false, true},
      {opcode::kReadFormatCapacities, &V::ReadFormatCapacities, true, false},
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

std::string VirtualDrive::Note() {
  std::lock_guard lock(mutex_);
  return mountedNote_;
}

ScsiOutcome VirtualDrive::Execute(const ScsiRequest& request) {
  // The least time a command takes passes on the drive's clock while the
  // initiator waits; without a latency configured nothing waits at all.
  const auto deadline = options_.commandLatency.count() > 0
                            ? options_.clock->Now() + options_.commandLatency
                            : DriveClock::Duration::zero();
  ScsiOutcome outcome = ExecuteNow(request);
  if (options_.commandLatency.count() > 0) options_.clock->WaitUntil(deadline);
  return outcome;
}

ScsiOutcome VirtualDrive::ExecuteNow(const ScsiRequest& request) {
  const Command command(request);
  const std::uint8_t op = command.opcode();
  // A slow drive for tests, outside every lock: other programs are not kept waiting.
  if (const auto delay = faults_->DelayFor(op); delay.count() > 0) std::this_thread::sleep_for(delay);
  std::lock_guard lock(mutex_);
  bool trayWasOpen = std::exchange(trayOpen_, false);

  if (auto fault = faults_->OnCommand(op)) {
    if (!fault->button) return Fail(fault->sense);
    // The user pressed the tray's button: a locked drive keeps its tray in.
    if (!locked_) trayWasOpen = true;
  }
  if (trayWasOpen) {
    // The tray closes again after this command; the drive then takes a
    // while to recognise the disc, and reports the change once.
    recognizing_ = options_.model.recognitionCommands;
    mediumChanged_ = recognizing_ > 0;
    immediate_.reset();
    simulatedNext_.reset();
    buffer_.Reset();
    ruined_ = false;
  }
  const CommandEntry* entry = Find(op);
  if (!entry) return Fail(sense::kInvalidOpcode);
  if (request.cdb.size() < opcode::CdbLength(op)) return Fail(sense::kInvalidFieldInCdb);
  if (options_.model.strict && ReservedBitsSet(request.cdb)) return Fail(sense::kInvalidFieldInCdb);
  if (op == opcode::kTestUnitReady && faults_->neverReady()) return Fail(sense::kBecomingReady);

  const bool startsJob = job_.Starts(op);
  bool heldElsewhere = false;
  mountedNote_ = trayWasOpen ? std::string() : MountedNote(options_.directory);
  if (trayWasOpen) {
    disc_ = nullptr;
    noMedium_ = sense::kMediumNotPresentTrayOpen;
  } else if (!mountedNote_.empty()) {
    // A mounted disc cannot be had: answer as the SG backend answers for
    // one, identification still working.
    disc_ = nullptr;
    noMedium_ = sense::kNotReadyCauseNotReportable;
    if (!entry->allowedWhileBusy) return Fail(noMedium_);
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
  if (auto answered = DriveCondition(entry, command)) return *answered;
  if (entry.needsMedium && !disc_) return Fail(noMedium_);
  if (disc_ && disc_->busy.active() && !entry.allowedWhileBusy) return Fail(BusySense());
  return (this->*entry.handler)(command);
}

}  // namespace wnaspi::vdrive
