#include "tools/quillon/shell_parser.h"

#include <gtest/gtest.h>

namespace {

using quillon::ParseShellLine;
using quillon::ShellCommand;
using platform::Variant;

ShellCommand Parse(const std::string& line) {
  std::string error;
  auto command = ParseShellLine(line, error);
  EXPECT_TRUE(command) << line << ": " << error;
  return command.value_or(ShellCommand{});
}

std::string ErrorOf(const std::string& line) {
  std::string error;
  EXPECT_FALSE(ParseShellLine(line, error)) << line;
  return error;
}

TEST(ShellParser, MembersArgumentsAndSets) {
  auto get = Parse("MediaCount");
  EXPECT_EQ(get.kind, ShellCommand::Kind::Member);
  EXPECT_EQ(get.name, "MediaCount");
  EXPECT_TRUE(get.args.empty());

  auto call = Parse("AddFile \"a \\\"b\\\".txt\" \"/tmp/x\\\\y\"");
  ASSERT_EQ(call.args.size(), 2u);
  EXPECT_EQ(call.args[0], Variant::Bstr(u"a \"b\".txt"));
  EXPECT_EQ(call.args[1], Variant::Bstr(u"/tmp/x\\y"));

  auto put = Parse("VolumeLabel = \"NEW\"");
  EXPECT_EQ(put.kind, ShellCommand::Kind::Put);
  EXPECT_EQ(put.args, std::vector<Variant>{Variant::Bstr(u"NEW")});

  auto numbers = Parse("SetCurrentDevice -1");
  EXPECT_EQ(numbers.args, std::vector<Variant>{Variant::I4(-1)});
  EXPECT_EQ(Parse("Blank true").args, std::vector<Variant>{Variant::Bool(true)});
  EXPECT_EQ(Parse("HAnum=3").kind, ShellCommand::Kind::Put);
  EXPECT_EQ(Parse("   ").kind, ShellCommand::Kind::Empty);
  EXPECT_EQ(Parse("# a comment").kind, ShellCommand::Kind::Empty);
}

TEST(ShellParser, WaitAndPumpDurations) {
  auto wait = Parse("wait Finished");
  EXPECT_EQ(wait.kind, ShellCommand::Kind::Wait);
  EXPECT_EQ(wait.name, "Finished");
  EXPECT_EQ(wait.seconds, 60);
  EXPECT_EQ(Parse("wait BlankFinished 2.5").seconds, 2.5);
  EXPECT_EQ(Parse("pump 250").seconds, 0.25);
  EXPECT_EQ(Parse("pump").kind, ShellCommand::Kind::Pump);
}

TEST(ShellParser, MalformedLinesSayWhy) {
  EXPECT_EQ(ErrorOf("AddFile \"open"), "unterminated string");
  EXPECT_EQ(ErrorOf("wait"), "wait needs an event name");
  EXPECT_EQ(ErrorOf("wait Finished soon"), "bad duration");
  EXPECT_EQ(ErrorOf("VolumeLabel = \"a\" \"b\""), "a set takes exactly one value");
  EXPECT_EQ(ErrorOf("SetCurrentDevice 1x"), "bad value: 1x");
  EXPECT_EQ(ErrorOf("SetCurrentDevice 99999999999"), "bad value: 99999999999");
  EXPECT_EQ(ErrorOf("\"text\""), "expected a member name");
}

TEST(ShellParser, ValuesPrintAsTheShellShowsThem) {
  EXPECT_EQ(quillon::FormatValue(Variant::Bstr(u"say \"hi\"\\")), "\"say \\\"hi\\\"\\\\\"");
  EXPECT_EQ(quillon::FormatValue(Variant::Bool(true)), "true");
  EXPECT_EQ(quillon::FormatValue(Variant::I2(-25536)), "-25536");
  EXPECT_EQ(quillon::FormatValue(Variant::I4(1375)), "1375");
  EXPECT_EQ(quillon::FormatValue(Variant::Bstr(u"\u00E9")), "\"\xC3\xA9\"");
}

}  // namespace
