#pragma once
// Worker threads. A worker that cannot be started is reported as a failure
// rather than an exception, so callers can take their failure path.

#include <functional>
#include <thread>

namespace platform {

class WorkerThread {
 public:
  WorkerThread() = default;
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts `body` on a new thread. A previous, finished worker is joined
  // first. Returns false when the thread cannot be created.
  bool Start(std::function<void()> body);
  // Waits for the worker to end (no-op when none was started).
  void Join();
  bool Joinable() const { return thread_.joinable(); }

 private:
  std::thread thread_;
};

namespace testing {
// Makes the next WorkerThread::Start fail as if the system refused a thread.
void FailNextThreadStart();
}  // namespace testing

}  // namespace platform
