// Test driver for the download control Corvala.DFiles, bound late the way the shell and the
// updater bind it (ProgID, Invoke by dispatch id, events through the default source interface).
// Prints key=value lines (UTF-8) and one line per event in the order they arrive.
//
//   twdfiles get <url> <folder> <name> [wait] [follow] [norename] [cancel] [twice] [timeout=<s>]
//       downloads <url> into <folder><name>; `wait` calls BeginDownload(True); `follow` turns
//       FailOnRedirect off; `norename` turns RenameOnRedirect off; `cancel` cancels the transfer
//       once data has arrived; `twice` calls BeginDownload again while the first one runs;
//       `destroy` destroys the control once data has arrived, `destroy=<bytes>` once that much
//       has (then waits a second for stray events, and prints the private memory committed
//       before the start and after the control's end); `red` sets ForeColor to red;
//       `noprogress` turns ShowProgress off. Ends at DLComplete or DLCanceled and prints the
//       control's read-only properties and what its window shows: the colour inside and beyond
//       the bar at the first partial progress, and across it at the end.
//   twdfiles mouse <seconds>
//       shows the control at the screen's top-left corner (300 x 20 pixels), prints "ready=1" and
//       then every mouse event it raises with its arguments, until the release that follows a
//       Dblclick or <seconds> pass.
//   twdfiles api
//       dispatch ids by name, property defaults and the RenameOnRedirect read rule, refusals of
//       BeginDownload without an address or folder, SetFileName joins, colours put as unsigned
//       numbers and as doubles, property-bag saving, and loading a bag that lacks most keys
//       (then saving that control and loading its bag into a third).
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

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

using twd::Bool;
using twd::Number;
using twd::Out;
using twd::Put;
using twd::PutHex;
using twd::Str;
using twd::Utf8;

constexpr DISPID P = 0x68030000, M = 0x60030000;
constexpr DISPID kShowProgress = P + 0, kRenameOnRedirect = P + 1, kFailOnRedirect = P + 2, kSaveFilePath = P + 3,
                 kSaveFileName = P + 4, kFileUrl = P + 5, kFileSize = P + 6, kRedirectFile = P + 7,
                 kMIMEType = P + 8, kConnectionAddress = P + 9, kCacheFile = P + 10, kBytesRead = P + 11,
                 kForeColor = P + 12, kBeginDownload = M + 25, kCancelDownload = M + 28, kSetFileName = M + 31;

// A variant (possibly by reference) as text; booleans print as -1 / 0.
std::string Text(const VARIANT& v) {
  VARIANT direct, text;
  VariantInit(&direct);
  VariantInit(&text);
  if (FAILED(VariantCopyInd(&direct, const_cast<VARIANT*>(&v)))) return "?";
  std::string out = "?";
  if (V_VT(&direct) == VT_BOOL) {
    out = V_BOOL(&direct) ? "-1" : "0";
  } else if (V_VT(&direct) == VT_R4) {
    char buf[32];
    snprintf(buf, sizeof buf, "%.6g", static_cast<double>(V_R4(&direct)));
    out = buf;
  } else if (SUCCEEDED(VariantChangeType(&text, &direct, 0, VT_BSTR))) {
    out = Utf8(V_BSTR(&text) ? std::wstring(V_BSTR(&text), SysStringLen(V_BSTR(&text))) : std::wstring());
  }
  VariantClear(&direct);
  VariantClear(&text);
  return out;
}

std::string VarType(const VARIANT& v) {
  VARTYPE vt = V_VT(&v);
  if (vt & VT_BYREF) return "byref";
  return "byvalue";
}

const char* EventName(DISPID id) {
  switch (id) {
    case 1: return "DLProgress";
    case 2: return "DLCanceled";
    case 3: return "DLError";
    case 4: return "DLComplete";
    case 5: return "DLConnected";
    case 6: return "DLRedirect";
    case 7: return "DLCacheFile";
    case 8: return "DLMIMEType";
    case 9: return "DLFileSize";
    case 10: return "DLBeginDownload";
    case 11: return "GetHtml";
    default: return nullptr;
  }
}

HWND MakeFrame() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = L"TwDFilesFrame";
  RegisterClassExW(&wc);
  // The first window of a new process can fail while the prefix's desktop is still starting (seen
  // in 64-bit prefixes): try again briefly, and say why when it never comes.
  for (int attempt = 0; attempt < 20; ++attempt) {
    HWND frame = CreateWindowExW(0, wc.lpszClassName, L"twdfiles", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                 300, 60, nullptr, nullptr, wc.hInstance, nullptr);
    if (frame) return frame;
    Sleep(100);
  }
  PutHex("error.frame", GetLastError());
  return nullptr;
}

std::string GetText(AxHost& host, DISPID id) {
  VARIANT v;
  VariantInit(&v);
  HRESULT hr = host.Get(id, &v);
  std::string s = SUCCEEDED(hr) ? Text(v) : "error";
  VariantClear(&v);
  return s;
}

void PutValue(AxHost& host, DISPID id, VARIANT v) {
  HRESULT hr = host.Put(id, v);
  VariantClear(&v);
  if (FAILED(hr)) PutHex("error.put", static_cast<unsigned long>(hr));
}

bool SetFileName(AxHost& host, const wchar_t* name) {
  VARIANT arg = Str(name);
  HRESULT hr = host.Call(kSetFileName, &arg, 1);
  VariantClear(&arg);
  return SUCCEEDED(hr);
}

std::string Begin(AxHost& host, bool wait, bool passWait) {
  VARIANT arg = Bool(wait), result;
  VariantInit(&result);
  HRESULT hr = host.Call(kBeginDownload, passWait ? &arg : nullptr, passWait ? 1 : 0, &result);
  std::string s = SUCCEEDED(hr) ? Text(result) : "error";
  VariantClear(&result);
  return s;
}

constexpr UINT kCancelMessage = WM_APP + 1;
constexpr UINT kDestroyMessage = WM_APP + 2;

// The control's own window inside the host window.
HWND ControlWindow(AxHost& host) { return GetWindow(host.hwnd(), GW_CHILD); }

// The colour the control's window shows at (x, y) once pending painting is done, as RRGGBB.
std::string Pixel(AxHost& host, int x, int y) {
  HWND w = ControlWindow(host);
  UpdateWindow(w);
  HDC dc = GetDC(w);
  COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(w, dc);
  char buf[16];
  snprintf(buf, sizeof buf, "%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
  return buf;
}

// The bytes of private memory this process has committed, touched or not (read region by region:
// the system's summary figures count only what is resident).
unsigned long long PrivateCommitted() {
  unsigned long long total = 0;
  MEMORY_BASIC_INFORMATION m;
  for (const char* at = nullptr; VirtualQuery(at, &m, sizeof m) == sizeof m;) {
    if (m.State == MEM_COMMIT && m.Type == MEM_PRIVATE) total += m.RegionSize;
    const char* next = static_cast<const char*>(m.BaseAddress) + m.RegionSize;
    if (next <= at) break;
    at = next;
  }
  return total;
}

int Get(int argc, wchar_t** argv) {
  const wchar_t* url = argv[0];
  const wchar_t* folder = argv[1];
  const wchar_t* name = argv[2];
  bool wait = false, follow = false, norename = false, cancel = false, twice = false, red = false,
       noprogress = false, destroy = false;
  LONG destroyAfter = 1;
  int timeoutSeconds = 60;
  for (int i = 3; i < argc; ++i) {
    std::wstring a = argv[i];
    if (a == L"wait") wait = true;
    else if (a == L"follow") follow = true;
    else if (a == L"norename") norename = true;
    else if (a == L"cancel") cancel = true;
    else if (a == L"twice") twice = true;
    else if (a == L"red") red = true;
    else if (a == L"noprogress") noprogress = true;
    else if (a == L"destroy") destroy = true;
    else if (a.rfind(L"destroy=", 0) == 0) destroy = true, destroyAfter = _wtoi(a.c_str() + 8);
    else if (a.rfind(L"timeout=", 0) == 0) timeoutSeconds = _wtoi(a.c_str() + 8);
  }

  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(L"Corvala.DFiles", &clsid);
  if (FAILED(hr)) {
    PutHex("error.progid", static_cast<unsigned long>(hr));
    return 2;
  }
  HWND frame = MakeFrame();
  AxHost host;
  bool done = false, cancelPosted = false, sampled = false;
  LONG lastBytes = 0;
  auto onEvent = [&](DISPID id, DISPPARAMS* params) {
    const char* n = EventName(id);
    if (!n) return;
    std::string line = std::string("event=") + n;
    for (UINT i = params->cArgs; i-- > 0;) line += " " + Text(params->rgvarg[i]);
    if (id != 11) Out(line + "\n");
    if (id == 11) {
      std::string text = params->cArgs ? Text(params->rgvarg[0]) : "";
      Out("event=GetHtml " + std::to_string(text.size()) + (text.size() <= 64 ? " " + text : std::string()) + "\n");
      if (text.size() > (1u << 20) + 24) {  // a long text: around the first megabyte, and its end
        Put("html.middle", text.substr((1u << 20) - 4, 28));
        Put("html.end", text.substr(text.size() - 24));
      }
    }
    if (params->cArgs) Put("args." + std::string(n), VarType(params->rgvarg[0]));
    if (id == 1 && params->cArgs == 3) {
      VARIANT b;
      VariantInit(&b);
      VariantCopyInd(&b, &params->rgvarg[1]);
      VariantChangeType(&b, &b, 0, VT_I4);
      lastBytes = V_I4(&b);
      VARIANT p;
      VariantInit(&p);
      VariantCopyInd(&p, &params->rgvarg[2]);
      VariantChangeType(&p, &p, 0, VT_R4);
      float percent = V_R4(&p);
      if (!sampled && percent > 0.05f && percent < 0.9f) {
        sampled = true;
        RECT rc;
        GetClientRect(ControlWindow(host), &rc);
        Put("sample.percent", Text(params->rgvarg[2]));
        Put("pixel.inside", Pixel(host, static_cast<int>(rc.right * percent / 2), rc.bottom / 2));
        Put("pixel.beyond", Pixel(host, static_cast<int>(rc.right * (percent + 1) / 2), rc.bottom / 2));
      }
      if ((cancel || destroy) && lastBytes >= (destroy ? destroyAfter : 1) && !cancelPosted) {
        cancelPosted = true;
        PostMessageW(frame, destroy ? kDestroyMessage : kCancelMessage, 0, 0);
      }
    }
    if (id == 4 && params->cArgs == 1 && Text(params->rgvarg[0]) != "0") {
      Put("downloading.at.complete", Text([&] {
            VARIANT v;
            VariantInit(&v);
            // A second start from inside the handler must be refused while the transfer is still on.
            VARIANT arg = Bool(false);
            host.Call(kBeginDownload, &arg, 1, &v);
            return v;
          }()));
    }
    if (id == 4 || id == 2) {
      done = true;
      PostMessageW(frame, WM_NULL, 0, 0);
    }
  };
  hr = host.Create(frame, RECT{0, 0, 300, 20}, clsid, IID_NULL, onEvent);
  if (FAILED(hr)) {
    PutHex("error.create", static_cast<unsigned long>(hr));
    return 2;
  }
  host.Show(true);
  PutValue(host, kFileUrl, Str(url));
  PutValue(host, kSaveFilePath, Str(folder));
  if (follow) PutValue(host, kFailOnRedirect, Bool(false));
  if (norename) PutValue(host, kRenameOnRedirect, Bool(false));
  if (noprogress) PutValue(host, kShowProgress, Bool(false));
  if (red) {
    VARIANT c;
    VariantInit(&c);
    V_VT(&c) = VT_I4;
    V_I4(&c) = 0x0000FF;  // OLE colour 0x00BBGGRR
    PutValue(host, kForeColor, c);
  }
  SetFileName(host, name);
  Put("SaveFileName.before", GetText(host, kSaveFileName));

  const unsigned long long privateBefore = PrivateCommitted();
  std::string started = Begin(host, wait, wait);
  Put("begin", started);
  if (twice) Put("begin.again", Begin(host, false, false));

  DWORD deadline = GetTickCount() + static_cast<DWORD>(timeoutSeconds) * 1000;
  SetTimer(frame, 1, 100, nullptr);
  MSG msg;
  while (!done && GetTickCount() < deadline && GetMessageW(&msg, nullptr, 0, 0)) {
    if (msg.hwnd == frame && msg.message == kDestroyMessage) {
      host.Destroy();
      Put("destroyed", "1");
      // Whatever the stopped transfer still delivers must not reach anyone.
      DWORD until = GetTickCount() + 1000;
      while (GetTickCount() < until) {
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
          TranslateMessage(&msg);
          DispatchMessageW(&msg);
        } else {
          Sleep(10);
        }
      }
      Put("survived", "1");
      Put("private.before", std::to_string(privateBefore));
      Put("private.after", std::to_string(PrivateCommitted()));
      DestroyWindow(frame);
      return 0;
    }
    if (msg.hwnd == frame && msg.message == kCancelMessage) {
      host.Call(kCancelDownload);
      Put("cancel.called", "1");
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  Put("done", done ? "1" : "0");
  {
    RECT rc;
    GetClientRect(ControlWindow(host), &rc);
    Put("pixel.end.left", Pixel(host, rc.right / 10, rc.bottom / 2));
    Put("pixel.end.right", Pixel(host, rc.right * 9 / 10, rc.bottom / 2));
  }
  Put("BytesRead", GetText(host, kBytesRead));
  Put("FileSize", GetText(host, kFileSize));
  Put("MIMEType", GetText(host, kMIMEType));
  Put("SaveFileName", GetText(host, kSaveFileName));
  Put("RedirectFile", GetText(host, kRedirectFile));
  Put("ConnectionAddress", GetText(host, kConnectionAddress));
  Put("CacheFile", GetText(host, kCacheFile));
  {
    VARIANT v;
    VariantInit(&v);
    host.Get(kFileSize, &v);
    Put("FileSize.vt", std::to_string(V_VT(&v)));
    VariantClear(&v);
  }
  host.Destroy();
  DestroyWindow(frame);
  return 0;
}

int Mouse(int seconds) {
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(L"Corvala.DFiles", &clsid))) return 2;
  HWND frame = MakeFrame();
  AxHost host;
  bool done = false, doubled = false;
  HRESULT hr = host.Create(frame, RECT{0, 0, 300, 20}, clsid, IID_NULL, [&](DISPID id, DISPPARAMS* params) {
    const char* n = id == DISPID_CLICK ? "Click" : id == DISPID_DBLCLICK ? "Dblclick" : id == DISPID_MOUSEDOWN ? "MouseDown"
                    : id == DISPID_MOUSEUP ? "MouseUp" : id == DISPID_MOUSEMOVE ? "MouseMove" : nullptr;
    if (!n) return;
    std::string line = std::string("event=") + n;
    for (UINT i = params->cArgs; i-- > 0;) line += " " + Text(params->rgvarg[i]);
    Out(line + "\n");
    if (id == DISPID_DBLCLICK) doubled = true;
    if (id == DISPID_MOUSEUP && doubled) done = true;  // what follows it comes from the same message
  });
  if (FAILED(hr)) return 2;
  host.Show(true);
  UpdateWindow(frame);
  Put("ready", "1");
  DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
  SetTimer(frame, 1, 100, nullptr);
  MSG msg;
  while (!done && GetTickCount() < deadline && GetMessageW(&msg, nullptr, 0, 0)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  host.Destroy();
  DestroyWindow(frame);
  return 0;
}

// A property bag in memory that records what was written.
class MemoryBag final : public IPropertyBag {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyBag)) {
      *out = static_cast<IPropertyBag*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }  // lives on the stack
  STDMETHODIMP Read(LPCOLESTR name, VARIANT* v, IErrorLog*) override {
    auto it = values_.find(name);
    if (it == values_.end()) return E_INVALIDARG;
    VARTYPE want = V_VT(v);
    VariantInit(v);
    if (want == VT_EMPTY || want == V_VT(&it->second)) return VariantCopy(v, &it->second);
    return VariantChangeType(v, &it->second, 0, want);
  }
  STDMETHODIMP Write(LPCOLESTR name, VARIANT* v) override {
    VARIANT copy;
    VariantInit(&copy);
    VariantCopy(&copy, v);
    values_[name] = copy;
    return S_OK;
  }
  std::map<std::wstring, VARIANT> values_;

 private:
  ULONG refs_ = 1;
};

// The keys a control saved into a bag, and the bag's value of one of them.
std::string Keys(const MemoryBag& bag) {
  std::string keys;
  for (auto& [k, v] : bag.values_) keys += (keys.empty() ? "" : ",") + Utf8(k);
  return keys;
}

// The stored properties a control reads, as `prefix`.<name>.
void PutStoredProperties(AxHost& host, const std::string& prefix) {
  const struct {
    const char* name;
    DISPID id;
  } stored[] = {{"BackColor", DISPID_BACKCOLOR},       {"ForeColor", kForeColor},
                {"Enabled", DISPID_ENABLED},           {"BorderStyle", DISPID_BORDERSTYLE},
                {"FileUrl", kFileUrl},                 {"SaveFilePath", kSaveFilePath},
                {"FailOnRedirect", kFailOnRedirect},   {"RenameOnRedirect", kRenameOnRedirect},
                {"ShowProgress", kShowProgress}};
  for (const auto& p : stored) Put(prefix + "." + p.name, GetText(host, p.id));
}

int Api() {
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(L"Corvala.DFiles", &clsid);
  if (FAILED(hr)) {
    PutHex("error.progid", static_cast<unsigned long>(hr));
    return 2;
  }
  HWND frame = MakeFrame();
  AxHost host;
  std::vector<std::string> events;
  hr = host.Create(frame, RECT{0, 0, 300, 20}, clsid, IID_NULL,
                   [&](DISPID id, DISPPARAMS*) { events.push_back(std::to_string(id)); });
  if (FAILED(hr)) {
    PutHex("error.create", static_cast<unsigned long>(hr));
    return 2;
  }
  const wchar_t* names[] = {L"BackColor", L"ForeColor", L"Enabled", L"Font", L"BorderStyle", L"BytesRead",
                            L"CacheFile", L"ConnectionAddress", L"MIMEType", L"RedirectFile", L"Refresh",
                            L"FileSize", L"FileUrl", L"SaveFileName", L"SaveFilePath", L"BeginDownload",
                            L"CancelDownload", L"FailOnRedirect", L"RenameOnRedirect", L"ShowProgress",
                            L"SetFileName"};
  for (const wchar_t* n : names) {
    DISPID id = 0;
    LPOLESTR list[] = {const_cast<LPOLESTR>(n)};
    hr = host.dispatch()->GetIDsOfNames(IID_NULL, list, 1, LOCALE_USER_DEFAULT, &id);
    PutHex("id." + Utf8(n), SUCCEEDED(hr) ? static_cast<unsigned long>(id) : static_cast<unsigned long>(hr));
  }
  Put("default.FailOnRedirect", GetText(host, kFailOnRedirect));
  Put("default.RenameOnRedirect", GetText(host, kRenameOnRedirect));
  Put("default.ShowProgress", GetText(host, kShowProgress));
  Put("default.BorderStyle", GetText(host, DISPID_BORDERSTYLE));
  Put("default.BackColor", GetText(host, DISPID_BACKCOLOR));
  Put("default.ForeColor", GetText(host, kForeColor));
  Put("default.Enabled", GetText(host, DISPID_ENABLED));
  {
    VARIANT f;
    VariantInit(&f);
    host.Get(DISPID_FONT, &f);
    Put("default.Font", V_VT(&f) == VT_DISPATCH && V_DISPATCH(&f) ? "object" : "none");
    VariantClear(&f);
  }
  Put("begin.unconfigured", Begin(host, false, true));
  PutValue(host, kFileUrl, Str(L"http://127.0.0.1:9/x"));
  Put("begin.nofolder", Begin(host, true, true));
  SetFileName(host, L"a.txt");
  Put("join.nofolder", GetText(host, kSaveFileName));
  PutValue(host, kSaveFilePath, Str(L"C:\\x\\"));
  SetFileName(host, L"a.txt");
  Put("join.slash", GetText(host, kSaveFileName));
  PutValue(host, kSaveFilePath, Str(L"C:\\x"));
  SetFileName(host, L"a.txt");
  Put("join.noslash", GetText(host, kSaveFileName));
  PutValue(host, kRenameOnRedirect, Bool(true));
  Put("rename.whileFail", GetText(host, kRenameOnRedirect));
  PutValue(host, kFailOnRedirect, Bool(false));
  Put("rename.follow", GetText(host, kRenameOnRedirect));
  PutValue(host, kRenameOnRedirect, Bool(false));
  Put("rename.off", GetText(host, kRenameOnRedirect));
  PutHex("border.invalid.hr", static_cast<unsigned long>(host.Put(DISPID_BORDERSTYLE, Number<VT_I2>(5))));
  PutHex("border.none.hr", static_cast<unsigned long>(host.Put(DISPID_BORDERSTYLE, Number<VT_I2>(0))));
  {
    VARIANT v = Str(L"x");
    PutHex("readonly.put.hr", static_cast<unsigned long>(host.Put(kSaveFileName, v)));
    VariantClear(&v);
  }
  // System colours have the top bit set: as numbers they do not fit a signed 32-bit one. A typed
  // caller passes an unsigned number, a script a double.
  PutHex("color.ui4.hr", static_cast<unsigned long>(host.Put(DISPID_BACKCOLOR, Number<VT_UI4>(0x80000000))));
  Put("color.ui4.BackColor", GetText(host, DISPID_BACKCOLOR));
  PutHex("color.r8.hr", static_cast<unsigned long>(host.Put(kForeColor, Number<VT_R8>(4294967295.0))));
  Put("color.r8.ForeColor", GetText(host, kForeColor));
  PutHex("color.r8.beyond.hr",  // beyond every colour
         static_cast<unsigned long>(host.Put(kForeColor, Number<VT_R8>(4294967296.0))));
  host.Put(DISPID_BACKCOLOR, Number<VT_UI4>(0x8000000F));  // the defaults again
  host.Put(kForeColor, Number<VT_UI4>(0x80000012));
  ComPtr<IPersistPropertyBag> persist;
  if (SUCCEEDED(host.control()->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&persist)))) {
    MemoryBag bag;
    persist->Save(&bag, TRUE, FALSE);
    Put("bag.keys", Keys(bag));
    Put("bag.FileURL", bag.values_.count(L"FileURL") ? Text(bag.values_[L"FileURL"]) : "missing");
    Put("bag.SaveFilePath", bag.values_.count(L"SaveFilePath") ? Text(bag.values_[L"SaveFilePath"]) : "missing");
    for (auto& [k, v] : bag.values_) VariantClear(&v);
  }
  Put("events.raised", std::to_string(events.size()));
  {
    // A stored control that follows redirects and keeps the other switch at its default; its
    // border style is one the control does not know; its back colour is a system colour written
    // as an unsigned number, as a page's <param> hands it over (text). Every other key is missing.
    MemoryBag partial;
    partial.values_[L"FailOnRedirect"] = Bool(false);
    partial.values_[L"BorderStyle"] = Number<VT_I2>(7);
    partial.values_[L"BackColor"] = Str(L"2147483653");  // 0x80000005
    AxHost loaded;
    hr = loaded.Create(frame, RECT{0, 20, 300, 40}, clsid, IID_NULL, [](DISPID, DISPPARAMS*) {}, &partial);
    PutHex("partial.create.hr", static_cast<unsigned long>(hr));
    if (SUCCEEDED(hr)) {
      PutStoredProperties(loaded, "partial");
      // Saved again and loaded into a third control.
      MemoryBag again;
      ComPtr<IPersistPropertyBag> p;
      if (SUCCEEDED(loaded.control()->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&p))))
        p->Save(&again, TRUE, FALSE);
      Put("partial.saved.keys", Keys(again));
      AxHost third;
      if (SUCCEEDED(third.Create(frame, RECT{0, 40, 300, 60}, clsid, IID_NULL, [](DISPID, DISPPARAMS*) {}, &again)))
        PutStoredProperties(third, "reloaded");
      third.Destroy();
      for (auto& [k, val] : again.values_) VariantClear(&val);
    }
    loaded.Destroy();
  }
  host.Destroy();
  DestroyWindow(frame);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  if (FAILED(OleInitialize(nullptr))) return 3;
  std::wstring mode = argv[1];
  int rc = 2;
  if (mode == L"get" && argc >= 5) rc = Get(argc - 2, argv + 2);
  else if (mode == L"api") rc = Api();
  else if (mode == L"mouse" && argc >= 3) rc = Mouse(_wtoi(argv[2]));
  OleUninitialize();
  return rc;
}
