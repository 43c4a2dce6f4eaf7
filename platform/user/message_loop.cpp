#include "platform/user/message_loop.h"

#include <map>
#include <memory>

namespace platform {
namespace {

struct WindowRecord {
  WindowHandler* handler;
  MessageLoop* loop;
  Rect rect;
};

std::mutex g_windowsMutex;
std::map<HWND, WindowRecord> g_windows;
HWND g_nextWindow = 1;

}  // namespace

MessageLoop& MessageLoop::ForThisThread() {
  thread_local MessageLoop loop;
  return loop;
}

HWND CreateWindowFor(WindowHandler* handler, Rect rect) {
  std::lock_guard lock(g_windowsMutex);
  HWND window = g_nextWindow++;
  g_windows[window] = {handler, &MessageLoop::ForThisThread(), rect};
  return window;
}

void DestroyWindow(HWND window) {
  std::lock_guard lock(g_windowsMutex);
  g_windows.erase(window);
}

bool PostMessage(HWND window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  MessageLoop* loop = nullptr;
  {
    std::lock_guard lock(g_windowsMutex);
    auto it = g_windows.find(window);
    if (it == g_windows.end()) return false;
    loop = it->second.loop;
  }
  loop->Enqueue({window, message, wParam, lParam});
  return true;
}

void SetWindowRect(HWND window, Rect rect) {
  std::lock_guard lock(g_windowsMutex);
  if (auto it = g_windows.find(window); it != g_windows.end()) it->second.rect = rect;
}

Rect GetWindowRect(HWND window) {
  std::lock_guard lock(g_windowsMutex);
  auto it = g_windows.find(window);
  return it == g_windows.end() ? Rect{} : it->second.rect;
}

void MessageLoop::Enqueue(const Message& message) {
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(message);
    wake = wake_;
  }
  posted_.notify_all();
  if (wake) wake();
}

void MessageLoop::SetWakeHandler(std::function<void()> wake) {
  std::lock_guard lock(mutex_);
  wake_ = std::move(wake);
}

bool MessageLoop::TakeOne(Message& out) {
  std::lock_guard lock(mutex_);
  if (queue_.empty()) return false;
  out = queue_.front();
  queue_.pop_front();
  return true;
}

std::size_t MessageLoop::DispatchPending() {
  std::size_t handled = 0;
  Message message{};
  while (TakeOne(message)) {
    WindowHandler* handler = nullptr;
    {
      std::lock_guard lock(g_windowsMutex);
      auto it = g_windows.find(message.window);
      if (it != g_windows.end()) handler = it->second.handler;
    }
    if (!handler) continue;
    handler->HandleMessage(message.message, message.wParam, message.lParam);
    ++handled;
  }
  return handled;
}

bool MessageLoop::WaitAndDispatch(std::chrono::milliseconds timeout) {
  {
    std::unique_lock lock(mutex_);
    posted_.wait_for(lock, timeout, [this] { return !queue_.empty(); });
  }
  return DispatchPending() > 0;
}

}  // namespace platform
