#pragma once
// Reads the file system of a disc's last session back into the compilation
// tree, so that a new session lists the files that are already on the disc.
// The disc is untrusted input: every walk below is bounded, and a disc that
// goes beyond a bound is refused as a whole (the burn then fails before it
// writes anything) rather than half carried over without a word, and an
// entry the new session cannot hold is named rather than left out.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/iso/block_source.h"
#include "engine/iso/directory_records.h"
#include "engine/iso/image_block.h"
#include "engine/iso/image_builder.h"
#include "engine/iso/image_node.h"
#include "engine/iso/rock_ridge_fields.h"
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

// At most this many entries that cannot be carried are named; the rest
// are counted.
constexpr std::size_t kLostEntriesNamed = 20;

// One import: the walk state shared by the nested directory imports.
class SessionImporter {
 public:
  explicit SessionImporter(BlockSource& disc) : disc_(disc) {}

  // Reads the session starting at `sessionStart`: its primary descriptor,
  // a Joliet descriptor among the next ten blocks, and then the Joliet tree,
  // or the ISO 9660 tree when there is no Joliet tree or its root is not a
  // directory (a root of length 0, or one whose first record is no "."),
  // into `root`. Damaged leaves `root` with what was merged so far.
  ImportOutcome ImportSession(std::int64_t sessionStart, CImageNode& root);

  // Merges one directory and, recursively, its subdirectories into
  // `parent`. False when a block of it or of a subdirectory cannot be read,
  // when the import was refused or the directory lies past the end of the
  // recorded blocks: the caller then drops the entries.
  bool ImportDirectory(ImageTree tree, std::uint32_t extent, std::uint32_t length,
                       CImageNode& parent);

  // True once a bound was exceeded: the whole import has failed.
  bool Refused() const { return refused_; }
  // The entries that could not be carried (the first kLostEntriesNamed),
  // and how many there were.
  const std::vector<EntryRefusal>& Lost() const { return lost_; }
  std::uint32_t LostCount() const { return lostCount_; }

  // The end of the blocks the disc's sessions recorded. A file whose
  // contents do not lie wholly before it is left out: a burn that was
  // cancelled or failed closed its session with directories that list files
  // it never wrote, and the next session's blocks may lie where they were
  // to go. Descriptors or a directory at or past it make the session
  // Damaged: its metadata was never wholly written.
  void LimitDataTo(std::uint64_t end) { dataEnd_ = end; }

 private:
  // A file's sections (ECMA-119 6.5.1) seen so far in a directory, while
  // records flagged multi-extent arrive; `identifier` is theirs.
  struct PendingSections {
    std::vector<std::uint8_t> identifier;
    std::string name;
    std::vector<FileSection> sections;
  };
  // The name a record is carried under, and what Rock Ridge says of it.
  struct RecordName {
    std::string stored;
    std::u16string carriedJoliet;  // set where `stored` loses the Joliet name
    rrip::RecordFields rockRidge;
    std::optional<ecma119::FileTime> modified;  // the record's date
  };

  // Whether the ISO 9660 root opens with SP; nullopt when it cannot be read.
  std::optional<bool> HasRockRidge(std::uint32_t rootExtent);
  // The Joliet tree, when the session has a usable one.
  std::optional<ImportOutcome> ImportJoliet(std::int64_t primaryAddress, CImageNode& root);
  ImportOutcome ImportTree(ImageTree tree, std::uint32_t extent, std::uint32_t length,
                           CImageNode& root);
  bool ReadDiscBlock(std::int64_t lba, ImageBlock& block);
  bool Refuse();
  bool WalkDirectory(ImageTree tree, std::uint32_t extent, std::uint32_t blocks,
                     CImageNode& parent);
  bool IsRootStart(ImageTree tree, const DiscRecord& first);
  bool NameOf(ImageTree tree, const DiscRecord& record, RecordName& name);
  void ImportRecord(ImageTree tree, const DiscRecord& record, CImageNode& parent,
                    PendingSections& pending);
  void ImportFile(const RecordName& name, std::vector<FileSection> sections, CImageNode& parent,
                  EntryKind kind = EntryKind::File);
  // `carried`: the Rock Ridge entries of its record, written again.
  void ImportSubdirectory(ImageTree tree, std::uint64_t extent, std::uint32_t length,
                          CImageNode& parent, const std::string& name,
                          const std::vector<std::uint8_t>& carried = {},
                          std::optional<ecma119::FileTime> modified = std::nullopt);
  // Walks a directory of the disc into `directory`, already in the tree.
  void MergeSubdirectory(ImageTree tree, std::uint64_t extent, std::uint32_t length,
                         CImageNode& directory, const std::string& name);
  // A directory that Rock Ridge relocated (CL): its length from its "." record.
  void ImportRelocated(std::uint32_t extent, CImageNode& parent, const std::string& name,
                       const std::vector<std::uint8_t>& carried,
                       std::optional<ecma119::FileTime> modified);
  // Names an entry that the new session would otherwise lose.
  void Lose(EntryRefusal refusal, const std::string& name);
  void LoseSections(PendingSections& pending);
  bool IsOpen(std::uint32_t extent) const;

  BlockSource& disc_;
  // Extents of the directories being walked, outermost first.
  std::vector<std::uint32_t> openDirectories_;
  // The disc path of the directory being walked ("" for the root).
  std::string path_;
  std::uint32_t blocksRead_ = 0;
  std::uint32_t entriesTaken_ = 0;
  bool refused_ = false;
  bool damaged_ = false;
  // Set while the first block of a tree's root is still to be checked.
  bool rootPending_ = false;
  bool unusableRoot_ = false;
  // LEN_SKP of the ISO 9660 tree's Rock Ridge entries; none without SP.
  std::optional<std::uint8_t> suspSkip_;
  // The directories where a relocated directory (RE) was met and left out.
  std::set<const CImageNode*> holdsRelocated_;
  std::vector<EntryRefusal> lost_;
  std::uint32_t lostCount_ = 0;
  std::uint64_t dataEnd_ = UINT64_MAX;  // no limit until one is known
};

}  // namespace scrivo
