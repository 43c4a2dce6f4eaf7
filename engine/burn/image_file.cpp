#include "engine/burn/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "engine/burn/burn_failure.h"
#include "engine/burn/engine_host.h"
#include "engine/burn/write_progress.h"
#include "engine/iso/image_block.h"
#include "engine/iso/image_builder.h"
#include "engine/iso/source_file.h"
#include "platform/kernel/event.h"

namespace scrivo {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kPrimaryDescriptorBlock = 16;
// Volume space size: both-byte-order field at byte 80 of the primary
// volume descriptor.
constexpr std::size_t kVolumeSpaceSizeOffset = 80;

std::uint32_t LittleEndianAt(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
std::uint32_t BigEndianAt(const std::uint8_t* p) {
  return std::uint32_t{p[3]} | std::uint32_t{p[2]} << 8 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[0]} << 24;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

StreamEnd EndOf(StreamStep step) { return step == StreamStep::Stop ? StreamEnd::Stopped : StreamEnd::Failed; }

// The image's blocks appended to the temporary file, counted for the
// progress; a cancel is looked at on every commit.
class ImageFileOutput final : public BlockOutput {
 public:
  static constexpr std::uint32_t kBufferBlocks = 128;

  ImageFileOutput(int fd, WriteProgress& progress, platform::Event* cancelEvent)
      : fd_(fd), progress_(progress), cancelEvent_(cancelEvent), buffer_(kBufferBlocks * kBlockSize) {}

  std::span<std::uint8_t> Space() override { return std::span(buffer_).subspan(filled_ * kBlockSize); }
  StreamStep Commit(std::uint32_t blocks, bool) override {
    if (cancelEvent_ != nullptr && cancelEvent_->Wait(std::chrono::milliseconds(0))) {
      cancelled_ = true;
      return StreamStep::Stop;
    }
    filled_ += blocks;
    for (std::uint32_t i = 0; i < blocks; ++i) progress_.CountBlock();
    if (filled_ < kBufferBlocks) return StreamStep::Continue;
    return Flush() ? StreamStep::Continue : StreamStep::Fail;
  }
  bool Flush() override {
    const std::size_t bytes = filled_ * kBlockSize;
    filled_ = 0;
    error_ = WriteAll(fd_, buffer_.data(), bytes);
    return error_ == 0;
  }
  bool Cancelled() const { return cancelled_; }
  int Error() const { return error_; }

 private:
  int fd_;
  WriteProgress& progress_;
  platform::Event* cancelEvent_;
  std::vector<std::uint8_t> buffer_;
  std::uint32_t filled_ = 0;
  bool cancelled_ = false;
  int error_ = 0;
};

bool Inside(const fs::path& path, const fs::path& folder) {
  const auto [end, at] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
  return end == folder.end();
}

}  // namespace

IsoImageFacts InspectIsoImage(const std::string& path) {
  IsoImageFacts facts;
  std::optional<SourceFile> file = SourceFile::OpenForReading(path);
  if (!file) {
    facts.problem = Quoted(path) + " cannot be read: " + std::strerror(errno) + ".";
    return facts;
  }
  const std::uint64_t length = file->Length();
  if (length % kBlockSize != 0 || length < (kPrimaryDescriptorBlock + 1) * kBlockSize) {
    facts.problem = Quoted(path) + " is not an ISO 9660 image: its size (" + WithThousands(length) +
                    " bytes) is not a whole number of 2048-byte blocks beyond the 16 of the system area.";
    return facts;
  }
  facts.blocks = length / kBlockSize;
  std::vector<std::uint8_t> blocks((kPrimaryDescriptorBlock + 1) * kBlockSize);
  if (file->Read(blocks.data(), blocks.size()) != blocks.size()) {
    facts.problem = Quoted(path) + " cannot be read: " + std::strerror(file->ReadError()) + ".";
    return facts;
  }
  const std::uint8_t* descriptor = blocks.data() + kPrimaryDescriptorBlock * kBlockSize;
  if (descriptor[0] != 1 || std::memcmp(descriptor + 1, "CD001", 5) != 0 || descriptor[6] != 1) {
    facts.problem = Quoted(path) + " is not an ISO 9660 image: block 16 holds no primary volume descriptor.";
    return facts;
  }
  const std::uint32_t little = LittleEndianAt(descriptor + kVolumeSpaceSizeOffset);
  const std::uint32_t big = BigEndianAt(descriptor + kVolumeSpaceSizeOffset + 4);
  if (little != big || little <= kPrimaryDescriptorBlock || little > facts.blocks) {
    facts.problem = Quoted(path) + " is not a whole ISO 9660 image: its volume space size (" +
                    WithThousands(little) + " blocks) does not match the file's " +
                    WithThousands(facts.blocks) + " blocks.";
  }
  return facts;
}

StreamEnd StreamImageFile(SourceFile& source, std::uint64_t blocks, const CImageNode& named,
                          BlockOutput& output, const SourceChangeSink& changed) {
  for (std::uint64_t left = blocks; left > 0;) {
    const std::span<std::uint8_t> space = output.Space();
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, space.size() / kBlockSize));
    const std::size_t bytes = std::size_t{count} * kBlockSize;
    const std::size_t got = source.Read(space.data(), bytes);
    if (got < bytes) {
      // The file shrank since it was looked at: what arrived whole is sent.
      if (changed) changed(named, SourceChange::CameUpShort, source.ReadError());
      const StreamStep step = output.Commit(static_cast<std::uint32_t>(got / kBlockSize), true);
      if (step != StreamStep::Continue) return EndOf(step);
      output.Flush();
      return StreamEnd::Failed;
    }
    const StreamStep step = output.Commit(count, true);
    if (step != StreamStep::Continue) return EndOf(step);
    left -= count;
  }
  return output.Flush() ? StreamEnd::Complete : StreamEnd::Failed;
}

bool ImageSave::Fail(std::string step, std::string reason, int error, std::string path) {
  failure_ = {std::move(step), std::move(reason), std::move(path), error};
  return false;
}

bool ImageSave::CheckTarget(const std::string& folder, const std::string& target) {
  // An image saved into a folder it holds would be read into itself by the
  // next image or burn of that folder, and a file of the compilation
  // overwritten by its own image would be streamed half written.
  for (const std::string& added : image_.AddedFolders()) {
    std::error_code ec;
    const fs::path source = fs::canonical(added, ec);
    if (!ec && Inside(fs::path(folder), source)) {
      return Fail("check target",
                  "The image file " + Quoted(target) + " would be inside " + Quoted(source.string()) +
                      ", a folder being written into the image. Save it in another folder.",
                  0, target);
    }
  }
  return true;
}

bool ImageSave::Run(const std::string& target, ImageMedium medium) {
  failure_ = {};
  std::error_code ec;
  const fs::path absolute = fs::absolute(target, ec);
  const fs::path parent = absolute.parent_path();
  const fs::path folder = fs::canonical(parent, ec);
  if (ec) {
    return Fail("check target", "The folder " + Quoted(parent.string()) + " of the image file cannot be used: " +
                                    ec.message() + ".", ec.value(), target);
  }
  if (absolute.filename().empty() || fs::is_directory(absolute)) {
    return Fail("check target", Quoted(target) + " is a folder: give the image file's name.", EISDIR, target);
  }
  if (!CheckTarget(folder.string(), target)) return false;

  image_.SetImageOrigin(0);
  if (!image_.BuildImage([this](std::uint32_t perMille) { host_.PostJobMessage(WM_JOB_PROGRESS, perMille); })) {
    return Fail("build image", "The compilation could not be laid out as a disc image. Nothing was written.");
  }
  const std::uint64_t total = image_.VolumeSpaceSize();
  const std::uint64_t limit = medium == ImageMedium::Cd ? kCdImageLimitBlocks : kDvdImageLimitBlocks;
  if (total > limit) {
    std::string reason = "The image needs " + WithThousands(total) + " blocks (" + MegabytesOf(total) +
                         "), more than a blank " + (medium == ImageMedium::Cd ? "CD" : "DVD") + " holds (" +
                         WithThousands(limit) + " blocks, " + MegabytesOf(limit) + ").";
    if (medium == ImageMedium::Cd && total <= kDvdImageLimitBlocks) reason += " It fits a DVD.";
    return Fail("check size", reason + " Nothing was written.");
  }
  struct statvfs space {};
  if (::statvfs(folder.c_str(), &space) == 0) {
    const std::uint64_t room = std::uint64_t{space.f_bavail} * space.f_frsize;
    if (room / kBlockSize < total) {
      return Fail("check free space",
                  "The image needs " + MegabytesOf(total) + " and the file system of " + Quoted(folder.string()) +
                      " has " + MegabytesOf(room / kBlockSize) + " free. Nothing was written.",
                  ENOSPC, target);
    }
  }

  std::string temporary = (folder / ("." + absolute.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    return Fail("create", "The image file cannot be created in " + Quoted(folder.string()) + ": " +
                              std::strerror(error) + ". Nothing was written.", error, target);
  }
  ::fchmod(fd, 0644);
  const bool written = WriteTemporary(fd, total, temporary);
  const bool closed = ::close(fd) == 0;
  if (written && !closed) Fail("write", "The image file could not be written to its end. No image file was saved.",
                               errno, target);
  if (!written || !closed || ::rename(temporary.c_str(), absolute.c_str()) != 0) {
    if (failure_.step.empty()) {
      Fail("rename", "The image file could not take its name " + Quoted(target) + ": " + std::strerror(errno) + ".",
           errno, target);
    }
    ::unlink(temporary.c_str());
    return false;
  }
  host_.PostJobMessage(WM_JOB_PROGRESS, 1000);
  host_.PostJobMessage(WM_IMAGE_FINISHED, 0);
  return true;
}

bool ImageSave::WriteTemporary(int fd, std::uint64_t total, const std::string& temporary) {
  WriteProgress progress(host_, total);
  ImageFileOutput output(fd, progress, cancelEvent_);
  std::string shortFile;
  int shortError = 0;
  const auto changed = [&](const CImageNode& file, SourceChange change, int error) {
    switch (change) {
      case SourceChange::Unreadable:
      case SourceChange::SizeChanged:
        host_.ReportError(SourceChangeText(file.sourcePath, file.size, change == SourceChange::Unreadable,
                                           "writing the image", "the image"));
        break;
      case SourceChange::CameUpShort:
        shortFile = file.sourcePath;
        shortError = error;
        break;
    }
  };
  StreamEnd end = StreamMetadata(image_, output, [this](std::size_t index) { image_.ReleaseBlock(index); });
  if (end == StreamEnd::Complete) {
    progress.Post();
    progress.StartPass();
    end = StreamFileContents(image_, output, changed);
  }
  if (end == StreamEnd::Complete) {
    progress.Post();
    if (::fsync(fd) == 0) return true;
    return Fail("write", "The image file could not be written to its end: " + std::string(std::strerror(errno)) +
                             ". No image file was saved.", errno, temporary);
  }
  if (output.Cancelled()) return Fail("cancelled", "Cancelled: no image file was saved.");
  if (!shortFile.empty()) {
    return Fail("read source",
                "The file \"" + shortFile + "\" " +
                    (shortError == 0 ? "ended before its size while it was read (it shrank)."
                                     : "could not be read: " + std::string(std::strerror(shortError)) + ".") +
                    " No image file was saved.",
                shortError, shortFile);
  }
  return Fail("write", "The image file could not be written: " + std::string(std::strerror(output.Error())) +
                           ". No image file was saved.", output.Error(), temporary);
}

}  // namespace scrivo
