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

TEST(CommandLine, ParsesTheCasesTechniciansType) {
  const std::vector<ParseCase> cases = {
      {"no arguments", {}, 0, {{"-c", {}}}},
      {"port and speed", {"-c", "COM3", "-s", "57600"}, 2, {{"-c", {"COM3"}}, {"-s", {"57600"}}}},
      {"first of a repeated option wins", {"-c", "COM2", "-c", "COM4"}, 1, {{"-c", {"COM2"}}}},
      {"two files after -p", {"-p", "a.bin", "b.bin"}, 1, {{"-p", {"a.bin", "b.bin"}}}},
      {"value before any option is dropped", {"x.bin", "-p", "y.bin"}, 1, {{"-p", {"y.bin"}}}},
      {"dashed path is an option", {"-p", "-new.bin"}, 2, {{"-p", {""}}, {"-new.bin", {""}}}},
      {"dash and digit is a value", {"-s", "-1"}, 1, {{"-s", {"-1"}}}},
      {"lone dash is a value", {"-p", "-"}, 1, {{"-p", {"-"}}}},
      {"last option has an empty value", {"-u", "db.bin", "-c"}, 2, {{"-c", {""}}, {"-u", {"db.bin"}}}},
      {"case matters", {"-C", "COM2"}, 1, {{"-C", {"COM2"}}, {"-c", {}}}},
      {"quoted path with blanks is one value", {"-p", "/tmp/my images/new sw.bin"}, 1,
       {{"-p", {"/tmp/my images/new sw.bin"}}}},
      {"slash token is a value", {"-d", "/data/db.bin"}, 1, {{"-d", {"/data/db.bin"}}}},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.name);
    CCommandLine cl;
    EXPECT_EQ(ParseArgs(cl, c.args), c.expectedCount);
    for (const auto& [option, values] : c.expected) {
      ASSERT_EQ(cl.HasOption(option), !values.empty()) << option;
      for (unsigned i = 0; i < values.size(); ++i) EXPECT_EQ(cl.GetValue(option, i), values[i]);
      if (!values.empty()) {
        EXPECT_THROW(cl.GetValue(option, static_cast<unsigned>(values.size())), int);
      }
    }
  }
}

TEST(CommandLine, ParseStartsAfreshAndAbsentOptionsThrowZero) {
  CCommandLine cl;
  ParseArgs(cl, {"-p", "a.bin"});
  EXPECT_EQ(ParseArgs(cl, {"-d", "b.bin"}), 1);
  EXPECT_FALSE(cl.HasOption("-p"));
  try {
    cl.GetValue("-p", 0);
    FAIL() << "no exception";
  } catch (int code) {
    EXPECT_EQ(code, 0);
  }
}

TEST(CommandLine, HelpTextHasTheSixLinesSeparatedByBlankLines) {
  EXPECT_EQ(CommandLineHelpText(),
            "Quorin.exe -c COM1\n\nQuorin.exe -s 9600\n\nQuorin.exe -p new_sw.bin\n\n"
            "Quorin.exe -d download_db.bin\n\nQuorin.exe -u upload_db.bin\n\nQuorin.exe -h");
}

}  // namespace
