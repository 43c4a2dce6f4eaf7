// Erasing a rewritable CD and the commands of a DVD+RW format: started in
// immediate mode, then followed through the drive's readiness and the
// progress indication of its sense data.

#include <array>

#include "engine/drive/drive_progress.h"
#include "engine/drive/mmc_core.h"
#include "platform/bytes/byte_order.h"
#include "platform/kernel/clock.h"

namespace scrivo {
namespace {

constexpr std::uint8_t kSenseReplyLength = 200;
constexpr std::size_t kProgressIndication = 16;  // sense bytes 16-17

}  // namespace

bool MmcCore::GetProgress(std::uint32_t* progress, std::uint32_t* busy) {
  if (TestUnitReady()) {
    if (busy) *busy = 0;
    return true;
  }
  if (busy) *busy = 1;
  std::array<std::uint8_t, kSenseReplyLength> sense{};
  if (!Issue(RequestSenseCdb(kSenseReplyLength), sense, kFlagsDataIn)) return false;
  // Read whatever the sense key and SKSV say: a drive that is no longer busy
  // has answered TEST UNIT READY already.
  if (progress) *progress = bytes::GetBE16(sense.data() + kProgressIndication);
  return true;
}

bool MmcCore::BlankDisc(BlankKind kind, const ProgressSink& progressSink) {
  TestUnitReady();
  if (!Issue(BlankCdb(kind), nullptr, 0, kFlagsDataIn)) return false;
  std::uint32_t busy = 1;
  std::uint32_t progress = 0;
  // A poll whose REQUEST SENSE failed keeps the last progress and is tried
  // again at the next interval; only failures in a row end the job.
  int failedInARow = 0;
  for (std::uint32_t poll = 0; busy == 1; ++poll) {
    if (poll == kBlankPolling.maxPolls) return false;  // the blank never ended
    if (!GetProgress(&progress, &busy)) {
      if (++failedInARow == kJudgingReadTries) return false;
      platform::Sleep(kBlankPolling.intervalMs);
      continue;
    }
    failedInARow = 0;
    // The poll that finds the drive ready posts the last value read while busy.
    progressSink(ProgressPerMille(progress));
    platform::Sleep(kBlankPolling.intervalMs);
  }
  SynchronizeCache();
  return true;
}

bool MmcCore::FormatDvdPlusRw() {
  TestUnitReady();
  auto list = kDvdPlusRwFormatList;
  return Issue(FormatUnitCdb(), list, kFlagsDataOut);
}

bool MmcCore::StopBackgroundFormat() { return CloseAndWait(CloseFunction::Session); }

}  // namespace scrivo
