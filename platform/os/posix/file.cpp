#include "platform/os/file.h"

#include "platform/os/posix/fd_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {

CFile::~CFile() { Close(); }

BOOL CFile::Open(const std::string& path, UINT flags) {
  Close();
  m_bNotRegular = false;
  int mode = O_RDONLY;
  if (flags & modeCreate) {
    mode = O_RDWR | O_CREAT | O_TRUNC;
  } else if (flags & modeReadWrite) {
    mode = O_RDWR;
  }
  // Looked at first: stat does not wait for a FIFO's writer, and touches no device.
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      m_nLastErrno = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
      m_bNotRegular = true;
      return FALSE;
    }
  } else if (errno != ENOENT || (flags & modeCreate) == 0) {
    m_nLastErrno = errno;
    return FALSE;
  }
  // The path may have been replaced since: no wait and no controlling terminal either way, and
  // what was opened is looked at again.
  const int fd = open(path.c_str(), mode | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
  if (fd < 0) {
    m_nLastErrno = errno;
    return FALSE;
  }
  const bool bKnown = fstat(fd, &st) == 0;
  if (!bKnown || !S_ISREG(st.st_mode)) {
    m_nLastErrno = !bKnown ? errno : S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
    m_bNotRegular = bKnown;
    close(fd);
    return FALSE;
  }
  const int fdFlags = fcntl(fd, F_GETFL);
  if (fdFlags >= 0) fcntl(fd, F_SETFL, fdFlags & ~O_NONBLOCK);
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

BOOL CFile::Flush() {
  if (m_fd < 0 || fsync(m_fd) != 0) {
    m_nLastErrno = m_fd < 0 ? EBADF : errno;
    return FALSE;
  }
  return TRUE;
}

std::string CFile::LastErrorText() const {
  if (m_bNotRegular) return "not a regular file";
  char buffer[256];
  return strerror_r(m_nLastErrno, buffer, sizeof buffer);
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

PathKind GetPathKind(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return PathKind::Absent;
  return S_ISREG(st.st_mode) ? PathKind::Regular : PathKind::Special;
}

BOOL MoveFileOver(const std::string& from, const std::string& to) {
  if (rename(from.c_str(), to.c_str()) != 0) return FALSE;
  // The folder's new entry goes to the disk too; a failure here leaves the move done.
  const std::size_t nSep = to.rfind(PATH_SEPARATOR);
  const std::string folder = nSep == std::string::npos ? "." : nSep == 0 ? "/" : to.substr(0, nSep);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  return TRUE;
}

BOOL RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0 || errno == ENOENT; }

}  // namespace platform
