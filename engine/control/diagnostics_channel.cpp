#include "engine/control/diagnostics_channel.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "engine/typelib/scrivo_ids.h"
#include "platform/text/codepage.h"

namespace scrivo {
namespace {
constexpr std::uint32_t kDeliver = 0x0400 + 1;

platform::Variant Text(const std::string& text) { return platform::Variant::Bstr(platform::NarrowToWide(text)); }

std::int32_t Clamped(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

// JobFailed's arguments, in the order the type library declares them; a
// sense field or block the failure does not have is -1.
std::vector<platform::Variant> JobFailedArguments(const JobFailure& failure) {
  const std::optional<CommandFailure>& command = failure.command;
  const bool hasSense = command && command->sense;
  const SenseCode sense = hasSense ? *command->sense : SenseCode{};
  const std::optional<std::int64_t> block = command ? command->Block() : std::nullopt;
  auto senseField = [&](std::uint8_t field) {
    return platform::Variant::I2(hasSense ? std::int16_t{field} : std::int16_t{-1});
  };
  return {platform::Variant::I2(static_cast<std::int16_t>(failure.job)),
          Text(failure.reason),
          Text(failure.step),
          Text(command ? command->CommandName() : std::string()),
          senseField(sense.key),
          senseField(sense.asc),
          senseField(sense.ascq),
          platform::Variant::I4(block ? Clamped(*block) : -1),
          platform::Variant::I4(failure.error),
          Text(failure.path),
          platform::Variant::I4(Clamped(static_cast<std::int64_t>(failure.blocksWritten))),
          platform::Variant::I2(static_cast<std::int16_t>(failure.disc))};
}

// EntryRefused's arguments, in the order the type library declares them.
std::vector<platform::Variant> EntryRefusedArguments(const EntryRefusal& refusal) {
  static_assert(static_cast<std::int16_t>(RefusalKind::NameClash) ==
                static_cast<std::int16_t>(EntryRefusalKind::NameClash));
  // A file's size goes in KiB, rounded up, so that the largest file and
  // those beyond it fit the 32-bit fields.
  const bool inKiB = refusal.kind == RefusalKind::FileTooLarge;
  auto number = [inKiB](std::uint64_t value) {
    return platform::Variant::I4(
        Clamped(static_cast<std::int64_t>(inKiB ? (value + 1023) / 1024 : value)));
  };
  return {platform::Variant::I2(static_cast<std::int16_t>(refusal.kind)),
          Text(refusal.Describe()),
          Text(refusal.path),
          Text(refusal.name),
          platform::Variant::Bool(refusal.folder),
          platform::Variant::I4(refusal.error),
          number(refusal.value),
          number(refusal.limit),
          Text(refusal.other)};
}

}  // namespace

DiagnosticsChannel::DiagnosticsChannel(platform::IUnknown& owner)
    : owner_(owner), point_(owner, ids::kDiagnosticsInterface), window_(platform::CreateWindowFor(this)) {}

DiagnosticsChannel::~DiagnosticsChannel() { platform::DestroyWindow(window_); }

void DiagnosticsChannel::PostError(std::string_view text) {
  Post({DIAGID_ENGINEERROR, std::string(text), {}, {}});
}

void DiagnosticsChannel::PostNotice(std::string_view text) {
  Post({DIAGID_ENGINENOTICE, std::string(text), {}, {}});
}

void DiagnosticsChannel::FireBufferLevel(std::int16_t percent) {
  platform::Variant arg = platform::Variant::I2(percent);
  point_.Fire(DIAGID_BUFFERLEVEL, std::span(&arg, 1));
}

void DiagnosticsChannel::PostJobFailed(JobFailure failure) {
  Post({DIAGID_JOBFAILED, {}, std::move(failure), {}});
}

void DiagnosticsChannel::PostEntryRefused(EntryRefusal refusal) {
  Post({DIAGID_ENTRYREFUSED, {}, {}, std::move(refusal)});
}

void DiagnosticsChannel::PostVerify(const VerifyResult& result) {
  std::int32_t differing = 0;
  bool directory = false;
  for (const VerifyFinding& finding : result.findings) {
    if (finding.path.empty()) {
      directory = true;
    } else {
      ++differing;
    }
    Post({DIAGID_VERIFYMISMATCH, {}, {}, {},
          {Text(DescribeFinding(finding)), Text(finding.path), Text(finding.source),
           platform::Variant::Bool(finding.unreadable), platform::Variant::I4(Clamped(finding.firstBlock)),
           platform::Variant::I4(Clamped(finding.blocks))}});
  }
  Post({DIAGID_VERIFYFINISHED, {}, {}, {},
        {platform::Variant::I4(Clamped(result.files)), platform::Variant::I4(Clamped(static_cast<std::int64_t>(result.blocks))),
         platform::Variant::I4(differing), platform::Variant::Bool(directory), platform::Variant::Bool(result.complete)}});
}

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
  if (!notice.args.empty()) {
    point_.Fire(notice.id, std::span(notice.args));
    return;
  }
  if (notice.id == DIAGID_ENGINEERROR || notice.id == DIAGID_ENGINENOTICE) {
    platform::Variant arg = platform::Variant::Bstr(platform::NarrowToWide(notice.text));
    point_.Fire(notice.id, std::span(&arg, 1));
    return;
  }
  auto args = notice.id == DIAGID_ENTRYREFUSED ? EntryRefusedArguments(notice.refusal)
                                               : JobFailedArguments(notice.failure);
  point_.Fire(notice.id, std::span(args));
}

}  // namespace scrivo
