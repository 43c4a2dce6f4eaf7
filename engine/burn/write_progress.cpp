#include "engine/burn/write_progress.h"

#include "engine/burn/engine_host.h"

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
}

}  // namespace scrivo
