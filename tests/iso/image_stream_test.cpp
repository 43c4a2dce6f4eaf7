// The block sequence of a built image: metadata blocks, then each new
// file's contents padded to whole blocks, read with the recorded size.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
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

// Collects the image through a room of three blocks, so files come in
// several pieces; refuses blocks once `refuseAfter` were taken.
class CollectingOutput final : public scrivo::BlockOutput {
 public:
  std::span<std::uint8_t> Space() override { return room; }
  scrivo::StreamStep Commit(std::uint32_t blocks, bool) override {
    if (blocks > refuseAfter) return scrivo::StreamStep::Fail;
    refuseAfter -= blocks;
    bytes.append(reinterpret_cast<const char*>(room.data()), blocks * 2048u);
    return scrivo::StreamStep::Continue;
  }
  bool Flush() override { return true; }
  std::array<std::uint8_t, 3 * 2048> room{};
  std::string bytes;
  std::size_t refuseAfter = SIZE_MAX;
};

bool Streams(const CImageBuilder& builder, scrivo::BlockOutput& output,
             std::vector<std::string>* changes = nullptr) {
  const auto heard = [changes](const scrivo::CImageNode& file, scrivo::SourceChange change, int) {
    if (changes && change != scrivo::SourceChange::CameUpShort) {
      changes->push_back(file.name + (change == scrivo::SourceChange::Unreadable ? " unreadable" : " resized"));
    }
  };
  return scrivo::StreamFileContents(builder, output, heard) == scrivo::StreamEnd::Complete;
}

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

  CollectingOutput output;
  ASSERT_EQ(scrivo::StreamMetadata(builder, output), scrivo::StreamEnd::Complete);
  ASSERT_TRUE(Streams(builder, output));
  EXPECT_EQ(output.bytes, ReadAll(image)) << "the same blocks whatever the output";
}

TEST_F(ImageStream, OnlyTheRecordedSizeIsRead) {
  fs::path grows = Add("grows", 100);
  ASSERT_TRUE(builder.BuildImage());
  std::string original = ReadAll(grows);
  std::ofstream(grows, std::ios::app) << std::string(5000, 'x');
  CollectingOutput output;
  std::vector<std::string> changes;
  ASSERT_TRUE(Streams(builder, output, &changes));
  EXPECT_EQ(output.bytes, Padded(original));
  EXPECT_EQ(changes, std::vector<std::string>{"grows resized"});
}

TEST_F(ImageStream, SourceThatShrankBeforeItsLastBlockFailsTheStream) {
  fs::path shrinks = Add("shrinks", 9000);  // 5 blocks: a piece of 3, then 2
  ASSERT_TRUE(builder.BuildImage());
  // Only the last block comes up short: fine. Short before it: the blocks
  // read in full before the short one are sent, then the stream fails.
  struct Case {
    std::uintmax_t shrunkTo;
    bool streams;
    std::size_t blocksSent;
  };
  for (const Case c : {Case{8200, true, 5}, Case{8191, false, 3}, Case{7000, false, 3},
                       Case{5000, false, 2}, Case{2000, false, 0}}) {
    SCOPED_TRACE(c.shrunkTo);
    fs::resize_file(shrinks, c.shrunkTo);
    CollectingOutput output;
    EXPECT_EQ(Streams(builder, output), c.streams);
    EXPECT_EQ(output.bytes.size(), c.blocksSent * 2048);
  }
}

TEST_F(ImageStream, SourceThatCannotBeOpenedAnyMoreIsWrittenAsZerosAndALockedOneIsRead) {
  fs::path removed = Add("removed", 3000);
  fs::path locked = Add("locked", 100);
  ASSERT_TRUE(builder.BuildImage());
  fs::remove(removed);
  int holder = ::open(locked.c_str(), O_RDONLY);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  CollectingOutput output;
  std::vector<std::string> changes;
  EXPECT_TRUE(Streams(builder, output, &changes));
  ::close(holder);
  EXPECT_EQ(changes, (std::vector<std::string>{"removed unreadable"}));
  // The removed file's two blocks are zeros; the locked file's is its bytes.
  std::ifstream in(locked, std::ios::binary);
  const std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(contents.size(), 100u);
  EXPECT_EQ(output.bytes.size(), 3u * 2048);
  EXPECT_NE(output.bytes.find(contents), std::string::npos);
}

TEST_F(ImageStream, OutputRefusalAndReleasedBlocksStopTheStream) {
  Add("a", 10);
  ASSERT_TRUE(builder.BuildImage());
  CollectingOutput refusing;
  refusing.refuseAfter = 3;
  EXPECT_EQ(scrivo::StreamMetadata(builder, refusing), scrivo::StreamEnd::Failed);
  EXPECT_EQ(refusing.bytes.size(), 3u * 2048);
  builder.ReleaseBlock(0);
  CollectingOutput output;
  EXPECT_EQ(scrivo::StreamMetadata(builder, output), scrivo::StreamEnd::Failed);
  EXPECT_FALSE(scrivo::WriteImageFile(builder, (dir / "x.iso").string()));
  EXPECT_FALSE(scrivo::WriteImageFile(builder, (dir / "no" / "such" / "dir.iso").string()));
}

}  // namespace
