#include "hand_made_disc.h"

#include <algorithm>
#include <cstring>

namespace isotest {
namespace {

void PutBoth32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    at[7 - i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

void PutRecord(std::uint8_t* at, std::size_t recordLength, std::uint32_t extent,
               std::uint32_t length, std::uint8_t flags, const Bytes& identifier,
               std::size_t identifierLength) {
  at[0] = static_cast<std::uint8_t>(recordLength);
  PutBoth32(at + 2, extent);
  PutBoth32(at + 10, length);
  at[25] = flags;
  at[28] = 1;
  at[31] = 1;
  at[32] = static_cast<std::uint8_t>(identifierLength);
  std::size_t room = recordLength > 33 ? recordLength - 33 : 0;
  std::copy_n(identifier.begin(), std::min(identifier.size(), room), at + 33);
}

}  // namespace

Bytes VolumeDescriptorBlock(std::uint8_t type, std::uint32_t rootExtent, std::uint32_t rootLength,
                            std::string_view escape) {
  Bytes block(2048, 0);
  block[0] = type;
  std::memcpy(&block[1], "CD001", 5);
  block[6] = 1;
  std::copy(escape.begin(), escape.end(), block.begin() + 88);
  PutRecord(&block[156], 34, rootExtent, rootLength, kDirectory, {0}, 1);
  block[881] = 1;
  return block;
}

Bytes TerminatorBlock() {
  Bytes block(2048, 0);
  block[0] = 255;
  std::memcpy(&block[1], "CD001", 5);
  block[6] = 1;
  return block;
}

Bytes Ucs2(std::string_view ascii) {
  Bytes out;
  for (char c : ascii) {
    out.push_back(0);
    out.push_back(static_cast<std::uint8_t>(c));
  }
  return out;
}

DirectoryBlock& DirectoryBlock::Dots(std::uint32_t self, std::uint32_t parent) {
  Record(self, 2048, kDirectory, {0});
  return Record(parent, 2048, kDirectory, {1});
}

DirectoryBlock& DirectoryBlock::Record(std::uint32_t extent, std::uint32_t length,
                                       std::uint8_t flags, const Bytes& identifier,
                                       std::size_t recordLength, std::size_t identifierLength) {
  if (identifierLength == SIZE_MAX) identifierLength = identifier.size();
  if (recordLength == 0) recordLength = 34 + identifier.size() + identifier.size() % 2;
  // Built apart and cut at the block's end: a test may make a record that
  // claims to run past its block.
  Bytes record(std::max<std::size_t>(recordLength, 34), 0);
  PutRecord(record.data(), recordLength, extent, length, flags, identifier, identifierLength);
  if (offset_ < bytes_.size()) {
    std::size_t fits = std::min(record.size(), bytes_.size() - offset_);
    std::copy_n(record.begin(), fits, bytes_.data() + offset_);
  }
  offset_ += recordLength;
  return *this;
}

DirectoryBlock& DirectoryBlock::RecordWith(std::uint32_t extent, std::uint32_t length,
                                           std::uint8_t flags, const Bytes& identifier,
                                           const Bytes& systemUse, std::uint8_t attributeBlocks) {
  const std::size_t start = offset_;
  const std::size_t systemUseAt = 33 + identifier.size() + (identifier.size() + 1) % 2;
  const std::size_t recordLength = (systemUseAt + systemUse.size() + 1) / 2 * 2;
  Record(extent, length, flags, identifier, recordLength);
  bytes_[start + 1] = attributeBlocks;
  std::copy(systemUse.begin(), systemUse.end(), bytes_.begin() + static_cast<long>(start + systemUseAt));
  return *this;
}

Bytes SuspIndicator() { return {'S', 'P', 7, 1, 0xBE, 0xEF, 0}; }

// A SUSP entry of `length` bytes: signature, length, version 1, and the
// both-byte-order 32-bit `fields` at their offsets.
Bytes SuspEntry(const char (&signature)[3], std::size_t length,
                std::initializer_list<std::pair<std::size_t, std::uint32_t>> fields = {}) {
  Bytes entry(length, 0);
  entry[0] = static_cast<std::uint8_t>(signature[0]);
  entry[1] = static_cast<std::uint8_t>(signature[1]);
  entry[2] = static_cast<std::uint8_t>(length);
  entry[3] = 1;
  for (auto [at, value] : fields) PutBoth32(&entry[at], value);
  return entry;
}

Bytes RockRidgeName(std::string_view name) {
  Bytes entry = SuspEntry("NM", 5 + name.size());
  std::copy(name.begin(), name.end(), entry.begin() + 5);
  return entry;
}

Bytes RockRidgeMode(std::uint32_t mode) { return SuspEntry("PX", 36, {{4, mode}, {12, 1}}); }

Bytes Continuation(std::uint32_t block, std::uint32_t offset, std::uint32_t length) {
  return SuspEntry("CE", 28, {{4, block}, {12, offset}, {20, length}});
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

DirectoryBlock& DirectoryBlock::Raw(const Bytes& bytes) {
  std::copy(bytes.begin(), bytes.end(), bytes_.data() + offset_);
  offset_ += bytes.size();
  return *this;
}

}  // namespace isotest
