#pragma once
// What the burn and the jobs need from the control that owns them. The
// control implements it; tests provide their own.

#include <cstdint>

#include "engine/drive/feature_flags.h"
#include "engine/iso/report_sink.h"

namespace scrivo {

struct VerifyResult;

class EngineHost : public ReportSink {
 public:
  // The FeatureFlags word of the selected writer.
  virtual FeatureFlags WriterFeatures() const = 0;
  // Posts a worker-to-control window message (lParam is always 0).
  virtual void PostJobMessage(std::uint32_t message, std::uintptr_t wParam) = 0;
  // What the read-back of a session found (a burn that verifies, a verify
  // job), before the job's end is posted.
  virtual void ReportVerify(const VerifyResult&) {}

 protected:
  ~EngineHost() = default;
};

// Worker-to-control window messages.
constexpr std::uint32_t WM_USER = 0x0400;
constexpr std::uint32_t WM_JOB_PROGRESS = WM_USER + 8;      // 1032, per mille in wParam
constexpr std::uint32_t WM_BURN_FINISHED = WM_USER + 9;     // 1033
constexpr std::uint32_t WM_FIFO_LEVEL = WM_USER + 10;       // 1034, the FIFO's fill in per cent
constexpr std::uint32_t WM_BLANK_FINISHED = WM_USER + 500;  // 1524
constexpr std::uint32_t WM_CLOSE_FINISHED = WM_USER + 501;  // 1525
constexpr std::uint32_t WM_IMAGE_FINISHED = WM_USER + 520;  // 1544, an image file was saved
// wParam of WM_BURN_FINISHED for the burn of an image file: the compilation
// was not burned and is kept.
constexpr std::uintptr_t kImageFileBurned = 1;

}  // namespace scrivo
