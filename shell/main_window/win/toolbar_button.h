// A toolbar button: an instance of the component library's image button (Corvala.Cmd_) hosted in
// our container, given three pictures drawn from its caption (normal, under the mouse, pressed).
// Where the library is not registered, a plain push button with the caption stands in.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "common/win/ax_host.h"

namespace tw::shell {

class ToolbarButton {
 public:
  ToolbarButton() = default;
  ToolbarButton(const ToolbarButton&) = delete;
  ToolbarButton& operator=(const ToolbarButton&) = delete;
  ~ToolbarButton();

  // Creates the button at (x, y), w x h pixels, hidden. `onClick` runs for every Click.
  bool Create(HWND parent, int x, int y, int w, int h, const std::u16string& caption, HFONT font,
              std::function<void()> onClick);
  void Show(bool visible);
  // The window's resolution changed: place and size in pixels again, pictures drawn anew.
  void Rescale(int x, int y, int w, int h, HFONT font);
  bool visible() const;
  HWND hwnd() const { return fallback_ ? fallback_ : host_.hwnd(); }
  bool isImageButton() const { return host_.hwnd() != nullptr; }
  // The stand-in's click arrives as WM_COMMAND on its parent; the parent passes it here.
  bool HandleCommand(HWND from) {
    if (from != fallback_ || !fallback_) return false;
    if (onClick_) onClick_();
    return true;
  }

 private:
  bool PutPictures(int w, int h, HFONT font);

  win::AxHost host_;
  HWND fallback_ = nullptr;
  std::u16string caption_;
  std::function<void()> onClick_;
};

}  // namespace tw::shell
