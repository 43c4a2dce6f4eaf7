// The ISO 9660 tree's shape and its Rock Ridge entries. ISO 9660 holds
// eight levels of folders; a folder deeper than that is listed in a
// relocation folder at the root (where ISO 9660 readers find it), and where
// it belongs a stand-in record leads Rock Ridge readers to it (CL), which
// lead back up from it (PL) and know it is no folder of its own (RE).

#include <algorithm>
#include <set>
#include <sys/stat.h>

#include "engine/iso/disc_names.h"
#include "engine/iso/image_builder.h"

namespace scrivo {
namespace {

constexpr std::string_view kRelocationName = limits::kRelocationFolderName;
constexpr std::string_view kRelocationIdentifier = "RR_MOVED";

// The name an entry had where it came from: the stored name, exactly.
std::string_view ExactName(const CImageNode& entry) { return entry.name; }

std::uint32_t ModeOf(const CImageNode& entry) {
  if (entry.isLink) return S_IFLNK | 0777;
  if (entry.IsDirectory()) return S_IFDIR | 0555;
  return rrip::SharedMode(entry.mode != 0 ? entry.mode : S_IFREG);
}

std::uint32_t LinksOf(const CImageNode& entry) {
  if (!entry.IsDirectory()) return 1;
  std::uint32_t links = 2;  // its name, and its own "."
  for (const auto& [storedName, child] : entry.children) links += child->IsDirectory() ? 1 : 0;
  return links;
}

bool Is(std::span<const std::uint8_t> entry, std::string_view signature) {
  return entry[0] == signature[0] && entry[1] == signature[1];
}

}  // namespace

void CImageBuilder::PlanRelocation() {
  movedFolders_.clear();
  movedSet_.clear();
  relocationFolder_.reset();
  RelocateBelow(root_, 1);
  if (movedFolders_.empty()) return;
  relocationFolder_ = std::make_unique<CImageNode>();
  relocationFolder_->parent = &root_;
  relocationFolder_->level = 2;
  NameRelocationFolder();
  NameMovedFolders();
}

void CImageBuilder::NameRelocationFolder() {
  // The root's own entries keep their names: a folder the user named
  // rr_moved (or one whose ISO 9660 name reads back as RR_MOVED) stays
  // theirs, and the relocation folder takes a number in each tree where
  // it would meet one (rr_moved_1, RR_MOVE1), so no reader lists two root
  // entries under one name.
  std::set<std::string> names;
  std::set<std::string> isoNames;
  for (const auto& [storedName, child] : root_.children) {
    names.insert(storedName);
    isoNames.insert(IsoReaderView(child->isoName));
  }
  std::string name(kRelocationName);
  for (unsigned n = 1; names.contains(name); ++n) name = std::string(kRelocationName) + "_" + std::to_string(n);
  std::string isoName(kRelocationIdentifier);
  for (unsigned n = 1; isoNames.contains(isoName); ++n) isoName = NumberedIsoBase(kRelocationIdentifier, n);
  relocationFolder_->name = std::move(name);
  relocationFolder_->isoName = std::move(isoName);
}

void CImageBuilder::NameMovedFolders() {
  // Folders from different places meet in the relocation folder: their ISO
  // 9660 names, unique where they came from, are made unique there too
  // (Rock Ridge's NM keeps each one's own name).
  std::sort(movedFolders_.begin(), movedFolders_.end(),
            [](const CImageNode* a, const CImageNode* b) { return a->isoName < b->isoName; });
  std::set<std::string> taken;
  for (CImageNode* folder : movedFolders_) {
    const std::string base = folder->isoName;
    for (unsigned n = 1; !taken.insert(folder->isoName).second; ++n) folder->isoName = NumberedIsoBase(base, n);
  }
  std::sort(movedFolders_.begin(), movedFolders_.end(),
            [](const CImageNode* a, const CImageNode* b) { return a->isoName < b->isoName; });
}

void CImageBuilder::RelocateBelow(CImageNode& directory, std::int32_t isoLevel) {
  for (auto& [storedName, child] : directory.children) {
    if (!child->IsDirectory()) continue;
    if (isoLevel + 1 <= CImageNode::kIsoDepthLimit) {
      RelocateBelow(*child, isoLevel + 1);
      continue;
    }
    // Moved to the relocation folder (level 2), it is at level 3.
    movedFolders_.push_back(child.get());
    movedSet_.insert(child.get());
    RelocateBelow(*child, 3);
  }
}

bool CImageBuilder::IsMoved(const CImageNode& directory) const { return movedSet_.contains(&directory); }

std::vector<CImageNode*> CImageBuilder::Listing(const CImageNode& directory, ImageTree tree) const {
  if (tree == ImageTree::Iso9660 && &directory == relocationFolder_.get()) return movedFolders_;
  std::vector<CImageNode*> entries = EntriesInOrder(directory, tree);
  // A symbolic link is a Rock Ridge entry only: Joliet cannot tell one.
  if (tree == ImageTree::Joliet) std::erase_if(entries, [](const CImageNode* entry) { return entry->isLink; });
  if (tree == ImageTree::Iso9660 && &directory == &root_ && relocationFolder_) {
    const auto at = std::lower_bound(
        entries.begin(), entries.end(), relocationFolder_->isoName,
        [](const CImageNode* entry, const std::string& name) { return entry->isoName < name; });
    entries.insert(at, relocationFolder_.get());
  }
  return entries;
}

bool CImageBuilder::LaidOutIn(const CImageNode& directory, const CImageNode& entry, ImageTree tree) const {
  return entry.IsDirectory() &&
         (tree == ImageTree::Joliet || !IsMoved(entry) || &directory == relocationFolder_.get());
}

const CImageNode& CImageBuilder::ParentIn(const CImageNode& directory, ImageTree tree) const {
  if (directory.parent == nullptr) return directory;  // the root is its own parent
  if (tree == ImageTree::Iso9660 && IsMoved(directory)) return *relocationFolder_;
  return *directory.parent;
}

std::vector<std::uint8_t> CImageBuilder::RockRidgeOf(const CImageNode& directory, const CImageNode& entry,
                                                     RecordRole role) const {
  rrip::Entries out;
  const bool root = role == RecordRole::Self && &entry == &root_;
  if (root) rrip::AppendSuspIndicator(out);
  if (!entry.carriedRockRidge.empty()) {
    // An earlier session's entries, as they were; a folder's name belongs
    // to its record in its parent only.
    for (const auto field : rrip::EntriesOf(entry.carriedRockRidge)) {
      if (role != RecordRole::Entry && Is(field, "NM")) continue;
      out.insert(out.end(), field.begin(), field.end());
    }
  } else {
    rrip::AppendPosixAttributes(out, ModeOf(entry), LinksOf(entry));
    rrip::AppendTimes(out, RecordDateOf(entry));
    if (role == RecordRole::Entry) {
      rrip::AppendName(out, ExactName(entry));
      if (entry.isLink) rrip::AppendSymbolicLink(out, entry.linkTarget);
    }
  }
  if (root) rrip::AppendExtensionReference(out);
  if (role == RecordRole::Parent && IsMoved(directory)) rrip::AppendParentLink(out, directory.parent->extent);
  if (role == RecordRole::Entry && entry.IsDirectory() && IsMoved(entry)) {
    if (&directory == relocationFolder_.get()) {
      rrip::AppendRelocated(out);
    } else {
      rrip::AppendChildLink(out, entry.extent);
    }
  }
  return out;
}

}  // namespace scrivo
