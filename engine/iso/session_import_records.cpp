#include "engine/iso/session_import_records.h"

#include "engine/iso/ecma119_structures.h"
#include "platform/bytes/byte_order.h"
#include "platform/text/codepage.h"

namespace scrivo {
namespace {

bool CanStartRecord(std::size_t length, std::size_t offset) {
  return length >= kSmallestDirectoryRecord && length % 2 == 0 && offset + length <= kBlockSize;
}

}  // namespace

std::vector<DiscRecord> ReadDirectoryBlock(std::span<const std::uint8_t, kBlockSize> block) {
  std::vector<DiscRecord> records;
  std::size_t index = 0;
  for (std::size_t offset = 0; offset < kBlockSize && block[offset] != 0; offset += block[offset]) {
    const std::size_t length = block[offset];
    if (!CanStartRecord(length, offset)) break;
    const auto header = LoadFrom<ecma119::DirectoryRecordHeader>(block.data() + offset);
    const std::size_t identifierLength = header.identifierLength;
    const std::size_t thisIndex = index++;
    if (identifierLength == 0 || sizeof header + identifierLength > length) continue;
    // An even identifier is followed by a padding byte (ECMA-119 9.1.12).
    const std::size_t systemUseStart = sizeof header + identifierLength + (identifierLength + 1) % 2;
    const std::size_t systemUseLength = length > systemUseStart ? length - systemUseStart : 0;
    records.push_back({thisIndex, header.extent.Value(), header.dataLength.Value(),
                       header.fileFlags, header.extendedAttributeLength,
                       block.subspan(offset + sizeof header, identifierLength),
                       block.subspan(offset + systemUseStart, systemUseLength),
                       header.recordingDate});
  }
  return records;
}

std::string StoredNameOf(std::span<const std::uint8_t> identifier, ImageTree tree) {
  if (tree == ImageTree::Iso9660) return {identifier.begin(), identifier.end()};
  return platform::WideToNarrow(JolietUnitsOf(identifier));
}

std::u16string JolietUnitsOf(std::span<const std::uint8_t> identifier) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < identifier.size(); i += 2) {
    units.push_back(static_cast<char16_t>(bytes::GetBE16(identifier.data() + i)));
  }
  return units;
}

}  // namespace scrivo
