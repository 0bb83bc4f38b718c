// Brask: hands its command line (a "qorzentro://" link) to the running shell. It finds the shell's
// hidden command window by its caption and the command box by its class and idle text, sends the
// text in the system's ANSI code page, and ends. No window, no console, no retry.
#include <windows.h>

#include "common/win/text_win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  // The command line without the program's own path, exactly as the platform passed it, in the
  // ANSI code page (the terminating zero converted with it), by the shell's own rule: a character
  // the code page lacks becomes '?', so a full-width '|' cannot become the command's separator.
  // Written out here rather than through ToAnsi so that the relay stays free of the C++ library.
  const DWORD flags = tw::win::ToAnsiFlags();
  const int n = WideCharToMultiByte(CP_ACP, flags, commandLine, -1, nullptr, 0, nullptr, nullptr);
  char empty[1] = {0};
  char* text = empty;
  if (n > 1) {
    text = static_cast<char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(n)));
    if (!text) return 0;
    WideCharToMultiByte(CP_ACP, flags, commandLine, -1, text, n, nullptr, nullptr);
  }

  HWND form = FindWindowA(nullptr, "FrmQorMess");
  if (!form) return 0;
  HWND box = FindWindowExA(form, nullptr, "ThunderRT6TextBox", "Text1");
  if (!box) return 0;
  // Returns once the shell has handled the command.
  SendMessageA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  return 0;
}
