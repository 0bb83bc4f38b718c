#include "shell/volume/core/volume_art.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace tw::volume {
namespace {

#include "shell/volume/res/volume_art.inc"

constexpr Rgb kBack{VolumeSlider::kBackRed, VolumeSlider::kBackGreen, VolumeSlider::kBackBlue};

Rgb Colour(char c) {
  switch (c) {
    case '#': return {16, 58, 104};
    case 'w': return {255, 255, 255};
    case 'g': return {206, 222, 236};
    case 'b': return {24, 112, 200};
    case 'd': return {10, 60, 120};
    case 'r': return {214, 36, 36};
    case 'y': return {255, 214, 90};
    default: return kBack;
  }
}

template <std::size_t Rows>
Picture FromArt(const char* const (&art)[Rows]) {
  Picture p;
  p.width = static_cast<int>(std::strlen(art[0]));
  p.height = static_cast<int>(Rows);
  p.pixels.reserve(static_cast<std::size_t>(p.width * p.height));
  for (const char* row : art)
    for (int x = 0; x < p.width; ++x) p.pixels.push_back(Colour(row[x]));
  return p;
}

Picture Blank(int width, int height, Rgb colour) {
  Picture p;
  p.width = width;
  p.height = height;
  p.pixels.assign(static_cast<std::size_t>(width * height), colour);
  return p;
}

void Set(Picture& p, int x, int y, Rgb c) { p.pixels[static_cast<std::size_t>(y * p.width + x)] = c; }

Picture Track() {
  Picture p = Blank(kTrackSize[0], kTrackSize[1], kBack);
  const int left = kGroove[0], top = kGroove[1], right = kGroove[2], bottom = kGroove[3];
  for (int y = top; y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) {
      const bool edgeX = x == left || x == right;
      const bool edgeY = y == top || y == bottom;
      if (edgeX && edgeY) continue;  // rounded corners
      Set(p, x, y, Colour(edgeX || edgeY ? '#' : 'g'));
    }
  }
  return p;
}

Picture Fill() {
  Picture p = Blank(kFillSize[0], kFillSize[1], Colour('b'));
  for (int x = 0; x < p.width; ++x) {
    Set(p, x, 0, Colour('#'));
    Set(p, x, 1, Colour('w'));
    Set(p, x, p.height - 1, Colour('#'));
    Set(p, x, p.height - 2, Colour('d'));
  }
  return p;
}

Picture ArtAt96(SliderElement element) {
  switch (element) {
    case SliderElement::volbtn: return FromArt(kKnobArt);
    case SliderElement::bg2: return Fill();
    case SliderElement::bg: return Track();
    case SliderElement::VOLOFF: return FromArt(kMutedArt);
    case SliderElement::VOLON: return FromArt(kSoundingArt);
    case SliderElement::None: break;
  }
  return {};
}

// The art's pixel under the centre of pixel `n` of `size` pixels, the art being `art` pixels.
int Source(int n, int size, int art) {
  const int at = static_cast<int>((2 * n + 1) * static_cast<long long>(art) / (2 * size));
  return std::clamp(at, 0, art - 1);
}

}  // namespace

Picture MakeSliderPicture(SliderElement element, int dpi) {
  Picture art = ArtAt96(element);
  if (dpi == 96 || art.width == 0) return art;
  Picture p;
  p.width = std::max(1, (art.width * dpi + 48) / 96);
  p.height = std::max(1, (art.height * dpi + 48) / 96);
  p.pixels.reserve(static_cast<std::size_t>(p.width * p.height));
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      p.pixels.push_back(art.At(Source(x, p.width, art.width), Source(y, p.height, art.height)));
  return p;
}

}  // namespace tw::volume
