// The layer's pictures (CPixelBuffer, 0x00BBGGRR) on Win32: rows for a 32-bit top-down DIB,
// icons with their clearness turned into alpha, and text drawn by GDI into a picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/pixel_buffer.h"
#include "platform/os/win32/win32_sdk.h"

namespace platform::win32ui {

// 0x00RRGGBB per pixel, as a 32-bit DIB stores it; the high byte is left 0.
std::vector<std::uint32_t> ToDibPixels(const CPixelBuffer& pixels);
BITMAPINFO TopDownDibInfo(int width, int height);

// The icon picture at size x size: each destination pixel averages the source pixels it covers,
// weighted by their opacity, so a clear pixel lends no colour to its neighbours.
CPixelBuffer ResampleIcon(const CPixelBuffer& icon, int size);
// An icon of size x size from an icon picture (high byte: clearness); nullptr on failure. The
// caller destroys it (DestroyIcon).
::HICON MakeNativeIcon(const CPixelBuffer& icon, int size);

// Text in the font, measured and drawn as GDI draws it (what the screen will show).
::SIZE MeasureGdiText(::HFONT font, const std::wstring& text);
// Draws the text with its top-left corner at (x, y) in the colour, over what the picture holds,
// within clip and the picture.
void RenderGdiText(::HFONT font, CPixelBuffer& target, int x, int y, const std::wstring& text,
                   COLORREF colour, const platform::RECT& clip);

}  // namespace platform::win32ui
