#pragma once
// One file or directory of the compilation tree: the name it carries on the
// disc, the local source of a new file's contents and, while an image is
// being built, where its contents lie.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/iso/compilation_limits.h"
#include "engine/iso/ecma119_fields.h"
#include "engine/iso/entry_refusal.h"

namespace scrivo {

// A link is a symbolic link recorded as one (Rock Ridge), not what it leads to.
enum class EntryKind { File, Directory, Link };
// New entries are written by this job; imported ones already lie on the disc.
enum class EntryOrigin { New, Imported };
// What becomes of an entry whose stored name differs from a sibling's, but
// not its Joliet name: the disc would list one name twice.
enum class NameClash {
  Refuse,   // the entry is rejected
  Replace,  // it merges into that sibling as an entry of the same name does
};

// One section of a file recorded in several (ECMA-119 6.5.1: records of one
// name, each but the last flagged multi-extent).
struct FileSection {
  std::uint32_t extent = 0;
  std::uint32_t size = 0;
};

class CImageNode {
 public:
  // Stored names are shorter than this many bytes.
  static constexpr std::size_t kNameLimit = limits::kStoredNameLength + 1;
  static constexpr std::int32_t kIsoDepthLimit = limits::kIsoDepthLimit;

  // Ordered by the stored names' bytes compared as unsigned values
  // (std::char_traits<char> compares as unsigned char).
  using ChildMap = std::map<std::string, std::unique_ptr<CImageNode>>;

  // The root of a compilation: level 1, no name, serial number 0.
  CImageNode();
  CImageNode(const CImageNode&) = delete;
  CImageNode& operator=(const CImageNode&) = delete;
  ~CImageNode() = default;

  // Inserts an entry, or merges it into the existing child of the same
  // stored name (which then takes every field of the new entry, losing its
  // former contents). Returns the node holding the entry, or nullptr when
  // the entry is rejected: a name that is empty, ".", "..", contains "/" or
  // (a new entry's) is longer than limits::kStoredNameLength bytes (an
  // imported entry's name is whatever the disc held), a new file whose source
  // cannot be opened exclusively or is larger than any disc holds
  // (limits::kLargestFileSize), or a name whose Joliet form a sibling of
  // another stored name already carries (unless `clash` says to merge). Why
  // an entry was rejected goes to `refusal` when there is one.
  CImageNode* AddChild(std::string_view entrySource, std::string_view entryName, EntryKind kind,
                       EntryOrigin origin, NameClash clash = NameClash::Refuse,
                       EntryRefusal* refusal = nullptr);

  // The child that an entry named `storedName` would merge into: the one of
  // that stored name, or the one whose Joliet name it shares; nullptr when
  // there is none.
  CImageNode* FindChild(std::string_view storedName);

  // Deletes every entry below this node.
  void ClearTree();
  // Deletes the child of that stored name, with all it holds, if there is one.
  void RemoveChild(const std::string& storedName);
  // Deletes every entry below this node whose source is `source` (with all
  // it holds).
  void RemoveEntriesFrom(std::string_view source);

  // A file's sections: one for a file below 4 GiB, and one for every
  // limits::kSectionSize bytes of a larger new file, laid out one after
  // the other; an imported file has the sections it had on the disc.
  std::size_t SectionCount() const;
  FileSection Section(std::size_t index) const;

  bool IsDirectory() const { return !isFile; }
  // A new file is streamed from its source; imported files stay where they are.
  bool IsNewFile() const { return isFile && newFlag; }

  std::string sourcePath;
  std::string name;  // the stored name: the Joliet name and the sibling key
  // File: its length (a new file may hold 4 GiB and more; an imported
  // file of several sections: its first section's). Directory: its extent's.
  std::uint64_t size = 0;
  bool isFile = false;
  // A symbolic link kept as one (a file entry of no contents): its target.
  bool isLink = false;
  std::string linkTarget;
  // The source's mode (st_mode) for a new entry; 0 where there is none.
  std::uint32_t mode = 0;
  // An imported entry's Rock Ridge entries (PX, TF, NM, SL, ...) as the
  // disc had them, written again unchanged; empty when it had none.
  std::vector<std::uint8_t> carriedRockRidge;
  bool newFlag = true;
  // New file: block relative to the data area. Imported file: absolute block.
  // Directory: absolute block in the tree laid out last.
  std::uint32_t extent = 0;
  std::int32_t level = 1;
  std::uint16_t directoryNumber = 0;
  ChildMap children;
  bool located = false;
  std::int32_t serialNumber = 0;
  CImageNode* parent = nullptr;
  // An imported file of several sections: those after the first, in order
  // (`extent` and `size` describe the first).
  std::vector<FileSection> moreSections;
  // An imported file whose stored name does not convert back to the Joliet
  // name it had on the disc, or whose Joliet name is longer than a new
  // name's may be (limits::kJolietNameUnits): that name, written again as
  // it was (a ";" as "_", as in every Joliet identifier).
  std::u16string carriedJolietName;
  // When the entry was last modified: a new entry's source's time, an
  // imported entry's recording date. Nothing when unknown; its records then
  // carry the burn's time.
  std::optional<ecma119::FileTime> modified;
  // The identifiers the entry carries in the two trees, given for each
  // image (disc_names.h): ISO 9660 with its version, Joliet in UTF-16 units.
  std::string isoName;
  std::u16string jolietIdentifier;

 private:
  struct Unlinked {};
  explicit CImageNode(Unlinked) {}
  static std::unique_ptr<CImageNode> MakeEntry(CImageNode& parent, std::string_view sourcePath,
                                               std::string_view name, EntryKind kind,
                                               EntryOrigin origin, EntryRefusal& refusal);
  bool CompleteNewFile(EntryRefusal& refusal);
  bool CompleteNewLink(EntryRefusal& refusal);
  // A new file's or link's stored name (with the version suffix), refused
  // when it is too long.
  void TakeOver(CImageNode&& fresh);
  ChildMap::iterator RenameChild(const std::string& from, const std::string& to);
  // The stored name of the child whose Joliet name this is, if any.
  const std::string* JolietTwin(const std::u16string& jolietName) const;
  void RememberJolietName(std::u16string jolietName, const std::string& storedName);

  // No two children may share a Joliet name. A plain stored name (one that
  // its Joliet name converts back to) is the only plain name with that
  // Joliet name, so it is looked up by its spelling; the Joliet names of the
  // others (bytes that are no text in the locale's charset), rare as they
  // are, are kept here with their stored names.
  std::map<std::u16string, std::string> oddJolietNames_;
};

// True when `name` can be a stored name at all (before any size rule).
bool IsAcceptableEntryName(std::string_view name);

// The process-wide serial counter: first value 1, one value per node created
// (also for nodes later rejected or merged), never reset or reused.
std::int32_t TakeSerialNumber();

}  // namespace scrivo
