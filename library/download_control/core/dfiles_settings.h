// The download control's stored properties and their defaults. The control stores them through
// its property table (library/download_control/win), which writes only values that differ from
// these defaults and gives a missing or unusable stored value its default.
#pragma once

#include <cstdint>
#include <string>

namespace tw::download {

inline constexpr std::uint32_t kDefaultBackColor = 0x8000000F;  // system colour: button face
inline constexpr std::uint32_t kDefaultForeColor = 0x80000012;  // system colour: button text

struct DFilesSettings {
  std::uint32_t backColor = kDefaultBackColor;
  std::uint32_t foreColor = kDefaultForeColor;
  bool enabled = true;
  std::int16_t borderStyle = 1;  // 0 none, 1 fixed single
  std::u16string fileUrl;
  std::u16string saveFilePath;
  bool failOnRedirect = true;
  bool renameOnRedirect = true;
  bool showProgress = true;
  bool operator==(const DFilesSettings&) const = default;
};

constexpr bool ValidBorderStyle(std::int32_t value) { return value == 0 || value == 1; }

}  // namespace tw::download
