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
#include <string>

#include "common/win/com_bag.h"
#include "common/win/com_dispatch.h"
#include "common/win/com_events.h"
#include "common/win/com_object.h"
#include "common/win/com_ptr.h"
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

// Bag keys, in the order they are read and written.
const wchar_t* const kPictureKeys[] = {L"Picture", L"PicturePoint", L"PictureDown"};

constexpr UINT_PTR kLeaveTimer = 1;
constexpr UINT kLeaveInterval = 1;
constexpr DWORD kStreamVersion = 1;

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

class CmdControl : public IDispatch,
                   public IOleObject,
                   public IOleInPlaceObject,
                   public IOleInPlaceActiveObject,
                   public IOleControl,
                   public IViewObject2,
                   public IPersistPropertyBag,
                   public IPersistStreamInit,
                   public IProvideClassInfo2,
                   public IConnectionPointContainer,
                   private image_button::View,
                   private image_button::Events {
 public:
  CmdControl()
      : events_(Self(), this, DIID___Cmd_),
        propertyNotify_(Self(), this, IID_IPropertyNotifySink),
        dpi_(ScreenDpi()) {
    button_.Created();
  }
  virtual ~CmdControl() {
    DestroyControlWindow();
    events_.DisconnectAll();
    propertyNotify_.DisconnectAll();
  }

  static const win::QiEntry* QiTable() {
    static const win::QiEntry table[] = {
        TW_QI_ENTRY(CmdControl, IDispatch),
        TW_QI_ENTRY_AS(CmdControl, DIID__Cmd_, IDispatch),
        TW_QI_ENTRY(CmdControl, IOleObject),
        TW_QI_ENTRY_AS(CmdControl, IID_IOleWindow, IOleInPlaceObject),
        TW_QI_ENTRY(CmdControl, IOleInPlaceObject),
        TW_QI_ENTRY(CmdControl, IOleInPlaceActiveObject),
        TW_QI_ENTRY(CmdControl, IOleControl),
        TW_QI_ENTRY_AS(CmdControl, IID_IViewObject, IViewObject2),
        TW_QI_ENTRY(CmdControl, IViewObject2),
        TW_QI_ENTRY_AS(CmdControl, IID_IPersist, IPersistPropertyBag),
        TW_QI_ENTRY(CmdControl, IPersistPropertyBag),
        TW_QI_ENTRY(CmdControl, IPersistStreamInit),
        TW_QI_ENTRY_AS(CmdControl, IID_IProvideClassInfo, IProvideClassInfo2),
        TW_QI_ENTRY(CmdControl, IProvideClassInfo2),
        TW_QI_ENTRY(CmdControl, IConnectionPointContainer),
        {nullptr, 0}};
    return table;
  }

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return win::ModuleTypeInfo(Module(), DIID__Cmd_, out);
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return win::IdsFromTable(kNames, sizeof kNames / sizeof kNames[0], names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT* argErr) override;

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override {
    clientSite_ = ComPtr<IOleClientSite>(site);
    return S_OK;
  }
  STDMETHODIMP GetClientSite(IOleClientSite** out) override {
    if (!out) return E_POINTER;
    *out = clientSite_.Get();
    if (*out) (*out)->AddRef();
    return S_OK;
  }
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP Close(DWORD saveOption) override {
    InPlaceDeactivate();
    if (saveOption == OLECLOSE_SAVEIFDIRTY && dirty_ && clientSite_) clientSite_->SaveObject();
    if (adviseHolder_) adviseHolder_->SendOnClose();
    return S_OK;
  }
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT) override {
    if (site && !clientSite_) clientSite_ = ComPtr<IOleClientSite>(site);
    switch (verb) {
      case OLEIVERB_PRIMARY:
      case OLEIVERB_SHOW:
      case OLEIVERB_INPLACEACTIVATE:
      case OLEIVERB_UIACTIVATE:
        return InPlaceActivate();
      case OLEIVERB_HIDE:
        if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
        return S_OK;
      default:
        return verb < 0 ? E_NOTIMPL : OLEOBJ_S_INVALIDVERB;
    }
  }
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** out) override {
    if (out) *out = nullptr;
    return OLEOBJ_E_NOVERBS;
  }
  STDMETHODIMP Update() override { return S_OK; }
  STDMETHODIMP IsUpToDate() override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID* clsid) override {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_Cmd_;
    return S_OK;
  }
  STDMETHODIMP GetUserType(DWORD, LPOLESTR* out) override {
    if (out) *out = nullptr;
    return OLE_S_USEREG;
  }
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL*) override {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    // The button keeps its picture's size whatever the container asks for.
    button_.Resized();
    return S_OK;
  }
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    TwipSize s = button_.ControlSize();
    size->cx = static_cast<LONG>((s.width * 2540 + 720) / 1440);
    size->cy = static_cast<LONG>((s.height * 2540 + 720) / 1440);
    return S_OK;
  }
  STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override {
    if (!adviseHolder_) TW_RINOK(CreateOleAdviseHolder(&adviseHolder_));
    return adviseHolder_->Advise(sink, cookie);
  }
  STDMETHODIMP Unadvise(DWORD cookie) override {
    return adviseHolder_ ? adviseHolder_->Unadvise(cookie) : OLE_E_NOCONNECTION;
  }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return adviseHolder_ ? adviseHolder_->EnumAdvise(out) : S_OK;
  }
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override {
    if (!status) return E_POINTER;
    *status = aspect == DVASPECT_CONTENT ? kImageButtonMiscStatus : 0;
    return S_OK;
  }
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleWindow, IOleInPlaceObject
  STDMETHODIMP GetWindow(HWND* out) override {
    if (!out) return E_POINTER;
    *out = hwnd_;
    return hwnd_ ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InPlaceDeactivate() override {
    if (!inPlaceSite_) return S_OK;
    DestroyControlWindow();
    ComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_);
    site->OnInPlaceDeactivate();
    return S_OK;
  }
  STDMETHODIMP UIDeactivate() override { return S_OK; }
  STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT) override {
    if (!pos) return E_POINTER;
    position_ = *pos;
    // The position is the container's; the size snaps back to the picture's.
    button_.Resized();
    if (hwnd_) {
      SetWindowPos(hwnd_, nullptr, position_.left, position_.top, position_.right - position_.left,
                   position_.bottom - position_.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return S_OK;
  }
  STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

  // IOleInPlaceActiveObject
  STDMETHODIMP TranslateAccelerator(LPMSG) override { return S_FALSE; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override {
    if (!info) return E_POINTER;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
  }
  STDMETHODIMP OnMnemonic(LPMSG) override { return S_OK; }
  STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
  STDMETHODIMP FreezeEvents(BOOL freeze) override {
    if (freeze) {
      ++frozen_;
    } else if (frozen_ > 0) {
      --frozen_;
    }
    return S_OK;
  }

  // IViewObject, IViewObject2
  STDMETHODIMP Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                    BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!dc || !bounds) return E_INVALIDARG;
    RECT r{bounds->left, bounds->top, bounds->right, bounds->bottom};
    Paint(dc, r);
    return S_OK;
  }
  STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP Unfreeze(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override {
    viewSink_ = ComPtr<IAdviseSink>(sink);
    viewAspects_ = aspects;
    viewFlags_ = flags;
    return S_OK;
  }
  STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override {
    if (aspects) *aspects = viewAspects_;
    if (flags) *flags = viewFlags_;
    if (sink) {
      *sink = viewSink_.Get();
      if (*sink) (*sink)->AddRef();
    }
    return S_OK;
  }
  STDMETHODIMP GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) override {
    return static_cast<IOleObject*>(this)->GetExtent(aspect, size);
  }

  // IPersist, IPersistPropertyBag, IPersistStreamInit
  STDMETHODIMP GetClassID(CLSID* clsid) override {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_Cmd_;
    return S_OK;
  }
  STDMETHODIMP InitNew() override {
    // A new button has no pictures and an empty tooltip.
    dirty_ = false;
    return S_OK;
  }
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;
  STDMETHODIMP IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
  STDMETHODIMP Load(LPSTREAM stream) override;
  STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override {
    if (size) size->QuadPart = 0;
    return E_NOTIMPL;
  }

  // IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** out) override { return win::ModuleTypeInfo(Module(), CLSID_Cmd_, out); }
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
      *guid = GUID_NULL;
      return E_INVALIDARG;
    }
    *guid = DIID___Cmd_;
    return S_OK;
  }

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override {
    win::ConnectionPoint* points[] = {&events_, &propertyNotify_};
    return win::EnumPoints(points, 2, out);
  }
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
    win::ConnectionPoint* points[] = {&events_, &propertyNotify_};
    return win::FindPoint(points, 2, iid, out);
  }

 private:
  IUnknown* Self() { return static_cast<IDispatch*>(this); }
  ULONG Ref() { return Self()->AddRef(); }
  ULONG Unref() { return Self()->Release(); }

  // View
  void ShowPicture(Slot) override {
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
    if (viewSink_) viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
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

  void Fire(DISPID id, const VARIANT* args, UINT count) {
    if (frozen_ > 0) return;
    events_.Fire(id, args, count);
  }
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

  // Property changes are reported to the container and make the control dirty.
  void Changed(DISPID id) {
    dirty_ = true;
    propertyNotify_.NotifyChanged(id);
  }

  void SetPictureObject(int slot, IPictureDisp* picture) {
    pictures_[slot] = ComPtr<IPictureDisp>(picture);
    button_.SetPicture(static_cast<Slot>(slot), PictureSize(picture));
  }

  HRESULT InPlaceActivate();
  void DestroyControlWindow();
  bool CreateControlWindow(HWND parent, const RECT& pos);
  void Paint(HDC dc, const RECT& bounds);
  double ToTwips(int pixels) const { return static_cast<double>(pixels) * kTwipsPerInch / dpi_; }
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  image_button::ImageButton button_{*this, *this};
  ComPtr<IPictureDisp> pictures_[3];
  win::ConnectionPoint events_;
  win::ConnectionPoint propertyNotify_;
  ComPtr<IOleClientSite> clientSite_;
  ComPtr<IOleInPlaceSite> inPlaceSite_;
  ComPtr<IOleAdviseHolder> adviseHolder_;
  ComPtr<IAdviseSink> viewSink_;
  DWORD viewAspects_ = 0;
  DWORD viewFlags_ = 0;
  HWND hwnd_ = nullptr;
  HWND toolTip_ = nullptr;
  std::u16string appliedToolTip_;
  RECT position_{};
  int dpi_;
  int frozen_ = 0;
  bool dirty_ = false;
  bool sizing_ = false;
  bool releasingCapture_ = false;
};

STDMETHODIMP CmdControl::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                EXCEPINFO*, UINT* argErr) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (!params) params = &none;
  if (result) VariantInit(result);
  const bool isMethod = (flags & DISPATCH_METHOD) != 0;
  const bool isGet = (flags & DISPATCH_PROPERTYGET) != 0;
  const bool isPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  // A handler of an event raised from here may release the last outside reference.
  Ref();
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
  Unref();
  return hr;
}

STDMETHODIMP CmdControl::Load(IPropertyBag* bag, IErrorLog* log) {
  if (!bag) return E_POINTER;
  for (int slot = 0; slot < 3; ++slot) {
    ComPtr<IPictureDisp> picture;
    win::BagReadObject(bag, log, kPictureKeys[slot], IID_IPictureDisp, reinterpret_cast<void**>(&picture));
    SetPictureObject(slot, picture.Get());
  }
  std::wstring toolTip;
  win::BagReadString(bag, log, L"ToolTipText", L"", toolTip);
  button_.SetToolTipText(ToU16(toolTip.data(), toolTip.size()));
  button_.InitCtlSet();
  dirty_ = false;
  return S_OK;
}

STDMETHODIMP CmdControl::Save(IPropertyBag* bag, BOOL clearDirty, BOOL) {
  if (!bag) return E_POINTER;
  for (int slot = 0; slot < 3; ++slot) TW_RINOK(win::BagWriteObject(bag, kPictureKeys[slot], pictures_[slot].Get()));
  TW_RINOK(win::BagWriteString(bag, L"ToolTipText", ToWide(button_.ToolTipText()), L""));
  if (clearDirty) dirty_ = false;
  return S_OK;
}

STDMETHODIMP CmdControl::Load(LPSTREAM stream) {
  if (!stream) return E_POINTER;
  DWORD version = 0;
  ULONG got = 0;
  TW_RINOK(stream->Read(&version, sizeof version, &got));
  if (got != sizeof version || version != kStreamVersion) return STG_E_OLDFORMAT;
  ComPtr<IPictureDisp> pictures[3];
  for (auto& picture : pictures) {
    TW_RINOK(win::StreamReadObject(stream, IID_IPictureDisp, reinterpret_cast<void**>(&picture)));
  }
  std::wstring toolTip;
  TW_RINOK(win::StreamReadString(stream, toolTip));
  for (int slot = 0; slot < 3; ++slot) SetPictureObject(slot, pictures[slot].Get());
  button_.SetToolTipText(ToU16(toolTip.data(), toolTip.size()));
  button_.InitCtlSet();
  dirty_ = false;
  return S_OK;
}

STDMETHODIMP CmdControl::Save(LPSTREAM stream, BOOL clearDirty) {
  if (!stream) return E_POINTER;
  DWORD version = kStreamVersion;
  TW_RINOK(stream->Write(&version, sizeof version, nullptr));
  for (auto& picture : pictures_) TW_RINOK(win::StreamWriteObject(stream, picture.Get()));
  TW_RINOK(win::StreamWriteString(stream, ToWide(button_.ToolTipText())));
  if (clearDirty) dirty_ = false;
  return S_OK;
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

HRESULT CmdControl::InPlaceActivate() {
  if (!clientSite_) return E_UNEXPECTED;
  if (!inPlaceSite_) {
    ComPtr<IOleInPlaceSite> site;
    TW_RINOK(clientSite_.As(IID_IOleInPlaceSite, site));
    if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
    TW_RINOK(site->OnInPlaceActivate());
    inPlaceSite_ = std::move(site);
  }
  if (hwnd_) {
    ShowWindow(hwnd_, SW_SHOWNA);
    return S_OK;
  }
  HWND parent = nullptr;
  HRESULT hr = inPlaceSite_->GetWindow(&parent);
  ComPtr<IOleInPlaceFrame> frame;
  ComPtr<IOleInPlaceUIWindow> document;
  RECT pos{}, clip{};
  OLEINPLACEFRAMEINFO frameInfo{};
  frameInfo.cb = sizeof frameInfo;
  if (SUCCEEDED(hr)) hr = inPlaceSite_->GetWindowContext(&frame, &document, &pos, &clip, &frameInfo);
  if (SUCCEEDED(hr) && !CreateControlWindow(parent, pos)) {
    DWORD error = GetLastError();
    hr = error ? HRESULT_FROM_WIN32(error) : E_FAIL;
  }
  if (FAILED(hr)) {
    ComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_);
    site->OnInPlaceDeactivate();
    return hr;
  }
  // The container's rectangle is the position; the size is the picture's.
  button_.Resized();
  ShowWindow(hwnd_, SW_SHOWNA);
  return S_OK;
}

bool CmdControl::CreateControlWindow(HWND parent, const RECT& pos) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (!GetClassInfoExW(Module(), kImageButtonWindowClass, &wc)) {
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = Module();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kImageButtonWindowClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  }
  position_ = pos;
  HWND hwnd = CreateWindowExW(0, kImageButtonWindowClass, nullptr, WS_CHILD | WS_CLIPSIBLINGS, pos.left, pos.top,
                              pos.right - pos.left, pos.bottom - pos.top, parent, nullptr, Module(), this);
  if (!hwnd) return false;
  // The leave check survives a deactivation: restart it if it was running.
  if (button_.LeaveTimerEnabled()) SetTimer(hwnd, kLeaveTimer, kLeaveInterval, nullptr);
  return true;
}

void CmdControl::DestroyControlWindow() {
  if (toolTip_) {
    DestroyWindow(toolTip_);
    toolTip_ = nullptr;
    appliedToolTip_.clear();
  }
  if (hwnd_) {
    HWND hwnd = hwnd_;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
    DestroyWindow(hwnd);
  }
}

void CmdControl::Paint(HDC dc, const RECT& bounds) {
  FillRect(dc, &bounds, GetSysColorBrush(COLOR_BTNFACE));
  IPictureDisp* shown = pictures_[static_cast<int>(button_.Shown())].Get();
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

LRESULT CALLBACK CmdControl::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<CmdControl*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<CmdControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  // Event handlers may release the control; keep it alive until the message is handled.
  self->Ref();
  LRESULT result = self->HandleMessage(msg, wp, lp);
  self->Unref();
  return result;
}

LRESULT CmdControl::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  HWND hwnd = hwnd_;
  const double x = ToTwips(GET_X_LPARAM(lp));
  const double y = ToTwips(GET_Y_LPARAM(lp));
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT client;
      GetClientRect(hwnd, &client);
      Paint(dc, client);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
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
      button_.DoubleClick();
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
