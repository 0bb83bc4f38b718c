#include "updater/win/form1.h"

#include <bcrypt.h>

#include <vector>

#include "build_config.h"
#include "common/win/dfiles_host.h"
#include "common/win/shell_open.h"
#include "common/win/text_win.h"
#include "update_public_key.h"

namespace tw::updater {
namespace {

constexpr wchar_t kClassName[] = L"TwFeltramForm1";
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimer1Interval = 1000;
constexpr UINT_PTR kStallTimer = 2;
// A package download without data for this long fails; TW_FELTRAM_STALL_MS shortens it for tests.
constexpr UINT kStallLimitMs = 60000;
constexpr int kCmd1Id = 101;
constexpr int kStatusId = 102;

// {2C757088-656C-4F30-B5F1-EBD4B755E2CB}: Corvala.DFiles
const CLSID kClsidDFiles = {0x2C757088, 0x656C, 0x4F30, {0xB5, 0xF1, 0xEB, 0xD4, 0xB7, 0x55, 0xE2, 0xCB}};

// Argument `index` (declared order) of an event, converted to `vt`; false when missing.
bool EventArg(const DISPPARAMS* params, UINT index, VARTYPE vt, VARIANT& out) {
  VariantInit(&out);
  if (!params || index >= params->cArgs) return false;
  VARIANT direct;
  VariantInit(&direct);
  if (FAILED(VariantCopyInd(&direct, &params->rgvarg[params->cArgs - 1 - index]))) return false;
  HRESULT hr = VariantChangeType(&out, &direct, 0, vt);
  VariantClear(&direct);
  return SUCCEEDED(hr);
}

UINT StallLimitMs() {
  wchar_t text[16] = {};
  DWORD n = GetEnvironmentVariableW(L"TW_FELTRAM_STALL_MS", text, 16);
  long ms = n > 0 && n < 16 ? wcstol(text, nullptr, 10) : 0;
  return ms > 0 && ms < static_cast<long>(kStallLimitMs) ? static_cast<UINT>(ms) : kStallLimitMs;
}

// SHA-256 of an open file from its start through CNG; false when it cannot be read.
bool HashFile(HANDLE file, UCHAR (&digest)[32]) {
  BCRYPT_ALG_HANDLE alg = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
            BCRYPT_SUCCESS(BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0));
  std::vector<UCHAR> buffer(64 * 1024);
  while (ok) {
    DWORD got = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) ok = false;
    if (!ok || got == 0) break;
    ok = BCRYPT_SUCCESS(BCryptHashData(hash, buffer.data(), got, 0));
  }
  ok = ok && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, sizeof digest, 0));
  if (hash) BCryptDestroyHash(hash);
  if (alg) BCryptCloseAlgorithmProvider(alg, 0);
  return ok;
}

}  // namespace

Form1::Form1() = default;

Form1::~Form1() {
  if (hwnd_) DestroyWindow(hwnd_);
  ReleasePackage();
  if (font_) DeleteObject(font_);
  if (bannerFont_) DeleteObject(bannerFont_);
  if (bannerBrush_) DeleteObject(bannerBrush_);
  if (accentBrush_) DeleteObject(accentBrush_);
}

bool Form1::Create(int showCommand) {
  flow_ = std::make_unique<update::UpdaterFlow>(static_cast<update::UpdaterView&>(*this), fs_, codec_, win::InstallFolder(), TW_PORTAL_BASE,
                                                win::DecimalSeparator());
  HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
  if (!RegisterClassOnce(kClassName, 0, GetSysColorBrush(COLOR_BTNFACE), icon)) return false;
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  RECT rc{0, 0, 420, 230};
  AdjustWindowRect(&rc, style, FALSE);
  int w = rc.right - rc.left, h = rc.bottom - rc.top;
  int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  std::wstring caption = win::W(update::kUpdaterCaption);
  if (!CreateWindowExW(0, kClassName, caption.c_str(), style, x, y, w, h, nullptr, nullptr,
                       GetModuleHandleW(nullptr), this))
    return false;
  ShowWindow(hwnd_, showCommand == SW_HIDE ? SW_SHOWNORMAL : showCommand);
  UpdateWindow(hwnd_);
  loaded_ = true;
  flow_->Load();
  return true;
}

void Form1::OnCreate() {
  HINSTANCE inst = GetModuleHandleW(nullptr);
  font_ = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"SimSun");
  bannerFont_ = CreateFontW(-26, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial");
  bannerBrush_ = CreateSolidBrush(RGB(0x23, 0x6E, 0xC8));
  accentBrush_ = CreateSolidBrush(RGB(0x9E, 0xC5, 0xF1));

  auto make = [&](const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id) {
    HWND c = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, hwnd_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), inst, nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return c;
  };
  picture1_ = make(L"STATIC", L"", SS_NOTIFY, 0, 0, 420, 64, 0);
  image1_ = make(L"STATIC", L"", 0, 330, 12, 72, 40, 0);
  label1_ = make(L"STATIC", L"Tarnwick", SS_LEFT, 18, 14, 300, 36, 0);
  SendMessageW(label1_, WM_SETFONT, reinterpret_cast<WPARAM>(bannerFont_), FALSE);
  picture2_ = make(L"STATIC", L"", 0, 18, 78, 6, 40, 0);
  label2_ = make(L"STATIC", L"Tarnwick", SS_LEFT, 32, 78, 360, 16, 0);
  status_ = make(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, 32, 100, 370, 18, kStatusId);
  std::wstring done = win::W(u"\u5B8C\u6210");  // "完成"
  cmd1_ = make(L"BUTTON", done.c_str(), WS_TABSTOP | BS_PUSHBUTTON, 310, 186, 92, 28, kCmd1Id);

  RECT info{18, 130, 402, 144}, package{18, 152, 402, 166};
  dfiles2_.Create(hwnd_, info, kClsidDFiles, IID_NULL,
                  [this](DISPID id, DISPPARAMS* params) { OnInfoEvent(id, params); });
  dfiles1_.Create(hwnd_, package, kClsidDFiles, IID_NULL,
                  [this](DISPID id, DISPPARAMS* params) { OnPackageEvent(id, params); });
  dfiles2_.Show(true);
  dfiles1_.Show(true);
}

void Form1::OnInfoEvent(DISPID id, DISPPARAMS* params) {
  if (id != win::dfiles::kDLComplete || !flow_) return;
  VARIANT bytes;
  std::int32_t n = EventArg(params, 0, VT_I4, bytes) ? V_I4(&bytes) : 0;
  flow_->InfoComplete(n);
}

void Form1::OnPackageEvent(DISPID id, DISPPARAMS* params) {
  if (!flow_) return;
  VARIANT v;
  if (id == win::dfiles::kDLProgress) {
    if (EventArg(params, 0, VT_R4, v)) flow_->PackageProgress(V_R4(&v));
  } else if (id == win::dfiles::kDLComplete) {
    flow_->PackageComplete(EventArg(params, 0, VT_I4, v) ? V_I4(&v) : 0);
  }
}

// ---- what the flow asks of the window ----

void Form1::SetStatus(const std::u16string& text) {
  std::wstring t = win::W(text);
  SetWindowTextW(status_, t.c_str());
}

void Form1::EnableCloseButton(bool enabled) { EnableWindow(cmd1_, enabled ? TRUE : FALSE); }

void Form1::EnableTimer(bool enabled) {
  if (enabled)
    SetTimer(hwnd_, kTimer1, kTimer1Interval, nullptr);
  else
    KillTimer(hwnd_, kTimer1);
}

void Form1::ShowError(const std::u16string& text) {
  std::wstring t = win::W(text);
  MessageBoxW(hwnd_, t.c_str(), L"Tarnwick", MB_OK | MB_ICONERROR);
}

bool Form1::StartDownload(update::Download which, const std::u16string& url, const std::u16string& folder,
                          const std::u16string& fileName) {
  win::AxHost& c = Control(which);
  if (!c.dispatch()) return false;
  win::dfiles::BeginDownload(c, url, folder, fileName);
  return true;
}

void Form1::CancelDownload(update::Download which) { Control(which).Call(win::dfiles::kCancelDownload); }

bool Form1::VerifyPackage(const std::u16string& path, const update::PackageSignature& signature) {
  // The package is read, and stays open, sharing reading only: from its hash until the installer
  // has it nobody can write, rename or remove it, while the installer can still read it.
  ReleasePackage();
  HANDLE file = CreateFileW(win::W(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  UCHAR digest[32];
  if (!HashFile(file, digest)) {
    CloseHandle(file);
    return false;
  }
  struct {
    BCRYPT_ECCKEY_BLOB header;
    UCHAR xy[64];
  } blob{{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32}, {}};
  static_assert(sizeof blob == sizeof(BCRYPT_ECCKEY_BLOB) + 64);
  CopyMemory(blob.xy, kUpdatePublicKey, sizeof blob.xy);
  BCRYPT_ALG_HANDLE alg = nullptr;
  BCRYPT_KEY_HANDLE key = nullptr;
  UCHAR rs[64];
  CopyMemory(rs, signature.data(), sizeof rs);
  bool ok = BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&alg, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0)) &&
            BCRYPT_SUCCESS(BCryptImportKeyPair(alg, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key,
                                               reinterpret_cast<PUCHAR>(&blob), sizeof blob, 0)) &&
            BCryptVerifySignature(key, nullptr, digest, sizeof digest, rs, sizeof rs, 0) == 0;
  if (key) BCryptDestroyKey(key);
  if (alg) BCryptCloseAlgorithmProvider(alg, 0);
  if (!ok) {
    CloseHandle(file);
    return false;
  }
  package_ = file;
  packagePath_ = path;
  return true;
}

void Form1::ReleasePackage() {
  if (package_ != INVALID_HANDLE_VALUE) CloseHandle(package_);
  package_ = INVALID_HANDLE_VALUE;
  packagePath_.clear();
}

void Form1::RemoveFile(const std::u16string& path) {
  if (path == packagePath_) ReleasePackage();
  DeleteFileW(win::W(path).c_str());
}

bool Form1::OpenFile(const std::u16string& path) {
  if (path != packagePath_) return win::ShellOpen(path, u"") > 32;
  // The verified package stays open, closed to writers, until the installer's process exists;
  // then that process gets a handle of its own to it, so the package stays closed to writers for
  // as long as the installer runs, and the updater ends at once without waiting for anything.
  void* process = nullptr;
  bool opened = win::ShellOpen(path, u"", &process) > 32;
  if (process) {
    HANDLE held = nullptr;  // the installer's; it closes with the installer's process
    DuplicateHandle(GetCurrentProcess(), package_, static_cast<HANDLE>(process), &held, 0, FALSE, DUPLICATE_SAME_ACCESS);
    CloseHandle(process);
  }
  ReleasePackage();
  return opened;
}

void Form1::WatchStall(bool on) {
  if (on)
    SetTimer(hwnd_, kStallTimer, StallLimitMs(), nullptr);  // restarts a running watch
  else
    KillTimer(hwnd_, kStallTimer);
}

void Form1::Close() {
  // Asked from inside a control's event: the window goes once that handler has returned.
  if (hwnd_) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

LRESULT Form1::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wp) == kCmd1Id && HIWORD(wp) == BN_CLICKED) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
      return 0;
    case WM_TIMER:
      if (wp == kTimer1 && flow_) flow_->TimerTick();
      if (wp == kStallTimer) {
        KillTimer(hwnd_, kStallTimer);
        if (flow_) flow_->PackageStalled();
      }
      return 0;
    case WM_CTLCOLORSTATIC: {
      HWND c = reinterpret_cast<HWND>(lp);
      HDC dc = reinterpret_cast<HDC>(wp);
      if (c == picture1_ || c == label1_) {
        SetTextColor(dc, RGB(0xFF, 0xFF, 0xFF));
        SetBkColor(dc, RGB(0x23, 0x6E, 0xC8));
        return reinterpret_cast<LRESULT>(bannerBrush_);
      }
      if (c == image1_ || c == picture2_) return reinterpret_cast<LRESULT>(accentBrush_);
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CLOSE:
      // Closing is refused while the package is being downloaded.
      if (flow_ && !flow_->CanClose()) return 0;
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      KillTimer(hwnd_, kTimer1);
      KillTimer(hwnd_, kStallTimer);
      dfiles1_.Destroy();
      dfiles2_.Destroy();
      PostQuitMessage(0);
      return 0;
    default:
      return Default(msg, wp, lp);
  }
}

}  // namespace tw::updater
