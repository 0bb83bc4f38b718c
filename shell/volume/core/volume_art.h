// The widget's five pictures as 24-bit pixels, built from the small description in
// shell/volume/res/volume_art.inc. Sizes in pixels follow the element table of the slider.
#pragma once

#include <cstdint>
#include <vector>

#include "shell/volume/core/volume_slider.h"

namespace tw::volume {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;  // top row first
  Rgb At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

// The picture of one element for a screen of `dpi`; an empty picture for None. The art is drawn
// for 96 dpi; at another resolution each pixel takes the colour of the art's pixel under its
// centre, so edges stay hard (the picture is never smoothed).
Picture MakeSliderPicture(SliderElement element, int dpi = 96);

}  // namespace tw::volume
