#pragma once
// Discs made byte by byte for the import tests: volume descriptors and
// directory blocks laid out by the ECMA-119 offsets (independently of the
// engine's structures), including records no sound disc holds.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace isotest {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kFile = 0x00;
constexpr std::uint8_t kHidden = 0x01;
constexpr std::uint8_t kDirectory = 0x02;
constexpr std::uint8_t kAssociated = 0x04;
constexpr std::uint8_t kMultiExtent = 0x80;

// A 2048-byte volume descriptor of `type` with "CD001", version 1, file
// structure version 1 and a root directory record at 156.
Bytes VolumeDescriptorBlock(std::uint8_t type, std::uint32_t rootExtent, std::uint32_t rootLength,
                            std::string_view escape = "");
inline Bytes PrimaryBlock(std::uint32_t rootExtent, std::uint32_t rootLength) {
  return VolumeDescriptorBlock(1, rootExtent, rootLength);
}
inline Bytes JolietBlock(std::uint32_t rootExtent, std::uint32_t rootLength) {
  return VolumeDescriptorBlock(2, rootExtent, rootLength, "%/E");
}
Bytes TerminatorBlock();

// Rock Ridge entries (SUSP/RRIP, by their byte offsets).
Bytes SuspIndicator();                 // SP, LEN_SKP 0
Bytes RockRidgeName(std::string_view name);  // NM
Bytes RockRidgeMode(std::uint32_t mode);     // PX
Bytes Continuation(std::uint32_t block, std::uint32_t offset, std::uint32_t length);  // CE
Bytes operator+(Bytes a, const Bytes& b);

// UCS-2 big-endian bytes of an ASCII text.
Bytes Ucs2(std::string_view ascii);
inline Bytes Latin(std::string_view text) { return {text.begin(), text.end()}; }

// One directory block, filled record by record from offset 0.
class DirectoryBlock {
 public:
  DirectoryBlock() : bytes_(2048, 0) {}
  // "." and ".." records of a directory at `self` whose parent is at `parent`.
  DirectoryBlock& Dots(std::uint32_t self, std::uint32_t parent);
  // A record of length 34 + n rounded up to even, or of `recordLength`
  // when given (the identifier may then claim more than the record holds).
  DirectoryBlock& Record(std::uint32_t extent, std::uint32_t length, std::uint8_t flags,
                         const Bytes& identifier, std::size_t recordLength = 0,
                         std::size_t identifierLength = SIZE_MAX);
  // A record whose system use area (after the identifier and its padding)
  // holds `systemUse`; `attributeBlocks` fills the extended attribute length.
  DirectoryBlock& RecordWith(std::uint32_t extent, std::uint32_t length, std::uint8_t flags,
                             const Bytes& identifier, const Bytes& systemUse,
                             std::uint8_t attributeBlocks = 0);
  // Raw bytes at the current offset, which moves past them.
  DirectoryBlock& Raw(const Bytes& bytes);
  DirectoryBlock& At(std::size_t offset) {
    offset_ = offset;
    return *this;
  }
  const Bytes& bytes() const { return bytes_; }
  std::size_t offset() const { return offset_; }

 private:
  Bytes bytes_;
  std::size_t offset_ = 0;
};

}  // namespace isotest
