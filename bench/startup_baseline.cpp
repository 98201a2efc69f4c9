// quorin-startup-baseline: the least a program can do to put the reboot text on a line. It
// opens the line given as its argument and writes the 9 bytes, nothing else; the benchmark
// times the program's own start-up against it.
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::FILE* line = std::fopen(argv[1], "wb");
  if (line == nullptr) return 1;
  static const char kReboot[9] = {'\n', 'r', 'e', 'b', 'o', 'o', 't', '\n', '\0'};
  const bool written = std::fwrite(kReboot, 1, sizeof kReboot, line) == sizeof kReboot;
  return std::fclose(line) == 0 && written ? 0 : 1;
}
