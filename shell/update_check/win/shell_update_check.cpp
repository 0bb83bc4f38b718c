#include "shell/update_check/win/shell_update_check.h"

#include <chrono>

#include "build_config.h"
#include "common/win/dfiles_host.h"
#include "common/win/file_system_win.h"
#include "common/win/shell_open.h"
#include "common/win/text_win.h"
#include "updater/core/version_files.h"

namespace tw::shell {
void ShellUpdateCheck::Start(HWND owner, const std::u16string& installFolder) {
  owner_ = owner;
  folder_ = installFolder;
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(L"Corvala.DFiles", &clsid))) return;
  RECT rc{0, 0, 1, 1};
  HRESULT hr = DFiles1.Create(owner, rc, clsid, IID_NULL, [this](DISPID id, DISPPARAMS* params) {
    VARIANT bytes;
    VariantInit(&bytes);
    if (id != win::dfiles::kDLComplete) return;
    if (!params || params->cArgs < 1 || FAILED(VariantChangeType(&bytes, &params->rgvarg[0], 0, VT_I4))) V_I4(&bytes) = 0;
    OnDownloadComplete(V_I4(&bytes));
  });
  if (FAILED(hr)) return;
  DFiles1.Show(false);
  win::dfiles::BeginDownload(DFiles1, std::u16string(TW_PORTAL_BASE) + update::kUpdateInfoAddress,
                             folder_ + update::kDataFolder, update::kUpdateInfoName);
}

void ShellUpdateCheck::OnDownloadComplete(std::int32_t bytes) {
  // One check per run, whatever the transfer's result.
  if (checked_) return;
  checked_ = true;
  win::Win32FileSystem fs;
  win::Win32AnsiCodec codec;
  if (update::ShellUpdateCheck(fs, codec, folder_, bytes, std::chrono::system_clock::now(), win::DecimalSeparator()) !=
      update::CheckOutcome::Update)
    return;
  std::wstring text = win::W(update::kShellUpdateMessage), title = win::W(update::kShellUpdateTitle);
  MessageBoxW(owner_, text.c_str(), title.c_str(), MB_OK | MB_ICONINFORMATION);
  if (win::ShellOpen(folder_ + update::kUpdaterProgram, u"") <= 32) {
    std::wstring failed = win::W(update::kShellUpdaterNotStarted);
    MessageBoxW(owner_, failed.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
    return;
  }
  // Raised from inside the control's event: the window closes once the handler has returned.
  PostMessageW(owner_, WM_CLOSE, 0, 0);
}

}  // namespace tw::shell
