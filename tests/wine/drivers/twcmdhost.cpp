// Test driver: hosts the shell's hidden command window on its own, with a host that records what
// the main window would be asked to do ("turn=sub4", "turn=sub3", "refresh"), one line each, every
// text the box receives ("text=" in UTF-8), and "ready" once the window exists.
//
//   twcmdhost <seconds> [log file]   lines go to the log file (appended), else to standard output;
//                                    ends on WM_QUIT, or by itself after the seconds (default 120)
#include <windows.h>

#include <cstdlib>
#include <string>

#include "common/win/text_win.h"
#include "shell/command_window/win/command_window.h"

namespace {

HANDLE g_out = INVALID_HANDLE_VALUE;

void Out(const char* line) {
  DWORD put = 0;
  std::string s = std::string(line) + "\n";
  HANDLE out = g_out != INVALID_HANDLE_VALUE ? g_out : GetStdHandle(STD_OUTPUT_HANDLE);
  WriteFile(out, s.data(), static_cast<DWORD>(s.size()), &put, nullptr);
  FlushFileBuffers(out);
}

class PrintingHost : public tw::shell::CommandWindowHost {
 public:
  void SetTurnSub4() override { Out("turn=sub4"); }
  void SetTurnSub3() override { Out("turn=sub3"); }
  void RefreshWebLeft() override { Out("refresh"); }
  void TextReceived(const std::u16string& text) override {
    std::wstring w = tw::win::W(text);
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), utf8.data(), n, nullptr, nullptr);
    Out(("text=" + utf8).c_str());
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const UINT seconds = argc > 1 ? static_cast<UINT>(_wtoi(argv[1])) : 120;
  if (argc > 2) {
    g_out = CreateFileW(argv[2], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  PrintingHost host;
  tw::shell::FrmQorMess form(host, tw::win::InstallFolder());
  if (!form.Create()) {
    Out("create=failed");
    return 1;
  }
  Out("ready");
  const UINT_PTR timer = SetTimer(nullptr, 0, (seconds ? seconds : 120) * 1000, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == timer) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  form.Destroy();
  Out("destroyed");
  return 0;
}
