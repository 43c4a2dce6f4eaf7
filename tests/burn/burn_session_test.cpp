// The steps of a burn against a drive the test scripts: what is sent, when
// the burn stops, and the reason it gives (step, command and sense, blocks
// written, what the disc holds).

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/burn/burn_drive.h"
#include "engine/burn/burn_job.h"
#include "engine/burn/engine_host.h"
#include "engine/burn/burn_session.h"
#include "engine/burn/image_file.h"
#include "engine/iso/image_stream.h"
#include "engine/burn/mmc_burn_drive.h"
#include "engine/burn/session_verify.h"
#include "engine/iso/image_builder.h"
#include "engine/iso/session_import.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/event.h"
#include "tests/support/aspi_double.h"

namespace {

namespace fs = std::filesystem;
using scrivo::BurnFailure;
using scrivo::BurnMode;
using scrivo::BurnStep;
using scrivo::DiscAfterFailure;

constexpr scrivo::SenseCode kWriteError{0x03, 0x0C, 0x00};
constexpr scrivo::SenseCode kUnrecoveredRead{0x03, 0x11, 0x00};

// A writer that takes every command unless told to refuse one, and counts
// what it was sent.
class ScriptedDrive final : public scrivo::BurnDrive {
 public:
  std::uint32_t freeBlocks = 100000;
  int failWriteNumber = -1;  // the n-th WRITE(10) (from 0) and all after it fail
  int refusedWrites = 0;     // the first n writes fail, then writes succeed
  bool closes = true;
  scrivo::DiscRefusal refusal = scrivo::DiscRefusal::None;
  bool blank = true;
  std::vector<std::int32_t> writes;  // the address of each write tried
  std::function<void()> beforeFirstWrite;
  int finishes = 0;
  int readinessWaits = 0;
  std::int32_t reserved = 0;

  bool ReadBlock(std::int32_t, std::span<std::uint8_t, scrivo::kBlockSize>) override { return false; }
  bool PrepareTrack(BurnMode) override { return refusal == scrivo::DiscRefusal::None; }
  scrivo::DiscRefusal Refusal() const override { return refusal; }
  bool DiscBlank() const override { return blank; }
  std::int32_t SessionStart() const override { return 0; }
  std::optional<std::int32_t> PreviousSessionEnd() const override { return std::nullopt; }
  std::int32_t LastSessionStart() override { return scrivo::kNoPreviousSession; }
  bool ReadFreeBlocks(std::uint32_t& blocks) override {
    blocks = freeBlocks;
    return true;
  }
  bool SetStreaming(std::int32_t) override { return true; }
  bool ReserveTrack(std::int32_t blocks) override {
    reserved = blocks;
    return true;
  }
  void SetWriteAddress(std::int32_t address) override { address_ = address; }
  std::int32_t WriteAddress() const override { return address_; }
  bool WriteBlocks(std::span<const std::uint8_t> blocks) override {
    if (writes.empty() && beforeFirstWrite) beforeFirstWrite();
    writes.push_back(address_);
    const int number = static_cast<int>(writes.size()) - 1;
    if (number < refusedWrites || (failWriteNumber >= 0 && number >= failWriteNumber)) {
      failure_ = {scrivo::Write10Cdb(static_cast<std::uint32_t>(address_), 1), 0x04, 0, kWriteError,
                  failure_.serial + 1};
      return false;
    }
    for (std::size_t at = 0; at < blocks.size(); at += scrivo::kBlockSize) {
      recorded[address_++].assign(blocks.begin() + static_cast<std::ptrdiff_t>(at),
                                  blocks.begin() + static_cast<std::ptrdiff_t>(at + scrivo::kBlockSize));
    }
    return true;
  }
  // Reads what was recorded; a corrupt block reads back with a byte
  // changed, an unreadable one fails the read that covers it.
  std::map<std::int32_t, std::vector<std::uint8_t>> recorded;
  std::set<std::int32_t> corrupt, unreadable;
  std::int32_t goneFrom = INT32_MAX;  // from this block on, reads fail without sense (the drive is gone)
  std::vector<std::size_t> readSizes;  // blocks asked for by each read
  bool ReadBlocks(std::int32_t lba, std::span<std::uint8_t> out) override {
    readSizes.push_back(out.size() / scrivo::kBlockSize);
    for (std::size_t at = 0; at < out.size(); at += scrivo::kBlockSize, ++lba) {
      if (lba >= goneFrom) {
        failure_ = {scrivo::Read10Cdb(static_cast<std::uint32_t>(lba)), 0x04, 0, std::nullopt, failure_.serial + 1};
        return false;
      }
      if (unreadable.contains(lba) || !recorded.contains(lba)) {
        failure_ = {scrivo::Read10Cdb(static_cast<std::uint32_t>(lba)), 0x04, 0, kUnrecoveredRead, failure_.serial + 1};
        return false;
      }
      std::copy(recorded[lba].begin(), recorded[lba].end(), out.begin() + static_cast<std::ptrdiff_t>(at));
      if (corrupt.contains(lba)) out[at + 100] ^= 0x01;
    }
    return true;
  }
  bool WaitUntilReady(scrivo::PollingLimit) override {
    ++readinessWaits;
    return true;
  }
  bool FinishSession(BurnMode, scrivo::FeatureFlags) override {
    ++finishes;
    return closes;
  }
  const scrivo::CommandFailure& LastFailure() const override { return failure_; }

 private:
  std::int32_t address_ = 0;
  scrivo::CommandFailure failure_;
};

class Host final : public scrivo::EngineHost {
 public:
  scrivo::FeatureFlags features = 0;
  std::vector<std::string> errors;
  std::vector<std::uintptr_t> finished;
  std::vector<std::uintptr_t> fifoLevels;
  std::vector<scrivo::VerifyResult> verified;
  std::uintptr_t lastProgress = 0;
  void ReportVerify(const scrivo::VerifyResult& result) override { verified.push_back(result); }
  void ReportError(std::string_view text) override { errors.emplace_back(text); }
  scrivo::FeatureFlags WriterFeatures() const override { return features; }
  void PostJobMessage(std::uint32_t message, std::uintptr_t value) override {
    if (message == scrivo::WM_BURN_FINISHED) finished.push_back(message);
    if (message == scrivo::WM_FIFO_LEVEL) fifoLevels.push_back(value);
    if (message == scrivo::WM_JOB_PROGRESS) lastProgress = value;
  }
};

class BurnSteps : public ::testing::Test {
 protected:
  BurnSteps() : dir_(fs::temp_directory_path() / ("burn_steps_" + std::to_string(::getpid()))) {
    fs::create_directories(dir_);
    image.Bind(&host);
  }
  ~BurnSteps() override { fs::remove_all(dir_); }

  fs::path PathOf(const std::string& name) const { return dir_ / name; }

  // A file of `blocks` whole blocks of `fill` in the compilation's root.
  void AddFile(const std::string& name, std::size_t blocks, char fill = 'x') {
    const fs::path path = dir_ / name;
    std::ofstream(path) << std::string(blocks * scrivo::kBlockSize, fill);
    ASSERT_TRUE(image.AddFileEntry(image.Root(), name, path.string()));
  }

  bool Burn(BurnMode mode = BurnMode::CdSingleSession, bool verify = false) {
    return scrivo::BurnCompilation(image, drive, host, mode, &cancel, failure, verify);
  }
  // The first block the drive recorded that is filled with `fill`.
  std::int32_t FirstBlockOf(char fill) const {
    for (const auto& [lba, block] : drive.recorded) {
      if (std::all_of(block.begin(), block.end(), [fill](std::uint8_t b) { return b == fill; })) return lba;
    }
    return -1;
  }

  scrivo::CImageBuilder image;
  ScriptedDrive drive;
  Host host;
  platform::Event cancel{platform::Event::Reset::Auto};
  BurnFailure failure;

 private:
  fs::path dir_;
};

TEST_F(BurnSteps, AnImageLargerThanTheFreeSpaceIsRefusedBeforeAnyWrite) {
  AddFile("big.bin", 200);
  drive.freeBlocks = 100;
  EXPECT_FALSE(Burn());
  EXPECT_TRUE(drive.writes.empty());
  EXPECT_EQ(drive.finishes, 0);
  EXPECT_EQ(failure.step, BurnStep::CheckFreeSpace);
  EXPECT_GT(failure.blocksNeeded, 200u);
  EXPECT_EQ(failure.blocksFree, 100u);
  EXPECT_EQ(failure.disc, DiscAfterFailure::Untouched);
  EXPECT_NE(failure.Describe().find("the disc has 100 free"), std::string::npos) << failure.Describe();
}

TEST_F(BurnSteps, ARefusedWriteClosesTheSessionAndSaysWhereAndWhy) {
  AddFile("a.bin", 100);
  drive.failWriteNumber = 3;
  EXPECT_FALSE(Burn());
  ASSERT_EQ(drive.writes.size(), 4u);
  const std::int32_t at = drive.writes.back();  // every block before it was taken
  EXPECT_EQ(drive.finishes, 1);
  EXPECT_EQ(failure.step, BurnStep::Write);
  ASSERT_TRUE(failure.command);
  EXPECT_EQ(failure.command->Block(), at);
  EXPECT_EQ(failure.command->sense, kWriteError);
  EXPECT_EQ(failure.blocksWritten, static_cast<std::uint64_t>(at));
  EXPECT_EQ(failure.disc, DiscAfterFailure::SessionClosed);
  EXPECT_EQ(failure.Describe(), "The writer refused the write at block " + std::to_string(at) +
                                    ": write error (03/0C/00). The session was closed with 0.1 MB "
                                    "written; the files after that point cannot be read. Erase the "
                                    "disc if it is rewritable, or use a new one.");
  EXPECT_TRUE(host.finished.empty());
}

TEST_F(BurnSteps, ASessionThatDoesNotCloseIsAFailureThatLeavesItOpen) {
  AddFile("a.bin", 10);
  drive.closes = false;
  EXPECT_FALSE(Burn());
  EXPECT_EQ(failure.step, BurnStep::CloseSession);
  EXPECT_EQ(failure.disc, DiscAfterFailure::SessionLeftOpen);
  EXPECT_EQ(failure.blocksWritten, static_cast<std::uint64_t>(drive.WriteAddress()));
  EXPECT_GT(failure.blocksWritten, 10u);
  EXPECT_TRUE(host.finished.empty());
}

TEST_F(BurnSteps, TheFirstDvdMinusRWriteIsTriedTenTimesAtTheSameAddress) {
  host.features = scrivo::kDvdMinusRWriteCurrent;
  AddFile("a.bin", 1);
  for (int refusals : {9, 10}) {
    SCOPED_TRACE(refusals);
    drive = ScriptedDrive{};
    drive.refusedWrites = refusals;
    const bool burned = Burn(BurnMode::Dvd);
    EXPECT_EQ(burned, refusals < 10);
    const std::size_t tries = std::min(drive.writes.size(), std::size_t{10});
    for (std::size_t i = 0; i < tries; ++i) EXPECT_EQ(drive.writes[i], 0);
    EXPECT_EQ(drive.readinessWaits, refusals);
  }
}

// A CD track is padded to 300 blocks; a DVD track is written in whole ECC
// blocks (every write starts on a 16-block boundary) and padded to one, its
// reservation rounded up alike.
TEST_F(BurnSteps, TheTrackIsPaddedAndAlignedAsTheMediumNeeds) {
  host.features = scrivo::kDvdMinusRWriteCurrent;
  AddFile("a.bin", 37);
  AddFile("b.bin", 5);
  for (BurnMode mode : {BurnMode::CdSingleSession, BurnMode::Dvd}) {
    SCOPED_TRACE(static_cast<int>(mode));
    drive = ScriptedDrive{};
    ASSERT_TRUE(Burn(mode));
    const std::int32_t end = drive.WriteAddress();
    if (mode != BurnMode::Dvd) {
      EXPECT_EQ(end, 300);
      continue;
    }
    EXPECT_EQ(end % 16, 0);
    EXPECT_EQ(drive.reserved, end);
    for (std::int32_t at : drive.writes) EXPECT_EQ(at % 16, 0) << at;
  }
}

// The sources are read ahead of the drive: the last file is read while the
// first write is still held, and the FIFO's fill level reaches the host.
TEST_F(BurnSteps, SourcesAreReadAheadOfAHeldDrive) {
  AddFile("a.bin", 200);
  AddFile("z.bin", 3);
  const int watch = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, PathOf("z.bin").c_str(), IN_ACCESS), 0);
  bool readAhead = false;
  drive.beforeFirstWrite = [&] {
    pollfd ready{watch, POLLIN, 0};
    readAhead = ::poll(&ready, 1, 5000) == 1;
  };
  EXPECT_TRUE(Burn());
  ::close(watch);
  EXPECT_TRUE(readAhead);
  EXPECT_TRUE(std::any_of(host.fifoLevels.begin(), host.fifoLevels.end(), [](auto level) { return level > 0; }));
}

TEST_F(BurnSteps, ACancelClosesTheSessionOnWhatWasWritten) {
  AddFile("a.bin", 400);
  cancel.Set();
  EXPECT_TRUE(Burn());
  EXPECT_EQ(drive.finishes, 1);
  EXPECT_LT(drive.writes.size(), 400u / 16);
  EXPECT_EQ(host.finished.size(), 1u);
}

TEST_F(BurnSteps, ARefusedDiscTouchesNothingAndDropsWhatWasReadBackFromIt) {
  auto& root = image.Root();
  ASSERT_NE(root.AddChild("/somewhere", "mine", scrivo::EntryKind::Directory, scrivo::EntryOrigin::New), nullptr);
  scrivo::CImageNode* mine = root.children.at("mine").get();
  ASSERT_NE(mine->AddChild(scrivo::kImportedSource, "b.txt", scrivo::EntryKind::File, scrivo::EntryOrigin::Imported),
            nullptr);
  drive.refusal = scrivo::DiscRefusal::Closed;
  EXPECT_FALSE(Burn(BurnMode::CdMultiSession));
  EXPECT_EQ(failure.step, BurnStep::PrepareTrack);
  EXPECT_EQ(failure.Describe(),
            "The disc is closed: it takes no more sessions. Nothing was written: the disc is as it was.");
  EXPECT_TRUE(drive.writes.empty());
  EXPECT_TRUE(mine->children.empty());
  EXPECT_EQ(image.SectorList().size(), scrivo::CImageBuilder::kSystemAreaBlocks);
}

TEST_F(BurnSteps, ADiscWithSessionsTheDriveWillNotNameIsNotTakenForBlank) {
  AddFile("a.bin", 1);
  drive.blank = false;  // recorded, but the session query fails
  EXPECT_FALSE(Burn(BurnMode::CdMultiSession));
  EXPECT_EQ(failure.step, BurnStep::ReadPreviousSession);
  EXPECT_EQ(failure.disc, DiscAfterFailure::Untouched);
  EXPECT_TRUE(drive.writes.empty());
  drive.blank = true;  // a blank disc has no session to carry over
  EXPECT_TRUE(Burn(BurnMode::CdMultiSession));
}

// The session query of the real drive: its address, none, or unusable.
TEST(MmcBurnDrive, LastSessionStartIsTheSessionQuerysAddress) {
  // The refused query is tried again after the drive's pause: on a clock
  // that costs no time.
  platform::VirtualClock clock;
  platform::ScopedClock useClock(clock);
  testsupport::AspiDouble aspi;
  std::optional<std::int32_t> start;
  aspi.SetResponder([&](const testsupport::RecordedRequest&) {
    testsupport::Reply reply;
    if (!start) {
      reply.status = SS_ERR;
      return reply;
    }
    reply.dataIn.assign(12, 0);
    for (int i = 0; i < 4; ++i) reply.dataIn[8 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(*start) >> (24 - 8 * i));
    return reply;
  });
  scrivo::MmcCore core;
  ASSERT_TRUE(core.LoadAspi());
  core.SetDevice(0, 1, 0);
  scrivo::MmcBurnDrive drive(core);
  for (auto [answer, expected] : {std::pair<std::optional<std::int32_t>, std::int32_t>{12345, 12345},
                                  {std::nullopt, scrivo::kNoPreviousSession},
                                  {-1, scrivo::kUnusableSessionStart}}) {
    start = answer;
    EXPECT_EQ(drive.LastSessionStart(), expected);
  }
}

// The read-back puts each block that reads back wrong or not at all to the
// file whose contents it holds, or to the directory (block 16, the primary
// descriptor), reading in large pieces and block by block only where a
// read failed.
TEST_F(BurnSteps, AVerifyNamesTheFileOrTheDirectoryOfEachBadBlock) {
  AddFile("a.bin", 40, 'a');
  AddFile("b.bin", 3, 'b');
  ASSERT_TRUE(Burn());
  const std::int32_t a = FirstBlockOf('a'), b = FirstBlockOf('b');
  ASSERT_EQ(b, a + 40);
  struct Found {
    std::string path;
    bool unreadable;
    std::int64_t block;
    std::uint32_t blocks;
    bool operator==(const Found&) const = default;
  };
  const struct {
    std::set<std::int32_t> corrupt, unreadable;
    std::vector<Found> found;
    std::int32_t goneFrom = INT32_MAX;
  } cases[] = {
      {{}, {}, {}},
      {{a + 5, a + 7}, {}, {{"/a.bin", false, a + 5, 2}}},
      {{}, {a + 39, b}, {{"/a.bin", true, a + 39, 1}, {"/b.bin", true, b, 1}}},
      {{b + 2}, {16}, {{"", true, 16, 1}, {"/b.bin", false, b + 2, 1}}},
      // A drive gone mid-way: a read of a single block finds it so, and
      // the rest counts unreadable without more reads.
      {{}, {}, {{"/a.bin", true, a + 10, 30}, {"/b.bin", true, b, 3}}, a + 10},
  };
  for (const auto& c : cases) {
    drive = ScriptedDrive{};
    drive.corrupt = c.corrupt;
    drive.unreadable = c.unreadable;
    drive.goneFrom = c.goneFrom;
    host.verified.clear();
    ASSERT_TRUE(Burn(BurnMode::CdSingleSession, true));
    ASSERT_EQ(host.verified.size(), 1u);
    const scrivo::VerifyResult& result = host.verified[0];
    std::vector<Found> found;
    for (const auto& f : result.findings) found.push_back({f.path, f.unreadable, f.firstBlock, f.blocks});
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(result.Identical(), c.found.empty());
    EXPECT_EQ(result.files, 2u);
    EXPECT_EQ(result.blocks, static_cast<std::uint64_t>(b + 3));
    EXPECT_EQ(host.lastProgress, 1000u);
    // Reads of 32 blocks, and single blocks only after a read that failed.
    const auto single = std::count(drive.readSizes.begin(), drive.readSizes.end(), 1u);
    EXPECT_EQ(drive.readSizes.front(), 32u);
    EXPECT_EQ(single > 0, !c.unreadable.empty() || c.goneFrom != INT32_MAX);
    EXPECT_LE(single, 32) << "no read is split once the drive is gone";
  }
}

}  // namespace

// An image file is burned by the burn's own steps: from block 0 of a blank
// disc only, its track padded, a refused write closed as a burn closes it.
TEST_F(BurnSteps, AnImageFileIsBurnedOntoABlankDiscAsABurnIs) {
  AddFile("a.bin", 30);
  ASSERT_TRUE(image.BuildImage());
  const std::string iso = PathOf("a.iso").string();
  ASSERT_TRUE(scrivo::WriteImageFile(image, iso));
  const auto blocks = static_cast<std::int32_t>(image.VolumeSpaceSize());
  image.ResetImage();
  const struct {
    const char* name;
    bool blank;
    int failWrite;
    BurnStep step;
    std::int32_t end;  // the write address after the job
    int finishes;
  } cases[] = {
      {"blank", true, -1, BurnStep::None, 300, 1},  // a CD track is at least 300 blocks
      {"used", false, -1, BurnStep::UsedDisc, 0, 0},
      {"refused write", true, 1, BurnStep::Write, 16, 1},
  };
  for (const auto& c : cases) {
    ScriptedDrive disc;
    disc.blank = c.blank;
    disc.failWriteNumber = c.failWrite;
    scrivo::BurnSession session(image, disc, host, &cancel);
    EXPECT_EQ(session.RunImageFile(BurnMode::CdSingleSession, iso), c.step == BurnStep::None) << c.name;
    EXPECT_EQ(session.Failure().step, c.step) << c.name;
    EXPECT_EQ(disc.WriteAddress(), std::max(c.end, c.step == BurnStep::None ? blocks : 0)) << c.name;
    EXPECT_EQ(disc.finishes, c.finishes) << c.name;
  }
}

// A source that shrinks while the image is written fails the save, and
// leaves no file under the target's name or beside it.
TEST_F(BurnSteps, AFailedImageSaveLeavesNoFile) {
  AddFile("a.bin", 100);
  fs::resize_file(PathOf("a.bin"), 10 * scrivo::kBlockSize);
  scrivo::ImageSave save(image, host, &cancel);
  const fs::path target = PathOf("out") / "a.iso";
  fs::create_directories(target.parent_path());
  EXPECT_FALSE(save.Run(target.string(), scrivo::ImageMedium::Cd));
  EXPECT_EQ(save.Failure().step, "read source");
  EXPECT_TRUE(fs::is_empty(target.parent_path()));
}
