// VolumeSlider: the status bar's volume widget without its drawing. Five image elements at
// fixed twip positions; dragging the knob reports a volume 0-100, clicking the speaker icon
// asks to mute or un-mute. The platform side paints the elements and feeds mouse input here,
// in twips relative to the widget's top-left corner.
#pragma once

#include <array>
#include <cstdint>

#include "shell/volume/core/mixer_device.h"

namespace tw::volume {

// Top of the stack first.
enum class SliderElement { volbtn, bg2, bg, VOLOFF, VOLON, None };
inline constexpr int kSliderElementCount = 5;

struct SliderRect {
  float left = 0;
  float top = 0;
  float width = 0;
  float height = 0;
  bool visible = true;
  bool Contains(float x, float y) const {
    return visible && x >= left && x < left + width && y >= top && y < top + height;
  }
};

class VolumeSliderEvents {
 public:
  virtual ~VolumeSliderEvents() = default;
  virtual void VolChange(float Volume) = 0;
  virtual void VolOffClick() = 0;
  virtual void VolOnClick() = 0;
};

enum class MouseButton { Left, Right, Middle };

class VolumeSlider {
 public:
  static constexpr float kTrackLeft = 240;    // bg's left edge
  static constexpr float kTrackWidth = 1770;  // bg's width: the knob's rightmost left edge in a drag
  static constexpr float kFillLeft = 360;
  static constexpr float kKnobWidth = 195;
  static constexpr int kWidthTwips = 2295;    // the shell's instance
  static constexpr int kHeightTwips = 255;
  static constexpr std::uint8_t kBackRed = 35, kBackGreen = 195, kBackBlue = 247;

  explicit VolumeSlider(VolumeSliderEvents* events = nullptr);

  // Places the knob for a volume; raises nothing. Volumes outside 0-100 are drawn at the ends.
  void setVol(std::int32_t Volume);
  // Exactly True (-1) shows the muted icon; any other value the sounding one.
  void SetMute(VBool newmute);

  void MouseDown(float x, float y, MouseButton button);
  void MouseMove(float x, float y);
  void MouseUp(float x, float y, MouseButton button);
  // The press ends without a release (the platform took the mouse away): no click.
  void CancelPress();

  // The volume the knob stands for: the one setVol placed it for (within 0-100), or the one the
  // last accepted drag move reported. The two mappings differ, so this is no function of the
  // knob's position alone.
  std::int32_t Volume() const { return volume_; }

  // The topmost visible element under a point, or None.
  SliderElement HitTest(float x, float y) const;
  const SliderRect& Element(SliderElement e) const { return elements_[Index(e)]; }
  bool dragging() const { return dragging_; }
  // The element that received the press and gets moves and the release; None between presses.
  SliderElement pressed() const { return pressed_; }

  // The two mappings: volume -> knob left used by setVol, knob left -> volume used by a drag.
  static float KnobLeftForVolume(std::int32_t volume);
  static float VolumeForKnobLeft(float knobLeft);

  void set_events(VolumeSliderEvents* events) { events_ = events; }

 private:
  static std::size_t Index(SliderElement e) { return static_cast<std::size_t>(e); }
  SliderRect& At(SliderElement e) { return elements_[Index(e)]; }
  void PlaceKnob(float left);
  void ShowMuted(bool muted);
  void DragTo(float x);

  VolumeSliderEvents* events_;
  std::array<SliderRect, kSliderElementCount> elements_;
  bool dragging_ = false;
  SliderElement pressed_ = SliderElement::None;
  std::int32_t volume_;
};

}  // namespace tw::volume
