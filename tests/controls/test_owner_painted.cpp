// Text laid out and shortened, and the owner-painted bar and label drawn pixel for pixel, on a
// headless backend that also records the text drawn and whose system colours a test sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "controls/ellipsis_label.h"
#include "controls/shaded_progress_ctrl.h"
#include "platform/ui/drawing.h"
#include "platform/ui/headless/headless_backend.h"

namespace {

class CRecordingBackend : public CHeadlessBackend {
 public:
  struct TextCall {
    HWND hFontOwner;
    int x, y;
    std::string text;
    COLORREF colour;
    RECT clip;
  };
  CRecordingBackend() { SetUiBackend(this); }
  ~CRecordingBackend() override { SetUiBackend(nullptr); }
  void SetColour(int index, COLORREF colour) { m_colours[index] = colour; }
  COLORREF GetSysColor(int index) override {
    auto it = m_colours.find(index);
    return it != m_colours.end() ? it->second : CHeadlessBackend::GetSysColor(index);
  }
  void RenderText(HWND hFontOwner, CPixelBuffer& target, int x, int y, const std::string& text,
                  COLORREF colour, const RECT& clip) override {
    m_texts.push_back({hFontOwner, x, y, text, colour, clip});
    CHeadlessBackend::RenderText(hFontOwner, target, x, y, text, colour, clip);
  }
  std::vector<TextCall> m_texts;

 private:
  std::map<int, COLORREF> m_colours;
};

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

constexpr int kTemplateId = 9600;
constexpr int kBar10 = 1601;  // 101 x 10 pixels
constexpr int kBar17 = 1602;  // 101 x 17
constexpr int kBar5 = 1603;   // 21 x 5
constexpr int kLabel = 1604;  // 140 x 14

void RegisterTestTemplate() {
  DialogTemplate t{kTemplateId, "paint", "MS Sans Serif", 8, 200, 100, WS_POPUP | WS_CAPTION, 0, {}};
  const auto control = [](ControlKind kind, int id, int cx, int cy) {
    return ControlTemplate{kind, id, "", 0, 0, cx, cy, WS_CHILD | WS_VISIBLE, 0, {}, 0};
  };
  t.controls = {control(ControlKind::ProgressBar, kBar10, 58, 6),
                control(ControlKind::ProgressBar, kBar17, 58, 10),
                control(ControlKind::ProgressBar, kBar5, 12, 3),
                control(ControlKind::Static, kLabel, 80, 8)};
  RegisterDialogTemplate(t);
}

class CPaintDialog : public CDialog {
 public:
  CPaintDialog() : CDialog(kTemplateId) {}
  void DoDataExchange() override {
    DDX_Control(this, kBar10, m_bar10);
    DDX_Control(this, kBar17, m_bar17);
    DDX_Control(this, kBar5, m_bar5);
    DDX_Control(this, kLabel, m_label);
  }
  CShadedProgressCtrl m_bar10;
  CShadedProgressCtrl m_bar17;
  CShadedProgressCtrl m_bar5;
  CEllipsisLabel m_label;
};

struct StepCase {
  COLORREF in;
  UINT amount;
  COLORREF up;
  COLORREF down;
};

TEST(ColorStep, ChannelsMoveOnlyWhileTheyStayInRange) {
  // The worked example's ramp is in every bar picture below.
  const StepCase cases[] = {
      // Edges: a sum of exactly 255 is taken, 256 is not; 51 - 51 reaches 0, 50 stays.
      {RGB(204, 205, 0), 51, RGB(255, 205, 51), RGB(153, 154, 0)},
      {RGB(51, 50, 255), 51, RGB(102, 101, 255), RGB(0, 50, 204)},
      // Only the amount's low byte counts; the result's high byte is clear.
      {RGB(10, 20, 30) | 0xFF000000, 256 + 51, RGB(61, 71, 81), RGB(10, 20, 30)},
      {RGB(1, 2, 3), 0, RGB(1, 2, 3), RGB(1, 2, 3)},
  };
  for (const StepCase& c : cases) {
    EXPECT_EQ(ColorStepUp(c.in, c.amount), c.up) << std::hex << c.in << " + " << c.amount;
    EXPECT_EQ(ColorStepDown(c.in, c.amount), c.down) << std::hex << c.in << " - " << c.amount;
  }
}

// The colours of the worked example: highlight (10, 36, 106) and the ramp made from it.
std::map<char, COLORREF> WorkedColours() {
  return {{'f', RGB(212, 208, 200)}, {'b', RGB(10, 36, 106)},  {'1', RGB(61, 87, 157)},
          {'2', RGB(112, 138, 208)}, {'3', RGB(163, 189, 208)}, {'d', RGB(10, 36, 55)},
          {'e', RGB(10, 36, 4)},     {'s', RGB(128, 128, 128)}, {'h', RGB(96, 96, 96)}};
}

// The finished picture of a bar at least 6 wide and 10 high, row by row (T, T+1, T+2, T+3,
// T+4..B-6, B-5, B-4, B-3, B-2, B-1) and column by column (L, L+1, L+2..R-4, R-3, R-2, R-1,
// R, R+1).
const char* const kPicture[10] = {"bbddddhs", "b1bbbehs", "b211dehs", "b322dehs", "b332dehs",
                                  "b322dehs", "b211dehs", "b1bbdehs", "bbdddehs", "bdeeeehs"};

CPixelBuffer TablePicture(int w, int h, int e, const std::map<char, COLORREF>& c) {
  CPixelBuffer p(w, h, c.at('f'));
  for (int y = 0; y < h && e > 0; ++y) {
    const int row = y < 4 ? y : (y >= h - 5 ? 10 - (h - y) : 4);
    for (int x = 0; x <= e + 1 && x < w; ++x) {
      int col = 2;
      if (x <= 1) col = x;
      else if (x >= e - 3) col = x - e + 6;
      p.Set(x, y, c.at(kPicture[row][col]));
    }
  }
  return p;
}

// A bar too narrow or too low for the table: the shading's lines fold over each other, but
// the bar and its two edge columns are in the ramp's colours and everything right of them is
// the face.
void ExpectFoldedBar(const CPixelBuffer& got, int e, const std::map<char, COLORREF>& c, const std::string& what) {
  int wrong = 0;
  for (int y = 0; y < got.Height(); ++y) {
    for (int x = 0; x < got.Width(); ++x) {
      const COLORREF pixel = got.Get(x, y);
      const bool ramp = std::any_of(c.begin(), c.end(), [&](const auto& k) { return k.first != 'f' && k.second == pixel; });
      if (x <= e + 1 ? !ramp : pixel != c.at('f')) ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0) << what;
}

void ExpectSamePicture(const CPixelBuffer& got, const CPixelBuffer& want, const std::string& what) {
  ASSERT_EQ(got.Width(), want.Width()) << what;
  ASSERT_EQ(got.Height(), want.Height()) << what;
  int wrong = 0;
  for (int y = 0; y < want.Height(); ++y)
    for (int x = 0; x < want.Width(); ++x)
      if (got.Get(x, y) != want.Get(x, y) && ++wrong <= 5)
        ADD_FAILURE() << what << ": pixel " << x << "," << y << " is " << std::hex << got.Get(x, y) << " not " << want.Get(x, y);
  EXPECT_EQ(wrong, 0) << what;
}

class OwnerPainted : public ::testing::Test {
 protected:
  void MakeDialog(int darkShadow = 64) {
    m_backend.SetColour(COLOR_HIGHLIGHT, RGB(10, 36, 106));
    m_backend.SetColour(COLOR_BTNFACE, RGB(212, 208, 200));
    m_backend.SetColour(COLOR_BTNSHADOW, RGB(128, 128, 128));
    m_backend.SetColour(COLOR_3DDKSHADOW, RGB(darkShadow, darkShadow, darkShadow));
    RegisterTestTemplate();
    m_dlg = std::make_unique<CPaintDialog>();
    ASSERT_TRUE(m_dlg->Create());
  }
  void TearDown() override {
    if (m_dlg && IsWindow(m_dlg->GetSafeHwnd())) m_dlg->DestroyWindow();
    m_dlg.reset();
  }
  CPixelBuffer Paint(CShadedProgressCtrl& bar, int pos) {
    bar.SetPos(pos);
    bar.Invalidate();
    bar.UpdateWindow();
    return m_backend.LastPresented(bar.GetSafeHwnd());
  }
  CPixelBuffer PaintLabel(const std::string& text) {
    m_dlg->m_label.SetWindowText(text);
    m_dlg->m_label.UpdateWindow();
    return m_backend.LastPresented(m_dlg->m_label.GetSafeHwnd());
  }

  CRecordingBackend m_backend;
  std::unique_ptr<CPaintDialog> m_dlg;
};

TEST_F(OwnerPainted, BarsMatchThePictureTableOrFoldWithinTheirEdges) {
  MakeDialog();
  const auto colours = WorkedColours();
  CShadedProgressCtrl* bars[] = {&m_dlg->m_bar10, &m_dlg->m_bar17, &m_dlg->m_bar5};
  const int cases[][3] = {  // bar, position, extent (position * width / 100, truncated)
      {0, 0, 0}, {0, 1, 1},  {0, 3, 3},    {0, 5, 5},  {0, 6, 6},  {0, 50, 50},
      {0, 99, 99}, {0, 100, 101}, {1, 2, 2}, {1, 4, 4}, {1, 7, 7}, {1, 100, 101},
      {2, 5, 1},  {2, 10, 2}, {2, 24, 5},   {2, 100, 21}};
  for (const auto& [bar, pos, extent] : cases) {
    RECT rc;
    bars[bar]->GetClientRect(&rc);
    const std::string what = std::to_string(rc.right) + "x" + std::to_string(rc.bottom) + " at " + std::to_string(pos);
    if (extent == 0 || (extent >= 6 && rc.bottom >= 10)) {
      ExpectSamePicture(Paint(*bars[bar], pos), TablePicture(rc.right, rc.bottom, extent, colours), what);
    } else {
      ExpectFoldedBar(Paint(*bars[bar], pos), extent, colours, what);
    }
  }
}

TEST_F(OwnerPainted, BarKeepsItsRampWhileTheFaceFollowsTheSystem) {
  MakeDialog(63);
  EXPECT_EQ(Paint(m_dlg->m_bar10, 50).Get(50, 4), RGB(95, 95, 95));  // half shadow rounds down
  m_backend.SetColour(COLOR_HIGHLIGHT, RGB(200, 0, 0));
  m_backend.SetColour(COLOR_BTNFACE, RGB(1, 2, 3));
  const CPixelBuffer picture = Paint(m_dlg->m_bar10, 50);
  EXPECT_EQ(picture.Get(20, 4), RGB(163, 189, 208));
  EXPECT_EQ(picture.Get(80, 5), RGB(1, 2, 3));

  // An empty range shows the face alone; erasing is left to the paint.
  m_dlg->m_bar10.SetRange32(40, 40);
  ExpectSamePicture(Paint(m_dlg->m_bar10, 40), CPixelBuffer(101, 10, RGB(1, 2, 3)), "empty range");
  m_backend.SetColour(COLOR_BTNFACE, RGB(9, 9, 9));
  EXPECT_NE(m_dlg->m_bar10.SendMessage(WM_ERASEBKGND, 0, 0), 0);
  EXPECT_EQ(GetWindowPaintBuffer(m_dlg->m_bar10.GetSafeHwnd())->Get(0, 0), RGB(1, 2, 3));
}

// The label draws its text shortened, at its top left in the dialog's font, on every
// SetWindowText (the same text again too), over its background; an empty text draws nothing.
TEST_F(OwnerPainted, LabelShortensAndRepaintsOnEverySetText) {
  MakeDialog();
  const COLORREF face = RGB(212, 208, 200);
  const std::string path = "C:\\Program Files\\Quorin\\image.bin";
  const std::tuple<BOOL, std::string, std::string> cases[] = {{TRUE, path, "C:\\...\\image.bin"},
                                                              {FALSE, path, "C:\\Program Files\\Quo..."},
                                                              {TRUE, "a&b", "a&b"},
                                                              {TRUE, "a&b", "a&b"}};
  for (const auto& [pathEllipsis, text, shown] : cases) {
    m_dlg->m_label.m_bPathEllipsis = pathEllipsis;
    m_backend.m_texts.clear();
    const CPixelBuffer written = PaintLabel(text);
    ASSERT_EQ(m_backend.m_texts.size(), 1u) << text;
    const auto& call = m_backend.m_texts.back();
    EXPECT_EQ(call.text, shown);
    EXPECT_EQ(std::pair(call.x, call.y), std::pair(0, 0));
    EXPECT_EQ(call.hFontOwner, m_dlg->GetSafeHwnd());
    EXPECT_EQ(call.colour, GetSysColor(COLOR_BTNTEXT));
    int inked = 0;
    for (int x = 0; x < written.Width(); ++x) inked += written.Get(x, 5) != face;
    EXPECT_GT(inked, 0) << text;
  }
  m_backend.m_texts.clear();
  ExpectSamePicture(PaintLabel(""), CPixelBuffer(140, 14, face), "empty text");
  EXPECT_TRUE(m_backend.m_texts.empty());
}

}  // namespace
