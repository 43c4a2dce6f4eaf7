#include "engine/drive/mmc_core.h"

#include <atomic>
#include <cstring>
#include <utility>


namespace scrivo {
namespace {

// A layer may complete a request on its own thread while this one looks at
// the status, so the status byte is read atomically.
std::uint8_t FinalStatus(SRB_ExecSCSICmd& srb) {
  return std::atomic_ref<std::uint8_t>(srb.SRB_Status).load(std::memory_order_acquire);
}

// The layer either finished before returning or sets the event later. A
// request it accepted as pending is waited for through the event even when
// the status already changed, so the layer is done with the event before
// the event can go away.
void WaitForCompletion(std::uint32_t submitted, SRB_ExecSCSICmd& srb, platform::Event& event) {
  if (submitted == SS_PENDING) event.Wait();
  while (FinalStatus(srb) == SS_PENDING) event.Wait();
}

}  // namespace

MmcCore::MmcCore() = default;

MmcCore::~MmcCore() { UnloadAspi(); }

bool MmcCore::LoadAspi() {
  if (bound_) return true;
  library_ = platform::LoadLibraryA("WNASPI32.DLL");
  libraryMissing_ = library_ == nullptr;
  if (!library_) return false;
  supportInfo_ = reinterpret_cast<GetASPI32SupportInfoFn>(
      platform::GetProcAddress(library_, "GetASPI32SupportInfo"));
  sendCommand_ = supportInfo_ ? reinterpret_cast<SendASPI32CommandFn>(
                                    platform::GetProcAddress(library_, "SendASPI32Command"))
                              : nullptr;
  if (!supportInfo_ || !sendCommand_) {
    UnloadAspi();
    return false;
  }
  writeAddress = 0;
  bound_ = 1;
  SetDevice(255, 255, 255);
  return true;
}

void MmcCore::UnloadAspi() {
  if (library_) platform::FreeLibrary(library_);
  library_ = nullptr;
  supportInfo_ = nullptr;
  sendCommand_ = nullptr;
  bound_ = 0;
}

bool MmcCore::BindAspi(AspiSend send) {
  UnloadAspi();
  if (!send) return false;
  sendCommand_ = std::move(send);
  writeAddress = 0;
  bound_ = 1;
  SetDevice(255, 255, 255);
  return true;
}

void MmcCore::SetDevice(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun) {
  device_ = {hostAdapter, target, lun};
}

void MmcCore::FillRequestBlock(const ExecRequest& request) {
  std::memset(&srb_, 0, sizeof srb_);
  srb_.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb_.SRB_HaId = request.address.hostAdapter;
  srb_.SRB_Flags = request.flags;
  srb_.SRB_Target = request.address.target;
  srb_.SRB_Lun = request.address.lun;
  srb_.SRB_BufLen = request.length;
  srb_.SRB_BufPointer = request.buffer;
  srb_.SRB_SenseLen = SENSE_LEN;
  srb_.SRB_CDBLen = request.cdbLength;
  srb_.SRB_PostProc = request.event;
  std::memcpy(srb_.CDBByte, cdb_.data(), cdb_.size());
}

std::uint8_t MmcCore::ExecuteCdb(std::uint8_t* buffer, std::uint32_t length, std::uint8_t flags) {
  if (!sendCommand_) {
    lastFailure_ = {cdb_, kStatusNotBound, 0, std::nullopt, lastFailure_.serial + 1};
    return kStatusNotBound;
  }
  FillRequestBlock({device_, flags, buffer, length, 12, &requestEvent_});
  // A layer may set the event even for a request it completed at once; a
  // stale signal must not end the wait for the next request early.
  requestEvent_.Clear();
  WaitForCompletion(sendCommand_(&srb_), srb_, requestEvent_);
  const std::uint8_t status = FinalStatus(srb_);
  if (status != SS_COMP) RecordFailure(status);
  return status;
}

void MmcCore::RecordFailure(std::uint8_t status) {
  lastFailure_ = {cdb_, status, srb_.SRB_HaStat, std::nullopt, lastFailure_.serial + 1};
  if (srb_.SRB_TargStat == STATUS_CHKCOND) {
    // Fixed-format sense data (SPC): key in byte 2, ASC and ASCQ in 12-13.
    lastFailure_.sense = SenseCode{static_cast<std::uint8_t>(srb_.SenseArea[2] & 0x0F),
                                   srb_.SenseArea[12], srb_.SenseArea[13]};
  }
}

bool MmcCore::Issue(const Cdb& cdb, std::uint8_t* buffer, std::uint32_t length,
                    std::uint8_t flags) {
  Stage(cdb);
  return ExecuteCdb(buffer, length, flags) == SS_COMP;
}

bool MmcCore::TestUnitReady() { return Issue(TestUnitReadyCdb(), nullptr, 0, kFlagsDataIn); }

bool MmcCore::HostAdapterInquiry(std::span<std::uint8_t, 50> out) {
  if (!sendCommand_) return false;
  SRB_HAInquiry inquiry{};
  inquiry.SRB_Cmd = SC_HA_INQUIRY;
  inquiry.SRB_Flags = SRB_EVENT_NOTIFY;
  sendCommand_(&inquiry);
  if (inquiry.SRB_Status != SS_COMP) return false;
  std::memcpy(out.data(), &inquiry.HA_Count, out.size());
  return true;
}

bool MmcCore::GetDeviceType(std::uint8_t& deviceType) {
  TestUnitReady();
  if (!sendCommand_) return false;
  SRB_GDEVBlock request{};
  request.SRB_Cmd = SC_GET_DEV_TYPE;
  request.SRB_HaId = device_.hostAdapter;
  request.SRB_Target = device_.target;
  request.SRB_Lun = device_.lun;
  sendCommand_(&request);
  if (request.SRB_Status != SS_COMP) return false;
  deviceType = request.SRB_DeviceType;
  return true;
}

SenseCode MmcCore::LastSense() const {
  if (srb_.SRB_Status != SS_ERR || srb_.SRB_TargStat != STATUS_CHKCOND) return {};
  // Fixed-format sense data: the key in byte 2, ASC and ASCQ in bytes 12-13.
  return {static_cast<std::uint8_t>(srb_.SenseArea[2] & 0x0F), srb_.SenseArea[12], srb_.SenseArea[13]};
}

std::uint8_t MmcCore::Inquiry(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun,
                              char* description) {
  if (!sendCommand_) return kStatusNotBound;
  constexpr std::uint8_t kAllocation = 36;
  Stage(InquiryCdb(kAllocation));
  std::uint8_t data[kAllocation] = {};
  platform::Event done(platform::Event::Reset::Auto);
  FillRequestBlock({{hostAdapter, target, lun}, kFlagsDataIn, data, kAllocation, 6, &done});
  WaitForCompletion(sendCommand_(&srb_), srb_, done);
  if (srb_.SRB_Status == SS_COMP) {
    // Vendor (8), product (16) and the first three revision characters,
    // taken as they are.
    std::memcpy(description, data + 8, 27);
    description[27] = '\0';
  }
  return srb_.SRB_Status;
}

}  // namespace scrivo
