// quorin-icon: writes the program icon as a Windows icon file, for the Windows build's
// resources, or as PNG files at the desktop's icon sizes, for the Linux install.
// Usage: quorin-icon OUTPUT.ico
//        quorin-icon --png FOLDER [SIZE...]   (FOLDER/<n>x<n>/apps/quorin.png; by default at
//                                             16, 32, 48, 64, 128 and 256 pixels)
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "resources/icon_file.h"
#include "tools/icon_png.h"

namespace {

constexpr int kLargestSize = 1024;

int Usage() {
  std::fprintf(stderr, "usage: quorin-icon OUTPUT.ico\n       quorin-icon --png FOLDER [SIZE...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--png") {
    std::vector<int> sizes;
    for (int i = 3; i < argc; ++i) {
      char* end = nullptr;
      const long size = std::strtol(argv[i], &end, 10);
      if (end == argv[i] || *end != '\0' || size < 1 || size > kLargestSize) {
        std::fprintf(stderr, "quorin-icon: \"%s\" is not a size from 1 to %d pixels\n", argv[i], kLargestSize);
        return 2;
      }
      sizes.push_back(static_cast<int>(size));
    }
    if (sizes.empty()) sizes = DesktopIconSizes();
    std::string error;
    if (!WriteDesktopIcons(argv[2], sizes, error)) {
      std::fprintf(stderr, "quorin-icon: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  if (argc != 2 || argv[1][0] == '-') return Usage();
  const std::vector<std::uint8_t> ico = MakeProgramIconFile({16, 24, 32, 48, 64, 256});
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "quorin-icon: %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  const bool ok = std::fwrite(ico.data(), 1, ico.size(), out) == ico.size();
  return std::fclose(out) == 0 && ok ? 0 : 1;
}
