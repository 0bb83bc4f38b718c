#include "library/download_control/win/url_transfer.h"

#include <wininet.h>

#include "common/win/com_object.h"
#include "common/win/text_win.h"

namespace tw::corvala {

std::u16string ErrorText(DWORD error) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text;
  if (n && buffer) text = win::U(std::wstring_view(buffer, n));
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ')) text.pop_back();
  if (text.empty()) {
    wchar_t hex[32];
    wsprintfW(hex, L"Error 0x%08lX", static_cast<unsigned long>(error));
    text = win::U(hex);
  }
  return text;
}

// Receives one binding's notifications. Detached when the transfer is cancelled or replaced, so a
// late notification of an old binding never reaches the core. Created as ComObject<BindCallback>
// with one reference, the transfer's (UrlTransfer::callback_).
class BindCallback : public IBindStatusCallback {
 public:
  explicit BindCallback(UrlTransfer* owner) : owner_(owner), buffer_(256 * 1024) {}

  static const win::QiEntry* QiTable() {
    static const win::QiEntry table[] = {TW_QI_ENTRY(BindCallback, IBindStatusCallback), {nullptr, 0}};
    return table;
  }

  // Called by the transfer, which has already let go of callback_ and releases its reference
  // afterwards: stops the binding, whose end notification is then dropped.
  void Abort() {
    owner_ = nullptr;
    if (IBinding* b = binding_) {
      b->AddRef();
      b->Abort();
      b->Release();
    }
    Clear();
  }

  // The transfer lets go of a binding that could not start.
  void Disown() {
    if (owner_ && owner_->callback_ == this) {
      owner_->callback_ = nullptr;
      owner_ = nullptr;
      Release();
    }
    owner_ = nullptr;
  }

  STDMETHODIMP OnStartBinding(DWORD, IBinding* binding) override {
    if (binding) binding->AddRef();
    if (binding_) binding_->Release();
    binding_ = binding;
    return S_OK;
  }
  STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }

  STDMETHODIMP OnProgress(ULONG progress, ULONG progressMax, ULONG status, LPCWSTR text) override {
    Guard guard(this);
    if (!guard.core) return E_ABORT;
    if (status == BINDSTATUS_BEGINDOWNLOADDATA || status == BINDSTATUS_DOWNLOADINGDATA ||
        status == BINDSTATUS_ENDDOWNLOADDATA) {
      if (!CheckStatus(guard.core)) return E_ABORT;
    }
    guard.core->OnProgress(static_cast<std::int32_t>(status), text ? win::U(text) : std::u16string(),
                           static_cast<std::int64_t>(progress), static_cast<std::int64_t>(progressMax), 0);
    return owner_ ? S_OK : E_ABORT;
  }

  STDMETHODIMP OnStopBinding(HRESULT result, LPCWSTR) override {
    Guard guard(this);
    if (download::DFiles* core = guard.core) {
      if (SUCCEEDED(result) && CheckStatus(core)) ReadAll(core);
      bool current = owner_ != nullptr;  // the core may have ended the transfer meanwhile
      Disown();
      if (current) {
        if (SUCCEEDED(result))
          core->OnFinished();
        else
          core->OnFailed(static_cast<std::int32_t>(result));
      }
    }
    Clear();
    return S_OK;
  }

  STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* info) override {
    if (!flags || !info) return E_INVALIDARG;
    // Always from the server, never from (or into) the cache; data is pulled as it arrives.
    *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | BINDF_GETNEWESTVERSION |
             BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE | BINDF_RESYNCHRONIZE;
    DWORD size = info->cbSize;
    ZeroMemory(info, size);
    info->cbSize = size;
    info->dwBindVerb = BINDVERB_GET;
    return S_OK;
  }

  STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override {
    Guard guard(this);
    if (!guard.core) return E_ABORT;
    if (!stream_ && medium && medium->tymed == TYMED_ISTREAM && medium->pstm) {
      stream_ = medium->pstm;
      stream_->AddRef();
    }
    if (!CheckStatus(guard.core)) return E_ABORT;
    ReadAll(guard.core);
    return owner_ ? S_OK : E_ABORT;
  }

  STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

 protected:
  ~BindCallback() { Clear(); }

 private:
  // Holds this callback and the control while the core runs; `core` is null when the binding
  // is no longer the transfer's current one.
  struct Guard {
    explicit Guard(BindCallback* cb) : self(cb) {
      self->AddRef();
      if (self->owner_) {
        keep = self->owner_->keepAlive_;
        if (keep) keep->AddRef();
        core = self->owner_->core_;
      }
    }
    ~Guard() {
      if (keep) keep->Release();
      self->Release();
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    BindCallback* self;
    IUnknown* keep = nullptr;
    download::DFiles* core = nullptr;
  };

  void Clear() {
    if (IStream* s = stream_) {
      stream_ = nullptr;
      s->Release();
    }
    if (IBinding* b = binding_) {
      binding_ = nullptr;
      b->Release();
    }
  }

  // Passes the server's status to the core once it is known. False when the transfer has ended.
  bool CheckStatus(download::DFiles* core) {
    if (!statusChecked_ && binding_) {
      IWinInetHttpInfo* info = nullptr;
      if (SUCCEEDED(binding_->QueryInterface(IID_IWinInetHttpInfo, reinterpret_cast<void**>(&info))) && info) {
        DWORD code = 0, size = sizeof code, flags = 0;
        if (info->QueryInfo(HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, &flags, nullptr) ==
                S_OK &&
            code != 0) {
          statusChecked_ = true;
          core->OnHttpStatus(static_cast<std::int32_t>(code));
        }
        info->Release();
      }
    }
    return owner_ != nullptr && core->Downloading();
  }

  // Reads what the stream holds now; stops when it would block or the transfer ends.
  void ReadAll(download::DFiles* core) {
    while (stream_ && owner_) {
      ULONG got = 0;
      HRESULT hr = stream_->Read(buffer_.data(), static_cast<ULONG>(buffer_.size()), &got);
      if (got > 0) core->OnData(std::string_view(buffer_.data(), got));
      if (hr != S_OK || got == 0) break;
    }
  }

  UrlTransfer* owner_;
  IBinding* binding_ = nullptr;
  IStream* stream_ = nullptr;
  bool statusChecked_ = false;
  std::vector<char> buffer_;
};

UrlTransfer::~UrlTransfer() { Cancel(); }

std::optional<download::StartFailure> UrlTransfer::Start(const std::u16string& url) {
  Cancel();
  std::wstring address = win::W(url);
  IMoniker* moniker = nullptr;
  HRESULT hr = CreateURLMonikerEx(nullptr, address.c_str(), &moniker, URL_MK_UNIFORM);
  if (FAILED(hr)) return download::StartFailure{static_cast<std::int32_t>(hr), ErrorText(static_cast<DWORD>(hr))};

  IBindStatusCallback* created = nullptr;
  hr = win::ComObject<BindCallback>::Create(IID_IBindStatusCallback, reinterpret_cast<void**>(&created), this);
  if (FAILED(hr)) {
    moniker->Release();
    return download::StartFailure{static_cast<std::int32_t>(hr), ErrorText(static_cast<DWORD>(hr))};
  }
  auto* callback = static_cast<BindCallback*>(created);
  callback_ = callback;
  callback->AddRef();  // kept across BindToStorage, which may end the binding inside
  IBindCtx* context = nullptr;
  hr = CreateAsyncBindCtx(0, callback, nullptr, &context);
  if (SUCCEEDED(hr)) {
    IStream* stream = nullptr;
    hr = moniker->BindToStorage(context, nullptr, IID_IStream, reinterpret_cast<void**>(&stream));
    if (stream) stream->Release();
    context->Release();
  }
  if (FAILED(hr)) callback->Disown();
  callback->Release();
  moniker->Release();
  if (FAILED(hr)) return download::StartFailure{static_cast<std::int32_t>(hr), ErrorText(static_cast<DWORD>(hr))};
  return std::nullopt;
}

void UrlTransfer::Cancel() {
  if (BindCallback* callback = callback_) {
    callback_ = nullptr;
    callback->Abort();
    callback->Release();  // the transfer's reference
  }
}

bool UrlTransfer::PumpMessages() {
  MSG msg;
  if (!GetMessageW(&msg, nullptr, 0, 0)) {
    PostQuitMessage(static_cast<int>(msg.wParam));
    return false;
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return true;
}

download::FileResult TempFileWriter::CreateTemp(const std::u16string& target) {
  DiscardTemp();
  std::wstring full = win::W(target);
  std::size_t slash = full.find_last_of(L"\\/");
  if (full.empty() || slash == std::wstring::npos)
    return download::FileResult::Failed(ErrorText(ERROR_INVALID_NAME));
  std::wstring folder = full.substr(0, slash + 1);
  wchar_t name[MAX_PATH + 16];
  if (!GetTempFileNameW(folder.c_str(), L"dl", 0, name)) return download::FileResult::Failed(ErrorText(GetLastError()));
  file_ = CreateFileW(name, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    DeleteFileW(name);
    return download::FileResult::Failed(ErrorText(error));
  }
  path_ = name;
  return download::FileResult::Ok();
}

download::FileResult TempFileWriter::AppendTemp(std::string_view bytes) {
  if (file_ == INVALID_HANDLE_VALUE) return download::FileResult::Failed(ErrorText(ERROR_INVALID_HANDLE));
  while (!bytes.empty()) {
    DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(file_, bytes.data(), chunk, &written, nullptr) || written == 0)
      return download::FileResult::Failed(ErrorText(GetLastError()));
    bytes.remove_prefix(written);
  }
  return download::FileResult::Ok();
}

download::FileResult TempFileWriter::CommitTemp(const std::u16string& target) {
  if (file_ == INVALID_HANDLE_VALUE) return download::FileResult::Failed(ErrorText(ERROR_INVALID_HANDLE));
  if (!CloseHandle(file_)) {
    DWORD error = GetLastError();
    file_ = INVALID_HANDLE_VALUE;
    return download::FileResult::Failed(ErrorText(error));
  }
  file_ = INVALID_HANDLE_VALUE;
  if (!MoveFileExW(path_.c_str(), win::W(target).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
    return download::FileResult::Failed(ErrorText(GetLastError()));
  path_.clear();
  return download::FileResult::Ok();
}

void TempFileWriter::DiscardTemp() {
  if (file_ != INVALID_HANDLE_VALUE) {
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
  }
  if (!path_.empty()) {
    DeleteFileW(path_.c_str());
    path_.clear();
  }
}

download::FileResult TempFileWriter::Delete(const std::u16string& path) {
  if (DeleteFileW(win::W(path).c_str())) return download::FileResult::Ok();
  DWORD error = GetLastError();
  // A cache copy that is already gone needs no deleting.
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return download::FileResult::Ok();
  return download::FileResult::Failed(ErrorText(error));
}

}  // namespace tw::corvala
