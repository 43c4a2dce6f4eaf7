// The dates of the image: the two on-disc date forms, the source's
// modification time on every record of both trees, the burn's time on the
// root and the volume descriptors, and an earlier session's dates kept.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>

#include "engine/iso/ecma119_fields.h"
#include "session_import_fixture.h"

namespace isotest {
namespace {

using scrivo::CImageBuilder;
using scrivo::ecma119::DecodeRecordDate;
using scrivo::ecma119::EncodeRecordDate;
using scrivo::ecma119::EncodeVolumeDate;
using scrivo::ecma119::FileTime;
using scrivo::ecma119::RecordDate;

constexpr std::int64_t kNoon = 1733661296;  // 2024-12-08 12:34:56 UTC

struct DateCase {
  FileTime time;
  RecordDate record;
  bool roundTrips;  // false where the moment is held at the field's range
};

TEST(DateFields, RecordDatesHoldTheLocalTimeAndItsOffset) {
  const DateCase cases[] = {
      {{kNoon, 0}, {124, 12, 8, 12, 34, 56, 0}, true},
      {{kNoon, 60}, {124, 12, 8, 13, 34, 56, 4}, true},
      {{kNoon, -300}, {124, 12, 8, 7, 34, 56, 0xEC}, true},  // -20 units
      {{kNoon, 345}, {124, 12, 8, 18, 19, 56, 23}, true},    // +5:45
      {{951867000, 60}, {100, 3, 1, 0, 30, 0, 4}, true},     // past 29 February 2000
      {{-1, 0}, {69, 12, 31, 23, 59, 59, 0}, true},
      {{-2208988801, 0}, {0, 1, 1, 0, 0, 0, 0}, false},           // before 1900
      {{5869583999 + 100, 0}, {255, 12, 31, 23, 59, 59, 0}, false},  // after 2155
  };
  for (const DateCase& c : cases) {
    SCOPED_TRACE(c.time.seconds);
    EXPECT_EQ(EncodeRecordDate(c.time), c.record);
    if (c.roundTrips) {
      EXPECT_EQ(DecodeRecordDate(c.record), c.time);
    }
  }
}

TEST(DateFields, DatesThatNameNoMomentDecodeToNothing) {
  const RecordDate none[] = {{0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0x10}, {124, 13, 1, 0, 0, 0, 0},
                             {124, 2, 30, 0, 0, 0, 0}, {124, 1, 1, 24, 0, 0, 0}, {124, 1, 1, 0, 0, 0, 53}};
  for (const RecordDate& date : none) EXPECT_EQ(DecodeRecordDate(date), std::nullopt) << int(date[1]);
}

TEST(DateFields, VolumeDatesAreDigitsAndTheOffset) {
  const auto date = EncodeVolumeDate({kNoon, 60});
  EXPECT_EQ(std::string(date.begin(), date.begin() + 16), "2024120813345600");
  EXPECT_EQ(date[16], 4);
  const auto early = EncodeVolumeDate({-2208988800, -720});
  EXPECT_EQ(std::string(early.begin(), early.begin() + 16), "1899123112000000");
  EXPECT_EQ(early[16], 0xD0);  // -48 units
  // A verify lays a session out again at the time its descriptor names.
  for (const FileTime time : {FileTime{kNoon, 60}, FileTime{kNoon, -300}, FileTime{-2208988800, -720}}) {
    EXPECT_EQ(scrivo::ecma119::DecodeVolumeDate(EncodeVolumeDate(time)), time) << time.seconds;
  }
  EXPECT_EQ(scrivo::ecma119::DecodeVolumeDate(scrivo::ecma119::kUnspecifiedVolumeDate), std::nullopt);
}

// Two hours east of Greenwich while a test runs, without the zone database.
class EastZone {
 public:
  EastZone() {
    if (const char* tz = std::getenv("TZ")) saved_ = tz;
    ::setenv("TZ", "XST-2", 1);
    ::tzset();
  }
  ~EastZone() {
    if (saved_) ::setenv("TZ", saved_->c_str(), 1); else ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::optional<std::string> saved_;
};

class ImageDates : public SessionImportTest {
 protected:
  static void SetTime(const fs::path& path, std::int64_t seconds) {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }
  // The recording date of each record of a directory, by its place.
  static RecordDate DateAt(const CImageBuilder& image, const Record& record) {
    RecordDate date;
    std::copy_n(BlockAt(image, record.block) + record.offset + 18, 7, date.begin());
    return date;
  }
  EastZone zone;
};

TEST_F(ImageDates, RecordsCarryTheSourceTimesAndTheRootTheBurnTime) {
  fs::create_directories(dir / "tree" / "folder");
  WriteSource(dir / "tree" / "folder" / "a.txt", 10);
  SetTime(dir / "tree" / "folder" / "a.txt", kNoon);
  SetTime(dir / "tree" / "folder", kNoon - 86400);
  builder.FixBurnTime(FileTime{kNoon + 3600, 0});
  builder.AddFolderContents((dir / "tree").string(), builder.Root());
  ASSERT_TRUE(builder.BuildImage());

  const RecordDate burn = {124, 12, 8, 13, 34, 56, 0};
  const RecordDate file = {124, 12, 8, 14, 34, 56, 8};
  const RecordDate folder = {124, 12, 7, 14, 34, 56, 8};
  for (std::uint32_t descriptor : {16u, 17u}) {
    SCOPED_TRACE(descriptor);
    const std::uint8_t* block = BlockAt(builder, descriptor);
    for (std::size_t at : {813u, 830u, 864u}) {
      EXPECT_EQ(std::string(block + at, block + at + 17), "20241208133456" "00" + std::string(1, '\0'));
    }
    EXPECT_EQ(std::string(block + 847, block + 864), std::string(16, '0') + std::string(1, '\0'));
    const Record root = RootRecordOf(builder, descriptor);
    const auto rootRecords = ReadDirectory(builder, root.extent, root.dataLength);
    EXPECT_EQ(DateAt(builder, rootRecords[0]), burn);
    EXPECT_EQ(DateAt(builder, rootRecords[1]), burn);
    ASSERT_EQ(rootRecords.size(), 3u);
    EXPECT_EQ(DateAt(builder, rootRecords[2]), folder);
    const auto inside = ReadDirectory(builder, rootRecords[2].extent, rootRecords[2].dataLength);
    ASSERT_EQ(inside.size(), 3u);
    EXPECT_EQ(DateAt(builder, inside[0]), folder);
    EXPECT_EQ(DateAt(builder, inside[1]), burn);
    EXPECT_EQ(DateAt(builder, inside[2]), file);
  }
}

TEST_F(ImageDates, AnEarlierSessionsEntriesKeepTheirDates) {
  WriteSource(dir / "old.txt", 10);
  SetTime(dir / "old.txt", kNoon);
  BurnSession(0, [&](CImageBuilder& first) {
    first.FixBurnTime(FileTime{kNoon, 0});
    ASSERT_TRUE(first.AddFileEntry(first.Root(), "old.txt", (dir / "old.txt").string()));
    ASSERT_NE(first.AddDirectoryEntry(first.Root(), "kept"), nullptr);
  });
  ASSERT_TRUE(ImportPreviousSession());
  builder.FixBurnTime(FileTime{kNoon + 7 * 86400, 0});
  builder.SetImageOrigin(1000);
  ASSERT_TRUE(builder.BuildImage());
  for (std::uint32_t descriptor : {16u, 17u}) {
    const Record root = RootRecordOf(builder, descriptor);
    const auto records = Entries(ReadDirectory(builder, root.extent, root.dataLength));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(DateAt(builder, records[0]), (RecordDate{124, 12, 8, 12, 34, 56, 0})) << "the folder";
    EXPECT_EQ(DateAt(builder, records[1]), (RecordDate{124, 12, 8, 14, 34, 56, 8})) << "the file";
  }
}

}  // namespace
}  // namespace isotest
