#include "tools/quillon/control_host.h"

#include "engine/typelib/scrivo_ids.h"
#include "platform/automation/activation.h"
#include "platform/user/message_box.h"
#include "platform/user/message_loop.h"

namespace quillon {

// Receives the control's events and names them from its class information.
class ControlHost::EventSink final : public platform::IDispatch {
 public:
  EventSink(ControlHost& host, const platform::InterfaceDesc* events) : host_(host), events_(events) {}
  platform::HRESULT QueryInterface(const platform::IID& iid, void** out) override {
    if (iid == platform::IID_IUnknown || iid == platform::IID_IDispatch) {
      *out = this;
      return platform::S_OK;
    }
    *out = nullptr;
    return platform::E_NOINTERFACE;
  }
  std::uint32_t AddRef() override { return 1; }
  std::uint32_t Release() override { return 1; }
  const platform::InterfaceDesc* GetTypeInfo() override { return events_; }
  platform::HRESULT GetIDOfName(std::string_view, platform::DISPID*) override { return platform::E_NOTIMPL; }
  platform::HRESULT Invoke(platform::DISPID id, platform::InvokeKind, std::span<const platform::Variant> args,
                           platform::Variant*) override {
    const platform::MemberDesc* member = events_ ? events_->Find(id) : nullptr;
    std::string name = member ? std::string(member->name) : "event " + std::to_string(id);
    host_.Notify({HostNotice::Kind::Event, name, {args.begin(), args.end()}});
    return platform::S_OK;
  }

 private:
  ControlHost& host_;
  const platform::InterfaceDesc* events_;
};

namespace {

// Message boxes and the about box of the engine become notices.
class NoticeInterface final : public platform::UserInterface {
 public:
  explicit NoticeInterface(ControlHost& host) : host_(host) {}
  int ShowMessageBox(const std::string& text, const std::string&, unsigned) override {
    host_.Notify({HostNotice::Kind::MessageBox, text, {}});
    return platform::IDOK;
  }
  void ShowAboutBox(const platform::AboutBoxContent& content) override {
    host_.Notify({HostNotice::Kind::MessageBox, content.title + ": " + content.text, {}});
  }

 private:
  ControlHost& host_;
};

NoticeInterface* g_interface = nullptr;

}  // namespace

ControlHost::ControlHost() {
  g_interface = new NoticeInterface(*this);
  platform::SetUserInterface(g_interface);
  platform::SetDebugSink([this](platform::DebugSource source, std::string_view text) {
    if (source == platform::DebugSource::EngineError) Notify({HostNotice::Kind::EngineError, std::string(text), {}});
  });
}

ControlHost::~ControlHost() {
  if (eventPoint_ && cookie_) eventPoint_->Unadvise(cookie_);
  eventPoint_ = nullptr;
  control_ = nullptr;
  delete sink_;
  platform::SetDebugSink(nullptr);
  platform::SetUserInterface(nullptr);
  delete g_interface;
  g_interface = nullptr;
}

platform::HRESULT ControlHost::Create() {
  platform::HRESULT hr =
      platform::CoCreateInstance(scrivo::ids::kControlClass, platform::IID_IDispatch, control_.Out());
  if (platform::FAILED(hr)) return hr;
  auto classInfo = control_.As<platform::IProvideClassInfo>(platform::IID_IProvideClassInfo);
  const platform::InterfaceDesc* events = classInfo ? classInfo->GetClassInfo()->defaultSource : nullptr;
  sink_ = new EventSink(*this, events);
  auto container = control_.As<platform::IConnectionPointContainer>(platform::IID_IConnectionPointContainer);
  if (container && platform::SUCCEEDED(container->FindConnectionPoint(scrivo::ids::kEventInterface,
                                                                      reinterpret_cast<platform::IConnectionPoint**>(eventPoint_.Out())))) {
    eventPoint_->Advise(sink_, &cookie_);
  }
  return platform::S_OK;
}

void ControlHost::Notify(HostNotice notice) {
  std::lock_guard lock(mutex_);
  notices_.push_back(std::move(notice));
}

std::deque<HostNotice> ControlHost::Pump(std::chrono::milliseconds timeout) {
  platform::MessageLoop::ForThisThread().WaitAndDispatch(timeout);
  std::lock_guard lock(mutex_);
  return std::exchange(notices_, {});
}

}  // namespace quillon
