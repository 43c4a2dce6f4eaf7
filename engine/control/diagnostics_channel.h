#pragma once
// Delivers the engine's diagnostics to the host's thread: each failure text,
// each entry the compilation refused, the end of a job that failed, and the
// burn's buffer level, fired through _DScrivoDiagnostics in the
// order they happened. Texts may come from the worker; they are queued and
// a message to the channel's own window fires them on the host's thread,
// interleaved in post order with the control's events.

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "engine/burn/session_verify.h"

#include "engine/control/job_failure.h"
#include "engine/iso/entry_refusal.h"
#include "engine/typelib/scrivo_typelib.h"
#include "platform/automation/connection_point.h"
#include "platform/user/message_loop.h"

namespace scrivo {

class DiagnosticsChannel final : private platform::WindowHandler {
 public:
  // Created on the host's thread; `owner` is the control.
  explicit DiagnosticsChannel(platform::IUnknown& owner);
  ~DiagnosticsChannel();
  DiagnosticsChannel(const DiagnosticsChannel&) = delete;
  DiagnosticsChannel& operator=(const DiagnosticsChannel&) = delete;

  platform::ConnectionPoint& Point() { return point_; }

  // Thread-safe.
  void PostError(std::string_view text);
  void PostNotice(std::string_view text);
  // On the host's thread only: fired at once, right after the progress
  // event it went with, not behind the queued texts.
  void FireBufferLevel(std::int16_t percent);
  void PostJobFailed(JobFailure failure);
  void PostEntryRefused(EntryRefusal refusal);
  // VerifyMismatch for each finding, then VerifyFinished.
  void PostVerify(const VerifyResult& result);

 private:
  struct Notice {
    DiagnosticId id;
    std::string text;
    JobFailure failure;
    EntryRefusal refusal;
    std::vector<platform::Variant> args = {};  // the arguments, when given whole
  };
  void Post(Notice notice);
  void HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;

  platform::IUnknown& owner_;
  platform::ConnectionPoint point_;
  platform::HWND window_;
  std::mutex mutex_;
  std::deque<Notice> pending_;
};

}  // namespace scrivo
