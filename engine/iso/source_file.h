#pragma once
// A local source file opened the way the image needs it: read-only, regular
// files only, and exclusively (a non-blocking exclusive flock), so a file
// that another program holds locked is refused instead of waited for.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace scrivo {

class SourceFile {
 public:
  // Nothing when the path does not name a regular file that can be opened
  // for reading and locked exclusively at once; errno then says why
  // (EINVAL for a path that is not a regular file).
  static std::optional<SourceFile> OpenExclusive(const std::string& path);

  SourceFile(SourceFile&& other) noexcept;
  SourceFile& operator=(SourceFile&& other) noexcept;
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;
  ~SourceFile();

  std::uint64_t Length() const { return length_; }

  // Reads up to `count` bytes, fewer only at the end of the file or on a
  // read error; returns how many arrived.
  std::size_t Read(std::uint8_t* buffer, std::size_t count);
  // The errno of the last read that failed; 0 when none did (a read that
  // came up short met the end of the file).
  int ReadError() const { return readError_; }

 private:
  SourceFile(int fd, std::uint64_t length) : fd_(fd), length_(length) {}
  void Close();

  int fd_ = -1;
  std::uint64_t length_ = 0;
  int readError_ = 0;
};

}  // namespace scrivo
