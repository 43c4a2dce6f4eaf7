// Volume descriptors and path tables, byte for byte.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "engine/iso/image_builder.h"
#include "iso_test_support.h"
#include "platform/bytes/byte_order.h"

namespace {

using isotest::BlockAt;
using isotest::Both32;
using isotest::Le16;
using isotest::ReadPathTable;
using scrivo::CImageBuilder;
using scrivo::CImageNode;

std::string Bytes(const std::uint8_t* at, std::size_t count) {
  return {reinterpret_cast<const char*>(at), count};
}

bool AllBytes(const std::uint8_t* at, std::size_t count, std::uint8_t value) {
  return std::all_of(at, at + count, [&](std::uint8_t b) { return b == value; });
}

std::string Ucs2(std::u16string_view text) {
  std::string out;
  for (char16_t unit : text) {
    out.push_back(static_cast<char>(unit >> 8));
    out.push_back(static_cast<char>(unit & 0xFF));
  }
  return out;
}

std::string Ucs2Spaces(std::size_t count) { return Ucs2(std::u16string(count, u' ')); }

class Descriptors : public ::testing::Test {
 protected:
  Descriptors() { builder.FixBurnTime(scrivo::ecma119::FileTime{1733661296, 60}); }
  const std::uint8_t* Build(std::string_view label, std::uint32_t descriptor) {
    EXPECT_TRUE(builder.SetVolumeLabel(label));
    EXPECT_TRUE(builder.BuildImage());
    return BlockAt(builder, descriptor);
  }
  CImageBuilder builder;
};

TEST_F(Descriptors, PrimaryDescriptorHoldsEveryFieldOfTheTable) {
  const std::uint8_t* pvd = Build("FIFTEEN_LABEL15", 16);
  EXPECT_EQ(Bytes(pvd, 8), std::string("\x01" "CD001\x01\x00", 8));
  EXPECT_TRUE(AllBytes(pvd + 8, 32, ' '));
  EXPECT_EQ(Bytes(pvd + 40, 32), "FIFTEEN_LABEL15" + std::string(17, ' '));
  EXPECT_TRUE(AllBytes(pvd + 72, 8, 0));
  EXPECT_EQ(Both32(pvd + 80), 26u);  // with the Rock Ridge continuation block
  EXPECT_TRUE(AllBytes(pvd + 88, 32, 0));
  EXPECT_EQ(Bytes(pvd + 120, 12), std::string("\x01\x00\x00\x01\x01\x00\x00\x01\x00\x08\x08\x00", 12));
  EXPECT_EQ(Both32(pvd + 132), 10u);
  EXPECT_EQ(isotest::Le32(pvd + 144), 0u);
  EXPECT_EQ(isotest::Le32(pvd + 152), 0u);
  EXPECT_TRUE(AllBytes(pvd + 190, 3 * 128, ' '));
  EXPECT_EQ(Bytes(pvd + 574, 128), "Tamblewood ISO Engine" + std::string(107, ' '));
  EXPECT_TRUE(AllBytes(pvd + 702, 111, ' '));
  for (std::size_t date : {813, 830, 864}) {
    EXPECT_EQ(Bytes(pvd + date, 17), "2024120813345600\x04") << date;
  }
  EXPECT_EQ(Bytes(pvd + 847, 17), std::string(16, '0') + std::string(1, '\0')) << "no expiration";
  EXPECT_EQ(pvd[881], 1);
  EXPECT_TRUE(AllBytes(pvd + 882, 2048 - 882, 0));
}

TEST_F(Descriptors, JolietDescriptorHoldsUcs2FieldsAndTheEscapeSequence) {
  const std::uint8_t* svd = Build("FIFTEEN_LABEL15", 17);
  EXPECT_EQ(Bytes(svd, 8), std::string("\x02" "CD001\x01\x00", 8));
  EXPECT_EQ(Bytes(svd + 8, 32), Ucs2Spaces(16));
  EXPECT_EQ(Bytes(svd + 40, 32), Ucs2(u"FIFTEEN_LABEL15") + Ucs2Spaces(1));
  EXPECT_EQ(Both32(svd + 80), 26u);
  EXPECT_EQ(Bytes(svd + 88, 32), "%/E" + std::string(29, '\0'));
  EXPECT_EQ(Bytes(svd + 190, 3 * 128), Ucs2Spaces(3 * 64));
  EXPECT_EQ(Bytes(svd + 574, 128), Ucs2(u"Tamblewood ISO Engine") + std::string(128 - 42, '\0'));
  for (std::size_t field = 702; field < 813; field += 37) {
    EXPECT_EQ(Bytes(svd + field, 37), Ucs2Spaces(18) + std::string(1, '\0')) << field;
  }
  EXPECT_EQ(Bytes(svd + 813, 17), "2024120813345600\x04");
  EXPECT_EQ(Bytes(svd + 847, 17), std::string(16, '0') + std::string(1, '\0'));
  EXPECT_EQ(svd[881], 1);
  EXPECT_TRUE(AllBytes(svd + 882, 2048 - 882, 0));
}

TEST_F(Descriptors, EmptyAndNonAsciiLabels) {
  const std::uint8_t* pvd = Build("", 16);
  EXPECT_TRUE(AllBytes(pvd + 40, 32, ' '));
  EXPECT_EQ(Bytes(BlockAt(builder, 17) + 40, 32), Ucs2Spaces(16));

  builder.ResetImage();
  pvd = Build("Gr\xC3\xBC\xC3\x9F" "e", 16);
  EXPECT_EQ(Bytes(pvd + 40, 32), "GR__E" + std::string(27, ' ')) << "d-characters, one _ a character";
  EXPECT_EQ(Bytes(BlockAt(builder, 17) + 40, 32), Ucs2(u"Gr\u00FC\u00DFe") + Ucs2Spaces(11));

  builder.ResetImage();
  std::string wide;  // fifteen three-byte characters: 45 bytes
  for (int i = 0; i < 15; ++i) wide += "\xE6\x97\xA5";
  pvd = Build(wide, 16);
  EXPECT_EQ(Bytes(pvd + 40, 32), std::string(15, '_') + std::string(17, ' ')) << "never part of a character";
  EXPECT_EQ(Bytes(BlockAt(builder, 17) + 40, 30), Ucs2(std::u16string(15, u'\u65E5')));

  builder.ResetImage();
  pvd = Build("Holiday 2024-a", 16);
  EXPECT_EQ(Bytes(pvd + 40, 32), "HOLIDAY_2024_A" + std::string(18, ' '));
  EXPECT_EQ(Bytes(BlockAt(builder, 17) + 40, 28), Ucs2(u"Holiday 2024-a"));
}

TEST_F(Descriptors, TerminatorCarriesOnlyItsHeader) {
  const std::uint8_t* terminator = Build("X", 18);
  EXPECT_EQ(Bytes(terminator, 7), std::string("\xFF" "CD001\x01", 7));
  EXPECT_TRUE(AllBytes(terminator + 7, 2041, 0));
}

class PathTables : public ::testing::Test {
 protected:
  CImageNode& Directory(CImageNode& parent, std::string_view name) {
    return *builder.AddDirectoryEntry(parent, name);
  }
  CImageBuilder builder;
};

TEST_F(PathTables, RootOnlyTablesHoldOneTenByteRecord) {
  ASSERT_TRUE(builder.BuildImage());
  for (std::uint32_t descriptor : {16u, 17u}) {
    const std::uint8_t* vd = BlockAt(builder, descriptor);
    EXPECT_EQ(Both32(vd + 132), 10u);
    const std::uint32_t root = isotest::RootRecordOf(builder, descriptor).extent;
    const std::uint8_t* typeL = BlockAt(builder, isotest::Le32(vd + 140));
    const std::uint8_t* typeM = BlockAt(builder, isotest::Be32(vd + 148));
    std::uint8_t expectedL[10] = {1, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    std::uint8_t expectedM[10] = {1, 0, 0, 0, 0, 0, 0, 1, 0, 0};
    bytes::PutLE32(expectedL + 2, root);
    bytes::PutBE32(expectedM + 2, root);
    EXPECT_EQ(Bytes(typeL, 10), Bytes(expectedL, 10));
    EXPECT_EQ(Bytes(typeM, 10), Bytes(expectedM, 10));
    EXPECT_TRUE(AllBytes(typeL + 10, 2038, 0));
  }
}

TEST_F(PathTables, DirectoriesAreNumberedByLevelThenParentThenName) {
  CImageNode& beta = Directory(builder.Root(), "beta");
  CImageNode& alpha = Directory(builder.Root(), "alpha");
  Directory(beta, "b1");
  Directory(alpha, "a2");
  Directory(alpha, "a1");
  ASSERT_TRUE(builder.BuildImage());
  EXPECT_EQ(alpha.directoryNumber, 2);
  EXPECT_EQ(beta.directoryNumber, 3);

  for (bool typeM : {false, true}) {
    auto joliet = ReadPathTable(builder, 17, typeM);
    ASSERT_EQ(joliet.size(), 6u);
    std::vector<std::pair<std::string, std::uint16_t>> order;
    for (const auto& entry : joliet) {
      std::string name;
      for (std::size_t i = 1; i < entry.identifier.size(); i += 2) name.push_back(static_cast<char>(entry.identifier[i]));
      order.emplace_back(name, entry.parent);
    }
    EXPECT_THAT(order, ::testing::ElementsAre(std::pair<std::string, std::uint16_t>("", 1),
                                              std::pair<std::string, std::uint16_t>("alpha", 1),
                                              std::pair<std::string, std::uint16_t>("beta", 1),
                                              std::pair<std::string, std::uint16_t>("a1", 2),
                                              std::pair<std::string, std::uint16_t>("a2", 2),
                                              std::pair<std::string, std::uint16_t>("b1", 3)));
    // Each record's extent is that of the directory in the Joliet tree.
    EXPECT_EQ(joliet[1].extent, alpha.extent);
  }
  auto iso = ReadPathTable(builder, 16, false);
  ASSERT_EQ(iso.size(), 6u);
  EXPECT_EQ(std::string(iso[1].identifier.begin(), iso[1].identifier.end()), alpha.isoName)
      << "ISO 9660 tables name directories by their ISO 9660 names";
  EXPECT_NE(iso[1].extent, alpha.extent) << "ISO 9660 extents, not the Joliet ones";
}

TEST_F(PathTables, RecordLengthsPadOddIdentifiers) {
  Directory(builder.Root(), "fives");
  Directory(builder.Root(), "sevenish");
  Directory(builder.Root(), "ab");
  ASSERT_TRUE(builder.BuildImage());
  // Joliet: 8 + 2 x 5 bytes for "fives", 8 + 16, 8 + 4.
  EXPECT_EQ(Both32(BlockAt(builder, 17) + 132), 10u + 18 + 24 + 12);
  // ISO 9660: AB 10, FIVES 14 (one padding byte), SEVENISH 16.
  EXPECT_EQ(Both32(BlockAt(builder, 16) + 132), 10u + 10 + 14 + 16);
  auto iso = ReadPathTable(builder, 16, true);
  EXPECT_EQ(iso[1].identifier.size(), 2u);
  EXPECT_EQ(iso[2].identifier.size(), 5u);
  EXPECT_EQ(iso[3].identifier.size(), 8u);
}

TEST_F(PathTables, LargeTablesSpanSeveralBlocksAndTypeMFollowsTypeL) {
  for (int i = 0; i < 60; ++i) Directory(builder.Root(), std::string(40, 'd') + std::to_string(100 + i));
  ASSERT_TRUE(builder.BuildImage());
  const std::uint8_t* svd = BlockAt(builder, 17);
  const std::uint32_t size = Both32(svd + 132);
  EXPECT_EQ(size, 10u + 60 * (8 + 2 * 43));
  EXPECT_EQ(isotest::Be32(svd + 148), isotest::Le32(svd + 140) + (size + 2047) / 2048);
  EXPECT_EQ(ReadPathTable(builder, 17, true).size(), 61u);
  EXPECT_EQ(ReadPathTable(builder, 17, false).back().parent, 1);
}

}  // namespace
