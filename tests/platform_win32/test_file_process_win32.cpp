// Files with names that are not ASCII, and the process services: the module's own name, the
// command line both ways (CommandLineToArgvW gives back exactly what StartDetachedProcess was
// given), ending at once.
#define QUORIN_NO_LAYER_IMPORT
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "platform/os/file.h"
#include "platform/os/process.h"
#include "platform/os/sync.h"
#include "platform/os/win32/command_line.h"
#include "tests/platform_win32/os_test_support.h"
#include "platform/os/win32/win32_sdk.h"

namespace {

using platform::CFile;
using platform::FileNameOf;

// Arguments that a careless quoting gets wrong.
const std::vector<std::string> AWKWARD_ARGUMENTS = {
    "-c", "5", "", " ", "two words", "tab\there", "quote\"inside", "\"", "\"\"", "\\", "\\\\",
    "trailing\\", "trailing blank\\", "trailing two\\\\", "back\\\"quote", "a\\\\\"b c",
    "C:\\Program Files\\Kestrel hub\\", "\\\\server\\share\\lists\\sat 1.sdx", "line\nbreak",
    "%PATH% ^& | < > !x!", "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", "'single'", "end",
};

std::vector<std::string> SplitNul(const std::string& bytes) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\0') continue;
    parts.push_back(bytes.substr(start, i - start));
    start = i + 1;
  }
  return parts;
}

TEST(FileWin32, AFileWithANonAsciiNameIsWrittenAndReadBack) {
  ostest::CTempDir tmp;
  const std::wstring widePath = tmp.Path(L"Gr\u00f6\u00dfe \u65e5\u672c \u00fc.bin");
  const std::string path = ostest::Utf8(widePath);
  std::string content;
  for (int i = 0; i < 5000; ++i) content += static_cast<char>(i * 7 + 3);

  CFile out;
  ASSERT_TRUE(out.Open(path, CFile::modeCreate | CFile::modeReadWrite)) << out.LastError();
  EXPECT_TRUE(out.IsOpen());
  ASSERT_TRUE(out.Write(content.data(), content.size()));
  EXPECT_EQ(out.GetLength(), 5000);
  out.Close();
  EXPECT_FALSE(out.IsOpen());
  // The name on the disk is the one given, letter for letter.
  EXPECT_EQ(ostest::ReadBytes(widePath), content);

  CFile in;
  ASSERT_TRUE(in.Open(path, CFile::modeRead));
  EXPECT_EQ(in.GetFilePath(), path);
  EXPECT_EQ(in.GetLength(), 5000);
  std::string back(6000, '\0');
  EXPECT_EQ(in.Read(back.data(), back.size()), 5000);
  back.resize(5000);
  EXPECT_EQ(back, content);
  EXPECT_EQ(in.Read(back.data(), 10), 0);  // the end
  ASSERT_TRUE(in.SeekToBegin());
  char two[2] = {};
  EXPECT_EQ(in.Read(two, 2), 2);
  EXPECT_EQ(std::string(two, 2), content.substr(0, 2));
  EXPECT_FALSE(in.Write("x", 1));  // opened for reading
  in.Close();

  std::uint64_t length = 0;
  platform::BYTE head[16] = {};
  std::size_t headCount = 0;
  ASSERT_TRUE(platform::ReadFileHead(path, length, head, sizeof head, headCount));
  EXPECT_EQ(length, 5000u);
  EXPECT_EQ(headCount, 16u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(head), 16), content.substr(0, 16));

  // modeCreate empties a file that is there.
  ASSERT_TRUE(out.Open(path, CFile::modeCreate | CFile::modeReadWrite));
  EXPECT_EQ(out.GetLength(), 0);
}

TEST(FileWin32, MissingFilesAndFoldersAreNoFiles) {
  ostest::CTempDir tmp;
  CFile file;
  EXPECT_FALSE(file.Open(ostest::Utf8(tmp.Path(L"missing.bin")), CFile::modeRead));
  EXPECT_EQ(file.LastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(file.Open(ostest::Utf8(tmp.Dir()), CFile::modeRead));
  EXPECT_NE(file.LastError(), 0);
  EXPECT_FALSE(file.Open(ostest::Utf8(tmp.Dir()), CFile::modeCreate | CFile::modeReadWrite));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.Read(nullptr, 0), -1);
  EXPECT_EQ(file.GetLength(), -1);
  std::uint64_t length = 1;
  std::size_t headCount = 1;
  platform::BYTE head[4];
  EXPECT_FALSE(platform::ReadFileHead(ostest::Utf8(tmp.Dir()), length, head, 4, headCount));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(headCount, 0u);
}

// Devices and pipes are known by their names and never opened; names like theirs are files.
TEST(FileWin32, DevicesAndPipesAreNoFiles) {
  ostest::CTempDir tmp;
  for (const std::string& name : {std::string("NUL"), std::string("nul.txt"), std::string("COM1"),
                                  ostest::Utf8(tmp.Path(L"aux")), std::string("\\\\.\\C:"),
                                  std::string("//./pipe/quorin-test"), std::string("\\\\host\\pipe\\x")}) {
    CFile file;
    EXPECT_FALSE(file.Open(name, CFile::modeRead)) << name;
    EXPECT_EQ(file.LastErrorText(), "not a regular file") << name;
  }
  ASSERT_TRUE(ostest::WriteBytes(tmp.Path(L"COM10.bin"), "x"));
  const std::string path = ostest::Utf8(tmp.Path(L"COM10.bin"));
  EXPECT_EQ(platform::GetPathKind("\\\\?\\" + path), platform::PathKind::Regular);
  CFile file;
  EXPECT_TRUE(file.Open(path, CFile::modeRead));
}

TEST(FileWin32, FileNameOfTakesBothSeparatorsAndTheDrive) {
  EXPECT_EQ(platform::PATH_SEPARATOR, '\\');
  EXPECT_EQ(FileNameOf("C:\\Images\\new_sw.bin"), "new_sw.bin");
  EXPECT_EQ(FileNameOf("C:/Images/new_sw.bin"), "new_sw.bin");
  EXPECT_EQ(FileNameOf("C:\\mixed/dir\\list.sdx"), "list.sdx");
  EXPECT_EQ(FileNameOf("dir/sub\\x"), "x");
  EXPECT_EQ(FileNameOf("C:image.bin"), "image.bin");
  EXPECT_EQ(FileNameOf("\\\\server\\share\\f"), "f");
  EXPECT_EQ(FileNameOf("name.bin"), "name.bin");
  EXPECT_EQ(FileNameOf("folder\\"), "");
  EXPECT_EQ(FileNameOf(""), "");
  EXPECT_EQ(FileNameOf("caf\xC3\xA9\\\xE6\x97\xA5.bin"), "\xE6\x97\xA5.bin");
}

TEST(ProcessWin32, TheModuleIsThisProgram) {
  const std::string path = platform::GetModuleFileName();
  ASSERT_GT(path.size(), 3u);
  EXPECT_EQ(path[1], ':');
  EXPECT_EQ(FileNameOf(path), "test_os_win32.exe");
  EXPECT_TRUE(ostest::Exists(ostest::Wide(path)));
  // The caption of every message box: no folder, no ".exe".
  EXPECT_EQ(platform::GetModuleBaseName(), "test_os_win32");
  const std::vector<std::string> args = platform::CommandLineArguments(0, nullptr);
  ASSERT_FALSE(args.empty());
  EXPECT_NE(FileNameOf(args[0]).find("test_os_win32"), std::string::npos) << args[0];
}

TEST(ProcessWin32, TheCommandLineGivesBackEveryArgumentExactly) {
  const std::string program = "C:\\Program Files\\Kestrel hub\\Kestrelhub.exe";
  // One argument at a time, all of them together, and none.
  std::vector<std::vector<std::string>> lists = {AWKWARD_ARGUMENTS, {}};
  for (const std::string& arg : AWKWARD_ARGUMENTS) lists.push_back({arg});
  for (const auto& args : lists) {
    const std::string line = platform::BuildCommandLine(program, args);
    int nArgs = 0;
    wchar_t** parsed = ::CommandLineToArgvW(ostest::Wide(line).c_str(), &nArgs);
    ASSERT_NE(parsed, nullptr);
    std::vector<std::string> back;
    for (int i = 0; i < nArgs; ++i) back.push_back(ostest::Utf8(parsed[i]));
    ::LocalFree(parsed);
    std::vector<std::string> expected = {program};
    expected.insert(expected.end(), args.begin(), args.end());
    EXPECT_EQ(back, expected) << line;
  }
}

TEST(ProcessWin32, ADetachedProgramGetsItsArgumentsIntact) {
  ostest::CTempDir tmp;
  const std::wstring out = tmp.Path(L"args \u00fc.txt");
  // The program started is this one; before its tests it writes what it got, and ends.
  ostest::SetEnv(L"QUORIN_OS_TEST_CHILD", (L"args|" + out).c_str());
  const bool started =
      platform::StartDetachedProcess(platform::GetModuleFileName(), AWKWARD_ARGUMENTS);
  ostest::SetEnv(L"QUORIN_OS_TEST_CHILD", nullptr);
  ASSERT_TRUE(started);
  ASSERT_TRUE(ostest::WaitForFile(out, 30000));
  std::vector<std::string> expected = {platform::GetModuleFileName()};
  expected.insert(expected.end(), AWKWARD_ARGUMENTS.begin(), AWKWARD_ARGUMENTS.end());
  EXPECT_EQ(SplitNul(ostest::ReadBytes(out)), expected);
}

TEST(ProcessWin32, AProgramThatCannotRunIsReported) {
  ostest::CTempDir tmp;
  EXPECT_FALSE(platform::StartDetachedProcess(ostest::Utf8(tmp.Path(L"missing.exe")), {"-c"}));
  EXPECT_FALSE(platform::StartDetachedProcess(ostest::Utf8(tmp.Dir()), {}));
  EXPECT_FALSE(platform::StartDetachedProcess("", {}));
}

// Run as a child by the test below.
TEST(DISABLED_ProcessWin32Child, ExitNow) {
  wchar_t out[MAX_PATH * 2] = {};
  ::GetEnvironmentVariableW(L"QUORIN_OS_TEST_CHILD", out, MAX_PATH * 2);
  if (::_wfreopen(out, L"wb", stdout) == nullptr) std::abort();
  std::atexit([] { std::fputs("clean-up ran", stdout); });
  std::fputs("buffered words", stdout);
  std::cout << " and more";
  platform::ExitProcessNow(3);
}

TEST(ProcessWin32, ExitNowFlushesOutputAndSkipsCleanUp) {
  ostest::CTempDir tmp;
  const std::wstring out = tmp.Path(L"stdout.txt");
  EXPECT_EQ(ostest::RunSelfTest("DISABLED_ProcessWin32Child.ExitNow", out), 3);
  EXPECT_EQ(ostest::ReadBytes(out), "buffered words and more");
}

TEST(SyncWin32, SleepAndThePriorityOfTheReader) {
  // Wine's tick count is refreshed now and then by its server and may lag a loaded machine by
  // tens of milliseconds; the performance counter does not.
  const auto start = std::chrono::steady_clock::now();
  platform::Sleep(50);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));
  platform::CManualEvent event;
  ASSERT_TRUE(event.Create(FALSE));
  EXPECT_FALSE(event.Wait(10));
  event.Set();
  EXPECT_TRUE(event.Wait(0));
  event.Close();
  platform::RaiseCurrentThreadPriority();
  EXPECT_EQ(::GetThreadPriority(::GetCurrentThread()), THREAD_PRIORITY_ABOVE_NORMAL);
  ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_NORMAL);
}

}  // namespace
