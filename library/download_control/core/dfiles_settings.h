// The download control's stored properties: names in the container's property bag, defaults,
// and which values are written (only those that differ from their default).
#pragma once

#include <cstdint>
#include <optional>
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

// The container's property bag, typed the way the values are stored. Reads return nothing when
// the value is missing or cannot be read as that type.
class SettingsBag {
 public:
  virtual ~SettingsBag() = default;
  virtual std::optional<std::uint32_t> ReadColor(const std::u16string& name) = 0;
  virtual std::optional<bool> ReadBool(const std::u16string& name) = 0;
  virtual std::optional<std::int16_t> ReadInt16(const std::u16string& name) = 0;
  virtual std::optional<std::u16string> ReadText(const std::u16string& name) = 0;
  virtual void WriteColor(const std::u16string& name, std::uint32_t value) = 0;
  virtual void WriteBool(const std::u16string& name, bool value) = 0;
  virtual void WriteInt16(const std::u16string& name, std::int16_t value) = 0;
  virtual void WriteText(const std::u16string& name, const std::u16string& value) = 0;
};

bool ValidBorderStyle(std::int32_t value);

// Missing or unusable values take their defaults.
DFilesSettings ReadSettings(SettingsBag& bag);
void WriteSettings(const DFilesSettings& settings, SettingsBag& bag);

}  // namespace tw::download
