// The program icon: a receiver dish on a set-top box, drawn with a few shapes on a 32-unit
// grid and sampled 8 x 8 times per pixel, so the 16-pixel picture is as clean as the 32-pixel
// one. The high byte of each pixel says how transparent it is (0 opaque, 255 clear), so the
// icon sits on any background; every other picture in the program keeps it 0.
#include "resources/icon_image.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSamples = 8;

struct Rgba {
  double r = 0, g = 0, b = 0, a = 0;  // premultiplied
};

struct Colour {
  double r, g, b;
};

Colour Hex(unsigned rgb) {
  return Colour{((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0};
}

Colour Mix(Colour a, Colour b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return Colour{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

using Inside = std::function<bool(double x, double y)>;
using Paint = std::function<Colour(double x, double y)>;

class CIconCanvas {
 public:
  explicit CIconCanvas(int size) : m_size(size), m_pixels(static_cast<std::size_t>(size * size)) {}

  // Lays one shape over what is there; coordinates are on the 32-unit grid.
  void Fill(const Inside& inside, const Paint& paint, double opacity = 1.0) {
    const double unit = 32.0 / m_size;
    for (int py = 0; py < m_size; ++py) {
      for (int px = 0; px < m_size; ++px) {
        int hits = 0;
        Colour sum{0, 0, 0};
        for (int sy = 0; sy < kSamples; ++sy) {
          for (int sx = 0; sx < kSamples; ++sx) {
            const double x = (px + (sx + 0.5) / kSamples) * unit;
            const double y = (py + (sy + 0.5) / kSamples) * unit;
            if (!inside(x, y)) continue;
            const Colour c = paint(x, y);
            sum.r += c.r;
            sum.g += c.g;
            sum.b += c.b;
            ++hits;
          }
        }
        if (hits == 0) continue;
        const double cover = opacity * hits / (kSamples * kSamples);
        Rgba& d = m_pixels[static_cast<std::size_t>(py * m_size + px)];
        d.r = sum.r / hits * cover + d.r * (1 - cover);
        d.g = sum.g / hits * cover + d.g * (1 - cover);
        d.b = sum.b / hits * cover + d.b * (1 - cover);
        d.a = cover + d.a * (1 - cover);
      }
    }
  }

  CPixelBuffer Picture() const {
    CPixelBuffer out(m_size, m_size, 0);
    for (int y = 0; y < m_size; ++y) {
      for (int x = 0; x < m_size; ++x) {
        const Rgba& p = m_pixels[static_cast<std::size_t>(y * m_size + x)];
        const auto channel = [&](double v) {
          return p.a > 0 ? static_cast<unsigned>(std::lround(std::clamp(v / p.a, 0.0, 1.0) * 255)) : 0u;
        };
        const unsigned clear = 255u - static_cast<unsigned>(std::lround(std::clamp(p.a, 0.0, 1.0) * 255));
        out.Set(x, y, RGB(channel(p.r), channel(p.g), channel(p.b)) | (clear << 24));
      }
    }
    return out;
  }

 private:
  int m_size;
  std::vector<Rgba> m_pixels;
};

Inside RoundRect(double l, double t, double r, double b, double radius) {
  return [=](double x, double y) {
    const double cx = std::clamp(x, l + radius, r - radius);
    const double cy = std::clamp(y, t + radius, b - radius);
    return x >= l && x <= r && y >= t && y <= b &&
           (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
  };
}

// An ellipse with half-axes a and b, its a-axis turned by the angle (degrees, clockwise on
// screen).
Inside Ellipse(double cx, double cy, double a, double b, double degrees) {
  const double c = std::cos(degrees * kPi / 180), s = std::sin(degrees * kPi / 180);
  return [=](double x, double y) {
    const double u = (x - cx) * c + (y - cy) * s;
    const double v = -(x - cx) * s + (y - cy) * c;
    return (u * u) / (a * a) + (v * v) / (b * b) <= 1.0;
  };
}

Inside Segment(double x0, double y0, double x1, double y1, double width) {
  return [=](double x, double y) {
    const double dx = x1 - x0, dy = y1 - y0;
    const double t = std::clamp(((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    const double ex = x - (x0 + t * dx), ey = y - (y0 + t * dy);
    return ex * ex + ey * ey <= width * width / 4;
  };
}

// A ring piece around (cx, cy) between the angles (degrees, 0 = right, counted toward the top).
Inside Arc(double cx, double cy, double radius, double width, double from, double to) {
  return [=](double x, double y) {
    const double d = std::hypot(x - cx, y - cy);
    if (std::fabs(d - radius) > width / 2) return false;
    const double angle = std::atan2(cy - y, x - cx) * 180 / kPi;
    return angle >= from && angle <= to;
  };
}


Paint Solid(unsigned rgb) {
  const Colour c = Hex(rgb);
  return [=](double, double) { return c; };
}
Paint VerticalRamp(unsigned top, unsigned bottom, double y0, double y1) {
  const Colour a = Hex(top), b = Hex(bottom);
  return [=](double, double y) { return Mix(a, b, (y - y0) / (y1 - y0)); };
}
Paint DiagonalRamp(unsigned from, unsigned to, double x0, double y0, double x1, double y1) {
  const Colour a = Hex(from), b = Hex(to);
  const double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
  return [=](double x, double y) { return Mix(a, b, ((x - x0) * dx + (y - y0) * dy) / len2); };
}

}  // namespace

CPixelBuffer MakeProgramIcon(int size) {
  if (size <= 0) return CPixelBuffer();
  CIconCanvas canvas(size);
  const bool small = size < 24;

  // The set-top box.
  canvas.Fill(RoundRect(2, 20, 30, 29.5, 2.2), VerticalRamp(0x4A5468, 0x222833, 20, 29.5));
  canvas.Fill(RoundRect(2.8, 20.8, 29.2, 22.0, 0.6), Solid(0x6B7690), 0.8);
  canvas.Fill(RoundRect(5, 23.6, 15, 27.2, 1.0), Solid(0x0E3B44));
  if (!small) {
    canvas.Fill(RoundRect(6, 24.4, 14, 26.4, 0.5), VerticalRamp(0x5FE3F0, 0x21A9C2, 24.4, 26.4));
  } else {
    canvas.Fill(RoundRect(6, 24.2, 14, 26.6, 0.6), Solid(0x3CCFE2));
  }
  canvas.Fill(Ellipse(25.2, 25.4, 1.5, 1.5, 0), Solid(0x46E070));
  if (!small) canvas.Fill(RoundRect(18, 24.8, 22, 26.0, 0.5), Solid(0x7C879C));

  // The mast from the box to the back of the dish.
  canvas.Fill(Segment(11.0, 20.5, 9.5, 15.0, 2.4), Solid(0x8D96A8));

  // The dish: its rim seen from behind, the bowl facing the upper right with its shaded
  // hollow, then the feed arm and the LNB at the focus.
  const double dishX = 12.0, dishY = 12.0, tilt = -45, longAxis = 9.4, shortAxis = 5.6;
  canvas.Fill(Ellipse(dishX - 1.3, dishY + 1.3, longAxis, shortAxis, tilt), Solid(0x6E788C));
  canvas.Fill(Ellipse(dishX, dishY, longAxis, shortAxis, tilt),
              DiagonalRamp(0xFFFFFF, 0xC3CCDA, dishX - 6, dishY - 6, dishX + 5, dishY + 5));
  canvas.Fill(Ellipse(dishX + 0.9, dishY + 0.6, longAxis - 2.2, shortAxis - 2.0, tilt),
              DiagonalRamp(0xDDE3EC, 0xA9B4C6, dishX - 4, dishY - 4, dishX + 4, dishY + 4),
              small ? 0.6 : 0.8);
  canvas.Fill(Segment(dishX + 1.0, dishY + 0.4, 20.0, 6.0, small ? 1.7 : 1.4), Solid(0x4A5468));
  canvas.Fill(Ellipse(dishX + 1.0, dishY + 0.4, 1.3, 1.3, 0), Solid(0x4A5468));
  canvas.Fill(RoundRect(17.8, 3.4, 22.6, 8.2, 1.6), VerticalRamp(0xFFBC4D, 0xE07A10, 3.4, 8.2));

  // The signal coming in from the satellite's side.
  const double waveX = 31.5, waveY = 0.5;
  if (small) {
    canvas.Fill(Arc(waveX, waveY, 6.5, 2.6, -180, -90), Solid(0x2E8BFF));
  } else {
    canvas.Fill(Arc(waveX, waveY, 5.0, 1.7, -180, -90), Solid(0x2E8BFF));
    canvas.Fill(Arc(waveX, waveY, 9.4, 1.7, -180, -90), Solid(0x2E8BFF), 0.9);
  }
  return canvas.Picture();
}
