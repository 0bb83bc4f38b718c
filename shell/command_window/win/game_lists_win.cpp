#include "shell/command_window/win/game_lists_win.h"

#include "common/win/file_system_win.h"
#include "common/win/text_win.h"

namespace tw::shell {

bool WriteXmlWithMessage(HWND owner, lists::GameList list, const std::u16string& title, const std::u16string& url,
                         const std::function<void(const std::u16string& script)>& runInLeftPane) {
  win::Win32FileSystem fs;
  win::Win32AnsiCodec codec;
  const lists::AddOutcome out = lists::AddToList(fs, codec, win::InstallFolder(), list, title, url);
  if (!out.leftScript.empty() && runInLeftPane) runInLeftPane(out.leftScript);
  const UINT icon = out.message.icon == lists::MessageIcon::Information ? MB_ICONINFORMATION : MB_ICONERROR;
  MessageBoxW(owner, win::W(out.message.text).c_str(), L"Tarnwick", MB_OK | icon);
  return out.result == lists::WriteResult::Written;
}

}  // namespace tw::shell
