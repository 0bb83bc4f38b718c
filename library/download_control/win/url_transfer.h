// The download control's transfer on URL monikers: an asynchronous BindToStorage whose binding
// statuses, data and end are handed to the core on the calling thread (urlmon delivers them
// through that thread's messages). The content goes to a temporary file beside the target.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <string>
#include <vector>

#include "library/download_control/core/dfiles.h"

namespace tw::corvala {

class BindCallback;

class UrlTransfer : public download::Transfer {
 public:
  // `keepAlive` is the owning object: it is held while a notification is being handled, since a
  // host's event handler may drop its last reference.
  explicit UrlTransfer(IUnknown* keepAlive) : keepAlive_(keepAlive) {}
  UrlTransfer(const UrlTransfer&) = delete;
  UrlTransfer& operator=(const UrlTransfer&) = delete;
  ~UrlTransfer() override;

  void Attach(download::DFiles* core) { core_ = core; }

  std::optional<download::StartFailure> Start(const std::u16string& url) override;
  void Cancel() override;
  bool PumpMessages() override;

 private:
  friend class BindCallback;
  IUnknown* keepAlive_;
  download::DFiles* core_ = nullptr;
  BindCallback* callback_ = nullptr;  // the running binding's callback, if any
};

// A temporary file in the target's folder that replaces the target when complete.
class TempFileWriter : public download::ContentFiles {
 public:
  TempFileWriter() = default;
  TempFileWriter(const TempFileWriter&) = delete;
  TempFileWriter& operator=(const TempFileWriter&) = delete;
  ~TempFileWriter() override { DiscardTemp(); }

  download::FileResult CreateTemp(const std::u16string& target) override;
  download::FileResult AppendTemp(std::string_view bytes) override;
  download::FileResult CommitTemp(const std::u16string& target) override;
  void DiscardTemp() override;
  download::FileResult Delete(const std::u16string& path) override;

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  std::wstring path_;
};

// The system's text for an error number, without the trailing line break.
std::u16string ErrorText(DWORD error);

}  // namespace tw::corvala
