// One embedded browser: the platform's WebBrowser control in our container, called late-bound by
// dispatch id, with the notifications the shell handles.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "common/win/ax_host.h"

namespace tw::shell {

struct BrowserEvents {
  std::function<void(const std::u16string& title)> titleChange;
  // A page asks for a new window (NewWindow2, or NewWindow3, which the engine raises instead of it
  // and some engines right after it for the same window; `third` tells which). Receives the
  // out-argument for the new window's browser; leave the cancel flag alone to allow it.
  std::function<void(IDispatch** newBrowser, VARIANT_BOOL* cancel, bool third)> newWindow;
  std::function<void()> downloadComplete;
  // `topLevel`: the pane's own document, not one of its frames' (those complete first, and the
  // last to complete need not be the page's own).
  std::function<void(bool topLevel)> documentComplete;
  // Before any navigation of the pane or one of its frames; true cancels it. `from`: the address
  // of the document the navigating frame (or the pane) shows until then.
  std::function<bool(const std::u16string& address, const std::u16string& from)> beforeNavigate2;
};

class BrowserPane {
 public:
  // Dispatch ids of the browser's members the shell calls.
  static constexpr DISPID kNavigate = 104, kRefresh = -550, kLocationURL = 211, kDocument = 203,
                          kRegisterAsBrowser = 552, kExecWB = 502;

  // `hooks`: what the pane answers the engine about keys and script errors.
  HRESULT Create(HWND parent, const RECT& rc, BrowserEvents events, win::BrowserHostHooks hooks = {});
  void Destroy() { host_.Destroy(); }
  bool exists() const { return host_.hwnd() != nullptr && host_.dispatch() != nullptr; }

  HRESULT Navigate(const std::u16string& address);
  HRESULT Refresh();
  std::u16string LocationURL() { return LocationOf(host_.dispatch()); }
  IDispatch* Document();  // a new reference, or null
  HRESULT SetRegisterAsBrowser(bool on);
  // The page zoom in percent (100: a CSS pixel is a screen pixel at 96 dpi), for every page the
  // pane shows from now on.
  HRESULT SetZoom(int percent);
  IDispatch* Application() { return host_.dispatch(); }

  void Move(int x, int y, int w, int h) { host_.Move(x, y, w, h); }
  void Show(bool visible) { host_.Show(visible); }
  bool TranslateAccelerator(MSG* msg) { return host_.TranslateAccelerator(msg); }
  // Whether `w` is the pane's window or one inside it.
  bool Holds(HWND w) const { return host_.hwnd() && (w == host_.hwnd() || IsChild(host_.hwnd(), w)); }
  bool visible() const { return host_.visible(); }
  HWND hwnd() const { return host_.hwnd(); }

 private:
  void OnEvent(DISPID id, DISPPARAMS* p);
  bool IsOwnBrowser(IDispatch* d) const;
  static std::u16string LocationOf(IDispatch* browser);
  win::AxHost host_;
  BrowserEvents events_;
  int zoomPending_ = 0;  // a zoom the engine has not taken yet
};

}  // namespace tw::shell
