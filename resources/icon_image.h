// The program icon (resource 128), drawn in code: a square picture of the given size (32 and
// 16 are the sizes it is designed for; any positive size works, others give an empty picture).
// Unlike other pictures, the icon uses the high byte of each pixel: how transparent the pixel
// is, 0 opaque to 255 clear (IconPixelClearness).
#pragma once

#include "platform/ui/pixel_buffer.h"

CPixelBuffer MakeProgramIcon(int size);

constexpr unsigned IconPixelClearness(COLORREF pixel) { return (pixel >> 24) & 0xFF; }
