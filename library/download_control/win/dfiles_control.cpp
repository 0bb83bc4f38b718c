#include "library/download_control/win/dfiles_control.h"

#include <climits>
#include <new>
#include <string>
#include <vector>

#include "corvala_h.h"
#include "library/corvala_classes.h"

namespace tw::corvala {

namespace {

using namespace win::dfiles;  // the published dispatch ids

constexpr HRESULT kInvalidPropertyValue = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 380);

const win::DispName kNames[] = {
    {L"BackColor", DISPID_BACKCOLOR},
    {L"ForeColor", kForeColor},
    {L"Enabled", DISPID_ENABLED},
    {L"Font", DISPID_FONT},
    {L"BorderStyle", DISPID_BORDERSTYLE},
    {L"BytesRead", kBytesRead},
    {L"CacheFile", kCacheFile},
    {L"ConnectionAddress", kConnectionAddress},
    {L"MIMEType", kMIMEType},
    {L"RedirectFile", kRedirectFile},
    {L"Refresh", DISPID_REFRESH},
    {L"FileSize", kFileSize},
    {L"FileUrl", kFileUrl},
    {L"SaveFileName", kSaveFileName},
    {L"SaveFilePath", kSaveFilePath},
    {L"BeginDownload", kBeginDownload},
    {L"CancelDownload", kCancelDownload},
    {L"FailOnRedirect", kFailOnRedirect},
    {L"RenameOnRedirect", kRenameOnRedirect},
    {L"ShowProgress", kShowProgress},
    {L"SetFileName", kSetFileName},
};

HRESULT ReturnText(const std::u16string& s, VARIANT* result) {
  if (!result) return S_OK;
  V_VT(result) = VT_BSTR;
  V_BSTR(result) = win::ToBstr(s);
  return V_BSTR(result) || s.empty() ? S_OK : E_OUTOFMEMORY;
}

HRESULT ReturnBool(bool b, VARIANT* result) {
  if (!result) return S_OK;
  V_VT(result) = VT_BOOL;
  V_BOOL(result) = b ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT ReturnLong(LONG n, VARIANT* result) {
  if (!result) return S_OK;
  V_VT(result) = VT_I4;
  V_I4(result) = n;
  return S_OK;
}

std::u16string TextOf(const VARIANT& v) {
  BSTR b = V_BSTR(&v);
  return b ? std::u16string(reinterpret_cast<const char16_t*>(b), SysStringLen(b)) : std::u16string();
}

// An OLE colour put as any number that fits 32 bits, signed or not: system colours have the top
// bit set, so as an unsigned number (a typed caller) or a double (a script) they do not fit a
// signed one.
HRESULT ReadColorPut(DISPPARAMS* params, OLE_COLOR& out, UINT* argErr) {
  win::Variant v;
  if (SUCCEEDED(win::ReadPutValue(params, VT_I4, &v, argErr))) {
    out = static_cast<OLE_COLOR>(V_I4(&v));
    return S_OK;
  }
  TW_RINOK(win::ReadPutValue(params, VT_UI4, &v, argErr));
  out = V_UI4(&v);
  return S_OK;
}

COLORREF Translate(OLE_COLOR c) {
  COLORREF rgb = 0;
  if (FAILED(OleTranslateColor(c, nullptr, &rgb))) rgb = GetSysColor(COLOR_BTNFACE);
  return rgb;
}

}  // namespace

DFilesControl::DFilesControl() : transfer_(Self()), core_(transfer_, files_, codec_, *this) {
  transfer_.Attach(&core_);
  CPINFO cp{};
  const UINT codePage = GetACP();
  if (GetCPInfo(codePage, &cp) && ConvertsByBlocks(codePage, cp)) {
    textBuilder_ = std::make_unique<TextBuilder>(codePage, cp);
    core_.SetTextBuilder(textBuilder_.get());
  }
}

DFilesControl::~DFilesControl() {
  core_.Teardown();
  DestroyControlWindow();
}

const win::AxClass& DFilesControl::Class() {
  static const win::AxClass c{&CLSID_DFiles, &DIID__DFiles, &DIID___DFiles, &Module, kDownloadControlWindowClass,
                              CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, kDownloadControlMiscStatus, E_FAIL, kNames,
                              sizeof kNames / sizeof kNames[0]};
  return c;
}

// Stored properties in bag order. The stream holds a version, both colours, the four switches as
// bits of one flags word, the border style, the address, the folder and the font.
std::span<const win::AxProperty<DFilesControl>> DFilesControl::Properties() {
  using win::AxKind;
  using win::AxValue;
  using C = DFilesControl;
  const download::DFilesSettings d;
  static const win::AxProperty<C> table[] = {
      {L"BackColor", AxKind::Color, static_cast<LONG>(d.backColor), 0, 0, nullptr,
       [](const C& c, AxValue& v) { v.number = static_cast<LONG>(c.backColor_); },
       [](C& c, const AxValue& v) { c.loading_.backColor = static_cast<std::uint32_t>(v.number); }},
      {L"ForeColor", AxKind::Color, static_cast<LONG>(d.foreColor), 1, 0, nullptr,
       [](const C& c, AxValue& v) { v.number = static_cast<LONG>(c.foreColor_); },
       [](C& c, const AxValue& v) { c.loading_.foreColor = static_cast<std::uint32_t>(v.number); }},
      {L"Enabled", AxKind::Bool, d.enabled, 2, 1, nullptr, [](const C& c, AxValue& v) { v.number = c.enabled_; },
       [](C& c, const AxValue& v) { c.loading_.enabled = v.number != 0; }},
      {L"BorderStyle", AxKind::Int16, d.borderStyle, 3, 0, nullptr,
       [](const C& c, AxValue& v) { v.number = c.borderStyle_; },
       [](C& c, const AxValue& v) { c.loading_.borderStyle = static_cast<std::int16_t>(v.number); },
       [](LONG n) { return download::ValidBorderStyle(n); }},
      {L"FileURL", AxKind::Text, 0, 4, 0, nullptr, [](const C& c, AxValue& v) { v.text = win::W(c.core_.FileUrl()); },
       [](C& c, const AxValue& v) { c.loading_.fileUrl = win::U(v.text); }},
      {L"SaveFilePath", AxKind::Text, 0, 5, 0, nullptr,
       [](const C& c, AxValue& v) { v.text = win::W(c.core_.SaveFilePath()); },
       [](C& c, const AxValue& v) { c.loading_.saveFilePath = win::U(v.text); }},
      {L"FailOnRedirect", AxKind::Bool, d.failOnRedirect, 2, 2, nullptr,
       [](const C& c, AxValue& v) { v.number = c.core_.FailOnRedirect(); },
       [](C& c, const AxValue& v) { c.loading_.failOnRedirect = v.number != 0; }},
      {L"RenameOnRedirect", AxKind::Bool, d.renameOnRedirect, 2, 4, nullptr,
       [](const C& c, AxValue& v) { v.number = c.core_.StoredRenameOnRedirect(); },
       [](C& c, const AxValue& v) { c.loading_.renameOnRedirect = v.number != 0; }},
      {L"ShowProgress", AxKind::Bool, d.showProgress, 2, 8, nullptr,
       [](const C& c, AxValue& v) { v.number = c.core_.ShowProgress(); },
       [](C& c, const AxValue& v) { c.loading_.showProgress = v.number != 0; }},
      {L"Font", AxKind::Object, 0, 6, 0, &IID_IFontDisp,
       [](const C& c, AxValue& v) { v.object = win::ComPtr<IUnknown>(c.font_.Get()); },
       [](C& c, const AxValue& v) {
         c.loadingFont_.Reset();
         if (v.object) v.object.As(IID_IFontDisp, c.loadingFont_);
       }},
  };
  return table;
}

void DFilesControl::Loaded(win::AxLoad) {
  ApplySettings(loading_);
  // Without a stored font the control takes the container's.
  font_ = loadingFont_ ? std::move(loadingFont_) : win::AmbientFontCopy(site_.Get());
}

HRESULT DFilesControl::Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr) {
  HRESULT hr = S_OK;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    hr = PutProperty(id, params, argErr);
  } else {
    switch (id) {
      case DISPID_REFRESH:
        if (hwnd_) RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        break;
      case kBeginDownload: {
        win::Variant wait;
        hr = win::ReadOptionalArg(params, 0, VT_BOOL, &wait, argErr);
        if (SUCCEEDED(hr)) {
          bool w = V_VT(&wait) == VT_BOOL && V_BOOL(&wait) != VARIANT_FALSE;
          bool started = core_.BeginDownload(w);
          ReturnBool(started, result);
        }
        break;
      }
      case kCancelDownload:
        core_.CancelDownload();
        break;
      case kSetFileName: {
        win::Variant name;
        hr = win::ReadArg(params, 0, VT_BSTR, &name, argErr);
        if (SUCCEEDED(hr)) core_.SetFileName(TextOf(name));
        break;
      }
      default:
        hr = (flags & DISPATCH_PROPERTYGET) ? GetProperty(id, result) : DISP_E_MEMBERNOTFOUND;
        break;
    }
  }
  return hr;
}

HRESULT DFilesControl::GetProperty(DISPID id, VARIANT* result) {
  switch (id) {
    case DISPID_BACKCOLOR: return ReturnLong(static_cast<LONG>(backColor_), result);
    case kForeColor: return ReturnLong(static_cast<LONG>(foreColor_), result);
    case DISPID_ENABLED: return ReturnBool(enabled_, result);
    case DISPID_FONT:
      if (result) {
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = font_.Get();
        if (font_) font_->AddRef();
      }
      return S_OK;
    case DISPID_BORDERSTYLE:
      if (result) {
        V_VT(result) = VT_I2;
        V_I2(result) = borderStyle_;
      }
      return S_OK;
    case kBytesRead: return ReturnLong(core_.BytesRead(), result);
    case kCacheFile: return ReturnText(core_.CacheFile(), result);
    case kConnectionAddress: return ReturnText(core_.ConnectionAddress(), result);
    case kMIMEType: return ReturnText(core_.MIMEType(), result);
    case kRedirectFile: return ReturnText(core_.RedirectFile(), result);
    case kFileSize: return ReturnLong(core_.FileSize(), result);
    case kFileUrl: return ReturnText(core_.FileUrl(), result);
    case kSaveFileName: return ReturnText(core_.SaveFileName(), result);
    case kSaveFilePath: return ReturnText(core_.SaveFilePath(), result);
    case kFailOnRedirect: return ReturnBool(core_.FailOnRedirect(), result);
    case kRenameOnRedirect: return ReturnBool(core_.RenameOnRedirect(), result);
    case kShowProgress: return ReturnBool(core_.ShowProgress(), result);
    default: return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT DFilesControl::PutProperty(DISPID id, DISPPARAMS* params, UINT* argErr) {
  win::Variant v;
  auto read = [&](VARTYPE vt) { return win::ReadPutValue(params, vt, &v, argErr); };
  switch (id) {
    case DISPID_BACKCOLOR:
    case kForeColor: {
      TW_RINOK(ReadColorPut(params, id == DISPID_BACKCOLOR ? backColor_ : foreColor_, argErr));
      Repaint();
      break;
    }
    case DISPID_ENABLED:
      TW_RINOK(read(VT_BOOL));
      enabled_ = V_BOOL(&v) != VARIANT_FALSE;
      if (hwnd_) EnableWindow(hwnd_, enabled_);
      break;
    case DISPID_FONT: {
      TW_RINOK(read(VT_VARIANT));
      win::ComPtr<IFontDisp> font;
      HRESULT hr = win::ObjectFromVariant(v, IID_IFontDisp, reinterpret_cast<void**>(&font));
      if (FAILED(hr)) return hr;
      font_ = font;
      break;
    }
    case DISPID_BORDERSTYLE:
      TW_RINOK(read(VT_I2));
      if (!download::ValidBorderStyle(V_I2(&v))) return kInvalidPropertyValue;
      borderStyle_ = V_I2(&v);
      ApplyBorder();
      break;
    case kFileUrl:
      TW_RINOK(read(VT_BSTR));
      core_.SetFileUrl(TextOf(v));
      break;
    case kSaveFilePath:
      TW_RINOK(read(VT_BSTR));
      core_.SetSaveFilePath(TextOf(v));
      break;
    case kFailOnRedirect:
      TW_RINOK(read(VT_BOOL));
      core_.SetFailOnRedirect(V_BOOL(&v) != VARIANT_FALSE);
      break;
    case kRenameOnRedirect:
      TW_RINOK(read(VT_BOOL));
      core_.SetRenameOnRedirect(V_BOOL(&v) != VARIANT_FALSE);
      break;
    case kShowProgress:
      TW_RINOK(read(VT_BOOL));
      core_.SetShowProgress(V_BOOL(&v) != VARIANT_FALSE);
      Repaint();
      break;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  Changed(id);
  return S_OK;
}

// ---- events ----

void DFilesControl::FireText(DISPID id, const std::u16string& text) {
  win::ByRefArgs args;
  Fire(id, args.Text(win::W(text)));
}

void DFilesControl::DLProgress(float percent, std::int32_t bytesRead, std::int32_t totalBytes) {
  win::ByRefArgs args;
  Fire(kDLProgress, args.Float(percent).Long(bytesRead).Long(totalBytes));
}

void DFilesControl::DLCanceled() { Fire(kDLCanceled); }

void DFilesControl::DLError(download::DLErrorKind kind, const std::u16string& text) {
  win::ByRefArgs args;
  Fire(kDLError, args.Long(static_cast<LONG>(kind)).Text(win::W(text)));
}

void DFilesControl::DLComplete(std::int32_t bytes) {
  win::ByRefArgs args;
  Fire(kDLComplete, args.Long(bytes));
}

void DFilesControl::DLConnected(const std::u16string& address) { FireText(kDLConnected, address); }
void DFilesControl::DLRedirect(const std::u16string& address) { FireText(kDLRedirect, address); }
void DFilesControl::DLCacheFile(const std::u16string& fileName) { FireText(kDLCacheFile, fileName); }
void DFilesControl::DLMIMEType(const std::u16string& mimeType) { FireText(kDLMIMEType, mimeType); }

void DFilesControl::DLFileSize(std::int32_t bytes) {
  win::ByRefArgs args;
  Fire(kDLFileSize, args.Long(bytes));
}

void DFilesControl::DLBeginDownload() { Fire(kDLBeginDownload); }

void DFilesControl::GetHtml(const download::ContentText& content) {
  if (!HasSinks()) {
    if (textBuilder_) textBuilder_->Reset();
    return;
  }
  if (!textBuilder_) {  // a code page that converts only whole
    FireText(kGetHtml, content.Decode());
    return;
  }
  // The blocks handed over during the transfer are converted already; the rest is added here.
  std::vector<std::string> none;
  BSTR text = textBuilder_->Finish(content.blocks ? *content.blocks : none);
  win::ByRefArgs args;
  Fire(kGetHtml, args.Text(text));  // no memory: an empty text
}

void DFilesControl::Repaint() {
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

void DFilesControl::ShowCriticalMessage(const std::u16string& text, const std::u16string& title) {
  std::wstring t = win::W(text), c = win::W(title);
  HWND owner = hwnd_ ? GetAncestor(hwnd_, GA_ROOT) : nullptr;
  MessageBoxW(owner, t.c_str(), c.c_str(), MB_OK | MB_ICONERROR);
}

void DFilesControl::FireMouse(DISPID id, WPARAM wp, LPARAM lp) {
  SHORT button = 0, shift = 0;
  if (wp & MK_LBUTTON) button |= 1;
  if (wp & MK_RBUTTON) button |= 2;
  if (wp & MK_MBUTTON) button |= 4;
  if (wp & MK_SHIFT) shift |= 1;
  if (wp & MK_CONTROL) shift |= 2;
  if (GetKeyState(VK_MENU) < 0) shift |= 4;
  HDC dc = GetDC(hwnd_);
  int dpiX = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96, dpiY = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
  if (dc) ReleaseDC(hwnd_, dc);
  float x = static_cast<float>(static_cast<SHORT>(LOWORD(lp))) * 1440.0f / static_cast<float>(dpiX);
  float y = static_cast<float>(static_cast<SHORT>(HIWORD(lp))) * 1440.0f / static_cast<float>(dpiY);
  win::ByRefArgs args;
  Fire(id, args.Short(button).Short(shift).Float(x).Float(y));
}

void DFilesControl::ApplySettings(const download::DFilesSettings& s) {
  backColor_ = s.backColor;
  foreColor_ = s.foreColor;
  enabled_ = s.enabled;
  borderStyle_ = s.borderStyle;
  core_.SetFileUrl(s.fileUrl);
  core_.SetSaveFilePath(s.saveFilePath);
  core_.SetFailOnRedirect(s.failOnRedirect);
  core_.SetRenameOnRedirect(s.renameOnRedirect);
  core_.SetShowProgress(s.showProgress);
  if (hwnd_) {
    EnableWindow(hwnd_, enabled_);
    ApplyBorder();
    Repaint();
  }
}

// ---- the window ----

void DFilesControl::ApplyBorder() {
  if (!hwnd_) return;
  LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
  style = borderStyle_ == 1 ? (style | WS_BORDER) : (style & ~static_cast<LONG_PTR>(WS_BORDER));
  SetWindowLongPtrW(hwnd_, GWL_STYLE, style);
  SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  Repaint();
}

void DFilesControl::Paint(HDC dc, const RECT& bounds) {
  HBRUSH back = CreateSolidBrush(Translate(backColor_));
  FillRect(dc, &bounds, back);
  DeleteObject(back);
  if (auto bar = core_.ProgressBar(bounds.right - bounds.left, bounds.bottom - bounds.top)) {
    RECT r{bounds.left + bar->left, bounds.top + bar->top, bounds.left + bar->right, bounds.top + bar->bottom};
    HBRUSH fore = CreateSolidBrush(Translate(foreColor_));
    FillRect(dc, &r, fore);
    DeleteObject(fore);
  }
}

LRESULT DFilesControl::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  HWND hwnd = hwnd_;
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      SetCapture(hwnd);
      mouseDown_ = true;
      FireMouse(DISPID_MOUSEDOWN, wp, lp);
      return 0;
    case WM_MOUSEMOVE:
      FireMouse(DISPID_MOUSEMOVE, wp, lp);
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      WPARAM button = msg == WM_LBUTTONUP ? MK_LBUTTON : msg == WM_RBUTTONUP ? MK_RBUTTON : MK_MBUTTON;
      bool wasDown = mouseDown_;
      mouseDown_ = false;
      if (GetCapture() == hwnd) ReleaseCapture();
      FireMouse(DISPID_MOUSEUP, (wp & ~(MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) | button, lp);
      RECT client;
      GetClientRect(hwnd, &client);
      POINT pt{static_cast<SHORT>(LOWORD(lp)), static_cast<SHORT>(HIWORD(lp))};
      if (wasDown && msg == WM_LBUTTONUP && PtInRect(&client, pt)) Fire(DISPID_CLICK);
      return 0;
    }
    case WM_LBUTTONDBLCLK:
      // The second press of a double click raises Dblclick instead of a press, so its release
      // is no second Click.
      mouseDown_ = false;
      SetCapture(hwnd);
      Fire(DISPID_DBLCLICK);
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

HRESULT CreateDownloadControl(REFIID iid, void** out) {
  return win::ComObject<DFilesControl>::Create(iid, out);
}

}  // namespace tw::corvala
