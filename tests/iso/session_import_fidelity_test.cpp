// Earlier sessions made by other tools: long Joliet names, a Joliet tree
// that holds nothing, Rock Ridge names, files of several sections or with
// extended attributes, entries the new session cannot hold, and sessions
// whose file system was never wholly written. Each carried entry must come
// back under its own name with its whole contents; nothing is dropped
// without being named.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/text/codepage.h"
#include "session_import_fixture.h"

namespace isotest {
namespace {

using scrivo::ImportOutcome;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

Bytes Ucs2Of(std::u16string_view units) {
  Bytes out;
  for (char16_t unit : units) {
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
    out.push_back(static_cast<std::uint8_t>(unit));
  }
  return out;
}

class PeerSession : public SessionImportTest {
 protected:
  // Primary at 16 (ISO root at 29), Joliet at 17 (root at 30) when
  // `jolietRootLength` is given, terminator after them.
  void ServeSession(const DirectoryBlock& isoRoot, std::optional<std::uint32_t> jolietRootLength,
                    const DirectoryBlock& jolietRoot = {}) {
    disc.lastSessionStart = 0;
    disc.PutBlock(16, PrimaryBlock(29, 2048));
    disc.PutBlock(17, jolietRootLength ? JolietBlock(30, *jolietRootLength) : TerminatorBlock());
    disc.PutBlock(18, TerminatorBlock());
    disc.PutBlock(29, isoRoot.bytes());
    disc.PutBlock(30, jolietRoot.bytes());
  }
  scrivo::ImportResult Import(std::uint64_t dataEnd = UINT64_MAX) {
    return builder.ImportSession(source, 0, dataEnd);
  }
  // The records of the new session's root in `descriptor` (16 or 17).
  std::vector<Record> NewRoot(std::uint32_t descriptor) {
    builder.SetImageOrigin(5000);
    EXPECT_TRUE(builder.BuildImage());
    const Record root = RootRecordOf(builder, descriptor);
    return Entries(ReadDirectory(builder, root.extent, root.dataLength));
  }
};

TEST_F(PeerSession, NamesComeBackExactly) {
  const std::u16string japanese = [] {
    std::u16string name;
    for (int i = 0; i < 20; ++i) name += u"\u5199\u771F";  // 40 characters, 120 UTF-8 bytes
    return name;
  }();
  const std::u16string accented(50, u'\u00E9');                   // 100 UTF-8 bytes
  const std::u16string longJoliet = std::u16string(103, u'x') + u";1";  // -joliet-long
  DirectoryBlock joliet;
  joliet.Dots(30, 30);
  for (const auto& name : {japanese, accented, longJoliet}) joliet.Record(600, 1, kFile, Ucs2Of(name));
  ServeSession(DirectoryBlock().Dots(29, 29), 2048, joliet);
  disc.PutBlock(30, joliet.bytes());

  ASSERT_EQ(Import().outcome, ImportOutcome::Imported);
  std::vector<std::u16string> carried;
  for (const Record& r : NewRoot(17)) carried.push_back(JolietIdentifierText(r));
  EXPECT_THAT(carried, ElementsAre(longJoliet, accented, japanese));
  EXPECT_NE(Child(builder.Root(), platform::Utf16ToUtf8(japanese)), nullptr);
}

TEST_F(PeerSession, WithoutAUsableJolietTreeTheIsoTreeAndItsRockRidgeNamesAreRead) {
  struct Case {
    const char* what;
    std::optional<std::uint32_t> jolietRootLength;
    bool jolietRootIsDirectory;
  };
  for (const Case& c : {Case{"Joliet root of length 0", 0u, true},
                        Case{"Joliet root that is no directory", 2048u, false},
                        Case{"no Joliet tree", std::nullopt, true}}) {
    SCOPED_TRACE(c.what);
    builder.ClearTree();
    DirectoryBlock iso;
    iso.RecordWith(29, 2048, kDirectory, {0}, SuspIndicator())
        .Record(29, 2048, kDirectory, {1})
        .Record(600, 1, kFile, Latin("PLAIN.TXT;1"))
        .RecordWith(601, 1, kFile, Latin("LONG_NAM.TXT;1"), RockRidgeName("long name.txt"))
        .RecordWith(602, 1, kFile, Latin("SPLIT.;1"),
                    RockRidgeName("first half, ") + Continuation(40, 100, 30));
    DirectoryBlock notADirectory;
    notADirectory.Record(700, 1, kFile, Ucs2("stray"));
    ServeSession(iso, c.jolietRootLength, c.jolietRootIsDirectory ? DirectoryBlock().Dots(30, 30) : notADirectory);
    Bytes area(2048, 0);
    const Bytes rest = RockRidgeName("second half");
    std::copy(rest.begin(), rest.end(), area.begin() + 100);
    disc.PutBlock(40, area);

    ASSERT_EQ(Import().outcome, ImportOutcome::Imported);
    EXPECT_THAT(Names(builder.Root()),
                ElementsAre("PLAIN.TXT;1", "first half, second half", "long name.txt"));
  }
}

TEST_F(PeerSession, FilesOfSeveralSectionsAndAfterAttributesAreCarriedWhole) {
  // data.bin: 8000 bytes in sections at 600, 602 and 603; xar.txt after an
  // attribute block at 700.
  Bytes data(8000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 2048);
  const auto part = [&](std::size_t from, std::size_t to) {
    return std::span<const std::uint8_t>(data).subspan(from, to - from);
  };
  disc.PutBlocks(600, part(0, 4096));
  disc.PutBlocks(602, part(4096, 6144));
  disc.PutBlocks(603, part(6144, 8000));
  disc.PutBlock(700, Bytes(2048, 'A'));
  disc.PutBlocks(701, Latin("xar\n"));
  DirectoryBlock joliet;
  joliet.Dots(30, 30)
      .Record(600, 4096, kMultiExtent, Ucs2("data.bin"))
      .Record(602, 2048, kMultiExtent, Ucs2("data.bin"))
      .Record(603, 1856, kFile, Ucs2("data.bin"))
      .RecordWith(700, 4, kFile, Ucs2("xar.txt"), {}, 1);
  ServeSession(DirectoryBlock().Dots(29, 29), 2048, joliet);
  ASSERT_EQ(Import().outcome, ImportOutcome::Imported);
  for (std::uint32_t descriptor : {16u, 17u}) {
    SCOPED_TRACE(descriptor);
    builder.ResetImage();
    std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint8_t>> records;
    for (const Record& r : NewRoot(descriptor)) records.emplace_back(r.extent, r.dataLength, r.flags);
    EXPECT_THAT(records, ElementsAre(std::tuple{600u, 4096u, kMultiExtent},
                                     std::tuple{602u, 2048u, kMultiExtent},
                                     std::tuple{603u, 1856u, kFile}, std::tuple{701u, 4u, kFile}));
  }

  // The disc as a drive holds it: the old blocks, and the new session at 5000.
  fs::create_directory(dir / "expected");
  std::ofstream(dir / "expected" / "data.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  std::ofstream(dir / "expected" / "xar.txt") << "xar\n";
  std::ofstream image(dir / "disc.img", std::ios::binary);
  Bytes block(2048);
  for (std::int64_t lba = 0; lba < 720; ++lba) {
    disc.Read(lba, block);
    image.write(reinterpret_cast<const char*>(block.data()), 2048);
  }
  image.seekp(5000 * 2048);
  for (const auto& metadata : builder.SectorList()) image.write(reinterpret_cast<const char*>(metadata->data()), 2048);
  image.close();
  const CheckResult result = RunScript(
      "check_session.py", "'" + (dir / "disc.img").string() + "' '" + (dir / "expected").string() + "' 5000");
  // isoinfo, iso-info and pycdlib list a file of several sections as one
  // entry per section (on peers' discs too); the readers that join them
  // must find the whole file, and every reader the file after attributes.
  for (const char* reader : {"xorriso at the session: ok", "session view: 7zz: ok"}) {
    EXPECT_NE(result.output.find(reader), std::string::npos) << result.output;
  }
  EXPECT_EQ(result.output.find("xar.txt"), std::string::npos) << result.output;
}

TEST_F(PeerSession, EntriesTheNewSessionCannotHoldAreNamed) {
  struct Case {
    const char* what;
    Bytes identifier;
    std::uint8_t flags;
    Bytes systemUse;
    std::string path;
    std::string reason;
  };
  const Case cases[] = {
      {"a separator in the name", Ucs2("a/b"), kFile, {}, "/dir/a/b", "a name the disc cannot hold"},
      {"a file whose last section is missing", Ucs2("cut"), kMultiExtent, {}, "/dir/cut",
       "cannot be read: a file of several sections whose last section is missing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    builder.ClearTree();
    DirectoryBlock joliet;
    joliet.Dots(30, 30).Record(31, 2048, kDirectory, Ucs2("dir")).Record(600, 1, kFile, Ucs2("kept"));
    ServeSession(DirectoryBlock().Dots(29, 29), 2048, joliet);
    disc.PutBlock(31, DirectoryBlock().Dots(31, 30).Record(601, 1, c.flags, c.identifier).bytes());

    const scrivo::ImportResult result = Import();
    EXPECT_EQ(result.outcome, ImportOutcome::EntriesLost);
    ASSERT_EQ(result.lost.size(), 1u);
    EXPECT_EQ(result.lost[0].path, c.path);
    EXPECT_EQ(result.lost[0].Reason(), c.reason);
  }
  // A Rock Ridge FIFO, and a Rock Ridge name longer than a Joliet record holds.
  builder.ClearTree();
  DirectoryBlock iso;
  iso.RecordWith(29, 2048, kDirectory, {0}, SuspIndicator())
      .Record(29, 2048, kDirectory, {1})
      .RecordWith(600, 0, kFile, Latin("FIFO1.;1"), RockRidgeName("fifo") + RockRidgeMode(010644))
      .RecordWith(601, 1, kFile, Latin("LONG.;1"), RockRidgeName(std::string(111, 'n')));
  ServeSession(iso, std::nullopt);
  const scrivo::ImportResult result = Import();
  EXPECT_EQ(result.outcome, ImportOutcome::EntriesLost);
  ASSERT_EQ(result.lost.size(), 2u);
  EXPECT_EQ(result.lost[0].Describe(), "/fifo: not a file whose contents can be burned (a FIFO)");
  EXPECT_EQ(result.lost[1].Reason(), "name too long for the disc: 222 bytes, at most 220");
}

TEST_F(PeerSession, SessionsWhoseFileSystemWasNotWhollyWrittenAreDamaged) {
  AddNewFile(builder, builder.Root(), "mine.txt", 10);
  DirectoryBlock joliet;
  joliet.Dots(30, 30).Record(600, 1, kFile, Ucs2("old")).Record(40, 2048, kDirectory, Ucs2("late"));
  ServeSession(DirectoryBlock().Dots(29, 29), 2048, joliet);
  disc.PutBlock(40, DirectoryBlock().Dots(40, 30).bytes());

  // Recorded up to block 16: no descriptors. Up to 35: a folder past it.
  EXPECT_EQ(Import(16).outcome, ImportOutcome::Damaged);
  EXPECT_THAT(disc.Reads(), IsEmpty());
  EXPECT_EQ(Import(35).outcome, ImportOutcome::Damaged);
  EXPECT_THAT(Names(builder.Root()), ElementsAre("mine.txt;1"));  // nothing of it stays
  disc.PutBlock(16, Bytes(2048, 0));
  EXPECT_EQ(Import().outcome, ImportOutcome::Damaged);
  // A read that fails is no damage the burn may walk past.
  disc.unreadable = {16};
  EXPECT_EQ(Import().outcome, ImportOutcome::Failed);
}

}  // namespace
}  // namespace isotest
