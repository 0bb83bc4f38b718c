// The main window's relay between the visible slider (vol1) and the mixer control (Vol2):
// user moves and icon clicks go to the mixer, changes the mixer reports go to the slider.
// Neither control calls the other; this object is the window's handlers for both.
#pragma once

#include <cstdint>

#include "shell/volume/core/volume_control.h"
#include "shell/volume/core/volume_slider.h"

namespace tw::volume {

// What the relay needs of the slider: its two methods.
class VolumeSliderView {
 public:
  virtual ~VolumeSliderView() = default;
  virtual void setVol(std::int32_t Volume) = 0;
  virtual void SetMute(VBool newmute) = 0;
};

// A whole-number volume from the slider's single-precision event, as a 32-bit integer
// (halves to even, limited to the 32-bit range).
std::int32_t SliderVolumeToInt32(float volume);

class VolumeWiring : public VolumeSliderEvents, public VolumeControlEvents {
 public:
  VolumeWiring() = default;
  void Attach(VolumeControl* vol2, VolumeSliderView* vol1) {
    vol2_ = vol2;
    vol1_ = vol1;
  }

  // Start-up: the slider is placed once from the mixer control's (saved) volume.
  void StartUp();

  // vol1
  void VolChange(float Volume) override;
  void VolOffClick() override;
  void VolOnClick() override;
  // Vol2; the arguments are left unchanged.
  void MuteChanged(VBool& newmute) override;
  void VolumeChanged(std::int32_t& NewVolume) override;

 private:
  VolumeControl* vol2_ = nullptr;
  VolumeSliderView* vol1_ = nullptr;
};

}  // namespace tw::volume
