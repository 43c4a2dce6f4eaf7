// The block sequence of a built image: metadata blocks, then each new
// file's contents padded to whole blocks, read with the recorded size.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "engine/iso/image_builder.h"
#include "engine/iso/image_stream.h"
#include "iso_test_support.h"

namespace {

using isotest::TempDir;
using isotest::WriteSource;
using scrivo::CImageBuilder;
namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Padded(std::string bytes) {
  bytes.resize((bytes.size() + 2047) / 2048 * 2048, '\0');
  return bytes;
}

class CollectingSink final : public scrivo::BlockSink {
 public:
  bool PutBlock(std::span<const std::uint8_t, scrivo::kBlockSize> block) override {
    if (refuseAfter == 0) return false;
    --refuseAfter;
    bytes.append(reinterpret_cast<const char*>(block.data()), block.size());
    return true;
  }
  std::string bytes;
  std::size_t refuseAfter = SIZE_MAX;
};

class ImageStream : public ::testing::Test {
 protected:
  fs::path Add(std::string_view name, std::size_t size) {
    fs::path path = dir / name;
    WriteSource(path, size);
    EXPECT_TRUE(builder.AddFileEntry(builder.Root(), name, path.string()));
    return path;
  }
  std::string Metadata() const {
    std::string bytes;
    for (const auto& block : builder.SectorList()) bytes.append(reinterpret_cast<const char*>(block->data()), 2048);
    return bytes;
  }

  TempDir dir;
  CImageBuilder builder;
};

TEST_F(ImageStream, ImageFileIsTheMetadataFollowedByPaddedContentsInDataOrder) {
  fs::path b = Add("b.bin", 2049);
  fs::path a = Add("a.bin", 2048);
  Add("c.empty", 0);
  ASSERT_TRUE(builder.BuildImage());
  fs::path image = dir / "out.iso";
  ASSERT_TRUE(scrivo::WriteImageFile(builder, image.string()));
  EXPECT_EQ(ReadAll(image), Metadata() + ReadAll(a) + Padded(ReadAll(b)));

  CollectingSink sink;
  ASSERT_TRUE(scrivo::WriteMetadataBlocks(builder, sink));
  ASSERT_TRUE(scrivo::WriteFileContents(builder, sink));
  EXPECT_EQ(sink.bytes, ReadAll(image)) << "the same blocks whatever the sink";
}

TEST_F(ImageStream, OnlyTheRecordedSizeIsRead) {
  fs::path grows = Add("grows", 100);
  ASSERT_TRUE(builder.BuildImage());
  std::string original = ReadAll(grows);
  std::ofstream(grows, std::ios::app) << std::string(5000, 'x');
  CollectingSink sink;
  ASSERT_TRUE(scrivo::WriteFileContents(builder, sink));
  EXPECT_EQ(sink.bytes, Padded(original));
}

TEST_F(ImageStream, SourceThatShrankBeforeItsLastBlockFailsTheStream) {
  fs::path shrinks = Add("shrinks", 5000);
  ASSERT_TRUE(builder.BuildImage());
  fs::resize_file(shrinks, 4500);  // only the last of 3 blocks comes up short: fine
  CollectingSink sink;
  EXPECT_TRUE(scrivo::WriteFileContents(builder, sink));
  fs::resize_file(shrinks, 2000);  // the first block comes up short
  CollectingSink failing;
  EXPECT_FALSE(scrivo::WriteFileContents(builder, failing));
}

TEST_F(ImageStream, SourceThatCannotBeOpenedAnyMoreIsWrittenAsZeros) {
  fs::path removed = Add("removed", 3000);
  fs::path locked = Add("locked", 100);
  ASSERT_TRUE(builder.BuildImage());
  fs::remove(removed);
  int holder = ::open(locked.c_str(), O_RDONLY);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  CollectingSink sink;
  EXPECT_TRUE(scrivo::WriteFileContents(builder, sink));
  ::close(holder);
  EXPECT_EQ(sink.bytes, std::string(3 * 2048, '\0'));
}

TEST_F(ImageStream, SinkRefusalAndReleasedBlocksStopTheStream) {
  Add("a", 10);
  ASSERT_TRUE(builder.BuildImage());
  CollectingSink refusing;
  refusing.refuseAfter = 3;
  EXPECT_FALSE(scrivo::WriteMetadataBlocks(builder, refusing));
  EXPECT_EQ(refusing.bytes.size(), 3u * 2048);
  builder.ReleaseBlock(0);
  CollectingSink sink;
  EXPECT_FALSE(scrivo::WriteMetadataBlocks(builder, sink));
  EXPECT_FALSE(scrivo::WriteImageFile(builder, (dir / "x.iso").string()));
  EXPECT_FALSE(scrivo::WriteImageFile(builder, (dir / "no" / "such" / "dir.iso").string()));
}

}  // namespace
