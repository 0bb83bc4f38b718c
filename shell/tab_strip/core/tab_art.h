// The strip's pictures as pixels: the background pieces of the two tab looks, the close button's
// three pictures and the arrows'. The Windows side turns them into bitmaps and stretches them to
// their twip sizes at the display's resolution.
#pragma once

#include <cstdint>
#include <vector>

#include "shell/tab_strip/core/tab_btn.h"

namespace tw::tabs {

// Colours as 0xRRGGBB.
inline constexpr std::uint32_t kTabBorder = 0x9EC5F1;
inline constexpr std::uint32_t kNormalTop = 0xE9FAFF;
inline constexpr std::uint32_t kNormalBottom = 0xD0ECFF;
inline constexpr std::uint32_t kSelectedFill = 0xFFFFFF;
inline constexpr std::uint32_t kStripColour = 0x23C3F7;  // the sliding strip, CtlPanel and the control
inline constexpr std::uint32_t kViewportColour = 0x000000;

struct PixelImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // rows from the top, 0xRRGGBB

  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

enum class ButtonLook { kNormal, kOver, kDown };
enum class ArrowDirection { kLeft, kRight };

// The pictures are drawn for a screen of `dpi`: the shapes are described in pixels at 96 dpi and
// each pixel at `dpi` takes the colour of the shape under its centre, so they stay sharp at any
// size. The sizes below are those at 96 dpi; at another resolution they scale to the nearest pixel.
// The size of a picture that is `pixels96` pixels at 96 dpi.
int ScaledSize(int pixels96, int dpi);
// TabL 3 x 25, TabM 2 x 25, TabR 1 x 25, TabL2 3 x 26, TabM2 1 x 25, TabR2 1 x 25.
PixelImage PieceImage(Piece piece, int dpi = 96);
// 12 x 11: a white cross on a green square.
PixelImage CloseButtonImage(ButtonLook look, int dpi = 96);
// 16 x 15: a dark arrow on the strip's colour.
PixelImage ArrowImage(ArrowDirection direction, ButtonLook look, int dpi = 96);

// Linear blend of two colours, t from 0 (a) to `steps` (b).
std::uint32_t Blend(std::uint32_t a, std::uint32_t b, int t, int steps);

}  // namespace tw::tabs
