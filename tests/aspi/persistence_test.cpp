// A disc keeps its state across processes: the state file beside disc.img
// is written after every change and read by whoever uses the writer next.

#include "aspi_test_support.h"
#include "platform/aspi/config.h"

namespace aspitest {
namespace {

class PersistenceTest : public AspiTest {
 protected:
  Device d{0, 0};
  std::filesystem::path disc() const { return dir_ / "w0"; }
};

TEST_F(PersistenceTest, AppendableDiscSurvivesANewProcess) {
  ConfigureOne("cd-r");
  const auto start = d.PrepareCd(3);
  ASSERT_EQ(start, 0u);
  ASSERT_EQ(d.WriteBlocks(0, {PatternBlock(0), PatternBlock(1), PatternBlock(2)}), 3u);
  d.FinishSession(true);

  // A new process: the layer is built afresh and reads the state file.
  wnaspi::ResetForTesting();
  ConfigureOne("dvd+rw");  // the medium only applies to an empty directory
  scrivo::DiscInfo info = d.Disc();
  EXPECT_FALSE(info.blank);
  EXPECT_FALSE(info.closed);
  EXPECT_EQ(d.NextSessionFromToc(), 3u + 11400);
  EXPECT_EQ(Be16(d.In(GetConfigurationCdb(0x2D, 64), 64).data, 6), 0x0009) << "still a CD-R";
  EXPECT_EQ(ReadBlocks(d, 2, 1), PatternBlock(2));
}

TEST_F(PersistenceTest, StateFileIsReadableText) {
  ConfigureOne("cd-rw");
  d.PrepareCd(3);
  d.WriteBlocks(0, {PatternBlock(0), PatternBlock(1)});
  // Written where the layout changes: the track and its session from their
  // first block on, the count of blocks at the latest when the job ends.
  std::string state = ReadFile(disc() / "disc.state");
  EXPECT_NE(state.find("medium=cd-rw\n"), std::string::npos) << state;
  EXPECT_NE(state.find("session=1 closed=no next=none format=00\n"), std::string::npos) << state;
  EXPECT_NE(state.find("track=1 session=1 start=0 "), std::string::npos) << state;
  d.FinishSession(true);
  state = ReadFile(disc() / "disc.state");
  EXPECT_NE(state.find("session=1 closed=yes next=allowed format=00\n"), std::string::npos) << state;
  EXPECT_NE(state.find("track=1 session=1 start=0 recorded=2 reserved=0 closed=yes dao=no mode=4\n"),
            std::string::npos)
      << state;
  EXPECT_NE(state.find("finalized=no\n"), std::string::npos) << state;
  // Block n at byte n × 2048.
  EXPECT_EQ(std::filesystem::file_size(disc() / "disc.img"), 2u * 2048);
}

TEST_F(PersistenceTest, TwoProcessesShareOneDisc) {
  // Two layers on one directory behave like two programs using one drive:
  // each sees what the other did once the other's job is over.
  const wnaspi::Config config =
      wnaspi::ParseConfig({{"WNASPI32_VIRTUAL_WRITERS", "cd-r=" + disc().string()}, {"WNASPI32_VIRTUAL_STRICT", "0"}});
  wnaspi::AspiLayer first(config, nullptr), second(config, nullptr);
  Device a(Through(first), 0, 0), b(Through(second), 0, 0);
  ASSERT_EQ(a.PrepareCd(3), 0u);
  ASSERT_EQ(a.WriteBlocks(0, {PatternBlock(0), PatternBlock(1)}), 2u);
  a.FinishSession(true);
  EXPECT_EQ(ReadBlocks(b, 1, 1), PatternBlock(1)) << "the other process sees the session";
  const auto next = b.PrepareCd(3);
  ASSERT_EQ(next, 2u + 11400);
  EXPECT_TRUE(b.WriteBlock(*next, PatternBlock(7))) << "and may append the next one";
  b.FinishSession(true);
  EXPECT_EQ(ReadBlocks(a, *next, 1), PatternBlock(7));
}

TEST_F(PersistenceTest, BlankInProgressContinuesInTheNextProcess) {
  Configure({{"WNASPI32_VIRTUAL_WRITERS", "cd-rw=" + disc().string()},
             {"WNASPI32_VIRTUAL_POLLS", "2"}});
  d.PrepareCd(0);
  d.WriteBlock(0, PatternBlock(0));
  d.FinishSession(true);
  ASSERT_TRUE(d.NoData(BlankCdb(BlankKind::Full)).ok());
  EXPECT_FALSE(d.NoData(TestUnitReadyCdb()).ok());
  wnaspi::ResetForTesting();
  ConfigureOne("cd-rw");
  EXPECT_SENSE(d.NoData(TestUnitReadyCdb()), 0x2, 0x04, 0x07);
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok());
  scrivo::DiscInfo info = d.Disc();
  EXPECT_TRUE(info.blank);
}

TEST_F(PersistenceTest, AnImageWithoutStateIsAFinalisedDisc) {
  std::filesystem::create_directories(disc());
  std::string image(5 * 2048 + 100, '\0');
  image[2048 * 3] = 'Q';
  WriteFile(disc() / "disc.img", image);
  ConfigureOne("cd-r");
  scrivo::DiscInfo info = d.Disc();
  EXPECT_TRUE(info.closed);
  const Result toc = d.In(ReadTocCdb(0, false, 0xAA, 12), 12);
  EXPECT_EQ(Be32(toc.data, 8), 6u) << "lead-out after the 6 blocks (the last one partly filled)";
  EXPECT_EQ(ReadBlocks(d, 3, 1)[0], 'Q');
}

TEST_F(PersistenceTest, ABrokenStateFileMeansNoDiscUntilFixed) {
  std::filesystem::create_directories(disc());
  WriteFile(disc() / "disc.state", "version=1\nmedium=floppy\n");
  const std::filesystem::path trace = dir_ / "trace.log";
  Configure({{"WNASPI32_VIRTUAL_WRITERS", "cd-r=" + disc().string()},
             {"WNASPI32_TRACE", trace.string()}});
  EXPECT_SENSE(d.NoData(TestUnitReadyCdb()), 0x3, 0x31, 0x00);
  EXPECT_NE(ReadFile(trace).find("disc.state is damaged (line 2: unknown medium floppy)"),
            std::string::npos)
      << ReadFile(trace);
  EXPECT_EQ(ReadFile(disc() / "disc.state"), "version=1\nmedium=floppy\n") << "left as it was";
  // Removing the files puts a fresh blank disc in.
  std::filesystem::remove(disc() / "disc.state");
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok());
}

TEST_F(PersistenceTest, InconsistentStateIsRefused) {
  std::filesystem::create_directories(disc());
  WriteFile(disc() / "disc.state",
            "version=1\nmedium=cd-r\nformatted=no\nfinalized=no\nbusy=none\n"
            "session=1 closed=yes next=allowed format=00\n"
            "track=1 session=2 start=0 recorded=5 reserved=0 closed=yes dao=no mode=4\n");
  ConfigureOne("cd-r");
  EXPECT_SENSE(d.NoData(TestUnitReadyCdb()), 0x3, 0x31, 0x00);
}

// A record cut short, changed, or at odds with disc.img or the medium is
// refused, never taken for a blank or shorter disc: the writer answers as
// a drive whose disc cannot be read, writes nothing, and says so once.
TEST_F(PersistenceTest, DamagedRecordsAreRefusedAndLeftAsTheyAre) {
  ConfigureOne("cd-r");  // two closed sessions of two blocks each
  for (std::uint32_t session = 0; session < 2; ++session) {
    const auto start = d.PrepareCd(3);
    ASSERT_TRUE(start.has_value());
    ASSERT_EQ(d.WriteBlocks(*start, {PatternBlock(session), PatternBlock(session + 5)}), 2u);
    d.FinishSession(true);
  }
  const std::string good = ReadFile(disc() / "disc.state"), image = ReadFile(disc() / "disc.img");
  const std::size_t end = good.find("end checksum="), track2 = good.find("track=2 ");
  ASSERT_LT(track2, end) << good;
  // Today's form: version 1, no end line.
  const std::size_t version = good.find("version=2") + 9;
  const std::string old = "version=1" + good.substr(version, end - version);
  std::string changed = good;
  changed.replace(changed.find("recorded=2 "), 11, "recorded=3 ");
  const std::string cases[] = {
      good.substr(0, end),                                                 // cut before its end line
      good.substr(0, track2),                                              // cut before the last track
      changed,                                                             // a number changed
      // Today's form without the last session's lines, or with the header only.
      old.substr(0, old.find("session=2 ")) + old.substr(old.find("track=1 "), old.find("track=2 ") - old.find("track=1 ")),
      old.substr(0, old.find("session=1 ")),
      "version=1\nmedium=cd-r\nformatted=no\nfinalized=no\nbusy=format polls=4294967295 total=1\n",
      good + "\n\ntrack=3\n",                                             // text after the end line
  };
  const std::filesystem::path trace = dir_ / "trace.log";
  const std::string damage = (disc() / "disc.state").string() + " is damaged";
  for (const std::string& state : cases) {
    SCOPED_TRACE(state);
    wnaspi::ResetForTesting();
    WriteFile(disc() / "disc.state", state);
    std::filesystem::remove(trace);
    Configure({{"WNASPI32_VIRTUAL_WRITERS", "cd-r=" + disc().string()}, {"WNASPI32_TRACE", trace.string()}});
    EXPECT_SENSE(d.NoData(TestUnitReadyCdb()), 0x3, 0x31, 0x00);
    EXPECT_SENSE(d.Out(Write10Cdb(30000, 1), PatternBlock(9)), 0x3, 0x31, 0x00);
    EXPECT_SENSE(d.NoData(BlankCdb(BlankKind::Full)), 0x3, 0x31, 0x00);
    EXPECT_EQ(ReadFile(disc() / "disc.state"), state) << "left as it was";
    EXPECT_EQ(ReadFile(disc() / "disc.img"), image) << "not a block changed";
    const std::string said = ReadFile(trace);
    EXPECT_NE(said.find(damage), std::string::npos) << said;
    EXPECT_EQ(said.find(damage), said.rfind(damage)) << "said once";
  }
  // Today's form, whole and consistent with disc.img, still loads.
  wnaspi::ResetForTesting();
  WriteFile(disc() / "disc.state", old);
  ConfigureOne("cd-r");
  EXPECT_EQ(ReadBlocks(d, 2 + 11400 + 1, 1), PatternBlock(6));
}

TEST_F(PersistenceTest, RemovingTheFilesInsertsAFreshDisc) {
  ConfigureOne("cd-r");
  d.PrepareCd(0);
  d.WriteBlock(0, PatternBlock(0));
  d.FinishSession(true);
  std::filesystem::remove_all(disc());
  scrivo::DiscInfo info = d.Disc();
  EXPECT_TRUE(info.blank);
}

TEST_F(PersistenceTest, DefaultWriterLivesInTheUsersDataDirectory) {
  Configure({{"XDG_DATA_HOME", (dir_ / "data").string()}});
  scrivo::DiscInfo info = d.Disc();
  EXPECT_TRUE(info.blank);
  EXPECT_TRUE(info.erasable) << "a blank CD-RW";
  EXPECT_TRUE(std::filesystem::exists(dir_ / "data" / "quillon" / "virtual-writer" / "disc.state"));

  wnaspi::ResetForTesting();
  Configure({{"HOME", (dir_ / "home").string()}});
  EXPECT_TRUE(d.NoData(TestUnitReadyCdb()).ok());
  EXPECT_TRUE(std::filesystem::exists(dir_ / "home" / ".local" / "share" / "quillon" /
                                      "virtual-writer" / "disc.img"));
}

}  // namespace
}  // namespace aspitest
