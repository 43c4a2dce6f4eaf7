#pragma once
// What every host of the engine control needs: the control created by class
// id through the registry, its events and diagnostics received as notices on
// the host's thread, and the message loop that delivers them. The
// command-line host pumps the loop itself and collects the notices; the
// desktop application runs the loop from its own and takes each notice as it
// is dispatched.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/automation/com.h"

namespace quillon {

// One thing the host learned: an event, an engine failure text, the end of
// a job that failed, an entry the engine refused, a message box the engine
// showed, what a read-back of the disc found, or how full the burn's buffer
// is (args[0], per cent).
struct HostNotice {
  enum class Kind {
    Event,
    EngineError,
    EngineNotice,
    JobFailed,
    EntryRefused,
    MessageBox,
    VerifyMismatch,
    VerifyFinished,
    BufferLevel,
  } kind;
  // event name, the text, why a job failed or an entry was refused, what differs
  std::string name;
  std::vector<platform::Variant> args;
  platform::DISPID id = 0;  // an event's dispatch id
};

// Who shows the engine's message boxes and takes its debug channel.
enum class HostServices {
  // The host: message boxes become notices, and QUILLON_DEBUG=1 prints the
  // debug channel on standard error.
  Notices,
  // The program: it installs its own before InitControl and removes them
  // after Release.
  Program,
};

class ControlHost {
 public:
  explicit ControlHost(HostServices services = HostServices::Notices);
  ~ControlHost();
  ControlHost(const ControlHost&) = delete;
  ControlHost& operator=(const ControlHost&) = delete;

  // Creates the control; on failure returns the error.
  platform::HRESULT Create();
  platform::IDispatch& Control() { return *control_.get(); }
  // The control's event interface as its class information names it; null
  // before Create or when the control has none.
  const platform::InterfaceDesc* EventInterface() const { return events_; }

  // From now on notices go to `receiver` as they arrive, on this thread,
  // instead of waiting in the queue that Pump empties.
  void SetReceiver(std::function<void(const HostNotice&)> receiver);

  // Handles what the message loop holds, waiting up to `timeout` for the
  // first message; returns the notices that arrived, in order.
  std::deque<HostNotice> Pump(std::chrono::milliseconds timeout);

  // Called on this thread for a notice from any thread.
  void Notify(HostNotice notice);

  // Disconnects and releases the control. Its destructor waits for a running
  // job, whose messages are dropped with its window.
  void Release();

 private:
  class EventSink;
  class DiagnosticsSink;
  // Advises `sink` on the control's outgoing interface `iid`.
  void Connect(const platform::IID& iid, platform::IDispatch* sink);

  HostServices services_;
  platform::ComPtr<platform::IDispatch> control_;
  const platform::InterfaceDesc* events_ = nullptr;
  std::unique_ptr<EventSink> eventSink_;
  std::unique_ptr<DiagnosticsSink> diagnosticsSink_;
  std::vector<std::pair<platform::ComPtr<platform::IConnectionPoint>, std::uint32_t>> connections_;
  std::function<void(const HostNotice&)> receiver_;
  std::mutex mutex_;
  std::deque<HostNotice> notices_;
};

}  // namespace quillon
