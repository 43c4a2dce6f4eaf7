#include "platform/kernel/thread.h"

#include <atomic>
#include <system_error>

namespace platform {
namespace {
std::atomic<bool> g_failNextStart{false};
}

namespace testing {
void FailNextThreadStart() { g_failNextStart = true; }
}  // namespace testing

WorkerThread::~WorkerThread() { Join(); }

bool WorkerThread::Start(std::function<void()> body) {
  Join();
  if (g_failNextStart.exchange(false)) return false;
  try {
    thread_ = std::thread(std::move(body));
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void WorkerThread::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

}  // namespace platform
