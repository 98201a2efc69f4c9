// Pictures from the program's pixel buffers (COLORREF, 0x00BBGGRR) to the toolkit's images. An icon's high byte says how transparent a pixel is (0 opaque, 255 clear); it
// becomes the image's alpha.
#pragma once

#include "platform/ui/pixel_buffer.h"
#include "platform/ui/wx/wx_common.h"

namespace platform {

wxImage PixelsToImage(const CPixelBuffer& pixels);
wxImage IconPixelsToImage(const CPixelBuffer& pixels);
wxIcon IconPixelsToIcon(const CPixelBuffer& pixels, int size);

}  // namespace platform
