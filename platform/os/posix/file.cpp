#include "platform/os/file.h"

#include "platform/os/posix/fd_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

CFile::~CFile() { Close(); }

BOOL CFile::Open(const std::string& path, UINT flags) {
  Close();
  int mode = O_RDONLY;
  if (flags & modeCreate) {
    mode = O_RDWR | O_CREAT | O_TRUNC;
  } else if (flags & modeReadWrite) {
    mode = O_RDWR;
  }
  const int fd = open(path.c_str(), mode | O_CLOEXEC, 0666);
  if (fd < 0) {
    m_nLastErrno = errno;
    return FALSE;
  }
  // Linux opens a folder for reading; a file object is no folder.
  struct stat st {};
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    m_nLastErrno = S_ISDIR(st.st_mode) ? EISDIR : errno;
    close(fd);
    return FALSE;
  }
  m_fd = fd;
  m_path = path;
  m_nLastErrno = 0;
  return TRUE;
}

void CFile::Close() {
  if (m_fd < 0) return;
  if (close(m_fd) != 0) m_nLastErrno = errno;
  m_fd = -1;
}

long long CFile::Read(void* buffer, std::size_t n) {
  if (m_fd < 0) {
    m_nLastErrno = EBADF;
    return -1;
  }
  const long long got = ReadUpTo(m_fd, buffer, n);
  if (got < 0) m_nLastErrno = errno;
  return got;
}

BOOL CFile::Write(const void* data, std::size_t n) {
  if (m_fd < 0) {
    m_nLastErrno = EBADF;
    return FALSE;
  }
  if (!WriteFully(m_fd, data, n)) {
    m_nLastErrno = errno;
    return FALSE;
  }
  return TRUE;
}

BOOL CFile::SeekToBegin() {
  if (m_fd < 0 || lseek(m_fd, 0, SEEK_SET) != 0) {
    m_nLastErrno = m_fd < 0 ? EBADF : errno;
    return FALSE;
  }
  return TRUE;
}

long long CFile::GetLength() const {
  struct stat st {};
  if (m_fd < 0 || fstat(m_fd, &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

std::string FileNameOf(const std::string& path) {
  const std::size_t nSep = path.rfind(PATH_SEPARATOR);
  return nSep == std::string::npos ? path : path.substr(nSep + 1);
}

}  // namespace platform
