// The desktop icons: every PNG that quorin-icon writes is decoded here, by a reader of our
// own that checks each chunk's CRC, inflates the data and reads the unfiltered rows, and compared
// pixel by pixel with what the icon code draws at that size.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "resources/icon_image.h"
#include "tests/support/test_files.h"
#include "tools/icon_png.h"

namespace {

std::uint32_t Be32(const ByteVec& b, std::size_t at) {
  return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

struct DecodedPng {
  int width = 0;
  int height = 0;
  ByteVec rgba;  // rows top-down, 4 bytes a pixel
};

// Reads an 8-bit RGBA, non-interlaced PNG; any departure is a test failure.
::testing::AssertionResult DecodePng(const ByteVec& file, DecodedPng& out) {
  static const ByteVec signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (file.size() < 8 || !std::equal(signature.begin(), signature.end(), file.begin())) {
    return ::testing::AssertionFailure() << "no PNG signature";
  }
  ByteVec packed;
  bool header = false, end = false;
  std::size_t at = 8;
  while (at + 12 <= file.size() && !end) {
    const std::uint32_t length = Be32(file, at);
    if (at + 12 + length > file.size()) return ::testing::AssertionFailure() << "chunk runs past the end";
    const std::string type(file.begin() + static_cast<long>(at + 4), file.begin() + static_cast<long>(at + 8));
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), file.data() + at + 4, 4 + length);
    if (crc != Be32(file, at + 8 + length)) return ::testing::AssertionFailure() << "bad CRC in " << type;
    const std::uint8_t* data = file.data() + at + 8;
    if (type == "IHDR") {
      if (length != 13) return ::testing::AssertionFailure() << "IHDR of " << length << " bytes";
      out.width = static_cast<int>(Be32(file, at + 8));
      out.height = static_cast<int>(Be32(file, at + 12));
      if (data[8] != 8 || data[9] != 6 || data[10] != 0 || data[11] != 0 || data[12] != 0) {
        return ::testing::AssertionFailure() << "not 8-bit RGBA, deflate, non-interlaced";
      }
      header = true;
    } else if (type == "IDAT") {
      packed.insert(packed.end(), data, data + length);
    } else if (type == "IEND") {
      end = true;
    }
    at += 12 + length;
  }
  if (!header || !end) return ::testing::AssertionFailure() << "IHDR or IEND missing";
  if (at != file.size()) return ::testing::AssertionFailure() << "bytes after IEND";

  const std::size_t stride = 4 * static_cast<std::size_t>(out.width);
  ByteVec raw(static_cast<std::size_t>(out.height) * (stride + 1));
  uLongf rawSize = raw.size();
  if (uncompress(raw.data(), &rawSize, packed.data(), packed.size()) != Z_OK || rawSize != raw.size()) {
    return ::testing::AssertionFailure() << "image data do not inflate to " << raw.size() << " bytes";
  }
  // Every row as it stands (filter 0): the encoder writes no other.
  out.rgba.clear();
  for (int y = 0; y < out.height; ++y) {
    const std::uint8_t* row = raw.data() + static_cast<std::size_t>(y) * (stride + 1);
    if (row[0] != 0) return ::testing::AssertionFailure() << "row " << y << " has filter " << int{row[0]};
    out.rgba.insert(out.rgba.end(), row + 1, row + 1 + stride);
  }
  return ::testing::AssertionSuccess();
}

// Compares a decoded picture with the one it was made from; reports the first pixel that differs.
::testing::AssertionResult SamePixels(const DecodedPng& png, const CPixelBuffer& picture) {
  if (png.width != picture.Width() || png.height != picture.Height()) {
    return ::testing::AssertionFailure() << png.width << "x" << png.height << " instead of " << picture.Width()
                                         << "x" << picture.Height();
  }
  for (int y = 0; y < png.height; ++y) {
    for (int x = 0; x < png.width; ++x) {
      const std::uint8_t* p = png.rgba.data() + (static_cast<std::size_t>(y) * png.width + x) * 4;
      const COLORREF c = picture.Get(x, y);
      const unsigned alpha = 255 - IconPixelClearness(c);
      if (p[0] != GetRValue(c) || p[1] != GetGValue(c) || p[2] != GetBValue(c) || p[3] != alpha) {
        return ::testing::AssertionFailure()
               << "pixel (" << x << ", " << y << ") is " << int{p[0]} << "," << int{p[1]} << "," << int{p[2]} << ","
               << int{p[3]} << " instead of " << int{GetRValue(c)} << "," << int{GetGValue(c)} << ","
               << int{GetBValue(c)} << "," << alpha;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

int RunTool(const std::string& args, const std::string& errFile) {
  const int status = std::system(("'" QUORIN_ICON_TOOL_PATH "' " + args + " 2>'" + errFile + "'").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

// A picture that is not square, with each channel and the alpha different in every pixel:
// rows and columns, channel order and the alpha's direction all show.
TEST(IconPng, KeepsEveryChannelOfEveryPixel) {
  CPixelBuffer picture(3, 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      const int i = y * 3 + x;
      picture.Set(x, y, RGB(10 + i, 100 + i, 200 + i) | (static_cast<COLORREF>(i * 40) << 24));
    }
  }
  DecodedPng png;
  ASSERT_TRUE(DecodePng(EncodePng(picture), png));
  EXPECT_TRUE(SamePixels(png, picture));
  EXPECT_EQ(png.rgba[3], 255) << "a pixel of clearness 0 is opaque";
}

// quorin-icon --png: the hicolor tree the install takes, every size drawn by the icon code.
TEST(IconPng, ToolWritesEveryDesktopSizeFromTheIconCode) {
  CTempFolder folder;
#ifdef QUORIN_SMALL_ICONS_ONLY
  const std::vector<int> sizes = {16, 32, 48, 64};
  const std::string sizeArgs = " 16 32 48 64";
#else
  const std::vector<int> sizes = DesktopIconSizes();
  const std::string sizeArgs;
  EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48, 64, 128, 256}));
#endif
  ASSERT_EQ(RunTool("--png '" + folder.Path("hicolor") + "'" + sizeArgs, folder.Path("err")), 0)
      << ReadText(folder.Path("err"));
  for (int size : sizes) {
    SCOPED_TRACE(size);
    const std::string n = std::to_string(size);
    DecodedPng png;
    ASSERT_TRUE(DecodePng(ReadWholeFile(folder.Path("hicolor/" + n + "x" + n + "/apps/quorin.png")), png));
    const CPixelBuffer icon = MakeProgramIcon(size);
    EXPECT_TRUE(SamePixels(png, icon));
    // A real drawing at every size: a clear corner, and the receiver's body opaque.
    EXPECT_EQ(png.rgba[3], 0);
    EXPECT_EQ(png.rgba[(static_cast<std::size_t>(size * 25 / 32) * size + size / 2) * 4 + 3], 255);
  }
}

TEST(IconPng, ToolSaysWhyItCannotWrite) {
  CTempFolder folder;
  // A file where the size folders should go.
  const std::string blocked = folder.MakeFile("hicolor", ByteVec{'x'});
  EXPECT_EQ(RunTool("--png '" + blocked + "'", folder.Path("err")), 1);
  const std::string err = ReadText(folder.Path("err"));
  EXPECT_NE(err.find(blocked), std::string::npos) << err;
  EXPECT_EQ(RunTool("--png", folder.Path("err")), 2) << "a missing folder is a usage error";
  for (const char* size : {"0", "16px", "-16", "1025"}) {
    EXPECT_EQ(RunTool("--png '" + folder.Path("icons") + "' 16 " + size, folder.Path("err")), 2) << size;
    EXPECT_NE(ReadText(folder.Path("err")).find(size), std::string::npos) << ReadText(folder.Path("err"));
  }
  EXPECT_FALSE(std::ifstream(folder.Path("icons/16x16/apps/quorin.png")).good()) << "nothing is written on a bad size";
}
