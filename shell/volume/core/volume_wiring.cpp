#include "shell/volume/core/volume_wiring.h"

#include <cmath>
#include <limits>

#include "shell/volume/core/mixer_module.h"

namespace tw::volume {

std::int32_t SliderVolumeToInt32(float volume) {
  if (std::isnan(volume)) return 0;
  const double r = RoundHalfEven(volume);
  if (r <= std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  if (r >= std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(r);
}

void VolumeWiring::StartUp() {
  if (vol1_ && vol2_) vol1_->setVol(vol2_->Volume());
}

void VolumeWiring::VolChange(float Volume) {
  if (vol2_) vol2_->SetVolume(SliderVolumeToInt32(Volume));
}

void VolumeWiring::VolOffClick() {
  if (vol2_) vol2_->SetMute(kFalse);
}

void VolumeWiring::VolOnClick() {
  if (vol2_) vol2_->SetMute(kTrue);
}

void VolumeWiring::MuteChanged(VBool& newmute) {
  if (vol1_) vol1_->SetMute(newmute);
}

void VolumeWiring::VolumeChanged(std::int32_t& NewVolume) {
  if (vol1_) vol1_->setVol(NewVolume);
}

}  // namespace tw::volume
