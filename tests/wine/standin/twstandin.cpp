// Test-only in-process server: a scripted browser registered under the WebBrowser class id in a
// test prefix, so the shell's browser panes can be driven end to end where no HTML engine exists.
// By default it behaves as the platform's engine is documented to behave (docs/BROWSER-ENGINE.md).
//
// Each instance
//   - is an in-place control (IOleObject, IOleInPlaceObject, IOleInPlaceActiveObject,
//     IPersistStreamInit) that shows a child window with its current address inside the
//     container's window;
//   - answers the dispatch ids the shell calls: Navigate 104, Refresh -550, Refresh2 105,
//     LocationURL 211 (get), Document 203 (get), RegisterAsBrowser 552 (get/put), and ExecWB 502
//     with OLECMDID_OPTICAL_ZOOM and a percent from 10 to 1000, logged as "zoom" "<percent>";
//   - navigates as the engine does: BeforeNavigate2 (the container may cancel), then, once the
//     call has returned, DownloadBegin, NavigateComplete2 (a new document), TitleChange with the
//     address, each frame's BeforeNavigate2 / NavigateComplete2 / DocumentComplete with that
//     frame's own browser object, DownloadComplete, and last DocumentComplete with its own. A
//     newer navigation drops an unfinished one. A "javascript:" address runs in the page that is
//     shown, which stays: no notification. Refresh raises only DownloadBegin and DownloadComplete,
//     and the document stays;
//   - offers each key-down given to its TranslateAccelerator to the container's
//     IDocHostUIHandler::TranslateAccelerator first and, unless that answers S_OK, acts on the keys
//     the engine acts on: F5 and Ctrl+R refresh, Backspace and Alt+Left go back, Alt+Right forward,
//     Ctrl+N opens a window of its own, Ctrl+O and Ctrl+L the open-address dialog, Ctrl+P print;
//     it logs every message offered ("<message> <key>") and "accelerator" "<action> host|engine";
//   - owns a hidden top-level cue window captioned "TwStandin <n>" (n counts the instances of the
//     process from 1). A test sends it WM_SETTEXT (or WM_COPYDATA) with one command:
//       title <text>        TitleChange(text): the page's own title, parsed
//       newwindow <url>     NewWindow3(&browser, &cancel, flags, context, url), which the engine
//                           raises instead of NewWindow2; a browser handed back is told to Navigate(url)
//       newwindow2 <url>    NewWindow2(&browser, &cancel) and then NewWindow3 for the same window,
//                           as some engines raise both; the browser the last one handed back navigates
//       download            DownloadComplete
//       complete            DocumentComplete(this, current address), as a page's own script-made load
//       load <url>          a link followed in the page: a navigation as above; a link in a scheme
//                           the engine hands to another program makes it ask the player first
//                           (logged as "dialog" "protocol <url>"), then open it with the system shell
//       frameload <doc> <url>  a link followed in a frame of the page whose document is at <doc>
//                           (its browser object answers LocationURL with it): BeforeNavigate2 with
//                           that frame's browser object, then as for load
//       frames <n>          the pages this browser loads from now on have n frames
//       stall, resume       a slow page: navigations take their first step only, until resumed
//       scripterror         a script error: the engine asks its container's IOleCommandTarget
//                           (OLECMDID_SHOWSCRIPTERROR) and shows its dialog ("dialog" "scripterror")
//                           unless the answer is S_OK; while script debugging is on ("Disable Script
//                           Debugger" "no" under Main of the host's override key, else of the
//                           user's settings) it asks nobody and offers its debugger ("dialog"
//                           "scriptdebugger")
//       key <vk> [ctrl] [alt]  a key press inside the page: the keyboard state gets the modifiers
//                           and the key-down is posted to the browser's window
//       contextmenu         the document's oncontextmenu; the sink's answer is logged
//     The command runs before the message returns (what a navigation does after its first step
//     follows from the message loop).
//   - asks its client site for the host's user-interface handler and logs what it answers:
//     "hostinfo" "<GetHostInfo flags> <ShowContextMenu result>", both in hex, or "none"; and for
//     the key of the host's own settings, IDocHostUIHandler2::GetOverrideKeyPath ("overridekey");
//   - appends one line per call it receives to the UTF-8 file named by the environment variable
//     TW_STANDIN_LOG: "<n>\t<what>\t<detail>". Whatever the engine would show the player is logged
//     as "dialog" "<which>".
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <ocidl.h>
#include <mshtmhst.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "common/win/com_dispatch.h"
#include "common/win/com_events.h"
#include "common/win/com_object.h"
#include "common/win/com_ptr.h"
#include "common/win/com_server.h"

namespace {

using tw::win::ComPtr;

// {8856F961-340A-11D0-A96B-00C04FD705A2}
constexpr CLSID kClsidWebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
// DWebBrowserEvents2 {34A715A0-6587-11D0-924A-0020AFC7AC4D}
constexpr IID kBrowserEvents = {0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};
// HTMLDocumentEvents2 {3050F613-98B5-11CF-BB82-00AA00BDCE0B}
constexpr IID kDocumentEvents = {0x3050F613, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

constexpr DISPID kNavigate = 104, kRefresh = -550, kRefresh2 = 105, kLocationURL = 211, kDocument = 203,
                 kRegisterAsBrowser = 552, kExecWB = 502;
constexpr DISPID kTitleChange = 113, kNewWindow2 = 251, kNewWindow3 = 273, kDownloadBegin = 106, kDownloadComplete = 104,
                 kDocumentComplete = 259, kBeforeNavigate2 = 250, kNavigateComplete2 = 252;
constexpr DISPID kOnContextMenu = 1023;
// The engine's command group for questions to its host, and the one it names its own commands in.
constexpr GUID kDocHostCommandHandler = {0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0x00, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};
constexpr GUID kCgidMshtml = {0xde4ba900, 0x59ca, 0x11cf, {0x95, 0x92, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// Posted to the cue window: the rest of navigation `wParam`, or of a refresh.
constexpr UINT kFinishNavigation = WM_APP + 1, kFinishRefresh = WM_APP + 2;

constexpr wchar_t kCueClass[] = L"TwStandinCue";
constexpr wchar_t kViewClass[] = L"TwStandinView";
constexpr wchar_t kSavedServer[] = L"TwStandinSaved";
constexpr wchar_t kSavedThreading[] = L"TwStandinSavedThreading";

HMODULE g_module = nullptr;
LONG g_instances = 0;

std::string Utf8(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

void Log(LONG instance, const wchar_t* what, const std::wstring& detail = std::wstring()) {
  wchar_t path[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(L"TW_STANDIN_LOG", path, MAX_PATH)) return;
  HANDLE f = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  std::string line = std::to_string(instance) + "\t" + Utf8(what) + "\t" + Utf8(detail) + "\n";
  DWORD put = 0;
  WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &put, nullptr);
  CloseHandle(f);
}

std::wstring HwndText(HWND h) { return std::to_wstring(static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(h))); }

// The page's document: only its event source, so a container can connect to oncontextmenu.
// An IDispatch with no members: objects whose identity or connection points are all that matters.
class MemberlessDispatch : public IDispatch {
 public:
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
};

class StandinDocument : public MemberlessDispatch, public IConnectionPointContainer {
 public:
  StandinDocument() : events_(static_cast<IDispatch*>(this), this, kDocumentEvents) {}
  virtual ~StandinDocument() { events_.DisconnectAll(); }

  static const tw::win::QiEntry* QiTable() {
    static const tw::win::QiEntry table[] = {
        TW_QI_ENTRY(StandinDocument, IDispatch),
        TW_QI_ENTRY(StandinDocument, IConnectionPointContainer),
        {nullptr, 0},
    };
    return table;
  }

  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override {
    tw::win::ConnectionPoint* points[] = {&events_};
    return tw::win::EnumPoints(points, 1, out);
  }
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
    tw::win::ConnectionPoint* points[] = {&events_};
    return tw::win::FindPoint(points, 1, iid, out);
  }

  // Raises oncontextmenu at every connected sink; describes what the last one answered.
  std::wstring ContextMenu() {
    ComPtr<IEnumConnections> connections;
    if (FAILED(events_.EnumConnections(&connections))) return L"error";
    std::wstring answer = L"nosink";
    CONNECTDATA cd{};
    while (connections->Next(1, &cd, nullptr) == S_OK) {
      ComPtr<IDispatch> sink;
      if (cd.pUnk && SUCCEEDED(cd.pUnk->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&sink)))) {
        VARIANT result;
        VariantInit(&result);
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        HRESULT hr = sink->Invoke(kOnContextMenu, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result,
                                  nullptr, nullptr);
        if (FAILED(hr)) answer = L"failed";
        else if (result.vt == VT_BOOL) answer = result.boolVal ? L"true" : L"false";
        else if (result.vt == VT_EMPTY) answer = L"empty";
        else answer = L"vt" + std::to_wstring(result.vt);
        VariantClear(&result);
      }
      if (cd.pUnk) cd.pUnk->Release();
    }
    return answer;
  }

 private:
  tw::win::ConnectionPoint events_;
};

// A frame's own browser object: its identity, and the address of its document (LocationURL).
class StandinFrame : public MemberlessDispatch {
 public:
  static const tw::win::QiEntry* QiTable() {
    static const tw::win::QiEntry table[] = {
        TW_QI_ENTRY(StandinFrame, IDispatch),
        {nullptr, 0},
    };
    return table;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id != kLocationURL || !(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocStringLen(location.c_str(), static_cast<UINT>(location.size()));
    return S_OK;
  }
  std::wstring location;
};

bool EngineScheme(const std::wstring& url) {
  // What the engine loads itself; any other scheme belongs to a program registered for it.
  for (const wchar_t* scheme : {L"http:", L"https:", L"file:", L"about:", L"res:", L"javascript:"})
    if (_wcsnicmp(url.c_str(), scheme, wcslen(scheme)) == 0) return true;
  // A drive letter or a UNC path is a file.
  return (url.size() >= 2 && url[1] == L':') || url.compare(0, 2, L"\\\\") == 0;
}

class StandinBrowser : public IOleObject,
                       public IOleInPlaceObject,
                       public IOleInPlaceActiveObject,
                       public IPersistStreamInit,
                       public IDispatch,
                       public IConnectionPointContainer {
 public:
  StandinBrowser()
      : number_(InterlockedIncrement(&g_instances)), events_(static_cast<IDispatch*>(this), this, kBrowserEvents) {
    Log(number_, L"create");
    std::wstring caption = L"TwStandin " + std::to_wstring(number_);
    cue_ = CreateWindowExW(0, kCueClass, caption.c_str(), WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, g_module, nullptr);
    if (cue_) SetWindowLongPtrW(cue_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  virtual ~StandinBrowser() {
    Log(number_, L"release");
    DestroyCue();
    DestroyView();
    events_.DisconnectAll();
  }

  static const tw::win::QiEntry* QiTable() {
    static const tw::win::QiEntry table[] = {
        TW_QI_ENTRY(StandinBrowser, IDispatch),
        TW_QI_ENTRY(StandinBrowser, IOleObject),
        TW_QI_ENTRY_AS(StandinBrowser, IID_IOleWindow, IOleInPlaceObject),
        TW_QI_ENTRY(StandinBrowser, IOleInPlaceObject),
        TW_QI_ENTRY(StandinBrowser, IOleInPlaceActiveObject),
        TW_QI_ENTRY_AS(StandinBrowser, IID_IPersist, IPersistStreamInit),
        TW_QI_ENTRY(StandinBrowser, IPersistStreamInit),
        TW_QI_ENTRY(StandinBrowser, IConnectionPointContainer),
        {nullptr, 0},
    };
    return table;
  }

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override {
    Log(number_, L"clientsite", site ? L"set" : L"null");
    site_ = ComPtr<IOleClientSite>(site);
    if (site) {
      LogHostInfo();
      ReadOverrideKey();
    }
    return S_OK;
  }
  STDMETHODIMP GetClientSite(IOleClientSite** site) override {
    if (!site) return E_POINTER;
    *site = site_.Get();
    if (*site) (*site)->AddRef();
    return S_OK;
  }
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP Close(DWORD) override {
    Log(number_, L"close");
    DestroyView();
    DestroyCue();
    return S_OK;
  }
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT pos) override {
    if (verb != OLEIVERB_INPLACEACTIVATE && verb != OLEIVERB_SHOW && verb != OLEIVERB_UIACTIVATE)
      return OLEOBJ_S_INVALIDVERB;
    if (site && !site_) site_ = ComPtr<IOleClientSite>(site);
    if (!view_) {
      RECT r = pos ? *pos : RECT{0, 0, 0, 0};
      view_ = CreateWindowExW(0, kViewClass, L"", WS_CHILD | WS_VISIBLE, r.left, r.top, r.right - r.left,
                              r.bottom - r.top, parent, nullptr, g_module, nullptr);
      if (!view_) return E_FAIL;
      SetWindowLongPtrW(view_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      ComPtr<IOleInPlaceSite> inPlace;
      if (site_ && SUCCEEDED(site_.As(IID_IOleInPlaceSite, inPlace))) inPlace->OnInPlaceActivate();
      Log(number_, L"activate", HwndText(parent));
    }
    return S_OK;
  }
  STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
  STDMETHODIMP Update() override { return S_OK; }
  STDMETHODIMP IsUpToDate() override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID* id) override {
    if (!id) return E_POINTER;
    *id = kClsidWebBrowser;
    return S_OK;
  }
  STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return OLE_S_USEREG; }
  STDMETHODIMP SetExtent(DWORD, SIZEL* size) override {
    if (size) extent_ = *size;
    return S_OK;
  }
  STDMETHODIMP GetExtent(DWORD, SIZEL* size) override {
    if (!size) return E_POINTER;
    *size = extent_;
    return S_OK;
  }
  STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override {
    if (!status) return E_POINTER;
    // What the platform's browser reports: the site comes before the state.
    *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
              OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
    return S_OK;
  }
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleWindow / IOleInPlaceObject
  STDMETHODIMP GetWindow(HWND* w) override {
    if (!w) return E_POINTER;
    *w = view_;
    return view_ ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InPlaceDeactivate() override {
    Log(number_, L"deactivate");
    DestroyView();
    ComPtr<IOleInPlaceSite> inPlace;
    if (site_ && SUCCEEDED(site_.As(IID_IOleInPlaceSite, inPlace))) inPlace->OnInPlaceDeactivate();
    return S_OK;
  }
  STDMETHODIMP UIDeactivate() override { return S_OK; }
  STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT) override {
    if (view_ && pos) MoveWindow(view_, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
    return S_OK;
  }
  STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

  // IOleInPlaceActiveObject
  STDMETHODIMP TranslateAccelerator(LPMSG msg) override {
    if (!msg) return S_FALSE;
    Log(number_, L"translateaccelerator", std::to_wstring(msg->message) + L" " + std::to_wstring(msg->wParam));
    HRESULT hr = EngineKey(*msg);
    if (keysSet_ && (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN)) {
      SetKeyboardState(savedKeys_);  // the cued key press is over
      keysSet_ = false;
    }
    return hr;
  }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

  // IPersistStreamInit
  STDMETHODIMP GetClassID(CLSID* id) override { return GetUserClassID(id); }
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(LPSTREAM) override { return S_OK; }
  STDMETHODIMP Save(LPSTREAM, BOOL) override { return S_OK; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override {
    if (size) size->QuadPart = 0;
    return S_OK;
  }
  STDMETHODIMP InitNew() override {
    Log(number_, L"initnew");
    return S_OK;
  }

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    static const tw::win::DispName table[] = {
        {L"Navigate", kNavigate},           {L"Refresh", kRefresh},   {L"Refresh2", kRefresh2},
        {L"LocationURL", kLocationURL},     {L"Document", kDocument},
        {L"RegisterAsBrowser", kRegisterAsBrowser}, {L"ExecWB", kExecWB},
    };
    return tw::win::IdsFromTable(table, sizeof table / sizeof table[0], names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT* argErr) override {
    if (result) VariantInit(result);
    switch (id) {
      case kNavigate: {
        tw::win::Variant address;
        HRESULT hr = tw::win::ReadArg(params, 0, VT_BSTR, &address, argErr);
        if (FAILED(hr)) return hr;
        std::wstring text(address.bstrVal ? address.bstrVal : L"", SysStringLen(address.bstrVal));
        Log(number_, L"navigate", text);
        // A script address runs in the page that is shown, which stays.
        if (text.compare(0, 11, L"javascript:") != 0) BeginNavigation(text);
        return S_OK;
      }
      case kRefresh:
      case kRefresh2:
        Refresh();
        return S_OK;
      case kLocationURL:
        if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocStringLen(location_.c_str(), static_cast<UINT>(location_.size()));
        return S_OK;
      case kDocument: {
        if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
        Log(number_, L"document");
        if (!document_) {
          HRESULT hr = tw::win::ComObject<StandinDocument>::Create(IID_IDispatch, reinterpret_cast<void**>(&document_));
          if (FAILED(hr)) return hr;
        }
        result->vt = VT_DISPATCH;
        result->pdispVal = document_.Get();
        result->pdispVal->AddRef();
        return S_OK;
      }
      case kRegisterAsBrowser:
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
          tw::win::Variant value;
          HRESULT hr = tw::win::ReadPutValue(params, VT_BOOL, &value, argErr);
          if (FAILED(hr)) return hr;
          registerAsBrowser_ = value.boolVal != VARIANT_FALSE;
          Log(number_, L"registerasbrowser", registerAsBrowser_ ? L"true" : L"false");
          return S_OK;
        }
        if (!result) return DISP_E_MEMBERNOTFOUND;
        result->vt = VT_BOOL;
        result->boolVal = registerAsBrowser_ ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
      case kExecWB: {
        // ExecWB(cmdID, cmdexecopt, pvaIn, pvaOut): only the page zoom, a percent from 10 to 1000.
        tw::win::Variant command, percent;
        HRESULT hr = tw::win::ReadArg(params, 0, VT_I4, &command, argErr);
        if (SUCCEEDED(hr)) hr = tw::win::ReadOptionalArg(params, 2, VT_I4, &percent, argErr);
        if (FAILED(hr)) return hr;
        if (command.lVal != 63 /* OLECMDID_OPTICAL_ZOOM */ || percent.vt != VT_I4) return OLECMDERR_E_NOTSUPPORTED;
        if (percent.lVal < 10 || percent.lVal > 1000) return E_INVALIDARG;
        Log(number_, L"zoom", std::to_wstring(percent.lVal));
        return S_OK;
      }
      default:
        Log(number_, L"unknown", std::to_wstring(id));
        return DISP_E_MEMBERNOTFOUND;
    }
  }

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override {
    tw::win::ConnectionPoint* points[] = {&events_};
    return tw::win::EnumPoints(points, 1, out);
  }
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
    tw::win::ConnectionPoint* points[] = {&events_};
    return tw::win::FindPoint(points, 1, iid, out);
  }

  // One cue from the test; runs to its end before the cue window's message returns.
  void Cue(const std::wstring& command) {
    // The shell may release this object from inside a notification; keep it alive meanwhile.
    AddRefSelf();
    std::wstring verb = command.substr(0, command.find(L' '));
    std::wstring rest = command.size() > verb.size() ? command.substr(verb.size() + 1) : std::wstring();
    Log(number_, L"cue", command);
    if (verb == L"title") {
      VARIANT text;
      text.vt = VT_BSTR;
      text.bstrVal = SysAllocStringLen(rest.c_str(), static_cast<UINT>(rest.size()));
      events_.Fire(kTitleChange, &text, 1);
      SysFreeString(text.bstrVal);
    } else if (verb == L"newwindow" || verb == L"newwindow2") {
      IDispatch* browser = nullptr;
      VARIANT_BOOL cancel = VARIANT_FALSE;
      if (verb == L"newwindow2") {
        VARIANT args[2];
        args[0].vt = VT_DISPATCH | VT_BYREF;
        args[0].ppdispVal = &browser;
        args[1].vt = VT_BOOL | VT_BYREF;
        args[1].pboolVal = &cancel;
        events_.Fire(kNewWindow2, args, 2);
        Log(number_, L"newwindow2", std::wstring(L"handed=") + (browser ? L"1" : L"0") +
                                        L" cancel=" + (cancel ? L"1" : L"0"));
      }
      if (!cancel) {
        // NewWindow3(ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl); the pointer NewWindow2
        // received, if any, is what the host finds in ppDisp.
        VARIANT args[5];
        args[0].vt = VT_DISPATCH | VT_BYREF;
        args[0].ppdispVal = &browser;
        args[1].vt = VT_BOOL | VT_BYREF;
        args[1].pboolVal = &cancel;
        args[2].vt = VT_I4;
        args[2].lVal = 0x6;  // NWMF_USERINITED | NWMF_FIRST
        args[3].vt = VT_BSTR;
        args[3].bstrVal = SysAllocStringLen(location_.c_str(), static_cast<UINT>(location_.size()));
        args[4].vt = VT_BSTR;
        args[4].bstrVal = SysAllocStringLen(rest.c_str(), static_cast<UINT>(rest.size()));
        events_.Fire(kNewWindow3, args, 5);
        SysFreeString(args[3].bstrVal);
        SysFreeString(args[4].bstrVal);
      }
      Log(number_, L"newwindow", std::wstring(L"handed=") + (browser ? L"1" : L"0") +
                                     L" cancel=" + (cancel ? L"1" : L"0"));
      if (browser && !cancel) {
        // The new window's page goes to the browser handed back.
        VARIANT address;
        address.vt = VT_BSTR;
        address.bstrVal = SysAllocStringLen(rest.c_str(), static_cast<UINT>(rest.size()));
        tw::win::InvokeById(browser, kNavigate, DISPATCH_METHOD, &address, 1, nullptr);
        SysFreeString(address.bstrVal);
      }
      if (browser) browser->Release();
    } else if (verb == L"download") {
      events_.Fire(kDownloadComplete);
    } else if (verb == L"complete") {
      FireWithUrl(kDocumentComplete, static_cast<IDispatch*>(this), location_);
    } else if (verb == L"load") {
      FollowLink(rest);
    } else if (verb == L"frameload") {
      // A frame of the page, showing the document at the first word, follows the link after it.
      ComPtr<IDispatch> frame;
      const std::size_t space = rest.find(L' ');
      if (space != std::wstring::npos &&
          SUCCEEDED(tw::win::ComObject<StandinFrame>::Create(IID_IDispatch, reinterpret_cast<void**>(&frame)))) {
        static_cast<StandinFrame*>(frame.Get())->location = rest.substr(0, space);
        FollowLink(rest.substr(space + 1), frame.Get());
      } else {
        Log(number_, L"badcue", command);
      }
    } else if (verb == L"stall") {
      stalled_ = true;
    } else if (verb == L"resume") {
      stalled_ = false;
      if (held_ == serial_ && held_) PostMessageW(cue_, kFinishNavigation, held_, 0);
      held_ = 0;
    } else if (verb == L"frames") {
      frames_ = _wtoi(rest.c_str());
    } else if (verb == L"scripterror") {
      ScriptError();
    } else if (verb == L"key") {
      PressKey(rest);
    } else if (verb == L"contextmenu") {
      Log(number_, L"contextmenu", document_ ? static_cast<StandinDocument*>(document_.Get())->ContextMenu()
                                             : std::wstring(L"nodocument"));
    } else {
      Log(number_, L"badcue", command);
    }
    Log(number_, L"done", verb);
    ReleaseSelf();
  }

  void PaintView(HWND w) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    RECT r;
    GetClientRect(w, &r);
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    std::wstring text = L"TwStandin " + std::to_wstring(number_) + L"  " + location_;
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_LEFT | DT_TOP | DT_NOPREFIX | DT_WORDBREAK);
    EndPaint(w, &ps);
  }

  void CueWindowGone() { cue_ = nullptr; }
  void ViewGone() { view_ = nullptr; }

 public:
  // The rest of navigation `serial`, once the call that began it has returned.
  void FinishNavigation(unsigned serial) {
    if (serial != serial_) return;  // a newer navigation took its place
    if (stalled_) {
      held_ = serial;  // a slow page: it goes on when the test says so
      return;
    }
    AddRefSelf();
    events_.Fire(kDownloadBegin);
    document_.Reset();  // the new page's document; made when first asked for
    FireWithUrl(kNavigateComplete2, static_cast<IDispatch*>(this), location_);
    VARIANT title;
    title.vt = VT_BSTR;
    title.bstrVal = SysAllocStringLen(location_.c_str(), static_cast<UINT>(location_.size()));
    events_.Fire(kTitleChange, &title, 1);  // the address stands for the title until it is parsed
    SysFreeString(title.bstrVal);
    for (int i = 0; i < frames_ && serial == serial_; ++i) {
      ComPtr<IDispatch> frame;
      if (FAILED(tw::win::ComObject<StandinFrame>::Create(IID_IDispatch, reinterpret_cast<void**>(&frame)))) break;
      std::wstring url = location_ + L"#frame" + std::to_wstring(i + 1);
      VARIANT_BOOL cancel = VARIANT_FALSE;
      FireBeforeNavigate(frame.Get(), url, &cancel);
      if (cancel) continue;
      static_cast<StandinFrame*>(frame.Get())->location = url;
      FireWithUrl(kNavigateComplete2, frame.Get(), url);
      Log(number_, L"framecomplete", url);  // before the notification, so what it causes follows
      FireWithUrl(kDocumentComplete, frame.Get(), url);
    }
    if (serial == serial_) {
      events_.Fire(kDownloadComplete);
      Log(number_, L"documentcomplete", location_);
      FireWithUrl(kDocumentComplete, static_cast<IDispatch*>(this), location_);
    }
    ReleaseSelf();
  }
  void FinishRefresh() {
    AddRefSelf();
    events_.Fire(kDownloadBegin);
    events_.Fire(kDownloadComplete);
    Log(number_, L"refreshed", location_);
    ReleaseSelf();
  }

 private:
  // ConnectionPoint::Fire takes the arguments in their declared order.
  void FireWithUrl(DISPID id, IDispatch* browser, const std::wstring& address) {
    // DocumentComplete and NavigateComplete2: (pDisp, URL).
    VARIANT url;
    url.vt = VT_BSTR;
    url.bstrVal = SysAllocStringLen(address.c_str(), static_cast<UINT>(address.size()));
    VARIANT args[2];
    args[0].vt = VT_DISPATCH;
    args[0].pdispVal = browser;
    args[1].vt = VT_VARIANT | VT_BYREF;
    args[1].pvarVal = &url;
    events_.Fire(id, args, 2);
    VariantClear(&url);
  }

  void FireBeforeNavigate(IDispatch* browser, const std::wstring& address, VARIANT_BOOL* cancel) {
    // BeforeNavigate2(pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel).
    VARIANT url, empty[4];
    url.vt = VT_BSTR;
    url.bstrVal = SysAllocStringLen(address.c_str(), static_cast<UINT>(address.size()));
    VARIANT args[7];
    args[0].vt = VT_DISPATCH;
    args[0].pdispVal = browser;
    args[1].vt = VT_VARIANT | VT_BYREF;
    args[1].pvarVal = &url;
    for (int i = 0; i < 4; ++i) {
      VariantInit(&empty[i]);
      args[2 + i].vt = VT_VARIANT | VT_BYREF;
      args[2 + i].pvarVal = &empty[i];
    }
    args[6].vt = VT_BOOL | VT_BYREF;
    args[6].pboolVal = cancel;
    events_.Fire(kBeforeNavigate2, args, 7);
    VariantClear(&url);
  }

  // The first step of a navigation, inside the call that asked for it; the rest follows.
  bool BeginNavigation(const std::wstring& address) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    FireBeforeNavigate(static_cast<IDispatch*>(this), address, &cancel);
    if (cancel) {
      Log(number_, L"cancelled", address);
      return false;
    }
    location_ = address;
    history_.push_back(address);
    if (view_) InvalidateRect(view_, nullptr, TRUE);
    ++serial_;
    if (cue_) PostMessageW(cue_, kFinishNavigation, serial_, 0);
    return true;
  }

  void Refresh() {
    Log(number_, L"refresh");
    if (cue_) PostMessageW(cue_, kFinishRefresh, 0, 0);
  }

  // A link followed in the page, or with `frame` in a frame of it.
  void FollowLink(const std::wstring& address, IDispatch* frame = nullptr) {
    if (EngineScheme(address) && !frame) {
      BeginNavigation(address);
      return;
    }
    VARIANT_BOOL cancel = VARIANT_FALSE;
    FireBeforeNavigate(frame ? frame : static_cast<IDispatch*>(this), address, &cancel);
    if (!cancel && EngineScheme(address)) {
      Log(number_, L"framenavigated", address);  // the frame loads it; nothing of it is modelled further
      return;
    }
    if (cancel) {
      Log(number_, L"cancelled", address);
      return;
    }
    // The engine asks before it starts another program; the player here says yes.
    Log(number_, L"dialog", L"protocol " + address);
    ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }

  // The engine's settings: the user's (HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer),
  // where the host's override key (read when the site is set) does not say otherwise.
  std::wstring Setting(const wchar_t* subkey, const wchar_t* name) {
    std::vector<std::wstring> keys;
    if (!overrideKey_.empty()) keys.push_back(overrideKey_ + L"\\" + subkey);
    keys.push_back(std::wstring(L"Software\\Microsoft\\Internet Explorer\\") + subkey);
    for (const std::wstring& key : keys) {
      wchar_t value[64] = {};
      DWORD size = sizeof value - sizeof(wchar_t);
      if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS)
        return value;
    }
    return L"";
  }

  void ScriptError() {
    // With script debugging on, the engine does not ask its container: it offers its debugger.
    if (_wcsicmp(Setting(L"Main", L"Disable Script Debugger").c_str(), L"no") == 0) {
      Log(number_, L"dialog", L"scriptdebugger");
      return;
    }
    ComPtr<IOleCommandTarget> target;
    HRESULT hr = E_NOINTERFACE;
    VARIANT out;
    VariantInit(&out);
    if (site_ && SUCCEEDED(site_.As(IID_IOleCommandTarget, target)))
      hr = target->Exec(&kDocHostCommandHandler, OLECMDID_SHOWSCRIPTERROR, 0, nullptr, &out);
    if (hr == S_OK)
      Log(number_, L"scripterror", std::wstring(L"handled continue=") +
                                       (out.vt == VT_BOOL && out.boolVal ? L"1" : L"0"));
    else
      Log(number_, L"dialog", L"scripterror");
    VariantClear(&out);
  }

  void PressKey(const std::wstring& rest) {
    UINT vk = static_cast<UINT>(_wtoi(rest.c_str()));
    bool ctrl = rest.find(L"ctrl") != std::wstring::npos, alt = rest.find(L"alt") != std::wstring::npos;
    if (!view_ || !vk) {
      Log(number_, L"badcue", L"key " + rest);
      return;
    }
    if (!keysSet_) GetKeyboardState(savedKeys_);
    BYTE keys[256];
    memcpy(keys, savedKeys_, sizeof keys);
    if (ctrl) keys[VK_CONTROL] = keys[VK_LCONTROL] = 0x80;
    if (alt) keys[VK_MENU] = keys[VK_LMENU] = 0x80;
    keys[vk] = 0x80;
    SetKeyboardState(keys);
    keysSet_ = true;
    LPARAM lp = 1 | (static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16) | (alt ? (1L << 29) : 0);
    PostMessageW(view_, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, lp);
  }

  // What the engine does with a key-down offered to it, after its container had the first say.
  HRESULT EngineKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return S_FALSE;
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    const bool alt = (msg.message == WM_SYSKEYDOWN && (msg.lParam & (1L << 29))) || GetKeyState(VK_MENU) < 0;
    const WPARAM k = msg.wParam;
    const wchar_t* action = nullptr;
    if (k == VK_F5 || (ctrl && k == 'R')) action = L"refresh";
    else if ((k == VK_BACK && !ctrl && !alt) || (alt && k == VK_LEFT)) action = L"back";
    else if (alt && k == VK_RIGHT) action = L"forward";
    else if (ctrl && !alt && k == 'N') action = L"newwindow";
    else if (ctrl && !alt && (k == 'O' || k == 'L')) action = L"open";
    else if (ctrl && !alt && k == 'P') action = L"print";
    ComPtr<IDocHostUIHandler> handler;
    if (site_ && SUCCEEDED(site_.As(__uuidof(IDocHostUIHandler), handler))) {
      MSG copy = msg;
      if (handler->TranslateAccelerator(&copy, &kCgidMshtml, 0) == S_OK) {
        if (action) Log(number_, L"accelerator", std::wstring(action) + L" host");
        return S_OK;
      }
    }
    if (!action) return S_FALSE;
    Log(number_, L"accelerator", std::wstring(action) + L" engine");
    std::wstring what = action;
    if (what == L"refresh") {
      Refresh();
    } else if (what == L"back") {
      if (history_.size() >= 2) {
        history_.pop_back();
        std::wstring previous = history_.back();
        history_.pop_back();
        BeginNavigation(previous);
      }
    } else if (what != L"forward") {
      Log(number_, L"dialog", what);  // a window of its own, the open-address or the print dialog
    }
    return S_OK;
  }

  void ReadOverrideKey() {
    overrideKey_.clear();
    ComPtr<IDocHostUIHandler2> handler;
    LPOLESTR key = nullptr;
    if (SUCCEEDED(site_.As(__uuidof(IDocHostUIHandler2), handler)) && handler->GetOverrideKeyPath(&key, 0) == S_OK &&
        key)
      overrideKey_ = key;
    CoTaskMemFree(key);
    Log(number_, L"overridekey", overrideKey_);
  }

  void LogHostInfo() {
    ComPtr<IDocHostUIHandler> handler;
    if (FAILED(site_.As(__uuidof(IDocHostUIHandler), handler))) {
      Log(number_, L"hostinfo", L"none");
      return;
    }
    DOCHOSTUIINFO info{};
    info.cbSize = sizeof info;
    handler->GetHostInfo(&info);
    POINT pt{0, 0};
    HRESULT menu = handler->ShowContextMenu(0, &pt, nullptr, nullptr);
    wchar_t text[40];
    swprintf(text, 40, L"0x%08lX 0x%08lX", static_cast<unsigned long>(info.dwFlags), static_cast<unsigned long>(menu));
    Log(number_, L"hostinfo", text);
  }

  void AddRefSelf() { static_cast<IDispatch*>(this)->AddRef(); }
  void ReleaseSelf() { static_cast<IDispatch*>(this)->Release(); }
  void DestroyCue() {
    if (cue_) {
      SetWindowLongPtrW(cue_, GWLP_USERDATA, 0);
      HWND w = cue_;
      cue_ = nullptr;
      DestroyWindow(w);
    }
  }
  void DestroyView() {
    if (view_) {
      SetWindowLongPtrW(view_, GWLP_USERDATA, 0);
      HWND w = view_;
      view_ = nullptr;
      DestroyWindow(w);
    }
  }

  LONG number_;
  tw::win::ConnectionPoint events_;
  ComPtr<IOleClientSite> site_;
  ComPtr<IDispatch> document_;
  HWND cue_ = nullptr;
  HWND view_ = nullptr;
  SIZEL extent_{0, 0};
  std::wstring location_;
  std::wstring overrideKey_;
  std::vector<std::wstring> history_;
  unsigned serial_ = 0, held_ = 0;
  bool stalled_ = false;
  int frames_ = 0;
  bool registerAsBrowser_ = false;
  BYTE savedKeys_[256] = {};
  bool keysSet_ = false;
};

StandinBrowser* FromWindow(HWND w) { return reinterpret_cast<StandinBrowser*>(GetWindowLongPtrW(w, GWLP_USERDATA)); }

LRESULT CALLBACK CueProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  StandinBrowser* browser = FromWindow(w);
  switch (msg) {
    case WM_SETTEXT:
      // A command, not a new caption: the caption keeps naming the instance.
      if (browser && lp) browser->Cue(reinterpret_cast<const wchar_t*>(lp));
      return TRUE;
    case WM_COPYDATA: {
      auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
      if (browser && data && data->lpData) {
        std::wstring command(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t));
        while (!command.empty() && command.back() == L'\0') command.pop_back();
        browser->Cue(command);
      }
      return TRUE;
    }
    case kFinishNavigation:
      if (browser) browser->FinishNavigation(static_cast<unsigned>(wp));
      return 0;
    case kFinishRefresh:
      if (browser) browser->FinishRefresh();
      return 0;
    case WM_NCDESTROY:
      if (browser) browser->CueWindowGone();
      break;
    default:
      break;
  }
  return DefWindowProcW(w, msg, wp, lp);
}

LRESULT CALLBACK ViewProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  StandinBrowser* browser = FromWindow(w);
  switch (msg) {
    case WM_PAINT:
      if (browser) {
        browser->PaintView(w);
        return 0;
      }
      break;
    case WM_NCDESTROY:
      if (browser) browser->ViewGone();
      break;
    default:
      break;
  }
  return DefWindowProcW(w, msg, wp, lp);
}

void RegisterClasses() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.hInstance = g_module;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  if (!GetClassInfoExW(g_module, kCueClass, &wc)) {
    wc.lpfnWndProc = CueProc;
    wc.lpszClassName = kCueClass;
    RegisterClassExW(&wc);
  }
  if (!GetClassInfoExW(g_module, kViewClass, &wc)) {
    wc.lpfnWndProc = ViewProc;
    wc.lpszClassName = kViewClass;
    RegisterClassExW(&wc);
  }
}

HRESULT CreateBrowser(REFIID iid, void** out) {
  RegisterClasses();
  return tw::win::ComObject<StandinBrowser>::Create(iid, out);
}

// Registration replaces whatever serves the class id and keeps it beside ours, so that
// unregistering gives the prefix its own browser back.
const std::wstring kServerKey = L"CLSID\\{8856F961-340A-11D0-A96B-00C04FD705A2}\\InprocServer32";

bool ReadClassesValue(const std::wstring& key, const wchar_t* name, std::wstring* value) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  wchar_t buf[1024] = {};
  DWORD size = sizeof buf - sizeof(wchar_t), type = 0;
  LONG rc = RegQueryValueExW(h, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  *value = buf;
  return true;
}

void DeleteClassesValue(const std::wstring& key, const wchar_t* name) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_SET_VALUE, &h) != ERROR_SUCCESS) return;
  RegDeleteValueW(h, name);
  RegCloseKey(h);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  static const tw::win::ServerClass classes[] = {
      {&kClsidWebBrowser, L"TwStandin.Browser", L"Scripted stand-in browser", CreateBrowser, true, 0},
  };
  return tw::win::GetClassObjectFromTable(classes, 1, clsid, iid, out);
}

STDAPI DllCanUnloadNow() {
  if (tw::win::ModuleLockCount() != 0) return S_FALSE;
  UnregisterClassW(kCueClass, g_module);
  UnregisterClassW(kViewClass, g_module);
  return S_OK;
}

STDAPI DllRegisterServer() {
  const std::wstring path = tw::win::ModulePath(g_module);
  if (path.empty()) return SELFREG_E_CLASS;
  std::wstring current, threading;
  bool had = ReadClassesValue(kServerKey, nullptr, &current);
  if (had && lstrcmpiW(current.c_str(), path.c_str()) != 0) {
    HRESULT hr = tw::win::SetClassesValue(kServerKey, kSavedServer, current);
    if (SUCCEEDED(hr) && ReadClassesValue(kServerKey, L"ThreadingModel", &threading))
      hr = tw::win::SetClassesValue(kServerKey, kSavedThreading, threading);
    if (FAILED(hr)) return SELFREG_E_CLASS;
  }
  HRESULT hr = tw::win::SetClassesValue(kServerKey, nullptr, path);
  if (SUCCEEDED(hr)) hr = tw::win::SetClassesValue(kServerKey, L"ThreadingModel", L"Apartment");
  return FAILED(hr) ? SELFREG_E_CLASS : S_OK;
}

STDAPI DllUnregisterServer() {
  const std::wstring path = tw::win::ModulePath(g_module);
  std::wstring current, saved, threading;
  if (!ReadClassesValue(kServerKey, nullptr, &current) || lstrcmpiW(current.c_str(), path.c_str()) != 0)
    return S_OK;  // not ours: leave it
  HRESULT hr;
  if (ReadClassesValue(kServerKey, kSavedServer, &saved)) {
    hr = tw::win::SetClassesValue(kServerKey, nullptr, saved);
    if (SUCCEEDED(hr) && ReadClassesValue(kServerKey, kSavedThreading, &threading))
      hr = tw::win::SetClassesValue(kServerKey, L"ThreadingModel", threading);
    DeleteClassesValue(kServerKey, kSavedServer);
    DeleteClassesValue(kServerKey, kSavedThreading);
  } else {
    // Nothing served the class before: the key was ours.
    hr = tw::win::DeleteClassesTree(L"CLSID\\{8856F961-340A-11D0-A96B-00C04FD705A2}");
  }
  return FAILED(hr) ? SELFREG_E_CLASS : S_OK;
}
