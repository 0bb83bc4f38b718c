#include "shell/main_window/win/browser_pane.h"

#include <exdisp.h>
#include <exdispid.h>

#include "common/win/text_win.h"

namespace tw::shell {

HRESULT BrowserPane::Create(HWND parent, const RECT& rc, BrowserEvents events) {
  events_ = std::move(events);
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
      // Arguments in reverse: [1] = ppDisp (by reference), [0] = Cancel (by reference).
      if (events_.newWindow2 && p->cArgs >= 2 && p->rgvarg[1].vt == (VT_DISPATCH | VT_BYREF) &&
          p->rgvarg[0].vt == (VT_BOOL | VT_BYREF)) {
        events_.newWindow2(p->rgvarg[1].ppdispVal, p->rgvarg[0].pboolVal);
      }
      break;
    case DISPID_DOWNLOADCOMPLETE:
      if (events_.downloadComplete) events_.downloadComplete();
      break;
    case DISPID_DOCUMENTCOMPLETE:
      if (events_.documentComplete) events_.documentComplete();
      break;
    default:
      break;
  }
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

std::u16string BrowserPane::LocationURL() {
  VARIANT v;
  VariantInit(&v);
  std::u16string out;
  if (SUCCEEDED(host_.Get(kLocationURL, &v)) && v.vt == VT_BSTR && v.bstrVal)
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

}  // namespace tw::shell
