// The usage lines of quillon's help are what its manual page and its bash
// completion are made of: every option a usage line names must be one the
// command's parser takes, with a value exactly when the usage gives one.

#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "tools/quillon/help.h"
#include "tools/quillon/options.h"

TEST(HelpUsage, EveryOptionItNamesIsTakenByTheCommand) {
  const std::regex option("\\[(--[a-z-]+)( [A-Z]+)?\\]");
  int seen = 0;
  for (const quillon::CommandText& command : quillon::Commands()) {
    const std::string usage(command.usage);
    for (std::sregex_iterator it(usage.begin(), usage.end(), option), end; it != end; ++it, ++seen) {
      const std::string name = (*it)[1];
      const bool valued = (*it)[2].matched;
      quillon::BurnerOptions parsed;
      std::string error;
      std::vector<std::string> args{valued ? name + "=1" : name};
      if (command.name == "burn") args.push_back("PATH");
      EXPECT_TRUE(quillon::ParseBurnerOptions(std::string(command.name), args, parsed, error))
          << command.name << ' ' << name << ": " << error;
      if (!valued) {
        EXPECT_FALSE(quillon::ParseBurnerOptions(std::string(command.name), {name + "=1"}, parsed, error))
            << command.name << ' ' << name << " takes a value the usage does not show";
      }
    }
  }
  EXPECT_GT(seen, 10);
}
