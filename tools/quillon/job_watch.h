#pragma once
// Following a job of the control to its end: progress shown, the engine's
// texts printed, Ctrl-C handled as the job allows, and never a wait without
// end. A job that ends without its event and without the diagnostics
// report, or a worker that never started, is noticed within seconds: the
// control refuses a drive member with "Drive is busy" exactly while a job
// runs, so a few seconds without news are followed by that question.

#include "host/burn_phases.h"
#include "host/verify_report.h"
#include "tools/quillon/control_session.h"

namespace quillon {

// Ctrl-C: counted by a signal handler, taken by the commands.
void InstallInterruptHandler();
bool Interrupted();
int TakeInterrupts();

// Image: an image file saved (cancelled by Ctrl-C, which leaves no file).
// Verify: the control's VerifyDisc, which ends with VerifyFinished.
enum class JobType { Burn, Erase, Format, Close, Image, Verify };

struct JobResult {
  enum class End { Completed, Failed, Lost } end = End::Lost;
  bool cancelled = false;   // a burn's writing was cut short by Ctrl-C
  double writtenShare = 1;  // a burn: the share of the image written
  bool interrupted = false;  // Ctrl-C was pressed while the job ran
  std::size_t reports = 0;   // failure texts the engine reported while the job ran
  // The job failed on a command the writer refused as one that another
  // program's job holds (02/04/08): that program took it after quillon asked.
  bool writerInUse = false;
  // What the read-back found (a burn that verifies, a verify).
  VerifyReport verify = {};
};

// Follows the job just started; its progress and texts go to the event sink.
// `verify`: the burn reads its session back (VerifyAfterBurn is set).
JobResult WatchJob(ControlSession& session, JobType type, bool verify = false);

}  // namespace quillon
