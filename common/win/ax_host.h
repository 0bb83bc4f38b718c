// A small ActiveX container: hosts one control (the platform's WebBrowser, or any in-process
// control such as Corvala's) inside a child window of ours, in place active, with ambient
// properties and one event sink on the control's default source interface.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <functional>

#include "common/win/com_ptr.h"

namespace tw::win {

// Receives the control's events by dispatch id; the arguments are in DISPPARAMS order (reversed).
using EventHandler = std::function<void(DISPID id, DISPPARAMS* params)>;

class AxSite;

// What a hosted browser engine asks of its container besides hosting. Other controls never ask.
struct BrowserHostHooks {
  // The engine offers every keystroke it would act on itself (IDocHostUIHandler::TranslateAccelerator)
  // here first; true keeps it from the engine.
  std::function<bool(const MSG& msg)> filterKey;
  // The engine asks its container whether to show its script-error dialog (IOleCommandTarget,
  // OLECMDID_SHOWSCRIPTERROR): answered "handled, go on running scripts", so no dialog shows.
  // The engine asks only while script debugging is off, so the container also hands the engine
  // settings of its own (IDocHostUIHandler2::GetOverrideKeyPath) that turn debugging off for
  // this browser, whatever the user chose for theirs; the user's settings are not touched.
  bool quietScriptErrors = false;
};

// An event sink: an IDispatch that answers to one event interface and hands every call, with the
// place for its result, to a function. Created with one reference.
class EventSink final : public IDispatch {
 public:
  using Handler = std::function<void(DISPID id, DISPPARAMS* params, VARIANT* result)>;
  EventSink(REFIID iid, Handler handler) : iid_(iid), handler_(std::move(handler)) {}
  EventSink(const EventSink&) = delete;
  EventSink& operator=(const EventSink&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetTypeInfoCount(UINT* n) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT*) override;
  // Calls after this reach nothing (the source may still hold a reference).
  void Disconnect() { handler_ = nullptr; }

 private:
  ~EventSink() = default;
  LONG refs_ = 1;
  IID iid_;
  Handler handler_;
};

class AxHost {
 public:
  AxHost() = default;
  AxHost(const AxHost&) = delete;
  AxHost& operator=(const AxHost&) = delete;
  ~AxHost() { Destroy(); }

  // Creates the host window as a child of `parent` and the control in it, in place active.
  // `events` is the event interface to connect (IID_NULL: the control's default source found
  // through IProvideClassInfo2, none if it has none).
  HRESULT Create(HWND parent, const RECT& rc, REFCLSID clsid, REFIID events, EventHandler onEvent,
                 IPropertyBag* initialState = nullptr);
  // The answers to the browser engine's questions; takes effect at the next Create.
  void SetBrowserHooks(BrowserHostHooks hooks) { hooks_ = std::move(hooks); }
  void Destroy();

  HWND hwnd() const { return hwnd_; }
  IDispatch* dispatch() const { return dispatch_.Get(); }
  IUnknown* control() const { return unknown_.Get(); }

  void Move(int x, int y, int w, int h);
  void Show(bool visible);
  bool visible() const { return hwnd_ && IsWindowVisible(hwnd_); }

  // Late-bound calls by dispatch id.
  HRESULT Invoke(DISPID id, WORD flags, VARIANT* args, UINT argCount, VARIANT* result);
  HRESULT Call(DISPID id, VARIANT* args = nullptr, UINT argCount = 0, VARIANT* result = nullptr) {
    return Invoke(id, DISPATCH_METHOD, args, argCount, result);
  }
  HRESULT Get(DISPID id, VARIANT* result) { return Invoke(id, DISPATCH_PROPERTYGET, nullptr, 0, result); }
  HRESULT Put(DISPID id, VARIANT value);

  // Offers a keyboard message to the control's in-place active object; true if it used it up.
  bool TranslateAccelerator(MSG* msg);

 private:
  HWND hwnd_ = nullptr;
  AxSite* site_ = nullptr;
  ComPtr<IUnknown> unknown_;
  ComPtr<IDispatch> dispatch_;
  ComPtr<IConnectionPoint> sinkPoint_;
  EventSink* sink_ = nullptr;
  DWORD cookie_ = 0;
  BrowserHostHooks hooks_;
};

}  // namespace tw::win
