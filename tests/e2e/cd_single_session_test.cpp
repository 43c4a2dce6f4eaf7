// A single-session burn of a CD-R: the disc is closed afterwards and every
// reader finds the source folder's names and bytes on it.

#include <functional>

#include "tests/e2e/burn_fixture.h"

namespace e2e {
namespace {

class CdSingleSession : public BurnTest {};

TEST_F(CdSingleSession, BurnsTheFolderAndClosesTheDisc) {
  UseWriters({"cd-r"});
  TempFolder source;
  WriteSampleTree(source.Path(), "A");
  SetLabel("SINGLE");
  BurnFolderOnCd(source.Path(), false);

  DiscRecord disc = Disc();
  ASSERT_EQ(disc.sessions.size(), 1u);
  EXPECT_EQ(disc.sessions[0].at("closed"), "yes");
  EXPECT_EQ(disc.sessions[0].at("next"), "none");
  EXPECT_TRUE(CompilationEmpty());
  // The control sees the disc as the writer reports it now.
  SelectWriter(0);
  EXPECT_EQ(Get(scrivo::DISPID_ISDISKCLOSED), platform::Variant::Bool(true));
  EXPECT_EQ(Get(scrivo::DISPID_ISDISKBLANK), platform::Variant::Bool(false));
  ExpectReadersSee(DiscImage(), source.Path());
}

TEST_F(CdSingleSession, WritesCarrySixteenBlocksButAtTheEndOfTheMetadataAndOfTheImage) {
  UseWriters({"cd-r"});
  TempFolder source;
  WriteSampleTree(source.Path(), "A");
  WriteFile(source / "many-blocks.bin", 40 * 2048 + 5);
  BurnFolderOnCd(source.Path(), false);

  // One run from block 0 to the end of the image, without a gap.
  std::uint32_t next = 0;
  std::vector<std::uint32_t> shortWrites;
  for (const Cdb& command : SentCommands()) {
    if (command.at(0) != 0x2A) continue;
    EXPECT_EQ(Write10Address(command), next);
    const std::uint32_t blocks = Write10Blocks(command);
    EXPECT_GE(blocks, 1u);
    EXPECT_LE(blocks, 16u);
    if (blocks < 16) shortWrites.push_back(next);
    next += blocks;
  }
  EXPECT_EQ(next, Disc().TrackNumber(0, "recorded"));
  // Shorter only where the metadata ends, where the image ends and where
  // the zeros that pad the track to 300 blocks end.
  EXPECT_LE(shortWrites.size(), 3u) << testing::PrintToString(shortWrites);
  EXPECT_EQ(next, 300u);
  ExpectReadersSee(DiscImage(), source.Path());
}

TEST_F(CdSingleSession, SourceRemovedAfterItWasAddedIsBurnedAsZeros) {
  UseWriters({"cd-r"});
  TempFolder source, expected;
  WriteSampleTree(source.Path(), "A");
  AddFolder(source.Path());
  const fs::path gone = source / "block-and-one-A.bin";
  const auto goneTime = fs::last_write_time(gone);  // its records keep it
  fs::remove(gone);
  fs::copy(source.Path(), expected.Path(), fs::copy_options::recursive);
  KeepTimesOf(source.Path(), expected.Path());
  WriteSparseFile(expected / "block-and-one-A.bin", 2049);
  fs::last_write_time(expected / "block-and-one-A.bin", goneTime);
  BurnFolderOnCd(source.Path(), false);
  ExpectReadersSee(DiscImage(), expected.Path());
}

// Trees that once came out wrong, each burned onto a blank CD-R of its own:
// an empty file laid out before files below the ISO 9660 depth limit, files
// in a level-8 folder, and names that are no UTF-8. Every reader must find
// the tree in both of the disc's trees.
TEST_F(CdSingleSession, TreesThatOnceCameOutWrongReadBackWhole) {
  struct Tree {
    const char* what;
    std::function<void(const fs::path&)> write;
    std::vector<std::string> leftOut;  // names the burn must refuse, and report
  };
  const fs::path deep = "a2/a3/a4/a5/a6/a7/a8/a9";
  const std::vector<Tree> trees = {
      {"an empty file before files below the depth limit",
       [&](const fs::path& f) {
         fs::create_directories(f / deep);
         WriteFile(f / deep / "deep.bin", 5000);
         WriteFile(f / deep / "zz_after.bin", 3000);
         WriteFile(f / "z_empty", 0);
       },
       {}},
      {"files in a level-8 folder",
       [&](const fs::path& f) {
         fs::create_directories(f / deep / "a10");
         WriteFile(f / deep.parent_path() / "at-eight.bin", 7000);
         WriteFile(f / deep.parent_path() / "empty-at-eight", 0);
         WriteFile(f / deep / "at-nine.txt", 100);
         WriteFile(f / deep / "a10" / "at-ten.txt", 2049);
       },
       {}},
      {"names that are no UTF-8",
       [&](const fs::path& f) {
         fs::create_directories(f / "d\xE9" / "sub\x80");
         for (const char* name : {"a\xFF", "a\xFE", "caf\xC3\xA9", "caf\xE9", "d\xE9/\xFF\xFE.txt"}) {
           WriteFile(f / name, 1500);
         }
         WriteFile(f / "d\xE9" / "sub\x80" / "x", 10);
       },
       {"caf\xE9"}},  // the disc would show it as "café", like its sibling
  };
  UseWriters(std::vector<std::string>(trees.size(), "cd-r"));
  for (std::size_t i = 0; i < trees.size(); ++i) {
    SCOPED_TRACE(trees[i].what);
    TempFolder source, expected;
    trees[i].write(source.Path());
    fs::copy(source.Path(), expected.Path(), fs::copy_options::recursive);
    KeepTimesOf(source.Path(), expected.Path());
    for (const auto& name : trees[i].leftOut) fs::remove(expected / name);
    const std::size_t reportsBefore = Errors().size();
    SelectWriter(static_cast<int>(i));
    BurnFolderOnCd(source.Path(), false);
    EXPECT_EQ(Errors().size() - reportsBefore, trees[i].leftOut.size()) << testing::PrintToString(Errors());
    ExpectReadersSee(DiscImage(static_cast<int>(i)), expected.Path());
  }
}

}  // namespace
}  // namespace e2e
