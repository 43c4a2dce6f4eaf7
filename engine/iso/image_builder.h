#pragma once
// The image builder: owns the compilation tree and lays one session out as
// 2048-byte blocks: system area, volume descriptors, the ISO 9660 and the
// Joliet directories and path tables in memory, then the file contents
// streamed from their sources into the data area after the metadata.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/iso/compilation_limits.h"
#include "engine/iso/directory_records.h"
#include "engine/iso/ecma119_fields.h"
#include "engine/iso/image_block.h"
#include "engine/iso/image_node.h"
#include "engine/iso/report_sink.h"

namespace scrivo {

class BlockSource;

// How an import of an earlier session ended.
enum class ImportOutcome {
  Imported,     // every entry of the session is in the tree
  Failed,       // a block could not be read, or the session goes beyond the bounds
  Damaged,      // the session does not read back whole (no volume descriptors, or
                // folders past its end): nothing of it is in the tree
  EntriesLost,  // entries the new session cannot hold; they are named in `lost`
};

struct ImportResult {
  ImportOutcome outcome = ImportOutcome::Failed;
  // The first entries that could not be carried, with their path on the
  // disc and the reason; `lostCount` counts them all.
  std::vector<EntryRefusal> lost;
  std::uint32_t lostCount = 0;
};

constexpr std::string_view kFileEntryFailure = "Probably the file name is incorrect or very long";
constexpr std::string_view kDirectoryEntryFailure =
    "Probably the directory name is incorrect or very long";
constexpr std::string_view kInvalidVolumeName = "Invalid volume name";
constexpr std::string_view kApplicationIdentifier = "Tamblewood ISO Engine";

// The location of an 8-byte both-byte-order extent field in sectorList.
struct ExtentFieldRef {
  std::size_t block;
  std::size_t offset;
};

class CImageBuilder {
 public:
  // The limits (compilation_limits.h) under the names the layout uses.
  static constexpr std::uint32_t kSystemAreaBlocks = limits::kSystemAreaBlocks;
  static constexpr std::size_t kVolumeLabelLimit = limits::kVolumeLabelLength;  // characters
  static constexpr std::uint64_t kFolderLimit = limits::kFolderLimit;
  static constexpr std::uint64_t kAddressLimit = limits::kAddressLimit;

  CImageBuilder();
  CImageBuilder(const CImageBuilder&) = delete;
  CImageBuilder& operator=(const CImageBuilder&) = delete;
  ~CImageBuilder();

  // Where refusals are reported (nothing is reported without one).
  void Bind(ReportSink* reports) { reports_ = reports; }
  ReportSink* Reports() const { return reports_; }

  // --- The compilation ---------------------------------------------------
  CImageNode& Root() { return root_; }
  const CImageNode& Root() const { return root_; }
  // A new file `name` under `parent`, contents from `sourcePath`. Reports
  // the refusal (kFileEntryFailure and its reason) and returns false when
  // the entry is rejected.
  bool AddFileEntry(CImageNode& parent, std::string_view name, std::string_view sourcePath);
  // A symbolic link recorded as one, its target read from `linkPath`;
  // reports the refusal (kFileEntryFailure and its reason) when rejected.
  bool AddLinkEntry(CImageNode& parent, std::string_view name, std::string_view linkPath);
  // A new, empty directory; reports the refusal (kDirectoryEntryFailure and
  // its reason, naming `folderPath`, the folder it stands for) when rejected.
  CImageNode* AddDirectoryEntry(CImageNode& parent, std::string_view name,
                                std::string_view folderPath = {});
  // Adds the folder's files and subfolders (hidden ones too) below `parent`,
  // recursively; the folder itself gets no entry. Entries that cannot be
  // added are reported and skipped.
  void AddFolderContents(std::string_view folderPath, CImageNode& parent);
  void ClearTree() {
    root_.ClearTree();
    addedFolders_.clear();
  }
  // The folders whose contents AddFolderContents added, as they were given:
  // an image file written inside one of them would be part of its own walk.
  const std::vector<std::string>& AddedFolders() const { return addedFolders_; }

  // Accepts a label of at most 15 characters; a longer one is refused and
  // the previous label kept.
  bool SetVolumeLabel(std::string_view label);
  const std::string& VolumeLabel() const { return volumeLabel_; }

  // The time the session is burned at: its root and its volume descriptors
  // carry it, and so do entries whose own time is unknown. Taken from
  // CurrentBurnTime when the descriptors are built, unless fixed here (kept
  // across jobs; nothing unfixes it).
  void FixBurnTime(std::optional<ecma119::FileTime> time) { fixedBurnTime_ = time; }
  std::optional<ecma119::FileTime> FixedBurnTime() const { return fixedBurnTime_; }
  const ecma119::FileTime& BurnTime() const { return burnTime_; }

  // --- The previous session (session_import.cpp) -------------------------
  // Merges the files and directories of the session that starts at block
  // `sessionStart` of `disc` into the tree: imported files keep their
  // extent and size and are never streamed; where the host added an entry
  // of the same name, the host's file wins and folders merge. A file whose
  // contents reach `dataEnd` or beyond (the end of what the disc recorded)
  // is left out, and a folder that reaches it makes the session Damaged.
  // The Joliet tree is read, or the ISO 9660 tree (with its Rock Ridge
  // names) when there is no usable Joliet tree.
  ImportResult ImportSession(BlockSource& disc, std::int32_t sessionStart,
                             std::uint64_t dataEnd = UINT64_MAX);
  // One directory of a session and its subdirectories, by the extent and
  // data length of its record, merged into `parent`.
  bool ImportJolietDirectory(BlockSource& disc, std::uint32_t extent, std::uint32_t length,
                             CImageNode& parent);
  bool ImportIsoDirectory(BlockSource& disc, std::uint32_t extent, std::uint32_t length,
                          CImageNode& parent);

  // --- Building the image, in this order ---------------------------------
  // The absolute address of the session's block 0 (the drive's session
  // start); 0 for a first session.
  void SetImageOrigin(std::uint32_t origin) { imageOrigin_ = origin; }
  std::uint32_t ImageOrigin() const { return imageOrigin_; }

  // Runs the steps below in their binding order, starting from the state
  // ResetImage leaves (false otherwise); `afterStep` receives the progress
  // in per mille after each step that the burn reports (10 to 50).
  bool BuildImage(const std::function<void(std::uint32_t)>& afterStep = {});

  // Refuses, with a report, a tree of more folders than kFolderLimit.
  bool CheckFolderCount();
  // Refuses, naming each, files of 4 GiB or more unless they may be
  // recorded in sections.
  bool CheckFileSizes();
  bool BuildVolumeDescriptors();
  bool BuildIsoDirectories();
  bool BuildIsoPathTables();
  bool BuildJolietDirectories();
  bool BuildJolietPathTables();
  // False when the laid-out image would reach past kAddressLimit.
  bool FitsAddressRange() const;
  void RelocateFileExtents();
  void CollectFiles();
  // Stores sectorCount + nextDataBlock into both descriptors.
  void StoreVolumeSpaceSize();

  // Whether the image being built may record a file of 4 GiB or more in
  // sections: a DVD's may, a CD's not (ResetImage: not).
  void AllowMultiExtentFiles(bool allow) { multiExtentFiles_ = allow; }
  // Whether a folder's symbolic links are added as links (Rock Ridge) rather
  // than as what they lead to; kept across jobs.
  void KeepLinks(bool keep) { keepLinks_ = keep; }
  bool KeepsLinks() const { return keepLinks_; }

  // Back to the initial state: 16 zero blocks, empty lists, zero counters,
  // empty label. The tree is kept.
  void ResetImage();

  // --- The built image ----------------------------------------------------
  const std::vector<std::unique_ptr<ImageBlock>>& SectorList() const { return sectorList_; }
  // Frees a block once it has been written; its slot stays.
  void ReleaseBlock(std::size_t index) { sectorList_.at(index).reset(); }
  std::uint32_t SectorCount() const { return sectorCount_; }
  // Counted in 64 bits: file sizes add up to more blocks than 32 bits hold
  // long before a compilation stops being one (it then fits no disc).
  std::uint64_t NextDataBlock() const { return nextDataBlock_; }
  std::uint64_t VolumeSpaceSize() const { return sectorCount_ + nextDataBlock_; }
  // New files by their first data block (relative to the data area).
  const std::map<std::uint32_t, CImageNode*>& FileMap() const { return fileMap_; }
  const std::vector<ExtentFieldRef>& RelocationList() const { return relocationList_; }

  struct TreeExtents {
    std::uint32_t rootExtent = 0;
    std::uint32_t rootSize = 0;
    std::uint64_t directoryBytes = 0;
  };
  const TreeExtents& Extents(ImageTree tree) const {
    return tree == ImageTree::Iso9660 ? isoTree_ : jolietTree_;
  }

 private:
  // Runs one step of the layout; a step that runs out of memory reports
  // `failure` (when there is one) and fails.
  template <class Step>
  bool RunStep(Step step, std::string_view failure = {});
  std::size_t AppendBlock();
  std::uint8_t* BlockData(std::size_t index) { return sectorList_.at(index)->data(); }
  std::uint32_t NextBlockAddress() const;
  void Report(std::string_view text);
  void Report(const EntryRefusal& refusal);
  TreeExtents& ExtentsOf(ImageTree tree) { return tree == ImageTree::Iso9660 ? isoTree_ : jolietTree_; }
  std::size_t DescriptorOf(ImageTree tree) const {
    return tree == ImageTree::Iso9660 ? primaryBlock_ : supplementaryBlock_;
  }

  // Volume descriptors (volume_descriptors.cpp).
  void AppendPrimaryDescriptor();
  void AppendSupplementaryDescriptor();
  void AppendTerminatorDescriptor();

  // Directory layout (directory_layout.cpp).
  void BuildDirectories(ImageTree tree);
  void AssignExtents(CImageNode& directory, ImageTree tree, std::vector<CImageNode*>& order);
  DirectoryPlan PlanOf(CImageNode& directory, ImageTree tree) const;
  void FillDirectory(CImageNode& directory, const DirectoryPlan& plan, ImageTree tree);
  void WriteRecord(const RecordPlacement& placement, const CImageNode& directory,
                   const DirectoryPlan& plan, ImageTree tree);
  void PlaceFileData(CImageNode& file);
  ecma119::RecordDate RecordDateOf(const CImageNode& entry) const;
  void CopyRootRecord(ImageTree tree);

  // The ISO 9660 tree's shape (rock_ridge_tree.cpp): folders deeper than
  // the ISO 9660 limit are listed in a relocation folder at the root, and
  // their Rock Ridge stand-ins where they belong.
  void PlanRelocation();
  // Names the relocation folder apart from the root's own entries.
  void NameRelocationFolder();
  // Makes the moved folders' ISO 9660 names unique within the relocation folder.
  void NameMovedFolders();
  void RelocateBelow(CImageNode& directory, std::int32_t isoLevel);
  // The entries a directory lists in `tree`, in order.
  std::vector<CImageNode*> Listing(const CImageNode& directory, ImageTree tree) const;
  // Whether `entry`, listed in `directory`, has its directory laid out there.
  bool LaidOutIn(const CImageNode& directory, const CImageNode& entry, ImageTree tree) const;
  const CImageNode& ParentIn(const CImageNode& directory, ImageTree tree) const;
  // The Rock Ridge entries of one ISO 9660 record.
  std::vector<std::uint8_t> RockRidgeOf(const CImageNode& directory, const CImageNode& entry,
                                        RecordRole role) const;
  bool IsMoved(const CImageNode& directory) const;

  // Path tables (path_tables.cpp).
  void BuildPathTables(ImageTree tree);

  CImageNode root_;
  std::vector<ExtentFieldRef> relocationList_;
  std::vector<std::unique_ptr<ImageBlock>> sectorList_;
  std::uint32_t sectorCount_ = 0;
  std::uint64_t nextDataBlock_ = 0;
  std::uint32_t imageOrigin_ = 0;
  TreeExtents isoTree_;
  TreeExtents jolietTree_;
  ReportSink* reports_ = nullptr;
  // Indexes of blocks 16, 17 and 18 once built; 0 before.
  std::size_t primaryBlock_ = 0;
  std::size_t supplementaryBlock_ = 0;
  std::size_t terminatorBlock_ = 0;
  std::map<std::uint32_t, CImageNode*> fileMap_;
  std::string volumeLabel_;
  std::vector<std::string> addedFolders_;
  // The relocation folder and the folders it lists, while the ISO 9660
  // tree is built; none when no folder is too deep.
  std::unique_ptr<CImageNode> relocationFolder_;
  std::vector<CImageNode*> movedFolders_;
  std::set<const CImageNode*> movedSet_;
  // Whether a file of 4 GiB or more is recorded in sections (a DVD) or
  // refused (a CD).
  bool multiExtentFiles_ = false;
  bool keepLinks_ = false;
  std::optional<ecma119::FileTime> fixedBurnTime_;
  ecma119::FileTime burnTime_;
};

// The time a burn records: SOURCE_DATE_EPOCH (seconds since 1970, shown in
// UTC) when the environment sets it, so that the same compilation gives the
// same image byte for byte; otherwise now, with the local offset.
ecma119::FileTime CurrentBurnTime();

}  // namespace scrivo
