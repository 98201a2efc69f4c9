// The backend's pieces on their own: the dialog font's units, text measured and drawn in it.
#include <string>

#include "platform/ui/wx/wx_dialog_font.h"
#include "platform/ui/wx/wx_ui_backend.h"
#include "tests/wx/wx_test_support.h"

namespace {

class DialogFont : public CWxTest {};

// Units measured again here, the classic way, from the font the dialog really uses: the
// layout test takes them as given.
TEST_F(DialogFont, UnitsFollowTheFontUsed) {
  for (int points : {8, 14}) {
    const CWxDialogFont font("", points);
    wxBitmap scratch(1, 1);
    wxMemoryDC dc(scratch);
    dc.SetFont(font.Font());
    const wxSize alphabet = dc.GetTextExtent("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(font.BaseUnitX(), (alphabet.x / 26 + 1) / 2) << points;
    EXPECT_EQ(font.BaseUnitY(), dc.GetCharHeight()) << points;
  }
}

TEST_F(DialogFont, TextIsDrawnInsideTheClipInTheGivenColourOverWhatIsThere) {
  CWxUiBackend& ui = CWxUiBackend::Instance();
  const SIZE extent = ui.MeasureText(nullptr, "Turn on the STB");
  ASSERT_GT(extent.cx, 20);
  ASSERT_GT(extent.cy, 5);
  EXPECT_LT(ui.MeasureText(nullptr, "ii").cx, ui.MeasureText(nullptr, "WW").cx);

  const COLORREF ground = RGB(10, 200, 30), ink = RGB(250, 0, 250);
  CPixelBuffer target(extent.cx + 20, extent.cy + 10, ground);
  const RECT clip{10, 0, 10 + extent.cx / 2, target.Height()};
  ui.RenderText(nullptr, target, 10, 5, "Turn on the STB", ink, clip);
  int inked = 0;
  for (int y = 0; y < target.Height(); ++y) {
    for (int x = 0; x < target.Width(); ++x) {
      const COLORREF c = target.Get(x, y);
      if (c == ground) continue;
      EXPECT_TRUE(x >= clip.left && x < clip.right && y >= 5 && y < 5 + extent.cy)
          << "drawn outside the clip at " << x << "," << y;
      if (GetRValue(c) > 128 && GetGValue(c) < 100) ++inked;  // mostly ink
    }
  }
  EXPECT_GT(inked, 10) << "the strokes are not in the colour asked for";
}

}  // namespace
