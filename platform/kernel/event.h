#pragma once
// Win32-style events: manual-reset (stays signalled until reset) and
// auto-reset (a successful wait consumes the signal).

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace platform {

class Event {
 public:
  enum class Reset { Manual, Auto };

  explicit Event(Reset mode, bool initiallySignalled = false)
      : mode_(mode), signalled_(initiallySignalled) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Clear();  // ResetEvent
  // Waits until signalled or the timeout passes; no timeout waits forever.
  // A zero timeout only tests the state. Returns true when signalled.
  bool Wait(std::optional<std::chrono::milliseconds> timeout = std::nullopt);
  bool IsSignalled() { return Wait(std::chrono::milliseconds(0)); }

 private:
  const Reset mode_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_;
};

}  // namespace platform
