// The session level of the import: where the last session starts, its
// volume descriptors (ECMA-119 8.4, 8.5; Joliet's escape sequence), and the
// builder's entry points.

#include "engine/iso/session_import.h"

#include <array>
#include <cstring>

#include "engine/iso/ecma119_structures.h"
#include "engine/iso/image_builder.h"

namespace scrivo {
namespace {

// Joliet level 3 (UCS-2), the only level recognised; a disc with another
// level is imported through its ISO 9660 names.
constexpr std::string_view kJolietLevel3Escape = "%/E";

bool IsPrimaryDescriptor(const ecma119::VolumeDescriptor& descriptor) {
  // The first four characters of the standard identifier are compared.
  return descriptor.type == ecma119::kPrimaryDescriptorType &&
         std::memcmp(descriptor.standardIdentifier.data(), ecma119::kStandardIdentifier.data(),
                     4) == 0 &&
         descriptor.volumeFlags == 0 && descriptor.fileStructureVersion == 1;
}

bool IsJolietDescriptor(const ecma119::VolumeDescriptor& descriptor) {
  return descriptor.type == ecma119::kSupplementaryDescriptorType &&
         std::memcmp(descriptor.escapeSequences.data(), kJolietLevel3Escape.data(),
                     kJolietLevel3Escape.size()) == 0;
}

ecma119::DirectoryRecordHeader RootRecordOf(const ecma119::VolumeDescriptor& descriptor) {
  return LoadFrom<ecma119::DirectoryRecordHeader>(descriptor.rootDirectoryRecord.data());
}

}  // namespace

ImportOutcome SessionImporter::ImportSession(std::int64_t sessionStart, CImageNode& root) {
  const std::int64_t primaryAddress = sessionStart + kFirstDescriptorOffset;
  // A session whose recording ended before its descriptors (a write failed
  // in them) holds no volume to build on.
  if (primaryAddress >= 0 && static_cast<std::uint64_t>(primaryAddress) >= dataEnd_) {
    return ImportOutcome::Damaged;
  }
  ImageBlock block{};
  if (!ReadDiscBlock(primaryAddress, block)) return ImportOutcome::Failed;
  const auto primary = LoadFrom<ecma119::VolumeDescriptor>(block.data());
  if (!IsPrimaryDescriptor(primary)) return ImportOutcome::Damaged;

  // A tree with Rock Ridge holds every name whole, with its mode, times and
  // links: it is read rather than the Joliet tree.
  const auto rootRecord = RootRecordOf(primary);
  const std::optional<bool> rockRidge = HasRockRidge(rootRecord.extent.Value());
  if (!rockRidge) return ImportOutcome::Failed;
  if (!*rockRidge) {
    if (const auto outcome = ImportJoliet(primaryAddress, root)) return *outcome;
  }
  if (rootRecord.dataLength.Value() == 0) return ImportOutcome::Damaged;
  const ImportOutcome outcome =
      ImportTree(ImageTree::Iso9660, rootRecord.extent.Value(), rootRecord.dataLength.Value(), root);
  // A relocation folder holds only folders that are listed where they
  // belong: the new session makes its own. It is told by what it holds,
  // not by its name (peers and this engine name it differently, and a
  // folder of the user may bear the usual name).
  std::vector<std::string> relocationFolders;
  for (const auto& [storedName, child] : root.children) {
    if (!child->newFlag && child->IsDirectory() && child->children.empty() &&
        holdsRelocated_.contains(child.get())) {
      relocationFolders.push_back(storedName);
    }
  }
  for (const std::string& storedName : relocationFolders) root.RemoveChild(storedName);
  return unusableRoot_ ? ImportOutcome::Damaged : outcome;
}

std::optional<bool> SessionImporter::HasRockRidge(std::uint32_t rootExtent) {
  // A root past the recorded blocks makes the session Damaged, told by the walk.
  if (std::uint64_t{rootExtent} >= dataEnd_) return false;
  ImageBlock block{};
  if (!ReadDiscBlock(rootExtent, block)) return std::nullopt;
  const std::vector<DiscRecord> records = ReadDirectoryBlock(block);
  return !records.empty() && records.front().indexInBlock == 0 &&
         rrip::SuspIndicatorSkip(records.front().systemUse).has_value();
}

std::optional<ImportOutcome> SessionImporter::ImportJoliet(std::int64_t primaryAddress, CImageNode& root) {
  ImageBlock block{};
  for (std::int64_t i = 1; i <= kSupplementaryScanBlocks; ++i) {
    if (!ReadDiscBlock(primaryAddress + i, block)) return ImportOutcome::Failed;
    const auto descriptor = LoadFrom<ecma119::VolumeDescriptor>(block.data());
    if (IsJolietDescriptor(descriptor)) {
      const auto rootRecord = RootRecordOf(descriptor);
      // A Joliet root of length 0, or one that is no directory, holds
      // nothing: the ISO 9660 tree is read instead.
      if (rootRecord.dataLength.Value() == 0) break;
      const ImportOutcome outcome = ImportTree(ImageTree::Joliet, rootRecord.extent.Value(),
                                               rootRecord.dataLength.Value(), root);
      if (!unusableRoot_) return outcome;
      unusableRoot_ = false;  // nothing of it was merged
      break;
    }
    if (descriptor.type == ecma119::kTerminatorDescriptorType) break;
  }
  return std::nullopt;
}

ImportOutcome SessionImporter::ImportTree(ImageTree tree, std::uint32_t extent,
                                          std::uint32_t length, CImageNode& root) {
  rootPending_ = true;
  const bool walked = ImportDirectory(tree, extent, length, root);
  if (damaged_) return ImportOutcome::Damaged;
  if (!walked) return unusableRoot_ ? ImportOutcome::Damaged : ImportOutcome::Failed;
  return lostCount_ > 0 ? ImportOutcome::EntriesLost : ImportOutcome::Imported;
}

bool SessionImporter::ReadDiscBlock(std::int64_t lba, ImageBlock& block) {
  // The drive takes a signed 32-bit address; anything outside 0 to 2^31-1
  // (a disc-given extent plus its length can reach it) cannot be read.
  if (lba < 0 || lba > INT32_MAX) return false;
  return disc_.ReadBlock(static_cast<std::int32_t>(lba), block);
}

// --- The builder's entry points -------------------------------------------

ImportResult CImageBuilder::ImportSession(BlockSource& disc, std::int32_t sessionStart,
                                          std::uint64_t dataEnd) {
  SessionImporter importer(disc);
  importer.LimitDataTo(dataEnd);
  ImportResult result;
  result.outcome = importer.ImportSession(sessionStart, root_);
  // A damaged session leaves nothing behind: another may be built on.
  if (result.outcome == ImportOutcome::Damaged) root_.RemoveEntriesFrom(kImportedSource);
  result.lost = importer.Lost();
  result.lostCount = importer.LostCount();
  return result;
}

bool CImageBuilder::ImportJolietDirectory(BlockSource& disc, std::uint32_t extent,
                                          std::uint32_t length, CImageNode& parent) {
  SessionImporter importer(disc);
  return importer.ImportDirectory(ImageTree::Joliet, extent, length, parent);
}

bool CImageBuilder::ImportIsoDirectory(BlockSource& disc, std::uint32_t extent,
                                       std::uint32_t length, CImageNode& parent) {
  SessionImporter importer(disc);
  return importer.ImportDirectory(ImageTree::Iso9660, extent, length, parent);
}

}  // namespace scrivo
