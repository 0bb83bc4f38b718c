#include "shell/tab_strip/core/tab_art.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tw::tabs {

std::uint32_t Blend(std::uint32_t a, std::uint32_t b, int t, int steps) {
  if (steps <= 0) return a;
  std::uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    int ca = static_cast<int>((a >> shift) & 0xFF);
    int cb = static_cast<int>((b >> shift) & 0xFF);
    int c = ca + ((cb - ca) * t + (cb >= ca ? steps / 2 : -steps / 2)) / steps;
    out |= static_cast<std::uint32_t>(c) << shift;
  }
  return out;
}

int ScaledSize(int pixels96, int dpi) { return std::max(1, (pixels96 * dpi + 48) / 96); }

namespace {

PixelImage Filled(int width, int height, std::uint32_t colour) {
  return {width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height, colour)};
}

void Set(PixelImage& image, int x, int y, std::uint32_t colour) {
  image.pixels[static_cast<std::size_t>(y) * image.width + x] = colour;
}

// A pixel's centre at `dpi` in the coordinates of the 96-dpi picture, where pixel n of that picture
// has its centre at n.
double Design(int pixel, int dpi) { return (pixel + 0.5) * 96.0 / dpi - 0.5; }

// Border along the top, and down the left and/or right column.
PixelImage PieceBitmap(int width, int height, bool normal, bool left_border, bool right_border, int dpi) {
  const int w = ScaledSize(width, dpi), h = ScaledSize(height, dpi);
  PixelImage image = Filled(w, h, kSelectedFill);
  int top_rows = 0;  // the border's thickness at this size
  while (top_rows < h && Design(top_rows, dpi) < 0.5) ++top_rows;
  for (int y = 0; y < h; ++y) {
    const double v = Design(y, dpi);
    std::uint32_t fill =
        normal ? Blend(kNormalTop, kNormalBottom, std::max(0, y - top_rows), std::max(1, h - 1 - top_rows))
               : kSelectedFill;
    for (int x = 0; x < w; ++x) {
      const double u = Design(x, dpi);
      bool border = v < 0.5 || (left_border && u < 0.5) || (right_border && u > width - 1.5);
      Set(image, x, y, border ? kTabBorder : fill);
    }
  }
  return image;
}

}  // namespace

PixelImage PieceImage(Piece piece, int dpi) {
  switch (piece) {
    case Piece::kTabL: return PieceBitmap(3, 25, true, true, false, dpi);
    case Piece::kTabM: return PieceBitmap(2, 25, true, false, false, dpi);
    case Piece::kTabR: return PieceBitmap(1, 25, true, false, true, dpi);
    case Piece::kTabL2: return PieceBitmap(3, 26, false, true, false, dpi);
    case Piece::kTabM2: return PieceBitmap(1, 25, false, false, false, dpi);
    case Piece::kTabR2: return PieceBitmap(1, 25, false, false, true, dpi);
  }
  return {};
}

PixelImage CloseButtonImage(ButtonLook look, int dpi) {
  std::uint32_t green = look == ButtonLook::kNormal ? 0x3CA83C : look == ButtonLook::kOver ? 0x52C452 : 0x2B812B;
  std::uint32_t edge = Blend(green, 0x000000, 1, 4);
  const int w = ScaledSize(12, dpi), h = ScaledSize(11, dpi);
  PixelImage image = Filled(w, h, green);
  for (int y = 0; y < h; ++y) {
    const double v = Design(y, dpi);
    for (int x = 0; x < w; ++x) {
      const double u = Design(x, dpi);
      if (u < 0.5 || v < 0.5 || u > 10.5 || v > 9.5) {
        Set(image, x, y, edge);
        continue;
      }
      // Two diagonals through the centre (5.5, 5), in half pixels.
      const double dx = 2 * u - 11, dy = 2 * v - 10;
      if (u >= 1.5 && u <= 9.5 && v >= 1.5 && v <= 8.5 && (std::abs(dx - dy) <= 1 || std::abs(dx + dy) <= 1))
        Set(image, x, y, 0xFFFFFF);
    }
  }
  return image;
}

PixelImage ArrowImage(ArrowDirection direction, ButtonLook look, int dpi) {
  std::uint32_t background =
      look == ButtonLook::kNormal ? kStripColour : look == ButtonLook::kOver ? 0x6AD8FB : 0x1A9CC6;
  std::uint32_t arrow = look == ButtonLook::kDown ? 0x0A1E33 : 0x1C3A5A;
  const int w = ScaledSize(16, dpi), h = ScaledSize(15, dpi);
  PixelImage image = Filled(w, h, background);
  // A triangle with its tip at column 4 (left arrow) and its base at column 10, rows 2 to 12.
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double u = Design(x, dpi), v = Design(y, dpi);
      if (u >= 3.5 && u <= 10.5 && std::abs(v - 7) * 6 <= (u - 4) * 5) {
        int column = direction == ArrowDirection::kLeft ? x : w - 1 - x;
        Set(image, column, y, arrow);
      }
    }
  }
  return image;
}

}  // namespace tw::tabs
