// Rock Ridge as the image builder writes it: the entry builders read back
// by the import's parser (and SL, which it does not decode, by the RRIP
// component layout), and built images walked through their Rock Ridge
// entries: modes, exact names, deep folders, files of several sections.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "engine/iso/image_builder.h"
#include "engine/iso/rock_ridge_fields.h"
#include "engine/iso/rock_ridge_writer.h"
#include "iso_test_support.h"

namespace {

namespace fs = std::filesystem;
namespace rrip = scrivo::rrip;
using Bytes = std::vector<std::uint8_t>;

rrip::RecordFields Parse(const Bytes& entries) {
  rrip::RecordFields fields;
  rrip::ReadEntries(entries, fields);
  return fields;
}

// The target an SL chain spells (RRIP 4.1.3.1: component flags CONTINUE 1,
// CURRENT 2, PARENT 4, ROOT 8).
std::string LinkTarget(const Bytes& entries) {
  std::string target;
  bool joinNext = false;
  for (std::size_t at = 0; at + 5 <= entries.size(); at += entries[at + 2]) {
    if (entries[at] != 'S' || entries[at + 1] != 'L') continue;
    for (std::size_t c = at + 5; c + 2 <= at + entries[at + 2]; c += 2 + entries[c + 1]) {
      const std::uint8_t flags = entries[c];
      if (!joinNext && !target.empty() && target != "/") target += '/';
      if (flags & 8) target = "/";
      if (flags & 2) target += ".";
      if (flags & 4) target += "..";
      target.append(entries.begin() + static_cast<std::ptrdiff_t>(c + 2),
                    entries.begin() + static_cast<std::ptrdiff_t>(c + 2 + entries[c + 1]));
      joinNext = (flags & 1) != 0;
    }
  }
  return target;
}

bool EntriesFit(const Bytes& entries) {
  for (const auto entry : rrip::EntriesOf(entries)) {
    if (entry.size() > rrip::kLongestEntry) return false;
  }
  std::size_t total = 0;
  for (const auto entry : rrip::EntriesOf(entries)) total += entry.size();
  return total == entries.size();
}

TEST(RockRidgeEntries, NamesModesAndLinksReadBack) {
  struct Case {
    std::string name;
    std::uint32_t mode;
    std::string target;  // empty: no SL
    std::string spelt;   // the target as SL spells it
  };
  const std::string longComponent(300, 'c');
  std::string manyComponents;
  for (int i = 0; i < 60; ++i) manyComponents += "dir" + std::to_string(i) + "/";
  const Case cases[] = {
      {"a.txt", S_IFREG | 0444, "", ""},
      {std::string(255, 'n'), S_IFREG | 0555, "", ""},
      {"\xFF odd \x01 bytes;1", S_IFDIR | 0555, "", ""},
      {"up", S_IFLNK | 0777, "../a.txt", "../a.txt"},
      {"abs", S_IFLNK | 0777, "/etc/passwd", "/etc/passwd"},
      {"dots", S_IFLNK | 0777, "./x//y/", "./x/y"},
      {"long", S_IFLNK | 0777, longComponent, longComponent},
      {"many", S_IFLNK | 0777, manyComponents + "end", manyComponents + "end"},
  };
  for (const Case& c : cases) {
    Bytes entries;
    rrip::AppendPosixAttributes(entries, c.mode, 1);
    rrip::AppendName(entries, c.name);
    if (!c.target.empty()) rrip::AppendSymbolicLink(entries, c.target);
    const rrip::RecordFields fields = Parse(entries);
    EXPECT_TRUE(EntriesFit(entries)) << c.name;
    EXPECT_TRUE(fields.hasName);
    EXPECT_EQ(fields.name, c.name);
    EXPECT_EQ(fields.mode, c.mode) << c.name;
    EXPECT_EQ(LinkTarget(entries), c.spelt) << c.name;
    EXPECT_EQ(fields.carried, entries) << "every entry here describes the file";
  }
}

TEST(RockRidgeEntries, SharedModes) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {S_IFREG | 0644, S_IFREG | 0444}, {S_IFREG | 0700, S_IFREG | 0555},
      {S_IFREG | 0010, S_IFREG | 0555}, {S_IFREG | 04777, S_IFREG | 0555},
      {S_IFDIR | 0700, S_IFDIR | 0555}, {S_IFLNK | 0700, S_IFLNK | 0777},
  };
  for (const auto& [source, shared] : cases) EXPECT_EQ(rrip::SharedMode(source), shared) << std::oct << source;
}

TEST(RockRidgeEntries, LinksContinuationAndSplitting) {
  Bytes entries;
  rrip::AppendChildLink(entries, 1234);
  rrip::AppendRelocated(entries);
  rrip::AppendContinuation(entries);
  rrip::SetContinuation(entries.data() + entries.size() - rrip::kContinuationLength, 77, 100, 237);
  const rrip::RecordFields fields = Parse(entries);
  EXPECT_EQ(fields.childLink, 1234u);
  EXPECT_TRUE(fields.relocated);
  ASSERT_TRUE(fields.continuation);
  EXPECT_EQ(fields.continuation->block, 77u);
  EXPECT_EQ(fields.continuation->offset, 100u);
  EXPECT_EQ(fields.continuation->length, 237u);

  // Entries split over the record and areas come back whole and in order.
  struct Split {
    std::size_t nameBytes;
    std::size_t room;
    std::size_t areaLimit;
    std::size_t areas;
  };
  for (const Split& s : {Split{10, 200, 2048, 1}, Split{255, 100, 2048, 1}, Split{2000, 150, 600, 5}}) {
    Bytes all;
    rrip::AppendSuspIndicator(all);
    rrip::AppendPosixAttributes(all, S_IFREG | 0444, 1);
    rrip::AppendName(all, std::string(s.nameBytes, 'x'));
    rrip::AppendExtensionReference(all);
    const rrip::SplitSystemUse split = rrip::SplitEntries(all, s.room, s.areaLimit);
    EXPECT_LE(split.inside.size(), s.room);
    EXPECT_EQ(split.areas.size(), s.areas);
    Bytes joined = split.inside;
    for (const Bytes& area : split.areas) {
      EXPECT_LE(area.size(), s.areaLimit);
      joined.insert(joined.end(), area.begin(), area.end());
    }
    // What is left once each CE is taken out is what went in.
    Bytes withoutContinuations;
    for (const auto entry : rrip::EntriesOf(joined)) {
      if (entry[0] != 'C' || entry[1] != 'E') withoutContinuations.insert(withoutContinuations.end(), entry.begin(), entry.end());
    }
    EXPECT_EQ(withoutContinuations, all) << s.nameBytes;
    EXPECT_EQ(Parse(withoutContinuations).name, std::string(s.nameBytes, 'x'));
  }
}

// --- Built images ------------------------------------------------------------

// One entry of the built ISO 9660 tree as Rock Ridge shows it.
struct RockRidgeEntry {
  isotest::Record record;
  rrip::RecordFields fields;
  Bytes entries;  // every entry, continuation areas followed
};

class RockRidgeImage : public ::testing::Test {
 protected:
  RockRidgeImage() { builder.Bind(&host); }

  // The records of an ISO 9660 directory with their Rock Ridge entries,
  // "." and ".." included.
  std::vector<RockRidgeEntry> List(std::uint32_t extent, std::uint32_t size) const {
    std::vector<RockRidgeEntry> listed;
    for (const isotest::Record& record : isotest::ReadDirectory(builder, extent, size)) {
      const std::uint8_t* at = isotest::BlockAt(builder, record.block) + record.offset;
      const std::size_t start = 33 + record.identifier.size() + (record.identifier.size() + 1) % 2;
      RockRidgeEntry entry{record, {}, Bytes(at + start, at + record.length)};
      rrip::ReadEntries(entry.entries, entry.fields);
      while (entry.fields.continuation) {
        const auto ce = *entry.fields.continuation;
        entry.fields.continuation.reset();
        const std::uint8_t* area = isotest::BlockAt(builder, ce.block) + ce.offset;
        entry.entries.insert(entry.entries.end(), area, area + ce.length);
        rrip::ReadEntries(std::span(area, ce.length), entry.fields);
      }
      listed.push_back(std::move(entry));
    }
    return listed;
  }

  // The entry of `path` (Rock Ridge names, "/" between) following CL links.
  std::optional<RockRidgeEntry> Find(const std::string& path) const {
    const isotest::Record root = isotest::RootRecordOf(builder, 16);
    std::uint32_t extent = root.extent;
    std::uint32_t size = root.dataLength;
    std::optional<RockRidgeEntry> found;
    for (std::size_t from = 0; from <= path.size();) {
      const std::size_t slash = std::min(path.find('/', from), path.size());
      const std::string name = path.substr(from, slash - from);
      from = slash + 1;
      found.reset();
      const auto listed = List(extent, size);
      for (std::size_t i = 2; i < listed.size(); ++i) {
        if (listed[i].fields.name == name && !listed[i].fields.relocated) found = listed[i];
      }
      if (!found) return std::nullopt;
      extent = found->fields.childLink.value_or(found->record.extent);
      size = found->fields.childLink ? List(extent, 2048).front().record.dataLength : found->record.dataLength;
    }
    return found;
  }

  isotest::TempDir source;
  isotest::RecordingHost host;
  scrivo::CImageBuilder builder;
};

TEST_F(RockRidgeImage, ModesExactNamesAndTheExtensionAreRecorded) {
  isotest::WriteSource(source / "run.sh", 10);
  fs::permissions(source / "run.sh", fs::perms(0700));
  isotest::WriteSource(source / "notes.txt", 10);
  fs::create_directories(source / "dir;1");
  builder.AddFolderContents(source.Path().string(), builder.Root());
  ASSERT_TRUE(builder.BuildImage());

  const isotest::Record root = isotest::RootRecordOf(builder, 16);
  const auto listed = List(root.extent, root.dataLength);
  ASSERT_TRUE(rrip::SuspIndicatorSkip(listed.front().entries)) << "no SP in the root's \".\"";
  const std::string rootEntries(listed.front().entries.begin(), listed.front().entries.end());
  EXPECT_NE(rootEntries.find("RRIP_1991A"), std::string::npos) << "no ER";
  EXPECT_EQ(listed.front().fields.mode, S_IFDIR | 0555u);
  const std::pair<std::string, std::uint32_t> expected[] = {
      {"run.sh", S_IFREG | 0555}, {"notes.txt", S_IFREG | 0444}, {"dir;1", S_IFDIR | 0555}};
  for (const auto& [name, mode] : expected) {
    const auto entry = Find(name);
    ASSERT_TRUE(entry) << name;
    EXPECT_EQ(entry->fields.mode, mode) << name;
  }
}

TEST_F(RockRidgeImage, DeepFoldersAreMovedAndLinked) {
  fs::path deep = source.Path();
  std::string path;
  for (int level = 2; level <= 12; ++level) {
    deep /= "level" + std::to_string(level);
    path += (path.empty() ? "" : "/") + deep.filename().string();
  }
  fs::create_directories(deep);
  isotest::WriteSource(deep / "bottom.bin", 3000);
  builder.AddFolderContents(source.Path().string(), builder.Root());
  ASSERT_TRUE(builder.BuildImage());

  const auto bottom = Find(path + "/bottom.bin");
  ASSERT_TRUE(bottom) << "the file of level 12 is not where it belongs";
  EXPECT_EQ(bottom->record.dataLength, 3000u);
  // The plain ISO 9660 tree holds at most eight levels: the moved folders
  // hang below the relocation folder, listed in the path table.
  const auto moved = Find("rr_moved");
  ASSERT_TRUE(moved);
  const auto inside = List(moved->record.extent, moved->record.dataLength);
  ASSERT_EQ(inside.size(), 3u);
  EXPECT_TRUE(inside[2].fields.relocated);
  EXPECT_EQ(inside[2].fields.name, "level9");
  const auto back = List(inside[2].record.extent, inside[2].record.dataLength);
  EXPECT_EQ(back[1].record.extent, moved->record.extent) << "\"..\" of a moved folder";
  // Its PL names the folder it belongs in.
  const auto parent = Find(path.substr(0, path.find("/level9")));
  ASSERT_TRUE(parent);
  const std::string parentEntries(back[1].entries.begin(), back[1].entries.end());
  const std::size_t pl = parentEntries.find("PL\x0C\x01");
  ASSERT_NE(pl, std::string::npos);
  EXPECT_EQ(isotest::Both32(back[1].entries.data() + pl + 4), parent->record.extent);
  const auto table = isotest::ReadPathTable(builder, 16, false);
  EXPECT_EQ(table.size(), 13u) << "root, eleven folders and the relocation folder";
}

TEST_F(RockRidgeImage, TheUsersOwnRelocationNameStaysTheirs) {
  // A root entry named like the relocation folder, in Rock Ridge or as
  // ISO 9660 readers list it, keeps its name; the relocation folder takes a
  // number, so no two root records read back alike.
  const std::tuple<std::string, bool, std::string> cases[] = {
      {"rr_moved", true, "rr_moved_1"}, {"RR_MOVED", true, "rr_moved"},
      {"rr.moved", true, "rr_moved"},   {"rr_moved", false, "rr_moved_1"}};
  const fs::path deep = source / "deep/d3/d4/d5/d6/d7/d8/d9/d10";
  fs::create_directories(deep);
  for (const auto& [name, folder, relocationName] : cases) {
    SCOPED_TRACE(name);
    if (folder) fs::create_directory(source / name);
    isotest::WriteSource(folder ? source / name / "mine.txt" : source / name, 7);
    builder.ClearTree();
    builder.ResetImage();
    builder.AddFolderContents(source.Path().string(), builder.Root());
    ASSERT_TRUE(builder.BuildImage());
    const isotest::Record root = isotest::RootRecordOf(builder, 16);
    std::set<std::string> names, listedAs, relocation;
    const auto listed = List(root.extent, root.dataLength);
    for (const RockRidgeEntry& entry : std::span(listed).subspan(2)) {
      const std::string iso = isotest::IdentifierText(entry.record);
      EXPECT_TRUE(names.insert(entry.fields.name).second) << "two root records named " << entry.fields.name;
      EXPECT_TRUE(listedAs.insert(iso.substr(0, iso.find(".;1"))).second) << "two root records list as " << iso;
      if (entry.record.IsDirectory() && List(entry.record.extent, 2048).back().fields.relocated) {
        relocation = {entry.fields.name, iso};
      }
    }
    EXPECT_EQ(relocation, (std::set<std::string>{relocationName, "RR_MOVE1"}));
    EXPECT_TRUE(Find(folder ? name + "/mine.txt" : name)) << "the user's entry is hidden";
    EXPECT_TRUE(Find("deep/d3/d4/d5/d6/d7/d8/d9"));
    fs::remove_all(source / name);
  }
}

TEST_F(RockRidgeImage, LinksAreKeptOnlyWhenAsked) {
  isotest::WriteSource(source / "target.txt", 5);
  ASSERT_EQ(::symlink("target.txt", (source / "link").c_str()), 0);
  for (const bool keep : {false, true}) {
    builder.ClearTree();
    builder.ResetImage();
    builder.KeepLinks(keep);
    builder.AddFolderContents(source.Path().string(), builder.Root());
    ASSERT_TRUE(builder.BuildImage());
    const auto link = Find("link");
    ASSERT_TRUE(link);
    EXPECT_EQ(link->fields.mode, keep ? S_IFLNK | 0777u : S_IFREG | 0444u);
    EXPECT_EQ(LinkTarget(link->entries), keep ? "target.txt" : "");
    EXPECT_EQ(link->record.dataLength, keep ? 0u : 5u);
  }
}

TEST_F(RockRidgeImage, FilesOf4GiBAndMoreAreRecordedInSectionsOnADvdOnly) {
  const std::uint64_t size = (std::uint64_t{4100} << 20) + (1 << 20);
  {
    std::FILE* file = std::fopen((source / "huge.bin").c_str(), "w");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(::ftruncate(fileno(file), static_cast<off_t>(size)), 0);
    std::fclose(file);
  }
  ASSERT_TRUE(builder.AddFileEntry(builder.Root(), "huge.bin", (source / "huge.bin").string()));
  EXPECT_FALSE(builder.BuildImage()) << "a CD's image took a file of 4 GiB";
  ASSERT_EQ(host.refusals.size(), 1u);
  EXPECT_EQ(host.refusals[0].kind, scrivo::RefusalKind::FileTooLarge);

  builder.ResetImage();
  builder.AllowMultiExtentFiles(true);
  ASSERT_TRUE(builder.BuildImage());
  for (std::uint32_t descriptor : {16u, 17u}) {
    const isotest::Record root = isotest::RootRecordOf(builder, descriptor);
    const auto records = isotest::Entries(isotest::ReadDirectory(builder, root.extent, root.dataLength));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].flags, 0x80);
    EXPECT_EQ(records[0].dataLength, 0xFFFFF800u);
    EXPECT_EQ(records[1].flags, 0);
    EXPECT_EQ(std::uint64_t{records[0].dataLength} + records[1].dataLength, size);
    EXPECT_EQ(records[1].extent, records[0].extent + 0xFFFFF800u / 2048) << "sections follow each other";
  }
  EXPECT_EQ(builder.NextDataBlock(), (size + 2047) / 2048);
}

}  // namespace
