#include "tests/support/process_probe.h"

#ifdef _WIN32
#include <windows.h>
#include <tlhelp32.h>
#else
#include <dirent.h>
#include <time.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#endif

int ThreadCount() {
  int n = 0;
#ifdef _WIN32
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    n += entry.th32OwnerProcessID == GetCurrentProcessId();
  }
  CloseHandle(snapshot);
#else
  if (DIR* dir = opendir("/proc/self/task")) {
    while (const dirent* entry = readdir(dir)) n += entry->d_name[0] != '.';
    closedir(dir);
  }
#endif
  return n;
}

double ProcessCpuSeconds() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
#else
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
#endif
}

#ifndef _WIN32
std::vector<std::string> MappedFiles(int pid) {
  std::vector<std::string> files;
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  std::string line;
  while (std::getline(maps, line)) {
    // address perms offset device inode [path]: the path may hold blanks.
    std::istringstream fields(line);
    std::string skip;
    for (int i = 0; i < 5; ++i) fields >> skip;
    std::string path;
    std::getline(fields >> std::ws, path);
    if (path.empty() || path.front() != '/') continue;  // anonymous, [heap], [stack]...
    if (std::find(files.begin(), files.end(), path) == files.end()) files.push_back(path);
  }
  return files;
}
#endif
