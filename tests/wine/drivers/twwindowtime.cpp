// Benchmark driver: time from starting a program to its first visible top-level window.
//
//   twwindowtime <program> [runs] [timeout-ms] [argument]
//                                                per run: CreateProcess (detached, with the one
//                                                argument if given), poll every millisecond for a visible top-level
//                                                window of the new process, then close it with
//                                                WM_CLOSE (terminated if it has not ended within the
//                                                timeout); prints one record per run: ms=, closed=1/0
//   twwindowtime --window                        the least window program: one class, one
//                                                overlapped window shown at once, a message loop
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

int LeastWindow() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = LeastProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"TwLeastWindow";
  if (!RegisterClassExW(&wc)) return 1;
  HWND w = CreateWindowExW(0, wc.lpszClassName, L"least window", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                           400, 300, nullptr, nullptr, wc.hInstance, nullptr);
  if (!w) return 1;
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
  if (pid == s->pid && IsWindowVisible(w)) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  std::wstring program = argv[1];
  if (program == L"--window") return LeastWindow();
  const int runs = argc > 2 ? _wtoi(argv[2]) : 1;
  const DWORD timeout = argc > 3 ? static_cast<DWORD>(_wtoi(argv[3])) : 20000;

  LARGE_INTEGER freq, t0, t1;
  QueryPerformanceFrequency(&freq);
  for (int i = 0; i < (runs > 0 ? runs : 1); ++i) {
    std::wstring line = L"\"" + program + L"\"";
    if (argc > 4) line += L" " + std::wstring(argv[4]);
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
    if (s.found) {
      PostMessageW(s.found, WM_CLOSE, 0, 0);
      closed = WaitForSingleObject(pi.hProcess, timeout) == WAIT_OBJECT_0;
    }
    if (!closed) {
      TerminateProcess(pi.hProcess, 1);
      WaitForSingleObject(pi.hProcess, 5000);
    }
    char text[128];
    snprintf(text, sizeof text, "ms=%.3f\nvisible=%d\nclosed=%d\n\n", ms, s.found ? 1 : 0, closed ? 1 : 0);
    Out(text);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  return 0;
}
