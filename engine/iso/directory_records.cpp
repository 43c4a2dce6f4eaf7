#include "engine/iso/directory_records.h"

#include <cstring>

#include "engine/iso/ecma119_structures.h"
#include "engine/iso/image_block.h"
#include "engine/iso/joliet_text.h"

namespace scrivo {

std::vector<std::uint8_t> EntryIdentifier(const CImageNode& entry, ImageTree tree) {
  if (tree == ImageTree::Joliet && !entry.carriedJolietName.empty()) {
    std::vector<std::uint8_t> identifier(entry.carriedJolietName.size() * 2);
    PutUcs2BigEndian(identifier.data(), entry.carriedJolietName);
    return identifier;
  }
  if (tree == ImageTree::Joliet) return JolietIdentifier(entry.name);
  std::string isoName = entry.IsoName();
  return {isoName.begin(), isoName.end()};
}

DirectoryPlan PlanDirectory(const CImageNode& directory, ImageTree tree) {
  DirectoryPlan plan;
  std::uint32_t block = 0;
  std::size_t offset = kFirstEntryOffset;
  for (const auto& [storedName, child] : directory.children) {
    const std::vector<std::uint8_t> identifier = EntryIdentifier(*child, tree);
    const std::size_t length = EntryRecordLength(identifier.size());
    // A file of several sections has one record for each, in order.
    const std::size_t sections = 1 + child->moreSections.size();
    for (std::size_t section = 0; section < sections; ++section) {
      if (!RecordFits(offset, length)) {
        ++block;
        offset = 0;
      }
      plan.records.push_back({child.get(), identifier, block, offset, length, section});
      offset += length;
    }
  }
  plan.blockCount = block + 1;
  return plan;
}

void PutDirectoryRecord(std::uint8_t* at, const RecordFields& fields) {
  ecma119::DirectoryRecordHeader header{};
  header.recordLength = static_cast<std::uint8_t>(fields.recordLength);
  header.extent.Set(fields.extent);
  header.dataLength.Set(fields.dataLength);
  header.recordingDate = fields.recordingDate;
  header.fileFlags = fields.fileFlags;
  header.volumeSequenceNumber.Set(1);
  header.identifierLength = static_cast<std::uint8_t>(fields.identifier.size());
  StoreAt(at, header);
  std::memcpy(at + sizeof(header), fields.identifier.data(), fields.identifier.size());
}

}  // namespace scrivo
