#pragma once
// The reason a job failed, as the control hands it to its host through
// JobFailed: the sentences for the user and the same facts as fields (the
// step, the drive's command and sense, the file and errno, the blocks
// written and what the disc holds now).

#include <cstdint>
#include <optional>
#include <string>

#include "engine/burn/burn_failure.h"
#include "engine/burn/image_file.h"
#include "engine/drive/command_failure.h"
#include "engine/drive/mmc_core.h"
#include "engine/typelib/scrivo_typelib.h"

namespace scrivo {

struct JobFailure {
  JobKind job = JobKind::Burn;
  std::string reason;
  std::string step;
  std::optional<CommandFailure> command;
  std::string path;
  int error = 0;
  std::uint64_t blocksWritten = 0;
  DiscAfterFailure disc = DiscAfterFailure::Untouched;

  static JobFailure OfBurn(const BurnFailure& failure, JobKind kind = JobKind::Burn);
  static JobFailure OfImageSave(const ImageSaveFailure& failure);
  // A blank or format that a drive command ended (or none, when the drive
  // never finished within the job's limit).
  static JobFailure OfDriveJob(JobKind job, const std::optional<CommandFailure>& command);
  // A session close that did not close the disc's session (or found none).
  static JobFailure OfSessionClose(MmcCore::SessionCloseEnd end, const std::optional<CommandFailure>& command);
  // A verify that found nothing to compare, and why.
  static JobFailure OfVerify(std::string reason, const std::optional<CommandFailure>& command);
  // A job that could not start.
  static JobFailure NoThread(JobKind job);
};

}  // namespace scrivo
