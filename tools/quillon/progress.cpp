#include "tools/quillon/progress.h"

#include <algorithm>

namespace quillon {
namespace {

constexpr std::size_t kBarWidth = 40;
constexpr std::size_t kPhaseWidth = 20;

}  // namespace

void ProgressView::Show(std::string_view phase, int percent) {
  percent = std::clamp(percent, 0, 100);
  const bool newPhase = phase != phase_;
  if (!newPhase && percent <= shown_) return;
  if (newPhase) buffer_ = -1;
  phase_ = phase;
  shown_ = percent;
  Draw();
}

void ProgressView::ShowBuffer(int percent) {
  buffer_ = std::clamp(percent, 0, 100);
  if (terminal_ && lineOpen_) Draw();
}

void ProgressView::Draw() {
  const std::string buffer = buffer_ < 0 ? "" : "  buffer " + std::to_string(buffer_) + "%";
  if (!terminal_) {
    out_ << phase_ << ' ' << shown_ << " %" << buffer << '\n' << std::flush;
    return;
  }
  const std::size_t filled = static_cast<std::size_t>(shown_) * kBarWidth / 100;  // shown_ is 0..100
  std::string label = phase_;
  label.resize(std::max(label.size(), kPhaseWidth), ' ');
  out_ << '\r' << label << " [" << std::string(filled, '#') << std::string(kBarWidth - filled, ' ')
       << "] " << shown_ << " %" << buffer << "    " << std::flush;
  lineOpen_ = true;
}

void ProgressView::EndLine() {
  if (!lineOpen_) return;
  out_ << '\n' << std::flush;
  lineOpen_ = false;
}

}  // namespace quillon
