// Benchmark driver: one download of an address, timed, either through the download control
// Corvala.DFiles (bound late, like the hosts) or through a bare URL-moniker loop with the same
// binding flags that writes the data to a file as it arrives. Prints key=value lines:
// bytes, seconds (start to end of transfer), seconds.idle (until the control is idle again),
// peak.workingset and peak.pagefile (bytes).
//
//   twdlbench dfiles <url> <folder> <name>
//   twdlbench bare <url> <file>
#include <windows.h>
#include <ole2.h>
#include <psapi.h>
#include <urlmon.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/win/ax_host.h"
#include "common/win/dfiles_host.h"
#include "tests/wine/drivers/driver_support.h"

namespace {

using twd::Out;
using twd::Str;

double Now() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

// The few functions of urlmon and psapi this driver needs, found at run time (the drivers link
// only the common libraries).
template <class F>
F Find(const wchar_t* module, const char* name) {
  HMODULE m = LoadLibraryW(module);
  return m ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}

void PrintResult(long long bytes, double seconds, double idle) {
  PROCESS_MEMORY_COUNTERS pmc{};
  pmc.cb = sizeof pmc;
  using MemoryInfo = BOOL(WINAPI*)(HANDLE, PROCESS_MEMORY_COUNTERS*, DWORD);
  if (auto info = Find<MemoryInfo>(L"kernel32.dll", "K32GetProcessMemoryInfo")) info(GetCurrentProcess(), &pmc, sizeof pmc);
  char buf[256];
  snprintf(buf, sizeof buf, "bytes=%lld\nseconds=%.4f\nseconds.idle=%.4f\npeak.workingset=%lu\npeak.pagefile=%lu\n",
           bytes, seconds, idle, static_cast<unsigned long>(pmc.PeakWorkingSetSize),
           static_cast<unsigned long>(pmc.PeakPagefileUsage));
  Out(buf);
}

int ThroughDFiles(const wchar_t* url, const wchar_t* folder, const wchar_t* name) {
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(L"Corvala.DFiles", &clsid))) return 2;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"TwBenchFrame";
  RegisterClassExW(&wc);
  HWND frame = CreateWindowExW(0, wc.lpszClassName, L"bench", WS_POPUP | WS_VISIBLE, 0, 0, 300, 40, nullptr, nullptr,
                               wc.hInstance, nullptr);
  tw::win::AxHost host;
  long long bytes = -1;
  double end = 0;
  HRESULT hr = host.Create(frame, RECT{0, 0, 300, 20}, clsid, IID_NULL, [&](DISPID id, DISPPARAMS* params) {
    if (id == tw::win::dfiles::kDLComplete && params->cArgs == 1 && end == 0) {
      VARIANT v;
      VariantInit(&v);
      VariantCopyInd(&v, &params->rgvarg[0]);
      VariantChangeType(&v, &v, 0, VT_I4);
      bytes = V_I4(&v);
      end = Now();
    }
  });
  if (FAILED(hr)) return 2;
  VARIANT v = Str(url);
  host.Put(tw::win::dfiles::kFileUrl, v);
  VariantClear(&v);
  v = Str(folder);
  host.Put(tw::win::dfiles::kSaveFilePath, v);
  VariantClear(&v);
  v = Str(name);
  host.Call(tw::win::dfiles::kSetFileName, &v, 1);
  VariantClear(&v);
  VARIANT wait, result;
  VariantInit(&wait);
  VariantInit(&result);
  V_VT(&wait) = VT_BOOL;
  V_BOOL(&wait) = VARIANT_TRUE;
  double start = Now();
  // The waiting start: returns when the control is idle again.
  host.Call(tw::win::dfiles::kBeginDownload, &wait, 1, &result);
  double idle = Now();
  PrintResult(bytes, end - start, idle - start);
  host.Destroy();
  DestroyWindow(frame);
  return V_BOOL(&result) ? 0 : 1;
}

// The bare loop: asynchronous BindToStorage, data pulled from the stream into a file.
class BareCallback final : public IBindStatusCallback {
 public:
  explicit BareCallback(HANDLE file) : file_(file), buffer_(256 * 1024) {}
  bool done = false;
  HRESULT result = S_OK;
  long long bytes = 0;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IBindStatusCallback)) {
      *out = static_cast<IBindStatusCallback*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }  // lives on the stack
  STDMETHODIMP OnStartBinding(DWORD, IBinding*) override { return S_OK; }
  STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
  STDMETHODIMP OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
  STDMETHODIMP OnStopBinding(HRESULT hr, LPCWSTR) override {
    Drain();
    if (stream_) stream_->Release();
    stream_ = nullptr;
    result = hr;
    done = true;
    return S_OK;
  }
  STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* info) override {
    *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | BINDF_GETNEWESTVERSION |
             BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE | BINDF_RESYNCHRONIZE;
    DWORD size = info->cbSize;
    ZeroMemory(info, size);
    info->cbSize = size;
    info->dwBindVerb = BINDVERB_GET;
    return S_OK;
  }
  STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override {
    if (!stream_ && medium && medium->tymed == TYMED_ISTREAM && medium->pstm) {
      stream_ = medium->pstm;
      stream_->AddRef();
    }
    Drain();
    return S_OK;
  }
  STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

 private:
  void Drain() {
    while (stream_) {
      ULONG got = 0;
      HRESULT hr = stream_->Read(buffer_.data(), static_cast<ULONG>(buffer_.size()), &got);
      if (got) {
        DWORD put = 0;
        WriteFile(file_, buffer_.data(), got, &put, nullptr);
        bytes += got;
      }
      if (hr != S_OK || got == 0) break;
    }
  }
  HANDLE file_;
  IStream* stream_ = nullptr;
  ULONG refs_ = 1;
  std::vector<char> buffer_;
};

int Bare(const wchar_t* url, const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  BareCallback callback(file);
  double start = Now();
  using CreateMoniker = HRESULT(WINAPI*)(IMoniker*, LPCWSTR, IMoniker**, DWORD);
  using CreateContext = HRESULT(WINAPI*)(DWORD, IBindStatusCallback*, IEnumFORMATETC*, IBindCtx**);
  auto createMoniker = Find<CreateMoniker>(L"urlmon.dll", "CreateURLMonikerEx");
  auto createContext = Find<CreateContext>(L"urlmon.dll", "CreateAsyncBindCtx");
  if (!createMoniker || !createContext) return 2;
  IMoniker* moniker = nullptr;
  IBindCtx* context = nullptr;
  if (FAILED(createMoniker(nullptr, url, &moniker, URL_MK_UNIFORM))) return 2;
  if (FAILED(createContext(0, &callback, nullptr, &context))) return 2;
  IStream* stream = nullptr;
  HRESULT hr = moniker->BindToStorage(context, nullptr, IID_IStream, reinterpret_cast<void**>(&stream));
  if (stream) stream->Release();
  if (FAILED(hr)) return 1;
  MSG msg;
  while (!callback.done && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  double end = Now();
  CloseHandle(file);
  context->Release();
  moniker->Release();
  PrintResult(callback.bytes, end - start, end - start);
  return SUCCEEDED(callback.result) ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  if (FAILED(OleInitialize(nullptr))) return 3;
  std::wstring mode = argv[1];
  int rc = 2;
  if (mode == L"dfiles" && argc >= 5) rc = ThroughDFiles(argv[2], argv[3], argv[4]);
  else if (mode == L"bare") rc = Bare(argv[2], argv[3]);
  OleUninitialize();
  return rc;
}
