// Lays out one tree's directories (ECMA-119 6.8.1) in pre-order: a
// directory's own blocks, then the whole subtree of each child directory in
// name order; files receive their data blocks as the layout meets them.

#include "engine/iso/disc_names.h"
#include "engine/iso/ecma119_structures.h"
#include "engine/iso/image_builder.h"

namespace scrivo {
namespace {

// A folder too deep for the ISO 9660 tree; the files of a folder at the
// limit are ordinary entries of it.
bool BeyondIsoDepth(const CImageNode& entry, ImageTree tree) {
  return tree == ImageTree::Iso9660 && entry.IsDirectory() &&
         entry.level > CImageNode::kIsoDepthLimit;
}

// Names every entry below `directory` for both trees.
void AssignNamesBelow(CImageNode& directory) {
  AssignDiscNames(directory);
  for (auto& [storedName, child] : directory.children) {
    if (child->IsDirectory()) AssignNamesBelow(*child);
  }
}

}  // namespace

void CImageBuilder::BuildDirectories(ImageTree tree) {
  // The names depend on the siblings, which may have changed since the
  // last image: the first tree laid out names them afresh.
  if (tree == ImageTree::Iso9660) AssignNamesBelow(root_);
  LayOutDirectory(root_, tree);
  CopyRootRecord(tree);
}

void CImageBuilder::LayOutDirectory(CImageNode& directory, ImageTree tree) {
  DirectoryPlan plan = PlanDirectory(directory, tree);
  directory.extent = NextBlockAddress();
  directory.size = plan.blockCount * static_cast<std::uint32_t>(kBlockSize);
  directory.located = true;
  std::size_t firstBlock = AppendBlock();
  for (std::uint32_t i = 1; i < plan.blockCount; ++i) AppendBlock();

  TreeExtents& extents = ExtentsOf(tree);
  if (&directory == &root_) {
    extents.rootExtent = directory.extent;
    extents.rootSize = directory.size;
  }
  extents.directoryBytes += directory.size;
  FillDirectory(directory, plan, firstBlock, tree);
}

void CImageBuilder::FillDirectory(CImageNode& directory, const DirectoryPlan& plan,
                                  std::size_t firstBlock, ImageTree tree) {
  // The root is its own parent (ECMA-119 6.8.2.2).
  const CImageNode& parent = directory.parent != nullptr ? *directory.parent : directory;
  std::uint8_t* first = BlockData(firstBlock);
  PutDirectoryRecord(first, {kDotRecordLength, directory.extent, directory.size,
                             ecma119::kFlagDirectory, kSelfIdentifier, RecordDateOf(directory)});
  PutDirectoryRecord(first + kDotRecordLength,
                     {kDotRecordLength, parent.extent, parent.size, ecma119::kFlagDirectory,
                      kParentIdentifier, RecordDateOf(parent)});
  for (const RecordPlacement& placement : plan.records) {
    CImageNode& entry = *placement.entry;
    if (placement.section == 0 && entry.IsDirectory() && !BeyondIsoDepth(entry, tree)) {
      LayOutDirectory(entry, tree);
    }
    if (entry.isFile && !entry.located) PlaceFileData(entry);
    WriteEntryRecord(placement, firstBlock, tree);
  }
}

void CImageBuilder::PlaceFileData(CImageNode& file) {
  // A zero-length file takes no block: its extent is the next file's block.
  // An extent past 32 bits is cut here, but such an image fails
  // FitsAddressRange and is never written.
  file.extent = static_cast<std::uint32_t>(nextDataBlock_);
  nextDataBlock_ += BlocksFor(file.size);
  file.located = true;
}

void CImageBuilder::WriteEntryRecord(const RecordPlacement& placement, std::size_t firstBlock,
                                     ImageTree tree) {
  const CImageNode& entry = *placement.entry;
  const std::size_t block = firstBlock + placement.block;
  std::uint8_t* at = BlockData(block) + placement.offset;
  RecordFields fields{placement.length, entry.extent, entry.size, 0, placement.identifier,
                      RecordDateOf(entry)};
  if (placement.section > 0) {
    const FileSection& section = entry.moreSections[placement.section - 1];
    fields.extent = section.extent;
    fields.dataLength = section.size;
  }
  if (placement.section < entry.moreSections.size()) {
    fields.fileFlags = ecma119::kFlagMultiExtent;  // more sections follow
  } else if (BeyondIsoDepth(entry, tree)) {
    // A directory below the ISO 9660 depth limit has no extent in that tree.
    // Its record keeps its place but describes an empty hidden file, so no
    // ISO 9660 reader can follow it anywhere, least of all back up the tree;
    // its contents are reached through the Joliet tree.
    fields.extent = 0;
    fields.dataLength = 0;
    fields.fileFlags = ecma119::kFlagHidden;
  } else if (entry.IsDirectory()) {
    fields.fileFlags = ecma119::kFlagDirectory;
  }
  PutDirectoryRecord(at, fields);
  if (entry.IsNewFile()) {
    relocationList_.push_back({block, placement.offset + ecma119::kDirectoryRecordExtentOffset});
  }
}

ecma119::RecordDate CImageBuilder::RecordDateOf(const CImageNode& entry) const {
  // The root, and an entry whose time is unknown, carry the burn's time.
  return ecma119::EncodeRecordDate(&entry != &root_ && entry.modified ? *entry.modified : burnTime_);
}

void CImageBuilder::CopyRootRecord(ImageTree tree) {
  // The descriptor's root record is the root's "." record (ECMA-119 8.4.18).
  std::size_t descriptorBlock = DescriptorOf(tree);
  if (descriptorBlock == 0) return;  // no descriptors built: nothing to copy into
  std::size_t rootBlock = root_.extent - imageOrigin_;
  std::uint8_t* descriptor = BlockData(descriptorBlock);
  const std::uint8_t* dotRecord = BlockData(rootBlock);
  std::copy(dotRecord, dotRecord + kDotRecordLength,
            descriptor + offsetof(ecma119::VolumeDescriptor, rootDirectoryRecord));
}

}  // namespace scrivo
