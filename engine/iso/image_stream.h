#pragma once
// The image as it leaves the builder, in runs of whole blocks: every
// metadata block of sectorList in order, then the contents of the new files
// in fileMap order, each padded with zeros to whole blocks. The blocks go
// straight into the buffer of a BlockOutput: metadata copied from its
// blocks, file contents read from their sources in large pieces, never
// copied again on their way out. The burn sends the output to the drive
// (drive_output.h); WriteImageFile sends it to a file.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "engine/iso/image_block.h"

namespace scrivo {

class CImageBuilder;
class CImageNode;

// What an output says to the blocks it was given, and how a pass ended.
enum class StreamStep { Continue, Stop, Fail };
enum class StreamEnd { Complete, Stopped, Failed };
// How a new file's source differs from what was recorded when it was added.
enum class SourceChange {
  Unreadable,   // it cannot be opened any more: its blocks are sent as zeros
  SizeChanged,  // its length is no longer the recorded size
  CameUpShort,  // a read ended before the recorded size: the pass fails
};
// Hears of each such source, with the errno of the failed open or read (0
// when the file simply ended early).
using SourceChangeSink = std::function<void(const CImageNode&, SourceChange, int error)>;

class BlockOutput {
 public:
  // Room for the next blocks of the image: one or more whole blocks.
  virtual std::span<std::uint8_t> Space() = 0;
  // The first `blocks` blocks of Space() now hold the next blocks of the
  // image. `fromSource`: they were read from a source file (not metadata,
  // nor zeros standing in for a source that is gone). Stop: the output kept
  // only some of them and takes no more (a cancel); Fail: a write failed.
  virtual StreamStep Commit(std::uint32_t blocks, bool fromSource) = 0;
  // Sends on every block committed so far; false when that fails.
  virtual bool Flush() = 0;

 protected:
  ~BlockOutput() = default;
};

// Every block of sectorList, index 0 upwards, then a flush. `handedOver`
// hears the index of each block once the output holds its copy. Failed when
// a block was already released or the output refuses.
StreamEnd StreamMetadata(const CImageBuilder& builder, BlockOutput& output,
                         const std::function<void(std::size_t)>& handedOver = {});

// Every new file of fileMap, read from its source with the size recorded when
// it was added (bytes it gained since are not read; the rest of its last
// block is zero), then a flush. A source that cannot be opened any more is
// sent as zero blocks. One that comes up short before its last block (it
// shrank) fails the pass once the blocks read before the short one are sent.
// `changed` hears of each source that is not as it was recorded, so that a
// disc which does not hold a file as it is now is not passed off as whole.
StreamEnd StreamFileContents(const CImageBuilder& builder, BlockOutput& output,
                             const SourceChangeSink& changed = {});

// Writes all `bytes` of `data` to the file `fd`; 0, or the errno of the
// write that failed (ENOSPC for one that wrote nothing).
int WriteAll(int fd, const std::uint8_t* data, std::size_t bytes);

// Writes the built image to `path`: the same blocks in the same order.
bool WriteImageFile(const CImageBuilder& builder, const std::string& path);

}  // namespace scrivo
