#include "host/control_host.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "engine/typelib/scrivo_ids.h"
#include "engine/typelib/scrivo_typelib.h"
#include "platform/text/codepage.h"
#include "platform/automation/activation.h"
#include "platform/automation/event_sink.h"
#include "platform/user/message_box.h"
#include "platform/user/message_loop.h"

namespace quillon {

// Receives the control's events and names them from its class information.
class ControlHost::EventSink final : public platform::EventSink {
 public:
  EventSink(ControlHost& host, const platform::InterfaceDesc* events) : host_(host), events_(events) {}
  const platform::InterfaceDesc* GetTypeInfo() override { return events_; }

 private:
  void OnEvent(platform::DISPID id, std::span<const platform::Variant> args) override {
    const platform::MemberDesc* member = events_ ? events_->Find(id) : nullptr;
    std::string name = member ? std::string(member->name) : "event " + std::to_string(id);
    host_.Notify({HostNotice::Kind::Event, name, {args.begin(), args.end()}, id});
  }
  ControlHost& host_;
  const platform::InterfaceDesc* events_;
};

// Receives the engine's failure texts, refused entries and failed-job notices.
class ControlHost::DiagnosticsSink final : public platform::EventSink {
 public:
  explicit DiagnosticsSink(ControlHost& host) : host_(host) {}

 private:
  void OnEvent(platform::DISPID id, std::span<const platform::Variant> args) override {
    const bool text = args.size() == 1 && args[0].Type() == platform::VarType::BSTR;
    if ((id == scrivo::DIAGID_ENGINEERROR || id == scrivo::DIAGID_ENGINENOTICE) && text) {
      const auto kind = id == scrivo::DIAGID_ENGINEERROR ? HostNotice::Kind::EngineError : HostNotice::Kind::EngineNotice;
      host_.Notify({kind, platform::Utf16ToUtf8(args[0].AsBstr()), {}});
    } else if (id == scrivo::DIAGID_BUFFERLEVEL && args.size() == 1 && args[0].Type() == platform::VarType::I2) {
      host_.Notify({HostNotice::Kind::BufferLevel, {}, {args.begin(), args.end()}});
    } else if (id == scrivo::DIAGID_JOBFAILED || id == scrivo::DIAGID_ENTRYREFUSED) {
      // The reason in words comes second, after the job or the kind of
      // refusal; the fields after it say the same for programs that look
      // closer.
      const bool hasReason = args.size() > 1 && args[1].Type() == platform::VarType::BSTR;
      const auto kind = id == scrivo::DIAGID_JOBFAILED ? HostNotice::Kind::JobFailed : HostNotice::Kind::EntryRefused;
      host_.Notify({kind, hasReason ? platform::Utf16ToUtf8(args[1].AsBstr()) : "", {args.begin(), args.end()}});
    } else if (id == scrivo::DIAGID_VERIFYMISMATCH && !args.empty() && args[0].Type() == platform::VarType::BSTR) {
      host_.Notify({HostNotice::Kind::VerifyMismatch, platform::Utf16ToUtf8(args[0].AsBstr()), {args.begin(), args.end()}});
    } else if (id == scrivo::DIAGID_VERIFYFINISHED) {
      host_.Notify({HostNotice::Kind::VerifyFinished, {}, {args.begin(), args.end()}});
    }
  }
  ControlHost& host_;
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

ControlHost::ControlHost(HostServices services) : services_(services) {
  if (services_ != HostServices::Notices) return;
  g_interface = new NoticeInterface(*this);
  platform::SetUserInterface(g_interface);
  // QUILLON_DEBUG=1 shows the debug channel (drive diagnostics and the
  // engine's failure texts as they happen) on standard error.
  if (const char* debug = std::getenv("QUILLON_DEBUG"); debug && *debug && std::string(debug) != "0") {
    platform::SetDebugSink([](platform::DebugSource, std::string_view text) {
      std::fprintf(stderr, "quillon debug: %.*s\n", static_cast<int>(text.size()), text.data());
    });
  }
}

ControlHost::~ControlHost() {
  Release();
  if (services_ != HostServices::Notices) return;
  platform::SetDebugSink(nullptr);
  platform::SetUserInterface(nullptr);
  delete g_interface;
  g_interface = nullptr;
}

void ControlHost::Release() {
  for (auto& [point, cookie] : connections_) point->Unadvise(cookie);
  connections_.clear();
  control_ = nullptr;
}

platform::HRESULT ControlHost::Create() {
  platform::HRESULT hr =
      platform::CoCreateInstance(scrivo::ids::kControlClass, platform::IID_IDispatch, control_.Out());
  if (platform::FAILED(hr)) return hr;
  auto classInfo = control_.As<platform::IProvideClassInfo>(platform::IID_IProvideClassInfo);
  events_ = classInfo ? classInfo->GetClassInfo()->defaultSource : nullptr;
  eventSink_ = std::make_unique<EventSink>(*this, events_);
  diagnosticsSink_ = std::make_unique<DiagnosticsSink>(*this);
  Connect(scrivo::ids::kEventInterface, eventSink_.get());
  Connect(scrivo::ids::kDiagnosticsInterface, diagnosticsSink_.get());
  return platform::S_OK;
}

void ControlHost::Connect(const platform::IID& iid, platform::IDispatch* sink) {
  auto container = control_.As<platform::IConnectionPointContainer>(platform::IID_IConnectionPointContainer);
  platform::ComPtr<platform::IConnectionPoint> point;
  if (!container ||
      platform::FAILED(container->FindConnectionPoint(iid, reinterpret_cast<platform::IConnectionPoint**>(point.Out()))))
    return;
  std::uint32_t cookie = 0;
  if (platform::SUCCEEDED(point->Advise(sink, &cookie))) connections_.emplace_back(point, cookie);
}

void ControlHost::SetReceiver(std::function<void(const HostNotice&)> receiver) {
  std::lock_guard lock(mutex_);
  receiver_ = std::move(receiver);
}

void ControlHost::Notify(HostNotice notice) {
  std::function<void(const HostNotice&)> receiver;
  {
    std::lock_guard lock(mutex_);
    if (!receiver_) {
      notices_.push_back(std::move(notice));
      return;
    }
    receiver = receiver_;
  }
  // Unlocked: a receiver may open a modal dialog that dispatches further
  // notices before it returns.
  receiver(notice);
}

std::deque<HostNotice> ControlHost::Pump(std::chrono::milliseconds timeout) {
  platform::MessageLoop::ForThisThread().WaitAndDispatch(timeout);
  std::lock_guard lock(mutex_);
  return std::exchange(notices_, {});
}

}  // namespace quillon
