// Image layout: where every area lands, data-area order, relocation,
// the depth limit and the reset between jobs.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <set>

#include "engine/iso/image_builder.h"
#include "iso_test_support.h"

namespace {

using isotest::BlockAt;
using isotest::Entries;
using isotest::ReadDirectory;
using isotest::ReadPathTable;
using isotest::RootRecordOf;
using isotest::TempDir;
using isotest::WriteSource;
using scrivo::CImageBuilder;
using scrivo::CImageNode;
using scrivo::ImageTree;
using ::testing::ElementsAre;

constexpr std::uint32_t kPrimary = 16;
constexpr std::uint32_t kSupplementary = 17;

class ImageLayout : public ::testing::Test {
 protected:
  void SetUp() override { builder.Bind(&host); }
  CImageNode& AddFile(CImageNode& parent, std::string_view name, std::size_t size) {
    auto path = dir / ("src" + std::to_string(sources++));
    WriteSource(path, size);
    EXPECT_TRUE(builder.AddFileEntry(parent, name, path.string()));
    for (auto& [stored, node] : parent.children) {
      if (node->sourcePath == path.string()) return *node;
    }
    throw std::logic_error("file not added");
  }
  CImageNode& AddDirectory(CImageNode& parent, std::string_view name) {
    return *builder.AddDirectoryEntry(parent, name);
  }
  std::uint32_t DescriptorField(std::uint32_t descriptor, std::size_t offset, bool bigEndian = false) {
    const std::uint8_t* block = BlockAt(builder, builder.ImageOrigin() + descriptor);
    return bigEndian ? isotest::Be32(block + offset) : isotest::Le32(block + offset);
  }
  std::vector<isotest::Record> RootEntries(std::uint32_t descriptor) {
    isotest::Record root = RootRecordOf(builder, descriptor);
    return Entries(ReadDirectory(builder, root.extent, root.dataLength));
  }

  TempDir dir;
  int sources = 0;
  isotest::RecordingHost host;
  CImageBuilder builder;
};

TEST_F(ImageLayout, EmptyCompilationTakesTwentySixBlocksInTheirPlaces) {
  ASSERT_TRUE(builder.BuildImage());
  EXPECT_EQ(builder.SectorCount(), 26u);
  EXPECT_EQ(builder.VolumeSpaceSize(), 26u);
  for (std::uint32_t b = 0; b < 16; ++b) {
    const std::uint8_t* block = BlockAt(builder, b);
    EXPECT_TRUE(std::all_of(block, block + 2048, [](std::uint8_t v) { return v == 0; })) << b;
  }
  EXPECT_EQ(BlockAt(builder, 16)[0], 1);
  EXPECT_EQ(BlockAt(builder, 17)[0], 2);
  EXPECT_EQ(BlockAt(builder, 18)[0], 255);
  EXPECT_EQ(RootRecordOf(builder, kPrimary).extent, 19u);
  // Block 20 continues the Rock Ridge entries of the root's "." record (ER).
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(BlockAt(builder, 20)), 2), "ER");
  EXPECT_EQ(DescriptorField(kPrimary, 140), 21u);
  EXPECT_EQ(DescriptorField(kPrimary, 148, true), 22u);
  EXPECT_EQ(RootRecordOf(builder, kSupplementary).extent, 23u);
  EXPECT_EQ(DescriptorField(kSupplementary, 140), 24u);
  EXPECT_EQ(DescriptorField(kSupplementary, 148, true), 25u);
  EXPECT_EQ(isotest::Both32(BlockAt(builder, 16) + 80), 26u);
  EXPECT_EQ(isotest::Both32(BlockAt(builder, 17) + 80), 26u);
}

TEST_F(ImageLayout, OneFileFollowsTheMetadataAndSizesTheVolume) {
  builder.SetImageOrigin(1000);
  CImageNode& file = AddFile(builder.Root(), "data.bin", 5000);
  ASSERT_TRUE(builder.BuildImage());
  EXPECT_EQ(builder.SectorCount(), 26u);
  EXPECT_EQ(builder.NextDataBlock(), 3u);
  EXPECT_EQ(builder.VolumeSpaceSize(), 29u) << "the origin is not counted";
  EXPECT_EQ(isotest::Both32(BlockAt(builder, 1016) + 80), 29u);
  EXPECT_EQ(file.extent, 0u) << "the node keeps its block relative to the data area";
  for (std::uint32_t descriptor : {kPrimary, kSupplementary}) {
    auto entries = RootEntries(descriptor);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].extent, 1026u);
    EXPECT_EQ(entries[0].dataLength, 5000u);
  }
  EXPECT_EQ(builder.RelocationList().size(), 2u);
  EXPECT_THAT(builder.FileMap(), ElementsAre(std::pair<const std::uint32_t, CImageNode*>(0, &file)));
}

TEST_F(ImageLayout, FilesTakeWholeBlocksInPreOrderAndEmptyFilesTakeNone) {
  CImageNode& a = AddFile(builder.Root(), "a.txt", 2048);
  CImageNode& b = AddDirectory(builder.Root(), "b");
  CImageNode& x = AddFile(b, "x.txt", 2049);
  CImageNode& empty = AddFile(b, "y_empty", 0);
  CImageNode& c = AddFile(builder.Root(), "c.txt", 1);
  CImageNode& last = AddFile(builder.Root(), "z_empty", 0);
  ASSERT_TRUE(builder.BuildImage());

  EXPECT_EQ(a.extent, 0u);
  EXPECT_EQ(x.extent, 1u);
  EXPECT_EQ(empty.extent, 3u) << "the block of the file that follows";
  EXPECT_EQ(c.extent, 3u);
  EXPECT_EQ(last.extent, 4u);
  EXPECT_EQ(builder.NextDataBlock(), 4u);
  // Empty files have nothing to stream and stay out of the map.
  std::vector<CImageNode*> streamed;
  for (const auto& [block, node] : builder.FileMap()) streamed.push_back(node);
  EXPECT_THAT(streamed, ElementsAre(&a, &x, &c));
}

TEST_F(ImageLayout, ImportedFilesKeepTheirExtentsAndAreNeitherRelocatedNorStreamed) {
  builder.SetImageOrigin(5000);
  CImageNode* old = builder.Root().AddChild("Unknown", "old.txt", scrivo::EntryKind::File,
                                            scrivo::EntryOrigin::Imported);
  ASSERT_NE(old, nullptr);
  old->extent = 321;
  old->size = 10000;
  CImageNode& fresh = AddFile(builder.Root(), "new.txt", 10);
  ASSERT_TRUE(builder.BuildImage());

  EXPECT_EQ(builder.NextDataBlock(), 1u);
  EXPECT_EQ(builder.RelocationList().size(), 2u);
  EXPECT_THAT(builder.FileMap(), ElementsAre(std::pair<const std::uint32_t, CImageNode*>(0, &fresh)));
  for (std::uint32_t descriptor : {kPrimary, kSupplementary}) {
    auto entries = RootEntries(descriptor);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].extent, 5000u + builder.SectorCount());  // new.txt sorts first
    EXPECT_EQ(entries[1].extent, 321u);
    EXPECT_EQ(entries[1].dataLength, 10000u);
  }
}

TEST_F(ImageLayout, TenLevelsDeepMoveTheDeepFoldersIntoTheRelocationFolder) {
  std::vector<CImageNode*> levels{&builder.Root()};
  CImageNode& early = AddFile(builder.Root(), "z_after.txt", 100);
  AddFile(builder.Root(), "z_empty", 0);
  for (int level = 2; level <= 10; ++level) {
    levels.push_back(&AddDirectory(*levels.back(), "d" + std::to_string(level)));
  }
  CImageNode& atNine = AddFile(*levels[8], "a_nine.txt", 10);
  CImageNode& atTen = AddFile(*levels[9], "ten.txt", 10);
  CImageNode& atEight = AddFile(*levels[7], "eight.txt", 10);
  ASSERT_TRUE(builder.BuildImage());

  // Every folder, and the relocation folder, in the ISO 9660 path table.
  EXPECT_EQ(ReadPathTable(builder, kPrimary, false).size(), 11u);
  EXPECT_EQ(ReadPathTable(builder, kSupplementary, false).size(), 10u);
  EXPECT_EQ(ReadPathTable(builder, kSupplementary, true).size(), 10u);
  // Each block of the data area belongs to one streamed file.
  std::set<std::uint32_t> blocks;
  for (const CImageNode* file : {&early, &atNine, &atTen, &atEight}) blocks.insert(file->extent);
  EXPECT_EQ(blocks.size(), 4u);
  EXPECT_EQ(builder.FileMap().size(), 4u);

  // Walking the ISO 9660 tree meets each folder once, none deeper than
  // level 8, and no directory record leads back up.
  std::set<std::uint32_t> visited;
  int deepest = 0;
  std::function<void(std::uint32_t, std::uint32_t, int)> walk = [&](std::uint32_t extent,
                                                                    std::uint32_t size, int level) {
    ASSERT_TRUE(visited.insert(extent).second) << "directory reached twice";
    deepest = std::max(deepest, level);
    for (const auto& record : Entries(ReadDirectory(builder, extent, size))) {
      if (record.IsDirectory()) walk(record.extent, record.dataLength, level + 1);
    }
  };
  auto root = RootRecordOf(builder, kPrimary);
  walk(root.extent, root.dataLength, 1);
  EXPECT_EQ(visited.size(), 11u);
  EXPECT_LE(deepest, 8);

  // The Joliet tree reaches the bottom where it belongs.
  isotest::Record joliet = RootRecordOf(builder, kSupplementary);
  for (int level = 2; level <= 10; ++level) {
    auto entries = Entries(ReadDirectory(builder, joliet.extent, joliet.dataLength));
    auto next = std::find_if(entries.begin(), entries.end(),
                             [](const isotest::Record& r) { return r.IsDirectory(); });
    ASSERT_NE(next, entries.end()) << level;
    joliet = *next;
  }
  auto bottom = Entries(ReadDirectory(builder, joliet.extent, joliet.dataLength));
  ASSERT_EQ(bottom.size(), 1u);
  EXPECT_EQ(bottom[0].extent, builder.SectorCount() + atTen.extent);
}

TEST_F(ImageLayout, TooDeepFolderLeavesAnEmptyStandInWhereItBelongs) {
  CImageNode* parent = &builder.Root();
  for (int level = 2; level <= 9; ++level) parent = &AddDirectory(*parent, "d" + std::to_string(level));
  CImageNode& levelEight = *parent->parent;
  CImageNode& file = AddFile(levelEight, "e.txt", 3000);
  ASSERT_TRUE(builder.BuildImage());
  auto table = ReadPathTable(builder, kPrimary, false);
  const std::string eightName = levelEight.isoName;
  auto eight = std::find_if(table.begin(), table.end(), [&](const isotest::PathTableEntry& e) {
    return std::string(e.identifier.begin(), e.identifier.end()) == eightName;
  });
  ASSERT_NE(eight, table.end());
  auto records = Entries(ReadDirectory(builder, eight->extent, 2048));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(isotest::IdentifierText(records[0]), parent->isoName);
  EXPECT_EQ(records[0].flags, 0) << "a file for ISO 9660, the folder's stand-in for Rock Ridge";
  EXPECT_EQ(records[0].dataLength, 0u);
  EXPECT_EQ(levelEight.level, 8);
  // A file of the level-8 directory is an ordinary entry there.
  EXPECT_EQ(isotest::IdentifierText(records[1]), file.isoName);
  EXPECT_EQ(records[1].flags, 0);
  EXPECT_EQ(records[1].extent, builder.SectorCount() + file.extent);
  EXPECT_EQ(records[1].dataLength, 3000u);
}

// The path tables number folders in 16 bits: a tree of more folders, those
// read back from the disc included, is refused before a block is built.
TEST_F(ImageLayout, FoldersBeyondWhatThePathTablesCanNumberAreRefused) {
  struct Case {
    int newFolders;
    int importedFolders;
    const char* report;  // nullptr: accepted
  };
  for (const Case& c : {Case{65534, 0, nullptr},
                        Case{65535, 0, "Too many folders for one disc: 65,536 (at most 65,535)."},
                        Case{65534, 1, "Too many folders for one disc: 65,536 (at most 65,535)."},
                        Case{65540, 1, "Too many folders for one disc: 65,542 (at most 65,535)."}}) {
    builder.ClearTree();
    host.errors.clear();
    // Two levels, so that most folders have a parent other than the root.
    for (int i = 0; i < c.newFolders; ++i) {
      CImageNode& parent = i < 256 ? builder.Root() : *builder.Root().children.at(std::to_string(i % 256));
      ASSERT_NE(parent.AddChild({}, std::to_string(i), scrivo::EntryKind::Directory, scrivo::EntryOrigin::New),
                nullptr);
    }
    for (int i = 0; i < c.importedFolders; ++i) {
      builder.Root().AddChild("Unknown", "old" + std::to_string(i), scrivo::EntryKind::Directory,
                              scrivo::EntryOrigin::Imported);
    }
    SCOPED_TRACE(c.newFolders + c.importedFolders);
    if (c.report == nullptr) {
      EXPECT_TRUE(builder.CheckFolderCount());
      EXPECT_TRUE(host.errors.empty());
    } else {
      EXPECT_FALSE(builder.BuildImage());
      EXPECT_THAT(host.errors, ElementsAre(c.report));
      EXPECT_EQ(builder.SectorList().size(), 16u) << "nothing built";
    }
  }
}

// 2,048 files of 4 GiB - 1 bytes take 2^32 blocks: the size must not wrap
// to a small image that would pass for one that fits a disc.
TEST_F(ImageLayout, BlockCountsDoNotWrapAndAnUnaddressableImageIsRefused) {
  constexpr std::uint64_t kLargestFile = 0xFFFFFFFFu;
  for (int i = 0; i < 2048; ++i) {
    auto path = dir / ("sparse" + std::to_string(i));
    std::ofstream(path).close();
    std::filesystem::resize_file(path, kLargestFile);
    ASSERT_TRUE(builder.AddFileEntry(builder.Root(), "f" + std::to_string(i), path.string()));
  }
  EXPECT_FALSE(builder.BuildImage());
  EXPECT_EQ(builder.NextDataBlock(), std::uint64_t{1} << 32);
  EXPECT_EQ(builder.VolumeSpaceSize(), builder.SectorList().size() + (std::uint64_t{1} << 32));
}

TEST_F(ImageLayout, ResetReturnsToTheInitialStateAndTheNextJobLaysOutAfresh) {
  AddFile(builder.Root(), "a.txt", 3000);
  AddFile(AddDirectory(builder.Root(), "sub"), "b.txt", 10);
  builder.SetVolumeLabel("LABEL");
  ASSERT_TRUE(builder.BuildImage());
  std::vector<scrivo::ImageBlock> first;
  for (const auto& block : builder.SectorList()) first.push_back(*block);
  const std::uint64_t firstData = builder.NextDataBlock();

  EXPECT_FALSE(builder.BuildImage()) << "a second build needs a reset first";
  builder.ResetImage();
  EXPECT_EQ(builder.SectorList().size(), 16u);
  EXPECT_EQ(builder.SectorCount(), 16u);
  EXPECT_EQ(builder.NextDataBlock(), 0u);
  EXPECT_TRUE(builder.FileMap().empty());
  EXPECT_TRUE(builder.RelocationList().empty());
  EXPECT_EQ(builder.VolumeLabel(), "");
  EXPECT_EQ(builder.Root().children.size(), 2u) << "the tree stays";

  builder.SetVolumeLabel("LABEL");
  ASSERT_TRUE(builder.BuildImage());
  EXPECT_EQ(builder.NextDataBlock(), firstData);
  ASSERT_EQ(builder.SectorList().size(), first.size());
  for (std::size_t i = 0; i < first.size(); ++i) EXPECT_EQ(*builder.SectorList()[i], first[i]) << i;
}

TEST_F(ImageLayout, BuildReportsProgressAfterEachStep) {
  std::vector<std::uint32_t> progress;
  ASSERT_TRUE(builder.BuildImage([&](std::uint32_t perMille) { progress.push_back(perMille); }));
  EXPECT_THAT(progress, ElementsAre(10, 20, 30, 40, 50));
}

}  // namespace
