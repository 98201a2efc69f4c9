#include "resources/icon_file.h"

#include "resources/icon_image.h"

namespace {

constexpr std::uint32_t ICON_DIR_SIZE = 6;
constexpr std::uint32_t ICON_ENTRY_SIZE = 16;
constexpr std::uint32_t BITMAP_HEADER_SIZE = 40;

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A picture as the icon format keeps it: a bitmap header (twice the height: the colour rows
// and then the mask rows), the colour rows bottom-up as blue, green, red, alpha, and a mask
// bit per pixel (1: clear) for systems that ignore alpha.
std::vector<std::uint8_t> IconImage(const CPixelBuffer& picture) {
  const int w = picture.Width();
  const int h = picture.Height();
  const std::uint32_t maskStride = static_cast<std::uint32_t>((w + 31) / 32) * 4;
  std::vector<std::uint8_t> out;
  Put32(out, BITMAP_HEADER_SIZE);
  Put32(out, static_cast<std::uint32_t>(w));
  Put32(out, static_cast<std::uint32_t>(2 * h));
  Put16(out, 1);   // planes
  Put16(out, 32);  // bits per pixel
  for (int i = 0; i < 6; ++i) Put32(out, 0);  // no compression, sizes and palette left to the reader
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      const COLORREF c = picture.Get(x, y);
      out.push_back(GetBValue(c));
      out.push_back(GetGValue(c));
      out.push_back(GetRValue(c));
      out.push_back(static_cast<std::uint8_t>(255 - IconPixelClearness(c)));
    }
  }
  for (int y = h - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(maskStride, 0);
    for (int x = 0; x < w; ++x) {
      if (IconPixelClearness(picture.Get(x, y)) == 255) {
        row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace

std::vector<std::uint8_t> MakeProgramIconFile(const std::vector<int>& sizes) {
  std::vector<std::vector<std::uint8_t>> images;
  for (int size : sizes) images.push_back(IconImage(MakeProgramIcon(size)));

  std::vector<std::uint8_t> out;
  Put16(out, 0);  // reserved
  Put16(out, 1);  // an icon, not a cursor
  Put16(out, static_cast<std::uint32_t>(images.size()));
  std::uint32_t offset = ICON_DIR_SIZE + ICON_ENTRY_SIZE * static_cast<std::uint32_t>(images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    const int size = sizes[i];
    out.push_back(static_cast<std::uint8_t>(size >= 256 ? 0 : size));  // 0 stands for 256
    out.push_back(static_cast<std::uint8_t>(size >= 256 ? 0 : size));
    out.push_back(0);  // no palette
    out.push_back(0);
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, static_cast<std::uint32_t>(images[i].size()));
    Put32(out, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
  return out;
}
