#include "shell/tab_strip/win/strip_button.h"

#include <windowsx.h>

#include <array>

#include "common/win/accessible.h"
#include "common/win/drawn_window.h"
#include "common/win/window.h"
#include "library/image_button/core/image_button.h"
#include "shell/tab_strip/win/pixels_win.h"

namespace tw::tabs::win {
namespace {

namespace ib = tw::image_button;

constexpr UINT_PTR kLeaveTimer = 1;
constexpr wchar_t kClassName[] = L"TwStripButton";

}  // namespace

PixelImage ArtImage(ButtonArt art, ButtonLook look, int dpi) {
  switch (art) {
    case ButtonArt::kClose: return CloseButtonImage(look, dpi);
    case ButtonArt::kLeftArrow: return ArrowImage(ArrowDirection::kLeft, look, dpi);
    case ButtonArt::kRightArrow: return ArrowImage(ArrowDirection::kRight, look, dpi);
  }
  return {};
}

const wchar_t* ArtName(ButtonArt art) {
  switch (art) {
    case ButtonArt::kClose: return L"关闭";
    case ButtonArt::kLeftArrow: return L"向左";
    case ButtonArt::kRightArrow: return L"向右";
  }
  return L"";
}

namespace {

class DrawnButton final : public tw::win::Window<DrawnButton>,
                          public StripButton,
                          private tw::win::AccessibleSource,
                          private ib::View,
                          private ib::Events {
 public:
  DrawnButton(ButtonArt art, int dpi, std::function<void()> on_click)
      : art_(art), dpi_(dpi), on_click_(std::move(on_click)), core_(*this, *this) {
    const ButtonLook looks[] = {ButtonLook::kNormal, ButtonLook::kOver, ButtonLook::kDown};
    for (int i = 0; i < 3; ++i) {
      images_[i] = ArtImage(art, looks[i], dpi);
      bitmaps_[i] = MakeBitmap(images_[i]);
    }
  }

  ~DrawnButton() override {
    access_.Disconnect();
    if (hwnd_) {
      KillTimer(hwnd_, kLeaveTimer);
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      DestroyWindow(hwnd_);
      hwnd_ = nullptr;
    }
    for (HBITMAP bitmap : bitmaps_) {
      if (bitmap) DeleteObject(bitmap);
    }
  }

  bool Create(HWND parent) {
    if (!RegisterClassOnce(kClassName, CS_DBLCLKS, nullptr)) return false;
    if (!CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 1, 1, parent, nullptr,
                         GetModuleHandleW(nullptr), this)) {
      return false;
    }
    // All three pictures are saved with the button.
    const ib::Slot slots[] = {ib::Slot::Normal, ib::Slot::Hover, ib::Slot::Down};
    for (int i = 0; i < 3; ++i) {
      core_.SetPicture(slots[i], ib::TwipSize{PixelsToTwips(images_[i].width, dpi_), PixelsToTwips(images_[i].height, dpi_)});
    }
    core_.InitCtlSet();
    return true;
  }

  HWND hwnd() const override { return hwnd_; }

  void MoveTo(int x, int y) override {
    SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void Show(bool visible) override { ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE); }

  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT answer = 0;
    auto paint = [this](HDC dc, const RECT&) {
      // A picture shows at its own pixel size, as the library's button shows it.
      const PixelImage& image = images_[static_cast<int>(core_.Shown())];
      RECT rc{0, 0, image.width, image.height};
      DrawStretched(dc, bitmaps_[static_cast<int>(core_.Shown())], image.width, image.height, rc);
    };
    if (tw::win::DrawnWindowMessage(hwnd_, msg, wp, lp, access_, *this, paint, answer)) return answer;
    switch (msg) {
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
        SetCapture(hwnd_);
        core_.MouseDown(ButtonOf(msg), TwipsX(lp), TwipsY(lp));
        return 0;
      case WM_RBUTTONDBLCLK:
      case WM_MBUTTONDBLCLK:
        SetCapture(hwnd_);
        core_.MouseDown(msg == WM_RBUTTONDBLCLK ? ib::kRightButton : ib::kMiddleButton, TwipsX(lp), TwipsY(lp));
        return 0;
      case WM_LBUTTONDBLCLK:
        // The second press of a double click is a Dblclick, not a press: no second Click.
        SetCapture(hwnd_);
        core_.DoubleClick(TwipsX(lp), TwipsY(lp));
        return 0;
      case WM_MOUSEMOVE:
        core_.MouseMove(TwipsX(lp), TwipsY(lp));
        return 0;
      case WM_LBUTTONUP:
      case WM_RBUTTONUP:
      case WM_MBUTTONUP:
        if (GetCapture() == hwnd_) ReleaseCapture();
        // Raises Click last; the handler may destroy this button's owner, so nothing follows.
        core_.MouseUp(ButtonOf(msg), TwipsX(lp), TwipsY(lp));
        return 0;
      case WM_TIMER:
        if (wp == kLeaveTimer) {
          POINT pt{};
          GetCursorPos(&pt);
          core_.LeaveTick(pt.x, pt.y, WindowFromPoint(pt) == hwnd_);
          return 0;
        }
        break;
      default:
        break;
    }
    return Default(msg, wp, lp);
  }

 private:
  static std::int16_t ButtonOf(UINT msg) {
    if (msg == WM_RBUTTONDOWN || msg == WM_RBUTTONUP) return ib::kRightButton;
    if (msg == WM_MBUTTONDOWN || msg == WM_MBUTTONUP) return ib::kMiddleButton;
    return ib::kLeftButton;
  }
  double TwipsX(LPARAM lp) const { return GET_X_LPARAM(lp) * 1440.0 / dpi_; }
  double TwipsY(LPARAM lp) const { return GET_Y_LPARAM(lp) * 1440.0 / dpi_; }

  // A push button named after its picture; its default action is a click.
  void AccDescribe(tw::win::AccInfo& info) override {
    info.role = ROLE_SYSTEM_PUSHBUTTON;
    info.name = ArtName(art_);
    info.action = L"Press";
  }
  bool AccDoDefault() override {
    if (on_click_) on_click_();
    return true;
  }

  // ib::View
  void ShowPicture(ib::Slot) override {
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
  }
  void SetLeaveTimer(bool enabled) override {
    if (!hwnd_) return;
    if (enabled) {
      SetTimer(hwnd_, kLeaveTimer, 1, nullptr);
    } else {
      KillTimer(hwnd_, kLeaveTimer);
    }
  }
  void SetControlSize(ib::TwipSize size) override {
    if (!hwnd_) return;
    SetWindowPos(hwnd_, nullptr, 0, 0, TwipsToPixels(size.width, dpi_), TwipsToPixels(size.height, dpi_),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void ApplyToolTip(const std::u16string&) override {}  // the strip's buttons carry no tooltip

  // ib::Events: the strip uses only Click.
  void Click() override {
    if (on_click_) on_click_();
  }
  void MouseMove(std::int16_t, std::int16_t) override {}
  void MouseDown(std::int16_t, std::int16_t, std::int16_t) override {}
  void MouseUp(std::int16_t, std::int16_t, std::int16_t) override {}
  void DblClick() override {}
  void MouseLeave(std::int16_t, std::int16_t) override {}

  ButtonArt art_;
  int dpi_;
  std::function<void()> on_click_;
  std::array<PixelImage, 3> images_;
  std::array<HBITMAP, 3> bitmaps_{};
  ib::ImageButton core_;
  tw::win::AccessibleLink access_;
};

}  // namespace

namespace {
bool g_last_was_cmd = false;
bool g_drawn_only = false;
}  // namespace

std::unique_ptr<StripButton> CreateDrawnButton(HWND parent, ButtonArt art, int dpi, std::function<void()> on_click) {
  auto button = std::make_unique<DrawnButton>(art, dpi, std::move(on_click));
  if (!button->Create(parent)) return nullptr;
  return button;
}

std::unique_ptr<StripButton> CreateStripButton(HWND parent, ButtonArt art, int dpi, std::function<void()> on_click) {
  if (!g_drawn_only) {
    if (auto button = CreateCmdButton(parent, art, dpi, on_click)) {
      g_last_was_cmd = true;
      return button;
    }
  }
  g_last_was_cmd = false;
  return CreateDrawnButton(parent, art, dpi, std::move(on_click));
}

bool LastButtonWasCmd() { return g_last_was_cmd; }
void UseDrawnButtonsOnly(bool drawn_only) { g_drawn_only = drawn_only; }

}  // namespace tw::tabs::win
