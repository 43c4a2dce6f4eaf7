// Closing a session that a burn left open, on its own: the disc's state
// first (nothing is sent to a disc without an open session), the write
// parameters where they decide how the session closes, then the closing
// commands, sent again while the disc still shows the session open.

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "engine/drive/mmc_core.h"
#include "platform/bytes/byte_order.h"

namespace scrivo {
namespace {

// READ TRACK INFORMATION: byte 6 bit 6 Blank, byte 7 bit 0 NWA_V (the
// track still takes writes: it is open).
constexpr std::size_t kTrackInformationHead = 8;
constexpr std::uint8_t kBlankTrack = 0x40;
constexpr std::uint8_t kNextWritableValid = 0x01;
constexpr std::size_t kTrackInformationNwaEnd = 16;

}  // namespace

MmcCore::SessionCloseEnd MmcCore::CloseOpenSession(FeatureFlags features) {
  DiscInfo disc;
  if (!ReadDiscState(disc)) return SessionCloseEnd::StateUnreadable;
  if (!disc.SessionOpen()) return SessionCloseEnd::NoOpenSession;
  // A CD's and a DVD-R's session close as the page's Multi-session field
  // says; a drive that has been reset holds its default, which may finalise
  // the disc. A CD is left open for another session, a DVD-R closed as a
  // DVD burn closes it. A DVD+R closes without the page.
  if ((features & kDvdPlusRCurrent) == 0) {
    const bool dvdMinusR = (features & kDvdMinusRWriteCurrent) != 0;
    multiSessionField = dvdMinusR ? kNoNextSession : kNextSessionAllowed;
    if (!(dvdMinusR ? SetWriteParametersDvd() : SetWriteParametersCd())) {
      return SessionCloseEnd::WriteParametersRefused;
    }
  }
  // A CD track a killed burn left short is padded, as no drive closes it.
  if ((features & (kDvdPlusRCurrent | kDvdMinusRWriteCurrent)) == 0) PadOpenTrack(kCdMinimumTrackBlocks);
  return CloseUntilClosed([this] { CloseTracksAndSession(); }) ? SessionCloseEnd::Closed
                                                                : SessionCloseEnd::Failed;
}

void MmcCore::CloseTracksAndSession() {
  DiscInfo disc;
  if (!ReadDiscState(disc) || !disc.SessionOpen()) return;
  for (std::uint16_t track = disc.firstTrack; track != 0 && track <= disc.lastTrack; ++track) {
    std::array<std::uint8_t, kTrackInformationHead> info{};
    if (!ReadTrackInformation(TrackAddress::TrackNumber, track, info)) continue;
    if ((info[6] & kBlankTrack) || !(info[7] & kNextWritableValid)) continue;
    CloseAndWait(CloseFunction::Track, track);
  }
  CloseAndWait(CloseFunction::Session);
}

TrackPadding MmcCore::PadOpenTrack(std::uint32_t minimumBlocks) {
  DiscInfo disc;
  if (!ReadDiscState(disc) || !disc.SessionOpen()) return TrackPadding::NoOpenTrack;
  std::optional<std::int64_t> start;
  for (std::uint16_t track = disc.firstTrack; track != 0 && track <= disc.lastTrack; ++track) {
    std::array<std::uint8_t, kTrackInformationNwaEnd> info{};
    if (!ReadTrackInformation(TrackAddress::TrackNumber, track, info)) continue;
    if ((info[6] & kBlankTrack) || !(info[7] & kNextWritableValid)) continue;
    // Bytes 8-11: the track's start; 12-15: its next writable address.
    start = bytes::GetBE32(info.data() + 8);
    writeAddress = static_cast<std::int32_t>(bytes::GetBE32(info.data() + 12));
  }
  if (!start || writeAddress < *start) return TrackPadding::NoOpenTrack;
  const std::vector<std::uint8_t> zeros(kMaxWriteBlocks * kLogicalBlockSize);
  for (std::int64_t left = *start + minimumBlocks - writeAddress; left > 0; left -= kMaxWriteBlocks) {
    const auto blocks = static_cast<std::size_t>(std::min<std::int64_t>(left, kMaxWriteBlocks));
    if (!WriteBlocks(std::span(zeros).first(blocks * kLogicalBlockSize))) return TrackPadding::Refused;
  }
  return TrackPadding::Padded;
}

}  // namespace scrivo
