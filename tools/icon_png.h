// The program icon as PNG files, for the desktop's icon theme on Linux: one 8-bit RGBA picture
// per size, drawn by the icon code itself, so no size is ever drawn by hand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/pixel_buffer.h"

// A picture as a PNG file: straight (not premultiplied) alpha, from the icon's clearness byte.
std::vector<std::uint8_t> EncodePng(const platform::CPixelBuffer& picture);

// The sizes the desktop's hicolor theme gets.
const std::vector<int>& DesktopIconSizes();

// Writes <folder>/<n>x<n>/apps/quorin.png for each of the sizes, making the folders; on failure
// returns false with the reason in `error`.
bool WriteDesktopIcons(const std::string& folder, const std::vector<int>& sizes, std::string& error);
