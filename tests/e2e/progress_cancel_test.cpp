// What the host sees of a burn: progress 1 to 5 while the image is built,
// the write progress every eleventh block, 90 and 100 around the closing,
// then Finished; and a cancel, which closes the session with the blocks
// written so far and ends the same way.

#include <algorithm>
#include <fstream>

#include "engine/drive/mmc_core.h"
#include "engine/burn/burn_job.h"
#include "engine/burn/engine_host.h"
#include "engine/burn/mmc_burn_drive.h"
#include "engine/iso/image_builder.h"
#include "platform/kernel/event.h"
#include "tests/e2e/burn_fixture.h"

namespace e2e {
namespace {

constexpr std::uint32_t kBlock = 2048;
constexpr std::uint32_t kCadence = 11;  // blocks between write-progress posts
constexpr std::uint32_t kImageBlocks = 1000;

// The volume space size of the session's primary descriptor (block
// start + 16, bytes 80-83 little-endian): the blocks of the whole image.
std::uint32_t VolumeSpaceSize(const fs::path& image, std::uint32_t sessionStart = 0) {
  std::ifstream disc(image, std::ios::binary);
  disc.seekg(static_cast<std::streamoff>(sessionStart + 16) * kBlock + 80);
  unsigned char bytes[4] = {};
  disc.read(reinterpret_cast<char*>(bytes), 4);
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

// The write progress in per mille a burn posts, by the documented rule: after
// every eleventh block of the metadata and of the file data (each counted
// from 0), and at the end of each, whenever the value 60 + written × 900 /
// total changed.
std::vector<std::uint32_t> DocumentedWriteProgress(std::uint32_t metadataBlocks, std::uint32_t total) {
  std::vector<std::uint32_t> posts;
  std::uint32_t last = 60;
  auto post = [&](std::uint32_t written) {
    std::uint32_t value = 60 + written * 900 / total;
    if (value != last) posts.push_back(last = value);
  };
  for (std::uint32_t b = kCadence; b <= metadataBlocks; b += kCadence) post(b);
  post(metadataBlocks);
  for (std::uint32_t b = kCadence; b <= total - metadataBlocks; b += kCadence) post(metadataBlocks + b);
  post(total);
  return posts;
}

// Records what the image builder posts, in per mille, when it burns on the
// calling thread.
class RecordingHost final : public scrivo::EngineHost {
 public:
  void ReportError(std::string_view text) override { errors.emplace_back(text); }
  scrivo::FeatureFlags WriterFeatures() const override { return 0; }  // a CD writer
  void PostJobMessage(std::uint32_t message, std::uintptr_t wParam) override {
    if (message == scrivo::WM_JOB_PROGRESS) progress.push_back(static_cast<std::uint32_t>(wParam));
    if (message == scrivo::WM_BURN_FINISHED) finished = true;
  }
  std::vector<std::string> errors;
  std::vector<std::uint32_t> progress;
  bool finished = false;
};

class ProgressAndCancel : public BurnTest {
 protected:
  // A compilation of one file sized so that the whole image is `blocks`
  // blocks: the metadata of a one-file compilation is measured first.
  fs::path WriteFileForImageOf(std::uint32_t blocks) {
    fs::path file = source / "payload.bin";
    WriteFile(file, 1);
    scrivo::CImageBuilder measure;
    measure.AddFileEntry(measure.Root(), "payload.bin", file.string());
    EXPECT_TRUE(measure.BuildImage());
    const std::uint64_t metadata = measure.VolumeSpaceSize() - 1;
    WriteFile(file, static_cast<std::size_t>(blocks - metadata) * kBlock);
    return file;
  }

  std::vector<int> WriteProgressEvents() const {
    auto events = ProgressEvents();
    return {events.begin() + 5, events.end() - 2};
  }

  TempFolder source;
};

TEST_F(ProgressAndCancel, ThousandBlockImageFirstPostsSixtyNinePerMilleAfterTheEleventhBlock) {
  UseWriters({"cd-r", "cd-r"});
  AddFile("payload.bin", WriteFileForImageOf(kImageBlocks));
  ASSERT_EQ(BurnCd(false), JobEnd::Finished) << testing::PrintToString(Errors());
  ASSERT_EQ(Disc().TrackNumber(0, "recorded"), kImageBlocks);
  ASSERT_EQ(VolumeSpaceSize(DiscImage()), kImageBlocks);

  auto events = ProgressEvents();
  ASSERT_GT(events.size(), 7u);
  EXPECT_EQ(std::vector<int>(events.begin(), events.begin() + 5), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(std::vector<int>(events.end() - 2, events.end()), (std::vector<int>{90, 100}));
  EXPECT_EQ(EventNames().back(), "Finished");
  // The percent events are the per-mille posts divided by ten.
  const std::uint32_t metadata = kImageBlocks - static_cast<std::uint32_t>(fs::file_size(source / "payload.bin") / kBlock);
  std::vector<int> expected;
  for (std::uint32_t perMille : DocumentedWriteProgress(metadata, kImageBlocks)) expected.push_back(perMille / 10);
  EXPECT_EQ(WriteProgressEvents(), expected);
  EXPECT_EQ(expected.front(), 6);
  EXPECT_EQ(expected.back(), 96);

  // The per-mille values themselves, from the image builder burning the same
  // compilation onto the second writer.
  SelectWriter(1);
  scrivo::MmcCore drive;
  ASSERT_TRUE(drive.LoadAspi());
  drive.SetDevice(static_cast<std::uint8_t>(control().HAnum()), static_cast<std::uint8_t>(control().SCSIID()), 0);
  RecordingHost host;
  scrivo::CImageBuilder builder;
  builder.Bind(&host);
  builder.AddFileEntry(builder.Root(), "payload.bin", (source / "payload.bin").string());
  platform::Event cancel{platform::Event::Reset::Auto};
  scrivo::MmcBurnDrive burnDrive(drive);
  scrivo::BurnFailure failure;
  ASSERT_TRUE(scrivo::BurnCompilation(builder, burnDrive, host, scrivo::BurnMode::CdSingleSession, &cancel, failure))
      << testing::PrintToString(host.errors);
  EXPECT_TRUE(host.finished);
  ASSERT_GT(host.progress.size(), 7u);
  std::vector<std::uint32_t> writes(host.progress.begin() + 5, host.progress.end() - 2);
  EXPECT_EQ(writes, DocumentedWriteProgress(metadata, kImageBlocks));
  EXPECT_EQ(writes.front(), 69u);
  EXPECT_EQ(writes.back(), 960u);
  EXPECT_EQ(Disc(1).TrackNumber(0, "recorded"), kImageBlocks);
  ExpectReadersSee(DiscImage(0), source.Path());
  ExpectReadersSee(DiscImage(1), source.Path());
}

TEST_F(ProgressAndCancel, SecondSessionCountsItsWritesFromItsOwnStart) {
  UseWriters({"cd-rw"});
  TempFolder first;
  WriteFile(first / "first.bin", 20 * kBlock);
  BurnFolderOnCd(first.Path(), true);
  const std::size_t firstBurnEvents = ProgressEvents().size();

  constexpr std::uint32_t kFileBlocks = 500;
  WriteFile(source / "payload.bin", kFileBlocks * kBlock);
  BurnFolderOnCd(source.Path(), true);
  DiscRecord disc = Disc();
  ASSERT_EQ(disc.sessions.size(), 2u);
  const std::uint32_t start = disc.TrackNumber(1, "start");
  ASSERT_GT(start, 0u);
  // The imported file takes no block of the new session.
  const std::uint32_t total = VolumeSpaceSize(DiscImage(), start);
  ASSERT_EQ(disc.TrackNumber(1, "recorded"), total);
  auto events = ProgressEvents();
  std::vector<int> secondWrites(events.begin() + static_cast<std::ptrdiff_t>(firstBurnEvents) + 5, events.end() - 2);
  std::vector<int> expected;
  for (std::uint32_t perMille : DocumentedWriteProgress(total - kFileBlocks, total)) expected.push_back(perMille / 10);
  EXPECT_EQ(secondWrites, expected);
  EXPECT_EQ(expected.back(), 96);
}

TEST_F(ProgressAndCancel, CancelDuringABurnClosesTheSessionWithTheBlocksWrittenSoFar) {
  // Each write takes 100 ms: the cancel is requested long before the file
  // data, however busy the machine (16-block writes end this burn in a few
  // milliseconds otherwise).
  UseWriters({"cd-r"}, "slow=2A:100");
  constexpr std::uint32_t kFileBlocks = 300;
  WriteFile(source / "payload.bin", kFileBlocks * kBlock);
  WriteFile(source / "small.txt", 100);
  AddFolder(source.Path());
  Call(scrivo::DISPID_BURNCDDATA, {platform::Variant::Bool(false)});
  // The request waits for the first look at it, after the eleventh block of
  // file data.
  Call(scrivo::DISPID_CANCELBURNING);
  ASSERT_EQ(WaitForJob(), JobEnd::Finished) << testing::PrintToString(Errors());

  auto names = EventNames();
  ASSERT_GE(names.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(names.end() - 3, names.end()),
            (std::vector<std::string>{"Progress 90", "Progress 100", "Finished"}));
  DiscRecord disc = Disc();
  ASSERT_EQ(disc.sessions.size(), 1u);
  EXPECT_EQ(disc.sessions[0].at("closed"), "yes");
  EXPECT_EQ(disc.tracks[0].at("closed"), "yes");
  // Of the 301 blocks of file data, the first eleven were written; zeros
  // pad the track to a CD track's 300 blocks.
  const std::uint32_t total = VolumeSpaceSize(DiscImage());
  const std::uint32_t end = total - (kFileBlocks + 1) + kCadence;
  EXPECT_EQ(disc.TrackNumber(0, "recorded"), 300u);
  std::ifstream image(DiscImage(), std::ios::binary);
  std::vector<char> blocks(300 * kBlock);
  image.read(blocks.data(), static_cast<std::streamsize>(blocks.size()));
  const auto block = [&](std::uint32_t n) { return blocks.begin() + static_cast<std::ptrdiff_t>(n * kBlock); };
  EXPECT_TRUE(std::any_of(block(end - 1), block(end), [](char c) { return c != 0; }));
  EXPECT_TRUE(std::all_of(block(end), blocks.end(), [](char c) { return c == 0; }));
  EXPECT_TRUE(CompilationEmpty());
  EXPECT_TRUE(Errors().empty()) << testing::PrintToString(Errors());
}

TEST_F(ProgressAndCancel, CancelWithNoJobRunningDoesNotStopTheNextBurn) {
  UseWriters({"cd-r"});
  WriteFile(source / "payload.bin", 300 * kBlock);
  AddFolder(source.Path());
  Call(scrivo::DISPID_CANCELBURNING);
  ASSERT_EQ(BurnCd(false), JobEnd::Finished) << testing::PrintToString(Errors());
  EXPECT_EQ(Disc().TrackNumber(0, "recorded"), VolumeSpaceSize(DiscImage()));
  ExpectReadersSee(DiscImage(), source.Path());
}

}  // namespace
}  // namespace e2e
