// The compilation tree: stored names, limits, order, merging, serial
// numbers, source checks and the folder walk.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <set>

#include "engine/iso/image_builder.h"
#include "engine/iso/joliet_text.h"
#include "iso_test_support.h"

namespace {

using isotest::TempDir;
using isotest::WriteSource;
using scrivo::CImageBuilder;
using scrivo::CImageNode;
using ::testing::ElementsAre;

class CompilationTree : public ::testing::Test {
 protected:
  void SetUp() override {
    builder.Bind(&host);
    WriteSource(source, 10);
  }
  bool AddFile(std::string_view name) { return builder.AddFileEntry(builder.Root(), name, source.string()); }
  std::vector<std::string> RootNames() const {
    std::vector<std::string> names;
    for (const auto& [name, node] : builder.Root().children) names.push_back(node->name);
    return names;
  }

  TempDir dir;
  std::filesystem::path source = dir / "source.bin";
  isotest::RecordingHost host;
  CImageBuilder builder;
};

TEST_F(CompilationTree, StoredNamesAreTheNamesAsGiven) {
  for (const char* name : {"report.txt", "README", ".profile", "a.b.c", "semi"}) ASSERT_TRUE(AddFile(name));
  EXPECT_THAT(RootNames(), ElementsAre(".profile", "README", "a.b.c", "report.txt", "semi"));
  EXPECT_TRUE(host.errors.empty());
}

TEST_F(CompilationTree, NamesAreLimitedTo255Bytes) {
  const std::string greek = "\xCE\xB1";  // two bytes
  EXPECT_TRUE(AddFile(std::string(251, 'n') + ".txt"));
  EXPECT_FALSE(AddFile(std::string(252, 'm') + ".txt"));
  std::string greekName;
  for (int i = 0; i < 127; ++i) greekName += greek;  // 127 characters, 254 bytes
  EXPECT_TRUE(AddFile(greekName));
  EXPECT_FALSE(AddFile(greekName + "ab"));
  EXPECT_EQ(builder.Root().children.size(), 2u);
  EXPECT_THAT(host.errors, ElementsAre(scrivo::kFileEntryFailure, scrivo::kFileEntryFailure));

  host.errors.clear();
  EXPECT_NE(builder.AddDirectoryEntry(builder.Root(), std::string(255, 'd')), nullptr);
  EXPECT_EQ(builder.AddDirectoryEntry(builder.Root(), std::string(256, 'd')), nullptr);
  EXPECT_THAT(host.errors, ElementsAre(scrivo::kDirectoryEntryFailure));
}

TEST_F(CompilationTree, SiblingsAreOrderedByTheBytesOfTheirStoredNames) {
  for (const char* name : {"b", "B", "a.txt", "ab", "a", "\xC3\xA9t\xC3\xA9", "Z"}) ASSERT_TRUE(AddFile(name));
  // Bytes compare unsigned: a UTF-8 lead byte sorts after every ASCII byte.
  EXPECT_THAT(RootNames(), ElementsAre("B", "Z", "a", "a.txt", "ab", "b", "\xC3\xA9t\xC3\xA9"));
}

TEST_F(CompilationTree, SameStoredNameMergesIntoTheExistingEntry) {
  ASSERT_TRUE(AddFile("same.txt"));
  CImageNode* first = builder.Root().children.at("same.txt").get();
  auto second = dir / "second.bin";
  WriteSource(second, 4000);
  ASSERT_TRUE(builder.AddFileEntry(builder.Root(), "same.txt", second.string()));

  ASSERT_EQ(builder.Root().children.size(), 1u);
  CImageNode* merged = builder.Root().children.at("same.txt").get();
  EXPECT_EQ(merged, first) << "the existing node keeps its identity";
  EXPECT_EQ(merged->sourcePath, second.string());
  EXPECT_EQ(merged->size, 4000u);

  ASSERT_TRUE(AddFile("A.TXT"));
  ASSERT_TRUE(AddFile("a.txt"));
  EXPECT_EQ(builder.Root().children.size(), 3u) << "case matters";
}

TEST_F(CompilationTree, FileAndDirectoryOfOneNameReplaceEachOther) {
  CImageNode* docs = builder.AddDirectoryEntry(builder.Root(), "docs");
  ASSERT_NE(docs, nullptr);
  ASSERT_TRUE(builder.AddFileEntry(*docs, "inner.txt", source.string()));

  ASSERT_TRUE(AddFile("docs"));
  ASSERT_EQ(builder.Root().children.size(), 1u);
  EXPECT_TRUE(docs->isFile);
  EXPECT_TRUE(docs->children.empty()) << "the directory's former contents are deleted";
  EXPECT_EQ(docs->size, 10u);

  EXPECT_EQ(builder.AddDirectoryEntry(builder.Root(), "docs"), docs);
  EXPECT_FALSE(docs->isFile);
  EXPECT_EQ(docs->size, 0u);
}

TEST_F(CompilationTree, SerialNumbersAreTakenByRejectedSourcesButNotByOverlongNames) {
  ASSERT_TRUE(AddFile("one"));
  const int first = builder.Root().children.at("one")->serialNumber;
  EXPECT_FALSE(builder.AddFileEntry(builder.Root(), "missing", (dir / "absent").string()));
  EXPECT_FALSE(AddFile(std::string(256, 'x')));
  ASSERT_TRUE(AddFile("two"));
  EXPECT_EQ(builder.Root().children.at("two")->serialNumber, first + 2);
  ASSERT_TRUE(AddFile("one"));  // a merge takes the new node's number
  EXPECT_EQ(builder.Root().children.at("one")->serialNumber, first + 3);
}

TEST_F(CompilationTree, SourcesThatCannotBeOpenedExclusivelyAreRejected) {
  auto fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(builder.AddFileEntry(builder.Root(), "fifo", fifo.string())) << "not a regular file";
  EXPECT_FALSE(builder.AddFileEntry(builder.Root(), "dir", dir.Path().string()));
  EXPECT_FALSE(builder.AddFileEntry(builder.Root(), "gone", (dir / "gone").string()));

  // Another program's lock does not keep a file off the disc: it is read
  // shared, as any reader would.
  int holder = ::open(source.c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  EXPECT_TRUE(AddFile("held"));
  ::close(holder);
  EXPECT_EQ(host.errors.size(), 3u);
  EXPECT_EQ(builder.Root().children.size(), 1u);
}

TEST_F(CompilationTree, FilesOfFourGibibytesOrMoreAreRejectedUnlessRecordedInSections) {
  auto sparse = [&](const char* name, off_t length) {
    auto path = dir / name;
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    EXPECT_EQ(::ftruncate(fd, length), 0);
    ::close(fd);
    return path.string();
  };
  std::string largest = sparse("largest", off_t{0xFFFFFFFF});
  std::string tooLarge = sparse("too_large", off_t{0x100000000});
  ASSERT_TRUE(builder.AddFileEntry(builder.Root(), "largest", largest));
  EXPECT_EQ(builder.Root().children.at("largest")->size, 0xFFFFFFFFu);
  ASSERT_TRUE(builder.AddFileEntry(builder.Root(), "too_large", tooLarge));
  EXPECT_TRUE(host.errors.empty());
  EXPECT_FALSE(builder.BuildImage()) << "a CD's image holds no file of 4 GiB";
  EXPECT_THAT(host.errors, ElementsAre(scrivo::kFileEntryFailure));
}

TEST_F(CompilationTree, NamesNoReaderCouldResolveAreRejected) {
  for (const char* name : {"", ".", "..", "a/b"}) EXPECT_FALSE(AddFile(name)) << name;
  EXPECT_TRUE(AddFile("back\\slash")) << "not a separator here: one entry";
  EXPECT_THAT(RootNames(), ElementsAre("back\\slash"));
}

TEST_F(CompilationTree, LevelsFollowTheTreeAndClearTreeEmptiesTheRoot) {
  CImageNode* a = builder.AddDirectoryEntry(builder.Root(), "a");
  CImageNode* b = builder.AddDirectoryEntry(*a, "b");
  ASSERT_TRUE(builder.AddFileEntry(*b, "f", source.string()));
  EXPECT_EQ(builder.Root().level, 1);
  EXPECT_EQ(a->level, 2);
  EXPECT_EQ(b->children.at("f")->level, 4);
  EXPECT_EQ(b->children.at("f")->parent, b);
  builder.ClearTree();
  EXPECT_TRUE(builder.Root().children.empty());
}

class FolderContents : public CompilationTree {};

TEST_F(FolderContents, AddsFilesAndSubfoldersHiddenOnesIncluded) {
  TempDir folder;
  std::filesystem::create_directories(folder / "sub" / "empty");
  WriteSource(folder / ".hidden", 3);
  WriteSource(folder / "a.txt", 5);
  WriteSource(folder / "sub" / "inner", 7);

  builder.AddFolderContents(folder.Path().string(), builder.Root());
  EXPECT_THAT(RootNames(), ElementsAre(".hidden", "a.txt", "sub"));
  const CImageNode& sub = *builder.Root().children.at("sub");
  EXPECT_FALSE(sub.isFile);
  EXPECT_EQ(sub.children.at("inner")->size, 7u);
  EXPECT_EQ(sub.children.at("inner")->sourcePath, (folder / "sub" / "inner").string());
  EXPECT_TRUE(sub.children.at("empty")->children.empty());
  EXPECT_TRUE(host.errors.empty());

  builder.ClearTree();
  builder.AddFolderContents(folder.Path().string() + "/", builder.Root());
  EXPECT_EQ(builder.Root().children.size(), 3u) << "a trailing separator changes nothing";
  builder.AddFolderContents((folder / "nowhere").string(), builder.Root());
  EXPECT_EQ(builder.Root().children.size(), 3u);
}

TEST_F(FolderContents, AFileAnotherProgramHoldsLockedIsTakenLikeAnyOther) {
  TempDir folder;
  WriteSource(folder / "free1", 1);
  WriteSource(folder / "locked", 1);
  WriteSource(folder / "free2", 1);
  int holder = ::open((folder / "locked").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  builder.AddFolderContents(folder.Path().string(), builder.Root());
  ::close(holder);
  EXPECT_THAT(RootNames(), ElementsAre("free1", "free2", "locked"));
  EXPECT_TRUE(host.errors.empty());
}

TEST_F(FolderContents, SecondFolderReplacesASameNamedSubfolder) {
  TempDir first, second;
  std::filesystem::create_directories(first / "docs");
  std::filesystem::create_directories(second / "docs");
  WriteSource(first / "docs" / "old", 1);
  WriteSource(second / "docs" / "new", 1);
  builder.AddFolderContents(first.Path().string(), builder.Root());
  builder.AddFolderContents(second.Path().string(), builder.Root());
  const CImageNode& docs = *builder.Root().children.at("docs");
  ASSERT_EQ(docs.children.size(), 1u);
  EXPECT_TRUE(docs.children.contains("new"));
}

TEST_F(FolderContents, LinkBackToAnEnclosingFolderIsNotFollowed) {
  TempDir folder;
  std::filesystem::create_directories(folder / "a");
  WriteSource(folder / "a" / "f", 1);
  std::filesystem::create_directory_symlink(folder.Path(), folder / "a" / "loop");
  std::filesystem::create_directory_symlink(folder / "a", folder / "alias");
  builder.AddFolderContents(folder.Path().string(), builder.Root());
  const CImageNode& a = *builder.Root().children.at("a");
  EXPECT_THAT(RootNames(), ElementsAre("a", "alias"));
  EXPECT_FALSE(a.children.contains("loop"));
  EXPECT_TRUE(builder.Root().children.at("alias")->children.contains("f")) << "other links are walked";
  EXPECT_FALSE(host.errors.empty());
}

// Linux names are bytes. Those that are no UTF-8 keep their difference in
// the Joliet tree; a name the disc would still show like a sibling's is
// refused and reported, a disc's own entry takes the sibling's place.
TEST_F(FolderContents, NamesThatAreNoUtf8StayDistinctOrAreRefusedAndReported) {
  TempDir folder;
  for (const char* name : {"a\xFF", "a\xFE", "caf\xE9", "caf\xC3\xA9", "\xE9\xC3", "\xC3\xA9\xC3\x83"}) {
    WriteSource(folder / name, 1);
  }
  std::filesystem::create_directories(folder / "d\xE9");
  std::filesystem::create_directories(folder / "d\xC3\xA9");
  builder.AddFolderContents(folder.Path().string(), builder.Root());
  // Of two names alike on the disc the later in byte order is left out.
  EXPECT_THAT(RootNames(), ElementsAre("a\xFE", "a\xFF", "caf\xC3\xA9", "d\xC3\xA9", "\xC3\xA9\xC3\x83"));
  EXPECT_THAT(host.errors, ElementsAre(scrivo::kFileEntryFailure, scrivo::kDirectoryEntryFailure,
                                       scrivo::kFileEntryFailure));
  std::set<std::u16string> jolietNames;
  for (const auto& [name, node] : builder.Root().children) jolietNames.insert(scrivo::JolietName(name));
  EXPECT_THAT(jolietNames, ElementsAre(u"a\u00FE", u"a\u00FF", u"caf\u00E9", u"d\u00E9", u"\u00E9\u00C3"));

  host.errors.clear();
  EXPECT_FALSE(builder.AddFileEntry(builder.Root(), "caf\xE9", (folder / "caf\xE9").string()));
  EXPECT_THAT(host.errors, ElementsAre(scrivo::kFileEntryFailure));
  // What a previous session brings in merges as a same-named entry does.
  CImageNode* mine = builder.Root().children.at("a\xFF").get();
  CImageNode* old = builder.Root().AddChild("Unknown", "a\xC3\xBF", scrivo::EntryKind::File,
                                            scrivo::EntryOrigin::Imported, scrivo::NameClash::Replace);
  EXPECT_EQ(old, mine);
  EXPECT_FALSE(builder.Root().children.contains("a\xFF"));
  EXPECT_EQ(builder.Root().children.at("a\xC3\xBF").get(), mine);
  EXPECT_FALSE(mine->newFlag);
  // The replaced name is free again once its entry has gone.
  builder.Root().RemoveEntriesFrom("Unknown");
  EXPECT_TRUE(builder.AddFileEntry(builder.Root(), "a\xFF", (folder / "a\xFF").string()));
}

TEST(VolumeLabel, AcceptsUpToFifteenCharactersAndKeepsTheOldLabelOtherwise) {
  CImageBuilder builder;
  EXPECT_TRUE(builder.SetVolumeLabel("FIFTEEN_CHARS15"));
  EXPECT_FALSE(builder.SetVolumeLabel("SIXTEEN_CHARS_16"));
  EXPECT_EQ(builder.VolumeLabel(), "FIFTEEN_CHARS15");
  EXPECT_TRUE(builder.SetVolumeLabel("\xC3\x9C\xC3\x9C\xC3\x9C\xC3\x9C\xC3\x9C\xC3\x9C\xC3\x9C"
                                     "\xC3\x9C\xC3\x9C\xC3\x9C\xC3\x9C\xC3\x9C\xC3\x9C\xC3\x9C\xC3\x9C"))
      << "fifteen characters, thirty bytes";
  EXPECT_TRUE(builder.SetVolumeLabel(""));
  EXPECT_EQ(builder.VolumeLabel(), "");
  builder.SetVolumeLabel("DISC");
  builder.ResetImage();
  EXPECT_EQ(builder.VolumeLabel(), "");
}

}  // namespace

// Each refusal says which reason applies, with its numbers, beside the
// entry's failure text: one case of each kind.
TEST_F(FolderContents, RefusalsSayWhichReasonApplies) {
  using scrivo::RefusalKind;
  const std::string gone = (dir / "gone").string();
  const std::string fifo = (dir / "fifo").string();
  const std::string huge = (dir / "huge").string();
  const std::string dangling = (dir / "dangling").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  WriteSource(dir / "huge", 0);
  const std::string free = (dir / "free").string();
  WriteSource(free, 1);
  ASSERT_EQ(::truncate(huge.c_str(), off_t{0x100000000}), 0);
  std::filesystem::create_symlink(dir / "nothing", dangling);
  TempDir loops, clash;
  std::filesystem::create_directories(loops / "a");
  std::filesystem::create_directory_symlink(loops.Path(), loops / "a" / "up");
  WriteSource(clash / "caf\xC3\xA9", 1);
  WriteSource(clash / "caf\xE9", 1);
  // A link to itself: there, yet never a file to open (ELOOP).
  const std::string looping = (dir / "looping").string();
  std::filesystem::create_symlink("looping", looping);
  // A subfolder nobody may list; as root the walk runs as nobody.
  TempDir sealed;
  std::filesystem::create_directories(sealed / "locked");
  WriteSource(sealed / "locked" / "inside", 1);
  std::filesystem::permissions(sealed.Path(), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                                  std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                                  std::filesystem::perms::others_exec);
  std::filesystem::permissions(sealed / "locked", std::filesystem::perms::none);
  auto walkUnprivileged = [&] {
    const uid_t was = ::geteuid();
    if (was == 0) {
      ASSERT_EQ(::seteuid(65534), 0);
    }
    builder.AddFolderContents(sealed.Path().string(), builder.Root());
    if (was == 0) {
      ASSERT_EQ(::seteuid(0), 0);
    }
    EXPECT_EQ(builder.Root().FindChild("locked"), nullptr) << "never an empty folder";
  };

  struct Case {
    std::function<void()> add;
    RefusalKind kind;
    bool folder;
    std::string path;
    int error;
    std::uint64_t value, limit;
    std::string other;
    std::string words;  // a part of the reason in words
  };
  const std::string longName = std::string(252, 'q') + ".txt";
  auto file = [&](std::string name, std::string from) {
    return [this, name, from] { builder.AddFileEntry(builder.Root(), name, from); };
  };
  const std::vector<Case> cases = {
      {file("gone", gone), RefusalKind::SourceMissing, false, gone, ENOENT, 0, 0, "", "removed or renamed since it was added"},
      {file("dangling", dangling), RefusalKind::SourceMissing, false, dangling, ENOENT, 0, 0, (dir / "nothing").string(), "which is not there"},
      {file("looping", looping), RefusalKind::Unreadable, false, looping, ELOOP, 0, 0, "", "cannot be read"},
      {file("fifo", fifo), RefusalKind::NotRegularFile, false, fifo, 0, 0, 0, "", "not a file whose contents can be burned"},
      {file(longName, free), RefusalKind::NameTooLong, false, free, 0, 256, 255, "", "256 bytes, at most 255"},
      {[&] { builder.AddDirectoryEntry(builder.Root(), "a/b", "/x/a/b"); }, RefusalKind::NameInvalid, true, "/x/a/b", 0, 0, 0, "", "a name the disc cannot hold"},
      {[&] { builder.AddFileEntry(builder.Root(), "huge", huge); builder.BuildImage(); builder.ResetImage(); }, RefusalKind::FileTooLarge, false, huge, 0, 0x100000000, 0xFFFFFFFF, "", "4294967296 bytes, at most 4294967295"},
      {[&] { builder.AddFolderContents(loops.Path().string(), builder.Root()); }, RefusalKind::Loop, true, (loops / "a" / "up").string(), 0, 0, 0, "", "a link back"},
      {[&] { builder.AddFolderContents(clash.Path().string(), builder.Root()); }, RefusalKind::NameClash, false, (clash / "caf\xE9").string(), 0, 0, 0, "caf\xC3\xA9", "would be that of"},
      {file("cpuinfo", "/proc/cpuinfo"), RefusalKind::SizeUnknown, false, "/proc/cpuinfo", 0, 0, 0, "", "reads as 0 but it has contents"},
      {walkUnprivileged, RefusalKind::Unreadable, true, (sealed / "locked").string(), EACCES, 0, 0, "", "cannot be read"},
      {[&] { builder.AddFolderContents((dir / "nowhere").string(), builder.Root()); }, RefusalKind::SourceMissing, true, (dir / "nowhere").string(), ENOENT, 0, 0, "", "removed or renamed"},
  };
  for (const Case& c : cases) {
    host.errors.clear();
    host.refusals.clear();
    c.add();
    ASSERT_EQ(host.refusals.size(), 1u) << c.path;
    const scrivo::EntryRefusal& r = host.refusals[0];
    EXPECT_EQ(r.kind, c.kind) << c.path;
    EXPECT_EQ(r.folder, c.folder) << c.path;
    EXPECT_EQ(r.path, c.path);
    EXPECT_EQ(r.error, c.error) << c.path;
    EXPECT_EQ(r.value, c.value) << c.path;
    EXPECT_EQ(r.limit, c.limit) << c.path;
    EXPECT_EQ(r.other, c.other) << c.path;
    EXPECT_THAT(r.Describe(), ::testing::StartsWith(c.path + ": "));
    EXPECT_THAT(r.Describe(), ::testing::HasSubstr(c.words));
    // The documented text stays the failure text of the entry.
    EXPECT_THAT(host.errors, ElementsAre(c.folder ? scrivo::kDirectoryEntryFailure : scrivo::kFileEntryFailure));
  }
  std::filesystem::permissions(sealed / "locked", std::filesystem::perms::owner_all);
}
