// The DVD+RW format as the DVD blank job runs it: FORMAT UNIT in immediate
// mode, then one polling cycle a second until the format has run through,
// with fixed progress marks in every cycle so the host sees the job alive
// even while the drive reports nothing.

#include "engine/drive/drive_progress.h"
#include "engine/drive/mmc_core.h"
#include "platform/kernel/clock.h"

namespace scrivo {
namespace {

constexpr std::uint32_t kCycleStartMark = 100;
constexpr std::uint32_t kCyclePolledMark = 300;
constexpr std::uint32_t kDoneMark = 1000;
constexpr std::uint32_t kSettlePauseMs = 2000;

enum class FormatEnd { DriveReady, ProgressWrapped, TimedOut };

}  // namespace

bool MmcCore::RunDvdPlusRwFormat(const ProgressSink& report) {
  if (!FormatDvdPlusRw()) return false;
  report(0);
  std::uint32_t progress = 0;
  std::uint32_t busy = 0;
  bool progressSeen = false;
  FormatEnd end = FormatEnd::TimedOut;
  for (std::uint32_t cycle = 0; cycle < kDvdPlusRwFormatPolling.maxPolls; ++cycle) {
    report(kCycleStartMark);
    // A failed poll keeps the previous cycle's values.
    GetProgress(&progress, &busy);
    platform::Sleep(kDvdPlusRwFormatPolling.intervalMs);
    report(kCyclePolledMark);
    // A progress indication that has been above 0 and is back at 0 means
    // the format has run through, even while the drive still reports busy.
    if (progressSeen && progress == 0) {
      end = FormatEnd::ProgressWrapped;
      break;
    }
    if (progress > 0) progressSeen = true;
    report(ProgressPerMille(progress));
    if (busy != 1) {
      end = FormatEnd::DriveReady;
      break;
    }
  }
  if (end == FormatEnd::TimedOut) return false;
  // The format goes on in the background once the drive reports ready; it
  // is ended compatibly, never quick-stopped, so the disc reads elsewhere.
  if (end == FormatEnd::DriveReady) StopBackgroundFormat();
  platform::Sleep(kSettlePauseMs);
  report(kDoneMark);
  return true;
}

}  // namespace scrivo
