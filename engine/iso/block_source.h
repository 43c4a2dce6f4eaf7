#pragma once
// Where the image library reads an earlier session from: any store of
// 2048-byte blocks by address (a drive in the burn, memory in tests, the
// fuzzer's input). The library never talks to a drive itself.

#include <cstdint>
#include <span>

#include "engine/iso/image_block.h"

namespace scrivo {

class BlockSource {
 public:
  // Copies block `lba` into `block`; false when it cannot be read.
  virtual bool ReadBlock(std::int32_t lba, std::span<std::uint8_t, kBlockSize> block) = 0;

 protected:
  ~BlockSource() = default;
};

}  // namespace scrivo
