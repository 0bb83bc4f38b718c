// The notification-area icon: shown or removed through `intray`, with a tip, reporting clicks
// to its owner window as kTrayMessage (wParam = icon id, lParam = the mouse message).
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace tw::shell {

class TrayIcon {
 public:
  static constexpr UINT kTrayMessage = WM_APP + 1;
  static constexpr UINT kIconId = 1;

  TrayIcon() = default;
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;
  ~TrayIcon() { set_intray(false); }

  void Configure(HWND owner, HICON icon, const std::u16string& tip) {
    owner_ = owner;
    icon_ = icon;
    tip_ = tip;
  }
  bool intray() const { return shown_; }
  void set_intray(bool show);
  // The taskbar was re-created (explorer restarted): put the icon back if it was shown.
  void Restore();

 private:
  NOTIFYICONDATAW Data() const;
  HWND owner_ = nullptr;
  HICON icon_ = nullptr;
  std::u16string tip_;
  bool shown_ = false;
};

}  // namespace tw::shell
