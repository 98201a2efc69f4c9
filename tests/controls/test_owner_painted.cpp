#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "controls/ellipsis_label.h"
#include "controls/shaded_progress_ctrl.h"
#include "tests/controls/drawing_test_backend.h"

namespace {

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

// The shading steps as data: points are (L or R) + dx, (T or B) + dy; one point is a pixel,
// more are a polyline.
struct Pt {
  char xFrom;
  int dx;
  char yFrom;
  int dy;
};
struct Step {
  char colour;
  std::vector<Pt> points;
};
const Step kSteps[] = {
    {'1', {{'L', 2, 'B', -4}, {'R', -2, 'B', -4}}},
    {'1', {{'L', 2, 'T', 2}, {'R', -2, 'T', 2}}},
    {'1', {{'L', 1, 'B', -3}}},
    {'1', {{'L', 1, 'T', 1}}},
    {'2', {{'L', 2, 'B', -5}, {'R', -3, 'B', -5}, {'R', -3, 'T', 3}, {'L', 1, 'T', 3}}},
    {'2', {{'L', 1, 'B', -4}}},
    {'2', {{'L', 1, 'T', 2}}},
    {'b', {{'L', 0, 'B', -1}, {'L', 0, 'T', 0}, {'L', 2, 'T', 0}}},
    {'b', {{'L', 1, 'B', -2}}},
    {'b', {{'L', 2, 'B', -3}, {'R', -2, 'B', -3}}},
    {'b', {{'L', 2, 'T', 1}, {'R', -1, 'T', 1}}},
    {'d', {{'L', 2, 'B', -2}, {'R', -2, 'B', -2}, {'R', -2, 'T', 1}}},
    {'d', {{'L', 2, 'T', 0}, {'R', 0, 'T', 0}}},
    {'d', {{'L', 1, 'B', -1}}},
    {'e', {{'L', 2, 'B', -1}, {'R', -1, 'B', -1}, {'R', -1, 'T', 0}}},
    {'h', {{'R', 0, 'T', 0}, {'R', 0, 'B', 0}}},
    {'s', {{'R', 1, 'T', 0}, {'R', 1, 'B', 0}}},
};

CPixelBuffer StepPicture(int w, int h, int e, const std::map<char, COLORREF>& c) {
  CPixelBuffer p(w, h, c.at('f'));
  if (e == 0) return p;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < e; ++x) p.Set(x, y, c.at('3'));
  const auto at = [&](const Pt& pt) { return std::pair{(pt.xFrom == 'L' ? 0 : e) + pt.dx, (pt.yFrom == 'T' ? 0 : h) + pt.dy}; };
  for (const Step& step : kSteps) {
    if (step.points.size() == 1) p.Set(at(step.points[0]).first, at(step.points[0]).second, c.at(step.colour));
    for (std::size_t i = 1; i < step.points.size(); ++i) {
      auto [x, y] = at(step.points[i - 1]);
      const auto [x1, y1] = at(step.points[i]);
      for (; x != x1 || y != y1; x += (x1 > x) - (x1 < x), y += (y1 > y) - (y1 < y)) p.Set(x, y, c.at(step.colour));
    }
  }
  return p;
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

TEST_F(OwnerPainted, BarsMatchThePictureTableAndTheStepTable) {
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
    const bool byTable = extent == 0 || (extent >= 6 && rc.bottom >= 10);
    ExpectSamePicture(Paint(*bars[bar], pos),
                      byTable ? TablePicture(rc.right, rc.bottom, extent, colours)
                              : StepPicture(rc.right, rc.bottom, extent, colours),
                      std::to_string(rc.right) + "x" + std::to_string(rc.bottom) + " at " +
                          std::to_string(pos));
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

TEST_F(OwnerPainted, LabelShortensFromTheTopLeftInTheDialogFont) {
  MakeDialog();
  const std::string path = "C:\\Program Files\\Quorin\\image.bin";
  const std::tuple<BOOL, std::string, std::string> cases[] = {
      {TRUE, path, "C:\\...\\image.bin"}, {FALSE, path, "C:\\Program Files\\Quo..."}, {TRUE, "a&b", "a&b"}};
  for (const auto& [pathEllipsis, text, shown] : cases) {
    m_dlg->m_label.m_bPathEllipsis = pathEllipsis;
    m_backend.m_texts.clear();
    PaintLabel(text);
    ASSERT_EQ(m_backend.m_texts.size(), 1u) << text;
    const auto& call = m_backend.m_texts.back();
    EXPECT_EQ(call.text, shown);
    EXPECT_EQ(call.x, 0);
    EXPECT_EQ(call.y, 0);
    EXPECT_EQ(call.hFontOwner, m_dlg->GetSafeHwnd());
    EXPECT_EQ(call.colour, GetSysColor(COLOR_BTNTEXT));
  }
}

TEST_F(OwnerPainted, LabelRepaintsOnEverySetTextOverItsBackground) {
  MakeDialog();
  const COLORREF face = RGB(212, 208, 200);
  const CPixelBuffer written = PaintLabel("XXXX");
  int inked = 0;
  for (int x = 0; x < written.Width(); ++x) inked += written.Get(x, 5) != face;
  EXPECT_GT(inked, 0);
  PaintLabel("XXXX");  // the same text again is drawn again
  EXPECT_EQ(m_backend.m_texts.size(), 2u);

  m_backend.m_texts.clear();
  ExpectSamePicture(PaintLabel(""), CPixelBuffer(140, 14, face), "empty text");
  EXPECT_TRUE(m_backend.m_texts.empty());
}

}  // namespace
