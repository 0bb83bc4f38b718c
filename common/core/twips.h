// Positions and sizes are twips (1/1440 inch) in the core; the Windows side converts at the edge.
#pragma once

#include <cstdint>

namespace tw {

inline constexpr int kTwipsPerInch = 1440;

// Twips to pixels at `dpi` dots per inch, rounded to the nearest pixel (15 twips per pixel at 96 dpi).
constexpr int TwipsToPixels(std::int64_t twips, int dpi) {
  std::int64_t num = twips * dpi;
  return static_cast<int>(num >= 0 ? (num + kTwipsPerInch / 2) / kTwipsPerInch
                                   : -((-num + kTwipsPerInch / 2) / kTwipsPerInch));
}

constexpr std::int64_t PixelsToTwips(std::int64_t pixels, int dpi) {
  return dpi > 0 ? pixels * kTwipsPerInch / dpi : pixels * 15;
}

}  // namespace tw
