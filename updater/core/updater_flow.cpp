#include "updater/core/updater_flow.h"

#include "common/core/line_file.h"
#include "updater/core/version_files.h"

namespace tw::update {

UpdaterFlow::UpdaterFlow(UpdaterView& view, FileSystem& fs, const AnsiCodec& codec, std::u16string programFolder,
                         std::u16string portalBase, char16_t decimalSeparator)
    : view_(view), fs_(fs), codec_(codec), folder_(std::move(programFolder)), base_(std::move(portalBase)),
      decimalSeparator_(decimalSeparator) {}

void UpdaterFlow::Load() {
  if (state_ != State::Idle) return;
  // A missing or unreadable installed-version file counts as version 0, so that a damaged
  // installation is repaired by the update.
  LineFile installed = ReadLineFile(fs_, codec_, folder_ + kInstalledVersionFile);
  std::optional<std::int32_t> local = 0;
  if (installed.status != FileStatus::Ok) {
    local = 0;
  } else if (auto line = LastLine(installed)) {
    auto number = ParseVersionNumber(*line, decimalSeparator_);
    local = number ? RoundHalfEven32(*number) : std::nullopt;
  }
  if (!local) {
    state_ = State::CouldNotCheck;
    view_.SetStatus(kStatusCouldNotCheck);
    return;
  }
  localVersion_ = *local;
  view_.SetStatus(kStatusChecking);
  state_ = State::Checking;
  if (!view_.StartDownload(Download::Info, base_ + kUpdateInfoAddress, folder_ + kDataFolder, kUpdateInfoName)) {
    state_ = State::Failed;
    view_.SetStatus(kStatusNoDownloadControl);
    view_.ShowError(kStatusNoDownloadControl);
  }
}

void UpdaterFlow::InfoComplete(std::int32_t) {
  if (state_ != State::Checking) return;
  LineFile published = ReadLineFile(fs_, codec_, folder_ + kUpdateInfoFile);
  if (published.status != FileStatus::Ok) {
    state_ = State::Failed;
    view_.ShowError(kMessageUpdateFailed);
    return;
  }
  double remote = 0;
  if (auto line = LastLine(published)) {
    auto number = ParseVersionNumber(*line, decimalSeparator_);
    if (!number) {
      state_ = State::CouldNotCheck;
      view_.SetStatus(kStatusCouldNotCheck);
      return;
    }
    remote = *number;
    publishedVersion_ = *line;
  }
  signature_ = FindPackageSignature(published);
  if (remote > static_cast<double>(localVersion_)) {
    state_ = State::Waiting;
    view_.SetStatus(std::u16string(kStatusUpgrading) + u"0%");
    view_.EnableCloseButton(false);
    busy_ = true;
    view_.EnableTimer(true);
  } else {
    state_ = State::UpToDate;
    view_.SetStatus(kStatusUpToDate);
    // The shell compares the installed number as it stands, this side rounded: where the two
    // disagree, the shell must not close again at once for a version that is not coming.
    if (!publishedVersion_.empty()) NoteVersionNotBroughtIn();
  }
}

void UpdaterFlow::TimerTick() {
  if (state_ != State::Waiting) return;
  view_.EnableTimer(false);
  view_.CancelDownload(Download::Info);
  state_ = State::DownloadingPackage;
  view_.WatchStall(true);
  if (!view_.StartDownload(Download::Package, base_ + kPackageAddress, folder_ + kDataFolder, kPackageName) &&
      state_ == State::DownloadingPackage)
    PackageFailed(kStatusNoDownloadControl, kStatusNoDownloadControl);
}

void UpdaterFlow::PackageProgress(float fraction) {
  if (state_ != State::DownloadingPackage) return;
  view_.WatchStall(true);
  view_.SetStatus(kStatusUpgrading + FormatPercent(fraction) + u"%");
}

void UpdaterFlow::PackageStalled() {
  if (state_ != State::DownloadingPackage) return;
  state_ = State::Failed;  // the cancel below reports nothing more to act on
  view_.CancelDownload(Download::Package);
  PackageFailed(kStatusPackageFailed, kMessageUpdateFailed);
}

void UpdaterFlow::PackageComplete(std::int32_t bytes) {
  if (state_ != State::DownloadingPackage) return;
  if (bytes <= 0) {
    // The package did not arrive: whatever lies under its name is not this update.
    PackageFailed(kStatusPackageFailed, kMessageUpdateFailed);
    return;
  }
  // Only a package the publisher signed is opened; any other is not kept.
  const std::u16string package = folder_ + kDataFolder + kPackageName;
  if (!signature_ || !view_.VerifyPackage(package, *signature_)) {
    view_.RemoveFile(package);
    PackageFailed(kStatusPackageUnverified, kMessagePackageUnverified);
    return;
  }
  // Whether the installer then goes through is out of sight: should it be cancelled or fail,
  // the shell must not close again at once for this version. Once it is installed, the note
  // no longer counts (the shell reads it only for a version above the installed one).
  NoteVersionNotBroughtIn();
  if (!view_.OpenFile(package)) {
    PackageFailed(kStatusPackageNotOpened, kStatusPackageNotOpened);
    return;
  }
  state_ = State::Done;
  busy_ = false;
  view_.WatchStall(false);
  view_.Close();
}

void UpdaterFlow::PackageFailed(const std::u16string& status, const std::u16string& message) {
  state_ = State::Failed;
  busy_ = false;
  view_.WatchStall(false);
  NoteVersionNotBroughtIn();
  view_.SetStatus(status);
  view_.EnableCloseButton(true);
  view_.ShowError(message);
}

void UpdaterFlow::NoteVersionNotBroughtIn() {
  fs_.ReplaceAll(folder_ + kFailedUpdateNote, codec_.Encode(publishedVersion_ + u"\r\n"));
}

}  // namespace tw::update
