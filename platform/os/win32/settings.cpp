#include "platform/os/settings.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/os/profile_text.h"
#include "platform/os/win32/wide.h"
#include "platform/os/win32/win32_sdk.h"

namespace platform {

namespace {

std::mutex g_mutex;  // one read-modify-write of the file at a time within the process
std::string g_programName = "quorin";

// FOLDERID_RoamingAppData, spelt out: the SDK keeps its definition in libuuid.
constexpr ::GUID ROAMING_APP_DATA = {
    0x3eb685db, 0x65f9, 0x4cf6, {0xa0, 0x3a, 0xe3, 0xef, 0x65, 0x72, 0x9f, 0x3d}};

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring AppDataFolder() {
  // Windows sets APPDATA for every user; the tests set it to a folder of their own.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const ::DWORD n =
        ::GetEnvironmentVariableW(L"APPDATA", buffer.data(), static_cast<::DWORD>(buffer.size()));
    if (n == 0) break;
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(n);
  }
  std::wstring folder;
  wchar_t* known = nullptr;
  if (SUCCEEDED(::SHGetKnownFolderPath(ROAMING_APP_DATA, 0, nullptr, &known)) && known != nullptr) {
    folder = known;
  }
  ::CoTaskMemFree(known);
  return folder;
}

// FALSE only when the file exists and cannot be read; a missing file reads as empty.
bool ReadWholeFile(const std::wstring& path, std::string& bytes, bool& exists) {
  bytes.clear();
  exists = false;
  const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const ::DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  exists = true;
  char buffer[4096];
  bool ok = true;
  for (;;) {
    ::DWORD n = 0;
    if (!::ReadFile(h, buffer, sizeof buffer, &n, nullptr)) {
      ok = false;
      break;
    }
    if (n == 0) break;
    bytes.append(buffer, n);
  }
  ::CloseHandle(h);
  return ok;
}

std::wstring FolderOf(const std::wstring& path) {
  std::size_t sep = path.size();
  while (sep > 0 && !IsSeparator(path[sep - 1])) --sep;
  if (sep == 0) return L".";
  std::wstring folder = path.substr(0, sep - 1);
  // "C:\quorin.INI" lives in "C:\", not in the drive's current folder "C:".
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
  return folder.empty() ? std::wstring(L"\\") : folder;
}

bool MakeFolders(const std::wstring& folder) {
  if (folder.empty()) return true;
  const ::DWORD attributes = ::GetFileAttributesW(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const std::wstring parent = FolderOf(folder);
  if (parent != folder && parent != L"." && !MakeFolders(parent)) return false;
  return ::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

// A settings file that is a link (kept elsewhere) is written through it, not replaced.
std::wstring FinalPathOf(const std::wstring& path) {
  const ::DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return path;
  }
  const HANDLE h =
      ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return path;
  std::wstring target = path;
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const ::DWORD n =
        ::GetFinalPathNameByHandleW(h, buffer.data(), static_cast<::DWORD>(buffer.size()), 0);
    if (n == 0) break;
    if (n < buffer.size()) {
      target.assign(buffer.data(), n);
      break;
    }
    buffer.resize(n + 1);
  }
  ::CloseHandle(h);
  return target;
}

bool WriteAllTo(HANDLE h, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ::DWORD chunk =
        static_cast<::DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    ::DWORD n = 0;
    if (!::WriteFile(h, bytes.data() + done, chunk, &n, nullptr) || n == 0) return false;
    done += n;
  }
  return true;
}

// Writes the file's new bytes beside it and moves them over it.
bool ReplaceWholeFile(const std::wstring& path, const std::string& bytes) {
  const std::wstring target = FinalPathOf(path);
  HANDLE h = INVALID_HANDLE_VALUE;
  std::wstring temp;
  for (unsigned attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    temp = target + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(attempt) + L".new";
    h = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                      nullptr);
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAllTo(h, bytes) && ::FlushFileBuffers(h);
  if (!::CloseHandle(h)) ok = false;
  if (ok) {
    ok = ::MoveFileExW(temp.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  }
  if (!ok) ::DeleteFileW(temp.c_str());
  return ok;
}

// Another instance of the program may write the file at the same time (a bench with a receiver
// on each port): each write reads, edits and replaces the file while it holds this lock, or it
// would put back a copy without the other's key. The lock is taken on a file of its own beside
// the settings file, which is replaced by every write; the system lets it go when the handle
// closes, also when a process ends holding it.
class CProfileWriteLock {
 public:
  explicit CProfileWriteLock(const std::wstring& path)
      : m_h(::CreateFileW(path.c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (m_h == INVALID_HANDLE_VALUE) return;
    ::OVERLAPPED whole{};
    if (!::LockFileEx(m_h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole)) {
      ::CloseHandle(m_h);
      m_h = INVALID_HANDLE_VALUE;
    }
  }
  ~CProfileWriteLock() {
    if (m_h == INVALID_HANDLE_VALUE) return;
    ::OVERLAPPED whole{};
    ::UnlockFileEx(m_h, 0, 1, 0, &whole);
    ::CloseHandle(m_h);
  }
  CProfileWriteLock(const CProfileWriteLock&) = delete;
  CProfileWriteLock& operator=(const CProfileWriteLock&) = delete;

  bool IsHeld() const { return m_h != INVALID_HANDLE_VALUE; }

 private:
  HANDLE m_h;
};

}  // namespace

void SetProfileProgramName(const std::string& name) {
  if (name.empty() || name.find_first_of("/\\:") != std::string::npos) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_programName = name;
}

std::string GetProfileProgramName() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_programName;
}

std::string GetProfileFilePath() {
  std::wstring folder = AppDataFolder();
  while (folder.size() > 1 && IsSeparator(folder.back()) &&
         !(folder.size() == 3 && folder[1] == L':')) {
    folder.pop_back();
  }
  std::string path = WideToUtf8(folder);
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  return path + GetProfileProgramName() + ".INI";
}

std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& defaultValue) {
  const std::wstring path = Utf8ToWide(GetProfileFilePath());
  std::lock_guard<std::mutex> lock(g_mutex);
  std::string bytes;
  bool exists = false;
  if (!ReadWholeFile(path, bytes, exists) || !exists) return defaultValue;
  std::string value;
  return FindProfileValue(bytes, section, key, value) ? value : defaultValue;
}

BOOL WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value) {
  if (!IsStorableProfileEntry(section, key, value)) return FALSE;

  const std::wstring path = Utf8ToWide(GetProfileFilePath());
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!MakeFolders(FolderOf(path))) return FALSE;
  const CProfileWriteLock writeLock(path + L".lock");
  if (!writeLock.IsHeld()) return FALSE;
  std::string bytes;
  bool exists = false;
  if (!ReadWholeFile(path, bytes, exists)) return FALSE;
  return ReplaceWholeFile(path, WithProfileValue(bytes, section, key, value)) ? TRUE : FALSE;
}

}  // namespace platform
