#pragma once
// A control hosted the way a host does it: created through its class
// factory, its events advised to a recording sink, its failure texts and
// message boxes captured. Events arrive when the test pumps the loop.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/control/scrivo_ctrl.h"
#include "tests/support/capturing_ui.h"

namespace testsupport {

struct FiredEvent {
  platform::DISPID id;
  std::vector<platform::Variant> args;
  friend bool operator==(const FiredEvent&, const FiredEvent&) = default;
};

class RecordingSink final : public platform::IDispatch {
 public:
  platform::HRESULT QueryInterface(const platform::IID&, void**) override { return platform::E_NOINTERFACE; }
  std::uint32_t AddRef() override { return 1; }
  std::uint32_t Release() override { return 1; }
  const platform::InterfaceDesc* GetTypeInfo() override { return nullptr; }
  platform::HRESULT GetIDOfName(std::string_view, platform::DISPID*) override { return platform::E_NOTIMPL; }
  platform::HRESULT Invoke(platform::DISPID id, platform::InvokeKind, std::span<const platform::Variant> args,
                           platform::Variant*) override {
    events.push_back({id, {args.begin(), args.end()}});
    return platform::S_OK;
  }
  std::vector<FiredEvent> events;
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
