// Test driver: starts a program with an exact command line, as the system does for a URL-scheme
// handler ("program" followed by the raw text), and waits for it to end (bounded).
//
//   twlaunch <program> [runs] [timeout-ms]   the text after the program's quoted path comes from
//                                            the environment variable TW_LAUNCH_TAIL (taken verbatim,
//                                            so quotes reach the program as they are); prints one
//                                            record per run: exit=, ms= (start to exit)
//   twlaunch --noop                          does nothing (a trivial console program to compare with)
//   twlaunch --noop-user32                   only loads USER32 and makes one call of it (FindWindowA),
//                                            the least any program that talks to a window does
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include "tests/wine/drivers/driver_support.h"

namespace {

using twd::Out;

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  std::wstring program = argv[1];
  if (program == L"--noop") return 0;
  if (program == L"--noop-user32") {
    // Loaded here rather than imported, so that --noop stays free of it.
    HMODULE user32 = LoadLibraryW(L"user32.dll");
    using FindWindowAFn = HWND(WINAPI*)(LPCSTR, LPCSTR);
    auto find = user32 ? reinterpret_cast<FindWindowAFn>(reinterpret_cast<void*>(GetProcAddress(user32, "FindWindowA")))
                       : nullptr;
    return find && !find(nullptr, "no such window here") ? 0 : 1;
  }
  const int runs = argc > 2 ? _wtoi(argv[2]) : 1;
  const DWORD timeout = argc > 3 ? static_cast<DWORD>(_wtoi(argv[3])) : 20000;

  std::wstring tail;
  DWORD n = GetEnvironmentVariableW(L"TW_LAUNCH_TAIL", nullptr, 0);
  if (n > 0) {
    tail.resize(n);
    tail.resize(GetEnvironmentVariableW(L"TW_LAUNCH_TAIL", tail.data(), n));
  }
  std::wstring line = L"\"" + program + L"\"";
  if (!tail.empty()) line += L" " + tail;

  LARGE_INTEGER freq, t0, t1;
  QueryPerformanceFrequency(&freq);
  for (int i = 0; i < (runs > 0 ? runs : 1); ++i) {
    std::wstring mutableLine = line;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    QueryPerformanceCounter(&t0);
    if (!CreateProcessW(program.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      Out("error=" + std::to_string(GetLastError()) + "\n\n");
      return 1;
    }
    DWORD wait = WaitForSingleObject(pi.hProcess, timeout);
    QueryPerformanceCounter(&t1);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    if (wait != WAIT_OBJECT_0) {
      TerminateProcess(pi.hProcess, 99);
      Out("timeout=1\n");
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    char buf[128];
    snprintf(buf, sizeof buf, "exit=%lu\nms=%.3f\n\n", static_cast<unsigned long>(code),
             1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(freq.QuadPart));
    Out(buf);
  }
  return 0;
}
