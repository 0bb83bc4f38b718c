// The image button's behaviour: which of its three pictures is shown, the pressed / checked /
// check-box flags, the leave-detection timer, the control's size and the events it raises.
// The Windows control feeds it mouse, timer and property input and draws what it says.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tw::image_button {

// The three pictures: `Picture`, `PicturePoint` and `PictureDown`.
enum class Slot { Normal, Hover, Down };

struct TwipSize {
  std::int64_t width = 0;
  std::int64_t height = 0;
  friend bool operator==(const TwipSize&, const TwipSize&) = default;
};

// The image element's size while the picture it shows is missing.
inline constexpr TwipSize kEmptyImageSize{615, 495};

// Mouse buttons as the platform's button mask reports them.
inline constexpr std::int16_t kLeftButton = 1;
inline constexpr std::int16_t kRightButton = 2;
inline constexpr std::int16_t kMiddleButton = 4;

// What the platform side does for the button.
class View {
 public:
  virtual ~View() = default;
  // The image element now shows this slot's picture (nothing when the slot is empty).
  virtual void ShowPicture(Slot slot) = 0;
  virtual void SetLeaveTimer(bool enabled) = 0;
  // The control takes this size (the image element's).
  virtual void SetControlSize(TwipSize size) = 0;
  virtual void ApplyToolTip(const std::u16string& text) = 0;
};

// Events for the host, raised synchronously. A handler may call back into the button.
class Events {
 public:
  virtual ~Events() = default;
  virtual void Click() = 0;
  virtual void MouseMove(std::int16_t x, std::int16_t y) = 0;
  virtual void MouseDown(std::int16_t button, std::int16_t x, std::int16_t y) = 0;
  virtual void MouseUp(std::int16_t button, std::int16_t x, std::int16_t y) = 0;
  virtual void DblClick() = 0;
  virtual void MouseLeave(std::int16_t x, std::int16_t y) = 0;
};

// Rounds to the nearest integer, halves to even, and clamps to the 16-bit range so that an
// out-of-range position never aborts an event.
std::int16_t ToEventCoordinate(double value);
// Narrows a screen coordinate to 16 bits, clamping.
std::int16_t NarrowScreenCoordinate(std::int32_t value);

class ImageButton {
 public:
  ImageButton(View& view, Events& events);
  ImageButton(const ImageButton&) = delete;
  ImageButton& operator=(const ImageButton&) = delete;

  // Creation: the control takes the image element's size.
  void Created();

  // Properties. A picture is described by its size in twips, or nothing for none.
  // Setting the normal picture shows it at once; the other two change nothing on screen, even
  // while their slot is the one shown: the image keeps the picture it was given until the next
  // change of what is shown.
  void SetPicture(Slot slot, std::optional<TwipSize> picture);
  std::optional<TwipSize> Picture(Slot slot) const;
  void SetToolTipText(std::u16string text) { toolTip_ = std::move(text); }
  const std::u16string& ToolTipText() const { return toolTip_; }

  // Methods of the control.
  void RefreshSkin();
  void SetChk(bool chk);
  void SetMode(std::int16_t mode);
  void CheckBox(bool use) { checkBoxMode_ = use; }
  void InitCtlSet();

  // The control was resized: it snaps back to the image element's size. The view ignores a
  // size equal to the one the control already has.
  void Resized();

  // Mouse input; positions are relative to the control's top-left corner, in twips. While a
  // button is held the control has the mouse captured, so every move and release reaches it.
  // Presses and double clicks count only on the image; a release counts on the image or after
  // a press on it.
  void MouseDown(std::int16_t button, double x, double y);
  void MouseMove(double x, double y);
  void MouseUp(std::int16_t button, double x, double y);
  void DoubleClick(double x, double y);
  // The mouse capture was taken away while a button was held (a modal window, a task switch):
  // the release will go elsewhere, so the press ends here instead of sticking until some later
  // release on the button.
  void CaptureLost() { pressed_ = false; }

  // One tick of the leave timer: the cursor's screen position in pixels and whether the window
  // under it is the control's own.
  void LeaveTick(std::int32_t cursorX, std::int32_t cursorY, bool overOwnWindow);

  // State, for drawing and for tests. The image's size is that of the picture it was last given.
  Slot Shown() const { return shown_; }
  TwipSize ImageSize() const { return shownPicture_ ? *shownPicture_ : kEmptyImageSize; }
  TwipSize ControlSize() const { return controlSize_; }
  bool Pressed() const { return pressed_; }
  bool Checked() const { return checked_; }
  bool CheckBoxMode() const { return checkBoxMode_; }
  bool LeaveTimerEnabled() const { return timerOn_; }

 private:
  void Show(Slot slot);
  void EnableTimer(bool on);
  void FitControl();
  bool InsideImage(double x, double y) const;

  View& view_;
  Events& events_;
  std::optional<TwipSize> pictures_[3];
  std::u16string toolTip_;
  Slot shown_ = Slot::Normal;
  std::optional<TwipSize> shownPicture_;  // the picture the image was given with shown_
  TwipSize controlSize_ = kEmptyImageSize;
  bool pressed_ = false;
  bool checkBoxMode_ = false;
  bool checked_ = false;
  bool timerOn_ = false;
};

}  // namespace tw::image_button
