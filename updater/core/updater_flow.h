// The updater's window logic: check the published version once more, download the installer
// package with a progress line, open it and close. The window (Form1) adapts this to its controls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/core/file_system.h"
#include "updater/core/version_files.h"

namespace tw::update {

// Texts of the updater's window.
inline constexpr char16_t kUpdaterCaption[] = u"Tarnwick\u5728\u7EBF\u66F4\u65B0";
inline constexpr char16_t kStatusChecking[] = u"\u6B63\u5728\u68C0\u67E5\u6700\u65B0\u7248\u7248,\u8BF7\u7A0D\u540E.....";
inline constexpr char16_t kStatusUpgrading[] = u"\u5DF2\u627E\u5230\u6700\u65B0\u7248\u672C,\u6B63\u5728\u5347\u7EA7,"
                                               u"\u5DF2\u5B8C\u6210:";
inline constexpr char16_t kStatusUpToDate[] = u"\u5F53\u524D\u5DF2\u7ECF\u662F\u6700\u65B0\u7248\u672C! ^_^";
inline constexpr char16_t kStatusCouldNotCheck[] = u"\u65E0\u6CD5\u68C0\u67E5\u6700\u65B0\u7248\u672C!";
inline constexpr char16_t kStatusPackageFailed[] = u"\u5347\u7EA7\u5305\u4E0B\u8F7D\u5931\u8D25!";
inline constexpr char16_t kMessageUpdateFailed[] = u"\u66F4\u65B0\u5931\u8D25!\u8BF7\u68C0\u67E5\u7F51\u7EDC"
                                                   u"\u8FDE\u63A5\u91CD\u65B0\u66F4\u65B0!";
inline constexpr char16_t kStatusPackageUnverified[] = u"\u5347\u7EA7\u5305\u6821\u9A8C\u5931\u8D25!";
inline constexpr char16_t kMessagePackageUnverified[] = u"\u5347\u7EA7\u5305\u6821\u9A8C\u5931\u8D25,"
                                                        u"\u5DF2\u5220\u9664!\u8BF7\u91CD\u65B0\u66F4\u65B0!";
inline constexpr char16_t kStatusPackageNotOpened[] = u"\u65E0\u6CD5\u6253\u5F00\u5347\u7EA7\u5305!";
inline constexpr char16_t kStatusNoDownloadControl[] = u"\u65E0\u6CD5\u521B\u5EFA\u4E0B\u8F7D\u63A7\u4EF6!";
inline constexpr char16_t kPackageAddress[] = u"/ZentroVrindle.msi";  // under the portal base URL
inline constexpr char16_t kPackageName[] = u"Zentronew.msi";

enum class Download { Info, Package };

// What the flow asks of the window.
class UpdaterView {
 public:
  virtual ~UpdaterView() = default;
  virtual void SetStatus(const std::u16string& text) = 0;
  virtual void EnableCloseButton(bool enabled) = 0;
  virtual void EnableTimer(bool enabled) = 0;
  // Modal message box, critical icon, product name as title.
  virtual void ShowError(const std::u16string& text) = 0;
  // Sets the control's address and folder, SetFileName, then BeginDownload without waiting.
  // Completion may be reported before this returns. False when there is no download control.
  virtual bool StartDownload(Download which, const std::u16string& url, const std::u16string& folder,
                             const std::u16string& fileName) = 0;
  virtual void CancelDownload(Download which) = 0;
  // Whether the file is the one the publisher signed (the publisher's key is the view's).
  virtual bool VerifyPackage(const std::u16string& path, const PackageSignature& signature) = 0;
  virtual void RemoveFile(const std::u16string& path) = 0;
  // Opens the file with its default handler; false when that could not be started.
  virtual bool OpenFile(const std::u16string& path) = 0;
  // Starts (again) or stops the watch that calls PackageStalled when the package download has
  // had no data for the stall limit.
  virtual void WatchStall(bool on) = 0;
  virtual void Close() = 0;
};

class UpdaterFlow {
 public:
  enum class State { Idle, Checking, CouldNotCheck, Failed, UpToDate, Waiting, DownloadingPackage, Done };

  UpdaterFlow(UpdaterView& view, FileSystem& fs, const AnsiCodec& codec, std::u16string programFolder,
              std::u16string portalBase, char16_t decimalSeparator = u'.');

  void Load();
  void InfoComplete(std::int32_t bytes);
  void TimerTick();
  void PackageProgress(float fraction);
  void PackageComplete(std::int32_t bytes);
  // The package download has had no data for the stall limit: it fails like a transfer error.
  void PackageStalled();
  // Closing is refused while the package is being downloaded.
  bool CanClose() const { return !busy_; }

  State state() const { return state_; }
  std::int32_t LocalVersion() const { return localVersion_; }
  bool Busy() const { return busy_; }

 private:
  UpdaterView& view_;
  FileSystem& fs_;
  const AnsiCodec& codec_;
  std::u16string folder_, base_;
  char16_t decimalSeparator_;
  State state_ = State::Idle;
  std::int32_t localVersion_ = 0;
  bool busy_ = false;
  std::u16string publishedVersion_;             // the update information's last line
  std::optional<PackageSignature> signature_;  // and its signature of the package

  // The package failed to come in: the window says so and can be closed, and the shell is told
  // not to close for this version again for a day.
  void PackageFailed(const std::u16string& status, const std::u16string& message);
  // Writes the failure note: the shell does not close for the published version again until the
  // note is a day old.
  void NoteVersionNotBroughtIn();
};

}  // namespace tw::update
