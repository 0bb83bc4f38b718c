// The download control's behaviour: one transfer at a time from an address into a file, reported
// through events. The platform side supplies the transfer (URL monikers on Windows), the content
// files and the event sink; everything here runs on the host's window thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/core/file_system.h"

namespace tw::download {

// Error kinds passed with DLError (the values are part of the control's interface).
enum class DLErrorKind : std::int32_t {
  Unavailable = 1,  // the transfer could not be started
  Redirect = 2,     // the server redirected while redirects count as failures
  ZeroLength = 3,   // the transfer completed with no bytes
  SaveError = 4,    // writing the content (or the clean-up after it) failed
  Unknown = 99,     // the transfer reported an error
};

// Binding statuses the control acts on; the values are the platform's.
enum BindStatus : std::int32_t {
  kStatusError = 0,
  kStatusConnecting = 2,
  kStatusRedirecting = 3,
  kStatusBeginDownloadData = 4,
  kStatusDownloadingData = 5,
  kStatusEndDownloadData = 6,
  kStatusMimeTypeAvailable = 13,
  kStatusCacheFileNameAvailable = 14,
};

struct StartFailure {
  std::int32_t number = 0;    // the platform's error number
  std::u16string description;
};

// The asynchronous read service. Its notifications come back through DFiles::On...(), on the same
// thread, possibly already inside Start().
class Transfer {
 public:
  virtual ~Transfer() = default;
  // Starts reading `url` from the server, never from a cached copy.
  virtual std::optional<StartFailure> Start(const std::u16string& url) = 0;
  // Stops the running read, if any. No notification of the stopped read is acted on afterwards.
  virtual void Cancel() = 0;
  // Dispatches the thread's pending messages once, waiting for one if there is none.
  // Returns false when the thread is being asked to quit.
  virtual bool PumpMessages() = 0;
};

struct FileResult {
  bool ok = true;
  std::u16string description;  // the platform's description of the failure
  static FileResult Ok() { return {}; }
  static FileResult Failed(std::u16string d) { return {false, std::move(d)}; }
};

// Where the content goes while it arrives: a temporary file beside the target that takes the
// target's place only when the content is complete, so a failed transfer leaves the old file.
class ContentFiles {
 public:
  virtual ~ContentFiles() = default;
  virtual FileResult CreateTemp(const std::u16string& target) = 0;
  virtual FileResult AppendTemp(std::string_view bytes) = 0;
  // Closes the temporary file and moves it over `target` (replacing an existing file).
  virtual FileResult CommitTemp(const std::u16string& target) = 0;
  // Closes and deletes the temporary file, if there is one.
  virtual void DiscardTemp() = 0;
  virtual FileResult Delete(const std::u16string& path) = 0;
};

// The content of a successful transfer as GetHtml carries it: text in the system's ANSI code
// page, held in the blocks it was kept in as it arrived (each but the last kContentBlock bytes).
// The receiver converts it once, into whatever string it hands on; it may empty each block as soon
// as it has converted it, so that the content and its text are never both held whole.
inline constexpr std::size_t kContentBlock = 1u << 20;
struct ContentText {
  std::vector<std::string>* blocks;  // null: no text
  const AnsiCodec* codec;
  // Full blocks that came before `blocks`, handed to the text builder as they were kept (see
  // ContentTextBuilder); 0 without a builder. size() and Decode() cover `blocks` only.
  std::size_t given = 0;
  std::size_t size() const {
    std::size_t n = 0;
    if (blocks)
      for (const std::string& b : *blocks) n += b.size();
    return n;
  }
  std::u16string Decode() const {
    std::string whole;
    whole.reserve(size());
    if (blocks)
      for (const std::string& b : *blocks) whole += b;
    return codec->Decode(whole);
  }
};

// Builds the page text while the transfer goes on: each full block of the content is handed over
// as soon as it is kept, in order, with the content's size as the transfer announced it (0: not
// known), and GetHtml then carries only what followed it. Reset drops whatever was handed over (a
// new transfer, a failure, content beyond the text limit).
class ContentTextBuilder {
 public:
  virtual ~ContentTextBuilder() = default;
  virtual void Add(std::string block, std::size_t announced) = 0;
  virtual void Reset() = 0;
};

// The control's events and the few things it asks of its window.
class DFilesEvents {
 public:
  virtual ~DFilesEvents() = default;
  virtual void DLProgress(float percent, std::int32_t bytesRead, std::int32_t totalBytes) = 0;
  virtual void DLCanceled() = 0;
  virtual void DLError(DLErrorKind kind, const std::u16string& text) = 0;
  virtual void DLComplete(std::int32_t bytes) = 0;
  virtual void DLConnected(const std::u16string& address) = 0;
  virtual void DLRedirect(const std::u16string& address) = 0;
  virtual void DLCacheFile(const std::u16string& fileName) = 0;
  virtual void DLMIMEType(const std::u16string& mimeType) = 0;
  virtual void DLFileSize(std::int32_t bytes) = 0;
  virtual void DLBeginDownload() = 0;
  virtual void GetHtml(const ContentText& content) = 0;
  virtual void Repaint() = 0;
  // A modal message box with the critical icon.
  virtual void ShowCriticalMessage(const std::u16string& text, const std::u16string& title) = 0;
};

struct BarRect {
  std::int32_t left, top, right, bottom;
  bool operator==(const BarRect&) const = default;
};

// The target path SetFileName gives: folder and name joined as they are (no separator inserted),
// or empty while the address or the folder is missing.
std::u16string JoinTarget(const std::u16string& fileUrl, const std::u16string& saveFilePath,
                          const std::u16string& fileName);

// True when `name` names a file directly inside a folder: not empty, no path separator, no drive
// or stream colon, none of the characters file names cannot hold, no reserved device name (with
// or without an extension), and no trailing dot or space.
bool IsPlainFileName(std::u16string_view name);

// The target after a redirect to `newAddress`: the folder, one backslash, and the address's last
// part (after its last "/" or "\", the whole address when it has neither), as it is written:
// escapes such as %20 stay in the name. Nothing when that part is not a plain file name.
std::optional<std::u16string> RedirectTarget(const std::u16string& saveFilePath, const std::u16string& newAddress);

// True when the platform's copy of a transfer from `fileUrl` lives in its download cache, so the
// control may delete it. For anything but a network address (a "file:" address, a local or
// network path) the copy the platform names is the source itself.
bool CacheCopyIsDisposable(std::u16string_view fileUrl);

// The start-failure message box: text and title.
std::pair<std::u16string, std::u16string> StartFailureMessage(const StartFailure& failure);

class DFiles {
 public:
  DFiles(Transfer& transfer, ContentFiles& files, const AnsiCodec& codec, DFilesEvents& events);
  DFiles(const DFiles&) = delete;
  DFiles& operator=(const DFiles&) = delete;
  ~DFiles();

  // Properties kept by the control.
  const std::u16string& FileUrl() const { return fileUrl_; }
  void SetFileUrl(std::u16string v) { fileUrl_ = std::move(v); }
  const std::u16string& SaveFilePath() const { return saveFilePath_; }
  void SetSaveFilePath(std::u16string v) { saveFilePath_ = std::move(v); }
  bool FailOnRedirect() const { return failOnRedirect_; }
  void SetFailOnRedirect(bool v) { failOnRedirect_ = v; }
  // Reads true only while redirects are followed; the stored flag is kept as set.
  bool RenameOnRedirect() const { return renameOnRedirect_ && !failOnRedirect_; }
  bool StoredRenameOnRedirect() const { return renameOnRedirect_; }
  void SetRenameOnRedirect(bool v) { renameOnRedirect_ = v; }
  bool ShowProgress() const { return showProgress_; }
  void SetShowProgress(bool v) { showProgress_ = v; }

  // Read-only state.
  const std::u16string& SaveFileName() const { return saveFileName_; }
  std::int32_t FileSize() const { return fileSize_; }
  std::int32_t BytesRead() const { return bytesRead_; }
  const std::u16string& ConnectionAddress() const { return connectionAddress_; }
  const std::u16string& CacheFile() const { return cacheFile_; }
  const std::u16string& RedirectFile() const { return redirectFile_; }
  const std::u16string& MIMEType() const { return mimeType_; }
  float Percent() const { return percent_; }
  bool Downloading() const { return downloading_; }
  bool Succeeded() const { return succeeded_; }

  void SetFileName(const std::u16string& fileName);
  bool BeginDownload(bool wait);
  void CancelDownload();
  // The control is going away: stop the transfer quietly.
  void Teardown();

  // Content up to this size is kept for GetHtml; beyond it (or when memory runs out) the file is
  // still saved whole, and GetHtml carries an empty text.
  static constexpr std::size_t kDefaultTextLimit = 128u * 1024u * 1024u;
  void SetTextLimit(std::size_t bytes) { textLimit_ = bytes; }
  // Optional; the builder outlives the control's transfers.
  void SetTextBuilder(ContentTextBuilder* builder) { builder_ = builder; }

  // The progress rectangle for a control of the given size, if one is to be drawn.
  std::optional<BarRect> ProgressBar(std::int32_t width, std::int32_t height) const;

  // Notifications of the transfer.
  void OnProgress(std::int32_t status, const std::u16string& text, std::int64_t bytesRead,
                  std::int64_t bytesMax, std::int32_t errorValue);
  // The server's status code, as soon as it is known; 400 and above is a failure, whose text is
  // the code alone.
  void OnHttpStatus(std::int32_t status);
  void OnData(std::string_view bytes);
  // The transfer ended without error after delivering everything it received.
  void OnFinished();
  // The transfer ended with an error value (the platform's error number).
  void OnFailed(std::int32_t errorValue);

 private:
  void Fail(DLErrorKind kind, const std::u16string& text);
  void SaveFailed(const std::u16string& description);
  // Ends the transfer's bookkeeping: no more notifications are acted on.
  void Stop();
  void KeepContent(std::string_view bytes);
  void DropContent();
  bool Current(std::uint64_t generation) const { return downloading_ && generation_ == generation; }

  Transfer& transfer_;
  ContentFiles& files_;
  const AnsiCodec& codec_;
  DFilesEvents& events_;

  std::u16string fileUrl_, saveFilePath_, saveFileName_;
  bool failOnRedirect_ = true, renameOnRedirect_ = true, showProgress_ = true;

  bool downloading_ = false;
  bool succeeded_ = false;
  float percent_ = 0.0f;
  std::int32_t fileSize_ = 0, bytesRead_ = 0;
  std::u16string connectionAddress_, cacheFile_, redirectFile_, mimeType_;

  // Per transfer: received content (kept once, for GetHtml) and whether the temporary file exists.
  std::vector<std::string> content_;
  std::size_t contentSize_ = 0;
  bool contentDropped_ = false;
  ContentTextBuilder* builder_ = nullptr;
  std::size_t givenBlocks_ = 0;  // full blocks handed to the builder this transfer
  std::int64_t receivedBytes_ = 0;
  std::size_t textLimit_ = kDefaultTextLimit;
  bool tempOpen_ = false;
  std::int64_t expectedBytes_ = 0;
  std::uint64_t generation_ = 0;
};

}  // namespace tw::download
