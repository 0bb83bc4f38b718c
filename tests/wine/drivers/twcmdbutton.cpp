// Test driver for the image button Corvala.Cmd_, bound late the way the shell binds it: ProgID to
// class id, dispatch ids from GetIDsOfNames, Invoke by id. Prints key=value lines (UTF-8).
//
//   twcmdbutton api <normal.bmp> <hover.bmp> <down.bmp> <big.bmp>
//       names and dispatch ids, pictures from files, sizing, property notifications, property
//       bag and stream round trips, SetMode / SetChk / CheckBox effects on the shown picture, and
//       new hover and pressed pictures set while they are shown
//   twcmdbutton events <log> <normal.bmp> <hover.bmp> <down.bmp>
//       hosts a button at a fixed screen place and writes every event it raises, with the
//       picture shown at that moment, to the log file until the window is closed (or 60 s pass)
//   twcmdbutton events-destroy <log> <normal.bmp> <hover.bmp> <down.bmp>
//       the same, and the host destroys the button from its Click handler
//   twcmdbutton dfiles                      can Corvala.DFiles be found and created?
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <commctrl.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/win/ax_host.h"
#include "common/win/com_ptr.h"
#include "tests/wine/drivers/driver_support.h"

using tw::win::AxHost;
using tw::win::ComPtr;

namespace {

using twd::g_out;
using twd::GuidText;
using twd::Out;
using twd::Put;
using twd::PutHex;
using twd::PutInt;
using twd::Utf8;

// --- pictures ---------------------------------------------------------------------------

ComPtr<IPictureDisp> LoadPictureFile(const wchar_t* path) {
  ComPtr<IPictureDisp> picture;
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return picture;
  DWORD size = GetFileSize(f, nullptr);
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, size);
  DWORD got = 0;
  if (mem) {
    ReadFile(f, GlobalLock(mem), size, &got, nullptr);
    GlobalUnlock(mem);
  }
  CloseHandle(f);
  ComPtr<IStream> stream;
  if (!mem || FAILED(CreateStreamOnHGlobal(mem, TRUE, &stream))) return picture;
  OleLoadPicture(stream.Get(), static_cast<LONG>(got), FALSE, IID_IPictureDisp, reinterpret_cast<void**>(&picture));
  return picture;
}

// --- a property bag that really serialises: objects go through IPersistStream to bytes --------

class MemoryBag : public IPropertyBag {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPropertyBag) {
      *out = static_cast<IPropertyBag*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }

  STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    auto it = values_.find(name);
    if (it == values_.end()) return E_INVALIDARG;
    if (it->second.isObject) {
      ComPtr<IStream> stream;
      HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, it->second.bytes.size());
      if (!mem) return E_OUTOFMEMORY;
      memcpy(GlobalLock(mem), it->second.bytes.data(), it->second.bytes.size());
      GlobalUnlock(mem);
      HRESULT hr = CreateStreamOnHGlobal(mem, TRUE, &stream);
      if (FAILED(hr)) return hr;
      IUnknown* object = nullptr;
      hr = OleLoadFromStream(stream.Get(), IID_IUnknown, reinterpret_cast<void**>(&object));
      if (FAILED(hr)) return hr;
      VariantClear(value);
      V_VT(value) = VT_UNKNOWN;
      V_UNKNOWN(value) = object;
      return S_OK;
    }
    VariantClear(value);
    return VariantCopy(value, &it->second.value);
  }
  STDMETHODIMP Write(LPCOLESTR name, VARIANT* value) override {
    order_.push_back(name);
    Entry& e = values_[name];
    VariantInit(&e.value);
    if (V_VT(value) == VT_UNKNOWN || V_VT(value) == VT_DISPATCH) {
      IUnknown* object = V_UNKNOWN(value);
      ComPtr<IPersistStream> persist;
      if (!object || FAILED(object->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist)))) {
        return E_INVALIDARG;
      }
      ComPtr<IStream> stream;
      HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &stream);
      if (SUCCEEDED(hr)) hr = OleSaveToStream(persist.Get(), stream.Get());
      if (FAILED(hr)) return hr;
      HGLOBAL mem = nullptr;
      GetHGlobalFromStream(stream.Get(), &mem);
      STATSTG st{};
      stream->Stat(&st, STATFLAG_NONAME);
      const char* p = static_cast<const char*>(GlobalLock(mem));
      e.bytes.assign(p, p + st.cbSize.QuadPart);
      GlobalUnlock(mem);
      e.isObject = true;
      return S_OK;
    }
    e.isObject = false;
    return VariantCopy(&e.value, value);
  }

  std::string Keys() const {
    std::string s;
    for (const auto& k : order_) s += (s.empty() ? "" : ",") + Utf8(k);
    return s;
  }
  std::size_t ObjectBytes(const std::wstring& name) const {
    auto it = values_.find(name);
    return it == values_.end() ? 0 : it->second.bytes.size();
  }

 private:
  struct Entry {
    bool isObject = false;
    std::vector<char> bytes;
    VARIANT value;
  };
  ULONG refs_ = 1;
  std::map<std::wstring, Entry> values_;
  std::vector<std::wstring> order_;
};

// Counts IPropertyNotifySink::OnChanged by dispatch id.
class ChangeSink : public IPropertyNotifySink {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPropertyNotifySink) {
      *out = static_cast<IPropertyNotifySink*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }
  STDMETHODIMP OnChanged(DISPID id) override {
    changes.push_back(id);
    return S_OK;
  }
  STDMETHODIMP OnRequestEdit(DISPID) override { return S_OK; }
  std::vector<DISPID> changes;

 private:
  ULONG refs_ = 1;
};

// --- late binding ---------------------------------------------------------------------------

const wchar_t* const kMembers[] = {L"RefreshSkin", L"SetChk",  L"Picture",   L"ToolTipText", L"PicturePoint",
                                   L"PictureDown", L"SetMode", L"CheckBox", L"InitCtlSet"};

struct Button {
  AxHost host;
  std::map<std::wstring, DISPID> ids;

  DISPID Id(const wchar_t* name) {
    auto it = ids.find(name);
    if (it != ids.end()) return it->second;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR n = const_cast<LPOLESTR>(name);
    host.dispatch()->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
    ids[name] = id;
    return id;
  }
  HRESULT Call(const wchar_t* name) { return host.Call(Id(name)); }
  HRESULT CallBool(const wchar_t* name, bool v) {
    VARIANT a;
    VariantInit(&a);
    V_VT(&a) = VT_BOOL;
    V_BOOL(&a) = v ? VARIANT_TRUE : VARIANT_FALSE;
    return host.Call(Id(name), &a, 1);
  }
  HRESULT CallShort(const wchar_t* name, SHORT v) {
    VARIANT a;
    VariantInit(&a);
    V_VT(&a) = VT_I2;
    V_I2(&a) = v;
    return host.Call(Id(name), &a, 1);
  }
  HRESULT SetPicture(const wchar_t* name, IPictureDisp* p) {
    VARIANT a;
    VariantInit(&a);
    V_VT(&a) = VT_DISPATCH;
    V_DISPATCH(&a) = p;
    return host.Invoke(Id(name), DISPATCH_PROPERTYPUTREF, &a, 1, nullptr);
  }
  ComPtr<IUnknown> GetPicture(const wchar_t* name) {
    VARIANT r;
    VariantInit(&r);
    ComPtr<IUnknown> out;
    if (SUCCEEDED(host.Get(Id(name), &r)) && V_VT(&r) == VT_DISPATCH && V_DISPATCH(&r)) {
      V_DISPATCH(&r)->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&out));
    }
    VariantClear(&r);
    return out;
  }
  HRESULT SetToolTip(const wchar_t* text) {
    VARIANT a;
    VariantInit(&a);
    V_VT(&a) = VT_BSTR;
    V_BSTR(&a) = SysAllocString(text);
    HRESULT hr = host.Put(Id(L"ToolTipText"), a);
    VariantClear(&a);
    return hr;
  }
  std::wstring ToolTip() {
    VARIANT r;
    VariantInit(&r);
    std::wstring s = L"<error>";
    if (SUCCEEDED(host.Get(Id(L"ToolTipText"), &r)) && V_VT(&r) == VT_BSTR) {
      s.assign(V_BSTR(&r), SysStringLen(V_BSTR(&r)));
    }
    VariantClear(&r);
    return s;
  }
  HWND Window() {
    ComPtr<IOleWindow> w;
    HWND h = nullptr;
    if (host.control() && SUCCEEDED(host.control()->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&w)))) {
      w->GetWindow(&h);
    }
    return h;
  }
  std::string Size() {
    RECT r{};
    GetWindowRect(Window(), &r);
    return std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
  }
  // Which picture the control shows, from the colour of its top-left pixel.
  std::string Shown() {
    HWND h = Window();
    if (!h) return "none";
    UpdateWindow(h);
    HDC dc = GetDC(h);
    COLORREF c = GetPixel(dc, 1, 1);
    ReleaseDC(h, dc);
    switch (c) {
      case RGB(255, 0, 0): return "normal";
      case RGB(0, 255, 0): return "hover";
      case RGB(0, 0, 255): return "down";
      case RGB(255, 255, 0): return "big";
      default: break;
    }
    char buf[16];
    snprintf(buf, sizeof buf, "#%02x%02x%02x", GetRValue(c), GetGValue(c), GetBValue(c));
    return buf;
  }
};

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CLOSE) {
    DestroyWindow(hwnd);
    return 0;
  }
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND MakeFrame(int x, int y, int w, int h) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FrameProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
  wc.lpszClassName = L"TwCmdButtonFrame";
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  RegisterClassExW(&wc);
  HWND frame = CreateWindowExW(0, wc.lpszClassName, L"twcmdbutton", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, x, y, w,
                               h, nullptr, nullptr, wc.hInstance, nullptr);
  UpdateWindow(frame);
  return frame;
}

bool CreateButton(Button& b, HWND frame, const RECT& rc, tw::win::EventHandler onEvent, IPropertyBag* bag = nullptr) {
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(L"Corvala.Cmd_", &clsid);
  if (FAILED(hr)) {
    PutHex("error.progid", static_cast<unsigned long>(hr));
    return false;
  }
  hr = b.host.Create(frame, rc, clsid, IID_NULL, std::move(onEvent), bag);
  if (FAILED(hr)) {
    PutHex("error.create", static_cast<unsigned long>(hr));
    return false;
  }
  b.host.Show(true);
  return true;
}

// --- api ---------------------------------------------------------------------------------------

int Api(wchar_t** files) {
  CLSID clsid{};
  PutHex("progid.hr", static_cast<unsigned long>(CLSIDFromProgID(L"Corvala.Cmd_", &clsid)));
  Put("clsid", Utf8(GuidText(clsid)));
  HWND frame = MakeFrame(0, 0, 400, 300);

  Button b;
  if (!CreateButton(b, frame, RECT{10, 10, 310, 210}, [](DISPID, DISPPARAMS*) {})) return 2;
  for (const wchar_t* name : kMembers) PutHex("id." + Utf8(name), static_cast<unsigned long>(b.Id(name)));
  {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"initctlset")};
    HRESULT hr = b.host.dispatch()->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    PutHex("id.lowercase", SUCCEEDED(hr) ? static_cast<unsigned long>(id) : static_cast<unsigned long>(hr));
    names[0] = const_cast<LPOLESTR>(L"NoSuchMember");
    PutHex("id.unknown.hr", static_cast<unsigned long>(b.host.dispatch()->GetIDsOfNames(IID_NULL, names, 1, 0, &id)));
  }
  {
    ComPtr<IProvideClassInfo2> pci;
    GUID source{};
    if (SUCCEEDED(b.host.control()->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&pci)))) {
      pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source);
    }
    Put("events.iid", Utf8(GuidText(source)));
    ComPtr<ITypeInfo> info;
    UINT count = 0;
    b.host.dispatch()->GetTypeInfoCount(&count);
    PutInt("typeinfo.count", count);
    if (SUCCEEDED(b.host.dispatch()->GetTypeInfo(0, 0, &info))) {
      BSTR name = nullptr;
      info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
      Put("typeinfo.name", name ? Utf8(name) : "");
      SysFreeString(name);
      // The published member list: each member's id, kind and the type of its value.
      TYPEATTR* attr = nullptr;
      std::string members;
      if (SUCCEEDED(info->GetTypeAttr(&attr))) {
        for (UINT i = 0; i < attr->cFuncs; ++i) {
          FUNCDESC* f = nullptr;
          if (FAILED(info->GetFuncDesc(i, &f))) continue;
          BSTR member = nullptr;
          UINT got = 0;
          info->GetNames(f->memid, &member, 1, &got);
          const TYPEDESC* t = f->invkind == INVOKE_FUNC || f->invkind == INVOKE_PROPERTYGET
                                  ? &f->elemdescFunc.tdesc
                                  : (f->cParams > 0 ? &f->lprgelemdescParam[0].tdesc : nullptr);
          std::string type = t ? std::to_string(t->vt) : "-";
          if (t && t->vt == VT_PTR && t->lptdesc->vt == VT_USERDEFINED) {
            ComPtr<ITypeInfo> ref;
            BSTR refName = nullptr;
            if (SUCCEEDED(info->GetRefTypeInfo(t->lptdesc->hreftype, &ref)) &&
                SUCCEEDED(ref->GetDocumentation(MEMBERID_NIL, &refName, nullptr, nullptr, nullptr))) {
              type = Utf8(refName);
            }
            SysFreeString(refName);
          }
          char buf[40];
          snprintf(buf, sizeof buf, ":0x%08lx:%d:", static_cast<unsigned long>(f->memid), static_cast<int>(f->invkind));
          members += (members.empty() ? "" : ";") + (member ? Utf8(member) : std::string("?")) + buf + type;
          SysFreeString(member);
          info->ReleaseFuncDesc(f);
        }
        info->ReleaseTypeAttr(attr);
      }
      Put("typeinfo.members", members);
    }
  }
  {
    // Interfaces a container asks for, and one it must not get.
    struct Probe {
      const char* name;
      const IID* iid;
    };
    const Probe probes[] = {{"IOleObject", &IID_IOleObject},
                            {"IOleWindow", &IID_IOleWindow},
                            {"IOleInPlaceObject", &IID_IOleInPlaceObject},
                            {"IOleInPlaceActiveObject", &IID_IOleInPlaceActiveObject},
                            {"IOleControl", &IID_IOleControl},
                            {"IViewObject", &IID_IViewObject},
                            {"IViewObject2", &IID_IViewObject2},
                            {"IPersist", &IID_IPersist},
                            {"IPersistPropertyBag", &IID_IPersistPropertyBag},
                            {"IPersistStreamInit", &IID_IPersistStreamInit},
                            {"IProvideClassInfo", &IID_IProvideClassInfo},
                            {"IProvideClassInfo2", &IID_IProvideClassInfo2},
                            {"IConnectionPointContainer", &IID_IConnectionPointContainer},
                            {"IDataObject", &IID_IDataObject}};
    std::string has;
    for (const Probe& p : probes) {
      ComPtr<IUnknown> i;
      if (SUCCEEDED(b.host.control()->QueryInterface(*p.iid, reinterpret_cast<void**>(&i)))) {
        // Every interface leads back to the same object.
        ComPtr<IUnknown> back;
        i->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back));
        has += std::string(has.empty() ? "" : ",") + p.name + (back.Get() == b.host.control() ? "" : "!identity");
      }
    }
    Put("interfaces", has);
    ComPtr<IConnectionPointContainer> points;
    b.host.control()->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points));
    ComPtr<IEnumConnectionPoints> list;
    std::string iids;
    if (points && SUCCEEDED(points->EnumConnectionPoints(&list))) {
      IConnectionPoint* cp = nullptr;
      ULONG got = 0;
      while (list->Next(1, &cp, &got) == S_OK && got == 1) {
        IID iid{};
        cp->GetConnectionInterface(&iid);
        ComPtr<IEnumConnections> connections;
        ULONG count = 0;
        if (SUCCEEDED(cp->EnumConnections(&connections))) {
          CONNECTDATA data{};
          ULONG n = 0;
          while (connections->Next(1, &data, &n) == S_OK && n == 1) {
            ++count;
            data.pUnk->Release();
          }
        }
        iids += (iids.empty() ? "" : ",") + Utf8(GuidText(iid)) + ":" + std::to_string(count);
        PutHex("unadvise.unknown.hr", static_cast<unsigned long>(cp->Unadvise(0xBAD)));
        cp->Release();
      }
    }
    Put("points", iids);
  }
  Put("fresh.size", b.Size());
  Put("fresh.tooltip", Utf8(b.ToolTip()));
  {
    MemoryBag fresh;
    ComPtr<IPersistPropertyBag> ppb;
    b.host.control()->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&ppb));
    PutHex("fresh.save.hr", static_cast<unsigned long>(ppb->Save(&fresh, TRUE, FALSE)));
    Put("fresh.bag.keys", fresh.Keys());
  }

  ChangeSink changes;
  ComPtr<IConnectionPointContainer> cpc;
  ComPtr<IConnectionPoint> cp;
  DWORD cookie = 0;
  b.host.control()->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
  if (cpc && SUCCEEDED(cpc->FindConnectionPoint(IID_IPropertyNotifySink, &cp))) cp->Advise(&changes, &cookie);

  ComPtr<IPictureDisp> normal = LoadPictureFile(files[0]);
  ComPtr<IPictureDisp> hover = LoadPictureFile(files[1]);
  ComPtr<IPictureDisp> down = LoadPictureFile(files[2]);
  ComPtr<IPictureDisp> big = LoadPictureFile(files[3]);
  PutInt("pictures.loaded", (normal ? 1 : 0) + (hover ? 1 : 0) + (down ? 1 : 0) + (big ? 1 : 0));

  PutHex("set.point.hr", static_cast<unsigned long>(b.SetPicture(L"PicturePoint", hover.Get())));
  PutHex("set.down.hr", static_cast<unsigned long>(b.SetPicture(L"PictureDown", down.Get())));
  Put("after.point.down.shown", b.Shown());
  PutHex("set.picture.hr", static_cast<unsigned long>(b.SetPicture(L"Picture", normal.Get())));
  Put("after.picture.shown", b.Shown());
  Put("after.picture.size", b.Size());
  PutHex("initctlset.hr", static_cast<unsigned long>(b.Call(L"InitCtlSet")));
  Put("after.initctlset.size", b.Size());
  {
    ComPtr<IUnknown> a = b.GetPicture(L"PicturePoint");
    ComPtr<IUnknown> e;
    hover->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&e));
    PutInt("get.point.same", a && a.Get() == e.Get() ? 1 : 0);
  }
  PutHex("set.tooltip.hr", static_cast<unsigned long>(b.SetToolTip(L"返回 back")));
  Put("get.tooltip", Utf8(b.ToolTip()));
  {
    std::string s;
    for (DISPID id : changes.changes) {
      char buf[16];
      snprintf(buf, sizeof buf, "%s0x%08lx", s.empty() ? "" : ",", static_cast<unsigned long>(id));
      s += buf;
    }
    Put("changed", s);
  }
  {
    ComPtr<IPersistStreamInit> psi;
    b.host.control()->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&psi));
    PutHex("dirty.hr", static_cast<unsigned long>(psi->IsDirty()));
  }

  // The host tries to resize the control: it keeps its picture's size.
  b.host.Move(10, 10, 200, 150);
  Put("after.resize.size", b.Size());

  // Methods and the picture they show.
  b.CallShort(L"SetMode", 1);
  Put("mode1.shown", b.Shown());
  b.CallShort(L"SetMode", 3);
  Put("mode3.shown", b.Shown());
  b.CallShort(L"SetMode", 2);
  Put("mode2.shown", b.Shown());
  b.CallShort(L"SetMode", 0);
  Put("mode0.shown", b.Shown());
  b.CallBool(L"SetChk", false);
  Put("setchk.false.shown", b.Shown());
  b.Call(L"RefreshSkin");
  Put("refresh.nocheckbox.shown", b.Shown());
  b.CallBool(L"CheckBox", true);
  Put("checkbox.shown", b.Shown());
  b.Call(L"RefreshSkin");
  Put("refresh.checkbox.shown", b.Shown());
  // A new hover or pressed picture while it is the one shown: the old one stays on screen.
  b.CallShort(L"SetMode", 1);
  b.SetPicture(L"PicturePoint", big.Get());
  Put("hover.newpoint.shown", b.Shown());
  b.CallShort(L"SetMode", 2);
  b.SetPicture(L"PictureDown", big.Get());
  Put("down.newdown.shown", b.Shown());
  b.SetPicture(L"PicturePoint", hover.Get());
  b.SetPicture(L"PictureDown", down.Get());
  {
    VARIANT wrong;
    VariantInit(&wrong);
    V_VT(&wrong) = VT_BSTR;
    V_BSTR(&wrong) = SysAllocString(L"not a number");
    PutHex("setmode.text.hr", static_cast<unsigned long>(b.host.Call(b.Id(L"SetMode"), &wrong, 1)));
    VariantClear(&wrong);
  }

  // Property bag: only what differs from the defaults, pictures through their own persistence.
  MemoryBag bag;
  {
    ComPtr<IPersistPropertyBag> ppb;
    b.host.control()->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&ppb));
    PutHex("save.hr", static_cast<unsigned long>(ppb->Save(&bag, TRUE, FALSE)));
    Put("bag.keys", bag.Keys());
    PutInt("bag.picture.bytes", static_cast<long long>(bag.ObjectBytes(L"Picture")));
  }
  // A second button loads the bag: pictures, tooltip and size come back.
  Button c;
  if (!CreateButton(c, frame, RECT{10, 220, 310, 290}, nullptr, &bag)) return 2;
  Put("loaded.size", c.Size());
  Put("loaded.shown", c.Shown());
  Put("loaded.tooltip", Utf8(c.ToolTip()));
  c.CallShort(L"SetMode", 1);
  Put("loaded.mode1.shown", c.Shown());
  c.CallShort(L"SetMode", 2);
  Put("loaded.mode2.shown", c.Shown());

  // Stream persistence round trip, with a different normal picture.
  b.SetPicture(L"Picture", big.Get());
  Put("big.shown", b.Shown());
  Put("big.size.before.init", b.Size());
  b.Call(L"InitCtlSet");
  Put("big.size", b.Size());
  {
    ComPtr<IPersistStreamInit> psi;
    b.host.control()->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&psi));
    ComPtr<IStream> stream;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    PutHex("stream.save.hr", static_cast<unsigned long>(psi->Save(stream.Get(), TRUE)));
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    ComPtr<IUnknown> other;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&other));
    ComPtr<IPersistStreamInit> psi2;
    other->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&psi2));
    PutHex("stream.load.hr", static_cast<unsigned long>(psi2->Load(stream.Get())));
    ComPtr<IOleObject> ole;
    other->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole));
    SIZEL extent{};
    ole->GetExtent(DVASPECT_CONTENT, &extent);
    PutInt("stream.extent.cx", extent.cx);
    PutInt("stream.extent.cy", extent.cy);
  }
  if (cp) cp->Unadvise(cookie);
  cp.Reset();
  cpc.Reset();
  c.host.Destroy();
  b.host.Destroy();
  DestroyWindow(frame);
  // With every object released the library agrees to unload: nothing leaked a reference.
  Put("loaded.before.free", GetModuleHandleW(L"Corvala.dll") ? "1" : "0");
  CoFreeUnusedLibrariesEx(0, 0);
  Put("loaded.after.free", GetModuleHandleW(L"Corvala.dll") ? "1" : "0");
  // Loaded again, the library registers its window class afresh.
  HWND again = MakeFrame(0, 0, 200, 100);
  Button d;
  if (!CreateButton(d, again, RECT{0, 0, 100, 100}, nullptr)) return 2;
  Put("reload.size", d.Size());
  d.host.Destroy();
  DestroyWindow(again);
  Put("done", "1");
  return 0;
}

// --- events --------------------------------------------------------------------------------

BOOL CALLBACK FindToolTip(HWND hwnd, LPARAM found) {
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (_wcsicmp(cls, TOOLTIPS_CLASSW) != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = hwnd;
  return FALSE;
}

// The text of the button's tooltip, "none" while it has none.
std::string ToolTipOfThread() {
  HWND tip = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindToolTip, reinterpret_cast<LPARAM>(&tip));
  if (!tip || SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0) == 0) return "none";
  wchar_t text[256] = {};
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  if (!SendMessageW(tip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool))) return "none";
  tool.lpszText = text;
  SendMessageW(tip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
  return text[0] ? Utf8(text) : "none";
}

int Events(wchar_t** files, bool destroyOnClick) {
  HWND frame = MakeFrame(100, 100, 400, 300);
  Button b;
  Button* self = &b;
  auto onEvent = [self, destroyOnClick](DISPID id, DISPPARAMS* p) {
    static const char* const names[] = {"?", "Click", "MouseMove", "MouseDown", "MouseUp", "Dblclick", "CheckChange",
                                        "MouseLeave"};
    std::string line = "event=";
    line += (id >= 1 && id <= 7) ? names[id] : "?";
    line += " args=";
    // Arguments arrive in reverse order.
    for (UINT i = p ? p->cArgs : 0; i > 0; --i) {
      const VARIANT& v = p->rgvarg[i - 1];
      line += std::to_string(V_VT(&v) == VT_I2 ? V_I2(&v) : -999999);
      if (i > 1) line += ",";
    }
    line += " shown=" + self->Shown() + " tip=" + ToolTipOfThread() + "\n";
    Out(line);
    // A host may destroy the button from its own Click handler (a tab's close button does).
    if (id == 1 && destroyOnClick && self->host.control()) {
      self->host.Destroy();
      Out("destroyed\n");
    }
  };
  if (!CreateButton(b, frame, RECT{20, 20, 220, 170}, onEvent)) return 2;
  ComPtr<IPictureDisp> normal = LoadPictureFile(files[0]);
  ComPtr<IPictureDisp> hover = LoadPictureFile(files[1]);
  ComPtr<IPictureDisp> down = LoadPictureFile(files[2]);
  b.SetPicture(L"Picture", normal.Get());
  b.SetPicture(L"PicturePoint", hover.Get());
  b.SetPicture(L"PictureDown", down.Get());
  b.Call(L"InitCtlSet");
  b.SetToolTip(L"提示tip");
  RECT r{};
  GetWindowRect(b.Window(), &r);
  char line[200];
  snprintf(line, sizeof line, "ready frame=%lu left=%ld top=%ld right=%ld bottom=%ld shown=%s\n",
           static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(frame)), r.left, r.top, r.right, r.bottom,
           b.Shown().c_str());
  Out(line);

  const DWORD deadline = GetTickCount() + 60000;
  MSG msg;
  for (;;) {
    DWORD now = GetTickCount();
    if (static_cast<LONG>(deadline - now) <= 0) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, deadline - now, QS_ALLINPUT);
    bool quit = false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) quit = true;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (quit) break;
  }
  if (b.host.control()) b.host.Destroy();
  Out("closed\n");
  return 0;
}

int DFiles() {
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(L"Corvala.DFiles", &clsid);
  PutHex("progid.hr", static_cast<unsigned long>(hr));
  Put("clsid", Utf8(GuidText(clsid)));
  ComPtr<IUnknown> object;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object));
  PutHex("create.hr", static_cast<unsigned long>(hr));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  if (FAILED(OleInitialize(nullptr))) return 3;
  std::wstring mode = argv[1];
  int rc = 2;
  if (mode == L"api" && argc >= 6) {
    rc = Api(argv + 2);
  } else if ((mode == L"events" || mode == L"events-destroy") && argc >= 6) {
    g_out = CreateFileW(argv[2], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    if (g_out == INVALID_HANDLE_VALUE) return 4;
    rc = Events(argv + 3, mode == L"events-destroy");
    CloseHandle(g_out);
  } else if (mode == L"dfiles") {
    rc = DFiles();
  }
  OleUninitialize();
  return rc;
}
