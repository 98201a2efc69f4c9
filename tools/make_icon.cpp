// quorin-icon: writes the program icon as a Windows icon file, for the Windows build's
// resources, or as PNG files at the desktop's icon sizes, for the Linux install.
// Usage: quorin-icon OUTPUT.ico
//        quorin-icon --png FOLDER    (FOLDER/<n>x<n>/apps/quorin.png)
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "resources/icon_file.h"
#include "tools/icon_png.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--png") {
    std::string error;
    if (!WriteDesktopIcons(argv[2], error)) {
      std::fprintf(stderr, "quorin-icon: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: quorin-icon OUTPUT.ico\n       quorin-icon --png FOLDER\n");
    return 2;
  }
  const std::vector<std::uint8_t> ico = MakeProgramIconFile({16, 24, 32, 48, 64, 256});
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "quorin-icon: %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  const bool ok = std::fwrite(ico.data(), 1, ico.size(), out) == ico.size();
  return std::fclose(out) == 0 && ok ? 0 : 1;
}
