#include "platform/ui/win32/win32_pixels.h"

#include <algorithm>
#include <cmath>

namespace platform::win32ui {

namespace {

std::uint32_t ToDib(COLORREF c) {
  return (static_cast<std::uint32_t>(GetRValue(c)) << 16) |
         (static_cast<std::uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

COLORREF FromDib(std::uint32_t p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }

// How much of source cell [i, i + 1) lies in the destination cell's span [from, to).
double Overlap(int i, double from, double to) {
  return std::max(0.0, std::min<double>(i + 1, to) - std::max<double>(i, from));
}

// A memory context with a top-down 32-bit DIB section selected; everything released with it.
class CDibContext {
 public:
  CDibContext(int width, int height) {
    const BITMAPINFO info = TopDownDibInfo(width, height);
    m_dc = ::CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    m_bitmap = ::CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    m_bits = static_cast<std::uint32_t*>(bits);
    if (m_dc != nullptr && m_bitmap != nullptr) m_old = ::SelectObject(m_dc, m_bitmap);
  }
  ~CDibContext() {
    if (m_old != nullptr) ::SelectObject(m_dc, m_old);
    if (m_bitmap != nullptr) ::DeleteObject(m_bitmap);
    if (m_dc != nullptr) ::DeleteDC(m_dc);
  }
  CDibContext(const CDibContext&) = delete;
  CDibContext& operator=(const CDibContext&) = delete;
  bool Ok() const { return m_old != nullptr && m_bits != nullptr; }
  ::HDC Dc() const { return m_dc; }
  std::uint32_t* Bits() const { return m_bits; }

 private:
  ::HDC m_dc = nullptr;
  ::HBITMAP m_bitmap = nullptr;
  ::HGDIOBJ m_old = nullptr;
  std::uint32_t* m_bits = nullptr;
};

}  // namespace

std::vector<std::uint32_t> ToDibPixels(const CPixelBuffer& pixels) {
  std::vector<std::uint32_t> rows(static_cast<std::size_t>(pixels.Width()) *
                                  static_cast<std::size_t>(pixels.Height()));
  const COLORREF* from = pixels.Data();
  std::transform(from, from + rows.size(), rows.begin(), ToDib);
  return rows;
}

BITMAPINFO TopDownDibInfo(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

CPixelBuffer ResampleIcon(const CPixelBuffer& icon, int size) {
  if (size <= 0 || icon.Width() <= 0 || icon.Height() <= 0) return CPixelBuffer();
  if (icon.Width() == size && icon.Height() == size) return icon;
  CPixelBuffer out(size, size, 0xFF000000);
  const double sx = static_cast<double>(icon.Width()) / size;
  const double sy = static_cast<double>(icon.Height()) / size;
  for (int dy = 0; dy < size; ++dy) {
    const double y0 = dy * sy, y1 = (dy + 1) * sy;
    for (int dx = 0; dx < size; ++dx) {
      const double x0 = dx * sx, x1 = (dx + 1) * sx;
      double weight = 0, opacity = 0, r = 0, g = 0, b = 0;
      for (int y = static_cast<int>(y0); y < icon.Height() && y < y1; ++y) {
        const double wy = Overlap(y, y0, y1);
        for (int x = static_cast<int>(x0); x < icon.Width() && x < x1; ++x) {
          const double w = wy * Overlap(x, x0, x1);
          const COLORREF c = icon.Get(x, y);
          const double a = 255.0 - static_cast<double>(c >> 24);
          weight += w;
          opacity += w * a;
          r += w * a * GetRValue(c);
          g += w * a * GetGValue(c);
          b += w * a * GetBValue(c);
        }
      }
      if (weight <= 0 || opacity <= 0) continue;  // stays clear
      const auto channel = [opacity](double v) {
        return static_cast<unsigned>(std::lround(std::clamp(v / opacity, 0.0, 255.0)));
      };
      const unsigned alpha = static_cast<unsigned>(std::lround(std::clamp(opacity / weight, 0.0, 255.0)));
      out.Set(dx, dy, RGB(channel(r), channel(g), channel(b)) | ((255u - alpha) << 24));
    }
  }
  return out;
}

::HICON MakeNativeIcon(const CPixelBuffer& icon, int size) {
  const CPixelBuffer picture = ResampleIcon(icon, size);
  if (picture.Width() != size) return nullptr;
  CDibContext colour(size, size);
  if (!colour.Ok()) return nullptr;
  // The mask's rows are padded to 16 bits; a set bit marks a clear pixel.
  const int stride = ((size + 15) / 16) * 2;
  std::vector<BYTE> mask(static_cast<std::size_t>(stride) * static_cast<std::size_t>(size), 0);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const COLORREF c = picture.Get(x, y);
      const std::uint32_t alpha = 255u - (c >> 24);
      colour.Bits()[static_cast<std::size_t>(y) * static_cast<std::size_t>(size) + static_cast<std::size_t>(x)] =
          alpha == 0 ? 0 : (alpha << 24) | ToDib(c);
      if (alpha == 0) {
        mask[static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(x / 8)] |=
            static_cast<BYTE>(0x80 >> (x % 8));
      }
    }
  }
  ::GdiFlush();
  ::HBITMAP maskBitmap = ::CreateBitmap(size, size, 1, 1, mask.data());
  if (maskBitmap == nullptr) return nullptr;
  // CreateIconIndirect copies both bitmaps; the colour one must not be selected into a context.
  ::HBITMAP colourBitmap = static_cast<::HBITMAP>(::GetCurrentObject(colour.Dc(), OBJ_BITMAP));
  ::HBITMAP spare = ::CreateCompatibleBitmap(colour.Dc(), 1, 1);
  ::HGDIOBJ selected = spare != nullptr ? ::SelectObject(colour.Dc(), spare) : nullptr;
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmMask = maskBitmap;
  info.hbmColor = colourBitmap;
  ::HICON result = ::CreateIconIndirect(&info);
  if (selected != nullptr) ::SelectObject(colour.Dc(), selected);
  if (spare != nullptr) ::DeleteObject(spare);
  ::DeleteObject(maskBitmap);
  return result;
}

::SIZE MeasureGdiText(::HFONT font, const std::wstring& text) {
  ::SIZE size{};
  ::HDC dc = ::CreateCompatibleDC(nullptr);
  if (dc == nullptr) return size;
  ::HGDIOBJ old = ::SelectObject(dc, font != nullptr ? font : ::GetStockObject(DEFAULT_GUI_FONT));
  if (text.empty()) {
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    size.cy = metrics.tmHeight;
  } else {
    ::GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
  }
  ::SelectObject(dc, old);
  ::DeleteDC(dc);
  return size;
}

void RenderGdiText(::HFONT font, CPixelBuffer& target, int x, int y, const std::wstring& text,
                   COLORREF colour, const platform::RECT& clip) {
  if (text.empty()) return;
  const int left = std::max<int>(clip.left, 0);
  const int top = std::max<int>(clip.top, 0);
  const int right = std::min<int>(clip.right, target.Width());
  const int bottom = std::min<int>(clip.bottom, target.Height());
  if (left >= right || top >= bottom) return;
  const int width = right - left;
  const int height = bottom - top;

  // The clipped area goes into a DIB section and GDI draws over it there, smoothing included;
  // then it comes back. What is drawn is what MeasureGdiText measured.
  CDibContext dib(width, height);
  if (!dib.Ok()) return;
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      dib.Bits()[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(col)] =
          ToDib(target.Get(left + col, top + row));
    }
  }
  ::HGDIOBJ old = ::SelectObject(dib.Dc(), font != nullptr ? font : ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(dib.Dc(), TRANSPARENT);
  ::SetTextColor(dib.Dc(), colour & 0x00FFFFFF);
  ::SetTextAlign(dib.Dc(), TA_LEFT | TA_TOP | TA_NOUPDATECP);
  ::TextOutW(dib.Dc(), x - left, y - top, text.data(), static_cast<int>(text.size()));
  ::SelectObject(dib.Dc(), old);
  ::GdiFlush();
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      target.Set(left + col, top + row,
                 FromDib(dib.Bits()[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                                    static_cast<std::size_t>(col)]));
    }
  }
}

}  // namespace platform::win32ui
