#include "common/win/ax_host.h"

#include <mshtmhst.h>
#include <olectl.h>

#include <string>

namespace tw::win {
namespace {

const wchar_t kHostClass[] = L"TwAxHost";
// The command group of the engine's questions to its host (mshtmhst.h).
constexpr GUID kDocHostCommandHandler = {0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0x00, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};

// The container's own browser settings, under HKEY_CURRENT_USER, which the engine reads over the
// user's ("Software\Microsoft\Internet Explorer"): only what is written here differs.
constexpr wchar_t kOverrideKey[] = L"Software\\Tarnwick\\Browser";

// Script debugging off in the container's settings, "Main" as in the user's: the engine then
// asks its container about a script error instead of offering its debugger.
bool WriteOverrideSettings() {
  HKEY key = nullptr;
  std::wstring path = std::wstring(kOverrideKey) + L"\\Main";
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  bool ok = true;
  for (const wchar_t* name : {L"Disable Script Debugger", L"DisableScriptDebuggerIE"})
    ok = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"yes"), sizeof L"yes") == ERROR_SUCCESS &&
         ok;
  RegCloseKey(key);
  return ok;
}

}  // namespace

STDMETHODIMP EventSink::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == iid_) {
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) EventSink::Release() {
  LONG r = InterlockedDecrement(&refs_);
  if (r == 0) delete this;
  return r;
}

STDMETHODIMP EventSink::GetTypeInfoCount(UINT* n) {
  if (n) *n = 0;
  return S_OK;
}

STDMETHODIMP EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                               UINT*) {
  if (handler_) {
    DISPPARAMS empty{};
    handler_(id, params ? params : &empty, result);
  }
  return S_OK;
}

// The container side of one hosted control. A browser engine also finds our user-interface handler
// here: a flat, DPI-aware page, keys filtered by the hooks; and, where the hooks ask for it, the
// command target that answers its script-error question. Everything else is left to the engine.
class AxSite final : public IOleClientSite,
                     public IOleInPlaceSite,
                     public IOleControlSite,
                     public IDispatch,
                     public IDocHostUIHandler2,
                     public IOleCommandTarget {
 public:
  AxSite(HWND host, const BrowserHostHooks& hooks) : host_(host), hooks_(hooks), frame_(this) {}

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) *ppv = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) *ppv = static_cast<IOleInPlaceSite*>(this);
    else if (riid == IID_IOleControlSite) *ppv = static_cast<IOleControlSite*>(this);
    else if (riid == IID_IDispatch) *ppv = static_cast<IDispatch*>(this);
    else if (riid == __uuidof(IDocHostUIHandler)) *ppv = static_cast<IDocHostUIHandler*>(this);
    else if (riid == __uuidof(IDocHostUIHandler2) && hooks_.quietScriptErrors) *ppv = static_cast<IDocHostUIHandler2*>(this);
    else if (riid == IID_IOleCommandTarget && hooks_.quietScriptErrors) *ppv = static_cast<IOleCommandTarget*>(this);
    else if (riid == IID_IOleInPlaceFrame || riid == IID_IOleInPlaceUIWindow) *ppv = static_cast<IOleInPlaceFrame*>(&frame_);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG r = InterlockedDecrement(&refs_);
    if (r == 0) delete this;
    return r;
  }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetContainer(IOleContainer** c) override {
    if (c) *c = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow / IOleInPlaceSite
  STDMETHODIMP GetWindow(HWND* w) override {
    if (!w) return E_POINTER;
    *w = host_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO info) override {
    if (frame) {
      *frame = &frame_;
      AddRef();
    }
    if (doc) *doc = nullptr;
    if (pos) GetClientRect(host_, pos);
    if (clip) GetClientRect(host_, clip);
    if (info) {
      info->cb = sizeof(OLEINPLACEFRAMEINFO);
      info->fMDIApp = FALSE;
      info->hwndFrame = GetAncestor(host_, GA_ROOT);
      info->haccel = nullptr;
      info->cAccelEntries = 0;
    }
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleControlSite
  STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
  STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
  STDMETHODIMP GetExtendedControl(IDispatch** d) override {
    if (d) *d = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
  STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
  STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }

  // IDispatch: the ambient properties.
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
    VariantInit(result);
    switch (id) {
      case DISPID_AMBIENT_USERMODE:
        result->vt = VT_BOOL;
        result->boolVal = VARIANT_TRUE;
        return S_OK;
      case DISPID_AMBIENT_MESSAGEREFLECT:
      case DISPID_AMBIENT_SHOWGRABHANDLES:
      case DISPID_AMBIENT_SHOWHATCHING:
      case DISPID_AMBIENT_UIDEAD:
        result->vt = VT_BOOL;
        result->boolVal = VARIANT_FALSE;
        return S_OK;
      case DISPID_AMBIENT_BACKCOLOR:
        result->vt = VT_I4;
        result->lVal = static_cast<LONG>(GetSysColor(COLOR_WINDOW));
        return S_OK;
      case DISPID_AMBIENT_FORECOLOR:
        result->vt = VT_I4;
        result->lVal = static_cast<LONG>(GetSysColor(COLOR_WINDOWTEXT));
        return S_OK;
      case DISPID_AMBIENT_LOCALEID:
        result->vt = VT_I4;
        result->lVal = static_cast<LONG>(GetUserDefaultLCID());
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

  // IDocHostUIHandler: S_FALSE or E_NOTIMPL leaves the engine's own behaviour.
  STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_FALSE; }
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
    if (!info) return E_POINTER;
    info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_DPI_AWARE;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
  }
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) override {
    return S_FALSE;
  }
  STDMETHODIMP HideUI() override { return S_OK; }
  STDMETHODIMP UpdateUI() override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID*, DWORD) override {
    return msg && hooks_.filterKey && hooks_.filterKey(*msg) ? S_OK : S_FALSE;
  }
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override {
    if (key) *key = nullptr;
    return S_FALSE;
  }
  // IDocHostUIHandler2: the container's settings over the user's, asked once when the engine starts.
  STDMETHODIMP GetOverrideKeyPath(LPOLESTR* key, DWORD) override {
    if (!key) return E_POINTER;
    *key = nullptr;
    if (!hooks_.quietScriptErrors || !WriteOverrideSettings()) return S_FALSE;
    *key = static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof kOverrideKey));
    if (!*key) return E_OUTOFMEMORY;
    CopyMemory(*key, kOverrideKey, sizeof kOverrideKey);
    return S_OK;
  }
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override {
    if (target) *target = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetExternal(IDispatch** external) override {
    if (external) *external = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }

  // IOleCommandTarget: only the script-error question is answered; every other command keeps the
  // engine's own behaviour.
  STDMETHODIMP QueryStatus(const GUID* group, ULONG, OLECMD*, OLECMDTEXT*) override {
    return group && *group == kDocHostCommandHandler ? OLECMDERR_E_NOTSUPPORTED : OLECMDERR_E_UNKNOWNGROUP;
  }
  STDMETHODIMP Exec(const GUID* group, DWORD id, DWORD, VARIANT*, VARIANT* out) override {
    if (!group || *group != kDocHostCommandHandler) return OLECMDERR_E_UNKNOWNGROUP;
    if (id != OLECMDID_SHOWSCRIPTERROR || !hooks_.quietScriptErrors) return OLECMDERR_E_NOTSUPPORTED;
    if (out) {
      VariantClear(out);
      out->vt = VT_BOOL;
      out->boolVal = VARIANT_TRUE;  // go on running the page's scripts
    }
    return S_OK;
  }

  HWND host() const { return host_; }

 private:
  // The frame and document window the control may ask for: the top-level window, no menus or tools.
  class Frame final : public IOleInPlaceFrame {
   public:
    explicit Frame(AxSite* site) : site_(site) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
      if (!ppv) return E_POINTER;
      if (riid == IID_IUnknown || riid == IID_IOleWindow || riid == IID_IOleInPlaceUIWindow ||
          riid == IID_IOleInPlaceFrame) {
        *ppv = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        return S_OK;
      }
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return site_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return site_->Release(); }
    STDMETHODIMP GetWindow(HWND* w) override {
      if (!w) return E_POINTER;
      *w = GetAncestor(site_->host(), GA_ROOT);
      return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

   private:
    AxSite* site_;
  };

  LONG refs_ = 1;
  HWND host_;
  BrowserHostHooks hooks_;
  Frame frame_;
};

namespace {

bool RegisterHostClass() {
  WNDCLASSEXW wc{};
  if (GetClassInfoExW(GetModuleHandleW(nullptr), kHostClass, &wc)) return true;
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = kHostClass;
  return RegisterClassExW(&wc) != 0;
}

}  // namespace

HRESULT AxHost::Create(HWND parent, const RECT& rc, REFCLSID clsid, REFIID eventsIn, EventHandler onEvent,
                       IPropertyBag* initialState) {
  Destroy();
  if (!RegisterHostClass()) return HRESULT_FROM_WIN32(GetLastError());
  hwnd_ = CreateWindowExW(0, kHostClass, L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, rc.left, rc.top,
                          rc.right - rc.left, rc.bottom - rc.top, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) return HRESULT_FROM_WIN32(GetLastError());
  site_ = new AxSite(hwnd_, hooks_);

  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&unknown_));
  if (FAILED(hr)) {
    Destroy();
    return hr;
  }
  ComPtr<IOleObject> ole;
  hr = unknown_.As(IID_IOleObject, ole);
  if (FAILED(hr)) {
    Destroy();
    return hr;
  }
  DWORD misc = 0;
  ole->GetMiscStatus(DVASPECT_CONTENT, &misc);
  if (misc & OLEMISC_SETCLIENTSITEFIRST) ole->SetClientSite(static_cast<IOleClientSite*>(site_));

  bool loaded = false;
  if (initialState) {
    ComPtr<IPersistPropertyBag> bag;
    if (SUCCEEDED(unknown_.As(IID_IPersistPropertyBag, bag)))
      loaded = SUCCEEDED(bag->Load(initialState, nullptr));
  }
  if (!loaded) {
    ComPtr<IPersistStreamInit> psi;
    if (SUCCEEDED(unknown_.As(IID_IPersistStreamInit, psi))) {
      psi->InitNew();
    } else {
      ComPtr<IPersistPropertyBag> bag;
      if (SUCCEEDED(unknown_.As(IID_IPersistPropertyBag, bag))) bag->InitNew();
    }
  }
  if (!(misc & OLEMISC_SETCLIENTSITEFIRST)) ole->SetClientSite(static_cast<IOleClientSite*>(site_));
  ole->SetHostNames(L"Tarnwick", nullptr);

  RECT inner{0, 0, rc.right - rc.left, rc.bottom - rc.top};
  hr = ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(site_), 0, hwnd_, &inner);
  if (FAILED(hr)) {
    Destroy();
    return hr;
  }
  unknown_.As(IID_IDispatch, dispatch_);

  IID events = eventsIn;
  if (events == IID_NULL) {
    ComPtr<IProvideClassInfo2> pci;
    if (SUCCEEDED(unknown_.As(IID_IProvideClassInfo2, pci))) pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events);
  }
  if (events != IID_NULL && onEvent) {
    ComPtr<IConnectionPointContainer> cpc;
    if (SUCCEEDED(unknown_.As(IID_IConnectionPointContainer, cpc))) {
      ComPtr<IConnectionPoint> cp;
      if (SUCCEEDED(cpc->FindConnectionPoint(events, &cp))) {
        auto* sink = new EventSink(events, [onEvent = std::move(onEvent)](DISPID id, DISPPARAMS* p, VARIANT*) {
          onEvent(id, p);
        });
        DWORD cookie = 0;
        if (SUCCEEDED(cp->Advise(sink, &cookie))) {
          sinkPoint_ = cp;
          sink_ = sink;
          cookie_ = cookie;
        } else {
          sink->Release();
        }
      }
    }
  }
  return S_OK;
}

void AxHost::Destroy() {
  if (sink_) {
    sink_->Disconnect();
    if (sinkPoint_) sinkPoint_->Unadvise(cookie_);
    sink_->Release();
    sink_ = nullptr;
  }
  sinkPoint_.Reset();
  if (unknown_) {
    ComPtr<IOleInPlaceObject> ipo;
    if (SUCCEEDED(unknown_.As(IID_IOleInPlaceObject, ipo))) ipo->InPlaceDeactivate();
    ComPtr<IOleObject> ole;
    if (SUCCEEDED(unknown_.As(IID_IOleObject, ole))) {
      ole->Close(OLECLOSE_NOSAVE);
      ole->SetClientSite(nullptr);
    }
  }
  dispatch_.Reset();
  unknown_.Reset();
  if (site_) {
    site_->Release();
    site_ = nullptr;
  }
  if (hwnd_) {
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }
}

void AxHost::Move(int x, int y, int w, int h) {
  if (!hwnd_) return;
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  MoveWindow(hwnd_, x, y, w, h, TRUE);
  ComPtr<IOleInPlaceObject> ipo;
  if (unknown_ && SUCCEEDED(unknown_.As(IID_IOleInPlaceObject, ipo))) {
    RECT r{0, 0, w, h};
    ipo->SetObjectRects(&r, &r);
  }
}

void AxHost::Show(bool visible) {
  if (hwnd_) ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

HRESULT AxHost::Invoke(DISPID id, WORD flags, VARIANT* args, UINT argCount, VARIANT* result) {
  if (!dispatch_) return E_NOINTERFACE;
  DISPPARAMS dp{args, nullptr, argCount, 0};
  DISPID named = DISPID_PROPERTYPUT;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    dp.rgdispidNamedArgs = &named;
    dp.cNamedArgs = 1;
  }
  if (result) VariantInit(result);
  return dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &dp, result, nullptr, nullptr);
}

HRESULT AxHost::Put(DISPID id, VARIANT value) {
  return Invoke(id, DISPATCH_PROPERTYPUT, &value, 1, nullptr);
}

bool AxHost::TranslateAccelerator(MSG* msg) {
  ComPtr<IOleInPlaceActiveObject> active;
  if (!unknown_ || FAILED(unknown_.As(IID_IOleInPlaceActiveObject, active))) return false;
  return active->TranslateAccelerator(msg) == S_OK;
}

}  // namespace tw::win
