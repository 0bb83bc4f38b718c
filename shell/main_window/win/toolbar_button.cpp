#include "shell/main_window/win/toolbar_button.h"

#include "common/win/image_button_host.h"
#include "common/win/text_win.h"

namespace tw::shell {
namespace {

struct Look {
  COLORREF fill, edge, text;
};
constexpr Look kLooks[3] = {
    {RGB(0xC4, 0xE8, 0xFC), RGB(0x7F, 0xC8, 0xEE), RGB(0x0B, 0x4F, 0x6C)},  // normal
    {RGB(0xFF, 0xFF, 0xFF), RGB(0x23, 0xC3, 0xF7), RGB(0x0B, 0x4F, 0x6C)},  // under the mouse
    {RGB(0x23, 0xC3, 0xF7), RGB(0x1B, 0x7F, 0xB0), RGB(0xFF, 0xFF, 0xFF)},  // pressed
};

HBITMAP DrawPicture(int w, int h, const std::u16string& caption, HFONT font, const Look& look) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  ReleaseDC(nullptr, screen);
  if (!bmp) {
    DeleteDC(dc);
    return nullptr;
  }
  HGDIOBJ oldBmp = SelectObject(dc, bmp);
  RECT r{0, 0, w, h};
  HBRUSH back = CreateSolidBrush(RGB(0xC4, 0xE8, 0xFC));  // the toolbar's own colour around the corners
  FillRect(dc, &r, back);
  DeleteObject(back);
  HBRUSH fill = CreateSolidBrush(look.fill);
  HPEN edge = CreatePen(PS_SOLID, 1, look.edge);
  HGDIOBJ ob = SelectObject(dc, fill);
  HGDIOBJ op = SelectObject(dc, edge);
  const int round = h / 4 > 1 ? h / 4 : 2;  // 6 at the design height of 24 pixels
  RoundRect(dc, 0, 0, w, h, round, round);
  SelectObject(dc, ob);
  SelectObject(dc, op);
  DeleteObject(fill);
  DeleteObject(edge);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, look.text);
  HGDIOBJ of = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
  std::wstring text = win::W(caption);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, of);
  SelectObject(dc, oldBmp);
  DeleteDC(dc);
  return bmp;
}

}  // namespace

ToolbarButton::~ToolbarButton() {
  host_.Destroy();
  if (fallback_) DestroyWindow(fallback_);
}

bool ToolbarButton::Create(HWND parent, int x, int y, int w, int h, const std::u16string& caption, HFONT font,
                           std::function<void()> onClick) {
  onClick_ = std::move(onClick);
  caption_ = caption;
  RECT rc{x, y, x + w, y + h};
  bool ok = SUCCEEDED(win::cmd_button::Create(host_, parent, rc, [this] {
    if (onClick_) onClick_();
  }));
  if (ok) ok = PutPictures(w, h, font);
  if (ok) {
    host_.Move(x, y, w, h);
    win::cmd_button::SetCaption(host_, win::W(caption));
    return true;
  }
  host_.Destroy();
  fallback_ = CreateWindowExW(0, L"BUTTON", win::W(caption).c_str(), WS_CHILD | BS_PUSHBUTTON, x, y, w, h, parent,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  if (fallback_ && font) SendMessageW(fallback_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return fallback_ != nullptr;
}

bool ToolbarButton::PutPictures(int w, int h, HFONT font) {
  const DISPID ids[3] = {win::cmd_button::kPicture, win::cmd_button::kPicturePoint, win::cmd_button::kPictureDown};
  for (int i = 0; i < 3; ++i)
    if (FAILED(win::cmd_button::PutPicture(host_, ids[i], DrawPicture(w, h, caption_, font, kLooks[i])))) return false;
  // The button takes its pictures' size.
  host_.Call(win::cmd_button::kInitCtlSet);
  return true;
}

void ToolbarButton::Rescale(int x, int y, int w, int h, HFONT font) {
  if (fallback_) {
    if (font) SendMessageW(fallback_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    MoveWindow(fallback_, x, y, w, h, TRUE);
    return;
  }
  if (!host_.hwnd()) return;
  PutPictures(w, h, font);
  host_.Move(x, y, w, h);
}

void ToolbarButton::Show(bool visible) {
  if (fallback_) ShowWindow(fallback_, visible ? SW_SHOWNA : SW_HIDE);
  else host_.Show(visible);
}

bool ToolbarButton::visible() const { return fallback_ ? IsWindowVisible(fallback_) != FALSE : host_.visible(); }

}  // namespace tw::shell
