// The shell's update check: at start-up a hidden download control (DFiles1 of the main window)
// fetches the update information; when it has arrived, the versions are compared and a newer one
// is announced, the updater started and, once it has started, the main window closed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/win/ax_host.h"

namespace tw::shell {

class ShellUpdateCheck {
 public:
  ShellUpdateCheck() = default;
  ShellUpdateCheck(const ShellUpdateCheck&) = delete;
  ShellUpdateCheck& operator=(const ShellUpdateCheck&) = delete;

  // Places the control on `owner` and starts the download without waiting.
  void Start(HWND owner, const std::u16string& installFolder);
  // Shut-down: the control goes before its window.
  void Stop() { DFiles1.Destroy(); }

 private:
  void OnDownloadComplete(std::int32_t bytes);

  HWND owner_ = nullptr;
  std::u16string folder_;
  bool checked_ = false;
  win::AxHost DFiles1;
};

}  // namespace tw::shell
