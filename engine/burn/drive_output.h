#pragma once
// The burn's output: the image's blocks gathered in one reusable buffer and
// sent to the drive in WRITE(10)s of up to 16 blocks at the drive's write
// address, each block counted for the progress once its command succeeded.
// A cancel is looked at only on blocks read from a source that fall on a
// progress point (every eleventh block of a pass): when it is seen, the
// blocks up to that one are written and the output takes no more, so the
// disc ends exactly where a block-by-block burn would have stopped.
//
// The track is shaped as the medium needs: on DVD every write but the
// track's last is a whole ECC block (16 blocks, 32 KiB), so a flush at the
// end of a pass keeps the blocks past the last boundary for the next pass;
// FinishTrack sends what is left and pads the track with zeros to whole
// ECC blocks on DVD and to the 300-block minimum of a CD track.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "engine/drive/burn_mode.h"
#include "engine/drive/command_failure.h"
#include "engine/iso/image_stream.h"

namespace scrivo {

class BlockDigests;
class BurnDrive;
class WriteProgress;

// DVD is recorded in ECC blocks of 16 blocks.
constexpr std::uint32_t kDvdWriteUnitBlocks = 16;

// The blocks of the track that holds an image of `imageBlocks` blocks.
std::uint64_t TrackBlocks(BurnMode mode, std::uint64_t imageBlocks);

class DriveOutput final : public BlockOutput {
 public:
  // 256 KiB: reads from the sources come in pieces of up to this size,
  // large enough that a read costs far less than the copy it makes.
  static constexpr std::uint32_t kBufferBlocks = 128;

  // `cancelRequested` is asked at most once per progress point and consumes
  // the request when it answers true.
  DriveOutput(BurnDrive& drive, WriteProgress& progress, BurnMode mode,
              std::function<bool()> cancelRequested);

  // The first WRITE(10) of the job is tried up to ten times, with a wait for
  // the drive between tries (a DVD-R drive settling after RESERVE TRACK).
  void RetryFirstWrite() { retryFirst_ = true; }
  // Each block the drive takes adds its digest to `digests`, for the
  // read-back after the session is closed.
  void KeepDigests(BlockDigests* digests) { digests_ = digests; }
  // A new pass: the progress counts from 0 again.
  void StartPass();

  std::span<std::uint8_t> Space() override;
  StreamStep Commit(std::uint32_t blocks, bool fromSource) override;
  // Sends every whole write unit committed so far; false when that fails.
  bool Flush() override;
  // Sends the rest and the track's padding (not counted in the progress).
  bool FinishTrack();

  // Blocks the drive took so far.
  std::uint64_t BlocksWritten() const { return blocksWritten_; }
  // The write the drive refused last, as it answered it.
  const std::optional<CommandFailure>& WriteFailure() const { return writeFailure_; }

 private:
  // Writes the first `blocks` blocks of the buffer; the first `counted` are
  // the image's and count for the progress.
  bool Send(std::uint32_t blocks, std::uint32_t counted);
  bool Write(std::uint32_t firstBlock, std::uint32_t blocks);
  bool WriteWithRetries(std::uint32_t firstBlock, std::uint32_t blocks);

  BurnDrive& drive_;
  WriteProgress& progress_;
  BurnMode mode_;
  std::uint32_t unitBlocks_;  // every write but the track's last is a multiple
  std::function<bool()> cancelRequested_;
  std::vector<std::uint8_t> buffer_;
  std::uint32_t filled_ = 0;  // blocks committed and not yet sent
  bool retryFirst_ = false;
  bool wroteAny_ = false;
  std::uint64_t blocksWritten_ = 0;
  std::optional<CommandFailure> writeFailure_;
  BlockDigests* digests_ = nullptr;
};

}  // namespace scrivo
