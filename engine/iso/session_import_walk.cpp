// The directory walk of the import: one directory's blocks, record by
// record, into the compilation tree, and its subdirectories recursively.
// Each block is read into a buffer of its own and walked before the next is
// read, so no allocation depends on a length the disc gives.

#include <algorithm>
#include <memory>

#include "engine/iso/ecma119_structures.h"
#include "engine/iso/session_import.h"

namespace scrivo {

bool SessionImporter::Refuse() {
  refused_ = true;
  return false;
}

bool SessionImporter::IsOpen(std::uint32_t extent) const {
  return std::find(openDirectories_.begin(), openDirectories_.end(), extent) !=
         openDirectories_.end();
}

bool SessionImporter::ImportDirectory(ImageTree tree, std::uint32_t extent, std::uint32_t length,
                                      CImageNode& parent) {
  if (refused_) return false;
  // No directory of a sound disc is this large; reading it would only cost
  // time and, if it held entries, hand the new session a corrupt tree.
  if (length > ImportLimits::kDirectoryBytes) return Refuse();
  const std::uint32_t blocks = BlocksFor(length);
  if (blocks > ImportLimits::kDirectoryBlocks - blocksRead_) return Refuse();
  blocksRead_ += blocks;

  openDirectories_.push_back(extent);
  const bool walked = WalkDirectory(tree, extent, blocks, parent);
  openDirectories_.pop_back();
  return walked && !refused_;
}

bool SessionImporter::WalkDirectory(ImageTree tree, std::uint32_t extent, std::uint32_t blocks,
                                    CImageNode& parent) {
  // Records never cross a block (ECMA-119 6.8.1), so each block is walked
  // on its own; the records found point into `block` until the next read.
  auto block = std::make_unique<ImageBlock>();
  for (std::uint32_t j = 0; j < blocks; ++j) {
    if (!ReadDiscBlock(std::int64_t{extent} + j, *block)) return false;
    for (const DiscRecord& record : ReadDirectoryBlock(*block)) {
      // The first two records are the directory itself and its parent
      // (ECMA-119 6.8.2.2).
      if (j == 0 && record.indexInBlock < 2) continue;
      ImportRecord(tree, record, parent);
      if (refused_) return false;
    }
  }
  return true;
}

void SessionImporter::ImportRecord(ImageTree tree, const DiscRecord& record, CImageNode& parent) {
  // Only plain files and directories are carried over; hidden, associated,
  // multi-extent and other flagged records (ECMA-119 9.1.6) are not.
  const bool isDirectory = record.fileFlags == ecma119::kFlagDirectory;
  if (record.fileFlags != 0 && !isDirectory) return;
  if (++entriesTaken_ > ImportLimits::kEntries) {
    Refuse();
    return;
  }
  if (parent.level >= ImportLimits::kDirectoryLevel) {
    Refuse();
    return;
  }
  // The host's entries are what this burn is for: where the disc has an
  // entry of the same name, the host's file or folder is the one the new
  // session shows (a newer version of a file is written, not dropped), and
  // a folder of the disc merges into the host's folder of that name.
  std::string name = StoredNameOf(record.identifier, tree);
  CImageNode* sibling = parent.FindChild(name);
  if (isDirectory) {
    // A record leading back to a directory being walked (itself or an
    // ancestor) would be walked forever. It is left out: its entries are
    // imported where the walk met that directory first.
    if (IsOpen(record.extent)) return;
    if (sibling != nullptr && sibling->IsNewFile()) return;
    if (sibling != nullptr && sibling->IsDirectory()) {
      MergeSubdirectory(tree, record, *sibling);
    } else {
      ImportSubdirectory(tree, record, parent, name);
    }
    return;
  }
  if (sibling != nullptr && (sibling->IsNewFile() || sibling->IsDirectory())) return;
  if (record.dataLength > 0 && std::uint64_t{record.extent} + BlocksFor(record.dataLength) > dataEnd_) {
    return;  // its contents were never recorded
  }
  // A name the tree cannot hold (too long, empty, with "/" or NUL) is
  // rejected by AddChild and the entry skipped. A second entry of the disc
  // under the same name replaces the first.
  CImageNode* file = parent.AddChild(kImportedSource, name, EntryKind::File, EntryOrigin::Imported,
                                     NameClash::Replace);
  if (file == nullptr) return;
  file->size = record.dataLength;
  file->extent = record.extent;  // absolute: where the contents already lie
  file->located = true;
}

void SessionImporter::ImportSubdirectory(ImageTree tree, const DiscRecord& record,
                                         CImageNode& parent, const std::string& name) {
  // The origin makes no difference to a directory: every directory is laid
  // out anew in the new session. The Joliet walk adds them as new ones.
  const EntryOrigin origin = tree == ImageTree::Joliet ? EntryOrigin::New : EntryOrigin::Imported;
  CImageNode* directory =
      parent.AddChild(kImportedSource, name, EntryKind::Directory, origin, NameClash::Replace);
  if (directory == nullptr) return;
  MergeSubdirectory(tree, record, *directory);
}

void SessionImporter::MergeSubdirectory(ImageTree tree, const DiscRecord& record,
                                        CImageNode& directory) {
  // A subdirectory that cannot be read fails the whole import: carried on
  // without it, the new session would hide everything it holds.
  if (!ImportDirectory(tree, record.extent, record.dataLength, directory)) Refuse();
}

}  // namespace scrivo
