#include "engine/burn/mmc_burn_drive.h"

#include <array>

#include "platform/bytes/byte_order.h"

namespace scrivo {
bool MmcBurnDrive::PrepareTrack(BurnMode mode) {
  core_.multiSessionField = mode == BurnMode::CdMultiSession ? MmcCore::kNextSessionAllowed : MmcCore::kNoNextSession;
  return core_.PrepareTrack(mode);
}

DiscRefusal MmcBurnDrive::Refusal() const {
  switch (core_.trackRefusal) {
    case MmcCore::TrackRefusal::None:
      return DiscRefusal::None;
    case MmcCore::TrackRefusal::DiscUnreadable:
      return DiscRefusal::Unreadable;
    case MmcCore::TrackRefusal::DiscClosed:
      return DiscRefusal::Closed;
    case MmcCore::TrackRefusal::LastSessionUnfinished:
      return DiscRefusal::LastSessionUnfinished;
    case MmcCore::TrackRefusal::WriteParametersRefused:
      return DiscRefusal::WriteParameters;
  }
  return DiscRefusal::None;
}

template <class Read>
bool MmcBurnDrive::WithRetries(Read read) {
  return core_.WithRetries(read, kPreviousSessionReadTries, kReadRetryWait);
}

bool MmcBurnDrive::ReadBlock(std::int32_t lba, std::span<std::uint8_t, kBlockSize> block) {
  return WithRetries([&] { return core_.ReadBlock(lba, block); });
}

std::int32_t MmcBurnDrive::LastSessionStart() {
  std::array<std::uint8_t, 12> reply{};
  if (!WithRetries([&] { return core_.ReadSessionInfo(reply); })) return kNoPreviousSession;
  // READ TOC format 0001b, bytes 8-11: the first track of the last session.
  const auto start = static_cast<std::int32_t>(bytes::GetBE32(reply.data() + 8));
  return start < 0 ? kUnusableSessionStart : start;
}

std::optional<std::vector<TocSession>> MmcBurnDrive::RecordedSessions() {
  FullToc toc;
  if (!WithRetries([&] { return core_.ReadFullToc(toc); })) return std::nullopt;
  return toc.Sessions();
}

}  // namespace scrivo
