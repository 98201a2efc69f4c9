// Fuzzes the settings store (GetProfileString, WriteProfileString) in a folder of its own: the
// input gives the file's first content (any bytes, or no file at all) and a series of writes
// (section, key, value). For each write:
// - a write the rules refuse (a line break or a zero byte in a name or the value, ']' in the
//   section name, '=' in the key, a key that is blank or starts with ';' or '[') fails and
//   leaves the file exactly as it was; any other write succeeds;
// - a write that succeeds reads back (without the blanks around the value, which a read
//   trims), and the file holds the value exactly as given;
// - every other section and key reads back what it read before (names compare without case
//   and without the blanks around them);
// - the file changes in one line only: the key's line, or a line added (with its section
//   header when the section is new, and a line end for a last line that had none); every other
//   line stays byte for byte, and nothing but the writers' lock file is left beside it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/os/settings.h"

namespace {

// What a read of a missing key gives: no value read from a file can hold a line break.
const std::string kAbsent = "\n(absent)";

std::string g_folder;  // the fuzzer's own temporary folder
std::string g_config;  // XDG_CONFIG_HOME, inside it
std::string g_file;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "settings: %s\n", what.c_str());
  std::abort();
}

void RemoveConfig() {
  if (DIR* dir = opendir(g_config.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") unlink((g_config + "/" + name).c_str());
    }
    closedir(dir);
  }
  rmdir(g_config.c_str());
}

void CleanUp() {
  RemoveConfig();
  rmdir(g_folder.c_str());
}

bool ReadFile(std::string& bytes) {
  bytes.clear();
  const int fd = open(g_file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<std::size_t>(n));
  close(fd);
  return true;
}

void PutFile(const std::string& bytes) {
  mkdir(g_config.c_str(), 0700);
  const int fd = open(g_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    Fail("the fuzzer cannot write its own settings file " + g_file);
  }
  close(fd);
}

void ExpectNothingBesideTheFile() {
  DIR* dir = opendir(g_config.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != ".." && name != "quorin.INI" && name != "quorin.INI.lock") {
      closedir(dir);
      Fail("a file was left beside the settings file: " + name);
    }
  }
  closedir(dir);
}

// ---- the model -------------------------------------------------------------------------

std::string Trim(const std::string& s, const char* blanks) {
  const std::size_t first = s.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
  const std::string x = Trim(a, " \t\r");
  const std::string y = Trim(b, " \t\r");
  if (x.size() != y.size()) return false;
  for (std::size_t i = 0; i < x.size(); ++i) {
    char c = x[i];
    char d = y[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    if (d >= 'A' && d <= 'Z') d = static_cast<char>(d + ('a' - 'A'));
    if (c != d) return false;
  }
  return true;
}

bool Refused(const std::string& section, const std::string& key, const std::string& value) {
  const std::string breaks("\r\n\0", 3);
  for (const std::string* s : {&section, &key, &value}) {
    if (s->find_first_of(breaks) != std::string::npos) return true;
  }
  if (section.find(']') != std::string::npos || key.find('=') != std::string::npos) return true;
  const std::string name = Trim(key, " \t");
  return name.empty() || name[0] == ';' || name[0] == '[';
}

struct Probe {
  std::string section;
  std::string key;
  std::string expected;
};

// Names to watch from the file's first content; how well they are picked only matters for how
// much is watched.
void AddNamesFromFile(const std::string& bytes, std::vector<Probe>& probes) {
  std::string section;
  std::size_t start = 0;
  while (start < bytes.size() && probes.size() < 24) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = bytes.substr(start, end - start);
    start = end + 1;
    const std::size_t open = line.find('[');
    const std::size_t close = line.find(']');
    const std::size_t eq = line.find('=');
    if (open != std::string::npos && close != std::string::npos && open < close) {
      section = line.substr(open + 1, close - open - 1);
    } else if (eq != std::string::npos) {
      probes.push_back({section, line.substr(0, eq), {}});
    }
  }
}

std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t nl = bytes.find('\n', start);
    const std::size_t end = nl == std::string::npos ? bytes.size() : nl + 1;
    lines.push_back(bytes.substr(start, end - start));
    start = end;
  }
  return lines;
}

std::string WithoutLineEnd(std::string line) {
  if (!line.empty() && line.back() == '\n') {
    line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
  }
  return line;
}

std::string LineEnd(const std::string& line) {
  return line.substr(WithoutLineEnd(line).size());
}

// The file before and after a write that succeeded: the lines in front and behind stay, between
// them one line went (the key's old line, or a last line that gets its line end) and one or
// two came.
void CheckOneLineChanged(const std::string& before, const std::string& after, bool bExisted,
                         const std::string& key, const std::string& value) {
  const std::vector<std::string> a = Lines(before);
  const std::vector<std::string> b = Lines(after);
  std::size_t front = 0;
  while (front < a.size() && front < b.size() && a[front] == b[front]) ++front;
  std::size_t back = 0;
  while (back < a.size() - front && back < b.size() - front &&
         a[a.size() - 1 - back] == b[b.size() - 1 - back]) {
    ++back;
  }
  const std::vector<std::string> gone(a.begin() + static_cast<std::ptrdiff_t>(front),
                                      a.end() - static_cast<std::ptrdiff_t>(back));
  const std::vector<std::string> came(b.begin() + static_cast<std::ptrdiff_t>(front),
                                      b.end() - static_cast<std::ptrdiff_t>(back));
  if (gone.size() > 1) Fail("a write changed more than one line of the file");

  if (bExisted) {
    if (came.size() != gone.size()) Fail("a write of a present key added or removed lines");
    if (gone.empty()) return;  // the same value again
    if (LineEnd(gone[0]).size() > 0 && LineEnd(came[0]) != LineEnd(gone[0])) {
      Fail("the key's line lost its line end");
    }
    const std::string text = WithoutLineEnd(came[0]);
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || text.substr(eq + 1) != value) {
      Fail("the key's line does not hold the value as given");
    }
    return;
  }

  if (came.size() < gone.size() + 1 || came.size() > gone.size() + 2) {
    Fail("a write of a new key did not add one line (or two, with its section)");
  }
  if (!gone.empty()) {
    if (front + 1 != a.size() || !LineEnd(gone[0]).empty()) {
      Fail("a write of a new key changed a line that was not the last one");
    }
    if (came[0] != gone[0] + "\n" && came[0] != gone[0] + "\r\n") {
      Fail("the last line changed beyond getting a line end");
    }
  }
  bool bFound = false;
  for (const std::string& line : came) bFound = bFound || WithoutLineEnd(line) == key + "=" + value;
  if (!bFound) Fail("no added line holds the key and the value as given");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") +
                        "/quorin-fuzz-settings.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) Fail("no temporary folder in " + pattern);
  g_folder = pattern;
  g_config = g_folder + "/config";
  setenv("XDG_CONFIG_HOME", g_config.c_str(), 1);
  platform::SetProfileProgramName("quorin");
  g_file = platform::GetProfileFilePath();
  if (g_file != g_config + "/quorin.INI") Fail("the settings file is not the fuzzer's own: " + g_file);
  std::atexit(CleanUp);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const bool bFileExists = input.ConsumeBool();
  const std::string first = input.ConsumeRandomLengthString(4096);

  struct Write {
    std::string section;
    std::string key;
    std::string value;
  };
  std::vector<Write> writes;
  while (input.remaining_bytes() > 0 && writes.size() < 12) {
    Write w;
    w.section = input.ConsumeRandomLengthString(64);
    w.key = input.ConsumeRandomLengthString(64);
    w.value = input.ConsumeRandomLengthString(256);
    writes.push_back(std::move(w));
  }

  RemoveConfig();
  if (bFileExists) PutFile(first);

  std::vector<Probe> probes = {{"Marlpane", "Com Port", {}}, {"Devices", "COM1", {}}};
  for (const Write& w : writes) probes.push_back({w.section, w.key, {}});
  if (bFileExists) AddNamesFromFile(first, probes);
  for (Probe& p : probes) p.expected = platform::GetProfileString(p.section, p.key, kAbsent);

  for (const Write& w : writes) {
    std::string before;
    const bool bExistedBefore = ReadFile(before);
    const bool bKeyExisted = platform::GetProfileString(w.section, w.key, kAbsent) != kAbsent;
    const BOOL written = platform::WriteProfileString(w.section, w.key, w.value);
    std::string after;
    const bool bExistsAfter = ReadFile(after);

    if (Refused(w.section, w.key, w.value)) {
      if (written) Fail("a write the rules refuse succeeded");
      if (bExistsAfter != bExistedBefore || after != before) Fail("a refused write changed the file");
    } else {
      if (!written) Fail("a write failed");
      if (!bExistsAfter) Fail("a write left no file");
      const std::string expected = Trim(w.value, " \t");
      if (platform::GetProfileString(w.section, w.key, kAbsent) != expected) {
        Fail("a written value does not read back");
      }
      CheckOneLineChanged(before, after, bKeyExisted, w.key, w.value);
      for (Probe& p : probes) {
        if (SameName(p.section, w.section) && SameName(p.key, w.key)) p.expected = expected;
      }
    }
    ExpectNothingBesideTheFile();
    for (const Probe& p : probes) {
      if (platform::GetProfileString(p.section, p.key, kAbsent) != p.expected) {
        Fail("a write changed what another key reads");
      }
    }
  }
  return 0;
}
