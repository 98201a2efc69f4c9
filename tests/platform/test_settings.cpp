// The settings file, read and written in a folder of the test's own.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/os/settings.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;

class ProfileTest : public ::testing::Test {
 protected:
  ProfileTest() { SetProfileProgramName("quorin"); }
  void Put(const std::string& bytes) const { std::ofstream(File(), std::ios::binary) << bytes; }
  std::string Get() const { return ReadText(File()); }
  std::string File() const { return m_tmp.Path("quorin.INI"); }

  CTempFolder m_tmp;
};

TEST_F(ProfileTest, MissingFileSectionOrKeyGivesTheDefault) {
  EXPECT_EQ(GetProfileFilePath(), File());
  EXPECT_EQ(GetProfileString("Marlpane", "Com Port", "COM1"), "COM1");
  EXPECT_FALSE(fs::exists(File()));
  Put("[Marlpane]\nFolder=/x\n[Other]\nCom Port=COM7\n");
  EXPECT_EQ(GetProfileString("Marlpane", "Com Port", "COM1"), "COM1");
  EXPECT_EQ(GetProfileString("Missing", "Folder", ""), "");
}

TEST_F(ProfileTest, FirstWriteMakesFolderAndFileAndNothingElse) {
  const std::string nested = (fs::path(m_tmp.Dir()) / "not yet" / "there").string();
  UseSettingsFolder(nested);
  ASSERT_TRUE(WriteProfileString("Marlpane", "Com Port", "COM 3"));
  EXPECT_EQ(ReadText((fs::path(nested) / "quorin.INI").string()), "[Marlpane]\nCom Port=COM 3\n");
  EXPECT_EQ(GetProfileString("Marlpane", "Com Port", "COM1"), "COM 3");
  ASSERT_TRUE(WriteProfileString("Marlpane", "Folder", "/home/me/My Images"));
  // No temporary file is left behind; the writers' lock file stays.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(nested)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"quorin.INI", "quorin.INI.lock"}));
}

TEST_F(ProfileTest, NamesCompareWithoutCaseAndBlanksAreTrimmed) {
  Put("[marlPANE]\r\n  com port =  COM 4  \r\n");  // the file's line ends are kept
  EXPECT_EQ(GetProfileString("Marlpane", "Com Port", "COM1"), "COM 4");
  EXPECT_EQ(GetProfileString("MARLPANE", "COM PORT", "COM1"), "COM 4");
  ASSERT_TRUE(WriteProfileString("Marlpane", "COM PORT", "COM 5"));
  EXPECT_EQ(Get(), "[marlPANE]\r\ncom port=COM 5\r\n");
}

TEST_F(ProfileTest, WritesLeaveEveryOtherByteAlone) {
  const std::string head =
      "\xEF\xBB\xBF; settings\r\n[Other]\r\nkey = v1\r\n\r\n[Marlpane]\r\nCom Port=COM1\r\n";
  const std::string tail = "\r\n; about the last one\r\n[Last]\r\nx=1";
  const struct {
    const char* section;
    const char* key;
    const char* value;
    std::string expected;
  } cases[] = {
      {"Marlpane", "Folder", "/home/u/My Images", head + "Folder=/home/u/My Images\r\n" + tail},
      {"marlpane", "Extra", "v", head + "Folder=/old\r\nExtra=v\r\n" + tail},
      {"Last", "y", "2", head + "Folder=/old\r\n" + tail + "\r\ny=2"},
      {"Devices", "COM1", "/dev/ttyUSB0",
       head + "Folder=/old\r\n" + tail + "\r\n[Devices]\r\nCOM1=/dev/ttyUSB0"},
  };
  for (const auto& c : cases) {
    Put(head + "Folder=/old\r\n" + tail);
    ASSERT_TRUE(WriteProfileString(c.section, c.key, c.value)) << c.key;
    EXPECT_EQ(Get(), c.expected) << c.key;
    EXPECT_EQ(GetProfileString(c.section, c.key, "?"), c.value) << c.key;
  }
  EXPECT_EQ(GetProfileString("Other", "key", ""), "v1");  // read past the byte-order mark
}

TEST_F(ProfileTest, ValuesAreStoredExactlyAsGivenAndUnstorableOnesRefusedWithoutATrace) {
  for (const char* value : {"COM 3", "/home/me/dir with blanks", "C:\\old\\path", "a=b;c",
                            "\"quoted\"", "[not a section]", "caf\xC3\xA9 \xE6\x97\xA5", ""}) {
    ASSERT_TRUE(WriteProfileString("Marlpane", "Folder", value)) << value;
    EXPECT_EQ(GetProfileString("Marlpane", "Folder", "?"), value);
  }
  EXPECT_EQ(Get(), "[Marlpane]\nFolder=\n");

  const struct {
    const char* section;
    const char* key;
    std::string value;
  } refused[] = {
      {"Marlpane", "Folder", "two\nlines"}, {"Marlpane", "Folder", "carriage\rreturn"},
      {"Marlpane", "Folder", std::string("nul\0byte", 8)}, {"Mar]pane", "Folder", "x"},
      {"Marl\npane", "Folder", "x"}, {"Marlpane", "Fol=der", "x"}, {"Marlpane", " ", "x"},
  };
  for (const auto& c : refused) {
    EXPECT_FALSE(WriteProfileString(c.section, c.key, c.value)) << c.section << c.key;
  }
  EXPECT_EQ(Get(), "[Marlpane]\nFolder=\n");
}

#ifndef _WIN32
// A bench with a receiver on each port: instances of the program write keys of their own into
// the one file at the same time, and none may put back a copy without another's keys.
TEST_F(ProfileTest, InstancesWritingAtOnceKeepEachOthersKeys) {
  constexpr int kWriters = 4;
  constexpr int kKeys = 25;
  auto key = [](int w, int k) { return "COM" + std::to_string(w + 1) + " " + std::to_string(k); };
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> writers;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    if (pid == 0) {
      close(go[1]);
      char byte;
      while (read(go[0], &byte, 1) < 0 && errno == EINTR) {
      }
      bool ok = true;
      for (int k = 0; k < kKeys; ++k) ok = WriteProfileString("Bench", key(w, k), "v") && ok;
      _exit(ok ? 0 : 1);
    }
    if (pid > 0) writers.push_back(pid);
  }
  close(go[0]);
  close(go[1]);  // the end of the pipe lets every writer go at once
  ASSERT_EQ(writers.size(), static_cast<std::size_t>(kWriters));
  for (const pid_t pid : writers) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a write failed";
  }
  std::vector<std::string> lost;
  for (int w = 0; w < kWriters; ++w) {
    for (int k = 0; k < kKeys; ++k) {
      if (GetProfileString("Bench", key(w, k), "") != "v") lost.push_back(key(w, k));
    }
  }
  EXPECT_TRUE(lost.empty()) << lost.size() << " keys lost, the first " << lost.front();
}

TEST_F(ProfileTest, ALinkedFileIsWrittenThroughTheLink) {
  const std::string real = m_tmp.MakeFile("kept elsewhere.ini", {});
  fs::create_symlink(real, File());
  ASSERT_TRUE(WriteProfileString("Marlpane", "Folder", "/b"));
  EXPECT_TRUE(fs::is_symlink(File()));
  EXPECT_EQ(ReadText(real), "[Marlpane]\nFolder=/b\n");
}
#endif

}  // namespace
