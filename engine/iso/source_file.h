#pragma once
// A local source file opened the way the image needs it: read-only and
// regular files only. It is opened shared, without a lock: a burner reads,
// and never keeps the user's files from other programs (or from a second
// burn of the same folder onto another writer).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/iso/ecma119_fields.h"

namespace scrivo {

class SourceFile {
 public:
  // Nothing when the path does not name a regular file that can be opened
  // for reading; errno then says why (EINVAL for a path that is not a
  // regular file).
  static std::optional<SourceFile> OpenForReading(const std::string& path);

  SourceFile(SourceFile&& other) noexcept;
  SourceFile& operator=(SourceFile&& other) noexcept;
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;
  ~SourceFile();

  std::uint64_t Length() const { return length_; }
  // When the file was last modified, with the local offset from Greenwich.
  ecma119::FileTime ModificationTime() const { return modified_; }

  // Reads up to `count` bytes, fewer only at the end of the file or on a
  // read error; returns how many arrived.
  std::size_t Read(std::uint8_t* buffer, std::size_t count);
  // The errno of the last read that failed; 0 when none did (a read that
  // came up short met the end of the file).
  int ReadError() const { return readError_; }

 private:
  SourceFile(int fd, std::uint64_t length, ecma119::FileTime modified)
      : fd_(fd), length_(length), modified_(modified) {}
  void Close();

  int fd_ = -1;
  std::uint64_t length_ = 0;
  ecma119::FileTime modified_;
  int readError_ = 0;
};

// A moment (seconds since 1970 UTC) with the offset from Greenwich the
// local zone had then.
ecma119::FileTime LocalFileTime(std::int64_t seconds);
// The modification time of what `path` names (a folder, say); nothing when
// it cannot be looked at.
std::optional<ecma119::FileTime> ModificationTimeOf(const std::string& path);

}  // namespace scrivo
