#include "shell/volume/core/volume_slider.h"

#include <algorithm>
#include <cmath>

#include "shell/volume/core/mixer_module.h"

namespace tw::volume {

VolumeSlider::VolumeSlider(VolumeSliderEvents* events) : events_(events) {
  At(SliderElement::volbtn) = {1080, 0, kKnobWidth, 210, true};
  At(SliderElement::bg2) = {kFillLeft, 45, 855, 120, true};
  At(SliderElement::bg) = {kTrackLeft, -60, kTrackWidth, 300, true};
  At(SliderElement::VOLOFF) = {-15, 0, 270, 225, false};
  At(SliderElement::VOLON) = {0, 0, 240, 210, true};
  volume_ = static_cast<std::int32_t>(VolumeForKnobLeft(At(SliderElement::volbtn).left));
}

float VolumeSlider::KnobLeftForVolume(std::int32_t volume) {
  const double v = std::clamp(volume, 0, 100);
  return static_cast<float>(v / 100.0 * 1500.0 + 260.0);
}

float VolumeSlider::VolumeForKnobLeft(float knobLeft) {
  // The fraction of the track rounded to two places (halves to even) is the whole-number volume.
  const double percent = RoundHalfEven((static_cast<double>(knobLeft) - 248.0) / 1502.0 * 100.0);
  return static_cast<float>(std::clamp(percent, 0.0, 100.0));
}

void VolumeSlider::PlaceKnob(float left) {
  At(SliderElement::volbtn).left = left;
  // The fill runs from 360 to 120 twips right of the knob's left edge, under the knob.
  At(SliderElement::bg2).width = std::max(0.0f, left - kTrackLeft);
}

void VolumeSlider::setVol(std::int32_t Volume) {
  PlaceKnob(KnobLeftForVolume(Volume));
  volume_ = std::clamp(Volume, 0, 100);
}

void VolumeSlider::ShowMuted(bool muted) {
  At(SliderElement::VOLOFF).visible = muted;
  At(SliderElement::VOLON).visible = !muted;
}

void VolumeSlider::SetMute(VBool newmute) { ShowMuted(newmute == kTrue); }

SliderElement VolumeSlider::HitTest(float x, float y) const {
  for (std::size_t i = 0; i < elements_.size(); ++i)
    if (elements_[i].Contains(x, y)) return static_cast<SliderElement>(i);
  return SliderElement::None;
}

void VolumeSlider::MouseDown(float x, float y, MouseButton /*button*/) {
  if (pressed_ == SliderElement::None) pressed_ = HitTest(x, y);
  if (pressed_ == SliderElement::volbtn) dragging_ = true;
}

void VolumeSlider::MouseMove(float x, float /*y*/) {
  // Only the knob reacts, and only between its press and release.
  if (pressed_ == SliderElement::volbtn && dragging_) DragTo(x);
}

void VolumeSlider::DragTo(float x) {
  const float left = Element(SliderElement::volbtn).left;
  const float pointer = x - left;  // relative to the knob's left edge
  float candidate = left + pointer - kKnobWidth / 2;
  if (std::isnan(candidate)) return;
  // A pointer that went past an end takes the knob to that end, however far the last move jumped.
  candidate = std::clamp(candidate, kTrackLeft, kTrackWidth);
  PlaceKnob(candidate);
  const float volume = VolumeForKnobLeft(candidate);
  volume_ = static_cast<std::int32_t>(volume);
  if (events_) events_->VolChange(volume);
}

void VolumeSlider::CancelPress() {
  pressed_ = SliderElement::None;
  dragging_ = false;
}

void VolumeSlider::MouseUp(float x, float y, MouseButton button) {
  const SliderElement target = pressed_;
  pressed_ = SliderElement::None;
  if (target == SliderElement::volbtn) dragging_ = false;
  if (button != MouseButton::Left || target == SliderElement::None || HitTest(x, y) != target) return;
  if (target == SliderElement::VOLOFF) {
    if (events_) events_->VolOffClick();
    ShowMuted(false);
  } else if (target == SliderElement::VOLON) {
    if (events_) events_->VolOnClick();
    ShowMuted(true);
  }
}

}  // namespace tw::volume
