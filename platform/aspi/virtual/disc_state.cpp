#include "platform/aspi/virtual/disc_state.h"

#include <algorithm>

namespace wnaspi::vdrive {
namespace {

constexpr std::uint32_t AlignUp(std::uint32_t value, std::uint32_t unit) {
  return (value + unit - 1) / unit * unit;
}

}  // namespace

DiscState DiscState::Blank(Medium medium) {
  DiscState disc;
  disc.medium = medium;
  return disc;
}

DiscState DiscState::FormattedDvdPlusRw() {
  DiscState disc = Finalized(Medium::DvdPlusRw, kDvdCapacity);
  disc.formatted = true;
  return disc;
}

DiscState DiscState::Finalized(Medium medium, std::uint32_t blocks) {
  DiscState disc = Blank(medium);
  disc.finalized = true;
  disc.sessions.push_back({.number = 1, .closed = true, .next = NextSession::None, .format = 0});
  disc.tracks.push_back({.number = 1, .session = 1, .start = 0, .recorded = blocks,
                         .reserved = 0, .closed = true, .sessionAtOnce = false, .mode = 4});
  return disc;
}

DiscStatus DiscState::status() const {
  if (traits().randomWritable) return formatted ? DiscStatus::Complete : DiscStatus::Empty;
  if (tracks.empty()) return DiscStatus::Empty;
  return finalized ? DiscStatus::Complete : DiscStatus::Incomplete;
}

SessionState DiscState::lastSessionState() const {
  switch (status()) {
    case DiscStatus::Empty: return SessionState::Empty;
    case DiscStatus::Complete: return SessionState::Complete;
    case DiscStatus::Incomplete: break;
  }
  return openSession() ? SessionState::Incomplete : SessionState::Empty;
}

std::uint32_t DiscState::closedSessionCount() const {
  return static_cast<std::uint32_t>(
      std::count_if(sessions.begin(), sessions.end(), [](const Session& s) { return s.closed; }));
}

std::uint32_t DiscState::sessionCountWithNext() const {
  if (status() == DiscStatus::Empty) return 1;
  const auto count = static_cast<std::uint32_t>(sessions.size());
  if (status() == DiscStatus::Complete || openSession()) return count;
  return count + 1;
}

const Session* DiscState::openSession() const {
  if (sessions.empty() || sessions.back().closed) return nullptr;
  return &sessions.back();
}

const Track& DiscState::firstTrackOf(const Session& s) const {
  return *std::find_if(tracks.begin(), tracks.end(),
                       [&](const Track& t) { return t.session == s.number; });
}

const Track& DiscState::lastTrackOf(const Session& s) const {
  return *std::find_if(tracks.rbegin(), tracks.rend(),
                       [&](const Track& t) { return t.session == s.number; });
}

std::uint32_t DiscState::nextSessionStart(const Session& s) const {
  const std::uint32_t end = sessionEnd(s);
  if (traits().cd) {
    const std::uint32_t leadOut = s.number == 1 ? kCdFirstLeadOut : kCdLaterLeadOut;
    return end + leadOut + kCdLeadIn + kCdPreGap;
  }
  return AlignUp(end + kDvdBorderZone, kDvdEccBlock);
}

std::uint32_t StartAfterTrack(const DiscState& disc, const Track& t) {
  const std::uint32_t end = disc.trackEnd(t);
  return disc.traits().cd ? end + kCdPreGap : AlignUp(end, kDvdEccBlock);
}

std::optional<InvisibleTrack> DiscState::invisibleTrack() const {
  if (traits().randomWritable || finalized) return std::nullopt;
  if (tracks.empty()) return InvisibleTrack{};
  const Track& last = tracks.back();
  const Session& lastSession = session(last.session);
  InvisibleTrack next{.number = last.number + 1, .session = last.session, .start = 0};
  if (lastSession.closed) {
    next.session = lastSession.number + 1;
    next.start = nextSessionStart(lastSession);
  } else if (last.closed || last.reserved) {
    next.start = StartAfterTrack(*this, last);
  } else {
    return std::nullopt;  // the open track is the incomplete one being written
  }
  if (next.start >= capacity()) return std::nullopt;
  return next;
}

std::optional<WriteTarget> DiscState::writeTargetAt(std::uint32_t lba) const {
  for (std::uint32_t i = 0; i < tracks.size(); ++i) {
    const Track& t = tracks[i];
    if (t.closed || (t.reserved && t.recorded >= t.reserved)) continue;
    if (t.start + t.recorded != lba) continue;
    return WriteTarget{i, lba, t.reserved ? t.start + t.reserved : capacity()};
  }
  if (auto invisible = invisibleTrack(); invisible && invisible->start == lba) {
    return WriteTarget{static_cast<std::uint32_t>(tracks.size()), lba, capacity()};
  }
  return std::nullopt;
}

std::optional<std::uint32_t> DiscState::nextWritableAddress() const {
  for (const Track& t : tracks) {
    if (!t.closed && (!t.reserved || t.recorded < t.reserved)) return t.start + t.recorded;
  }
  if (auto invisible = invisibleTrack()) return invisible->start;
  return std::nullopt;
}

bool DiscState::readable(std::uint32_t lba, std::uint32_t count) const {
  if (count > capacity() || lba > capacity() - count) return false;
  if (traits().randomWritable) return formatted;
  for (std::uint32_t block = lba; block < lba + count;) {
    const auto track = std::find_if(tracks.begin(), tracks.end(), [&](const Track& t) {
      const std::uint32_t extent = t.closed ? trackSize(t) : t.recorded;
      return block >= t.start && block < t.start + extent;
    });
    if (track == tracks.end()) return false;
    block = track->start + (track->closed ? trackSize(*track) : track->recorded);
  }
  return true;
}

void DiscState::FollowWrittenBlocks(std::uint64_t imageBlocks) {
  if (traits().randomWritable || tracks.empty() || tracks.back().closed) return;
  Track& last = tracks.back();
  const std::uint64_t limit = last.reserved ? std::uint64_t{last.start} + last.reserved : capacity();
  const std::uint64_t end = std::min(imageBlocks, limit);
  if (end > std::uint64_t{last.start} + last.recorded) last.recorded = static_cast<std::uint32_t>(end - last.start);
}

std::uint32_t DiscState::recordedEnd() const {
  std::uint32_t end = 0;
  for (const Track& t : tracks) end = std::max(end, trackEnd(t));
  return end;
}

}  // namespace wnaspi::vdrive
