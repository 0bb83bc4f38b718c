#include "updater/core/version_files.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tw::update {

std::optional<double> ParseVersionNumber(std::u16string_view text, char16_t decimalSeparator) {
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);

  std::string ascii;
  std::size_t i = 0;
  if (!text.empty() && (text[0] == u'+' || text[0] == u'-')) {
    if (text[0] == u'-') ascii.push_back('-');
    i = 1;
  }
  bool digits = false, separator = false;
  for (; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'0' && c <= u'9') {
      ascii.push_back(static_cast<char>(c));
      digits = true;
    } else if (c == decimalSeparator && !separator) {
      ascii.push_back('.');
      separator = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digits) return std::nullopt;
  double value = 0;
  auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (ec != std::errc() || end != ascii.data() + ascii.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<std::int32_t> RoundHalfEven32(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  double whole = std::floor(value);
  double diff = value - whole;
  if (diff > 0.5 || (diff == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  if (whole < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
      whole > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    return std::nullopt;
  return static_cast<std::int32_t>(whole);
}

std::optional<std::u16string> LastLine(const LineFile& file) {
  if (file.lines.empty()) return std::nullopt;
  return file.lines.back();
}

std::optional<PackageSignature> ParsePackageSignature(std::u16string_view line) {
  std::u16string_view tag = kSignatureTag;
  if (line.substr(0, tag.size()) != tag) return std::nullopt;
  line.remove_prefix(tag.size());
  while (!line.empty() && (line.front() == u' ' || line.front() == u'\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == u' ' || line.back() == u'\t')) line.remove_suffix(1);
  PackageSignature signature{};
  if (line.size() != signature.size() * 2) return std::nullopt;
  auto digit = [](char16_t c) -> int {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < signature.size(); ++i) {
    int high = digit(line[2 * i]), low = digit(line[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    signature[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return signature;
}

std::optional<PackageSignature> FindPackageSignature(const LineFile& info) {
  if (info.lines.size() < 2) return std::nullopt;
  for (std::size_t i = info.lines.size() - 1; i-- > 0;) {
    if (std::u16string_view(info.lines[i]).substr(0, std::u16string_view(kSignatureTag).size()) == kSignatureTag)
      return ParsePackageSignature(info.lines[i]);
  }
  return std::nullopt;
}

CheckOutcome CompareForShell(const LineFile& installed, const LineFile& published, char16_t decimalSeparator) {
  if (installed.status != FileStatus::Ok || published.status != FileStatus::Ok) return CheckOutcome::CouldNotCheck;
  double local = 0;
  if (auto line = LastLine(installed)) {
    auto n = ParseVersionNumber(*line, decimalSeparator);
    if (!n) return CheckOutcome::CouldNotCheck;
    local = *n;
  }
  auto publishedLine = LastLine(published);
  if (!publishedLine) return CheckOutcome::NoUpdate;  // stands for the installed version
  auto remote = ParseVersionNumber(*publishedLine, decimalSeparator);
  if (!remote) return CheckOutcome::CouldNotCheck;
  return *remote - local > 0 ? CheckOutcome::Update : CheckOutcome::NoUpdate;
}

CheckOutcome ShellUpdateCheck(FileSystem& fs, const AnsiCodec& codec, const std::u16string& installFolder,
                              std::int32_t downloadedBytes, std::chrono::system_clock::time_point now,
                              char16_t decimalSeparator) {
  if (downloadedBytes <= 0) return CheckOutcome::NotFetched;
  LineFile installed = ReadLineFile(fs, codec, installFolder + kInstalledVersionFile);
  LineFile published = ReadLineFile(fs, codec, installFolder + kUpdateInfoFile);
  CheckOutcome outcome = CompareForShell(installed, published, decimalSeparator);
  if (outcome != CheckOutcome::Update) return outcome;
  const std::u16string notePath = installFolder + kFailedUpdateNote;
  auto written = fs.LastWriteTime(notePath);
  if (!written || now - *written >= kFailedUpdateNoteLife || *written - now >= kFailedUpdateNoteLife) return outcome;
  LineFile note = ReadLineFile(fs, codec, notePath);
  auto noted = LastLine(note);
  auto notedNumber = noted ? ParseVersionNumber(*noted, decimalSeparator) : std::nullopt;
  auto remote = ParseVersionNumber(*LastLine(published), decimalSeparator);
  return notedNumber && remote && *notedNumber == *remote ? CheckOutcome::FailedBefore : outcome;
}

std::u16string FormatPercent(float fraction) {
  double value = static_cast<double>(fraction) * 100.0;
  if (!std::isfinite(value)) value = 0;
  bool negative = value < 0;
  auto tenths = static_cast<long long>(std::floor(std::fabs(value) * 10.0 + 0.5));
  std::string text = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
  if (negative && tenths != 0) text.insert(text.begin(), '-');
  return std::u16string(text.begin(), text.end());
}

}  // namespace tw::update
