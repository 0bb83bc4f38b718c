#include "shell/tab_strip/core/tab_art.h"

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

namespace {

PixelImage Filled(int width, int height, std::uint32_t colour) {
  return {width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height, colour)};
}

void Set(PixelImage& image, int x, int y, std::uint32_t colour) {
  image.pixels[static_cast<std::size_t>(y) * image.width + x] = colour;
}

// Border along the top, and down the left and/or right column.
PixelImage PieceBitmap(int width, int height, bool normal, bool left_border, bool right_border) {
  PixelImage image = Filled(width, height, kSelectedFill);
  for (int y = 0; y < height; ++y) {
    std::uint32_t fill = normal ? Blend(kNormalTop, kNormalBottom, y > 0 ? y - 1 : 0, height - 2) : kSelectedFill;
    for (int x = 0; x < width; ++x) {
      bool border = y == 0 || (left_border && x == 0) || (right_border && x == width - 1);
      Set(image, x, y, border ? kTabBorder : fill);
    }
  }
  return image;
}

}  // namespace

PixelImage PieceImage(Piece piece) {
  switch (piece) {
    case Piece::kTabL: return PieceBitmap(3, 25, true, true, false);
    case Piece::kTabM: return PieceBitmap(2, 25, true, false, false);
    case Piece::kTabR: return PieceBitmap(1, 25, true, false, true);
    case Piece::kTabL2: return PieceBitmap(3, 26, false, true, false);
    case Piece::kTabM2: return PieceBitmap(1, 25, false, false, false);
    case Piece::kTabR2: return PieceBitmap(1, 25, false, false, true);
  }
  return {};
}

PixelImage CloseButtonImage(ButtonLook look) {
  std::uint32_t green = look == ButtonLook::kNormal ? 0x3CA83C : look == ButtonLook::kOver ? 0x52C452 : 0x2B812B;
  std::uint32_t edge = Blend(green, 0x000000, 1, 4);
  PixelImage image = Filled(12, 11, green);
  for (int y = 0; y < 11; ++y) {
    for (int x = 0; x < 12; ++x) {
      if (x == 0 || y == 0 || x == 11 || y == 10) Set(image, x, y, edge);
    }
  }
  // Two diagonals through the centre (5.5, 5), in half pixels to stay exact.
  for (int y = 2; y <= 8; ++y) {
    for (int x = 2; x <= 9; ++x) {
      int dx = 2 * x - 11;
      int dy = 2 * y - 10;
      if (std::abs(dx - dy) <= 1 || std::abs(dx + dy) <= 1) Set(image, x, y, 0xFFFFFF);
    }
  }
  return image;
}

PixelImage ArrowImage(ArrowDirection direction, ButtonLook look) {
  std::uint32_t background =
      look == ButtonLook::kNormal ? kStripColour : look == ButtonLook::kOver ? 0x6AD8FB : 0x1A9CC6;
  std::uint32_t arrow = look == ButtonLook::kDown ? 0x0A1E33 : 0x1C3A5A;
  PixelImage image = Filled(16, 15, background);
  // A triangle with its tip at column 4 (left arrow) and its base at column 10, rows 2 to 12.
  for (int y = 0; y < 15; ++y) {
    for (int x = 4; x <= 10; ++x) {
      int from_tip = x - 4;
      if (std::abs(y - 7) * 6 <= from_tip * 5) {
        int column = direction == ArrowDirection::kLeft ? x : 15 - x;
        Set(image, column, y, arrow);
      }
    }
  }
  return image;
}

}  // namespace tw::tabs
