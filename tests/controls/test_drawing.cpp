#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/ui/drawing.h"
#include "tests/controls/drawing_test_backend.h"

namespace {

TEST(Drawing, EllipsisKeepsWhatTheFlagsAskForWithinTheWidth) {
  const auto oneEach = [](const std::string& s) { return static_cast<int>(s.size()); };
  struct Case {
    std::string text;
    int width;
    UINT format;
    std::string shown;
  };
  const Case cases[] = {
      {"short", 10, DT_END_ELLIPSIS, "short"},
      {"abcdefghij", 8, DT_END_ELLIPSIS, "abcde..."},
      {"abcdefghij", 2, DT_END_ELLIPSIS, "..."},
      {"C:\\Program Files\\Vendor\\app\\image.bin", 20, DT_PATH_ELLIPSIS, "C:\\...\\image.bin"},
      {"/home/user/projects/receiver/image.bin", 19, DT_PATH_ELLIPSIS, "/home/.../image.bin"},
      {"/home/user/projects/receiver/image.bin", 16, DT_PATH_ELLIPSIS, ".../image.bin"},
      {"/home/user/projects/receiver/image.bin", 10, DT_PATH_ELLIPSIS, ".../ima..."},
      {"C:/dir\\sub/file", 12, DT_PATH_ELLIPSIS, "C:/.../file"},
      {"C:\\image-file.bin", 10, DT_PATH_ELLIPSIS, "C:\\imag..."},
      {"abcdefghij", 8, DT_PATH_ELLIPSIS, "abcde..."},
      {"C:\\a\\b.bin", 10, DT_PATH_ELLIPSIS, "C:\\a\\b.bin"},
      // Never a cut inside a character.
      {"\xC3\xA4\xC3\xB6\xC3\xBC\xC3\xA4\xC3\xB6", 8, DT_END_ELLIPSIS, "\xC3\xA4\xC3\xB6..."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EllipsizeLine(c.text, c.width, c.format, oneEach), c.shown) << c.text << " in " << c.width;
  }
}

class DrawingText : public ::testing::Test {
 protected:
  CRecordingBackend m_backend;
};

TEST_F(DrawingText, DrawTextExPlacesLinesAndHonoursPrefixesAndCentring) {
  CBitmap bitmap;  // outlives the context it is selected into
  CDC dc;
  dc.CreateCompatibleDC(nullptr);
  bitmap.CreateCompatibleBitmap(&dc, 45, 30);
  dc.SelectObject(&bitmap);
  RECT rc{2, 3, 50, 40};  // runs past the bitmap: drawing is clipped to both
  struct Case {
    std::string text;
    UINT format;
    std::vector<std::pair<int, std::string>> lines;  // y and text of each line drawn
  };
  const Case cases[] = {
      {"a&b&&c&", 0, {{3, "ab&c"}}},  // prefixes, unless DT_NOPREFIX
      {"one\r\ntwo\nthree", DT_NOPREFIX, {{3, "one"}, {16, "two"}, {29, "three"}}},
      {"mid", DT_NOPREFIX | DT_VCENTER, {{3, "mid"}}},  // centring needs a single line
      {"mid", DT_NOPREFIX | DT_VCENTER | DT_SINGLELINE, {{3 + (37 - 13) / 2, "mid"}}},
  };
  for (const Case& c : cases) {
    m_backend.m_texts.clear();
    dc.DrawTextEx(c.text.c_str(), -1, &rc, c.format);
    ASSERT_EQ(m_backend.m_texts.size(), c.lines.size()) << c.text;
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
      const auto& call = m_backend.m_texts[i];
      EXPECT_EQ(call.x, 2);
      EXPECT_EQ(call.y, c.lines[i].first) << c.text;
      EXPECT_EQ(call.text, c.lines[i].second);
      EXPECT_EQ(std::pair(call.clip.right, call.clip.bottom), std::pair(45, 30));
    }
  }
}

}  // namespace
