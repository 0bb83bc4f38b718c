// What every ActiveX control of the library owes its container, written once: IDispatch served
// from the control's name table, site and in-place activation, extent, the view, the control
// window, connection points and property-change notifications, and persistence (property bag,
// stream, InitNew, "write only what differs") driven by the control's property table.
//
// A control derives from AxControl<Control> and supplies, as static members,
//   static const AxClass& Class();                               // ids, window class, names
//   static std::span<const AxProperty<Control>> Properties();    // the persisted properties
// and as members (the base is a friend, so they may be private)
//   HRESULT Call(DISPID, WORD flags, DISPPARAMS*, VARIANT* result, UINT* argErr);
//   void Paint(HDC, const RECT&);                                 // the window and IViewObject::Draw
//   LRESULT HandleMessage(UINT, WPARAM, LPARAM);                  // its window's other messages
//   void Loaded(AxLoad);                                          // after the table's values are set
// and may hide any hook of the base below (OnClose, OnActivated, OnPositionChanged, ...), and
// override what a screen reader is told (AccDescribe, AccDoDefault; the base says only the
// window's text).
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "common/win/accessible.h"
#include "common/win/com_bag.h"
#include "common/win/com_dispatch.h"
#include "common/win/com_events.h"
#include "common/win/com_object.h"
#include "common/win/com_ptr.h"
#include "common/win/drawn_window.h"

namespace tw::win {

// What a control is, for the base.
struct AxClass {
  const CLSID* clsid;
  const IID* dispatch;  // the control's dispinterface
  const IID* events;    // its default source interface
  HMODULE (*module)();  // holds the type library and the window class
  const wchar_t* windowClass;
  UINT classStyle;
  DWORD miscStatus;
  HRESULT badStreamVersion;  // Load(IStream*) with a missing or other version
  const DispName* names;
  std::size_t nameCount;
};

// How a persisted property is stored.
enum class AxKind {
  Color,   // OLE_COLOR: VT_I4 in the bag, a DWORD in the stream
  Bool,    // VT_BOOL; in the stream a bit of a shared flags DWORD (or a DWORD of its own)
  Int16,   // VT_I2; a DWORD in the stream
  Text,    // VT_BSTR, default empty; a counted string in the stream
  Object,  // an object the bag or stream persists (a picture, a font), default none
};

// One property's value in transit between the control and its storage.
struct AxValue {
  LONG number = 0;  // colours, bools (0/1) and integers
  std::wstring text;
  ComPtr<IUnknown> object;
};

template <class Control>
struct AxProperty {
  const wchar_t* bagName;
  AxKind kind;
  LONG def;            // numbers and bools; text and objects default to empty and none
  int streamSlot;      // order in the stream form; bools sharing a slot are bits of one DWORD
  DWORD flagBit;       // that bit, or 0
  const IID* iid;      // objects: the interface they are read as
  void (*get)(const Control&, AxValue&);
  void (*set)(Control&, const AxValue&);
  bool (*valid)(LONG) = nullptr;  // numbers: a stored value failing this takes the default
};

// Where Loaded's values came from.
enum class AxLoad { New, Bag, Stream };

// The container's ambient font, cloned (so changing it leaves the container's alone), or the
// library's default font when the site has none.
ComPtr<IFontDisp> AmbientFontCopy(IOleClientSite* site);

// The parent window and rectangle of in-place activation: those DoVerb was given, or the site's.
HRESULT InPlaceWindowRect(IOleInPlaceSite* site, HWND& parent, LPCRECT pos, RECT& rc);

// Registers the control's window class once and creates its (hidden) child window; `param`
// arrives at WM_NCCREATE.
HRESULT CreateAxWindow(const AxClass& c, WNDPROC proc, HWND parent, const RECT& pos, DWORD style, void* param);

// The property table's persistence, shared by every control (ax_control.cpp).
struct AxStorage {
  struct Entry {
    const wchar_t* bagName;
    AxKind kind;
    LONG def;
    int streamSlot;
    DWORD flagBit;
    const IID* iid;
    bool (*valid)(LONG);
  };
  static void ReadBag(const Entry* entries, std::size_t n, IPropertyBag* bag, IErrorLog* log,
                      std::vector<AxValue>& out);
  static HRESULT WriteBag(const Entry* entries, std::size_t n, IPropertyBag* bag, const std::vector<AxValue>& values);
  static HRESULT ReadStream(const Entry* entries, std::size_t n, IStream* stream, std::vector<AxValue>& out);
  static HRESULT WriteStream(const Entry* entries, std::size_t n, IStream* stream, const std::vector<AxValue>& values);
  static void Defaults(const Entry* entries, std::size_t n, std::vector<AxValue>& out);
};

template <class Control>
class AxControl : public IDispatch,
                  public IOleObject,
                  public IOleInPlaceObject,
                  public IOleInPlaceActiveObject,
                  public IOleControl,
                  public IViewObject2,
                  public IPersistPropertyBag,
                  public IPersistStreamInit,
                  public IProvideClassInfo2,
                  public IConnectionPointContainer,
                  private AccessibleSource {
 public:
  AxControl()
      : events_(Self(), this, *Control::Class().events), propertyNotify_(Self(), this, IID_IPropertyNotifySink) {}
  AxControl(const AxControl&) = delete;
  AxControl& operator=(const AxControl&) = delete;
  virtual ~AxControl() {
    // The control has run its own teardown (DestroyControlWindow) by now.
    if (HWND h = hwnd_) {
      hwnd_ = nullptr;
      SetWindowLongPtrW(h, GWLP_USERDATA, 0);
      DestroyWindow(h);
    }
    access_.Disconnect();
    events_.DisconnectAll();
    propertyNotify_.DisconnectAll();
  }

  static const QiEntry* QiTable() {
    static const QiEntry table[] = {
        TW_QI_ENTRY(Control, IDispatch),
        TW_QI_ENTRY_AS(Control, *Control::Class().dispatch, IDispatch),
        TW_QI_ENTRY(Control, IOleObject),
        TW_QI_ENTRY_AS(Control, IID_IOleWindow, IOleInPlaceObject),
        TW_QI_ENTRY(Control, IOleInPlaceObject),
        TW_QI_ENTRY(Control, IOleInPlaceActiveObject),
        TW_QI_ENTRY(Control, IOleControl),
        TW_QI_ENTRY_AS(Control, IID_IViewObject, IViewObject2),
        TW_QI_ENTRY(Control, IViewObject2),
        TW_QI_ENTRY_AS(Control, IID_IPersist, IPersistPropertyBag),
        TW_QI_ENTRY(Control, IPersistPropertyBag),
        TW_QI_ENTRY(Control, IPersistStreamInit),
        TW_QI_ENTRY_AS(Control, IID_IProvideClassInfo, IProvideClassInfo2),
        TW_QI_ENTRY(Control, IProvideClassInfo2),
        TW_QI_ENTRY(Control, IConnectionPointContainer),
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
    return ModuleTypeInfo(Class().module(), *Class().dispatch, out);
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return IdsFromTable(Class().names, Class().nameCount, names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT* argErr) override {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (!params) params = &none;
    if (result) VariantInit(result);
    Self()->AddRef();  // a handler of an event raised from here may drop the last outside reference
    HRESULT hr = derived().Call(id, flags, params, result, argErr);
    Self()->Release();
    return hr;
  }

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override {
    site_ = ComPtr<IOleClientSite>(site);
    if (!site) inPlaceSite_.Reset();
    return S_OK;
  }
  STDMETHODIMP GetClientSite(IOleClientSite** out) override {
    if (!out) return E_POINTER;
    *out = site_.Get();
    if (*out) (*out)->AddRef();
    return S_OK;
  }
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP Close(DWORD saveOption) override {
    derived().OnClose();
    InPlaceDeactivate();
    if (saveOption == OLECLOSE_SAVEIFDIRTY && dirty_ && site_) site_->SaveObject();
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
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT pos) override {
    if (site && !site_) site_ = ComPtr<IOleClientSite>(site);
    switch (verb) {
      case OLEIVERB_PRIMARY:
      case OLEIVERB_SHOW:
      case OLEIVERB_INPLACEACTIVATE:
      case OLEIVERB_UIACTIVATE:
        return InPlaceActivate(parent, pos);
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
  STDMETHODIMP GetUserClassID(CLSID* clsid) override { return GetClassID(clsid); }
  STDMETHODIMP GetUserType(DWORD, LPOLESTR* out) override {
    if (out) *out = nullptr;
    return OLE_S_USEREG;
  }
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!size) return E_POINTER;
    derived().OnSetExtent(*size);
    return S_OK;
  }
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = derived().Extent();
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
    *status = aspect == DVASPECT_CONTENT ? Class().miscStatus : 0;
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
    DestroyControlWindow();
    if (auto site = std::move(inPlaceSite_)) site->OnInPlaceDeactivate();
    return S_OK;
  }
  STDMETHODIMP UIDeactivate() override { return S_OK; }
  STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT) override {
    if (!pos) return E_POINTER;
    position_ = *pos;
    derived().OnPositionChanged();
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
    derived().Paint(dc, r);
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
    *clsid = *Class().clsid;
    return S_OK;
  }
  STDMETHODIMP InitNew() override {
    std::vector<AxValue> values;
    AxStorage::Defaults(Entries().data(), Entries().size(), values);
    Apply(values, AxLoad::New);
    return S_OK;
  }
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override {
    if (!bag) return E_POINTER;
    std::vector<AxValue> values;
    AxStorage::ReadBag(Entries().data(), Entries().size(), bag, log, values);
    Apply(values, AxLoad::Bag);
    return S_OK;
  }
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL) override {
    if (!bag) return E_POINTER;
    TW_RINOK(AxStorage::WriteBag(Entries().data(), Entries().size(), bag, Values()));
    if (clearDirty) dirty_ = false;
    return S_OK;
  }
  STDMETHODIMP IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
  STDMETHODIMP Load(LPSTREAM stream) override {
    if (!stream) return E_POINTER;
    DWORD version = 0;
    ULONG got = 0;
    TW_RINOK(stream->Read(&version, sizeof version, &got));
    if (got != sizeof version || version != kStreamVersion) return Class().badStreamVersion;
    std::vector<AxValue> values;
    TW_RINOK(AxStorage::ReadStream(Entries().data(), Entries().size(), stream, values));
    Apply(values, AxLoad::Stream);
    return S_OK;
  }
  STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override {
    if (!stream) return E_POINTER;
    DWORD version = kStreamVersion;
    TW_RINOK(stream->Write(&version, sizeof version, nullptr));
    TW_RINOK(AxStorage::WriteStream(Entries().data(), Entries().size(), stream, Values()));
    if (clearDirty) dirty_ = false;
    return S_OK;
  }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override {
    if (size) size->QuadPart = 0;
    return E_NOTIMPL;
  }

  // IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** out) override {
    if (!out) return E_POINTER;
    return ModuleTypeInfo(Class().module(), *Class().clsid, out);
  }
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
      *guid = GUID_NULL;
      return E_INVALIDARG;
    }
    *guid = *Class().events;
    return S_OK;
  }

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override {
    ConnectionPoint* points[] = {&events_, &propertyNotify_};
    return EnumPoints(points, 2, out);
  }
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
    ConnectionPoint* points[] = {&events_, &propertyNotify_};
    return FindPoint(points, 2, iid, out);
  }

 protected:
  static constexpr DWORD kStreamVersion = 1;

  IUnknown* Self() { return static_cast<IDispatch*>(this); }

  // Raises an event unless the container has frozen events.
  void Fire(DISPID id, const VARIANT* args = nullptr, UINT count = 0) {
    if (frozen_ > 0) return;
    events_.Fire(id, args, count);
  }
  void Fire(DISPID id, const ByRefArgs& args) { Fire(id, args.args(), args.count()); }
  bool HasSinks() const { return events_.HasSinks(); }

  // A property changed through the dispatch interface: the control is dirty, the container told.
  void Changed(DISPID id) {
    dirty_ = true;
    propertyNotify_.NotifyChanged(id);
  }

  // The picture changed: redraw the window and tell a container drawing through IViewObject.
  void ViewChanged(BOOL erase) {
    if (hwnd_) InvalidateRect(hwnd_, nullptr, erase);
    if (viewSink_) viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
  }

  void DestroyControlWindow() {
    if (!hwnd_) return;
    derived().OnWindowDestroying();
    access_.Disconnect();
    HWND h = hwnd_;
    hwnd_ = nullptr;
    SetWindowLongPtrW(h, GWLP_USERDATA, 0);
    DestroyWindow(h);
  }

  // Hooks a control may hide.
  void OnClose() {}
  void OnSetExtent(const SIZEL& size) { extent_ = size; }
  SIZEL Extent() const { return extent_; }
  void OnPositionChanged() {}
  DWORD WindowStyle() const { return 0; }
  void OnWindowCreated() {}
  void OnActivated() {}
  void OnWindowDestroying() {}
  // AccessibleSource: the window's text and nothing to do.
  void AccDescribe(AccInfo& info) override {
    wchar_t text[256] = {};
    if (hwnd_) GetWindowTextW(hwnd_, text, 256);
    info.name = text;
  }
  std::vector<HWND> AccChildren(HWND) override { return {}; }

  ComPtr<IOleClientSite> site_;
  ComPtr<IOleInPlaceSite> inPlaceSite_;
  HWND hwnd_ = nullptr;
  RECT position_{};
  SIZEL extent_{2540, 508};  // HIMETRIC

 private:
  static const AxClass& Class() { return Control::Class(); }
  Control& derived() { return static_cast<Control&>(*this); }

  // The table without its accessors, for the shared persistence code.
  static std::span<const AxStorage::Entry> Entries() {
    static const std::vector<AxStorage::Entry> entries = [] {
      std::vector<AxStorage::Entry> e;
      for (const auto& p : Control::Properties())
        e.push_back({p.bagName, p.kind, p.def, p.streamSlot, p.flagBit, p.iid, p.valid});
      return e;
    }();
    return entries;
  }
  std::vector<AxValue> Values() {
    std::vector<AxValue> values(Control::Properties().size());
    std::size_t i = 0;
    for (const auto& p : Control::Properties()) p.get(derived(), values[i++]);
    return values;
  }
  void Apply(const std::vector<AxValue>& values, AxLoad from) {
    std::size_t i = 0;
    for (const auto& p : Control::Properties()) p.set(derived(), values[i++]);
    derived().Loaded(from);
    dirty_ = false;
  }

  HRESULT InPlaceActivate(HWND parent, LPCRECT pos) {
    if (!site_) return E_UNEXPECTED;
    if (!inPlaceSite_) {
      ComPtr<IOleInPlaceSite> site;
      TW_RINOK(site_.As(IID_IOleInPlaceSite, site));
      if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
      TW_RINOK(site->OnInPlaceActivate());
      inPlaceSite_ = std::move(site);
    }
    if (hwnd_) {
      ShowWindow(hwnd_, SW_SHOWNA);
      return S_OK;
    }
    RECT rc{};
    HRESULT hr = InPlaceWindowRect(inPlaceSite_.Get(), parent, pos, rc);
    if (SUCCEEDED(hr)) hr = CreateControlWindow(parent, rc);
    if (FAILED(hr)) {
      auto site = std::move(inPlaceSite_);
      site->OnInPlaceDeactivate();
      return hr;
    }
    derived().OnActivated();
    ShowWindow(hwnd_, SW_SHOWNA);
    return S_OK;
  }

  HRESULT CreateControlWindow(HWND parent, const RECT& pos) {
    position_ = pos;
    TW_RINOK(CreateAxWindow(Class(), WindowProc, parent, pos, derived().WindowStyle(), this));
    derived().OnWindowCreated();
    return S_OK;
  }

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
      auto* created = static_cast<AxControl*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
      created->hwnd_ = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    auto* self = reinterpret_cast<AxControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      self->hwnd_ = nullptr;
      return DefWindowProcW(hwnd, msg, wp, lp);
    }
    // Event handlers may release the control; keep it alive until the message is handled.
    self->Self()->AddRef();
    LRESULT result = self->Message(msg, wp, lp);
    self->Self()->Release();
    return result;
  }

  // Messages every control answers alike; the rest are the control's.
  LRESULT Message(UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT answer = 0;
    auto paint = [this](HDC dc, const RECT& client) { derived().Paint(dc, client); };
    if (DrawnWindowMessage(hwnd_, msg, wp, lp, access_, *this, paint, answer)) return answer;
    return derived().HandleMessage(msg, wp, lp);
  }

  ConnectionPoint events_;
  ConnectionPoint propertyNotify_;
  AccessibleLink access_;
  ComPtr<IOleAdviseHolder> adviseHolder_;
  ComPtr<IAdviseSink> viewSink_;
  DWORD viewAspects_ = 0;
  DWORD viewFlags_ = 0;
  int frozen_ = 0;
  bool dirty_ = false;
};

}  // namespace tw::win
