// Tarnwick: the shell's entry point. One user-interface thread, driven by the message loop.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "shell/main_window/win/main_window.h"
#include "shell/main_window/win/prefetch.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  tw::shell::PrefetchControlLibraries();
  if (FAILED(OleInitialize(nullptr))) return 1;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  int rc = 0;
  {
    tw::shell::MainWindow Form1;
    if (Form1.Create(show)) {
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (Form1.PreTranslateMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      rc = static_cast<int>(msg.wParam);
    } else {
      rc = 1;
    }
  }
  OleUninitialize();
  return rc;
}
