// vol1: the status bar's volume slider as a child window. It paints the five pictures of the
// core's element table and feeds mouse input to the core in twips; the core's events go to
// the VolumeSliderEvents given at creation.
#pragma once

#include <windows.h>

#include <vector>

#include "common/win/accessible.h"
#include "common/win/window.h"
#include "shell/volume/core/volume_slider.h"
#include "shell/volume/core/volume_wiring.h"

namespace tw::volume::win {

class VolSlider : public tw::win::Window<VolSlider>, public VolumeSliderView, private tw::win::AccessibleSource {
 public:
  VolSlider() = default;
  ~VolSlider() override { access_.Disconnect(); }

  // Creates the child window at a pixel rectangle of `parent`. `events` may be null.
  bool Create(HWND parent, int x, int y, int width, int height, VolumeSliderEvents* events);

  // The window's resolution changed: the pictures are drawn for `dpi` from now on.
  void SetDpi(int dpi);

  void setVol(std::int32_t Volume) override;
  void SetMute(VBool newmute) override;

  const VolumeSlider& slider() const { return slider_; }

  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

 private:
  float ToTwips(int pixels) const;
  RECT ElementRect(SliderElement e) const;
  void Paint(HDC dc, const RECT& client);  // the whole client area: background, then the pictures
  void Changed();
  // A slider whose value is the volume 0-100, described as muted while the muted icon shows; the
  // default action clicks the speaker icon (mutes or un-mutes).
  void AccDescribe(tw::win::AccInfo& info) override;
  bool AccDoDefault() override;
  std::vector<HWND> AccChildren(HWND) override { return {}; }

  VolumeSlider slider_;
  int dpi_ = 96;
  tw::win::AccessibleLink access_;
};

}  // namespace tw::volume::win
