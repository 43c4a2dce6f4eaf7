#include "engine/control/diagnostics_channel.h"

#include "engine/typelib/scrivo_ids.h"
#include "platform/text/codepage.h"

namespace scrivo {
namespace {
constexpr std::uint32_t kDeliver = 0x0400 + 1;
}

DiagnosticsChannel::DiagnosticsChannel(platform::IUnknown& owner)
    : owner_(owner), point_(owner, ids::kDiagnosticsInterface), window_(platform::CreateWindowFor(this)) {}

DiagnosticsChannel::~DiagnosticsChannel() { platform::DestroyWindow(window_); }

void DiagnosticsChannel::PostError(std::string_view text) {
  Post({DIAGID_ENGINEERROR, std::string(text), JobKind::Burn});
}

void DiagnosticsChannel::PostJobFailed(JobKind job) { Post({DIAGID_JOBFAILED, {}, job}); }

void DiagnosticsChannel::Post(Notice notice) {
  {
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(notice));
  }
  platform::PostMessage(window_, kDeliver, 0, 0);
}

void DiagnosticsChannel::HandleMessage(std::uint32_t message, std::uintptr_t, std::intptr_t) {
  if (message != kDeliver) return;
  // The host may release the control, and with it this channel, from inside
  // its handler.
  const auto keepOwner = platform::ComPtr<platform::IUnknown>::Share(&owner_);
  Notice notice;
  {
    std::lock_guard lock(mutex_);
    if (pending_.empty()) return;
    notice = std::move(pending_.front());
    pending_.pop_front();
  }
  platform::Variant arg = notice.id == DIAGID_ENGINEERROR
                              ? platform::Variant::Bstr(platform::NarrowToWide(notice.text))
                              : platform::Variant::I2(static_cast<std::int16_t>(notice.job));
  point_.Fire(notice.id, std::span(&arg, 1));
}

}  // namespace scrivo
