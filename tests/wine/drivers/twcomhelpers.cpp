// Test driver: checks the COM helper layer (QueryInterface tables, dispatch argument reading,
// connection points, property-bag and stream helpers, class factory table, registry helpers) and
// the ANSI text helpers. Prints "fail <what>" for every failed check and "checks=<n>
// failures=<m>"; exits with the number of failures.
//
//   twcomhelpers          every check
//   twcomhelpers ansi     the ANSI text helpers only (run under other code pages too)
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/win/com_bag.h"
#include "common/win/com_dispatch.h"
#include "common/win/com_events.h"
#include "common/win/com_object.h"
#include "common/win/com_ptr.h"
#include "common/win/com_server.h"
#include "common/win/text_win.h"

using namespace tw::win;

namespace {

int g_checks = 0;
int g_failures = 0;

void Check(bool ok, const std::string& what) {
  ++g_checks;
  if (ok) return;
  ++g_failures;
  std::string line = "fail " + what + "\n";
  DWORD put = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &put, nullptr);
}

std::string Hex(HRESULT hr) {
  char buf[16];
  snprintf(buf, sizeof buf, "0x%08lx", static_cast<unsigned long>(hr));
  return buf;
}

void CheckHr(HRESULT got, HRESULT want, const std::string& what) {
  Check(got == want, what + ": got " + Hex(got) + " want " + Hex(want));
}

// --- dispatch tables and arguments ------------------------------------------------------------

void DispatchNames() {
  const DispName table[] = {{L"Refresh", 7}, {L"SetFileName", 0x6003001f}};
  struct Case {
    const wchar_t* name;
    HRESULT hr;
    DISPID id;
  };
  const Case cases[] = {{L"Refresh", S_OK, 7},
                        {L"setfilename", S_OK, 0x6003001f},
                        {L"SETFILENAME", S_OK, 0x6003001f},
                        {L"SetFileNam", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
                        {L"", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN}};
  for (const Case& c : cases) {
    DISPID id = 12345;
    LPOLESTR n = const_cast<LPOLESTR>(c.name);
    HRESULT hr = IdsFromTable(table, 2, &n, 1, &id);
    std::string name(c.name, c.name + wcslen(c.name));
    CheckHr(hr, c.hr, "IdsFromTable(" + name + ")");
    Check(id == c.id, "IdsFromTable(" + name + ") id");
  }
  // A parameter name is not known: the member still gets its id.
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"SetFileName"), const_cast<LPOLESTR>(L"FileName")};
  DISPID ids[2] = {0, 0};
  CheckHr(IdsFromTable(table, 2, names, 2, ids), DISP_E_UNKNOWNNAME, "IdsFromTable with a parameter name");
  Check(ids[0] == 0x6003001f && ids[1] == DISPID_UNKNOWN, "IdsFromTable with a parameter name: ids");
}

void DispatchArguments() {
  // Declared order: (short a, BSTR b, byref short c); DISPPARAMS holds them reversed.
  SHORT c = 42;
  VARIANT args[3];
  for (auto& v : args) VariantInit(&v);
  V_VT(&args[0]) = VT_I2 | VT_BYREF;
  V_I2REF(&args[0]) = &c;
  V_VT(&args[1]) = VT_BSTR;
  V_BSTR(&args[1]) = SysAllocString(L"12");
  V_VT(&args[2]) = VT_I4;
  V_I4(&args[2]) = 70000;
  DISPPARAMS p{args, nullptr, 3, 0};
  Check(PositionalCount(&p) == 3, "PositionalCount");

  Variant out;
  UINT argErr = 99;
  CheckHr(ReadArg(&p, 0, VT_I2, &out, &argErr), DISP_E_OVERFLOW, "first argument 70000 as 16 bits");
  Check(argErr == 2, "argErr names the slot of the first argument");
  CheckHr(ReadArg(&p, 0, VT_I4, &out, &argErr), S_OK, "first argument as 32 bits");
  Check(V_VT(&out) == VT_I4 && V_I4(&out) == 70000, "first argument value");
  CheckHr(ReadArg(&p, 1, VT_I2, &out, &argErr), S_OK, "text \"12\" as a number");
  Check(V_VT(&out) == VT_I2 && V_I2(&out) == 12, "text \"12\" value");
  CheckHr(ReadArg(&p, 2, VT_I2, &out, &argErr), S_OK, "by-reference argument");
  Check(V_VT(&out) == VT_I2 && V_I2(&out) == 42, "by-reference argument value");
  CheckHr(ReadArg(&p, 3, VT_I2, &out, &argErr), DISP_E_PARAMNOTFOUND, "argument past the end");
  CheckHr(ReadOptionalArg(&p, 3, VT_BOOL, &out, &argErr), S_OK, "optional argument past the end");
  Check(V_VT(&out) == VT_EMPTY, "optional argument past the end is empty");

  VARIANT text;
  VariantInit(&text);
  V_VT(&text) = VT_BSTR;
  V_BSTR(&text) = SysAllocString(L"not a number");
  DISPPARAMS one{&text, nullptr, 1, 0};
  argErr = 99;
  CheckHr(ReadArg(&one, 0, VT_I2, &out, &argErr), DISP_E_TYPEMISMATCH, "text as a number");
  Check(argErr == 0, "type mismatch names the slot");

  VARIANT missing;
  VariantInit(&missing);
  V_VT(&missing) = VT_ERROR;
  V_ERROR(&missing) = DISP_E_PARAMNOTFOUND;
  DISPPARAMS omitted{&missing, nullptr, 1, 0};
  CheckHr(ReadOptionalArg(&omitted, 0, VT_BOOL, &out, &argErr), S_OK, "omitted optional argument");
  Check(V_VT(&out) == VT_EMPTY, "omitted optional argument is empty");

  // A property put carries its value as the named DISPID_PROPERTYPUT argument.
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS asPut{&text, &put, 1, 1};
  CheckHr(ReadPutValue(&asPut, VT_BSTR, &out, &argErr), S_OK, "put value");
  Check(V_VT(&out) == VT_BSTR && wcscmp(V_BSTR(&out), L"not a number") == 0, "put value text");
  CheckHr(ReadPutValue(&one, VT_BSTR, &out, &argErr), DISP_E_PARAMNOTOPTIONAL, "put without the named argument");
  Check(PositionalCount(&asPut) == 0, "named arguments are not positional");

  VariantClear(&text);
  VariantClear(&args[1]);
}

// --- objects ---------------------------------------------------------------------------------

class Thing : public IPersist, public IOleWindow {
 public:
  virtual ~Thing() = default;
  static const QiEntry* QiTable() {
    static const QiEntry table[] = {TW_QI_ENTRY(Thing, IPersist), TW_QI_ENTRY(Thing, IOleWindow), {nullptr, 0}};
    return table;
  }
  STDMETHODIMP GetClassID(CLSID* c) override {
    *c = CLSID_NULL;
    return S_OK;
  }
  STDMETHODIMP GetWindow(HWND* h) override {
    *h = nullptr;
    return E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
};

HRESULT CreateThing(REFIID iid, void** out) { return ComObject<Thing>::Create(iid, out); }

void Objects() {
  LONG before = ModuleLockCount();
  ComPtr<IPersist> persist;
  CheckHr(CreateThing(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK, "create");
  Check(ModuleLockCount() == before + 1, "a live object locks the module");
  ComPtr<IOleWindow> window;
  CheckHr(persist.As(IID_IOleWindow, window), S_OK, "second interface");
  ComPtr<IUnknown> a, b;
  persist.As(IID_IUnknown, a);
  window.As(IID_IUnknown, b);
  Check(a && a.Get() == b.Get(), "one IUnknown for every interface");
  ComPtr<IDispatch> none;
  CheckHr(persist.As(IID_IDispatch, none), E_NOINTERFACE, "interface not in the table");
  Check(!none, "no pointer for a missing interface");
  persist.Reset();
  window.Reset();
  a.Reset();
  b.Reset();
  Check(ModuleLockCount() == before, "released object unlocks the module");
  ComPtr<IDispatch> failed;
  CheckHr(CreateThing(IID_IDispatch, reinterpret_cast<void**>(&failed)), E_NOINTERFACE, "create for a missing interface");
  Check(ModuleLockCount() == before, "failed creation leaves nothing alive");

  // Class factory table.
  const CLSID known = {0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};
  const CLSID unknown = {0x11111111, 0x2222, 0x3333, {5, 5, 5, 5, 5, 5, 5, 5}};
  const ServerClass classes[] = {{&known, L"Tw.Thing", L"Thing", CreateThing, false, 0}};
  ComPtr<IClassFactory> factory;
  CheckHr(GetClassObjectFromTable(classes, 1, unknown, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
          CLASS_E_CLASSNOTAVAILABLE, "class not in the table");
  CheckHr(GetClassObjectFromTable(classes, 1, known, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK,
          "class factory");
  if (factory) {
    CheckHr(factory->CreateInstance(factory.Get(), IID_IPersist, reinterpret_cast<void**>(&persist)),
            CLASS_E_NOAGGREGATION, "aggregation refused");
    CheckHr(factory->CreateInstance(nullptr, IID_IOleWindow, reinterpret_cast<void**>(&window)), S_OK,
            "factory creates");
  }
}

// --- connection points -----------------------------------------------------------------------

// Records events; may unadvise another connection while handling one.
class Sink : public IDispatch {
 public:
  explicit Sink(std::vector<std::string>* log, const char* name) : log_(log), name_(name) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
    std::string s = name_ + std::string(":") + std::to_string(id) + (flags == DISPATCH_METHOD ? "" : "!flags");
    for (UINT i = p->cArgs; i > 0; --i) s += "," + std::to_string(V_I4(&p->rgvarg[i - 1]));
    log_->push_back(s);
    if (onInvoke) onInvoke();
    return S_OK;
  }
  ULONG refs = 1;
  void (*onInvoke)() = nullptr;

 private:
  std::vector<std::string>* log_;
  const char* name_;
};

class Plain : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
};

class Source : public IConnectionPointContainer {
 public:
  Source() : point(static_cast<IConnectionPointContainer*>(this), this, kEvents) {}
  virtual ~Source() = default;
  static const QiEntry* QiTable() {
    static const QiEntry table[] = {TW_QI_ENTRY(Source, IConnectionPointContainer), {nullptr, 0}};
    return table;
  }
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override {
    ConnectionPoint* points[] = {&point};
    return EnumPoints(points, 1, out);
  }
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
    ConnectionPoint* points[] = {&point};
    return FindPoint(points, 1, iid, out);
  }
  static constexpr IID kEvents = {0x6c380caa, 0xf192, 0x4717, {0x88, 0x4e, 0x6b, 0xc4, 0xf5, 0x5f, 0xfa, 0x38}};
  ConnectionPoint point;
};

IConnectionPoint* g_point = nullptr;
DWORD g_cookieB = 0;

void ConnectionPoints() {
  ComPtr<IConnectionPointContainer> source;
  ComObject<Source>::Create(IID_IConnectionPointContainer, reinterpret_cast<void**>(&source));
  auto* raw = static_cast<Source*>(source.Get());
  ComPtr<IConnectionPoint> cp;
  CheckHr(source->FindConnectionPoint(Source::kEvents, &cp), S_OK, "find the events point");
  ComPtr<IConnectionPoint> other;
  CheckHr(source->FindConnectionPoint(IID_IPropertyNotifySink, &other), CONNECT_E_NOCONNECTION, "no such point");
  ComPtr<IConnectionPointContainer> back;
  cp->GetConnectionPointContainer(&back);
  Check(back.Get() == source.Get(), "the point knows its container");

  std::vector<std::string> log;
  Sink a(&log, "a"), b(&log, "b");
  Plain plain;
  DWORD cookieA = 0, cookieB = 0, cookiePlain = 0;
  CheckHr(cp->Advise(&a, &cookieA), S_OK, "advise a");
  CheckHr(cp->Advise(&b, &cookieB), S_OK, "advise b");
  CheckHr(cp->Advise(&plain, &cookiePlain), CONNECT_E_CANNOTCONNECT, "a sink without IDispatch");
  Check(cookieA != cookieB && cookieA && cookieB, "distinct cookies");
  Check(a.refs == 2 && b.refs == 2, "a connection holds its sink");

  // Arguments in declared order reach the sink in DISPPARAMS order.
  VARIANT args[2];
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  V_VT(&args[0]) = VT_I4;
  V_I4(&args[0]) = 10;
  V_VT(&args[1]) = VT_I4;
  V_I4(&args[1]) = 20;
  raw->point.Fire(3, args, 2);
  Check(log == std::vector<std::string>{"a:3,10,20", "b:3,10,20"}, "both sinks, arguments in order");

  ComPtr<IEnumConnections> list;
  cp->EnumConnections(&list);
  CONNECTDATA data[3] = {};
  ULONG got = 0;
  CheckHr(list->Next(3, data, &got), S_FALSE, "enumerate fewer than asked");
  Check(got == 2 && data[0].dwCookie == cookieA && data[1].dwCookie == cookieB, "enumerated connections");
  for (ULONG i = 0; i < got; ++i) data[i].pUnk->Release();
  ComPtr<IEnumConnections> clone;
  list->Reset();
  CheckHr(list->Skip(1), S_OK, "skip");
  list->Clone(&clone);
  CheckHr(clone->Next(1, data, &got), S_OK, "clone continues where the original was");
  Check(got == 1 && data[0].dwCookie == cookieB, "clone position");
  if (got) data[0].pUnk->Release();
  list.Reset();
  clone.Reset();

  // A handler that disconnects another sink: the running event still reaches it, the next not.
  log.clear();
  g_point = cp.Get();
  g_cookieB = cookieB;
  a.onInvoke = [] { g_point->Unadvise(g_cookieB); };
  raw->point.Fire(1);
  Check(log == std::vector<std::string>{"a:1", "b:1"}, "disconnect during an event");
  a.onInvoke = nullptr;
  log.clear();
  raw->point.Fire(2);
  Check(log == std::vector<std::string>{"a:2"}, "disconnected sink gets no later event");
  CheckHr(cp->Unadvise(cookieB), CONNECT_E_NOCONNECTION, "unadvise twice");
  Check(b.refs == 1, "disconnected sink released");

  ComPtr<IEnumConnectionPoints> points;
  source->EnumConnectionPoints(&points);
  IConnectionPoint* p = nullptr;
  CheckHr(points->Next(1, &p, &got), S_OK, "enumerate points");
  if (p) {
    IID iid{};
    p->GetConnectionInterface(&iid);
    Check(iid == Source::kEvents, "enumerated point's interface");
    p->Release();
  }
  CheckHr(points->Next(1, &p, &got), S_FALSE, "one point only");
  points.Reset();
  cp.Reset();
  back.Reset();
  source.Reset();
  Check(a.refs == 1, "a going object releases its sinks");
}

// --- property bags and streams -----------------------------------------------------------------

class MapBag : public IPropertyBag {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IPropertyBag) {
      *out = static_cast<IPropertyBag*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP Read(LPCOLESTR name, VARIANT* v, IErrorLog*) override {
    auto it = values.find(name);
    if (it == values.end()) return E_INVALIDARG;
    VariantClear(v);
    return VariantCopy(v, &it->second);
  }
  STDMETHODIMP Write(LPCOLESTR name, VARIANT* v) override {
    written.push_back(name);
    VARIANT copy;
    VariantInit(&copy);
    VariantCopy(&copy, v);
    values[name] = copy;
    return S_OK;
  }
  std::map<std::wstring, VARIANT> values;
  std::vector<std::wstring> written;
};

void Bags() {
  MapBag bag;
  std::wstring s = L"unset";
  BagReadString(&bag, nullptr, L"FileURL", L"", s);
  Check(s.empty(), "missing text gives the default");
  bool flag = false;
  BagReadBool(&bag, nullptr, L"FailOnRedirect", true, flag);
  Check(flag, "missing boolean gives the default");
  LONG colour = 0;
  BagReadInt32(&bag, nullptr, L"BackColor", static_cast<LONG>(0x8000000F), colour);
  Check(colour == static_cast<LONG>(0x8000000F), "missing number gives the default");

  CheckHr(BagWriteString(&bag, L"FileURL", L"", L""), S_OK, "write default text");
  CheckHr(BagWriteBool(&bag, L"FailOnRedirect", true, true), S_OK, "write default boolean");
  CheckHr(BagWriteInt16(&bag, L"BorderStyle", 1, 1), S_OK, "write default short");
  CheckHr(BagWriteObject(&bag, L"Picture", nullptr), S_OK, "write no object");
  Check(bag.written.empty(), "defaults are not written");

  BagWriteString(&bag, L"FileURL", L"http://127.0.0.1/a", L"");
  BagWriteBool(&bag, L"FailOnRedirect", false, true);
  BagWriteInt16(&bag, L"BorderStyle", 0, 1);
  BagWriteInt32(&bag, L"BackColor", 0xFF, static_cast<LONG>(0x8000000F));
  Check(bag.written == std::vector<std::wstring>{L"FileURL", L"FailOnRedirect", L"BorderStyle", L"BackColor"},
        "values that differ are written");
  BagReadString(&bag, nullptr, L"FileURL", L"", s);
  Check(s == L"http://127.0.0.1/a", "text read back");
  flag = true;
  BagReadBool(&bag, nullptr, L"FailOnRedirect", true, flag);
  Check(!flag, "boolean read back");
  SHORT border = 1;
  BagReadInt16(&bag, nullptr, L"BorderStyle", 1, border);
  Check(border == 0, "short read back");
  // A value stored with another type is converted.
  BagReadInt32(&bag, nullptr, L"BorderStyle", 7, colour);
  Check(colour == 0, "short read as a number");
  IUnknown* object = reinterpret_cast<IUnknown*>(1);
  BagReadObject(&bag, nullptr, L"Picture", IID_IUnknown, reinterpret_cast<void**>(&object));
  Check(object == nullptr, "missing object gives none");
  for (auto& kv : bag.values) VariantClear(&kv.second);
}

void Streams() {
  ComPtr<IStream> stream;
  CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  const std::wstring texts[] = {L"", L"返回 back", std::wstring(300, L'x')};
  for (const auto& t : texts) CheckHr(StreamWriteString(stream.Get(), t), S_OK, "write text");
  CheckHr(StreamWriteObject(stream.Get(), nullptr), S_OK, "write no object");
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  for (const auto& t : texts) {
    std::wstring back = L"?";
    CheckHr(StreamReadString(stream.Get(), back), S_OK, "read text");
    Check(back == t, "text round trip");
  }
  IUnknown* object = reinterpret_cast<IUnknown*>(1);
  CheckHr(StreamReadObject(stream.Get(), IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK, "read no object");
  Check(object == nullptr, "no object read back as none");
  std::wstring rest;
  CheckHr(StreamReadString(stream.Get(), rest), STG_E_READFAULT, "reading past the end");

  // A damaged length is refused instead of allocating or reading garbage.
  ComPtr<IStream> damaged;
  CreateStreamOnHGlobal(nullptr, TRUE, &damaged);
  ULONG huge = 0x7FFFFFFF;
  damaged->Write(&huge, sizeof huge, nullptr);
  damaged->Seek(zero, STREAM_SEEK_SET, nullptr);
  CheckHr(StreamReadString(damaged.Get(), rest), STG_E_READFAULT, "damaged length");
  ComPtr<IStream> shortText;
  CreateStreamOnHGlobal(nullptr, TRUE, &shortText);
  ULONG five = 5;
  shortText->Write(&five, sizeof five, nullptr);
  shortText->Write(L"ab", 4, nullptr);
  shortText->Seek(zero, STREAM_SEEK_SET, nullptr);
  CheckHr(StreamReadString(shortText.Get(), rest), STG_E_READFAULT, "truncated text");
}

// --- registry --------------------------------------------------------------------------------

void Registry() {
  Check(GuidText(Source::kEvents) == L"{6C380CAA-F192-4717-884E-6BC4F55FFA38}", "GuidText");
  const std::wstring root = L"TwComHelpersCheck";
  CheckHr(SetClassesValue(root + L"\\a\\b\\c", nullptr, L"deep"), S_OK, "set nested value");
  CheckHr(SetClassesValue(root + L"\\a", L"Named", L"x"), S_OK, "set named value");
  HKEY h = nullptr;
  Check(RegOpenKeyExW(HKEY_CLASSES_ROOT, (root + L"\\a\\b\\c").c_str(), 0, KEY_READ, &h) == ERROR_SUCCESS,
        "nested key exists");
  if (h) RegCloseKey(h);
  CheckHr(DeleteClassesTree(root), S_OK, "delete tree");
  h = nullptr;
  Check(RegOpenKeyExW(HKEY_CLASSES_ROOT, root.c_str(), 0, KEY_READ, &h) == ERROR_FILE_NOT_FOUND, "tree gone");
  if (h) RegCloseKey(h);
  CheckHr(DeleteClassesTree(root), S_OK, "deleting a missing tree");
}

void AnsiText() {
  // A character the code page lacks becomes '?', never a look-alike: markup and quoting
  // characters in the bytes come only from the same characters in the text (they are all below
  // any double-byte code page's trail bytes, so a byte search is sound).
  const std::u16string lookalikes = u"\uFF1C\uFF1E\uFF06\uFF02\u3008\u3009";
  const std::string bytes = ToAnsi(lookalikes);
  Check(bytes.find_first_of("<>&\"") == std::string::npos, "no markup look-alikes from ToAnsi: " + bytes);
  Check(ToAnsi(u"<a href=\"x\">&</a>") == "<a href=\"x\">&</a>", "ToAnsi keeps ASCII");
  const std::u16string chinese = u"\u4E2D\u6587";
  if (GetACP() == 936) Check(FromAnsi(ToAnsi(chinese)) == chinese, "Chinese text round trip in code page 936");
  else Check(ToAnsi(chinese) == "??", "Chinese text the code page lacks becomes '?'");
}

void AllChecks() {
  DispatchNames();
  DispatchArguments();
  Objects();
  ConnectionPoints();
  Bags();
  Streams();
  Registry();
  AnsiText();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && std::wstring(argv[1]) == L"ansi") {
    AnsiText();
  } else {
    if (FAILED(OleInitialize(nullptr))) return 100;
    AllChecks();
    OleUninitialize();
  }
  std::string line = "acp=" + std::to_string(GetACP()) + " checks=" + std::to_string(g_checks) +
                     " failures=" + std::to_string(g_failures) + "\n";
  DWORD put = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &put, nullptr);
  return g_failures;
}
