// Directory records of both trees and their packing into blocks.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "engine/iso/directory_records.h"
#include "engine/iso/image_builder.h"
#include "iso_test_support.h"

namespace {

using isotest::BlockAt;
using isotest::Entries;
using isotest::ReadDirectory;
using isotest::Record;
using isotest::RootRecordOf;
using isotest::TempDir;
using isotest::WriteSource;
using scrivo::CImageBuilder;
using scrivo::CImageNode;

constexpr std::uint32_t kPrimary = 16;
constexpr std::uint32_t kSupplementary = 17;

class DirectoryRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteSource(source, 100);
    builder.FixBurnTime(scrivo::ecma119::FileTime{0, 0});
  }
  CImageNode& AddFile(CImageNode& parent, std::string_view name) {
    EXPECT_TRUE(builder.AddFileEntry(parent, name, source.string())) << name;
    return *parent.children.at(std::string(name));
  }
  std::vector<Record> RootRecords(std::uint32_t descriptor) {
    Record root = RootRecordOf(builder, descriptor);
    return ReadDirectory(builder, root.extent, root.dataLength);
  }

  TempDir dir;
  std::filesystem::path source = dir / "source";
  CImageBuilder builder;
};

TEST_F(DirectoryRecords, EmptyDirectoryHasOneBlockWithDotAndDotDotOnly) {
  CImageNode& empty = *builder.AddDirectoryEntry(builder.Root(), "empty");
  ASSERT_TRUE(builder.BuildImage());
  EXPECT_EQ(empty.size, 2048u);
  const std::uint8_t* block = BlockAt(builder, empty.extent);  // its Joliet extent
  const std::uint8_t dot[34] = {34, 0,
                                static_cast<std::uint8_t>(empty.extent), 0, 0, 0, 0, 0, 0,
                                static_cast<std::uint8_t>(empty.extent),
                                0, 8, 0, 0, 0, 0, 8, 0,
                                70, 1, 1, 0, 0, 0, 0,  // the burn's time
                                2, 0, 0, 1, 0, 0, 1, 1, 0};
  EXPECT_EQ(std::memcmp(block, dot, 34), 0);
  EXPECT_EQ(block[34], 34);
  EXPECT_EQ(block[34 + 33], 1) << "the parent's identifier is the byte 01h";
  EXPECT_EQ(isotest::Le32(block + 34 + 2), RootRecordOf(builder, kSupplementary).extent);
  EXPECT_TRUE(std::all_of(block + 68, block + 2048, [](std::uint8_t b) { return b == 0; }));
}

TEST_F(DirectoryRecords, RecordLengthsFollowTheIdentifiers) {
  AddFile(builder.Root(), "a.txt");
  AddFile(builder.Root(), "bb.txt");
  builder.AddDirectoryEntry(builder.Root(), "c");
  ASSERT_TRUE(builder.BuildImage());
  auto iso = Entries(RootRecords(kPrimary));
  ASSERT_EQ(iso.size(), 3u);
  // ISO 9660 records end with their Rock Ridge entries: PX (36 bytes), TF
  // (26) and NM (5 and the name), padded to an even length.
  constexpr std::size_t kRockRidge = 36 + 26 + 5;
  EXPECT_EQ(isotest::IdentifierText(iso[0]), "A.TXT;1");
  EXPECT_EQ(iso[0].length, 40u + kRockRidge + 5);
  EXPECT_EQ(isotest::IdentifierText(iso[1]), "BB.TXT;1");
  EXPECT_EQ(iso[1].length, 42u + kRockRidge + 6 + 1);
  EXPECT_EQ(isotest::IdentifierText(iso[2]), "C");
  EXPECT_EQ(iso[2].length, 34u + kRockRidge + 1);
  auto joliet = Entries(RootRecords(kSupplementary));
  EXPECT_EQ(isotest::JolietIdentifierText(joliet[0]), u"a.txt");
  EXPECT_EQ(joliet[0].length, 44u);
  EXPECT_EQ(joliet[2].flags, 2);
  EXPECT_EQ(joliet[0].flags, 0);
}

TEST_F(DirectoryRecords, JolietIdentifiersCountUtf16UnitsNotNarrowBytes) {
  AddFile(builder.Root(), "gr\xC3\xBC\xC3\x9F" "e.txt");  // 11 bytes, 9 characters
  builder.AddDirectoryEntry(builder.Root(), "\xE6\x97\xA5\xE6\x9C\xAC");  // 6 bytes, 2 characters
  AddFile(builder.Root(), "\xF0\x9F\x98\x80");  // one character outside the BMP: 2 units
  ASSERT_TRUE(builder.BuildImage());
  auto joliet = Entries(RootRecords(kSupplementary));
  ASSERT_EQ(joliet.size(), 3u);
  EXPECT_EQ(isotest::JolietIdentifierText(joliet[0]), u"gr\u00FC\u00DFe.txt");
  EXPECT_EQ(joliet[0].identifier.size(), 18u);
  EXPECT_EQ(joliet[0].length, 52u);
  EXPECT_EQ(isotest::JolietIdentifierText(joliet[1]), u"\u65E5\u672C");
  EXPECT_EQ(isotest::JolietIdentifierText(joliet[2]), u"\U0001F600");
  auto table = isotest::ReadPathTable(builder, kSupplementary, false);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[1].identifier.size(), 4u);
  for (const Record& record : joliet) {
    for (std::size_t i = 0; i + 1 < record.identifier.size(); i += 2) {
      EXPECT_FALSE(record.identifier[i] == 0 && record.identifier[i + 1] == 0) << "NUL unit";
    }
  }
}

TEST_F(DirectoryRecords, FortyOneSevenByteNamesFillTheFirstBlock) {
  for (int i = 0; i < 42; ++i) AddFile(builder.Root(), (i < 10 ? "000" : "00") + std::to_string(i) + ".tx");
  ASSERT_TRUE(builder.BuildImage());
  Record root = RootRecordOf(builder, kSupplementary);
  EXPECT_EQ(root.dataLength, 4096u);
  auto entries = Entries(ReadDirectory(builder, root.extent, root.dataLength));
  ASSERT_EQ(entries.size(), 42u);
  for (std::size_t i = 0; i < 41; ++i) {
    EXPECT_EQ(entries[i].block, root.extent);
    EXPECT_EQ(entries[i].offset, 68u + 48 * i);
    EXPECT_EQ(entries[i].length, 48u);
  }
  EXPECT_EQ(entries[41].block, root.extent + 1);
  EXPECT_EQ(entries[41].offset, 0u);
  EXPECT_EQ(isotest::JolietIdentifierText(entries[41]), u"0041.tx");
}

TEST_F(DirectoryRecords, RecordEndingAtTheBlocksLastByteMovesOn) {
  // 40 records of 48 bytes end at 1988; the next is 34 + 2 x name units.
  EXPECT_TRUE(scrivo::RecordFits(2013, 34)) << "ending at 2047 fits";
  EXPECT_FALSE(scrivo::RecordFits(2014, 34)) << "ending at 2048 does not";
  for (std::size_t units : {12u, 13u}) {
    CImageBuilder fresh;
    for (int i = 0; i < 40; ++i) {
      ASSERT_TRUE(fresh.AddFileEntry(fresh.Root(), "n" + std::to_string(100000 + i), source.string()));
    }
    ASSERT_TRUE(fresh.AddFileEntry(fresh.Root(), "z" + std::string(units - 1, 'q'), source.string()));
    ASSERT_TRUE(fresh.BuildImage());
    Record root = RootRecordOf(fresh, kSupplementary);
    auto last = Entries(ReadDirectory(fresh, root.extent, root.dataLength)).back();
    if (units == 12) {  // 1988 + 58 = 2046
      EXPECT_EQ(last.block, root.extent);
      EXPECT_EQ(last.offset, 1988u);
      EXPECT_EQ(root.dataLength, 2048u);
    } else {  // 1988 + 60 = 2048
      EXPECT_EQ(last.block, root.extent + 1);
      EXPECT_EQ(last.offset, 0u);
      EXPECT_EQ(root.dataLength, 4096u);
    }
  }
}

TEST_F(DirectoryRecords, EachTreeListsItsEntriesInTheOrderOfItsIdentifiers) {
  AddFile(builder.Root(), "_x");
  AddFile(builder.Root(), "a");
  AddFile(builder.Root(), "a;b");  // a_b in Joliet, after a_ and before b
  AddFile(builder.Root(), "a_");
  ASSERT_TRUE(builder.BuildImage());
  std::vector<std::string> iso;
  for (const Record& r : Entries(RootRecords(kPrimary))) iso.push_back(isotest::IdentifierText(r));
  EXPECT_THAT(iso, ::testing::ElementsAre("A.;1", "A_.;1", "A_B.;1", "_X.;1"));
  std::vector<std::u16string> joliet;
  for (const Record& r : Entries(RootRecords(kSupplementary))) joliet.push_back(isotest::JolietIdentifierText(r));
  EXPECT_THAT(joliet, ::testing::ElementsAre(u"_x", u"a", u"a_", u"a_b"));
}

TEST_F(DirectoryRecords, RootRecordsAreCopiedIntoTheirDescriptors) {
  AddFile(*builder.AddDirectoryEntry(builder.Root(), "sub"), "f");
  ASSERT_TRUE(builder.BuildImage());
  for (std::uint32_t descriptor : {kPrimary, kSupplementary}) {
    Record root = RootRecordOf(builder, descriptor);
    const std::uint8_t* rootBlock = BlockAt(builder, root.extent);
    // The "." record without its system use area.
    EXPECT_EQ(BlockAt(builder, descriptor)[156], 34);
    EXPECT_EQ(std::memcmp(BlockAt(builder, descriptor) + 157, rootBlock + 1, 33), 0);
    auto records = ReadDirectory(builder, root.extent, root.dataLength);
    EXPECT_EQ(records[1].extent, root.extent) << "the root is its own parent";
    EXPECT_EQ(records[1].dataLength, root.dataLength);
  }
  EXPECT_NE(RootRecordOf(builder, kPrimary).extent, RootRecordOf(builder, kSupplementary).extent);
}

TEST_F(DirectoryRecords, NewFileRecordsAreRelocatedInBothTrees) {
  builder.SetImageOrigin(7000);
  CImageNode& sub = *builder.AddDirectoryEntry(builder.Root(), "sub");
  AddFile(builder.Root(), "a.bin");
  CImageNode& inner = AddFile(sub, "inner.bin");
  ASSERT_TRUE(builder.BuildImage());
  const std::uint32_t dataStart = 7000 + builder.SectorCount();
  EXPECT_EQ(builder.RelocationList().size(), 4u);
  for (std::uint32_t descriptor : {kPrimary, kSupplementary}) {
    auto root = Entries(RootRecords(descriptor));
    EXPECT_EQ(root[0].extent, dataStart);
    auto subRecords = Entries(ReadDirectory(builder, root[1].extent, root[1].dataLength));
    ASSERT_EQ(subRecords.size(), 1u);
    EXPECT_EQ(subRecords[0].extent, dataStart + inner.extent);
    EXPECT_EQ(subRecords[0].dataLength, 100u);
  }
}

}  // namespace
