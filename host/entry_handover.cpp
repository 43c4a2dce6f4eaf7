#include "host/entry_handover.h"

#include "engine/typelib/scrivo_typelib.h"
#include "platform/automation/hresult.h"
#include "platform/text/codepage.h"

namespace quillon {
namespace {

platform::Variant Text(const std::string& text) { return platform::Variant::Bstr(platform::NarrowToWide(text)); }

platform::HRESULT HandOver(platform::IDispatch& control, const std::string& entry) {
  platform::Variant result;
  if (entry.ends_with('/')) {
    std::vector<platform::Variant> args{Text(entry)};
    return control.Invoke(scrivo::DISPID_ADDDIRECTORY, platform::InvokeKind::Method, args, &result);
  }
  std::vector<platform::Variant> args{Text(entry.substr(entry.rfind('/') + 1)), Text(entry)};
  return control.Invoke(scrivo::DISPID_ADDFILE, platform::InvokeKind::Method, args, &result);
}

}  // namespace

std::optional<RefusedEntry> ReadEntryRefused(const HostNotice& notice) {
  const auto& args = notice.args;
  if (notice.kind != HostNotice::Kind::EntryRefused || args.size() < 3 ||
      args[0].Type() != platform::VarType::I2 || args[2].Type() != platform::VarType::BSTR)
    return std::nullopt;
  RefusedEntry refused;
  refused.kind = args[0].AsI2();
  refused.path = platform::WideToNarrow(args[2].AsBstr());
  refused.reason = notice.name;
  return refused;
}

HandOverResult HandOverEntries(platform::IDispatch& control, const std::vector<std::string>& entries,
                               const std::function<std::vector<HostNotice>()>& collect) {
  HandOverResult result;
  for (const std::string& entry : entries) {
    const std::size_t before = result.refused.size();
    const platform::HRESULT hr = HandOver(control, entry);
    if (platform::FAILED(hr)) {
      result.refused.push_back({entry, entry, entry + ": " + platform::DescribeHresult(hr), 0});
    }
    // The engine sends an entry's failure text, then its EntryRefused.
    std::optional<std::string> text;
    for (const HostNotice& notice : collect()) {
      if (notice.kind == HostNotice::Kind::EngineError) {
        if (text) result.refused.push_back({entry, entry, entry + ": " + *text, 0});
        text = notice.name;
      } else if (std::optional<RefusedEntry> refused = ReadEntryRefused(notice)) {
        text.reset();
        refused->entry = entry;
        result.refused.push_back(std::move(*refused));
      }
    }
    if (text) result.refused.push_back({entry, entry, entry + ": " + *text, 0});
    if (entry.ends_with('/') || result.refused.size() == before) ++result.accepted;
  }
  return result;
}

}  // namespace quillon
