#include "engine/control/job_failure.h"

namespace scrivo {

JobFailure JobFailure::OfBurn(const BurnFailure& failure) {
  JobFailure job;
  job.job = JobKind::Burn;
  job.reason = failure.Describe();
  job.step = failure.StepName();
  job.command = failure.command;
  job.path = failure.sourcePath;
  job.error = failure.sourceError;
  job.blocksWritten = failure.blocksWritten;
  job.disc = failure.disc;
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

JobFailure JobFailure::NoThread(JobKind kind) {
  JobFailure job;
  job.job = kind;
  job.step = "start";
  job.reason = "The engine could not start the job. Nothing was sent to the writer.";
  return job;
}

}  // namespace scrivo
