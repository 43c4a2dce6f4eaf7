#pragma once
// The engine control as the burner commands use it: created and bound the
// way the desktop application binds it, called by member name through its
// dispatch interface, its notices taken from the message loop.

#include <chrono>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "host/control_host.h"
#include "host/entry_handover.h"
#include "platform/automation/variant.h"

namespace quillon {

class ControlSession {
 public:
  // Creates the control and calls InitControl; says why on failure.
  bool Open();

  platform::Variant Get(std::string_view name) {
    return Invoke(name, platform::InvokeKind::PropertyGet, {});
  }
  platform::Variant Call(std::string_view name, std::vector<platform::Variant> args = {}) {
    return Invoke(name, platform::InvokeKind::Method, std::move(args));
  }
  void Set(std::string_view name, platform::Variant value) {
    Invoke(name, platform::InvokeKind::PropertyPut, {std::move(value)});
  }
  long Number(std::string_view name);
  bool Flag(std::string_view name);
  std::string Text(std::string_view name);

  // Runs the message loop, waiting up to `timeout` for the first message.
  std::deque<HostNotice> Pump(std::chrono::milliseconds timeout) { return host_.Pump(timeout); }
  // The engine's failure texts that arrived since the last call; message
  // boxes it showed go to standard error.
  std::vector<std::string> TakeEngineTexts();
  // Hands the compilation entries over (a folder's path ends in "/") and
  // collects what the engine refused; message boxes go to standard error.
  HandOverResult HandOver(const std::vector<std::string>& entries);
  // Whether a job still runs: the control refuses a member that touches the
  // drive with "Drive is busy" while one does. Other notices that arrive
  // meanwhile are added to `arrived`.
  bool JobRunning(std::deque<HostNotice>& arrived);

 private:
  platform::Variant Invoke(std::string_view name, platform::InvokeKind kind,
                           std::vector<platform::Variant> args);
  ControlHost host_;
};

}  // namespace quillon
