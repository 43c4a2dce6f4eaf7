// Erasing a CD-RW, quickly and fully, and formatting a DVD+RW: each job
// ends with BlankFinished and leaves a disc the next burn can use.

#include <algorithm>

#include "tests/e2e/burn_fixture.h"

namespace e2e {
namespace {

constexpr std::uint8_t kBlank = 0xA1;
constexpr std::uint8_t kFormatUnit = 0x04;
constexpr std::uint8_t kImmediate = 0x10;
constexpr std::uint8_t kBlankWholeDisc = 0x00;
constexpr std::uint8_t kBlankMinimal = 0x01;

class BlankAndFormat : public BurnTest {
 protected:
  // A CD-RW holding one closed session.
  void UseBurnedCdRw() {
    UseWriters({"cd-rw"});
    TempFolder first;
    WriteSampleTree(first.Path(), "OLD");
    BurnFolderOnCd(first.Path(), false);
    SelectWriter(0);
    ASSERT_EQ(Get(scrivo::DISPID_ISDISKBLANK), platform::Variant::Bool(false));
    ASSERT_EQ(Get(scrivo::DISPID_ISDISKERASABLE), platform::Variant::Bool(true));
    sink.events.clear();
  }

  // The blank sent BLANK with the immediate bit and `type`, and reported the
  // drive's progress before BlankFinished.
  void ExpectBlankOfType(std::uint8_t type) {
    auto commands = SentCommands();
    std::size_t blank = FindOpcode(commands, kBlank);
    ASSERT_NE(blank, std::string::npos);
    EXPECT_EQ(commands[blank].at(1), kImmediate | type);
    auto names = EventNames();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names.back(), "BlankFinished");
    auto progress = ProgressEvents();
    EXPECT_EQ(progress.size(), names.size() - 1);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end())) << testing::PrintToString(progress);
    EXPECT_GT(clock.SleepCount(), 0u);
  }

  // The erased disc is blank and takes a new burn that readers can read.
  void ExpectBlankDiscThatBurns() {
    EXPECT_TRUE(Disc().sessions.empty());
    SelectWriter(0);
    EXPECT_EQ(Get(scrivo::DISPID_ISDISKBLANK), platform::Variant::Bool(true));
    TempFolder fresh;
    WriteSampleTree(fresh.Path(), "NEW");
    BurnFolderOnCd(fresh.Path(), false);
    ExpectReadersSee(DiscImage(), fresh.Path());
  }
};

TEST_F(BlankAndFormat, QuickBlankOfACdRwRaisesBlankFinished) {
  UseBurnedCdRw();
  ASSERT_EQ(Blank(false), JobEnd::BlankFinished) << testing::PrintToString(Errors());
  ExpectBlankOfType(kBlankMinimal);
  ExpectBlankDiscThatBurns();
}

TEST_F(BlankAndFormat, FullBlankOfACdRwRaisesBlankFinished) {
  UseBurnedCdRw();
  ASSERT_EQ(Blank(true), JobEnd::BlankFinished) << testing::PrintToString(Errors());
  ExpectBlankOfType(kBlankWholeDisc);
  ExpectBlankDiscThatBurns();
}

TEST_F(BlankAndFormat, DvdPlusRwFormatRaisesTenAndThirtyInEveryCycle) {
  UseWriters({"dvd+rw"});
  ASSERT_EQ(FormatDvd(), JobEnd::BlankFinished) << testing::PrintToString(Errors());
  EXPECT_TRUE(HasOpcode(SentCommands(), kFormatUnit));
  EXPECT_EQ(Disc().header.at("formatted"), "yes");

  // Per polling cycle 10, 30 and the drive's own percentage (absent when
  // it is 0, and in the cycle that sees the format run through), then 100.
  // The first post, 0, raises no event.
  auto progress = ProgressEvents();
  ASSERT_GE(progress.size(), 3u);
  EXPECT_EQ(progress.back(), 100);
  const std::vector<int> cycleEvents(progress.begin(), progress.end() - 1);
  auto startsCycle = [&](std::size_t i) {
    return i + 1 < cycleEvents.size() && cycleEvents[i] == 10 && cycleEvents[i + 1] == 30;
  };
  std::vector<int> drivePercent;
  std::size_t cycles = 0;
  for (std::size_t i = 0; i < cycleEvents.size(); ++cycles) {
    ASSERT_TRUE(startsCycle(i)) << "cycle " << cycles << " of " << testing::PrintToString(progress);
    i += 2;
    if (i < cycleEvents.size() && !startsCycle(i)) drivePercent.push_back(cycleEvents[i++]);
  }
  // One cycle per second of the drive's work (20 polls by default).
  EXPECT_GE(cycles, 10u);
  EXPECT_TRUE(std::is_sorted(drivePercent.begin(), drivePercent.end())) << testing::PrintToString(drivePercent);
  EXPECT_EQ(EventNames().back(), "BlankFinished");
}

TEST_F(BlankAndFormat, RefusedBlankReportsItsTextAndRaisesNoEvent) {
  UseWriters({"cd-rw"}, "fail=A1@1");
  EXPECT_EQ(Blank(false), JobEnd::Failed);
  EXPECT_EQ(Errors(), std::vector<std::string>{"Unable to blank disk."});
  EXPECT_TRUE(sink.events.empty()) << testing::PrintToString(EventNames());
  EXPECT_FALSE(control().Busy());
}

TEST_F(BlankAndFormat, FormatOfACdFailsWithoutTextOrEvent) {
  UseWriters({"cd-r"});
  EXPECT_EQ(FormatDvd(), JobEnd::Failed);
  EXPECT_TRUE(Errors().empty()) << testing::PrintToString(Errors());
  EXPECT_TRUE(sink.events.empty()) << testing::PrintToString(EventNames());
  EXPECT_FALSE(control().Busy());
  EXPECT_TRUE(Disc().sessions.empty());
}

}  // namespace
}  // namespace e2e
