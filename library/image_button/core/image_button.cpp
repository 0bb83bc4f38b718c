#include "library/image_button/core/image_button.h"

#include <cmath>
#include <limits>

namespace tw::image_button {

std::int16_t ToEventCoordinate(double value) {
  if (std::isnan(value)) return 0;
  constexpr double lo = std::numeric_limits<std::int16_t>::min();
  constexpr double hi = std::numeric_limits<std::int16_t>::max();
  if (value <= lo) return std::numeric_limits<std::int16_t>::min();
  if (value >= hi) return std::numeric_limits<std::int16_t>::max();
  // Round half to even without depending on the floating-point rounding mode.
  double floor = std::floor(value);
  double diff = value - floor;
  double rounded = floor;
  if (diff > 0.5) {
    rounded = floor + 1;
  } else if (diff == 0.5) {
    rounded = std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1;
  }
  return static_cast<std::int16_t>(rounded);
}

std::int16_t NarrowScreenCoordinate(std::int32_t value) {
  if (value < std::numeric_limits<std::int16_t>::min()) return std::numeric_limits<std::int16_t>::min();
  if (value > std::numeric_limits<std::int16_t>::max()) return std::numeric_limits<std::int16_t>::max();
  return static_cast<std::int16_t>(value);
}

ImageButton::ImageButton(View& view, Events& events) : view_(view), events_(events) {}

void ImageButton::Created() { FitControl(); }

void ImageButton::SetPicture(Slot slot, std::optional<TwipSize> picture) {
  pictures_[static_cast<int>(slot)] = picture;
  if (slot == Slot::Normal) Show(Slot::Normal);
}

std::optional<TwipSize> ImageButton::Picture(Slot slot) const { return pictures_[static_cast<int>(slot)]; }

void ImageButton::RefreshSkin() { Show(checkBoxMode_ && checked_ ? Slot::Down : Slot::Normal); }

void ImageButton::SetChk(bool /*chk*/) {
  // The argument is not consulted: the call always checks the button.
  checked_ = true;
  Show(Slot::Down);
}

void ImageButton::SetMode(std::int16_t mode) {
  switch (mode) {
    case 0: Show(Slot::Normal); break;
    case 1: Show(Slot::Hover); break;
    case 2: Show(Slot::Down); break;
    default: break;
  }
}

void ImageButton::InitCtlSet() {
  Show(Slot::Normal);
  FitControl();
}

void ImageButton::Resized() { FitControl(); }

void ImageButton::MouseDown(std::int16_t button, double x, double y) {
  if (!InsideImage(x, y)) return;
  pressed_ = true;
  Show(Slot::Down);
  events_.MouseDown(button, ToEventCoordinate(x), ToEventCoordinate(y));
}

void ImageButton::MouseMove(double x, double y) {
  EnableTimer(true);
  if (pressed_ || InsideImage(x, y)) {
    Show(pressed_ ? Slot::Down : Slot::Hover);
    events_.MouseMove(ToEventCoordinate(x), ToEventCoordinate(y));
  } else {
    Show(Slot::Normal);
  }
}

void ImageButton::MouseUp(std::int16_t button, double x, double y) {
  const bool onImage = InsideImage(x, y);
  if (!pressed_ && !onImage) return;
  const bool click = pressed_ && button == kLeftButton && onImage;
  pressed_ = false;
  Show(Slot::Hover);
  events_.MouseUp(button, ToEventCoordinate(x), ToEventCoordinate(y));
  if (click) events_.Click();
}

void ImageButton::DoubleClick(double x, double y) {
  if (InsideImage(x, y)) events_.DblClick();
}

void ImageButton::LeaveTick(std::int32_t cursorX, std::int32_t cursorY, bool overOwnWindow) {
  if (!timerOn_) return;
  view_.ApplyToolTip(toolTip_);
  if (overOwnWindow) return;
  EnableTimer(false);
  RefreshSkin();
  events_.MouseLeave(NarrowScreenCoordinate(cursorX), NarrowScreenCoordinate(cursorY));
}

void ImageButton::Show(Slot slot) {
  shown_ = slot;
  shownPicture_ = pictures_[static_cast<int>(slot)];
  view_.ShowPicture(slot);
}

void ImageButton::EnableTimer(bool on) {
  if (timerOn_ == on) return;
  timerOn_ = on;
  view_.SetLeaveTimer(on);
}

void ImageButton::FitControl() {
  controlSize_ = ImageSize();
  view_.SetControlSize(controlSize_);
}

bool ImageButton::InsideImage(double x, double y) const {
  TwipSize size = ImageSize();
  return x >= 0 && y >= 0 && x < static_cast<double>(size.width) && y < static_cast<double>(size.height);
}

}  // namespace tw::image_button
