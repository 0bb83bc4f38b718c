// The three-picture buttons of the strip: each tab's close button and the two arrows. Each is an
// instance of the component library's image button (Corvala.Cmd_) hosted as an ActiveX control;
// where the library is not registered, a button of our own with the same behaviour (normal, hover
// and pressed pictures, leave detection by a 1 ms timer, Click on a left press and release over
// the picture) takes its place. The strip uses only their Click, place and visibility.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "shell/tab_strip/core/tab_art.h"

namespace tw::tabs::win {

enum class ButtonArt { kClose, kLeftArrow, kRightArrow };

// The picture of `art` in `look`, drawn for a screen of `dpi`.
PixelImage ArtImage(ButtonArt art, ButtonLook look, int dpi);
// What a screen reader calls the button.
const wchar_t* ArtName(ButtonArt art);

class StripButton {
 public:
  virtual ~StripButton() = default;
  virtual HWND hwnd() const = 0;
  // Top-left corner in the parent's pixels; the size is the picture's.
  virtual void MoveTo(int x, int y) = 0;
  virtual void Show(bool visible) = 0;
};

// Creates a button showing the strip's pictures for `art` as a child of `parent`, hidden: a
// Corvala.Cmd_ instance when the library is available, else the drawn stand-in. `on_click` runs
// for every Click. Nothing when neither can be created.
std::unique_ptr<StripButton> CreateStripButton(HWND parent, ButtonArt art, int dpi, std::function<void()> on_click);

// The two kinds on their own (the Wine tests check both).
std::unique_ptr<StripButton> CreateCmdButton(HWND parent, ButtonArt art, int dpi, std::function<void()> on_click);
std::unique_ptr<StripButton> CreateDrawnButton(HWND parent, ButtonArt art, int dpi, std::function<void()> on_click);

// Which kind CreateStripButton made last, and a switch that makes it skip the library (both for
// the tests' host, which checks either kind).
bool LastButtonWasCmd();
void UseDrawnButtonsOnly(bool drawn_only);

}  // namespace tw::tabs::win
