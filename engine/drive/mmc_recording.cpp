// Recording a session: where it starts, writing its blocks, finishing it.

#include "engine/drive/mmc_core.h"
#include "platform/kernel/clock.h"

namespace scrivo {
bool MmcCore::SetCdSpeed(std::uint16_t readSpeed, std::uint16_t writeSpeed) {
  TestUnitReady();
  // SET CD SPEED carries no data; it travels with the data-out flags.
  return Issue(SetCdSpeedCdb(readSpeed, writeSpeed), nullptr, 0, kFlagsDataOut);
}

bool MmcCore::PrepareTrack(BurnMode mode) {
  trackRefusal = TrackRefusal::None;
  discBlank = false;
  if (mode == BurnMode::Dvd) {
    multiSessionField = kNoNextSession;
    writeAddress = 0;
    sessionStartAddress = 0;
    // On DVD-R/-RW the page decides how the track is recorded and closed:
    // without it nothing is reserved or written. DVD+R and DVD+RW are
    // recorded without the page, so a drive that refuses it there is no
    // reason to stop.
    bool pageGoverns = false;
    if (!SelectDvdWriteParameters(pageGoverns) && pageGoverns) {
      trackRefusal = TrackRefusal::WriteParametersRefused;
      return false;
    }
    return true;
  }
  DiscInfo disc;
  if (!GetDiscInfo(disc)) {
    trackRefusal = TrackRefusal::DiscUnreadable;
    return false;
  }
  if (disc.closed) {
    trackRefusal = TrackRefusal::DiscClosed;
    return false;
  }
  // A session that a burn left unfinished (its program or the power died)
  // offers no start for another: the writes would go to its start and fail,
  // and the closing commands after a failed burn would finalise the disc.
  if (disc.lastSession == LastSessionState::Incomplete || disc.lastSession == LastSessionState::Damaged) {
    trackRefusal = TrackRefusal::LastSessionUnfinished;
    return false;
  }
  // A blank disc has no TOC: its first session starts at 0. On any other
  // disc the TOC says where the next session starts: without it the
  // session would be written over the first one.
  discBlank = disc.blank != 0;
  writeAddress = 0;
  previousSessionEnd.reset();
  FullToc toc;
  if (ReadFullToc(toc)) {
    if (auto next = toc.NextSessionStart()) writeAddress = *next;
    previousSessionEnd = toc.LastLeadOutStart();
  } else if (!discBlank) {
    trackRefusal = TrackRefusal::DiscUnreadable;
    return false;
  }
  sessionStartAddress = writeAddress;
  // Recording with the drive's own parameters would write a track of
  // another mode and close the session as the drive's page says (a disc the
  // user wanted open would be finalised).
  if (!SetWriteParametersCd()) {
    trackRefusal = TrackRefusal::WriteParametersRefused;
    return false;
  }
  return true;
}

bool MmcCore::WriteBlocks(std::span<const std::uint8_t> blocks) {
  const std::size_t count = blocks.size() / kLogicalBlockSize;
  if (count == 0 || count > kMaxWriteBlocks || blocks.size() % kLogicalBlockSize != 0) return false;
  // No readiness poll before each write: a drive in the middle of a track is
  // ready, and a poll per write doubles the commands a burn sends. A write
  // the drive refuses says so itself.
  // The request block takes a mutable pointer; a data-out buffer is only read.
  auto* data = const_cast<std::uint8_t*>(blocks.data());
  if (!Issue(Write10Cdb(static_cast<std::uint32_t>(writeAddress), static_cast<std::uint16_t>(count)),
             data, static_cast<std::uint32_t>(blocks.size()), kFlagsDataOut)) {
    return false;
  }
  writeAddress += static_cast<std::int32_t>(count);
  return true;
}

bool MmcCore::SynchronizeCache() {
  TestUnitReady();
  const bool taken = Issue(SynchronizeCacheCdb(Immediate::Yes), nullptr, 0, kFlagsDataIn);
  return WaitUntilReady(kSessionFinishWait) && taken;
}

bool MmcCore::CloseSession() { return CloseAndWait(CloseFunction::Session); }

bool MmcCore::CloseAndWait(CloseFunction function, std::uint16_t track) {
  TestUnitReady();
  const bool taken = Issue(CloseTrackSessionCdb(function, track, Immediate::Yes), nullptr, 0, kFlagsDataIn);
  return WaitUntilReady(kSessionFinishWait) && taken;
}

bool MmcCore::LockTray(bool lock) {
  const CommandFailure kept = lastFailure_;
  const bool done = Issue(PreventAllowMediumRemovalCdb(lock), nullptr, 0, kFlagsDataIn);
  lastFailure_ = kept;
  return done;
}

bool MmcCore::FinishSession(BurnMode mode, FeatureFlags features) {
  // The results of the flush and close commands are not trusted either way:
  // the disc's own state, read back after them, says whether the session
  // was closed.
  // A refused flush with the drive ready goes on to the close; a drive
  // that never became ready after it fails the finish.
  if (!SynchronizeCache() && !TestUnitReady()) return false;
  const bool dvd = mode == BurnMode::Dvd;
  if (!dvd) return CloseUntilClosed([this] { CloseSession(); });
  if (features & kDvdPlusRCurrent) return CloseUntilClosed([this] { CloseDvdPlusRSession(); });
  // A DVD-R written at once into its reserved track is closed by the flush.
  if (!WaitUntilReady(kSessionFinishWait)) return false;
  // A DVD+RW holds one session over the whole disc: there is none to close,
  // but its background format is ended so that other drives read it.
  if (features & kDvdPlusRwCurrent) return StopBackgroundFormat();
  DiscInfo disc;
  if (!ReadDiscState(disc)) return false;
  if (disc.SessionsClosed() || (features & kDvdMinusRWriteCurrent) == 0) return disc.SessionsClosed();
  // A flush the drive refused, or a reserved track that a failed write left
  // short, leaves the session open: its track and the session are closed
  // as the flush would have closed them, so the disc reads elsewhere.
  return CloseUntilClosed([this] { CloseTracksAndSession(); });
}

bool MmcCore::ReadDiscState(DiscInfo& disc) {
  // A read refused once does not make a closed session an open one.
  return WithRetries([&] { return GetDiscInfo(disc); }, kJudgingReadTries, kReadRetryWait);
}

bool MmcCore::CloseUntilClosed(const std::function<void()>& close) {
  for (int tried = 1;; ++tried) {
    close();
    if (!WaitUntilReady(kSessionFinishWait)) return false;
    DiscInfo disc;
    if (!ReadDiscState(disc)) return false;
    if (disc.SessionsClosed()) return true;
    // A refused close is sent again while the disc still shows the session
    // open; a disc with nothing recorded has no session to close.
    if (tried == kJudgingReadTries || !disc.SessionOpen()) return false;
  }
}

void MmcCore::CloseDvdPlusRSession() {
  // Only an open session is closed: a disc this burn did not write to is
  // left as it was, not finalised.
  DiscInfo disc;
  if (!ReadDiscState(disc) || disc.lastSession != LastSessionState::Incomplete) return;
  CloseAndWait(CloseFunction::Track, disc.lastTrack);
  // A DVD burn is single-session: the session is closed with the disc.
  CloseAndWait(CloseFunction::FinalizeDvdPlusR);
}

bool MmcCore::ReserveTrack(std::int32_t blocks) {
  return Issue(ReserveTrackCdb(static_cast<std::uint32_t>(blocks)), nullptr, 0, kFlagsDataIn);
}

bool MmcCore::WithRetries(const std::function<bool()>& attempt, int tries, PollingLimit wait) {
  for (int tried = 1;; ++tried) {
    if (attempt()) return true;
    if (tried >= tries) return false;
    const CommandFailure failure = LastFailure();
    const bool ready = WaitUntilReady(wait);
    RestoreFailure(failure);
    if (!ready) return false;
  }
}

bool MmcCore::WaitUntilReady(PollingLimit limit) {
  for (std::uint32_t poll = 0; poll < limit.maxPolls; ++poll) {
    if (TestUnitReady()) return true;
    platform::Sleep(limit.intervalMs);
  }
  return false;
}

}  // namespace scrivo
