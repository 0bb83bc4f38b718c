#include "shell/volume/win/vol_slider.h"

#include <windowsx.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "common/core/twips.h"
#include "common/win/dpi.h"
#include "common/win/drawn_window.h"
#include "shell/volume/core/volume_art.h"

namespace tw::volume::win {
namespace {

constexpr wchar_t kClassName[] = L"TarnwickVolSlider";
constexpr COLORREF kBack = RGB(VolumeSlider::kBackRed, VolumeSlider::kBackGreen, VolumeSlider::kBackBlue);

// Bottom of the stack first: the painting order.
constexpr SliderElement kPaintOrder[] = {SliderElement::VOLON, SliderElement::VOLOFF, SliderElement::bg,
                                         SliderElement::bg2, SliderElement::volbtn};

// The five pictures as 24-bit bitmaps for one resolution, made once per process (the last
// resolution asked for is kept).
HBITMAP PictureBitmap(SliderElement e, int dpi) {
  static std::array<HBITMAP, kSliderElementCount> bitmaps{};
  static int madeFor = 0;
  if (madeFor != dpi) {
    for (HBITMAP& b : bitmaps) {
      if (b) DeleteObject(b);
      b = nullptr;
    }
    madeFor = dpi;
  }
  const auto index = static_cast<std::size_t>(e);
  if (index >= bitmaps.size()) return nullptr;
  if (bitmaps[index]) return bitmaps[index];

  const Picture p = MakeSliderPicture(e, dpi);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = p.width;
  bi.bmiHeader.biHeight = -p.height;  // top row first
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bmp || !bits) return nullptr;
  const int stride = (p.width * 3 + 3) & ~3;
  auto* row = static_cast<BYTE*>(bits);
  for (int y = 0; y < p.height; ++y, row += stride) {
    for (int x = 0; x < p.width; ++x) {
      const Rgb c = p.At(x, y);
      row[x * 3 + 0] = c.b;
      row[x * 3 + 1] = c.g;
      row[x * 3 + 2] = c.r;
    }
  }
  GdiFlush();
  bitmaps[index] = bmp;
  return bmp;
}

MouseButton ButtonOf(UINT msg) {
  switch (msg) {
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: return MouseButton::Right;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP: return MouseButton::Middle;
    default: return MouseButton::Left;
  }
}

}  // namespace

bool VolSlider::Create(HWND parent, int x, int y, int width, int height, VolumeSliderEvents* events) {
  slider_.set_events(events);
  RegisterClassOnce(kClassName, 0, nullptr);
  CreateWindowExW(0, kClassName, L"vol1", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, x, y, width, height, parent,
                  nullptr, GetModuleHandleW(nullptr), this);
  if (!hwnd_) return false;
  dpi_ = tw::win::WindowDpi(hwnd_);
  return true;
}

void VolSlider::SetDpi(int dpi) {
  dpi_ = dpi;
  Changed();
}

void VolSlider::setVol(std::int32_t Volume) {
  slider_.setVol(Volume);
  Changed();
}

void VolSlider::SetMute(VBool newmute) {
  slider_.SetMute(newmute);
  Changed();
}

void VolSlider::Changed() {
  if (!hwnd_) return;
  InvalidateRect(hwnd_, nullptr, FALSE);
  tw::win::AccNotify(hwnd_, EVENT_OBJECT_VALUECHANGE);
}

void VolSlider::AccDescribe(tw::win::AccInfo& info) {
  info.role = ROLE_SYSTEM_SLIDER;
  info.name = L"音量";
  info.value = std::to_wstring(slider_.Volume());
  const bool muted = slider_.Element(SliderElement::VOLOFF).visible;
  if (muted) info.description = L"静音";
  info.action = muted ? L"Unmute" : L"Mute";
}

bool VolSlider::AccDoDefault() {
  const SliderRect& icon = slider_.Element(slider_.Element(SliderElement::VOLOFF).visible ? SliderElement::VOLOFF
                                                                                           : SliderElement::VOLON);
  const float x = icon.left + icon.width / 2, y = icon.top + icon.height / 2;
  slider_.MouseDown(x, y, MouseButton::Left);
  slider_.MouseUp(x, y, MouseButton::Left);
  Changed();
  return true;
}

float VolSlider::ToTwips(int pixels) const {
  return static_cast<float>(tw::PixelsToTwips(pixels, dpi_));
}

RECT VolSlider::ElementRect(SliderElement e) const {
  const SliderRect& r = slider_.Element(e);
  auto px = [this](float twips) { return tw::TwipsToPixels(std::llround(twips), dpi_); };
  RECT rc;
  rc.left = px(r.left);
  rc.top = px(r.top);
  rc.right = px(r.left + r.width);
  rc.bottom = px(r.top + r.height);
  return rc;
}

void VolSlider::Paint(HDC mem, const RECT& client) {
  HBRUSH back = CreateSolidBrush(kBack);
  FillRect(mem, &client, back);
  DeleteObject(back);

  HDC src = CreateCompatibleDC(mem);
  SetStretchBltMode(mem, COLORONCOLOR);
  for (SliderElement e : kPaintOrder) {
    if (!slider_.Element(e).visible) continue;
    HBITMAP bmp = PictureBitmap(e, dpi_);
    if (!bmp) continue;
    BITMAP info{};
    GetObjectW(bmp, sizeof info, &info);
    const RECT rc = ElementRect(e);
    if (rc.right <= rc.left || rc.bottom <= rc.top) continue;
    HGDIOBJ old = SelectObject(src, bmp);
    StretchBlt(mem, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, src, 0, 0, info.bmWidth,
               info.bmHeight, SRCCOPY);
    SelectObject(src, old);
  }
  DeleteDC(src);
}

LRESULT VolSlider::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT answer = 0;
  auto paint = [this](HDC dc, const RECT& client) {
    tw::win::PaintOffScreen(dc, client, [&](HDC to) { Paint(to, client); });
  };
  if (tw::win::DrawnWindowMessage(hwnd_, msg, wp, lp, access_, *this, paint, answer)) return answer;
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      slider_.MouseDown(ToTwips(GET_X_LPARAM(lp)), ToTwips(GET_Y_LPARAM(lp)), ButtonOf(msg));
      // The pressed element keeps receiving moves and the release while a button is held.
      if (slider_.pressed() != SliderElement::None && GetCapture() != hwnd_) SetCapture(hwnd_);
      return 0;
    case WM_MOUSEMOVE:
      if (slider_.dragging()) {
        slider_.MouseMove(ToTwips(GET_X_LPARAM(lp)), ToTwips(GET_Y_LPARAM(lp)));
        Changed();
      }
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      slider_.MouseUp(ToTwips(GET_X_LPARAM(lp)), ToTwips(GET_Y_LPARAM(lp)), ButtonOf(msg));
      // The press has ended, so the capture change below is no cancellation.
      if (GetCapture() == hwnd_) ReleaseCapture();
      Changed();
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lp) != hwnd_ && slider_.pressed() != SliderElement::None) {
        slider_.CancelPress();
        Changed();
      }
      return 0;
    default:
      return Default(msg, wp, lp);
  }
}

}  // namespace tw::volume::win
