#pragma once
// Why the compilation refused an entry, as facts: what kind of reason, the
// entry's source path and name, and the numbers that go with the reason.
// The control hands it to its host beside the entry's failure text.

#include <cstdint>
#include <string>
#include <string_view>

namespace scrivo {

// The numbering is the one hosts see (EntryRefused's iKind).
enum class RefusalKind : std::int16_t {
  SourceMissing = 1,   // the source is not there (removed since it was added); errno
  Unreadable = 2,      // the source cannot be opened for reading; errno
  NotRegularFile = 3,  // a device, FIFO or socket: not a file whose contents can be read
  NameTooLong = 4,     // value: the stored name's bytes; limit: the longest stored name
  NameInvalid = 5,     // empty, ".", "..", or holding "/" or a NUL
  FileTooLarge = 6,    // value: the file's bytes; limit: the largest file
  Loop = 7,            // a link back to a folder being walked
  NameClash = 8,       // a sibling `other` would carry the same name on the disc
  SizeUnknown = 9,     // its size reads as 0 but it has contents (/proc, /sys)
};

struct EntryRefusal {
  RefusalKind kind = RefusalKind::Unreadable;
  bool folder = false;  // the entry is a folder (a subfolder of AddDirectory)
  std::string path;     // the source path; a folder's for a folder
  std::string name;     // the name the entry was to carry
  int error = 0;        // errno, for SourceMissing and Unreadable
  std::uint64_t value = 0;
  std::uint64_t limit = 0;
  // NameClash: the sibling's stored name; SourceMissing: the target of a
  // link that leads nowhere; NotRegularFile and Unreadable: what the entry
  // is, for entries of an earlier session.
  std::string other;

  // The control's documented text for the refused entry: the file or the
  // directory failure.
  std::string_view EngineText() const;
  // The reason in words, for the user: "<path>: <why>".
  std::string Describe() const;
  // The reason without the path.
  std::string Reason() const;
};

}  // namespace scrivo
