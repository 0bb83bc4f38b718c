// Form1, the updater's one window: banner, status line, the "完成" button and two download
// controls (DFiles2 for the update information, DFiles1 for the installer package). The
// decisions are the core's (updater/core/updater_flow); this class adapts them to the window.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "common/win/ax_host.h"
#include "common/win/file_system_win.h"
#include "common/win/text_win.h"
#include "common/win/window.h"
#include "updater/core/updater_flow.h"

namespace tw::updater {

class Form1 : public win::Window<Form1>, private update::UpdaterView {
 public:
  Form1();
  ~Form1() override;

  // Creates and shows the window; the check starts at once.
  bool Create(int showCommand);

  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

 private:
  void SetStatus(const std::u16string& text) override;
  void EnableCloseButton(bool enabled) override;
  void EnableTimer(bool enabled) override;
  void ShowError(const std::u16string& text) override;
  bool StartDownload(update::Download which, const std::u16string& url, const std::u16string& folder,
                     const std::u16string& fileName) override;
  void CancelDownload(update::Download which) override;
  bool VerifyPackage(const std::u16string& path, const update::PackageSignature& signature) override;
  void RemoveFile(const std::u16string& path) override;
  bool OpenFile(const std::u16string& path) override;
  void WatchStall(bool on) override;
  void Close() override;

  // Closes the verified package's handle, which keeps writers out.
  void ReleasePackage();
  void OnCreate();
  void OnInfoEvent(DISPID id, DISPPARAMS* params);
  void OnPackageEvent(DISPID id, DISPPARAMS* params);
  win::AxHost& Control(update::Download which) { return which == update::Download::Info ? dfiles2_ : dfiles1_; }

  win::Win32FileSystem fs_;
  win::Win32AnsiCodec codec_;
  std::unique_ptr<update::UpdaterFlow> flow_;

  HWND label1_ = nullptr, label2_ = nullptr, picture1_ = nullptr, picture2_ = nullptr, image1_ = nullptr;
  HWND status_ = nullptr, cmd1_ = nullptr;
  win::AxHost dfiles2_, dfiles1_;
  HFONT font_ = nullptr, bannerFont_ = nullptr;
  HBRUSH bannerBrush_ = nullptr, accentBrush_ = nullptr;
  bool loaded_ = false;
  HANDLE package_ = INVALID_HANDLE_VALUE;  // the verified package, open for reading only
  std::u16string packagePath_;
};

}  // namespace tw::updater
