#pragma once
// The block sequence of a built image, as it leaves the builder: every
// metadata block of sectorList in order, then the contents of the new files
// in fileMap order, each padded with zeros to whole blocks. The burn sends
// it to the drive; WriteImageFile sends it to a file.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "engine/iso/image_block.h"

namespace scrivo {

class CImageBuilder;
class CImageNode;

class BlockSink {
 public:
  // Takes the next block of the image; false stops the stream.
  virtual bool PutBlock(std::span<const std::uint8_t, kBlockSize> block) = 0;

 protected:
  ~BlockSink() = default;
};

// What the consumer of a file's blocks says after each one.
enum class StreamStep { Continue, Stop, Fail };
enum class FileStreamEnd { Complete, Stopped, Failed };
// Takes one block of a file; `fromSource` is false for the zero blocks that
// stand in for a source that can no longer be opened.
using FileBlockConsumer = std::function<StreamStep(std::span<const std::uint8_t, kBlockSize>, bool fromSource)>;

// Hands every block of a new file to `take`: its contents read from the
// source with the size recorded when it was added (bytes it gained since are
// not read; the rest of the last block is zero), or zero blocks when the
// source cannot be opened any more. A source that comes up short before its
// last block (it shrank) fails.
FileStreamEnd StreamFileBlocks(const CImageNode& file, const FileBlockConsumer& take);

// Every block of sectorList, index 0 upwards. False when the sink refuses
// one or a block was already released.
bool WriteMetadataBlocks(const CImageBuilder& builder, BlockSink& sink);

// Every new file of fileMap, block by block, read from its source with the
// size recorded when it was added. A source that cannot be opened any more
// is written as zero blocks; one that comes up short before its last block
// (it shrank) fails the stream.
bool WriteFileContents(const CImageBuilder& builder, BlockSink& sink);

// Writes the built image to `path`: the same blocks in the same order.
bool WriteImageFile(const CImageBuilder& builder, const std::string& path);

}  // namespace scrivo
