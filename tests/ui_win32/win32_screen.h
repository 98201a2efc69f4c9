// The screen as a person sees it, for the Win32 window suite: a rectangle of it grabbed with
// GDI, and written as a PNG file (no tool needed on either side of Wine).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os/win32/win32_sdk.h"

struct CScreenPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, rows top-down
  std::uint32_t At(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
  }
};

// The screen's pixels in the rectangle (screen coordinates); empty when it cannot be read.
CScreenPicture GrabScreen(const ::RECT& area);
// A window as it stands on the screen, frame included.
CScreenPicture GrabWindow(::HWND hwnd);
// An 8-bit RGB PNG; false when the file cannot be written.
bool WritePng(const std::string& path, const CScreenPicture& picture);
