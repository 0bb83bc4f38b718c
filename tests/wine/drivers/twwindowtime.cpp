// Benchmark driver: time from starting a program to its first visible, painted top-level window,
// and from closing that window to the end of the process.
//
//   twwindowtime <program> [runs] [timeout-ms] [arguments...]
//                                                per run: CreateProcess (detached, with the
//                                                arguments if given), poll every millisecond for a visible top-level
//                                                window of the new process with nothing left to
//                                                paint, then close it with WM_CLOSE (terminated if
//                                                it has not ended within the timeout); prints one
//                                                record per run: ms= (start to painted window),
//                                                visible=1/0, closed=1/0, close.ms= (WM_CLOSE posted
//                                                to the process's end), gone.ms= (to the window's end)
//   twwindowtime --window [children]             the least window program: one class, one
//                                                overlapped window shown at once, a message loop;
//                                                with children: that many plain child windows in
//                                                it, clipped, and a colour key, as the shell has
#include <windows.h>

#include <cstdio>
#include <string>
#include "tests/wine/drivers/driver_support.h"

namespace {

using twd::Out;

LRESULT CALLBACK LeastProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(w, msg, wp, lp);
}

int LeastWindow(int children) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = LeastProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"TwLeastWindow";
  if (!RegisterClassExW(&wc)) return 1;
  // With children, the window is made like the shell's: it clips its children and carries a
  // colour key, and they are plain child windows each erased by its class brush. That is the cost
  // of a window tree of that size alone, without any content.
  const DWORD clip = children > 0 ? WS_CLIPCHILDREN : 0;
  HWND w = CreateWindowExW(0, wc.lpszClassName, L"least window", WS_OVERLAPPEDWINDOW | clip, CW_USEDEFAULT,
                           CW_USEDEFAULT, 400, 300, nullptr, nullptr, wc.hInstance, nullptr);
  if (!w) return 1;
  for (int i = 0; i < children; ++i)
    CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 4 + (i % 8) * 48, 4 + (i / 8) * 28, 44, 24, w, nullptr,
                    wc.hInstance, nullptr);
  if (children > 0) {
    SetWindowLongW(w, GWL_EXSTYLE, GetWindowLongW(w, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetLayeredWindowAttributes(w, RGB(0xFF, 0x00, 0xFF), 0, LWA_COLORKEY);
  }
  ShowWindow(w, SW_SHOW);
  UpdateWindow(w);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return 0;
}

struct Search {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindVisible(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  // Painted: shown, and no part of it is waiting for WM_PAINT.
  if (pid == s->pid && IsWindowVisible(w) && !GetUpdateRect(w, nullptr, FALSE)) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  std::wstring program = argv[1];
  if (program == L"--window") return LeastWindow(argc > 2 ? _wtoi(argv[2]) : 0);
  const int runs = argc > 2 ? _wtoi(argv[2]) : 1;
  const DWORD timeout = argc > 3 ? static_cast<DWORD>(_wtoi(argv[3])) : 20000;

  LARGE_INTEGER freq, t0, t1;
  QueryPerformanceFrequency(&freq);
  for (int i = 0; i < (runs > 0 ? runs : 1); ++i) {
    std::wstring line = L"\"" + program + L"\"";
    for (int a = 4; a < argc; ++a) line += L" " + std::wstring(argv[a]);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // The program's own folder is its working folder, as when it is started from its icon.
    std::wstring folder = program.substr(0, program.find_last_of(L"\\/"));
    QueryPerformanceCounter(&t0);
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        folder.c_str(), &si, &pi)) {
      Out("error=" + std::to_string(GetLastError()) + "\n\n");
      return 1;
    }
    Search s{pi.dwProcessId, nullptr};
    for (;;) {
      EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&s));
      QueryPerformanceCounter(&t1);
      if (s.found) break;
      if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
      if (static_cast<double>(t1.QuadPart - t0.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart) > timeout)
        break;
      Sleep(1);
    }
    double ms = static_cast<double>(t1.QuadPart - t0.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
    bool closed = false;
    double closeMs = 0, goneMs = 0;
    if (s.found) {
      LARGE_INTEGER c0, c1;
      auto since = [&](const LARGE_INTEGER& a) {
        QueryPerformanceCounter(&c1);
        return static_cast<double>(c1.QuadPart - a.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
      };
      QueryPerformanceCounter(&c0);
      PostMessageW(s.found, WM_CLOSE, 0, 0);
      for (;;) {
        if (WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0) {
          closed = true;
          break;
        }
        if (!goneMs && !IsWindow(s.found)) goneMs = since(c0);
        if (since(c0) > timeout) break;
      }
      closeMs = since(c0);
      if (!goneMs) goneMs = closeMs;
    }
    if (!closed) {
      TerminateProcess(pi.hProcess, 1);
      WaitForSingleObject(pi.hProcess, 5000);
    }
    char text[192];
    snprintf(text, sizeof text, "ms=%.3f\nvisible=%d\nclosed=%d\nclose.ms=%.3f\ngone.ms=%.3f\n\n", ms, s.found ? 1 : 0,
             closed ? 1 : 0, closeMs, goneMs);
    Out(text);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  return 0;
}
