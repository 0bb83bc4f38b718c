// Benchmark driver: the least window program (one class, one overlapped window shown at once, a
// message loop) carrying what every start of the shell pays before any work of its own: the
// shell's manifest (common controls 6, resolution awareness), OLE and the common controls
// initialised. Timed beside the shell, it shows how much of the shell's start-up is the fixed
// cost of the platform libraries it is built on.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

namespace {

LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(w, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int show) {
  if (FAILED(OleInitialize(nullptr))) return 1;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  SysFreeString(nullptr);  // the shell's automation library is loaded at start too
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Proc;
  wc.hInstance = inst;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"TwLeastWindowLibs";
  if (!RegisterClassExW(&wc)) return 1;
  HWND w = CreateWindowExW(0, wc.lpszClassName, L"least window", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                           400, 300, nullptr, nullptr, inst, nullptr);
  if (!w) return 1;
  ShowWindow(w, show);
  UpdateWindow(w);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  OleUninitialize();
  return static_cast<int>(m.wParam);
}
