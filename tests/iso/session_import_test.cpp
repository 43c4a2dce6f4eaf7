// Importing the last session of a disc: the descriptor scan, both trees,
// multi-block directories, the merge with the host's entries, and a new
// session built on the imported tree.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "session_import_fixture.h"

namespace isotest {
namespace {

using scrivo::CImageBuilder;
using scrivo::CImageNode;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsSupersetOf;
using ::testing::Not;

TEST_F(SessionImportTest, BlankDiscImportsNothingAndReadsNoBlock) {
  disc.lastSessionStart.reset();
  AddNewFile(builder, builder.Root(), "mine.txt", 10);

  EXPECT_TRUE(ImportPreviousSession());
  EXPECT_THAT(Names(builder.Root()), ElementsAre("mine.txt"));
  EXPECT_TRUE(disc.Reads().empty());
}

TEST_F(SessionImportTest, JolietTreeComesBackWithOldExtentsAndTheScanStopsAtJoliet) {
  constexpr std::uint32_t kOrigin = 300;
  auto& previous = BurnSession(kOrigin, [&](CImageBuilder& s) {
    AddNewFile(s, s.Root(), "a.txt", 3000);
    AddNewFile(s, s.Root(), "README", 10);
    CImageNode* docs = s.AddDirectoryEntry(s.Root(), "docs");
    AddNewFile(s, *docs, "b.bin", 5000);
    AddNewFile(s, s.Root(), "\xC3\xA9t\xC3\xA9.txt", 1);  // "été.txt": more narrow bytes than units
  });
  const auto onDisc = JolietRootOf(previous);

  ASSERT_TRUE(ImportPreviousSession());

  EXPECT_THAT(Names(builder.Root()),
              ElementsAre("README", "a.txt", "docs", "\xC3\xA9t\xC3\xA9.txt"));
  CImageNode& a = *Child(builder.Root(), "a.txt");
  EXPECT_TRUE(a.isFile);
  EXPECT_FALSE(a.newFlag);
  EXPECT_TRUE(a.located);
  EXPECT_EQ(a.sourcePath, "Unknown");
  EXPECT_EQ(a.size, 3000u);
  EXPECT_EQ(a.extent, onDisc.at("a.txt").extent);
  EXPECT_GE(a.extent, kOrigin + previous.SectorCount());  // absolute, in the old data area

  CImageNode& docs = *Child(builder.Root(), "docs");
  EXPECT_TRUE(docs.IsDirectory());
  EXPECT_EQ(docs.sourcePath, "Unknown");
  EXPECT_EQ(docs.level, 2);
  ASSERT_THAT(Names(docs), ElementsAre("b.bin"));
  EXPECT_EQ(Child(docs, "b.bin")->size, 5000u);
  EXPECT_EQ(Child(docs, "b.bin")->level, 3);

  // Primary at +16, then the ISO 9660 root, whose Rock Ridge is read: no
  // other descriptor.
  EXPECT_EQ(disc.Reads().at(0), kOrigin + 16);
  EXPECT_EQ(disc.Reads().at(1), RootRecordOf(previous, 16).extent);
  EXPECT_THAT(disc.Reads(), Not(Contains(kOrigin + 17)));
}

TEST_F(SessionImportTest, PrimaryAndTerminatorOnlyGiveTheRockRidgeNames) {
  auto& previous = BurnSession(0, [&](CImageBuilder& s) {
    AddNewFile(s, s.Root(), "a.txt", 100);
    s.AddDirectoryEntry(s.Root(), "docs");
  });
  disc.PutBlock(17, TerminatorBlock());  // the Joliet descriptor is gone
  Record isoRoot = RootRecordOf(previous, 16);

  ASSERT_TRUE(ImportPreviousSession());

  EXPECT_THAT(Names(builder.Root()), ElementsAre("a.txt", "docs"));
  for (const auto& [name, node] : builder.Root().children) {
    EXPECT_FALSE(node->newFlag) << name;  // the ISO 9660 walk adds directories as imported
  }
  EXPECT_EQ(disc.Reads().at(1), isoRoot.extent);
  EXPECT_THAT(disc.Reads(), Not(Contains(17)));
}

TEST_F(SessionImportTest, FoldersMovedForTheirDepthComeBackWhereTheyBelong) {
  BurnSession(0, [&](CImageBuilder& s) {
    CImageNode* folder = &s.Root();
    for (int level = 2; level <= 10; ++level) folder = s.AddDirectoryEntry(*folder, "d" + std::to_string(level));
    AddNewFile(s, *folder, "deep.bin", 100);
  });
  ASSERT_TRUE(ImportPreviousSession());
  EXPECT_THAT(Names(builder.Root()), ElementsAre("d2")) << "no relocation folder of the old session";
  CImageNode* folder = &builder.Root();
  for (int level = 2; level <= 10; ++level) {
    folder = Child(*folder, "d" + std::to_string(level));
    ASSERT_NE(folder, nullptr) << level;
  }
  EXPECT_THAT(Names(*folder), ElementsAre("deep.bin"));
  ASSERT_TRUE(builder.BuildImage());
}

TEST_F(SessionImportTest, ScanLooksAtTenDescriptorsAfterThePrimaryOnly) {
  DirectoryBlock isoRoot;
  isoRoot.Dots(40, 40).Record(900, 7, isotest::kFile, Latin("ISO.TXT;1"));
  DirectoryBlock jolietRoot;
  jolietRoot.Dots(41, 41).Record(900, 7, isotest::kFile, Ucs2("joliet.txt"));
  disc.lastSessionStart = 0;
  disc.PutBlock(16, PrimaryBlock(40, 2048));
  // Blocks 17 to 26 carry other escape sequences (Joliet levels 1 and 2);
  // a level 3 descriptor at 27 comes too late.
  for (int b = 17; b <= 26; ++b)
    disc.PutBlock(b, VolumeDescriptorBlock(2, 41, 2048, b % 2 ? "%/@" : "%/C"));
  disc.PutBlock(27, JolietBlock(41, 2048));
  disc.PutBlock(40, isoRoot.bytes());
  disc.PutBlock(41, jolietRoot.bytes());

  ASSERT_TRUE(ImportPreviousSession());
  EXPECT_THAT(Names(builder.Root()), ElementsAre("ISO.TXT"));
  // The ISO 9660 root is looked at for Rock Ridge first.
  EXPECT_THAT(disc.Reads(), ElementsAre(16, 40, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 40));

  // The same Joliet descriptor at 26 is found.
  disc.PutBlock(26, JolietBlock(41, 2048));
  builder.ClearTree();
  ASSERT_TRUE(ImportPreviousSession());
  EXPECT_THAT(Names(builder.Root()), ElementsAre("joliet.txt"));
}

TEST_F(SessionImportTest, EveryBlockOfAThreeBlockDirectoryIsWalked) {
  auto& previous = BurnSession(0, [&](CImageBuilder& s) {
    for (int i = 0; i < 100; ++i) AddNewFile(s, s.Root(), "f" + std::to_string(1000 + i) + ".a", 1);
  });
  // The tree read is the ISO 9660 one, with Rock Ridge.
  Record isoRoot = RootRecordOf(previous, 16);
  const std::uint32_t blocks = isoRoot.dataLength / 2048;
  ASSERT_GE(blocks, 3u);

  ASSERT_TRUE(ImportPreviousSession());
  EXPECT_EQ(builder.Root().children.size(), 100u);
  EXPECT_NE(Child(builder.Root(), "f1099.a"), nullptr);
  for (std::uint32_t b = 0; b < blocks; ++b) EXPECT_THAT(disc.Reads(), Contains(isoRoot.extent + b));
  EXPECT_THAT(disc.Reads(), Not(Contains(isoRoot.extent + blocks))) << "the root's own continuation area";
}

TEST_F(SessionImportTest, HostsSameNamedFileIsWrittenAndSameNamedFoldersMerge) {
  auto& previous = BurnSession(0, [&](CImageBuilder& s) {
    AddNewFile(s, s.Root(), "report.txt", 5000);
    AddNewFile(s, s.Root(), "kept.txt", 10);
    CImageNode* docs = s.AddDirectoryEntry(s.Root(), "docs");
    AddNewFile(s, *docs, "old.txt", 10);
    AddNewFile(s, *docs, "both.txt", 20);
    s.AddDirectoryEntry(s.Root(), "was a folder");
  });
  const OnDisc oldKept = JolietRootOf(previous).at("kept.txt");
  // The host's report.txt is a newer version (stored as report.txt;1 too);
  // its docs holds a file of its own and a newer both.txt; a file takes the
  // name of a folder of the disc.
  AddNewFile(builder, builder.Root(), "report.txt", 100);
  CImageNode* docs = builder.AddDirectoryEntry(builder.Root(), "docs");
  AddNewFile(builder, *docs, "mine.txt", 10);
  AddNewFile(builder, *docs, "both.txt", 30);
  AddNewFile(builder, builder.Root(), "was a folder", 4096);

  ASSERT_TRUE(ImportPreviousSession());
  EXPECT_THAT(Names(builder.Root()), ElementsAre("docs", "kept.txt", "report.txt", "was a folder"));
  EXPECT_TRUE(Child(builder.Root(), "report.txt")->IsNewFile());
  EXPECT_EQ(Child(builder.Root(), "report.txt")->size, 100u);
  EXPECT_TRUE(Child(builder.Root(), "was a folder")->IsNewFile());
  EXPECT_THAT(Names(*docs), ElementsAre("both.txt", "mine.txt", "old.txt"));
  EXPECT_EQ(Child(*docs, "both.txt")->size, 30u);
  EXPECT_FALSE(Child(*docs, "old.txt")->newFlag);

  // The new session streams the host's files and lists the others where they lie.
  builder.SetImageOrigin(static_cast<std::uint32_t>(previous.VolumeSpaceSize() + 11));
  ASSERT_TRUE(builder.BuildImage());
  auto second = JolietRootOf(builder);
  EXPECT_EQ(second.at("kept.txt").extent, oldKept.extent);
  EXPECT_EQ(second.at("report.txt").size, 100u);
  EXPECT_GT(second.at("report.txt").extent, previous.VolumeSpaceSize());
  EXPECT_EQ(builder.FileMap().size(), 4u);
}

TEST_F(SessionImportTest, ThirdSessionListsTheFilesOfBothEarlierOnes) {
  BurnSession(0, [&](CImageBuilder& s) { AddNewFile(s, s.Root(), "first.txt", 3000); });
  CImageBuilder& second = BurnSession(100, [&](CImageBuilder& s) {
    s.Bind(&host);
    ASSERT_TRUE(ImportPreviousSession(s));
    AddNewFile(s, s.Root(), "second.txt", 2100);
  });
  auto secondOnDisc = JolietRootOf(second);

  ASSERT_TRUE(ImportPreviousSession());
  EXPECT_THAT(Names(builder.Root()), ElementsAre("first.txt", "second.txt"));
  EXPECT_EQ(Child(builder.Root(), "first.txt")->extent, secondOnDisc.at("first.txt").extent);
  EXPECT_LT(Child(builder.Root(), "first.txt")->extent, 100u);  // still in the first session
  EXPECT_EQ(Child(builder.Root(), "second.txt")->extent, 100 + second.SectorCount());
  EXPECT_EQ(Child(builder.Root(), "second.txt")->size, 2100u);
}

TEST_F(SessionImportTest, HiddenEntriesAreCarriedAndAssociatedFilesAreNot) {
  DirectoryBlock root;
  root.Dots(30, 30)
      .Record(500, 1, kHidden, Ucs2("hidden"))
      .Record(501, 1, kAssociated, Ucs2("associated"))
      .Record(31, 2048, kDirectory | kHidden, Ucs2("hiddendir"))
      .Record(503, 1, kFile, Ucs2("plain"))
      .Record(32, 2048, kDirectory, Ucs2("dir"));
  disc.lastSessionStart = 0;
  disc.PutBlock(16, PrimaryBlock(29, 2048));
  disc.PutBlock(17, JolietBlock(30, 2048));
  disc.PutBlock(30, root.bytes());
  disc.PutBlock(31, DirectoryBlock().Dots(31, 30).bytes());
  disc.PutBlock(32, DirectoryBlock().Dots(32, 30).bytes());

  ASSERT_TRUE(ImportPreviousSession());
  EXPECT_THAT(Names(builder.Root()), ElementsAre("dir", "hidden", "hiddendir", "plain"));
}

TEST_F(SessionImportTest, AnyUnreadableBlockFailsTheImport) {
  auto build = [&] {
    DirectoryBlock root;
    root.Dots(30, 30)
        .Record(31, 4096, kDirectory, Ucs2("broken"))
        .Record(33, 2048, kDirectory, Ucs2("fine"));
    disc.lastSessionStart = 0;
    disc.PutBlock(16, PrimaryBlock(29, 2048));
    disc.PutBlock(17, JolietBlock(30, 2048));
    disc.PutBlock(30, root.bytes());
    disc.PutBlock(31, DirectoryBlock().Dots(31, 30).Record(600, 1, kFile, Ucs2("kept")).bytes());
    disc.PutBlock(33, DirectoryBlock().Dots(33, 30).Record(601, 1, kFile, Ucs2("x")).bytes());
  };
  build();
  ASSERT_TRUE(ImportPreviousSession());
  // A folder of the session that cannot be read (here the second block of
  // "broken") would vanish from the new session with all it holds.
  for (std::int64_t bad : {16, 17, 30, 31, 32, 33}) {
    SCOPED_TRACE(bad);
    disc.unreadable = {bad};
    EXPECT_FALSE(ImportPreviousSession());
  }
}

TEST_F(SessionImportTest, InvalidPrimaryDescriptorFailsTheImport) {
  disc.lastSessionStart = 0;
  disc.PutBlock(17, TerminatorBlock());
  disc.PutBlock(30, DirectoryBlock().Dots(30, 30).bytes());
  auto primaryWith = [](std::size_t offset, std::uint8_t value) {
    Bytes block = PrimaryBlock(30, 2048);
    block[offset] = value;
    return block;
  };
  disc.PutBlock(16, PrimaryBlock(30, 2048));
  EXPECT_TRUE(ImportPreviousSession());
  for (auto [offset, value] :
       {std::pair<std::size_t, std::uint8_t>{0, 2}, {1, 'X'}, {4, '1'}, {7, 1}, {881, 2}}) {
    SCOPED_TRACE(offset);
    disc.PutBlock(16, primaryWith(offset, value));
    EXPECT_FALSE(ImportPreviousSession());
  }
}

}  // namespace
}  // namespace isotest
