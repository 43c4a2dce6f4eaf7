// libFuzzer target of the previous-session import. The input is a disc:
// its bytes are the blocks from 16 on of a session that starts at block 0
// (the system area reads as zeros, blocks past the input cannot be read).
// The bytes go straight into the image library through a block source; a
// tree the import accepts is then laid out as the next session.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/iso/block_source.h"
#include "engine/iso/image_builder.h"

namespace {

constexpr std::int64_t kFirstInputBlock = 16;

class InputDisc final : public scrivo::BlockSource {
 public:
  explicit InputDisc(std::span<const std::uint8_t> input) : input_(input) {}

  std::int64_t Blocks() const {
    return kFirstInputBlock + static_cast<std::int64_t>((input_.size() + scrivo::kBlockSize - 1) / scrivo::kBlockSize);
  }

  bool ReadBlock(std::int32_t lba, std::span<std::uint8_t, scrivo::kBlockSize> block) override {
    if (lba < 0 || lba >= Blocks()) return false;
    std::fill(block.begin(), block.end(), std::uint8_t{0});
    if (lba < kFirstInputBlock) return true;
    const std::size_t at = static_cast<std::size_t>(lba - kFirstInputBlock) * scrivo::kBlockSize;
    const std::size_t count = std::min(scrivo::kBlockSize, input_.size() - at);
    std::copy_n(input_.begin() + static_cast<std::ptrdiff_t>(at), count, block.begin());
    return true;
  }

 private:
  std::span<const std::uint8_t> input_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  InputDisc disc(std::span<const std::uint8_t>(data, size));
  scrivo::CImageBuilder builder;
  if (builder.ImportSession(disc, 0).outcome == scrivo::ImportOutcome::Imported) {
    builder.SetImageOrigin(static_cast<std::uint32_t>(disc.Blocks()));
    builder.BuildImage();
  }
  return 0;
}
