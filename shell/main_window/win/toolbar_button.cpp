#include "shell/main_window/win/toolbar_button.h"

#include <ole2.h>
#include <olectl.h>

#include "common/win/com_ptr.h"
#include "common/win/text_win.h"

namespace tw::shell {
namespace {

// The image button's published dispatch ids and its event interface __Cmd_.
constexpr DISPID kDispPictureDown = 0x68030000;
constexpr DISPID kDispPicturePoint = 0x68030001;
constexpr DISPID kDispPicture = 0x68030003;
constexpr DISPID kDispInitCtlSet = 0x60030013;
constexpr DISPID kEventClick = 1;
constexpr IID kImageButtonEvents = {0x6C380CAA, 0xF192, 0x4717, {0x88, 0x4E, 0x6B, 0xC4, 0xF5, 0x5F, 0xFA, 0x38}};

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
  RoundRect(dc, 0, 0, w, h, 6, 6);
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
  CLSID clsid;
  bool ok = SUCCEEDED(CLSIDFromProgID(L"Corvala.Cmd_", &clsid));
  if (ok) {
    RECT rc{x, y, x + w, y + h};
    ok = SUCCEEDED(host_.Create(parent, rc, clsid, kImageButtonEvents, [this](DISPID id, DISPPARAMS*) {
      if (id == kEventClick && onClick_) onClick_();
    }));
  }
  const DISPID ids[3] = {kDispPicture, kDispPicturePoint, kDispPictureDown};
  for (int i = 0; ok && i < 3; ++i) {
    PICTDESC desc{};
    desc.cbSizeofstruct = sizeof desc;
    desc.picType = PICTYPE_BITMAP;
    desc.bmp.hbitmap = DrawPicture(w, h, caption, font, kLooks[i]);
    win::ComPtr<IPictureDisp> picture;
    if (!desc.bmp.hbitmap ||
        FAILED(OleCreatePictureIndirect(&desc, IID_IPictureDisp, TRUE, reinterpret_cast<void**>(&picture)))) {
      if (desc.bmp.hbitmap) DeleteObject(desc.bmp.hbitmap);
      ok = false;
      break;
    }
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_DISPATCH;
    V_DISPATCH(&value) = picture.Get();
    ok = SUCCEEDED(host_.Invoke(ids[i], DISPATCH_PROPERTYPUTREF, &value, 1, nullptr));
  }
  if (ok) {
    host_.Call(kDispInitCtlSet);
    host_.Move(x, y, w, h);
    return true;
  }
  host_.Destroy();
  fallback_ = CreateWindowExW(0, L"BUTTON", win::W(caption).c_str(), WS_CHILD | BS_PUSHBUTTON, x, y, w, h, parent,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  if (fallback_ && font) SendMessageW(fallback_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return fallback_ != nullptr;
}

void ToolbarButton::Show(bool visible) {
  if (fallback_) ShowWindow(fallback_, visible ? SW_SHOWNA : SW_HIDE);
  else host_.Show(visible);
}

bool ToolbarButton::visible() const { return fallback_ ? IsWindowVisible(fallback_) != FALSE : host_.visible(); }

}  // namespace tw::shell
