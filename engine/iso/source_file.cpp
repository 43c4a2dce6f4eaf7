#include "engine/iso/source_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace scrivo {

std::optional<SourceFile> SourceFile::OpenForReading(const std::string& path) {
  // O_NONBLOCK keeps a FIFO from stalling the open; it is refused below.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    const int error = S_ISREG(info.st_mode) ? errno : EINVAL;
    ::close(fd);
    errno = error;
    return std::nullopt;
  }
  // O_NONBLOCK stays: reads of a regular file ignore it.
  return SourceFile(fd, static_cast<std::uint64_t>(info.st_size), LocalFileTime(info.st_mtim.tv_sec));
}

SourceFile::SourceFile(SourceFile&& other) noexcept
    : fd_(other.fd_), length_(other.length_), modified_(other.modified_), readError_(other.readError_) {
  other.fd_ = -1;
}

SourceFile& SourceFile::operator=(SourceFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    length_ = other.length_;
    modified_ = other.modified_;
    readError_ = other.readError_;
    other.fd_ = -1;
  }
  return *this;
}

SourceFile::~SourceFile() { Close(); }

void SourceFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::size_t SourceFile::Read(std::uint8_t* buffer, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    ssize_t got = ::read(fd_, buffer + done, count - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) readError_ = errno;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

ecma119::FileTime LocalFileTime(std::int64_t seconds) {
  const auto moment = static_cast<std::time_t>(seconds);
  struct tm local {};
  if (::localtime_r(&moment, &local) == nullptr) return {seconds, 0};
  return {seconds, static_cast<std::int32_t>(local.tm_gmtoff / 60)};
}

std::optional<ecma119::FileTime> ModificationTimeOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return LocalFileTime(info.st_mtim.tv_sec);
}

}  // namespace scrivo
