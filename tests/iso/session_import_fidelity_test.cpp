// Earlier sessions made by other tools: long Joliet names, a Joliet tree
// that holds nothing, Rock Ridge names, files of several sections or after
// extended attributes, and entries the new session cannot hold, which are
// named rather than dropped.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/text/codepage.h"
#include "session_import_fixture.h"

namespace isotest {
namespace {

using scrivo::ImportOutcome;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ResultOf;

class PeerSession : public SessionImportTest {
 protected:
  // Primary at 16 (ISO root at 29), Joliet at 17 (root at 30) when
  // `jolietRootLength` is given.
  void ServeSession(const DirectoryBlock& isoRoot, std::optional<std::uint32_t> jolietRootLength,
                    const DirectoryBlock& jolietRoot = {}) {
    disc.lastSessionStart = 0;
    disc.PutBlock(16, PrimaryBlock(29, 2048));
    disc.PutBlock(17, jolietRootLength ? JolietBlock(30, *jolietRootLength) : TerminatorBlock());
    disc.PutBlock(18, TerminatorBlock());
    disc.PutBlock(29, isoRoot.bytes());
    disc.PutBlock(30, jolietRoot.bytes());
  }
  static DirectoryBlock RockRidgeRoot() {
    DirectoryBlock root;
    root.RecordWith(29, 2048, kDirectory, {0}, SuspIndicator()).Record(29, 2048, kDirectory, {1});
    return root;
  }
  scrivo::ImportResult Import() { return builder.ImportSession(source, 0); }
  // The records of the new session's root in `descriptor` (16 or 17).
  std::vector<Record> NewRoot(std::uint32_t descriptor) {
    builder.ResetImage();
    builder.SetImageOrigin(5000);
    EXPECT_TRUE(builder.BuildImage());
    const Record root = RootRecordOf(builder, descriptor);
    return Entries(ReadDirectory(builder, root.extent, root.dataLength));
  }
};

TEST_F(PeerSession, JolietNamesComeBackExactly) {
  std::u16string japanese;
  for (int i = 0; i < 20; ++i) japanese += u"\u5199\u771F";  // 40 characters, 120 UTF-8 bytes
  const std::u16string accented(50, u'\u00E9');                        // 100 UTF-8 bytes
  const std::u16string longJoliet = std::u16string(108, u'x');  // with ";1", what a record holds
  DirectoryBlock joliet;
  joliet.Dots(30, 30);
  for (const std::u16string& name : {japanese, accented, longJoliet}) {
    Bytes identifier;
    for (char16_t unit : name) identifier.insert(identifier.end(), {std::uint8_t(unit >> 8), std::uint8_t(unit)});
    // A version, as some tools write one in Joliet, is no part of the name.
    for (char16_t unit : std::u16string_view(u";1")) identifier.insert(identifier.end(), {0, std::uint8_t(unit)});
    joliet.Record(600, 1, kFile, identifier);
  }
  ServeSession(DirectoryBlock().Dots(29, 29), 2048, joliet);

  ASSERT_EQ(Import().outcome, ImportOutcome::Imported);
  std::vector<std::u16string> carried;
  for (const Record& r : NewRoot(17)) carried.push_back(JolietIdentifierText(r));
  EXPECT_THAT(carried, ElementsAre(longJoliet, accented, japanese));
  EXPECT_NE(Child(builder.Root(), platform::Utf16ToUtf8(japanese)), nullptr);
}

TEST_F(PeerSession, DiscsWrittenBeforeReadableNamesStillAppend) {
  // Generated ISO 9660 names, and Joliet names with the version they had.
  DirectoryBlock iso;
  iso.Dots(29, 29).Record(600, 1, kFile, Latin("_LNG_5.csf;1")).Record(601, 1, kFile, Latin("_LNG_6.csf;1"));
  DirectoryBlock joliet;
  joliet.Dots(30, 30).Record(600, 1, kFile, Ucs2("README")).Record(601, 1, kFile, Ucs2("report.txt;1"));
  ServeSession(iso, 2048, joliet);
  WriteSource(dir / "newer", 10);
  ASSERT_TRUE(builder.AddFileEntry(builder.Root(), "report.txt", (dir / "newer").string()));

  ASSERT_EQ(Import().outcome, ImportOutcome::Imported);
  EXPECT_THAT(Names(builder.Root()), ElementsAre("README", "report.txt"));
  EXPECT_TRUE(Child(builder.Root(), "report.txt")->IsNewFile()) << "the host's newer report.txt";
  std::vector<std::u16string> carried;
  for (const Record& r : NewRoot(17)) carried.push_back(JolietIdentifierText(r));
  EXPECT_THAT(carried, ElementsAre(u"README", u"report.txt"));
}

TEST_F(PeerSession, WithoutAUsableJolietTreeTheRockRidgeNamesAreRead) {
  DirectoryBlock notADirectory;
  notADirectory.Record(700, 1, kFile, Ucs2("stray"));
  for (std::optional<std::uint32_t> jolietRootLength : {std::optional<std::uint32_t>(0u), {2048u}, {}}) {
    SCOPED_TRACE(jolietRootLength.value_or(-1));
    builder.ClearTree();
    DirectoryBlock iso = RockRidgeRoot();
    iso.Record(600, 1, kFile, Latin("PLAIN.TXT;1"))
        .RecordWith(601, 1, kFile, Latin("LONG_NAM.TXT;1"), RockRidgeName("long name.txt"))
        .RecordWith(602, 1, kFile, Latin("SPLIT.;1"), RockRidgeName("first, ") + Continuation(40, 100, 30));
    ServeSession(iso, jolietRootLength, notADirectory);
    Bytes area(2048, 0);
    const Bytes rest = RockRidgeName("second");
    std::copy(rest.begin(), rest.end(), area.begin() + 100);
    disc.PutBlock(40, area);

    ASSERT_EQ(Import().outcome, ImportOutcome::Imported);
    EXPECT_THAT(Names(builder.Root()), ElementsAre("PLAIN.TXT", "first, second", "long name.txt"));
  }
}

TEST_F(PeerSession, OnlyTheRelocationFolderIsLeftForTheNewSessionToMake) {
  // A root folder that holds relocated folders (RE) and nothing else, by
  // whatever name, was the relocation folder: the new session makes its
  // own. A folder of the user is carried, empty or not, by any name.
  // {its name, holds a relocated folder, holds a file, carried}
  const std::tuple<std::string, bool, bool, bool> cases[] = {
      {"rr_moved", true, false, false},    // genisoimage -r, and this engine
      {"rr_moved_1", true, false, false},  // this engine beside the user's rr_moved
      {"RR_MOVED", true, false, false},
      {"rr_moved", false, false, true},  // the user's, empty
      {"rr_moved", true, true, true},      // the user's, written by an older engine as one
  };
  for (const auto& [name, relocated, file, carried] : cases) {
    SCOPED_TRACE(name);
    builder.ClearTree();
    DirectoryBlock iso = RockRidgeRoot();
    ServeSession(iso.RecordWith(31, 2048, kDirectory, Latin("RR_MOVED"), RockRidgeName(name)), std::nullopt);
    DirectoryBlock moved;
    moved.Dots(31, 29);
    if (relocated) moved.RecordWith(32, 2048, kDirectory, Latin("L9"), RockRidgeName("l9") + Latin("RE\x04\x01"));
    if (file) moved.RecordWith(600, 1, kFile, Latin("MINE.TXT;1"), RockRidgeName("mine.txt"));
    disc.PutBlock(31, moved.bytes());

    ASSERT_EQ(Import().outcome, ImportOutcome::Imported);
    EXPECT_EQ(Names(builder.Root()), carried ? std::vector<std::string>{name} : std::vector<std::string>{});
  }
}

TEST_F(PeerSession, FilesOfSeveralSectionsAndAfterAttributesAreCarriedWhole) {
  // data.bin: 8000 bytes in three sections from 600; xar.txt after an
  // attribute block at 700.
  Bytes data(8000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 2048);
  disc.PutBlocks(600, data);
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
    std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint8_t>> records;
    for (const Record& r : NewRoot(descriptor)) records.emplace_back(r.extent, r.dataLength, r.flags);
    EXPECT_THAT(records, ElementsAre(std::tuple{600u, 4096u, kMultiExtent}, std::tuple{602u, 2048u, kMultiExtent},
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
  DirectoryBlock iso = RockRidgeRoot();
  iso.Record(31, 2048, kDirectory, Latin("DIR"))
      .RecordWith(600, 0, kFile, Latin("FIFO1.;1"), RockRidgeName("fifo") + RockRidgeMode(010644))
      .RecordWith(601, 1, kFile, Latin("LONG.;1"), RockRidgeName(std::string(100, 'n')) + Continuation(40, 0, 205));
  ServeSession(iso, std::nullopt);
  disc.PutBlock(31, DirectoryBlock().Dots(31, 29).Record(602, 1, kMultiExtent, Latin("CUT.;1")).bytes());
  disc.PutBlocks(40, RockRidgeName(std::string(200, 'n')));

  const scrivo::ImportResult result = Import();
  EXPECT_EQ(result.outcome, ImportOutcome::EntriesLost);
  std::vector<std::string> lost;
  for (const auto& refusal : result.lost) lost.push_back(refusal.Describe());
  EXPECT_THAT(lost, ElementsAre("/DIR/CUT: cannot be read: a file of several sections whose last section is missing",
                                "/fifo: not a file whose contents can be burned (a FIFO)"));
  // Longer than a Joliet record holds: carried with its Rock Ridge entries,
  // its Joliet identifier shortened as a new name's is.
  ASSERT_NE(Child(builder.Root(), std::string(300, 'n')), nullptr) << "a name of 300 bytes is carried";
  EXPECT_THAT(NewRoot(17), Contains(ResultOf(&JolietIdentifierText, std::u16string(103, u'n'))));
}

}  // namespace
}  // namespace isotest
