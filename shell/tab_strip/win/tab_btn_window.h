// One tab on screen: a child window drawing a TabBtn model (background pieces of the current
// look, the caption, and the close button as a child button). Clicks on the body and on the close
// button go to the listener with the tab's index.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "common/win/accessible.h"
#include "common/win/window.h"
#include "shell/tab_strip/core/tab_art.h"
#include "shell/tab_strip/core/tab_btn.h"
#include "shell/tab_strip/win/strip_button.h"

namespace tw::tabs::win {

class TabBtnListener {
 public:
  virtual ~TabBtnListener() = default;
  virtual void TabClick(std::int32_t index) = 0;
  virtual void TabKilled(std::int32_t index) = 0;
};

// The pictures of the background pieces, made once per strip and shared by its tabs.
class PieceBitmaps {
 public:
  explicit PieceBitmaps(int dpi);
  ~PieceBitmaps();
  PieceBitmaps(const PieceBitmaps&) = delete;
  PieceBitmaps& operator=(const PieceBitmaps&) = delete;
  void Draw(HDC dc, Piece piece, const RECT& dest) const;

 private:
  PixelImage images_[6];
  HBITMAP bitmaps_[6] = {};
};

class TabBtnWindow : public tw::win::Window<TabBtnWindow>, private tw::win::AccessibleSource {
 public:
  TabBtnWindow(std::int32_t index, const TabBtn& model, const PieceBitmaps& pieces, HFONT font, int dpi,
               TabBtnListener& listener);
  ~TabBtnWindow() override;

  bool Create(HWND parent);
  // Brings the window in line with the model: place (in the parent's pixels), size, visibility,
  // and a repaint when the look, the caption or the close button changed.
  void Update(std::int64_t left_twips, bool visible);

  std::int32_t index() const { return index_; }
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

 private:
  void Paint(HDC dc);
  // A page tab named by its caption, selected when it shows the selected look; its child is the
  // close button. The default action is a click on the body.
  void AccDescribe(tw::win::AccInfo& info) override;
  bool AccDoDefault() override;
  std::int32_t TwipsOf(int pixels) const;

  std::int32_t index_;
  const TabBtn* model_;
  const PieceBitmaps* pieces_;
  HFONT font_;
  int dpi_;
  TabBtnListener* listener_;
  std::unique_ptr<StripButton> end_btn_;
  tw::win::AccessibleLink access_;
  bool body_pressed_ = false;
  // What was drawn last.
  std::u16string drawn_caption_;
  std::u16string named_caption_;  // the caption last given to the window as its name
  bool drawn_normal_ = true;
  TwipRect drawn_label_{};
  std::int32_t drawn_width_ = -1;
};

}  // namespace tw::tabs::win
