#include "shell/main_window/win/panel.h"

#include "common/win/text_win.h"

namespace tw::shell {

namespace {
const wchar_t kPanelClass[] = L"TarnwickPanel";
}

Panel::~Panel() {
  if (brush_) DeleteObject(brush_);
}

bool Panel::Create(HWND parent, COLORREF background, HWND commandTarget) {
  brush_ = CreateSolidBrush(background);
  commandTarget_ = commandTarget;
  if (!RegisterClassOnce(kPanelClass, 0, nullptr)) return false;
  return CreateWindowExW(0, kPanelClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                         parent, nullptr, GetModuleHandleW(nullptr), this) != nullptr;
}

LRESULT Panel::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(hwnd_, &r);
      FillRect(reinterpret_cast<HDC>(wp), &r, brush_);
      return 1;
    }
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wp);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(0, 0, 0));
      return reinterpret_cast<LRESULT>(brush_);
    }
    case WM_COMMAND:
    case WM_DRAWITEM:
      if (commandTarget_) return SendMessageW(commandTarget_, msg, wp, lp);
      return 0;
    default:
      return Default(msg, wp, lp);
  }
}

HWND CreateLabel(HWND parent, int id, const std::u16string& text, HFONT font, bool clickable) {
  DWORD style = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | (clickable ? SS_NOTIFY : 0);
  HWND h = CreateWindowExW(0, L"STATIC", win::W(text).c_str(), style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  if (h && font) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return h;
}

}  // namespace tw::shell
