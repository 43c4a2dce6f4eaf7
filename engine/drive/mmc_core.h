#pragma once
// MmcCore: the engine's one drive-access object. It owns the binding to the
// ASPI layer, the current device address and the single request block through
// which every SCSI/MMC command is executed and waited for. Every operation
// returns true exactly when the request ended with ASPI status SS_COMP.

#include <array>
#include <cstdint>
#include <span>

#include "engine/drive/device_address.h"
#include "platform/aspi/wnaspi32.h"
#include "platform/kernel/event.h"
#include "platform/loader/library.h"

namespace scrivo {

// SRB_Flags the engine uses: data in or out, always with event notification.
constexpr std::uint8_t kFlagsDataIn = SRB_DIR_IN | SRB_EVENT_NOTIFY;    // 48h
constexpr std::uint8_t kFlagsDataOut = SRB_DIR_OUT | SRB_EVENT_NOTIFY;  // 50h

// Status ExecuteCdb returns when no ASPI layer is bound.
constexpr std::uint8_t kStatusNotBound = 255;

using Cdb = std::array<std::uint8_t, 12>;

class MmcCore {
 public:
  MmcCore();
  virtual ~MmcCore();
  MmcCore(const MmcCore&) = delete;
  MmcCore& operator=(const MmcCore&) = delete;

  // Binding. LoadAspi shows the engine's one message box when the library
  // is missing.
  bool LoadAspi();
  void UnloadAspi();
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

  // The staged command and the request block, as last sent (for operations
  // and for tests that inspect what was sent).
  Cdb& StagedCdb() { return cdb_; }
  const SRB_ExecSCSICmd& RequestBlock() const { return srb_; }
  // Sense data of the last failed request.
  std::span<const std::uint8_t> SenseArea() const { return srb_.SenseArea; }

  // Write state used by the recording commands.
  std::int32_t writeAddress = 0;
  std::int32_t sessionStartAddress = 0;
  std::uint8_t multiSessionField = 3;

 protected:
  // Stages a CDB: the given bytes, the rest zero.
  void Stage(std::initializer_list<std::uint8_t> bytes);

 private:
  platform::HMODULE library_ = nullptr;
  GetASPI32SupportInfoFn supportInfo_ = nullptr;
  SendASPI32CommandFn sendCommand_ = nullptr;
  DeviceAddress device_ = kNoDevice;
  platform::Event requestEvent_{platform::Event::Reset::Auto};
  Cdb cdb_{};
  SRB_ExecSCSICmd srb_{};
  std::int32_t bound_ = 0;
};

}  // namespace scrivo
