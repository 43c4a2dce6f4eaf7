// Every image built here is opened by independent readers (xorriso, isoinfo,
// 7-Zip, bsdtar, libcdio's iso-info, pycdlib), which must each see the
// source folder's tree in the Joliet names and extract the source bytes.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "engine/iso/image_builder.h"
#include "engine/iso/image_stream.h"
#include "iso_test_support.h"

namespace {

using isotest::CheckResult;
using isotest::TempDir;
using isotest::WriteSource;
using scrivo::CImageBuilder;
namespace fs = std::filesystem;

CheckResult RunReaders(const fs::path& image, const fs::path& source) {
  return isotest::RunScript("check_readers.py", "'" + image.string() + "' '" + source.string() + "'");
}

class Readers : public ::testing::Test {
 protected:
  // Builds the image of everything added so far, writes it and lets every
  // reader compare it with `expected`.
  void ExpectReadersSee(const fs::path& expected) {
    ASSERT_TRUE(builder.BuildImage());
    fs::path image = work / "image.iso";
    ASSERT_TRUE(scrivo::WriteImageFile(builder, image.string()));
    EXPECT_EQ(fs::file_size(image), std::uintmax_t{builder.VolumeSpaceSize()} * 2048);
    CheckResult result = RunReaders(image, expected);
    std::fputs(result.output.c_str(), stdout);
    EXPECT_EQ(result.status, 0) << result.output;
  }
  void AddFolder(const fs::path& folder) { builder.AddFolderContents(folder.string(), builder.Root()); }

  TempDir work;
  TempDir source;
  isotest::RecordingHost host;
  CImageBuilder builder;
};

TEST_F(Readers, EmptyCompilation) { ExpectReadersSee(source.Path()); }

TEST_F(Readers, AsciiAndUtf8NamesEmptyFilesAndBlockBoundaries) {
  fs::create_directories(source / "empty dir");
  fs::create_directories(source / "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");
  WriteSource(source / "report.txt", 1000);
  WriteSource(source / "README", 5);
  WriteSource(source / ".profile", 7);
  WriteSource(source / "empty.dat", 0);
  WriteSource(source / "zzz_last_empty", 0);
  WriteSource(source / "exact.bin", 2048);
  WriteSource(source / "one_more.bin", 2049);
  WriteSource(source / "gr\xC3\xBC\xC3\x9F" "e.txt", 300);
  WriteSource(source / "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E" / "\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB.txt", 4097);
  WriteSource(source / "Caf\xC3\xA9 menu.pdf", 6000);
  WriteSource(source / "it's \"quoted\".txt", 12);
  WriteSource(source / (std::string(99, 'L')), 10);
  WriteSource(source / (std::string(93, 'M') + ".txt"), 11);
  builder.SetVolumeLabel("READERS TEST");
  AddFolder(source.Path());
  ASSERT_TRUE(host.errors.empty());
  ExpectReadersSee(source.Path());
}

TEST_F(Readers, TreeDeeperThanTheIsoLimit) {
  fs::path level = source.Path();
  for (int depth = 2; depth <= 12; ++depth) {
    level /= "level" + std::to_string(depth);
    fs::create_directories(level);
    WriteSource(level / ("file" + std::to_string(depth) + ".txt"), static_cast<std::size_t>(100 * depth + 2000));
  }
  fs::create_directories(source / "level2" / "side");
  WriteSource(source / "level2" / "side" / "side.txt", 3);
  WriteSource(source / "top.txt", 4);
  AddFolder(source.Path());
  ExpectReadersSee(source.Path());
}

TEST_F(Readers, DirectoriesWithSeveralBlocksOfRecords) {
  fs::create_directories(source / "many");
  for (int i = 0; i < 150; ++i) {
    std::string name = "record number " + std::to_string(1000 + i) + ".txt";
    WriteSource(source / name, static_cast<std::size_t>(i % 3 == 0 ? 0 : 50 + i));
    WriteSource(source / "many" / ("inner_" + std::to_string(i)), 1);
  }
  // Enough directories for path tables of more than one block.
  for (int i = 0; i < 80; ++i) {
    fs::create_directories(source / "dirs" / ("directory with a long name " + std::to_string(100 + i)));
  }
  AddFolder(source.Path());
  ExpectReadersSee(source.Path());
}

TEST_F(Readers, FilesAddedOneByOneAndMergedFolders) {
  TempDir first;
  fs::create_directories(first / "docs");
  WriteSource(first / "docs" / "replaced.txt", 20);
  WriteSource(first / "kept.txt", 30);
  AddFolder(first.Path());
  // A second folder replaces docs; the expected tree is what remains.
  fs::create_directories(source / "docs");
  WriteSource(source / "docs" / "new.txt", 40);
  AddFolder(source.Path());
  WriteSource(source / "kept.txt", 30);
  ASSERT_TRUE(builder.AddFileEntry(builder.Root(), "kept.txt", (source / "kept.txt").string()));
  WriteSource(source / "added.bin", 2500);
  ASSERT_TRUE(builder.AddFileEntry(builder.Root(), "added.bin", (source / "added.bin").string()));
  ExpectReadersSee(source.Path());
}

}  // namespace
