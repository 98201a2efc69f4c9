// quorin-icon: writes the program icon as a Windows icon file, for the Windows build's
// resources. Usage: quorin-icon OUTPUT.ico
#include <cstdio>

#include "resources/icon_file.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quorin-icon OUTPUT.ico\n");
    return 2;
  }
  const std::vector<std::uint8_t> ico = MakeProgramIconFile({16, 24, 32, 48, 64, 256});
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool ok = std::fwrite(ico.data(), 1, ico.size(), out) == ico.size();
  return std::fclose(out) == 0 && ok ? 0 : 1;
}
