// The job members: each checks that no job runs, marks the control busy and
// starts one worker, which clears the busy state as its last step.

#include "engine/control/scrivo_ctrl.h"

namespace scrivo {

bool CScrivoCtrl::StartJob(void (CScrivoCtrl::*job)()) {
  if (busyEvent_.IsSignalled()) {
    ReportError("Drive is busy");
    return false;
  }
  busyEvent_.Set();
  bool started = worker_.Start([this, job] {
    (this->*job)();
    busyEvent_.Clear();
  });
  if (!started) {
    busyEvent_.Clear();
    ReportError("Unable to create thread");
  }
  return started;
}

void CScrivoCtrl::BurnCDData(bool bMultiSession) {
  burnMode_ = bMultiSession ? BurnMode::CdMultiSession : BurnMode::CdSingleSession;
  StartJob(&CScrivoCtrl::BurnJob);
}

void CScrivoCtrl::BurnDVDData() {
  burnMode_ = BurnMode::Dvd;
  StartJob(&CScrivoCtrl::BurnJob);
}

void CScrivoCtrl::Blank(bool bFull) {
  if (busyEvent_.IsSignalled()) {
    ReportError("Drive is busy");
    return;
  }
  fullBlank_ = bFull ? 1 : 0;
  StartJob(&CScrivoCtrl::BlankJob);
}

void CScrivoCtrl::BlankDVD() { StartJob(&CScrivoCtrl::DvdBlankJob); }

void CScrivoCtrl::CancelBurning() { cancelEvent_.Set(); }

// The jobs' bodies come with the recording, blanking and streaming parts of
// the engine; until then every job ends as a failure, with no event.
void CScrivoCtrl::BurnJob() { ReportError("Unable to burn image."); }

void CScrivoCtrl::BlankJob() { ReportError("Unable to blank disk."); }

void CScrivoCtrl::DvdBlankJob() {}

}  // namespace scrivo
