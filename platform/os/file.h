// A file object in the manner of the program's Windows years: open by path and mode, read,
// write, seek, length, close. Errors are reported as results, never thrown. Paths are UTF-8 on
// every system (posix/file.cpp, win32/file.cpp). Only regular files are opened: a folder, a
// device, a FIFO or a pipe is refused, and is looked at before any open, since opening a FIFO
// waits for its other end and opening a device may act on it.
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
  // Hands what was written to the disk, so that it survives a power cut.
  BOOL Flush();
  // The system's code of the last failure: errno, or GetLastError on Windows.
  int LastError() const { return m_nLastErrno; }
  // The last failure in words: the system's text, or "not a regular file".
  std::string LastErrorText() const;

 private:
#ifdef _WIN32
  void* m_hFile = nullptr;  // a Win32 HANDLE, never INVALID_HANDLE_VALUE
#else
  int m_fd = -1;
#endif
  std::string m_path;
  int m_nLastErrno = 0;
  bool m_bNotRegular = false;  // the last Open met no regular file
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
// FALSE when it cannot be opened or read; then why (when given) says why.
BOOL ReadFileHead(const std::string& path, std::uint64_t& length, BYTE* head, std::size_t n,
                  std::size_t& headCount, std::string* why = nullptr);

// What a path names, found without opening it. Special: a folder, a device, a FIFO, a pipe or
// a socket. A path that cannot be looked at counts as absent.
enum class PathKind { Absent, Regular, Special };
PathKind GetPathKind(const std::string& path);

// Puts the file at from in the place of the file at to in one step (both in one folder):
// whoever looks finds the old file or the new one, never neither and never half of one.
BOOL MoveFileOver(const std::string& from, const std::string& to);
// Deletes a file; FALSE when it is still there.
BOOL RemoveFile(const std::string& path);

}  // namespace platform
