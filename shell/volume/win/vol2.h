// Vol2: the shell's invisible mixer control. A message-only window carries its 100 ms polling
// timer; the behaviour is the core's VolumeControl on the process-wide winmm mixer module.
#pragma once

#include <windows.h>

#include "common/win/window.h"
#include "shell/volume/core/volume_control.h"

namespace tw::volume::win {

class Vol2 : public tw::win::Window<Vol2>, private PollTimer {
 public:
  // Joins the shared mixer (opening mixer device 0). Follow with InitProperties or
  // ReadProperties on control(). `events` receives VolumeChanged, MuteChanged and the
  // property-changed notifications; it may be null.
  explicit Vol2(VolumeControlEvents* events);
  ~Vol2() override;

  VolumeControl& control() { return control_; }
  const VolumeControl& control() const { return control_; }

  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

 private:
  static constexpr UINT_PTR kTimer1 = 1;
  void SetPolling(bool enabled) override;

  VolumeControl control_;
};

}  // namespace tw::volume::win
