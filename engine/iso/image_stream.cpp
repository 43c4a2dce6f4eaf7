#include "engine/iso/image_stream.h"

#include <fstream>
#include <optional>

#include "engine/iso/image_builder.h"
#include "engine/iso/source_file.h"

namespace scrivo {
namespace {

class FileSink final : public BlockSink {
 public:
  explicit FileSink(const std::string& path) : out_(path, std::ios::binary | std::ios::trunc) {}
  bool Ok() const { return static_cast<bool>(out_); }
  bool PutBlock(std::span<const std::uint8_t, kBlockSize> block) override {
    out_.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
    return static_cast<bool>(out_);
  }
  bool Finish() {
    out_.close();
    return !out_.fail();
  }

 private:
  std::ofstream out_;
};

}  // namespace

FileStreamEnd StreamFileBlocks(const CImageNode& file, const FileBlockConsumer& take) {
  const std::uint32_t blocks = BlocksFor(file.size);
  std::optional<SourceFile> source = SourceFile::OpenExclusive(file.sourcePath);
  ImageBlock buffer{};
  std::uint64_t remaining = file.size;
  for (std::uint32_t i = 0; i < blocks; ++i) {
    buffer.fill(0);
    if (source) {
      std::size_t wanted = remaining < kBlockSize ? static_cast<std::size_t>(remaining) : kBlockSize;
      std::size_t got = source->Read(buffer.data(), wanted);
      if (got < wanted && i + 1 < blocks) return FileStreamEnd::Failed;
      remaining -= wanted;
    }
    switch (take(buffer, source.has_value())) {
      case StreamStep::Continue: break;
      case StreamStep::Stop: return FileStreamEnd::Stopped;
      case StreamStep::Fail: return FileStreamEnd::Failed;
    }
  }
  return FileStreamEnd::Complete;
}

bool WriteMetadataBlocks(const CImageBuilder& builder, BlockSink& sink) {
  for (const auto& block : builder.SectorList()) {
    if (!block || !sink.PutBlock(*block)) return false;
  }
  return true;
}

bool WriteFileContents(const CImageBuilder& builder, BlockSink& sink) {
  auto put = [&sink](std::span<const std::uint8_t, kBlockSize> block, bool) {
    return sink.PutBlock(block) ? StreamStep::Continue : StreamStep::Fail;
  };
  for (const auto& [firstBlock, file] : builder.FileMap()) {
    if (StreamFileBlocks(*file, put) != FileStreamEnd::Complete) return false;
  }
  return true;
}

bool WriteImageFile(const CImageBuilder& builder, const std::string& path) {
  FileSink sink(path);
  if (!sink.Ok()) return false;
  bool written = WriteMetadataBlocks(builder, sink) && WriteFileContents(builder, sink);
  return sink.Finish() && written;
}

}  // namespace scrivo
