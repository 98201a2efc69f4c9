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

}  // namespace platform
