// Pictures of the strip as GDI bitmaps, and twips at the display's resolution.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/core/twips.h"
#include "shell/tab_strip/core/tab_art.h"

namespace tw::tabs::win {

// A 32-bit top-down DIB section holding `image`; the caller owns it (DeleteObject).
HBITMAP MakeBitmap(const PixelImage& image);

// Draws `bitmap` (of `image_width` x `image_height` pixels) stretched to `dest`, pixel for pixel.
void DrawStretched(HDC dc, HBITMAP bitmap, int image_width, int image_height, const RECT& dest);


inline COLORREF ToColorRef(std::uint32_t rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// Twips to a pixel rectangle: both edges are converted, so adjacent rectangles stay adjacent.
inline RECT TwipsToPixelRect(std::int64_t left, std::int64_t top, std::int64_t width, std::int64_t height, int dpi) {
  RECT rc;
  rc.left = TwipsToPixels(left, dpi);
  rc.top = TwipsToPixels(top, dpi);
  rc.right = TwipsToPixels(left + width, dpi);
  rc.bottom = TwipsToPixels(top + height, dpi);
  return rc;
}

}  // namespace tw::tabs::win
