// Corvala.DFiles: the download control as an ActiveX control. The behaviour is the core's
// (library/download_control/core); this class serves its dispatch interface and events, stores
// its properties in the container's property bag or stream, and draws the progress bar.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <memory>
#include <span>

#include "common/win/ax_control.h"
#include "common/win/dfiles_host.h"
#include "common/win/text_win.h"
#include "library/download_control/core/dfiles.h"
#include "library/download_control/core/dfiles_settings.h"
#include "library/download_control/win/text_builder.h"
#include "library/download_control/win/url_transfer.h"

namespace tw::corvala {

class DFilesControl : public win::AxControl<DFilesControl>, private download::DFilesEvents {
 public:
  DFilesControl();
  ~DFilesControl() override;

 private:
  friend class win::AxControl<DFilesControl>;

  static const win::AxClass& Class();
  static std::span<const win::AxProperty<DFilesControl>> Properties();
  void Loaded(win::AxLoad from);
  HRESULT Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr);
  void Paint(HDC dc, const RECT& bounds);
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void OnClose() { core_.Teardown(); }
  DWORD WindowStyle() const { return borderStyle_ == 1 ? WS_BORDER : 0; }
  void OnWindowCreated() { EnableWindow(hwnd_, enabled_); }

  // Events of the core, fired to the container's sinks with arguments by reference.
  void DLProgress(float percent, std::int32_t bytesRead, std::int32_t totalBytes) override;
  void DLCanceled() override;
  void DLError(download::DLErrorKind kind, const std::u16string& text) override;
  void DLComplete(std::int32_t bytes) override;
  void DLConnected(const std::u16string& address) override;
  void DLRedirect(const std::u16string& address) override;
  void DLCacheFile(const std::u16string& fileName) override;
  void DLMIMEType(const std::u16string& mimeType) override;
  void DLFileSize(std::int32_t bytes) override;
  void DLBeginDownload() override;
  void GetHtml(const download::ContentText& content) override;
  void Repaint() override;
  void ShowCriticalMessage(const std::u16string& text, const std::u16string& title) override;

  HRESULT GetProperty(DISPID id, VARIANT* result);
  HRESULT PutProperty(DISPID id, DISPPARAMS* params, UINT* argErr);
  void FireText(DISPID id, const std::u16string& text);
  void FireMouse(DISPID id, WPARAM wp, LPARAM lp);
  void ApplySettings(const download::DFilesSettings& s);
  void ApplyBorder();

  std::unique_ptr<TextBuilder> textBuilder_;  // outlives the core, which hands it the content
  UrlTransfer transfer_;
  TempFileWriter files_;
  win::Win32AnsiCodec codec_;
  download::DFiles core_;

  win::ComPtr<IFontDisp> font_;
  download::DFilesSettings loading_;  // what a load read, applied at once by Loaded
  win::ComPtr<IFontDisp> loadingFont_;

  OLE_COLOR backColor_ = download::kDefaultBackColor;
  OLE_COLOR foreColor_ = download::kDefaultForeColor;
  bool enabled_ = true;
  std::int16_t borderStyle_ = 1;
  bool mouseDown_ = false;
};

}  // namespace tw::corvala
