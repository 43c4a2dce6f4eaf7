#pragma once
// Verification of a session: the digest of each block as it was written (or
// as a burn of the same compilation would write it), then the session read
// back through the drive in large reads and compared block by block. A block
// that differs or cannot be read is put down to the file whose contents it
// holds, or to the disc's directory (volume descriptors, directories and
// path tables), from the image's layout.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "engine/iso/image_stream.h"

namespace scrivo {

class BurnDrive;
class CImageBuilder;

// A 64-bit digest of every block, in the order the blocks were written from
// the session's first block on.
class BlockDigests {
 public:
  static std::uint64_t Of(std::span<const std::uint8_t> block);
  // Whole blocks.
  void Add(std::span<const std::uint8_t> blocks);
  std::size_t Count() const { return digests_.size(); }
  std::uint64_t At(std::size_t index) const { return digests_[index]; }

 private:
  std::vector<std::uint64_t> digests_;
};

// A BlockOutput that only takes the digests: the blocks a burn of the
// compilation would write, without a drive.
class DigestOutput final : public BlockOutput {
 public:
  explicit DigestOutput(BlockDigests& digests) : digests_(digests), buffer_(kBufferBlocks * kBlockSize) {}
  std::span<std::uint8_t> Space() override { return buffer_; }
  StreamStep Commit(std::uint32_t blocks, bool) override;
  bool Flush() override { return true; }

 private:
  static constexpr std::size_t kBufferBlocks = 128;
  BlockDigests& digests_;
  std::vector<std::uint8_t> buffer_;
};

// What the read-back found in one file, or in the directory (path empty).
struct VerifyFinding {
  std::string path;    // on the disc, from its root ("/photos/a.jpg"); empty: the directory (or the image file)
  std::string source;  // the file it was burned from
  bool unreadable = false;  // some block could not be read (else: some block differs)
  std::int64_t firstBlock = 0;  // the first such block on the disc
  std::uint32_t blocks = 0;     // how many blocks of it differ or cannot be read
};

struct VerifyResult {
  bool complete = true;  // false: a cancel stopped the read-back
  std::uint32_t files = 0;
  std::uint64_t blocks = 0;  // blocks read back and compared
  std::vector<VerifyFinding> findings;
  bool Identical() const { return complete && findings.empty(); }
};

// Reads blocks 0 to VolumeSpaceSize() - 1 of the image back from the disc at
// the image's origin and compares them with `digests`. `progress` hears per
// mille (1 to 1000) as the reading goes on; `cancelled` is asked between
// reads and stops the read-back when it answers true.
VerifyResult VerifySession(BurnDrive& drive, const CImageBuilder& image, const BlockDigests& digests,
                           const std::function<void(std::uint32_t)>& progress,
                           const std::function<bool()>& cancelled);

// The same for a session burned from the image file `imageFile` at block 0:
// what differs is the image's, named by the file (a finding with an empty
// path and the file as its source).
VerifyResult VerifyImageFile(BurnDrive& drive, const std::string& imageFile, const BlockDigests& digests,
                             const std::function<void(std::uint32_t)>& progress,
                             const std::function<bool()>& cancelled);

// The text a host shows for a finding, and for the result as a whole.
std::string DescribeFinding(const VerifyFinding& finding);

}  // namespace scrivo
