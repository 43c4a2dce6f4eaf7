#include "tests/support/control_fixture.h"

#include <utility>

#include "engine/typelib/scrivo_ids.h"
#include "platform/user/message_loop.h"

namespace testsupport {

ControlFixture::ControlFixture() {
  platform::SetDebugSink([this](platform::DebugSource source, std::string_view text) {
    if (source != platform::DebugSource::EngineError) return;
    std::lock_guard lock(errorsMutex_);
    errors_.emplace_back(text);
  });
  control_ = new scrivo::CScrivoCtrl();
  control_->AddRef();
  platform::ComPtr<platform::IConnectionPoint> point;
  control_->FindConnectionPoint(scrivo::ids::kEventInterface, reinterpret_cast<platform::IConnectionPoint**>(point.Out()));
  point->Advise(&sink, &cookie_);
}

ControlFixture::~ControlFixture() {
  if (control_) control_->Release();
  platform::MessageLoop::ForThisThread().DispatchPending();
  platform::SetDebugSink(nullptr);
}

void ControlFixture::ReleaseControl() { std::exchange(control_, nullptr)->Release(); }

void ControlFixture::Pump() { platform::MessageLoop::ForThisThread().DispatchPending(); }

std::vector<std::string> ControlFixture::Errors() {
  std::lock_guard lock(errorsMutex_);
  return errors_;
}

platform::HRESULT ControlFixture::Invoke(platform::DISPID id, platform::InvokeKind kind,
                                         std::vector<platform::Variant> args, platform::Variant* result) {
  return control_->Invoke(id, kind, args, result);
}

}  // namespace testsupport
