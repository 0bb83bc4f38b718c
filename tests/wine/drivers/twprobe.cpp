// Test driver: inspects and pokes windows the way the platform sees them. Prints records of
// key=value lines (UTF-8), one record per window, separated by blank lines.
//
//   twprobe find <caption|*> <class|*>      top-level windows matching (exact text; * = any)
//   twprobe children <hwnd>                 every descendant of a window
//   twprobe info <hwnd>                     one window
//   twprobe settext-ansi <hwnd> <text>      WM_SETTEXT with the text in the ANSI code page
//   twprobe send <hwnd> <msg> <wparam> <lparam>   SendMessage, prints result=
//   twprobe post <hwnd> <msg> <wparam> <lparam>   PostMessage
//   twprobe move <hwnd> <x> <y> <w> <h>     SetWindowPos to that place and outer size (pixels)
//   twprobe dpichange <hwnd> <dpi> <x> <y> <w> <h>   WM_DPICHANGED with that suggested rectangle
//   twprobe hotkey <mods> <vk>              can this process register the hot key? ok=1/0
//   twprobe tray <hwnd> <id>                does the window own tray icon <id>? present=1/0
//   twprobe screen                          screen size, DPI, work area, caption button height
//   twprobe acp                             the ANSI code page
//   twprobe menu                            the texts of the open pop-up menu, if any
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "tests/wine/drivers/driver_support.h"

namespace {

using twd::Out;
using twd::Utf8;

std::wstring Text(HWND h) {
  wchar_t buf[1024] = {};
  // InternalGetWindowText reads the window name without sending a message.
  InternalGetWindowText(h, buf, 1024);
  return buf;
}

std::wstring ClassOf(HWND h) {
  wchar_t buf[256] = {};
  GetClassNameW(h, buf, 256);
  return buf;
}

void Describe(HWND h) {
  RECT r{}, c{};
  GetWindowRect(h, &r);
  GetClientRect(h, &c);
  POINT origin{0, 0};
  ClientToScreen(h, &origin);
  char line[512];
  std::string s;
  snprintf(line, sizeof line, "hwnd=%lu\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(h)));
  s += line;
  s += "class=" + Utf8(ClassOf(h)) + "\n";
  s += "text=" + Utf8(Text(h)) + "\n";
  snprintf(line, sizeof line,
           "visible=%d\nstyle=0x%08lx\nexstyle=0x%08lx\nrect=%ld,%ld,%ld,%ld\nclient=%ld,%ld,%ld,%ld\nparent=%lu\n"
           "iconic=%d\nzoomed=%d\n",
           IsWindowVisible(h) ? 1 : 0, static_cast<unsigned long>(GetWindowLongW(h, GWL_STYLE)),
           static_cast<unsigned long>(GetWindowLongW(h, GWL_EXSTYLE)), r.left, r.top, r.right, r.bottom, origin.x,
           origin.y, origin.x + c.right, origin.y + c.bottom,
           static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(GetAncestor(h, GA_PARENT))), IsIconic(h) ? 1 : 0,
           IsZoomed(h) ? 1 : 0);
  s += line;
  COLORREF key = 0;
  BYTE alpha = 0;
  DWORD flags = 0;
  if (GetLayeredWindowAttributes(h, &key, &alpha, &flags)) {
    snprintf(line, sizeof line, "colorkey=0x%06lx\nalpha=%u\nlayered_flags=%lu\n", static_cast<unsigned long>(key),
             alpha, static_cast<unsigned long>(flags));
    s += line;
  }
  s += "\n";
  Out(s);
}

HWND ParseHwnd(const wchar_t* s) { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(wcstoul(s, nullptr, 0))); }

struct FindCtx {
  std::wstring caption, cls;
  int found = 0;
};

BOOL CALLBACK FindTop(HWND h, LPARAM lp) {
  auto* ctx = reinterpret_cast<FindCtx*>(lp);
  if ((ctx->caption == L"*" || Text(h) == ctx->caption) && (ctx->cls == L"*" || ClassOf(h) == ctx->cls)) {
    Describe(h);
    ++ctx->found;
  }
  return TRUE;
}

BOOL CALLBACK EachChild(HWND h, LPARAM) {
  Describe(h);
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  std::wstring cmd = argv[1];
  if (cmd == L"find" && argc >= 4) {
    FindCtx ctx{argv[2], argv[3]};
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found ? 0 : 1;
  }
  if (cmd == L"children" && argc >= 3) {
    EnumChildWindows(ParseHwnd(argv[2]), EachChild, 0);
    return 0;
  }
  if (cmd == L"info" && argc >= 3) {
    HWND h = ParseHwnd(argv[2]);
    if (!IsWindow(h)) return 1;
    Describe(h);
    return 0;
  }
  if (cmd == L"settext-ansi" && argc >= 4) {
    std::wstring w = argv[3];
    int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string a(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, a.data(), n, nullptr, nullptr);
    LRESULT r = SendMessageA(ParseHwnd(argv[2]), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(a.c_str()));
    Out("result=" + std::to_string(static_cast<long>(r)) + "\n\n");
    return 0;
  }
  if ((cmd == L"send" || cmd == L"post") && argc >= 6) {
    HWND h = ParseHwnd(argv[2]);
    UINT msg = wcstoul(argv[3], nullptr, 0);
    WPARAM wp = wcstoul(argv[4], nullptr, 0);
    LPARAM lp = static_cast<LPARAM>(wcstoul(argv[5], nullptr, 0));
    if (cmd == L"send") {
      DWORD_PTR result = 0;
      LRESULT ok = SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, 10000, &result);
      Out("ok=" + std::to_string(ok ? 1 : 0) + "\nresult=" + std::to_string(static_cast<long>(result)) + "\n\n");
    } else {
      Out("ok=" + std::to_string(PostMessageW(h, msg, wp, lp) ? 1 : 0) + "\n\n");
    }
    return 0;
  }
  if (cmd == L"move" && argc >= 7) {
    BOOL ok = SetWindowPos(ParseHwnd(argv[2]), nullptr, _wtoi(argv[3]), _wtoi(argv[4]), _wtoi(argv[5]),
                           _wtoi(argv[6]), SWP_NOZORDER | SWP_NOACTIVATE);
    Out(std::string("ok=") + (ok ? "1" : "0") + "\n\n");
    return 0;
  }
  if (cmd == L"dpichange" && argc >= 8) {
    // The rectangle is written at one address in the window's process and in this one, so the
    // window reads it whether or not the platform copies the message's pointer across.
    HWND h = ParseHwnd(argv[2]);
    const int x = _wtoi(argv[4]), y = _wtoi(argv[5]);
    const RECT rc{x, y, x + _wtoi(argv[6]), y + _wtoi(argv[7])};
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    void* there = process ? VirtualAllocEx(process, nullptr, sizeof rc, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE) : nullptr;
    void* here = there ? VirtualAlloc(there, sizeof rc, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE) : nullptr;
    if (!there || !WriteProcessMemory(process, there, &rc, sizeof rc, nullptr) || here != there) {
      if (process) CloseHandle(process);
      Out("ok=0\n\n");
      return 1;
    }
    memcpy(here, &rc, sizeof rc);
    const WORD dpi = static_cast<WORD>(_wtoi(argv[3]));
    DWORD_PTR result = 0;
    LRESULT ok = SendMessageTimeoutW(h, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(there),
                                     SMTO_ABORTIFHUNG, 10000, &result);
    VirtualFreeEx(process, there, 0, MEM_RELEASE);
    VirtualFree(here, 0, MEM_RELEASE);
    CloseHandle(process);
    Out(std::string("ok=") + (ok ? "1" : "0") + "\n\n");
    return 0;
  }
  if (cmd == L"hotkey" && argc >= 4) {
    UINT mods = wcstoul(argv[2], nullptr, 0), vk = wcstoul(argv[3], nullptr, 0);
    BOOL ok = RegisterHotKey(nullptr, 0x7000, mods, vk);
    if (ok) UnregisterHotKey(nullptr, 0x7000);
    Out(std::string("ok=") + (ok ? "1" : "0") + "\n\n");
    return 0;
  }
  if (cmd == L"tray" && argc >= 4) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = ParseHwnd(argv[2]);
    nid.uID = wcstoul(argv[3], nullptr, 0);
    nid.uFlags = 0;
    BOOL present = Shell_NotifyIconW(NIM_MODIFY, &nid);
    Out(std::string("present=") + (present ? "1" : "0") + "\n\n");
    return 0;
  }
  if (cmd == L"screen") {
    HDC dc = GetDC(nullptr);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    Out("width=" + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "\nheight=" +
        std::to_string(GetSystemMetrics(SM_CYSCREEN)) + "\ndpi=" + std::to_string(GetDeviceCaps(dc, LOGPIXELSX)) +
        "\nwork=" + std::to_string(work.left) + "," + std::to_string(work.top) + "," + std::to_string(work.right) +
        "," + std::to_string(work.bottom) + "\ncaption_button=" + std::to_string(GetSystemMetrics(SM_CYSIZE)) +
        "\n\n");
    ReleaseDC(nullptr, dc);
    return 0;
  }
  if (cmd == L"acp") {
    Out("acp=" + std::to_string(GetACP()) + "\n\n");
    return 0;
  }
  if (cmd == L"menu") {
    HWND m = nullptr;
    while ((m = FindWindowExW(nullptr, m, L"#32768", nullptr)) != nullptr)
      if (IsWindowVisible(m)) break;
    if (!m) return 1;
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(m, 0x01E1 /* MN_GETHMENU */, 0, 0));
    std::string s = "hwnd=" + std::to_string(static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(m))) + "\n";
    int n = menu ? GetMenuItemCount(menu) : 0;
    for (int i = 0; i < n; ++i) {
      wchar_t buf[256] = {};
      GetMenuStringW(menu, static_cast<UINT>(i), buf, 256, MF_BYPOSITION);
      s += "item" + std::to_string(i) + "=" + Utf8(buf) + "\n";
      s += "id" + std::to_string(i) + "=" + std::to_string(GetMenuItemID(menu, i)) + "\n";
    }
    Out(s + "\n");
    return 0;
  }
  return 2;
}
