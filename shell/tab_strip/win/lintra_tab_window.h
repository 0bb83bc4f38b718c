// The tab strip as the main window uses it: a child window holding the viewport (TabPanel) with
// the tabs on the sliding strip, and CtlPanel with the two arrow buttons. Behaviour lives in the
// LintraTab model; this class places and draws what the model says, feeds it the clicks and the
// start timer, and passes the model's events on to the host.
//
// Positions given by and to the host are twips; pixels are used only inside.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/win/accessible.h"
#include "common/win/window.h"
#include "shell/tab_strip/core/lintra_tab.h"
#include "shell/tab_strip/win/strip_button.h"
#include "shell/tab_strip/win/tab_btn_window.h"

namespace tw::tabs::win {

class LintraTabControl : public tw::win::Window<LintraTabControl>,
                         private LintraTabEvents,
                         private TabBtnListener,
                         private tw::win::AccessibleSource {
 public:
  // The strip's design height: the viewport's. CtlPanel (60 down) is clipped at the bottom edge.
  static constexpr std::int32_t kHeightTwips = 375;

  // `host` receives Click, TabChange and UnloadClick; it must outlive the control.
  explicit LintraTabControl(LintraTabEvents& host);
  ~LintraTabControl() override;

  // Creates the strip as a child of `parent` at `left`, `top` (twips, kHeightTwips high), with
  // tab 0 captioned `home_caption` (see HomeCaption), and starts the 100 ms start timer.
  bool Create(HWND parent, std::int32_t left, std::int32_t top, std::int32_t width, std::u16string home_caption);
  // The host's Left, Top, Width and Height (twips). Only SetWidth moves the panels inside.
  void SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);
  // The window's resolution changed: font, pictures, tabs and arrows are made again for `dpi`.
  void SetDpi(int dpi);

  // The strip's methods; a missing tab is reported as false or no value.
  [[nodiscard]] bool SetCaption(std::int32_t index, std::u16string caption);
  [[nodiscard]] bool SetWidth(std::int32_t mwidth);
  std::optional<std::u16string> GetCaption() const { return model_ ? model_->GetCaption() : std::nullopt; }
  std::optional<std::u16string> GetTag() const { return model_ ? model_->GetTag() : std::nullopt; }
  [[nodiscard]] bool setvis(std::int16_t index);
  std::int32_t CreatTab(std::u16string caption) { return ToCreatTab(std::move(caption)); }
  std::int32_t ToCreatTab(std::u16string caption);
  void SetData(std::u16string data);
  void SetIndex(std::int16_t index);
  void ReLeft();

  const LintraTab* model() const { return model_.get(); }
  int dpi() const { return dpi_; }
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

 private:
  class Measurer;
  class Panel;

  // Windows follow the model: tabs created, placed, shown or destroyed; panels sized.
  void Sync();
  void CreateArrows();

  // LintraTabEvents: the model's events, passed on once the windows show the new state.
  void Click(const std::u16string& caption, const std::u16string& data, std::int32_t index) override;
  void TabChange(const std::u16string& caption, const std::u16string& data, std::int32_t index) override;
  void UnloadClick(std::int32_t index) override;
  // TabBtnListener
  void TabClick(std::int32_t index) override;
  void TabKilled(std::int32_t index) override;
  // A page tab list whose children are the shown tabs, left to right, then the two arrows.
  void AccDescribe(tw::win::AccInfo& info) override { info.role = ROLE_SYSTEM_PAGETABLIST; }
  std::vector<HWND> AccChildren(HWND self) override;

  LintraTabEvents* host_;
  int dpi_ = 96;
  HFONT font_ = nullptr;
  std::unique_ptr<Measurer> measurer_;
  std::unique_ptr<LintraTab> model_;
  std::unique_ptr<PieceBitmaps> pieces_;
  std::unique_ptr<Panel> tab_panel_;
  std::unique_ptr<Panel> ctl_panel_;
  std::unique_ptr<StripButton> cmd1_;
  std::unique_ptr<StripButton> cmd2_;
  std::map<std::int32_t, std::unique_ptr<TabBtnWindow>> tabs_;
  tw::win::AccessibleLink access_;
};

}  // namespace tw::tabs::win
