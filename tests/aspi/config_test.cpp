// Reading the configuration variables, and the state file format.

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/aspi/config.h"
#include "platform/aspi/virtual/disc_state_text.h"

namespace {

using wnaspi::ParseConfig;
using wnaspi::vdrive::Medium;

TEST(Config, UnsetMeansOneCdRwInTheUsersDataDirectory) {
  auto config = ParseConfig({{"XDG_DATA_HOME", "/data"}, {"HOME", "/home/u"}});
  ASSERT_EQ(config.virtualWriters.size(), 1u);
  EXPECT_EQ(config.virtualWriters[0]->medium, Medium::CdRw);
  EXPECT_EQ(config.virtualWriters[0]->directory, "/data/quillon/virtual-writer");
  config = ParseConfig({{"HOME", "/home/u"}});
  EXPECT_EQ(config.virtualWriters[0]->directory, "/home/u/.local/share/quillon/virtual-writer");
  // A relative XDG_DATA_HOME is ignored, as the XDG specification says.
  config = ParseConfig({{"XDG_DATA_HOME", "data"}, {"HOME", "/home/u"}});
  EXPECT_EQ(config.virtualWriters[0]->directory, "/home/u/.local/share/quillon/virtual-writer");
  config = ParseConfig({});
  EXPECT_TRUE(config.virtualWriters.empty());
  EXPECT_EQ(config.problems.size(), 1u);
}

TEST(Config, WritersInOrderWithTheirMedia) {
  const auto config = ParseConfig(
      {{"WNASPI32_VIRTUAL_WRITERS", " cd-r=/a ; dvd-rw=~/b;dvd+r=rel/c;"}, {"HOME", "/h"}});
  ASSERT_EQ(config.virtualWriters.size(), 3u);
  EXPECT_EQ(config.virtualWriters[0]->medium, Medium::CdR);
  EXPECT_EQ(config.virtualWriters[0]->directory, "/a");
  EXPECT_EQ(config.virtualWriters[1]->medium, Medium::DvdMinusRw);
  EXPECT_EQ(config.virtualWriters[1]->directory, "/h/b");
  EXPECT_EQ(config.virtualWriters[2]->directory, std::filesystem::current_path() / "rel" / "c");
  EXPECT_TRUE(config.problems.empty());
}

TEST(Config, EmptyMeansNoWriter) {
  EXPECT_TRUE(ParseConfig({{"WNASPI32_VIRTUAL_WRITERS", ""}, {"HOME", "/h"}}).virtualWriters.empty());
}

TEST(Config, AtMostEightWriters) {
  std::string list;
  for (int i = 0; i < 10; ++i) list += "cd-r=/w" + std::to_string(i) + ";";
  const auto config = ParseConfig({{"WNASPI32_VIRTUAL_WRITERS", list}});
  EXPECT_EQ(config.virtualWriters.size(), 8u);
  EXPECT_EQ(config.problems.size(), 1u);
}

TEST(Config, SwitchesAndNumbers) {
  auto config = ParseConfig({{"WNASPI32_DEBUG", "1"}, {"WNASPI32_REAL_DRIVES", "0"},
                             {"WNASPI32_VIRTUAL_POLLS", "5"}, {"WNASPI32_TRACE", "/t"},
                             {"WNASPI32_VIRTUAL_FAULTS", "neverready"},
                             {"WNASPI32_VIRTUAL_LATENCY_US", "125"}, {"WNASPI32_VIRTUAL_STRICT", "1"},
                             {"WNASPI32_VIRTUAL_SPEED", "22160"}, {"WNASPI32_VIRTUAL_BUFFER_KIB", "4096"},
                             {"WNASPI32_VIRTUAL_RECOGNITION", "3"}, {"WNASPI32_VIRTUAL_VIA_SG", "yes"},
                             {"WNASPI32_VIRTUAL_FOREIGN_PAGE", "1"}});
  EXPECT_TRUE(config.model.strict);
  EXPECT_TRUE(config.model.foreignPage);
  EXPECT_EQ(config.model.rateKBps, 22160u);
  EXPECT_EQ(config.model.bufferKiB, 4096u);
  EXPECT_EQ(config.model.recognitionCommands, 3u);
  EXPECT_TRUE(config.virtualViaSg);
  EXPECT_TRUE(config.debug);
  EXPECT_EQ(config.commandLatency, std::chrono::microseconds(125));
  EXPECT_FALSE(config.realDrives);
  EXPECT_EQ(config.pollsPerOperation, 5u);
  EXPECT_EQ(config.traceFile, "/t");
  EXPECT_EQ(config.faults, "neverready");
  config = ParseConfig({{"WNASPI32_DEBUG", "0"}, {"WNASPI32_VIRTUAL_POLLS", "0"},
                        {"WNASPI32_VIRTUAL_LATENCY_US", "-5"}, {"WNASPI32_VIRTUAL_BUFFER_KIB", "0"}});
  EXPECT_TRUE(config.model.strict) << "the writers are strict unless told otherwise";
  for (const char* off : {"0", "no", "off"}) {
    EXPECT_FALSE(ParseConfig({{"WNASPI32_VIRTUAL_STRICT", off}}).model.strict) << off;
  }
  EXPECT_FALSE(config.model.foreignPage);
  EXPECT_EQ(config.model.bufferKiB, 2048u);
  EXPECT_FALSE(config.virtualViaSg);
  EXPECT_FALSE(config.debug);
  EXPECT_TRUE(config.realDrives);
  EXPECT_EQ(config.pollsPerOperation, 20u);
  EXPECT_EQ(config.commandLatency, std::chrono::microseconds(0));
  EXPECT_EQ(std::count_if(config.problems.begin(), config.problems.end(),
                          [](const std::string& p) { return p.starts_with("WNASPI32_VIRTUAL_"); }),
            3)
      << "each value that is not a number is reported";
}

TEST(DiscStateText, RoundTrip) {
  using namespace wnaspi::vdrive;
  DiscState disc = DiscState::Blank(Medium::DvdMinusRw);
  disc.sessions.push_back({1, true, NextSession::Allowed, 0x20});
  disc.sessions.push_back({2, false, NextSession::None, 0});
  disc.tracks.push_back({1, 1, 0, 100, 100, true, true, 5});
  disc.tracks.push_back({2, 2, 16512, 3, 0, false, false, 5});
  disc.busy = {BusyKind::Blank, 3, 20};
  const std::string text = SerializeDiscState(disc);
  std::string error;
  const auto parsed = ParseDiscState(text, &error);
  ASSERT_TRUE(parsed.has_value()) << error;
  EXPECT_EQ(SerializeDiscState(*parsed), text);
  EXPECT_NE(text.find("session=1 closed=yes next=allowed format=20\n"), std::string::npos);
  EXPECT_NE(text.find("busy=blank polls=3 total=20\n"), std::string::npos);
}

TEST(DiscStateText, ErrorsSayWhere) {
  using wnaspi::vdrive::ParseDiscState;
  std::string error;
  EXPECT_FALSE(ParseDiscState("version=1\nmedium=cd-r\ntrack=1 session=1\n", &error));
  EXPECT_EQ(error, "line 3: missing field start");
  EXPECT_FALSE(ParseDiscState("version=3\nmedium=cd-r\n", &error));
  EXPECT_EQ(error, "line 1: unsupported version");
  EXPECT_FALSE(ParseDiscState("version=1\nmedium=cd-r\nsession=1 closed=maybe next=none format=00\n",
                              &error));
  EXPECT_EQ(error, "line 3: bad yes/no value of closed");
  EXPECT_FALSE(ParseDiscState(
      "version=1\nmedium=cd-r\nsession=1 closed=no next=none format=00 colour=red\n", &error));
  EXPECT_EQ(error, "line 3: unknown field colour");
  EXPECT_FALSE(ParseDiscState(
      "version=1\nmedium=cd-r\nformatted=no\nfinalized=no\nbusy=none\n"
      "session=1 closed=no next=none format=00\n",
      &error));
  EXPECT_EQ(error, "session 1 has no track");
  EXPECT_FALSE(ParseDiscState("medium=cd-r\n", &error));
  EXPECT_TRUE(ParseDiscState(
      "# comment\r\nversion=1\r\nmedium=dvd+rw\r\nformatted=no\r\nfinalized=no\r\nbusy=none\r\n", &error))
      << error;
}

}  // namespace
