#include "engine/iso/image_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "engine/iso/image_builder.h"
#include "engine/iso/source_file.h"

namespace scrivo {
namespace {

// An output that appends the image to a file.
class FileOutput final : public BlockOutput {
 public:
  static constexpr std::size_t kBufferBlocks = 256;

  explicit FileOutput(const std::string& path)
      : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)),
        buffer_(kBufferBlocks * kBlockSize) {}
  ~FileOutput() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileOutput(const FileOutput&) = delete;
  FileOutput& operator=(const FileOutput&) = delete;

  bool Ok() const { return fd_ >= 0; }
  std::span<std::uint8_t> Space() override {
    return std::span(buffer_).subspan(filled_ * kBlockSize);
  }
  StreamStep Commit(std::uint32_t blocks, bool) override {
    filled_ += blocks;
    if (filled_ < kBufferBlocks) return StreamStep::Continue;
    return Flush() ? StreamStep::Continue : StreamStep::Fail;
  }
  bool Flush() override {
    const std::size_t bytes = filled_ * kBlockSize;
    filled_ = 0;
    return WriteAll(fd_, buffer_.data(), bytes) == 0;
  }
  bool Close() {
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return closed;
  }

 private:
  int fd_;
  std::vector<std::uint8_t> buffer_;
  std::size_t filled_ = 0;
};

StreamEnd EndOf(StreamStep step) {
  return step == StreamStep::Stop ? StreamEnd::Stopped : StreamEnd::Failed;
}

StreamEnd FlushAndEnd(BlockOutput& output, StreamEnd end) {
  return output.Flush() ? end : StreamEnd::Failed;
}

// One new file: `blocks` whole blocks, read in pieces as large as the
// output's room, or zeros when the source cannot be opened any more.
StreamEnd StreamFile(const CImageNode& file, BlockOutput& output, const SourceChangeSink& changed) {
  const std::uint64_t blocks = BlocksFor(file.size);
  if (blocks == 0) return StreamEnd::Complete;
  std::optional<SourceFile> source = SourceFile::OpenForReading(file.sourcePath);
  if (changed && !source) changed(file, SourceChange::Unreadable, errno);
  if (changed && source && source->Length() != file.size) changed(file, SourceChange::SizeChanged, 0);
  std::uint64_t bytesLeft = file.size;  // to read, by the recorded size
  for (std::uint64_t blocksLeft = blocks; blocksLeft > 0;) {
    const std::span<std::uint8_t> space = output.Space();
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(blocksLeft, space.size() / kBlockSize));
    const std::size_t bytes = std::size_t{count} * kBlockSize;
    std::size_t got = 0;
    if (source) {
      const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(bytesLeft, bytes));
      got = source->Read(space.data(), wanted);
      bytesLeft -= got;
      // Only the last block may come up short: the file shrank below it.
      if (got < wanted && (blocksLeft - got / kBlockSize) > 1) {
        if (changed) changed(file, SourceChange::CameUpShort, source->ReadError());
        const StreamStep step = output.Commit(static_cast<std::uint32_t>(got / kBlockSize), true);
        return step == StreamStep::Continue ? FlushAndEnd(output, StreamEnd::Failed) : EndOf(step);
      }
    }
    std::memset(space.data() + got, 0, bytes - got);
    const StreamStep step = output.Commit(count, source.has_value());
    if (step != StreamStep::Continue) return EndOf(step);
    blocksLeft -= count;
  }
  return StreamEnd::Complete;
}

}  // namespace

StreamEnd StreamMetadata(const CImageBuilder& builder, BlockOutput& output,
                         const std::function<void(std::size_t)>& handedOver) {
  const auto& blocks = builder.SectorList();
  for (std::size_t next = 0; next < blocks.size();) {
    const std::span<std::uint8_t> space = output.Space();
    const std::size_t count = std::min(blocks.size() - next, space.size() / kBlockSize);
    for (std::size_t i = 0; i < count; ++i) {
      if (!blocks[next + i]) return StreamEnd::Failed;  // released: the image is gone
      std::memcpy(space.data() + i * kBlockSize, blocks[next + i]->data(), kBlockSize);
    }
    const StreamStep step = output.Commit(static_cast<std::uint32_t>(count), false);
    if (step != StreamStep::Continue) return EndOf(step);
    for (std::size_t i = 0; i < count; ++i) {
      if (handedOver) handedOver(next + i);
    }
    next += count;
  }
  return FlushAndEnd(output, StreamEnd::Complete);
}

StreamEnd StreamFileContents(const CImageBuilder& builder, BlockOutput& output,
                             const SourceChangeSink& changed) {
  for (const auto& [firstBlock, file] : builder.FileMap()) {
    const StreamEnd end = StreamFile(*file, output, changed);
    if (end != StreamEnd::Complete) return end;
  }
  return FlushAndEnd(output, StreamEnd::Complete);
}

int WriteAll(int fd, const std::uint8_t* data, std::size_t bytes) {
  while (bytes > 0) {
    const ssize_t put = ::write(fd, data, bytes);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return put < 0 ? errno : ENOSPC;
    data += put;
    bytes -= static_cast<std::size_t>(put);
  }
  return 0;
}

bool WriteImageFile(const CImageBuilder& builder, const std::string& path) {
  FileOutput output(path);
  if (!output.Ok()) return false;
  const bool written = StreamMetadata(builder, output) == StreamEnd::Complete &&
                       StreamFileContents(builder, output) == StreamEnd::Complete;
  return output.Close() && written;
}

}  // namespace scrivo
