// The backend's pieces on their own: the program icon, the dialog font and its dialog units,
// text measured and drawn in that font.
#include <set>
#include <string>
#include <vector>

#include "platform/wx/wx_dialog_font.h"
#include "platform/wx/wx_pixels.h"
#include "platform/wx/wx_ui_backend.h"
#include "resources/icon_image.h"
#include "tests/wx/wx_test_support.h"


namespace {

TEST(ProgramIcon, DesignedSizesStandOnAClearBackgroundAndKeepItAsAlpha) {
  for (int size : {32, 16}) {
    const CPixelBuffer icon = MakeProgramIcon(size);
    ASSERT_EQ(std::pair(icon.Width(), icon.Height()), std::pair(size, size));
    std::set<COLORREF> colours;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        if (IconPixelClearness(icon.Get(x, y)) == 0) colours.insert(icon.Get(x, y));
      }
    }
    EXPECT_GT(colours.size(), 8u) << "a picture of more than one colour";
    // Clear corners, a solid box across the lower part.
    const wxImage image = IconPixelsToImage(icon);
    ASSERT_TRUE(image.HasAlpha());
    EXPECT_EQ(image.GetAlpha(0, 0), 0);
    EXPECT_EQ(image.GetAlpha(size / 2, size * 25 / 32), 255);
  }
}

class DialogFont : public CWxTest {};

TEST_F(DialogFont, MissingFaceFallsBackToTheDesktopSansAndUnitsFollowTheFontUsed) {
  const wxString desktopFace = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT).GetFaceName();
  const CWxDialogFont missing("No Such Face Anywhere", 10);
  EXPECT_FALSE(missing.IsRequestedFace());
  EXPECT_EQ(missing.Font().GetFaceName(), desktopFace);
  EXPECT_EQ(missing.Font().GetPointSize(), 10);

  // Units measured again here, the classic way, from the font the dialog really uses.
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
