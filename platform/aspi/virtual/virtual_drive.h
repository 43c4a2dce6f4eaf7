#pragma once
// A virtual writer: an MMC CD/DVD writer whose disc lives in a directory
// (disc_store.h). It answers the commands a burner sends as a real drive
// with that disc would, sense data included. The handlers are grouped by
// area in the files named beside each group below.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/aspi/scsi_request.h"
#include "platform/aspi/sense.h"
#include "platform/aspi/trace.h"
#include "platform/aspi/virtual/command.h"
#include "platform/aspi/virtual/disc_store.h"
#include "platform/aspi/virtual/drive_model.h"
#include "platform/aspi/virtual/fault_injector.h"
#include "platform/aspi/virtual/mode_pages.h"
#include "platform/aspi/writer_job.h"

namespace wnaspi::vdrive {

struct VirtualDriveOptions {
  std::uint8_t target = 0;  // shown in the product identification
  Medium medium = Medium::CdRw;  // the blank medium of an empty directory
  std::filesystem::path directory;
  std::uint32_t pollsPerOperation = 20;  // immediate BLANK / FORMAT UNIT
  // The least time each command takes, as a real drive's round trip would.
  std::chrono::microseconds commandLatency{0};
  DriveModel model;
  DriveClock* clock = &DriveClock::Real();  // the drive's time (tests replace it)
};

class VirtualDrive final : public ScsiDevice {
 public:
  VirtualDrive(VirtualDriveOptions options, std::shared_ptr<FaultInjector> faults, Log& log);
  ScsiOutcome Execute(const ScsiRequest& request) override;
  // While the disc counts as mounted: where, and how to unmount it.
  std::string Note() override;

 private:
  using Handler = ScsiOutcome (VirtualDrive::*)(const Command&);
  struct CommandEntry {
    std::uint8_t opcode;
    Handler handler;
    bool needsMedium;       // fails NOT READY, MEDIUM NOT PRESENT without a disc
    bool allowedWhileBusy;  // answered while a blank or format runs
  };
  static const CommandEntry* Find(std::uint8_t opcode);
  ScsiOutcome ExecuteNow(const ScsiRequest& request);
  ScsiOutcome Dispatch(const CommandEntry& entry, const Command& command);
  // After a command of this program's job: whether the job is over, so the
  // writer goes back (writer_job.h).
  bool JobEnds(std::uint8_t opcode, const ScsiOutcome& outcome);
  // Whether the command can only record blocks on a track that exists (or
  // change nothing): its change of the record may wait while a job holds
  // the writer, provided SameLayout() still holds after it.
  bool ChangesOnlyRecordedBlocks(std::uint8_t opcode);
  bool SameLayout() const;

  // unit_commands.cpp
  ScsiOutcome TestUnitReady(const Command& command);
  ScsiOutcome RequestSense(const Command& command);
  ScsiOutcome StartStopUnit(const Command& command);
  ScsiOutcome PreventAllowMediumRemoval(const Command& command);
  // What the drive answers before the handler: media recognition after the
  // tray closed, the unit attention after it, and a running immediate close
  // or flush. Nothing when the handler answers.
  std::optional<ScsiOutcome> DriveCondition(const CommandEntry& entry, const Command& command);
  // An immediate CLOSE TRACK/SESSION or SYNCHRONIZE CACHE: done already,
  // but the drive reports it running for the configured polls.
  void StartImmediate(const Sense& busy);
  // identify_commands.cpp
  ScsiOutcome Inquiry(const Command& command);
  ScsiOutcome GetConfiguration(const Command& command);
  // mode_commands.cpp
  ScsiOutcome ModeSense(const Command& command);
  ScsiOutcome ModeSelect(const Command& command);
  // speed_commands.cpp
  ScsiOutcome GetPerformance(const Command& command);
  ScsiOutcome SetStreaming(const Command& command);
  ScsiOutcome SetCdSpeed(const Command& command);
  // disc_queries.cpp
  ScsiOutcome ReadDiscInformation(const Command& command);
  ScsiOutcome ReadTrackInformation(const Command& command);
  ScsiOutcome ReadFormatCapacities(const Command& command);
  ScsiOutcome Read10(const Command& command);
  // toc_command.cpp
  ScsiOutcome ReadToc(const Command& command);
  // recording_commands.cpp
  ScsiOutcome Write10(const Command& command);
  ScsiOutcome SynchronizeCache(const Command& command);
  ScsiOutcome CloseTrackSession(const Command& command);
  ScsiOutcome CloseNow(const Command& command);
  ScsiOutcome ReserveTrack(const Command& command);
  std::optional<Sense> CheckWriteMode(const DiscState& disc, const Track* track) const;
  // Strict mode: a write must start on an ECC block boundary (DVD-R/-RW/+R),
  // so only a track's last write may end off one.
  bool Unaligned(const DiscState& disc, std::uint32_t lba) const;
  // Strict mode: a CD track closed with fewer than 300 blocks.
  bool TooShort(const DiscState& disc, const Track& track) const;
  // A WRITE in test mode: accepted at the next address, nothing recorded.
  ScsiOutcome SimulateWrite(const DiscState& disc, std::uint32_t lba, std::uint16_t count);
  bool TestWriting() const { return ReadWriteParameters(writeParameters_).testWrite; }
  // The buffer model's word on `count` blocks arriving; a failure ends the write.
  std::optional<Sense> Buffer(std::uint16_t count);
  void CloseSession(DiscState& disc);
  ScsiOutcome CloseDvdPlusRSession(DiscState& disc, bool finalize);
  // blank_format_commands.cpp
  ScsiOutcome Blank(const Command& command);
  ScsiOutcome FormatUnit(const Command& command);
  // A TEST UNIT READY or REQUEST SENSE while an operation runs: counts the
  // poll and finishes the operation when its polls are done. True when the
  // drive is ready again.
  bool PollOperation(bool readinessTest);
  Sense BusySense() const;
  void FinishOperation();

  std::optional<Medium> loadedMedium() const;
  // Page 05h at power-on, and as MODE SENSE reports its default values.
  WriteParametersPage InitialWriteParameters() const;

  VirtualDriveOptions options_;
  std::shared_ptr<FaultInjector> faults_;
  Log& log_;
  std::mutex mutex_;
  DiscStore store_;
  WriterJob job_;
  std::pair<std::size_t, std::size_t> layoutBefore_;  // tracks and sessions before a command
  // During a command: the disc, or null when there is none (tray open, or
  // a directory that cannot hold a disc), and the sense reporting that.
  DiscState* disc_ = nullptr;
  Sense noMedium_ = sense::kMediumNotPresentTrayClosed;
  // LoEj opened the tray: the next command finds it open and empty, and it
  // closes again with the same disc after that command.
  bool trayOpen_ = false;
  // DIRECTORY/mounted holds "DEVICE MOUNT-POINT" while the system has the
  // disc mounted: every command that needs the disc is refused as a real
  // drive held by the mount is, and the note says what to do.
  std::string mountedNote_;
  // PREVENT ALLOW MEDIUM REMOVAL: an eject is refused while locked.
  bool locked_ = false;
  // After the tray closed: commands left that find the drive becoming
  // ready, and whether the next one reports the medium change.
  std::uint32_t recognizing_ = 0;
  bool mediumChanged_ = false;
  // An immediate close or flush still reported as running.
  struct Immediate {
    Sense sense;
    std::uint32_t polls = 0;
  };
  std::optional<Immediate> immediate_;
  // Test write: the next address of the simulated track.
  std::optional<std::uint32_t> simulatedNext_;
  // A buffer underrun without BUFE ruined the track being written: the
  // drive writes nothing more until the session is closed or the disc
  // erased or taken out.
  bool ruined_ = false;
  WriteBuffer buffer_;
  WriteParametersPage writeParameters_;
  Speeds speeds_{kMaxReadSpeed, kMaxWriteSpeed};
};

}  // namespace wnaspi::vdrive
