#include "platform/aspi/virtual/disc_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/aspi/virtual/disc_state_text.h"

namespace wnaspi::vdrive {
namespace {

constexpr const char* kImageName = "disc.img";
constexpr const char* kStateName = "disc.state";
constexpr const char* kHoldName = "writer.lock";

std::string ErrnoText() { return std::strerror(errno); }

bool PreadAll(int fd, std::uint8_t* data, std::size_t size, off_t offset, std::size_t* got) {
  *got = 0;
  while (*got < size) {
    const ssize_t n = ::pread(fd, data + *got, size - *got, offset + static_cast<off_t>(*got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    *got += static_cast<std::size_t>(n);
  }
  return true;
}

bool PwriteAll(int fd, const std::uint8_t* data, std::size_t size, off_t offset) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd, data + done, size - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool SameFile(int fd, const std::filesystem::path& path) {
  struct stat byFd {}, byPath {};
  if (::fstat(fd, &byFd) != 0 || ::stat(path.c_str(), &byPath) != 0) return false;
  return byFd.st_dev == byPath.st_dev && byFd.st_ino == byPath.st_ino;
}

}  // namespace

DiscStore::DiscStore(std::filesystem::path directory, Medium initialMedium, Log& log)
    : directory_(std::move(directory)), initialMedium_(initialMedium), log_(log) {}

DiscStore::~DiscStore() {
  // A program that ends while its job holds the writer leaves the disc as
  // far as it got.
  if (holding_ && unsaved_ && disc_) Persist();
  CloseFiles();
  if (holdFd_ >= 0) ::close(holdFd_);  // gives the writer back if a job held it
}

std::string DiscStore::Prepare(const std::filesystem::path& directory) {
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) return "cannot create the directory: " + error.message();
  if (::access(directory.c_str(), R_OK | W_OK | X_OK) != 0) {
    return "cannot write in the directory: " + ErrnoText();
  }
  return {};
}

void DiscStore::Report(const std::string& problem) {
  // Once per distinct problem: a scan probing the writer every few seconds
  // must not fill the trace with the same line.
  if (problem == lastProblem_) return;
  lastProblem_ = problem;
  log_.Diagnostic("virtual writer " + directory_.string() + ": " + problem);
}

void DiscStore::CloseFiles() {
  if (imageFd_ >= 0) ::close(imageFd_);
  if (stateFd_ >= 0) ::close(stateFd_);
  imageFd_ = stateFd_ = -1;
  lastText_.clear();
  disc_.reset();
  damaged_ = false;
}

bool DiscStore::FilesStillInPlace() const {
  return SameFile(imageFd_, directory_ / kImageName) && SameFile(stateFd_, directory_ / kStateName);
}

bool DiscStore::OpenFiles() {
  if (imageFd_ >= 0 && FilesStillInPlace()) return true;
  // Someone removed or replaced the files: the disc is a new one.
  CloseFiles();
  std::error_code error;
  std::filesystem::create_directories(directory_, error);
  if (error) {
    Report("cannot create the directory: " + error.message());
    return false;
  }
  imageFd_ = ::open((directory_ / kImageName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (imageFd_ < 0) {
    Report(std::string("cannot open ") + kImageName + ": " + ErrnoText());
    CloseFiles();
    return false;
  }
  stateFd_ = ::open((directory_ / kStateName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (stateFd_ < 0) {
    Report(std::string("cannot open ") + kStateName + ": " + ErrnoText());
    CloseFiles();
    return false;
  }
  return true;
}

bool DiscStore::OpenHoldFile() {
  if (holdFd_ >= 0) return true;
  holdFd_ = ::open((directory_ / kHoldName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (holdFd_ >= 0) return true;
  Report(std::string("cannot open ") + kHoldName + ": " + ErrnoText());
  return false;
}

bool DiscStore::ClaimWriter(bool startJob, bool* heldElsewhere) {
  if (holding_) return true;
  if (!OpenHoldFile()) return false;
  // Never waits: a lock taken elsewhere means a job runs there.
  while (::flock(holdFd_, (startJob ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) {
      *heldElsewhere = true;
    } else {
      Report("cannot lock " + std::string(kHoldName) + ": " + ErrnoText());
    }
    return false;
  }
  if (startJob) {
    holding_ = true;
  } else {
    ::flock(holdFd_, LOCK_UN);
  }
  return true;
}

DiscState* DiscStore::Acquire(bool startJob, bool* heldElsewhere) {
  *heldElsewhere = false;
  // While this program's job holds the writer no other program reads or
  // changes the disc: its record stays in memory, unlocked, unread.
  if (holding_ && disc_) return &*disc_;
  if (!OpenFiles()) return nullptr;
  while (::flock(stateFd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      Report("cannot lock " + std::string(kStateName) + ": " + ErrnoText());
      return nullptr;
    }
  }
  locked_ = true;
  const bool heldBefore = holding_;
  if (!ClaimWriter(startJob, heldElsewhere)) {
    Unlock();
    return nullptr;
  }
  if (!Reload()) {
    Release(!heldBefore);  // a job that could not start holds nothing
    return nullptr;
  }
  return &*disc_;
}

bool DiscStore::Release(bool endJob, bool deferrable) {
  // The record is written before the writer is given back, so the next
  // program finds the disc as the job left it.
  if (holding_ && deferrable && !endJob && disc_) {
    unsaved_ = true;
    Unlock();  // taken when this command started the job
    return true;
  }
  const bool persisted = disc_ ? Persist() : true;
  if (endJob && holding_) {
    ::flock(holdFd_, LOCK_UN);
    holding_ = false;
  }
  Unlock();
  return persisted;
}

void DiscStore::Unlock() {
  if (locked_) ::flock(stateFd_, LOCK_UN);
  locked_ = false;
}

bool DiscStore::Reload() {
  damaged_ = false;
  struct stat info {};
  if (::fstat(stateFd_, &info) != 0) {
    Report("cannot read " + std::string(kStateName) + ": " + ErrnoText());
    return false;
  }
  std::string text(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t got = 0;
  if (!PreadAll(stateFd_, reinterpret_cast<std::uint8_t*>(text.data()), text.size(), 0, &got)) {
    Report("cannot read " + std::string(kStateName) + ": " + ErrnoText());
    return false;
  }
  text.resize(got);
  if (disc_ && text == lastText_) return true;

  if (text.empty()) {
    // No disc yet: put one in.
    struct stat image {};
    ::fstat(imageFd_, &image);
    const auto blocks = static_cast<std::uint64_t>((image.st_size + kBlockSize - 1) / kBlockSize);
    if (blocks == 0) {
      disc_ = DiscState::Blank(initialMedium_);
    } else if (blocks <= Traits(initialMedium_).capacity) {
      disc_ = DiscState::Finalized(initialMedium_, static_cast<std::uint32_t>(blocks));
      log_.Diagnostic("virtual writer " + directory_.string() + ": " + kImageName +
                      " without a state file taken as a finalised " +
                      std::string(Traits(initialMedium_).name) + " of " +
                      std::to_string(blocks) + " blocks");
    } else {
      Report(std::string(kImageName) + " is larger than a " +
             std::string(Traits(initialMedium_).name) + " can hold");
      return false;
    }
    lastText_.clear();
    return Persist();
  }

  std::string error;
  auto parsed = ParseDiscState(text, &error);
  struct stat image {};
  if (parsed && ::fstat(imageFd_, &image) == 0) {
    // Blocks past every track the record knows: the record lost a track or
    // a session (a blank or format in progress empties the image anyway).
    const auto imageBlocks = static_cast<std::uint64_t>((image.st_size + kBlockSize - 1) / kBlockSize);
    parsed->FollowWrittenBlocks(imageBlocks);
    if (!parsed->busy.active() && imageBlocks > parsed->recordedEnd()) {
      error = std::string(kImageName) + " holds " + std::to_string(imageBlocks) +
              " blocks, the record's tracks end at block " + std::to_string(parsed->recordedEnd());
      parsed.reset();
    }
  }
  if (!parsed) {
    // Never taken for another disc, never written over: the writer answers
    // as a drive whose disc cannot be read until someone repairs the file.
    disc_.reset();
    damaged_ = true;
    ReportDamage((directory_ / kStateName).string() + " is damaged (" + error +
                 "): the writer answers as a drive whose disc cannot be read (03/31/00) and "
                 "writes nothing until the file is repaired; removing disc.state alone makes "
                 "disc.img a finalised disc, removing both a blank one");
    return false;
  }
  disc_ = std::move(*parsed);
  damaged_ = false;
  lastText_ = std::move(text);
  lastProblem_.clear();
  return true;
}

void DiscStore::ReportDamage(const std::string& problem) {
  // Said on standard error like a problem of the configuration, once per
  // program: a scan probing the writer must not repeat it.
  if (problem == reportedDamage_) return;
  reportedDamage_ = problem;
  log_.Problem("virtual writer " + directory_.string() + ": " + problem);
}

bool DiscStore::Persist() {
  unsaved_ = false;
  std::string text = SerializeDiscState(*disc_);
  if (text == lastText_) return true;
  // The lock (or the job's hold) keeps readers out while the file is
  // rewritten in place. A shorter record is first padded with empty lines,
  // which a reader skips, to the old length: a program killed before the
  // truncation leaves a readable record.
  std::string padded = text;
  if (padded.size() < lastText_.size()) padded.resize(lastText_.size(), '\n');
  if (!PwriteAll(stateFd_, reinterpret_cast<const std::uint8_t*>(padded.data()), padded.size(), 0) ||
      ::ftruncate(stateFd_, static_cast<off_t>(text.size())) != 0) {
    Report("cannot write " + std::string(kStateName) + ": " + ErrnoText());
    lastText_.clear();  // read the file again next time
    disc_.reset();
    return false;
  }
  lastText_ = std::move(text);
  return true;
}

bool DiscStore::WriteBlocks(std::uint32_t lba, const std::uint8_t* data, std::uint32_t blocks) {
  if (PwriteAll(imageFd_, data, std::size_t{blocks} * kBlockSize, off_t{lba} * kBlockSize)) {
    return true;
  }
  Report("cannot write " + std::string(kImageName) + ": " + ErrnoText());
  return false;
}

bool DiscStore::ReadBlocks(std::uint32_t lba, std::uint8_t* data, std::uint32_t blocks) {
  const std::size_t size = std::size_t{blocks} * kBlockSize;
  std::size_t got = 0;
  if (!PreadAll(imageFd_, data, size, off_t{lba} * kBlockSize, &got)) {
    Report("cannot read " + std::string(kImageName) + ": " + ErrnoText());
    return false;
  }
  std::memset(data + got, 0, size - got);  // beyond the end of the sparse file
  return true;
}


bool DiscStore::EraseBlocks() {
  if (::ftruncate(imageFd_, 0) == 0) return true;
  Report("cannot empty " + std::string(kImageName) + ": " + ErrnoText());
  return false;
}

}  // namespace wnaspi::vdrive
