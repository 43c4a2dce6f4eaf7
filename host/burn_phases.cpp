#include "host/burn_phases.h"

#include <algorithm>

namespace quillon {

BurnPhases::Step BurnPhases::OnProgress(int percent) {
  if (verifying_ || (verifyExpected_ && closing_ && reached_ >= 100)) {
    verifying_ = true;
    return {kVerifying, percent};
  }
  // The 90 that starts the closing comes after the writing reached it, or
  // after a cancel cut the writing short.
  if (!closing_ && percent == kClosingMark && reached_ >= kFirstWrite &&
      (percent <= reached_ || cancelRequested_)) {
    closing_ = true;
  }
  reached_ = std::max(reached_, percent);
  if (closing_) return {kClosing, reached_};
  if (percent < kFirstWrite) return {kPreparing, percent};
  written_ = reached_;
  return {kWriting, reached_};
}

double BurnPhases::writtenShare() const {
  return std::clamp((written_ - kFirstWrite) / double(kAllWritten - kFirstWrite), 0.0, 1.0);
}

}  // namespace quillon
