#pragma once
// Posted window messages. A window belongs to the thread that created it;
// messages posted to it from any thread are handled on that thread, in post
// order, when the thread pumps its message loop.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace platform {

using HWND = std::uint32_t;
constexpr HWND kNoWindow = 0;

class WindowHandler {
 public:
  virtual void HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;

 protected:
  ~WindowHandler() = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Creates a window on the calling thread's loop.
HWND CreateWindowFor(WindowHandler* handler, Rect rect = {});
// Messages still queued for a destroyed window are dropped.
void DestroyWindow(HWND window);
// Thread-safe. False when the window does not exist.
bool PostMessage(HWND window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
// Placement without z-order change or activation.
void SetWindowRect(HWND window, Rect rect);
Rect GetWindowRect(HWND window);

class MessageLoop {
 public:
  static MessageLoop& ForThisThread();

  // Handles every message queued now; returns how many.
  std::size_t DispatchPending();
  // Waits up to `timeout` (real time) for a message, then handles what is
  // queued. Returns true when at least one message was handled.
  bool WaitAndDispatch(std::chrono::milliseconds timeout);
  // Called (on the posting thread) whenever a message is queued, so a host
  // with its own event loop can schedule DispatchPending on this thread.
  void SetWakeHandler(std::function<void()> wake);

  struct Message {
    HWND window;
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
  };
  void Enqueue(const Message& message);

 private:
  bool TakeOne(Message& out);
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<Message> queue_;
  std::function<void()> wake_;
};

}  // namespace platform
