// The version files shared by the updater and the shell's update check: the installed-version
// file "verinfo.dat" and the published update-information file (kept as "updata.tmp"). Both are
// ANSI text read line by line; the last line holds the version number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/core/file_system.h"
#include "common/core/line_file.h"

namespace tw::update {

inline constexpr char16_t kInstalledVersionFile[] = u"\\data\\system\\verinfo.dat";
inline constexpr char16_t kUpdateInfoFile[] = u"\\data\\updata.tmp";
inline constexpr char16_t kDataFolder[] = u"\\data\\";
inline constexpr char16_t kUpdateInfoName[] = u"updata.tmp";
inline constexpr char16_t kUpdateInfoAddress[] = u"/updatainfo.txt";  // under the portal base URL
inline constexpr char16_t kUpdaterProgram[] = u"\\Feltram.exe";

// A decimal number as written in a version file: optional blanks, optional sign, digits with at
// most one decimal separator (the user's locale's), at least one digit. Anything else is not a number.
std::optional<double> ParseVersionNumber(std::u16string_view text, char16_t decimalSeparator = u'.');

// Rounds to the nearest 32-bit integer, a half going to the even neighbour. Nothing when the
// result does not fit.
std::optional<std::int32_t> RoundHalfEven32(double value);

// The last line of a file, or nothing when it has no lines.
std::optional<std::u16string> LastLine(const LineFile& file);

// The shell's check after the update-information download has ended, whatever its result.
enum class CheckOutcome {
  NoUpdate,       // published version not higher
  Update,         // a newer version is published
  CouldNotCheck,  // a file is missing or unreadable, or a version is not a number: no update
};

// Installed version: its last line, 0 when it has none. Published version: its last line; a file
// without lines stands for the installed version. Update when published − installed > 0.
CheckOutcome CompareForShell(const LineFile& installed, const LineFile& published, char16_t decimalSeparator = u'.');

// Reads both files under the installation folder and compares them as above.
CheckOutcome ShellUpdateCheck(FileSystem& fs, const AnsiCodec& codec, const std::u16string& installFolder,
                              char16_t decimalSeparator = u'.');

// What the shell shows before it starts the updater and closes.
inline constexpr char16_t kShellUpdateMessage[] = u"\u5DF2\u53D1\u73B0\u66F4\u65B0\u7684\u7248\u672C,"
                                                  u"\u9A6C\u4E0A\u8FDB\u884C\u81EA\u52A8\u66F4\u65B0!";
inline constexpr char16_t kShellUpdateTitle[] = u"Tarnwick\u66F4\u65B0";

// A fraction 0..1 as a percentage with one decimal, rounded half away from zero ("42.5").
std::u16string FormatPercent(float fraction);

}  // namespace tw::update
