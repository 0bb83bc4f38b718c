// The notification-area icon: shown or removed through `intray`, with a tip, reporting clicks
// to its owner window as kTrayMessage (wParam = icon id, lParam = the mouse message).
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <thread>

namespace tw::shell {

class TrayIcon {
 public:
  static constexpr UINT kTrayMessage = WM_APP + 1;
  static constexpr UINT kIconId = 1;

  TrayIcon() = default;
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;
  ~TrayIcon();

  void Configure(HWND owner, HICON icon, const std::u16string& tip) {
    owner_ = owner;
    icon_ = icon;
    tip_ = tip;
  }
  bool intray() const { return shown_; }
  void set_intray(bool show);
  // The taskbar was re-created (explorer restarted): put the icon back if it was shown.
  void Restore();
  // Shut-down: removes the icon on a thread of its own and returns at once. The taskbar may take
  // its time to answer (it can wait on its own window when its last icon goes); the owner's own
  // closing runs meanwhile. The removal is waited for when the icon object ends.
  void RemoveWhileClosing();

 private:
  NOTIFYICONDATAW Data() const;
  HWND owner_ = nullptr;
  HICON icon_ = nullptr;
  std::u16string tip_;
  bool shown_ = false;
  std::thread remover_;
};

}  // namespace tw::shell
