// Lays out one tree's directories (ECMA-119 6.8.1) in pre-order: a
// directory's own blocks and the continuation areas of its records' system
// use entries, then the whole subtree of each child directory in name
// order; files receive their data blocks as the layout meets them. Every
// extent is assigned before any record is written, so a record may point
// at a directory laid out after it (Rock Ridge's links between a moved
// folder and where it belongs).

#include "engine/iso/directory_records.h"
#include "engine/iso/disc_names.h"
#include "engine/iso/ecma119_structures.h"
#include "engine/iso/image_builder.h"

namespace scrivo {
namespace {

// Names every entry below `directory` for both trees.
void AssignNamesBelow(CImageNode& directory) {
  AssignDiscNames(directory);
  for (auto& [storedName, child] : directory.children) {
    if (child->IsDirectory()) AssignNamesBelow(*child);
  }
}

}  // namespace

void CImageBuilder::BuildDirectories(ImageTree tree) {
  if (tree == ImageTree::Iso9660) {
    // The names depend on the siblings, which may have changed since the
    // last image: the first tree laid out names them afresh.
    AssignNamesBelow(root_);
    PlanRelocation();
  }
  std::vector<CImageNode*> order;
  AssignExtents(root_, tree, order);
  for (CImageNode* directory : order) FillDirectory(*directory, PlanOf(*directory, tree), tree);
  CopyRootRecord(tree);
}

void CImageBuilder::AssignExtents(CImageNode& directory, ImageTree tree,
                                  std::vector<CImageNode*>& order) {
  const DirectoryPlan plan = PlanOf(directory, tree);
  directory.extent = NextBlockAddress();
  directory.size = plan.blockCount * kBlockSize;
  directory.located = true;
  for (std::uint32_t i = 0; i < plan.blockCount + plan.continuationBlocks; ++i) AppendBlock();

  TreeExtents& extents = ExtentsOf(tree);
  if (&directory == &root_) {
    extents.rootExtent = directory.extent;
    extents.rootSize = static_cast<std::uint32_t>(directory.size);
  }
  extents.directoryBytes += directory.size;
  order.push_back(&directory);
  for (CImageNode* entry : Listing(directory, tree)) {
    if (LaidOutIn(directory, *entry, tree)) AssignExtents(*entry, tree, order);
    if (entry->isFile && !entry->located) PlaceFileData(*entry);
  }
}

DirectoryPlan CImageBuilder::PlanOf(CImageNode& directory, ImageTree tree) const {
  const bool rockRidge = tree == ImageTree::Iso9660;
  const CImageNode& parent = ParentIn(directory, tree);
  std::vector<ListedRecord> listed;
  listed.push_back({&directory, RecordRole::Self, {kSelfIdentifier[0]}, 0,
                    rockRidge ? RockRidgeOf(directory, directory, RecordRole::Self) : rrip::Entries{}});
  listed.push_back({&parent, RecordRole::Parent, {kParentIdentifier[0]}, 0,
                    rockRidge ? RockRidgeOf(directory, parent, RecordRole::Parent) : rrip::Entries{}});
  for (const CImageNode* entry : Listing(directory, tree)) {
    std::vector<std::uint8_t> identifier = EntryIdentifier(*entry, tree);
    const rrip::Entries systemUse =
        rockRidge ? RockRidgeOf(directory, *entry, RecordRole::Entry) : rrip::Entries{};
    // A file of several sections has one record for each, in order, each
    // with the same Rock Ridge entries.
    const std::size_t sections = entry->isFile ? entry->SectionCount() : 1;
    for (std::size_t section = 0; section < sections; ++section) {
      listed.push_back({entry, RecordRole::Entry, identifier, section, systemUse});
    }
  }
  return PlanDirectory(std::move(listed));
}

void CImageBuilder::FillDirectory(CImageNode& directory, const DirectoryPlan& plan, ImageTree tree) {
  for (const RecordPlacement& placement : plan.records) WriteRecord(placement, directory, plan, tree);
}

void CImageBuilder::PlaceFileData(CImageNode& file) {
  // A zero-length file takes no block: its extent is the next file's block.
  // An extent past 32 bits is cut here, but such an image fails
  // FitsAddressRange and is never written.
  file.extent = static_cast<std::uint32_t>(nextDataBlock_);
  nextDataBlock_ += BlocksFor(file.size);
  file.located = true;
}

void CImageBuilder::WriteRecord(const RecordPlacement& placement, const CImageNode& directory,
                                const DirectoryPlan& plan, ImageTree tree) {
  const ListedRecord& listed = placement.listed;
  const CImageNode& entry = *listed.entry;
  const std::size_t firstBlock = directory.extent - imageOrigin_;
  const std::size_t block = firstBlock + placement.block;
  std::uint8_t* at = BlockData(block) + placement.offset;
  RecordFields fields{placement.length, 0, 0, 0, listed.identifier, RecordDateOf(entry), placement.inside};
  if (entry.IsDirectory()) {
    fields.extent = entry.extent;
    if (listed.role != RecordRole::Entry || LaidOutIn(directory, entry, tree)) {
      fields.dataLength = static_cast<std::uint32_t>(entry.size);
      fields.fileFlags = ecma119::kFlagDirectory;
    }
    // Otherwise the Rock Ridge stand-in of a moved folder: an empty file
    // whose CL leads to the folder.
  } else {
    const FileSection section = entry.Section(listed.section);
    fields.extent = section.extent;
    fields.dataLength = section.size;
    if (listed.section + 1 < entry.SectionCount()) fields.fileFlags = ecma119::kFlagMultiExtent;
  }
  PutDirectoryRecord(at, fields);
  if (listed.role == RecordRole::Entry && entry.IsNewFile()) {
    relocationList_.push_back({block, placement.offset + ecma119::kDirectoryRecordExtentOffset});
  }

  // Each CE leads to the next area; the areas follow the directory's blocks.
  std::uint8_t* continuation = at + RecordHeadLength(listed.identifier.size()) + placement.inside.size();
  for (const RecordPlacement::Continued& area : placement.continued) {
    const std::size_t areaBlock = firstBlock + plan.blockCount + area.block;
    rrip::SetContinuation(continuation - rrip::kContinuationLength,
                          directory.extent + plan.blockCount + area.block,
                          static_cast<std::uint32_t>(area.offset),
                          static_cast<std::uint32_t>(area.bytes.size()));
    std::uint8_t* areaStart = BlockData(areaBlock) + area.offset;
    std::copy(area.bytes.begin(), area.bytes.end(), areaStart);
    continuation = areaStart + area.bytes.size();
  }
}

ecma119::RecordDate CImageBuilder::RecordDateOf(const CImageNode& entry) const {
  // The root, and an entry whose time is unknown, carry the burn's time.
  return ecma119::EncodeRecordDate(&entry != &root_ && entry.modified ? *entry.modified : burnTime_);
}

void CImageBuilder::CopyRootRecord(ImageTree tree) {
  // The descriptor's root record is the root's "." record without its
  // system use area (ECMA-119 8.4.18: 34 bytes).
  std::size_t descriptorBlock = DescriptorOf(tree);
  if (descriptorBlock == 0) return;  // no descriptors built: nothing to copy into
  std::size_t rootBlock = root_.extent - imageOrigin_;
  std::uint8_t* descriptor = BlockData(descriptorBlock);
  const std::uint8_t* dotRecord = BlockData(rootBlock);
  std::uint8_t* rootRecord = descriptor + offsetof(ecma119::VolumeDescriptor, rootDirectoryRecord);
  std::copy(dotRecord, dotRecord + kDotRecordLength, rootRecord);
  rootRecord[0] = kDotRecordLength;
}

}  // namespace scrivo
