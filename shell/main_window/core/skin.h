// The skin of the main window: a small text file describing the frame, and the frame's geometry
// (caption, buttons, borders, rounded corners) computed in pixels for a given window size.
//
// File format (ANSI text, one "key=value" per line, "#" or ";" starts a comment, [sections] ignored):
//   caption_height=28        pixels, 12..96
//   border=4                 resize border in pixels, 0..32
//   corner=8                 radius of the transparent rounded corners, 0..64
//   button_size=20           frame buttons are square, 8..64
//   caption_color=#23C3F7    colours are # followed by red, green, blue
//   caption_text_color=#FFFFFF
//   frame_color=#1B9FD0
//   button_color=#C4E8FC
//   transparent=#FF00FF      the colour painted where the window is see-through
//   buttons=min,max,close    which frame buttons, in order from the left
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tw::skin {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
  // 0x00BBGGRR, the platform's colour reference.
  std::uint32_t ColorRef() const { return r | (g << 8) | (b << 16); }
};

enum class FrameButton { Minimize, Maximize, Close };

struct Skin {
  int captionHeight = 28;
  int border = 4;
  int corner = 8;
  int buttonSize = 20;
  Rgb captionColor{0x23, 0xC3, 0xF7};
  Rgb captionTextColor{0xFF, 0xFF, 0xFF};
  Rgb frameColor{0x1B, 0x9F, 0xD0};
  Rgb buttonColor{0xC4, 0xE8, 0xFC};
  Rgb transparent{0xFF, 0x00, 0xFF};
  std::vector<FrameButton> buttons{FrameButton::Minimize, FrameButton::Maximize, FrameButton::Close};
  int dpi = 96;  // the resolution the pixel sizes above are for; the file gives them at 96
};

// The skin's sizes for a screen of `dpi`, frame buttons no smaller than `minButton` pixels (the
// platform's own caption buttons); the caption grows with the buttons.
Skin ForDpi(const Skin& s, int dpi, int minButton = 0);

struct ParseResult {
  std::optional<Skin> skin;
  int errorLine = 0;        // 1-based line of the first error
  std::string error;        // what is wrong there
};

// Reads a skin file's text. Unknown keys are errors, so a typo is reported rather than ignored.
ParseResult ParseSkin(std::u16string_view text);

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  bool operator==(const Rect&) const = default;
};

// Where a point of the window is, as the window system's hit test names it.
enum class Hit { Client, Caption, Minimize, Maximize, Close, Left, Right, Top, Bottom,
                 TopLeft, TopRight, BottomLeft, BottomRight };

struct FrameLayout {
  Rect caption;      // the caption band, under which the client area starts
  Rect client;       // what is left for the window's children
  std::vector<std::pair<FrameButton, Rect>> buttons;
};

FrameLayout LayoutFrame(const Skin& s, int width, int height);

// Hit test in window coordinates; resizing borders are offered only when `resizable`.
Hit HitTest(const Skin& s, int width, int height, int x, int y, bool resizable);

}  // namespace tw::skin
