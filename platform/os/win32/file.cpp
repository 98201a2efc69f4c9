#include "platform/os/file.h"

#include <algorithm>

#include "platform/os/win32/wide.h"
#include "platform/os/win32/win32_sdk.h"

namespace platform {

namespace {

HANDLE AsHandle(void* h) { return static_cast<HANDLE>(h); }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// CON, NUL, COM1... name devices in every folder, with any extension.
bool IsDosDeviceName(const std::string& component) {
  std::string stem = component.substr(0, component.find_first_of(".:"));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = Upper(c);
  for (const char* name : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"}) {
    if (stem == name) return true;
  }
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

// Names that reach a device or a pipe rather than a file on a drive: "\\.\COM1",
// "\\.\pipe\x", "\\server\pipe\x", "\\.\C:" (the volume itself), "C:\dir\NUL".
bool NamesADevice(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  if (path.size() >= 4 && path.compare(0, 2, "\\\\") == 0 && (path[2] == '.' || path[2] == '?') &&
      path[3] == '\\') {
    const std::string rest = path.substr(4);
    const bool bOnDrive =
        rest.size() >= 4 && IsDriveLetter(rest[0]) && rest[1] == ':' && rest[2] == '\\';
    const bool bOnShare = rest.size() > 4 && Upper(rest[0]) == 'U' && Upper(rest[1]) == 'N' &&
                          Upper(rest[2]) == 'C' && rest[3] == '\\';
    if (!bOnDrive && !bOnShare) return true;
    path = rest;
  } else if (path.size() > 2 && path.compare(0, 2, "\\\\") == 0) {
    // \\server\pipe\name is a pipe of another machine.
    const std::size_t nHost = path.find('\\', 2);
    if (nHost != std::string::npos) {
      std::string share = path.substr(nHost + 1, path.find('\\', nHost + 1) - nHost - 1);
      for (char& c : share) c = Upper(c);
      if (share == "PIPE") return true;
    }
  }
  const std::size_t nStart = path.find_last_of("\\:");
  return IsDosDeviceName(nStart == std::string::npos ? path : path.substr(nStart + 1));
}

int LastErrorCode() { return static_cast<int>(::GetLastError()); }

// Win32 reads and writes take 32-bit counts.
constexpr std::size_t IO_CHUNK = 1u << 30;

}  // namespace

CFile::~CFile() { Close(); }

BOOL CFile::Open(const std::string& path, UINT flags) {
  Close();
  m_bNotRegular = false;
  // A device or a pipe is known by its name and is not opened; a folder would answer "access
  // denied", which says less.
  if (GetPathKind(path) == PathKind::Special) {
    const ::DWORD attributes = ::GetFileAttributesW(Utf8ToWide(path).c_str());
    const bool bFolder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    m_nLastErrno = bFolder ? ERROR_DIRECTORY : ERROR_BAD_FILE_TYPE;
    m_bNotRegular = true;
    return FALSE;
  }
  ::DWORD access = GENERIC_READ;
  ::DWORD disposition = OPEN_EXISTING;
  if (flags & modeCreate) {
    access = GENERIC_READ | GENERIC_WRITE;
    disposition = CREATE_ALWAYS;
  } else if (flags & modeReadWrite) {
    access = GENERIC_READ | GENERIC_WRITE;
  }
  // Shared as a file on Linux is: another program may read or write it meanwhile.
  const HANDLE h = ::CreateFileW(Utf8ToWide(path).c_str(), access,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    m_nLastErrno = LastErrorCode();
    return FALSE;
  }
  // A name the check above did not know (another device alias) still gives no disk file.
  if (::GetFileType(h) != FILE_TYPE_DISK) {
    ::CloseHandle(h);
    m_nLastErrno = ERROR_BAD_FILE_TYPE;
    m_bNotRegular = true;
    return FALSE;
  }
  m_hFile = h;
  m_path = path;
  m_nLastErrno = 0;
  return TRUE;
}

void CFile::Close() {
  if (m_hFile == nullptr) return;
  if (!::CloseHandle(AsHandle(m_hFile))) m_nLastErrno = LastErrorCode();
  m_hFile = nullptr;
}

long long CFile::Read(void* buffer, std::size_t n) {
  if (m_hFile == nullptr) {
    m_nLastErrno = ERROR_INVALID_HANDLE;
    return -1;
  }
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const ::DWORD chunk = static_cast<::DWORD>(std::min(n - done, IO_CHUNK));
    ::DWORD got = 0;
    if (!::ReadFile(AsHandle(m_hFile), bytes + done, chunk, &got, nullptr)) {
      m_nLastErrno = LastErrorCode();
      return -1;
    }
    if (got == 0) break;  // the end of the file
    done += got;
  }
  return static_cast<long long>(done);
}

BOOL CFile::Write(const void* data, std::size_t n) {
  if (m_hFile == nullptr) {
    m_nLastErrno = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  while (done < n) {
    const ::DWORD chunk = static_cast<::DWORD>(std::min(n - done, IO_CHUNK));
    ::DWORD wrote = 0;
    if (!::WriteFile(AsHandle(m_hFile), bytes + done, chunk, &wrote, nullptr)) {
      m_nLastErrno = LastErrorCode();
      return FALSE;
    }
    if (wrote == 0) {
      m_nLastErrno = ERROR_WRITE_FAULT;
      return FALSE;
    }
    done += wrote;
  }
  return TRUE;
}

BOOL CFile::SeekToBegin() {
  if (m_hFile == nullptr) {
    m_nLastErrno = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  LARGE_INTEGER zero{};
  if (!::SetFilePointerEx(AsHandle(m_hFile), zero, nullptr, FILE_BEGIN)) {
    m_nLastErrno = LastErrorCode();
    return FALSE;
  }
  return TRUE;
}

BOOL CFile::Flush() {
  if (m_hFile == nullptr || !::FlushFileBuffers(AsHandle(m_hFile))) {
    m_nLastErrno = m_hFile == nullptr ? ERROR_INVALID_HANDLE : LastErrorCode();
    return FALSE;
  }
  return TRUE;
}

std::string CFile::LastErrorText() const {
  if (m_bNotRegular) return "not a regular file";
  return Win32ErrorText(static_cast<unsigned long>(m_nLastErrno));
}

long long CFile::GetLength() const {
  LARGE_INTEGER size{};
  if (m_hFile == nullptr || !::GetFileSizeEx(AsHandle(m_hFile), &size)) return -1;
  return static_cast<long long>(size.QuadPart);
}

PathKind GetPathKind(const std::string& path) {
  if (NamesADevice(path)) return PathKind::Special;
  const ::DWORD attributes = ::GetFileAttributesW(Utf8ToWide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Absent;
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0 ? PathKind::Special
                                                                                : PathKind::Regular;
}

BOOL MoveFileOver(const std::string& from, const std::string& to) {
  return ::MoveFileExW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? TRUE
             : FALSE;
}

BOOL RemoveFile(const std::string& path) {
  return ::DeleteFileW(Utf8ToWide(path).c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND
             ? TRUE
             : FALSE;
}

std::string FileNameOf(const std::string& path) {
  std::size_t start = path.find_last_of("\\/");
  start = start == std::string::npos ? 0 : start + 1;
  // "C:image.bin" is image.bin in the current folder of drive C.
  if (start == 0 && path.size() >= 2 && path[1] == ':' &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    start = 2;
  }
  return path.substr(start);
}

}  // namespace platform
