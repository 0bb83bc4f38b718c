// The skin engine: loads a skin file and draws the main window's frame from it (caption with the
// window's title, minimise/maximise/close buttons, dragging, resizing, and magenta corners that the
// window's colour key makes see-through).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "shell/main_window/core/skin.h"

namespace tw::shell {

class SkinFrame {
 public:
  SkinFrame() = default;
  SkinFrame(const SkinFrame&) = delete;
  SkinFrame& operator=(const SkinFrame&) = delete;
  ~SkinFrame();

  // Reads the skin file; false (and the window keeps its plain frame) when it is missing or bad.
  bool LoadSkin(const std::u16string& path);
  // Takes over the frame of `hwnd` with the loaded skin; does nothing without one.
  void ApplySkin(HWND hwnd);
  // Sizes the frame, its buttons and its caption font for a screen of `dpi` (the window's).
  void SetDpi(int dpi);
  // The size the frame adds to a client area at `dpi` (pixels).
  SIZE FrameAt(HWND hwnd, int dpi) const;

  bool applied() const { return hwnd_ != nullptr; }
  const std::string& error() const { return error_; }
  // Outer size for a wanted client size, with the skin's frame (or the plain frame).
  SIZE OuterSizeFor(HWND hwnd, int clientWidth, int clientHeight) const;

 private:
  static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  LRESULT OnMessage(HWND, UINT, WPARAM, LPARAM, bool& handled);
  void Paint(HWND hwnd);
  RECT WindowRectLocal(HWND hwnd) const;

  std::optional<skin::Skin> skin_;  // as the file gives it
  skin::Skin scaled_;                // for the window's resolution
  int dpi_ = 96;
  std::string error_;
  HWND hwnd_ = nullptr;
  HFONT captionFont_ = nullptr;
  int pressed_ = 0;  // hit-test code of a frame button under a pressed mouse
};

}  // namespace tw::shell
