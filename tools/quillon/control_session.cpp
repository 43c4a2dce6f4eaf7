#include "tools/quillon/control_session.h"


#include "platform/text/codepage.h"
#include "tools/quillon/events.h"

namespace quillon {
namespace {

constexpr std::string_view kBusyText = "Drive is busy";

}  // namespace

bool ControlSession::Open() {
  if (platform::HRESULT hr = host_.Create(); platform::FAILED(hr)) {
    ReportMessage(std::string("cannot create the engine control: ") + platform::DescribeHresult(hr) +
                  " (register it with 'quillon register')");
    return false;
  }
  Call("InitControl");
  for (const std::string& text : TakeEngineTexts()) ReportMessage(text, Source::Engine);
  return true;
}

platform::Variant ControlSession::Invoke(std::string_view name, platform::InvokeKind kind,
                                         std::vector<platform::Variant> args) {
  platform::DISPID id = 0;
  platform::Variant result;
  if (platform::SUCCEEDED(host_.Control().GetIDOfName(name, &id)))
    host_.Control().Invoke(id, kind, args, &result);
  return result;
}

long ControlSession::Number(std::string_view name) {
  const platform::Variant v = Get(name);
  if (v.Type() == platform::VarType::I4) return v.AsI4();
  return v.Type() == platform::VarType::I2 ? v.AsI2() : 0;
}

bool ControlSession::Flag(std::string_view name) {
  const platform::Variant v = Get(name);
  return v.Type() == platform::VarType::BOOL && v.AsBool();
}

std::string ControlSession::Text(std::string_view name) {
  const platform::Variant v = Get(name);
  return v.Type() == platform::VarType::BSTR ? platform::WideToNarrow(v.AsBstr()) : "";
}

std::vector<std::string> ControlSession::TakeEngineTexts() {
  std::vector<std::string> texts;
  for (const HostNotice& n : host_.Pump(std::chrono::milliseconds(0))) {
    if (n.kind == HostNotice::Kind::EngineError) texts.push_back(n.name);
    if (n.kind == HostNotice::Kind::MessageBox) ReportNotice(n.name);
  }
  return texts;
}

HandOverResult ControlSession::HandOver(const std::vector<std::string>& entries) {
  return HandOverEntries(host_.Control(), entries, [this] {
    std::vector<HostNotice> arrived;
    for (HostNotice& n : host_.Pump(std::chrono::milliseconds(0))) {
      if (n.kind == HostNotice::Kind::MessageBox) ReportNotice(n.name);
      arrived.push_back(std::move(n));
    }
    return arrived;
  });
}

bool ControlSession::JobRunning(std::deque<HostNotice>& arrived) {
  Call("CDWriterUnitReady");
  bool busy = false;
  for (HostNotice& n : host_.Pump(std::chrono::milliseconds(0))) {
    if (n.kind == HostNotice::Kind::EngineError && n.name == kBusyText) {
      busy = true;
    } else {
      arrived.push_back(std::move(n));
    }
  }
  return busy;
}

}  // namespace quillon
