// Recording a session: where it starts, writing its blocks, finishing it.

#include "engine/drive/mmc_core.h"
#include "platform/kernel/clock.h"

namespace scrivo {
namespace {

// Values of the Multi-session field of the write parameters page.
constexpr std::uint8_t kNoNextSession = 0;

}  // namespace

bool MmcCore::SetCdSpeed(std::uint16_t readSpeed, std::uint16_t writeSpeed) {
  TestUnitReady();
  // SET CD SPEED carries no data; it travels with the data-out flags.
  return Issue(SetCdSpeedCdb(readSpeed, writeSpeed), nullptr, 0, kFlagsDataOut);
}

bool MmcCore::PrepareTrack(BurnMode mode) {
  if (mode == BurnMode::Dvd) {
    multiSessionField = kNoNextSession;
    writeAddress = 0;
    sessionStartAddress = 0;
    // A drive that rejects the page shows it by failing the writes.
    SetWriteParametersDvd();
    return true;
  }
  DiscInfo disc;
  if (!GetDiscInfo(disc) || disc.closed) return false;
  // A blank disc has no TOC: its first session starts at 0.
  writeAddress = 0;
  FullToc toc;
  if (ReadFullToc(toc)) {
    if (auto next = toc.NextSessionStart()) writeAddress = *next;
  }
  sessionStartAddress = writeAddress;
  SetWriteParametersCd();
  return true;
}

bool MmcCore::WriteBlocks(std::span<const std::uint8_t> blocks) {
  const std::size_t count = blocks.size() / kLogicalBlockSize;
  if (count == 0 || count > kMaxWriteBlocks || blocks.size() % kLogicalBlockSize != 0) return false;
  TestUnitReady();
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
  return Issue(SynchronizeCacheCdb(), nullptr, 0, kFlagsDataIn);
}

bool MmcCore::CloseSession() {
  TestUnitReady();
  return Issue(CloseTrackSessionCdb(CloseFunction::Session), nullptr, 0, kFlagsDataIn);
}

bool MmcCore::FinishSession(BurnMode mode) {
  // Failures of the synchronise and close commands show in the disc state;
  // only a drive that stays busy fails the finish.
  SynchronizeCache();
  if (!WaitUntilReady(kSessionFinishWait)) return false;
  // A DVD session ends with the cache flush; only a CD gets its session closed.
  if (mode != BurnMode::Dvd) CloseSession();
  return WaitUntilReady(kSessionFinishWait);
}

bool MmcCore::ReserveTrack(std::int32_t blocks) {
  return Issue(ReserveTrackCdb(static_cast<std::uint32_t>(blocks)), nullptr, 0, kFlagsDataIn);
}

bool MmcCore::WaitUntilReady(PollingLimit limit) {
  for (std::uint32_t poll = 0; poll < limit.maxPolls; ++poll) {
    if (TestUnitReady()) return true;
    platform::Sleep(limit.intervalMs);
  }
  return false;
}

}  // namespace scrivo
