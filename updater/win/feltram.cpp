// Feltram.exe: the updater. No arguments; one window.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "updater/win/form1.h"

namespace tw::updater {

// Called once before the window is loaded: a structure of eight bytes and no classes.
void InitCommonControls() {
  INITCOMMONCONTROLSEX init{};
  init.dwSize = 8;
  init.dwICC = 0;
  InitCommonControlsEx(&init);
}

}  // namespace tw::updater

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  if (FAILED(OleInitialize(nullptr))) return 1;
  tw::updater::InitCommonControls();
  int rc = 0;
  {
    tw::updater::Form1 form;
    if (form.Create(show)) {
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(form.hwnd(), &msg)) {
          TranslateMessage(&msg);
          DispatchMessageW(&msg);
        }
      }
    } else {
      rc = 1;
    }
  }
  OleUninitialize();
  return rc;
}
