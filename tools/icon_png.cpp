#include "tools/icon_png.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "resources/icon_image.h"

namespace {

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 24));
  out.push_back(static_cast<std::uint8_t>(v >> 16));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

// A chunk: length, type, data, and the CRC over type and data.
void PutChunk(std::vector<std::uint8_t>& out, const char (&type)[5], const std::vector<std::uint8_t>& data) {
  Put32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  const uLong crc = crc32(crc32(0L, Z_NULL, 0), out.data() + typeAt, static_cast<uInt>(4 + data.size()));
  Put32(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

std::vector<std::uint8_t> EncodePng(const platform::CPixelBuffer& picture) {
  const int w = picture.Width();
  const int h = picture.Height();

  // Each row: filter type 0 (none), then red, green, blue, alpha per pixel.
  std::vector<std::uint8_t> raw;
  raw.reserve(static_cast<std::size_t>(h) * (1 + 4 * static_cast<std::size_t>(w)));
  for (int y = 0; y < h; ++y) {
    raw.push_back(0);
    for (int x = 0; x < w; ++x) {
      const COLORREF c = picture.Get(x, y);
      raw.push_back(GetRValue(c));
      raw.push_back(GetGValue(c));
      raw.push_back(GetBValue(c));
      raw.push_back(static_cast<std::uint8_t>(255 - IconPixelClearness(c)));
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<std::uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK) {
    return {};
  }
  packed.resize(packedSize);

  std::vector<std::uint8_t> header;
  Put32(header, static_cast<std::uint32_t>(w));
  Put32(header, static_cast<std::uint32_t>(h));
  header.push_back(8);  // bits per channel
  header.push_back(6);  // colour type: RGBA
  header.push_back(0);  // deflate
  header.push_back(0);  // adaptive filtering, one filter byte per row
  header.push_back(0);  // not interlaced

  std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  PutChunk(out, "IHDR", header);
  PutChunk(out, "IDAT", packed);
  PutChunk(out, "IEND", {});
  return out;
}

const std::vector<int>& DesktopIconSizes() {
  static const std::vector<int> sizes = {16, 32, 48, 64, 128, 256};
  return sizes;
}

bool WriteDesktopIcons(const std::string& folder, const std::vector<int>& sizes, std::string& error) {
  for (int size : sizes) {
    const std::vector<std::uint8_t> png = EncodePng(MakeProgramIcon(size));
    const std::string name = std::to_string(size) + "x" + std::to_string(size);
    const std::filesystem::path dir = std::filesystem::path(folder) / name / "apps";
    const std::filesystem::path file = dir / "quorin.png";
    if (png.empty()) {
      error = file.string() + ": the picture could not be compressed";
      return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
      error = dir.string() + ": " + ec.message();
      return false;
    }
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (out == nullptr) {
      error = file.string() + ": " + std::strerror(errno);
      return false;
    }
    const bool written = std::fwrite(png.data(), 1, png.size(), out) == png.size();
    const int writeErrno = errno;
    if (std::fclose(out) != 0 || !written) {
      error = file.string() + ": " + std::strerror(written ? errno : writeErrno);
      return false;
    }
  }
  return true;
}
