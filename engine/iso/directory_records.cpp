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

DirectoryPlan PlanDirectory(std::vector<ListedRecord> listed) {
  DirectoryPlan plan;
  std::uint32_t block = 0;
  std::size_t offset = 0;
  std::uint32_t areaBlock = 0;
  std::size_t areaOffset = 0;
  for (ListedRecord& record : listed) {
    const std::size_t head = RecordHeadLength(record.identifier.size());
    rrip::SplitSystemUse split = rrip::SplitEntries(record.systemUse, kLongestRecord - head, kBlockSize);
    const std::size_t length = head + split.inside.size() + split.inside.size() % 2;
    if (!RecordFits(offset, length)) {
      ++block;
      offset = 0;
    }
    RecordPlacement& placement = plan.records.emplace_back();
    placement.block = block;
    placement.offset = offset;
    placement.length = length;
    placement.inside = std::move(split.inside);
    for (rrip::Entries& area : split.areas) {
      if (areaOffset + area.size() > kBlockSize) {
        ++areaBlock;
        areaOffset = 0;
      }
      placement.continued.push_back({std::move(area), areaBlock, areaOffset});
      areaOffset += placement.continued.back().bytes.size();
    }
    record.systemUse.clear();
    placement.listed = std::move(record);
    offset += length;
  }
  plan.blockCount = block + 1;
  plan.continuationBlocks = areaOffset > 0 || areaBlock > 0 ? areaBlock + 1 : 0;
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
  // (A Joliet record has no system use area: memcpy must not see its null data.)
  std::copy(fields.identifier.begin(), fields.identifier.end(), at + sizeof(header));
  std::copy(fields.systemUse.begin(), fields.systemUse.end(), at + RecordHeadLength(fields.identifier.size()));
}

}  // namespace scrivo
