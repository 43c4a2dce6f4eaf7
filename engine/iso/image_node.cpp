#include "engine/iso/image_node.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "engine/iso/joliet_text.h"
#include "engine/iso/source_file.h"
#include "platform/text/codepage.h"

namespace scrivo {
namespace {

std::atomic<std::int32_t> serialCounter{1};

// Why a source could not be opened: `error` is the open's errno. A path
// that is gone is told apart from one that is there but not a regular
// file, and from one that cannot be read.
void ExplainOpenFailure(const std::string& path, int error, EntryRefusal& refusal) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    const int statError = errno;
    const bool gone = statError == ENOENT || statError == ENOTDIR;
    refusal.kind = gone ? RefusalKind::SourceMissing : RefusalKind::Unreadable;
    refusal.error = gone ? statError : error;
    // A link that is there, to something that is not: the link's target.
    std::string target(4096, '\0');
    const ssize_t length = gone ? ::readlink(path.c_str(), target.data(), target.size()) : -1;
    if (length > 0) refusal.other = target.substr(0, static_cast<std::size_t>(length));
  } else if (!S_ISREG(info.st_mode)) {
    refusal.kind = RefusalKind::NotRegularFile;
  } else {
    refusal.kind = RefusalKind::Unreadable;
    refusal.error = error;
  }
}

CImageNode* Refuse(EntryRefusal* out, EntryRefusal&& refusal) {
  if (out != nullptr) *out = std::move(refusal);
  return nullptr;
}

}  // namespace

std::int32_t TakeSerialNumber() { return serialCounter.fetch_add(1); }

bool IsAcceptableEntryName(std::string_view name) {
  // An empty identifier, the names of a directory's own records and the path
  // separator would all make a record that no reader can resolve.
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

CImageNode::CImageNode() = default;

CImageNode* CImageNode::AddChild(std::string_view entrySource, std::string_view entryName, EntryKind kind,
                                 EntryOrigin origin, NameClash clash, EntryRefusal* refusal) {
  EntryRefusal why;
  why.folder = kind == EntryKind::Directory;
  why.path = entrySource;
  why.name = entryName;
  // Rejected before a node exists, so no serial number is taken. An
  // imported entry is carried whatever its name's length: the disc held it,
  // Rock Ridge keeps it whole, and Joliet a shortened form as for a new
  // name (the import bounds what one record's name can take up).
  if (origin == EntryOrigin::New && entryName.size() >= kNameLimit) {
    why.kind = RefusalKind::NameTooLong;
    why.value = entryName.size();
    why.limit = limits::kStoredNameLength;
    return Refuse(refusal, std::move(why));
  }
  if (!IsAcceptableEntryName(entryName)) {
    why.kind = RefusalKind::NameInvalid;
    return Refuse(refusal, std::move(why));
  }
  std::unique_ptr<CImageNode> fresh = MakeEntry(*this, entrySource, entryName, kind, origin, why);
  if (!fresh) return Refuse(refusal, std::move(why));

  auto existing = children.find(fresh->name);
  if (existing == children.end()) {
    std::u16string jolietName = JolietName(fresh->name);
    const std::string* twin = JolietTwin(jolietName);
    if (twin == nullptr) {
      RememberJolietName(std::move(jolietName), fresh->name);
      std::string key = fresh->name;
      return children.emplace(std::move(key), std::move(fresh)).first->second.get();
    }
    // Two stored names the disc would show alike: readers would list one
    // entry, with one of the two contents.
    if (clash == NameClash::Refuse) {
      why.kind = RefusalKind::NameClash;
      why.other = *twin;
      return Refuse(refusal, std::move(why));
    }
    existing = RenameChild(std::string(*twin), fresh->name);
  }
  existing->second->TakeOver(std::move(*fresh));
  return existing->second.get();
}

CImageNode* CImageNode::FindChild(std::string_view storedName) {
  if (auto same = children.find(std::string(storedName)); same != children.end()) return same->second.get();
  const std::string* twin = JolietTwin(JolietName(storedName));
  return twin == nullptr ? nullptr : children.at(*twin).get();
}

const std::string* CImageNode::JolietTwin(const std::u16string& jolietName) const {
  if (auto odd = oddJolietNames_.find(jolietName); odd != oddJolietNames_.end()) return &odd->second;
  // Among plain names only the one spelt like the Joliet name can carry it.
  auto plain = children.find(platform::WideToNarrow(jolietName));
  if (plain == children.end() || JolietName(plain->first) != jolietName) return nullptr;
  return &plain->first;
}

void CImageNode::RememberJolietName(std::u16string jolietName, const std::string& storedName) {
  // A plain name is found again by its spelling; only the others are kept.
  if (platform::WideToNarrow(jolietName) == storedName) {
    oddJolietNames_.erase(jolietName);
  } else {
    oddJolietNames_[std::move(jolietName)] = storedName;
  }
}

CImageNode::ChildMap::iterator CImageNode::RenameChild(const std::string& from, const std::string& to) {
  auto entry = children.extract(from);
  entry.key() = to;
  RememberJolietName(JolietName(to), to);
  return children.insert(std::move(entry)).position;
}

std::unique_ptr<CImageNode> CImageNode::MakeEntry(CImageNode& parent, std::string_view sourcePath,
                                                  std::string_view name, EntryKind kind,
                                                  EntryOrigin origin, EntryRefusal& refusal) {
  auto node = std::unique_ptr<CImageNode>(new CImageNode(Unlinked{}));
  node->sourcePath = sourcePath;
  node->name = name;
  node->isFile = kind != EntryKind::Directory;
  node->isLink = kind == EntryKind::Link;
  node->newFlag = origin == EntryOrigin::New;
  node->level = parent.level + 1;
  node->parent = &parent;
  node->serialNumber = TakeSerialNumber();
  if (origin == EntryOrigin::Imported) {
    node->located = true;  // its extent is the previous session's
  } else if (node->isLink ? !node->CompleteNewLink(refusal) : node->isFile && !node->CompleteNewFile(refusal)) {
    return nullptr;
  }
  return node;
}

bool CImageNode::CompleteNewFile(EntryRefusal& refusal) {
  std::optional<SourceFile> source = SourceFile::OpenForReading(sourcePath);
  if (!source) {
    ExplainOpenFailure(sourcePath, errno, refusal);
    return false;
  }
  // A file past the addresses a drive can name fits no disc; one of 4 GiB
  // or more is taken here and refused by a burn that cannot record it in
  // sections (CImageBuilder::CheckFileSizes).
  if (source->Length() > limits::kLargestFileSize) {
    refusal.kind = RefusalKind::FileTooLarge;
    refusal.value = source->Length();
    refusal.limit = limits::kLargestFileSize;
    return false;
  }
  // A file of /proc or /sys says it holds nothing and yet reads as text:
  // burned by its size it would come back empty, so it is refused.
  std::uint8_t probe = 0;
  if (source->Length() == 0 && source->Read(&probe, 1) == 1) {
    refusal.kind = RefusalKind::SizeUnknown;
    return false;
  }
  size = source->Length();
  struct stat info {};
  mode = ::stat(sourcePath.c_str(), &info) == 0 ? info.st_mode : S_IFREG | 0444;
  modified = source->ModificationTime();
  return true;
}

bool CImageNode::CompleteNewLink(EntryRefusal& refusal) {
  std::string target(4096, '\0');
  const ssize_t length = ::readlink(sourcePath.c_str(), target.data(), target.size());
  if (length <= 0) {
    ExplainOpenFailure(sourcePath, errno, refusal);
    return false;
  }
  linkTarget = target.substr(0, static_cast<std::size_t>(length));
  mode = S_IFLNK | 0777;
  // The link's own time, as the source folder lists it.
  struct stat info {};
  if (::lstat(sourcePath.c_str(), &info) == 0) modified = LocalFileTime(info.st_mtim.tv_sec);
  return true;
}

void CImageNode::TakeOver(CImageNode&& fresh) {
  sourcePath = std::move(fresh.sourcePath);
  name = std::move(fresh.name);
  size = fresh.size;
  isFile = fresh.isFile;
  isLink = fresh.isLink;
  linkTarget = std::move(fresh.linkTarget);
  mode = fresh.mode;
  carriedRockRidge = std::move(fresh.carriedRockRidge);
  newFlag = fresh.newFlag;
  extent = fresh.extent;
  level = fresh.level;
  directoryNumber = fresh.directoryNumber;
  children = std::move(fresh.children);  // a replaced directory loses its contents
  oddJolietNames_ = std::move(fresh.oddJolietNames_);
  located = fresh.located;
  serialNumber = fresh.serialNumber;
  parent = fresh.parent;
  moreSections = std::move(fresh.moreSections);
  carriedJolietName = std::move(fresh.carriedJolietName);
  modified = fresh.modified;
}

void CImageNode::ClearTree() {
  children.clear();
  oddJolietNames_.clear();
}

void CImageNode::RemoveChild(const std::string& storedName) {
  if (children.erase(storedName) > 0) oddJolietNames_.erase(JolietName(storedName));
}

void CImageNode::RemoveEntriesFrom(std::string_view source) {
  for (auto it = children.begin(); it != children.end();) {
    if (it->second->sourcePath == source) {
      oddJolietNames_.erase(JolietName(it->first));
      it = children.erase(it);
    } else {
      it->second->RemoveEntriesFrom(source);
      ++it;
    }
  }
}

std::size_t CImageNode::SectionCount() const {
  if (!IsNewFile()) return 1 + moreSections.size();
  return size <= limits::kLargestSingleExtent ? 1 : (size + limits::kSectionSize - 1) / limits::kSectionSize;
}

FileSection CImageNode::Section(std::size_t index) const {
  if (!IsNewFile()) return index == 0 ? FileSection{extent, static_cast<std::uint32_t>(size)} : moreSections.at(index - 1);
  if (SectionCount() == 1) return {extent, static_cast<std::uint32_t>(size)};
  // Whole sections of whole blocks, one after the other; the last holds the rest.
  const std::uint64_t skipped = std::uint64_t{limits::kSectionSize} * index;
  return {extent + static_cast<std::uint32_t>(skipped / kBlockSize),
          static_cast<std::uint32_t>(std::min<std::uint64_t>(limits::kSectionSize, size - skipped))};
}

}  // namespace scrivo
