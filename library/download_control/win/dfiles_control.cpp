#include "library/download_control/win/dfiles_control.h"

#include <climits>
#include <new>

#include "common/win/com_bag.h"
#include "common/win/com_dispatch.h"
#include "corvala_h.h"
#include "library/corvala_classes.h"

namespace tw::corvala {

namespace {

using namespace dfiles_id;

constexpr wchar_t kWindowClass[] = L"TwDFilesWindow";
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

BSTR ToBstr(const std::u16string& s) {
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()));
}

HRESULT ReturnText(const std::u16string& s, VARIANT* result) {
  if (!result) return S_OK;
  V_VT(result) = VT_BSTR;
  V_BSTR(result) = ToBstr(s);
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

// The property bag as the core's settings see it.
class BagAdapter : public download::SettingsBag {
 public:
  BagAdapter(IPropertyBag* bag, IErrorLog* log) : bag_(bag), log_(log) {}
  std::optional<std::uint32_t> ReadColor(const std::u16string& name) override {
    win::Variant v;
    if (!Read(name, VT_I4, v)) return std::nullopt;
    return static_cast<std::uint32_t>(V_I4(&v));
  }
  std::optional<bool> ReadBool(const std::u16string& name) override {
    win::Variant v;
    if (!Read(name, VT_BOOL, v)) return std::nullopt;
    return V_BOOL(&v) != VARIANT_FALSE;
  }
  std::optional<std::int16_t> ReadInt16(const std::u16string& name) override {
    win::Variant v;
    if (!Read(name, VT_I2, v)) return std::nullopt;
    return V_I2(&v);
  }
  std::optional<std::u16string> ReadText(const std::u16string& name) override {
    win::Variant v;
    if (!Read(name, VT_BSTR, v)) return std::nullopt;
    return TextOf(v);
  }
  void WriteColor(const std::u16string& name, std::uint32_t value) override {
    win::Variant v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = static_cast<LONG>(value);
    Write(name, v);
  }
  void WriteBool(const std::u16string& name, bool value) override {
    win::Variant v;
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
    Write(name, v);
  }
  void WriteInt16(const std::u16string& name, std::int16_t value) override {
    win::Variant v;
    V_VT(&v) = VT_I2;
    V_I2(&v) = value;
    Write(name, v);
  }
  void WriteText(const std::u16string& name, const std::u16string& value) override {
    win::Variant v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = ToBstr(value);
    Write(name, v);
  }
  HRESULT result = S_OK;

 private:
  bool Read(const std::u16string& name, VARTYPE vt, win::Variant& out) {
    win::Variant raw;
    V_VT(&raw) = vt;
    std::wstring n = win::W(name);
    if (FAILED(bag_->Read(n.c_str(), &raw, log_))) return false;
    if (V_VT(&raw) == vt) return SUCCEEDED(VariantCopy(&out, &raw));
    return SUCCEEDED(VariantChangeType(&out, &raw, 0, vt));
  }
  void Write(const std::u16string& name, VARIANT& v) {
    std::wstring n = win::W(name);
    HRESULT hr = bag_->Write(n.c_str(), &v);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  IPropertyBag* bag_;
  IErrorLog* log_;
};

// Stream form of the stored properties: a version, then the fields in a fixed order.
constexpr DWORD kStreamVersion = 1;

HRESULT WriteDword(IStream* s, DWORD v) { return s->Write(&v, sizeof v, nullptr); }
HRESULT ReadDword(IStream* s, DWORD& v) {
  ULONG got = 0;
  HRESULT hr = s->Read(&v, sizeof v, &got);
  if (FAILED(hr)) return hr;
  return got == sizeof v ? S_OK : E_FAIL;
}

bool RegisterWindowClass() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExW(Module(), kWindowClass, &wc)) return true;
  wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = Module();
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = kWindowClass;
  return RegisterClassExW(&wc) != 0;
}

COLORREF Translate(OLE_COLOR c) {
  COLORREF rgb = 0;
  if (FAILED(OleTranslateColor(c, nullptr, &rgb))) rgb = GetSysColor(COLOR_BTNFACE);
  return rgb;
}

}  // namespace

DFilesControl::DFilesControl()
    : transfer_(Self()),
      core_(transfer_, files_, codec_, *this),
      events_(Self(), this, DIID___DFiles),
      propertyNotify_(Self(), this, IID_IPropertyNotifySink) {
  transfer_.Attach(&core_);
}

DFilesControl::~DFilesControl() {
  core_.Teardown();
  DestroyControlWindow();
  events_.DisconnectAll();
  propertyNotify_.DisconnectAll();
}

const win::QiEntry* DFilesControl::QiTable() {
  static const win::QiEntry table[] = {
      TW_QI_ENTRY_AS(DFilesControl, IID_IUnknown, IDispatch),
      TW_QI_ENTRY(DFilesControl, IDispatch),
      TW_QI_ENTRY_AS(DFilesControl, DIID__DFiles, IDispatch),
      TW_QI_ENTRY(DFilesControl, IOleObject),
      TW_QI_ENTRY_AS(DFilesControl, IID_IOleWindow, IOleInPlaceObject),
      TW_QI_ENTRY(DFilesControl, IOleInPlaceObject),
      TW_QI_ENTRY(DFilesControl, IOleControl),
      TW_QI_ENTRY_AS(DFilesControl, IID_IPersist, IPersistPropertyBag),
      TW_QI_ENTRY(DFilesControl, IPersistPropertyBag),
      TW_QI_ENTRY(DFilesControl, IPersistStreamInit),
      TW_QI_ENTRY_AS(DFilesControl, IID_IProvideClassInfo, IProvideClassInfo2),
      TW_QI_ENTRY(DFilesControl, IProvideClassInfo2),
      TW_QI_ENTRY(DFilesControl, IConnectionPointContainer),
      {nullptr, 0}};
  return table;
}

// ---- IDispatch ----

STDMETHODIMP DFilesControl::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP DFilesControl::GetTypeInfo(UINT index, LCID, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return win::ModuleTypeInfo(Module(), DIID__DFiles, out);
}

STDMETHODIMP DFilesControl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return win::IdsFromTable(kNames, sizeof kNames / sizeof kNames[0], names, count, ids);
}

STDMETHODIMP DFilesControl::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT* argErr) {
  Self()->AddRef();  // a handler run from here may drop the host's last reference
  HRESULT hr = S_OK;
  if (result) VariantInit(result);
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
  Self()->Release();
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
      TW_RINOK(read(VT_I4));
      (id == DISPID_BACKCOLOR ? backColor_ : foreColor_) = static_cast<OLE_COLOR>(V_I4(&v));
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

void DFilesControl::Changed(DISPID id) {
  dirty_ = true;
  propertyNotify_.NotifyChanged(id);
}

// ---- events ----

void DFilesControl::FireNone(DISPID id) { events_.Fire(id); }

void DFilesControl::FireText(DISPID id, const std::u16string& text) {
  BSTR b = ToBstr(text);
  VARIANT arg;
  VariantInit(&arg);
  V_VT(&arg) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&arg) = &b;
  events_.Fire(id, &arg, 1);
  SysFreeString(b);  // a handler may have replaced it; the one left is ours to free
}

void DFilesControl::DLProgress(float percent, std::int32_t bytesRead, std::int32_t totalBytes) {
  float p = percent;
  LONG read = bytesRead, total = totalBytes;
  VARIANT args[3];
  for (auto& a : args) VariantInit(&a);
  V_VT(&args[0]) = VT_R4 | VT_BYREF;
  V_R4REF(&args[0]) = &p;
  V_VT(&args[1]) = VT_I4 | VT_BYREF;
  V_I4REF(&args[1]) = &read;
  V_VT(&args[2]) = VT_I4 | VT_BYREF;
  V_I4REF(&args[2]) = &total;
  events_.Fire(kDLProgress, args, 3);
}

void DFilesControl::DLCanceled() { FireNone(kDLCanceled); }

void DFilesControl::DLError(download::DLErrorKind kind, const std::u16string& text) {
  LONG e = static_cast<LONG>(kind);
  BSTR b = ToBstr(text);
  VARIANT args[2];
  for (auto& a : args) VariantInit(&a);
  V_VT(&args[0]) = VT_I4 | VT_BYREF;
  V_I4REF(&args[0]) = &e;
  V_VT(&args[1]) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&args[1]) = &b;
  events_.Fire(kDLError, args, 2);
  SysFreeString(b);
}

void DFilesControl::DLComplete(std::int32_t bytes) {
  LONG n = bytes;
  VARIANT arg;
  VariantInit(&arg);
  V_VT(&arg) = VT_I4 | VT_BYREF;
  V_I4REF(&arg) = &n;
  events_.Fire(kDLComplete, &arg, 1);
}

void DFilesControl::DLConnected(const std::u16string& address) { FireText(kDLConnected, address); }
void DFilesControl::DLRedirect(const std::u16string& address) { FireText(kDLRedirect, address); }
void DFilesControl::DLCacheFile(const std::u16string& fileName) { FireText(kDLCacheFile, fileName); }
void DFilesControl::DLMIMEType(const std::u16string& mimeType) { FireText(kDLMIMEType, mimeType); }

void DFilesControl::DLFileSize(std::int32_t bytes) {
  LONG n = bytes;
  VARIANT arg;
  VariantInit(&arg);
  V_VT(&arg) = VT_I4 | VT_BYREF;
  V_I4REF(&arg) = &n;
  events_.Fire(kDLFileSize, &arg, 1);
}

void DFilesControl::DLBeginDownload() { FireNone(kDLBeginDownload); }

void DFilesControl::GetHtml(const download::ContentText& content) {
  if (!events_.HasSinks()) return;
  // Converted once, straight into the string the event carries (the content may be large).
  const std::string_view bytes = content.bytes;
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
    FireText(kGetHtml, content.Decode());
    return;
  }
  const int size = static_cast<int>(bytes.size());
  int n = size ? MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0) : 0;
  BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(n));
  if (b && n) MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, b, n);  // no memory: an empty text
  VARIANT arg;
  VariantInit(&arg);
  V_VT(&arg) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&arg) = &b;
  events_.Fire(kGetHtml, &arg, 1);
  SysFreeString(b);
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
  VARIANT args[4];
  for (auto& a : args) VariantInit(&a);
  V_VT(&args[0]) = VT_I2 | VT_BYREF;
  V_I2REF(&args[0]) = &button;
  V_VT(&args[1]) = VT_I2 | VT_BYREF;
  V_I2REF(&args[1]) = &shift;
  V_VT(&args[2]) = VT_R4 | VT_BYREF;
  V_R4REF(&args[2]) = &x;
  V_VT(&args[3]) = VT_R4 | VT_BYREF;
  V_R4REF(&args[3]) = &y;
  events_.Fire(id, args, 4);
}

// ---- IOleObject ----

STDMETHODIMP DFilesControl::SetClientSite(IOleClientSite* site) {
  site_ = win::ComPtr<IOleClientSite>(site);
  if (!site) inPlaceSite_.Reset();
  return S_OK;
}

STDMETHODIMP DFilesControl::GetClientSite(IOleClientSite** out) {
  if (!out) return E_POINTER;
  *out = site_.Get();
  if (*out) (*out)->AddRef();
  return S_OK;
}

STDMETHODIMP DFilesControl::Close(DWORD) {
  core_.Teardown();
  InPlaceDeactivate();
  return S_OK;
}

STDMETHODIMP DFilesControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT pos) {
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
      break;
    case OLEIVERB_HIDE:
      if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
      return S_OK;
    default:
      return OLEOBJ_S_INVALIDVERB;
  }
  if (hwnd_) {
    ShowWindow(hwnd_, SW_SHOWNA);
    return S_OK;
  }
  IOleClientSite* from = site ? site : site_.Get();
  if (!from) return E_UNEXPECTED;
  win::ComPtr<IOleInPlaceSite> ips;
  if (FAILED(from->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&ips)))) return E_NOINTERFACE;
  if (ips->CanInPlaceActivate() != S_OK) return E_FAIL;
  ips->OnInPlaceActivate();
  HWND window = parent;
  if (!window) ips->GetWindow(&window);
  RECT rc{0, 0, 0, 0};
  if (pos) {
    rc = *pos;
  } else {
    win::ComPtr<IOleInPlaceFrame> frame;
    win::ComPtr<IOleInPlaceUIWindow> doc;
    RECT clip{};
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof info;
    ips->GetWindowContext(&frame, &doc, &rc, &clip, &info);
  }
  HRESULT hr = CreateControlWindow(window, rc);
  if (FAILED(hr)) {
    ips->OnInPlaceDeactivate();
    return hr;
  }
  inPlaceSite_ = ips;
  return S_OK;
}

STDMETHODIMP DFilesControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  extent_ = *size;
  return S_OK;
}

STDMETHODIMP DFilesControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  *size = extent_;
  return S_OK;
}

STDMETHODIMP DFilesControl::GetMiscStatus(DWORD, DWORD* status) {
  if (!status) return E_POINTER;
  *status = kDownloadControlMiscStatus;
  return S_OK;
}

// ---- IOleInPlaceObject ----

STDMETHODIMP DFilesControl::GetWindow(HWND* out) {
  if (!out) return E_POINTER;
  *out = hwnd_;
  return hwnd_ ? S_OK : E_FAIL;
}

STDMETHODIMP DFilesControl::InPlaceDeactivate() {
  DestroyControlWindow();
  if (auto site = std::move(inPlaceSite_)) site->OnInPlaceDeactivate();
  return S_OK;
}

STDMETHODIMP DFilesControl::SetObjectRects(LPCRECT pos, LPCRECT) {
  if (!pos) return E_POINTER;
  if (hwnd_) MoveWindow(hwnd_, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
  return S_OK;
}

// ---- persistence ----

STDMETHODIMP DFilesControl::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = CLSID_DFiles;
  return S_OK;
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

download::DFilesSettings DFilesControl::CurrentSettings() const {
  download::DFilesSettings s;
  s.backColor = backColor_;
  s.foreColor = foreColor_;
  s.enabled = enabled_;
  s.borderStyle = borderStyle_;
  s.fileUrl = core_.FileUrl();
  s.saveFilePath = core_.SaveFilePath();
  s.failOnRedirect = core_.FailOnRedirect();
  s.renameOnRedirect = core_.StoredRenameOnRedirect();
  s.showProgress = core_.ShowProgress();
  return s;
}

void DFilesControl::TakeAmbientFont() {
  font_.Reset();
  win::ComPtr<IDispatch> ambient;
  if (site_ && SUCCEEDED(site_.As(IID_IDispatch, ambient))) {
    win::Variant v;
    if (SUCCEEDED(win::InvokeById(ambient.Get(), DISPID_AMBIENT_FONT, DISPATCH_PROPERTYGET, nullptr, 0, &v))) {
      win::ComPtr<IFont> font;
      if (SUCCEEDED(win::ObjectFromVariant(v, IID_IFont, reinterpret_cast<void**>(&font))) && font) {
        // A copy of its own, so that changing it leaves the container's font alone.
        win::ComPtr<IFont> copy;
        if (SUCCEEDED(font->Clone(&copy)) && copy) copy.As(IID_IFontDisp, font_);
      }
    }
  }
  if (!font_) {
    FONTDESC desc{sizeof(FONTDESC), const_cast<LPOLESTR>(L"MS Sans Serif"), {{80000, 0}}, FW_NORMAL,
                  DEFAULT_CHARSET, FALSE, FALSE, FALSE};
    OleCreateFontIndirect(&desc, IID_IFontDisp, reinterpret_cast<void**>(&font_));
  }
}

STDMETHODIMP DFilesControl::InitNew() {
  ApplySettings(download::DFilesSettings{});
  TakeAmbientFont();
  dirty_ = false;
  return S_OK;
}

STDMETHODIMP DFilesControl::Load(IPropertyBag* bag, IErrorLog* log) {
  if (!bag) return E_POINTER;
  BagAdapter adapter(bag, log);
  ApplySettings(download::ReadSettings(adapter));
  win::ComPtr<IFontDisp> font;
  win::BagReadObject(bag, log, L"Font", IID_IFontDisp, reinterpret_cast<void**>(&font));
  if (font)
    font_ = font;
  else
    TakeAmbientFont();
  dirty_ = false;
  return S_OK;
}

STDMETHODIMP DFilesControl::Save(IPropertyBag* bag, BOOL clearDirty, BOOL) {
  if (!bag) return E_POINTER;
  BagAdapter adapter(bag, nullptr);
  download::WriteSettings(CurrentSettings(), adapter);
  if (FAILED(adapter.result)) return adapter.result;
  if (font_) TW_RINOK(win::BagWriteObject(bag, L"Font", font_.Get()));
  if (clearDirty) dirty_ = false;
  return S_OK;
}

STDMETHODIMP DFilesControl::Save(LPSTREAM stream, BOOL clearDirty) {
  if (!stream) return E_POINTER;
  download::DFilesSettings s = CurrentSettings();
  TW_RINOK(WriteDword(stream, kStreamVersion));
  TW_RINOK(WriteDword(stream, s.backColor));
  TW_RINOK(WriteDword(stream, s.foreColor));
  DWORD flags = (s.enabled ? 1u : 0u) | (s.failOnRedirect ? 2u : 0u) | (s.renameOnRedirect ? 4u : 0u) |
                (s.showProgress ? 8u : 0u);
  TW_RINOK(WriteDword(stream, flags));
  TW_RINOK(WriteDword(stream, static_cast<DWORD>(s.borderStyle)));
  TW_RINOK(win::StreamWriteString(stream, win::W(s.fileUrl)));
  TW_RINOK(win::StreamWriteString(stream, win::W(s.saveFilePath)));
  TW_RINOK(win::StreamWriteObject(stream, font_.Get()));
  if (clearDirty) dirty_ = false;
  return S_OK;
}

STDMETHODIMP DFilesControl::Load(LPSTREAM stream) {
  if (!stream) return E_POINTER;
  DWORD version = 0, back = 0, fore = 0, flags = 0, border = 0;
  TW_RINOK(ReadDword(stream, version));
  if (version != kStreamVersion) return E_FAIL;
  TW_RINOK(ReadDword(stream, back));
  TW_RINOK(ReadDword(stream, fore));
  TW_RINOK(ReadDword(stream, flags));
  TW_RINOK(ReadDword(stream, border));
  std::wstring url, folder;
  TW_RINOK(win::StreamReadString(stream, url));
  TW_RINOK(win::StreamReadString(stream, folder));
  win::ComPtr<IFontDisp> font;
  TW_RINOK(win::StreamReadObject(stream, IID_IFontDisp, reinterpret_cast<void**>(&font)));
  download::DFilesSettings s;
  s.backColor = back;
  s.foreColor = fore;
  s.enabled = (flags & 1u) != 0;
  s.failOnRedirect = (flags & 2u) != 0;
  s.renameOnRedirect = (flags & 4u) != 0;
  s.showProgress = (flags & 8u) != 0;
  s.borderStyle = download::ValidBorderStyle(static_cast<std::int32_t>(border)) ? static_cast<std::int16_t>(border)
                                                                                  : std::int16_t{1};
  s.fileUrl = win::U(url);
  s.saveFilePath = win::U(folder);
  ApplySettings(s);
  if (font)
    font_ = font;
  else
    TakeAmbientFont();
  dirty_ = false;
  return S_OK;
}

// ---- IProvideClassInfo2, IConnectionPointContainer ----

STDMETHODIMP DFilesControl::GetClassInfo(ITypeInfo** out) {
  if (!out) return E_POINTER;
  return win::ModuleTypeInfo(Module(), CLSID_DFiles, out);
}

STDMETHODIMP DFilesControl::GetGUID(DWORD kind, GUID* out) {
  if (!out) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  *out = DIID___DFiles;
  return S_OK;
}

STDMETHODIMP DFilesControl::EnumConnectionPoints(IEnumConnectionPoints** out) {
  win::ConnectionPoint* points[] = {&events_, &propertyNotify_};
  return win::EnumPoints(points, 2, out);
}

STDMETHODIMP DFilesControl::FindConnectionPoint(REFIID iid, IConnectionPoint** out) {
  win::ConnectionPoint* points[] = {&events_, &propertyNotify_};
  return win::FindPoint(points, 2, iid, out);
}

// ---- the window ----

HRESULT DFilesControl::CreateControlWindow(HWND parent, const RECT& pos) {
  if (!RegisterWindowClass()) return HRESULT_FROM_WIN32(GetLastError());
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | (borderStyle_ == 1 ? WS_BORDER : 0);
  hwnd_ = CreateWindowExW(0, kWindowClass, L"", style, pos.left, pos.top, pos.right - pos.left,
                          pos.bottom - pos.top, parent, nullptr, Module(), nullptr);
  if (!hwnd_) return HRESULT_FROM_WIN32(GetLastError());
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DFilesControl::WindowProc));
  EnableWindow(hwnd_, enabled_);
  return S_OK;
}

void DFilesControl::DestroyControlWindow() {
  if (HWND h = hwnd_) {
    hwnd_ = nullptr;
    SetWindowLongPtrW(h, GWLP_USERDATA, 0);
    DestroyWindow(h);
  }
}

void DFilesControl::ApplyBorder() {
  if (!hwnd_) return;
  LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
  style = borderStyle_ == 1 ? (style | WS_BORDER) : (style & ~static_cast<LONG_PTR>(WS_BORDER));
  SetWindowLongPtrW(hwnd_, GWL_STYLE, style);
  SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  Repaint();
}

void DFilesControl::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  RECT client;
  GetClientRect(hwnd_, &client);
  HBRUSH back = CreateSolidBrush(Translate(backColor_));
  FillRect(dc, &client, back);
  DeleteObject(back);
  if (auto bar = core_.ProgressBar(client.right - client.left, client.bottom - client.top)) {
    RECT r{bar->left, bar->top, bar->right, bar->bottom};
    HBRUSH fore = CreateSolidBrush(Translate(foreColor_));
    FillRect(dc, &r, fore);
    DeleteObject(fore);
  }
  EndPaint(hwnd_, &ps);
}

LRESULT CALLBACK DFilesControl::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<DFilesControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self || self->hwnd_ != hwnd) return DefWindowProcW(hwnd, msg, wp, lp);
  self->Self()->AddRef();
  LRESULT r = self->HandleMessage(msg, wp, lp);
  self->Self()->Release();
  return r;
}

LRESULT DFilesControl::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  HWND hwnd = hwnd_;
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      Paint();
      return 0;
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
      if (wasDown && msg == WM_LBUTTONUP && PtInRect(&client, pt)) FireNone(DISPID_CLICK);
      return 0;
    }
    case WM_LBUTTONDBLCLK:
      mouseDown_ = true;
      SetCapture(hwnd);
      FireNone(DISPID_DBLCLICK);
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

HRESULT CreateDownloadControl(REFIID iid, void** out) {
  return win::ComObject<DFilesControl>::Create(iid, out);
}

}  // namespace tw::corvala
