#pragma once
// The drive as a burn sees it: the few steps of recording one session. The
// burn library speaks to a writer only through this, so each step of a burn
// (free space, retries, closing, cancel) can be tried against a drive that a
// test scripts; MmcBurnDrive is the real one.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/drive/burn_mode.h"
#include "engine/drive/command_failure.h"
#include "engine/drive/feature_flags.h"
#include "engine/drive/full_toc.h"
#include "engine/drive/polling_limits.h"
#include "engine/iso/block_source.h"

namespace scrivo {

// Why a disc cannot take the session the burn is about to write, or (for
// WriteParameters) why the writer cannot record it as the burn asks.
enum class DiscRefusal { None, Unreadable, Closed, LastSessionUnfinished, WriteParameters };

// What LastSessionStart answers when there is no session to read (the
// drive refused the session query, as for a blank disc).
constexpr std::int32_t kNoPreviousSession = -1;
// ... and when the drive named a negative address: no session's first track
// lies there (MMC user data starts at 0), and it must not pass for -1.
constexpr std::int32_t kUnusableSessionStart = INT32_MIN;

class BurnDrive : public BlockSource {
 public:
  // Sets the write parameters for `mode` and finds where the session
  // starts. False, with Refusal() saying why, when the disc cannot take it.
  virtual bool PrepareTrack(BurnMode mode) = 0;
  virtual DiscRefusal Refusal() const = 0;
  // Whether PrepareTrack found the disc blank: a disc that is not has
  // sessions to carry over, even when the session query fails.
  virtual bool DiscBlank() const = 0;
  virtual std::int32_t SessionStart() const = 0;
  // Where the disc's last recorded session ends (its lead-out), when the
  // track preparation could tell.
  virtual std::optional<std::int32_t> PreviousSessionEnd() const = 0;
  // The first block of the disc's last session, kNoPreviousSession or
  // kUnusableSessionStart.
  virtual std::int32_t LastSessionStart() = 0;
  // The disc's complete sessions, first to last, from its full TOC, for an
  // append that must build on an earlier one than the last; nothing when
  // the TOC cannot be read.
  virtual std::optional<std::vector<TocSession>> RecordedSessions() { return std::nullopt; }
  // Why the loaded medium cannot take a burn of `mode` at all, in a
  // sentence that names it (a BD, a DVD-RW in restricted overwrite, a DVD
  // that already holds a session); empty when it can, or when the drive
  // does not say what it holds.
  virtual std::string MediumRefusal(BurnMode) { return {}; }
  // Free blocks for the next session; false when the drive cannot tell.
  virtual bool ReadFreeBlocks(std::uint32_t& freeBlocks) = 0;
  // Asks for the fastest write speed; false only when the drive does not
  // become ready (a speed it does not take is no reason to stop).
  virtual bool SetStreaming(std::int32_t endLba) = 0;
  virtual bool ReserveTrack(std::int32_t blocks) = 0;
  // The next write goes to `address`.
  virtual void SetWriteAddress(std::int32_t address) = 0;
  virtual std::int32_t WriteAddress() const = 0;
  // One write of 1 to kMaxWriteBlocks whole blocks at the write address,
  // which advances by their number on success.
  virtual bool WriteBlocks(std::span<const std::uint8_t> blocks) = 0;
  virtual bool WaitUntilReady(PollingLimit limit) = 0;
  // Pads the disc's open track, where the drive says it ends, with zeros to
  // `minimumBlocks` (a CD track a refused write left short).
  virtual TrackPadding PadOpenTrack(std::uint32_t) { return TrackPadding::NoOpenTrack; }
  // Flushes and closes what the medium needs closed; true when the disc
  // then reads back with no session left open.
  virtual bool FinishSession(BurnMode mode, FeatureFlags features) = 0;
  // The last command that did not succeed.
  virtual const CommandFailure& LastFailure() const = 0;
  // Reads whole blocks from `lba` into `blocks` (a multiple of the block
  // size), in one command where the drive can; false when they cannot all
  // be read. Block by block unless a drive does better.
  virtual bool ReadBlocks(std::int32_t lba, std::span<std::uint8_t> blocks) {
    for (std::size_t at = 0; at + kBlockSize <= blocks.size(); at += kBlockSize) {
      if (!ReadBlock(lba++, blocks.subspan(at).first<kBlockSize>())) return false;
    }
    return true;
  }

 protected:
  ~BurnDrive() = default;
};

}  // namespace scrivo
