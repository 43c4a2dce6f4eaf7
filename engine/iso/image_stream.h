#pragma once
// The block sequence of a built image, as it leaves the builder: every
// metadata block of sectorList in order, then the contents of the new files
// in fileMap order, each padded with zeros to whole blocks. The burn sends
// it to the drive; WriteImageFile sends it to a file.

#include <cstdint>
#include <span>
#include <string>

#include "engine/iso/image_block.h"

namespace scrivo {

class CImageBuilder;

class BlockSink {
 public:
  // Takes the next block of the image; false stops the stream.
  virtual bool PutBlock(std::span<const std::uint8_t, kBlockSize> block) = 0;

 protected:
  ~BlockSink() = default;
};

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
