#include "library/download_control/core/dfiles.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <new>

namespace tw::download {
namespace {

std::u16string Decimal(std::int64_t value) {
  std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

std::int32_t Clamp32(std::int64_t value) {
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::u16string JoinTarget(const std::u16string& fileUrl, const std::u16string& saveFilePath,
                          const std::u16string& fileName) {
  if (fileUrl.empty() || saveFilePath.empty()) return {};
  return saveFilePath + fileName;
}

bool IsPlainFileName(std::u16string_view name) {
  if (name.empty() || name == u"." || name == u"..") return false;
  for (char16_t c : name)
    if (c < 0x20 || std::u16string_view(u"<>:\"/\\|?*").find(c) != std::u16string_view::npos) return false;
  if (name.back() == u'.' || name.back() == u' ') return false;
  // Device names are reserved whatever follows the first dot, and with blanks before it.
  std::u16string_view base = name.substr(0, name.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  std::string upper;
  for (char16_t c : base) upper += c < 0x80 ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : '?';
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" || upper == "CONIN$" || upper == "CONOUT$")
    return false;
  if (upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '1' && upper[3] <= '9')
    return false;
  return true;
}

std::optional<std::u16string> RedirectTarget(const std::u16string& saveFilePath, const std::u16string& newAddress) {
  // Either slash ends a part; the name is taken as the address spells it, escapes and all.
  std::size_t cut = newAddress.find_last_of(u"/\\");
  std::u16string name = newAddress.substr(cut == std::u16string::npos ? 0 : cut + 1);
  if (!IsPlainFileName(name)) return std::nullopt;
  std::u16string target = saveFilePath;
  if (target.empty() || target.back() != u'\\') target += u'\\';
  return target + name;
}

bool CacheCopyIsDisposable(std::u16string_view fileUrl) {
  std::u16string_view scheme = fileUrl.substr(0, fileUrl.find(u':'));
  if (scheme.size() == fileUrl.size()) return false;
  std::string lower;
  for (char16_t c : scheme) lower += c < 0x80 ? static_cast<char>(std::tolower(static_cast<unsigned char>(c))) : '?';
  return lower == "http" || lower == "https" || lower == "ftp";
}

std::pair<std::u16string, std::u16string> StartFailureMessage(const StartFailure& failure) {
  std::u16string number = Decimal(failure.number);
  return {number + u"Error: \r\n" + failure.description, u"bkDLControl Internal Error: " + number};
}

DFiles::DFiles(Transfer& transfer, ContentFiles& files, const AnsiCodec& codec, DFilesEvents& events)
    : transfer_(transfer), files_(files), codec_(codec), events_(events) {}

DFiles::~DFiles() = default;

void DFiles::SetFileName(const std::u16string& fileName) {
  saveFileName_ = JoinTarget(fileUrl_, saveFilePath_, fileName);
}

bool DFiles::BeginDownload(bool wait) {
  if (downloading_ || fileUrl_.empty() || saveFilePath_.empty()) return false;

  // The read may report its first notifications before Start returns, so the transfer's state
  // is set up first.
  downloading_ = true;
  const std::uint64_t generation = ++generation_;
  fileSize_ = 0;
  bytesRead_ = 0;
  connectionAddress_.clear();
  cacheFile_.clear();
  redirectFile_.clear();
  mimeType_.clear();
  succeeded_ = false;
  DropContent();
  contentDropped_ = false;
  receivedBytes_ = 0;
  tempOpen_ = false;
  expectedBytes_ = 0;

  if (std::optional<StartFailure> failure = transfer_.Start(fileUrl_)) {
    if (Current(generation)) {
      Fail(DLErrorKind::Unavailable, failure->description);
      auto [text, title] = StartFailureMessage(*failure);
      events_.ShowCriticalMessage(text, title);
    }
    return false;
  }
  if (!wait) return true;
  while (Current(generation)) {
    if (!transfer_.PumpMessages()) break;
  }
  return succeeded_;
}

void DFiles::CancelDownload() {
  if (!downloading_) return;
  Stop();
  percent_ = 0.0f;
  events_.Repaint();
  events_.DLCanceled();
}

void DFiles::Teardown() {
  if (downloading_) Stop();
}

void DFiles::Stop() {
  downloading_ = false;
  ++generation_;
  transfer_.Cancel();
  if (tempOpen_) files_.DiscardTemp();
  tempOpen_ = false;
  DropContent();
}

void DFiles::DropContent() {
  std::vector<std::string>().swap(content_);
  contentSize_ = 0;
  if (givenBlocks_ && builder_) builder_->Reset();
  givenBlocks_ = 0;
}

void DFiles::Fail(DLErrorKind kind, const std::u16string& text) {
  Stop();
  percent_ = 0.0f;
  events_.Repaint();
  events_.DLError(kind, text);
  events_.DLComplete(0);
}

void DFiles::SaveFailed(const std::u16string& description) {
  Fail(DLErrorKind::SaveError, description + u" [" + saveFileName_ + u"]");
}

std::optional<BarRect> DFiles::ProgressBar(std::int32_t width, std::int32_t height) const {
  if (!showProgress_ || !(percent_ > 0.0f)) return std::nullopt;
  double right = static_cast<double>(width) * static_cast<double>(percent_);
  return BarRect{0, 0, Clamp32(static_cast<std::int64_t>(right)), height};
}

void DFiles::OnProgress(std::int32_t status, const std::u16string& text, std::int64_t bytesRead,
                        std::int64_t bytesMax, std::int32_t errorValue) {
  if (!downloading_) return;
  const std::uint64_t generation = generation_;
  switch (status) {
    case kStatusError:
      Fail(DLErrorKind::Unknown, Decimal(errorValue));
      return;
    case kStatusConnecting:
      connectionAddress_ = text;
      events_.DLConnected(text);
      break;
    case kStatusRedirecting:
      redirectFile_ = text;
      if (failOnRedirect_) {
        Fail(DLErrorKind::Redirect, u"Redirected to " + text);
        return;
      }
      events_.DLRedirect(text);
      break;
    case kStatusBeginDownloadData:
      fileSize_ = Clamp32(bytesMax);
      expectedBytes_ = bytesMax;
      events_.DLFileSize(fileSize_);
      if (Current(generation)) events_.DLBeginDownload();
      break;
    case kStatusDownloadingData:
    case kStatusEndDownloadData:
      percent_ = bytesMax < 1 ? 0.0f
                              : static_cast<float>(static_cast<double>(bytesRead) / static_cast<double>(bytesMax));
      bytesRead_ = Clamp32(bytesRead);
      events_.DLProgress(percent_, bytesRead_, Clamp32(bytesMax));
      break;
    case kStatusMimeTypeAvailable:
      mimeType_ = text;
      events_.DLMIMEType(text);
      break;
    case kStatusCacheFileNameAvailable:
      cacheFile_ = text;
      events_.DLCacheFile(text);
      break;
    default:
      break;
  }
  events_.Repaint();
}

void DFiles::OnHttpStatus(std::int32_t status) {
  if (!downloading_ || status < 400) return;
  Fail(DLErrorKind::Unknown, Decimal(status));
}

void DFiles::OnData(std::string_view bytes) {
  if (!downloading_ || bytes.empty()) return;
  if (!tempOpen_) {
    FileResult created = files_.CreateTemp(saveFileName_);
    if (!created.ok) {
      SaveFailed(created.description);
      return;
    }
    tempOpen_ = true;
  }
  FileResult written = files_.AppendTemp(bytes);
  if (!written.ok) {
    SaveFailed(written.description);
    return;
  }
  receivedBytes_ += static_cast<std::int64_t>(bytes.size());
  KeepContent(bytes);
}

void DFiles::KeepContent(std::string_view bytes) {
  if (contentDropped_) return;
  if (bytes.size() > textLimit_ - std::min(textLimit_, contentSize_)) {
    contentDropped_ = true;
  } else {
    // In blocks of their own, so that the text can be built while the content is let go.
    try {
      contentSize_ += bytes.size();
      while (!bytes.empty()) {
        if (content_.empty() || content_.back().size() == kContentBlock) {
          content_.emplace_back();
          content_.back().reserve(std::min(kContentBlock, std::max(bytes.size(), kContentBlock / 16)));
        }
        std::string& block = content_.back();
        std::size_t n = std::min(bytes.size(), kContentBlock - block.size());
        if (block.capacity() < block.size() + n) block.reserve(std::min(kContentBlock, 2 * block.capacity() + n));
        block.append(bytes.substr(0, n));
        bytes.remove_prefix(n);
        if (builder_ && block.size() == kContentBlock) {
          // A size beyond the text limit is not worth a string: that text is dropped anyway.
          const bool announced = expectedBytes_ > 0 && static_cast<std::uint64_t>(expectedBytes_) <= textLimit_;
          // Counted first: a builder that fails taking it is reset with the content.
          ++givenBlocks_;
          builder_->Add(std::move(block), announced ? static_cast<std::size_t>(expectedBytes_) : 0);
          content_.pop_back();
        }
      }
    } catch (const std::bad_alloc&) {
      contentDropped_ = true;
    }
  }
  if (contentDropped_) DropContent();
}

void DFiles::OnFailed(std::int32_t errorValue) {
  if (!downloading_) return;
  Fail(DLErrorKind::Unknown, Decimal(errorValue));
}

void DFiles::OnFinished() {
  if (!downloading_) return;
  const std::uint64_t generation = generation_;
  const std::int64_t received = receivedBytes_;
  if (received == 0) {
    Fail(DLErrorKind::ZeroLength, u"Zero bytes retrieved");
    return;
  }
  if (expectedBytes_ > 0 && received < expectedBytes_) {
    Fail(DLErrorKind::Unknown,
         u"Connection closed after " + Decimal(received) + u" of " + Decimal(expectedBytes_) + u" bytes");
    return;
  }
  if (!redirectFile_.empty() && renameOnRedirect_) {
    // A name that is not a plain file name keeps the one SetFileName gave.
    if (auto renamed = RedirectTarget(saveFilePath_, redirectFile_)) saveFileName_ = std::move(*renamed);
  }

  FileResult committed = files_.CommitTemp(saveFileName_);
  if (!committed.ok) {
    SaveFailed(committed.description);
    return;
  }
  tempOpen_ = false;
  succeeded_ = true;
  bytesRead_ = Clamp32(received);

  events_.DLComplete(Clamp32(received));
  if (!Current(generation)) return;
  std::vector<std::string> text;
  text.swap(content_);
  contentSize_ = 0;
  const std::size_t given = givenBlocks_;
  givenBlocks_ = 0;  // the receiver takes what the builder holds
  events_.GetHtml(ContentText{contentDropped_ ? nullptr : &text, &codec_, given});
  if (!Current(generation)) return;
  std::vector<std::string>().swap(text);

  if (!cacheFile_.empty() && CacheCopyIsDisposable(fileUrl_)) {
    FileResult deleted = files_.Delete(cacheFile_);
    if (!deleted.ok) {
      SaveFailed(deleted.description);
      return;
    }
  }
  downloading_ = false;
  ++generation_;
}

}  // namespace tw::download
