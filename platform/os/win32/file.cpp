#include "platform/os/file.h"

#include <algorithm>

#include "platform/os/win32/wide.h"
#include "platform/os/win32/win32_sdk.h"

namespace platform {

namespace {

HANDLE AsHandle(void* h) { return static_cast<HANDLE>(h); }

int LastErrorCode() { return static_cast<int>(::GetLastError()); }

// Win32 reads and writes take 32-bit counts.
constexpr std::size_t IO_CHUNK = 1u << 30;

}  // namespace

CFile::~CFile() { Close(); }

BOOL CFile::Open(const std::string& path, UINT flags) {
  Close();
  const std::wstring widePath = Utf8ToWide(path);
  // A folder is no file; Windows would answer "access denied", which says less.
  const ::DWORD attributes = ::GetFileAttributesW(widePath.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    m_nLastErrno = ERROR_DIRECTORY;
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
  const HANDLE h = ::CreateFileW(widePath.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    m_nLastErrno = LastErrorCode();
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

long long CFile::GetLength() const {
  LARGE_INTEGER size{};
  if (m_hFile == nullptr || !::GetFileSizeEx(AsHandle(m_hFile), &size)) return -1;
  return static_cast<long long>(size.QuadPart);
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
