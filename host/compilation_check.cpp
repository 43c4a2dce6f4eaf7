#include "host/compilation_check.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "engine/iso/compilation_limits.h"
#include "platform/text/codepage.h"

namespace quillon {
namespace {

namespace limits = scrivo::limits;

constexpr std::uint64_t kBlock = limits::kBlockSize;
// Every session: system area, three descriptors and four path tables.
constexpr std::uint64_t kFixedBlocks = limits::kSystemAreaBlocks + 3 + 4;
constexpr std::uint64_t kRecordBytes = 34;  // a directory record without its name

using NodeId = std::pair<dev_t, ino_t>;

// `path` lies in `folder` (both resolved), or is it.
bool Inside(const std::string& path, const std::string& folder) {
  return path == folder || (path.starts_with(folder) && (folder.ends_with('/') || path[folder.size()] == '/'));
}

class Walker {
 public:
  Walker(CompilationFacts& facts, const CompilationOptions& options, std::vector<std::string> roots)
      : facts_(facts), options_(options), roots_(std::move(roots)),
        largestFile_(options.dvd ? limits::kLargestFileSize : limits::kLargestSingleExtent) {}

  void TopLevel(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
      facts_.unusablePaths.push_back(
          {path, errno == ENOENT ? "no such file or folder" : std::strerror(errno), {}});
      return;
    }
    if (S_ISDIR(info.st_mode)) {
      // A folder's contents land at the root: the folder itself is no entry.
      if (auto problem = FolderProblem(path)) {
        facts_.unusablePaths.push_back({path, *problem, {}});
        return;
      }
      Folder(path, info);
    } else if (auto problem = FileProblem(path, info)) {
      facts_.unusablePaths.push_back({path, *problem, {}});
    } else {
      const std::string name = path.substr(path.rfind('/') + 1);
      ClaimRootName(path, name, info);
      Count(name, info);
    }
  }

  // The directories of both trees, in blocks: each holds at least one, and
  // together at least their records.
  std::uint64_t DirectoryBlocks() const {
    return std::max(2 * (folders_ + 1), (recordBytes_ + kBlock - 1) / kBlock);
  }

 private:
  // Whether the engine takes a file of this kind and size; one it refuses
  // it names when the file is handed over, and the count leaves it out.
  bool FileFits(const struct stat& info) const {
    return S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) <= largestFile_;
  }

  static std::optional<std::string> FolderProblem(const std::string& path) {
    if (::access(path.c_str(), R_OK | X_OK) != 0)
      return std::string("cannot be read: ") + std::strerror(errno);
    return std::nullopt;
  }

  std::optional<std::string> FileProblem(const std::string& path, const struct stat& info) const {
    if (!S_ISREG(info.st_mode)) return "not a file or folder";
    if (::access(path.c_str(), R_OK) != 0)
      return std::string("cannot be read: ") + std::strerror(errno);
    if (static_cast<std::uint64_t>(info.st_size) > largestFile_) {
      return options_.dvd ? "larger than any disc holds" : "4 GiB or larger: only a DVD holds a file this large";
    }
    return std::nullopt;
  }

  // A link inside the folders: where it leads is named when that is
  // outside every folder being burned. Kept as a link, it is an entry of
  // its own and is not followed.
  bool KeptLink(const std::string& path, const std::string& name, bool atRoot) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return false;
    char* resolved = ::realpath(path.c_str(), nullptr);
    const std::string target = resolved != nullptr ? resolved : "";
    std::free(resolved);
    const bool inside = std::any_of(roots_.begin(), roots_.end(),
                                    [&](const std::string& root) { return Inside(target, root); });
    if (!target.empty() && !inside) facts_.outsideLinks.push_back({path, target, {}});
    if (!options_.keepLinks) return false;
    if (atRoot) ClaimRootName(path, name, info);
    Count(name, info);
    return true;
  }

  // The engine keeps one entry per name in a folder: an entry added later
  // replaces an earlier one of the same name, files and folders alike. At
  // the root, where the PATHs meet, that would leave out what the user
  // chose; the same source given twice is no clash.
  void ClaimRootName(const std::string& path, const std::string& name, const struct stat& info) {
    const auto [claim, fresh] =
        rootNames_.try_emplace(name, RootClaim{path, {info.st_dev, info.st_ino}});
    if (fresh || claim->second.id == NodeId{info.st_dev, info.st_ino}) return;
    facts_.unusablePaths.push_back({path, "lands at the disc's root as \"" + name + "\", like " +
                                              claim->second.path +
                                              ": one would replace the other",
                                          claim->second.path});
  }

  void Count(const std::string& name, const struct stat& info) {
    ++facts_.entries;
    // A record in each tree: the ISO 9660 name is short (8.3), the Joliet
    // name takes two bytes a character, up to its limit.
    recordBytes_ += 2 * kRecordBytes + std::min<std::uint64_t>(name.size(), 14) +
                    2 * std::min<std::uint64_t>(name.size(), limits::kJolietNameUnits);
    if (S_ISDIR(info.st_mode)) {
      ++folders_;
    } else {
      facts_.blocks += (static_cast<std::uint64_t>(info.st_size) + kBlock - 1) / kBlock;
    }
  }

  void Folder(const std::string& path, const struct stat& info) {
    const NodeId id{info.st_dev, info.st_ino};
    ancestors_.insert(id);
    if (DIR* dir = ::opendir(path.c_str())) {
      while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        Entry(path + (path.ends_with('/') ? "" : "/") + name, name, ancestors_.size() == 1);
      }
      ::closedir(dir);
    }
    ancestors_.erase(id);
  }

  // An entry inside a folder. What the engine refuses (a name it cannot
  // hold, a file it cannot take, a link back into a folder above) it names
  // with its reason when the folder is handed over: such an entry is only
  // left out of the count here. A folder that cannot be read the engine
  // would burn empty, without a word: that one is named here.
  void Entry(const std::string& path, const std::string& name, bool atRoot) {
    if (KeptLink(path, name, atRoot)) return;
    struct stat info {};
    // A file too large for the medium stops the burn here: the engine would
    // refuse it only when the image is built.
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<std::uint64_t>(info.st_size) > largestFile_) {
      facts_.unusablePaths.push_back({path, *FileProblem(path, info), {}});
      return;
    }
    if (::stat(path.c_str(), &info) != 0 || name.size() > limits::kStoredNameLength ||
        (S_ISDIR(info.st_mode) ? ancestors_.contains({info.st_dev, info.st_ino}) : !FileFits(info))) {
      ++facts_.leftToEngine;
      return;
    }
    if (!S_ISDIR(info.st_mode)) {
      if (atRoot) ClaimRootName(path, name, info);
      Count(name, info);
      return;
    }
    if (auto problem = FolderProblem(path)) {
      facts_.refusedEntries.push_back({path, *problem + ": it would be burned empty", {}});
    } else {
      if (atRoot) ClaimRootName(path, name, info);
      Count(name, info);
      Folder(path, info);
    }
  }

  struct RootClaim {
    std::string path;
    NodeId id;
  };

  CompilationFacts& facts_;
  const CompilationOptions& options_;
  std::vector<std::string> roots_;  // the folders being burned, resolved
  std::uint64_t largestFile_;
  std::set<NodeId> ancestors_;
  std::map<std::string, RootClaim> rootNames_;
  std::uint64_t recordBytes_ = 0;
  std::uint64_t folders_ = 0;
};

}  // namespace

CompilationFacts ExamineCompilation(const std::vector<std::string>& paths,
                                    const CompilationOptions& options) {
  CompilationFacts facts;
  std::vector<std::string> roots;
  for (const std::string& path : paths) {
    struct stat info {};
    char* resolved = ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? ::realpath(path.c_str(), nullptr) : nullptr;
    if (resolved != nullptr) roots.emplace_back(resolved);
    std::free(resolved);
  }
  Walker walker(facts, options, std::move(roots));
  for (const std::string& path : paths) walker.TopLevel(path);
  facts.blocks += kFixedBlocks + walker.DirectoryBlocks();
  return facts;
}

std::optional<std::string> LabelProblem(const std::string& label) {
  const std::size_t characters = platform::NarrowToWide(label).size();
  if (characters <= limits::kVolumeLabelLength) return std::nullopt;
  return "Invalid volume name: \"" + label + "\" has " + std::to_string(characters) +
         " characters; a label has at most " + std::to_string(limits::kVolumeLabelLength);
}

}  // namespace quillon
