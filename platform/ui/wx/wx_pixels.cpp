#include "platform/ui/wx/wx_pixels.h"

namespace platform {

wxImage PixelsToImage(const CPixelBuffer& pixels) {
  wxImage image(pixels.Width(), pixels.Height(), false);
  if (!image.IsOk()) return image;
  unsigned char* rgb = image.GetData();
  const COLORREF* src = pixels.Data();
  const std::size_t count = static_cast<std::size_t>(pixels.Width()) * static_cast<std::size_t>(pixels.Height());
  for (std::size_t i = 0; i < count; ++i) {
    rgb[3 * i] = GetRValue(src[i]);
    rgb[3 * i + 1] = GetGValue(src[i]);
    rgb[3 * i + 2] = GetBValue(src[i]);
  }
  return image;
}

wxImage IconPixelsToImage(const CPixelBuffer& pixels) {
  wxImage image = PixelsToImage(pixels);
  if (!image.IsOk()) return image;
  image.InitAlpha();
  unsigned char* alpha = image.GetAlpha();
  const COLORREF* src = pixels.Data();
  const std::size_t count = static_cast<std::size_t>(pixels.Width()) * static_cast<std::size_t>(pixels.Height());
  for (std::size_t i = 0; i < count; ++i) {
    alpha[i] = static_cast<unsigned char>(255 - ((src[i] >> 24) & 0xFF));
  }
  return image;
}

wxIcon IconPixelsToIcon(const CPixelBuffer& pixels, int size) {
  wxImage image = IconPixelsToImage(pixels);
  if (!image.IsOk()) return wxIcon();
  if (size > 0 && (image.GetWidth() != size || image.GetHeight() != size)) {
    image.Rescale(size, size, wxIMAGE_QUALITY_HIGH);
  }
  wxIcon icon;
  icon.CopyFromBitmap(wxBitmap(image));
  return icon;
}

CPixelBuffer ImageToPixels(const wxImage& image) {
  CPixelBuffer pixels(image.GetWidth(), image.GetHeight());
  if (!image.IsOk()) return pixels;
  const unsigned char* rgb = image.GetData();
  for (int y = 0; y < image.GetHeight(); ++y) {
    for (int x = 0; x < image.GetWidth(); ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(image.GetWidth()) + static_cast<std::size_t>(x);
      pixels.Set(x, y, RGB(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]));
    }
  }
  return pixels;
}

}  // namespace platform
