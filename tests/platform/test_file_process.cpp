// Files and process services on real files, /dev/full and a real child program.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/file.h"
#include "platform/process.h"

namespace {

namespace fs = std::filesystem;

class FileProcessTest : public ::testing::Test {
 protected:
  FileProcessTest() {
    std::random_device random;
    m_dir = fs::temp_directory_path() / ("quorin-files-" + std::to_string(random()));
    fs::create_directories(m_dir);
  }
  ~FileProcessTest() override {
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }
  static std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

  fs::path m_dir;
};

TEST_F(FileProcessTest, FileRoundTripAndLength) {
  const std::string path = (m_dir / "image.bin").string();
  std::vector<unsigned char> data(70000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7);
  CFile file;
  ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeReadWrite));
  ASSERT_TRUE(file.Write(data.data(), data.size()));
  EXPECT_EQ(file.GetLength(), 70000);
  ASSERT_TRUE(file.SeekToBegin());
  std::vector<unsigned char> back(data.size() + 10);
  EXPECT_EQ(file.Read(back.data(), back.size()), 70000);
  back.resize(data.size());
  EXPECT_EQ(back, data);
  EXPECT_EQ(file.Read(back.data(), 1), 0);
  file.Close();
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.GetLength(), -1);

  // Create empties an existing file.
  ASSERT_TRUE(file.Open(path, CFile::modeCreate));
  EXPECT_EQ(file.GetLength(), 0);
}

TEST_F(FileProcessTest, FileFailuresAreReported) {
  CFile file;
  EXPECT_FALSE(file.Open((m_dir / "missing").string(), CFile::modeRead));
  EXPECT_EQ(file.LastError(), ENOENT);
  EXPECT_FALSE(file.Open(m_dir.string(), CFile::modeRead));  // a folder is no file
  EXPECT_FALSE(file.IsOpen());

  ASSERT_TRUE(file.Open("/dev/full", CFile::modeReadWrite));
  const char byte = 'x';
  EXPECT_FALSE(file.Write(&byte, 1));
  EXPECT_EQ(file.LastError(), ENOSPC);

  // Address 0 of the process is never mapped: reading it fails.
  ASSERT_TRUE(file.Open("/proc/self/mem", CFile::modeRead));
  char buffer[16];
  EXPECT_EQ(file.Read(buffer, sizeof buffer), -1);
}

TEST_F(FileProcessTest, FileHeadGivesLengthAndFirstBytes) {
  const fs::path path = m_dir / "head.bin";
  std::ofstream(path, std::ios::binary) << std::string("\xB1\xE8 rest of the list", 19);
  struct Case {
    std::size_t asked;
    std::size_t got;
  } cases[] = {{0, 0}, {2, 2}, {16, 16}, {64, 19}};
  for (const Case& c : cases) {
    std::uint64_t length = 0;
    BYTE head[64] = {};
    std::size_t count = 99;
    ASSERT_TRUE(ReadFileHead(path.string(), length, head, c.asked, count));
    EXPECT_EQ(length, 19u);
    EXPECT_EQ(count, c.got);
    if (c.got >= 2) {
      EXPECT_TRUE(head[0] == 0xB1 && head[1] == 0xE8);
    }
  }
  std::uint64_t length = 5;
  std::size_t count = 5;
  BYTE head[4];
  EXPECT_FALSE(ReadFileHead((m_dir / "missing").string(), length, head, 4, count));
}

TEST(ProcessNames, ModuleIsThisTestProgram) {
  const std::string path = GetModuleFileName();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), PATH_SEPARATOR);
  EXPECT_TRUE(fs::equivalent(path, "/proc/self/exe"));
  EXPECT_EQ(GetModuleBaseName(), fs::path(path).filename().string());
}

TEST_F(FileProcessTest, DetachedProgramGetsItsArgumentsAndNoDescriptors) {
  const fs::path folder = m_dir / "a \"quoted\" folder";
  fs::create_directories(folder);
  const fs::path script = folder / "run me.sh";
  std::ofstream(script) << "#!/bin/sh\n"
                           "out=\"$1\"; fd=\"$2\"; shift 2\n"
                           "if [ -e /proc/$$/fd/$fd ]; then held=inherited; else held=closed; fi\n"
                           "printf '%s\\n' \"$0\" \"$@\" \"$held\" > \"$out.part\"\n"
                           "mv \"$out.part\" \"$out\"\n";
  fs::permissions(script, fs::perms::owner_all);
  const fs::path out = m_dir / "args.txt";

  // A descriptor this process opened without close-on-exec must not reach the program.
  std::FILE* held = std::fopen(script.c_str(), "r");
  ASSERT_NE(held, nullptr);
  const std::string channelList = (m_dir / "my \"lists\"/sat 1.sdx").string();
  const bool started = StartDetachedProcess(
      script.string(),
      {out.string(), std::to_string(fileno(held)), "-c", "5", "-p", channelList, ""});
  std::fclose(held);
  ASSERT_TRUE(started);

  for (int i = 0; i < 1000 && !fs::exists(out); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(Slurp(out), script.string() + "\n-c\n5\n-p\n" + channelList + "\n\nclosed\n");
}

TEST_F(FileProcessTest, DetachedStartReportsAProgramThatCannotRun) {
  const fs::path notExecutable = m_dir / "plain.txt";
  std::ofstream(notExecutable) << "echo no\n";
  fs::permissions(notExecutable, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_FALSE(StartDetachedProcess((m_dir / "missing program").string(), {"-c", "1"}));
  EXPECT_FALSE(StartDetachedProcess(notExecutable.string(), {}));
}

TEST_F(FileProcessTest, ExitNowFlushesOutputAndSkipsCleanUp) {
  const std::string out = (m_dir / "stdout.txt").string();
  EXPECT_EXIT(
      {
        if (std::freopen(out.c_str(), "w", stdout) == nullptr) std::abort();
        std::atexit([] { std::fputs("clean-up ran", stdout); });
        std::fputs("buffered words", stdout);
        ExitProcessNow(3);
      },
      ::testing::ExitedWithCode(3), "");
  EXPECT_EQ(Slurp(out), "buffered words");
}

}  // namespace
