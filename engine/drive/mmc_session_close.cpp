// Closing a session that a burn left open, on its own: the disc's state
// first (nothing is sent to a disc without an open session), the write
// parameters where they decide how the session closes, then the closing
// commands, sent again while the disc still shows the session open.

#include <array>

#include "engine/drive/mmc_core.h"

namespace scrivo {
namespace {

// READ TRACK INFORMATION: byte 6 bit 6 Blank, byte 7 bit 0 NWA_V (the
// track still takes writes: it is open).
constexpr std::size_t kTrackInformationHead = 8;
constexpr std::uint8_t kBlankTrack = 0x40;
constexpr std::uint8_t kNextWritableValid = 0x01;

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

}  // namespace scrivo
