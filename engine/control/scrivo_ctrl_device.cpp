// The control's members that reach the selected writer.

#include "engine/control/scrivo_ctrl.h"

namespace scrivo {

std::int16_t CScrivoCtrl::CountWriters() {
  // The writer scan is not part of the engine yet: no writer can be listed.
  ReportError("Writer scan is not available");
  return 0;
}

std::int16_t CScrivoCtrl::MediaCount() {
  if (!initialized_ || RefuseWhileBusy()) return 0;
  return CountWriters();
}

void CScrivoCtrl::SetCurrentDevice(std::int32_t) {
  if (!initialized_ || RefuseWhileBusy()) return;
  ReportError("Writer scan is not available");
}

void CScrivoCtrl::RefreshDeviceInfo() {}

bool CScrivoCtrl::CDWriterUnitReady() {
  if (!initialized_ || RefuseWhileBusy()) return false;
  return drive_.TestUnitReady();
}

void CScrivoCtrl::EjectDisk() {
  if (!initialized_ || RefuseWhileBusy()) return;
  ReportError("Eject is not available");
}

bool CScrivoCtrl::SetWriteSpeed(std::int16_t iSpeed) {
  if (iSpeed == 0 || RefuseWhileBusy()) return false;
  ReportError("Speed setting is not available");
  return false;
}

}  // namespace scrivo
