// A file object in the manner of the program's Windows years: open by path and mode, read,
// write, seek, length, close. Errors are reported as results, never thrown. Paths are UTF-8 on
// every system (posix/file.cpp, win32/file.cpp); a folder is never opened as a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win_types.h"

namespace platform {

class CFile {
 public:
  enum OpenFlags : UINT {
    modeRead = 0x0000,
    modeReadWrite = 0x0002,
    modeCreate = 0x1000,  // create, or empty an existing file
  };

  CFile() = default;
  ~CFile();  // closes a file that is still open
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  BOOL Open(const std::string& path, UINT flags);
#ifdef _WIN32
  BOOL IsOpen() const { return m_hFile != nullptr; }
#else
  BOOL IsOpen() const { return m_fd >= 0; }
#endif
  void Close();

  // Reads n bytes unless the file ends first; returns the count (0 at the end), or -1 on a
  // read error.
  long long Read(void* buffer, std::size_t n);
  // FALSE unless every byte was written.
  BOOL Write(const void* data, std::size_t n);
  BOOL SeekToBegin();
  // Length in bytes, or -1 when it cannot be had.
  long long GetLength() const;
  const std::string& GetFilePath() const { return m_path; }
  // The system's code of the last failure: errno, or GetLastError on Windows.
  int LastError() const { return m_nLastErrno; }

 private:
#ifdef _WIN32
  void* m_hFile = nullptr;  // a Win32 HANDLE, never INVALID_HANDLE_VALUE
#else
  int m_fd = -1;
#endif
  std::string m_path;
  int m_nLastErrno = 0;
};

// The separator between folders of a path on this system.
#ifdef _WIN32
constexpr char PATH_SEPARATOR = '\\';
#else
constexpr char PATH_SEPARATOR = '/';
#endif

// The last component of a path (the whole path when it has no separator). On Windows '/' and
// the colon of a drive ("C:name") separate too.
std::string FileNameOf(const std::string& path);

// Length of the file at path and up to n of its first bytes (into head, count in headCount).
// FALSE when it cannot be opened or read.
BOOL ReadFileHead(const std::string& path, std::uint64_t& length, BYTE* head, std::size_t n,
                  std::size_t& headCount);

}  // namespace platform
