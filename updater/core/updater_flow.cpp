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
  LineFile installed = ReadLineFile(fs_, codec_, folder_ + kInstalledVersionFile);
  std::optional<std::int32_t> local = 0;
  if (installed.status != FileStatus::Ok) {
    local.reset();
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
  view_.StartDownload(Download::Info, base_ + kUpdateInfoAddress, folder_ + kDataFolder, kUpdateInfoName);
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
  }
  if (remote > static_cast<double>(localVersion_)) {
    state_ = State::Waiting;
    view_.SetStatus(std::u16string(kStatusUpgrading) + u"0%");
    view_.EnableCloseButton(false);
    busy_ = true;
    view_.EnableTimer(true);
  } else {
    state_ = State::UpToDate;
    view_.SetStatus(kStatusUpToDate);
  }
}

void UpdaterFlow::TimerTick() {
  if (state_ != State::Waiting) return;
  view_.EnableTimer(false);
  view_.CancelDownload(Download::Info);
  state_ = State::DownloadingPackage;
  view_.StartDownload(Download::Package, base_ + kPackageAddress, folder_ + kDataFolder, kPackageName);
}

void UpdaterFlow::PackageProgress(float fraction) {
  if (state_ != State::DownloadingPackage) return;
  view_.SetStatus(kStatusUpgrading + FormatPercent(fraction) + u"%");
}

void UpdaterFlow::PackageComplete(std::int32_t bytes) {
  if (state_ != State::DownloadingPackage) return;
  busy_ = false;
  if (bytes > 0) {
    state_ = State::Done;
    view_.OpenFile(folder_ + kDataFolder + kPackageName);
    view_.Close();
    return;
  }
  // The package did not arrive: whatever lies under its name is not this update.
  state_ = State::Failed;
  view_.SetStatus(kStatusPackageFailed);
  view_.EnableCloseButton(true);
  view_.ShowError(kMessageUpdateFailed);
}

}  // namespace tw::update
