// Previous sessions no sound disc holds: cycles, records that lie about
// their lengths, identifiers past their record, absurd lengths, depths and
// counts. The import must end, stay within its bounds, and either carry
// over what is sound or fail as a whole.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "session_import_fixture.h"

namespace isotest {
namespace {

using scrivo::CImageNode;
using scrivo::ImportLimits;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A disc whose Joliet root directory is at block 30 (2048 bytes).
class HostileSession : public SessionImportTest {
 protected:
  void ServeRoot(const DirectoryBlock& root, std::uint32_t rootLength = 2048) {
    disc.lastSessionStart = 0;
    disc.PutBlock(16, PrimaryBlock(29, 2048));
    disc.PutBlock(17, JolietBlock(30, rootLength));
    disc.PutBlock(18, TerminatorBlock());
    disc.PutBlock(30, root.bytes());
  }
  static DirectoryBlock EmptyDirectory(std::uint32_t self, std::uint32_t parent) {
    DirectoryBlock block;
    block.Dots(self, parent);
    return block;
  }
  std::size_t CountNodes(const CImageNode& node) {
    std::size_t count = node.children.size();
    for (const auto& [name, child] : node.children) count += CountNodes(*child);
    return count;
  }
};

TEST_F(HostileSession, DirectoriesLeadingBackUpTheTreeAreLeftOut) {
  DirectoryBlock root = EmptyDirectory(30, 30);
  root.Record(30, 2048, kDirectory, Ucs2("self"))
      .Record(40, 2048, kDirectory, Ucs2("a"))
      .Record(700, 1, kFile, Ucs2("z"));
  ServeRoot(root);
  // a -> b -> (a, root): a cycle of two and one back to the root.
  disc.PutBlock(40, EmptyDirectory(40, 30).Record(41, 2048, kDirectory, Ucs2("b")).bytes());
  disc.PutBlock(41, EmptyDirectory(41, 40)
                        .Record(40, 2048, kDirectory, Ucs2("backToA"))
                        .Record(30, 4096, kDirectory, Ucs2("backToRoot"))
                        .Record(701, 1, kFile, Ucs2("leaf"))
                        .bytes());

  ASSERT_TRUE(ImportPreviousSession());
  EXPECT_THAT(Names(builder.Root()), ElementsAre("a", "z"));
  CImageNode& b = *Child(*Child(builder.Root(), "a"), "b");
  EXPECT_THAT(Names(b), ElementsAre("leaf"));
}

TEST_F(HostileSession, DirectorySharedByTwoParentsIsImportedUnderBoth) {
  DirectoryBlock root = EmptyDirectory(30, 30);
  root.Record(40, 2048, kDirectory, Ucs2("one")).Record(40, 2048, kDirectory, Ucs2("two"));
  ServeRoot(root);
  disc.PutBlock(40, EmptyDirectory(40, 30).Record(700, 9, kFile, Ucs2("shared")).bytes());

  ASSERT_TRUE(ImportPreviousSession());
  EXPECT_THAT(Names(*Child(builder.Root(), "one")), ElementsAre("shared"));
  EXPECT_THAT(Names(*Child(builder.Root(), "two")), ElementsAre("shared"));
}

TEST_F(HostileSession, MalformedRecordLengthsEndTheirBlockOnly) {
  struct Case {
    const char* what;
    std::size_t badLength;
  };
  for (Case c : {Case{"zero-free short record", 20}, Case{"odd length", 47},
                 Case{"33 bytes: no identifier", 33}, Case{"past the block", 200}}) {
    SCOPED_TRACE(c.what);
    builder.ClearTree();
    // Records of one name up to offset 1900 or so, so that the bad record
    // of 200 bytes crosses the block's end.
    DirectoryBlock first = EmptyDirectory(30, 30);
    while (first.offset() < 1900) first.Record(700, 1, kFile, Ucs2("before"));
    first.Record(701, 1, kFile, Ucs2("bad"), c.badLength).Record(702, 1, kFile, Ucs2("after"));
    DirectoryBlock second;
    second.Record(703, 1, kFile, Ucs2("nextblock"));
    ServeRoot(first, 4096);
    disc.PutBlock(31, second.bytes());

    ASSERT_TRUE(ImportPreviousSession());
    EXPECT_THAT(Names(builder.Root()), ElementsAre("before", "nextblock"));
  }
}

TEST_F(HostileSession, RecordsWithImpossibleIdentifiersAreSkippedOrNamed) {
  // Records that are no records are skipped; names no disc can list are
  // named, so that the burn can refuse rather than lose them.
  DirectoryBlock root = EmptyDirectory(30, 30);
  root.Record(700, 1, kFile, Ucs2("longer"), 40, 200)      // identifier claims 200 of 7 bytes
      .Record(701, 1, kFile, Ucs2("empty"), 0, 0)          // no identifier at all
      .Record(702, 1, kFile, Ucs2(std::string(110, 'n')))  // the longest a record holds
      .Record(703, 1, kFile, Ucs2("a/b"))
      .Record(704, 1, kFile, Bytes{0, 'x', 0, 0, 0, 'y'})  // a NUL unit inside
      .Record(705, 1, kFile, Ucs2(".."))
      .Record(706, 1, kFile, Ucs2("good"));
  ServeRoot(root);

  const scrivo::ImportResult result = builder.ImportSession(source, 0);
  EXPECT_EQ(result.outcome, scrivo::ImportOutcome::EntriesLost);
  std::vector<std::string> lost;
  for (const auto& refusal : result.lost) lost.push_back(refusal.path);
  EXPECT_THAT(lost, ElementsAre("/a/b", std::string("/x\0y", 4), "/.."));
  EXPECT_THAT(Names(builder.Root()), ElementsAre("good", std::string(110, 'n')));
}

TEST_F(HostileSession, LongestIsoIdentifierIsBoundedByItsRecord) {
  // An ISO 9660 record of 254 bytes holds an identifier of 221 bytes, which
  // a name holds; one that claims more than its record is no record.
  DirectoryBlock root = EmptyDirectory(30, 30);
  root.Record(700, 1, kFile, Latin(std::string(221, 'L')), 254)
      .Record(701, 1, kFile, Latin(std::string(99, 'S')))
      .Record(702, 1, kFile, Latin(std::string(100, 'T')), 254, 255);  // claims 255
  disc.lastSessionStart = 0;
  disc.PutBlock(16, PrimaryBlock(30, 2048));
  disc.PutBlock(17, TerminatorBlock());
  disc.PutBlock(30, root.bytes());

  EXPECT_EQ(builder.ImportSession(source, 0).lostCount, 0u);
  EXPECT_THAT(Names(builder.Root()), ElementsAre(std::string(221, 'L'), std::string(99, 'S')));
}

TEST_F(HostileSession, HugeFileLengthsAreRecordedNotRead) {
  DirectoryBlock root = EmptyDirectory(30, 30);
  root.Record(0xFFFFFFFF, 0xFFFFFFFF, kFile, Ucs2("huge"));
  ServeRoot(root);

  ASSERT_TRUE(ImportPreviousSession());
  CImageNode& huge = *Child(builder.Root(), "huge");
  EXPECT_EQ(huge.size, 0xFFFFFFFFu);
  EXPECT_EQ(huge.extent, 0xFFFFFFFFu);
  EXPECT_THAT(disc.Reads(), ElementsAre(16, 29, 17, 30));  // 29: the ISO 9660 root, for Rock Ridge
}

TEST_F(HostileSession, AbsurdDirectoryLengthRefusesTheWholeImportUnread) {
  DirectoryBlock root = EmptyDirectory(30, 30);
  root.Record(40, ImportLimits::kDirectoryBytes + 1, kDirectory, Ucs2("vast"))
      .Record(41, 2048, kDirectory, Ucs2("later"));
  ServeRoot(root);

  EXPECT_FALSE(ImportPreviousSession());
  EXPECT_THAT(disc.Reads(), ElementsAre(16, 29, 17, 30));  // 29: the ISO 9660 root, for Rock Ridge

  disc.ClearReads();
  ServeRoot(EmptyDirectory(30, 30), 0xFFFFFFFF);
  EXPECT_FALSE(ImportPreviousSession());
  EXPECT_THAT(disc.Reads(), ElementsAre(16, 29, 17));
}

TEST_F(HostileSession, DirectoryBlocksReadInTotalAreBounded) {
  // Directories of the largest accepted length, all zeros: each costs 8192
  // reads and holds nothing. The ninth would pass the total.
  constexpr std::uint32_t kDirectories = ImportLimits::kDirectoryBlocks / 8192 + 1;
  DirectoryBlock root = EmptyDirectory(30, 30);
  for (std::uint32_t i = 0; i < kDirectories; ++i) {
    root.Record(1000 + i * 8192, ImportLimits::kDirectoryBytes, kDirectory,
                Ucs2("d" + std::to_string(i)));
  }
  ServeRoot(root);

  EXPECT_FALSE(ImportPreviousSession());
  EXPECT_LE(disc.Reads().size(), ImportLimits::kDirectoryBlocks + 3u);
}

TEST_F(HostileSession, EntriesInTotalAreBounded) {
  // Blocks full of 34-byte records of one name: each merges into the last,
  // so only the count grows.
  DirectoryBlock full;
  while (full.offset() + 34 <= 2048) full.Record(700, 1, kFile, Latin("F"), 34);
  const std::uint32_t perBlock = static_cast<std::uint32_t>(full.offset() / 34);
  const std::uint32_t blocks = ImportLimits::kEntries / perBlock + 1;
  for (std::uint32_t b = 0; b < blocks; ++b) disc.PutBlock(40 + b, full.bytes());
  // The root starts as a directory does; the rest are records of one name.
  DirectoryBlock first = EmptyDirectory(40, 40);
  while (first.offset() + 34 <= 2048) first.Record(700, 1, kFile, Latin("F"), 34);
  disc.PutBlock(40, first.bytes());
  disc.lastSessionStart = 0;
  disc.PutBlock(16, PrimaryBlock(40, blocks * 2048));
  disc.PutBlock(17, TerminatorBlock());

  EXPECT_EQ(builder.ImportSession(source, 0).outcome, scrivo::ImportOutcome::Failed);

  // A directory just under the bound is imported.
  builder.ClearTree();
  disc.ClearReads();
  EXPECT_TRUE(
      builder.ImportIsoDirectory(source, 40, ImportLimits::kEntries / perBlock * 2048, builder.Root()));
  EXPECT_THAT(Names(builder.Root()), ElementsAre("F"));
}

TEST_F(HostileSession, NestingDeeperThanTheLevelBoundRefusesTheImport) {
  // A chain of directories, each in its own block, one below the other.
  auto serveChain = [&](std::uint32_t depth) {
    disc.Clear();
    DirectoryBlock root = EmptyDirectory(30, 30);
    root.Record(100, 2048, kDirectory, Ucs2("d"));
    ServeRoot(root);
    for (std::uint32_t i = 0; i < depth; ++i) {
      DirectoryBlock level = EmptyDirectory(100 + i, i ? 99 + i : 30);
      if (i + 1 < depth) level.Record(101 + i, 2048, kDirectory, Ucs2("d"));
      disc.PutBlock(100 + i, level.bytes());
    }
  };
  // Levels 2 to 255 below the root: the deepest the import walks.
  const std::uint32_t deepestSound = ImportLimits::kDirectoryLevel - 1;
  serveChain(deepestSound);
  ASSERT_TRUE(ImportPreviousSession());
  EXPECT_EQ(CountNodes(builder.Root()), deepestSound);

  builder.ClearTree();
  serveChain(deepestSound + 1);
  EXPECT_FALSE(ImportPreviousSession());
}

TEST_F(HostileSession, AddressesBeyondTheDrivesRangeAreNeverRead) {
  disc.capacity = INT64_MAX;  // the drive would read any address it is sent
  DirectoryBlock root = EmptyDirectory(30, 30);
  root.Record(0x7FFFFFFF, 4096, kDirectory, Ucs2("edge"))
      .Record(0xFFFFFFF0, 2048, kDirectory, Ucs2("wrapped"))
      .Record(700, 1, kFile, Ucs2("after"));
  ServeRoot(root);

  // Folders that cannot be read fail the import, and nothing past the
  // drive's range is asked for on the way.
  EXPECT_FALSE(ImportPreviousSession());
  for (std::int64_t lba : disc.Reads()) EXPECT_TRUE(lba >= 0 && lba <= 0x7FFFFFFF) << lba;

  // A session start so high that its descriptors lie beyond 2^31 - 1.
  disc.lastSessionStart = 0x7FFFFFF5;
  disc.ClearReads();
  EXPECT_FALSE(ImportPreviousSession());
  EXPECT_THAT(disc.Reads(), IsEmpty());
}

}  // namespace
}  // namespace isotest
