// Test driver: hosts the shell's hidden command window on its own, with a host that records what
// the main window would be asked to do ("turn=sub4", "turn=sub3", "refresh"), one line each, every
// text the box receives ("text=" in UTF-8), and "ready" once the window exists.
//
//   twcmdhost <seconds> [log file]   lines go to the log file (appended), else to standard output;
//                                    ends on WM_QUIT, or by itself after the seconds (default 120)
//   twcmdhost add <fav|local> <title> <url> <log file>
//                                    the toolbar's add command instead: WriteXML on the list beside
//                                    the program with its message box; records "script=" for the
//                                    left pane and "written=1" or "written=0" once the box is closed
#include <windows.h>

#include <cstdlib>
#include <string>

#include "common/win/text_win.h"
#include "shell/command_window/win/command_window.h"
#include "shell/command_window/win/game_lists_win.h"

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
  void TextReceived(const std::u16string& text) override;
};

std::string Utf8(const std::u16string& text) {
  std::wstring w = tw::win::W(text);
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), utf8.data(), n, nullptr, nullptr);
  return utf8;
}

}  // namespace

void PrintingHost::TextReceived(const std::u16string& text) { Out(("text=" + Utf8(text)).c_str()); }

int wmain(int argc, wchar_t** argv) {
  if (argc >= 6 && std::wstring(argv[1]) == L"add") {
    g_out = CreateFileW(argv[5], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    const auto list = std::wstring(argv[2]) == L"local" ? tw::lists::GameList::Local : tw::lists::GameList::Favorites;
    const bool written = tw::shell::WriteXmlWithMessage(
        nullptr, list, tw::win::U(argv[3]), tw::win::U(argv[4]),
        [](const std::u16string& script) { Out(("script=" + Utf8(script)).c_str()); });
    Out(written ? "written=1" : "written=0");
    return 0;
  }
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
