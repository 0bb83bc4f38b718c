// The three-picture buttons of the strip: each tab's close button and the two arrows. They behave
// as the library's image button (normal, hover and pressed pictures, leave detection by a 1 ms
// timer, Click on a left press and release over the picture). The strip uses only their Click,
// place and visibility, so another image button can stand behind this interface.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

namespace tw::tabs::win {

enum class ButtonArt { kClose, kLeftArrow, kRightArrow };

class StripButton {
 public:
  virtual ~StripButton() = default;
  virtual HWND hwnd() const = 0;
  // Top-left corner in the parent's pixels; the size is the picture's.
  virtual void MoveTo(int x, int y) = 0;
  virtual void Show(bool visible) = 0;
};

// Creates a button drawn from the strip's own pictures as a child of `parent`, hidden.
// `on_click` runs for every Click.
std::unique_ptr<StripButton> CreateStripButton(HWND parent, ButtonArt art, int dpi, std::function<void()> on_click);

}  // namespace tw::tabs::win
