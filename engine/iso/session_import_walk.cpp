// The directory walk of the import: one directory's blocks, record by
// record, into the compilation tree, and its subdirectories recursively.
// Each block is read into a buffer of its own and walked before the next is
// read, so no allocation depends on a length the disc gives.

#include <algorithm>
#include <memory>

#include "engine/iso/ecma119_structures.h"
#include "engine/iso/joliet_text.h"
#include "engine/iso/session_import.h"

namespace scrivo {
namespace {

// Continuation areas followed for one record's Rock Ridge entries.
constexpr int kContinuationAreas = 8;

bool IsDotRecord(const DiscRecord& record) {
  return record.identifier.size() == 1 && record.identifier[0] == kSelfIdentifier[0] &&
         (record.fileFlags & ecma119::kFlagDirectory) != 0;
}

}  // namespace

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
  if (refused_ || damaged_) return false;
  // No directory of a sound disc is this large; reading it would only cost
  // time and, if it held entries, hand the new session a corrupt tree.
  if (length > ImportLimits::kDirectoryBytes) return Refuse();
  const std::uint32_t blocks = BlocksFor(length);
  if (blocks > ImportLimits::kDirectoryBlocks - blocksRead_) return Refuse();
  // A directory past the recorded blocks was never written: the session's
  // metadata is incomplete.
  if (std::uint64_t{extent} + blocks > dataEnd_) {
    damaged_ = true;
    return false;
  }
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
  // A file's sections may, so they are kept apart until its last arrives.
  auto block = std::make_unique<ImageBlock>();
  PendingSections pending;
  for (std::uint32_t j = 0; j < blocks; ++j) {
    if (!ReadDiscBlock(std::int64_t{extent} + j, *block)) return false;
    const std::vector<DiscRecord> records = ReadDirectoryBlock(*block);
    if (j == 0 && rootPending_) {
      rootPending_ = false;
      if (records.empty() || !IsRootStart(tree, records.front())) return false;
    }
    for (const DiscRecord& record : records) {
      // The first two records are the directory itself and its parent
      // (ECMA-119 6.8.2.2).
      if (j == 0 && record.indexInBlock < 2) continue;
      ImportRecord(tree, record, parent, pending);
      if (refused_ || damaged_) return false;
    }
  }
  LoseSections(pending);  // a file whose last section never came
  return true;
}

bool SessionImporter::IsRootStart(ImageTree tree, const DiscRecord& first) {
  // A root whose first record is no "." is not a directory at all.
  if (first.indexInBlock != 0 || !IsDotRecord(first)) {
    unusableRoot_ = true;
    return false;
  }
  // Rock Ridge announces itself in the ISO 9660 root's "." record.
  if (tree == ImageTree::Iso9660) suspSkip_ = rrip::SuspIndicatorSkip(first.systemUse);
  return true;
}

bool SessionImporter::NameOf(ImageTree tree, const DiscRecord& record, RecordName& name) {
  name.stored = StoredNameOf(record.identifier, tree);
  name.modified = ecma119::DecodeRecordDate(record.recordingDate);
  if (tree == ImageTree::Joliet) {
    // Kept as it was where the narrow name does not give it back (a
    // character the locale's charset lacks, a lone surrogate) or where it
    // is longer than a new name's identifier may be (a record holds 110
    // units): the new session would shorten it.
    std::u16string units = JolietUnitsOf(record.identifier);
    if (JolietName(name.stored) != units || units.size() > limits::kJolietNameUnits) {
      name.carriedJoliet = std::move(units);
    }
    return true;
  }
  if (!suspSkip_ || *suspSkip_ > record.systemUse.size()) return true;
  rrip::RecordFields& fields = name.rockRidge;
  rrip::ReadEntries(record.systemUse.subspan(*suspSkip_), fields);
  auto area = std::make_unique<ImageBlock>();
  for (int i = 0; i < kContinuationAreas && fields.continuation; ++i) {
    const auto ce = *fields.continuation;
    fields.continuation.reset();
    if (ce.offset >= kBlockSize || ce.length > kBlockSize - ce.offset) break;
    if (blocksRead_ >= ImportLimits::kDirectoryBlocks) return Refuse();
    ++blocksRead_;
    if (!ReadDiscBlock(ce.block, *area)) return false;
    rrip::ReadEntries(std::span<const std::uint8_t>(*area).subspan(ce.offset, ce.length), fields);
  }
  // The exact name, as a new entry of that name is stored, so that the
  // host's file of that name replaces it.
  if (fields.hasName) name.stored = fields.name;
  return true;
}

void SessionImporter::ImportRecord(ImageTree tree, const DiscRecord& record, CImageNode& parent,
                                   PendingSections& pending) {
  // An associated file (ECMA-119 9.1.6) belongs to the file of its name
  // and is no entry of its own.
  if ((record.fileFlags & ecma119::kFlagAssociated) != 0) return;
  if (++entriesTaken_ > ImportLimits::kEntries) {
    Refuse();
    return;
  }
  if (parent.level >= ImportLimits::kDirectoryLevel) {
    Refuse();
    return;
  }
  RecordName name;
  if (!NameOf(tree, record, name)) {
    if (!refused_) Refuse();  // a continuation area that cannot be read
    return;
  }
  const rrip::RecordFields& rockRidge = name.rockRidge;
  // A relocated directory is reached where it belongs, through its link.
  if (rockRidge.relocated) {
    holdsRelocated_.insert(&parent);
    return;
  }
  const bool isDirectory = (record.fileFlags & ecma119::kFlagDirectory) != 0;
  const bool moreSections = (record.fileFlags & ecma119::kFlagMultiExtent) != 0;
  const std::vector<std::uint8_t> identifier(record.identifier.begin(), record.identifier.end());
  if (!pending.sections.empty() && (isDirectory || identifier != pending.identifier)) {
    LoseSections(pending);
  }
  if (rockRidge.childLink) {
    ImportRelocated(*rockRidge.childLink, parent, name.stored, rockRidge.carried, name.modified);
    return;
  }
  if (rockRidge.mode && !isDirectory && rrip::TypeOf(*rockRidge.mode) == rrip::FileType::SymbolicLink) {
    // A link has no contents; its target is in its SL, carried over.
    ImportFile(name, {{0, 0}}, parent, EntryKind::Link);
    return;
  }
  if (rockRidge.mode) {
    const rrip::FileType type = rrip::TypeOf(*rockRidge.mode);
    if (type != rrip::FileType::Regular && type != rrip::FileType::Directory) {
      EntryRefusal refusal;
      refusal.kind = RefusalKind::NotRegularFile;
      refusal.other = rrip::Describe(type);
      Lose(std::move(refusal), name.stored);
      return;
    }
  }
  if (isDirectory) {
    // A record leading back to a directory being walked (itself or an
    // ancestor) would be walked forever. It is left out: its entries are
    // imported where the walk met that directory first.
    if (record.DataStart() <= UINT32_MAX && IsOpen(static_cast<std::uint32_t>(record.DataStart()))) return;
    ImportSubdirectory(tree, record.DataStart(), record.dataLength, parent, name.stored,
                       rockRidge.carried, name.modified);
    return;
  }
  // The contents start after the extended attribute record, if any.
  pending.identifier = identifier;
  pending.name = name.stored;
  pending.sections.push_back(
      {static_cast<std::uint32_t>(std::min<std::uint64_t>(record.DataStart(), UINT32_MAX)),
       record.dataLength});
  if (moreSections) return;  // more sections follow
  std::vector<FileSection> sections = std::move(pending.sections);
  pending.sections.clear();
  ImportFile(name, std::move(sections), parent);
}

void SessionImporter::ImportFile(const RecordName& name, std::vector<FileSection> sections,
                                 CImageNode& parent, EntryKind kind) {
  // The host's entries are what this burn is for: where the disc has an
  // entry of the same name, the host's file or folder is the one the new
  // session shows (a newer version of a file is written, not dropped).
  CImageNode* sibling = parent.FindChild(name.stored);
  if (sibling != nullptr && (sibling->IsNewFile() || sibling->IsDirectory())) return;
  for (const FileSection& section : sections) {
    if (section.size > 0 && std::uint64_t{section.extent} + BlocksFor(section.size) > dataEnd_) {
      return;  // its contents were never recorded
    }
  }
  // A second entry of the disc under the same name replaces the first.
  EntryRefusal refusal;
  CImageNode* file = parent.AddChild(kImportedSource, name.stored, kind, EntryOrigin::Imported,
                                     NameClash::Replace, &refusal);
  if (file == nullptr) {
    Lose(std::move(refusal), name.stored);
    return;
  }
  file->size = sections.front().size;
  file->extent = sections.front().extent;  // absolute: where the contents already lie
  file->located = true;
  file->moreSections.assign(sections.begin() + 1, sections.end());
  file->carriedJolietName = name.carriedJoliet;
  file->carriedRockRidge = name.rockRidge.carried;
  file->modified = name.modified;
}

void SessionImporter::ImportSubdirectory(ImageTree tree, std::uint64_t extent,
                                         std::uint32_t length, CImageNode& parent,
                                         const std::string& name,
                                         const std::vector<std::uint8_t>& carried,
                                         std::optional<ecma119::FileTime> modified) {
  CImageNode* sibling = parent.FindChild(name);
  // A folder of the disc merges into the host's folder of that name; the
  // host's file of that name replaces it.
  if (sibling != nullptr && sibling->IsNewFile()) return;
  if (sibling != nullptr && sibling->IsDirectory()) {
    MergeSubdirectory(tree, extent, length, *sibling, name);
    return;
  }
  // Every directory is laid out anew in the new session.
  EntryRefusal refusal;
  refusal.folder = true;
  CImageNode* directory = parent.AddChild(kImportedSource, name, EntryKind::Directory,
                                          EntryOrigin::Imported, NameClash::Replace, &refusal);
  if (directory == nullptr) {
    Lose(std::move(refusal), name);
    return;
  }
  directory->carriedRockRidge = carried;
  directory->modified = modified;
  MergeSubdirectory(tree, extent, length, *directory, name);
}

void SessionImporter::MergeSubdirectory(ImageTree tree, std::uint64_t extent, std::uint32_t length,
                                        CImageNode& directory, const std::string& name) {
  // A subdirectory that cannot be read fails the whole import: carried on
  // without it, the new session would hide everything it holds.
  if (extent > UINT32_MAX) {
    Refuse();
    return;
  }
  const std::size_t outer = path_.size();
  path_.append("/").append(name);
  if (!ImportDirectory(tree, static_cast<std::uint32_t>(extent), length, directory)) Refuse();
  path_.resize(outer);
}

void SessionImporter::ImportRelocated(std::uint32_t extent, CImageNode& parent,
                                      const std::string& name,
                                      const std::vector<std::uint8_t>& carried,
                                      std::optional<ecma119::FileTime> modified) {
  if (IsOpen(extent)) return;
  if (blocksRead_ >= ImportLimits::kDirectoryBlocks) {
    Refuse();
    return;
  }
  ++blocksRead_;
  auto block = std::make_unique<ImageBlock>();
  if (!ReadDiscBlock(extent, *block)) {
    Refuse();
    return;
  }
  const std::vector<DiscRecord> records = ReadDirectoryBlock(*block);
  if (records.empty() || records.front().indexInBlock != 0 || !IsDotRecord(records.front())) {
    Refuse();  // the link leads to no directory
    return;
  }
  ImportSubdirectory(ImageTree::Iso9660, extent, records.front().dataLength, parent, name, carried,
                     modified);
}

void SessionImporter::Lose(EntryRefusal refusal, const std::string& name) {
  ++lostCount_;
  if (lost_.size() >= kLostEntriesNamed) return;
  refusal.path = path_ + "/" + name;
  refusal.name = name;
  lost_.push_back(std::move(refusal));
}

void SessionImporter::LoseSections(PendingSections& pending) {
  if (pending.sections.empty()) return;
  EntryRefusal refusal;
  refusal.kind = RefusalKind::Unreadable;
  refusal.other = "a file of several sections whose last section is missing";
  Lose(std::move(refusal), pending.name);
  pending.sections.clear();
}

}  // namespace scrivo
