#include "engine/burn/write_progress.h"

#include "engine/burn/engine_host.h"
#include "engine/burn/read_ahead.h"

namespace scrivo {

void WriteProgress::CountBlock() {
  ++written_;
  if (++inPass_ % kCadence == 0) Post();
}

void WriteProgress::Post() {
  if (total_ == 0) return;
  const auto value = static_cast<std::uint32_t>(kStart + written_ * kSpan / total_);
  if (value == last_) return;
  last_ = value;
  host_.PostJobMessage(WM_JOB_PROGRESS, value);
  if (fifo_ == nullptr) return;
  if (const std::uint32_t fill = fifo_->FillPercent(); fill != lastFill_) {
    lastFill_ = fill;
    host_.PostJobMessage(WM_FIFO_LEVEL, fill);
  }
}

}  // namespace scrivo
