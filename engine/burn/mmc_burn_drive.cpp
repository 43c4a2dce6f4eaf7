#include "engine/burn/mmc_burn_drive.h"

#include <array>

#include "engine/drive/medium_profile.h"
#include "platform/bytes/byte_order.h"

namespace scrivo {
bool MmcBurnDrive::PrepareTrack(BurnMode mode) {
  core_.multiSessionField = mode == BurnMode::CdMultiSession ? MmcCore::kNextSessionAllowed : MmcCore::kNoNextSession;
  return core_.PrepareTrack(mode);
}

std::string MmcBurnDrive::MediumRefusal(BurnMode mode) {
  // A disc loaded moments ago is not yet unreadable: the drive is given the
  // time it takes to recognise it (the burn's first look at the disc).
  core_.WaitForMedium();
  std::uint16_t current = profile::kNone;
  if (!core_.CurrentProfile(current)) return {};
  const char* name = nullptr;
  switch (KindOfProfile(current)) {
    case MediumKind::Bd:
      return "The disc in the writer is a BD: this program writes CDs and DVDs.";
    case MediumKind::DvdMinusRwOverwrite:
      return "The DVD-RW is in restricted overwrite mode: this program writes a DVD-RW only in "
             "sequential recording.";
    case MediumKind::DvdPlusR:
      name = "DVD+R";
      break;
    case MediumKind::DvdMinusSequential:
      name = current == profile::kDvdMinusRwSequential ? "DVD-RW" : "DVD-R";
      break;
    default:
      return {};
  }
  // A DVD burn writes its one session from block 0: a disc that holds one
  // already would refuse the first write, after the track was reserved.
  DiscInfo disc;
  if (mode != BurnMode::Dvd || !core_.GetDiscInfo(disc) || disc.blank) return {};
  const std::string medium = name;
  if (disc.closed) return "The " + medium + " is closed: nothing more can be written on it.";
  return "The " + medium + " already holds a session; this program writes a DVD in one session.";
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

bool MmcBurnDrive::ReadBlocks(std::int32_t lba, std::span<std::uint8_t> blocks) {
  return WithRetries([&] { return core_.ReadBlocks(lba, blocks); });
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
