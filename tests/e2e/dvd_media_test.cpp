// DVD burns onto a formatted DVD+RW, a DVD+R and a DVD-R, each read back by
// the independent readers. A DVD-R gets its track reserved for the image
// and is written in track mode 5; a DVD+R ends with its track and session
// closed and the disc finalised.

#include <fstream>

#include "engine/drive/mmc_commands.h"
#include "tests/e2e/burn_fixture.h"

namespace e2e {
namespace {

constexpr std::uint8_t kReserveTrack = 0x53;
constexpr std::uint8_t kWrite10 = 0x2A;
constexpr std::uint8_t kSynchronizeCache = 0x35;
constexpr std::uint8_t kCloseTrackSession = 0x5B;

class DvdMedia : public BurnTest {
 protected:
  void BurnSampleOnDvd() {
    WriteSampleTree(source.Path(), "DVD");
    SetLabel("DVD DATA");
    AddFolder(source.Path());
    ASSERT_EQ(BurnDvd(), JobEnd::Finished) << testing::PrintToString(Errors());
    EXPECT_TRUE(CompilationEmpty());
  }
  TempFolder source;
};

TEST_F(DvdMedia, FormattedDvdPlusRwTakesTheImage) {
  UseWriters({"dvd+rw"});
  ASSERT_EQ(FormatDvd(), JobEnd::BlankFinished);
  SelectWriter(0);
  BurnSampleOnDvd();
  ExpectReadersSee(DiscImage(), source.Path());
}

TEST_F(DvdMedia, DvdPlusRTakesTheImageAndEndsClosed) {
  UseWriters({"dvd+r"});
  BurnSampleOnDvd();
  DiscRecord disc = Disc();
  ASSERT_EQ(disc.tracks.size(), 1u);
  EXPECT_EQ(disc.TrackNumber(0, "start"), 0u);
  // After the flush, the track is closed, then the session with the disc.
  auto commands = SentCommands();
  std::size_t flush = FindOpcode(commands, kSynchronizeCache, FindOpcode(commands, kWrite10));
  std::size_t closeTrack = FindOpcode(commands, kCloseTrackSession, flush);
  ASSERT_NE(closeTrack, std::string::npos);
  const scrivo::Cdb closeTrackOne = scrivo::CloseTrackSessionCdb(scrivo::CloseFunction::Track, 1, scrivo::Immediate::Yes);
  EXPECT_EQ(Cdb(commands[closeTrack].begin(), commands[closeTrack].begin() + 6),
            Cdb(closeTrackOne.begin(), closeTrackOne.begin() + 6));
  std::size_t closeSession = FindOpcode(commands, kCloseTrackSession, closeTrack + 1);
  ASSERT_NE(closeSession, std::string::npos);
  EXPECT_EQ(commands[closeSession][2], static_cast<std::uint8_t>(scrivo::CloseFunction::FinalizeDvdPlusR));
  EXPECT_EQ(disc.tracks[0].at("closed"), "yes");
  EXPECT_EQ(disc.sessions.at(0).at("closed"), "yes");
  EXPECT_EQ(disc.header.at("finalized"), "yes");
  SelectWriter(0);
  EXPECT_TRUE(control().IsDiskClosed());
  ExpectReadersSee(DiscImage(), source.Path());
}

TEST_F(DvdMedia, DvdMinusRReservesTheTrackAndWritesInTrackModeFive) {
  UseWriters({"dvd-r"});
  BurnSampleOnDvd();
  DiscRecord disc = Disc();
  ASSERT_EQ(disc.tracks.size(), 1u);
  EXPECT_EQ(disc.tracks[0].at("mode"), "5");
  // The reservation covers exactly the blocks written, and came first.
  EXPECT_EQ(disc.TrackNumber(0, "reserved"), disc.TrackNumber(0, "recorded"));
  auto commands = SentCommands();
  std::size_t reserve = FindOpcode(commands, kReserveTrack);
  ASSERT_NE(reserve, std::string::npos);
  std::size_t firstWrite = FindOpcode(commands, kWrite10);
  EXPECT_LT(reserve, firstWrite);
  EXPECT_EQ(Write10Address(commands.at(firstWrite)), 0u);
  ExpectReadersSee(DiscImage(), source.Path());
}

// GET PERFORMANCE refused, SET STREAMING refused: the drive records at its
// own speed and the burn goes on.
class DvdSpeedRefused : public DvdMedia, public testing::WithParamInterface<const char*> {};

TEST_P(DvdSpeedRefused, IsNoReasonToStop) {
  UseWriters({"dvd-r"}, GetParam());
  BurnSampleOnDvd();
  ExpectReadersSee(DiscImage(), source.Path());
}

INSTANTIATE_TEST_SUITE_P(Faults, DvdSpeedRefused, testing::Values("fail=AC@1", "fail=B6@1"));

// The free space is asked as each medium allows it (a strict drive refuses
// track FFh on a DVD-R/-RW), and the drive answers. What the burn does after
// the check is for the other tests.
class DvdFreeSpace : public DvdMedia, public testing::WithParamInterface<const char*> {};

TEST_P(DvdFreeSpace, IsAskedAsTheMediumAllows) {
  UseWriters({GetParam()});
  WriteSampleTree(source.Path(), "DVD");
  AddFolder(source.Path());
  BurnDvd();
  EXPECT_NE(LastFailedStep().first, "check free space");
  std::ifstream trace(TraceFile());
  int queries = 0;
  for (std::string line; std::getline(trace, line);) {
    if (line.find("EXEC [52 ") == std::string::npos && line.find("EXEC [23 ") == std::string::npos) continue;
    ++queries;
    EXPECT_EQ(line.find("sense="), std::string::npos) << line;
  }
  EXPECT_GT(queries, 0);
}

INSTANTIATE_TEST_SUITE_P(Media, DvdFreeSpace, testing::Values("dvd-r", "dvd-rw", "dvd+r", "dvd+rw"));

// A DVD burn writes from block 0: a DVD±R that holds a session already is
// refused, naming it, before anything is sent that changes it.
class UsedDvd : public DvdMedia, public testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(UsedDvd, IsRefusedBeforeAnythingIsWritten) {
  UseWriters({GetParam().first});
  BurnSampleOnDvd();
  SelectWriter(0);
  AddFolder(source.Path());
  const std::size_t before = SentCommands().size();
  ASSERT_EQ(BurnDvd(), JobEnd::Failed);
  const auto [step, reason] = LastFailedStep();
  EXPECT_EQ(step, "check medium");
  EXPECT_NE(reason.find(std::string("The ") + GetParam().second + " is closed"), std::string::npos) << reason;
  const auto commands = SentCommands();
  for (std::uint8_t opcode : {kWrite10, kReserveTrack, kCloseTrackSession}) {
    EXPECT_FALSE(HasOpcode({commands.begin() + static_cast<std::ptrdiff_t>(before), commands.end()}, opcode))
        << int(opcode);
  }
}

INSTANTIATE_TEST_SUITE_P(Media, UsedDvd,
                         testing::Values(std::pair{"dvd-r", "DVD-R"}, std::pair{"dvd+r", "DVD+R"}));

}  // namespace
}  // namespace e2e
