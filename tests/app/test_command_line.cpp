#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "resources/resource.h"

namespace {

struct ParseCase {
  const char* name;
  std::vector<const char*> args;  // without argument 0
  int expectedCount;
  // option -> expected values; an option absent from the map is given as {}
  std::vector<std::pair<const char*, std::vector<std::string>>> expected;
};

int ParseArgs(CCommandLine& cl, const std::vector<const char*>& args) {
  std::vector<const char*> argv{"quorin"};
  argv.insert(argv.end(), args.begin(), args.end());
  return cl.Parse(static_cast<int>(argv.size()), argv.data());
}

// One parser for all the cases: each parse starts afresh. An option asked for that was not
// given throws 0; a value past the last one throws too.
TEST(CommandLine, ParsesTheCasesTechniciansType) {
  const std::vector<ParseCase> cases = {
      {"port and speed", {"-c", "COM3", "-s", "57600"}, 2, {{"-c", {"COM3"}}, {"-s", {"57600"}}}},
      {"no arguments", {}, 0, {{"-c", {}}, {"-s", {}}}},
      {"first of a repeated option wins", {"-c", "COM2", "-c", "COM4"}, 1, {{"-c", {"COM2"}}}},
      {"two files after -p", {"-p", "a.bin", "b.bin"}, 1, {{"-p", {"a.bin", "b.bin"}}}},
      {"value before any option is dropped", {"x.bin", "-d", "y.bin"}, 1,
       {{"-d", {"y.bin"}}, {"-p", {}}}},
      {"dashed path is an option", {"-p", "-new.bin"}, 2, {{"-p", {""}}, {"-new.bin", {""}}}},
      {"dash and digit is a value", {"-s", "-1"}, 1, {{"-s", {"-1"}}}},
      {"lone dash is a value", {"-p", "-"}, 1, {{"-p", {"-"}}}},
      {"last option has an empty value", {"-u", "db.bin", "-c"}, 2, {{"-c", {""}}, {"-u", {"db.bin"}}}},
      {"case matters", {"-C", "COM2"}, 1, {{"-C", {"COM2"}}, {"-c", {}}}},
      {"quoted path with blanks is one value", {"-p", "/tmp/my images/new sw.bin"}, 1,
       {{"-p", {"/tmp/my images/new sw.bin"}}}},
      {"slash token is a value", {"-d", "/data/db.bin"}, 1, {{"-d", {"/data/db.bin"}}}},
  };
  CCommandLine cl;
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ParseArgs(cl, c.args), c.expectedCount);
    for (const auto& [option, values] : c.expected) {
      ASSERT_EQ(cl.HasOption(option), !values.empty()) << option;
      for (unsigned i = 0; i < values.size(); ++i) EXPECT_EQ(cl.GetValue(option, i), values[i]);
      try {
        cl.GetValue(option, static_cast<unsigned>(values.size()));
        ADD_FAILURE() << option << " has no value " << values.size();
      } catch (int code) {
        if (values.empty()) {
          EXPECT_EQ(code, 0) << option;
        }
      }
    }
  }
}

TEST(CommandLine, HelpTextHasTheSixLinesSeparatedByBlankLines) {
  EXPECT_EQ(CommandLineHelpText(),
            "Quorin.exe -c COM1\n\nQuorin.exe -s 9600\n\nQuorin.exe -p new_sw.bin\n\n"
            "Quorin.exe -d download_db.bin\n\nQuorin.exe -u upload_db.bin\n\nQuorin.exe -h");
}

}  // namespace
