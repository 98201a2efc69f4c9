#include "platform/os/settings.h"

#include "platform/os/profile_text.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace platform {

namespace {

std::mutex g_mutex;  // one read-modify-write of the file at a time within the process
std::string g_programName = "quorin";

// FALSE only when the file exists and cannot be read; a missing file reads as empty.
bool ReadWholeFile(const std::string& path, std::string& bytes, bool& exists) {
  bytes.clear();
  exists = false;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR;
  exists = true;
  char buffer[4096];
  bool ok = true;
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      bytes.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      ok = false;
      break;
    }
  }
  close(fd);
  return ok;
}

bool WriteAllTo(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return true;
  struct stat st {};
  if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const std::size_t slash = folder.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash))) {
    return false;
  }
  return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Writes the file's new bytes beside it and renames them over it.
bool ReplaceFile(const std::string& path, const std::string& bytes, bool existed) {
  std::string target = path;
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Write through a link (a settings file kept elsewhere) instead of replacing the link.
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) target = resolved;
  }
  const std::string folder = FolderOf(target);
  const std::size_t slash = target.find_last_of('/');
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temp = folder + "/." + base + ".XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = WriteAllTo(fd, bytes);
  if (ok && existed && stat(target.c_str(), &st) == 0) {
    (void)fchmod(fd, st.st_mode & 07777);
  }
  if (ok) ok = fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  if (ok) ok = rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(temp.c_str());
    return false;
  }
  const int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    (void)fsync(dirFd);
    close(dirFd);
  }
  return true;
}

// Another instance of the program may write the file at the same time (a bench with a receiver
// on each port): each write reads, edits and replaces the file while it holds this lock, or it
// would put back a copy without the other's key. The lock is taken on a file of its own beside
// the settings file, which is replaced by every write; the lock goes when the descriptor closes,
// also when a process dies holding it.
class CProfileWriteLock {
 public:
  explicit CProfileWriteLock(const std::string& path)
      : m_fd(open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600)) {
    if (m_fd < 0) return;
    while (flock(m_fd, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      close(m_fd);
      m_fd = -1;
      return;
    }
  }
  ~CProfileWriteLock() {
    if (m_fd >= 0) close(m_fd);
  }
  CProfileWriteLock(const CProfileWriteLock&) = delete;
  CProfileWriteLock& operator=(const CProfileWriteLock&) = delete;

  bool IsHeld() const { return m_fd >= 0; }

 private:
  int m_fd;
};

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  struct passwd pw {};
  struct passwd* result = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 &&
      result != nullptr && pw.pw_dir != nullptr) {
    return pw.pw_dir;
  }
  return std::string();
}

}  // namespace

void SetProfileProgramName(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_programName = name;
}

std::string GetProfileProgramName() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_programName;
}

std::string GetProfileFilePath() {
  std::string folder;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  // A relative XDG_CONFIG_HOME is invalid and is to be ignored.
  if (xdg != nullptr && xdg[0] == '/') {
    folder = xdg;
  } else {
    folder = HomeFolder() + "/.config";
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder + "/" + GetProfileProgramName() + ".INI";
}

std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& defaultValue) {
  const std::string path = GetProfileFilePath();
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

  const std::string path = GetProfileFilePath();
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!MakeFolders(FolderOf(path))) return FALSE;
  const CProfileWriteLock writeLock(path + ".lock");
  if (!writeLock.IsHeld()) return FALSE;
  std::string bytes;
  bool exists = false;
  if (!ReadWholeFile(path, bytes, exists)) return FALSE;
  return ReplaceFile(path, WithProfileValue(bytes, section, key, value), exists) ? TRUE : FALSE;
}

}  // namespace platform
