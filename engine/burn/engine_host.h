#pragma once
// What the engine's inner parts (image builder, jobs) need from the control
// that owns them. The control implements it; tests provide their own.

#include <cstdint>
#include <string_view>

namespace scrivo {

class EngineHost {
 public:
  // The control's single diagnostic hook: shows nothing, changes nothing.
  virtual void ReportError(std::string_view text) = 0;
  // The FeatureFlags word of the selected writer.
  virtual std::uint16_t FeatureFlags() const = 0;
  // Posts a worker-to-control window message (lParam is always 0).
  virtual void PostJobMessage(std::uint32_t message, std::uintptr_t wParam) = 0;

 protected:
  ~EngineHost() = default;
};

// Worker-to-control window messages.
constexpr std::uint32_t WM_USER = 0x0400;
constexpr std::uint32_t WM_JOB_PROGRESS = WM_USER + 8;      // 1032, per mille in wParam
constexpr std::uint32_t WM_BURN_FINISHED = WM_USER + 9;     // 1033
constexpr std::uint32_t WM_BLANK_FINISHED = WM_USER + 500;  // 1524

}  // namespace scrivo
