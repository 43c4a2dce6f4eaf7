#include "engine/iso/directory_records.h"

#include <algorithm>
#include <cstring>

#include "engine/iso/ecma119_structures.h"
#include "engine/iso/image_block.h"
#include "engine/iso/joliet_text.h"

namespace scrivo {

std::vector<std::uint8_t> EntryIdentifier(const CImageNode& entry, ImageTree tree) {
  if (tree == ImageTree::Iso9660) return {entry.isoName.begin(), entry.isoName.end()};
  std::vector<std::uint8_t> identifier(entry.jolietIdentifier.size() * 2);
  PutUcs2BigEndian(identifier.data(), entry.jolietIdentifier);
  return identifier;
}

std::vector<CImageNode*> EntriesInOrder(const CImageNode& directory, ImageTree tree) {
  std::vector<CImageNode*> entries;
  entries.reserve(directory.children.size());
  for (const auto& [storedName, child] : directory.children) entries.push_back(child.get());
  // UTF-16 units compare as their big-endian bytes do.
  std::sort(entries.begin(), entries.end(), [tree](const CImageNode* a, const CImageNode* b) {
    return tree == ImageTree::Iso9660 ? a->isoName < b->isoName
                                      : a->jolietIdentifier < b->jolietIdentifier;
  });
  return entries;
}

DirectoryPlan PlanDirectory(const CImageNode& directory, ImageTree tree) {
  DirectoryPlan plan;
  std::uint32_t block = 0;
  std::size_t offset = kFirstEntryOffset;
  for (CImageNode* child : EntriesInOrder(directory, tree)) {
    const std::vector<std::uint8_t> identifier = EntryIdentifier(*child, tree);
    const std::size_t length = EntryRecordLength(identifier.size());
    // A file of several sections has one record for each, in order.
    const std::size_t sections = 1 + child->moreSections.size();
    for (std::size_t section = 0; section < sections; ++section) {
      if (!RecordFits(offset, length)) {
        ++block;
        offset = 0;
      }
      plan.records.push_back({child, identifier, block, offset, length, section});
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
