#pragma once
// A control hosted the way a host does it: created through its class
// factory, its events advised to a recording sink, its failure texts and
// message boxes captured. Events arrive when the test pumps the loop.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/control/scrivo_ctrl.h"
#include "platform/automation/event_sink.h"
#include "tests/support/capturing_ui.h"

namespace testsupport {

struct FiredEvent {
  platform::DISPID id;
  std::vector<platform::Variant> args;
  friend bool operator==(const FiredEvent&, const FiredEvent&) = default;
};

class RecordingSink final : public platform::EventSink {
 public:
  std::vector<FiredEvent> events;

 private:
  void OnEvent(platform::DISPID id, std::span<const platform::Variant> args) override {
    events.push_back({id, {args.begin(), args.end()}});
  }
};

class ControlFixture : public ::testing::Test {
 protected:
  ControlFixture();
  ~ControlFixture() override;

  // Handles every message posted to the control so far.
  void Pump();
  // Failure texts handed to ReportError, in order.
  std::vector<std::string> Errors();

  scrivo::CScrivoCtrl& control() { return *control_; }
  bool HasControl() const { return control_ != nullptr; }
  // Drops the host's reference, as a host closing its window does.
  void ReleaseControl();
  platform::HRESULT Invoke(platform::DISPID id, platform::InvokeKind kind, std::vector<platform::Variant> args,
                           platform::Variant* result = nullptr);

  CapturingUserInterface ui;
  RecordingSink sink;

 private:
  scrivo::CScrivoCtrl* control_ = nullptr;
  std::uint32_t cookie_ = 0;
  std::mutex errorsMutex_;
  std::vector<std::string> errors_;
};

}  // namespace testsupport
