#pragma once
// Bounds of every wait for a drive. A drive that never becomes ready (a
// hung firmware, a disc it cannot finish) ends the operation as a failure
// after the limit instead of holding its thread forever. The limits are far
// above what a working drive needs, so they never cut a slow one short.

#include <cstdint>

namespace scrivo {

struct PollingLimit {
  std::uint32_t intervalMs;  // pause after each poll that found the drive busy
  std::uint32_t maxPolls;    // polls before giving up
};

// Readiness after SYNCHRONIZE CACHE and CLOSE TRACK/SESSION, both sent with
// Immed: writing a CD lead-out or finishing a DVD-R takes a few minutes at
// most, a flush of the drive's buffer well under a second. 15 minutes.
constexpr PollingLimit kSessionFinishWait{200, 4500};

// Readiness before GET PERFORMANCE: spin-up and medium recognition. 5 minutes.
constexpr PollingLimit kStreamingSetupWait{1000, 300};

// A drive recognising the disc just loaded: it answers "becoming ready"
// (02/04/01) for up to half a minute or so, then reports the medium change
// (06/28) once. The disc is not called missing or unreadable before this
// passes. A minute.
constexpr PollingLimit kMediumRecognitionWait{500, 120};
// "No medium" (02/3A) in the first seconds after the tray closes, before the
// drive has seen the disc spin. An empty drive is called empty after this.
// 5 seconds.
constexpr PollingLimit kMediumArrivalWait{500, 10};

// Readiness between retries of the first write after RESERVE TRACK, while
// the drive calibrates its laser power and lays out the track. 5 minutes.
constexpr PollingLimit kWriteRetryWait{2000, 150};

// Readiness between tries of a read of the previous session: a drive that
// answered "not ready" once (still settling after the disc was loaded or the
// tray closed) gets time before the read is tried again. 30 seconds.
constexpr PollingLimit kReadRetryWait{1000, 30};
// Tries of each such read before the burn gives up on the disc's contents.
constexpr int kPreviousSessionReadTries = 3;
// Tries of a read a job judges its outcome by (READ DISC INFORMATION after
// the session was closed, REQUEST SENSE while a blank runs), and of a
// closing command the drive refused: one refusal must not turn a finished
// job into a failed one, or leave a session open that a second try closes.
constexpr int kJudgingReadTries = 3;

// Progress polls of BLANK: a full blank of an 80-minute CD-RW at 1x takes
// about 80 minutes. 2 hours.
constexpr PollingLimit kBlankPolling{200, 36000};

// Cycles of the DVD+RW format: a full format of a 4.7 GB disc at the lowest
// speed takes well under an hour. 2 hours.
constexpr PollingLimit kDvdPlusRwFormatPolling{1000, 7200};

}  // namespace scrivo
