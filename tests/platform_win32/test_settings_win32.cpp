// The settings file where only Windows differs: %APPDATA%\quorin.INI in a folder whose name is
// not ASCII, a file another program holds, instances in processes of their own. The editing
// rules are the same as on Linux; tests/platform/test_settings.cpp runs under Wine as well.
#define QUORIN_NO_LAYER_IMPORT
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "platform/os/settings.h"
#include "tests/platform_win32/os_test_support.h"
#include "platform/os/win32/win32_sdk.h"

namespace {

using platform::GetProfileFilePath;
using platform::GetProfileString;
using platform::WriteProfileString;

const std::vector<std::wstring> kIniAndLock = {L"quorin.INI", L"quorin.INI.lock"};

class ProfileWin32Test : public ::testing::Test {
 protected:
  ProfileWin32Test() {
    platform::SetProfileProgramName("quorin");
    ostest::SetEnv(L"APPDATA", m_tmp.Dir().c_str());
  }
  ~ProfileWin32Test() override { ostest::SetEnv(L"APPDATA", nullptr); }

  std::wstring File() const { return m_tmp.Path(L"quorin.INI"); }
  void Put(const std::string& bytes) const { ASSERT_TRUE(ostest::WriteBytes(File(), bytes)); }
  std::string Get() const { return ostest::ReadBytes(File()); }

  ostest::CTempDir m_tmp;
};

TEST_F(ProfileWin32Test, TheFileIsTheProgramsNameDotIniInAppDataOrTheRoamingFolder) {
  EXPECT_EQ(GetProfileFilePath(), ostest::Utf8(File()));
  // A folder given with a separator at its end makes no doubled one.
  ostest::SetEnv(L"APPDATA", (m_tmp.Dir() + L"\\").c_str());
  EXPECT_EQ(GetProfileFilePath(), ostest::Utf8(File()));
  platform::SetProfileProgramName("other");
  EXPECT_EQ(GetProfileFilePath(), ostest::Utf8(m_tmp.Path(L"other.INI")));
  platform::SetProfileProgramName("no\\folders");
  EXPECT_EQ(platform::GetProfileProgramName(), "other");
  platform::SetProfileProgramName("quorin");

  ostest::SetEnv(L"APPDATA", nullptr);
  wchar_t* roaming = nullptr;
  ASSERT_TRUE(SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &roaming)));
  const std::wstring expected = std::wstring(roaming) + L"\\quorin.INI";
  ::CoTaskMemFree(roaming);
  EXPECT_EQ(GetProfileFilePath(), ostest::Utf8(expected));
}

TEST_F(ProfileWin32Test, FirstWriteMakesFolderAndFileAndNothingElse) {
  const std::wstring nested = m_tmp.Path(L"not yet\\there \u00fc");
  ostest::SetEnv(L"APPDATA", nested.c_str());
  ASSERT_TRUE(WriteProfileString("Marlpane", "Com Port", "COM 3"));
  EXPECT_EQ(ostest::ReadBytes(nested + L"\\quorin.INI"), "[Marlpane]\nCom Port=COM 3\n");
  EXPECT_EQ(GetProfileString("Marlpane", "Com Port", "COM1"), "COM 3");
  // No file written beside it is left behind; the writers' lock file stays.
  EXPECT_EQ(ostest::FilesIn(nested), kIniAndLock);
}

TEST_F(ProfileWin32Test, AFileThatCannotBeReplacedStaysAsItWas) {
  Put("[Marlpane]\r\nFolder=old\r\n");
  // Another program has it open and lets nobody delete or replace it meanwhile.
  const HANDLE held = ::CreateFileW(File().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(WriteProfileString("Marlpane", "Folder", "new"));
  EXPECT_EQ(GetProfileString("Marlpane", "Folder", "?"), "old");
  ::CloseHandle(held);
  EXPECT_EQ(Get(), "[Marlpane]\r\nFolder=old\r\n");
  EXPECT_EQ(ostest::FilesIn(m_tmp.Dir()), kIniAndLock);
  ASSERT_TRUE(WriteProfileString("Marlpane", "Folder", "new"));
  EXPECT_EQ(Get(), "[Marlpane]\r\nFolder=new\r\n");
}

constexpr int kKeysPerWriter = 25;

std::string BenchKey(int nWriter, int nKey) {
  return "COM" + std::to_string(nWriter + 1) + " " + std::to_string(nKey);
}

// Run as a child by the test below (job "writer|<its number>|<writers>"): once every writer has
// started, it writes keys of its own.
TEST(DISABLED_ProfileWin32Child, WritesItsKeys) {
  const std::wstring job = ostest::GetEnv(L"QUORIN_OS_TEST_CHILD");
  int nWriter = -1;
  int nWriters = 0;
  ASSERT_EQ(swscanf(job.c_str(), L"writer|%d|%d", &nWriter, &nWriters), 2);
  const std::wstring folder = ostest::Wide(GetProfileFilePath()).substr(
      0, ostest::Wide(GetProfileFilePath()).find_last_of(L'\\'));
  ASSERT_TRUE(ostest::WriteBytes(folder + L"\\ready " + std::to_wstring(nWriter), ""));
  for (int other = 0; other < nWriters; ++other) {
    ASSERT_TRUE(ostest::WaitForFile(folder + L"\\ready " + std::to_wstring(other), 30000));
  }
  for (int k = 0; k < kKeysPerWriter; ++k) {
    ASSERT_TRUE(WriteProfileString("Bench", BenchKey(nWriter, k), "v"));
  }
}

// A bench with a receiver on each port: instances of the program write keys of their own into
// the one file at the same time, and none may put back a copy without another's keys.
TEST_F(ProfileWin32Test, InstancesWritingAtOnceKeepEachOthersKeys) {
  constexpr int kWriters = 4;
  std::vector<std::wstring> jobs;
  for (int w = 0; w < kWriters; ++w) {
    jobs.push_back(L"writer|" + std::to_wstring(w) + L"|" + std::to_wstring(kWriters));
  }
  EXPECT_EQ(ostest::RunSelfTests("DISABLED_ProfileWin32Child.WritesItsKeys", jobs),
            std::vector<int>(kWriters, 0));
  std::vector<std::string> lost;
  for (int w = 0; w < kWriters; ++w) {
    for (int k = 0; k < kKeysPerWriter; ++k) {
      if (GetProfileString("Bench", BenchKey(w, k), "") != "v") lost.push_back(BenchKey(w, k));
    }
  }
  EXPECT_TRUE(lost.empty()) << lost.size() << " keys lost, the first " << lost.front();
}

}  // namespace
