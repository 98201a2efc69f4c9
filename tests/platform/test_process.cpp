// Process services with real child programs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/os/process.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;

TEST(Process, DetachedProgramGetsItsArgumentsIntactAndNoDescriptors) {
  CTempFolder tmp;
  fs::create_directories(tmp.Path("a \"quoted\" folder"));
  const std::string script = tmp.Path("a \"quoted\" folder/run me.sh");
  std::ofstream(script) << "#!/bin/sh\n"
                           "out=\"$1\"; fd=\"$2\"; shift 2\n"
                           "if [ -e /proc/$$/fd/$fd ]; then held=inherited; else held=closed; fi\n"
                           "printf '%s\\n' \"$0\" \"$@\" \"$held\" > \"$out.part\"\n"
                           "mv \"$out.part\" \"$out\"\n";
  fs::permissions(script, fs::perms::owner_all);
  const std::string out = tmp.Path("args.txt");

  // A descriptor this process opened without close-on-exec must not reach the program.
  std::FILE* held = std::fopen(script.c_str(), "r");
  ASSERT_NE(held, nullptr);
  const std::string channelList = tmp.Path("my \"lists\"/sat 1.sdx");
  const bool started = StartDetachedProcess(
      script, {out, std::to_string(fileno(held)), "-c", "5", "-p", channelList, ""});
  std::fclose(held);
  ASSERT_TRUE(started);
  for (int i = 0; i < 1000 && !fs::exists(out); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(ReadText(out), script + "\n-c\n5\n-p\n" + channelList + "\n\nclosed\n");

  // A program that cannot run is reported.
  EXPECT_FALSE(StartDetachedProcess(tmp.Path("missing program"), {"-c", "1"}));
  EXPECT_FALSE(StartDetachedProcess(tmp.MakeFile("plain.txt", {'e', 'c', 'h', 'o'}), {}));
}

TEST(Process, ExitNowFlushesOutputAndSkipsCleanUp) {
  CTempFolder tmp;
  const std::string out = tmp.Path("stdout.txt");
  EXPECT_EXIT(
      {
        if (std::freopen(out.c_str(), "w", stdout) == nullptr) std::abort();
        std::atexit([] { std::fputs("clean-up ran", stdout); });
        std::fputs("buffered words", stdout);
        ExitProcessNow(3);
      },
      ::testing::ExitedWithCode(3), "");
  EXPECT_EQ(ReadText(out), "buffered words");
}

}  // namespace
