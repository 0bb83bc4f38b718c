// Corvala.Cmd_: the image button as an ActiveX control. It owns a child window (leave detection
// asks which window lies under the cursor), draws the picture the core chooses, turns window
// messages into core input and raises the core's events through its connection point.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <olectl.h>
#include <windowsx.h>

#include <initializer_list>
#include <optional>
#include <span>
#include <string>

#include "common/win/ax_control.h"
#include "common/core/twips.h"
#include "corvala_h.h"
#include "library/corvala_classes.h"
#include "library/image_button/core/image_button.h"

namespace tw::corvala {

namespace {

using image_button::Slot;
using image_button::TwipSize;
using win::ComPtr;
using win::Variant;

constexpr DISPID kDispPictureDown = 0x68030000;
constexpr DISPID kDispPicturePoint = 0x68030001;
constexpr DISPID kDispToolTipText = 0x68030002;
constexpr DISPID kDispPicture = 0x68030003;
constexpr DISPID kDispRefreshSkin = 0x60030004;
constexpr DISPID kDispSetChk = 0x60030005;
constexpr DISPID kDispSetMode = 0x6003000d;
constexpr DISPID kDispCheckBox = 0x6003000e;
constexpr DISPID kDispInitCtlSet = 0x60030013;

constexpr DISPID kEventClick = 1;
constexpr DISPID kEventMouseMove = 2;
constexpr DISPID kEventMouseDown = 3;
constexpr DISPID kEventMouseUp = 4;
constexpr DISPID kEventDblclick = 5;
constexpr DISPID kEventMouseLeave = 7;

const win::DispName kNames[] = {
    {L"RefreshSkin", kDispRefreshSkin}, {L"SetChk", kDispSetChk},
    {L"Picture", kDispPicture},         {L"ToolTipText", kDispToolTipText},
    {L"PicturePoint", kDispPicturePoint}, {L"PictureDown", kDispPictureDown},
    {L"SetMode", kDispSetMode},         {L"CheckBox", kDispCheckBox},
    {L"InitCtlSet", kDispInitCtlSet},
};

constexpr UINT_PTR kLeaveTimer = 1;
constexpr UINT kLeaveInterval = 1;

int ScreenDpi() {
  HDC dc = GetDC(nullptr);
  int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
  if (dc) ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

std::wstring ToWide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }
std::u16string ToU16(const wchar_t* s, std::size_t n) { return std::u16string(s, s + n); }

// A picture's size in twips, from its HIMETRIC extent; nothing for none.
std::optional<TwipSize> PictureSize(IPictureDisp* picture) {
  if (!picture) return std::nullopt;
  ComPtr<IPicture> pic;
  if (FAILED(picture->QueryInterface(IID_IPicture, reinterpret_cast<void**>(&pic)))) return TwipSize{};
  OLE_XSIZE_HIMETRIC w = 0;
  OLE_YSIZE_HIMETRIC h = 0;
  pic->get_Width(&w);
  pic->get_Height(&h);
  // 2540 HIMETRIC units and 1440 twips make an inch.
  return TwipSize{(static_cast<std::int64_t>(w) * 1440 + 1270) / 2540, (static_cast<std::int64_t>(h) * 1440 + 1270) / 2540};
}

class CmdControl : public win::AxControl<CmdControl>, private image_button::View, private image_button::Events {
 public:
  CmdControl() : dpi_(ScreenDpi()) { button_.Created(); }
  ~CmdControl() override { DestroyControlWindow(); }

 private:
  friend class win::AxControl<CmdControl>;

  static const win::AxClass& Class() {
    static const win::AxClass c{&CLSID_Cmd_, &DIID__Cmd_, &DIID___Cmd_, &Module, kImageButtonWindowClass,
                                CS_DBLCLKS, kImageButtonMiscStatus, STG_E_OLDFORMAT, kNames,
                                sizeof kNames / sizeof kNames[0]};
    return c;
  }

  // Stored: the three pictures, then the tooltip; a new button has no pictures and no tooltip.
  template <int slot>
  static void GetPicture(const CmdControl& c, win::AxValue& v) {
    v.object = ComPtr<IUnknown>(c.pictures_[slot].Get());
  }
  template <int slot>
  static void SetPicture(CmdControl& c, const win::AxValue& v) {
    ComPtr<IPictureDisp> picture;
    if (v.object) v.object.As(IID_IPictureDisp, picture);
    c.SetPictureObject(slot, picture.Get());
  }
  static std::span<const win::AxProperty<CmdControl>> Properties() {
    using win::AxKind;
    static const win::AxProperty<CmdControl> table[] = {
        {L"Picture", AxKind::Object, 0, 0, 0, &IID_IPictureDisp, GetPicture<0>, SetPicture<0>},
        {L"PicturePoint", AxKind::Object, 0, 1, 0, &IID_IPictureDisp, GetPicture<1>, SetPicture<1>},
        {L"PictureDown", AxKind::Object, 0, 2, 0, &IID_IPictureDisp, GetPicture<2>, SetPicture<2>},
        {L"ToolTipText", AxKind::Text, 0, 3, 0, nullptr,
         [](const CmdControl& c, win::AxValue& v) { v.text = ToWide(c.button_.ToolTipText()); },
         [](CmdControl& c, const win::AxValue& v) { c.button_.SetToolTipText(ToU16(v.text.data(), v.text.size())); }},
    };
    return table;
  }
  void Loaded(win::AxLoad from) {
    if (from != win::AxLoad::New) button_.InitCtlSet();
  }

  HRESULT Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr);

  // The button keeps its picture's size whatever the container asks for; the container's
  // rectangle gives only its position.
  void OnSetExtent(const SIZEL&) { button_.Resized(); }
  SIZEL Extent() const {
    TwipSize s = button_.ControlSize();
    return SIZEL{static_cast<LONG>((s.width * 2540 + 720) / 1440), static_cast<LONG>((s.height * 2540 + 720) / 1440)};
  }
  void OnPositionChanged() { button_.Resized(); }
  void OnActivated() { button_.Resized(); }
  void OnWindowCreated() {
    // The leave check survives a deactivation: restart it if it was running.
    if (button_.LeaveTimerEnabled()) SetTimer(hwnd_, kLeaveTimer, kLeaveInterval, nullptr);
  }
  void OnWindowDestroying() {
    if (toolTip_) {
      DestroyWindow(toolTip_);
      toolTip_ = nullptr;
      appliedToolTip_.clear();
    }
  }

  // A screen reader sees a push button, or a check box in check-box mode, named by the tooltip
  // or else by the caption its host gave the window.
  void AccDescribe(win::AccInfo& info) override {
    win::AxControl<CmdControl>::AccDescribe(info);
    if (!button_.ToolTipText().empty()) info.name = ToWide(button_.ToolTipText());
    if (button_.CheckBoxMode()) {
      info.role = ROLE_SYSTEM_CHECKBUTTON;
      if (button_.Checked()) info.state |= STATE_SYSTEM_CHECKED;
      info.action = button_.Checked() ? L"Uncheck" : L"Check";
    } else {
      info.role = ROLE_SYSTEM_PUSHBUTTON;
      info.action = L"Press";
    }
    if (button_.Pressed()) info.state |= STATE_SYSTEM_PRESSED;
  }
  // A left press and release in the middle of the picture, then the normal picture again.
  bool AccDoDefault() override {
    const TwipSize size = button_.ControlSize();
    const double x = static_cast<double>(size.width) / 2, y = static_cast<double>(size.height) / 2;
    button_.MouseDown(image_button::kLeftButton, x, y);
    button_.MouseUp(image_button::kLeftButton, x, y);
    button_.RefreshSkin();
    return true;
  }

  // View. The image keeps the picture object it was given: a later set of that slot's property
  // changes nothing on screen until the core shows a picture again.
  void ShowPicture(Slot slot) override {
    shown_ = pictures_[static_cast<int>(slot)];
    ViewChanged(FALSE);
    win::AccNotify(hwnd_, EVENT_OBJECT_STATECHANGE);
  }
  void SetLeaveTimer(bool enabled) override {
    if (!hwnd_) return;
    if (enabled) {
      SetTimer(hwnd_, kLeaveTimer, kLeaveInterval, nullptr);
    } else {
      KillTimer(hwnd_, kLeaveTimer);
    }
  }
  void SetControlSize(TwipSize size) override;
  void ApplyToolTip(const std::u16string& text) override;

  // Events
  void Click() override { Fire(kEventClick, nullptr, 0); }
  void DblClick() override { Fire(kEventDblclick, nullptr, 0); }
  void MouseMove(std::int16_t x, std::int16_t y) override { FireShorts(kEventMouseMove, {x, y}, 2); }
  void MouseDown(std::int16_t button, std::int16_t x, std::int16_t y) override {
    FireShorts(kEventMouseDown, {button, x, y}, 3);
  }
  void MouseUp(std::int16_t button, std::int16_t x, std::int16_t y) override {
    FireShorts(kEventMouseUp, {button, x, y}, 3);
  }
  void MouseLeave(std::int16_t x, std::int16_t y) override { FireShorts(kEventMouseLeave, {x, y}, 2); }

  void FireShorts(DISPID id, std::initializer_list<std::int16_t> values, UINT count) {
    VARIANT args[3];
    UINT i = 0;
    for (std::int16_t v : values) {
      VariantInit(&args[i]);
      V_VT(&args[i]) = VT_I2;
      V_I2(&args[i]) = v;
      ++i;
    }
    Fire(id, args, count);
  }

  void SetPictureObject(int slot, IPictureDisp* picture) {
    pictures_[slot] = ComPtr<IPictureDisp>(picture);
    button_.SetPicture(static_cast<Slot>(slot), PictureSize(picture));
  }

  void Paint(HDC dc, const RECT& bounds);
  double ToTwips(int pixels) const { return static_cast<double>(pixels) * kTwipsPerInch / dpi_; }
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  image_button::ImageButton button_{*this, *this};
  ComPtr<IPictureDisp> pictures_[3];
  ComPtr<IPictureDisp> shown_;  // what the image shows
  HWND toolTip_ = nullptr;
  std::u16string appliedToolTip_;
  int dpi_;
  bool sizing_ = false;
  bool releasingCapture_ = false;
};

HRESULT CmdControl::Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr) {
  const bool isMethod = (flags & DISPATCH_METHOD) != 0;
  const bool isGet = (flags & DISPATCH_PROPERTYGET) != 0;
  const bool isPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  HRESULT hr = S_OK;
  switch (id) {
    case kDispRefreshSkin:
    case kDispInitCtlSet:
      if (!isMethod) {
        hr = DISP_E_MEMBERNOTFOUND;
      } else if (id == kDispRefreshSkin) {
        button_.RefreshSkin();
      } else {
        button_.InitCtlSet();
      }
      break;
    case kDispSetChk:
    case kDispCheckBox:
    case kDispSetMode: {
      if (!isMethod) {
        hr = DISP_E_MEMBERNOTFOUND;
        break;
      }
      Variant arg;
      hr = win::ReadArg(params, 0, id == kDispSetMode ? VT_I2 : VT_BOOL, &arg, argErr);
      if (FAILED(hr)) break;
      if (id == kDispSetChk) {
        button_.SetChk(V_BOOL(&arg) != VARIANT_FALSE);
      } else if (id == kDispCheckBox) {
        button_.CheckBox(V_BOOL(&arg) != VARIANT_FALSE);
      } else {
        button_.SetMode(V_I2(&arg));
      }
      break;
    }
    case kDispPicture:
    case kDispPicturePoint:
    case kDispPictureDown: {
      const int slot = id == kDispPicture ? 0 : id == kDispPicturePoint ? 1 : 2;
      if (isPut) {
        ComPtr<IPictureDisp> picture;
        if (params->cArgs < 1 || params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
            params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
          hr = DISP_E_PARAMNOTOPTIONAL;
          break;
        }
        hr = win::ObjectFromVariant(params->rgvarg[0], IID_IPictureDisp, reinterpret_cast<void**>(&picture));
        if (FAILED(hr)) {
          if (argErr) *argErr = 0;
          break;
        }
        SetPictureObject(slot, picture.Get());
        Changed(id);
      } else if (isGet) {
        if (!result) break;
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = pictures_[slot].Get();
        if (V_DISPATCH(result)) V_DISPATCH(result)->AddRef();
      } else {
        hr = DISP_E_MEMBERNOTFOUND;
      }
      break;
    }
    case kDispToolTipText: {
      if (isPut) {
        Variant value;
        hr = win::ReadPutValue(params, VT_BSTR, &value, argErr);
        if (FAILED(hr)) break;
        button_.SetToolTipText(ToU16(V_BSTR(&value) ? V_BSTR(&value) : L"", SysStringLen(V_BSTR(&value))));
        Changed(id);
      } else if (isGet) {
        if (!result) break;
        std::wstring text = ToWide(button_.ToolTipText());
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!V_BSTR(result)) hr = E_OUTOFMEMORY;
      } else {
        hr = DISP_E_MEMBERNOTFOUND;
      }
      break;
    }
    default:
      hr = DISP_E_MEMBERNOTFOUND;
      break;
  }
  return hr;
}

void CmdControl::SetControlSize(TwipSize size) {
  const int width = TwipsToPixels(size.width, dpi_);
  const int height = TwipsToPixels(size.height, dpi_);
  if (position_.right - position_.left == width && position_.bottom - position_.top == height) return;
  position_.right = position_.left + width;
  position_.bottom = position_.top + height;
  if (!hwnd_ || sizing_) return;
  // Tell the container the button's real size; it answers with SetObjectRects.
  sizing_ = true;
  SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (inPlaceSite_) {
    RECT r = position_;
    inPlaceSite_->OnPosRectChange(&r);
  }
  sizing_ = false;
}

void CmdControl::ApplyToolTip(const std::u16string& text) {
  if (!hwnd_ || text == appliedToolTip_) return;
  std::wstring wide = ToWide(text);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(hwnd_);
  tool.lpszText = wide.data();
  if (!toolTip_) {
    if (text.empty()) return;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    toolTip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, Module(), nullptr);
    if (!toolTip_) return;
    SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  } else {
    SendMessageW(toolTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  SendMessageW(toolTip_, TTM_ACTIVATE, text.empty() ? FALSE : TRUE, 0);
  appliedToolTip_ = text;
}

void CmdControl::Paint(HDC dc, const RECT& bounds) {
  FillRect(dc, &bounds, GetSysColorBrush(COLOR_BTNFACE));
  IPictureDisp* shown = shown_.Get();
  if (!shown) return;
  ComPtr<IPicture> picture;
  if (FAILED(shown->QueryInterface(IID_IPicture, reinterpret_cast<void**>(&picture)))) return;
  OLE_XSIZE_HIMETRIC w = 0;
  OLE_YSIZE_HIMETRIC h = 0;
  picture->get_Width(&w);
  picture->get_Height(&h);
  const int dpiX = GetDeviceCaps(dc, LOGPIXELSX) > 0 ? GetDeviceCaps(dc, LOGPIXELSX) : dpi_;
  const int dpiY = GetDeviceCaps(dc, LOGPIXELSY) > 0 ? GetDeviceCaps(dc, LOGPIXELSY) : dpi_;
  const LONG cx = MulDiv(w, dpiX, 2540);
  const LONG cy = MulDiv(h, dpiY, 2540);
  picture->Render(dc, bounds.left, bounds.top, cx, cy, 0, h, w, -h, nullptr);
}

LRESULT CmdControl::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  HWND hwnd = hwnd_;
  const double x = ToTwips(GET_X_LPARAM(lp));
  const double y = ToTwips(GET_Y_LPARAM(lp));
  switch (msg) {
    case WM_MOUSEMOVE:
      button_.MouseMove(x, y);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK: {
      SetCapture(hwnd);
      const std::int16_t button = msg == WM_LBUTTONDOWN ? image_button::kLeftButton
                                  : (msg == WM_RBUTTONDOWN || msg == WM_RBUTTONDBLCLK) ? image_button::kRightButton
                                                                                        : image_button::kMiddleButton;
      button_.MouseDown(button, x, y);
      return 0;
    }
    case WM_LBUTTONDBLCLK:
      SetCapture(hwnd);
      button_.DoubleClick(x, y);
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      if ((wp & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0 && GetCapture() == hwnd) {
        releasingCapture_ = true;
        ReleaseCapture();
        releasingCapture_ = false;
      }
      const std::int16_t button = msg == WM_LBUTTONUP   ? image_button::kLeftButton
                                  : msg == WM_RBUTTONUP ? image_button::kRightButton
                                                        : image_button::kMiddleButton;
      button_.MouseUp(button, x, y);
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (!releasingCapture_ && reinterpret_cast<HWND>(lp) != hwnd) button_.CaptureLost();
      return 0;
    case WM_TIMER:
      if (wp == kLeaveTimer) {
        POINT cursor{};
        GetCursorPos(&cursor);
        HWND under = WindowFromPoint(cursor);
        button_.LeaveTick(cursor.x, cursor.y, under == hwnd);
        return 0;
      }
      break;
    case WM_DESTROY:
      KillTimer(hwnd, kLeaveTimer);
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

HRESULT CreateImageButton(REFIID iid, void** out) { return win::ComObject<CmdControl>::Create(iid, out); }

}  // namespace tw::corvala
