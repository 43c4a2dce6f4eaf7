#pragma once
// Reads the file system of a disc's last session back into the compilation
// tree, so that a new session lists the files that are already on the disc.
// The disc is untrusted input: every walk below is bounded, and a disc that
// goes beyond a bound is refused as a whole (the burn then fails before it
// writes anything) rather than half carried over without a word.

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/iso/block_source.h"
#include "engine/iso/directory_records.h"
#include "engine/iso/image_block.h"
#include "engine/iso/image_node.h"
#include "engine/iso/session_import_records.h"

namespace scrivo {

// The bounds of one import. Each lies far beyond what a CD's session holds
// (a CD has about 360 000 blocks) and keeps the cost of a hostile disc to
// seconds of reading and tens of MiB of memory.
struct ImportLimits {
  // A directory claiming more bytes than this is not a sound directory.
  static constexpr std::uint32_t kDirectoryBytes = 16u << 20;
  // Directory blocks read in total, over every directory walked.
  static constexpr std::uint32_t kDirectoryBlocks = 65536;
  // Directory records taken in total (each may become a node).
  static constexpr std::uint32_t kEntries = 200000;
  // Deepest level of an imported directory that is walked (the root is
  // level 1); keeps the recursion here and in the layout shallow.
  static constexpr std::int32_t kDirectoryLevel = 255;
};

// The source path of every imported file and directory: their contents are
// on the disc already, never read from a local file.
constexpr std::string_view kImportedSource = "Unknown";

// ECMA-119 8.1: volume descriptors start at block 16 of the session.
constexpr std::int64_t kFirstDescriptorOffset = 16;
// How many blocks after the primary descriptor are searched for Joliet's.
constexpr std::int64_t kSupplementaryScanBlocks = 10;

// One import: the walk state shared by the nested directory imports.
class SessionImporter {
 public:
  explicit SessionImporter(BlockSource& disc) : disc_(disc) {}

  // Reads the session starting at `sessionStart`: its primary descriptor,
  // a Joliet descriptor among the next ten blocks, and then the Joliet tree
  // (or the ISO 9660 tree without one) into `root`.
  bool ImportSession(std::int64_t sessionStart, CImageNode& root);

  // Merges one directory and, recursively, its subdirectories into
  // `parent`. False when a block of it or of a subdirectory cannot be read,
  // or when the import was refused: the caller then drops the entries.
  bool ImportDirectory(ImageTree tree, std::uint32_t extent, std::uint32_t length,
                       CImageNode& parent);

  // True once a bound was exceeded: the whole import has failed.
  bool Refused() const { return refused_; }

  // The end of the blocks the disc's sessions recorded. A file whose
  // contents do not lie wholly before it is left out: a burn that was
  // cancelled or failed closed its session with directories that list files
  // it never wrote, and the next session's blocks may lie where they were
  // to go.
  void LimitDataTo(std::uint64_t end) { dataEnd_ = end; }

 private:
  bool ReadDiscBlock(std::int64_t lba, ImageBlock& block);
  bool Refuse();
  bool WalkDirectory(ImageTree tree, std::uint32_t extent, std::uint32_t blocks,
                     CImageNode& parent);
  void ImportRecord(ImageTree tree, const DiscRecord& record, CImageNode& parent);
  void ImportSubdirectory(ImageTree tree, const DiscRecord& record, CImageNode& parent,
                          const std::string& name);
  // Walks a directory of the disc into `directory`, already in the tree.
  void MergeSubdirectory(ImageTree tree, const DiscRecord& record, CImageNode& directory);
  bool IsOpen(std::uint32_t extent) const;

  BlockSource& disc_;
  // Extents of the directories being walked, outermost first.
  std::vector<std::uint32_t> openDirectories_;
  std::uint32_t blocksRead_ = 0;
  std::uint32_t entriesTaken_ = 0;
  bool refused_ = false;
  std::uint64_t dataEnd_ = UINT64_MAX;  // no limit until one is known
};

}  // namespace scrivo
