#include "shell/main_window/win/browser_pane.h"

#include <exdisp.h>
#include <exdispid.h>
#include <docobj.h>

#include "common/win/com_ptr.h"
#include "common/win/text_win.h"

namespace tw::shell {

HRESULT BrowserPane::Create(HWND parent, const RECT& rc, BrowserEvents events, win::BrowserHostHooks hooks) {
  events_ = std::move(events);
  host_.SetBrowserHooks(std::move(hooks));
  return host_.Create(parent, rc, CLSID_WebBrowser, DIID_DWebBrowserEvents2,
                      [this](DISPID id, DISPPARAMS* p) { OnEvent(id, p); });
}

void BrowserPane::OnEvent(DISPID id, DISPPARAMS* p) {
  switch (id) {
    case DISPID_TITLECHANGE:
      if (events_.titleChange && p->cArgs >= 1) {
        const VARIANT& v = p->rgvarg[0];
        BSTR text = v.vt == VT_BSTR ? v.bstrVal : (v.vt == (VT_BSTR | VT_BYREF) && v.pbstrVal ? *v.pbstrVal : nullptr);
        events_.titleChange(text ? std::u16string(text, text + SysStringLen(text)) : std::u16string());
      }
      break;
    case DISPID_NEWWINDOW2:
    case DISPID_NEWWINDOW3: {
      // Arguments in reverse. NewWindow2: [1] = ppDisp, [0] = Cancel. NewWindow3: [4] = ppDisp,
      // [3] = Cancel, then dwFlags, bstrUrlContext and bstrUrl. Both by reference.
      const UINT disp = id == DISPID_NEWWINDOW3 ? 4 : 1;
      if (events_.newWindow && p->cArgs > disp && p->rgvarg[disp].vt == (VT_DISPATCH | VT_BYREF) &&
          p->rgvarg[disp - 1].vt == (VT_BOOL | VT_BYREF)) {
        events_.newWindow(p->rgvarg[disp].ppdispVal, p->rgvarg[disp - 1].pboolVal, id == DISPID_NEWWINDOW3);
      }
      break;
    }
    case DISPID_DOWNLOADCOMPLETE:
      if (events_.downloadComplete) events_.downloadComplete();
      break;
    case DISPID_DOCUMENTCOMPLETE:
      // Arguments in reverse: [1] = pDisp, the browser (the pane's or a frame's) of the document.
      if (p->cArgs >= 2) {
        const VARIANT& v = p->rgvarg[1];
        IDispatch* d = v.vt == VT_DISPATCH ? v.pdispVal
                                           : (v.vt == (VT_DISPATCH | VT_BYREF) && v.ppdispVal ? *v.ppdispVal : nullptr);
        const bool topLevel = IsOwnBrowser(d);
        // A zoom the engine refused while it had no document yet is given to its first one.
        if (topLevel && zoomPending_ != 0) SetZoom(zoomPending_);
        if (events_.documentComplete) events_.documentComplete(topLevel);
      }
      break;
    case DISPID_BEFORENAVIGATE2:
      // Arguments in reverse: [6] = pDisp, [5] = URL (a VARIANT by reference), [0] = Cancel.
      if (events_.beforeNavigate2 && p->cArgs >= 7 && p->rgvarg[0].vt == (VT_BOOL | VT_BYREF) &&
          p->rgvarg[0].pboolVal) {
        const VARIANT* u = &p->rgvarg[5];
        if (u->vt == (VT_VARIANT | VT_BYREF) && u->pvarVal) u = u->pvarVal;
        BSTR text = u->vt == VT_BSTR ? u->bstrVal : (u->vt == (VT_BSTR | VT_BYREF) && u->pbstrVal ? *u->pbstrVal : nullptr);
        const VARIANT& b = p->rgvarg[6];
        IDispatch* frame = b.vt == VT_DISPATCH ? b.pdispVal
                                               : (b.vt == (VT_DISPATCH | VT_BYREF) && b.ppdispVal ? *b.ppdispVal : nullptr);
        if (text && events_.beforeNavigate2(std::u16string(text, text + SysStringLen(text)), LocationOf(frame)))
          *p->rgvarg[0].pboolVal = VARIANT_TRUE;
      }
      break;
    default:
      break;
  }
}

bool BrowserPane::IsOwnBrowser(IDispatch* d) const {
  IDispatch* own = host_.dispatch();
  if (!d || !own) return false;
  // Identity is the IUnknown a COM object answers, whichever interface was handed over.
  win::ComPtr<IUnknown> a, b;
  if (FAILED(d->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a))) ||
      FAILED(own->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b))))
    return false;
  return a.Get() == b.Get();
}

HRESULT BrowserPane::Navigate(const std::u16string& address) {
  VARIANT arg;
  arg.vt = VT_BSTR;
  arg.bstrVal = win::ToBstr(address);
  HRESULT hr = host_.Call(kNavigate, &arg, 1);
  VariantClear(&arg);
  return hr;
}

HRESULT BrowserPane::Refresh() { return host_.Call(kRefresh); }

std::u16string BrowserPane::LocationOf(IDispatch* browser) {
  // The pane's or a frame's browser object: both answer LocationURL.
  std::u16string out;
  if (!browser) return out;
  VARIANT v;
  VariantInit(&v);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (SUCCEEDED(browser->Invoke(kLocationURL, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &v, nullptr,
                                nullptr)) &&
      v.vt == VT_BSTR && v.bstrVal)
    out.assign(v.bstrVal, v.bstrVal + SysStringLen(v.bstrVal));
  VariantClear(&v);
  return out;
}

IDispatch* BrowserPane::Document() {
  VARIANT v;
  VariantInit(&v);
  IDispatch* doc = nullptr;
  if (SUCCEEDED(host_.Get(kDocument, &v)) && v.vt == VT_DISPATCH && v.pdispVal) {
    doc = v.pdispVal;
    doc->AddRef();
  }
  VariantClear(&v);
  return doc;
}

HRESULT BrowserPane::SetRegisterAsBrowser(bool on) {
  VARIANT v;
  v.vt = VT_BOOL;
  v.boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
  return host_.Put(kRegisterAsBrowser, v);
}

HRESULT BrowserPane::SetZoom(int percent) {
  // ExecWB(OLECMDID_OPTICAL_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, percent), arguments in reverse. The
  // panes ask for the engine's DPI-aware behaviour, under which the number is the page's scale.
  VARIANT args[3];
  for (VARIANT& a : args) {
    VariantInit(&a);
    a.vt = VT_I4;
  }
  args[2].lVal = OLECMDID_OPTICAL_ZOOM;
  args[1].lVal = OLECMDEXECOPT_DONTPROMPTUSER;
  args[0].lVal = percent;
  const HRESULT hr = host_.Call(kExecWB, args, 3);
  zoomPending_ = FAILED(hr) ? percent : 0;
  return hr;
}

}  // namespace tw::shell
