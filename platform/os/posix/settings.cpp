#include "platform/os/settings.h"

#include "platform/os/ascii.h"

#include <fcntl.h>
#include <pwd.h>
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

struct ProfileLine {
  std::string text;  // without its line end
  std::string eol;   // "\n", "\r\n" or empty for a last line without one
};

// Where a key is, or where it would go.
struct ProfilePlace {
  int nSectionLine = -1;  // header of the first section of that name
  int nKeyLine = -1;      // the key's line, when present
  int nInsertAfter = -1;  // last key line of that first section (or its header)
};

std::vector<ProfileLine> SplitLines(const std::string& bytes) {
  std::vector<ProfileLine> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t nl = bytes.find('\n', start);
    ProfileLine line;
    if (nl == std::string::npos) {
      line.text = bytes.substr(start);
      start = bytes.size();
    } else {
      std::size_t end = nl;
      if (end > start && bytes[end - 1] == '\r') --end;
      line.text = bytes.substr(start, end - start);
      line.eol = bytes.substr(end, nl + 1 - end);
      start = nl + 1;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string Trim(const std::string& s) {
  const char* blanks = " \t\r";
  const std::size_t first = s.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  const std::size_t last = s.find_last_not_of(blanks);
  return s.substr(first, last - first + 1);
}

// The text a parser should see: a byte-order mark in front of the first line is no content.
std::string ParseText(const std::vector<ProfileLine>& lines, std::size_t index) {
  const std::string& text = lines[index].text;
  if (index == 0 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) return text.substr(3);
  return text;
}

bool IsSectionHeader(const std::string& text, std::string& name) {
  const std::string t = Trim(text);
  if (t.empty() || t[0] != '[') return false;
  const std::size_t close = t.find(']');
  if (close == std::string::npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

bool IsKeyLine(const std::string& text, std::string& key, std::string& value) {
  const std::string t = Trim(text);
  if (t.empty() || t[0] == ';') return false;
  const std::size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(t.substr(0, eq));
  value = Trim(t.substr(eq + 1));
  return true;
}

ProfilePlace FindKey(const std::vector<ProfileLine>& lines, const std::string& section,
                     const std::string& key) {
  ProfilePlace place;
  const std::string wantSection = Trim(section);
  const std::string wantKey = Trim(key);
  bool inMatch = false;
  bool inFirstMatch = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string text = ParseText(lines, i);
    std::string name;
    std::string value;
    if (IsSectionHeader(text, name)) {
      inMatch = EqualsNoCase(name, wantSection);
      inFirstMatch = inMatch && place.nSectionLine < 0;
      if (inFirstMatch) {
        place.nSectionLine = static_cast<int>(i);
        place.nInsertAfter = static_cast<int>(i);
      }
      continue;
    }
    if (!inMatch || !IsKeyLine(text, name, value)) continue;
    if (inFirstMatch) place.nInsertAfter = static_cast<int>(i);
    if (EqualsNoCase(name, wantKey)) {
      place.nKeyLine = static_cast<int>(i);
      return place;
    }
  }
  return place;
}

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

bool HasLineBreakOrNul(const std::string& s) {
  return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

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
  const std::vector<ProfileLine> lines = SplitLines(bytes);
  const ProfilePlace place = FindKey(lines, section, key);
  if (place.nKeyLine < 0) return defaultValue;
  std::string name;
  std::string value;
  IsKeyLine(ParseText(lines, static_cast<std::size_t>(place.nKeyLine)), name, value);
  return value;
}

BOOL WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value) {
  if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value)) {
    return FALSE;
  }
  if (section.find(']') != std::string::npos || key.find('=') != std::string::npos) return FALSE;
  if (Trim(key).empty() || Trim(key)[0] == ';' || Trim(key)[0] == '[') return FALSE;

  const std::string path = GetProfileFilePath();
  std::lock_guard<std::mutex> lock(g_mutex);
  std::string bytes;
  bool exists = false;
  if (!ReadWholeFile(path, bytes, exists)) return FALSE;
  if (!exists && !MakeFolders(FolderOf(path))) return FALSE;

  std::vector<ProfileLine> lines = SplitLines(bytes);
  // New lines follow the file's own line ends.
  const std::string eol = bytes.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  const ProfilePlace place = FindKey(lines, section, key);
  if (place.nKeyLine >= 0) {
    const std::size_t at = static_cast<std::size_t>(place.nKeyLine);
    std::string name;
    std::string old;
    const std::string seen = ParseText(lines, at);
    IsKeyLine(seen, name, old);
    // The key keeps its spelling in the file, and a byte-order mark in front of it stays.
    const std::size_t markLength = lines[at].text.size() - seen.size();
    lines[at].text = lines[at].text.substr(0, markLength) + name + "=" + value;
  } else {
    std::vector<ProfileLine> added;
    if (place.nSectionLine < 0) added.push_back({"[" + section + "]", eol});
    added.push_back({key + "=" + value, eol});
    std::size_t at = place.nSectionLine < 0 ? lines.size()
                                            : static_cast<std::size_t>(place.nInsertAfter) + 1;
    if (at > 0 && lines[at - 1].eol.empty()) {
      // The file ended without a line end: it gets one, and the new last line goes without.
      lines[at - 1].eol = eol;
      added.back().eol.clear();
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
  }

  std::string out;
  out.reserve(bytes.size() + value.size() + key.size() + section.size() + 8);
  for (const ProfileLine& line : lines) out += line.text + line.eol;
  return ReplaceFile(path, out, exists) ? TRUE : FALSE;
}

}  // namespace platform
