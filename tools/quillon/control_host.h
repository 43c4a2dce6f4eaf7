#pragma once
// Hosts the engine control the way the desktop application does: created by
// class id through the registry, driven through its dispatch interface,
// events received through the message loop of this thread.

#include <deque>
#include <memory>
#include <vector>
#include <functional>
#include <mutex>
#include <string>

#include "platform/automation/com.h"

namespace quillon {

// One thing the host learned: an event, an engine failure text, or a
// message box the engine showed.
struct HostNotice {
  enum class Kind { Event, EngineError, JobFailed, MessageBox } kind;
  std::string name;  // event name, or the text
  std::vector<platform::Variant> args;
};

class ControlHost {
 public:
  ControlHost();
  ~ControlHost();
  ControlHost(const ControlHost&) = delete;
  ControlHost& operator=(const ControlHost&) = delete;

  // Creates the control; on failure returns the error.
  platform::HRESULT Create();
  platform::IDispatch& Control() { return *control_.get(); }

  // Handles what the message loop holds, waiting up to `timeout` for the
  // first message; returns the notices that arrived, in order.
  std::deque<HostNotice> Pump(std::chrono::milliseconds timeout);

  // Called on this thread for a notice from any thread.
  void Notify(HostNotice notice);

 private:
  class EventSink;
  class DiagnosticsSink;
  // Advises `sink` on the control's outgoing interface `iid`.
  void Connect(const platform::IID& iid, platform::IDispatch* sink);

  platform::ComPtr<platform::IDispatch> control_;
  std::unique_ptr<EventSink> eventSink_;
  std::unique_ptr<DiagnosticsSink> diagnosticsSink_;
  std::vector<std::pair<platform::ComPtr<platform::IConnectionPoint>, std::uint32_t>> connections_;
  std::mutex mutex_;
  std::deque<HostNotice> notices_;
};

}  // namespace quillon
