#include "shell/main_window/win/tray_icon.h"

#include <shellapi.h>

#include <algorithm>
#include <system_error>

#include "common/win/late_proc.h"

namespace tw::shell {
namespace {

// shell32 is loaded when the icon first goes to the taskbar, after the window's first paint.
BOOL NotifyIcon(DWORD message, NOTIFYICONDATAW* nid) {
  static const win::LateProc<decltype(::Shell_NotifyIconW)> notify{L"shell32.dll", "Shell_NotifyIconW"};
  auto* f = notify.get();
  return f ? f(message, nid) : FALSE;
}

}  // namespace

NOTIFYICONDATAW TrayIcon::Data() const {
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = owner_;
  nid.uID = kIconId;
  nid.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
  nid.uCallbackMessage = kTrayMessage;
  nid.hIcon = icon_;
  std::size_t n = std::min(tip_.size(), std::size(nid.szTip) - 1);
  std::copy_n(tip_.begin(), n, nid.szTip);
  nid.szTip[n] = 0;
  return nid;
}

void TrayIcon::set_intray(bool show) {
  if (!owner_ || show == shown_) return;
  NOTIFYICONDATAW nid = Data();
  // `intray` is what the owner asked for; an icon the taskbar already holds is updated instead.
  if (show) {
    if (!NotifyIcon(NIM_ADD, &nid)) NotifyIcon(NIM_MODIFY, &nid);
  } else {
    NotifyIcon(NIM_DELETE, &nid);
  }
  shown_ = show;
}

TrayIcon::~TrayIcon() {
  set_intray(false);
  if (remover_.joinable()) remover_.join();
}

void TrayIcon::RemoveWhileClosing() {
  if (!owner_ || !shown_ || remover_.joinable()) return;
  shown_ = false;
  NOTIFYICONDATAW nid = Data();
  try {
    remover_ = std::thread([nid]() mutable { NotifyIcon(NIM_DELETE, &nid); });
  } catch (const std::system_error&) {
    NotifyIcon(NIM_DELETE, &nid);  // no thread to spare: removed here and now
  }
}

void TrayIcon::Restore() {
  if (!shown_) return;
  shown_ = false;
  set_intray(true);
}

}  // namespace tw::shell
