#include "engine/control/job_failure.h"

namespace scrivo {

JobFailure JobFailure::OfBurn(const BurnFailure& failure, JobKind kind) {
  JobFailure job;
  job.job = kind;
  job.reason = failure.Describe();
  job.step = failure.StepName();
  job.command = failure.command;
  job.path = failure.sourcePath;
  job.error = failure.sourceError;
  job.blocksWritten = failure.blocksWritten;
  job.disc = failure.disc;
  return job;
}

JobFailure JobFailure::OfImageSave(const ImageSaveFailure& failure) {
  JobFailure job;
  job.job = JobKind::ImageFile;
  job.reason = failure.reason;
  job.step = failure.step;
  job.path = failure.path;
  job.error = failure.error;
  return job;
}

JobFailure JobFailure::OfDriveJob(JobKind kind, const std::optional<CommandFailure>& command) {
  JobFailure job;
  job.job = kind;
  job.step = kind == JobKind::DvdFormat ? "format" : "blank";
  job.command = command;
  const std::string what = kind == JobKind::DvdFormat ? "format" : "erase";
  if (command) {
    const std::string sense = command->SenseText();
    job.reason = "The writer refused " + command->CommandName() + ": " + command->Meaning() +
                 (sense.empty() ? "" : " (" + sense + ")") + ".";
  } else {
    job.reason = "The writer did not finish the " + what + " in time.";
  }
  // A refused start changed nothing; blanking and formatting overwrite the
  // disc as they run, so one that stopped part way leaves a disc to do
  // again before it is written.
  const bool refusedAtStart = command && (command->cdb[0] == BlankCdb(BlankKind::Full)[0] ||
                                          command->cdb[0] == FormatUnitCdb()[0]);
  job.disc = refusedAtStart ? DiscAfterFailure::Untouched : DiscAfterFailure::SessionLeftOpen;
  job.reason += refusedAtStart ? " Nothing was changed on the disc."
                               : " Run the " + what + " again before the disc is written.";
  return job;
}

JobFailure JobFailure::OfVerify(std::string reason, const std::optional<CommandFailure>& command) {
  JobFailure job;
  job.job = JobKind::Verify;
  job.step = "verify";
  job.reason = std::move(reason);
  job.command = command;
  return job;
}

JobFailure JobFailure::OfSessionClose(MmcCore::SessionCloseEnd end, const std::optional<CommandFailure>& command) {
  using End = MmcCore::SessionCloseEnd;
  JobFailure job;
  job.job = JobKind::SessionClose;
  job.command = command;
  const std::string refused =
      command ? " (" + command->CommandName() + ": " + command->Meaning() +
                    (command->SenseText().empty() ? "" : ", " + command->SenseText()) + ")"
              : "";
  switch (end) {
    case End::NoOpenSession:
      job.step = "check session";
      job.command.reset();
      job.reason = "The disc has no open session: there is nothing to close. Nothing was sent to it.";
      break;
    case End::StateUnreadable:
      job.step = "read disc state";
      job.reason = "The writer could not tell the disc's state" + refused + ". Nothing was sent to it.";
      break;
    case End::WriteParametersRefused:
      job.step = "set write parameters";
      job.reason = "The writer did not take the write parameters" + refused +
                   ". Nothing was sent that changes the disc.";
      break;
    case End::Closed:
    case End::Failed:
      job.step = "close session";
      job.reason = "The writer did not close the session" + refused +
                   ": the disc still shows it open. Try again, or in another writer.";
      job.disc = DiscAfterFailure::SessionLeftOpen;
      break;
  }
  return job;
}

JobFailure JobFailure::NoThread(JobKind kind) {
  JobFailure job;
  job.job = kind;
  job.step = "start";
  job.reason = "The engine could not start the job. Nothing was sent to the writer.";
  return job;
}

}  // namespace scrivo
