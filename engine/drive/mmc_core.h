#pragma once
// MmcCore: the engine's one drive-access object. It owns the binding to the
// ASPI layer, the current device address and the single request block through
// which every SCSI/MMC command is executed and waited for. Every operation
// returns true exactly when the request ended with ASPI status SS_COMP.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "engine/drive/burn_mode.h"
#include "engine/drive/command_failure.h"
#include "engine/drive/device_address.h"
#include "engine/drive/disc_info.h"
#include "engine/drive/drive_progress.h"
#include "engine/drive/drive_capabilities.h"
#include "engine/drive/feature_flags.h"
#include "engine/drive/full_toc.h"
#include "engine/drive/mmc_commands.h"
#include "engine/drive/polling_limits.h"
#include "engine/drive/writer_entry.h"
#include "platform/aspi/wnaspi32.h"
#include "platform/kernel/event.h"
#include "platform/loader/library.h"

namespace scrivo {

// SRB_Flags the engine uses: data in or out, always with event notification.
constexpr std::uint8_t kFlagsDataIn = SRB_DIR_IN | SRB_EVENT_NOTIFY;    // 48h
constexpr std::uint8_t kFlagsDataOut = SRB_DIR_OUT | SRB_EVENT_NOTIFY;  // 50h


// The ASPI layer's SendASPI32Command as MmcCore calls it: the library's
// export, or a layer the process holds itself.
using AspiSend = std::function<std::uint32_t(void*)>;

class MmcCore {
 public:
  MmcCore();
  ~MmcCore();
  MmcCore(const MmcCore&) = delete;
  MmcCore& operator=(const MmcCore&) = delete;

  // Binding. After a failed LoadAspi, LibraryMissing tells whether the
  // library itself was not found (the host is told so) or lacked its
  // entry points.
  bool LoadAspi();
  bool LibraryMissing() const { return libraryMissing_; }
  void UnloadAspi();
  // Binds to a layer's entry point instead of loading the library, with
  // the state LoadAspi leaves: no device addressed, write address 0. The
  // layer must outlive the binding. False, and unbound, for an empty one.
  bool BindAspi(AspiSend send);
  bool IsBound() const { return bound_ != 0; }

  void SetDevice(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun);
  DeviceAddress CurrentDevice() const { return device_; }

  // Sends the staged CDB to the current device and waits for completion.
  // Returns the final SRB_Status (SS_COMP on success), or 255 when unbound.
  std::uint8_t ExecuteCdb(std::uint8_t* buffer, std::uint32_t length, std::uint8_t flags);

  bool TestUnitReady();
  // Copies the 50 bytes from HA_Count onward.
  bool HostAdapterInquiry(std::span<std::uint8_t, 50> out);
  bool GetDeviceType(std::uint8_t& deviceType);
  // Addresses the given device, not the current one. `description` receives
  // 27 characters and a NUL (at least 28 bytes); untouched on failure.
  std::uint8_t Inquiry(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun,
                       char* description);

  // Writer discovery. The scan probes every address through the current
  // device address and puts the address back when it ends, except after a
  // GetWriter that found its writer: then the writer's address is current.
  std::int32_t CountWriters();
  // index counts from 0 in scan order: host adapter, target, LUN ascending.
  bool GetWriter(std::int32_t index, WriterEntry& entry);
  // Asks the layer to find the drives plugged in or removed since it last
  // looked (SC_RESCAN_SCSI_BUS); the writers that stay keep their addresses.
  bool RescanBus();

  // Drive and disc queries.
  bool SenseCapabilities(std::span<std::uint8_t, 30> reply);
  // GET CONFIGURATION of one feature; the allocation length is reply.size().
  bool GetFeature(std::uint16_t feature, std::span<std::uint8_t> reply);
  bool GetCapabilities(DriveCapabilities& capabilities);
  bool ReadDiscInformation(std::span<std::uint8_t, 34> reply);
  bool GetDiscInfo(DiscInfo& info);
  bool ReadFullToc(FullToc& toc);
  // Reply bytes 8-11: LBA of the first track of the last complete session.
  bool ReadSessionInfo(std::span<std::uint8_t, 12> reply);
  bool ReadBlock(std::int32_t lba, std::span<std::uint8_t, kLogicalBlockSize> block);
  // One READ(10) of whole blocks (1 to kMaxReadBlocks) from `lba`; any
  // other length is refused without a command.
  bool ReadBlocks(std::int32_t lba, std::span<std::uint8_t> blocks);
  // READ TRACK INFORMATION; the allocation length is reply.size().
  bool ReadTrackInformation(TrackAddress type, std::uint32_t value, std::span<std::uint8_t> reply);
  // The current profile (GET CONFIGURATION header bytes 6-7): the loaded
  // medium as the drive names it, profile::kNone without one.
  bool CurrentProfile(std::uint16_t& current);
  // How much the next session can hold, asked as the medium allows: the
  // invisible track (FFh) on a CD and a DVD+R, the incomplete track by its
  // number on a DVD-R/-RW, the formatted capacity on a DVD+RW.
  bool ReadFreeBlocks(std::uint32_t& freeBlocks);
  // Opens the tray after a 2-second pause.
  bool EjectDisc();
  // PREVENT ALLOW MEDIUM REMOVAL: locks (true) or unlocks the tray. The
  // lock only guards the disc against an eject; its failure never becomes
  // the LastFailure a job reports.
  bool LockTray(bool lock);

  // Recording.
  bool SetCdSpeed(std::uint16_t readSpeed, std::uint16_t writeSpeed);
  // Sets writeAddress, sessionStartAddress and the write parameters page.
  // False for a CD that cannot take a session (closed, or unreadable state),
  // and when the drive did not take the page where it governs the recording
  // (CD, DVD-R/-RW): nothing may be written with the drive's own settings.
  bool PrepareTrack(BurnMode mode);
  bool SetWriteParametersCd();
  bool SetWriteParametersDvd();
  // One WRITE(10) of whole blocks (1 to kMaxWriteBlocks) at writeAddress,
  // which advances by their number on success and stays on failure. Any
  // other length is refused without a command.
  bool WriteBlocks(std::span<const std::uint8_t> blocks);
  // SYNCHRONIZE CACHE and CLOSE TRACK/SESSION (the session) are sent with
  // Immed, then TEST UNIT READY is polled within kSessionFinishWait: true
  // when the drive took the command and became ready again.
  bool SynchronizeCache();
  bool CloseSession();
  // Synchronises and closes what the medium needs closed: a CD's session; a
  // DVD+R's track, then its session with the disc (`features` of the
  // selected writer tell the medium). True when the disc then reads back
  // with no session left open; false also when the drive did not become
  // ready again within kSessionFinishWait.
  bool FinishSession(BurnMode mode, FeatureFlags features);
  // Closes the session a burn left open (a close the drive refused, a
  // program killed, the power lost) so that other drives read the disc: a
  // CD's open track, then its session, left open for another; a DVD-R's
  // track and session as a DVD burn closes them; a DVD+R's open track,
  // then its session. `features` of the selected writer tell the medium.
  // A disc with no open session is sent nothing that changes it.
  enum class SessionCloseEnd { Closed, NoOpenSession, StateUnreadable, WriteParametersRefused, Failed };
  // The recorded track of the disc's open session that still takes writes
  // (a burn refused or killed in it) is padded with zeros at its next
  // writable address to `minimumBlocks`; writeAddress moves with it.
  TrackPadding PadOpenTrack(std::uint32_t minimumBlocks);
  SessionCloseEnd CloseOpenSession(FeatureFlags features);
  // Requests a write speed (GET PERFORMANCE, SET STREAMING) for blocks 0 to
  // endLba: the fastest the drive offers, or with dvdWriteKbps set the
  // fastest offered not above it (the slowest offered when all are; the
  // chosen speed itself when the drive lists none). The speed is best
  // effort: false only when the drive does not become ready within
  // kStreamingSetupWait.
  bool SetStreaming(std::int32_t endLba);
  bool ReserveTrack(std::int32_t blocks);
  // Polls TEST UNIT READY while the drive is still recognising its disc:
  // "becoming ready" and a medium change within kMediumRecognitionWait, "no
  // medium" within kMediumArrivalWait. True once the drive is ready; false
  // at once for any other answer, and when the bounds are used up.
  bool WaitForMedium();
  // Polls TEST UNIT READY, pausing after each miss, until the drive is ready
  // (true) or the limit is used up (false).
  bool WaitUntilReady(PollingLimit limit);
  // Runs `attempt` up to `tries` times, waiting for the drive to be ready
  // (within `wait`) between tries. A failure keeps the attempt's own
  // command as LastFailure, not the readiness polls'.
  bool WithRetries(const std::function<bool()>& attempt, int tries, PollingLimit wait);

  // Blanking and formatting. Progress goes to `progress` in per mille.
  // busy: 0 when the drive is ready; else 1 and progress = the sense-key
  // specific progress indication (0-65535). Either output may be null.
  bool GetProgress(std::uint32_t* progress, std::uint32_t* busy);
  bool BlankDisc(BlankKind kind, const ProgressSink& progress);
  bool FormatDvdPlusRw();
  // Ends a DVD+RW's background format compatibly (CLOSE TRACK/SESSION 010b
  // with Immed, then polled): the drive writes the lead-in and lead-out
  // that other drives need to read the disc.
  bool StopBackgroundFormat();
  // The device side of the DVD blank job: FORMAT UNIT, the polling cycles
  // with their progress marks, then 1000. False, with nothing further
  // reported, when FORMAT UNIT is rejected or the format does not end
  // within kDvdPlusRwFormatPolling.
  bool RunDvdPlusRwFormat(const ProgressSink& progress);

  // The staged command, as last sent (for operations and for tests that
  // inspect what was sent).
  Cdb& StagedCdb() { return cdb_; }
  // Sense data of the last failed request.
  std::span<const std::uint8_t> SenseArea() const { return srb_.SenseArea; }
  // The sense of the last request when it ended in CHECK CONDITION; zeros
  // when it ended otherwise.
  SenseCode LastSense() const;
  // The execute request block of the last command, as the layer left it.
  const SRB_ExecSCSICmd& LastRequest() const { return srb_; }
  // The last command that did not succeed, kept until another one fails.
  const CommandFailure& LastFailure() const { return lastFailure_; }
  // Puts back a failure that later commands (readiness polls) replaced,
  // counted as a new one, so the caller reports the command that mattered.
  void RestoreFailure(const CommandFailure& failure) {
    const std::uint64_t serial = lastFailure_.serial;
    lastFailure_ = failure;
    lastFailure_.serial = serial + 1;
  }

  // Why the last PrepareTrack refused the disc (None when it did not).
  enum class TrackRefusal { None, DiscUnreadable, DiscClosed, LastSessionUnfinished, WriteParametersRefused };
  TrackRefusal trackRefusal = TrackRefusal::None;

  // Whether the disc was blank when PrepareTrack looked (READ DISC
  // INFORMATION): only a blank disc has no session to carry over.
  bool discBlank = false;

  // Write state used by the recording commands.
  std::int32_t writeAddress = 0;
  std::int32_t sessionStartAddress = 0;
  // Values of the Multi-session field of the write parameters page.
  static constexpr std::uint8_t kNoNextSession = 0;
  static constexpr std::uint8_t kNextSessionAllowed = 3;
  std::uint8_t multiSessionField = kNextSessionAllowed;
  // The DVD write speed the host chose, in kB/s; 0: the fastest offered.
  std::uint32_t dvdWriteKbps = 0;
  // Where the lead-out of the disc's last session starts, as PrepareTrack
  // found it in the TOC: no block of an earlier session lies at or past it.
  std::optional<std::int32_t> previousSessionEnd;

 protected:
  void Stage(const Cdb& cdb) { cdb_ = cdb; }
  // Stages and executes a command; true when it ended with SS_COMP.
  bool Issue(const Cdb& cdb, std::uint8_t* buffer, std::uint32_t length, std::uint8_t flags);
  bool Issue(const Cdb& cdb, std::span<std::uint8_t> buffer, std::uint8_t flags) {
    return Issue(cdb, buffer.data(), static_cast<std::uint32_t>(buffer.size()), flags);
  }

 private:
  // Visits every address that holds a writer, in scan order, until the
  // visitor returns true; returns the number of writers visited.
  template <typename Visitor>
  std::int32_t ScanWriters(Visitor&& visitor);
  bool IsWriterAt(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun);
  // MODE SENSE(10) of page 05h as `control` names it, into `reply`.
  bool ReadWriteParameters(PageControl control, std::span<std::uint8_t> reply);
  // SetWriteParametersDvd; `minusR` tells whether the medium is recorded as
  // a DVD-R/-RW (the page governs its recording).
  bool SelectDvdWriteParameters(bool& minusR);
  void CloseDvdPlusRSession();
  // The open tracks of the disc's open session, then the session.
  void CloseTracksAndSession();
  // READ DISC INFORMATION, tried again after a refusal (kJudgingReadTries).
  bool ReadDiscState(DiscInfo& disc);
  // Sends `close`, then reads the disc's state; sends it again while the
  // session shows open, up to kJudgingReadTries times. True once the disc
  // reads back with no session open.
  bool CloseUntilClosed(const std::function<void()>& close);
  // The execute request block: zeroed, then filled for one command.
  struct ExecRequest {
    DeviceAddress address;
    std::uint8_t flags;
    std::uint8_t* buffer;
    std::uint32_t length;
    std::uint8_t cdbLength;
    platform::Event* event;
  };
  void FillRequestBlock(const ExecRequest& request);
  void RecordFailure(std::uint8_t status);
  // Composes page 05h (the Multi-session field from multiSessionField) and
  // sends it; true when the drive took it.
  bool SelectWriteParameters(std::uint8_t writeType, std::uint8_t trackMode, std::uint8_t linkSize);
  // Sends CLOSE TRACK/SESSION with Immed, then polls until the drive is
  // ready (kSessionFinishWait). True when both succeeded.
  bool CloseAndWait(CloseFunction function, std::uint16_t track = 0);

  platform::HMODULE library_ = nullptr;
  GetASPI32SupportInfoFn supportInfo_ = nullptr;
  AspiSend sendCommand_;
  DeviceAddress device_ = kNoDevice;
  platform::Event requestEvent_{platform::Event::Reset::Auto};
  Cdb cdb_{};
  SRB_ExecSCSICmd srb_{};
  std::int32_t bound_ = 0;
  bool libraryMissing_ = false;
  CommandFailure lastFailure_;
};

// Keeps the tray locked for its lifetime: a job holds the disc in the drive
// from its start to its end, however it ends (done, failed or cancelled).
class TrayLock {
 public:
  explicit TrayLock(MmcCore& core) : core_(core) { core_.LockTray(true); }
  ~TrayLock() { core_.LockTray(false); }
  TrayLock(const TrayLock&) = delete;
  TrayLock& operator=(const TrayLock&) = delete;

 private:
  MmcCore& core_;
};

}  // namespace scrivo
