#include "common/win/accessible.h"

#include <commctrl.h>

#include <utility>

#include "common/win/com_object.h"
#include "common/win/late_proc.h"

namespace tw::win {
namespace {

// Posted to the window by accDoDefaultAction; the window runs the action when it arrives.
UINT DefaultActionMessage() {
  static const UINT msg = RegisterWindowMessageW(L"TwAccDefaultAction");
  return msg;
}

// oleacc is loaded when a screen reader first asks a window for its accessible object.
const LateProc<decltype(::CreateStdAccessibleObject)> kCreateStdAccessibleObject{L"oleacc.dll",
                                                                                "CreateStdAccessibleObject"};
const LateProc<decltype(::AccessibleObjectFromWindow)> kAccessibleObjectFromWindow{L"oleacc.dll",
                                                                                  "AccessibleObjectFromWindow"};
const LateProc<decltype(::LresultFromObject)> kLresultFromObject{L"oleacc.dll", "LresultFromObject"};

bool IsSelf(const VARIANT& child) { return V_VT(&child) == VT_I4 && V_I4(&child) == CHILDID_SELF; }

HRESULT PutText(const std::wstring& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (text.empty()) return S_FALSE;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

std::vector<HWND> AccessibleSource::AccChildren(HWND self) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(self, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (IsWindowVisible(c)) out.push_back(c);
  return out;
}

// Created as ComObject<Object>.
class AccessibleLink::Object : public IAccessible, public IOleWindow {
 public:
  Object(HWND hwnd, AccessibleSource* source) : hwnd_(hwnd), source_(source) {
    if (auto* create = kCreateStdAccessibleObject.get())
      create(hwnd, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&std_));
  }
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  static const QiEntry* QiTable() {
    static const QiEntry table[] = {
        TW_QI_ENTRY(Object, IAccessible),
        TW_QI_ENTRY_AS(Object, IID_IDispatch, IAccessible),
        TW_QI_ENTRY(Object, IOleWindow),  // WindowFromAccessibleObject asks for it
        {nullptr, 0}};
    return table;
  }

  HWND hwnd() const { return hwnd_; }
  void Cut() { source_ = nullptr; }

  // IDispatch: readers use the IAccessible methods directly.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  STDMETHODIMP get_accParent(IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return std_ ? std_->get_accParent(out) : S_FALSE;
  }
  STDMETHODIMP get_accChildCount(long* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    if (!source_) return RPC_E_DISCONNECTED;
    *count = static_cast<long>(source_->AccChildren(hwnd_).size());
    return S_OK;
  }
  STDMETHODIMP get_accChild(VARIANT child, IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!source_) return RPC_E_DISCONNECTED;
    if (V_VT(&child) != VT_I4) return E_INVALIDARG;
    const std::vector<HWND> kids = source_->AccChildren(hwnd_);
    const long i = V_I4(&child);
    if (i < 1 || i > static_cast<long>(kids.size())) return E_INVALIDARG;
    auto* fromWindow = kAccessibleObjectFromWindow.get();
    if (!fromWindow) return E_FAIL;
    return fromWindow(kids[static_cast<std::size_t>(i - 1)], static_cast<DWORD>(OBJID_CLIENT), IID_IDispatch,
                      reinterpret_cast<void**>(out));
  }
  STDMETHODIMP get_accName(VARIANT child, BSTR* out) override {
    return Text(child, out, &AccInfo::name);
  }
  STDMETHODIMP get_accValue(VARIANT child, BSTR* out) override {
    return Text(child, out, &AccInfo::value);
  }
  STDMETHODIMP get_accDescription(VARIANT child, BSTR* out) override {
    return Text(child, out, &AccInfo::description);
  }
  STDMETHODIMP get_accRole(VARIANT child, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    AccInfo info;
    HRESULT hr = Describe(child, info);
    if (FAILED(hr)) return hr;
    V_VT(out) = VT_I4;
    V_I4(out) = info.role;
    return S_OK;
  }
  STDMETHODIMP get_accState(VARIANT child, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    AccInfo info;
    HRESULT hr = Describe(child, info);
    if (FAILED(hr)) return hr;
    long state = info.state;
    if (!IsWindowVisible(hwnd_)) state |= STATE_SYSTEM_INVISIBLE;
    if (!IsWindowEnabled(hwnd_)) state |= STATE_SYSTEM_UNAVAILABLE;
    V_VT(out) = VT_I4;
    V_I4(out) = state;
    return S_OK;
  }
  STDMETHODIMP get_accHelp(VARIANT child, BSTR* out) override { return NoText(child, out); }
  STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
    if (file) *file = nullptr;
    if (topic) *topic = 0;
    return S_FALSE;
  }
  STDMETHODIMP get_accKeyboardShortcut(VARIANT child, BSTR* out) override { return NoText(child, out); }
  STDMETHODIMP get_accFocus(VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    return std_ ? std_->get_accFocus(out) : S_FALSE;
  }
  STDMETHODIMP get_accSelection(VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    return S_FALSE;
  }
  STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* out) override {
    return Text(child, out, &AccInfo::action);
  }
  STDMETHODIMP accSelect(long flags, VARIANT child) override {
    return std_ ? std_->accSelect(flags, child) : E_NOTIMPL;
  }
  STDMETHODIMP accLocation(long* x, long* y, long* w, long* h, VARIANT child) override {
    if (!x || !y || !w || !h) return E_POINTER;
    *x = *y = *w = *h = 0;
    if (!IsSelf(child)) return E_INVALIDARG;
    RECT r{};
    if (!GetWindowRect(hwnd_, &r)) return RPC_E_DISCONNECTED;
    // The client area on the screen.
    GetClientRect(hwnd_, &r);
    MapWindowPoints(hwnd_, nullptr, reinterpret_cast<POINT*>(&r), 2);
    *x = r.left;
    *y = r.top;
    *w = r.right - r.left;
    *h = r.bottom - r.top;
    return S_OK;
  }
  STDMETHODIMP accNavigate(long dir, VARIANT start, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    return std_ ? std_->accNavigate(dir, start, out) : S_FALSE;
  }
  STDMETHODIMP accHitTest(long x, long y, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    return std_ ? std_->accHitTest(x, y, out) : S_FALSE;
  }
  STDMETHODIMP accDoDefaultAction(VARIANT child) override {
    AccInfo info;
    HRESULT hr = Describe(child, info);
    if (FAILED(hr)) return hr;
    if (info.action.empty()) return DISP_E_MEMBERNOTFOUND;
    return PostMessageW(hwnd_, DefaultActionMessage(), 0, 0) ? S_OK : E_FAIL;
  }
  STDMETHODIMP put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }

  // IOleWindow
  STDMETHODIMP GetWindow(HWND* out) override {
    if (!out) return E_POINTER;
    *out = hwnd_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 protected:
  ~Object() {
    if (std_) std_->Release();
  }

 private:

  HRESULT Describe(const VARIANT& child, AccInfo& info) {
    if (!IsSelf(child)) return E_INVALIDARG;
    if (!source_) return RPC_E_DISCONNECTED;
    source_->AccDescribe(info);
    return S_OK;
  }
  HRESULT Text(const VARIANT& child, BSTR* out, std::wstring AccInfo::*field) {
    if (!out) return E_POINTER;
    *out = nullptr;
    AccInfo info;
    HRESULT hr = Describe(child, info);
    if (FAILED(hr)) return hr;
    return PutText(info.*field, out);
  }
  HRESULT NoText(const VARIANT& child, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsSelf(child)) return E_INVALIDARG;
    return source_ ? S_FALSE : RPC_E_DISCONNECTED;
  }

  HWND hwnd_;
  AccessibleSource* source_;
  IAccessible* std_ = nullptr;
};

bool AccessibleLink::Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, AccessibleSource& source, LRESULT& result) {
  if (msg == DefaultActionMessage()) {
    result = 0;
    source.AccDoDefault();
    return true;
  }
  if (msg != WM_GETOBJECT || static_cast<DWORD>(lp) != static_cast<DWORD>(OBJID_CLIENT)) return false;
  if (object_ && object_->hwnd() != hwnd) Disconnect();
  if (!object_) {
    IAccessible* created = nullptr;
    if (SUCCEEDED(ComObject<Object>::Create(IID_IAccessible, reinterpret_cast<void**>(&created), hwnd, &source)))
      object_ = static_cast<Object*>(created);
  }
  auto* toResult = kLresultFromObject.get();
  // Without oleacc (or the object) nothing can be handed out: 0, as for a window that has none.
  result = toResult && object_ ? toResult(IID_IAccessible, wp, static_cast<IAccessible*>(object_)) : 0;
  return true;
}

void AccessibleLink::Disconnect() {
  if (!object_) return;
  object_->Cut();
  static_cast<IAccessible*>(object_)->Release();
  object_ = nullptr;
}

void AccNotify(HWND hwnd, DWORD event) {
  if (hwnd) NotifyWinEvent(event, hwnd, OBJID_CLIENT, CHILDID_SELF);
}

namespace {

class StaticSource final : public AccessibleSource {
 public:
  StaticSource(HWND hwnd, long role, std::wstring name) : hwnd_(hwnd), role_(role), name_(std::move(name)) {}
  void AccDescribe(AccInfo& info) override {
    info.role = role_;
    if (name_.empty()) {
      wchar_t text[256] = {};
      GetWindowTextW(hwnd_, text, 256);
      info.name = text;
    } else {
      info.name = name_;
    }
    if (role_ == ROLE_SYSTEM_LINK) info.state = STATE_SYSTEM_LINKED;
    info.action = role_ == ROLE_SYSTEM_LINK ? L"Jump" : L"Press";
  }
  bool AccDoDefault() override {
    HWND parent = GetParent(hwnd_);
    if (!parent) return false;
    SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd_), STN_CLICKED), reinterpret_cast<LPARAM>(hwnd_));
    return true;
  }
  std::vector<HWND> AccChildren(HWND) override { return {}; }
  AccessibleLink link;

 private:
  HWND hwnd_;
  long role_;
  std::wstring name_;
};

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data) {
  auto* source = reinterpret_cast<StaticSource*>(data);
  LRESULT result = 0;
  if (source->link.Handle(hwnd, msg, wp, lp, *source, result)) return result;
  if (msg == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, StaticProc, id);
    delete source;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace

void MakeAccessibleStatic(HWND label, long role, const std::wstring& name) {
  if (!label) return;
  auto* source = new StaticSource(label, role, name);
  if (!SetWindowSubclass(label, StaticProc, 1, reinterpret_cast<DWORD_PTR>(source))) delete source;
}

}  // namespace tw::win
