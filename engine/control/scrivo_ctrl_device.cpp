// The control's members that reach the selected writer, and the snapshot of
// its capabilities and disc that the read-only device properties show.

#include "engine/control/scrivo_ctrl.h"
#include "engine/drive/cd_speed.h"

namespace scrivo {
namespace {

// The snapshot keeps 16 bits of each value, as hosts of the control have
// always read them (a speed above 32767 kB/s reads back negative).
std::int16_t Cache16(std::int32_t value) { return static_cast<std::int16_t>(value); }

}  // namespace

std::int16_t CScrivoCtrl::CountWriters() { return Cache16(drive_.CountWriters()); }

std::int16_t CScrivoCtrl::MediaCount() {
  if (!initialized_ || RefuseWhileBusy()) return 0;
  // The scan puts the selected writer's address back when it ends.
  return CountWriters();
}

void CScrivoCtrl::SetCurrentDevice(std::int32_t nIndex) {
  if (!initialized_ || RefuseWhileBusy()) return;
  WriterEntry writer;
  // No writer at nIndex: the selection, its address and the snapshot stay.
  if (!drive_.GetWriter(nIndex, writer)) return;
  drive_.SetDevice(writer.hostAdapter, writer.target, writer.lun);
  haNum_ = writer.hostAdapter;
  targetId_ = writer.target;
  lun_ = writer.lun;
  deviceDescription_ = writer.description.data();
  RefreshDeviceInfo();
}

void CScrivoCtrl::RefreshDeviceInfo() {
  DriveCapabilities capabilities;
  if (!drive_.GetCapabilities(capabilities)) return;
  cdrWrite_ = Cache16(capabilities.cdrWrite);
  cdrwWrite_ = Cache16(capabilities.cdrwWrite);
  featureFlags_ = static_cast<std::uint16_t>(capabilities.featureFlags);
  multiSession_ = Cache16(capabilities.multiSession);
  maxReadSpeed_ = Cache16(capabilities.maxReadSpeed);
  maxWriteSpeed_ = Cache16(capabilities.maxWriteSpeed);

  DiscInfo disc;
  // No disc (or none readable): the disc snapshot keeps its old values.
  if (!drive_.GetDiscInfo(disc)) return;
  discBlank_ = Cache16(disc.blank);
  discClosed_ = Cache16(disc.closed);
  discErasable_ = Cache16(disc.erasable);
}

bool CScrivoCtrl::CDWriterUnitReady() {
  if (!initialized_ || RefuseWhileBusy()) return false;
  // Answered at once: the host's thread never waits for a disc being
  // recognised (a burn's own medium check waits for it).
  return drive_.TestUnitReady();
}

void CScrivoCtrl::EjectDisk() {
  if (!initialized_ || RefuseWhileBusy()) return;
  drive_.EjectDisc();
}

bool CScrivoCtrl::SetWriteSpeed(std::int16_t iSpeed) {
  // 0 (and a negative factor) asks for no speed: nothing is sent.
  const auto writeKbps = CdWriteSpeedFromFactor(iSpeed);
  if (!writeKbps || RefuseWhileBusy()) return false;
  return drive_.SetCdSpeed(kCdSpeedMaximum, *writeKbps);
}

bool CScrivoCtrl::SetDvdWriteSpeed(std::int16_t iSpeed) {
  if (iSpeed < 0 || RefuseWhileBusy()) return false;
  drive_.dvdWriteKbps = static_cast<std::uint32_t>(iSpeed) * kDvdSpeedFactorKbps;
  return true;
}

}  // namespace scrivo
