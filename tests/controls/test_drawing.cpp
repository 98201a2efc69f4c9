#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "platform/drawing.h"
#include "tests/controls/drawing_test_backend.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kInk = RGB(200, 10, 20);

// A memory context with a white bitmap of its own selected.
class CCanvas {
 public:
  CCanvas(int width, int height) {
    m_dc.CreateCompatibleDC(nullptr);
    m_bitmap.CreateCompatibleBitmap(&m_dc, width, height);
    m_dc.SelectObject(&m_bitmap);
    RECT all{0, 0, width, height};
    CBrush white(kWhite);
    m_dc.FillRect(&all, &white);
  }
  CDC& DC() { return m_dc; }
  const CPixelBuffer& Pixels() const { return *m_bitmap.GetPixels(); }
  std::set<std::pair<int, int>> PixelsOf(COLORREF colour) const {
    std::set<std::pair<int, int>> found;
    for (int y = 0; y < Pixels().Height(); ++y)
      for (int x = 0; x < Pixels().Width(); ++x)
        if (Pixels().Get(x, y) == colour) found.insert({x, y});
    return found;
  }

 private:
  CBitmap m_bitmap;  // outlives the context it is selected into
  CDC m_dc;
};

using Points = std::set<std::pair<int, int>>;

TEST(Drawing, LinesTakeTheirStartAndLeaveTheirEndInEveryDirection) {
  struct Case {
    std::vector<POINT> path;  // MoveTo the first point, LineTo the others
    Points expected;
  };
  const Case cases[] = {
      {{{2, 2}, {5, 2}}, {{2, 2}, {3, 2}, {4, 2}}},
      {{{5, 2}, {2, 2}}, {{5, 2}, {4, 2}, {3, 2}}},
      {{{2, 1}, {2, 4}}, {{2, 1}, {2, 2}, {2, 3}}},
      {{{2, 4}, {2, 1}}, {{2, 4}, {2, 3}, {2, 2}}},
      {{{3, 3}, {3, 3}}, {}},
      {{{0, 0}, {3, 3}}, {{0, 0}, {1, 1}, {2, 2}}},
      // A polyline: each corner is drawn once, by the segment that starts there.
      {{{1, 1}, {4, 1}, {4, 4}, {1, 4}}, {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {4, 2}, {4, 3}, {4, 4}, {3, 4}, {2, 4}}},
      // Clipped to the bitmap, also from coordinates far outside it.
      {{{-5, 1}, {2, 1}}, {{0, 1}, {1, 1}}},
      {{{-100000000, 5}, {100000000, 5}}, {{0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}, {6, 5}, {7, 5}}},
  };
  for (const Case& c : cases) {
    CCanvas canvas(8, 6);
    CPen pen(PS_SOLID, 1, kInk);
    canvas.DC().SelectObject(&pen);
    canvas.DC().MoveTo(c.path[0].x, c.path[0].y);
    for (std::size_t i = 1; i < c.path.size(); ++i) canvas.DC().LineTo(c.path[i].x, c.path[i].y);
    EXPECT_EQ(canvas.PixelsOf(kInk), c.expected) << "path from " << c.path[0].x << "," << c.path[0].y;
  }
}

TEST(Drawing, SelectionAndSavedStatesComeBack) {
  CCanvas canvas(6, 3);
  CDC& dc = canvas.DC();
  CPen red(PS_SOLID, 1, RGB(255, 0, 0));
  CPen blue(PS_SOLID, 1, RGB(0, 0, 255));
  const HGDIOBJ stock = dc.SelectObject(&red);
  EXPECT_EQ(dc.SelectObject(&blue), red.GetSafeHandle());
  dc.MoveTo(0, 0);
  dc.SaveDC();
  dc.SelectObject(&red);
  dc.MoveTo(4, 2);
  ASSERT_TRUE(dc.RestoreDC(-1));
  dc.LineTo(2, 0);  // from the saved position with the saved pen
  EXPECT_EQ(canvas.PixelsOf(RGB(0, 0, 255)), (Points{{0, 0}, {1, 0}}));
  EXPECT_FALSE(dc.RestoreDC(-1));  // nothing saved any more
  EXPECT_EQ(dc.SelectObject(stock), blue.GetSafeHandle());

  // Deleted handles and pens we cannot draw are refused, not used.
  const HGDIOBJ stale = red.GetSafeHandle();
  red.DeleteObject();
  EXPECT_EQ(dc.SelectObject(stale), nullptr);
  EXPECT_EQ(CreatePen(PS_SOLID, 2, kInk), nullptr);
  EXPECT_EQ(dc.SetPixel(6, 0, kInk), CLR_INVALID);
  const HDC gone = dc.GetSafeHdc();
  dc.DeleteDC();
  EXPECT_FALSE(LineTo(gone, 1, 1));
}

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
  CCanvas canvas(45, 30);
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
    canvas.DC().DrawTextEx(c.text.c_str(), -1, &rc, c.format);
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
