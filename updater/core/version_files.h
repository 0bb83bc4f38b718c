// The version files shared by the updater and the shell's update check: the installed-version
// file "verinfo.dat" and the published update-information file (kept as "updata.tmp"). Both are
// ANSI text read line by line; the last line holds the version number.
#pragma once

#include <array>
#include <chrono>
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
// Left by the updater for a published version it could not bring in, found no newer than the
// installed one, or opened the installer of (whether that installation goes through is out of
// its sight): that version's number. The shell leaves that version unannounced while the note is
// younger than kFailedUpdateNoteLife by its last-write time, so a failure keeps the shell from
// closing again at once without switching the update off for good.
inline constexpr char16_t kFailedUpdateNote[] = u"\\data\\updfail.dat";
inline constexpr std::chrono::hours kFailedUpdateNoteLife{24};

// A decimal number as written in a version file: optional blanks, optional sign, digits with at
// most one decimal separator (the user's locale's), at least one digit. Anything else is not a number.
std::optional<double> ParseVersionNumber(std::u16string_view text, char16_t decimalSeparator = u'.');

// Rounds to the nearest 32-bit integer, a half going to the even neighbour. Nothing when the
// result does not fit.
std::optional<std::int32_t> RoundHalfEven32(double value);

// The last line of a file, or nothing when it has no lines.
std::optional<std::u16string> LastLine(const LineFile& file);

// The update information signs the installer package on a line of its own before the version
// line: the tag, then the ECDSA P-256 signature of the package's SHA-256 as r and s, 32 bytes
// each, big-endian, in 128 hexadecimal digits. Readers of the last line alone never see it.
inline constexpr char16_t kSignatureTag[] = u"signature ecdsa-p256-sha256 ";
using PackageSignature = std::array<std::uint8_t, 64>;

// One line's signature; nothing unless the line is the tag and exactly 128 hexadecimal digits
// (blanks around them are allowed).
std::optional<PackageSignature> ParsePackageSignature(std::u16string_view line);

// The signature in an update information file: its last tagged line before the version line.
// Nothing when there is none or that line is malformed.
std::optional<PackageSignature> FindPackageSignature(const LineFile& info);

// The shell's check after the update-information download has ended, whatever its result.
enum class CheckOutcome {
  NoUpdate,       // published version not higher
  Update,         // a newer version is published
  CouldNotCheck,  // a file is missing or unreadable, or a version is not a number: no update
  NotFetched,     // the update information did not arrive this time: an earlier copy says nothing
  FailedBefore,   // the updater failed to bring this published version in less than a day ago
};

// Installed version: its last line, 0 when it has none. Published version: its last line; a file
// without lines stands for the installed version. Update when published − installed > 0.
CheckOutcome CompareForShell(const LineFile& installed, const LineFile& published, char16_t decimalSeparator = u'.');

// After the download of the update information reported `downloadedBytes` (0 after a failure):
// reads both files under the installation folder and compares them as above. An update whose
// published version the updater's failure note names is FailedBefore while the note was written
// less than kFailedUpdateNoteLife before `now` (or after it by less than that, should the clock
// have been put back); an older note, or one whose time cannot be read, no longer counts.
CheckOutcome ShellUpdateCheck(FileSystem& fs, const AnsiCodec& codec, const std::u16string& installFolder,
                              std::int32_t downloadedBytes, std::chrono::system_clock::time_point now,
                              char16_t decimalSeparator = u'.');

// What the shell shows before it starts the updater and closes.
inline constexpr char16_t kShellUpdateMessage[] = u"\u5DF2\u53D1\u73B0\u66F4\u65B0\u7684\u7248\u672C,"
                                                  u"\u9A6C\u4E0A\u8FDB\u884C\u81EA\u52A8\u66F4\u65B0!";
inline constexpr char16_t kShellUpdateTitle[] = u"Tarnwick\u66F4\u65B0";
// ... and when the updater could not be started ("无法启动更新程序Feltram.exe!").
inline constexpr char16_t kShellUpdaterNotStarted[] = u"\u65E0\u6CD5\u542F\u52A8\u66F4\u65B0\u7A0B\u5E8F"
                                                      u"Feltram.exe!";

// A fraction 0..1 as a percentage with one decimal, rounded half away from zero ("42.5").
std::u16string FormatPercent(float fraction);

}  // namespace tw::update
