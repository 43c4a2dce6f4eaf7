// Filling the compilation tree from the host's files and folders.

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/iso/image_builder.h"
#include "engine/iso/source_file.h"

namespace scrivo {
namespace {

using FileIdentity = std::pair<dev_t, ino_t>;

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

struct FolderEntry {
  std::string name;
  bool isDirectory;
  bool isLink;
};

// The folder's entries; nullopt with `*error` set when it cannot be read
// to its end.
std::optional<std::vector<FolderEntry>> ListFolder(const std::string& folder, int* error) {
  std::vector<FolderEntry> entries;
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) {
    *error = errno;
    return std::nullopt;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno == 0) break;
      *error = errno;
      return std::nullopt;
    }
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    // The entry's type as the folder tells it saves a stat; a link (or a
    // file system that does not tell) is looked at with stat, not lstat: a
    // link to a directory is walked like the directory.
    bool isDirectory = entry->d_type == DT_DIR;
    bool isLink = entry->d_type == DT_LNK;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat info {};
      isLink = ::lstat((folder + name).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
    }
    if (entry->d_type == DT_UNKNOWN || isLink) {
      struct stat info {};
      isDirectory = ::stat((folder + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    }
    entries.push_back({std::move(name), isDirectory, isLink});
  }
  // In name order, so that of two names the disc would show alike it is
  // always the later one that is left out, whatever the file system's order.
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return entries;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileIdentity{info.st_dev, info.st_ino};
}

}  // namespace

bool CImageBuilder::AddFileEntry(CImageNode& parent, std::string_view name,
                                 std::string_view sourcePath) {
  EntryRefusal refusal;
  if (parent.AddChild(sourcePath, name, EntryKind::File, EntryOrigin::New, NameClash::Refuse,
                      &refusal) != nullptr)
    return true;
  Report(refusal);
  return false;
}

bool CImageBuilder::AddLinkEntry(CImageNode& parent, std::string_view name, std::string_view linkPath) {
  EntryRefusal refusal;
  if (parent.AddChild(linkPath, name, EntryKind::Link, EntryOrigin::New, NameClash::Refuse, &refusal) != nullptr)
    return true;
  Report(refusal);
  return false;
}

CImageNode* CImageBuilder::AddDirectoryEntry(CImageNode& parent, std::string_view name,
                                             std::string_view folderPath) {
  EntryRefusal refusal;
  CImageNode* entry =
      parent.AddChild({}, name, EntryKind::Directory, EntryOrigin::New, NameClash::Refuse, &refusal);
  if (entry == nullptr) {
    refusal.path = folderPath;  // a directory entry keeps no source
    Report(refusal);
  } else if (!folderPath.empty()) {
    entry->modified = ModificationTimeOf(std::string(folderPath));
  }
  return entry;
}

void CImageBuilder::Report(const EntryRefusal& refusal) {
  if (reports_ != nullptr) reports_->ReportRefusal(refusal);
}

namespace {

// The folders being walked, so a link back to one of them is not followed
// into an endless descent.
class FolderWalk {
 public:
  explicit FolderWalk(CImageBuilder& builder) : builder_(builder) {}

  // The folder's entries go into `parent`; a folder that cannot be listed
  // is refused (named `name`), never taken for an empty one. A subfolder is
  // listed before its entry is made, so a refused one leaves nothing behind.
  void AddContents(std::string folder, CImageNode& parent, std::string_view name) {
    if (folder.empty() || folder.back() != '/') folder.push_back('/');
    const std::optional<FileIdentity> identity = IdentityOf(folder);
    const auto entries = List(folder, name);
    if (entries && identity) AddListed(folder, *entries, parent, *identity);
  }

 private:
  std::optional<std::vector<FolderEntry>> List(const std::string& folder, std::string_view name) {
    int error = 0;
    auto entries = ListFolder(folder, &error);
    if (!entries) {
      if (ReportSink* reports = builder_.Reports()) {
        EntryRefusal refusal;
        refusal.kind = error == ENOENT || error == ENOTDIR ? RefusalKind::SourceMissing : RefusalKind::Unreadable;
        refusal.folder = true;
        refusal.path = folder.substr(0, folder.size() - 1);
        refusal.name = name;
        refusal.error = error;
        reports->ReportRefusal(refusal);
      }
    }
    return entries;
  }

  void AddListed(const std::string& folder, const std::vector<FolderEntry>& entries, CImageNode& parent,
                 const FileIdentity& identity) {
    walking_.insert(identity);
    for (const FolderEntry& entry : entries) AddEntry(folder, entry, parent);
    walking_.erase(identity);
  }

  void AddEntry(const std::string& folder, const FolderEntry& entry, CImageNode& parent) {
    const std::string path = folder + entry.name;
    if (entry.isLink && builder_.KeepsLinks()) {
      builder_.AddLinkEntry(parent, entry.name, path);  // a failure skips the link
      return;
    }
    if (!entry.isDirectory) {
      builder_.AddFileEntry(parent, entry.name, path);  // a failure skips the file
      return;
    }
    std::optional<FileIdentity> identity = IdentityOf(path);
    if (identity && walking_.contains(*identity)) {
      // A link back to a folder being walked: skipped like a bad subfolder.
      if (ReportSink* reports = builder_.Reports()) {
        EntryRefusal loop;
        loop.kind = RefusalKind::Loop;
        loop.folder = true;
        loop.path = path;
        loop.name = entry.name;
        reports->ReportRefusal(loop);
      }
      return;
    }
    const std::string folderPath = path + '/';
    const auto entries = List(folderPath, entry.name);
    if (!entries || !identity) return;
    if (CImageNode* directory = builder_.AddDirectoryEntry(parent, entry.name, path)) {
      AddListed(folderPath, *entries, *directory, *identity);
    }
  }

  CImageBuilder& builder_;
  std::set<FileIdentity> walking_;
};

}  // namespace

void CImageBuilder::AddFolderContents(std::string_view folderPath, CImageNode& parent) {
  const std::string folder(folderPath);
  addedFolders_.push_back(folder);
  const std::size_t end = folder.find_last_not_of('/');
  const std::size_t start = end == std::string::npos ? 0 : folder.rfind('/', end) + 1;
  FolderWalk(*this).AddContents(folder, parent,
                                end == std::string::npos ? folder : folder.substr(start, end + 1 - start));
}

}  // namespace scrivo
