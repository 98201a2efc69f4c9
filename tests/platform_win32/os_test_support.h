// Helpers for the Win32 operating-system suite: folders of the test's own, whole files by
// UTF-16 path, the environment, and runs of this test program as a child.
//
// A child run is this program started with QUORIN_OS_TEST_CHILD set: before GoogleTest starts,
// it does one small job (writes the arguments it got, or text on its standard output) and
// ends. Jobs that need the C++ runtime run as a disabled test instead (RunSelfTest).
#pragma once

#include <string>
#include <vector>

namespace ostest {

// A new folder under the system's temporary folder, its name holding non-ASCII letters;
// removed with everything in it when the object goes.
class CTempDir {
 public:
  CTempDir();
  ~CTempDir();
  CTempDir(const CTempDir&) = delete;
  CTempDir& operator=(const CTempDir&) = delete;

  const std::wstring& Dir() const { return m_dir; }
  std::wstring Path(const std::wstring& name) const { return m_dir + L"\\" + name; }

 private:
  std::wstring m_dir;
};

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& text);

bool WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);  // empty when missing
bool Exists(const std::wstring& path);
// The names in the folder, sorted.
std::vector<std::wstring> FilesIn(const std::wstring& folder);

// A variable of the process's environment, empty when it is not set.
std::wstring GetEnv(const wchar_t* name);
// Sets (or with nullptr removes) a variable of the process's environment.
void SetEnv(const wchar_t* name, const wchar_t* value);

// This program's own path.
std::wstring SelfPath();

// Waits up to ms for the file to exist.
bool WaitForFile(const std::wstring& path, unsigned ms);

// Runs one disabled test of this program as a child with QUORIN_OS_TEST_CHILD=job (its output
// goes nowhere) and returns its exit code, or -1 when it did not run or end within 60 s.
int RunSelfTest(const std::string& testName, const std::wstring& job);

// As RunSelfTest, with one child for each job, all running at the same time; their exit codes
// in the order of the jobs.
std::vector<int> RunSelfTests(const std::string& testName, const std::vector<std::wstring>& jobs);

// Starts this program with QUORIN_OS_TEST_CHILD=job, its standard output written into the file
// stdoutPath, and returns its exit code (-1 as above).
int RunSelfWithStdout(const std::wstring& job, const std::wstring& stdoutPath);

}  // namespace ostest
