// The shell's hidden command window "FrmQorMess" and its box Text1. The relay writes a command
// into the box with WM_SETTEXT; every change of the box's text runs the command grammar, and the
// main window hears about it through CommandWindowHost.
#pragma once

#include <windows.h>

#include <string>

#include "common/win/file_system_win.h"
#include "common/win/text_win.h"
#include "common/win/window.h"

namespace tw::shell {

// What the command window asks of the main window once a list file was rewritten.
class CommandWindowHost {
 public:
  virtual ~CommandWindowHost() = default;
  virtual void SetTurnSub4() = 0;     // the next completed load of WebLeft shows the favourites
  virtual void SetTurnSub3() = 0;     // ... or the local games
  virtual void RefreshWebLeft() = 0;  // reload the left pane
  // Every text the box receives, before it is handled (the idle text included). Nothing by default.
  virtual void TextReceived(const std::u16string& /*text*/) {}
};

class FrmQorMess : public win::Window<FrmQorMess> {
 public:
  static constexpr const wchar_t* kCaption = L"FrmQorMess";
  static constexpr const wchar_t* kBoxClass = L"ThunderRT6TextBox";

  // installFolder: the folder of the running executable, without a trailing separator.
  FrmQorMess(CommandWindowHost& host, std::u16string installFolder);

  // Creates the window hidden (it is never shown) with its box showing "Text1".
  bool Create();
  void Destroy();

  HWND text1() const { return text1_; }

  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

 private:
  friend class win::Window<FrmQorMess>;
  void Text1Change();

  CommandWindowHost& host_;
  std::u16string installFolder_;
  win::Win32FileSystem fs_;
  win::Win32AnsiCodec codec_;
  HWND text1_ = nullptr;
};

}  // namespace tw::shell
